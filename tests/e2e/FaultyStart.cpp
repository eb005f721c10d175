// Setup.exe with a fault on request, for the end-to-end tests of the
// program's failure paths. The variable SETUP_FAULT, read by this test build
// only, names the fault:
//   load        memory runs out while Setup.Ini is read, before the window shows
//   install     memory runs out once Install is pressed
//   no-preload  the system DLLs are not loaded ahead, to show what that prevents
//   no-default-dll-directories
//               the program acts as on Windows 7 without the update that lets
//               it restrict the DLL search to System32
//   dpi-192     once the window shows, it is moved to a monitor of 192 DPI, as
//               Windows tells a per-monitor aware window: WM_GETDPISCALEDSIZE,
//               then WM_DPICHANGED with the rectangle it suggests
//   kill-after-set-aside
//               the process ends, as if killed, right after the install
//               renamed an old file in use away (.old) and before the new
//               one took its name
//   menu-probe  whenever the close item of the window's system menu (the close
//               box and Alt+F4) turns on or off, adds "close: on" or
//               "close: off" as a line to menu-probe.log in the program folder
//   wow64-probe each time the install turns the WOW64 folder redirection off
//               or back on, it reads System32\e2e-wow64-probe.txt on that
//               thread and adds "off: " or "on: " and what it read as a line
//               to wow64-probe.log in the program folder
// Anything else, or nothing, runs the program as it ships.
#include <windows.h>

#include <new>
#include <string>

#include "app/Start.h"
#include "platform/WinApi.h"
#include "platform/WinFileFacts.h"
#include "platform/WinProgram.h"
#include "platform/WinFileSystem.h"
#include "platform/WinSystem.h"
#include "platform/WinText.h"

namespace {

std::wstring Fault()
{
    wchar_t value[64] = {};
    const DWORD n = GetEnvironmentVariableW(L"SETUP_FAULT", value, 64);
    return n > 0 && n < 64 ? value : L"";
}

const std::wstring g_fault = Fault();

class FaultyTexts final : public setup::WinTextServices {
public:
    FaultyTexts() : WinTextServices(true) {}
    std::wstring ProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& def,
                               const std::wstring& file) const override
    {
        if (g_fault == L"load") throw std::bad_alloc();
        return WinTextServices::ProfileString(section, key, def, file);
    }
};

class FaultySystem final : public setup::WinSystem {
public:
    std::optional<std::wstring> WindowsFolder() const override
    {
        if (g_fault == L"install") throw std::bad_alloc();
        return WinSystem::WindowsFolder();
    }
};

class FaultyFiles final : public setup::WinFileSystem {
public:
    std::uint32_t RenameFile(const std::wstring& from, const std::wstring& to) override
    {
        const std::uint32_t error = WinFileSystem::RenameFile(from, to);
        if (error == 0 && g_fault == L"kill-after-set-aside" && to.size() > 4 && to.compare(to.size() - 4, 4, L".old") == 0)
            TerminateProcess(GetCurrentProcess(), 99);
        return error;
    }
};

class FaultyRedirection final : public setup::WinFolderRedirection {
public:
    explicit FaultyRedirection(const setup::System& system) : m_system(system) {}

    std::uint32_t DisableFolderRedirection(void*& saved) override
    {
        const std::uint32_t error = WinFolderRedirection::DisableFolderRedirection(saved);
        Probe("off: ");
        return error;
    }
    void RestoreFolderRedirection(void* saved) override
    {
        WinFolderRedirection::RestoreFolderRedirection(saved);
        Probe("on: ");
    }

private:
    // What a System32 path reaches now, on this thread.
    void Probe(const char* state) const
    {
        if (g_fault != L"wow64-probe") return;
        wchar_t windows[MAX_PATH];
        const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        std::string line = state;
        const HANDLE probe = CreateFileW((std::wstring(windows, n) + L"\\System32\\e2e-wow64-probe.txt").c_str(),
                                         GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char text[64] = {};
        DWORD got = 0;
        if (probe != INVALID_HANDLE_VALUE) {
            ReadFile(probe, text, sizeof text - 1, &got, nullptr);
            CloseHandle(probe);
        }
        line += probe == INVALID_HANDLE_VALUE ? "(none)" : std::string(text, got);
        line += "\r\n";
        const HANDLE log = CreateFileW((m_system.ProgramFolder() + L"\\wow64-probe.log").c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (log == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(log, line.data(), DWORD(line.size()), &written, nullptr);
        CloseHandle(log);
    }

    const setup::System& m_system;
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
    // Sent, not posted: the window's thread takes them in its message loop,
    // once it is done setting itself up.
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

// Notes each change of the close item's state, as the system shows it.
DWORD WINAPI ProbeCloseItem(void* param)
{
    const std::wstring log = *static_cast<std::wstring*>(param) + L"\\menu-probe.log";
    int last = -1;
    for (int i = 0; i < 6000; ++i, Sleep(10)) {
        HWND window = FindWindowW(L"UsbDriverSetupWindow", nullptr);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (!window || pid != GetCurrentProcessId()) continue;
        const UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
        const int on = state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED));
        if (on == last) continue;
        last = on;
        const std::string line = on ? "close: on\r\n" : "close: off\r\n";
        const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD written = 0;
        WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    return 0;
}

}  // namespace

int wmain()
{
    (void)setup::win::RestrictDllSearch(g_fault != L"no-default-dll-directories");  // as Setup.exe
    if (g_fault == L"dpi-192") CloseHandle(CreateThread(nullptr, 0, MoveToAnotherMonitor, nullptr, 0, nullptr));
    FaultyTexts texts;
    FaultySystem system;
    static std::wstring folder = system.ProgramFolder();
    if (g_fault == L"menu-probe") CloseHandle(CreateThread(nullptr, 0, ProbeCloseItem, &folder, 0, nullptr));
    FaultyFiles files;
    setup::WinRestartQueue restart;
    FaultyRedirection redirection(system);
    setup::WinDriverStore store;
    setup::WinFileFacts facts;
    setup::WinProgram program(g_fault != L"no-preload");
    return setup::RunSetup({texts, files, restart, redirection, store, system, facts}, program);
}
