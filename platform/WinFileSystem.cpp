#include "platform/WinFileSystem.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"
#include "platform/WinLate.h"
#include "text/Numbers.h"

namespace setup {
namespace {

using win::LastError;
using win::LongPath;
using win::Outcome;

}  // namespace

std::wstring win::LongPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

namespace {

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

std::optional<FileId> IdOfHandle(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow,
                  std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow,
                  std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime};
}

// Opens a file or folder by name; attribute access alone does not collide
// with other programs' sharing.
win::UniqueFile Open(const std::wstring& path, DWORD access, DWORD disposition = OPEN_EXISTING, DWORD flags = 0)
{
    return win::UniqueFile(::CreateFileW(LongPath(path).c_str(), access,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                                         flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A copy under a temporary name, marked for deletion: if the program ends
// before the copy is renamed, the system deletes it with the last handle.
class WinStagedFile final : public StagedFile {
public:
    explicit WinStagedFile(win::UniqueFile file) : m_file(std::move(file)) {}

    std::uint32_t PutInPlace(const std::wstring& target, bool replace) override { return Rename(target, replace); }
    std::uint32_t KeepAs(const std::wstring& path) override { return Rename(path, false); }
    std::optional<FileId> Id() const override { return m_file ? IdOfHandle(m_file.get()) : std::nullopt; }

private:
    std::uint32_t Rename(const std::wstring& to, bool replace)
    {
        if (!m_file) return ERROR_INVALID_HANDLE;
        // The mark goes first: a marked file that was renamed is deleted
        // under its new name when it closes.
        std::uint32_t error = DeleteOnClose(m_file.get(), false);
        if (error == 0) error = RenameByHandle(m_file.get(), to, replace);
        if (error != 0) {
            // Marked again, as it was; where that fails it is left until the
            // next run's sweep of copies on their way.
            (void)DeleteOnClose(m_file.get(), true);
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
        if (m_started && !::FindNextFileW(m_handle.get(), &m_data)) {
            m_error = LastError();
            if (m_error == ERROR_NO_MORE_FILES) m_error = 0;
            return false;
        }
        m_started = true;
        file.name = m_data.cFileName;
        file.attributes = m_data.dwFileAttributes;
        file.size = std::uint64_t(m_data.nFileSizeHigh) << 32 | m_data.nFileSizeLow;
        return true;
    }

    std::uint32_t Error() const override { return m_error; }

private:
    win::UniqueFind m_handle;
    WIN32_FIND_DATAW m_data;
    bool m_started = false;
    std::uint32_t m_error = 0;
};

}  // namespace

std::unique_ptr<FileSearch> WinFileSystem::FindFiles(const std::wstring& pattern, std::uint32_t& error) const
{
    WIN32_FIND_DATAW data;
    win::UniqueFind handle(::FindFirstFileW(LongPath(pattern).c_str(), &data));
    error = 0;
    if (handle) return std::make_unique<WinFileSearch>(std::move(handle), data);
    error = LastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) error = 0;  // nothing matches
    return nullptr;
}

bool WinFileSystem::SamePath(const std::wstring& a, const std::wstring& b) const
{
    // As the file system compares names: ordinal, with its own case folding.
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::optional<std::uint32_t> WinFileSystem::Attributes(const std::wstring& path) const
{
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::optional<FileId> WinFileSystem::IdOf(const std::wstring& path) const
{
    const win::UniqueFile file = Open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    return file ? IdOfHandle(file.get()) : std::nullopt;
}

std::unique_ptr<StagedFile> WinFileSystem::Stage(const std::wstring& source, const std::wstring& temporary,
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

std::uint32_t WinFileSystem::LinkFile(const std::wstring& existing, const std::wstring& link)
{
    return Outcome(::CreateHardLinkW(LongPath(link).c_str(), LongPath(existing).c_str(), nullptr));
}

std::uint32_t WinFileSystem::RenameFile(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), 0));
}

std::uint32_t WinFileSystem::MoveOver(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING));
}

std::uint32_t WinFileSystem::RemoveFile(const std::wstring& path)
{
    return Outcome(::DeleteFileW(LongPath(path).c_str()));
}

std::uint32_t WinFileSystem::CheckRenamable(const std::wstring& path)
{
    // Opening for deleting collides with a program that holds the file open
    // without sharing it for that, as a rename would; a loaded driver does
    // not collide here (only its replacement is refused).
    return Open(path, DELETE) ? 0 : LastError();
}

std::uint32_t WinFileSystem::FlushFolder(const std::wstring& folder)
{
    // A flush of the folder writes its entries out, the renames into it
    // among them: on NTFS its metadata, under Wine an fsync of the folder.
    // Write-through renames would cost a disk write each; one flush per
    // folder after the last rename costs one.
    const win::UniqueFile handle = Open(folder, GENERIC_WRITE);
    if (!handle) return LastError();
    return Outcome(::FlushFileBuffers(handle.get()));
}

std::uint32_t WinFileSystem::WriteJournal(const std::wstring& path, const std::wstring& text, bool append)
{
    // Shared for reading while it is written (a scanner may look); on the
    // disk, name and all, before this returns.
    win::UniqueFile file(::CreateFileW(LongPath(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       append ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), bytes, &written, nullptr)) return LastError();
    if (written != bytes) return ERROR_DISK_FULL;
    if (!::FlushFileBuffers(file.get())) return LastError();
    // The new name reaches the disk with the folder's flush, where Windows
    // allows one; where it does not, the file's own flush is the guarantee
    // (a journal lost with its name was never acted on).
    if (!append) (void)FlushFolder(path.substr(0, path.find_last_of(L'\\')));
    return 0;
}

std::uint32_t WinFileSystem::ReadJournal(const std::wstring& path, std::wstring& text) const
{
    constexpr LONGLONG kMaxBytes = 64 << 20;  // far more than any journal of a package
    const win::UniqueFile file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return LastError();
    if (size.QuadPart > kMaxBytes) return ERROR_FILE_TOO_LARGE;
    text.assign(static_cast<std::size_t>(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD got = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (bytes && !::ReadFile(file.get(), text.data(), bytes, &got, nullptr)) return LastError();
    text.resize(got / sizeof(wchar_t));
    return 0;
}

std::uint32_t WinRestartQueue::DeleteAtRestart(const std::wstring& path)
{
    return Outcome(::MoveFileExW(LongPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

std::uint32_t WinRestartQueue::ReplaceAtRestart(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
}

std::optional<std::vector<RestartWork>> WinRestartQueue::PendingRestartWork() const
{
    // Pairs of names, NUL-separated: "\??\from", then "" (delete) or
    // "\??\to" ("!\??\to": replacing). The 64-bit view, for a 32-bit
    // program too.
    const win::InstallFunctions& registry = win::InstallFunctionsLoaded();
    std::vector<RestartWork> work;
    HKEY key = nullptr;
    if (!registry.regOpenKeyEx || !registry.regQueryValueEx || !registry.regCloseKey ||
        registry.regOpenKeyEx(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                         KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value;
    DWORD bytes = 0, type = 0;
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        value.resize(bytes / sizeof(wchar_t) + 1);
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = registry.regQueryValueEx(key, L"PendingFileRenameOperations", nullptr, &type,
                                     reinterpret_cast<BYTE*>(value.data()), &bytes);
    }
    registry.regCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return work;  // no work at all
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return std::nullopt;
    value.resize(bytes / sizeof(wchar_t));
    auto plain = [](std::wstring name) {
        if (!name.empty() && name[0] == L'!') name.erase(0, 1);
        if (name.rfind(L"\\??\\", 0) == 0) name.erase(0, 4);
        return name;
    };
    std::vector<std::wstring> names;
    for (std::size_t at = 0; at < value.size();) {
        const std::size_t end = std::min(value.find(L'\0', at), value.size());
        names.push_back(value.substr(at, end - at));
        at = end + 1;
    }
    // The list ends with an empty name (its double NUL).
    for (std::size_t i = 0; i + 1 < names.size(); i += 2)
        if (!names[i].empty()) work.push_back({plain(names[i]), plain(names[i + 1])});
    return work;
}

bool WinFolderRedirection::RunsUnderWow64() const
{
    const auto isWow64Process = win::InstallFunctionsLoaded().isWow64Process;
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::uint32_t WinFolderRedirection::DisableFolderRedirection(void*& saved)
{
    // Resolved before the first time it goes off: nothing may be loaded
    // while it is.
    const auto disable = win::InstallFunctionsLoaded().wow64DisableFsRedirection;
    if (!disable) return ERROR_PROC_NOT_FOUND;
    return Outcome(disable(&saved));
}

void WinFolderRedirection::RestoreFolderRedirection(void* saved)
{
    const auto revert = win::InstallFunctionsLoaded().wow64RevertFsRedirection;
    if (revert) revert(saved);
}

}  // namespace setup
