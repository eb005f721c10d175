#include "platform/WinApi.h"

#include "platform/WinLate.h"

#include <string>

namespace setup::win {
namespace {

bool g_systemOnly = false;  // DLLs loaded later by name come from System32 only

}  // namespace

HMODULE SystemLibrary(const wchar_t* name)
{
    // System32 only, as documented; Windows 7 without KB2533623 does not
    // know the flag (invalid parameter), and there the full path does it.
    if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    wchar_t path[MAX_PATH + 1];
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring full(path, n);
    full += L'\\';
    full += name;
    // With a full path the DLL's own imports are looked for beside it first.
    return ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool RestrictDllSearch(bool useDefaultDirectories)
{
    // A setup program is often started from a downloads folder, beside DLLs
    // that anybody may have left there. Windows 7 has this function only
    // with its security update KB2533623, and it may fail; then the
    // preloading covers the DLLs that matter.
    const auto setDefaultDllDirectories = Window().setDefaultDllDirectories;
    g_systemOnly = useDefaultDirectories && setDefaultDllDirectories &&
                   setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // also takes the current folder out of the search
    return g_systemOnly;
}

bool DllSearchRestricted() { return g_systemOnly; }

}  // namespace setup::win
