// A driver's INF file as Windows' INF parser reads it, for the package
// checker, and what it says of the processors it serves: the catalog it
// names and the source files it needs for each.
//
// The text: UTF-16 (little-endian) after a byte-order mark, UTF-8 after
// one, bytes in the system's ANSI code page otherwise. Sections in
// brackets, their names in any letter case (a section given twice is one);
// lines "key = field, field, ...", or fields alone; ";" starts a comment
// outside quotes, "\" at the end of a line joins the next one; fields lose
// the spaces around them and their quotes ("" stands for one quote);
// %key% is the value of key in [Strings], %% a percent sign.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/Processors.h"

namespace setup::check {

enum class InfEncoding { Utf16, Utf8, Ansi };
// How Windows reads the bytes of an INF file.
InfEncoding EncodingOf(std::string_view bytes);
// The text of bytes in UTF-16 or UTF-8, after their byte-order mark
// (invalid sequences become U+FFFD). Ansi bytes are the system's to decode.
std::wstring DecodeUnicode(std::string_view bytes, InfEncoding encoding);

class InfFile {
public:
    struct Line {
        std::size_t section;  // index into Sections()
        std::wstring key;     // empty for a line of fields alone
        std::vector<std::wstring> fields;
        std::size_t number;   // of the line in the file, from 1
    };
    explicit InfFile(std::wstring_view text);

    // The names of the sections, as the file first spells them, and every
    // line of them in the file's order.
    const std::vector<std::wstring>& Sections() const { return m_sections; }
    const std::vector<Line>& Lines() const { return m_lines; }
    // The index of a section; Sections().size() when there is none.
    std::size_t Section(std::wstring_view name) const;
    // The first field of the first line of key in section; nullopt when
    // there is none.
    std::optional<std::wstring> Value(std::wstring_view section, std::wstring_view key) const;

private:
    std::vector<std::wstring> m_sections;
    std::vector<Line> m_lines;
};

// What an INF file needs from its package for one processor, relative to
// the INF's folder: the catalog it names (CatalogFile.NT<decoration>, else
// CatalogFile.NT, else CatalogFile; empty when none), and each source file
// of SourceDisksFiles (its decorated section first) at the path
// SourceDisksNames gives its disk. Paths use "\". Without a processor,
// only the undecorated entries count.
struct InfNeeds {
    struct Need {
        std::wstring path;  // relative to the INF's folder; empty for no catalog
        const InfFile::Line* line = nullptr;  // that names it
        std::wstring section;                 // of that line
    };
    Need catalog;
    std::vector<Need> files;
};
InfNeeds NeedsOf(const InfFile& inf, const install::Processor* processor);

}  // namespace setup::check
