// Every Windows function the program looks up at run time instead of
// importing it, in one place: those that Windows 7 lacks, and those of DLLs
// that are no import of the program's. Each group is resolved once, on its
// first use: the window's at the start, before the DLL search is restricted
// (from modules that are loaded already, or from System32 by its full
// path); the install's when the install's work starts, before that thread
// turns any folder redirection off, since a 32-bit program's DLL load with
// it off would reach the 64-bit System32. A function that is missing is
// null. The binary check makes sure none of them becomes a static import.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <shellscalingapi.h>
#include <commctrl.h>

#include <cstdint>

namespace setup::win {

struct WindowFunctions {
    decltype(::SetDefaultDllDirectories)* setDefaultDllDirectories;  // Windows 7 with KB2533623
    LONG(NTAPI* rtlDecompressBuffer)(USHORT format, PUCHAR out, ULONG outSize, PUCHAR in, ULONG inSize,
                                     PULONG finalSize);  // ntdll, undocumented in the SDK's headers
    decltype(::GetDpiForWindow)* getDpiForWindow;        // Windows 10
    decltype(::GetDpiForSystem)* getDpiForSystem;
    decltype(::AdjustWindowRectExForDpi)* adjustWindowRectExForDpi;
    decltype(::SystemParametersInfoForDpi)* systemParametersInfoForDpi;
    decltype(::GetDpiForMonitor)* getDpiForMonitor;  // shcore, Windows 8.1: only where user32 lacks the above
    decltype(::ShutdownBlockReasonCreate)* shutdownBlockReasonCreate;  // Vista
    decltype(::ShutdownBlockReasonDestroy)* shutdownBlockReasonDestroy;
};
const WindowFunctions& Window();

// comctl32's, from the version the manifest names (the side-by-side store):
// loaded only once the DLL search is restricted.
decltype(::InitCommonControlsEx)* InitCommonControlsFunction();

struct InstallFunctions {
    decltype(::IsWow64Process)* isWow64Process;  // Windows XP SP2
    decltype(::IsWow64Process2)* isWow64Process2;  // Windows 10
    decltype(::Wow64DisableWow64FsRedirection)* wow64DisableFsRedirection;
    decltype(::Wow64RevertWow64FsRedirection)* wow64RevertFsRedirection;
    // advapi32: the restart work Windows keeps in the registry.
    decltype(::RegOpenKeyExW)* regOpenKeyEx;
    decltype(::RegQueryValueExW)* regQueryValueEx;
    decltype(::RegCloseKey)* regCloseKey;
    // setupapi: the driver store and the INF parser.
    decltype(::SetupCopyOEMInfW)* setupCopyOemInf;
    decltype(::SetupUninstallOEMInfW)* setupUninstallOemInf;
    decltype(::SetupOpenInfFileW)* setupOpenInfFile;
    decltype(::SetupGetLineTextW)* setupGetLineText;
    decltype(::SetupFindFirstLineW)* setupFindFirstLine;
    decltype(::SetupFindNextLine)* setupFindNextLine;
    decltype(::SetupGetStringFieldW)* setupGetStringField;
    decltype(::SetupCloseInfFile)* setupCloseInfFile;
    std::uint32_t setupapiError;  // why setupapi could not be loaded, or 0
    // version: the version resources of driver files.
    decltype(::GetFileVersionInfoSizeW)* getFileVersionInfoSize;
    decltype(::GetFileVersionInfoW)* getFileVersionInfo;
    decltype(::VerQueryValueW)* verQueryValue;
};
const InstallFunctions& InstallFunctionsLoaded();

}  // namespace setup::win
