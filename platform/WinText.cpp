#include "platform/WinText.h"

#include <windows.h>

#include "install/Services.h"
#include "text/Ascii.h"
#include "text/Numbers.h"

namespace setup {

std::uint16_t WinTextServices::SystemDefaultLangId() const { return ::GetSystemDefaultLangID(); }

WinTextServices::Answer WinTextServices::FromSection(const std::wstring& section, const std::wstring& key,
                                                     const std::wstring& file, std::wstring& value) const
{
    if (!m_oneRead) return Answer::Unsure;
    if (file != m_file || section != m_section) {
        // "key=value" strings, NUL-separated; a full buffer means it was cut.
        m_file = file, m_section = section, m_whole = false;
        m_lines.clear();
        for (DWORD size = 8192; size <= (1u << 20) && !m_whole; size *= 4) {
            std::wstring buffer(size, L'\0');
            const DWORD n = ::GetPrivateProfileSectionW(section.c_str(), buffer.data(), size, file.c_str());
            if (n + 2 >= size) continue;
            m_whole = true;
            for (std::size_t at = 0; at < n && buffer[at] != L'\0';) {
                const std::size_t end = buffer.find(L'\0', at);
                const std::wstring line = buffer.substr(at, end - at);
                const auto equals = line.find(L'=');
                m_lines.push_back({line.substr(0, equals), equals == std::wstring::npos ? L"" : line.substr(equals + 1),
                                   equals != std::wstring::npos});
                at = end + 1;
            }
        }
    }
    if (!m_whole) return Answer::Unsure;
    // The reader trims what surrounds keys and values and takes a pair of
    // quotes off a value; a key that is there twice, or without '=', it
    // answers in ways best left to it.
    auto blank = [](const std::wstring& s) {
        return !s.empty() && (s.front() == L' ' || s.front() == L'\t' || s.back() == L' ' || s.back() == L'\t');
    };
    const Line* found = nullptr;
    for (const auto& line : m_lines) {
        for (wchar_t c : line.key)
            if (c >= 0x80) return Answer::Unsure;  // case rules beyond ASCII are the reader's
        if (blank(line.key)) return Answer::Unsure;
        if (!EqualsIgnoringAsciiCase(line.key, key)) continue;
        if (found) return Answer::Unsure;
        found = &line;
    }
    if (!found) return Answer::Absent;
    const std::wstring& v = found->value;
    if (!found->hasEquals || blank(v) || (!v.empty() && (v.front() == L'"' || v.front() == L'\''))) return Answer::Unsure;
    value = v;
    return Answer::Plain;
}

std::int32_t WinTextServices::ProfileInt(const std::wstring& section, const std::wstring& key,
                                         std::int32_t def, const std::wstring& file) const
{
    // A plain number of up to nine digits reads as itself everywhere.
    std::wstring value;
    const Answer answer = FromSection(section, key, file, value);
    if (answer == Answer::Absent) return def;
    if (answer == Answer::Plain && !value.empty() && value.size() <= 9 &&
        value.find_first_not_of(L"0123456789") == std::wstring::npos) {
        std::int32_t number = 0;
        for (wchar_t c : value) number = number * 10 + (c - L'0');
        return number;
    }
    return static_cast<std::int32_t>(
        ::GetPrivateProfileIntW(section.c_str(), key.c_str(), def, file.c_str()));
}

std::wstring WinTextServices::ProfileString(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& def, const std::wstring& file) const
{
    std::wstring value;
    switch (FromSection(section, key, file, value)) {
    case Answer::Absent: return def;
    case Answer::Plain: return value.substr(0, value.find(L'\0'));
    case Answer::Unsure: break;
    }
    // 254 bytes never hold more than 254 characters, so this buffer always
    // holds every character the caller may keep.
    wchar_t buffer[512];
    const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer,
                                               static_cast<DWORD>(std::size(buffer)), file.c_str());
    // The reader stops a value at a NUL in the file; keep to the same.
    return std::wstring(buffer, ::wcsnlen(buffer, n));
}

std::optional<std::vector<std::wstring>> WinTextServices::ProfileKeys(const std::wstring& section,
                                                                  const std::wstring& file) const
{
    // The list is double-NUL terminated; a full buffer means it was cut.
    for (DWORD size = 4096; size <= (1u << 20); size *= 4) {
        std::wstring buffer(size, L'\0');
        const DWORD n =
            ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer.data(), size, file.c_str());
        if (n + 2 >= size) continue;
        std::vector<std::wstring> keys;
        for (std::size_t at = 0; at < n && buffer[at] != L'\0';) {
            const std::size_t end = buffer.find(L'\0', at);
            keys.emplace_back(buffer, at, end - at);
            at = end + 1;
        }
        return keys;
    }
    return std::nullopt;
}

std::size_t WinTextServices::AnsiSize(std::wstring_view text) const
{
    if (text.empty()) return 0;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                        0, nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : text.size();
}

namespace win {
namespace {

// Words for SetupAPI's errors, which the system's message table lacks, and
// for the program's own.
const wchar_t* SetupApiErrorText(std::uint32_t error)
{
    switch (error) {
    case kErrorReservedName:
        return L"Windows gives this name to the packages in its driver store; the package must name the file otherwise.";
    case kErrorTwoProcessorFolders:
        return L"The package has two folders of drivers for this processor; Setup cannot tell which one to install.";
    case kErrorNotPublished:
        return L"Windows did not publish the driver package under a name Setup can find.";
    case kErrorChangedMeanwhile:
        return L"Another program replaced this file while Setup installed; Setup left it as it is.";
    case 0xE0000000: case 0xE0000001: case 0xE0000002: case 0xE0000003:
        return L"The file is not a valid INF file.";
    case 0xE0000100: return L"The INF file is not of the kind Windows takes for a driver.";
    case 0xE0000101: return L"The INF file lacks a section that Windows needs.";
    case 0xE000022D: case 0xE000022E: return L"The driver is not for this version of Windows.";
    case 0xE000022F: return L"The driver package is not signed: its INF file names no catalog file.";
    case 0xE000023F: return L"The driver package has no signed catalog.";
    case 0xE0000240: return L"The driver package's signature is not allowed on this system.";
    case 0xE0000242: return L"The driver package's publisher is not trusted on this system.";
    case 0xE0000243: return L"The driver package's publisher is not trusted.";
    case 0xE0000247: return L"Windows could not add the driver package to the driver store.";
    default: return nullptr;
    }
}

}  // namespace

std::wstring SystemErrorText(std::uint32_t error)
{
    const auto format = [](std::uint32_t code) {
        wchar_t* text = nullptr;
        const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                             FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring message(text ? text : L"", text ? n : 0);
        if (text) ::LocalFree(text);
        while (!message.empty() && (message.back() == L' ' || message.back() == L'\r' || message.back() == L'\n'))
            message.pop_back();
        return message;
    };
    std::wstring message = format(error);
    // SetupAPI's codes have their words under their HRESULT
    // (HRESULT_FROM_SETUPAPI).
    constexpr std::uint32_t kSetupApiCode = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR;
    if (message.empty() && (error & kSetupApiCode) == kSetupApiCode)
        message = format((error & 0x0000FFFF) | (FACILITY_SETUPAPI << 16) | 0x80000000);
    if (message.empty())
        if (const wchar_t* words = SetupApiErrorText(error)) message = words;
    return message;
}

std::wstring ErrorText(std::uint32_t error)
{
    const std::wstring message = SystemErrorText(error);
    if (!message.empty()) return message;
    return L"Error " + (error >= 0x10000 ? L"0x" + Hex(error, 8, true) : Decimal(error)) + L".";
}

}  // namespace win
}  // namespace setup
