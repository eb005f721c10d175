#include <gtest/gtest.h>

#include "FakeMachine.h"
#include "install/DriverInstall.h"
#include "install/Journal.h"

namespace setup {
namespace {

using install::InstallDriverFiles;
using install::Result;
using test::FakeMachine;
using test::Lower;
using Holder = test::FakeFiles::Holder;

const std::wstring kInf = L"C:\\Windows\\Inf";
const std::wstring kIoSubSys = L"C:\\Windows\\System\\IoSubSys";
const std::wstring kDrivers = L"C:\\Windows\\System32\\Drivers";

// A package in C:\Package and a Windows folder with all three destinations.
FakeMachine Machine()
{
    FakeMachine s;
    s.AddFolder(L"C:\\Package\\Driver");
    for (const auto& folder : {kInf, kIoSubSys, kDrivers}) s.AddFolder(folder);
    return s;
}

Result Install(FakeMachine& s) { return InstallDriverFiles(s, s, s, s, s, s, L"C:\\Package"); }

// The program's own names (~setup-...) in the three folders.
std::vector<std::wstring> TemporaryFiles(const FakeMachine& s)
{
    std::vector<std::wstring> found;
    for (const auto& folder : {kInf, kIoSubSys, kDrivers})
        for (const auto& name : s.FilesIn(folder))
            if (name.rfind(L"~setup-", 0) == 0) found.push_back(name);
    return found;
}

// Every file as it was, bytes and attributes; nothing added.
void ExpectUnchanged(const FakeMachine& s, const std::map<std::wstring, test::FakeFiles::File>& before, const char* name)
{
    EXPECT_EQ(s.files.size(), before.size()) << name;
    for (const auto& [key, file] : before) {
        ASSERT_TRUE(s.files.count(key)) << name << ": " << std::string(key.begin(), key.end());
        EXPECT_EQ(s.files.at(key).node->bytes, file.node->bytes) << name;
        EXPECT_EQ(s.files.at(key).node->attributes, file.node->attributes) << name;
    }
}

TEST(Install, PassesCopyExactExtensionsOfOrdinaryFilesInOrder)
{
    FakeMachine s = Machine();
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
    s.AddFile(L"C:\\Package\\Driver\\acme.x64.sys", "two dots");
    s.AddFile(L"C:\\Package\\Driver\\" + longName, "long name");
    s.AddFile(L"C:\\Windows\\System32\\Drivers\\d.sys", "old version");
    s.AddFile(kDrivers + L"\\" + longName, "old long");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_FALSE(result.restartNeeded);
    EXPECT_EQ(result.copied, 7);
    const std::vector<std::wstring> expected = {
        kInf + L"\\a.inf", kInf + L"\\B.INF", kIoSubSys + L"\\c.pdr", kDrivers + L"\\acme.x64.sys", kDrivers + L"\\d.sys",
        kDrivers + L"\\" + longName, kDrivers + L"\\\x9A71\x52A8.sys",
    };
    EXPECT_EQ(s.placed, expected);
    EXPECT_EQ(s.BytesAt(kInf + L"\\a.inf"), "inf bytes");
    EXPECT_EQ(s.BytesAt(kIoSubSys + L"\\c.pdr"), "pdr bytes");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "sys bytes");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\" + longName), "long name");
    EXPECT_TRUE(TemporaryFiles(s).empty());
    // Besides the driver store's copies of the INF files.
    EXPECT_EQ(s.FilesIn(kInf).size() + s.FilesIn(kIoSubSys).size() + s.FilesIn(kDrivers).size(),
              expected.size() + s.store.size());
    EXPECT_TRUE(s.atRestart.empty());
    // Every change was made under the machine's lock, which is free again,
    // and every rename reached the disk before the install said it was done.
    EXPECT_EQ(s.changesWithoutLock, 0);
    EXPECT_FALSE(s.lockHeld);
    EXPECT_TRUE(s.unflushed.empty());
}

// The .sys files of the folder for this Windows' processor go in beside
// Driver's own, which they replace (only they are checked); the others stay.
TEST(Install, TheProcessorFolderOfThisWindowsIsInstalled)
{
    const std::string x86Image = "MZ" + std::string(0x3A, '\0') + std::string("@\0\0\0PE\0\0\x4c\x01", 10);
    using Row = std::tuple<int, std::string, std::string>;
    for (const auto& [kernel, d, e] : {Row{0x8664, "amd64 d", "(none)"}, Row{0x014C, "x86 d", "x86 e"},
                                       Row{0xAA64, "arm64 d", "(none)"}, Row{0, x86Image, "(none)"}}) {
        FakeMachine s = Machine();
        s.kernelMachine = static_cast<std::uint16_t>(kernel);
        for (const auto& [path, bytes] : {std::pair<std::wstring, std::string>{L"d.sys", x86Image}, {L"AMD64\\d.sys", "amd64 d"},
                                          {L"i386\\D.SYS", "x86 d"}, {L"i386\\e.sys", "x86 e"}, {L"Arm64\\d.sys", "arm64 d"},
                                          {L"x64", "a file, not a folder"}})
            s.AddFile(L"C:\\Package\\Driver\\" + path, bytes);
        EXPECT_TRUE(Install(s).failures.empty()) << kernel;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), d) << kernel;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\e.sys"), e) << kernel;
    }
}

TEST(Install, MissingDestinationFolderSkipsItsPassSilently)
{
    FakeMachine s = Machine();
    s.files.erase(L"c:\\windows\\system\\iosubsys");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    s.AddFile(L"C:\\Package\\Driver\\c.pdr", "pdr");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(s.placed, (std::vector<std::wstring>{kInf + L"\\a.inf", kDrivers + L"\\d.sys"}));
    EXPECT_FALSE(s.FileAt(kIoSubSys)) << "no folder is created";
    FakeMachine t = Machine();  // nor is a file in its place one
    t.AddFile(kIoSubSys, "not a folder");
    t.AddFile(L"C:\\Package\\Driver\\c.pdr", "pdr");
    EXPECT_TRUE(Install(t).failures.empty() && t.placed.empty());
}

// Whatever cannot be copied, on the package's side or the destination's,
// every destination file stays as it was, no copy is left, the driver store
// is not touched, and every failed file is named.
TEST(Install, AnyFailedCopyChangesNothing)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeMachine&);
        std::vector<std::pair<std::wstring, std::uint32_t>> failed;  // name, error
    };
    const Case cases[] = {
        {"package file held open by another program",
         [](FakeMachine& s) { s.Hold(L"C:\\Package\\Driver\\b.sys", Holder::NoSharing); },
         {{L"b.sys", kErrorSharingViolation}}},
        {"package file unreadable", [](FakeMachine& s) { s.sourceErrors[L"c:\\package\\driver\\a.inf"] = 1; },
         {{L"a.inf", 1}}},
        {"package taken away (a USB stick pulled out)",
         [](FakeMachine& s) {
             for (const wchar_t* name : {L"a.inf", L"b.sys", L"n.sys"})
                 s.sourceErrors[L"c:\\package\\driver\\" + std::wstring(name)] = test::FakeFiles::kErrorNotReady;
         },
         {{L"a.inf", 21}, {L"b.sys", 21}, {L"n.sys", 21}}},
        {"disk full for the .sys files, not the .inf",
         [](FakeMachine& s) { s.writeErrors[L"c:\\windows\\system32\\drivers"] = 112; },
         {{L"b.sys", 112}, {L"n.sys", 112}}},
        {"installed file read-only",
         [](FakeMachine& s) { s.files.at(L"c:\\windows\\system32\\drivers\\b.sys").node->attributes = kAttributeReadOnly; },
         {{L"b.sys", kErrorAccessDenied}}},
        {"installed file hidden",
         [](FakeMachine& s) { s.files.at(L"c:\\windows\\inf\\a.inf").node->attributes = kAttributeHidden; },
         {{L"a.inf", kErrorAccessDenied}}},
        {"a folder in the file's place",
         [](FakeMachine& s) { s.AddFolder(L"C:\\Windows\\System32\\Drivers\\n.sys"); },
         {{L"n.sys", kErrorAccessDenied}}},
        {"installed file refuses every change (its second name is refused before the driver store changes)",
         [](FakeMachine& s) { s.files.at(L"c:\\windows\\system32\\drivers\\b.sys").node->immutable = true; },
         {{L"b.sys", kErrorAccessDenied}}},
        {"a name the driver store gives its packages (not one that only starts so)",
         [](FakeMachine& s) {
             s.AddFile(L"C:\\Package\\Driver\\OEM19.inf", "another vendor's name");
             s.AddFile(L"C:\\Package\\Driver\\oemsetup.inf", "a vendor's own name");
             s.AddFile(L"C:\\Package\\Driver\\oem1a.inf", "a vendor's own name, a digit first");
         },
         {{L"OEM19.inf", kErrorReservedName}}},
        {"such a name of one digit", [](FakeMachine& s) { s.AddFile(L"C:\\Package\\Driver\\oem0.inf", "oem"); },
         {{L"oem0.inf", kErrorReservedName}}},
        {"the Driver folder's listing cut short (a USB stick pulled out)", [](FakeMachine& s) { s.searchFailsAfter = 1; },
         {{L"Driver", test::FakeShared::kErrorNotReady}}},
        {"installed file that cannot be renamed (an access control list)",
         [](FakeMachine& s) { s.checkErrors[L"c:\\windows\\system32\\drivers\\b.sys"] = kErrorAccessDenied; },
         {{L"b.sys", kErrorAccessDenied}}},
        {"no Driver folder", [](FakeMachine& s) { s.files.erase(L"c:\\package\\driver"); },
         {{L"Driver", kErrorPathNotFound}}},
        {"a file named Driver",
         [](FakeMachine& s) {
             s.files.erase(L"c:\\package\\driver");
             s.AddFile(L"C:\\Package\\Driver", "not a folder");
         },
         {{L"Driver", kErrorDirectory}}},
        {"Driver folder unreadable, on a kernel of no processor known (no processor folder looked for)",
         [](FakeMachine& s) { s.searchErrors[L"c:\\package\\driver"] = kErrorAccessDenied; s.kernelMachine = 0; },
         {{L"Driver", kErrorAccessDenied}}},
        {"the journal cannot be written", [](FakeMachine& s) { s.journalError = 112; },
         {{L"~setup-1a2b-1d9c0ffee-4.jnl", 112}}},
        {"two folders for this processor: named alone, before the lock (a journal cut short stays)",
         [](FakeMachine& s) {
             s.AddFile(L"C:\\Package\\Driver\\amd64\\b.sys", "amd64 b");
             s.AddFile(L"C:\\Package\\Driver\\X64\\b.sys", "x64 b");
             s.AddFile(L"C:\\Package\\Driver\\oem1.inf", "oem");
             s.WriteJournal(kInf + L"\\~setup-63-9.jnl", L"~setup journal 2\nP 63", false);
         },
         {{L"amd64, X64", kErrorTwoProcessorFolders}}},
        {"folders for other processors only, and no .sys of its own: named alone",
         [](FakeMachine& s) {
             for (const wchar_t* name : {L"b.sys", L"n.sys"}) s.files.erase(L"c:\\package\\driver\\" + std::wstring(name));
             s.AddFile(L"C:\\Package\\Driver\\x86\\b.sys", "x86 b");
             s.AddFile(L"C:\\Package\\Driver\\arm64\\b.sys", "arm64 b");
             s.AddFile(L"C:\\Package\\Driver\\oem1.inf", "oem");
         },
         {{L"Driver", kErrorMachineMismatch}}},
        {"the Driver folder's listing cut short after its one file of each kind",
         [](FakeMachine& s) { s.files.erase(L"c:\\package\\driver\\n.sys"); s.searchFailsAfter = 1; },
         {{L"Driver", test::FakeShared::kErrorNotReady}}},
        {"every fresh name for n.sys taken by this run's leftovers, which the sweep cannot list",
         [](FakeMachine& s) {
             s.searchErrors[Lower(kDrivers) + L"\\~setup-*"] = kErrorAccessDenied;
             for (std::uint32_t n = 2; n < 130; ++n)  // b.sys gets 65, the first that is free; n.sys none of 64
                 if (n != 65) s.AddFile(kDrivers + L"\\" + install::TemporaryName(s.run, n, L"tmp"), "taken");
         },
         {{L"n.sys", kErrorFileExists}}},
        {"an installed file's version unreadable (held by another program)",
         [](FakeMachine& s) { s.versions[L"c:\\package\\driver\\a.inf"] = L"1/2/2025"; s.Hold(kInf + L"\\a.inf", Holder::NoSharing); },
         {{L"a.inf", kErrorSharingViolation}}},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "new inf");
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "new b");
        s.AddFile(L"C:\\Package\\Driver\\n.sys", "new n");  // not installed before
        s.AddFile(kInf + L"\\a.inf", "old inf");
        s.AddFile(kDrivers + L"\\b.sys", "old b");
        c.arrange(s);
        const auto before = s.files;
        s.changesWithoutLock = 0;  // the arrangement's own

        const Result result = Install(s);

        auto failures = result.failures;  // or files that could not be read to be checked
        failures.insert(failures.end(), result.unreadable.begin(), result.unreadable.end());
        ASSERT_EQ(failures.size(), c.failed.size()) << c.name;
        for (std::size_t i = 0; i < c.failed.size(); ++i) {
            EXPECT_EQ(failures[i].name, c.failed[i].first) << c.name;
            EXPECT_EQ(failures[i].error, c.failed[i].second) << c.name;
        }
        EXPECT_TRUE(result.filesUnchanged) << c.name;
        EXPECT_EQ(result.copied, 0) << c.name;
        EXPECT_TRUE(s.registered.empty()) << c.name;
        EXPECT_TRUE(s.atRestart.empty()) << c.name;
        EXPECT_EQ(s.changesWithoutLock, 0) << c.name << ": a copy was deleted after the lock was let go";
        ExpectUnchanged(s, before, c.name);
    }
}

TEST(Install, CopiesGoInPlaceOnlyOnceAllAreWrittenAndTheDriverIsRegistered)
{
    FakeMachine s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "a");
    s.AddFile(L"C:\\Package\\Driver\\b.inf", "b");
    s.AddFile(L"C:\\Package\\Driver\\c.sys", "c");
    s.AddFile(kInf + L"\\a.inf", "identical files are registered all the same");

    Install(s);

    // Registered from the package, before any copy took its place.
    EXPECT_EQ(s.registered, (std::vector<std::wstring>{L"C:\\Package\\Driver\\a.inf", L"C:\\Package\\Driver\\b.inf"}));
    EXPECT_EQ(s.placedWhenRegistered, (std::vector<std::size_t>{0, 0}));
    // Whatever can fail for a reason foreseen (a copy, an old file's second
    // name, a file that cannot be renamed) was tried before the store
    // changed.
    std::size_t lastPrepared = 0, firstRegistered = s.calls.size();
    for (std::size_t i = 0; i < s.calls.size(); ++i) {
        for (const wchar_t* kind : {L"stage ", L"link ", L"check "})
            if (s.calls[i].rfind(kind, 0) == 0) lastPrepared = i;
        if (s.calls[i].rfind(L"register ", 0) == 0) firstRegistered = std::min(firstRegistered, i);
    }
    EXPECT_LT(lastPrepared, firstRegistered);
}

// A package the driver store refuses is one Windows will not use: nothing
// goes in, the packages added before it come out again, and the refusal
// names what the INF needs for this processor that the package lacks. A
// store that says it holds the package already is believed only where the
// name it gives holds the INF's bytes.
TEST(Install, APackageTheDriverStoreRefusesChangesNothing)
{
    const std::wstring b = L"C:\\Package\\Driver\\b.inf";
    struct Case {
        const char* name;
        void (*arrange)(FakeMachine&, const std::wstring& inf);
        std::uint32_t error;   // 0: installed
        std::wstring lacking;  // named with the refusal
    };
    const Case cases[] = {
        {"refused", [](FakeMachine& s, const std::wstring& inf) { s.storeErrors[Lower(inf)] = 0xE000024B; }, 0xE000024B,
         L"amd64.cat, amd64\\b.sys"},
        {"said to be held, by a name of other bytes",
         [](FakeMachine& s, const std::wstring& inf) { s.claimsToHold[Lower(inf)] = L"oem7.inf"; }, kErrorFileExists,
         L"amd64.cat, amd64\\b.sys"},
        {"said to be held, by a name of its bytes",
         [](FakeMachine& s, const std::wstring& inf) { s.claimsToHold[Lower(inf)] = L"oem8.inf"; }, 0, L""},
        {"its INF held by another program once copied",
         [](FakeMachine& s, const std::wstring& inf) {
             s.whileStaging = [&s, inf](const std::wstring& source) { if (source == inf) s.Hold(inf, Holder::NoSharing); };
         },
         kErrorSharingViolation, L"amd64.cat, amd64\\b.sys"},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "good");
        s.AddFile(b, "b's INF");
        s.AddFile(L"C:\\Package\\Driver\\amd64\\here.sys", "the one source file there");
        s.infNeeds[Lower(b)] = {L" amd64.cat\t", L"\\amd64\\b.sys", L".\\amd64\\\\here.sys", L""};
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "new sys");
        s.AddFile(kDrivers + L"\\d.sys", "old sys");
        s.AddFile(kInf + L"\\oem7.inf", "another package");
        s.AddFile(kInf + L"\\oem8.inf", "b's INF");
        c.arrange(s, b);
        const auto before = s.files;

        const Result result = Install(s);
        s.EndProgram(false);

        ASSERT_EQ(result.refused.size(), c.error ? 1u : 0u) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), c.error ? "old sys" : "new sys") << c.name;
        if (!c.error) continue;
        const install::Failure& f = result.refused[0];
        EXPECT_EQ(f.name + L"|" + f.folder + L"|" + f.lacking, L"b.inf|driver store|" + c.lacking) << c.name;
        EXPECT_TRUE(f.error == c.error && result.failures.empty() && result.filesUnchanged && s.store.empty()) << c.name;
        ExpectUnchanged(s, before, c.name);
    }
}

// A 32-bit program on 64-bit Windows: the .sys files reach System32, not
// SysWOW64, and only their work runs with redirection off.
// Beyond a few names, a folder is listed once and the rest found in the
// list, as the file system compares names: in any case, also beyond ASCII,
// where a letter may fold to an ASCII one (the long s to S); name by
// name where the folder cannot be listed, or not to its end. A name missed
// would fail the install: a new file never replaces one it did not see, nor
// takes the place of one that is not there.
TEST(Install, ManyFilesOfAFolderAreFoundAsTheFileSystemComparesNames)
{
    for (const int mode : {0, 1, 2}) {  // listed, unlistable, listed only as far as eight other names
        FakeMachine s = Machine();
        if (mode == 1) s.searchErrors[Lower(kDrivers)] = kErrorAccessDenied;
        if (mode == 2) s.searchFailsAfter = 8;
        for (int i = 0; mode == 2 && i < 8; ++i) s.AddFile(kDrivers + L"\\" + std::to_wstring(i) + L".sys", "another");
        for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e", L"r", L"\u00fc", L"s"})
            s.AddFile(L"C:\\Package\\Driver\\" + std::wstring(name) + L".sys", "new");
        for (const wchar_t* name : {L"E.SYS", L"T.SYS", L"\u00dc.sys", L"\u017f.sys"}) s.AddFile(kDrivers + L"\\" + name, "old");

        const Result result = Install(s);

        EXPECT_TRUE(result.failures.empty()) << mode;
        for (const wchar_t* name : {L"a.sys", L"\u00fc.sys", L"s.sys", L"e.sys"})
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\" + name), "new") << mode;
    }
}

TEST(Install, RedirectionIsOffOnlyForTheSystem32Folder)
{
    FakeMachine s = Machine();
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
    FakeMachine fails = Machine();
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
        {"mapped by a process", Holder::Mapped, true},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
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

bool JournalLeft(const FakeMachine& s)
{
    for (const auto& name : s.FilesIn(kInf))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".jnl") == 0) return true;
    return false;
}

// Installs another package, as a later run (another process) of another
// vendor's Setup.exe would.
Result InstallOther(FakeMachine& s)
{
    s.AddFile(L"C:\\Other\\Driver\\other.sys", "other package");
    s.run = {s.run.process + 0x100, s.run.started + 1};
    return InstallDriverFiles(s, s, s, s, s, s, L"C:\\Other");
}

// A 32-bit program on 64-bit Windows, which SetupAPI refuses, has the
// 64-bit pnputil add the package and learns its name as Windows decides a
// package's identity: the oem<n>.inf of the INF's bytes that appeared, or
// that was there before. An undo (here, of a failed copy), and the next run
// after a kill, have pnputil take out only what the run added.
TEST(Install, A32BitProgramOn64BitWindowsRegistersThroughPnputil)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeMachine&);
        std::uint32_t refused;  // 0: registered, then undone
        std::size_t runs, left;  // pnputil runs, oem<n>.inf files left
    };
    const Case cases[] = {
        {"added", [](FakeMachine&) {}, 0, 2, 0},
        {"added, a restart due", [](FakeMachine& s) { s.runExitCode = 3010; }, 0, 2, 0},
        {"refused", [](FakeMachine& s) { s.runExitCode = 5; }, 5, 1, 0},
        {"pnputil cannot start", [](FakeMachine& s) { s.runError = 2; }, 2, 1, 0},
        {"says it added, publishes nothing", [](FakeMachine& s) { s.pnputilPublishes = false; }, kErrorNotPublished, 1, 0},
        {"held already", [](FakeMachine& s) { s.store[L"oem4.inf"] = L"c:\\x.inf"; s.AddFile(kInf + L"\\oem4.inf", "inf"); },
         0, 1, 1},
        {"another package's oem file", [](FakeMachine& s) { s.AddFile(kInf + L"\\oem0.inf", "other"); }, 0, 2, 1},
        {"the published packages cannot be listed", [](FakeMachine& s) { s.searchErrors[Lower(kInf) + L"\\oem*.inf"] = 5; },
         5, 0, 0},
        {"the published packages listed not to their end",
         [](FakeMachine& s) {
             for (const wchar_t* name : {L"oem0.inf", L"oem1.inf", L"oem2.inf"}) s.AddFile(kInf + L"\\" + name, "other");
             s.searchFailsAfter = 2;  // more than any other listing holds
         },
         test::FakeShared::kErrorNotReady, 0, 3},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.wow64 = true;
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        s.AddFile(L"C:\\Package\\Driver\\n.sys", "new");
        s.placeErrors[Lower(kDrivers) + L"\\n.sys"] = 87;
        c.arrange(s);
        const Result result = Install(s);
        ASSERT_EQ(s.programsRun.size(), c.runs) << c.name;
        EXPECT_TRUE(!c.runs || s.programsRun[0] == L"C:\\Windows\\Sysnative\\pnputil.exe -a \"C:\\Package\\Driver\\a.inf\"");
        EXPECT_TRUE(c.runs < 2 || s.programsRun[1].rfind(L"C:\\Windows\\Sysnative\\pnputil.exe -d oem", 0) == 0) << c.name;
        EXPECT_EQ(c.refused ? result.refused.at(0).error : result.failures.size() + result.notRestored.size(),
                  c.refused ? c.refused : 1u) << c.name;
        std::size_t published = 0;
        for (const auto& name : s.FilesIn(kInf)) published += install::IsReservedInfName(name);
        EXPECT_TRUE(result.filesUnchanged && published == c.left) << c.name;
    }
    FakeMachine s = Machine();
    s.wow64 = true;
    s.AddFile(kInf + L"\\oem3.inf", "killed run's");
    s.store[L"oem3.inf"] = L"c:\\killed\\driver\\a.inf";
    install::Journal journal;
    journal.run = {0x77, 0x1d9c0000};
    s.WriteJournal(kInf + L"\\" + install::TemporaryName(journal.run, 2, L"jnl"),
                   install::FormatJournal(journal) + install::FormatPublished(L"oem3.inf"), false);
    EXPECT_TRUE(InstallOther(s).notRestored.empty());
    EXPECT_EQ(s.programsRun, std::vector<std::wstring>{L"C:\\Windows\\Sysnative\\pnputil.exe -d oem3.inf"});
    EXPECT_TRUE(s.store.empty() && !JournalLeft(s));
    // Killed again; now pnputil refuses to take the package out: it is named, and it and the journal stay.
    s.store[L"oem3.inf"] = L"c:\\killed\\driver\\a.inf";
    s.WriteJournal(kInf + L"\\" + install::TemporaryName(journal.run, 2, L"jnl"),
                   install::FormatJournal(journal) + install::FormatPublished(L"oem3.inf"), false);
    s.runExitCode = 5;
    EXPECT_EQ(InstallOther(s).notRestored.size(), 1u);
    EXPECT_TRUE(s.store.count(L"oem3.inf") && JournalLeft(s));
}

// A rename that fails for another reason takes back the renames before it,
// and the packages the run added to the driver store. What cannot be put
// back keeps its old file's second name and the journal: the next run, of
// any package, puts it back.
TEST(Install, AFailedRenameUndoesTheOthers)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeMachine&);
        const wchar_t* failed;  // the file that failed, and why
        std::uint32_t error;
        const wchar_t* notRestored;  // what the undo could not put back
        bool storeLeft = false;      // that is a package left in the driver store; the files are back
    };
    const Case cases[] = {
        {"rename refused", [](FakeMachine&) {}, L"c.sys", 87, nullptr},
        {"an old file in use before it", [](FakeMachine& s) { s.Hold(kDrivers + L"\\b.sys", Holder::Loaded); },
         L"c.sys", 87, nullptr},
        {"an old file replaced at restart before it",
         [](FakeMachine& s) { s.Hold(kDrivers + L"\\b.sys", Holder::NoSharing); }, L"c.sys", 87, nullptr},
        {"no second names on this disk", [](FakeMachine& s) { s.linkError = 1; }, L"b.sys", 1, nullptr},
        {"replace and rename-away refused with access denied: no file in use, no restart",
         [](FakeMachine& s) {
             s.placeErrors[L"c:\\windows\\system32\\drivers\\c.sys"] = kErrorAccessDenied;
             s.renameErrors[L"c:\\windows\\system32\\drivers\\c.sys"] = kErrorAccessDenied;
         },
         L"c.sys", kErrorAccessDenied, nullptr},
        {"restart work that cannot be recorded",
         [](FakeMachine& s) {
             s.placeErrors.clear();
             s.Hold(kDrivers + L"\\b.sys", Holder::NoSharing);
             s.restartError = 5;
         },
         L"b.sys", 5, nullptr},
        {"a package that was in the driver store already stays there",
         [](FakeMachine& s) {
             s.store[L"oem0.inf"] = L"c:\\package\\driver\\a.inf";
             s.AddFile(kInf + L"\\oem0.inf", "new a");
         },
         L"c.sys", 87, nullptr},
        {"a failed undo, with more to undo after it",
         [](FakeMachine& s) { s.moveErrors[L"c:\\windows\\system32\\drivers\\b.sys"] = 99; }, L"c.sys", 87, L"b.sys"},
        {"a package that cannot be taken out of the store again", [](FakeMachine& s) { s.removeError = 1168; },
         L"c.sys", 87, L"oem0.inf", true},
        {"one of two packages that cannot be taken out again",
         [](FakeMachine& s) {
             s.AddFile(L"C:\\Package\\Driver\\z.inf", "new z");
             s.removeErrors[L"oem1.inf"] = 1168;
         },
         L"c.sys", 87, L"oem1.inf", true},
        {"the journal's line for the driver store cannot be written",
         [](FakeMachine& s) { s.journalRefusal = [](const std::wstring& text) { return text[0] == L'S' ? 112u : 0u; }; },
         L"~setup-1a2b-1d9c0ffee-4.jnl", 112, nullptr},
        {"the journal's mark of the finished install cannot be written",
         [](FakeMachine& s) {
             s.placeErrors.clear();
             s.journalRefusal = [](const std::wstring& text) { return text == L"C\n" ? 112u : 0u; };
         },
         L"~setup-1a2b-1d9c0ffee-4.jnl", 112, nullptr},
        {"restart work refused for one file, after another's, and that file's second name for it cannot go",
         [](FakeMachine& s) {
             s.placeErrors.clear();
             s.pendingUnreadable = true;  // every file gets a second name for the restart
             s.restartRefusal = [](const std::wstring&, const std::wstring& to) { return to.find(L"b.sys") != std::wstring::npos ? 5u : 0u; };
             s.undeletable.insert(L"c:\\windows\\system32\\drivers\\~setup-1a2b-1d9c0ffee-2.new");
         },
         L"b.sys", 5, L"b.sys"},
        {"a driver in use renamed away, whose deletion at the restart is refused",
         [](FakeMachine& s) {
             s.placeErrors.clear();
             s.Hold(kDrivers + L"\\b.sys", Holder::Loaded);
             s.restartRefusal = [](const std::wstring&, const std::wstring& to) { return to.empty() ? 5u : 0u; };
         },
         L"b.sys", 5, nullptr},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");  // new
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "new b");  // replaces
        s.AddFile(L"C:\\Package\\Driver\\c.sys", "new c");  // refused
        s.AddFile(kDrivers + L"\\b.sys", "old b");
        s.AddFile(kDrivers + L"\\c.sys", "old c");
        s.placeErrors[L"c:\\windows\\system32\\drivers\\c.sys"] = 87;
        c.arrange(s);
        const auto store = s.store;

        const Result result = Install(s);
        s.EndProgram(false);

        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_EQ(result.failures[0].name, c.failed) << c.name;
        EXPECT_EQ(result.failures[0].error, c.error) << c.name;
        EXPECT_EQ(result.filesUnchanged, !c.notRestored || c.storeLeft) << c.name;
        ASSERT_EQ(result.notRestored.size(), c.notRestored ? 1u : 0u) << c.name;
        if (c.notRestored) {
            EXPECT_EQ(result.notRestored[0].name, c.notRestored) << c.name;
        }
        EXPECT_FALSE(result.restartNeeded) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\c.sys"), "old c") << c.name;
        for (const auto& work : s.atRestart)
            EXPECT_TRUE(work.to.empty() || !s.FileAt(work.from)) << c.name << ": nothing is to be replaced at restart";
        if (c.notRestored) {
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\b.sys"), c.storeLeft ? "old b" : "new b") << c.name;
            EXPECT_TRUE(JournalLeft(s)) << c.name << ": the next run would not know";
            EXPECT_EQ(s.store.size(), store.size() + 1) << c.name << ": the store changed back before the files";
            s.moveErrors.clear();
            s.undeletable.clear();
            s.removeError = 0;
            s.removeErrors.clear();
            const Result next = InstallOther(s);
            EXPECT_TRUE(next.failures.empty() && next.notRestored.empty()) << c.name;
        }
        EXPECT_FALSE(s.FileAt(kInf + L"\\a.inf")) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\b.sys"), "old b") << c.name;
        s.restartError = 0;
        s.Restart();
        EXPECT_FALSE(s.FileAt(kInf + L"\\a.inf")) << c.name << ": the restart brought a copy back";
        // A second name that could neither go nor wait for the restart is
        // left to the next run, with the journal that names it.
        if (JournalLeft(s)) InstallOther(s);
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\b.sys"), "old b") << c.name;
        EXPECT_TRUE(TemporaryFiles(s).empty()) << c.name;
        EXPECT_EQ(s.store, store) << c.name;
    }
}

// The old files in every state a run can leave them in; the cuts of the
// power (or kills) after each change to the disk.
TEST(Install, PowerCutOrKillAtAnyMomentIsTakenBackByTheNextRun)
{
    struct Scenario {
        const char* name;
        void (*arrange)(FakeMachine&);
    };
    const Scenario scenarios[] = {
        {"files not in use", [](FakeMachine&) {}},
        {"a driver in use, renamed away", [](FakeMachine& s) { s.Hold(kDrivers + L"\\b.sys", Holder::Loaded); }},
        {"a file held open, replaced at restart", [](FakeMachine& s) { s.Hold(kDrivers + L"\\b.sys", Holder::NoSharing); }},
        {"a failing undo",
         [](FakeMachine& s) {
             s.placeErrors[L"c:\\windows\\system32\\drivers\\n.sys"] = 87;
             s.moveErrors[L"c:\\windows\\system32\\drivers\\b.sys"] = 99;
         }},
    };
    const std::wstring targets[] = {kInf + L"\\a.inf", kDrivers + L"\\b.sys", kDrivers + L"\\n.sys"};
    const std::string olds[] = {"old a", "old b", "(none)"}, news[] = {"new a", "new b", "new n"};
    for (const auto& scenario : scenarios)
        for (const bool power : {true, false})
            for (int cut = 0;; ++cut) {
                const std::string at = std::string(scenario.name) + (power ? ", power cut " : ", killed ") + std::to_string(cut);
                FakeMachine s = Machine();
                for (int i = 0; i < 3; ++i) s.AddFile(L"C:\\Package\\Driver\\" + targets[i].substr(targets[i].rfind(L'\\') + 1), news[i]);
                s.AddFile(targets[0], olds[0]);
                s.AddFile(targets[1], olds[1]);
                scenario.arrange(s);
                s.powerCutAfter = cut;

                Install(s);
                const bool wholeRun = s.powerCutAfter != 0;
                s.EndProgram(power);
                // Each file old, new or renamed away, and the old driver's
                // bytes still under some name.
                for (int i = 0; i < 3; ++i) {
                    const std::string bytes = s.BytesAt(targets[i]);
                    EXPECT_TRUE(bytes == olds[i] || bytes == news[i] || i == 1) << at << ": " << bytes;
                    if (i == 2) continue;
                    bool kept = false;
                    const std::wstring folder = targets[i].substr(0, targets[i].rfind(L'\\'));
                    for (const auto& name : s.FilesIn(folder)) kept = kept || s.BytesAt(folder + L"\\" + name) == olds[i];
                    EXPECT_TRUE(kept || bytes == news[i]) << at << ": the old file is lost";
                }
                // The machine starts again after a power cut; then a run of
                // another package takes the install back, or finishes it.
                if (power) s.Restart();
                s.moveErrors.clear();
                const Result next = InstallOther(s);
                EXPECT_TRUE(next.failures.empty() && next.notRestored.empty()) << at;
                s.EndProgram(false);
                s.Restart();
                // All old or all new, each whole.
                int fresh = 0;
                for (int i = 0; i < 3; ++i) {
                    const std::string bytes = s.BytesAt(targets[i]);
                    EXPECT_TRUE(bytes == olds[i] || bytes == news[i]) << at << ": " << bytes;
                    fresh += bytes == news[i];
                }
                EXPECT_TRUE(fresh == 0 || fresh == 3) << at << ": " << fresh << " of 3 files new";
                EXPECT_TRUE(TemporaryFiles(s).empty()) << at;
                if (wholeRun) break;
                ASSERT_LT(cut, 100);
            }
}

// One install at a time on the machine: a second one waits, changes
// nothing while it waits, and may be cancelled until it starts.
TEST(Install, OneInstallAtATime)
{
    struct Case {
        const char* name;
        int busyLooks;        // the lock is another install's for so many looks (-1: until cancelled)
        bool cancel;          // the user cancels while it waits
        std::uint32_t error;  // the lock cannot be had
        bool waits, installs;
    };
    const Case cases[] = {
        {"free", 0, false, 0, false, true},
        {"held for a while", 3, false, 0, true, true},
        {"held, and cancelled", -1, true, 0, true, false},
        {"cannot be had", 0, false, 5, false, false},
        {"cancelled just as the lock came free", 0, true, 0, false, false},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
        s.AddFile(kDrivers + L"\\d.sys", "old d");
        s.AddFile(kDrivers + L"\\~setup-63-1.tmp", "left by a crash");  // the sweep changes the disk too
        s.lockBusyLooks = c.busyLooks;
        s.lockError = c.error;
        install::StartGate gate;
        s.lockLook = [&] {
            if (c.cancel) {
                EXPECT_TRUE(gate.Cancel()) << c.name;
            }
        };
        if (c.cancel && !c.busyLooks) gate.Cancel();
        int waiting = 0, started = 0;
        const auto before = s.files;

        const Result result = InstallDriverFiles(s, s, s, s, s, s, L"C:\\Package", {[&] { ++waiting; }, [&] { ++started; }, &gate});

        EXPECT_EQ(waiting, c.waits ? 1 : 0) << c.name;
        EXPECT_EQ(started, c.waits && c.installs ? 1 : 0) << c.name;
        EXPECT_EQ(result.cancelled, c.cancel) << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), c.installs ? "new d" : "old d") << c.name;
        EXPECT_EQ(s.changesWithoutLock, 0) << c.name;
        EXPECT_FALSE(s.lockHeld) << c.name;
        if (!c.installs) ExpectUnchanged(s, before, c.name);
        if (c.error) {
            ASSERT_EQ(result.failures.size(), 1u) << c.name;
            EXPECT_EQ(result.failures[0].error, c.error) << c.name;
            EXPECT_TRUE(result.filesUnchanged) << c.name;
        }
        EXPECT_EQ(gate.Cancel(), !c.installs) << c.name << ": once started, it cannot be cancelled";
    }
}

// Leftovers of the program's exact name shape that nothing needs go: copies
// on their way, and copies for a restart that no longer waits for them. An
// old file's names that no journal names stay: they may be its last.
TEST(Install, LeftoversAreRemovedButNotAnOldFilesNamesNorWorkForTheRestartNorOtherFiles)
{
    FakeMachine s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
    for (const wchar_t* name : {L"~setup-63-1.tmp", L"~setup-63-2.bak", L"~setup-63-3.old", L"~setup-63-4.new",
                                L"~setup-63-7.new", L"~setup-notes.txt", L"~setup-63-5.tmp", L"~setup-x-1.tmp", L"~setup-63-8.tmp"})
        s.AddFile(kDrivers + L"\\" + name, "left");
    s.Hold(kDrivers + L"\\~setup-63-5.tmp", Holder::NoSharing);  // another program holds it
    s.AddFolder(kDrivers + L"\\~setup-63-6.tmp");
    s.atRestart.push_back({kDrivers + L"\\~setup-63-4.new", kDrivers + L"\\x.sys"});
    s.atRestart.push_back({kDrivers + L"\\~setup-63-8.tmp", kDrivers + L"\\d.sys"});  // no replacement of a run's
    s.WriteJournal(kInf + L"\\~setup-63-9.jnl", L"~setup journal 2\nP 63", false);  // the power went as it was written

    const Result result = Install(s);

    EXPECT_TRUE(result.failures.empty());
    EXPECT_FALSE(JournalLeft(s));
    EXPECT_EQ(TemporaryFiles(s), (std::vector<std::wstring>{L"~setup-63-2.bak", L"~setup-63-3.old", L"~setup-63-4.new",
                                                            L"~setup-63-5.tmp", L"~setup-63-8.tmp", L"~setup-notes.txt",
                                                            L"~setup-x-1.tmp"}));
    EXPECT_TRUE(s.FileAt(kDrivers + L"\\~setup-63-6.tmp"));
}

// What a killed run left of one old driver, r.sys (V1): its names (.bak,
// a second name; .old, renamed away as a file in use is), and what the
// driver's own name holds now. The next run of any package takes back only
// what the killed run did: the old file goes back from whichever name it
// still has, where the name holds the run's own copy or nothing; a file put
// there since (an updater's V9) stays, and the old file's names then go.
TEST(Recovery, TakesBackOnlyWhatTheKilledRunDidFromAnyNameTheOldFileHas)
{
    enum Names { Bak = 1, Old = 2 };
    enum class Now { OldFile, OwnCopy, Nothing, Third, Reused };
    struct Case {
        const char* name;
        int names;
        Now now;
        Holder holder;      // of the file at the name, if any
        const char* after;  // what the name holds once the next run is done and Windows restarted
    };
    const Case cases[] = {
        {"never touched", Bak, Now::OldFile, Holder::None, "V1"},
        {"copy in place", Bak, Now::OwnCopy, Holder::None, "V1"},
        {"copy in place and loaded", Bak, Now::OwnCopy, Holder::Loaded, "V1"},
        {"killed after the rename-away", Bak | Old, Now::Nothing, Holder::None, "V1"},
        {"copy in place, old one renamed away", Bak | Old, Now::OwnCopy, Holder::Loaded, "V1"},
        {"an updater put V9 there", Bak, Now::Third, Holder::None, "V9"},
        {"an updater put V9 there, loaded", Bak | Old, Now::Third, Holder::Loaded, "V9"},
        {"an updater's V9 got the index of the run's copy", Bak, Now::Reused, Holder::None, "V9"},
        {".bak deleted by a clean-up tool, name empty", Old, Now::Nothing, Holder::None, "V1"},
        {".bak deleted by a clean-up tool, copy in place", Old, Now::OwnCopy, Holder::None, "V1"},
        {".bak deleted by a clean-up tool, V9 there", Old, Now::Third, Holder::None, "V9"},
        {"no name left of the old file", 0, Now::OwnCopy, Holder::None, "V2"},
    };
    const RunId killed{0x77, 0x1d9c0000};
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        const std::wstring target = kDrivers + L"\\r.sys";
        auto name = [&](const wchar_t* kind) { return kDrivers + L"\\" + install::TemporaryName(killed, 1, kind); };
        s.AddFile(name(L"tmp"), "V2");  // the killed run's copy, by its file id
        const FileId copy = *s.IdOf(name(L"tmp"));
        s.AddFile(target, "V1");
        if (c.names & Bak) s.LinkFile(target, name(L"bak"));
        if (c.names & Old) s.RenameFile(target, name(L"old"));
        if (!(c.names & Old) && c.now != Now::OldFile) s.files.erase(Lower(target));
        if (c.now == Now::OwnCopy) s.RenameFile(name(L"tmp"), target);
        s.files.erase(Lower(name(L"tmp")));
        if (c.now == Now::Reused) s.nextId = copy.index;
        if (c.now == Now::Third || c.now == Now::Reused) s.AddFile(target, "V9");
        if (s.FileAt(target)) s.Hold(target, c.holder);
        install::Journal journal;
        journal.run = killed;
        journal.folders = {kDrivers};
        journal.entries = {{0, L"r.sys", true, copy, 1}};
        s.WriteJournal(kInf + L"\\" + install::TemporaryName(killed, 2, L"jnl"), install::FormatJournal(journal), false);

        const Result next = InstallOther(s);
        s.EndProgram(false);
        s.Restart();

        EXPECT_TRUE(next.failures.empty() && next.notRestored.empty()) << c.name;
        // A copy in use is renamed away, and goes at the restart.
        EXPECT_EQ(next.restartNeeded, c.now == Now::OwnCopy && c.holder == Holder::Loaded) << c.name;
        EXPECT_EQ(s.BytesAt(target), c.after) << c.name;
        EXPECT_TRUE(TemporaryFiles(s).empty()) << c.name << ": a name of the old file was left";
        EXPECT_FALSE(JournalLeft(s)) << c.name;
    }
}

// What a killed run left that cannot be taken back now: the run names it,
// installs nothing, and leaves the journal, and the run after it, once the
// cause has gone, takes it back and installs.
TEST(Recovery, WhatCannotBeTakenBackStopsTheInstallAndStaysForTheNextRun)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeMachine&, const std::wstring& target, const std::wstring& kept);
        void (*clear)(FakeMachine&, const std::wstring& target, const std::wstring& kept);
        const wchar_t* named;  // in the message
        bool committed = false;  // the killed run had committed: the next run finishes it
    };
    const Case cases[] = {
        {"the journal cannot be read", [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.journalReadError = 5; },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.journalReadError = 0; }, L"jnl"},
        {"its copy for the restart is held open",
         [](FakeMachine& s, const std::wstring&, const std::wstring& kept) { s.Hold(kept, Holder::NoSharing); },
         [](FakeMachine& s, const std::wstring&, const std::wstring& kept) { s.Hold(kept, Holder::None); }, L"r.sys"},
        {"the copy in place is loaded and the old file's second move fails, then its own undo works",
         [](FakeMachine& s, const std::wstring& target, const std::wstring&) {
             s.Hold(target, Holder::Loaded);
             s.moveRefusal = [&s](const std::wstring& from, const std::wstring&) -> std::uint32_t {
                 return from.find(L".bak") != std::wstring::npos && !s.FileAt(kDrivers + L"\\r.sys") ? 87 : 0;
             };
         },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.moveRefusal = nullptr; }, L"r.sys"},
        {"the folder of journals cannot be listed",
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.searchErrors[Lower(kInf)] = 5; },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.searchErrors.clear(); }, L"Inf"},
        {"the folder of journals listed not to its end (a finished run's journal after the killed one's)",
         [](FakeMachine& s, const std::wstring&, const std::wstring&) {
             install::Journal finished;
             finished.run = {0x78, 0x1d9c0000};
             s.WriteJournal(kInf + L"\\" + install::TemporaryName(finished.run, 1, L"jnl"),
                            install::FormatJournal(finished) + install::FormatCommitted(), false);
             s.searchFailsAfter = 1;  // more than any other listing before it holds
         },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.searchFailsAfter = -1; }, L"Inf"},
        {"the old file's move back refused once, and not for a file in use",
         [](FakeMachine& s, const std::wstring&, const std::wstring&) {
             s.moveRefusal = [refused = false](const std::wstring&, const std::wstring&) mutable { return std::exchange(refused, true) ? 0u : 87u; };
         },
         [](FakeMachine&, const std::wstring&, const std::wstring&) {}, L"r.sys"},
        {"a name of the old file that can go neither now nor at the restart",
         [](FakeMachine& s, const std::wstring&, const std::wstring& kept) {
             const std::wstring old = kept.substr(0, kept.size() - 3) + L"old";
             s.LinkFile(kept.substr(0, kept.size() - 3) + L"bak", old);
             s.undeletable.insert(Lower(old));
             s.restartError = 5;
         },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.undeletable.clear(); s.restartError = 0; }, L"r.sys"},
        {"committed, and the old file's second name can go neither now nor at the restart",
         [](FakeMachine& s, const std::wstring&, const std::wstring& kept) {
             s.undeletable.insert(Lower(kept.substr(0, kept.size() - 3) + L"bak"));
             s.restartError = 5;
         },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.undeletable.clear(); s.restartError = 0; }, L"r.sys",
         true},
        {"committed, and a 32-bit program cannot turn its folder's redirection off",
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.wow64 = true; s.redirectionError = 5; },
         [](FakeMachine& s, const std::wstring&, const std::wstring&) { s.redirectionError = 0; }, L"r.sys", true},
    };
    const RunId killed{0x77, 0x1d9c0000};
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        const std::wstring target = kDrivers + L"\\r.sys";
        auto name = [&](const wchar_t* kind) { return kDrivers + L"\\" + install::TemporaryName(killed, 1, kind); };
        // Killed after giving V1 its second name and putting V2 in place;
        // a copy for the restart (of a file held open before) waits too.
        s.AddFile(target, "V1");
        s.LinkFile(target, name(L"bak"));
        s.AddFile(name(L"tmp"), "V2");
        install::Journal journal;
        journal.run = killed;
        journal.folders = {kDrivers};
        journal.entries = {{0, L"r.sys", true, s.IdOf(name(L"tmp")), 1}};
        s.MoveOver(name(L"tmp"), target);
        s.AddFile(name(L"new"), "V2 for the restart");
        s.AddFile(kInf + L"\\oem5.inf", "the killed run's package");
        s.store[L"oem5.inf"] = L"c:\\killed\\a.inf";
        s.WriteJournal(kInf + L"\\" + install::TemporaryName(killed, 2, L"jnl"),
                       install::FormatJournal(journal) + install::FormatPublished(L"oem5.inf") +
                           (c.committed ? install::FormatCommitted() : L""),
                       false);
        c.arrange(s, target, name(L"new"));

        const Result stopped = InstallOther(s);

        auto named = stopped.notRestored;
        named.insert(named.end(), stopped.unreadable.begin(), stopped.unreadable.end());
        ASSERT_EQ(named.size(), 1u) << c.name;
        EXPECT_NE(named[0].name.find(c.named), std::wstring::npos) << c.name;
        EXPECT_EQ(stopped.filesUnchanged, !stopped.unreadable.empty()) << c.name << ": \"nothing changed\" only when no journal was listed";
        EXPECT_TRUE(s.store.count(L"oem5.inf")) << c.name << ": the store was cleaned before the files were back";
        EXPECT_FALSE(s.FileAt(kDrivers + L"\\other.sys")) << c.name << ": installed after a failed recovery";
        EXPECT_TRUE(JournalLeft(s)) << c.name;
        EXPECT_TRUE(s.FileAt(name(L"bak")) || s.BytesAt(target) == "V1") << c.name << ": the old file's second name went";
        c.clear(s, target, name(L"new"));
        s.EndProgram(false);
        s.Restart();
        const Result next = InstallOther(s);
        s.EndProgram(false);
        s.Restart();
        EXPECT_TRUE(next.notRestored.empty() && next.failures.empty()) << c.name;
        EXPECT_EQ(s.BytesAt(target), c.committed ? "V2" : "V1") << c.name;
        EXPECT_EQ(s.BytesAt(kDrivers + L"\\other.sys"), "other package") << c.name;
        EXPECT_TRUE(TemporaryFiles(s).empty() && s.store.size() == c.committed) << c.name;
        EXPECT_FALSE(JournalLeft(s)) << c.name;
    }
}

// Journals that cannot be deleted once recovered, and process ids that are
// used again: a run acts on the names its own journal made, never on
// another run's, and a journal it has finished is not taken back again.
TEST(Recovery, AJournalActsOnlyOnItsOwnNamesAndOnlyOnce)
{
    for (const bool readOnly : {false, true}) {
        FakeMachine s = Machine();
        const RunId first{0x77, 5}, reused{0x77, 6};  // the same process id, later
        const std::wstring a = kDrivers + L"\\a.sys", b = kDrivers + L"\\b.sys";
        const std::wstring stale = kInf + L"\\" + install::TemporaryName(first, 0, L"jnl");
        auto name = [&](const RunId& run, const wchar_t* kind) { return kDrivers + L"\\" + install::TemporaryName(run, 1, kind); };
        // The first run was taken back long ago; its journal could not be
        // deleted.
        install::Journal journal;
        journal.run = first;
        journal.folders = {kDrivers};
        journal.entries = {{0, L"a.sys", true, std::nullopt, 1}};
        s.WriteJournal(stale, install::FormatJournal(journal), false);
        s.undeletable.insert(Lower(stale));
        if (readOnly) s.files.at(Lower(stale)).node->attributes = kAttributeReadOnly;
        s.AddFile(a, "a V1");
        // A later run with the same process id was killed after giving
        // b.sys its second name and putting its copy in place.
        s.AddFile(b, "b V1");
        s.LinkFile(b, name(reused, L"bak"));
        s.AddFile(name(reused, L"tmp"), "b V2");
        journal.run = reused;
        journal.entries = {{0, L"b.sys", true, s.IdOf(name(reused, L"tmp")), 1}};
        s.MoveOver(name(reused, L"tmp"), b);
        s.WriteJournal(kInf + L"\\" + install::TemporaryName(reused, 2, L"jnl"), install::FormatJournal(journal), false);

        const Result next = InstallOther(s);

        EXPECT_EQ(s.BytesAt(a), "a V1") << readOnly;
        EXPECT_EQ(s.BytesAt(b), "b V1") << readOnly;
        if (!readOnly) {
            // Marked done, and the runs after leave it be.
            EXPECT_TRUE(next.failures.empty() && next.notRestored.empty());
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\other.sys"), "other package");
            s.AddFile(name(first, L"bak"), "another run's name now");
            EXPECT_TRUE(InstallOther(s).notRestored.empty());
            EXPECT_EQ(s.BytesAt(a), "a V1");
            EXPECT_EQ(s.BytesAt(name(first, L"bak")), "another run's name now");
        } else {
            // It cannot even be marked: the install stops and says so.
            ASSERT_EQ(next.notRestored.size(), 1u);
            EXPECT_EQ(next.notRestored[0].name, install::TemporaryName(first, 0, L"jnl"));
            EXPECT_FALSE(s.FileAt(kDrivers + L"\\other.sys"));
        }
    }
}

// V2 waits for the restart beside a driver in use; V3 is installed after.
// The restart must end with V3, also when V2's copy is held open by another
// program (it cannot be cancelled), when V3's package spells the name in
// another case of a letter outside ASCII, when the restart work cannot be
// read, and when V3's run is killed at any moment: then the next run takes
// V3 back (the restart brings V2, the install before it) or, once V3 was
// committed, finishes it (V3 stays).
TEST(Recovery, TheRestartNeverBringsBackAReplacementThatALaterInstallOverrode)
{
    struct Case {
        const char* name;
        const wchar_t* first;  // the name V2's package gives the file
        const wchar_t* later;  // the name V3's package gives it
        bool heldOpen, unreadable;
    };
    const Case cases[] = {
        {"V2's copy free", L"r02drv.sys", L"r02drv.sys", false, false},
        {"V2's copy held open", L"r02drv.sys", L"r02drv.sys", true, false},
        {"another case outside ASCII", L"\u00dcr02drv.sys", L"\u00fcr02drv.sys", true, false},
        {"restart work unreadable", L"r02drv.sys", L"R02DRV.sys", true, true},
    };
    for (const auto& c : cases)
        for (int cut = 0;; ++cut) {
            const std::string at = std::string(c.name) + ", cut " + std::to_string(cut);
            FakeMachine s = Machine();
            const std::wstring target = kDrivers + L"\\" + c.first;
            s.AddFile(target, "V1");
            s.AddFile(L"C:\\Package\\Driver\\" + std::wstring(c.first), "V2");
            s.Hold(target, Holder::NoSharing);
            ASSERT_TRUE(Install(s).restartNeeded) << at;
            s.EndProgram(false);
            s.Hold(target, Holder::None);
            for (const auto& work : s.atRestart)
                if (c.heldOpen && !work.to.empty()) s.Hold(work.from, Holder::NoSharing);
            s.files.erase(L"c:\\package\\driver\\" + Lower(c.first));
            s.AddFile(L"C:\\Package\\Driver\\" + std::wstring(c.later), "V3");
            s.pendingUnreadable = c.unreadable;
            s.run.started += 1;
            s.powerCutAfter = cut;

            const Result result = Install(s);
            const bool wholeRun = s.powerCutAfter != 0;
            s.EndProgram(false);
            // Committed: its journal says so, or it was done with it.
            bool committed = !JournalLeft(s) && s.BytesAt(target) == "V3";
            for (const auto& name : s.FilesIn(kInf))
                committed = committed || s.files.at(Lower(kInf + L"\\" + name)).node->text.find(L"\nC\n") != std::wstring::npos;
            if (!wholeRun) {
                InstallOther(s);
                s.EndProgram(false);
            } else {
                EXPECT_TRUE(result.failures.empty()) << at;
            }
            // Once V3 is committed, nothing but a held copy of V2 waits to replace the file.
            for (const auto& work : s.atRestart)
                EXPECT_TRUE(!committed || c.heldOpen || work.to.empty() || !s.FileAt(work.from)) << at;
            s.Restart();
            EXPECT_EQ(s.BytesAt(target), committed ? "V3" : "V2") << at;
            if (wholeRun) break;
            ASSERT_LT(cut, 100);
        }
}

// A file that another program creates at a target while the package is
// copied is looked at as it is when the old files get their second names:
// one that refuses to be renamed fails the install before the driver store
// changes, one that does not is replaced like any other. One created after
// that look, while the driver store takes the package, is not in the
// journal and has no second name: it fails the install, and stays.
TEST(Install, ATargetThatAppearsWhileCopyingIsLookedAtBeforeTheDriverStoreChanges)
{
    enum When { Copying, Journalling, Registering };  // when another program puts a file at the target
    for (const When when : {Copying, Journalling, Registering})
        for (const bool immutable : {true, false}) {
            FakeMachine s = Machine();
            s.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");
            s.AddFile(L"C:\\Package\\Driver\\n.sys", "new n");
            const auto appear = [&s, immutable] {
                s.AddFile(kDrivers + L"\\n.sys", "someone's");
                s.files.at(L"c:\\windows\\system32\\drivers\\n.sys").node->immutable = immutable;
            };
            const bool registering = when == Registering;
            if (registering) s.whileRegistering = appear;
            if (when == Copying)
                s.whileStaging = [&](const std::wstring& source) { if (source.find(L"n.sys") != std::wstring::npos) appear(); };
            // After the targets were looked at, before the old files get their second names.
            if (when == Journalling) s.whileJournalling = appear;

            const Result result = Install(s);
            s.EndProgram(false);

            const bool fails = immutable || when != Copying;
            const std::string row = registering ? "while registering" : when == Copying ? "while copying" : "while journalling";
            EXPECT_EQ(result.failures.size(), fails ? 1u : 0u) << row;
            EXPECT_EQ(result.filesUnchanged, fails) << row;
            EXPECT_EQ(s.registered.empty(), fails && !registering) << "the driver store changed first, " << row;
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\n.sys"), fails ? "someone's" : "new n") << row;
            EXPECT_EQ(s.FileAt(kInf + L"\\a.inf") != nullptr, !fails) << "undone, " << row;
            EXPECT_EQ(s.store.empty(), fails) << row;
            EXPECT_TRUE(TemporaryFiles(s).empty()) << row;
        }
    // But the driver store's own copy of an INF file at its name (Wine puts
    // one there) is replaced; another file there is not.
    for (const bool store : {true, false}) {
        FakeMachine wine = Machine();
        wine.copiesUnderItsName = store;
        if (!store) wine.whileRegistering = [&wine] { wine.AddFile(kInf + L"\\a.inf", "someone's"); };
        wine.AddFile(L"C:\\Package\\Driver\\a.inf", "new a");
        EXPECT_EQ(Install(wine).failures.empty(), store);
        EXPECT_EQ(wine.BytesAt(kInf + L"\\a.inf"), store ? "new a" : "someone's");
    }
}

TEST(Install, TemporaryNamesAreShortAndNeverShared)
{
    // Two runs of one process id are told apart by their start times.
    EXPECT_EQ(install::TemporaryName({0x1a2b, 0x1d9c0ffee}, 3, L"tmp"), L"~setup-1a2b-1d9c0ffee-3.tmp");
    EXPECT_NE(install::TemporaryName({0x1a2b, 2}, 3, L"tmp"), install::TemporaryName({0x1a2b, 1}, 3, L"tmp"));
    for (const auto& [name, kind] :
         {std::pair{L"~setup-1a-2f.tmp", L"tmp"}, {L"~SETUP-1A-2F.TMP", L"tmp"}, {L"~setup-ffffffff-1.jnl", L"jnl"},
          {L"~setup-1-1.bak", L"bak"}, {L"~setup-1-1.old", L"old"}, {L"~setup-1-1.new", L"new"},
          {L"~setup-.tmp", L""}, {L"setup-1-1.tmp", L""}, {L"~setup-1-1.tmp.sys", L""}, {L"~setup-1.tmp", L""},
          {L"~setup-123456789-1.tmp", L""}, {L"~setup-1g-1.tmp", L""}, {L"~setup-1--1.tmp", L""},
          {L"~setup-1-1.txt", L""}, {L"~setup-1-2-.tmp", L""}, {L"~setup-1-2-3-4.tmp", L""}, {L"~setup-1-ffffffff.new", L"new"},
          {L"~other-1a-2f.tmp", L""}, {L"~setup-100000000-1.tmp", L""}, {L"~setup-1-100000000.tmp", L""}}) {
        const auto parts = install::ParseTemporaryName(name);
        EXPECT_EQ(parts ? parts->kind : L"", std::wstring(kind)) << std::wstring(name);
    }
    const auto parts = install::ParseTemporaryName(L"~setup-1a2b-ff.bak");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->run.process, 0x1a2bu);
    EXPECT_EQ(parts->counter, 0xffu);
    EXPECT_EQ(parts->run.started, 0u) << "a name without its run's start time";
    EXPECT_EQ(install::ParseTemporaryName(L"~setup-1a2b-1d9c0ffee-ff.bak")->run.started, 0x1d9c0ffeeu);

    // A name of this process's that a killed copy with the same id left
    // and that cannot be removed: the next name is taken, and one of
    // another kind is passed over too.
    FakeMachine s = Machine();
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "new d");
    s.AddFile(kDrivers + L"\\d.sys", "old d");
    s.AddFile(kDrivers + L"\\" + install::TemporaryName(s.run, 2, L"bak"), "left");
    s.AddFile(kDrivers + L"\\" + install::TemporaryName(s.run, 1, L"tmp"), "held");
    s.Hold(kDrivers + L"\\" + install::TemporaryName(s.run, 1, L"tmp"), Holder::NoSharing);
    EXPECT_TRUE(Install(s).failures.empty());
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), "new d");
    EXPECT_EQ(s.BytesAt(kDrivers + L"\\" + install::TemporaryName(s.run, 1, L"tmp")), "held");
}

// The journal as the power may leave it: cut after any character, or zeros
// where its last bytes were to go. What was whole when the power went is
// read back; a first part that was not is told apart, and so is a text
// that is no journal of this program's.
TEST(Journal, EveryCutOfItsTextIsReadAsFarAsItWasWritten)
{
    install::Journal journal;
    journal.run = {0x1a2b, 0x1d9c0ffee};
    journal.folders = {L"C:\\Windows\\Inf", L"C:\\Windows\\System32\\Drivers"};
    journal.entries = {{0, L"a b.inf", false, FileId{7, 0xffffffffffffffff, 0xffffffffffffffff, 0x1d9c0ffee}, 1},
                       {1, L"\x9A71\x52A8 \u00e9.sys", true, std::nullopt, 0xffffffff}};
    const std::wstring first = install::FormatJournal(journal);
    const std::wstring text = first + install::FormatPublished(L"oem12.inf") + install::FormatCommitted();
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
        for (const bool zeros : {false, true}) {
            const std::wstring written = text.substr(0, cut) + std::wstring(zeros ? 6 : 0, L'\0');
            install::Journal read;
            const auto state = install::ParseJournal(written, read);
            if (cut < first.size()) {
                EXPECT_EQ(state, install::JournalText::CutShort) << cut;
                continue;
            }
            ASSERT_EQ(state, install::JournalText::Whole) << cut;
            EXPECT_TRUE(read.run == journal.run);
            EXPECT_EQ(read.folders, journal.folders);
            ASSERT_EQ(read.entries.size(), 2u);
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(read.entries[i].folder, journal.entries[i].folder);
                EXPECT_EQ(read.entries[i].name, journal.entries[i].name);
                EXPECT_EQ(read.entries[i].existed, journal.entries[i].existed);
                EXPECT_EQ(read.entries[i].copy.has_value(), journal.entries[i].copy.has_value());
                EXPECT_TRUE(!read.entries[i].copy || *read.entries[i].copy == *journal.entries[i].copy);
                EXPECT_EQ(read.entries[i].counter, journal.entries[i].counter);
            }
            const bool published = cut >= first.size() + install::FormatPublished(L"oem12.inf").size();
            EXPECT_EQ(read.published, published ? std::vector<std::wstring>{L"oem12.inf"} : std::vector<std::wstring>{})
                << cut;
            EXPECT_EQ(read.committed, cut == text.size()) << cut;
        }
    install::Journal read;
    for (const wchar_t* foreign : {L"~setup journal 2\nP 1\n.\n", L"notes\n", L"~setup journal 1\nF 5 1 - 1 x\n.\n",
                                   L"~setup journal 1\nP 1\nD C:\\x\nF 1 1 - 1 x\n.\n", L"P 1\n.\n", L"~setup journal 2\nPX1 0\n.\n",
                                   L"~setup journal 2\nP 100000000 0\n.\n", L"~setup journal 2\nP 1 0\nD C:\\x\nF 0 1 g:1 1 x\n.\n",
                                   L"~setup journal 2\nP 1 0\nD C:\\x\nF 0 1 5 1 x\n.\n"})
        EXPECT_EQ(install::ParseJournal(foreign, read), install::JournalText::Foreign) << std::wstring(foreign);
    EXPECT_EQ(install::ParseJournal(L"~setup journal 1\nP 63\n.\n", read), install::JournalText::Whole);  // no start time
    EXPECT_TRUE(read.run == (RunId{0x63, 0}));
}

// The Windows folder as the system gives it, and the program folder, are
// joined to the names without doubling a separator.
TEST(Install, FoldersAreJoinedAsTheSystemGivesThem)
{
    struct Case {
        const char* name;
        std::wstring windows;
        bool fails;
        std::wstring program;
        std::wstring inf;  // where the package's .inf file goes
    };
    const Case cases[] = {
        {"usual", L"C:\\WINNT", false, L"C:\\Package", L"C:\\WINNT\\Inf\\a.inf"},
        {"the system cannot say", L"", true, L"C:\\Package", L"C:\\windows\\Inf\\a.inf"},
        {"empty", L"", false, L"C:\\Package", L"C:\\windows\\Inf\\a.inf"},
        {"Windows at a drive root", L"E:\\", false, L"C:\\Package", L"E:\\Inf\\a.inf"},
        {"the package at a drive root", L"C:\\Windows", false, L"F:\\", L"C:\\Windows\\Inf\\a.inf"},
    };
    for (const auto& c : cases) {
        FakeMachine s;
        s.windowsFolder = c.windows;
        s.windowsFolderFails = c.fails;
        s.AddFolder(c.inf.substr(0, c.inf.size() - 6));
        s.AddFile(install::JoinPath(c.program, L"Driver\\a.inf"), "inf");
        const Result result = InstallDriverFiles(s, s, s, s, s, s, c.program);
        EXPECT_EQ(s.placed, std::vector<std::wstring>{c.inf}) << c.name;
        EXPECT_TRUE(result.failures.empty()) << c.name;
    }
}

}  // namespace
}  // namespace setup
