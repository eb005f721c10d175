// What Install does with a driver older than the installed one, one built
// for another processor, and files that another program holds for a
// moment: with real version resources, real program images (built for the
// tests) and another process's hold on the files.
#include <gtest/gtest.h>

#include <optional>
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

// A stand-in driver image built for the tests: x64-1, x64-2 or x86-1.
std::string Image(const wchar_t* name)
{
    const std::string bytes = ReadFileBytes(g_driverImages + L"\\driver-" + name + L".sys");
    EXPECT_GT(bytes.size(), 512u) << "stand-in driver " << std::string(name, name + wcslen(name));
    return bytes;
}

// A scanner's hold: the file is open, shared with nobody, from now until ms
// later.
class MomentsHold {
public:
    MomentsHold(const std::wstring& path, DWORD ms)
        : m_file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          m_letGo([file = m_file, ms] {
              Sleep(ms);
              CloseHandle(file);
          })
    {
    }
    ~MomentsHold() { m_letGo.join(); }
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
        for (const wchar_t* name : {L"e2ev2.inf", L"e2ev4.inf", L"e2ev5.inf", L"e2ev5.pnf"})
            DeleteFileW((kInf + L"\\" + name).c_str());
    }
};

// A scanner that opens a new file for 1.5 s, as the install reaches it,
// costs neither a restart nor a failure.
TEST_F(DriverChecks, AMomentsLockCostsNeitherARestartNorAFailure)
{
    for (const bool packageFile : {false, true}) {
        const char* name = packageFile ? "package file held" : "installed file held";
        Package package(L"moment");
        package.WriteFile(L"Driver\\e2ev1.sys", "new driver");
        const std::wstring installed = kDrivers + L"\\e2ev1.sys";
        WriteFileBytes(installed, "old driver");
        std::optional<MomentsHold> hold;

        const auto [message, warning, code] = Install(package, [&] {
            hold.emplace(packageFile ? package.Path(L"Driver\\e2ev1.sys") : installed, 1500);
            ASSERT_TRUE(hold->Held());
        });
        hold.reset();

        EXPECT_EQ(message, kComplete) << name;
        EXPECT_EQ(code, 0u) << name;
        EXPECT_EQ(ReadFileBytes(installed), "new driver") << name;
        EXPECT_EQ(PendingAtRestart().find(L"~setup-"), std::wstring::npos) << name << ": nothing waits for a restart";
    }
}

// Read from the real files (the 32-bit program from the real System32):
// an installed driver newer than the package's, or a package driver built
// for another processor than the 64-bit kernel's, keeps the installed one.
TEST_F(DriverChecks, TheInstalledDriverIsKeptForAnOlderOrForeignOne)
{
    const std::string working = Image(L"x64-2"), older = Image(L"x64-1"), x86 = Image(L"x86-1");
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
