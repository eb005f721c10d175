// The program's window as its own procedures see it: a form designed in
// twips, as a form designer lays it out, and the program's run on its
// platform. Implemented on Win32 in platform/WinForm and WinProgram; faked
// in the unit tests.
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

}  // namespace setup
