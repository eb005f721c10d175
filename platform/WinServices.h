// Services on Win32.
#pragma once

#include "platform/Platform.h"

namespace setup {

class WinServices final : public Services {
public:
    std::wstring ProgramFolder() const override;
    std::uint16_t SystemDefaultLangId() const override;
    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring& file) const override;
    std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& def, const std::wstring& file) const override;
    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& section,
                                                         const std::wstring& file) const override;
    std::size_t AnsiSize(std::wstring_view text) const override;
};

}  // namespace setup
