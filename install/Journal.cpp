#include "install/Journal.h"

#include <utility>

#include "text/Numbers.h"

namespace setup::install {
namespace {

constexpr wchar_t kHeader[] = L"~setup journal 2";
constexpr wchar_t kHeaderBeforeStartTimes[] = L"~setup journal 1";

std::optional<std::uint32_t> ParseHex32(std::wstring_view text)
{
    const auto value = ParseHex(text);
    if (!value || *value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

// Splits off the next field before a space.
std::wstring_view Field(std::wstring_view& rest)
{
    const auto space = rest.find(L' ');
    const std::wstring_view field = rest.substr(0, space);
    rest = space == std::wstring_view::npos ? std::wstring_view{} : rest.substr(space + 1);
    return field;
}

std::optional<JournalEntry> ParseEntry(std::wstring_view rest, std::size_t folders)
{
    JournalEntry entry;
    const auto folder = ParseHex(Field(rest));
    const std::wstring_view existed = Field(rest);
    const std::wstring_view id = Field(rest);
    const auto counter = ParseHex32(Field(rest));
    if (!folder || *folder >= folders || (existed != L"0" && existed != L"1") || !counter || rest.empty())
        return std::nullopt;
    if (id != L"-") {
        // volume:index, then :size:written from version 2 on
        std::uint64_t parts[4] = {};
        std::size_t count = 0;
        for (std::wstring_view left = id; count < 4; ++count) {
            const auto colon = left.find(L':');
            const auto value = ParseHex(left.substr(0, colon));
            if (!value) return std::nullopt;
            parts[count] = *value;
            if (colon == std::wstring_view::npos) break;
            left = left.substr(colon + 1);
        }
        if (count != 1 && count != 3) return std::nullopt;
        entry.copy = FileId{parts[0], parts[1], parts[2], parts[3]};
    }
    entry.folder = static_cast<std::size_t>(*folder);
    entry.existed = existed == L"1";
    entry.counter = *counter;
    entry.name = rest;
    return entry;
}

}  // namespace

std::wstring FormatJournal(const Journal& journal)
{
    std::wstring text = kHeader + std::wstring(L"\nP ") + Hex(journal.run.process) + L" " + Hex(journal.run.started) + L"\n";
    for (const auto& folder : journal.folders) text += L"D " + folder + L"\n";
    for (const auto& e : journal.entries) {
        const std::wstring id = e.copy ? Hex(e.copy->volume) + L":" + Hex(e.copy->index) + L":" + Hex(e.copy->size) +
                                             L":" + Hex(e.copy->written)
                                       : L"-";
        text += L"F " + Hex(e.folder) + (e.existed ? L" 1 " : L" 0 ") + id + L" " + Hex(e.counter) + L" " + e.name +
                L"\n";
    }
    return text + L".\n";
}

std::wstring FormatPublished(const std::wstring& publishedName) { return L"S " + publishedName + L"\n"; }

std::wstring FormatCommitted() { return L"C\n"; }

std::wstring FormatDone() { return L"X\n"; }

JournalText ParseJournal(const std::wstring& written, Journal& journal)
{
    // A power cut may leave zeros where the last bytes were to go.
    const std::wstring text = written.substr(0, written.find_last_not_of(L'\0') + 1);
    std::wstring header;
    bool startTimes = false;
    for (const auto& [known, times] : {std::pair{kHeader, true}, {kHeaderBeforeStartTimes, false}})
        if (const std::wstring line = known + std::wstring(L"\n"); text.compare(0, line.size(), line) == 0) {
            header = line;
            startTimes = times;
        }
    if (header.empty()) {
        for (const wchar_t* known : {kHeader, kHeaderBeforeStartTimes})
            if (const std::wstring line = known + std::wstring(L"\n"); line.compare(0, text.size(), text) == 0)
                return JournalText::CutShort;
        return JournalText::Foreign;
    }
    journal = Journal{};
    bool first = true;
    for (std::size_t at = header.size(); at < text.size();) {
        const auto end = text.find(L'\n', at);
        if (end == std::wstring::npos) break;  // cut short by the power: never finished
        const std::wstring_view line = std::wstring_view(text).substr(at, end - at);
        at = end + 1;
        const wchar_t kind = line.empty() ? L'\0' : line[0];
        std::wstring_view rest = line.size() > 2 && line[1] == L' ' ? line.substr(2) : std::wstring_view{};
        if (!first) {
            if (kind == L'S' && !rest.empty()) journal.published.emplace_back(rest);
            if (line == L"C") journal.committed = true;
            if (line == L"X") journal.done = true;
        } else if (line == L".") {
            first = false;
        } else if (kind == L'P' && !rest.empty()) {
            const auto process = ParseHex32(Field(rest));
            const auto started = startTimes ? ParseHex(rest) : std::optional<std::uint64_t>(0);
            if (!process || !started || (!startTimes && !rest.empty())) return JournalText::Foreign;
            journal.run = {*process, *started};
        } else if (kind == L'D' && !rest.empty()) {
            journal.folders.emplace_back(rest);
        } else if (const auto entry = kind == L'F' ? ParseEntry(rest, journal.folders.size()) : std::nullopt) {
            journal.entries.push_back(*entry);
        } else {
            return JournalText::Foreign;
        }
    }
    return first ? JournalText::CutShort : JournalText::Whole;
}

}  // namespace setup::install
