#include "platform/WinServices.h"

#include <windows.h>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"
#include "text/Decimal.h"

namespace setup {
namespace {

std::uint32_t Outcome(BOOL ok) { return ok ? 0 : static_cast<std::uint32_t>(::GetLastError()); }

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

std::uint16_t WinServices::SystemDefaultLangId() const { return ::GetSystemDefaultLangID(); }

std::int32_t WinServices::ProfileInt(const std::wstring& section, const std::wstring& key,
                                     std::int32_t def, const std::wstring& file) const
{
    return static_cast<std::int32_t>(
        ::GetPrivateProfileIntW(section.c_str(), key.c_str(), def, file.c_str()));
}

std::wstring WinServices::ProfileString(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& def, const std::wstring& file) const
{
    // 254 bytes never hold more than 254 characters, so this buffer always
    // holds every character the caller may keep.
    wchar_t buffer[512];
    const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer,
                                               static_cast<DWORD>(std::size(buffer)), file.c_str());
    // The reader stops a value at a NUL in the file; keep to the same.
    return std::wstring(buffer, ::wcsnlen(buffer, n));
}

std::optional<std::vector<std::wstring>> WinServices::ProfileKeys(const std::wstring& section,
                                                                  const std::wstring& file) const
{
    // The list is double-NUL terminated; a full buffer means it was cut.
    for (DWORD size = 4096; size <= (1u << 20); size *= 4) {
        std::wstring buffer(size, L'\0');
        const DWORD n =
            ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer.data(), size, file.c_str());
        if (n + 2 >= size) continue;
        std::vector<std::wstring> keys;
        for (std::size_t at = 0; at < n && buffer[at] != L'\0';) {
            const std::size_t end = buffer.find(L'\0', at);
            keys.emplace_back(buffer, at, end - at);
            at = end + 1;
        }
        return keys;
    }
    return std::nullopt;
}

std::size_t WinServices::AnsiSize(std::wstring_view text) const
{
    if (text.empty()) return 0;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                        0, nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : text.size();
}

std::optional<std::wstring> WinServices::WindowsFolder() const
{
    // The path can exceed MAX_PATH: a result larger than the buffer is the
    // size it needs.
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT n = ::GetWindowsDirectoryW(path.data(), static_cast<UINT>(path.size()));
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
    win::UniqueFind handle(::FindFirstFileW(pattern.c_str(), &data));
    if (!handle) return nullptr;
    return std::make_unique<WinFileSearch>(std::move(handle), data);
}

std::optional<std::uint32_t> WinServices::Attributes(const std::wstring& path) const
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::uint32_t WinServices::CopyToFile(const std::wstring& source, const std::wstring& target, bool replace)
{
    return Outcome(::CopyFileW(source.c_str(), target.c_str(), replace ? FALSE : TRUE));
}

std::uint32_t WinServices::MoveOver(const std::wstring& from, const std::wstring& to)
{
    return Outcome(::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
}

std::uint32_t WinServices::RemoveFile(const std::wstring& path)
{
    // A copy may have left the file read-only, as its source was.
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return Outcome(::DeleteFileW(path.c_str()));
}

std::wstring WinServices::ErrorText(std::uint32_t error) const
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L' ' || message.back() == L'\r' || message.back() == L'\n'))
        message.pop_back();
    if (message.empty()) message = L"Error " + Decimal(error) + L".";
    return message;
}

bool WinServices::RunsUnderWow64() const
{
    static const auto isWow64Process = SETUP_LATE_FUNCTION(L"kernel32.dll", IsWow64Process);
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool WinServices::DisableFolderRedirection()
{
    static const auto disable = SETUP_LATE_FUNCTION(L"kernel32.dll", Wow64DisableWow64FsRedirection);
    return disable && disable(&m_redirection);
}

void WinServices::RestoreFolderRedirection()
{
    static const auto revert = SETUP_LATE_FUNCTION(L"kernel32.dll", Wow64RevertWow64FsRedirection);
    if (revert) revert(m_redirection);
}

}  // namespace setup
