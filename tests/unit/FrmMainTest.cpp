#include <gtest/gtest.h>

#include "FakeForm.h"
#include "FakeMachine.h"
#include "app/Start.h"
#include "app/frmMain.h"

namespace setup {
namespace {

using test::FakeForm;
using test::FakeSetup;
using Holder = test::FakeFiles::Holder;

TEST(frmMain, LoadPlacesThePromptBesideTheBannerAndSetsTheTexts)
{
    FakeSetup fakes;
    fakes.texts.Set(L"Default", L"Title", L"Acme USB");
    fakes.texts.Set(L"Default", L"Prompt0", L"Press Install.");
    fakes.texts.Set(L"Default", L"Setup", L"&Install");
    fakes.texts.Set(L"Default", L"Cancel", L"E&xit");
    FakeForm form(frmMainDesign());
    frmMain window(fakes.Get(), form);
    window.Form_Load();

    // The buttons stay where the design puts them.
    for (const auto& control : frmMainDesign().controls)
        if (control.kind == ControlKind::DefaultButton || control.kind == ControlKind::CancelButton) {
            EXPECT_EQ(form.rects[control.id], control.rect) << control.id;
        }
    EXPECT_EQ(form.texts[Control::Form], L"Acme USB");
    EXPECT_EQ(form.texts[Control::lbl], L"\r\nPress Install.");
    EXPECT_EQ(form.texts[Control::cmdNext], L"&Install");
    EXPECT_EQ(form.texts[Control::cmdCancel], L"E&xit");
    // Setup.Ini is read from the program folder only.
    ASSERT_FALSE(fakes.texts.pathsRead.empty());
    for (const auto& path : fakes.texts.pathsRead) EXPECT_EQ(path, L"C:\\Package\\Setup.Ini");
    EXPECT_FALSE(form.ended);
}

TEST(frmMain, LabelFollowsWhereverTheBannerAndTheWindowWidthAre)
{
    // A banner moved off the corner goes back to it, and the label starts at
    // its right edge and fills the rest of the width, whatever the sizes.
    FakeSetup fakes;
    FormDesign design = frmMainDesign();
    design.scaleWidth = 9000;
    design.controls[0].rect = {30, 45, 2000, 3000};
    FakeForm form(design);
    frmMain window(fakes.Get(), form);
    window.Form_Load();
    EXPECT_EQ(form.rects[Control::img], (Twips{0, 0, 2000, 3000}));
    EXPECT_EQ(form.rects[Control::lbl], (Twips{2000, 0, 7000, 3000}));
}

TEST(frmMain, CancelEndsAtOnceWithoutAMessage)
{
    FakeSetup fakes;
    FakeForm form(frmMainDesign());
    frmMain window(fakes.Get(), form);
    window.Load();
    window.Click(Control::cmdCancel);
    EXPECT_TRUE(form.ended);
    EXPECT_EQ(form.exitCode, 0);
    EXPECT_TRUE(form.messages.empty());
}

TEST(frmMain, InstallButtonTellsTheOutcomeAndEndsWithItsExitCode)
{
    struct Case {
        const char* name;
        void (*arrange)(test::FakeMachine&);
        std::wstring message;
        MessageIcon icon;
        int exitCode;
    };
    const Case cases[] = {
        {"all copied", [](test::FakeMachine&) {}, L"Done, restart.", MessageIcon::None, kExitOk},
        {"a driver in use",
         [](test::FakeMachine& s) { s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", Holder::Loaded); },
         L"Done, restart.\r\nIn use.", MessageIcon::None, kExitRestart},
        {"a copy failed",
         [](test::FakeMachine& s) {
             s.files.at(L"c:\\windows\\system32\\drivers\\d.sys").node->attributes = kAttributeReadOnly;
         },
         L"Not copied:\r\nd.sys (C:\\Windows\\System32\\Drivers): error 5\r\nNothing changed.", MessageIcon::Warning,
         kExitCopyFailed},
        {"the driver store refused, with a driver in use: nothing goes in, no restart is due",
         [](test::FakeMachine& s) {
             s.storeErrors[L"c:\\package\\driver\\a.inf"] = 0xE000022F;
             s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", Holder::Loaded);
         },
         L"Refused:\r\na.inf (driver store): error 3758096943\r\nNothing changed.", MessageIcon::Warning, kExitCopyFailed},
        {"refused, the INF's catalog and a source file missing; codes without words in hex",
         [](test::FakeMachine& s) {
             s.infNeeds[L"c:\\package\\driver\\a.inf"] = {L"a.cat", L"amd64\\d.sys"};
             s.storeErrors[L"c:\\package\\driver\\a.inf"] = 0xE000024B;
             s.messages = {{0xE000024B, L""}, {2, L"%1 cannot be found%%."}};
         },
         L"Refused:\r\na.inf (driver store): Error 0xE000024B. a.cat, amd64\\d.sys: a.cat, amd64\\d.sys cannot be found%."
         L"\r\nNothing changed.", MessageIcon::Warning, kExitCopyFailed},
        {"an image for another processor: the system's words name it",
         [](test::FakeMachine& s) {
             s.AddFile(L"C:\\Package\\Driver\\e.sys", std::string("MZ") + std::string(0x3A, '\0') + "\x40" +
                                                      std::string(3, '\0') + std::string("PE\0\0\x4c\x01", 6));
             s.messages = {{216, L"This version of %1!s! is not compatible."}, {87, L""}};
         },
         L"Not copied:\r\ne.sys (C:\\Windows\\System32\\Drivers): This version of e.sys is not compatible."
         L"\r\nNothing changed.", MessageIcon::Warning, kExitCopyFailed},
        {"a failure undone, with a driver in use: no restart is due",
         [](test::FakeMachine& s) {
             s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", Holder::Loaded);
             s.placeErrors[L"c:\\windows\\inf\\a.inf"] = 87;
         },
         L"Not copied:\r\na.inf (C:\\Windows\\Inf): error 87\r\nNothing changed.", MessageIcon::Warning, kExitCopyFailed},
        {"an undo that could not put an old file back: not \"nothing changed\"",
         [](test::FakeMachine& s) {
             s.placeErrors[L"c:\\windows\\system32\\drivers\\e.sys"] = 87;
             s.moveErrors[L"c:\\windows\\system32\\drivers\\d.sys"] = 5;
         },
         L"Not copied:\r\ne.sys (C:\\Windows\\System32\\Drivers): error 87\r\nNot back:\r\n"
         L"d.sys (C:\\Windows\\System32\\Drivers): error 5",
         MessageIcon::Warning, kExitCopyFailed},
    };
    for (const auto& c : cases) {
        FakeSetup fakes;
        auto& s = fakes.machine;
        s.AddFolder(L"C:\\Windows\\Inf");
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
        s.AddFile(L"C:\\Package\\Driver\\e.sys", "sys");
        s.AddFile(L"C:\\Windows\\System32\\Drivers\\d.sys", "old");
        for (const auto& [key, value] : {std::pair{L"Complete", L"Done, restart."}, {L"Failed", L" Not copied: "},
                                         {L"NothingChanged", L"Nothing changed."}, {L"Restart", L"In use."},
                                         {L"NotRestored", L"Not back:"}, {L"Refused", L"Refused:"}})
            fakes.texts.Set(L"Default", key, value);
        c.arrange(s);
        FakeForm form(frmMainDesign());
        frmMain window(fakes.Get(), form);
        window.Load();
        window.Click(Control::cmdNext);
        ASSERT_EQ(form.messages.size(), 1u) << c.name;
        EXPECT_EQ(form.messages[0].text, c.message) << c.name;
        EXPECT_EQ(form.messages[0].icon, c.icon) << c.name;
        EXPECT_TRUE(form.ended) << c.name;
        EXPECT_EQ(form.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(form.log.back(), L"end") << "the message comes first";
    }
}

// Another setup holds the machine's lock: the window says so in place of
// the prompt and lets Cancel end it, until the install starts.
TEST(frmMain, WhileAnotherSetupInstallsTheWindowWaitsAndMayBeCancelled)
{
    for (const bool cancel : {true, false}) {
        FakeSetup fakes;
        auto& s = fakes.machine;
        s.AddFolder(L"C:\\Windows\\Inf");
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        fakes.texts.Set(L"Default", L"Prompt0", L"Press Install.");
        fakes.texts.Set(L"Default", L"Waiting", L"Another setup runs.");
        s.lockBusyLooks = cancel ? -1 : 2;
        FakeForm form(frmMainDesign());
        frmMain window(fakes.Get(), form);
        s.lockLook = [&] {
            EXPECT_EQ(form.texts[Control::lbl], L"\r\nAnother setup runs.");
            EXPECT_TRUE(form.allowedWhileBusy[Control::cmdCancel]);
            if (cancel) window.Click(Control::cmdCancel);
        };
        window.Load();
        window.Click(Control::cmdNext);

        EXPECT_TRUE(form.ended);
        EXPECT_EQ(form.exitCode, kExitOk);
        EXPECT_EQ(form.messages.size(), cancel ? 0u : 1u) << "cancelled: " << cancel;
        EXPECT_EQ(s.registered.size(), cancel ? 0u : 1u) << "cancelled: " << cancel;
        if (cancel) continue;
        // Started: the prompt is back, and Cancel no longer ends it.
        EXPECT_EQ(form.texts[Control::lbl], L"\r\nPress Install.");
        EXPECT_FALSE(form.allowedWhileBusy[Control::cmdCancel]);
    }
}

TEST(frmMain, InstallRunsOnceHoweverOftenItIsClicked)
{
    FakeSetup fakes;
    auto& s = fakes.machine;
    s.AddFolder(L"C:\\Windows\\Inf");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    FakeForm form(frmMainDesign());
    form.deferWork = true;  // the work is still running when the clicks come
    frmMain window(fakes.Get(), form);
    window.Load();
    for (int i = 0; i < 3; ++i) window.Click(Control::cmdNext);
    form.FinishWork();
    EXPECT_EQ(s.registered.size(), 1u);
    EXPECT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.exitCode, kExitOk);
}

TEST(frmMain, TheMessageNamesEachFileUpToTwentyLines)
{
    test::FakeSystem system;
    mduResoure::TextTable text;
    text.strFailed = L"Could not copy:";
    text.strNothingChanged = L"Nothing changed.";
    for (std::size_t count : {1u, 20u, 25u}) {
        install::Result result;
        result.filesUnchanged = true;
        for (std::size_t i = 0; i < count; ++i)
            result.failures.push_back({L"f" + std::to_wstring(i) + L".sys", L"C:\\Windows\\System32\\Drivers", 5});
        std::wstring expected = L"Could not copy:";
        for (std::size_t i = 0; i < std::min<std::size_t>(count, 20); ++i)
            expected += L"\r\nf" + std::to_wstring(i) + L".sys (C:\\Windows\\System32\\Drivers): error 5";
        if (count > 20) expected += L"\r\nand 5 more";
        EXPECT_EQ(InstallOutcome(result, text, system).message, expected + L"\r\nNothing changed.") << count;
    }
    // Installed files newer than the package's: each with both versions.
    install::Result newer;
    newer.filesUnchanged = true;
    newer.newer.push_back({L"d.sys", L"C:\\Windows\\System32\\Drivers", 0, L"2.0.0.5; 1.0.0.0"});
    text.strNewer = L"Newer:";
    const Outcome outcome = InstallOutcome(newer, text, system);
    EXPECT_EQ(outcome.message, L"Newer:\r\nd.sys (C:\\Windows\\System32\\Drivers): 2.0.0.5; 1.0.0.0\r\nNothing changed.");
    EXPECT_EQ(outcome.icon, MessageIcon::Warning);
    EXPECT_EQ(outcome.exitCode, kExitCopyFailed);
}

// The program's start: one window per package, and a start that cannot go
// on told in plain words.
TEST(Start, ASecondCopyOrAStartThatCannotGoOnEndsWithItsCode)
{
    struct FakeProgram : Program {
        bool first = true;
        FormEnd end = FormEnd::Ended;
        std::vector<std::wstring> messages, claimed;
        std::wstring title;
        bool ClaimPackage(const std::wstring& folder) override
        {
            claimed.push_back(folder);
            return first;
        }
        FormEnd RunForm(const FormDesign&, const FormFactory& createForm, int& exitCode) override
        {
            if (end != FormEnd::Ended) return end;
            FakeForm form(frmMainDesign());
            createForm(form)->Load();
            title = form.texts[Control::Form];
            exitCode = kExitRestart;  // as the form ended
            return end;
        }
        void ShowFatalMessage(const std::wstring& text) override { messages.push_back(text); }
    };
    const struct {
        bool first;
        Program::FormEnd end;
        int exitCode;
        const wchar_t* message;
    } cases[] = {
        {true, Program::FormEnd::Ended, kExitRestart, nullptr},
        {false, Program::FormEnd::Ended, kExitOk, nullptr},
        {true, Program::FormEnd::NoWindow, kExitCannotStart, L"Setup cannot start: Windows could not make its window."},
        {true, Program::FormEnd::OutOfMemory, kExitCannotStart, L"Setup cannot continue: there is not enough memory."},
        {true, Program::FormEnd::Failed, kExitCannotStart, L"Setup cannot continue: something unexpected went wrong."},
    };
    for (const auto& c : cases) {
        FakeSetup fakes;
        FakeProgram program;
        program.first = c.first;
        program.end = c.end;
        EXPECT_EQ(RunSetup(fakes.Get(), program), c.exitCode);
        EXPECT_EQ(program.claimed, std::vector<std::wstring>{L"C:\\Package"});
        EXPECT_EQ(program.messages, c.message ? std::vector<std::wstring>{c.message} : std::vector<std::wstring>{});
        EXPECT_EQ(program.title, c.first && c.end == Program::FormEnd::Ended ? L"USB Driver" : L"") << "the setup window";
    }
}

}  // namespace
}  // namespace setup
