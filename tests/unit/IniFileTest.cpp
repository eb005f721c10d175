#include <gtest/gtest.h>

#include "check/IniFile.h"

namespace setup::ini {
namespace {

TEST(IniFile, SplitsLinesAsTheProfileReaderDoes)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::string, int>> entries;  // key, line in [S]
    };
    const Case cases[] = {
        {"CR LF", "[S]\r\nA=1\r\nB=2\r\n", {{"A", 2}, {"B", 3}}},
        {"LF and a lone CR", "[S]\nA=1\rB=2\n", {{"A", 2}, {"B", 3}}},
        {"blank lines count", "\r\n[S]\r\n\r\nA=1", {{"A", 4}}},
        {"comments, also indented", "[S]\n;A=1\n  \t;B=2\nC=3", {{"C", 4}}},
        {"spaces before the header", "  [S]  \nA=1", {{"A", 2}}},
        {"'[' without ']' starts nothing", "[S]\nA=1\n[T\nB=2", {{"A", 2}, {"B", 4}}},
        {"a line without '=' is a key", "[S]\nTitle Acme", {{"Title Acme", 2}}},
    };
    for (const auto& c : cases) {
        const File file = Parse(c.bytes);
        const Section* section = FindSection(file, "S");
        ASSERT_NE(section, nullptr) << c.name;
        std::vector<std::pair<std::string, int>> entries;
        for (const auto& entry : section->entries) entries.emplace_back(entry.key, entry.line);
        EXPECT_EQ(entries, c.entries) << c.name;
    }
}

TEST(IniFile, ValuesAreTrimmedThenLoseOnePairOfQuotes)
{
    struct Case {
        std::string line;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"  Key1  =  spaced value  ", "Key1", "spaced value"},
        {"Q=\" \"", "Q", " "},
        {"Q=  \"  in  \"  ", "Q", "  in  "},
        {"Q='single'", "Q", "single"},
        {"Q=\"a\"b\"", "Q", "a\"b"},
        {"Q=\"unmatched", "Q", "\"unmatched"},
        {"Q=\"x'", "Q", "\"x'"},
        {"Q=\"", "Q", "\""},
        {"Q=\t\v tabbed \f\x1A", "Q", "tabbed"},
        {"Q=a=b", "Q", "a=b"},
        {std::string("Q=ab\0cd", 7), "Q", "ab"},
        {"=x", "", "x"},
    };
    for (const auto& c : cases) {
        const File file = Parse("[S]\r\n" + c.line);
        ASSERT_EQ(file.sections.size(), 1u) << c.line;
        ASSERT_EQ(file.sections[0].entries.size(), 1u) << c.line;
        EXPECT_EQ(file.sections[0].entries[0].key, c.key) << c.line;
        EXPECT_EQ(file.sections[0].entries[0].value, c.value) << c.line;
    }
}

TEST(IniFile, FirstSectionAndFirstKeyOfANameWinWithoutRegardToCase)
{
    const File file = Parse(
        "Stray=1\n[Default]\nTitle=first\ntitle=second\n[ 804 ] junk\nA=1\n[DEFAULT]\nTitle=third\n"
        "[80]4]\nB=2\n");
    EXPECT_EQ(file.strayLines, std::vector<int>{1});
    const Section* section = FindSection(file, "default");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->line, 2);
    EXPECT_EQ(section->lastLine, 4);
    EXPECT_EQ(FindEntry(*section, "TITLE")->value, "first");
    EXPECT_EQ(FindSection(file, "804")->line, 5);
    EXPECT_NE(FindSection(file, "80]4"), nullptr);
    EXPECT_EQ(FindSection(file, "80"), nullptr);
    EXPECT_EQ(file.sections.size(), 4u);
}

TEST(IniFile, ByteOrderMarks)
{
    struct Case {
        const char* name;
        std::string bytes;
        Encoding encoding;
        std::string firstLine;
    };
    const Case cases[] = {
        {"none", "[S]", Encoding::Bytes, "[S]"},
        {"UTF-8 keeps its mark in line 1", "\xEF\xBB\xBF[S]", Encoding::Utf8Bom, "\xEF\xBB\xBF[S]"},
        {"UTF-16 LE", std::string("\xFF\xFE[\0S\0]\0\r\0\n\0\x89\x5B", 14), Encoding::Utf16Le, "[S]"},
        {"UTF-16 BE", std::string("\xFE\xFF\0[\0S\0]", 8), Encoding::Utf16Be, "[S]"},
        {"UTF-16 pair and odd byte", std::string("\xFF\xFE\x3D\xD8\x00\xDE!", 7), Encoding::Utf16Le,
         "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        const File file = Parse(c.bytes);
        EXPECT_EQ(file.encoding, c.encoding) << c.name;
        ASSERT_FALSE(file.lines.empty()) << c.name;
        EXPECT_EQ(file.lines[0], c.firstLine) << c.name;
    }
    // The second line of the UTF-16 LE case: U+5B89 in UTF-8.
    EXPECT_EQ(Parse(cases[2].bytes).lines.at(1), "\xE5\xAE\x89");
    // A lone surrogate of a UTF-16 file comes back from its UTF-8 form.
    const File lone = Parse(std::string("\xFF\xFE\x00\xD8", 4));
    EXPECT_EQ(FromUtf8(lone.lines.at(0)), std::wstring(1, wchar_t(0xD800)));
}

TEST(IniFile, Utf8)
{
    struct Case {
        std::string bytes;
        bool beyondAscii;
        std::wstring text;
    };
    const Case cases[] = {
        {"plain", false, L"plain"},
        {"\xE5\xAE\x89\xE8\xA3\x85", true, L"\x5B89\x88C5"},
        {"\xC3\xA9", true, L"\xE9"},
        {"\xF0\x9F\x98\x80", true, L"\xD83D\xDE00"},
        {"\xB0\xB2", false, L"\xFFFD\xFFFD"},                       // GBK
        {"\xC0\xAF", false, L"\xFFFD\xFFFD"},                       // overlong
        {"\xE5\xAE", false, L"\xFFFD\xFFFD"},                       // cut short
        {"\xED\xA0\x80", false, std::wstring(1, wchar_t(0xD800))},  // a surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUtf8BeyondAscii(c.bytes), c.beyondAscii) << c.bytes;
        EXPECT_EQ(FromUtf8(c.bytes), c.text) << c.bytes;
    }
}

}  // namespace
}  // namespace setup::ini
