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

#include "install/Context.h"

namespace setup::install {

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

// A name Windows gives the packages of its driver store: "oem", a number,
// ".inf", in any letter case.
bool IsReservedInfName(const std::wstring& name);

// Adds a driver package to the driver store from its INF file. A 32-bit
// program on 64-bit Windows, which SetupAPI refuses, has the system's 64-bit
// pnputil do it. publishedName is the name the store gives it, and added
// whether it did not hold the package before. 0 or the error.
[[nodiscard]] std::uint32_t RegisterDriverPackage(Context& context, const std::wstring& inf, std::wstring& publishedName,
                                                  bool& added);

// The whole install.
Result InstallDriverFiles(FileSystem& files, RestartQueue& restart, FolderRedirection& redirection, DriverStore& store,
                          System& system, FileFacts& facts,
                          const std::wstring& programFolder,
                          const Progress& progress = {});

}  // namespace setup::install
