// Files and console output on Win32, for the console tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace setup {

struct WholeFile {
    enum class Outcome { Read, Missing, TooLarge, Failed };
    Outcome outcome = Outcome::Failed;
    std::string bytes;
    std::uint64_t size = 0;   // the file's size, also when it was too large
    std::uint32_t error = 0;  // the system's error code when it failed
};


// Reads a whole file of at most maxBytes.
WholeFile ReadWholeFile(const std::wstring& path, std::size_t maxBytes);

// The full path of a path given relative to the current folder.
std::wstring FullPath(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);  // a file, not a folder

// Writes text to the standard output (or error): to a console as wide
// characters, to a file or pipe as UTF-8.
void WriteOut(const std::wstring& text);
void WriteError(const std::wstring& text);

}  // namespace setup
