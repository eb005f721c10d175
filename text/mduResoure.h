// The text table: every text the user sees, read from Setup.Ini in the
// section that matches the system's default language, with built-in English
// defaults for whatever the file does not give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace setup::mduResoure {

struct TextTable {
    std::wstring strTitle;     // window title
    std::wstring strPrompt;    // text beside the banner; every line starts with CR LF
    std::wstring strSetup;     // install button caption
    std::wstring strCancel;    // cancel button caption
    std::wstring strComplete;  // message after a successful install
    std::wstring strFailed;    // first line of the message when copies failed
    std::wstring strNothingChanged;  // last line of that message when no file changed
    std::wstring strRestart;   // added to the message when files are replaced at restart
    std::wstring strWaiting;   // in place of the prompt while another setup installs
    std::wstring strNotRestored;  // heads the old files an undo could not put back
};

// A value holds at most this many bytes in the ANSI code page, as the
// profile reader's 255-character buffer allows.
constexpr std::size_t kMaxValueBytes = 254;

// Prompt lines past this one cannot show in the label at any size; they are
// not read, which keeps a hostile PromptCount from stalling the start.
constexpr std::int32_t kMaxPromptLines = 1000;

// "404" for 1028 (Chinese, Taiwan), "804" for 2052 (Chinese, PRC),
// "Default" for every other language.
std::wstring SectionFor(std::uint16_t langId);

// Reads the whole table from the INI file at iniPath.
TextTable LoadSetupText(const TextServices& services, const std::wstring& iniPath);

// Reads one text key as the table does: cut to kMaxValueBytes on a whole
// character, def for a missing or empty value, then trimmed of spaces.
std::wstring ReadText(const TextServices& services, const std::wstring& section,
                      const std::wstring& key, const std::wstring& def,
                      const std::wstring& iniPath);

// A value as the table keeps it: the longest run of whole characters from
// its start that fits kMaxValueBytes in the ANSI code page.
std::wstring FitValueToLimit(const TextServices& services, const std::wstring& value);

}  // namespace setup::mduResoure
