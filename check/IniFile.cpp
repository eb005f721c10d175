#include "check/IniFile.h"

#include "text/Ascii.h"

#include <cstdint>

namespace setup::ini {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

void AppendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 after its byte-order mark as UTF-8; a lone surrogate keeps its
// three bytes, an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8u | b) : (b << 8u | a);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

Entry ReadEntry(std::string_view line, int number)
{
    Entry entry;
    entry.line = number;
    const auto equals = line.find('=');
    entry.hasEquals = equals != std::string_view::npos;
    entry.key = Trim(line.substr(0, equals));
    if (!entry.hasEquals) return entry;
    const std::string_view written = Trim(line.substr(equals + 1));
    entry.written = written;
    std::string_view value = written;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    entry.value = value.substr(0, value.find('\0'));
    return entry;
}

}  // namespace

std::size_t NextUtf8(std::string_view bytes, std::size_t at, bool allowSurrogates, std::uint32_t& c)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length;
    std::uint32_t min;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, c = lead & 0x07u;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        c = c << 6 | (next & 0x3Fu);
    }
    if (c < min || c > 0x10FFFF) return 0;
    if (!allowSurrogates && c >= 0xD800 && c <= 0xDFFF) return 0;
    return length;
}

File Parse(std::string_view bytes)
{
    File file;
    std::string utf8;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        const bool bigEndian = bytes[0] == '\xFE';
        file.encoding = bigEndian ? Encoding::Utf16Be : Encoding::Utf16Le;
        utf8 = Utf16ToUtf8(bytes.substr(2), bigEndian);
        bytes = utf8;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        file.encoding = Encoding::Utf8Bom;
    }

    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find_first_of("\r\n", at);
        file.lines.emplace_back(bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) break;
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }

    Section* section = nullptr;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        const std::string_view line = Trim(file.lines[i]);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const auto close = line.rfind(']');
            if (close == std::string_view::npos) {
                file.unclosedHeaders.push_back(number);
                continue;
            }
            if (section) section->lastLine = number - 1;
            section = &file.sections.emplace_back();
            section->name = Trim(line.substr(1, close - 1));
            section->line = number;
            continue;
        }
        if (!section) {
            file.strayLines.push_back(number);
            continue;
        }
        section->entries.push_back(ReadEntry(line, number));
    }
    if (section) section->lastLine = static_cast<int>(file.lines.size());
    return file;
}

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

const Section* FindSection(const File& file, std::string_view name)
{
    for (const auto& section : file.sections)
        if (SameName(section.name, name)) return &section;
    return nullptr;
}

const Entry* FindEntry(const Section& section, std::string_view key)
{
    for (const auto& entry : section.entries)
        if (SameName(entry.key, key)) return &entry;
    return nullptr;
}

std::wstring FromUtf8(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        std::uint32_t c = 0;
        const std::size_t length = NextUtf8(bytes, at, true, c);
        if (length == 0) {
            text += L'\xFFFD';
            ++at;
            continue;
        }
        if (c >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
        at += length;
    }
    return text;
}

bool IsUtf8BeyondAscii(std::string_view bytes)
{
    bool beyond = false;
    for (std::size_t at = 0; at < bytes.size();) {
        std::uint32_t c = 0;
        const std::size_t length = NextUtf8(bytes, at, false, c);
        if (length == 0) return false;
        beyond = beyond || length > 1;
        at += length;
    }
    return beyond;
}

}  // namespace setup::ini
