// What the install asks of the system: its files, the restart work, WOW64's
// folder redirection, the driver store, the program's facts and what the
// driver's files say of themselves. Implemented on Win32 in platform/ and
// faked in the unit tests; each interface is as small as its callers need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// File attributes and error codes, with the values Windows gives them.
constexpr std::uint32_t kAttributeReadOnly = 0x1;
constexpr std::uint32_t kAttributeHidden = 0x2;
constexpr std::uint32_t kAttributeSystem = 0x4;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorAlreadyExists = 183;
constexpr std::uint32_t kErrorDirectory = 267;          // the name is not a folder's
constexpr std::uint32_t kErrorUserMappedFile = 1224;    // the file is mapped into a process
// SetupAPI's answer to a 32-bit program on 64-bit Windows.
constexpr std::uint32_t kErrorInWow64 = 0xE0000235;
// The program's own: a package file has a name Windows gives the packages
// in its driver store (oem<number>.inf). Bit 29 marks codes that are not the
// system's.
constexpr std::uint32_t kErrorReservedName = 0x20000001;
// The package has two folders of .sys files for this Windows' processor
// (amd64 and x64, or x86 and i386): which one holds its driver is unclear.
constexpr std::uint32_t kErrorTwoProcessorFolders = 0x20000002;
// The system said it took a driver package, but no package of the INF
// file's bytes is to be found among the ones it publishes.
constexpr std::uint32_t kErrorNotPublished = 0x20000003;
constexpr std::uint32_t kErrorFileTooLarge = 223;
// A file that another program replaced (or took away) after the install
// looked at it, which the install leaves as it is.
constexpr std::uint32_t kErrorChangedMeanwhile = 0x20000004;
// The restart work cannot be read (ERROR_CANTREAD: a registry key that
// cannot be read).
constexpr std::uint32_t kErrorRestartWorkUnreadable = 1013;

// A file as the file system knows it, whatever its names: its volume and
// index, and with them its size and time of last change, which every name
// of it shares. A file system may give the index of a deleted file to the
// next one made; that one hardly has the same size and time as well.
struct FileId {
    std::uint64_t volume = 0, index = 0, size = 0, written = 0;
    friend bool operator==(const FileId& a, const FileId& b)
    {
        return a.volume == b.volume && a.index == b.index && a.size == b.size && a.written == b.written;
    }
};

struct FoundFile {
    std::wstring name;  // bare name, without folder
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
};

// One search of a folder by a wildcard pattern.
class FileSearch {
public:
    virtual ~FileSearch() = default;
    // The next name (the first on the first call); false at the end of the
    // list and when the search fails.
    [[nodiscard]] virtual bool Next(FoundFile& file) = 0;
    // After Next gave false: 0 at the end of the list, else why the search
    // failed before it.
    [[nodiscard]] virtual std::uint32_t Error() const = 0;
};

// A copy of a package file in its destination folder under a temporary
// name (FileSystem::Stage). Dropped before it is put in place, it is deleted.
class StagedFile {
public:
    virtual ~StagedFile() = default;
    // Renames it to target in one step, replacing the file there if
    // replace, else failing where a file has that name. 0 or the error, in
    // which case it stays a temporary file.
    [[nodiscard]] virtual std::uint32_t PutInPlace(const std::wstring& target, bool replace) = 0;
    // Keeps it for good under another temporary name, which must not exist
    // (for a replacement at restart). 0 or the error.
    [[nodiscard]] virtual std::uint32_t KeepAs(const std::wstring& path) = 0;
    // The file it is, which keeps its id when renamed.
    [[nodiscard]] virtual std::optional<FileId> Id() const = 0;
};

// The machine's install lock, held while it lives.
class InstallLock {
public:
    virtual ~InstallLock() = default;
};

// Work for the system's next start: from is renamed over to, or deleted
// when to is empty.
struct RestartWork {
    std::wstring from, to;
};

// One run of the program, told apart from every other run on the machine:
// its process id, and when the process started (ids are reused, start
// times with them are not). A start time of 0 is a run of an earlier
// version, which named its files by the process id alone.
struct RunId {
    std::uint32_t process = 0;
    std::uint64_t started = 0;
    friend bool operator==(const RunId& a, const RunId& b) { return a.process == b.process && a.started == b.started; }
};

// The files of the install, as the calling thread sees them.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Lists the entries of a folder that match a pattern such as
    // "C:\Package\Driver\*.inf"; nullptr when nothing matches (error 0)
    // or the folder cannot be searched (missing, not a folder, unreadable:
    // the error).
    [[nodiscard]] virtual std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern, std::uint32_t& error) const = 0;

    // True when the two paths name the same file as the file system compares
    // names: without regard to case, for every letter it folds.
    [[nodiscard]] virtual bool SamePath(const std::wstring& a, const std::wstring& b) const = 0;

    // The attributes of a file or folder; nullopt when it does not exist.
    [[nodiscard]] virtual std::optional<std::uint32_t> Attributes(const std::wstring& path) const = 0;
    // The file a name stands for; nullopt when there is none.
    [[nodiscard]] virtual std::optional<FileId> IdOf(const std::wstring& path) const = 0;

    // Copies source into a new file, temporary, which must not exist yet:
    // written, flushed to the disk and given the source's time of last
    // change. Until it is put in place the system deletes it, also when the
    // program ends by any means. nullptr and error when the copy fails, on
    // either side (kErrorFileExists: the temporary name is taken).
    [[nodiscard]] virtual std::unique_ptr<StagedFile> Stage(const std::wstring& source, const std::wstring& temporary,
                                              std::uint32_t& error) = 0;

    // Each of these returns 0 or the system's error code.
    // A second name for a file: link names the same bytes as existing.
    [[nodiscard]] virtual std::uint32_t LinkFile(const std::wstring& existing, const std::wstring& link) = 0;
    // Renames from to to in one step; to must not exist.
    [[nodiscard]] virtual std::uint32_t RenameFile(const std::wstring& from, const std::wstring& to) = 0;
    // Renames from to to in one step, replacing a file that is there.
    [[nodiscard]] virtual std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) = 0;
    [[nodiscard]] virtual std::uint32_t RemoveFile(const std::wstring& path) = 0;
    // Opens a file for deleting, as renaming it needs, and closes it again:
    // kErrorSharingViolation when another program holds it open and does
    // not let it be renamed.
    [[nodiscard]] virtual std::uint32_t CheckRenamable(const std::wstring& path) = 0;
    // Makes the renames in a folder so far survive a power cut.
    [[nodiscard]] virtual std::uint32_t FlushFolder(const std::wstring& folder) = 0;

    // A small text file, written (or added to) and flushed to the disk
    // before this returns; a power cut can cut only the last addition.
    [[nodiscard]] virtual std::uint32_t WriteJournal(const std::wstring& path, const std::wstring& text, bool append) = 0;
    // Its whole text: 0 or the error.
    [[nodiscard]] virtual std::uint32_t ReadJournal(const std::wstring& path, std::wstring& text) const = 0;
};

// The work Windows does with files when it next starts, before anything
// can use them, as the install records it and reads it back.
class RestartQueue {
public:
    virtual ~RestartQueue() = default;
    // Deleting path, or renaming from over to; 0 or the system's error.
    [[nodiscard]] virtual std::uint32_t DeleteAtRestart(const std::wstring& path) = 0;
    [[nodiscard]] virtual std::uint32_t ReplaceAtRestart(const std::wstring& from, const std::wstring& to) = 0;
    // The work recorded for the next start, by this program and others;
    // nullopt when it cannot be read.
    [[nodiscard]] virtual std::optional<std::vector<RestartWork>> PendingRestartWork() const = 0;
};

// The folder redirection of a 32-bit program on 64-bit Windows (WOW64).
class FolderRedirection {
public:
    virtual ~FolderRedirection() = default;
    // True for a 32-bit program on 64-bit Windows, whose view of System32
    // the system redirects to SysWOW64.
    [[nodiscard]] virtual bool RunsUnderWow64() const = 0;
    // Turns that redirection off for the calling thread: 0 or the error,
    // and in saved what turns it back as it was. Calls nest, each with its
    // own saved state.
    [[nodiscard]] virtual std::uint32_t DisableFolderRedirection(void*& saved) = 0;
    virtual void RestoreFolderRedirection(void* saved) = 0;
};

// The system's store of driver packages.
class DriverStore {
public:
    virtual ~DriverStore() = default;
    // Adds a driver package from its INF file where it lies
    // (SetupCopyOEMInf). added tells whether the store did not hold it yet;
    // publishedName is the name it has there. 0 or the error.
    [[nodiscard]] virtual std::uint32_t Add(const std::wstring& inf, std::wstring& publishedName, bool& added) = 0;
    // Takes a package this program added out of the store again.
    [[nodiscard]] virtual std::uint32_t Remove(const std::wstring& publishedName) = 0;
};

// Facts of the running program and its machine.
class System {
public:
    virtual ~System() = default;

    // Full path of the folder that holds the running program, without a
    // separator at its end.
    virtual std::wstring ProgramFolder() const = 0;
    // The system's Windows folder; nullopt when the system cannot give it.
    [[nodiscard]] virtual std::optional<std::wstring> WindowsFolder() const = 0;
    // This run of the program.
    virtual RunId ThisRun() const = 0;
    // The system's own words for an error code, with their inserts (%1)
    // as they are; empty when it has none.
    virtual std::wstring ErrorText(std::uint32_t error) const = 0;

    // One install at a time on the machine, whatever the package. Waits for
    // the lock, calling waiting once if another install holds it, until it
    // is free or cancelled() says to stop. A lock whose holder died is free.
    // nullptr when cancelled (error 0) or when it cannot be had (the error).
    [[nodiscard]] virtual std::unique_ptr<InstallLock> LockInstalls(const std::function<void()>& waiting,
                                                      const std::function<bool()>& cancelled,
                                                      std::uint32_t& error) = 0;

    // Runs a program of System32 without a window, in System32, and waits
    // for it; its exit code in exitCode when it ran. 0 or the error.
    [[nodiscard]] virtual std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments,
                                    std::uint32_t& exitCode) = 0;
};

// ---- What the install reads in the driver's files, and its pauses.

// The system's error for a program image built for another processor.
constexpr std::uint32_t kErrorMachineMismatch = 216;

class FileFacts {
public:
    virtual ~FileFacts() = default;
    // Loads what the calls below need from the system. Called once, before
    // the calling thread turns any folder redirection off.
    virtual void Prepare() = 0;
    // A driver file's version as text. For an INF file (inf true) DriverVer
    // of its [Version] section as the system's INF parser reads it
    // (comments, quotes, %key% from [Strings]), its fields joined by ",";
    // for any other the numeric file version of its version resource
    // (VS_FIXEDFILEINFO) as "w.x.y.z". Empty when it has none or is no such
    // file; the error only when the file could not be read
    // (kErrorSharingViolation: another program holds it).
    [[nodiscard]] virtual std::uint32_t FileVersion(const std::wstring& path, bool inf, std::wstring& text) const = 0;
    // Up to size bytes of a file from offset into buffer; read says how
    // many (fewer past its end). 0 or the error.
    [[nodiscard]] virtual std::uint32_t ReadAt(const std::wstring& path, std::uint64_t offset, char* buffer,
                                               std::size_t size, std::size_t& read) const = 0;
    // A whole file of at most limit bytes: 0 or the error
    // (kErrorFileTooLarge for a longer one).
    [[nodiscard]] virtual std::uint32_t ReadFile(const std::wstring& path, std::size_t limit, std::vector<char>& bytes) const = 0;
    // What an INF file needs from its package for the processor whose
    // sections bear decoration (amd64; empty: only the undecorated ones),
    // as the system's INF parser reads it: the catalog it names
    // (CatalogFile.NT<decoration>, CatalogFile.NT, CatalogFile; empty when
    // none), then each
    // source file of SourceDisksFiles (its decorated section first) with the
    // path SourceDisksNames gives its disk (decorated first) and its own
    // folder before it, "\"-joined as the INF writes them. Empty when the
    // INF cannot be read.
    [[nodiscard]] virtual std::vector<std::wstring> InfNeeds(const std::wstring& inf, const std::wstring& decoration) const = 0;
    // The processor this Windows' kernel runs on, as a PE image's machine
    // field names it (0x14c x86, 0x8664 x64, 0xaa64 ARM64); 0 when unknown.
    virtual std::uint16_t KernelMachine() const = 0;
    // Holds the calling thread for ms milliseconds.
    virtual void Pause(std::uint32_t ms) = 0;
};

}  // namespace setup
