#include <gtest/gtest.h>

#include <random>

#include "FakeCodePages.h"
#include "FakeTextWidth.h"
#include "app/frmMain.h"
#include "check/Inf.h"
#include "check/SetupCheck.h"

namespace setup::check {

extern const std::string_view kExampleSetupIni;

namespace {

using test::FakeCodePages;

// A correct file: [Default] in ASCII, [804] in GBK, [404] in Big5.
const std::vector<std::string> kGood = {
    "[Default]",              //  1
    "Title=Acme",             //  2
    "PromptCount=2",          //  3
    "Prompt0=Welcome",        //  4
    "Prompt1=Press Install",  //  5
    "Setup=&Install",         //  6
    "Cancel=&Cancel",         //  7
    "Complete=Done",          //  8
    "Failed=Failed:",         //  9
    "[804]",                  // 10
    "Title=\xB0\xB2",         // 11
    "PromptCount=1",          // 12
    "Prompt0=\xB0\xB2",       // 13
    "Setup=\xB0\xB2(&S)",     // 14
    "Cancel=\xC8\xA1(&C)",    // 15
    "Complete=\xB0\xB2",      // 16
    "Failed=\xB0\xB2",        // 17
    "NothingChanged=\xB0\xB2",  // 18
    "Restart=\xB0\xB2",       // 19
    "Waiting=\xB0\xB2",       // 20
    "NotRestored=\xB0\xB2",   // 21
    "Newer=\xB0\xB2",         // 22
    "Refused=\xB0\xB2",       // 23
    "Unreadable=\xB0\xB2",    // 24
    "[404]",                  // 25
    "Title=\xA6\x77",         // 26
    "PromptCount=1",          // 27
    "Prompt0=\xA6\x77",       // 28
    "Setup=\xA6\x77(&S)",     // 29
    "Cancel=\xA8\xFA(&C)",    // 30
    "Complete=\xA6\x77",      // 31
    "Failed=\xA6\x77",        // 32
    "NothingChanged=\xA6\x77",  // 33
    "Restart=\xA6\x77",       // 34
    "Waiting=\xA6\x77",       // 35
    "NotRestored=\xA6\x77",   // 36
    "Newer=\xA6\x77",         // 37
    "Refused=\xA6\x77",       // 38
    "Unreadable=\xA6\x77",    // 39
};

std::string Join(const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const auto& line : lines) bytes += line + "\r\n";
    return bytes;
}

// The good file with line n (from 1) replaced; an empty text removes it.
std::string With(int n, const std::string& text)
{
    auto lines = kGood;
    lines[static_cast<std::size_t>(n - 1)] = text;
    if (text.empty()) lines.erase(lines.begin() + (n - 1));
    return Join(lines);
}

Result Check(const std::string& bytes)
{
    const FakeCodePages codePages;
    return CheckSetupIni(bytes, codePages);
}

std::string Describe(const Result& result)
{
    std::string text;
    for (const auto& f : result.findings) {
        text += (f.severity == Severity::Error ? "  error " : "  warning ") + std::to_string(f.line) + ": ";
        for (wchar_t c : f.text) text += c < 0x80 ? static_cast<char>(c) : '?';
        text += "\n";
    }
    return text;
}

bool Has(const Result& result, Severity severity, int line, const std::wstring& part)
{
    for (const auto& f : result.findings)
        if (f.severity == severity && f.line == line && f.text.find(part) != std::wstring::npos) return true;
    return false;
}

TEST(SetupCheck, AGoodFileHasNoFindingsAndShowsEachSectionDecoded)
{
    const Result result = Check(Join(kGood));
    EXPECT_TRUE(result.findings.empty()) << Describe(result);
    EXPECT_EQ(result.ExitCode(), 0);
    ASSERT_EQ(result.sections.size(), 3u);
    const FakeCodePages codePages;
    const std::wstring an = codePages.Decode(936, "\xB0\xB2"), big5 = codePages.Decode(950, "\xA6\x77");

    const Shown& other = result.sections[0];
    EXPECT_EQ(other.name, L"Default");
    EXPECT_EQ(other.line, 1);
    EXPECT_EQ(other.codePage, 1252u);
    EXPECT_EQ(other.table.strTitle, L"Acme");
    EXPECT_EQ(other.table.strPrompt, L"\r\nWelcome\r\nPress Install");
    EXPECT_EQ(other.table.strSetup, L"&Install");

    const Shown& prc = result.sections[1];
    EXPECT_EQ(prc.line, 10);
    EXPECT_EQ(prc.codePage, 936u);
    EXPECT_EQ(prc.table.strTitle, an);
    EXPECT_EQ(prc.table.strSetup, an + L"(&S)");
    EXPECT_EQ(prc.table.strPrompt, L"\r\n" + an);

    const Shown& taiwan = result.sections[2];
    EXPECT_EQ(taiwan.codePage, 950u);
    EXPECT_EQ(taiwan.table.strComplete, big5);
}

// Each broken file and the finding it must give.
TEST(SetupCheck, BrokenFilesGiveTheirFindings)
{
    const Severity E = Severity::Error, W = Severity::Warning;
    const std::string gbk130 = [] {
        std::string s;
        for (int i = 0; i < 130; ++i) s += "\xB0\xB2";
        return s;
    }();
    struct Case {
        const char* name;
        std::string bytes;
        Severity severity;
        int line;
        std::wstring text;
    };
    const Case cases[] = {
        // Bytes and encodings.
        {"bytes not GBK", With(11, "Title=\xB0\x7F"), E, 11,
         L"[804] Title: bytes B0 7F are not valid GBK (code page 936)"},
        {"bytes not Big5", With(26, "Title=\xA1\x80"), E, 26, L"bytes A1 80 are not valid Big5 (code page 950)"},
        {"lone lead byte at the end", With(16, "Complete=\xB0"), E, 16, L"bytes B0 are not valid GBK"},
        {"[404] saved as GBK", "[404]\r\nTitle=\xB0\xB2\xF2\x8C\r\nSetup=\xB0\xB2\x81\x80(&S)\r\n", E, 2,
         L"[404] looks saved as GBK (code page 936): Chinese (Taiwan) systems (language 1028) read it as Big5 (code "
         L"page 950) and show"},
        {"[804] saved as Big5", "[804]\r\nTitle=\xA6\x77\xA8\xFA\r\nSetup=\xA6\x77\xB0\x40(&S)\r\n", W, 2,
         L"[804] looks saved as Big5 (code page 950): Chinese (PRC) systems (language 2052) read it as GBK (code page "
         L"936) and show"},
        {"[804] saved as UTF-8", "[804]\r\nTitle=Acme\r\nSetup=\xE5\xAE\x89\xE8\xA3\x85(&S)\r\nCancel=&C\r\n", E, 3,
         L"[804] looks saved as UTF-8: Chinese (PRC) systems (language 2052) read it as GBK (code page 936) and show"},
        {"[Default] saved as UTF-8", With(2, "Title=Caf\xC3\xA9"), E, 2, L"[Default] looks saved as UTF-8"},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + Join(kGood), E, 1, L"UTF-8 with a byte-order mark"},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0[\0S\0]", 8), E, 0, L"UTF-16 big-endian"},
        {"UTF-16 without its mark", std::string("[\0S\0]\0\r\0\n\0A\0=\0x\0", 16), E, 0, L"without a byte-order mark"},
        {"NUL byte", With(8, std::string("Complete=Do\0ne", 14)), E, 8, L"a NUL byte"},
        {"[Default] beyond ASCII", With(2, "Title=Caf\xE9"), W, 2, L"[Default] has characters outside ASCII"},
        {"user-defined character", With(11, "Title=\xAA\xA1"), W, 11,
         L"Title holds <U+E0A1>, a user-defined character"},
        {"control character",
         With(2,
              "Title=A\x01"
              "B"),
         W, 2, L"a control character"},
        // Structure and keys.
        {"unknown key", With(5, "Promt1=Press"), W, 5, L"unknown key \"Promt1\" is never read (did you mean Prompt1?)"},
        {"leading zero", With(5, "Prompt01=Press"), W, 5, L"Prompt01 is never read"},
        {"key again", With(8, "title=Again"), W, 8, L"[Default] title again: only the first one (line 2) is read"},
        {"key without a name", With(4, "=Welcome"), E, 4, L"a value without a key name"},
        {"line without '='", With(8, "Complete Done"), W, 8, L"\"Complete Done\" has no '='"},
        {"text before the sections", "Title=x\r\n" + Join(kGood), W, 1, L"text before the first section"},
        {"'[' without ']'", With(10, "[804"), E, 10, L"'[' without ']' starts no section"},
        {"the example's Chinese texts under a Title of one's own",
         std::string(kExampleSetupIni).replace(std::string(kExampleSetupIni).find("Title=Acme"), 10, "Title=Contoso"), W,
         1 + static_cast<int>(std::count(kExampleSetupIni.begin(), kExampleSetupIni.begin() + kExampleSetupIni.find("\n[804]") + 1, '\n')),
         L"[804] still holds the example package's texts, while [Default] is your own"},
        {"a second section", Join(kGood) + "[default]\r\nTitle=Again\r\n", E, 40,
         L"a second [default]: only the first one (line 1) is read, so the 1 key lines below never show"},
        {"unknown section", Join(kGood) + "[0804]\r\n", W, 40, L"section [0804] is never read"},
        {"missing section", Join({kGood.begin(), kGood.begin() + 17}), W, 0,
         L"[404] is missing: Chinese (Taiwan) systems (language 1028) show the built-in English texts"},
        {"unmatched quote", With(2, "Title=\"Acme"), W, 2, L"Title starts with a quote that does not end it"},
        // The prompt.
        {"count below a line", With(3, "PromptCount=1"), E, 5,
         L"Prompt1 never shows: PromptCount=1 (line 3) shows only Prompt0"},
        {"no count, two lines", With(3, "Comment=x"), E, 5, L"Prompt1 never shows: without PromptCount only Prompt0"},
        {"count above the lines", With(3, "PromptCount=5"), W, 3,
         L"PromptCount is 5 but Prompt2 to Prompt4 are missing"},
        {"count not a number", With(3, "PromptCount=2x"), W, 3, L"PromptCount=2x reads as 2"},
        {"count not a decimal number", With(3, "PromptCount=1a"), W, 3, L"PromptCount=1a reads as 1"},
        {"an index past any count", With(5, "Prompt4294967297=Press"), E, 5, L"Prompt4294967297 never shows"},
        {"count negative", With(3, "PromptCount=-1"), W, 3, L"reads as -1: no prompt shows"},
        {"count too large", With(3, "PromptCount=5000"), W, 3, L"only the first 1000 lines are read"},
        {"no prompt", "[804]\r\nTitle=A\r\n", W, 1, L"[804] has no prompt"},
        // Texts.
        {"value too long", With(2, "Title=" + std::string(300, 'a')), E, 2,
         L"Title is 300 bytes in code page 1252, over the 254 a value holds: Setup.exe cuts it after 254 characters"},
        {"one byte too long", With(4, "Prompt0=" + std::string(255, 'a')), E, 4, L"Prompt0 is 255 bytes"},
        {"double-byte value too long", With(11, "Title=" + gbk130), E, 11,
         L"Title is 260 bytes in GBK (code page 936), over the 254 a value holds: Setup.exe cuts it after 127 "
         L"characters"},
        {"text left empty", With(16, "Complete="), W, 16,
         L"[804] Complete is empty: Chinese (PRC) systems (language 2052) see the built-in English \"Setup complete"},
        {"missing texts", "[404]\r\nPrompt0=x\r\nSetup=&S\r\nCancel=&C\r\n", W, 1,
         L"[404] has no Title, Complete, Failed, NothingChanged, Restart, Waiting, NotRestored, Newer, Refused, Unreadable: Chinese (Taiwan) systems (language 1028) see "
         L"the built-in English texts"},
        {"blank button", With(6, "Setup=\" \""), E, 6,
         L"Setup=\" \" is only spaces: the install button has no caption"},
        {"blank title", With(2, "Title=\"  \""), W, 2, L"the window has no title"},
        // Captions.
        {"no access key", With(6, "Setup=Install"), W, 6,
         L"has no access key: put & before one of its letters, as in \"&Install\""},
        {"same access key", With(7, "Cancel=&Ignore"), E, 7, L"have the same access key I"},
        {"same key, other case", With(15, "Cancel=(&s)"), E, 15, L"have the same access key S"},
        {"only &&", With(6, "Setup=Save && Go"), W, 6, L"has only &&, which shows one &: no access key"},
        {"lone & at the end", With(6, "Setup=Install&"), W, 6, L"ends in a lone &"},
        {"two access keys", With(6, "Setup=&In&stall"), W, 6, L"more than one access key"},
        {"space as access key", With(6, "Setup=& Install"), W, 6, L"makes the space its access key"},
    };
    for (const auto& c : cases) {
        const Result result = Check(c.bytes);
        EXPECT_TRUE(Has(result, c.severity, c.line, c.text)) << c.name << "\n" << Describe(result);
        if (c.severity == E) {
            EXPECT_EQ(result.ExitCode(), 1) << c.name;
        }
    }
}

// Texts measured against the room the window gives them at 96 DPI: the
// title 400 pixels, a caption 67, the prompt 363 x 288. The fake measures an
// ASCII character 6 pixels wide, any other 12, a line 13 high.
TEST(SetupCheck, TextsTooWideForTheWindowAreFound)
{
    const auto times = [](const std::string& piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += piece;
        return text;
    };
    std::string lines25 = "[Default]\r\nPromptCount=25\r\n";
    for (int i = 0; i < 25; ++i) lines25 += "Prompt" + std::to_string(i) + "=x\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        int line;
        std::wstring text;  // empty: no text is too wide
    };
    const Case cases[] = {
        {"a good file", Join(kGood), 0, L""},
        {"title that fits", With(2, "Title=" + std::string(66, 'a')), 0, L""},
        {"title too wide", With(2, "Title=" + std::string(67, 'a')), 2,
         L"[Default] Title is 402 pixels wide in the system's message font at 96 DPI; the title bar has room for "
         L"about 400"},
        {"caption too wide", With(14, "Setup=" + times("\xB0\xB2", 5) + "(&S)"), 14,
         L"is 78 pixels wide in the system's message font at 96 DPI; the button has room for 67"},
        {"& is not drawn", With(6, "Setup=&Install now"), 0, L""},
        {"&& draws one &", With(7, "Cancel=&Stop && go on"), 7, L"is 72 pixels wide"},
        {"cancel too wide", With(29, "Cancel=" + times("\xA6\x77", 6)), 29, L"is 72 pixels wide"},
        {"prompt too high", lines25, 24,
         L"[Default] the prompt is cut from Prompt21 on: wrapped to the label's width of 363 pixels in the system's "
         L"message font at 96 DPI, the prompt up to there is 299 pixels high, and the label 288"},
        {"prompt that fits", "[Default]\r\nPromptCount=21\r\nPrompt20=x\r\n", 0, L""},
        {"word too wide", With(13, "Prompt0=" + times("\xB0\xB2", 31)), 13, L"[804] Prompt0 has a word 372 pixels wide"},
        {"waiting text too wide", With(34, "Waiting=" + times("\xA6\x77", 31)), 34,
         L"[404] Waiting, wrapped to the prompt's width of 363 pixels in the system's message font at 96 DPI, is 372 x "
         L"13 pixels"},
    };
    const FakeCodePages codePages;
    const test::FakeTextWidth widths;
    for (const auto& c : cases) {
        const Result result = CheckSetupIni(c.bytes, codePages, &widths);
        if (c.text.empty()) {
            for (const auto& f : result.findings)
                EXPECT_EQ(f.text.find(L"pixels"), std::wstring::npos) << c.name << "\n" << Describe(result);
        } else {
            EXPECT_TRUE(Has(result, Severity::Warning, c.line, c.text)) << c.name << "\n" << Describe(result);
        }
    }
}

TEST(SetupCheck, TextsAreMeasuredAgainstTheWindowDesign)
{
    const FormDesign& design = frmMainDesign();
    EXPECT_EQ(kWindowDesign.width, design.scaleWidth);
    for (const auto& control : design.controls) {
        if (control.id == Control::img) {
            EXPECT_EQ(kWindowDesign.bannerWidth, control.rect.width);
            EXPECT_EQ(kWindowDesign.bannerHeight, control.rect.height);
        }
        if (control.kind == ControlKind::DefaultButton || control.kind == ControlKind::CancelButton) {
            EXPECT_EQ(kWindowDesign.buttonWidth, control.rect.width);
        }
    }
}

TEST(SetupCheck, ExitCodeIsOneOnlyWithErrors)
{
    EXPECT_EQ(Check(Join(kGood)).ExitCode(), 0);
    EXPECT_EQ(Check(With(6, "Setup=Install")).ExitCode(), 0);  // a warning
    EXPECT_EQ(Check("").ExitCode(), 0);                        // three missing sections
    EXPECT_TRUE(Check(With(2, "Title=" + std::string(254, 'a'))).findings.empty());
    EXPECT_EQ(Check(With(6, "Setup=\" \"")).ExitCode(), 1);
}

TEST(SetupCheck, AFileSavedAsUtf8IsToldOnce)
{
    // Read in code page 1252, "\xE2\x80\xA6" holds the control character
    // U+0080; that is a consequence, not news.
    const Result result = Check(With(2, "Title=Wait\xE2\x80\xA6"));
    EXPECT_TRUE(Has(result, Severity::Error, 2, L"[Default] looks saved as UTF-8")) << Describe(result);
    EXPECT_EQ(result.findings.size(), 1u) << Describe(result);
}

TEST(SetupCheck, TextsAreWhatTheProgramShows)
{
    struct Case {
        const char* name;
        std::string section;  // the lines of [Default]
        std::wstring prompt;
        std::wstring title;
    };
    const Case cases[] = {
        {"hex count", "PromptCount=0x2\r\nPrompt1=B", L"\r\n\r\nB", L"USB Driver"},
        {"quoted count", "PromptCount=\"2\"\r\nPrompt0=A", L"\r\nA\r\n", L"USB Driver"},
        {"empty count is the default", "PromptCount=\r\nPrompt0=A", L"\r\nA", L"USB Driver"},
        {"negative count", "PromptCount=-3\r\nPrompt0=A", L"", L"USB Driver"},
        {"key list ends at an empty name", "PromptCount=2\r\n=x\r\nPrompt0=A\r\nPrompt1=B", L"\r\n\r\n", L"USB Driver"},
        {"a line without '=' hides the key", "Title\r\nTitle=x", L"\r\n", L"USB Driver"},
        {"first key wins, any case", "TITLE=One\r\ntitle=Two", L"\r\n", L"One"},
        {"quotes keep spaces of prompt lines", "Prompt0=\"  A  \"\r\nTitle=\" T \"", L"\r\n  A  ", L"T"},
    };
    for (const auto& c : cases) {
        const Result result = Check("[Default]\r\n" + c.section + "\r\n");
        EXPECT_EQ(result.sections[0].table.strPrompt, c.prompt) << c.name;
        EXPECT_EQ(result.sections[0].table.strTitle, c.title) << c.name;
    }
}

TEST(SetupCheck, Utf16FileWithItsMarkPasses)
{
    // [804] and [404] hold the same Unicode text; each system reads it alike.
    const std::wstring text =
        L"[Default]\r\nTitle=Acme\r\nSetup=&Install\r\nCancel=&Cancel\r\n"
        L"[804]\r\nTitle=\x5B89\x88C5\r\nSetup=\x5B89\x88C5(&S)\r\nCancel=\x53D6\x6D88(&C)\r\nComplete=OK\r\nFailed="
        L"No\r\n"
        L"[404]\r\nTitle=\x5B89\x88DD\r\nSetup=\x5B89\x88DD(&S)\r\nCancel=\x53D6\x6D88(&C)\r\nComplete=OK\r\nFailed="
        L"No\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    const Result result = Check(bytes);
    EXPECT_EQ(result.Count(Severity::Error), 0) << Describe(result);
    EXPECT_EQ(result.sections[1].table.strTitle, L"\x5B89\x88C5");
    EXPECT_EQ(result.sections[2].table.strSetup, L"\x5B89\x88DD(&S)");
    for (const auto& shown : result.sections) EXPECT_TRUE(SystemReadsAlike(result, shown)) << shown.name;
}

TEST(SetupCheck, TheSystemReaderIsComparedWhereItReadsAlike)
{
    Result result = Check(Join(kGood));
    EXPECT_TRUE(SystemReadsAlike(result, result.sections[0]));   // [Default] in this system's code page
    EXPECT_FALSE(SystemReadsAlike(result, result.sections[1]));  // GBK on a 1252 system
    Result utf8 = Check("\xEF\xBB\xBF" + Join(kGood));
    EXPECT_FALSE(SystemReadsAlike(utf8, utf8.sections[0]));  // Wine reads it otherwise than Windows

    mduResoure::TextTable system = result.sections[0].table;
    CompareWithSystem(result, result.sections[0], system);
    EXPECT_TRUE(result.findings.empty()) << Describe(result);
    system.strCancel = L"&Other";
    CompareWithSystem(result, result.sections[0], system);
    EXPECT_TRUE(
        Has(result, Severity::Warning, 1,
            L"[Default] this system's profile reader shows Cancel as \"&Other\" where the checker read \"&Cancel\""))
        << Describe(result);
}

TEST(SetupCheck, ReportShowsTheTextsThenTheFindings)
{
    const std::string bytes = With(3, "PromptCount=1000") + "[x]\r\n";
    const std::wstring report = FormatReport(Check(bytes), L"Setup.Ini");
    for (const std::wstring& part : std::vector<std::wstring>{
             L"Setup.Ini: " + std::to_wstring(bytes.size()) + L" bytes, no byte-order mark",
             L"\n[Default] (line 1), as systems in every other language show it, in code page 1252:\n",
             L"  Title:    Acme\n  Prompt:   | Welcome\n            | Press Install\n            | (998 more empty "
             L"lines)\n"
             L"  Setup:    &Install   (access key I)\n",
             L"[404] (line 25), as Chinese (Taiwan) systems (language 1028) show it, in Big5 (code page 950):",
             L"\nSetup.Ini:3: warning: [Default] PromptCount is 1000 but Prompt2 to Prompt999 are missing",
             L"\nSetup.Ini:40: warning: section [x] is never read",
             std::wstring(L"\n0 errors, 2 warnings\n"),
         })
        EXPECT_NE(report.find(part), std::wstring::npos) << part << "\nin\n" << report;

    const std::wstring missing = FormatReport(Check(""), L"Setup.Ini", 1);
    EXPECT_NE(missing.find(L"[804] is missing: Chinese (PRC) systems (language 2052) show the built-in texts:\n"
                           L"  Title:    USB Driver\n"),
              std::wstring::npos);
    EXPECT_NE(missing.find(L"Setup.Ini: and 2 more findings\n0 errors, 3 warnings\n"), std::wstring::npos);
    EXPECT_EQ(missing.find(L"warning:"), missing.rfind(L"warning:"));  // one finding listed
}

TEST(SetupCheck, AnyBytesAreCheckedWithoutHarm)
{
    std::mt19937 random(12345);
    const std::string pieces[] = {"[",
                                  "]",
                                  "=",
                                  ";",
                                  "\"",
                                  "'",
                                  "\r",
                                  "\n",
                                  " ",
                                  "&",
                                  std::string(1, '\0'),
                                  "\xFF\xFE",
                                  "\xEF\xBB\xBF",
                                  "\xB0",
                                  "\x81\x7F",
                                  "Default",
                                  "804",
                                  "404",
                                  "Prompt",
                                  "Count",
                                  "9999999999",
                                  "Title",
                                  "Setup",
                                  "x"};
    const test::FakeTextWidth widths;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int count = static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i) bytes += pieces[random() % std::size(pieces)];
        const Result result = CheckSetupIni(bytes, FakeCodePages(), &widths);
        ASSERT_EQ(result.sections.size(), 3u) << round;
        FormatReport(result, L"Setup.Ini");
    }
    // A huge key is named by its start.
    const std::string key(100000, 'K');
    const Result keys = Check("[Default]\r\n" + key + "=1\r\n" + key + "=2\r\nPrompt" + key + "\r\n");
    EXPECT_EQ(keys.findings.size(), 6u) << Describe(keys);
    for (const auto& finding : keys.findings) EXPECT_LT(finding.text.size(), 300u) << Describe(keys);
    const Result huge = Check("[Default]\r\nPromptCount=999\r\nPrompt5000=x\r\nTitle=" + std::string(1 << 20, '\xB0'));
    EXPECT_TRUE(Has(huge, Severity::Error, 3, L"Prompt5000 never shows"));
}

}  // namespace
}  // namespace setup::check

namespace setup::check {
namespace {

// INF files as Windows' parser reads them, and what they need for a
// processor: each row a text, the processor, and the catalog and source
// files NeedsOf finds (or the first field of [Version] Provider).
TEST(Inf, NeedsAreReadAsWindowsReadsTheFile)
{
    const install::Processor* x64 = install::ProcessorOfMachine(0x8664);
    struct Case {
        const char* text;
        const install::Processor* processor;
        std::vector<std::wstring> expected;  // catalog, then files
    };
    const Case cases[] = {
        {"[Version]\nCatalogFile = a.cat ; comment\nCatalogFile.NTamd64=\"b \"\"x\"\".cat\"\n", x64, {L"b \"x\".cat"}},
        {"[Version]\nCatalogFile=a.cat\nCatalogFile.NTamd64=b.cat\n", nullptr, {L"a.cat"}},
        {"[version]\nCATALOGFILE.NT=%Cat%\n[Strings]\nCat=\"c.cat\"\n", x64, {L"c.cat"}},
        {"[Version]\n[SourceDisksNames]\n1=d,,,\\x86\n[SourceDisksNames.amd64]\n1 = d,,, .\\amd64\n"
         "[SourceDisksFiles]\na.sys=1\nb.dll=1,sub\n[SourceDisksFiles.amd64]\nA.SYS=1\n",
         x64, {L"", L"amd64\\A.SYS", L"amd64\\sub\\b.dll"}},
        {"[SourceDisksFiles]\n\\\na.sys=1 \\\n, \\\nsub\n", nullptr, {L"", L"sub\\a.sys"}},
        {"CatalogFile=before.cat\n[Version]\nCatalogFile=100%%.cat\n", nullptr, {L"100%.cat"}},
    };
    for (const auto& c : cases) {
        const InfFile inf(DecodeUnicode(c.text, InfEncoding::Ansi));  // ASCII, read as it stands
        const InfNeeds needs = NeedsOf(inf, c.processor);
        std::vector<std::wstring> found{needs.catalog.path};
        for (const auto& need : needs.files) found.push_back(need.path);
        EXPECT_EQ(found, c.expected) << c.text;
    }
    // UTF-16 after its mark, and UTF-8 after its, as Windows reads them.
    const std::string utf16("\xFF\xFE[\0V\0]\0\n\0k\0=\0\xAC\x20", 16), utf8 = "\xEF\xBB\xBF[V]\nk=\xE2\x82\xAC";
    for (const auto& bytes : {utf16, utf8})
        EXPECT_EQ(InfFile(DecodeUnicode(bytes, EncodingOf(bytes))).Value(L"V", L"k"), std::wstring(L"\u20AC"));
}

}  // namespace
}  // namespace setup::check
