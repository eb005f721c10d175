// The program's facts, on Win32.
#include <windows.h>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"
#include "platform/WinLate.h"
#include "platform/WinSystem.h"
#include "platform/WinText.h"

namespace setup {
namespace {

using win::LastError;
using win::Outcome;

// Holds the machine's install mutex; released by the thread that took it.
class WinInstallLock final : public InstallLock {
public:
    explicit WinInstallLock(win::UniqueHandle mutex) : m_mutex(std::move(mutex)) {}
    ~WinInstallLock() override { ::ReleaseMutex(m_mutex.get()); }

private:
    win::UniqueHandle m_mutex;
};

}  // namespace

std::wstring WinSystem::ProgramFolder() const
{
    // The module path can exceed MAX_PATH; grow the buffer until it fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return L".";
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::optional<std::wstring> WinSystem::WindowsFolder() const
{
    // The system's own Windows folder, also on a Terminal Services host,
    // where GetWindowsDirectory gives each user a folder of their own. The
    // path can exceed MAX_PATH: a result larger than the buffer is the size
    // it needs.
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT n = ::GetSystemWindowsDirectoryW(path.data(), static_cast<UINT>(path.size()));
        if (n == 0) return std::nullopt;
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(n);
    }
    return std::nullopt;
}

std::unique_ptr<InstallLock> WinSystem::LockInstalls(const std::function<void()>& waiting,
                                                       const std::function<bool()>& cancelled, std::uint32_t& error)
{
    // One name for every copy of the program, whatever its package, in the
    // namespace of every session, as Windows Installer's own.
    error = 0;
    win::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, L"Global\\UsbDriverSetup.Install"));
    if (!mutex) {
        error = LastError();
        return nullptr;
    }
    // A holder that died leaves it abandoned: free, and its journal says
    // what it left half-done.
    auto take = [&](DWORD ms) {
        const DWORD result = ::WaitForSingleObject(mutex.get(), ms);
        return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    };
    if (!take(0)) {
        waiting();
        do {
            if (cancelled()) return nullptr;
        } while (!take(100));
    }
    return std::make_unique<WinInstallLock>(std::move(mutex));
}

RunId WinSystem::ThisRun() const
{
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const std::uint64_t started = std::uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
    return {static_cast<std::uint32_t>(::GetCurrentProcessId()), started ? started : 1};
}

std::wstring WinSystem::ErrorText(std::uint32_t error) const { return win::SystemErrorText(error); }

std::uint32_t WinSystem::RunHidden(const std::wstring& program, const std::wstring& arguments,
                                   std::uint32_t& exitCode)
{
    // A child does not inherit the restricted DLL search: started in
    // System32, it finds nothing of the package's folder before the
    // system's own DLLs.
    wchar_t system32[MAX_PATH + 1];
    const UINT n = ::GetSystemDirectoryW(system32, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return n ? ERROR_BUFFER_OVERFLOW : LastError();
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          system32, &startup, &info))
        return LastError();
    const win::UniqueHandle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return LastError();
    exitCode = code;
    return 0;
}

}  // namespace setup
