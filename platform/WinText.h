// The texts Windows gives: the profile (INI file) reader in the system's ANSI
// code page, and its words for error codes. Used by Setup.exe and by the
// Setup.Ini checker, which needs nothing else of the system.
#pragma once

#include "platform/Platform.h"

namespace setup {

class WinTextServices : public TextServices {
public:
    std::uint16_t SystemDefaultLangId() const override;
    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring& file) const override;
    std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& def, const std::wstring& file) const override;
    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& section,
                                                         const std::wstring& file) const override;
    std::size_t AnsiSize(std::wstring_view text) const override;
};

namespace win {

// The system's own words for an error code; words of the program's own for
// SetupAPI's codes, which the system's message table lacks.
std::wstring ErrorText(std::uint32_t error);

}  // namespace win
}  // namespace setup
