// The install button, run for real: files land in the Wine prefix's
// C:\windows folders byte for byte, failures keep the old files and are
// named to the user, and the exit code tells the outcome.
#include <gtest/gtest.h>

#include "Harness.h"

namespace e2e {
namespace {

const std::wstring kInf = L"C:\\windows\\inf";
const std::wstring kIoSubSys = L"C:\\windows\\system\\IoSubSys";
const std::wstring kDrivers = L"C:\\windows\\system32\\drivers";

std::string Bytes(const std::string& seed, std::size_t size)
{
    std::string bytes;
    for (std::size_t i = 0; bytes.size() < size; ++i) bytes += seed + char('0' + i % 10);
    bytes.resize(size);
    return bytes;
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

void RemoveStartingWith(const std::wstring& folder, const std::wstring& prefix)
{
    for (const auto& name : FilesStartingWith(folder, prefix)) RemoveTree(folder + L"\\" + name);
}

std::wstring SystemText(DWORD error)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                   nullptr, error, 0, text, 512, nullptr);
    std::wstring s = text;
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\r' || s.back() == L'\n')) s.pop_back();
    return s;
}

struct Outcome {
    std::wstring message;
    bool warning = false;  // the message shows an icon
    DWORD exitCode = 999;
};

// Presses Install, reads the message, closes it with its one OK button.
Outcome Install(const Package& package)
{
    SetupProcess setup(package);
    if (!setup.MainWindow()) return {L"(no window)"};
    setup.PressKey(VK_RETURN);
    HWND box = setup.MessageBox(30000);
    if (!box) return {L"(no message)"};
    Outcome outcome{MessageText(box), MessageHasIcon(box)};
    EXPECT_EQ(MessageButtons(box), 1) << "a single OK button";
    EXPECT_EQ(WindowText(box), L"Setup");
    setup.PressKey(VK_RETURN);
    const auto code = setup.WaitForExit();
    outcome.exitCode = code ? *code : 999;
    return outcome;
}

class Installing : public testing::Test {
protected:
    void TearDown() override
    {
        for (const auto& folder : {kInf, kIoSubSys, kDrivers}) RemoveStartingWith(folder, L"e2e");
        RemoveTree(kIoSubSys);
    }
};

TEST_F(Installing, CopiesEachExtensionIntoItsFolderAndNothingElse)
{
    RemoveTree(kIoSubSys);  // as on a new Windows: the .pdr pass does not apply
    Package package(L"install");
    package.WriteIni("[Default]\r\nComplete=All copied.\r\n");
    const std::string inf = Bytes("inf", 3000), pdr = Bytes("pdr", 1000), sys = Bytes("sys", 70000);
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

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"All copied.");
    EXPECT_FALSE(warning);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e1.inf"), inf);
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e1.sys"), sys);
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e1驱动.sys"), sys);
    EXPECT_EQ(FilesStartingWith(kInf, L"e2e"), std::vector<std::wstring>{L"e2e1.inf"});
    EXPECT_EQ(FilesStartingWith(kDrivers, L"e2e").size(), 2u) << "only the two .sys files, no temporary file";
    EXPECT_FALSE(Exists(kIoSubSys)) << "no folder is created";

    // Where the folder exists, the .pdr files go there too.
    CreateDirectoryW(L"C:\\windows\\system", nullptr);
    ASSERT_TRUE(CreateDirectoryW(kIoSubSys.c_str(), nullptr));
    const auto [again, againWarning, againCode] = Install(package);
    EXPECT_EQ(again, L"All copied.");
    EXPECT_EQ(againCode, 0u);
    EXPECT_EQ(ReadFileBytes(kIoSubSys + L"\\e2e1.pdr"), pdr);
}

TEST_F(Installing, ReadOnlyDestinationIsKeptAndNamed)
{
    Package package(L"read-only");
    package.WriteFile(L"Driver\\e2e2.inf", "new inf");
    package.WriteFile(L"Driver\\e2e2.sys", "new sys");
    const std::wstring old = kInf + L"\\e2e2.inf";
    WriteFileBytes(old, "old inf");
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY);

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"Setup could not copy these files:\r\ne2e2.inf (C:\\windows\\Inf): " + SystemText(5));
    EXPECT_TRUE(warning);
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ReadFileBytes(old), "old inf");
    EXPECT_EQ(ReadFileBytes(kDrivers + L"\\e2e2.sys"), "new sys") << "the other copies still happen";
    EXPECT_EQ(FilesStartingWith(kInf, L"e2e"), std::vector<std::wstring>{L"e2e2.inf"});
}

TEST_F(Installing, DestinationHeldOpenIsKeptAndNamed)
{
    Package package(L"held-open");
    package.WriteIni("[Default]\r\nFailed=Not copied:\r\n");
    package.WriteFile(L"Driver\\e2e3.sys", Bytes("new", 5000));
    const std::wstring old = kDrivers + L"\\e2e3.sys";
    WriteFileBytes(old, "old sys");
    // Another program has the driver file open and shares it with nobody.
    const HANDLE held = CreateFileW(old.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const auto [message, warning, code] = Install(package);
    CloseHandle(held);

    EXPECT_EQ(message.rfind(L"Not copied:\r\ne2e3.sys (C:\\windows\\System32\\Drivers): ", 0), 0u) << message;
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ReadFileBytes(old), "old sys");
    EXPECT_EQ(FilesStartingWith(kDrivers, L"e2e"), std::vector<std::wstring>{L"e2e3.sys"});
}

TEST_F(Installing, ProgramFolderOutsideTheCodePageIsInstalledFrom)
{
    Package package(L"Дмитрий\\Downloads\\driver");
    package.WriteFile(L"Driver\\e2e5.inf", "inf from a Cyrillic folder");
    const auto [message, warning, code] = Install(package);
    EXPECT_EQ(message, L"Setup complete,please restart.");
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileBytes(kInf + L"\\e2e5.inf"), "inf from a Cyrillic folder");
}

// Run by the full-disk wrapper, which mounts a 64 KB file system on the
// .pdr folder with an old e2e4.pdr in it.
TEST(FullDisk, OldFileStaysWhenTheDiskFills)
{
    if (!GetEnvironmentVariableW(L"SETUP_E2E_FULL_DISK", nullptr, 0)) GTEST_SKIP() << "needs the full-disk wrapper";
    const std::wstring old = kIoSubSys + L"\\e2e4.pdr";
    const std::string oldBytes = ReadFileBytes(old);
    Package package(L"full-disk");
    package.WriteFile(L"Driver\\e2e4.pdr", Bytes("big", 200000));

    const auto [message, warning, code] = Install(package);

    EXPECT_EQ(message, L"Setup could not copy these files:\r\ne2e4.pdr (C:\\windows\\System\\IoSubSys): " +
                           SystemText(ERROR_DISK_FULL));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ReadFileBytes(old), oldBytes);
    EXPECT_EQ(FilesStartingWith(kIoSubSys, L"e2e"), std::vector<std::wstring>{L"e2e4.pdr"});
}

}  // namespace
}  // namespace e2e
