// Copies the driver's files from the package's Driver folder into the
// Windows folder, by extension:
//   *.inf -> <Windows>\Inf
//   *.pdr -> <Windows>\System\IoSubSys   (only where that folder exists)
//   *.sys -> <Windows>\System32\Drivers
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace setup::install {

struct Failure {
    std::wstring name;    // the file's name
    std::wstring folder;  // the folder it was to go to
    std::uint32_t error;  // the system's error code
};

struct Result {
    int copied = 0;
    std::vector<Failure> failures;
};

// The failure lines a message shows before it sums up the rest.
constexpr std::size_t kMaxFailureLines = 20;

// The Windows folder, or "C:\windows" when the system cannot give it.
std::wstring WindowsDirectory(const Services& services);

// a + "\" + b, without doubling a separator that a already ends in.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);

// True when name ends in "." and exactly ext, in any letter case.
bool HasExtension(const std::wstring& name, const std::wstring& ext);

// Runs the three copy passes. A copy never leaves a file that was there
// half-written: it goes to a temporary file in the destination folder that
// then takes the old file's place in one step. A failed copy leaves nothing
// of itself behind.
Result CopyDriverFiles(Services& services, const std::wstring& programFolder);

// heading, then a line per failure: name (folder): reason.
std::wstring FailureMessage(const Services& services, const std::wstring& heading,
                            const std::vector<Failure>& failures);

}  // namespace setup::install
