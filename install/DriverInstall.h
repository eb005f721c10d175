// Installs the driver's files from the package's Driver folder into the
// Windows folder, by extension:
//   *.inf -> <Windows>\Inf
//   *.pdr -> <Windows>\System\IoSubSys   (only where that folder exists)
//   *.sys -> <Windows>\System32\Drivers
// and adds the package's INF files to the system's driver store.
//
// One install at a time on the machine: it first takes the machine's
// install lock, then takes back what an earlier run that died half-way left
// (its journal says what), and clears the program's leftovers.
//
// All or nothing: every file is first copied, flushed, beside its target
// under a temporary name that dies with the program. Then the journal is
// written, every old file gets a second name to come back from, and each
// target is checked to be replaceable. Only then do the INF files go to the
// driver store and the copies take their places, each by one rename over the
// old file. A file in use is renamed away first, or replaced when Windows
// restarts. A rename that fails otherwise undoes the ones made before it,
// and the packages the run added to the driver store.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace setup::install {

// Where a failure names the driver store, or the machine's install lock,
// instead of a folder.
constexpr wchar_t kDriverStore[] = L"driver store";
constexpr wchar_t kInstallLock[] = L"install lock";

struct Failure {
    std::wstring name;    // the file's name
    std::wstring folder;  // the folder it was to go to, or kDriverStore
    std::uint32_t error;  // the system's error code
    std::wstring reason = {};  // when not empty, said in place of the error's text
};

struct Result {
    int copied = 0;                  // files put in place (or to be, at restart)
    std::vector<Failure> failures;   // files not copied, and driver packages the system refused
    std::vector<Failure> notRestored;  // old files that could not be put back; the next run does
    bool filesUnchanged = false;     // with failures: every destination file is as it was
    bool restartNeeded = false;      // some files are replaced or removed only at restart
    bool cancelled = false;          // the user cancelled while another install held the lock
    // With filesUnchanged: installed files newer than the package's, their
    // reason "installed version; package's version".
    std::vector<Failure> newer;
};

// Between the user and an install that waits for the machine's lock: the
// user may cancel only until the install starts.
class StartGate {
public:
    // The user's cancel: true when the install had not started, and now
    // never will.
    bool Cancel()
    {
        int expected = kWaiting;
        return m_state.compare_exchange_strong(expected, kCancelled) || expected == kCancelled;
    }
    // The install's start: false when it was cancelled.
    bool Start()
    {
        int expected = kWaiting;
        return m_state.compare_exchange_strong(expected, kStarted) || expected == kStarted;
    }
    bool Cancelled() const { return m_state.load() == kCancelled; }

private:
    enum { kWaiting, kCancelled, kStarted };
    std::atomic<int> m_state{kWaiting};
};

// What the install tells its window while it runs, on its own thread.
struct Progress {
    std::function<void()> waiting;  // another install holds the lock
    std::function<void()> started;  // after waiting: the lock is ours
    StartGate* gate = nullptr;      // nullptr: it cannot be cancelled
};

// The Windows folder, or "C:\windows" when the system cannot give it.
std::wstring WindowsDirectory(const System& system);

// a + "\" + b, without doubling a separator that a already ends in.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);

// True when name ends in "." and exactly ext, in any letter case.
bool HasExtension(const std::wstring& name, const std::wstring& ext);

// The program's own temporary names in a destination folder: short,
// whatever the length of the file's name, and never the same for two
// processes: "~setup-" process id "-" counter "." kind, in hexadecimal.
// Kinds: "tmp" a copy on its way, "bak" an old file's second name kept for
// undoing, "old" an old file in use renamed away, "new" a copy that replaces
// its file at restart, "jnl" a journal.
std::wstring TemporaryName(std::uint32_t processId, std::uint32_t counter, const wchar_t* kind);
struct TemporaryNameParts {
    std::uint32_t processId = 0, counter = 0;
    std::wstring kind;  // in lower case
};
// The parts of a name of exactly that shape and of a known kind; nullopt
// for any other name.
std::optional<TemporaryNameParts> ParseTemporaryName(const std::wstring& name);

// A name Windows gives the packages of its driver store: "oem", a number,
// ".inf", in any letter case.
bool IsReservedInfName(const std::wstring& name);

// Adds a driver package to the driver store. A 32-bit program on 64-bit
// Windows, which SetupAPI refuses, has the system's 64-bit pnputil do it
// (and cannot tell what it added). 0 or the error.
std::uint32_t RegisterDriverPackage(DriverStore& store, System& system, const std::wstring& windows,
                                    const std::wstring& inf, std::wstring& publishedName, bool& added);

// The whole install.
Result InstallDriverFiles(FileSystem& files, DriverStore& store, System& system, FileFacts& facts,
                          const std::wstring& programFolder,
                          const Progress& progress = {});

}  // namespace setup::install
