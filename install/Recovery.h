// What the install and the recovery of earlier installs share, and the
// recovery itself: taking back what a run that died half-way changed, and
// clearing the program's leftovers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/DriverInstall.h"

namespace setup::install {

// Replacing a file failed because it is open, loaded or mapped by a
// process: renamed away, it can still be replaced now. (A loaded driver
// refuses with access denied.)
inline bool Busy(std::uint32_t error)
{
    return error == kErrorAccessDenied || error == kErrorSharingViolation || error == kErrorUserMappedFile;
}

// The system, the Windows folder and this run's temporary names.
class Context {
public:
    Context(FileSystem& fileSystem, DriverStore& driverStore, System& facts);

    FileSystem& files;
    DriverStore& store;
    System& system;
    const std::wstring windows;
    const RunId run;

    // True for a path below System32, which WOW64 redirects.
    bool InSystem32(const std::wstring& path) const;

    // A counter for this run's temporary names that no name left in a
    // folder swept so far uses.
    std::uint32_t NewCounter();
    void CounterTaken(std::uint32_t counter) { m_taken.push_back(counter); }
    std::wstring TemporaryPath(const std::wstring& folder, std::uint32_t counter, const wchar_t* kind) const
    {
        return JoinPath(folder, TemporaryName(run, counter, kind));
    }

    bool Exists(const std::wstring& path) const { return files.Attributes(path).has_value(); }
    bool SameFile(const std::wstring& a, const std::wstring& b) const;
    // Lets go of a name the old file no longer needs: now, or when Windows
    // next starts if it is in use. False when neither can be done.
    bool Drop(const std::wstring& path);
    // Reads the work recorded for the next start, once, before anything
    // turns the folder redirection off; later calls give what it read
    // (nullopt: it could not be read).
    const std::optional<std::vector<RestartWork>>& Pending();
    // The copies that earlier runs of this program left to replace target
    // at the next start, but own; all of them when the work cannot be read
    // (then nullopt).
    std::optional<std::vector<std::wstring>> EarlierReplacements(const std::wstring& target, const std::wstring& own);
    // Deletes those copies, so that the restart has nothing to move over the
    // file this run put there. False when one could not be deleted (held
    // open) or the work could not be read: then only a replacement of this
    // run's own after them makes the restart end with its file.
    bool CancelEarlierReplacements(const std::wstring& target, const std::wstring& own);

private:
    std::vector<std::uint32_t> m_taken;  // by names left from a killed process with this one's id
    std::uint32_t m_counter = 0;
    bool m_pendingRead = false;
    std::optional<std::vector<RestartWork>> m_pending;
};

// WOW64 redirection turned off, on this thread, while a 32-bit program on
// 64-bit Windows works in a folder below System32; scopes nest, each
// turning it back as it found it.
class Redirection {
public:
    Redirection(Context& context, const std::wstring& folder);
    ~Redirection();
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;
    std::uint32_t Error() const { return m_error; }

private:
    FileSystem& m_files;
    std::uint32_t m_error = 0;
    bool m_off = false;
    void* m_saved = nullptr;
};

// Takes back every install whose journal says it did not finish, and
// finishes the ones that did. False when some file could not be put back
// (result.notRestored names it); its journal stays for the next run.
bool Recover(Context& context, Result& result);

// Removes the leftovers in a destination folder that are safe to remove:
// copies on their way (.tmp) and copies for a restart that no longer waits
// for them (.new), of exactly the program's name shape. An old file's
// names (.bak, .old) are left to the journals. Notes the names taken.
void Sweep(Context& context, const std::wstring& folder);

}  // namespace setup::install
