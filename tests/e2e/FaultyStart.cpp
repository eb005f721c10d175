// Setup.exe with a fault on request, for the end-to-end tests of the
// program's failure paths. The variable SETUP_FAULT, read by this test build
// only, names the fault:
//   load        memory runs out while Setup.Ini is read, before the window shows
//   install     memory runs out once Install is pressed
//   no-preload  the system DLLs are not loaded ahead, to show what that prevents
//   dpi-192     once the window shows, it is moved to a monitor of 192 DPI, as
//               Windows tells a per-monitor aware window: WM_GETDPISCALEDSIZE,
//               then WM_DPICHANGED with the rectangle it suggests
// Anything else, or nothing, runs the program as it ships.
#include <windows.h>

#include <new>
#include <string>

#include "app/Start.h"
#include "platform/WinProgram.h"
#include "platform/WinServices.h"

namespace {

std::wstring Fault()
{
    wchar_t value[64] = {};
    const DWORD n = GetEnvironmentVariableW(L"SETUP_FAULT", value, 64);
    return n > 0 && n < 64 ? value : L"";
}

class FaultyServices final : public setup::WinServices {
public:
    explicit FaultyServices(std::wstring fault) : m_fault(std::move(fault)) {}

    std::wstring ProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& def,
                               const std::wstring& file) const override
    {
        if (m_fault == L"load") throw std::bad_alloc();
        return WinServices::ProfileString(section, key, def, file);
    }
    std::optional<std::wstring> WindowsFolder() const override
    {
        if (m_fault == L"install") throw std::bad_alloc();
        return WinServices::WindowsFolder();
    }

private:
    std::wstring m_fault;
};

// What Windows does when the window moves to a monitor of another DPI.
DWORD WINAPI MoveToAnotherMonitor(void*)
{
    constexpr UINT kDpi = 192;
    HWND window = nullptr;
    for (int i = 0; i < 500 && !(window && IsWindowVisible(window)); ++i) {
        window = FindWindowW(L"UsbDriverSetupWindow", nullptr);
        Sleep(10);
    }
    if (!window) return 1;
    Sleep(200);
    RECT now{};
    GetWindowRect(window, &now);
    // Windows' own guess scales the whole window; a window may answer with
    // the size it wants.
    SIZE size{MulDiv(now.right - now.left, kDpi, 96), MulDiv(now.bottom - now.top, kDpi, 96)};
    SendMessageW(window, WM_GETDPISCALEDSIZE, kDpi, reinterpret_cast<LPARAM>(&size));
    RECT suggested{now.left, now.top, now.left + size.cx, now.top + size.cy};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(kDpi, kDpi), reinterpret_cast<LPARAM>(&suggested));
    return 0;
}

}  // namespace

int wmain()
{
    const std::wstring fault = Fault();
    setup::RestrictDllSearch();
    if (fault != L"no-preload") setup::PreloadSystemDlls();
    if (fault == L"dpi-192") CloseHandle(CreateThread(nullptr, 0, MoveToAnotherMonitor, nullptr, 0, nullptr));
    FaultyServices services(fault);
    return setup::RunSetup(services);
}
