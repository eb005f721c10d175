// DPI functions that only newer Windows has, looked up at run time so the
// program still starts on Windows 7.
#pragma once

#include <windows.h>

namespace setup::win {

UINT DpiForWindow(HWND hwnd);
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);
// The message font (not the legacy system font) at the given DPI.
LOGFONTW MessageFontForDpi(UINT dpi);

}  // namespace setup::win
