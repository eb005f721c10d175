// What Install does with a driver older than the installed one, one built
// for another processor, and files that another program holds for a
// moment: with real version resources, real program images (built for the
// tests) and another process's hold on the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <set>
#include <thread>

#include "Harness.h"
#include "InstallHarness.h"

namespace e2e {
namespace {

const std::wstring kInf = L"C:\\windows\\inf";
const std::wstring kDrivers = L"C:\\windows\\system32\\drivers";
const std::wstring kShownDrivers = L"C:\\windows\\System32\\Drivers";  // as the message names it
const std::wstring kComplete = L"Setup complete,please restart.";
const std::wstring kNothingChanged = L"\r\nNo file was changed.";
// An INF file that the driver store takes.
const char kInfText[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\nClassGuid={36FC9E60-C465-11CF-8056-444553540000}\r\n"
    "Provider=%Acme%\r\nDriverVer=12/07/2026,1.0.0.0\r\n\r\n[Strings]\r\nAcme=\"Acme e2ev\"\r\n";

// Another program's hold: the file is open, shared as sharing says, from
// now until ms later (0: until the hold goes).
class MomentsHold {
public:
    MomentsHold(const std::wstring& path, DWORD ms, DWORD sharing = 0)
        : m_file(CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (ms && Held())
            m_letGo = std::thread([file = m_file, ms] {
                Sleep(ms);  // the other program's moment, which the install waits out
                CloseHandle(file);
            });
    }
    // Closed once: by the thread after ms, or here.
    ~MomentsHold()
    {
        if (m_letGo.joinable())
            m_letGo.join();
        else if (Held())
            CloseHandle(m_file);
    }
    bool Held() const { return m_file != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_file;
    std::thread m_letGo;
};

class DriverChecks : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        for (const wchar_t* name : {L"e2ev1.sys", L"e2ev2.sys", L"e2ev3.sys", L"e2ev5.sys"}) {
            SetFileAttributesW((kDrivers + L"\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW((kDrivers + L"\\" + name).c_str());
        }
        for (const wchar_t* name : {L"e2ev2.inf", L"e2ev4.inf", L"e2ev5.inf", L"e2ev5.pnf", L"e2ev6.inf", L"e2ev6.pnf"})
            DeleteFileW((kInf + L"\\" + name).c_str());
    }
};

// Another program's hold on a file. One of a moment (a scanner's 1.5 s as
// the install reaches the file, or 0.6 s on the package's INF while the
// driver store takes it) costs neither a restart nor a failure. One past the
// install's allowance on a file whose version must be compared stops the
// install with nothing changed, naming the file: a newer installed driver
// that cannot be read is not taken for one without a version.
TEST_F(DriverChecks, AFileHeldByAnotherProgram)
{
    struct Case {
        const char* name;
        const wchar_t* file;  // held: in the package, or installed
        bool package;
        DWORD ms, sharing;    // ms 0: until the install ends
        bool atStore;         // from the moment the driver store is to take the package
        bool versions;        // the installed driver 2.0.0.5, the package's 1.0.0.0
    };
    const Case cases[] = {
        {"installed file, a moment", L"e2ev1.sys", false, 1500, 0, false, false},
        {"package file, a moment", L"e2ev1.sys", true, 1500, 0, false, false},
        {"package INF, a moment as the store takes it", L"e2ev6.inf", true, 600, 0, true, false},
        {"newer installed driver, shared for deleting only", L"e2ev1.sys", false, 0, FILE_SHARE_DELETE, false, true},
        {"newer installed driver, shared with nobody", L"e2ev2.sys", false, 0, 0, false, true},
        {"older package driver", L"e2ev3.sys", true, 0, 0, false, true},
    };
    // A moment's hold is an install of its own; the holds past the
    // allowance share one, since the allowance is the run's, not each
    // file's: every file that could not be read is named.
    const std::vector<std::vector<Case>> runs = {{cases[0]}, {cases[1]}, {cases[2]}, {cases[3], cases[4], cases[5]}};
    for (const auto& run : runs) {
        const Case& first = run[0];  // ms, atStore and versions are the run's
        Package package(L"moment");
        package.WriteFile(L"Driver\\e2ev6.inf", kInfText);
        std::set<std::wstring> drivers{L"e2ev1.sys"};
        for (const auto& c : run)
            if (wcsstr(c.file, L".sys")) drivers.insert(c.file);
        const std::string old = first.versions ? Image(L"x64-2") : "old driver";
        for (const auto& name : drivers) {
            package.WriteFile(L"Driver\\" + name, first.versions ? Image(L"x64-1") : "new driver");
            WriteFileBytes(kDrivers + L"\\" + name, old);
        }
        if (first.atStore) AddOldFiles(package, L"e2ev7-");
        std::list<MomentsHold> holds;
        const auto take = [&] {
            for (const auto& c : run) {
                holds.emplace_back(c.package ? package.Path(L"Driver\\") + c.file : kDrivers + L"\\" + c.file, c.ms,
                                   c.sharing);
                ASSERT_TRUE(holds.back().Held()) << c.name;
            }
        };

        const auto [message, warning, code] = Install(package, first.atStore ? std::function<void()>() : take,
                                                      [&] { if (first.atStore && JournalWritten()) take(); });
        holds.clear();

        // The lines follow the listing of the folders, which Wine leaves
        // unsorted.
        std::wstring expected = kComplete;
        if (!first.ms) {
            expected = L"Setup could not read these files:";
            for (const auto& c : run)
                expected += L"\r\n" + std::wstring(c.file) + L" (" + (c.package ? package.Path(L"Driver") : kShownDrivers) +
                            L"): " + SystemText(ERROR_SHARING_VIOLATION);
            expected += kNothingChanged;
        }
        const auto lines = [](const std::wstring& text) {
            std::multiset<std::wstring> all;
            for (std::size_t at = 0, end; at <= text.size(); at = end + 2) {
                end = std::min(text.find(L"\r\n", at), text.size());
                all.insert(text.substr(at, end - at));
            }
            return all;
        };
        EXPECT_EQ(lines(message), lines(expected)) << first.name;
        EXPECT_EQ(message.substr(0, message.find(L'\r')), expected.substr(0, expected.find(L'\r'))) << first.name;
        EXPECT_EQ(code, first.ms ? 0u : 1u) << first.name;
        for (const auto& name : drivers)
            EXPECT_TRUE(ReadFileBytes(kDrivers + L"\\" + name) ==
                        (first.ms ? ReadFileBytes(package.Path(L"Driver\\" + name)) : old))
                << first.name << ": " << name;
        EXPECT_EQ(PendingAtRestart().find(L"~setup-"), std::wstring::npos) << first.name << ": nothing waits for a restart";
        RemoveOldFiles(L"e2ev7-");
        TearDown();
    }
}

// Read from the real files (the 32-bit program from the real System32):
// an installed driver newer than the package's, or a package driver built
// for another processor than the 64-bit kernel's, keeps the installed one.
TEST_F(DriverChecks, TheInstalledDriverIsKeptForAnOlderOrForeignOne)
{
    const std::string working = Image(L"x64-2"), older = Image(L"x64-1"), x86 = Image(L"x86-1");
    // The x86 image with its PE header past the first kilobyte, where its
    // e_lfanew says.
    std::string x86Far = x86;
    const std::uint32_t header = *reinterpret_cast<const std::uint32_t*>(x86.data() + 0x3C);
    x86Far.insert(header, 0x400, '\0');
    *reinterpret_cast<std::uint32_t*>(x86Far.data() + 0x3C) = header + 0x400;
    const std::wstring newerText = L"These installed files are newer than the package's (installed version; package's):";
    // DriverVer as Windows' INF parser reads it: a string key, quotes, a
    // comment.
    const std::string newerInf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer = %Date% , \"2.0\" ; was 1.0\r\n"
                                 "[Strings]\r\nDate=\"12/08/2026\"\r\n";
    struct Case {
        const char* name;
        std::wstring file, folder;
        std::string installed, package;
        std::wstring message;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"newer installed", L"e2ev2.sys", kDrivers, working, older,
         newerText + L"\r\ne2ev2.sys (" + kShownDrivers + L"): 2.0.0.5; 1.0.0.0" + kNothingChanged, 1},
        {"older installed", L"e2ev2.sys", kDrivers, older, working, kComplete, 0},
        {"newer INF installed", L"e2ev4.inf", kInf, newerInf, kInfText,
         newerText + L"\r\ne2ev4.inf (C:\\windows\\Inf): 12/08/2026,2.0; 12/07/2026,1.0.0.0" + kNothingChanged, 1},
        {"x86 image", L"e2ev3.sys", kDrivers, working, x86,
         L"Setup could not copy these files:\r\ne2ev3.sys (" + kShownDrivers + L"): " +
             SystemText(ERROR_EXE_MACHINE_TYPE_MISMATCH) + kNothingChanged,
         1},
        {"x86 image, its header past the first kilobyte", L"e2ev3.sys", kDrivers, working, x86Far,
         L"Setup could not copy these files:\r\ne2ev3.sys (" + kShownDrivers + L"): " +
             SystemText(ERROR_EXE_MACHINE_TYPE_MISMATCH) + kNothingChanged,
         1},
        {"newer installed, its version resource over 32 KB", L"e2ev2.sys", kDrivers, Image(L"x64-2big"), older,
         newerText + L"\r\ne2ev2.sys (" + kShownDrivers + L"): 2.0.0.5; 1.0.0.0" + kNothingChanged, 1},
    };
    for (const auto& c : cases) {
        Package package(L"versions");
        package.WriteFile(L"Driver\\" + c.file, c.package);
        package.WriteFile(L"Driver\\e2ev2.inf", kInfText);
        const std::wstring installed = c.folder + L"\\" + c.file;
        WriteFileBytes(installed, c.installed);

        const auto [message, warning, code] = Install(package);

        EXPECT_EQ(message, c.message) << c.name;
        EXPECT_EQ(code, c.exitCode) << c.name;
        const bool kept = c.exitCode != 0;
        EXPECT_EQ(warning, kept) << c.name;
        EXPECT_TRUE(ReadFileBytes(installed) == (kept ? c.installed : c.package)) << c.name;
        EXPECT_EQ(Exists(kInf + L"\\e2ev2.inf"), !kept) << c.name << ": nothing of the package goes in";
        TearDown();
    }
}

// A package with a folder of .sys files per processor, as real ones come:
// the one for the processor the kernel runs on goes in, from either
// program (on 32-bit Windows, the x86 one).
TEST_F(DriverChecks, TheDriverForThisWindowsProcessorIsInstalled)
{
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    const bool x86 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
    const std::string x64Image = Image(L"x64-1"), x86Image = Image(L"x86-1");
    for (const auto& [x64Folder, x86Folder] : {std::pair{L"amd64", L"x86"}, {L"X64", L"i386"}}) {
        Package package(L"processors");
        package.WriteFile(L"Driver\\e2ev5.inf", kInfText);
        package.WriteFile(std::wstring(L"Driver\\") + x64Folder + L"\\e2ev5.sys", x64Image);
        package.WriteFile(std::wstring(L"Driver\\") + x86Folder + L"\\e2ev5.sys", x86Image);

        const auto [message, warning, code] = Install(package);

        EXPECT_EQ(message, kComplete) << x64Folder;
        EXPECT_EQ(code, 0u) << x64Folder;
        EXPECT_TRUE(ReadFileBytes(kDrivers + L"\\e2ev5.sys") == (x86 ? x86Image : x64Image)) << x64Folder;
        TearDown();
    }
}

}  // namespace
}  // namespace e2e
