// Setup.Ini as the Windows profile reader sees it: sections of keys, each
// with the line it came from, for the checker (check/SetupCheck.h).
//
// The reader splits the file's bytes, not decoded text: each section is in
// the code page of the systems that read it, and only they can decode it.
// What makes up the structure ('[', ']', '=', ';', quotes, spaces, line
// ends) is ASCII below 0x40, which no double-byte character of GBK or Big5
// holds as its second byte, so splitting the bytes gives the same lines,
// keys and values as splitting the text each of those systems decodes. A
// UTF-16 file is turned into UTF-8 first.
//
// The rules, as measured on Wine 8's profile reader:
// - a line ends at LF, CR LF or a lone CR;
// - "[name]", after optional spaces, starts a section named by what lies
//   between '[' and the last ']', trimmed; a '[' line without ']' starts
//   nothing, and the keys below it stay in the section before it;
// - ';' after optional spaces starts a comment;
// - "key=value": key and value lose the spaces, tabs, CR, LF, VT, FF and
//   Ctrl-Z around them, then the value loses one pair of matching quotes
//   (" or ') around it, and ends at a NUL;
// - a line without '=' is a key without a value: looking it up gives the
//   default, and the key list leaves it out;
// - section and key names match without regard to ASCII case; the first
//   section and the first key of a name are the ones read; a later section
//   of the same name is never read;
// - lines before the first section belong to no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup::ini {

enum class Encoding {
    Bytes,    // no byte-order mark: each section in its readers' code page
    Utf8Bom,  // EF BB BF; lines are bytes, with the mark in line 1
    Utf16Le,  // FF FE; lines hold the text as UTF-8
    Utf16Be,  // FE FF; likewise
};

struct Entry {
    std::string key;      // trimmed
    std::string written;  // what follows '=', trimmed, quotes kept
    std::string value;    // what the reader returns: written without its quotes, up to a NUL
    int line = 0;
    bool hasEquals = false;
};

struct Section {
    std::string name;  // trimmed
    int line = 0;      // of the header
    int lastLine = 0;  // the last line before the next header, or the file's last line
    std::vector<Entry> entries;  // every key line in file order, duplicates included
};

struct File {
    Encoding encoding = Encoding::Bytes;
    std::vector<std::string> lines;  // line n is lines[n - 1], without its end
    std::vector<Section> sections;   // in file order, duplicates included
    std::vector<int> strayLines;     // keys and text before the first section
    std::vector<int> unclosedHeaders;  // lines that start with '[' and have no ']'
};

File Parse(std::string_view bytes);

bool SameName(std::string_view a, std::string_view b);
// The section the reader reads for a name (the first of that name); null
// when there is none.
const Section* FindSection(const File& file, std::string_view name);
// The key the reader finds in a section (the first of that name).
const Entry* FindEntry(const Section& section, std::string_view key);

// One sequence of UTF-8 at bytes[at]: its code point in c and its length;
// 0 when it is not valid (overlong, cut short, past U+10FFFF, or a
// surrogate unless allowSurrogates).
std::size_t NextUtf8(std::string_view bytes, std::size_t at, bool allowSurrogates, std::uint32_t& c);
// The text of UTF-8 bytes as UTF-16 code units. Lone surrogates, which a
// UTF-16 file can hold, come back as they went in; any other invalid
// sequence becomes U+FFFD.
std::wstring FromUtf8(std::string_view bytes);
// True when the bytes are valid UTF-8 and hold at least one character
// outside ASCII.
bool IsUtf8BeyondAscii(std::string_view bytes);

}  // namespace setup::ini
