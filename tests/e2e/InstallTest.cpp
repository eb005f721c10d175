// The install button, run for real: files land in the Wine prefix's
// C:\windows folders byte for byte or not at all, a kill or a file in use
// never leaves a file half-written or a copy behind, the INF files reach the
// driver store, and the exit code tells the outcome.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "Harness.h"
#include "InstallHarness.h"

namespace e2e {
namespace {

const std::wstring kInf = L"C:\\windows\\inf";
const std::wstring kIoSubSys = L"C:\\windows\\system\\IoSubSys";
const std::wstring kDrivers = L"C:\\windows\\system32\\drivers";
// Where 64-bit Windows sends a 32-bit program's System32\Drivers files.
const std::wstring kWow64Drivers = L"C:\\windows\\syswow64\\drivers";
const std::wstring kRestartText = L"Some files were in use; Windows finishes replacing them when it restarts.";

std::string Bytes(const std::string& seed, std::size_t size)
{
    std::string bytes;
    for (std::size_t i = 0; bytes.size() < size; ++i) bytes += seed + char('0' + i % 10);
    bytes.resize(size);
    return bytes;
}

// An INF file that the driver store takes.
std::string Inf(const std::string& name)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\nClassGuid={36FC9E60-C465-11CF-8056-444553540000}\r\n"
           "Provider=%Acme%\r\nDriverVer=12/07/2026,1.0.0.0\r\n\r\n[Strings]\r\nAcme=\"Acme " +
           name + "\"\r\n";
}

// A file of size bytes, written a megabyte at a time.
void WriteBigFile(const std::wstring& path, std::size_t size)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string chunk = Bytes("big", 1 << 20);
    for (std::size_t written = 0; written < size; written += chunk.size()) {
        DWORD n = 0;
        WriteFile(file, chunk.data(), DWORD(chunk.size()), &n, nullptr);
    }
    CloseHandle(file);
}

LONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return LONGLONG(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Names of the files in a folder that start with prefix.
std::vector<std::wstring> FilesStartingWith(const std::wstring& folder, const std::wstring& prefix)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The program's own temporary files in the three folders.
std::vector<std::wstring> TemporaryFiles()
{
    std::vector<std::wstring> all;
    for (const auto& folder : {kInf, kIoSubSys, kDrivers})
        for (const auto& name : FilesStartingWith(folder, L"~setup-")) all.push_back(name);
    return all;
}

void RemoveStartingWith(const std::wstring& folder, const std::wstring& prefix)
{
    for (const auto& name : FilesStartingWith(folder, prefix)) RemoveTree(folder + L"\\" + name);
}

// What a restart does to the files: Wine's wineboot -r does the work left
// for it.
void Restart()
{
    std::wstring command = L"wineboot.exe -r";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// Runs a program of this machine's, Unix ones included, and waits for it;
// its exit code.
DWORD RunProgram(std::wstring command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 999;
    WaitForSingleObject(info.hProcess, 120000);
    DWORD code = 999;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

// Where Wine keeps a file on the Unix side.
std::wstring UnixPath(const std::wstring& path)
{
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert =
        reinterpret_cast<Convert>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(path.c_str()) : nullptr;
    if (!unix) return L"";
    const std::string bytes = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return std::wstring(bytes.begin(), bytes.end());  // the test's paths are ASCII
}

// The driver store's published INF files (oem<n>.inf).
std::size_t PublishedInfs()
{
    std::size_t count = 0;
    for (const auto& name : FilesStartingWith(kInf, L"oem"))
        if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".inf") == 0) ++count;
    return count;
}

// Whether a window menu of the program (opened with Alt+Space) shows.
bool SystemMenuOpen(const SetupProcess& setup)
{
    struct Search {
        DWORD pid;
        bool found;
    } search{setup.ProcessId(), false};
    EnumWindows(
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == s.pid && IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32768") s.found = true;
            return !s.found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Installing : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        for (const auto& folder : {kInf, kIoSubSys, kDrivers}) {
            RemoveStartingWith(folder, L"e2e");
            RemoveStartingWith(folder, L"~setup-");
        }
        RemoveTree(kIoSubSys);
    }
};

TEST_F(Installing, CopiesEachExtensionIntoItsFolderAndRegistersTheInf)
{
    Package package(L"install");
    package.WriteIni("[Default]\r\nComplete=All copied.\r\n");
    const std::string inf = Inf("e2e1"), pdr = Bytes("pdr", 1000), sys = Bytes("sys", 70000);
    package.WriteFile(L"Driver\\e2e1.inf", inf);
    package.WriteFile(L"Driver\\e2e1.pdr", pdr);
    package.WriteFile(L"Driver\\e2e1.sys", sys);
    package.WriteFile(L"Driver\\e2e1驱动.sys", sys);
    package.WriteFile(L"Driver\\readme.txt", "not a driver file");
    package.WriteFile(L"Driver\\e2e1.info", "not an inf file");
    package.WriteFile(L"Driver\\e2e1dir.sys\\inner.sys", "a folder is not copied");
    package.WriteFile(L"Driver\\e2e1hidden.sys", "hidden");
    SetFileAttributesW(package.Path(L"Driver\\e2e1hidden.sys").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(kDrivers + L"\\e2e1.sys", "old driver");  // replaced
    const std::wstring longName = L"e2e1" + std::wstring(246, L'L') + L".sys";  // 254 characters
    package.WriteFile(L"Driver\\" + longName, "new long");
    WriteFileBytes(kDrivers + L"\\" + longName, "old long");

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"All copied.");
    EXPECT_FALSE(warning);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e1.inf"), inf);
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e1.sys"), sys);
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e1驱动.sys"), sys);
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\" + longName), "new long");
    // Wine writes a .pnf beside an INF it takes into the driver store.
    EXPECT_EQ(FilesStartingWith(kInf, L"e2e"), (std::vector<std::wstring>{L"e2e1.inf", L"e2e1.pnf"}));
    EXPECT_EQ(FilesStartingWith(kDrivers, L"e2e").size(), 3u) << "only the .sys files";
    EXPECT_TRUE(FilesStartingWith(kWow64Drivers, L"e2e").empty()) << "a .sys file where 64-bit Windows loads none";
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_FALSE(Exists(kIoSubSys)) << "no folder is created";

    // Where the folder exists, the .pdr files go there too.
    CreateDirectoryW(L"C:\\windows\\system", nullptr);
    ASSERT_TRUE(CreateDirectoryW(kIoSubSys.c_str(), nullptr));
    const auto [again, againWarning, againCode] = Install(package);
    EXPECT_EQ(again, L"All copied.");
    EXPECT_EQ(againCode, 0u);
    EXPECT_EQ(ReadFileBytes(kIoSubSys + L"\\e2e1.pdr"), pdr);
}

// A file that cannot be copied, on the package's side or the installed
// one's, leaves every installed file as it was and names the file.
TEST_F(Installing, AFailedCopyChangesNothing)
{
    struct Case {
        const char* name;
        bool holdPackageFile;  // another program has it open and shares it with nobody
        DWORD installedAttributes;
        bool updater;          // replaces the installed file while the driver store takes the package
        std::wstring reason;
    };
    const Case cases[] = {
        {"package file held open", true, FILE_ATTRIBUTE_NORMAL, false, SystemText(ERROR_SHARING_VIOLATION)},
        {"installed file read-only", false, FILE_ATTRIBUTE_READONLY, false, SystemText(ERROR_ACCESS_DENIED)},
        {"installed file replaced by an updater meanwhile", false, FILE_ATTRIBUTE_NORMAL, true,
         L"Another program replaced this file while Setup installed; Setup left it as it is."},
    };
    for (const auto& c : cases) {
        Package package(L"failed-copy");
        package.WriteFile(L"Driver\\e2e2.inf", Inf("e2e2"));
        package.WriteFile(L"Driver\\e2e2.sys", "new sys");
        const std::wstring old = kDrivers + L"\\e2e2.sys";
        WriteFileBytes(old, "old sys");
        SetFileAttributesW(old.c_str(), c.installedAttributes);
        const HANDLE held = c.holdPackageFile ? CreateFileW(package.Path(L"Driver\\e2e2.sys").c_str(), GENERIC_READ, 0,
                                                            nullptr, OPEN_EXISTING, 0, nullptr)
                                              : INVALID_HANDLE_VALUE;
        if (c.updater) AddOldFiles(package, L"e2e2w");

        const auto [message, warning, code] = Install(package, {}, [&] {
            if (!c.updater || !JournalWritten()) return;
            WriteFileBytes(old + L".e2e-update", "updater's sys");
            // As an updater does, it tries again while Setup has the file open.
            ASSERT_TRUE(Until([&] { return MoveFileExW((old + L".e2e-update").c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING); }));
        });
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        // The package file's header cannot be read to check it.
        const std::wstring line = c.holdPackageFile ? L"Setup could not read these files:\r\ne2e2.sys (" + package.Path(L"Driver")
                                                    : L"Setup could not copy these files:\r\ne2e2.sys (C:\\windows\\System32\\Drivers";
        EXPECT_EQ(message, line + L"): " + c.reason + L"\r\nNo file was changed.") << c.name;
        EXPECT_TRUE(warning) << c.name;
        EXPECT_EQ(code, 1u) << c.name;
        EXPECT_EQ(ReadFileBytes(old), c.updater ? "updater's sys" : "old sys") << c.name;
        EXPECT_EQ(GetFileAttributesW(old.c_str()) & FILE_ATTRIBUTE_READONLY, c.installedAttributes & FILE_ATTRIBUTE_READONLY)
            << c.name;
        // (Wine's store keeps what it took: its removal removes nothing.)
        EXPECT_TRUE(c.updater || FilesStartingWith(kInf, L"e2e2").empty()) << c.name << ": the INF did not go in either";
        EXPECT_TRUE(TemporaryFiles().empty()) << c.name;
        SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
        TearDown();
    }
}

TEST_F(Installing, ProgramFolderOutsideTheCodePageIsInstalledFrom)
{
    Package package(L"Дмитрий\\Downloads\\driver");
    package.WriteFile(L"Driver\\e2e5.inf", Inf("e2e5"));
    const auto [message, warning, code] = Install(package);
    EXPECT_EQ(message, L"Setup complete,please restart.");
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e5.inf"), Inf("e2e5"));
}

// A package that the driver store refuses is one Windows will not use:
// nothing of it goes in, also when it is installed again, and the message
// names what its INF needs that it lacks (Wine's store, too, wants the
// catalog the INF names).
TEST_F(Installing, APackageTheDriverStoreRefusesChangesNothing)
{
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += char((i * 7919 + 13) & 0xFF);
    const std::wstring refused = L"Windows refused the driver package:\r\n";
    struct Case {
        const char* name;
        std::string inf;
        std::wstring line;
    };
    const Case cases[] = {
        {"not an INF file", noise, L"e2e9.inf (driver store): The file is not a valid INF file."},
        {"its catalog missing", "[Version]\r\nCatalogFile=e2e9.cat\r\n" + Inf("e2e9").substr(11),
         L"e2e9.inf (driver store): " + SystemText(ERROR_FILE_NOT_FOUND) + L" e2e9.cat: " + SystemText(ERROR_FILE_NOT_FOUND)},
    };
    for (const auto& c : cases) {
        Package package(L"refused-inf");
        package.WriteFile(L"Driver\\e2e9.inf", c.inf);
        package.WriteFile(L"Driver\\e2e9.sys", "new sys");
        WriteFileBytes(kDrivers + L"\\e2e9.sys", "old sys");
        for (const char* run : {"first", "second"}) {
            const auto [message, warning, code] = Install(package);

            EXPECT_EQ(message, refused + c.line + L"\r\nNo file was changed.") << c.name << ", " << run;
            EXPECT_TRUE(warning) << c.name;
            EXPECT_EQ(code, 1u) << c.name << ", " << run;
            EXPECT_TRUE(FilesStartingWith(kInf, L"e2e9").empty()) << c.name << ", " << run;
            EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e9.sys"), "old sys") << c.name << ", " << run;
            EXPECT_TRUE(TemporaryFiles().empty()) << c.name << ", " << run;
        }
        TearDown();
    }
}

// An installed driver file that another program holds open.
TEST_F(Installing, FilesInUseAreReplacedNowOrAtRestart)
{
    struct Case {
        const char* name;
        DWORD sharing;
        bool newAtOnce;  // the new file is in place before the restart
    };
    const Case cases[] = {
        {"shared for deleting", FILE_SHARE_READ | FILE_SHARE_DELETE, true},
        {"shared with nobody", 0, false},
    };
    for (const auto& c : cases) {
        Package package(L"in-use");
        package.WriteFile(L"Driver\\e2e8.sys", "new driver");
        const std::wstring old = kDrivers + L"\\e2e8.sys";
        WriteFileBytes(old, "old driver");
        const HANDLE held = CreateFileW(old.c_str(), GENERIC_READ, c.sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);

        const auto [message, warning, code] = Install(package);
        CloseHandle(held);

        EXPECT_EQ(message, L"Setup complete,please restart.\r\n" + kRestartText) << c.name;
        EXPECT_FALSE(warning) << c.name;
        EXPECT_EQ(code, 3010u) << c.name;
        EXPECT_EQ(ReadFileBytes(old), c.newAtOnce ? "new driver" : "old driver") << c.name;
        std::wstring pending = PendingAtRestart();
        EXPECT_NE(pending.find(L"~setup-"), std::wstring::npos) << c.name;
        CharLowerW(pending.data());
        EXPECT_EQ(pending.find(L"syswow64"), std::wstring::npos) << c.name << ": the restart work is for the 64-bit folder";

        Restart();
        EXPECT_EQ(ReadFileBytes(old), "new driver") << c.name;
        EXPECT_TRUE(TemporaryFiles().empty()) << c.name;
        EXPECT_EQ(PendingAtRestart(), L"") << c.name;
    }
}

// A package with a file big enough that copying it takes a while.
class Slow : public Installing {
protected:
    static void SetUpTestSuite()
    {
        s_package = new Package(L"slow");
        s_package->WriteFile(L"Driver\\e2e6.inf", Inf("e2e6"));
        WriteBigFile(s_package->Path(L"Driver\\e2e6.sys"), std::size_t(300) << 20);
    }
    static void TearDownTestSuite()
    {
        RemoveTree(s_package->Folder());
        delete s_package;
    }
    static Package* s_package;
};
Package* Slow::s_package = nullptr;

// Killed while copying (Task Manager, a logoff), the program leaves every
// installed file as it was and no copy behind, also of a file that was not
// installed before.
TEST_F(Slow, AKillDuringTheCopyLeavesEveryFileAsItWas)
{
    for (const bool installedBefore : {true, false}) {
        const std::wstring installed = kDrivers + L"\\e2e6.sys";
        if (installedBefore) WriteFileBytes(installed, "old driver");
        const auto before = FilesStartingWith(kDrivers, L"");
        SetupProcess setup(*s_package);
        ASSERT_TRUE(setup.MainWindow());
        setup.PressKey(VK_RETURN);
        // Wait until some file in the folder holds a good part of the copy,
        // then kill.
        std::wstring growing;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 30000 && growing.empty(); Sleep(2))
            for (const auto& name : FilesStartingWith(kDrivers, L""))
                if (FileSize(kDrivers + L"\\" + name) > (LONGLONG(50) << 20)) growing = name;
        ASSERT_FALSE(growing.empty()) << "the copy was not seen";
        setup.Kill();

        if (installedBefore)
            EXPECT_EQ(ReadFileBytes(installed), "old driver");
        else
            EXPECT_FALSE(Exists(installed)) << "a part of the new file under its name";
        EXPECT_EQ(FilesStartingWith(kDrivers, L""), before)
            << "left in the folder: " << std::string(growing.begin(), growing.end());
        EXPECT_TRUE(FilesStartingWith(kInf, L"e2e6").empty());
        DeleteFileW(installed.c_str());
    }
}

// While it installs, the window keeps answering but takes no input: clicks
// posted twice install once, and keys typed meanwhile do not close the
// message that follows.
TEST_F(Slow, InstallRunsOnceAndTheWindowKeepsAnswering)
{
    SetupProcess setup(*s_package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    HWND install = GetDlgItem(window, IDOK), cancel = GetDlgItem(window, IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, 104))) << "the progress bar shows only while installing";
    PostMessageW(install, BM_CLICK, 0, 0);
    PostMessageW(install, BM_CLICK, 0, 0);
    HWND progress = nullptr;
    Until([&] {
        progress = GetDlgItem(window, 104);
        return !IsWindowEnabled(install) && !IsWindowEnabled(cancel) && IsWindowVisible(progress);
    });
    // Working: the buttons are off, the progress bar moves, the window
    // answers at once, and Enter, Esc and the close box change nothing.
    EXPECT_FALSE(IsWindowEnabled(install));
    EXPECT_FALSE(IsWindowEnabled(cancel));
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_EQ(ClassName(progress), L"msctls_progress32");
    const RECT bar = ChildRect(progress), place{177, 304, 341, 319};  // at 96 DPI
    EXPECT_TRUE(EqualRect(&bar, &place)) << "the progress bar, made only now, is not at its place";
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result));
    setup.PressKey(VK_RETURN);
    setup.PressKey(VK_ESCAPE);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(setup.WaitForExit(0)) << "ended while installing";

    HWND box = setup.MessageBox(60000);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"Setup complete,please restart.");
    // Keys are taken in the order they were typed: once Alt+Space has
    // opened the message's window menu, the keys typed during the copy are
    // gone too, and had they reached the message they would have closed it.
    setup.PressKey(VK_SPACE, VK_MENU);
    EXPECT_TRUE(Until([&] { return SystemMenuOpen(setup) || !IsWindow(box); }));
    EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box)) << "the message closed unread";
    SendMessageTimeoutW(box, WM_CANCELMODE, 0, 0, SMTO_NORMAL, 10000, &result);  // the menu closes
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u) << "a second install, or the message stayed";
    EXPECT_EQ(FileSize(kDrivers + L"\\e2e6.sys"), LONGLONG(300) << 20);
}

// While another install holds the machine's lock (this test holds it), an
// install waits and says so, its progress bar moving, and Cancel ends it with
// nothing changed.
TEST_F(Installing, AnInstallWaitsForAnotherAndMayBeCancelledMeanwhile)
{
    const HANDLE lock = CreateMutexW(nullptr, TRUE, L"Global\\UsbDriverSetup.Install");
    ASSERT_TRUE(lock && GetLastError() != ERROR_ALREADY_EXISTS) << "another install holds the lock";
    Package package(L"waiting");
    package.WriteFile(L"Driver\\e2e16.sys", "waits");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    HWND label = GetDlgItem(window, 101), cancel = GetDlgItem(window, IDCANCEL);
    const std::wstring waiting = L"\r\nWaiting for another setup to finish...";

    EXPECT_TRUE(Until([&] { return WindowText(label) == waiting; })) << "the window does not say it waits";
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, 104))) << "the progress bar";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    ASSERT_TRUE(IsWindowEnabled(cancel));
    setup.PressKey(VK_ESCAPE);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    ReleaseMutex(lock);
    CloseHandle(lock);
    EXPECT_FALSE(Exists(kDrivers + L"\\e2e16.sys")) << "the cancelled install went on";
}

// A double double-click, or the same package reached through another path
// (another drive letter, a share): the second copy shows the first one and
// ends; the package installs once, whole.
TEST_F(Installing, ASecondStartOfThePackageShowsTheFirst)
{
    for (const bool otherPath : {false, true}) {
        Package package(L"twice");
        package.WriteFile(L"Driver\\e2e3.inf", Inf("e2e3"));
        package.WriteFile(L"Driver\\e2e3.sys", Bytes("twice", 200000));
        // Wine's Z: drive reaches the same folder from the Unix side.
        std::wstring second = package.Path(L"Setup.exe");
        if (otherPath) {
            second = L"Z:" + UnixPath(second);
            for (auto& c : second)
                if (c == L'/') c = L'\\';
        }
        SetupProcess a(package), b(second);
        // Either may be first; the other one ends.
        std::optional<DWORD> ended;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 10000 && !ended; Sleep(10))
            if (!(ended = a.WaitForExit(0))) ended = b.WaitForExit(0);
        ASSERT_TRUE(ended) << "both copies kept running, other path: " << otherPath;
        EXPECT_EQ(*ended, 0u);
        SetupProcess& first = a.WaitForExit(0) ? b : a;
        SetupProcess& other = a.WaitForExit(0) ? a : b;
        HWND window = first.MainWindow();
        ASSERT_TRUE(window);
        EXPECT_FALSE(other.MainWindow(0));
        EXPECT_FALSE(first.WaitForExit(0));
        // The second copy asked for it to come to the front; the window
        // manager may take a moment.
        Until([&] { return GetForegroundWindow() == window; });
        EXPECT_EQ(GetForegroundWindow(), window) << "other path: " << otherPath;

        first.PressKey(VK_RETURN);
        HWND box = first.MessageBox();
        ASSERT_TRUE(box);
        first.PressKey(VK_RETURN);
        EXPECT_EQ(first.WaitForExit(), 0u);
        EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e3.sys"), Bytes("twice", 200000));
        EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e3.inf"), Inf("e2e3"));
    }
}

// Two packages with the same files (an old and a new disc of one driver),
// installed at the same moment, again and again: one installs after the
// other, every file whole and from one package, and both say so truly.
TEST_F(Installing, TwoPackagesInstalledAtOnceInstallOneAfterTheOther)
{
    constexpr int kFiles = 150, kRuns = 6;
    Package packages[] = {Package(L"at-once-a"), Package(L"at-once-b")};
    const std::string tags[] = {"A", "B"};
    for (int p = 0; p < 2; ++p) {
        packages[p].WriteFile(L"Driver\\e2e10.inf", Inf("e2e10 " + tags[p]));
        for (int i = 0; i < kFiles; ++i)
            packages[p].WriteFile(L"Driver\\e2e10-" + std::to_wstring(i) + L".sys", Bytes(tags[p] + std::to_string(i), 2000));
    }
    for (int run = 0; run < kRuns; ++run) {
        SetupProcess a(packages[0]), b(packages[1]);
        HWND windows[] = {a.MainWindow(), b.MainWindow()};
        ASSERT_TRUE(windows[0] && windows[1]);
        for (HWND window : windows) PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
        for (SetupProcess* setup : {&a, &b}) {
            HWND box = setup->MessageBox(120000);
            ASSERT_TRUE(box) << "run " << run;
            EXPECT_EQ(MessageText(box), L"Setup complete,please restart.") << "run " << run;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            EXPECT_EQ(setup->WaitForExit(), 0u) << "run " << run;
        }
        // Each file is the last package's.
        ASSERT_TRUE(Exists(kDrivers + L"\\e2e10-0.sys")) << "run " << run << ": lost 0";
        const std::string first = ReadFileBytes(kDrivers + L"\\e2e10-0.sys");
        const int last = first.rfind("B0", 0) == 0 ? 1 : 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::wstring target = kDrivers + L"\\e2e10-" + std::to_wstring(i) + L".sys";
            ASSERT_TRUE(Exists(target)) << "run " << run << ": lost " << i;
            ASSERT_EQ(ReadFileBytes(target), Bytes(tags[last] + std::to_string(i), 2000)) << "run " << run << ", file " << i;
        }
        EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e10.inf"), Inf("e2e10 " + tags[last])) << "run " << run;
        EXPECT_TRUE(TemporaryFiles().empty()) << "run " << run;
    }
}

// Killed (or the power gone) between renaming an old driver in use away
// (.old, with its .bak) and putting the new one in its place: no file under
// the driver's name. Then, maybe, a clean-up tool deletes the .bak, or an
// updater puts V9 at the driver's name. The next install, of any package,
// puts the old driver back from whichever name it still has before anything
// else, or leaves V9 and lets the old driver's names go.
TEST_F(Installing, AnInstallKilledHalfWayIsTakenBackByTheNextRun)
{
    const std::wstring old = kDrivers + L"\\e2e11.sys";
    enum class After { Nothing, BackupDeleted, Updater };
    for (const After after : {After::Nothing, After::BackupDeleted, After::Updater}) {
        TearDown();
        WriteFileBytes(old, "old driver");
        {
            Package killed(L"killed", g_faultyExe);
            const ScopedEnvironment fault(L"SETUP_FAULT", L"kill-after-set-aside");
            killed.WriteFile(L"Driver\\e2e11.sys", "new driver");
            // Open and shared for deleting, as a loaded driver: it cannot be
            // replaced, only renamed away.
            const HANDLE held = CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            SetupProcess setup(killed);
            ASSERT_TRUE(setup.MainWindow());
            setup.PressKey(VK_RETURN);
            EXPECT_EQ(setup.WaitForExit(30000), 99u) << "not killed where it was to be";
            CloseHandle(held);
        }
        ASSERT_FALSE(Exists(old)) << "the state this test is about: the driver's name is gone";
        if (after == After::Updater) {
            WriteFileBytes(old + L".e2e-update", "V9");
            ASSERT_TRUE(MoveFileW((old + L".e2e-update").c_str(), old.c_str()));
        }
        if (after == After::BackupDeleted)
            for (const auto& name : FilesStartingWith(kDrivers, L"~setup-"))
                if (name.find(L".bak") != std::wstring::npos) DeleteFileW((kDrivers + L"\\" + name).c_str());

        Package next(L"next");
        next.WriteFile(L"Driver\\e2e11other.sys", "another package");
        const auto [message, warning, code] = Install(next);

        EXPECT_EQ(code, 0u) << std::string(message.begin(), message.end());
        ASSERT_TRUE(Exists(old)) << "the old driver is lost";
        EXPECT_EQ(ReadFileBytes(old), after == After::Updater ? "V9" : "old driver");
        EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e11other.sys"), "another package");
        EXPECT_TRUE(TemporaryFiles().empty()) << "the old driver stays under a temporary name";
    }
}

// V1 installed; V2 waits for the restart (the file was held open); V3 is
// installed after the file was closed. The restart must leave V3.
TEST_F(Installing, AReplacementWaitingForTheRestartGivesWayToALaterInstall)
{
    // Without versions V3 goes in; with them V3 is older than the V2 that
    // waits for the restart (the one the user was told is in), and keeps out.
    const std::wstring target = kDrivers + L"\\e2e12.sys";
    for (const bool versions : {false, true}) {
        const std::string v[] = {versions ? Image(L"x64-1") : "V1", versions ? Image(L"x64-2") : "V2",
                                 versions ? Image(L"x64-1") : "V3"};
        for (int i = 0; i < 3; ++i) {
            Package package(L"versions");
            package.WriteFile(L"Driver\\e2e12.sys", v[i]);
            // V2 finds V1 open, readable but not to be renamed.
            const HANDLE file = i == 1 ? CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
            const auto [message, warning, code] = Install(package);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            EXPECT_EQ(code, i == 1 ? 3010u : versions && i == 2 ? 1u : 0u) << versions << i;
        }
        EXPECT_TRUE(ReadFileBytes(target) == (versions ? v[0] : v[2])) << versions;
        Restart();
        EXPECT_TRUE(ReadFileBytes(target) == v[versions ? 1 : 2]) << versions;
        EXPECT_TRUE(TemporaryFiles().empty());
        TearDown();
    }
}

// A file that refuses every change, administrators included (an ACL, a
// protected file; chattr +i here): not "in use", so no replacement at
// restart is promised, nothing is left behind, and the driver store is
// not touched (it is checked before the store changes).
TEST_F(Installing, AFileThatRefusesEveryChangeFailsBeforeTheDriverStoreChanges)
{
    const std::wstring target = kDrivers + L"\\e2e13.sys";
    WriteFileBytes(target, "old driver");
    // Another INF of the package's name is there: the store publishes the
    // package as oem<n>.inf.
    WriteFileBytes(kInf + L"\\e2e13.inf", Inf("e2e13 other vendor"));
    const std::wstring unix = UnixPath(target);
    RunProgram(L"/usr/bin/chattr +i \"" + unix + L"\"");
    // Wine does not wait for a Unix program: the file says when it is done.
    auto immutable = [&] {
        const HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        return probe == INVALID_HANDLE_VALUE;
    };
    Until(immutable);
    struct Mutable {  // whatever happens below, the prefix stays usable
        std::wstring command;
        std::function<bool()> immutable;
        ~Mutable()
        {
            RunProgram(command);
            Until([&] { return !immutable(); });
        }
    } restore{L"/usr/bin/chattr -i \"" + unix + L"\"", immutable};
    if (!immutable()) GTEST_SKIP() << "chattr +i needs root and a file system that has it";
    const std::size_t published = PublishedInfs();
    const std::wstring pending = PendingAtRestart();
    Package package(L"immutable");
    package.WriteFile(L"Driver\\e2e13.inf", Inf("e2e13"));
    package.WriteFile(L"Driver\\e2e13.sys", "new driver");

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"Setup could not copy these files:\r\ne2e13.sys (C:\\windows\\System32\\Drivers): " +
                           SystemText(ERROR_ACCESS_DENIED) + L"\r\nNo file was changed.");
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ReadFileBytes(target), "old driver");
    EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e13.inf"), Inf("e2e13 other vendor"));
    EXPECT_EQ(PublishedInfs(), published) << "the driver store changed";
    EXPECT_EQ(PendingAtRestart(), pending) << "a restart was promised";
    EXPECT_TRUE(TemporaryFiles().empty());
}

// A package that cannot be installed is refused before anything changes:
// no Driver folder, a file in its place, or an INF named as the driver
// store publishes packages (oem<n>.inf), which would replace another
// vendor's driver.
TEST_F(Installing, APackageThatCannotBeInstalledIsRefused)
{
    const std::wstring published = kInf + L"\\oem0.inf";
    const bool existed = Exists(published);
    if (!existed) WriteFileBytes(published, Inf("another vendor"));
    const std::string before = ReadFileBytes(published);
    const struct {
        const char* name;
        std::wstring line;  // the failure line, without its reason
        DWORD error;
    } cases[] = {{"no Driver folder", L"Driver (C:\\setup-e2e\\refused)", ERROR_PATH_NOT_FOUND},
                 {"a file named Driver", L"Driver (C:\\setup-e2e\\refused)", ERROR_DIRECTORY},
                 {"oem0.inf", L"oem0.inf (C:\\windows\\Inf)", 0}};
    const std::wstring reserved =
        L"Windows gives this name to the packages in its driver store; the package must name the file otherwise.";
    for (const auto& c : cases) {
        Package package(L"refused");
        if (c.error) RemoveTree(package.Path(L"Driver"));
        if (c.error == ERROR_DIRECTORY) package.WriteFile(L"Driver", "not a folder");
        if (!c.error) package.WriteFile(L"Driver\\oem0.inf", Inf("e2e14"));
        if (!c.error) package.WriteFile(L"Driver\\e2e14.sys", "new driver");

        const auto [message, warning, code] = Install(package);

        EXPECT_EQ(message, L"Setup could not copy these files:\r\n" + c.line + L": " +
                               (c.error ? SystemText(c.error) : reserved) + L"\r\nNo file was changed.")
            << c.name;
        EXPECT_TRUE(warning) << c.name;
        EXPECT_EQ(code, 1u) << c.name;
    }
    EXPECT_EQ(ReadFileBytes(published), before);
    EXPECT_FALSE(Exists(kDrivers + L"\\e2e14.sys"));
    if (!existed) DeleteFileW(published.c_str());
}

// Ending the session (a logoff, a shutdown) while a large package installs:
// Setup asks it to wait; if it ends anyway, the next run takes the install
// back. Either way every file is old or every file is new.
TEST_F(Installing, EndingTheSessionIsRefusedOrTakenBack)
{
    constexpr int kFiles = 300;
    Package package(L"session-end");
    for (int i = 0; i < kFiles; ++i) {
        package.WriteFile(L"Driver\\e2e15-" + std::to_wstring(i) + L".sys", Bytes("new" + std::to_string(i), 1000));
        WriteFileBytes(kDrivers + L"\\e2e15-" + std::to_wstring(i) + L".sys", "old");
    }
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    // The first rename is under way once an old file has its second name.
    bool renaming = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000 && !renaming; Sleep(2))
        for (const auto& name : FilesStartingWith(kDrivers, L"~setup-"))
            renaming = renaming || name.find(L".bak") != std::wstring::npos;
    ASSERT_TRUE(renaming) << "the install was not seen";
    const DWORD ended = RunProgram(L"wineboot.exe -e");
    const bool refused = ended != 0;
    if (refused) {
        HWND box = setup.MessageBox(120000);
        ASSERT_TRUE(box);
        EXPECT_EQ(MessageText(box), L"Setup complete,please restart.");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    EXPECT_TRUE(setup.WaitForExit(120000));
    Package next(L"after-session-end");
    next.WriteFile(L"Driver\\e2e15other.sys", "another package");
    EXPECT_EQ(Install(next).exitCode, 0u);

    int fresh = 0;
    for (int i = 0; i < kFiles; ++i)
        fresh += ReadFileBytes(kDrivers + L"\\e2e15-" + std::to_wstring(i) + L".sys") == Bytes("new" + std::to_string(i), 1000);
    EXPECT_TRUE(fresh == 0 || fresh == kFiles) << fresh << " of " << kFiles << " files new; the session end was "
                                               << (refused ? "refused" : "not refused");
    EXPECT_TRUE(refused) << "the window let the session end while it installed";
    EXPECT_TRUE(TemporaryFiles().empty());
}

// The 32-bit program on 64-bit Windows turns the folder redirection off for
// its System32 work only: a System32 path read on that thread afterwards
// reaches SysWOW64 again, as the rest of the program expects.
class Wow64 : public Installing {
protected:
    void TearDown() override
    {
        Installing::TearDown();
        DeleteFileW(kProbe32.c_str());
        DeleteFileW(kProbe64.c_str());
    }
    const std::wstring kProbe64 = L"C:\\windows\\system32\\e2e-wow64-probe.txt";
    const std::wstring kProbe32 = L"C:\\windows\\syswow64\\e2e-wow64-probe.txt";
};

TEST_F(Wow64, RedirectionIsBackOnAfterTheSystem32Work)
{
    // This suite means nothing for a 64-bit program.
    const std::string image = ReadFileBytes(g_faultyExe);
    ASSERT_GT(image.size(), 0x100u);
    DWORD header = 0;
    std::memcpy(&header, image.data() + 0x3C, sizeof header);
    WORD machine = 0;
    std::memcpy(&machine, image.data() + header + 4, sizeof machine);
    ASSERT_EQ(machine, IMAGE_FILE_MACHINE_I386) << "not a 32-bit program";

    WriteFileBytes(kProbe64, "System32");
    WriteFileBytes(kProbe32, "SysWOW64");
    Package package(L"wow64-probe", g_faultyExe);
    const ScopedEnvironment fault(L"SETUP_FAULT", L"wow64-probe");
    package.WriteFile(L"Driver\\e2e7.inf", Inf("e2e7"));
    package.WriteFile(L"Driver\\e2e7.sys", "new sys");
    package.WriteFile(L"Driver\\e2e7b.sys", "new sys b");
    WriteFileBytes(kDrivers + L"\\e2e7.sys", "old sys");

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(code, 0u) << std::string(message.begin(), message.end());
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e7.sys"), "new sys");
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e7b.sys"), "new sys b");
    EXPECT_TRUE(FilesStartingWith(kWow64Drivers, L"e2e").empty());
    EXPECT_TRUE(Exists(kInf + L"\\e2e7.pnf")) << "the driver store took the INF";
    const std::string log = ReadFileBytes(package.Path(L"wow64-probe.log"));
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find("\r\n", at);
        lines.push_back(log.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_GE(lines.size(), 2u) << log;
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], i % 2 ? "on: SysWOW64" : "off: System32") << log;
}

// What earlier runs left, and others changed since: a run killed half-way,
// a replacement waiting for the restart, another install holding the lock,
// another package whose folder looks like this one's.
class Recovering : public Installing {};

// V1; V2 waits for the restart (the driver was held open); then another
// program holds V2's copy open, without letting it be deleted, while V3 is
// installed, also under the name in another case. The restart ends with V3.
TEST_F(Recovering, AReplacementThatCannotBeCancelledStillGivesWayToALaterInstall)
{
    for (const std::wstring later : {L"\u00dce2e18.sys", L"\u00fce2e18.sys"}) {
        TearDown();
        const std::wstring target = kDrivers + L"\\\u00dce2e18.sys";
        WriteFileBytes(target, "V1");
        Package package(L"versions");
        package.WriteFile(L"Driver\\\u00dce2e18.sys", "V2");
        HANDLE file = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Install(package).exitCode, 3010u);
        CloseHandle(file);
        std::wstring copy;
        for (const auto& name : FilesStartingWith(kDrivers, L"~setup-"))
            if (name.find(L".new") != std::wstring::npos) copy = kDrivers + L"\\" + name;
        ASSERT_FALSE(copy.empty());
        file = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        Package third(L"versions-3");
        third.WriteFile(L"Driver\\" + later, "V3");
        const auto [message, warning, code] = Install(third);
        CloseHandle(file);

        EXPECT_EQ(code, 0u) << std::string(message.begin(), message.end());
        EXPECT_EQ(ReadFileBytes(target), "V3");
        Restart();
        EXPECT_EQ(ReadFileBytes(target), "V3") << "the restart brought V2 back";
        EXPECT_TRUE(TemporaryFiles().empty());
        DeleteFileW(target.c_str());
    }
}

// While another install holds the machine's lock (this test holds it), the
// waiting Setup has changed nothing: its close box and Alt+F4 (the close
// item of its system menu) are on, the close box ends it, and so does a
// logoff, instead of being refused; nothing is installed.
TEST_F(Recovering, WhileWaitingForAnotherInstallTheCloseBoxAndTheSessionEndMayEndIt)
{
    const HANDLE lock = CreateMutexW(nullptr, TRUE, L"Global\\UsbDriverSetup.Install");
    ASSERT_TRUE(lock);
    for (const bool sessionEnd : {false, true}) {
        Package package(L"waiting", g_faultyExe);
        const ScopedEnvironment fault(L"SETUP_FAULT", L"menu-probe");
        package.WriteFile(L"Driver\\e2e19.sys", "waits");
        SetupProcess setup(package);
        HWND window = setup.MainWindow();
        ASSERT_TRUE(window);
        PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
        HWND label = GetDlgItem(window, 101);
        const std::wstring waiting = L"\r\nWaiting for another setup to finish...";
        ASSERT_TRUE(Until([&] { return WindowText(label) == waiting; })) << "no Waiting text";
        const std::wstring log = package.Path(L"menu-probe.log");
        auto state = [&] {
            const std::string text = Exists(log) ? ReadFileBytes(log) : "";
            const auto last = text.rfind("close: ");
            return last == std::string::npos ? std::string() : text.substr(last);
        };
        EXPECT_TRUE(Until([&] { return state() == "close: on\r\n"; }))
            << "the close box and Alt+F4 are off while waiting: " << state();
        if (sessionEnd) {
            EXPECT_EQ(RunProgram(L"wineboot.exe -e"), 0u) << "the session end was refused";
        } else {
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_EQ(setup.WaitForExit(10000), 0u) << (sessionEnd ? "session end" : "close box");
    }
    ReleaseMutex(lock);
    CloseHandle(lock);
    EXPECT_FALSE(Exists(kDrivers + L"\\e2e19.sys"));
}

// Two packages on two file systems that give their folders the same volume
// serial and file index (two mounts reached through Wine's Z: drive; a
// cloned disk on Windows): each is a package of its own, and both run.
TEST_F(Recovering, TwoPackagesWhoseFoldersLookAlikeBothRun)
{
    // The session's two tmpfs mounts, made where it runs as root.
    wchar_t state[1024] = {};
    GetEnvironmentVariableW(L"SETUP_E2E_STATE", state, 1024);
    std::vector<std::unique_ptr<SetupProcess>> setups;
    for (const wchar_t* mount : {L"/mount-a", L"/mount-b"}) {
        std::wstring folder = L"Z:" + std::wstring(state) + mount;
        for (auto& c : folder)
            if (c == L'/') c = L'\\';
        RemoveTree(folder + L"\\Driver");
        if (!CreateDirectoryW((folder + L"\\Driver").c_str(), nullptr))
            GTEST_SKIP() << "the test session made no mounts (it needs root)";
        ASSERT_TRUE(CopyFileW(g_setupExe.c_str(), (folder + L"\\Setup.exe").c_str(), FALSE));
        setups.push_back(std::make_unique<SetupProcess>(folder + L"\\Setup.exe"));
        ASSERT_TRUE(setups.back()->MainWindow()) << "the second package was taken for the first one";
    }
    for (auto& setup : setups) {
        PostMessageW(GetDlgItem(setup->MainWindow(), IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(setup->WaitForExit(), 0u);
    }
}

// Run by the full-disk wrapper, which puts System32\Drivers on a file system
// with only 128 KB free and an old e2e4.sys in it.
TEST(FullDisk, DiskFullForOneFolderChangesNothingAnywhere)
{
    if (!GetEnvironmentVariableW(L"SETUP_E2E_FULL_DISK", nullptr, 0)) GTEST_SKIP() << "needs the full-disk wrapper";
    const std::wstring old = kDrivers + L"\\e2e4.sys";
    const std::string oldBytes = ReadFileBytes(old);
    Package package(L"full-disk");
    package.WriteFile(L"Driver\\e2e4.inf", Inf("e2e4"));  // fits in the Inf folder
    package.WriteFile(L"Driver\\e2e4.sys", Bytes("big", 1 << 20));

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"Setup could not copy these files:\r\ne2e4.sys (C:\\windows\\System32\\Drivers): " +
                           SystemText(ERROR_DISK_FULL) + L"\r\nNo file was changed.");
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ReadFileBytes(old), oldBytes);
    EXPECT_TRUE(FilesStartingWith(kInf, L"e2e4").empty());
    EXPECT_EQ(FilesStartingWith(kDrivers, L"e2e4"), std::vector<std::wstring>{L"e2e4.sys"});
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
}  // namespace e2e
