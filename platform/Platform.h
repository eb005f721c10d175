// The operating-system services the program's own code calls.
//
// Everything in app/, text/ and install/ talks to Windows only through these
// two interfaces, so it builds and is unit-tested on any system. The Windows
// build implements them in platform/Win*.cpp; the unit tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

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

    // The key's value decoded to wide characters; def when the file, the
    // section or the key is missing. Returns at least the first 254
    // characters of a long value; the caller applies the length limit.
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

// The controls of a form, and the form itself.
enum class Control { Form, img, lbl, cmdNext, cmdCancel };

// A rectangle in twips: 1440 to the inch, 15 to the pixel at 96 DPI.
struct Twips {
    double left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Twips& a, const Twips& b)
    {
        return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
    }
};

enum class ControlKind { Picture, Label, DefaultButton, CancelButton };

struct ControlDesign {
    Control id;
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

// The events a form answers.
class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void Form_Load() = 0;  // before the form is first shown
    virtual void cmdNext_Click() = 0;
    virtual void cmdCancel_Click() = 0;
};

enum class MessageIcon { None, Warning };

// The window as its own procedures see it. Positions are in twips.
class Form {
public:
    virtual ~Form() = default;
    virtual Twips Geometry(Control control) const = 0;
    virtual void Move(Control control, const Twips& rect) = 0;
    virtual double ScaleWidth() const = 0;  // inner width in twips
    virtual void SetText(Control control, const std::wstring& text) = 0;
    // A modal message with a single OK button; returns when it is closed.
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
    // Ends the program with the exit code; no event runs after it.
    virtual void End(int exitCode) = 0;
};

}  // namespace setup
