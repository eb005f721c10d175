// The Setup.Ini checker: shows each section as the systems that read it
// will, and finds what would go wrong there, with line numbers.
//
// Each section is decoded in its readers' code page and run through the
// program's own LoadSetupText, so what the checker shows is what Setup.exe
// shows. Findings are errors (something the person will see broken, or a
// text of the file that never shows) or warnings (probably a mistake, but
// Setup.exe works as the file says); see FindingsOf in SetupCheck.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/CodePages.h"
#include "check/IniFile.h"
#include "check/TextWidth.h"
#include "text/mduResoure.h"

namespace setup::check {

enum class Severity { Error, Warning, Note };

struct Finding {
    Severity severity;
    int line;  // 0: the file as a whole
    std::wstring text;
};

// One of the sections Setup.exe reads, as its readers see it.
struct Shown {
    std::wstring name;       // L"Default", L"804" or L"404"
    std::uint16_t langId;    // the language of the systems that read it
    std::uint32_t codePage;  // their ANSI code page
    int line = 0;            // its header; 0 when the file has no such section
    mduResoure::TextTable table;
};

struct Result {
    ini::Encoding encoding = ini::Encoding::Bytes;
    std::size_t bytes = 0;
    std::uint32_t ansiCodePage = 0;
    std::vector<Shown> sections;    // [Default], [804], [404]
    std::vector<Finding> findings;  // in line order, the file's own first

    int Count(Severity severity) const;
    // 1 when there is an error, 0 otherwise.
    int ExitCode() const { return Count(Severity::Error) ? 1 : 0; }
};

// The window's design in twips, as frmMainDesign lays it out: its inner
// width, the banner (the prompt fills the width right of it and is as tall)
// and a button. The checker does not link the window's code.
struct WindowDesign {
    double width, bannerWidth, bannerHeight, buttonWidth;
};
extern const WindowDesign kWindowDesign;

// With widths, each section's title, captions and prompt are also measured
// against the room the window gives them.
Result CheckSetupIni(std::string_view bytes, const CodePages& codePages, const TextWidth* widths = nullptr);

// True when this system's profile reader reads the section's characters as
// the section's own readers do: the file is UTF-16 with a byte-order mark,
// or a file of bytes and the section is in this system's code page.
bool SystemReadsAlike(const Result& result, const Shown& shown);
// Adds a warning for each text that this system's profile reader shows
// otherwise than the checker read it.
void CompareWithSystem(Result& result, const Shown& shown, const mduResoure::TextTable& system);

// The report as it is printed: each section's texts, then the findings as
// "Setup.Ini:LINE: error: ...", then the count. At most maxFindings
// findings are listed.
std::wstring FormatReport(const Result& result, const std::wstring& fileName, std::size_t maxFindings = 200);

}  // namespace setup::check
