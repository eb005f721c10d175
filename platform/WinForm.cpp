#include "platform/WinForm.h"

#include "assets/resource.h"
#include "platform/Twips.h"
#include "platform/WinDpi.h"

namespace setup {
namespace {

constexpr wchar_t kClassName[] = L"UsbDriverSetupWindow";
constexpr wchar_t kMessageTitle[] = L"Setup";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

int ControlId(Control control)
{
    switch (control) {
    case Control::cmdNext: return IDOK;  // Enter presses the default button
    case Control::cmdCancel: return IDCANCEL;  // Esc presses the cancel button
    case Control::img: return 100;
    case Control::lbl: return 101;
    case Control::Form: break;
    }
    return 0;
}

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

int CannotStart()
{
    ::MessageBoxW(nullptr, L"Setup cannot start: Windows could not make its window.", kMessageTitle,
                  MB_OK | MB_ICONERROR);
    return kExitCannotStart;
}

}  // namespace

WinForm::WinForm(const FormDesign& design)
    : m_scaleWidth(design.scaleWidth), m_scaleHeight(design.scaleHeight)
{
    for (const auto& control : design.controls) m_items.push_back({control, nullptr});
}

WinForm::~WinForm()
{
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

WinForm::Item* WinForm::Find(Control control)
{
    for (auto& item : m_items)
        if (item.design.id == control) return &item;
    return nullptr;
}

const WinForm::Item* WinForm::Find(Control control) const
{
    return const_cast<WinForm*>(this)->Find(control);
}

int WinForm::Run(FormEvents& events)
{
    m_events = &events;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = Instance();
    wc.hIcon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON, 0, 0,
                                               LR_DEFAULTSIZE | LR_SHARED));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) return CannotStart();

    if (!::CreateWindowExW(kExStyle, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                           nullptr, Instance(), this))
        return CannotStart();
    m_dpi = win::DpiForWindow(m_hwnd);
    if (!CreateControls()) return CannotStart();
    ApplyFont();
    Layout();

    // Centre the window on the work area of the monitor it is on.
    RECT window{};
    ::GetWindowRect(m_hwnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::SetWindowPos(m_hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_events->Form_Load();
    if (m_ended || !m_hwnd) return m_exitCode;

    ::ShowWindow(m_hwnd, SW_SHOWDEFAULT);
    ::UpdateWindow(m_hwnd);
    if (const Item* next = Find(Control::cmdNext)) ::SetFocus(next->hwnd);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (m_hwnd && ::IsDialogMessageW(m_hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return m_exitCode;
}

bool WinForm::CreateControls()
{
    for (auto& item : m_items) {
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (item.design.kind) {
        case ControlKind::Picture:
            // The picture fills the control inside its border.
            style |= SS_BITMAP | SS_REALSIZECONTROL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case ControlKind::DefaultButton:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
            break;
        case ControlKind::CancelButton:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        }
        item.hwnd = ::CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, 0, m_hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.design.id))),
                                      Instance(), nullptr);
        if (!item.hwnd) return false;
        if (item.design.kind == ControlKind::Picture) {
            m_banner.reset(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
            ::SendMessageW(item.hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_banner.get()));
        }
    }
    return true;
}

void WinForm::ApplyFont()
{
    const LOGFONTW font = win::MessageFontForDpi(m_dpi);
    win::UniqueGdi created(::CreateFontIndirectW(&font));
    if (!created) return;
    for (const auto& item : m_items)
        if (item.design.kind != ControlKind::Picture)
            ::SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(created.get()), TRUE);
    m_font = std::move(created);  // the old font goes only after no control uses it
}

void WinForm::Layout()
{
    const PixelRect inner = ToPixels({0, 0, m_scaleWidth, m_scaleHeight}, m_dpi);
    RECT rect{0, 0, inner.width, inner.height};
    win::AdjustWindowRectForDpi(&rect, kStyle, kExStyle, m_dpi);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const auto& item : m_items) PlaceControl(item);
}

void WinForm::PlaceControl(const Item& item) const
{
    const PixelRect r = ToPixels(item.design.rect, m_dpi);
    ::SetWindowPos(item.hwnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

Twips WinForm::Geometry(Control control) const
{
    if (control == Control::Form) return {0, 0, m_scaleWidth, m_scaleHeight};
    const Item* item = Find(control);
    return item ? item->design.rect : Twips{};
}

void WinForm::Move(Control control, const Twips& rect)
{
    Item* item = Find(control);
    if (!item) return;
    item->design.rect = rect;
    if (item->hwnd) PlaceControl(*item);
}

void WinForm::SetText(Control control, const std::wstring& text)
{
    if (control == Control::Form) {
        ::SetWindowTextW(m_hwnd, text.c_str());
    } else if (const Item* item = Find(control)) {
        ::SetWindowTextW(item->hwnd, text.c_str());
    }
}

void WinForm::ShowMessage(const std::wstring& text, MessageIcon icon)
{
    const UINT type = MB_OK | (icon == MessageIcon::Warning ? MB_ICONWARNING : 0);
    ::MessageBoxW(m_hwnd, text.c_str(), kMessageTitle, type);
}

void WinForm::End(int exitCode)
{
    m_exitCode = exitCode;
    m_ended = true;
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

LRESULT CALLBACK WinForm::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WinForm* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<WinForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<WinForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self && msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        self = nullptr;
    }
    return self ? self->HandleMessage(msg, wParam, lParam) : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT WinForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETNONCLIENTMETRICS) ApplyFont();
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return ::DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

void WinForm::OnCommand(int id, int code)
{
    if (code != BN_CLICKED || m_ended || !m_events) return;
    if (id == IDOK) m_events->cmdNext_Click();
    else if (id == IDCANCEL) m_events->cmdCancel_Click();
}

void WinForm::OnActivate(bool active)
{
    // Give the focus back to the control that had it, as a dialog does.
    if (!active) {
        m_lastFocus = ::GetFocus();
    } else if (m_lastFocus && ::IsChild(m_hwnd, m_lastFocus)) {
        ::SetFocus(m_lastFocus);
    } else if (const Item* next = Find(Control::cmdNext)) {
        ::SetFocus(next->hwnd);
    }
}

void WinForm::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    m_dpi = dpi;
    ::SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyFont();
    Layout();
}

void WinForm::OnDestroy()
{
    m_ended = true;
    ::PostQuitMessage(m_exitCode);
}

}  // namespace setup
