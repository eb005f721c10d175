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

// Presses Install, reads the message, closes it with its one OK button.
// beforePress runs once the window shows, just before the key.
inline Outcome Install(const Package& package, const std::function<void()>& beforePress = {})
{
    SetupProcess setup(package);
    if (!setup.MainWindow()) return {L"(no window)"};
    if (beforePress) beforePress();
    setup.PressKey(VK_RETURN);
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
