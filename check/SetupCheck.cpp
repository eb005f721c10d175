#include "check/SetupCheck.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "text/Numbers.h"

namespace setup::check {

extern const std::string_view kExampleSetupIni;  // made by the build from examples/Setup.Ini

namespace {

using ini::Entry;
using ini::File;
using ini::Section;
using mduResoure::TextTable;

// The sections Setup.exe reads. Code page 0 is the system's ANSI code page.
struct ReadSection {
    const wchar_t* name;
    std::uint16_t langId;
    std::uint32_t codePage;
    const wchar_t* readers;
};
const ReadSection kSections[] = {
    {L"Default", 0x0409, 0, L"systems in every other language"},
    {L"804", 0x0804, kCodePageGbk, L"Chinese (PRC) systems (language 2052)"},
    {L"404", 0x0404, kCodePageBig5, L"Chinese (Taiwan) systems (language 1028)"},
};

// The texts of the table, in the order they are shown.
struct TextKey {
    const wchar_t* key;
    std::wstring TextTable::*field;
    const wchar_t* blank;  // what a blank value means to the person
};
const TextKey kTexts[] = {
    {L"Title", &TextTable::strTitle, L"the window has no title"},
    {L"Setup", &TextTable::strSetup, L"the install button has no caption"},
    {L"Cancel", &TextTable::strCancel, L"the cancel button has no caption"},
    {L"Complete", &TextTable::strComplete, L"the message after the install is empty"},
    {L"Failed", &TextTable::strFailed, L"the failure message starts with an empty line"},
    {L"NothingChanged", &TextTable::strNothingChanged, L"the failure message ends with an empty line"},
    {L"Restart", &TextTable::strRestart, L"the message about a restart is an empty line"},
    {L"Waiting", &TextTable::strWaiting, L"the window says nothing while it waits for another setup"},
    {L"NotRestored", &TextTable::strNotRestored, L"the files an undo could not put back have no heading"},
    {L"Newer", &TextTable::strNewer, L"the files newer than the package's have no heading"},
    {L"Refused", &TextTable::strRefused, L"the driver packages Windows refused have no heading"},
    {L"Unreadable", &TextTable::strUnreadable, L"the files Setup could not read have no heading"},
};
// Keys other than the texts above and the prompt lines.
const wchar_t* const kOtherKeys[] = {L"PromptCount"};

constexpr std::size_t kNone = std::wstring::npos;

std::wstring Ascii(std::string_view bytes)
{
    std::wstring text;
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

// The name as bytes, for matching against the file; nullopt when it holds
// characters outside ASCII, which no name of the file can match.
std::optional<std::string> Narrow(const std::wstring& name)
{
    std::string bytes;
    for (wchar_t c : name) {
        if (c >= 0x80) return std::nullopt;
        bytes += static_cast<char>(c);
    }
    return bytes;
}

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::wstring SignedDecimal(std::int64_t value)
{
    return value < 0 ? L"-" + Decimal(static_cast<std::uint64_t>(-value)) : Decimal(static_cast<std::uint64_t>(value));
}

// Bytes as "81 7F".
std::wstring HexBytes(std::string_view bytes)
{
    std::wstring text;
    for (char c : bytes) text += (text.empty() ? L"" : L" ") + Hex(static_cast<unsigned char>(c), 2, true);
    return text;
}

// Characters that would disturb the report show as <U+XXXX>.
std::wstring Escape(std::wstring_view text)
{
    std::wstring out;
    for (wchar_t c : text)
        out += c < 0x20 || (c >= 0x7F && c < 0xA0) ? L"<U+" + Hex(c, 4, true) + L">" : std::wstring(1, c);
    return out;
}

// A text for a message, shortened to its start.
std::wstring Short(std::wstring_view text)
{
    constexpr std::size_t kLongest = 40;
    return Escape(text.substr(0, kLongest)) + (text.size() > kLongest ? L"\x2026" : L"");
}

std::wstring Quote(std::wstring_view text)
{
    return L"\"" + Short(text) + L"\"";
}

std::wstring CodePageName(std::uint32_t codePage)
{
    const std::wstring number = L"code page " + Decimal(codePage);
    if (codePage == kCodePageGbk) return L"GBK (" + number + L")";
    if (codePage == kCodePageBig5) return L"Big5 (" + number + L")";
    return number;
}

using mduResoure::PromptIndex;

// Prompt followed by something number-like that the program does not read
// as a line: Prompt01, Prompt+1.
bool LooksLikePromptLine(std::string_view key)
{
    if (key.size() <= 6 || !ini::SameName(key.substr(0, 6), "Prompt")) return false;
    return key.find_first_not_of("+-0123456789", 6) == std::string_view::npos;
}

std::size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key an unknown one was probably meant to be.
std::optional<std::string> Suggestion(std::string_view key)
{
    std::vector<std::string> candidates;
    for (const auto& text : kTexts) candidates.push_back(*Narrow(text.key));
    for (const wchar_t* other : kOtherKeys) candidates.push_back(*Narrow(other));
    const auto digits = key.find_last_not_of("0123456789");
    if (digits != std::string_view::npos && digits + 1 < key.size())
        candidates.push_back("Prompt" + std::string(key.substr(digits + 1)));
    for (const auto& candidate : candidates)
        if (EditDistance(key, candidate) <= 2 && key.size() > 2) return candidate;
    return std::nullopt;
}

// GetPrivateProfileInt's reading of a value, as measured on Wine: the first
// 29 characters, blanks, a sign, a 0x, 0o or 0b prefix, digits up to the
// first that does not belong, wrapping at 32 bits.
std::int32_t ProfileNumber(std::wstring_view text)
{
    text = text.substr(0, 29);
    std::size_t i = 0;
    while (i < text.size() && text[i] <= L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    std::uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == L'0') {
        const wchar_t prefix = static_cast<wchar_t>(text[i + 1] | 0x20);
        base = prefix == L'x' ? 16 : prefix == L'o' ? 8 : prefix == L'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i], lower = static_cast<wchar_t>(c | 0x20);
        std::uint32_t digit;
        if (c >= L'0' && c <= L'9')
            digit = static_cast<std::uint32_t>(c - L'0');
        else if (lower >= L'a' && lower <= L'f')
            digit = static_cast<std::uint32_t>(lower - L'a' + 10);
        else
            break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// The profile reads of the text table, answered from the parsed file with
// every value decoded in one code page: the system of one language reading
// Setup.Ini. The file services are not needed and do nothing.
class FileServices final : public TextServices {
public:
    FileServices(const File& file, const CodePages& codePages, std::uint16_t langId, std::uint32_t codePage)
        : m_file(file), m_codePages(codePages), m_langId(langId), m_codePage(codePage)
    {
    }

    std::wstring Decode(std::string_view bytes) const
    {
        if (m_file.encoding == ini::Encoding::Utf16Le || m_file.encoding == ini::Encoding::Utf16Be)
            return ini::FromUtf8(bytes);
        return m_codePages.Decode(m_codePage, bytes);
    }

    const Entry* Find(const std::wstring& sectionName, const std::wstring& key) const
    {
        const auto name = Narrow(sectionName), keyName = Narrow(key);
        if (!name || !keyName) return nullptr;
        const Section* section = ini::FindSection(m_file, *name);
        return section ? ini::FindEntry(*section, *keyName) : nullptr;
    }

    std::uint16_t SystemDefaultLangId() const override { return m_langId; }

    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring&) const override
    {
        const Entry* entry = Find(section, key);
        if (!entry || !entry->hasEquals || entry->value.empty()) return def;
        return ProfileNumber(Decode(entry->value));
    }

    std::wstring ProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& def,
                               const std::wstring&) const override
    {
        const Entry* entry = Find(section, key);
        return entry && entry->hasEquals ? Decode(entry->value) : def;
    }

    // Keys with '=' in file order. The list ends at a key without a name,
    // as Wine's does (its list is NUL-separated, and the empty name ends it).
    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& sectionName,
                                                         const std::wstring&) const override
    {
        std::vector<std::wstring> keys;
        const auto name = Narrow(sectionName);
        const Section* section = name ? ini::FindSection(m_file, *name) : nullptr;
        if (!section) return keys;
        for (const auto& entry : section->entries) {
            if (!entry.hasEquals) continue;
            if (entry.key.empty()) break;
            keys.push_back(Decode(entry.key));
        }
        return keys;
    }

    std::size_t AnsiSize(std::wstring_view text) const override { return m_codePages.EncodedSize(m_codePage, text); }


private:
    const File& m_file;
    const CodePages& m_codePages;
    std::uint16_t m_langId;
    std::uint32_t m_codePage;
};

// The access keys of a caption: '&' marks the next character, "&&" shows
// one '&'.
struct Caption {
    std::wstring keys;
    bool doubled = false;   // has "&&"
    bool trailing = false;  // ends in a lone '&'
};

Caption ReadCaption(const std::wstring& text)
{
    Caption caption;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (i + 1 == text.size())
            caption.trailing = true;
        else if (text[i + 1] == L'&')
            caption.doubled = true;
        else
            caption.keys += text[i + 1];
        ++i;
    }
    return caption;
}

wchar_t UpperKey(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Lists numbers as "Prompt1, Prompt3 to Prompt9".
std::wstring PromptRanges(const std::vector<std::int64_t>& indexes)
{
    std::wstring text;
    for (std::size_t i = 0; i < indexes.size();) {
        std::size_t j = i;
        while (j + 1 < indexes.size() && indexes[j + 1] == indexes[j] + 1) ++j;
        if (!text.empty()) text += L", ";
        text += L"Prompt" + SignedDecimal(indexes[i]);
        if (j > i) text += (j == i + 1 ? L", Prompt" : L" to Prompt") + SignedDecimal(indexes[j]);
        i = j + 1;
    }
    return text;
}

// The room the window gives its texts at 96 DPI, in pixels, from its design.
struct Room {
    int title;    // the title bar less the icon and the minimize and close buttons
    int caption;  // a button less its edge and the focus rectangle's gap, 3 pixels a side
    int labelWidth, labelHeight;
};

Room WindowRoom()
{
    constexpr double kTwipsPerPixel = 15;
    const WindowDesign& design = kWindowDesign;
    auto pixels = [&](double twips) { return static_cast<int>(twips / kTwipsPerPixel); };
    // The title bar spans the window; the icon with its margins takes about
    // 38 pixels and the minimize and close buttons 46 each (Windows 10).
    return {pixels(design.width) - 38 - 2 * 46, pixels(design.buttonWidth) - 2 * 3,
            pixels(design.width - std::nearbyint(design.bannerWidth)), pixels(std::nearbyint(design.bannerHeight))};
}

// A caption as the button draws it: "&x" shows x, "&&" shows &.
std::wstring DrawnCaption(const std::wstring& text)
{
    std::wstring drawn;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && ++i == text.size()) break;
        drawn += text[i];
    }
    return drawn;
}

class Checker {
public:
    Checker(const File& file, const CodePages& codePages, const TextWidth* widths, Result& result)
        : m_file(file), m_codePages(codePages), m_widths(widths), m_result(result)
    {
    }

    void CheckFile(std::string_view bytes);
    void CheckSection(const ReadSection& readSection);
    void CheckOtherSections();
    void CheckExampleTexts();

private:
    void Add(Severity severity, int line, std::wstring text)
    {
        m_result.findings.push_back({severity, line, std::move(text)});
    }
    bool IsUtf16() const
    {
        return m_file.encoding == ini::Encoding::Utf16Le || m_file.encoding == ini::Encoding::Utf16Be;
    }

    // False when the section's bytes are not in its code page.
    bool CheckBytes(const ReadSection& readSection, const Section& section, const FileServices& services);
    void CheckKeys(const std::wstring& prefix, const Section& section, const FileServices& services);
    void CheckPrompt(const std::wstring& sectionName, const Section& section, const FileServices& services);
    void CheckTexts(const ReadSection& readSection, const Shown& shown, const Section& section,
                    const FileServices& services, bool bytesFit);
    void CheckCaptions(const std::wstring& prefix, const Shown& shown, const Section& section);
    void CheckCharacters(const std::wstring& prefix, int line, const std::wstring& what, const std::wstring& text);
    void CheckWidths(const std::wstring& prefix, const Shown& shown, const Section& section);

    const File& m_file;
    const CodePages& m_codePages;
    const TextWidth* m_widths;
    Result& m_result;
};

void Checker::CheckFile(std::string_view bytes)
{
    switch (m_file.encoding) {
        case ini::Encoding::Utf8Bom:
            Add(Severity::Error, 1,
                L"the file is UTF-8 with a byte-order mark: Windows reads it as bytes in the system's ANSI code "
                L"page, so the mark spoils the first line and Chinese texts turn into other characters (Wine "
                L"reads it as UTF-8, Windows does not); save it as UTF-16 LE with a byte-order mark (\"Unicode\"), "
                L"or each section in its own code page");
            break;
        case ini::Encoding::Utf16Be:
            Add(Severity::Error, 0,
                L"the file is UTF-16 big-endian: save it as UTF-16 little-endian with a byte-order mark "
                L"(\"Unicode\"), the form Windows' profile reader reads");
            break;
        case ini::Encoding::Bytes: {
            // UTF-16 without its mark: a NUL in most of every other byte.
            const std::size_t pairs = std::min<std::size_t>(bytes.size(), 512) / 2;
            std::size_t evenNuls = 0, oddNuls = 0;
            for (std::size_t i = 0; i < pairs; ++i) {
                evenNuls += bytes[2 * i] == '\0';
                oddNuls += bytes[2 * i + 1] == '\0';
            }
            if (pairs >= 2 && std::max(evenNuls, oddNuls) * 2 >= pairs) {
                Add(Severity::Error, 0,
                    L"the file looks like UTF-16 without a byte-order mark: the profile reader reads it as bytes "
                    L"and finds no sections; save it with the mark");
                return;
            }
            break;
        }
        case ini::Encoding::Utf16Le:
            break;
    }

    for (std::size_t i = 0; i < m_file.lines.size(); ++i)
        if (m_file.lines[i].find('\0') != std::string::npos)
            Add(Severity::Error, static_cast<int>(i + 1), L"a NUL byte (is this a text file?): a value ends there");
    if (!m_file.strayLines.empty()) {
        const std::size_t count = m_file.strayLines.size();
        Add(Severity::Warning, m_file.strayLines.front(),
            L"text before the first section is never read" +
                (count > 1 ? L" (" + Decimal(count) + L" lines)" : std::wstring()));
    }
    for (int line : m_file.unclosedHeaders)
        Add(Severity::Error, line, L"'[' without ']' starts no section: the keys below it stay in the section above");
}

void Checker::CheckSection(const ReadSection& readSection)
{
    const std::uint32_t codePage = readSection.codePage ? readSection.codePage : m_result.ansiCodePage;
    const FileServices services(m_file, m_codePages, readSection.langId, codePage);
    Shown shown{readSection.name, readSection.langId, codePage, 0, mduResoure::LoadSetupText(services, L"Setup.Ini")};
    const auto name = Narrow(readSection.name);
    const Section* section = ini::FindSection(m_file, *name);
    const std::wstring prefix = L"[" + shown.name + L"] ";
    if (!section) {
        Add(Severity::Warning, 0, prefix + L"is missing: " + readSection.readers + L" show the built-in English texts");
    } else {
        shown.line = section->line;
        // A UTF-8 file is told once; what its bytes turn into is no news.
        const bool bytesFit =
            IsUtf16() || (m_file.encoding == ini::Encoding::Bytes && CheckBytes(readSection, *section, services));
        CheckKeys(prefix, *section, services);
        CheckPrompt(shown.name, *section, services);
        CheckTexts(readSection, shown, *section, services, bytesFit);
        CheckCaptions(prefix, shown, *section);
        if (m_widths) CheckWidths(prefix, shown, *section);
    }
    m_result.sections.push_back(std::move(shown));
}

bool Checker::CheckBytes(const ReadSection& readSection, const Section& section, const FileServices& services)
{
    const std::wstring prefix = L"[" + std::wstring(readSection.name) + L"] ";
    const std::uint32_t codePage = readSection.codePage ? readSection.codePage : m_result.ansiCodePage;
    const Entry* firstBeyondAscii = nullptr;
    bool allUtf8 = true;
    for (const auto& entry : section.entries) {
        if (IsAscii(entry.key) && IsAscii(entry.written)) continue;
        if (!firstBeyondAscii) firstBeyondAscii = &entry;
        allUtf8 = allUtf8 && (IsAscii(entry.key) || ini::IsUtf8BeyondAscii(entry.key)) &&
                  (IsAscii(entry.written) || ini::IsUtf8BeyondAscii(entry.written));
    }
    if (!firstBeyondAscii) return true;

    const std::wstring where = readSection.codePage
                                   ? L"read it as " + CodePageName(codePage)
                                   : L"read it in their ANSI code page (here " + Decimal(codePage) + L")";
    if (allUtf8) {
        const std::string& sample =
            IsAscii(firstBeyondAscii->written) ? firstBeyondAscii->key : firstBeyondAscii->written;
        Add(Severity::Error, firstBeyondAscii->line,
            prefix + L"looks saved as UTF-8: " + readSection.readers + L" " + where + L" and show " +
                Quote(services.Decode(sample)) + L" instead of " + Quote(ini::FromUtf8(sample)) +
                (readSection.codePage ? L"; save this section in " + CodePageName(codePage)
                                      : std::wstring(L"; keep [Default] in ASCII, or save the file as UTF-16 LE with a "
                                                     L"byte-order mark")));
        return false;
    }
    // GBK and Big5 are mixed up most: a section saved in the other one is
    // told once, with what its readers see. Big5 bytes are nearly always
    // valid GBK, so a [804] saved in Big5 is known by its second bytes: a
    // quarter or more below A1, where Big5 has two in five and the common
    // GBK characters none.
    const std::uint32_t other = !readSection.codePage        ? 0
                                : codePage == kCodePageGbk  ? kCodePageBig5
                                : codePage == kCodePageBig5 ? kCodePageGbk
                                                            : 0;
    if (other) {
        std::size_t parts = 0, invalidHere = 0, invalidThere = 0, pairs = 0, lowSeconds = 0;
        for (const auto& entry : section.entries) {
            for (const std::string* part : {&entry.key, &entry.written}) {
                if (IsAscii(*part)) continue;
                ++parts;
                std::size_t bad = kNone;
                m_codePages.Decode(codePage, *part, &bad);
                invalidHere += bad != kNone;
                m_codePages.Decode(other, *part, &bad);
                invalidThere += bad != kNone;
                for (std::size_t i = 0; i + 1 < part->size(); ++i) {
                    if (static_cast<unsigned char>((*part)[i]) < 0x81) continue;
                    ++pairs;
                    lowSeconds += static_cast<unsigned char>((*part)[++i]) < 0xA1;
                }
            }
        }
        const bool looksOther = invalidThere == 0 && (invalidHere ? invalidHere * 4 >= parts
                                                                  : codePage == kCodePageGbk && pairs >= 4 &&
                                                                        lowSeconds * 4 >= pairs);
        if (looksOther) {
            const std::string& sample =
                IsAscii(firstBeyondAscii->written) ? firstBeyondAscii->key : firstBeyondAscii->written;
            Add(invalidHere ? Severity::Error : Severity::Warning, firstBeyondAscii->line,
                prefix + L"looks saved as " + CodePageName(other) + L": " + readSection.readers + L" " + where +
                    L" and show " + Quote(services.Decode(sample)) + L" instead of " +
                    Quote(m_codePages.Decode(other, sample)) + L"; save this section in " + CodePageName(codePage));
            return invalidHere == 0;
        }
    }
    bool fit = true;
    for (const auto& entry : section.entries) {
        for (const std::string* part : {&entry.key, &entry.written}) {
            std::size_t bad = kNone;
            m_codePages.Decode(codePage, *part, &bad);
            if (bad == kNone) continue;
            fit = false;
            Add(Severity::Error, entry.line,
                prefix + Short(Ascii(entry.key)) + L": bytes " + HexBytes(part->substr(bad, 2)) + L" are not valid " +
                    CodePageName(codePage));
            break;
        }
    }
    if (!readSection.codePage)
        Add(Severity::Warning, firstBeyondAscii->line,
            prefix + L"has characters outside ASCII: systems whose ANSI code page is not " + Decimal(codePage) +
                L" show other characters; keep [Default] in ASCII, or save the file as UTF-16 LE with a "
                L"byte-order mark");
    return fit;
}

void Checker::CheckKeys(const std::wstring& prefix, const Section& section, const FileServices& services)
{
    for (const auto& entry : section.entries) {
        const std::wstring key = Short(services.Decode(entry.key));
        if (!entry.hasEquals) {
            Add(Severity::Warning, entry.line,
                prefix + Quote(services.Decode(entry.key)) + L" has no '=': it is not a key and is never read");
            continue;
        }
        if (entry.key.empty()) {
            Add(Severity::Error, entry.line,
                prefix +
                    L"a value without a key name: Wine's profile reader ends the section's key list "
                    L"there, so the prompt lines below it show empty; remove the line");
            continue;
        }
        const Entry* first = ini::FindEntry(section, entry.key);
        if (first != &entry) {
            Add(Severity::Warning, entry.line,
                prefix + key + L" again: only the first one (line " + Decimal(static_cast<std::uint64_t>(first->line)) +
                    L") is read");
            continue;
        }
        bool known = PromptIndex(entry.key).has_value();
        for (const auto& text : kTexts) known = known || ini::SameName(entry.key, *Narrow(text.key));
        for (const wchar_t* other : kOtherKeys) known = known || ini::SameName(entry.key, *Narrow(other));
        if (!known) {
            if (LooksLikePromptLine(entry.key)) {
                Add(Severity::Warning, entry.line,
                    prefix + key +
                        L" is never read: prompt lines are Prompt0, Prompt1, ... without signs or "
                        L"leading zeros");
            } else {
                const auto suggestion = Suggestion(entry.key);
                Add(Severity::Warning, entry.line,
                    prefix + L"unknown key \"" + key + L"\" is never read" +
                        (suggestion ? L" (did you mean " + Ascii(*suggestion) + L"?)" : std::wstring()));
            }
            continue;
        }
        const std::string& written = entry.written;
        if (!written.empty() && (written.front() == '"' || written.front() == '\'') &&
            (written.size() < 2 || written.back() != written.front()))
            Add(Severity::Warning, entry.line,
                prefix + key + L" starts with a quote that does not end it: the quote shows");
    }
}

void Checker::CheckPrompt(const std::wstring& sectionName, const Section& section, const FileServices& services)
{
    const std::wstring prefix = L"[" + sectionName + L"] ";
    const Entry* countEntry = ini::FindEntry(section, "PromptCount");
    const std::int32_t read = services.ProfileInt(sectionName, L"PromptCount", 1, L"");
    const std::int64_t lines = std::clamp<std::int64_t>(read, 0, mduResoure::kMaxPromptLines);
    int countLine = section.line;
    std::wstring countText = L"without PromptCount only Prompt0 shows";
    if (countEntry && countEntry->hasEquals) {
        countLine = countEntry->line;
        const std::wstring value = services.Decode(countEntry->value);
        const std::wstring written = L"PromptCount=" + Short(value);
        countText = written + L" (line " + Decimal(static_cast<std::uint64_t>(countLine)) + L")" +
                    (lines == 0   ? std::wstring(L" shows no prompt")
                     : lines == 1 ? std::wstring(L" shows only Prompt0")
                                  : L" shows Prompt0 to Prompt" + SignedDecimal(lines - 1));
        const bool plain = !value.empty() && value.find_first_not_of(L"0123456789") == std::wstring::npos;
        if (!plain)
            Add(Severity::Warning, countLine,
                prefix + written + L" reads as " + SignedDecimal(read) + (lines == 0 ? L": no prompt shows" : L""));
        if (read > mduResoure::kMaxPromptLines)
            Add(Severity::Warning, countLine,
                prefix + written + L": only the first " + Decimal(mduResoure::kMaxPromptLines) + L" lines are read");
    }

    // Lines that exist as the program finds them: by the key list.
    std::vector<bool> present(static_cast<std::size_t>(lines), false);
    const auto keys = services.ProfileKeys(sectionName, L"");
    for (const auto& key : *keys) {
        const auto name = Narrow(key);
        const auto index = name ? PromptIndex(*name) : std::nullopt;
        if (index && *index < lines) present[static_cast<std::size_t>(*index)] = true;
    }
    for (const auto& entry : section.entries) {
        const auto index = PromptIndex(entry.key);
        if (!index || *index < lines || !entry.hasEquals || ini::FindEntry(section, entry.key) != &entry) continue;
        Add(Severity::Error, entry.line, prefix + Short(services.Decode(entry.key)) + L" never shows: " + countText);
    }
    std::vector<std::int64_t> missing;
    for (std::size_t i = 0; i < present.size(); ++i)
        if (!present[i]) missing.push_back(static_cast<std::int64_t>(i));
    if (!countEntry && missing.size() == 1 && lines == 1) {
        Add(Severity::Warning, section.line, prefix + L"has no prompt: the window shows no text beside the banner");
    } else if (!missing.empty()) {
        Add(Severity::Warning, countLine,
            prefix + L"PromptCount is " + SignedDecimal(lines) + L" but " + PromptRanges(missing) +
                (missing.size() == 1 ? L" is" : L" are") + L" missing: empty lines show in their place");
    }
}

void Checker::CheckTexts(const ReadSection& readSection, const Shown& shown, const Section& section,
                         const FileServices& services, bool bytesFit)
{
    const std::wstring prefix = L"[" + shown.name + L"] ";
    const File empty;
    const FileServices none(empty, m_codePages, readSection.langId, shown.codePage);
    const TextTable builtIn = mduResoure::LoadSetupText(none, L"Setup.Ini");

    // Length and characters of every text and prompt line that is read.
    for (const auto& entry : section.entries) {
        if (!entry.hasEquals || entry.key.empty() || ini::FindEntry(section, entry.key) != &entry) continue;
        bool isText = PromptIndex(entry.key).has_value();
        for (const auto& text : kTexts) isText = isText || ini::SameName(entry.key, *Narrow(text.key));
        if (!isText) continue;
        const std::wstring key = Short(services.Decode(entry.key));
        const std::wstring value = services.Decode(entry.value);
        if (bytesFit) CheckCharacters(prefix, entry.line, key, value);
        const std::size_t size = services.AnsiSize(value);
        if (size <= mduResoure::kMaxValueBytes) continue;
        const std::wstring kept = mduResoure::FitValueToLimit(services, value);
        const std::wstring tail = kept.substr(kept.size() - std::min<std::size_t>(kept.size(), 12));
        Add(Severity::Error, entry.line,
            prefix + key + L" is " + Decimal(size) + L" bytes in " + CodePageName(shown.codePage) + L", over the " +
                Decimal(mduResoure::kMaxValueBytes) + L" a value holds: Setup.exe cuts it after " +
                Decimal(kept.size()) + L" characters, at \"\x2026" + Escape(tail) + L"\"");
    }

    // Texts left to the built-in English ones matter in the Chinese
    // sections; the missing ones are told together.
    std::wstring missing;
    for (const auto& text : kTexts) {
        const Entry* entry = ini::FindEntry(section, *Narrow(text.key));
        const bool given = entry && entry->hasEquals && !entry->value.empty();
        if (given && (shown.table.*text.field).empty()) {
            Add(text.field == &TextTable::strSetup || text.field == &TextTable::strCancel ? Severity::Error
                                                                                          : Severity::Warning,
                entry->line,
                prefix + text.key + L"=" + Ascii(entry->written.substr(0, 20)) + L" is only spaces: " + text.blank +
                    L" (the quotes are removed before the spaces are trimmed)");
        } else if (!given && readSection.codePage && entry) {
            Add(Severity::Warning, entry->line,
                prefix + text.key + L" is empty: " + readSection.readers + L" see the built-in English " +
                    Quote(builtIn.*text.field));
        } else if (!given && readSection.codePage) {
            missing += (missing.empty() ? L"" : L", ") + std::wstring(text.key);
        }
    }
    if (!missing.empty())
        Add(Severity::Warning, section.line,
            prefix + L"has no " + missing + L": " + readSection.readers + L" see the built-in English texts");
}

void Checker::CheckCharacters(const std::wstring& prefix, int line, const std::wstring& what, const std::wstring& text)
{
    for (wchar_t c : text) {
        const bool control = (c < 0x20 && c != L'\t') || (c >= 0x7F && c < 0xA0);
        const bool userDefined = c >= 0xE000 && c <= 0xF8FF;
        if (!control && !userDefined) continue;
        std::wstring code = Escape(std::wstring(1, c));
        if (userDefined) {
            code = L"<U+" + Hex(c, 4, true) + L">";
        }
        Add(Severity::Warning, line,
            prefix + what + L" holds " + code +
                (userDefined ? L", a user-defined character: most systems show it as a box"
                             : L", a control character, which does not show"));
        return;
    }
}

void Checker::CheckCaptions(const std::wstring& prefix, const Shown& shown, const Section& section)
{
    struct Button {
        const wchar_t* key;
        const std::wstring& text;
        Caption caption;
        int line;
    };
    auto make = [&](const wchar_t* key, const std::wstring& text) {
        const Entry* entry = ini::FindEntry(section, *Narrow(key));
        return Button{key, text, ReadCaption(text), entry ? entry->line : section.line};
    };
    const Button buttons[] = {make(L"Setup", shown.table.strSetup), make(L"Cancel", shown.table.strCancel)};
    for (const auto& button : buttons) {
        if (button.text.empty()) continue;
        const std::wstring named = prefix + button.key + L" " + Quote(button.text);
        const Caption& caption = button.caption;
        if (caption.keys.empty() && !caption.trailing) {
            if (caption.doubled) {
                Add(Severity::Warning, button.line, named + L" has only &&, which shows one &: no access key");
            } else {
                const auto letter = std::find_if(button.text.begin(), button.text.end(), [](wchar_t c) {
                    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
                });
                std::wstring example;
                if (letter != button.text.end()) {
                    example = button.text;
                    example.insert(static_cast<std::size_t>(letter - button.text.begin()), 1, L'&');
                    example = L", as in " + Quote(example);
                }
                Add(Severity::Warning, button.line,
                    named + L" has no access key: put & before one of its letters" + example);
            }
        }
        if (caption.trailing)
            Add(Severity::Warning, button.line, named + L" ends in a lone &, which marks nothing (&& shows an &)");
        if (caption.keys.size() > 1)
            Add(Severity::Warning, button.line, named + L" has more than one access key: only one works");
        if (!caption.keys.empty() && caption.keys[0] == L' ')
            Add(Severity::Warning, button.line, named + L" has & before a space, which makes the space its access key");
    }
    const Caption& setupKeys = buttons[0].caption;
    const Caption& cancelKeys = buttons[1].caption;
    if (!setupKeys.keys.empty() && !cancelKeys.keys.empty() &&
        UpperKey(setupKeys.keys[0]) == UpperKey(cancelKeys.keys[0]))
        Add(Severity::Error, std::max(buttons[0].line, buttons[1].line),
            prefix + L"Setup " + Quote(buttons[0].text) + L" and Cancel " + Quote(buttons[1].text) +
                L" have the same access key " + std::wstring(1, UpperKey(setupKeys.keys[0])) +
                L": it moves the focus between them instead of pressing one");
}

void Checker::CheckWidths(const std::wstring& prefix, const Shown& shown, const Section& section)
{
    const Room room = WindowRoom();
    const std::wstring font = L" pixels wide in the system's message font at 96 DPI";
    auto lineOf = [&](const std::string& key) {
        const Entry* entry = ini::FindEntry(section, key);
        return entry && entry->hasEquals ? entry->line : section.line;
    };
    const int title = m_widths->Width(shown.codePage, shown.table.strTitle);
    if (title > room.title)
        Add(Severity::Warning, lineOf("Title"),
            prefix + L"Title is " + Decimal(static_cast<std::uint64_t>(title)) + font +
                L"; the title bar has room for about " + Decimal(static_cast<std::uint64_t>(room.title)) +
                L", so its end is cut");
    const std::pair<const char*, const std::wstring*> buttons[] = {{"Setup", &shown.table.strSetup},
                                                                   {"Cancel", &shown.table.strCancel}};
    for (const auto& [key, text] : buttons) {
        const int width = m_widths->Width(shown.codePage, DrawnCaption(*text));
        if (width > room.caption)
            Add(Severity::Warning, lineOf(key),
                prefix + Ascii(key) + L" " + Quote(*text) + L" is " + Decimal(static_cast<std::uint64_t>(width)) +
                    font + L"; the button has room for " + Decimal(static_cast<std::uint64_t>(room.caption)) +
                    L", so both ends of the caption are cut");
    }

    // The prompt: each line follows its CR LF and ends at the next one.
    const std::wstring& prompt = shown.table.strPrompt;
    std::vector<std::size_t> starts, ends;
    for (std::size_t at = prompt.find(L"\r\n"); at != kNone;) {
        const std::size_t next = prompt.find(L"\r\n", at + 2);
        starts.push_back(at + 2);
        ends.push_back(next == kNone ? prompt.size() : next);
        at = next;
    }
    const auto key = [](std::size_t k) { return "Prompt" + *Narrow(Decimal(k)); };
    for (std::size_t k = 0; k < ends.size(); ++k) {
        const TextSize size = m_widths->Wrapped(shown.codePage,
                                                std::wstring_view(prompt).substr(starts[k], ends[k] - starts[k]),
                                                room.labelWidth);
        if (size.width > room.labelWidth)
            Add(Severity::Warning, lineOf(key(k)),
                prefix + Ascii(key(k)) + L" has a word " + Decimal(static_cast<std::uint64_t>(size.width)) + font +
                    L"; the prompt is " + Decimal(static_cast<std::uint64_t>(room.labelWidth)) +
                    L" wide, so the word's end is cut");
    }
    // The Waiting text takes the prompt's place while another install runs.
    const TextSize waiting = m_widths->Wrapped(shown.codePage, shown.table.strWaiting, room.labelWidth);
    if (waiting.width > room.labelWidth || waiting.height > room.labelHeight)
        Add(Severity::Warning, lineOf("Waiting"),
            prefix + L"Waiting, wrapped to the prompt's width of " + Decimal(static_cast<std::uint64_t>(room.labelWidth)) +
                L" pixels in the system's message font at 96 DPI, is " +
                Decimal(static_cast<std::uint64_t>(waiting.width)) + L" x " +
                Decimal(static_cast<std::uint64_t>(waiting.height)) + L" pixels: the prompt's place is " +
                Decimal(static_cast<std::uint64_t>(room.labelWidth)) + L" x " +
                Decimal(static_cast<std::uint64_t>(room.labelHeight)) + L", so its end is cut");
    const auto height = [&](std::size_t k) {
        return m_widths->Wrapped(shown.codePage, std::wstring_view(prompt).substr(0, ends[k]), room.labelWidth).height;
    };
    if (ends.empty() || height(ends.size() - 1) <= room.labelHeight) return;
    // The first line that does not fit: the height only grows line by line.
    std::size_t low = 0, high = ends.size() - 1;
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (height(middle) > room.labelHeight)
            high = middle;
        else
            low = middle + 1;
    }
    Add(Severity::Warning, lineOf(key(low)),
        prefix + L"the prompt is cut from " + Ascii(key(low)) + L" on: wrapped to the label's width of " +
            Decimal(static_cast<std::uint64_t>(room.labelWidth)) +
            L" pixels in the system's message font at 96 DPI, the prompt up to there is " +
            Decimal(static_cast<std::uint64_t>(height(low))) + L" pixels high, and the label " +
            Decimal(static_cast<std::uint64_t>(room.labelHeight)));
}

// A Chinese section that still holds every text of the example package's,
// while [Default] is the vendor's own, shows those systems Acme's names.
void Checker::CheckExampleTexts()
{
    const File example = ini::Parse(kExampleSetupIni);
    const auto holds = [](const Section& mine, const Section& theirs) {
        for (const auto& entry : theirs.entries) {
            const Entry* own = ini::FindEntry(mine, entry.key);
            if (entry.hasEquals && (!own || own->value != entry.value)) return false;
        }
        return true;
    };
    const Section* own = ini::FindSection(m_file, "Default");
    const Section* theirs = ini::FindSection(example, "Default");
    if (!own || !theirs || holds(*own, *theirs)) return;
    for (const auto& readSection : kSections) {
        const std::string name = *Narrow(readSection.name);
        const Section* section = ini::FindSection(m_file, name);
        const Section* exampleSection = ini::FindSection(example, name);
        if (name != "Default" && section && exampleSection && holds(*section, *exampleSection))
            Add(Severity::Warning, section->line,
                L"[" + std::wstring(readSection.name) + L"] still holds the example package's texts, while [Default] is "
                L"your own: " + readSection.readers + L" see Acme's names");
    }
}

void Checker::CheckOtherSections()
{
    for (const auto& section : m_file.sections) {
        const wchar_t* known = nullptr;
        for (const auto& readSection : kSections)
            if (ini::SameName(section.name, *Narrow(readSection.name))) known = readSection.name;
        const std::wstring name = L"[" + Short(Ascii(section.name)) + L"]";
        if (!known) {
            Add(Severity::Warning, section.line,
                L"section " + name + L" is never read: Setup.exe reads [404], [804] and [Default]");
            continue;
        }
        const Section* first = ini::FindSection(m_file, section.name);
        if (first == &section || section.entries.empty()) continue;
        Add(Severity::Error, section.line,
            L"a second " + name + L": only the first one (line " + Decimal(static_cast<std::uint64_t>(first->line)) +
                L") is read, so the " + Decimal(section.entries.size()) + L" key lines below never show");
    }
}

}  // namespace

const WindowDesign kWindowDesign{7950, 2505, 4320, 1095};

int Result::Count(Severity severity) const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [&](const Finding& finding) { return finding.severity == severity; }));
}

Result CheckSetupIni(std::string_view bytes, const CodePages& codePages, const TextWidth* widths)
{
    const File file = ini::Parse(bytes);
    Result result;
    result.encoding = file.encoding;
    result.bytes = bytes.size();
    result.ansiCodePage = codePages.AnsiCodePage();
    Checker checker(file, codePages, widths, result);
    checker.CheckFile(bytes);
    for (const auto& readSection : kSections) checker.CheckSection(readSection);
    checker.CheckOtherSections();
    checker.CheckExampleTexts();
    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return result;
}

bool SystemReadsAlike(const Result& result, const Shown& shown)
{
    return result.encoding == ini::Encoding::Utf16Le ||
           (result.encoding == ini::Encoding::Bytes && shown.codePage == result.ansiCodePage);
}

void CompareWithSystem(Result& result, const Shown& shown, const TextTable& system)
{
    std::vector<std::pair<const wchar_t*, std::wstring TextTable::*>> fields = {{L"the prompt", &TextTable::strPrompt}};
    for (const auto& text : kTexts) fields.emplace_back(text.key, text.field);
    for (const auto& [name, field] : fields) {
        if (shown.table.*field == system.*field) continue;
        result.findings.push_back({Severity::Warning, shown.line,
                                   L"[" + shown.name + L"] this system's profile reader shows " + name + L" as " +
                                       Quote(system.*field) + L" where the checker read " + Quote(shown.table.*field)});
    }
    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

std::wstring FormatReport(const Result& result, const std::wstring& fileName, std::size_t maxFindings)
{
    std::wstring out = fileName + L": " + Decimal(result.bytes) + L" bytes, ";
    switch (result.encoding) {
        case ini::Encoding::Bytes:
            out += L"no byte-order mark: each section is read in its readers' code page";
            break;
        case ini::Encoding::Utf8Bom:
            out += L"UTF-8 with a byte-order mark, read as bytes in each section's code page";
            break;
        case ini::Encoding::Utf16Le:
            out += L"UTF-16 LE with a byte-order mark: every system reads the same characters";
            break;
        case ini::Encoding::Utf16Be:
            out += L"UTF-16 big-endian with a byte-order mark";
            break;
    }
    out += L"\nThis system's ANSI code page: " + Decimal(result.ansiCodePage) + L"\n";

    for (std::size_t s = 0; s < result.sections.size(); ++s) {
        const Shown& shown = result.sections[s];
        const std::wstring readers = kSections[s].readers;
        out += L"\n[" + shown.name + L"]";
        if (shown.line)
            out += L" (line " + Decimal(static_cast<std::uint64_t>(shown.line)) + L"), as " + readers +
                   L" show it, in " + CodePageName(shown.codePage) + L":\n";
        else
            out += L" is missing: " + readers + L" show the built-in texts:\n";
        const TextTable& table = shown.table;
        auto row = [&](const wchar_t* label, const std::wstring& text) {
            std::wstring padded = std::wstring(L"  ") + label + L":";
            padded.resize(std::max<std::size_t>(padded.size() + 1, 12), L' ');
            out += padded + Escape(text) + L"\n";
        };
        auto button = [&](const wchar_t* label, const std::wstring& text) {
            const Caption caption = ReadCaption(text);
            row(label,
                text + (caption.keys.empty() ? L"   (no access key)"
                                             : L"   (access key " + std::wstring(1, UpperKey(caption.keys[0])) + L")"));
        };
        row(L"Title", table.strTitle);
        // The prompt: each line after its CR LF; a long run of empty lines at
        // the end is counted, not shown.
        std::vector<std::wstring> lines;
        for (std::size_t at = 0; at < table.strPrompt.size();) {
            const std::size_t next = table.strPrompt.find(L"\r\n", at + 2);
            lines.push_back(
                table.strPrompt.substr(at + 2, next == std::wstring::npos ? std::wstring::npos : next - at - 2));
            at = next == std::wstring::npos ? table.strPrompt.size() : next;
        }
        std::size_t shownLines = lines.size();
        while (shownLines > 0 && lines[shownLines - 1].empty()) --shownLines;
        if (lines.size() - shownLines <= 3) shownLines = lines.size();
        if (lines.empty()) out += L"  Prompt:   (none)\n";
        for (std::size_t i = 0; i < shownLines; ++i)
            out += (i == 0 ? L"  Prompt:   |" : L"            |") + (lines[i].empty() ? L"" : L" " + Escape(lines[i])) +
                   L"\n";
        if (shownLines < lines.size())
            out += L"            | (" + Decimal(lines.size() - shownLines) + L" more empty lines)\n";
        button(L"Setup", table.strSetup);
        button(L"Cancel", table.strCancel);
        for (const auto& text : kTexts)
            if (text.field != &TextTable::strTitle && text.field != &TextTable::strSetup &&
                text.field != &TextTable::strCancel)
                row(text.key, table.*text.field);
    }

    out += L"\n";
    std::size_t listed = 0;
    for (const auto& finding : result.findings) {
        if (listed++ == maxFindings) {
            out += fileName + L": and " + Decimal(result.findings.size() - maxFindings) + L" more findings\n";
            break;
        }
        out += fileName + (finding.line ? L":" + Decimal(static_cast<std::uint64_t>(finding.line)) : L"") +
               (finding.severity == Severity::Error ? L": error: " : L": warning: ") + finding.text + L"\n";
    }
    const int errors = result.Count(Severity::Error), warnings = result.Count(Severity::Warning);
    out += Decimal(static_cast<std::uint64_t>(errors)) + (errors == 1 ? L" error, " : L" errors, ") +
           Decimal(static_cast<std::uint64_t>(warnings)) + (warnings == 1 ? L" warning\n" : L" warnings\n");
    return out;
}

}  // namespace setup::check
