#include "platform/WinServices.h"

#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"
#include "text/Decimal.h"

namespace setup {
namespace {

std::uint32_t LastError() { return static_cast<std::uint32_t>(::GetLastError()); }
std::uint32_t Outcome(BOOL ok) { return ok ? 0 : LastError(); }

// A path that the file functions take at any length: past MAX_PATH only in
// its extended form (\\?\C:\... or \\?\UNC\server\share\...), where
// Windows no longer parses it, which the program's own paths never need.
std::wstring LongPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

// A path as the kernel names it, which renaming by handle takes:
// "\??\C:\..." or "\??\UNC\server\share\...".
std::wstring KernelPath(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

std::uint32_t DeleteOnClose(HANDLE file, bool on)
{
    FILE_DISPOSITION_INFO info{static_cast<BOOLEAN>(on ? TRUE : FALSE)};
    return Outcome(::SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info));
}

std::uint32_t RenameByHandle(HANDLE file, const std::wstring& to, bool replace)
{
    const std::wstring name = KernelPath(to);
    // Room for the name's NUL as well: Wine reads the name up to it.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return Outcome(::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())));
}

// A copy under a temporary name, marked for deletion: if the program ends
// before the copy is renamed, the system deletes it with the last handle.
class WinStagedFile final : public StagedFile {
public:
    explicit WinStagedFile(win::UniqueFile file) : m_file(std::move(file)) {}

    std::uint32_t PutInPlace(const std::wstring& target) override { return Rename(target, true); }
    std::uint32_t KeepAs(const std::wstring& path) override { return Rename(path, false); }

private:
    std::uint32_t Rename(const std::wstring& to, bool replace)
    {
        if (!m_file) return ERROR_INVALID_HANDLE;
        // The mark goes first: a marked file that was renamed is deleted
        // under its new name when it closes.
        std::uint32_t error = DeleteOnClose(m_file.get(), false);
        if (error == 0) error = RenameByHandle(m_file.get(), to, replace);
        if (error != 0) {
            DeleteOnClose(m_file.get(), true);
            return error;
        }
        m_file.reset();
        return 0;
    }

    win::UniqueFile m_file;
};

class WinFileSearch final : public FileSearch {
public:
    WinFileSearch(win::UniqueFind handle, const WIN32_FIND_DATAW& first)
        : m_handle(std::move(handle)), m_data(first)
    {
    }

    bool Next(FoundFile& file) override
    {
        if (m_started && !::FindNextFileW(m_handle.get(), &m_data)) return false;
        m_started = true;
        file.name = m_data.cFileName;
        file.attributes = m_data.dwFileAttributes;
        return true;
    }

private:
    win::UniqueFind m_handle;
    WIN32_FIND_DATAW m_data;
    bool m_started = false;
};

}  // namespace

std::wstring WinServices::ProgramFolder() const
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

std::optional<std::wstring> WinServices::WindowsFolder() const
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

std::unique_ptr<FileSearch> WinServices::FindFiles(const std::wstring& pattern) const
{
    WIN32_FIND_DATAW data;
    win::UniqueFind handle(::FindFirstFileW(LongPath(pattern).c_str(), &data));
    if (!handle) return nullptr;
    return std::make_unique<WinFileSearch>(std::move(handle), data);
}

std::optional<std::uint32_t> WinServices::Attributes(const std::wstring& path) const
{
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::unique_ptr<StagedFile> WinServices::Stage(const std::wstring& source, const std::wstring& temporary,
                                               std::uint32_t& error)
{
    error = 0;
    win::UniqueFile in(::CreateFileW(LongPath(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) {
        error = LastError();
        return nullptr;
    }
    // Shared with nobody while it is written, so that no other program,
    // nor another copy of this one, can touch it.
    win::UniqueFile out(::CreateFileW(LongPath(temporary).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out) {
        error = LastError();
        return nullptr;
    }
    const HANDLE file = out.get();
    if ((error = DeleteOnClose(file, true)) != 0) {
        out.reset();
        ::DeleteFileW(LongPath(temporary).c_str());
        return nullptr;
    }
    auto staged = std::make_unique<WinStagedFile>(std::move(out));

    if (m_copyBuffer.empty()) m_copyBuffer.resize(1 << 20);
    for (;;) {
        DWORD got = 0, written = 0;
        if (!::ReadFile(in.get(), m_copyBuffer.data(), static_cast<DWORD>(m_copyBuffer.size()), &got, nullptr)) {
            error = LastError();
            return nullptr;
        }
        if (got == 0) break;
        const BOOL wrote = ::WriteFile(file, m_copyBuffer.data(), got, &written, nullptr);
        if (!wrote || written != got) {
            error = wrote ? ERROR_DISK_FULL : LastError();
            return nullptr;
        }
    }
    // On the disk before it replaces anything: after a power cut the file
    // under the driver's name is whole, never a file of zeros.
    if (!::FlushFileBuffers(file)) {
        error = LastError();
        return nullptr;
    }
    FILETIME changed{};
    if (::GetFileTime(in.get(), nullptr, nullptr, &changed)) ::SetFileTime(file, nullptr, nullptr, &changed);
    return staged;
}

std::uint32_t WinServices::LinkFile(const std::wstring& existing, const std::wstring& link)
{
    return Outcome(::CreateHardLinkW(LongPath(link).c_str(), LongPath(existing).c_str(), nullptr));
}

std::uint32_t WinServices::RenameFile(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), 0));
}

std::uint32_t WinServices::MoveOver(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING));
}

std::uint32_t WinServices::RemoveFile(const std::wstring& path)
{
    return Outcome(::DeleteFileW(LongPath(path).c_str()));
}

std::uint32_t WinServices::DeleteAtRestart(const std::wstring& path)
{
    return Outcome(::MoveFileExW(LongPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

std::uint32_t WinServices::ReplaceAtRestart(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
}

std::uint32_t WinServices::AddToDriverStore(const std::wstring& inf)
{
    // From System32 only, and only now: not an import of the program's.
    static const HMODULE setupapi = win::SystemLibrary(L"setupapi.dll");
    static const auto copyOemInf = win::LateFunction<decltype(::SetupCopyOEMInfW)>(setupapi, "SetupCopyOEMInfW");
    if (!copyOemInf) return ERROR_PROC_NOT_FOUND;
    return Outcome(copyOemInf(inf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr));
}

std::uint32_t WinServices::RunHidden(const std::wstring& program, const std::wstring& arguments,
                                     std::uint32_t& exitCode)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &info))
        return LastError();
    const win::UniqueHandle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return LastError();
    exitCode = code;
    return 0;
}

std::uint32_t WinServices::ProcessId() const { return ::GetCurrentProcessId(); }

std::wstring WinServices::ErrorText(std::uint32_t error) const { return win::ErrorText(error); }

bool WinServices::RunsUnderWow64() const
{
    static const auto isWow64Process = SETUP_LATE_FUNCTION(L"kernel32.dll", IsWow64Process);
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::uint32_t WinServices::DisableFolderRedirection()
{
    static const auto disable = SETUP_LATE_FUNCTION(L"kernel32.dll", Wow64DisableWow64FsRedirection);
    if (!disable) return ERROR_PROC_NOT_FOUND;
    return Outcome(disable(&m_redirection));
}

void WinServices::RestoreFolderRedirection()
{
    static const auto revert = SETUP_LATE_FUNCTION(L"kernel32.dll", Wow64RevertWow64FsRedirection);
    if (revert) revert(m_redirection);
}

}  // namespace setup
