// What the install and the recovery of earlier installs share: the outcome
// they report, paths and the program's temporary names, the errors that
// mean a file is in use, and the system with this run's facts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "install/Services.h"

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
    // For a driver package Windows refused: the files its INF names that
    // the package lacks, relative to the INF's folder, joined by ", ".
    std::wstring lacking = {};
};

struct Result {
    int copied = 0;                  // files put in place (or to be, at restart)
    std::vector<Failure> failures;   // files not copied, or a package that cannot be installed
    std::vector<Failure> refused;    // driver packages the driver store refused
    // Files (and folders) that could not be read for a check: the install
    // stopped with nothing changed.
    std::vector<Failure> unreadable;
    std::vector<Failure> notRestored;  // old files that could not be put back; the next run does
    bool filesUnchanged = false;     // with failures: every destination file is as it was
    bool restartNeeded = false;      // some files are replaced or removed only at restart
    bool cancelled = false;          // the user cancelled while another install held the lock
    // With filesUnchanged: installed files newer than the package's, their
    // reason "installed version; package's version".
    std::vector<Failure> newer;
};

// The Windows folder, or "C:\windows" when the system cannot give it.
std::wstring WindowsDirectory(const System& system);

// a + "\" + b, without doubling a separator that a already ends in.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);
// The folder of a path, and the name in it.
std::wstring FolderOf(const std::wstring& path);
std::wstring NameOf(const std::wstring& path);

// A path relative to a folder as "\"-joined parts, without empty parts,
// "." parts or separators at either end ("\\amd64\\.\\x.sys": "amd64\\x.sys").
std::wstring RelativePath(std::wstring_view path);

// True when name ends in "." and exactly ext, in any letter case.
bool HasExtension(const std::wstring& name, const std::wstring& ext);

// The program's own temporary names in a destination folder: short,
// whatever the length of the file's name, and never the same for two runs:
// "~setup-" process id "-" start time "-" counter "." kind, in hexadecimal
// (a run of an earlier version, whose start time is 0, left them without
// the start time).
// Kinds: "tmp" a copy on its way, "bak" an old file's second name kept for
// undoing, "old" an old file in use renamed away, "new" a copy that replaces
// its file at restart, "jnl" a journal.
std::wstring TemporaryName(const RunId& run, std::uint32_t counter, const wchar_t* kind);
struct TemporaryNameParts {
    RunId run;
    std::uint32_t counter = 0;
    std::wstring kind;  // in lower case
};
// The parts of a name of exactly that shape and of a known kind; nullopt
// for any other name.
std::optional<TemporaryNameParts> ParseTemporaryName(const std::wstring& name);

// Replacing a file failed because it is open, loaded or mapped by a
// process: renamed away, it can still be replaced now. (A loaded driver
// refuses with access denied.)
inline bool Busy(std::uint32_t error)
{
    return error == kErrorAccessDenied || error == kErrorSharingViolation || error == kErrorUserMappedFile;
}

// Another program (a scanner) may hold a file for a moment without sharing
// it. An operation refused so (Busy) is tried again every kPauseMs until it
// gets through or the run has waited kPatienceMs in all, for all its files
// together: a lock that ends within seconds costs neither a failure nor a
// restart, and one that never ends costs at most that much more time.
class Patience {
public:
    static constexpr std::uint32_t kPauseMs = 100;
    static constexpr std::uint32_t kPatienceMs = 5000;

    explicit Patience(FileFacts& facts) : m_facts(facts) {}

    // attempt() until it returns other than Busy, or the patience is spent;
    // what it last returned.
    template <typename Attempt>
    [[nodiscard]] std::uint32_t Retry(Attempt attempt)
    {
        std::uint32_t error = attempt();
        while (Busy(error) && m_waitedMs < kPatienceMs) {
            m_facts.Pause(kPauseMs);
            m_waitedMs += kPauseMs;
            error = attempt();
        }
        return error;
    }

private:
    FileFacts& m_facts;
    std::uint32_t m_waitedMs = 0;
};

// The system, the Windows folder, this run's temporary names and its
// patience with files held for a moment.
class Context {
public:
    Context(FileSystem& fileSystem, RestartQueue& restartQueue, FolderRedirection& folderRedirection,
            DriverStore& driverStore, System& machine, FileFacts& fileFacts);

    FileSystem& files;
    RestartQueue& restart;
    FolderRedirection& redirection;
    DriverStore& store;
    System& system;
    FileFacts& facts;
    Patience patience;
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
    [[nodiscard]] bool Drop(const std::wstring& path);
    // Adds a line to a journal, waiting for a program that holds it a
    // moment: 0 or the error.
    [[nodiscard]] std::uint32_t AddToJournal(const std::wstring& path, const std::wstring& text);
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
    [[nodiscard]] bool CancelEarlierReplacements(const std::wstring& target, const std::wstring& own);
    // Takes a package this program added out of the driver store again
    // (a 32-bit program on 64-bit Windows has pnputil do it). 0 or the
    // error; a package the store no longer holds is 0.
    [[nodiscard]] std::uint32_t RemovePackage(const std::wstring& publishedName);

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
    FolderRedirection& m_redirection;
    std::uint32_t m_error = 0;
    bool m_off = false;
    void* m_saved = nullptr;
};

// What a folder holds, looked up by name as the file system compares names.
// A few names are looked up one by one; beyond those the folder is listed,
// once, and the rest found in the list. (Under Wine every look-up of a name
// that does not exist searches the whole folder without regard to case.)
// Where the folder cannot be listed to its end, each name is looked up.
class FolderNames {
public:
    static constexpr int kLookUps = 4;  // one by one, before the folder is listed

    FolderNames(const FileSystem& files, const std::wstring& folder) : m_files(files), m_folder(folder) {}
    // The entry's attributes; nullopt when the folder has no such name.
    std::optional<std::uint32_t> Attributes(const std::wstring& name);

private:
    void List();

    const FileSystem& m_files;
    const std::wstring m_folder;
    int m_lookUps = 0;
    bool m_listed = false;
    std::vector<FoundFile> m_entries;
    std::vector<std::pair<std::wstring, std::size_t>> m_ascii;  // names of ASCII characters only, in lower case, sorted
    std::vector<std::size_t> m_others;                      // every other name
};

// Work in one folder: the folder redirection off for it where it applies
// (Error: it could not be turned off), and what the folder holds, listed
// when first asked for.
class FolderScope {
public:
    FolderScope(Context& context, const std::wstring& folder)
        : m_files(context.files), m_folder(folder), m_redirection(context, folder)
    {
    }
    std::uint32_t Error() const { return m_redirection.Error(); }
    FolderNames& Names()
    {
        if (!m_names) m_names.emplace(m_files, m_folder);
        return *m_names;
    }

private:
    const FileSystem& m_files;
    const std::wstring m_folder;
    const Redirection m_redirection;
    std::optional<FolderNames> m_names;
};

// Runs work(element, scope) on each element of [first, last) in the scope
// of the element's folder (folderOf(element)): one scope for each run of
// elements in one folder. Stops when work returns false, and says whether
// it went through (a caller whose work never stops casts that away).
template <typename It, typename FolderOf, typename Work>
[[nodiscard]] bool EachInFolder(Context& context, It first, It last, FolderOf folderOf, Work work)
{
    while (first != last) {
        const std::wstring folder = folderOf(*first);
        FolderScope scope(context, folder);
        for (; first != last && folderOf(*first) == folder; ++first)
            if (!work(*first, scope)) return false;
    }
    return true;
}

// Renaming it away failed because another program holds it open: only the
// restart can replace it. Access denied here is a file that refuses
// everybody, which no restart changes.
inline bool HeldOpen(std::uint32_t error) { return error == kErrorSharingViolation || error == kErrorUserMappedFile; }

}  // namespace setup::install
