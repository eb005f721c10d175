#include "install/Versions.h"

#include <vector>

#include "text/Ascii.h"
#include "text/Numbers.h"

namespace setup::install {
namespace {

// An INF file's text: UTF-16 little-endian after its byte order mark, else
// bytes (the names and numbers read here are ASCII in every code page).
std::wstring InfText(const std::string& bytes)
{
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    const std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (std::size_t i = start; i < bytes.size(); ++i) text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\0' || c == 0x1A; }

std::wstring Trimmed(const std::wstring& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// A line of an INF file: its key (empty for none) and its fields, with the
// quotes taken away, and a section's name for a [section] line.
struct InfLine {
    bool section = false;
    std::wstring key;
    std::vector<std::wstring> fields;
    std::wstring whole;  // the value after '=', unsplit
};

// The logical lines: comments cut off, continued lines joined.
std::vector<InfLine> InfLines(const std::wstring& text)
{
    std::vector<InfLine> lines;
    std::wstring logical;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        // Up to a ';' outside quotes.
        std::wstring physical;
        bool quoted = false;
        for (std::size_t i = at; i < end; ++i) {
            if (text[i] == L'"') quoted = !quoted;
            if (text[i] == L';' && !quoted) break;
            physical += text[i];
        }
        at = end + 1;
        physical = Trimmed(physical);
        if (!physical.empty() && physical.back() == L'\\' && at <= text.size()) {
            physical.pop_back();
            logical += physical;
            continue;
        }
        logical += physical;
        InfLine line;
        if (!logical.empty() && logical[0] == L'[') {
            line.section = true;
            line.key = Trimmed(logical.substr(1, logical.find(L']') - 1));
            lines.push_back(line);
            logical.clear();
            continue;
        }
        // key = field, field, ...; a quote opens and closes text, "" in it is
        // a quote.
        std::wstring field;
        bool hadQuotes = false;
        quoted = false;
        bool inValue = false;
        for (std::size_t i = 0; i <= logical.size(); ++i) {
            const wchar_t c = i < logical.size() ? logical[i] : L',';
            if (c == L'"') {
                if (quoted && i + 1 < logical.size() && logical[i + 1] == L'"') {
                    field += L'"';
                    ++i;
                } else {
                    quoted = !quoted;
                    hadQuotes = true;
                }
                continue;
            }
            if (!quoted && c == L'=' && !inValue) {
                line.key = Trimmed(field);
                line.whole = logical.substr(i + 1);
                field.clear();
                inValue = true;
                continue;
            }
            if (!quoted && c == L',') {
                line.fields.push_back(hadQuotes ? field : Trimmed(field));
                field.clear();
                hadQuotes = false;
                continue;
            }
            field += c;
        }
        if (!logical.empty()) lines.push_back(line);
        logical.clear();
    }
    return lines;
}

// A field's %key% replaced by its text in [Strings]; an unknown key stays.
std::wstring Substituted(const std::wstring& field, const std::vector<InfLine>& lines)
{
    std::wstring out;
    for (std::size_t at = 0; at < field.size();) {
        const std::size_t open = field.find(L'%', at);
        const std::size_t close = open == std::wstring::npos ? open : field.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            out += field.substr(at);
            break;
        }
        out += field.substr(at, open - at);
        const std::wstring key = field.substr(open + 1, close - open - 1);
        at = close + 1;
        if (key.empty()) {
            out += L'%';
            continue;
        }
        std::optional<std::wstring> value;
        bool inStrings = false;
        for (const auto& line : lines) {
            if (line.section) inStrings = EqualsIgnoringAsciiCase(line.key, L"Strings");
            else if (inStrings && !value && EqualsIgnoringAsciiCase(line.key, key) && !line.fields.empty())
                value = line.fields.size() == 1 ? line.fields[0] : Trimmed(line.whole);
        }
        out += value ? *value : L"%" + key + L"%";
    }
    return out;
}

// Up to max.. digits as a number; false when there are none or too many.
bool Number(const std::wstring& text, std::size_t& at, std::size_t maxDigits, std::uint32_t& value)
{
    const std::size_t start = at;
    value = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (at - start == maxDigits) return false;
        value = value * 10 + static_cast<std::uint32_t>(text[at] - L'0');
    }
    return at > start;
}

std::optional<std::uint32_t> ParseDate(const std::wstring& text)
{
    std::size_t at = 0;
    std::uint32_t month = 0, day = 0, year = 0;
    if (!Number(text, at, 2, month) || at >= text.size() || (text[at] != L'/' && text[at] != L'-')) return std::nullopt;
    ++at;
    if (!Number(text, at, 2, day) || at >= text.size() || (text[at] != L'/' && text[at] != L'-')) return std::nullopt;
    ++at;
    if (!Number(text, at, 4, year) || at != text.size()) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1000) return std::nullopt;
    return year * 10000 + month * 100 + day;
}

// w[.x[.y[.z]]], each part up to 65535; missing parts are 0.
std::optional<std::uint64_t> ParseVersion(const std::wstring& text)
{
    std::uint64_t version = 0;
    std::size_t at = 0;
    int parts = 0;
    for (; parts < 4; ++parts) {
        std::uint32_t part = 0;
        if (!Number(text, at, 5, part) || part > 0xFFFF) return std::nullopt;
        version = version << 16 | part;
        if (at == text.size()) break;
        if (text[at] != L'.') return std::nullopt;
        ++at;
    }
    if (at != text.size()) return std::nullopt;
    for (; parts < 3; ++parts) version <<= 16;
    return version;
}

std::wstring TwoDigits(std::uint32_t n) { return (n < 10 ? L"0" : L"") + Decimal(n); }

std::uint16_t Little16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

std::optional<DriverVersion> InfDriverVersion(const std::string& bytes)
{
    const std::vector<InfLine> lines = InfLines(InfText(bytes));
    bool inVersion = false;
    for (const auto& line : lines) {
        if (line.section) inVersion = EqualsIgnoringAsciiCase(line.key, L"Version");
        if (line.section || !inVersion || !EqualsIgnoringAsciiCase(line.key, L"DriverVer") || line.fields.empty()) continue;
        std::vector<std::wstring> fields;
        for (const auto& field : line.fields) fields.push_back(Trimmed(Substituted(field, lines)));
        // A string key may stand for both: %DriverVer% = "mm/dd/yyyy,w.x.y.z".
        if (fields.size() == 1 && fields[0].find(L',') != std::wstring::npos) {
            const std::size_t comma = fields[0].find(L',');
            fields = {Trimmed(fields[0].substr(0, comma)), Trimmed(fields[0].substr(comma + 1))};
        }
        const auto date = ParseDate(fields[0]);
        if (!date) return std::nullopt;
        DriverVersion version{*date, 0};
        if (fields.size() > 1 && !fields[1].empty()) {
            const auto numbers = ParseVersion(fields[1]);
            if (!numbers) return std::nullopt;
            version.version = *numbers;
        }
        return version;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> ImageMachine(const std::string& head)
{
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    const std::uint32_t at = Little16(head, 0x3C) | static_cast<std::uint32_t>(Little16(head, 0x3E)) << 16;
    if (at > head.size() || head.size() - at < 6 || head.compare(at, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    return Little16(head, at + 4);
}

std::wstring VersionText(std::uint64_t version)
{
    std::wstring text;
    for (int shift = 48; shift >= 0; shift -= 16)
        text += Decimal((version >> shift) & 0xFFFF) + (shift ? L"." : L"");
    return text;
}

std::wstring VersionText(const DriverVersion& version)
{
    return TwoDigits(version.date / 100 % 100) + L"/" + TwoDigits(version.date % 100) + L"/" +
           Decimal(version.date / 10000) + L", " + VersionText(version.version);
}

void CheckPackageFile(Context& c, FileFacts& facts, Patience& patience, const std::wstring& source,
                      const std::wstring& folder, const std::wstring& name, Result& result)
{
    const bool inf = HasExtension(name, L"inf"), sys = HasExtension(name, L"sys");
    if (sys) {
        const std::uint16_t kernel = facts.KernelMachine();
        std::string head;
        const std::uint32_t error = patience.Retry([&] { return facts.ReadStart(source, kImageHeadBytes, head); });
        const auto machine = error == 0 ? ImageMachine(head) : std::nullopt;
        if (kernel != 0 && machine && *machine != kernel) {
            result.failures.push_back({name, folder, kErrorMachineMismatch});
            return;
        }
    }

    // Each side's version as the user reads it, and as they compare.
    struct Side {
        std::optional<std::uint64_t> file;
        std::optional<DriverVersion> driver;
        bool Known() const { return file || driver; }
        std::wstring Text() const { return file ? VersionText(*file) : VersionText(*driver); }
    };
    const auto read = [&](const std::wstring& path) {
        Side side;
        if (inf) {
            std::string bytes;
            constexpr std::size_t kInfBytes = 16 << 20;  // more than any INF file holds
            if (patience.Retry([&] { return facts.ReadStart(path, kInfBytes, bytes); }) == 0)
                side.driver = InfDriverVersion(bytes);
        } else {
            patience.Retry([&] { return facts.FileVersion(path, side.file); });
        }
        return side;
    };
    Side installed;
    {
        const std::wstring target = JoinPath(folder, name);
        const Redirection redirection(c, folder);
        if (redirection.Error() || !c.Exists(target)) return;  // nothing to compare with
        installed = read(target);
    }
    if (!installed.Known()) return;
    const Side package = read(source);
    if (!package.Known()) return;
    const bool newer = installed.file ? *package.file < *installed.file : *package.driver < *installed.driver;
    if (newer) result.newer.push_back({name, folder, installed.Text(), package.Text()});
}

}  // namespace setup::install
