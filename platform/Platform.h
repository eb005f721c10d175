// The operating-system services the program's own code calls.
//
// Everything in app/, text/ and install/ talks to Windows only through these
// interfaces, so it builds and is unit-tested on any system. The Windows
// build implements them in platform/Win*.cpp; the unit tests use a fake.
// Nothing here knows the setup window: its controls, events and exit codes
// belong to app/.
#pragma once

#include <cstddef>
#include <cstdint>
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
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorFileExists = 80;

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

// Kernel, profile, text and file services.
class Services {
public:
    virtual ~Services() = default;

    // Full path of the folder that holds the running program, without a
    // separator at its end.
    virtual std::wstring ProgramFolder() const = 0;

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

    // The system's Windows folder; nullopt when the system cannot give it.
    virtual std::optional<std::wstring> WindowsFolder() const = 0;

    // Lists the entries of a folder that match a pattern such as
    // "C:\Package\Driver\*.inf"; nullptr when nothing matches or the
    // folder is missing.
    virtual std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern) const = 0;

    // The attributes of a file or folder; nullopt when it does not exist.
    virtual std::optional<std::uint32_t> Attributes(const std::wstring& path) const = 0;

    // Each returns 0 or the system's error code.
    // Copies source to target; a target that exists is replaced when
    // replace is true, and is an error (kErrorFileExists) otherwise.
    virtual std::uint32_t CopyToFile(const std::wstring& source, const std::wstring& target, bool replace) = 0;
    // Renames from to to in one step, replacing a file that exists there.
    virtual std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) = 0;
    virtual std::uint32_t RemoveFile(const std::wstring& path) = 0;

    // The system's own words for an error code.
    virtual std::wstring ErrorText(std::uint32_t error) const = 0;

    // True for a 32-bit program on 64-bit Windows, whose view of System32
    // the system redirects to SysWOW64.
    virtual bool RunsUnderWow64() const = 0;
    // Turns that redirection off for this thread, and back on.
    virtual bool DisableFolderRedirection() = 0;
    virtual void RestoreFolderRedirection() = 0;
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

// What a control is. The platform gives the default button the Enter key
// and the first focus, and the cancel button the Esc key.
enum class ControlKind { Picture, Label, DefaultButton, CancelButton };

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
    // Ends the program with the exit code; no event runs after it.
    virtual void End(int exitCode) = 0;
};

}  // namespace setup
