#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "install/DriverInstall.h"

namespace setup {
namespace {

using install::InstallDriverFiles;
using install::Result;
using test::FakeServices;
using Holder = FakeServices::Holder;

const std::wstring kInf = L"C:\\Windows\\Inf";
const std::wstring kIoSubSys = L"C:\\Windows\\System\\IoSubSys";
const std::wstring kDrivers = L"C:\\Windows\\System32\\Drivers";

// A package in C:\Package and a Windows folder with all three destinations.
FakeServices Machine()
{
    FakeServices s;
    s.AddFolder(L"C:\\Package\\Driver");
    for (const auto& folder : {kInf, kIoSubSys, kDrivers}) s.AddFolder(folder);
    return s;
}

Result Install(FakeServices& s) { return InstallDriverFiles(s, L"C:\\Package"); }

// The program's own names (~setup-...) in the three folders.
std::vector<std::wstring> TemporaryFiles(const FakeServices& s)
{
    std::vector<std::wstring> found;
    for (const auto& folder : {kInf, kIoSubSys, kDrivers})
        for (const auto& name : s.FilesIn(folder))
            if (name.rfind(L"~setup-", 0) == 0) found.push_back(name);
    return found;
}

TEST(Install, PassesCopyExactExtensionsOfOrdinaryFilesInOrder)
{
    FakeServices s = Machine();
    const std::wstring longName = std::wstring(250, L'n') + L".sys";  // a temporary name never grows from it
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys bytes");
    s.AddFile(L"C:\\Package\\Driver\\c.pdr", "pdr bytes");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf bytes");
    s.AddFile(L"C:\\Package\\Driver\\B.INF", "upper case");
    s.AddFile(L"C:\\Package\\Driver\\readme.txt", "not copied");
    s.AddFile(L"C:\\Package\\Driver\\a.info", "longer extension");
    s.AddFile(L"C:\\Package\\Driver\\x.inf_old", "longer extension");
    s.AddFolder(L"C:\\Package\\Driver\\x.sys");
    s.AddFile(L"C:\\Package\\Driver\\hidden.sys", "hidden", kAttributeHidden);
    s.AddFile(L"C:\\Package\\Driver\\system.inf", "system", kAttributeSystem);
    s.AddFile(L"C:\\Package\\Driver\\\x9A71\x52A8.sys", "wide name");
    s.AddFile(L"C:\\Package\\Driver\\" + longName, "long name");
    s.AddFile(L"C:\\Windows\\System32\\Drivers\\d.sys", "old version");
    s.AddFile(kDrivers + L"\\" + longName, "old long");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_FALSE(result.restartNeeded);
    EXPECT_EQ(result.copied, 6);
    const std::vector<std::wstring> expected = {
        kInf + L"\\a.inf", kInf + L"\\B.INF", kIoSubSys + L"\\c.pdr", kDrivers + L"\\d.sys",
        kDrivers + L"\\" + longName, kDrivers + L"\\\x9A71\x52A8.sys",
    };
    EXPECT_EQ(s.placed, expected);
    EXPECT_EQ(s.BytesAt(kInf + L"\\a.inf"), "inf bytes");
    EXPECT_EQ(s.BytesAt(kIoSubSys + L"\\c.pdr"), "pdr bytes");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "sys bytes");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\" + longName), "long name");
    EXPECT_TRUE(TemporaryFiles(s).empty());
    EXPECT_EQ(s.FilesIn(kInf).size() + s.FilesIn(kIoSubSys).size() + s.FilesIn(kDrivers).size(), expected.size());
    EXPECT_TRUE(s.atRestart.empty());
}

TEST(Install, MissingDestinationFolderSkipsItsPassSilently)
{
    FakeServices s = Machine();
    s.files.erase(L"c:\\windows\\system\\iosubsys");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    s.AddFile(L"C:\\Package\\Driver\\c.pdr", "pdr");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(s.placed, (std::vector<std::wstring>{kInf + L"\\a.inf", kDrivers + L"\\d.sys"}));
    EXPECT_FALSE(s.FileAt(kIoSubSys)) << "no folder is created";
}

// Whatever cannot be copied, on the package's side or the destination's,
// every destination file stays as it was, no copy is left, the driver store
// is not touched, and every failed file is named.
TEST(Install, AnyFailedCopyChangesNothing)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeServices&);
        std::vector<std::pair<std::wstring, std::uint32_t>> failed;  // name, error
    };
    const Case cases[] = {
        {"package file held open by another program",
         [](FakeServices& s) { s.Hold(L"C:\\Package\\Driver\\b.sys", Holder::NoSharing); },
         {{L"b.sys", kErrorSharingViolation}}},
        {"package file unreadable", [](FakeServices& s) { s.sourceErrors[L"c:\\package\\driver\\a.inf"] = 23; },
         {{L"a.inf", 23}}},
        {"package taken away (a USB stick pulled out)",
         [](FakeServices& s) {
             for (const wchar_t* name : {L"a.inf", L"b.sys", L"n.sys"})
                 s.sourceErrors[L"c:\\package\\driver\\" + std::wstring(name)] = FakeServices::kErrorNotReady;
         },
         {{L"a.inf", 21}, {L"b.sys", 21}, {L"n.sys", 21}}},
        {"disk full for the .sys files, not the .inf",
         [](FakeServices& s) { s.writeErrors[L"c:\\windows\\system32\\drivers"] = 112; },
         {{L"b.sys", 112}, {L"n.sys", 112}}},
        {"installed file read-only",
         [](FakeServices& s) { s.files.at(L"c:\\windows\\system32\\drivers\\b.sys").node->attributes = kAttributeReadOnly; },
         {{L"b.sys", kErrorAccessDenied}}},
        {"installed file hidden",
         [](FakeServices& s) { s.files.at(L"c:\\windows\\inf\\a.inf").node->attributes = kAttributeHidden; },
         {{L"a.inf", kErrorAccessDenied}}},
        {"a folder in the file's place",
         [](FakeServices& s) { s.AddFolder(L"C:\\Windows\\System32\\Drivers\\n.sys"); },
         {{L"n.sys", kErrorAccessDenied}}},
    };
    for (const auto& c : cases) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "new inf");
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "new b");
        s.AddFile(L"C:\\Package\\Driver\\n.sys", "new n");  // not installed before
        s.AddFile(kInf + L"\\a.inf", "old inf");
        s.AddFile(kDrivers + L"\\b.sys", "old b");
        c.arrange(s);
        const auto before = s.files;

        const Result result = Install(s);

        ASSERT_EQ(result.failures.size(), c.failed.size()) << c.name;
        for (std::size_t i = 0; i < c.failed.size(); ++i) {
            EXPECT_EQ(result.failures[i].name, c.failed[i].first) << c.name;
            EXPECT_EQ(result.failures[i].error, c.failed[i].second) << c.name;
        }
        EXPECT_TRUE(result.filesUnchanged) << c.name;
        EXPECT_EQ(result.copied, 0) << c.name;
        EXPECT_TRUE(s.registered.empty()) << c.name;
        // Every file as it was, bytes and attributes; nothing added.
        ASSERT_EQ(s.files.size(), before.size()) << c.name;
        for (const auto& [key, file] : before) {
            ASSERT_TRUE(s.files.count(key)) << c.name;
            EXPECT_EQ(s.files.at(key).node->bytes, file.node->bytes) << c.name;
            EXPECT_EQ(s.files.at(key).node->attributes, file.node->attributes) << c.name;
        }
    }
}

TEST(Install, CopiesGoInPlaceOnlyOnceAllAreWrittenAndTheDriverIsRegistered)
{
    FakeServices s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "a");
    s.AddFile(L"C:\\Package\\Driver\\b.inf", "b");
    s.AddFile(L"C:\\Package\\Driver\\c.sys", "c");
    s.AddFile(kInf + L"\\a.inf", "identical files are registered all the same");

    Install(s);

    // Registered from the package, before any copy took its place.
    EXPECT_EQ(s.registered, (std::vector<std::wstring>{L"C:\\Package\\Driver\\a.inf", L"C:\\Package\\Driver\\b.inf"}));
    EXPECT_EQ(s.placedWhenRegistered, (std::vector<std::size_t>{0, 0}));
    std::size_t lastStage = 0, firstPut = s.calls.size();
    for (std::size_t i = 0; i < s.calls.size(); ++i) {
        if (s.calls[i].rfind(L"stage ", 0) == 0) lastStage = i;
        if (s.calls[i].rfind(L"put ", 0) == 0) firstPut = std::min(firstPut, i);
    }
    EXPECT_LT(lastStage, firstPut);
}

TEST(Install, DriverStoreRefusalIsNamedAndTheFilesStillGoInPlace)
{
    FakeServices s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\good.inf", "good");
    s.AddFile(L"C:\\Package\\Driver\\bad.inf", "random bytes");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
    s.storeErrors[L"c:\\package\\driver\\bad.inf"] = 0xE0000000;

    const Result result = Install(s);

    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].name, L"bad.inf");
    EXPECT_EQ(result.failures[0].folder, L"driver store");
    EXPECT_EQ(result.failures[0].error, 0xE0000000u);
    EXPECT_FALSE(result.filesUnchanged);
    EXPECT_EQ(s.BytesAt(kInf + L"\\bad.inf"), "random bytes");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "sys");
}

TEST(Install, A32BitProgramOn64BitWindowsRegistersThroughPnputil)
{
    struct Case {
        std::uint32_t runError, exitCode, reported;
    };
    const Case cases[] = {{0, 0, 0}, {0, 3010, 0}, {0, 5, 5}, {2, 0, 2}};
    for (const auto& c : cases) {
        FakeServices s = Machine();
        s.wow64 = true;
        s.runError = c.runError;
        s.runExitCode = c.exitCode;
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        const Result result = Install(s);
        EXPECT_EQ(s.programsRun,
                  std::vector<std::wstring>{L"C:\\Windows\\Sysnative\\pnputil.exe -a \"C:\\Package\\Driver\\a.inf\""});
        ASSERT_EQ(result.failures.size(), c.reported ? 1u : 0u) << c.exitCode;
        if (c.reported) {
            EXPECT_EQ(result.failures[0].error, c.reported);
        }
    }
}

// A 32-bit program on 64-bit Windows: the .sys files reach System32, not
// SysWOW64, and only their work runs with redirection off.
TEST(Install, RedirectionIsOffOnlyForTheSystem32Folder)
{
    FakeServices s = Machine();
    s.wow64 = true;
    s.AddFolder(L"C:\\Windows\\SysWOW64\\Drivers");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
    s.AddFile(kDrivers + L"\\d.sys", "old sys");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "sys");
    EXPECT_TRUE(s.FilesIn(L"C:\\Windows\\SysWOW64\\Drivers").empty());
    EXPECT_FALSE(s.redirectionOff) << "turned back on";
    bool off = false;
    for (const auto& call : s.calls) {
        if (call == L"redirection off" || call == L"redirection on") {
            off = call == L"redirection off";
            continue;
        }
        const bool system32 = call.find(L"System32") != std::wstring::npos;
        if (call.rfind(L"search C:\\Package", 0) != 0 && call.rfind(L"stage", 0) != 0) {
            EXPECT_EQ(off, system32) << "while " << std::string(call.begin(), call.end());
        }
    }

    // Where it cannot be turned off, the .sys files fail with the reason.
    FakeServices fails = Machine();
    fails.wow64 = true;
    fails.redirectionError = 50;
    fails.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    fails.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
    const Result failed = Install(fails);
    ASSERT_EQ(failed.failures.size(), 1u);
    EXPECT_EQ(failed.failures[0].name, L"d.sys");
    EXPECT_EQ(failed.failures[0].error, 50u);
    EXPECT_TRUE(failed.filesUnchanged);
    EXPECT_FALSE(fails.FileAt(kInf + L"\\a.inf"));
}

// An installed file that is open or loaded cannot be replaced at once.
TEST(Install, FilesInUseAreReplacedNowOrAtRestart)
{
    struct Case {
        const char* name;
        Holder holder;
        bool newAtOnce;  // the new file is in place before the restart
    };
    const Case cases[] = {
        {"driver loaded", Holder::Loaded, true},            // renamed away, deleted at restart
        {"open, shared for deleting", Holder::DeleteSharing, true},
        {"open, shared with nobody", Holder::NoSharing, false},  // replaced at restart
    };
    for (const auto& c : cases) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "new driver");
        s.AddFile(L"C:\\Package\\Driver\\e.sys", "other");
        s.AddFile(kDrivers + L"\\d.sys", "old driver");
        s.Hold(kDrivers + L"\\d.sys", c.holder);

        const Result result = Install(s);
        s.EndProgram(false);

        EXPECT_TRUE(result.failures.empty()) << c.name;
        EXPECT_TRUE(result.restartNeeded) << c.name;
        EXPECT_EQ(result.copied, 2) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), c.newAtOnce ? "new driver" : "old driver") << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\e.sys"), "other") << c.name;
        // Whatever is left waits for the restart, which clears it away.
        for (const auto& name : TemporaryFiles(s)) {
            bool pending = false;
            for (const auto& work : s.atRestart) pending = pending || work.from == kDrivers + L"\\" + name;
            EXPECT_TRUE(pending) << c.name << ": " << std::string(name.begin(), name.end());
        }
        s.Restart();
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "new driver") << c.name;
        EXPECT_TRUE(TemporaryFiles(s).empty()) << c.name;
    }
}

// A rename that fails for another reason takes back the renames before it.
TEST(Install, AFailedRenameUndoesTheOthers)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeServices&);
        bool undone;
    };
    const Case cases[] = {
        {"rename refused", [](FakeServices&) {}, true},
        {"an old file in use before it", [](FakeServices& s) { s.Hold(kDrivers + L"\\b.sys", Holder::Loaded); }, true},
        {"an old file replaced at restart",
         [](FakeServices& s) { s.Hold(kDrivers + L"\\b.sys", Holder::NoSharing); }, true},
        {"no second names on this disk", [](FakeServices& s) { s.linkError = 1; }, false},
    };
    for (const auto& c : cases) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");  // new
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "new b");  // replaces
        s.AddFile(L"C:\\Package\\Driver\\c.sys", "new c");  // refused
        s.AddFile(kDrivers + L"\\b.sys", "old b");
        s.AddFile(kDrivers + L"\\c.sys", "old c");
        s.placeErrors[L"c:\\windows\\system32\\drivers\\c.sys"] = 87;
        c.arrange(s);

        const Result result = Install(s);
        s.EndProgram(false);

        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_EQ(result.failures[0].name, L"c.sys") << c.name;
        EXPECT_EQ(result.failures[0].error, 87u) << c.name;
        EXPECT_EQ(result.filesUnchanged, c.undone) << c.name;
        EXPECT_FALSE(result.restartNeeded) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\c.sys"), "old c") << c.name;
        if (c.undone) {
            EXPECT_FALSE(s.FileAt(kInf + L"\\a.inf")) << c.name;
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\b.sys"), "old b") << c.name;
        }
        s.Restart();
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\b.sys"), c.undone ? "old b" : "new b") << c.name;
        EXPECT_TRUE(TemporaryFiles(s).empty()) << c.name;
    }
}

TEST(Install, RestartWorkThatCannotBeRecordedChangesNothing)
{
    FakeServices s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
    s.AddFile(kDrivers + L"\\d.sys", "old d");
    s.Hold(kDrivers + L"\\d.sys", Holder::NoSharing);
    s.restartError = 5;

    const Result result = Install(s);
    s.EndProgram(false);

    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].error, 5u);
    EXPECT_TRUE(result.filesUnchanged);
    EXPECT_FALSE(s.FileAt(kInf + L"\\a.inf"));
    s.Restart();
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "old d");
    // The old file's second name could not go, nor wait for the restart:
    // the next run removes it.
    for (const auto& name : TemporaryFiles(s)) EXPECT_TRUE(install::IsLeftover(name));
}

// The power goes after any change to the disk: each file is whole, old or
// new, and the next run installs and leaves nothing of either run behind.
TEST(Install, PowerCutAtAnyMomentLeavesEveryFileWhole)
{
    for (int cut = 0;; ++cut) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "new b");
        s.AddFile(L"C:\\Package\\Driver\\n.sys", "new n");
        s.AddFile(kInf + L"\\a.inf", "old a");
        s.AddFile(kDrivers + L"\\b.sys", "old b");
        s.powerCutAfter = cut;

        const Result first = Install(s);
        const bool wholeRun = s.powerCutAfter != 0;
        s.EndProgram(true);
        for (const auto& [path, oldBytes, newBytes] :
             {std::tuple{kInf + L"\\a.inf", "old a", "new a"}, {kDrivers + L"\\b.sys", "old b", "new b"},
              {kDrivers + L"\\n.sys", "(none)", "new n"}}) {
            const std::string bytes = s.BytesAt(path);
            EXPECT_TRUE(bytes == oldBytes || bytes == newBytes) << "cut " << cut << ": " << bytes;
        }
        if (wholeRun) {  // the power lasted: nothing was cut
            EXPECT_TRUE(first.failures.empty());
            EXPECT_TRUE(TemporaryFiles(s).empty());
            break;
        }
        s.powerCutAfter = -1;
        s.processId += 1;
        const Result second = Install(s);
        s.EndProgram(false);
        EXPECT_TRUE(second.failures.empty()) << "cut " << cut;
        EXPECT_EQ(s.BytesAt(kInf + L"\\a.inf"), "new a") << "cut " << cut;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\n.sys"), "new n") << "cut " << cut;
        EXPECT_TRUE(TemporaryFiles(s).empty()) << "cut " << cut;
        ASSERT_LT(cut, 100);
    }
}

TEST(Install, LeftoversAreRemovedButNotWorkForTheRestartNorOtherFiles)
{
    FakeServices s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
    for (const wchar_t* name : {L"~setup-63-1.tmp", L"~setup-63-2.bak", L"~setup-63-3.old", L"~setup-63-4.new",
                                L"~setup-notes.txt", L"~setup-63-5.tmp"})
        s.AddFile(kDrivers + L"\\" + name, "left");
    s.Hold(kDrivers + L"\\~setup-63-5.tmp", Holder::NoSharing);  // another copy of the program writes it
    s.AddFolder(kDrivers + L"\\~setup-63-6.tmp");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(TemporaryFiles(s), (std::vector<std::wstring>{L"~setup-63-4.new", L"~setup-63-5.tmp", L"~setup-notes.txt"}));
    EXPECT_TRUE(s.FileAt(kDrivers + L"\\~setup-63-6.tmp"));
}

TEST(Install, TemporaryNamesAreShortAndNeverShared)
{
    EXPECT_EQ(install::TemporaryName(0x1a2b, 3, L"tmp"), L"~setup-1a2b-3.tmp");
    EXPECT_LE(install::TemporaryName(0xFFFFFFFF, 0xFFFFFFFF, L"tmp").size(), 28u);
    EXPECT_NE(install::TemporaryName(4, 1, L"tmp"), install::TemporaryName(8, 1, L"tmp"));
    for (const auto& [name, leftover] :
         {std::pair{L"~setup-1-1.tmp", true}, {L"~setup-1-1.TMP", true}, {L"~setup-1-1.bak", true},
          {L"~setup-1-1.old", true}, {L"~setup-1-1.new", false}, {L"~setup-.tmp", false}, {L"setup-1-1.tmp", false},
          {L"~setup-1-1.tmp.sys", false}})
        EXPECT_EQ(install::IsLeftover(name), leftover) << std::wstring(name);

    // A name of this process's that a killed copy with the same id left
    // and that cannot be removed: the next name is taken.
    FakeServices s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
    s.AddFile(kDrivers + L"\\" + install::TemporaryName(s.processId, 1, L"tmp"), "held");
    s.Hold(kDrivers + L"\\" + install::TemporaryName(s.processId, 1, L"tmp"), Holder::NoSharing);
    EXPECT_TRUE(Install(s).failures.empty());
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "new d");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\" + install::TemporaryName(s.processId, 1, L"tmp")), "held");
}

TEST(Install, FailingSearchEndsThePassWithoutRepeatingAName)
{
    FakeServices s = Machine();
    s.searchFailsAfter = 1;
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "a");
    s.AddFile(L"C:\\Package\\Driver\\b.inf", "b");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "d");
    s.AddFile(L"C:\\Package\\Driver\\e.sys", "e");
    Install(s);
    EXPECT_EQ(s.placed, (std::vector<std::wstring>{kInf + L"\\a.inf", kDrivers + L"\\d.sys"}));
}

TEST(Install, WindowsFolderAsTheSystemGivesIt)
{
    struct Case {
        const char* name;
        std::wstring windows;
        bool fails;
        std::wstring inf;  // where an .inf file goes
    };
    const Case cases[] = {
        {"usual", L"C:\\WINNT", false, L"C:\\WINNT\\Inf\\a.inf"},
        {"fails", L"", true, L"C:\\windows\\Inf\\a.inf"},
        {"empty", L"", false, L"C:\\windows\\Inf\\a.inf"},
        {"a drive root", L"E:\\", false, L"E:\\Inf\\a.inf"},
    };
    for (const auto& c : cases) {
        FakeServices s;
        s.windowsFolder = c.windows;
        s.windowsFolderFails = c.fails;
        s.AddFolder(c.inf.substr(0, c.inf.size() - 6));
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        const Result result = Install(s);
        EXPECT_EQ(s.placed, std::vector<std::wstring>{c.inf}) << c.name;
        EXPECT_TRUE(result.failures.empty()) << c.name;
    }
}

TEST(Install, ProgramFolderAtADriveRootIsJoinedCleanly)
{
    FakeServices s = Machine();
    s.AddFile(L"E:\\Driver\\a.inf", "inf");
    InstallDriverFiles(s, L"E:\\");
    EXPECT_EQ(s.calls.front(), L"search E:\\Driver\\*.inf");
    EXPECT_EQ(s.BytesAt(kInf + L"\\a.inf"), "inf");
}

TEST(Install, FailureMessageNamesEachFileUpToTwentyLines)
{
    FakeServices s;
    for (std::size_t count : {1u, 20u, 25u}) {
        std::vector<install::Failure> failures;
        for (std::size_t i = 0; i < count; ++i)
            failures.push_back({L"f" + std::to_wstring(i) + L".sys", L"C:\\Windows\\System32\\Drivers", 5});
        const std::wstring message = install::FailureMessage(s, L"Could not copy:", failures);
        std::vector<std::wstring> lines;
        for (std::size_t at = 0;;) {
            const auto end = message.find(L"\r\n", at);
            lines.push_back(message.substr(at, end - at));
            if (end == std::wstring::npos) break;
            at = end + 2;
        }
        EXPECT_EQ(lines.front(), L"Could not copy:");
        EXPECT_EQ(lines[1], L"f0.sys (C:\\Windows\\System32\\Drivers): error 5");
        const std::size_t shown = std::min<std::size_t>(count, 20);
        EXPECT_EQ(lines.size(), 1 + shown + (count > 20 ? 1 : 0)) << count;
        if (count > 20) EXPECT_EQ(lines.back(), L"and 5 more");
        else EXPECT_EQ(lines.back(), L"f" + std::to_wstring(count - 1) + L".sys (C:\\Windows\\System32\\Drivers): error 5");
    }
}

}  // namespace
}  // namespace setup
