#include "check/Inf.h"

#include <algorithm>
#include <cstdint>

#include "check/IniFile.h"
#include "install/Context.h"
#include "text/Ascii.h"

namespace setup::check {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\0' || c == 0x1A; }

std::wstring_view Trim(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The key and fields of a line's text without its comment, split at the
// "=" and the commas outside quotes.
void Split(std::wstring_view text, InfFile::Line& line)
{
    std::wstring field;
    bool quoted = false, anyQuote = false, hasKey = false;
    const auto finish = [&] {
        // Spaces around a field go; those inside its quotes stay.
        line.fields.emplace_back(anyQuote ? std::wstring_view(field) : Trim(field));
        field.clear();
        anyQuote = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quoted) {
            if (c != L'"') field += c;
            else if (i + 1 < text.size() && text[i + 1] == L'"') field += text[++i];
            else quoted = false;
        } else if (c == L'"') {
            // Spaces before a quote are no part of the field.
            if (!anyQuote) field = Trim(field);
            quoted = anyQuote = true;
        } else if (c == L',') {
            finish();
        } else if (c == L'=' && !hasKey && line.fields.empty()) {
            line.key = anyQuote ? field : std::wstring(Trim(field));
            hasKey = true;
            field.clear();
            anyQuote = false;
        } else if (!(anyQuote && IsBlank(c))) {
            field += c;
        }
    }
    finish();
}

// The end of a line's text before its comment, outside quotes.
std::size_t CommentStart(std::wstring_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"') quoted = !quoted;
        if (line[i] == L';' && !quoted) return i;
    }
    return line.size();
}

void Append(std::wstring& path, std::wstring_view part)
{
    const std::wstring relative = install::RelativePath(part);
    if (!relative.empty()) path += (path.empty() ? L"" : L"\\") + relative;
}

}  // namespace

InfEncoding EncodingOf(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return InfEncoding::Utf16;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return InfEncoding::Utf8;
    return InfEncoding::Ansi;
}

std::wstring DecodeUnicode(std::string_view bytes, InfEncoding encoding)
{
    std::wstring text;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    if (encoding == InfEncoding::Utf16) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(byte(i) | byte(i + 1) << 8);
        return text;
    }
    for (std::size_t i = encoding == InfEncoding::Utf8 ? 3 : 0; i < bytes.size();) {
        // Invalid sequences, encoded surrogates among them, are no
        // characters.
        std::uint32_t code = 0;
        const std::size_t length = ini::NextUtf8(bytes, i, false, code);
        if (length == 0) {
            text += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        if (code >= 0x10000 && sizeof(wchar_t) == 2) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return text;
}

InfFile::InfFile(std::wstring_view text)
{
    std::size_t current = 0, number = 0;
    std::wstring joined;
    std::size_t joinedFrom = 0;
    bool inSection = false;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find(L'\n', at), text.size());
        const std::wstring_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        std::wstring_view content = Trim(line.substr(0, CommentStart(line)));
        // "\" at the end joins the next line to this one.
        if (joined.empty()) joinedFrom = number;
        if (!content.empty() && content.back() == L'\\' && at <= text.size()) {
            joined.append(content.substr(0, content.size() - 1));
            continue;
        }
        if (!joined.empty()) {
            joined.append(content);
            content = joined;
        }
        if (!content.empty() && content.front() == L'[') {
            const auto close = content.find(L']');
            const std::wstring_view name = Trim(content.substr(1, std::min(close, content.size()) - 1));
            current = Section(name);
            if (current == m_sections.size()) m_sections.emplace_back(name);
            inSection = true;
        } else if (!content.empty() && inSection) {  // lines before the first section are ignored
            Line& entry = m_lines.emplace_back();
            entry.section = current;
            entry.number = joinedFrom;
            Split(content, entry);
        }
        joined.clear();
    }
    // %key% is the value of key in [Strings], once every line is known;
    // %% a percent sign, an unknown key stays as it is written.
    const std::size_t strings = Section(L"Strings");
    const auto substitute = [&](std::wstring& value) {
        for (std::size_t i = value.find(L'%'); i != std::wstring::npos; i = value.find(L'%', i)) {
            const auto end = value.find(L'%', i + 1);
            if (end == std::wstring::npos) return;
            const std::wstring_view key = std::wstring_view(value).substr(i + 1, end - i - 1);
            const std::wstring* found = nullptr;
            for (const auto& line : m_lines)
                if (!found && line.section == strings && !line.fields.empty() && EqualsIgnoringAsciiCase(line.key, key))
                    found = &line.fields[0];
            const std::wstring replacement = key.empty() ? L"%" : found ? *found : value.substr(i, end - i + 1);
            value.replace(i, end - i + 1, replacement);
            i += replacement.size();
        }
    };
    for (auto& line : m_lines) {
        if (line.section == strings) continue;
        substitute(line.key);
        for (auto& field : line.fields) substitute(field);
    }
}

std::size_t InfFile::Section(std::wstring_view name) const
{
    std::size_t i = 0;
    while (i < m_sections.size() && !EqualsIgnoringAsciiCase(m_sections[i], name)) ++i;
    return i;
}

std::optional<std::wstring> InfFile::Value(std::wstring_view section, std::wstring_view key) const
{
    const std::size_t index = Section(section);
    for (const auto& line : m_lines)
        if (line.section == index && EqualsIgnoringAsciiCase(line.key, key))
            return line.fields.empty() ? std::wstring() : line.fields[0];
    return std::nullopt;
}

InfNeeds NeedsOf(const InfFile& inf, const install::Processor* processor)
{
    InfNeeds needs;
    // An unknown processor's decoration matches no section.
    const std::wstring decoration = processor ? processor->decoration : L"?";
    const std::size_t version = inf.Section(L"Version");
    for (const std::wstring& key : {L"CatalogFile.NT" + decoration, std::wstring(L"CatalogFile.NT"), std::wstring(L"CatalogFile")})
        for (const auto& line : inf.Lines())
            if (!needs.catalog.line && line.section == version && EqualsIgnoringAsciiCase(line.key, key) &&
                !line.fields.empty() && !line.fields[0].empty())
                needs.catalog = {install::RelativePath(line.fields[0]), &line, L"Version"};
    // A file of the decorated section comes from there; the undecorated
    // one serves every processor for the rest. Disks are looked for in the
    // decorated section first, too.
    const std::wstring filesNames[] = {L"SourceDisksFiles." + decoration, L"SourceDisksFiles"};
    const std::size_t disks[] = {inf.Section(L"SourceDisksNames." + decoration), inf.Section(L"SourceDisksNames")};
    std::vector<std::wstring> seen;
    for (const std::wstring& filesName : filesNames) {
        const std::size_t section = inf.Section(filesName);
        for (const auto& line : inf.Lines()) {
            if (line.section != section || line.key.empty()) continue;
            bool known = false;
            for (const auto& name : seen) known = known || EqualsIgnoringAsciiCase(name, line.key);
            if (known) continue;
            seen.push_back(line.key);
            const std::wstring_view disk = Trim(line.fields.empty() ? std::wstring_view() : line.fields[0]);
            const InfFile::Line* found = nullptr;
            for (const std::size_t names : disks)
                for (const auto& d : inf.Lines())
                    if (!found && d.section == names && EqualsIgnoringAsciiCase(d.key, disk)) found = &d;
            std::wstring path;
            if (found && found->fields.size() > 3) Append(path, found->fields[3]);
            if (line.fields.size() > 1) Append(path, line.fields[1]);
            Append(path, line.key);
            needs.files.push_back({path, &line, inf.Sections()[line.section]});
        }
    }
    return needs;
}

}  // namespace setup::check
