// The text table: every text the user sees, read from Setup.Ini in the
// section that matches the system's default language, with built-in English
// defaults for whatever the file does not give.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/TextServices.h"
#include "text/Ascii.h"

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
    std::wstring strNewer;     // heads the installed files newer than the package's
    std::wstring strRefused;   // heads the driver packages Windows refused
    std::wstring strUnreadable;  // heads the files that could not be read to be checked
};

// A value holds at most this many bytes in the ANSI code page, as the
// profile reader's 255-character buffer allows.
constexpr std::size_t kMaxValueBytes = 254;

// Prompt lines past this one cannot show in the label at any size; they are
// not read, which keeps a hostile PromptCount from stalling the start.
constexpr std::int32_t kMaxPromptLines = 1000;

// The index of a key named "Prompt" and a decimal number without sign or
// leading zeros, in any letter case, as the table reads them; nullopt for
// any other key. Numbers past kMaxPromptLines come back as kMaxPromptLines.
template <typename Char>
std::optional<std::int32_t> PromptIndex(std::basic_string_view<Char> key)
{
    constexpr Char prefix[] = {'P', 'r', 'o', 'm', 'p', 't'};
    if (key.size() <= 6 || !EqualsIgnoringAsciiCase(key.substr(0, 6), std::basic_string_view<Char>(prefix, 6)))
        return std::nullopt;
    const auto digits = key.substr(6);
    if (digits.size() > 1 && digits[0] == Char('0')) return std::nullopt;
    std::int32_t index = 0;
    for (Char c : digits) {
        if (c < Char('0') || c > Char('9')) return std::nullopt;
        index = std::min(index * 10 + static_cast<std::int32_t>(c - Char('0')), kMaxPromptLines);
    }
    return index;
}
template <typename Char>
std::optional<std::int32_t> PromptIndex(const std::basic_string<Char>& key)
{
    return PromptIndex(std::basic_string_view<Char>(key));
}

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
