#include "platform/WinDpi.h"

#include <shellscalingapi.h>

#include "platform/WinLate.h"

namespace setup::win {
namespace {

UINT SystemDpi()
{
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT MonitorDpi(HWND hwnd)
{
    // Windows 8.1: shcore has it; loaded only where user32 lacks
    // GetDpiForWindow.
    const auto getDpiForMonitor = Window().getDpiForMonitor;
    UINT x = 0, y = 0;
    if (getDpiForMonitor &&
        getDpiForMonitor(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), MDT_EFFECTIVE_DPI, &x, &y) == S_OK)
        return y;
    return 0;
}

}  // namespace

UINT DpiForWindow(HWND hwnd)
{
    const auto getDpiForWindow = Window().getDpiForWindow;
    UINT dpi = getDpiForWindow ? getDpiForWindow(hwnd) : 0;
    if (dpi == 0) dpi = MonitorDpi(hwnd);
    return dpi ? dpi : SystemDpi();
}

UINT DpiForNewWindow()
{
    const auto getDpiForSystem = Window().getDpiForSystem;
    const UINT dpi = getDpiForSystem ? getDpiForSystem() : 0;
    return dpi ? dpi : SystemDpi();
}

void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi)
{
    const auto adjust = Window().adjustWindowRectExForDpi;
    if (!adjust || !adjust(rect, style, FALSE, exStyle, dpi)) ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

LOGFONTW MessageFontForDpi(UINT dpi)
{
    const auto spiForDpi = Window().systemParametersInfoForDpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (spiForDpi && spiForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return metrics.lfMessageFont;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        metrics.lfMessageFont.lfHeight =
            ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        return metrics.lfMessageFont;
    }
    LOGFONTW fallback{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
    return fallback;
}

}  // namespace setup::win
