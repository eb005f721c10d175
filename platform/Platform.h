// The operating-system services the program's own code calls.
//
// Everything outside platform/ talks to Windows only through these
// interfaces (the two programs' wmain aside), so it builds and is
// unit-tested on any system: the native build compiles it all. The Windows
// build implements them in platform/Win*.cpp; the unit tests use fakes.
// Nothing here knows the setup window: its controls, events and exit codes
// belong to app/.
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
};

// One search of a folder by a wildcard pattern.
class FileSearch {
public:
    virtual ~FileSearch() = default;
    // The next name (the first on the first call); false at the end of the
    // list and when the search fails.
    virtual bool Next(FoundFile& file) = 0;
};

// A copy of a package file in its destination folder under a temporary
// name (FileSystem::Stage). Dropped before it is put in place, it is deleted.
class StagedFile {
public:
    virtual ~StagedFile() = default;
    // Renames it to target in one step, replacing the file there. 0 or the
    // error, in which case it stays a temporary file.
    virtual std::uint32_t PutInPlace(const std::wstring& target) = 0;
    // Keeps it for good under another temporary name, which must not exist
    // (for a replacement at restart). 0 or the error.
    virtual std::uint32_t KeepAs(const std::wstring& path) = 0;
    // The file it is, which keeps its id when renamed.
    virtual std::optional<FileId> Id() const = 0;
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

// What the text table is read with: the system's language and the profile
// (INI file) reader, in the system's ANSI code page.
class TextServices {
public:
    virtual ~TextServices() = default;

    virtual std::uint16_t SystemDefaultLangId() const = 0;

    // The key's value as a signed 32-bit number; def when the file, the
    // section or the key is missing.
    virtual std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key,
                                    std::int32_t def, const std::wstring& file) const = 0;

    // The key's value decoded to wide characters, without NULs; def when
    // the file, the section or the key is missing. Returns at least the
    // first 254 characters of a long value; the caller applies the length
    // limit.
    virtual std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                                       const std::wstring& def,
                                       const std::wstring& file) const = 0;

    // Names of the keys of a section (empty when the file or section is
    // missing); nullopt when the list could not be read whole.
    virtual std::optional<std::vector<std::wstring>> ProfileKeys(
        const std::wstring& section, const std::wstring& file) const = 0;

    // Bytes the text takes in the system's ANSI code page.
    virtual std::size_t AnsiSize(std::wstring_view text) const = 0;
};

// The files of the install, as the calling thread sees them.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Lists the entries of a folder that match a pattern such as
    // "C:\Package\Driver\*.inf"; nullptr when nothing matches (error 0)
    // or the folder cannot be searched (missing, not a folder, unreadable:
    // the error).
    virtual std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern, std::uint32_t& error) const = 0;

    // True when the two paths name the same file as the file system compares
    // names: without regard to case, for every letter it folds.
    virtual bool SamePath(const std::wstring& a, const std::wstring& b) const = 0;

    // The attributes of a file or folder; nullopt when it does not exist.
    virtual std::optional<std::uint32_t> Attributes(const std::wstring& path) const = 0;
    // The file a name stands for; nullopt when there is none.
    virtual std::optional<FileId> IdOf(const std::wstring& path) const = 0;

    // Copies source into a new file, temporary, which must not exist yet:
    // written, flushed to the disk and given the source's time of last
    // change. Until it is put in place the system deletes it, also when the
    // program ends by any means. nullptr and error when the copy fails, on
    // either side (kErrorFileExists: the temporary name is taken).
    virtual std::unique_ptr<StagedFile> Stage(const std::wstring& source, const std::wstring& temporary,
                                              std::uint32_t& error) = 0;

    // Each of these returns 0 or the system's error code.
    // A second name for a file: link names the same bytes as existing.
    virtual std::uint32_t LinkFile(const std::wstring& existing, const std::wstring& link) = 0;
    // Renames from to to in one step; to must not exist.
    virtual std::uint32_t RenameFile(const std::wstring& from, const std::wstring& to) = 0;
    // Renames from to to in one step, replacing a file that is there.
    virtual std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) = 0;
    virtual std::uint32_t RemoveFile(const std::wstring& path) = 0;
    // Opens a file for deleting, as renaming it needs, and closes it again:
    // kErrorSharingViolation when another program holds it open and does
    // not let it be renamed.
    virtual std::uint32_t CheckRenamable(const std::wstring& path) = 0;
    // Makes the renames in a folder so far survive a power cut.
    virtual std::uint32_t FlushFolder(const std::wstring& folder) = 0;

    // A small text file, written (or added to) and flushed to the disk
    // before this returns; a power cut can cut only the last addition.
    virtual std::uint32_t WriteJournal(const std::wstring& path, const std::wstring& text, bool append) = 0;
    // Its whole text: 0 or the error.
    virtual std::uint32_t ReadJournal(const std::wstring& path, std::wstring& text) const = 0;
};

// The work Windows does with files when it next starts, before anything
// can use them, as the install records it and reads it back.
class RestartQueue {
public:
    virtual ~RestartQueue() = default;
    // Deleting path, or renaming from over to; 0 or the system's error.
    virtual std::uint32_t DeleteAtRestart(const std::wstring& path) = 0;
    virtual std::uint32_t ReplaceAtRestart(const std::wstring& from, const std::wstring& to) = 0;
    // The work recorded for the next start, by this program and others;
    // nullopt when it cannot be read.
    virtual std::optional<std::vector<RestartWork>> PendingRestartWork() const = 0;
};

// The folder redirection of a 32-bit program on 64-bit Windows (WOW64).
class FolderRedirection {
public:
    virtual ~FolderRedirection() = default;
    // True for a 32-bit program on 64-bit Windows, whose view of System32
    // the system redirects to SysWOW64.
    virtual bool RunsUnderWow64() const = 0;
    // Turns that redirection off for the calling thread: 0 or the error,
    // and in saved what turns it back as it was. Calls nest, each with its
    // own saved state.
    virtual std::uint32_t DisableFolderRedirection(void*& saved) = 0;
    virtual void RestoreFolderRedirection(void* saved) = 0;
};

// The system's store of driver packages.
class DriverStore {
public:
    virtual ~DriverStore() = default;
    // Adds a driver package from its INF file where it lies
    // (SetupCopyOEMInf). added tells whether the store did not hold it yet;
    // publishedName is the name it has there. 0 or the error.
    virtual std::uint32_t Add(const std::wstring& inf, std::wstring& publishedName, bool& added) = 0;
    // Takes a package this program added out of the store again.
    virtual std::uint32_t Remove(const std::wstring& publishedName) = 0;
};

// Facts of the running program and its machine.
class System {
public:
    virtual ~System() = default;

    // Full path of the folder that holds the running program, without a
    // separator at its end.
    virtual std::wstring ProgramFolder() const = 0;
    // The system's Windows folder; nullopt when the system cannot give it.
    virtual std::optional<std::wstring> WindowsFolder() const = 0;
    // This run of the program.
    virtual RunId ThisRun() const = 0;
    // The system's own words for an error code.
    virtual std::wstring ErrorText(std::uint32_t error) const = 0;

    // One install at a time on the machine, whatever the package. Waits for
    // the lock, calling waiting once if another install holds it, until it
    // is free or cancelled() says to stop. A lock whose holder died is free.
    // nullptr when cancelled (error 0) or when it cannot be had (the error).
    virtual std::unique_ptr<InstallLock> LockInstalls(const std::function<void()>& waiting,
                                                      const std::function<bool()>& cancelled,
                                                      std::uint32_t& error) = 0;

    // Runs a program of System32 without a window, in System32, and waits
    // for it; its exit code in exitCode when it ran. 0 or the error.
    virtual std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments,
                                    std::uint32_t& exitCode) = 0;
};

class FileFacts;  // at the end of this file

// The services as the program's start hands them out.
struct Services {
    TextServices& texts;
    FileSystem& files;
    RestartQueue& restart;
    FolderRedirection& redirection;
    DriverStore& store;
    System& system;
    FileFacts& facts;
};


// ---- Forms: a window designed in twips, as a form designer lays it out.

// Names a control of a form; kFormId names the form itself.
using ControlId = int;
constexpr ControlId kFormId = 0;

// A rectangle in twips: 1440 to the inch, 15 to the pixel at 96 DPI.
struct Twips {
    double left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Twips& a, const Twips& b)
    {
        return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
    }
};

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect& a, const PixelRect& b)
    {
        return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
    }
};

// twips * dpi / 1440, rounded to the nearest pixel, halves away from zero.
inline int TwipsToPixels(double twips, unsigned dpi)
{
    const auto t = static_cast<std::int64_t>(twips < 0 ? twips - 0.5 : twips + 0.5);
    const std::int64_t scaled = t * static_cast<std::int64_t>(dpi);
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// The edges are scaled, not the sizes, so that controls that touch at one
// DPI touch at every DPI.
inline PixelRect ToPixels(const Twips& r, unsigned dpi)
{
    const int left = TwipsToPixels(r.left, dpi);
    const int top = TwipsToPixels(r.top, dpi);
    return {left, top, TwipsToPixels(r.left + r.width, dpi) - left, TwipsToPixels(r.top + r.height, dpi) - top};
}

// What a control is. The platform gives the default button the Enter key
// and the first focus, and the cancel button the Esc key.
// A progress bar shows only while the form works in the background.
enum class ControlKind { Picture, Label, DefaultButton, CancelButton, Progress };

struct ControlDesign {
    ControlId id;
    ControlKind kind;
    Twips rect;
};

// A form as it stands at design time: its inner size and its controls in
// tab order.
struct FormDesign {
    double scaleWidth;
    double scaleHeight;
    std::vector<ControlDesign> controls;
};

// What a form tells its owner.
class FormCallbacks {
public:
    virtual ~FormCallbacks() = default;
    virtual void Load() = 0;                    // before the form is first shown
    virtual void Click(ControlId control) = 0;  // a button was pressed
};

enum class MessageIcon { None, Warning };

// The window as its own procedures see it. Positions are in twips.
class Form {
public:
    virtual ~Form() = default;
    virtual Twips Geometry(ControlId control) const = 0;
    virtual void Move(ControlId control, const Twips& rect) = 0;
    virtual double ScaleWidth() const = 0;  // inner width in twips
    virtual void SetText(ControlId control, const std::wstring& text) = 0;
    // A modal message with a single OK button; returns when it is closed.
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
    // Runs fn on the form's thread; callable from any thread. Dropped once
    // the form is gone.
    virtual void Post(std::function<void()> fn) = 0;
    // While the form works in the background: lets the user press this
    // control (and Esc or the close box, for the cancel button) after all,
    // or not again.
    virtual void AllowWhileBusy(ControlId control, bool allowed) = 0;
    // Runs work on another thread while the form shows that it is busy (its
    // buttons disabled, its progress bar moving, a wait cursor), ignores
    // clicks, Esc and its close box, and asks the session not to end; then
    // runs done on the form's thread,
    // after dropping the keys and clicks that came meanwhile. An exception
    // thrown by work is thrown on the form's thread instead of done.
    virtual void RunInBackground(std::function<void()> work, std::function<void()> done) = 0;
    // Ends the program with the exit code; no event runs after it.
    virtual void End(int exitCode) = 0;
};

// The program's run on its platform: one copy per package, its form, and
// the words for a start that cannot go on.
class Program {
public:
    virtual ~Program() = default;

    // True for the first copy of the package in its folder, whatever path
    // reached it; a second copy brings the first one's window to the front
    // instead.
    virtual bool ClaimPackage(const std::wstring& programFolder) = 0;

    using FormFactory = std::function<std::unique_ptr<FormCallbacks>(Form& form)>;
    enum class FormEnd { Ended, NoWindow, OutOfMemory, Failed };
    // Runs the form until it ends; exitCode is the code it ended with.
    virtual FormEnd RunForm(const FormDesign& design, const FormFactory& createForm, int& exitCode) = 0;

    // A message with an error icon, when there is no window to own it.
    virtual void ShowFatalMessage(const std::wstring& text) = 0;
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
    virtual std::uint32_t FileVersion(const std::wstring& path, bool inf, std::wstring& text) const = 0;
    // Up to size bytes from the start of a file into buffer; read says how
    // many. 0 or the error.
    virtual std::uint32_t ReadStart(const std::wstring& path, char* buffer, std::size_t size, std::size_t& read) const = 0;
    // The processor this Windows' kernel runs on, as a PE image's machine
    // field names it (0x14c x86, 0x8664 x64, 0xaa64 ARM64); 0 when unknown.
    virtual std::uint16_t KernelMachine() const = 0;
    // Holds the calling thread for ms milliseconds.
    virtual void Pause(std::uint32_t ms) = 0;
};

}  // namespace setup
