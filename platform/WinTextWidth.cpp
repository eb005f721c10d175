#include "platform/WinTextWidth.h"

#include <climits>

namespace setup {

namespace {

// The system's message font at 96 DPI. (Not the window's own lookup, which
// would link the window's code into the checker.)
LOGFONTW MessageFont()
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTW fallback{};
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
        return fallback;
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    if (dpi > 0) metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, 96, dpi);
    return metrics.lfMessageFont;
}

int Length(std::wstring_view text)
{
    return text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
}

}  // namespace

WinTextWidth::WinTextWidth() : m_dc(::CreateCompatibleDC(nullptr)) {}

WinTextWidth::~WinTextWidth()
{
    if (!m_dc) return;
    if (m_oldFont) ::SelectObject(m_dc, m_oldFont);
    ::DeleteDC(m_dc);
}

bool WinTextWidth::Select(std::uint32_t codePage) const
{
    if (!m_dc) return false;
    HGDIOBJ font = nullptr;
    for (const auto& [page, made] : m_fonts)
        if (page == codePage) font = made.get();
    if (!font) {
        LOGFONTW logFont = MessageFont();
        CHARSETINFO charset{};
        if (::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(codePage)), &charset,
                                   TCI_SRCCODEPAGE))
            logFont.lfCharSet = static_cast<BYTE>(charset.ciCharset);
        win::UniqueGdi made(::CreateFontIndirectW(&logFont));
        if (!made) return false;
        font = made.get();
        m_fonts.emplace_back(codePage, std::move(made));
    }
    const HGDIOBJ old = ::SelectObject(m_dc, font);
    if (!m_oldFont) const_cast<WinTextWidth*>(this)->m_oldFont = old;
    return true;
}

int WinTextWidth::Width(std::uint32_t codePage, std::wstring_view text) const
{
    SIZE size{};
    if (text.empty() || !Select(codePage) || !::GetTextExtentPoint32W(m_dc, text.data(), Length(text), &size))
        return 0;
    return size.cx;
}

check::TextSize WinTextWidth::Wrapped(std::uint32_t codePage, std::wstring_view text, int width) const
{
    // As a label (SS_LEFT | SS_NOPREFIX) draws its text.
    RECT rect{0, 0, width, 0};
    if (text.empty() || !Select(codePage) ||
        !::DrawTextW(m_dc, text.data(), Length(text), &rect,
                     DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_LEFT))
        return {};
    return {static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top)};
}

}  // namespace setup
