#include "Harness.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace e2e {

std::wstring g_setupExe, g_faultyExe, g_plantedDll, g_bannerPixels, g_brandedExe, g_brandedBannerPixels;
std::wstring g_driverImages;

bool ParseArguments(int argc, wchar_t** argv)
{
    const struct {
        const wchar_t* option;
        std::wstring* value;
    } options[] = {{L"--setup=", &g_setupExe}, {L"--faulty=", &g_faultyExe}, {L"--planted=", &g_plantedDll},
                   {L"--drivers=", &g_driverImages}, {L"--banner=", &g_bannerPixels}, {L"--branded=", &g_brandedExe},
                   {L"--branded-banner=", &g_brandedBannerPixels}};
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        for (const auto& o : options) {
            if (arg.rfind(o.option, 0) != 0) continue;
            std::wstring path = arg.substr(wcslen(o.option));
            if (path.rfind(L"/", 0) == 0) {  // a Unix path: Wine's Z: drive
                for (auto& c : path)
                    if (c == L'/') c = L'\\';
                path = L"Z:" + path;
            }
            *o.value = path;
        }
    }
    return !g_setupExe.empty();
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name)
{
    wchar_t old[4096];
    const DWORD n = GetEnvironmentVariableW(name, old, 4096);
    if (n > 0 && n < 4096) m_old = std::wstring(old, n);
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableW(m_name.c_str(), m_old ? m_old->c_str() : nullptr);
}

namespace {

constexpr wchar_t kRoot[] = L"C:\\setup-e2e";

void Check(bool ok, const char* what)
{
    if (!ok) throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(GetLastError()));
}

void MakeFolders(const std::wstring& path)
{
    for (std::size_t at = path.find(L'\\', 3); ; at = path.find(L'\\', at + 1)) {
        const std::wstring part = path.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr)) Check(GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectory");
        if (at == std::wstring::npos) break;
    }
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Columns of a 32-bit top-down bitmap that hold a dark pixel.
int InkWidth(const std::vector<DWORD>& pixels, int width, int height)
{
    int first = width, last = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const DWORD p = pixels[std::size_t(y) * width + x];
            if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 96) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    return last < first ? 0 : last - first + 1;
}

std::vector<DWORD> Capture(HDC source, int x, int y, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return pixels;
}

}  // namespace

std::vector<DWORD> PixelsOnScreen(HWND hwnd, int margin, int& width, int& height)
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    HDC screen = GetDC(nullptr);
    width = r.right - r.left - 2 * margin;
    height = r.bottom - r.top - 2 * margin;
    auto pixels = Capture(screen, r.left + margin, r.top + margin, width, height);
    ReleaseDC(nullptr, screen);
    return pixels;
}

int InkWidthOnScreen(HWND hwnd, int margin)
{
    int width = 0, height = 0;
    const auto pixels = PixelsOnScreen(hwnd, margin, width, height);
    return InkWidth(pixels, width, height);
}

int InkWidthOfText(const std::wstring& text, HFONT font)
{
    const int width = 400, height = 60;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HGDIOBJ oldFont = SelectObject(memory, font);
    RECT r{0, 0, width, height};
    FillRect(memory, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(memory, RGB(0, 0, 0));
    SetBkMode(memory, TRANSPARENT);
    DrawTextW(memory, text.c_str(), int(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const auto pixels = Capture(memory, 0, 0, width, height);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return InkWidth(pixels, width, height);
}

std::string Encode(const std::wstring& text, UINT codePage)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

std::string ReadFileBytes(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "open for reading");
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "create file");
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    Check(ok && written == bytes.size(), "write file");
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!DeleteFileW(path.c_str())) RemoveDirectoryW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

Package::Package(const std::wstring& name, const std::wstring& program) : m_folder(std::wstring(kRoot) + L"\\" + name)
{
    RemoveTree(m_folder);
    MakeFolders(m_folder + L"\\Driver");
    Check(CopyFileW(program.c_str(), Path(L"Setup.exe").c_str(), FALSE), "copy Setup.exe");
}

void Package::WriteFile(const std::wstring& relative, const std::string& bytes) const
{
    const std::wstring path = Path(relative);
    MakeFolders(path.substr(0, path.find_last_of(L'\\')));
    WriteFileBytes(path, bytes);
}

SetupProcess::SetupProcess(const std::wstring& program)
{
    // Started from another folder: the program must find its files beside
    // itself, not in the current folder.
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    QueryPerformanceCounter(&m_started);
    Check(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &m_info),
          "CreateProcess Setup.exe");
}

SetupProcess::~SetupProcess()
{
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_info.hProcess, 99);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

HWND SetupProcess::FindWindowOfProcess(bool messageBox) const
{
    struct Search {
        DWORD pid;
        bool messageBox;
        HWND found;
    } search{m_info.dwProcessId, messageBox, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid != s.pid || !IsWindowVisible(hwnd)) return TRUE;
            if ((ClassName(hwnd) == L"#32770") != s.messageBox) return TRUE;
            s.found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND SetupProcess::MainWindow(DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = FindWindowOfProcess(false)) {
            if (m_msToWindow < 0) {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                m_msToWindow = Milliseconds(m_started, now);
            }
            return hwnd;
        }
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(m_info.hProcess, 0) == WAIT_OBJECT_0)
            return nullptr;
        Sleep(pollMs);
    }
}

HWND SetupProcess::MessageBox(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = FindWindowOfProcess(true)) return hwnd;
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(m_info.hProcess, 0) == WAIT_OBJECT_0)
            return nullptr;
        Sleep(2);
    }
}

std::optional<DWORD> SetupProcess::WaitForExit(DWORD timeoutMs)
{
    if (WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

void SetupProcess::Kill()
{
    TerminateProcess(m_info.hProcess, 99);
    WaitForSingleObject(m_info.hProcess, 10000);
}

void SetupProcess::PressKey(WORD vk, WORD modifier)
{
    // Keys go to the foreground window, as a person's would.
    HWND target = FindWindowOfProcess(true);
    if (!target) target = FindWindowOfProcess(false);
    if (target) {
        SetForegroundWindow(target);
        Until([&] { return GetForegroundWindow() == target; });
    }
    std::vector<INPUT> inputs;
    auto key = [&](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (modifier) key(modifier, false);
    key(vk, false);
    key(vk, true);
    if (modifier) key(modifier, true);
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool Until(const std::function<bool()>& condition, DWORD timeoutMs)
{
    for (const DWORD start = GetTickCount();; Sleep(2)) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return condition();
    }
}

void DrawNow(HWND hwnd)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    // Sent to the window's thread: WM_PAINT now, to it and every child.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HWND SetupProcess::Focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(m_info.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

std::wstring WindowText(HWND hwnd)
{
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(std::size_t(length) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, WPARAM(text.size()), LPARAM(text.data()));
    text.resize(std::size_t(got));
    return text;
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

RECT ChildRect(HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientRect(HWND hwnd)
{
    RECT rect{};
    GetClientRect(hwnd, &rect);
    return rect;
}

std::wstring MessageText(HWND box)
{
    std::wstring text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            if (ClassName(child) == L"Static" && !(GetWindowLongW(child, GWL_STYLE) & SS_ICON)) {
                const std::wstring t = WindowText(child);
                if (!t.empty()) {
                    *reinterpret_cast<std::wstring*>(param) = t;
                    return FALSE;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

bool MessageHasIcon(HWND box)
{
    // The icon control is there in every message box; it holds an icon only
    // when one was asked for.
    bool icon = false;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                SendMessageW(child, STM_GETICON, 0, 0))
                *reinterpret_cast<bool*>(param) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&icon));
    return icon;
}

int MessageButtons(HWND box)
{
    int buttons = 0;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            if (ClassName(child) == L"Button" && IsWindowVisible(child)) ++*reinterpret_cast<int*>(param);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&buttons));
    return buttons;
}

}  // namespace e2e
