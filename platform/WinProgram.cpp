#include "platform/WinProgram.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "assets/resource.h"
#include "platform/WinApi.h"
#include "platform/WinLate.h"
#include "platform/WinForm.h"
#include "platform/WinHandles.h"
#include "text/Numbers.h"

namespace setup {

namespace {

// Version 6 of the common controls, which the manifest names, draws the
// buttons in the system's visual style. It comes from the side-by-side store.
void InitVisualStyles()
{
    const auto init = win::InitCommonControlsFunction();
    if (!init) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    init(&icc);
}

// Where the search is not restricted to System32, every DLL that the
// system's DLLs may load by name comes from System32 first, here, before
// the window: the visual styles, version and application-compatibility
// look-ups, the setup, user-profile, property, accessibility,
// COM-catalogue, security and cryptography helpers. A missing one is no
// error.
void PreloadSystemDlls()
{
    if (win::DllSearchRestricted()) return;
    static const wchar_t* const kAll[] = {
        L"uxtheme.dll",  L"version.dll", L"userenv.dll", L"setupapi.dll", L"propsys.dll", L"apphelp.dll",
        L"cryptbase.dll", L"oleacc.dll", L"clbcatq.dll", L"ntmarta.dll",
    };
    for (const wchar_t* name : kAll) win::SystemLibrary(name);
}

// On the banner's thread, while the window is made: the visual styles and
// the common controls, which every control needs.
void PrepareControls()
{
    win::SystemLibrary(L"uxtheme.dll");
    InitVisualStyles();
}

// On the banner's thread, while the controls are made: what the first
// paint loads (uxtheme's delay-loads) and what the first focus loads (COM,
// for the system's text input). Where the search is restricted, Windows
// applies it to DLLs loaded later by name, to their imports and to
// delay-loads; Wine does not to delay-loads, and uxtheme delay-loads
// msimg32 and dwmapi when it first draws, so they are loaded from System32
// here. setupapi comes from System32 when the install first needs it.
void PrepareFirstFrame()
{
    static const wchar_t* const kFirstFrame[] = {L"msimg32.dll", L"dwmapi.dll", L"ole32.dll"};
    for (const wchar_t* name : kFirstFrame) win::SystemLibrary(name);
}

}  // namespace

Program::FormEnd WinProgram::RunForm(const FormDesign& design, const FormFactory& createForm, int& exitCode)
{
    ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    try {
        if (m_preload) PreloadSystemDlls();
        // The visual styles and the common controls load on the banner's
        // thread while the window is made: the window is of the program's
        // own class and needs neither, the controls need both.
        WinForm form(design, m_preload ? &PrepareControls : &InitVisualStyles, m_preload ? &PrepareFirstFrame : nullptr);
        const auto events = createForm(form);
        if (!form.Create(*events, m_tag)) return FormEnd::NoWindow;
        exitCode = form.Run();
        return FormEnd::Ended;
    } catch (const std::bad_alloc&) {
        // Caught out here, after the window is gone and its message loop
        // has ended, so that the message can show.
        return FormEnd::OutOfMemory;
    } catch (...) {
        return FormEnd::Failed;
    }
}

namespace {

// The folder's path as the system resolves it: another drive letter for
// it, a substituted drive, a junction, a short name or another case give
// the same. nullopt when the system cannot say.
std::optional<std::wstring> FinalPath(const std::wstring& folder)
{
    const win::UniqueFile handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return std::nullopt;
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()), 0);
        if (n == 0) return std::nullopt;
        if (n < path.size()) return path.substr(0, n);
        path.resize(n + 1);
    }
    return std::nullopt;
}

// A name for the folder that a mutex can hold (no backslash): its path in
// capitals, hashed (FNV-1a).
std::wstring PathHash(const std::wstring& path)
{
    std::wstring folder = path;
    ::CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : folder) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    return Hex(hash);
}

}  // namespace

bool WinProgram::ClaimPackage(const std::wstring& programFolder)
{
    // The folder as the system resolves it counts, not its spelling, nor
    // its volume serial and file index: two file systems can give their
    // folders the same ones (two mounts under one drive, a cloned disk). A
    // package reached through a share as well as locally is then started
    // twice, which the install lock keeps safe, rather than ended unseen.
    m_tag = L"UsbDriverSetup-" + PathHash(FinalPath(programFolder).value_or(programFolder));
    // Created and tested in one step, so two copies started at once cannot
    // both be first. Where it cannot be made, the program runs as it would.
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, (L"Local\\" + m_tag).c_str()));
    if (m_mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowFirst();
        return false;
    }
    return true;
}

void WinProgram::ShowFirst() const
{
    // The first copy may not have made its window yet.
    HWND window = nullptr;
    for (int i = 0; i < 60 && !(window = FindTaggedWindow(m_tag)); ++i) ::Sleep(50);
    if (!window) return;
    if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(::GetLastActivePopup(window));
}

void WinProgram::ShowFatalMessage(const std::wstring& text)
{
    ::MessageBoxW(nullptr, text.c_str(), MessageTitle(), MB_OK | MB_ICONERROR);
}

const wchar_t* MessageTitle()
{
    static const std::wstring title = [] {
        const wchar_t* text = nullptr;  // the resource's own, not ended by a NUL
        const int length =
            ::LoadStringW(::GetModuleHandleW(nullptr), IDS_MESSAGE_TITLE, reinterpret_cast<wchar_t*>(&text), 0);
        return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring(L"Setup");
    }();
    return title.c_str();
}

}  // namespace setup
