// Installs the driver's files from the package's Driver folder into the
// Windows folder, by extension:
//   *.inf -> <Windows>\Inf
//   *.pdr -> <Windows>\System\IoSubSys   (only where that folder exists)
//   *.sys -> <Windows>\System32\Drivers
// and adds the package's INF files to the system's driver store.
//
// All or nothing: every file is first copied, flushed, beside its target
// under a temporary name that dies with the program. Only when every copy
// is there do the INF files go to the driver store and the copies take
// their places, each by one rename over the old file. A file in use is
// renamed away first, or replaced when Windows restarts. A rename that fails
// otherwise undoes the ones made before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace setup::install {

// Where a failure names the driver store instead of a folder.
constexpr wchar_t kDriverStore[] = L"driver store";

struct Failure {
    std::wstring name;    // the file's name
    std::wstring folder;  // the folder it was to go to, or kDriverStore
    std::uint32_t error;  // the system's error code
};

struct Result {
    int copied = 0;                  // files put in place (or to be, at restart)
    std::vector<Failure> failures;   // files not copied, and driver packages the system refused
    bool filesUnchanged = false;     // with failures: every destination file is as it was
    bool restartNeeded = false;      // some files are replaced or removed only at restart
};

// The failure lines a message shows before it sums up the rest.
constexpr std::size_t kMaxFailureLines = 20;

// The Windows folder, or "C:\windows" when the system cannot give it.
std::wstring WindowsDirectory(const Services& services);

// a + "\" + b, without doubling a separator that a already ends in.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);

// True when name ends in "." and exactly ext, in any letter case.
bool HasExtension(const std::wstring& name, const std::wstring& ext);

// The program's own temporary names in a destination folder: short,
// whatever the length of the file's name, and never the same for two
// processes: "~setup-" process id "-" counter "." kind, in hexadecimal.
// Kinds: "tmp" a copy on its way, "bak" an old file's second name kept for
// undoing, "old" an old file in use renamed away, "new" a copy that replaces
// its file at restart.
std::wstring TemporaryName(std::uint32_t processId, std::uint32_t counter, const wchar_t* kind);
// True for a name that a killed or powered-off program may have left and
// that no restart will take care of: any of the kinds but "new".
bool IsLeftover(const std::wstring& name);

// Adds a driver package to the driver store. A 32-bit program on 64-bit
// Windows, which SetupAPI refuses, has the system's 64-bit pnputil do it.
// 0 or the error.
std::uint32_t RegisterDriverPackage(Services& services, const std::wstring& windows, const std::wstring& inf);

// The whole install.
Result InstallDriverFiles(Services& services, const std::wstring& programFolder);

// heading, then a line per failure: name (folder): reason.
std::wstring FailureMessage(const Services& services, const std::wstring& heading,
                            const std::vector<Failure>& failures);

}  // namespace setup::install
