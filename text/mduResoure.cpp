#include "text/mduResoure.h"

#include <algorithm>
#include <vector>

#include "text/Numbers.h"

namespace setup::mduResoure {
namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The longest run of whole characters from the start of value that fits
// kMaxValueBytes in the ANSI code page. The profile reader would cut a long
// value after its 254th byte, which can split a double-byte character.
std::wstring FitValue(const TextServices& services, std::wstring value)
{
    if (services.AnsiSize(value) <= kMaxValueBytes) return value;
    std::size_t bytes = 0;
    std::size_t end = 0;
    while (end < value.size()) {
        std::size_t next = end + 1;
        if (IsHighSurrogate(value[end]) && next < value.size() && IsLowSurrogate(value[next]))
            ++next;
        bytes += services.AnsiSize(std::wstring_view(value).substr(end, next - end));
        if (bytes > kMaxValueBytes) break;
        end = next;
    }
    value.resize(end);
    return value;
}

std::wstring TrimSpaces(const std::wstring& text)
{
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

std::wstring BuildPrompt(const TextServices& services, const std::wstring& section,
                         const std::wstring& iniPath)
{
    const std::int32_t count = services.ProfileInt(section, L"PromptCount", 1, iniPath);
    const std::int32_t lines = std::clamp<std::int32_t>(count, 0, kMaxPromptLines);
    if (lines == 0) return {};

    // Only the keys that exist are read; the others are empty lines. When the
    // key list cannot be had, every line is read.
    std::vector<char> present(static_cast<std::size_t>(lines), false);
    if (const auto keys = services.ProfileKeys(section, iniPath)) {
        for (const auto& key : *keys) {
            const auto index = PromptIndex(std::wstring_view(key));
            if (index && *index < lines) present[static_cast<std::size_t>(*index)] = true;
        }
    } else {
        present.assign(present.size(), true);
    }

    std::wstring prompt;
    for (std::int32_t i = 0; i < lines; ++i) {
        prompt += L"\r\n";
        if (present[static_cast<std::size_t>(i)])
            prompt += FitValue(services, services.ProfileString(section, L"Prompt" + Decimal(static_cast<std::uint64_t>(i)),
                                                                L"", iniPath));
    }
    return prompt;
}

}  // namespace

std::wstring SectionFor(std::uint16_t langId)
{
    switch (langId) {
    case 0x0404: return L"404";
    case 0x0804: return L"804";
    default: return L"Default";
    }
}

std::wstring ReadText(const TextServices& services, const std::wstring& section,
                      const std::wstring& key, const std::wstring& def,
                      const std::wstring& iniPath)
{
    const std::wstring value = FitValue(services, services.ProfileString(section, key, def, iniPath));
    return value.empty() ? def : TrimSpaces(value);
}

TextTable LoadSetupText(const TextServices& services, const std::wstring& iniPath)
{
    const std::wstring section = SectionFor(services.SystemDefaultLangId());
    TextTable table;
    table.strTitle = ReadText(services, section, L"Title", L"USB Driver", iniPath);
    table.strSetup = ReadText(services, section, L"Setup", L"&Setup", iniPath);
    table.strCancel = ReadText(services, section, L"Cancel", L"&Cancel", iniPath);
    table.strComplete =
        ReadText(services, section, L"Complete", L"Setup complete,please restart.", iniPath);
    table.strFailed = ReadText(services, section, L"Failed", L"Setup could not copy these files:", iniPath);
    table.strNothingChanged = ReadText(services, section, L"NothingChanged", L"No file was changed.", iniPath);
    table.strRestart = ReadText(services, section, L"Restart",
                                L"Some files were in use; Windows finishes replacing them when it restarts.", iniPath);
    table.strWaiting = ReadText(services, section, L"Waiting", L"Waiting for another setup to finish...", iniPath);
    table.strNotRestored =
        ReadText(services, section, L"NotRestored",
                 L"These files could not be put back as they were; Setup puts them back when it next installs:", iniPath);
    table.strNewer =
        ReadText(services, section, L"Newer", L"These installed files are newer than the package's (installed version; package's):",
                 iniPath);
    table.strRefused = ReadText(services, section, L"Refused", L"Windows refused the driver package:", iniPath);
    table.strUnreadable = ReadText(services, section, L"Unreadable", L"Setup could not read these files:", iniPath);
    table.strPrompt = BuildPrompt(services, section, iniPath);
    return table;
}

std::wstring FitValueToLimit(const TextServices& services, const std::wstring& value)
{
    return FitValue(services, value);
}

}  // namespace setup::mduResoure
