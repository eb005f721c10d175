// The Windows side's small helpers: looking up a function of a DLL by its
// own declaration's type (the functions the program looks up at run time
// are all listed in WinLate.h), loading DLLs from System32 only, the DLL
// search, long paths and error codes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace setup::win {

template <typename Function>
Function* LateFunction(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

template <typename Function>
Function* LateFunction(const wchar_t* module, const char* name)
{
    return LateFunction<Function>(::GetModuleHandleW(module), name);
}

// Loads a DLL from System32 and nowhere else; nullptr when it is not there.
HMODULE SystemLibrary(const wchar_t* name);

// Takes the program folder and the current folder out of the DLL search;
// true where later loads by name then come from System32 only (not on
// Windows 7 without KB2533623, nor with useDefaultDirectories false, as a
// test build pretends). Each program runs it first, before anything can
// load a DLL.
[[nodiscard]] bool RestrictDllSearch(bool useDefaultDirectories = true);
// What RestrictDllSearch achieved.
bool DllSearchRestricted();

// A path that the file functions take at any length: past MAX_PATH only in
// its extended form (\\?\C:\... or \\?\UNC\server\share\...), where
// Windows no longer parses it, which the program's own paths never need.
std::wstring LongPath(const std::wstring& path);

// The calling thread's last error, and a call's outcome: 0 or that error.
[[nodiscard]] inline std::uint32_t LastError() { return static_cast<std::uint32_t>(::GetLastError()); }
[[nodiscard]] inline std::uint32_t Outcome(BOOL ok) { return ok ? 0 : LastError(); }

}  // namespace setup::win

#define SETUP_LATE_FUNCTION(module, function) ::setup::win::LateFunction<decltype(::function)>(module, #function)
