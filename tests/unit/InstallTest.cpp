#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "install/DriverInstall.h"

namespace setup {
namespace {

using install::CopyDriverFiles;
using install::Result;
using test::FakeServices;

// A package in C:\Package and a Windows folder with all three destinations.
FakeServices Machine()
{
    FakeServices s;
    s.AddFolder(L"C:\\Package\\Driver");
    s.AddFolder(L"C:\\Windows\\Inf");
    s.AddFolder(L"C:\\Windows\\System\\IoSubSys");
    s.AddFolder(L"C:\\Windows\\System32\\Drivers");
    return s;
}

// Where files arrived, in order: straight copies and replacements, not
// the temporary files on their way.
std::vector<std::wstring> Copies(const FakeServices& s)
{
    const std::wstring suffix = L".setup-new";
    std::vector<std::wstring> copies;
    for (const auto& target : s.written)
        if (target.size() <= suffix.size() || target.compare(target.size() - suffix.size(), suffix.size(), suffix) != 0)
            copies.push_back(target);
    return copies;
}

TEST(Install, PassesCopyExactExtensionsOfOrdinaryFilesInOrder)
{
    FakeServices s = Machine();
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
    s.AddFile(L"C:\\Windows\\System32\\Drivers\\d.sys", "old version");  // replaced

    const Result result = CopyDriverFiles(s, L"C:\\Package");

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.copied, 5);
    const std::vector<std::wstring> expected = {
        L"C:\\Windows\\Inf\\a.inf",
        L"C:\\Windows\\Inf\\B.INF",
        L"C:\\Windows\\System\\IoSubSys\\c.pdr",
        L"C:\\Windows\\System32\\Drivers\\d.sys",
        L"C:\\Windows\\System32\\Drivers\\\x9A71\x52A8.sys",
    };
    EXPECT_EQ(Copies(s), expected);
    EXPECT_EQ(s.FileAt(L"C:\\Windows\\Inf\\a.inf")->bytes, "inf bytes");
    EXPECT_EQ(s.FileAt(L"C:\\Windows\\System\\IoSubSys\\c.pdr")->bytes, "pdr bytes");
    EXPECT_EQ(s.FileAt(L"C:\\Windows\\System32\\Drivers\\d.sys")->bytes, "sys bytes");
    // Nothing else arrived: no other file and no temporary file.
    std::size_t installed = 0;
    for (const wchar_t* folder : {L"C:\\Windows\\Inf", L"C:\\Windows\\System\\IoSubSys", L"C:\\Windows\\System32\\Drivers"})
        installed += s.FilesBelow(folder).size();
    EXPECT_EQ(installed, expected.size());
}

TEST(Install, MissingDestinationFolderSkipsItsPassSilently)
{
    FakeServices s = Machine();
    s.files.erase(L"c:\\windows\\system\\iosubsys");
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
    s.AddFile(L"C:\\Package\\Driver\\c.pdr", "pdr");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");

    const Result result = CopyDriverFiles(s, L"C:\\Package");

    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(Copies(s), (std::vector<std::wstring>{L"C:\\Windows\\Inf\\a.inf", L"C:\\Windows\\System32\\Drivers\\d.sys"}));
    EXPECT_FALSE(s.FileAt(L"C:\\Windows\\System\\IoSubSys")) << "no folder is created";
    EXPECT_FALSE(s.FileAt(L"C:\\Windows\\System\\IoSubSys\\c.pdr"));
}

TEST(Install, FailedCopyKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    struct Case {
        const char* name;
        std::uint32_t oldAttributes;
        std::uint32_t copyError;  // while writing the temporary file
        std::uint32_t moveError;  // while it replaces the old file
        std::uint32_t reported;
    };
    const Case cases[] = {
        {"read-only", kAttributeReadOnly, 0, 0, kErrorAccessDenied},
        {"hidden", kAttributeHidden, 0, 0, kErrorAccessDenied},
        {"disk full", 0, 112, 0, 112},
        {"held open", 0, 0, 32, 32},
    };
    // The same failures for a file that was not there before leave nothing.
    for (std::uint32_t error : {112u, 32u}) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.sys", "new driver");
        s.copyErrors[L"c:\\windows\\system32\\drivers\\a.sys"] = error;
        const Result result = CopyDriverFiles(s, L"C:\\Package");
        ASSERT_EQ(result.failures.size(), 1u);
        EXPECT_EQ(result.failures[0].error, error);
        EXPECT_TRUE(s.FilesBelow(L"C:\\Windows\\System32\\Drivers").empty()) << "error " << error;
    }
    {
        // A folder in the file's place is left alone.
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.sys", "new driver");
        s.AddFolder(L"C:\\Windows\\System32\\Drivers\\a.sys");
        const Result result = CopyDriverFiles(s, L"C:\\Package");
        ASSERT_EQ(result.failures.size(), 1u);
        EXPECT_EQ(result.failures[0].error, kErrorAccessDenied);
        EXPECT_EQ(s.FileAt(L"C:\\Windows\\System32\\Drivers\\a.sys")->attributes, kAttributeDirectory);
    }
    for (const auto& c : cases) {
        FakeServices s = Machine();
        s.AddFile(L"C:\\Package\\Driver\\a.sys", "new driver");
        s.AddFile(L"C:\\Package\\Driver\\b.sys", "other driver");
        s.AddFile(L"C:\\Windows\\System32\\Drivers\\a.sys", "old driver", c.oldAttributes);
        const std::wstring temporary = L"c:\\windows\\system32\\drivers\\a.sys.setup-new";
        if (c.copyError) s.copyErrors[temporary] = c.copyError;
        if (c.moveError) s.moveErrors[L"c:\\windows\\system32\\drivers\\a.sys"] = c.moveError;

        const Result result = CopyDriverFiles(s, L"C:\\Package");

        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_EQ(result.failures[0].name, L"a.sys") << c.name;
        EXPECT_EQ(result.failures[0].folder, L"C:\\Windows\\System32\\Drivers") << c.name;
        EXPECT_EQ(result.failures[0].error, c.reported) << c.name;
        EXPECT_EQ(s.FileAt(L"C:\\Windows\\System32\\Drivers\\a.sys")->bytes, "old driver") << c.name;
        EXPECT_EQ(s.FileAt(L"C:\\Windows\\System32\\Drivers\\a.sys")->attributes, c.oldAttributes) << c.name;
        EXPECT_FALSE(s.FileAt(temporary)) << c.name;
        // The pass goes on with the next file.
        EXPECT_EQ(s.FileAt(L"C:\\Windows\\System32\\Drivers\\b.sys")->bytes, "other driver") << c.name;
        EXPECT_EQ(result.copied, 1) << c.name;
    }
}

TEST(Install, FailingSearchEndsThePassWithoutRepeatingAName)
{
    FakeServices s = Machine();
    s.searchFailsAfter = 1;
    s.AddFile(L"C:\\Package\\Driver\\a.inf", "a");
    s.AddFile(L"C:\\Package\\Driver\\b.inf", "b");
    s.AddFile(L"C:\\Package\\Driver\\d.sys", "d");
    s.AddFile(L"C:\\Package\\Driver\\e.sys", "e");
    CopyDriverFiles(s, L"C:\\Package");
    EXPECT_EQ(Copies(s), (std::vector<std::wstring>{L"C:\\Windows\\Inf\\a.inf", L"C:\\Windows\\System32\\Drivers\\d.sys"}));
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
        const Result result = CopyDriverFiles(s, L"C:\\Package");
        EXPECT_EQ(Copies(s), std::vector<std::wstring>{c.inf}) << c.name;
        EXPECT_TRUE(result.failures.empty()) << c.name;
    }
}

TEST(Install, ProgramFolderAtADriveRootIsJoinedCleanly)
{
    FakeServices s = Machine();
    s.AddFile(L"E:\\Driver\\a.inf", "inf");
    CopyDriverFiles(s, L"E:\\");
    EXPECT_EQ(s.calls.front(), L"search E:\\Driver\\*.inf");
    EXPECT_EQ(s.FileAt(L"C:\\Windows\\Inf\\a.inf")->bytes, "inf");
}

TEST(Install, RedirectionIsOffAroundThePassesOnlyUnderWow64)
{
    for (bool wow64 : {false, true}) {
        FakeServices s = Machine();
        s.wow64 = wow64;
        s.AddFile(L"C:\\Package\\Driver\\a.inf", "inf");
        s.AddFile(L"C:\\Package\\Driver\\d.sys", "sys");
        CopyDriverFiles(s, L"C:\\Package");
        const auto off = std::find(s.calls.begin(), s.calls.end(), L"redirection off");
        const auto on = std::find(s.calls.begin(), s.calls.end(), L"redirection on");
        if (!wow64) {
            EXPECT_EQ(off, s.calls.end());
            EXPECT_EQ(on, s.calls.end());
            continue;
        }
        ASSERT_NE(off, s.calls.end());
        ASSERT_NE(on, s.calls.end());
        EXPECT_EQ(off, s.calls.begin()) << "off before the first search";
        EXPECT_EQ(on, s.calls.end() - 1) << "on again after the last copy";
    }
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
