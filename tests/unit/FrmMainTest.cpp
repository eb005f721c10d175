#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/frmMain.h"

namespace setup {
namespace {

using test::FakeForm;
using test::FakeServices;

TEST(frmMain, LoadPlacesThePromptBesideTheBannerAndSetsTheTexts)
{
    FakeServices services;
    services.Set(L"Default", L"Title", L"Acme USB");
    services.Set(L"Default", L"Prompt0", L"Press Install.");
    services.Set(L"Default", L"Setup", L"&Install");
    services.Set(L"Default", L"Cancel", L"E&xit");
    FakeForm form(frmMainDesign());
    frmMain window(services, form);
    window.Form_Load();

    EXPECT_EQ(form.rects[Control::img], (Twips{0, 0, 2505, 4320}));
    // Not the label's design rectangle (2475, 0, 5370, 4245): the banner's.
    EXPECT_EQ(form.rects[Control::lbl], (Twips{2505, 0, 7950 - 2505, 4320}));
    EXPECT_EQ(form.rects[Control::cmdNext], (Twips{5265, 4500, 1095, 330}));
    EXPECT_EQ(form.rects[Control::cmdCancel], (Twips{6750, 4500, 1095, 330}));
    EXPECT_EQ(form.texts[Control::Form], L"Acme USB");
    EXPECT_EQ(form.texts[Control::lbl], L"\r\nPress Install.");
    EXPECT_EQ(form.texts[Control::cmdNext], L"&Install");
    EXPECT_EQ(form.texts[Control::cmdCancel], L"E&xit");
    // Setup.Ini is read from the program folder only.
    for (const auto& path : services.pathsRead) EXPECT_EQ(path, L"C:\\Package\\Setup.Ini");
    EXPECT_FALSE(form.ended);
}

TEST(frmMain, LabelFollowsWhereverTheBannerAndTheWindowWidthAre)
{
    // A banner moved off the corner goes back to it, and the label starts at
    // its right edge and fills the rest of the width, whatever the sizes.
    FakeServices services;
    FormDesign design = frmMainDesign();
    design.scaleWidth = 9000;
    design.controls[0].rect = {30, 45, 2000, 3000};
    FakeForm form(design);
    frmMain window(services, form);
    window.Form_Load();
    EXPECT_EQ(form.rects[Control::img], (Twips{0, 0, 2000, 3000}));
    EXPECT_EQ(form.rects[Control::lbl], (Twips{2000, 0, 7000, 3000}));
}

TEST(frmMain, CancelEndsAtOnceWithoutAMessage)
{
    FakeServices services;
    FakeForm form(frmMainDesign());
    frmMain window(services, form);
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
        void (*arrange)(test::FakeServices&);
        std::wstring message;
        MessageIcon icon;
        int exitCode;
    };
    const Case cases[] = {
        {"all copied", [](test::FakeServices&) {}, L"Done, restart.", MessageIcon::None, kExitOk},
        {"a driver in use",
         [](test::FakeServices& s) { s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", test::FakeServices::Holder::Loaded); },
         L"Done, restart.\r\nIn use.", MessageIcon::None, kExitRestart},
        {"a copy failed",
         [](test::FakeServices& s) {
             s.files.at(L"c:\\windows\\system32\\drivers\\d.sys").node->attributes = kAttributeReadOnly;
         },
         L"Not copied:\r\nd.sys (C:\\Windows\\System32\\Drivers): error 5\r\nNothing changed.", MessageIcon::Warning,
         kExitCopyFailed},
        {"the driver store refused",
         [](test::FakeServices& s) { s.storeErrors[L"c:\\package\\driver\\a.inf"] = 0xE000022F; },
         L"Not copied:\r\na.inf (driver store): error 3758096943", MessageIcon::Warning, kExitCopyFailed},
        {"the driver store refused, with a driver in use: its files are in place, the restart still due",
         [](test::FakeServices& s) {
             s.storeErrors[L"c:\\package\\driver\\a.inf"] = 0xE000022F;
             s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", test::FakeServices::Holder::Loaded);
         },
         L"Not copied:\r\na.inf (driver store): error 3758096943\r\nIn use.", MessageIcon::Warning, kExitCopyFailed},
        {"a failure undone, with a driver in use: no restart is due",
         [](test::FakeServices& s) {
             s.Hold(L"C:\\Windows\\System32\\Drivers\\d.sys", test::FakeServices::Holder::Loaded);
             s.placeErrors[L"c:\\windows\\inf\\a.inf"] = 87;
         },
         L"Not copied:\r\na.inf (C:\\Windows\\Inf): error 87\r\nNothing changed.", MessageIcon::Warning, kExitCopyFailed},
        {"an undo that could not put an old file back: not \"nothing changed\"",
         [](test::FakeServices& s) {
             s.placeErrors[L"c:\\windows\\system32\\drivers\\e.sys"] = 87;
             s.moveErrors[L"c:\\windows\\system32\\drivers\\d.sys"] = 5;
         },
         L"Not copied:\r\ne.sys (C:\\Windows\\System32\\Drivers): error 87\r\nNot back:\r\n"
         L"d.sys (C:\\Windows\\System32\\Drivers): error 5",
         MessageIcon::Warning, kExitCopyFailed},
    };
    for (const auto& c : cases) {
        FakeServices s;
        s.AddFolder(L"C:\\Package\\Driver");
        s.AddFolder(L"C:\\Windows\\Inf");
        s.AddFolder(L"C:\\Windows\\System32\\Drivers");
        s.Set(L"Default", L"Complete", L"Done, restart.");
        s.Set(L"Default", L"Failed", L" Not copied: ");
        s.Set(L"Default", L"NothingChanged", L"Nothing changed.");
        s.Set(L"Default", L"Restart", L"In use.");
        s.Set(L"Default", L"NotRestored", L"Not back:");
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
        s.AddFile(L"C:\\Package\\Driver\\e.sys", "sys");
        s.AddFile(L"C:\\Windows\\System32\\Drivers\\d.sys", "old");
        c.arrange(s);
        FakeForm form(frmMainDesign());
        frmMain window(s, form);
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
        FakeServices s;
        s.AddFolder(L"C:\\Package\\Driver");
        s.AddFolder(L"C:\\Windows\\Inf");
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        s.Set(L"Default", L"Prompt0", L"Press Install.");
        s.Set(L"Default", L"Waiting", L"Another setup runs.");
        s.lockBusyLooks = cancel ? -1 : 2;
        FakeForm form(frmMainDesign());
        frmMain window(s, form);
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
    FakeServices s;
    s.AddFolder(L"C:\\Package\\Driver");
    s.AddFolder(L"C:\\Windows\\Inf");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    FakeForm form(frmMainDesign());
    form.deferWork = true;  // the work is still running when the clicks come
    frmMain window(s, form);
    window.Load();
    for (int i = 0; i < 3; ++i) window.Click(Control::cmdNext);
    form.FinishWork();
    EXPECT_EQ(s.registered.size(), 1u);
    EXPECT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.exitCode, kExitOk);
}

}  // namespace
}  // namespace setup
