// A form on Win32: one top-level window with a banner picture, labels and
// push buttons, laid out in twips and scaled by the window's DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assets/Picture.h"
#include "app/Form.h"
#include "platform/WinBackgroundWork.h"
#include "platform/WinHandles.h"
#include "platform/WinPicture.h"
#include "platform/WinWindow.h"

namespace setup {

// The title of the program's message boxes: the product name of a vendor's
// build, from its string resource; "Setup" without one.
const wchar_t* MessageTitle();

class WinForm final : public win::BaseWindow<WinForm, Form> {
public:
    // beforeControls runs beside the making of the window (see
    // StoredPictureLoad), and is over before any control exists;
    // beforeShowing runs after it, beside the making of the controls, and is
    // over before the window shows.
    WinForm(const FormDesign& design, win::StoredPictureLoad::Work beforeControls,
            win::StoredPictureLoad::Work beforeShowing = nullptr);
    ~WinForm() override;
    WinForm(const WinForm&) = delete;
    WinForm& operator=(const WinForm&) = delete;

    // Creates the window and its controls, not yet shown; false when
    // Windows cannot make them. A tag, when given, marks the window for
    // other processes to find (FindTaggedWindow).
    [[nodiscard]] bool Create(FormCallbacks& callbacks, const std::wstring& tag = {});
    // Runs the load event, shows the window and runs the message loop until
    // the window is gone. Returns the exit code. An exception thrown while a
    // message was handled ends the loop and is thrown again from here, once
    // the window is gone.
    int Run();

    Twips Geometry(ControlId control) const override;
    void Move(ControlId control, const Twips& rect) override;
    double ScaleWidth() const override { return m_scaleWidth; }
    void SetText(ControlId control, const std::wstring& text) override;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;
    void Post(std::function<void()> fn) override;
    void AllowWhileBusy(ControlId control, bool allowed) override;
    void RunInBackground(std::function<void()> work, std::function<void()> done) override;
    void End(int exitCode) override;

private:
    struct Item {
        ControlDesign design;
        int childId = 0;  // the control's id as a child window
        HWND hwnd = nullptr;
        PixelRect placed;  // where it is, in pixels at m_dpi
        bool allowedWhileBusy = false;
    };

    friend class win::BaseWindow<WinForm, Form>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnFailed() noexcept;
    void OnCommand(int id, int code);
    void OnActivate(bool active);
    bool OnGetDpiScaledSize(UINT dpi, SIZE* size) const;
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnDrawItem(const DRAWITEMSTRUCT& draw);
    void OnWorkDone();
    void OnClose();
    BOOL OnQueryEndSession();
    void OnDestroy();
    void SetBusy();

    [[nodiscard]] bool CreateControls();
    [[nodiscard]] bool CreateControl(Item& item);
    void ApplyFont();
    SIZE WindowSizeFor(UINT dpi) const;
    RECT PlaceOnMonitor(HMONITOR monitor, UINT dpi) const;  // the window's rectangle, centred on its work area
    void PlaceControls();  // every control and the banner's pixels for m_dpi
    void PlaceControl(Item& item);
    void MakeBannerBitmap(const Item& item);
    int EdgeWidth() const;
    picture::Size BannerSizeAt(UINT dpi) const;  // inside its edge
    Item* Find(ControlId control);
    const Item* Find(ControlId control) const;
    Item* FindChild(int childId);
    HWND FirstFocus() const;

    double m_scaleWidth;
    double m_scaleHeight;
    std::vector<Item> m_items;
    UINT m_dpi = 96;
    win::UniqueGdi m_font;
    win::StoredPictureLoad m_bannerLoad;
    picture::Image m_banner;       // as stored, twice the size shown at 96 DPI
    win::UniqueGdi m_bannerShown;  // scaled to the picture control at m_dpi
    FormCallbacks* m_callbacks = nullptr;
    HWND m_lastFocus = nullptr;
    std::wstring m_tag;
    win::BackgroundWork m_background;
    HWND m_postTo = nullptr;  // where Post sends, from any thread; set before the work starts
    bool m_busy = false;
    bool m_inLoop = false;
    bool m_ended = false;
    int m_exitCode = 0;
};

// The window of another process that Create marked with tag; nullptr when
// there is none.
HWND FindTaggedWindow(const std::wstring& tag);

}  // namespace setup
