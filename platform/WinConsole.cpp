#include "platform/WinConsole.h"

#include <windows.h>

#include <algorithm>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"

namespace setup {
namespace {

void Write(DWORD which, const std::wstring& text)
{
    const HANDLE out = ::GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        // In pieces: old consoles refuse large writes.
        for (std::size_t at = 0; at < text.size();) {
            DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
            if (piece > 1 && at + piece < text.size() && text[at + piece - 1] >= 0xD800 &&
                text[at + piece - 1] <= 0xDBFF)
                --piece;  // keeps a surrogate pair together
            DWORD written = 0;
            if (!::WriteConsoleW(out, text.data() + at, piece, &written, nullptr) || written == 0) return;
            at += written;
        }
        return;
    }
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
    for (std::size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        if (!::WriteFile(out, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) ||
            written == 0)
            return;
        at += written;
    }
}

}  // namespace

WholeFile ReadWholeFile(const std::wstring& path, std::size_t maxBytes)
{
    WholeFile file;
    win::UniqueFile handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        file.error = ::GetLastError();
        file.outcome = file.error == ERROR_FILE_NOT_FOUND || file.error == ERROR_PATH_NOT_FOUND
                           ? WholeFile::Outcome::Missing
                           : WholeFile::Outcome::Failed;
        return file;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.get(), &size)) {
        file.error = ::GetLastError();
        return file;
    }
    file.size = static_cast<std::uint64_t>(size.QuadPart);
    if (file.size > maxBytes) {
        file.outcome = WholeFile::Outcome::TooLarge;
        return file;
    }
    // Read until the end, even if the file changes size meanwhile.
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
            file.error = ::GetLastError();
            return file;
        }
        if (got == 0) break;
        if (file.bytes.size() + got > maxBytes) {
            file.outcome = WholeFile::Outcome::TooLarge;
            return file;
        }
        file.bytes.append(buffer, got);
    }
    file.outcome = WholeFile::Outcome::Read;
    return file;
}

std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return path;
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n);
    }
    return path;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(win::LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteOut(const std::wstring& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}
void WriteError(const std::wstring& text)
{
    Write(STD_ERROR_HANDLE, text);
}

}  // namespace setup
