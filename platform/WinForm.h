// A form on Win32: one top-level window with a banner picture, a label and
// two push buttons, laid out in twips and scaled by the window's DPI.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/Platform.h"
#include "platform/WinHandles.h"

namespace setup {

class WinForm final : public Form {
public:
    explicit WinForm(const FormDesign& design);
    ~WinForm() override;
    WinForm(const WinForm&) = delete;
    WinForm& operator=(const WinForm&) = delete;

    // Creates the window, runs the load event, shows the window and runs the
    // message loop until the window is gone. Returns the exit code.
    int Run(FormEvents& events);

    Twips Geometry(Control control) const override;
    void Move(Control control, const Twips& rect) override;
    double ScaleWidth() const override { return m_scaleWidth; }
    void SetText(Control control, const std::wstring& text) override;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;
    void End(int exitCode) override;

private:
    struct Item {
        ControlDesign design;
        HWND hwnd = nullptr;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void OnActivate(bool active);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnDestroy();

    bool CreateControls();
    void ApplyFont();
    void Layout();  // places the window's inner area and every control for m_dpi
    void PlaceControl(const Item& item) const;
    Item* Find(Control control);
    const Item* Find(Control control) const;

    double m_scaleWidth;
    double m_scaleHeight;
    std::vector<Item> m_items;
    HWND m_hwnd = nullptr;
    UINT m_dpi = 96;
    win::UniqueGdi m_font;
    win::UniqueGdi m_banner;
    FormEvents* m_events = nullptr;
    HWND m_lastFocus = nullptr;
    bool m_ended = false;
    int m_exitCode = 0;
};

}  // namespace setup
