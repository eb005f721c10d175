#include <gtest/gtest.h>

#include <climits>

#include "FakeTexts.h"
#include "text/mduResoure.h"

namespace setup {
namespace {

using mduResoure::LoadSetupText;
using mduResoure::TextTable;
using test::FakeTexts;

// Title, Setup, Cancel, Complete, Failed, NothingChanged, Restart, Waiting, NotRestored, Newer,
// Refused and Unreadable: one read each.
constexpr int kTextReads = 12;

TextTable Load(const FakeTexts& services) { return LoadSetupText(services, services.iniPath); }

TEST(TextTable, SectionFollowsTheSystemLanguageWithoutFallback)
{
    struct Case {
        std::uint16_t langId;
        const wchar_t* title;
    };
    const Case cases[] = {
        {1028, L"Taiwan"},    // Chinese (Taiwan)
        {2052, L"PRC"},       // Chinese (PRC)
        {3076, L"Default"},   // Chinese (Hong Kong) is neither
        {4100, L"Default"},   // Chinese (Singapore)
        {1033, L"Default"},   // English (United States)
        {0x0004, L"Default"}, // a neutral Chinese ID is neither
    };
    for (const auto& c : cases) {
        FakeTexts services;
        services.langId = c.langId;
        services.Set(L"404", L"Title", L"Taiwan");
        services.Set(L"804", L"Title", L"PRC");
        services.Set(L"Default", L"Title", L"Default");
        EXPECT_EQ(Load(services).strTitle, c.title) << "language " << c.langId;
    }

    // A key missing from the chosen section is not taken from [Default].
    FakeTexts onlyDefault;
    onlyDefault.langId = 2052;
    onlyDefault.Set(L"Default", L"Title", L"Other");
    onlyDefault.Set(L"Default", L"Setup", L"Other");
    onlyDefault.Set(L"Default", L"PromptCount", L"2");
    onlyDefault.Set(L"Default", L"Prompt0", L"Other");
    const TextTable table = Load(onlyDefault);
    EXPECT_EQ(table.strTitle, L"USB Driver");
    EXPECT_EQ(table.strSetup, L"&Setup");
    EXPECT_EQ(table.strPrompt, L"\r\n");
}

TEST(TextTable, BuiltInDefaultsForMissingFileSectionKeyOrEmptyValue)
{
    struct Case {
        const char* name;
        void (*arrange)(FakeTexts&);
    };
    const Case cases[] = {
        {"missing file", [](FakeTexts& s) { s.fileExists = false; }},
        {"missing section", [](FakeTexts& s) { s.Set(L"804", L"Title", L"x"); }},
        {"missing keys", [](FakeTexts& s) { s.Set(L"Default", L"Other", L"x"); }},
        {"empty values",
         [](FakeTexts& s) {
             for (const wchar_t* key : {L"Title", L"Setup", L"Cancel", L"Complete", L"Failed", L"NothingChanged",
                                        L"Restart", L"Prompt0"})
                 s.Set(L"Default", key, L"");
         }},
    };
    for (const auto& c : cases) {
        FakeTexts services;
        c.arrange(services);
        const TextTable table = Load(services);
        EXPECT_EQ(table.strTitle, L"USB Driver") << c.name;
        EXPECT_EQ(table.strSetup, L"&Setup") << c.name;
        EXPECT_EQ(table.strCancel, L"&Cancel") << c.name;
        EXPECT_EQ(table.strComplete, L"Setup complete,please restart.") << c.name;
        EXPECT_EQ(table.strFailed, L"Setup could not copy these files:") << c.name;
        EXPECT_EQ(table.strNothingChanged, L"No file was changed.") << c.name;
        EXPECT_EQ(table.strRestart, L"Some files were in use; Windows finishes replacing them when it restarts.")
            << c.name;
        EXPECT_EQ(table.strPrompt, L"\r\n") << c.name;
    }
}

TEST(TextTable, TextsAreTrimmedOfSpacesButPromptLinesAreNot)
{
    FakeTexts services;
    services.Set(L"Default", L"Title", L"  My Device  ");
    services.Set(L"Default", L"Setup", L"&Install ");
    services.Set(L"Default", L"Cancel", L"\tTab kept");
    services.Set(L"Default", L"Complete", L" Done. ");
    services.Set(L"Default", L"Prompt0", L"  indented  ");
    const TextTable table = Load(services);
    EXPECT_EQ(table.strTitle, L"My Device");
    EXPECT_EQ(table.strSetup, L"&Install");
    EXPECT_EQ(table.strCancel, L"\tTab kept");
    EXPECT_EQ(table.strComplete, L"Done.");
    EXPECT_EQ(table.strPrompt, L"\r\n  indented  ");
}

// The prompt from the count, the line keys and the list of keys: its lines,
// and how many of them are read (only those whose keys exist, when the list
// can be had).
TEST(TextTable, PromptFollowsTheCountAndReadsOnlyTheLinesThatExist)
{
    auto empty = [](int lines) {
        std::wstring text;
        for (int i = 0; i < lines; ++i) text += L"\r\n";
        return text;
    };
    const int most = mduResoure::kMaxPromptLines;
    struct Case {
        const char* name;
        const wchar_t* count;  // nullptr: no PromptCount key
        std::vector<std::pair<const wchar_t*, const wchar_t*>> lines;
        bool keyList;  // the list of keys can be had
        std::wstring prompt;
        int lineReads;
    };
    const Case cases[] = {
        {"no count reads one line", nullptr, {{L"Prompt0", L"A"}, {L"Prompt1", L"B"}}, true, L"\r\nA", 1},
        {"gap keeps its place", L"3", {{L"Prompt0", L"A"}, {L"Prompt2", L"C"}}, true, L"\r\nA\r\n\r\nC", 2},
        {"missing lines are empty", L"2", {}, true, L"\r\n\r\n", 0},
        {"zero", L"0", {{L"Prompt0", L"A"}}, true, L"", 0},
        {"negative", L"-5", {{L"Prompt0", L"A"}}, true, L"", 0},
        {"lowest 32-bit number", L"-2147483648", {{L"Prompt0", L"A"}}, true, L"", 0},
        {"key names ignore case", L"2", {{L"PROMPT0", L"A"}, {L"prompt1", L"B"}}, true, L"\r\nA\r\nB", 2},
        {"lines past the count are not read", L"1", {{L"Prompt0", L"A"}, {L"Prompt1", L"B"}}, true, L"\r\nA", 1},
        {"ten and more", L"11", {{L"Prompt10", L"K"}}, true, empty(11) + L"K", 1},
        // Prompt01 is not line 1: its name is Prompt1, which is missing.
        {"leading zero", L"2", {{L"Prompt01", L"X"}}, true, empty(2), 0},
        {"sign", L"2", {{L"Prompt+1", L"X"}, {L"Prompt-0", L"X"}}, true, empty(2), 0},
        {"not a number", L"2", {{L"Prompt1x", L"X"}, {L"PromptX", L"X"}, {L"Prompt", L"X"}}, true, empty(2), 0},
        {"a huge count stays bounded", L"2147483647", {{L"Prompt0", L"First"}, {L"Prompt2", L"Third"}}, true,
         L"\r\nFirst\r\n\r\nThird" + empty(most - 3), 2},
        {"without the key list every line is read", L"3", {{L"Prompt1", L"B"}}, false, L"\r\n\r\nB\r\n", 3},
        {"without the key list, a huge count", L"2147483647", {}, false, empty(most), most},
    };
    for (const auto& c : cases) {
        FakeTexts services;
        services.keyListReadable = c.keyList;
        if (c.count) services.Set(L"Default", L"PromptCount", c.count);
        for (const auto& [key, value] : c.lines) services.Set(L"Default", key, value);
        EXPECT_EQ(Load(services).strPrompt, c.prompt) << c.name;
        EXPECT_EQ(services.stringReads, kTextReads + c.lineReads) << c.name;
    }
}

TEST(TextTable, DoubleByteValuesKeepExactlyTheirCharacters)
{
    FakeTexts services;
    services.langId = 2052;
    services.Set(L"804", L"Title", L"\x5B89\x88C5\x9A71\x52A8");  // four characters, 8 bytes
    services.Set(L"804", L"Setup", L"\x5B89\x88C5(&S)");
    services.Set(L"804", L"PromptCount", L"2");
    services.Set(L"804", L"Prompt0", L"\x8BF7\x6309\x4E0B" L"ABC");
    services.Set(L"804", L"Prompt1", L"\x4E2D");
    const TextTable table = Load(services);
    EXPECT_EQ(table.strTitle, L"\x5B89\x88C5\x9A71\x52A8");
    EXPECT_EQ(table.strSetup, L"\x5B89\x88C5(&S)");
    EXPECT_EQ(table.strPrompt, L"\r\n\x8BF7\x6309\x4E0B" L"ABC\r\n\x4E2D");
    EXPECT_EQ(table.strTitle.find(L'\0'), std::wstring::npos);
}

TEST(TextTable, LongValuesAreCutAt254BytesOnAWholeCharacter)
{
    const std::wstring chinese(200, L'\x4E2D');  // 400 bytes
    struct Case {
        const char* name;
        std::wstring value;
        std::wstring kept;
    };
    const Case cases[] = {
        {"single-byte", std::wstring(300, L'a'), std::wstring(254, L'a')},
        {"exactly the limit", std::wstring(254, L'b'), std::wstring(254, L'b')},
        {"double-byte", chinese, std::wstring(127, L'\x4E2D')},
        // 1 + 126 * 2 = 253 bytes; one more character would need 255.
        {"odd start", L"A" + chinese, L"A" + std::wstring(126, L'\x4E2D')},
        // A surrogate pair is never split.
        {"surrogate pair", std::wstring(252, L'c') + L"\xD83D\xDE00", std::wstring(252, L'c')},
    };
    for (const auto& c : cases) {
        FakeTexts services;
        services.Set(L"Default", L"Complete", c.value);
        services.Set(L"Default", L"Prompt0", c.value);
        const TextTable table = Load(services);
        EXPECT_EQ(table.strComplete, c.kept) << c.name;
        EXPECT_EQ(table.strPrompt, L"\r\n" + c.kept) << c.name;
    }
}

}  // namespace
}  // namespace setup
