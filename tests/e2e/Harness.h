// Drives the real Setup.exe from outside, the way a person would: starts it
// in a package folder, finds its windows, reads what they show and presses
// keys.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The programs and files the tests use, from the command line:
//   --setup=PATH    Setup.exe as built
//   --faulty=PATH   its test build that fails on request (SETUP_FAULT)
//   --planted=PATH  a DLL that marks where it is loaded
//   --drivers=PATH  the folder of the stand-in driver images: driver-x64-1.sys,
//                   driver-x64-2.sys (versions 1.0.0.0, 2.0.0.5), driver-x86-1.sys
//   --banner=PATH   the banner's pixels as the build packed them: blue,
//                   green, red bytes, 326 x 568, rows from the top
//   --branded=PATH, --branded-banner=PATH   a build with a vendor's
//                   branding, and its banner's pixels
extern std::wstring g_setupExe, g_faultyExe, g_plantedDll, g_bannerPixels, g_brandedExe, g_brandedBannerPixels;
extern std::wstring g_driverImages;
// Takes those options out of argv; false when --setup is missing.
bool ParseArguments(int argc, wchar_t** argv);

// Sets an environment variable, which programs started then inherit, and
// puts it back when it goes.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring m_name;
    std::optional<std::wstring> m_old;
};

// Bytes of a text in a code page (936 GBK, 950 Big5, 1252 Western).
std::string Encode(const std::wstring& text, UINT codePage);

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
void RemoveTree(const std::wstring& path);
bool Exists(const std::wstring& path);

// A fresh folder holding Setup.exe and an empty Driver folder, as a vendor
// ships it.
class Package {
public:
    // name may be a relative path such as L"Дмитрий\\Downloads\\driver";
    // program is the Setup.exe to put there.
    explicit Package(const std::wstring& name, const std::wstring& program = g_setupExe);
    const std::wstring& Folder() const { return m_folder; }
    std::wstring Path(const std::wstring& relative) const { return m_folder + L"\\" + relative; }
    void WriteIni(const std::string& bytes) const { WriteFileBytes(Path(L"Setup.Ini"), bytes); }
    void WriteFile(const std::wstring& relative, const std::string& bytes) const;

private:
    std::wstring m_folder;
};

// One run of Setup.exe; ended when the object goes, if still running.
class SetupProcess {
public:
    explicit SetupProcess(const Package& package) : SetupProcess(package.Path(L"Setup.exe")) {}
    explicit SetupProcess(const std::wstring& program);
    ~SetupProcess();
    SetupProcess(const SetupProcess&) = delete;
    SetupProcess& operator=(const SetupProcess&) = delete;

    // The setup window, once visible; nullptr after the time-out. Looked
    // for every pollMs: the start-up benchmark looks every millisecond.
    HWND MainWindow(DWORD timeoutMs = 10000, DWORD pollMs = 5);
    // A message box of the program, once visible; nullptr after the time-out.
    HWND MessageBox(DWORD timeoutMs = 10000);
    // The exit code, or nothing if the program is still running.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = 10000);
    // Ends it the way Task Manager does, and waits until it is gone.
    void Kill();
    // Milliseconds from the start to the first sight of the visible window.
    double MillisecondsToWindow() const { return m_msToWindow; }

    // A key, with Shift or Alt (VK_SHIFT, VK_MENU) held if given, typed
    // once the program's message box (or else its window) is in front. It
    // returns once the key is on its way: what it does is waited for by the
    // caller (Until, MessageBox, WaitForExit).
    void PressKey(WORD vk, WORD modifier = 0);
    HWND Focus() const;
    DWORD ThreadId() const { return m_info.dwThreadId; }
    DWORD ProcessId() const { return m_info.dwProcessId; }

private:
    HWND FindWindowOfProcess(bool messageBox) const;
    PROCESS_INFORMATION m_info{};
    LARGE_INTEGER m_started{};
    double m_msToWindow = -1;
};

// Whether condition became true before the time-out; it is looked at every
// 2 ms. The time-out is for a broken program only.
bool Until(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
// Returns once the window's thread has handled what it was sent before and
// has drawn all it had to draw, the window and its children.
void DrawNow(HWND hwnd);

std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
RECT ClientRect(HWND hwnd);
// The text of a message box (its static text control).
std::wstring MessageText(HWND box);
// Whether a message box shows an icon, and how many buttons it has.
bool MessageHasIcon(HWND box);
int MessageButtons(HWND box);

// The pixels (0x00RRGGBB, rows from the top) of a window as it is on the
// screen, leaving out a margin at each side.
std::vector<DWORD> PixelsOnScreen(HWND hwnd, int margin, int& width, int& height);

// Width in pixels of the dark pixels (text) inside a window as it is on the
// screen, leaving out a margin for its border.
int InkWidthOnScreen(HWND hwnd, int margin);
// The same for a text drawn with a font in a memory bitmap.
int InkWidthOfText(const std::wstring& text, HFONT font);

}  // namespace e2e
