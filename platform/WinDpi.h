// DPI on every Windows from 7 on: the functions of newer ones where they
// exist, the older ways where they do not.
#pragma once

#include <windows.h>

namespace setup::win {

// The window's DPI: its own on Windows 10, its monitor's on Windows 8.1,
// the system's on Windows 7.
UINT DpiForWindow(HWND hwnd);
// The DPI a new window most likely gets: the system's (its primary
// monitor's, unless that was changed since the user signed in).
UINT DpiForNewWindow();
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);
// The message font (not the legacy system font) at the given DPI.
LOGFONTW MessageFontForDpi(UINT dpi);

}  // namespace setup::win
