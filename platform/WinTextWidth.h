// Texts measured by the system's own text layout, for the Setup.Ini checker:
// the message font at 96 DPI, made for the character set of the section's
// code page, selected into a memory device context.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "check/TextWidth.h"
#include "platform/WinHandles.h"

namespace setup {

class WinTextWidth final : public check::TextWidth {
public:
    WinTextWidth();
    ~WinTextWidth() override;
    WinTextWidth(const WinTextWidth&) = delete;
    WinTextWidth& operator=(const WinTextWidth&) = delete;

    // Both measure 0 when the system gave no device context or font.
    int Width(std::uint32_t codePage, std::wstring_view text) const override;
    check::TextSize Wrapped(std::uint32_t codePage, std::wstring_view text, int width) const override;

private:
    // Selects the font for the code page, made on first use; false without one.
    bool Select(std::uint32_t codePage) const;

    HDC m_dc = nullptr;
    HGDIOBJ m_oldFont = nullptr;
    mutable std::vector<std::pair<std::uint32_t, win::UniqueGdi>> m_fonts;
};

}  // namespace setup
