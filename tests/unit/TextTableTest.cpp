#include <gtest/gtest.h>

#include <climits>

#include "FakePlatform.h"
#include "text/mduResoure.h"

namespace setup {
namespace {

using mduResoure::LoadSetupText;
using mduResoure::TextTable;
using test::FakeServices;

// Title, Setup, Cancel, Complete, Failed, NothingChanged, Restart, Waiting and NotRestored: one
// read each.
constexpr int kTextReads = 9;

TextTable Load(const FakeServices& services) { return LoadSetupText(services, services.iniPath); }

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
        FakeServices services;
        services.langId = c.langId;
        services.Set(L"404", L"Title", L"Taiwan");
        services.Set(L"804", L"Title", L"PRC");
        services.Set(L"Default", L"Title", L"Default");
        EXPECT_EQ(Load(services).strTitle, c.title) << "language " << c.langId;
    }

    // A key missing from the chosen section is not taken from [Default].
    FakeServices onlyDefault;
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
        void (*arrange)(FakeServices&);
    };
    const Case cases[] = {
        {"missing file", [](FakeServices& s) { s.fileExists = false; }},
        {"missing section", [](FakeServices& s) { s.Set(L"804", L"Title", L"x"); }},
        {"missing keys", [](FakeServices& s) { s.Set(L"Default", L"Other", L"x"); }},
        {"empty values",
         [](FakeServices& s) {
             for (const wchar_t* key : {L"Title", L"Setup", L"Cancel", L"Complete", L"Failed", L"NothingChanged",
                                        L"Restart", L"Prompt0"})
                 s.Set(L"Default", key, L"");
         }},
    };
    for (const auto& c : cases) {
        FakeServices services;
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
    FakeServices services;
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

TEST(TextTable, PromptLinesFollowTheCountWithGapsKept)
{
    struct Case {
        const char* name;
        const wchar_t* count;  // nullptr: no PromptCount key
        std::vector<std::pair<const wchar_t*, const wchar_t*>> lines;
        std::wstring prompt;
    };
    const Case cases[] = {
        {"no count reads one line", nullptr, {{L"Prompt0", L"A"}, {L"Prompt1", L"B"}}, L"\r\nA"},
        {"gap keeps its place", L"3", {{L"Prompt0", L"A"}, {L"Prompt2", L"C"}}, L"\r\nA\r\n\r\nC"},
        {"missing lines are empty", L"2", {}, L"\r\n\r\n"},
        {"zero", L"0", {{L"Prompt0", L"A"}}, L""},
        {"negative", L"-5", {{L"Prompt0", L"A"}}, L""},
        {"lowest 32-bit number", L"-2147483648", {{L"Prompt0", L"A"}}, L""},
        {"key names ignore case", L"2", {{L"PROMPT0", L"A"}, {L"prompt1", L"B"}}, L"\r\nA\r\nB"},
        {"lines past the count are not read", L"1", {{L"Prompt0", L"A"}, {L"Prompt1", L"B"}}, L"\r\nA"},
        {"ten and more", L"11", {{L"Prompt10", L"K"}}, L"\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\nK"},
    };
    for (const auto& c : cases) {
        FakeServices services;
        if (c.count) services.Set(L"Default", L"PromptCount", c.count);
        for (const auto& [key, value] : c.lines) services.Set(L"Default", key, value);
        EXPECT_EQ(Load(services).strPrompt, c.prompt) << c.name;
    }
}

TEST(TextTable, HugeCountStaysBoundedAndShowsTheSameLines)
{
    FakeServices services;
    services.Set(L"Default", L"PromptCount", L"2147483647");
    services.Set(L"Default", L"Prompt0", L"First");
    services.Set(L"Default", L"Prompt2", L"Third");
    const TextTable table = Load(services);

    std::wstring expected = L"\r\nFirst\r\n\r\nThird";
    for (int i = 3; i < mduResoure::kMaxPromptLines; ++i) expected += L"\r\n";
    EXPECT_EQ(table.strPrompt, expected);
    // The texts and the two lines that exist: nothing else is read.
    EXPECT_EQ(services.stringReads, kTextReads + 2);
}

TEST(TextTable, OnlyLinesWhoseKeysExistAreRead)
{
    // Prompt01 is not line 1: its canonical name is Prompt1, which is
    // missing, so nothing is read for it.
    struct Case {
        const char* name;
        std::vector<const wchar_t*> keys;
        int lineReads;
    };
    const Case cases[] = {
        {"leading zero", {L"Prompt01"}, 0},
        {"sign", {L"Prompt+1", L"Prompt-0"}, 0},
        {"not a number", {L"Prompt1x", L"PromptX", L"Prompt"}, 0},
        {"past the count", {L"Prompt2"}, 0},
        {"canonical, any case", {L"prompt1", L"PROMPT0"}, 2},
    };
    for (const auto& c : cases) {
        FakeServices services;
        services.Set(L"Default", L"PromptCount", L"2");
        for (const wchar_t* key : c.keys) services.Set(L"Default", key, L"X");
        const TextTable table = Load(services);
        EXPECT_EQ(services.stringReads, kTextReads + c.lineReads) << c.name;
        EXPECT_EQ(table.strPrompt, c.lineReads ? L"\r\nX\r\nX" : L"\r\n\r\n") << c.name;
    }
}

TEST(TextTable, WithoutTheKeyListEveryLineIsRead)
{
    FakeServices services;
    services.keyListReadable = false;
    services.Set(L"Default", L"PromptCount", L"3");
    services.Set(L"Default", L"Prompt1", L"B");
    EXPECT_EQ(Load(services).strPrompt, L"\r\n\r\nB\r\n");
    EXPECT_EQ(services.stringReads, kTextReads + 3);

    services.Set(L"Default", L"PromptCount", L"2147483647");
    services.stringReads = 0;
    Load(services);
    EXPECT_EQ(services.stringReads, kTextReads + mduResoure::kMaxPromptLines);
}

TEST(TextTable, DoubleByteValuesKeepExactlyTheirCharacters)
{
    FakeServices services;
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
        FakeServices services;
        services.Set(L"Default", L"Complete", c.value);
        services.Set(L"Default", L"Prompt0", c.value);
        const TextTable table = Load(services);
        EXPECT_EQ(table.strComplete, c.kept) << c.name;
        EXPECT_EQ(table.strPrompt, L"\r\n" + c.kept) << c.name;
    }
}

}  // namespace
}  // namespace setup
