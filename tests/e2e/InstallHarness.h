// What the install's end-to-end tests share: pressing Install and reading
// the outcome, the system's words for an error, the work left for a restart.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "Harness.h"

namespace e2e {

inline std::wstring SystemText(DWORD error)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                   nullptr, error, 0, text, 512, nullptr);
    std::wstring s = text;
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\r' || s.back() == L'\n')) s.pop_back();
    return s;
}

// A stand-in driver image built for the tests: x64-1, x64-2, x64-2big or
// x86-1.
inline std::string Image(const wchar_t* name)
{
    const std::string bytes = ReadFileBytes(g_driverImages + L"\\driver-" + name + L".sys");
    EXPECT_GT(bytes.size(), 512u) << "stand-in driver " << std::string(name, name + wcslen(name));
    return bytes;
}

// The files Windows is to rename or delete when it restarts.
inline std::wstring PendingAtRestart()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key))
        return L"";
    std::wstring value(32768, L'\0');
    DWORD size = DWORD(value.size() * sizeof(wchar_t));
    const bool read = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!read) return L"";
    value.resize(size / sizeof(wchar_t));
    for (auto& c : value)
        if (c == L'\0') c = L'|';
    return value;
}

struct Outcome {
    std::wstring message;
    bool warning = false;  // the message shows an icon
    DWORD exitCode = 999;
};

// Waits for the install's journal in C:\windows\inf, which it writes just
// before its old files get their second names and the driver store takes
// the package; false after the time-out.
inline bool JournalWritten()
{
    return Until(
        [] {
            WIN32_FIND_DATAW found;
            const HANDLE search = FindFirstFileW(L"C:\\windows\\inf\\~setup-*.jnl", &found);
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
            return search != INVALID_HANDLE_VALUE;
        },
        30000);
}

// Old files the install gives their second names between writing its
// journal and the driver store's step: 200 of them hold that moment open
// (about 0.1 s) for another program to act in. The files are named prefix
// and a number; RemoveOldFiles takes the installed ones away.
inline void AddOldFiles(const Package& package, const std::wstring& prefix)
{
    for (int i = 0; i < 200; ++i) {
        package.WriteFile(L"Driver\\" + prefix + std::to_wstring(i) + L".sys", "new");
        WriteFileBytes(L"C:\\windows\\system32\\drivers\\" + prefix + std::to_wstring(i) + L".sys", "old");
    }
}
inline void RemoveOldFiles(const std::wstring& prefix)
{
    for (int i = 0; i < 200; ++i) DeleteFileW((L"C:\\windows\\system32\\drivers\\" + prefix + std::to_wstring(i) + L".sys").c_str());
}

// Presses Install, reads the message, closes it with its one OK button.
// beforePress runs once the window shows, just before the key; afterPress
// right after it, while the install runs.
inline Outcome Install(const Package& package, const std::function<void()>& beforePress = {},
                       const std::function<void()>& afterPress = {})
{
    SetupProcess setup(package);
    if (!setup.MainWindow()) return {L"(no window)"};
    if (beforePress) beforePress();
    setup.PressKey(VK_RETURN);
    if (afterPress) afterPress();
    HWND box = setup.MessageBox(60000);
    if (!box) return {L"(no message)"};
    Outcome outcome{MessageText(box), MessageHasIcon(box)};
    EXPECT_EQ(MessageButtons(box), 1) << "a single OK button";
    EXPECT_EQ(WindowText(box), L"Setup");
    setup.PressKey(VK_RETURN);
    const auto code = setup.WaitForExit();
    outcome.exitCode = code ? *code : 999;
    return outcome;
}

}  // namespace e2e
