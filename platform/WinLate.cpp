#include "platform/WinLate.h"

#include <winver.h>

#include "platform/WinApi.h"

namespace setup::win {
namespace {

template <typename Function>
void Find(Function*& function, HMODULE module, const char* name)
{
    function = LateFunction<Function>(module, name);
}

}  // namespace

const WindowFunctions& Window()
{
    static const WindowFunctions functions = [] {
        WindowFunctions f{};
        const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll"), ntdll = ::GetModuleHandleW(L"ntdll.dll"),
                      user32 = ::GetModuleHandleW(L"user32.dll");
        Find(f.setDefaultDllDirectories, kernel32, "SetDefaultDllDirectories");
        Find(f.rtlDecompressBuffer, ntdll, "RtlDecompressBuffer");
        Find(f.getDpiForWindow, user32, "GetDpiForWindow");
        Find(f.getDpiForSystem, user32, "GetDpiForSystem");
        Find(f.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
        Find(f.systemParametersInfoForDpi, user32, "SystemParametersInfoForDpi");
        if (!f.getDpiForWindow) Find(f.getDpiForMonitor, SystemLibrary(L"shcore.dll"), "GetDpiForMonitor");
        Find(f.shutdownBlockReasonCreate, user32, "ShutdownBlockReasonCreate");
        Find(f.shutdownBlockReasonDestroy, user32, "ShutdownBlockReasonDestroy");
        return f;
    }();
    return functions;
}

decltype(::InitCommonControlsEx)* InitCommonControlsFunction()
{
    static const auto function =
        LateFunction<decltype(::InitCommonControlsEx)>(::LoadLibraryW(L"comctl32.dll"), "InitCommonControlsEx");
    return function;
}

const InstallFunctions& InstallFunctionsLoaded()
{
    static const InstallFunctions functions = [] {
        InstallFunctions f{};
        const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
        Find(f.isWow64Process, kernel32, "IsWow64Process");
        Find(f.isWow64Process2, kernel32, "IsWow64Process2");
        Find(f.wow64DisableFsRedirection, kernel32, "Wow64DisableWow64FsRedirection");
        Find(f.wow64RevertFsRedirection, kernel32, "Wow64RevertWow64FsRedirection");
        const HMODULE advapi32 = SystemLibrary(L"advapi32.dll");
        Find(f.regOpenKeyEx, advapi32, "RegOpenKeyExW");
        Find(f.regQueryValueEx, advapi32, "RegQueryValueExW");
        Find(f.regCloseKey, advapi32, "RegCloseKey");
        const HMODULE setupapi = SystemLibrary(L"setupapi.dll");
        f.setupapiError = setupapi ? 0 : LastError();
        Find(f.setupCopyOemInf, setupapi, "SetupCopyOEMInfW");
        Find(f.setupUninstallOemInf, setupapi, "SetupUninstallOEMInfW");
        Find(f.setupOpenInfFile, setupapi, "SetupOpenInfFileW");
        Find(f.setupGetLineText, setupapi, "SetupGetLineTextW");
        Find(f.setupFindFirstLine, setupapi, "SetupFindFirstLineW");
        Find(f.setupFindNextLine, setupapi, "SetupFindNextLine");
        Find(f.setupGetStringField, setupapi, "SetupGetStringFieldW");
        Find(f.setupCloseInfFile, setupapi, "SetupCloseInfFile");
        const HMODULE version = SystemLibrary(L"version.dll");
        Find(f.getFileVersionInfoSize, version, "GetFileVersionInfoSizeW");
        Find(f.getFileVersionInfo, version, "GetFileVersionInfoW");
        Find(f.verQueryValue, version, "VerQueryValueW");
        return f;
    }();
    return functions;
}

}  // namespace setup::win
