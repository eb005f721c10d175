#include "platform/WinServices.h"

#include <windows.h>

namespace setup {

std::wstring ProgramFolder()
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

std::wstring WinServices::ProgramFolder() const { return setup::ProgramFolder(); }

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
    return std::wstring(buffer, n);
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

}  // namespace setup
