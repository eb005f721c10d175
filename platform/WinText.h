// The texts Windows gives: the profile (INI file) reader in the system's ANSI
// code page, and its words for error codes. Used by Setup.exe and by the
// Setup.Ini checker, which needs nothing else of the system.
#pragma once

#include "text/TextServices.h"

namespace setup {

class WinTextServices : public TextServices {
public:
    // oneReadPerSection: the profile reader reads each section of a file
    // once, and its keys are answered from that read wherever that gives
    // exactly what a read of the key would (Setup.exe, whose start it
    // shortens). Otherwise every key is read by itself (the checker, which
    // compares with the reader as it is).
    explicit WinTextServices(bool oneReadPerSection = false) : m_oneRead(oneReadPerSection) {}
    std::uint16_t SystemDefaultLangId() const override;
    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring& file) const override;
    std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& def, const std::wstring& file) const override;
    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& section,
                                                         const std::wstring& file) const override;
    std::size_t AnsiSize(std::wstring_view text) const override;

private:
    // A key's line in the section as the reader gave it whole.
    struct Line {
        std::wstring key, value;
        bool hasEquals = false;
    };
    enum class Answer { Absent, Plain, Unsure };
    // What one read of the section says of a key: not there, its value as
    // a read of the key gives it, or nothing certain (quotes, spaces,
    // duplicates, a line without '=', a section cut short).
    Answer FromSection(const std::wstring& section, const std::wstring& key, const std::wstring& file,
                       std::wstring& value) const;

    bool m_oneRead;
    mutable std::wstring m_file, m_section;  // the section read last
    mutable bool m_whole = false;            // and read whole
    mutable std::vector<Line> m_lines;
};

namespace win {

// The system's own words for an error code, their inserts (%1) as they
// are: SetupAPI's codes under their HRESULT, words of the program's own for
// those the system lacks and for its own codes; empty when there are none.
std::wstring SystemErrorText(std::uint32_t error);
// The same, or "Error " and the code where there are no words: in
// hexadecimal from 0x10000 on, as such codes are looked up.
std::wstring ErrorText(std::uint32_t error);

}  // namespace win
}  // namespace setup
