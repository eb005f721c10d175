#include "platform/WinProgram.h"

#include <windows.h>
#include <commctrl.h>

#include <new>

#include "platform/WinForm.h"
#include "platform/WinServices.h"

namespace setup {
namespace {

// A setup program is often started from a downloads folder, beside DLLs that
// anybody may have left there. Load DLLs from System32 only.
void RestrictDllSearch()
{
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // also takes the current folder out of the search
}

// Version 6 of the common controls, which the manifest names, draws the
// buttons in the system's visual style. It comes from the side-by-side store.
void InitVisualStyles()
{
    const HMODULE comctl32 = ::LoadLibraryW(L"comctl32.dll");
    if (!comctl32) return;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(::GetProcAddress(comctl32, "InitCommonControlsEx")));
    if (!init) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    init(&icc);
}

}  // namespace

int RunProgram(const FormDesign& design, FormFactory createForm)
{
    RestrictDllSearch();
    ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    InitVisualStyles();
    try {
        WinServices services;
        WinForm form(design);
        const auto events = createForm(services, form);
        return form.Run(*events);
    } catch (const std::bad_alloc&) {
        ::MessageBoxW(nullptr, L"Setup cannot continue: there is not enough memory.", L"Setup",
                      MB_OK | MB_ICONERROR);
        return kExitCannotStart;
    }
}

}  // namespace setup
