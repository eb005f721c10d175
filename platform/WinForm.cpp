#include "platform/WinForm.h"

#include <utility>

#include <commctrl.h>

#include "assets/resource.h"
#include "platform/WinApi.h"
#include "platform/WinDpi.h"
#include "platform/WinPicture.h"

namespace setup {
namespace {

constexpr wchar_t kClassName[] = L"UsbDriverSetupWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
constexpr int kFirstChildId = 100;  // all but the buttons: 100 and up, by their place in the design
constexpr UINT kPosted = win::BackgroundWork::kDone + 1;  // lParam: a std::function<void()> to run and delete

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// A sunken edge is two lines of one pixel at 96 DPI.
int EdgeWidthAt(UINT dpi) { return 2 * ::MulDiv(1, static_cast<int>(dpi), 96); }

// Enter and Esc press the buttons whose ids are IDOK and IDCANCEL.
int ChildId(ControlKind kind, std::size_t index)
{
    switch (kind) {
    case ControlKind::DefaultButton: return IDOK;
    case ControlKind::CancelButton: return IDCANCEL;
    case ControlKind::Picture:
    case ControlKind::Label:
    case ControlKind::Progress: break;
    }
    return kFirstChildId + static_cast<int>(index);
}

}  // namespace

WinForm::WinForm(const FormDesign& design, win::StoredPictureLoad::Work beforeControls,
                 win::StoredPictureLoad::Work beforeShowing)
    : m_scaleWidth(design.scaleWidth),
      m_scaleHeight(design.scaleHeight),
      m_bannerLoad(IDR_BANNER, beforeControls, beforeShowing)
{
    for (const auto& control : design.controls)
        m_items.push_back({control, ChildId(control.kind, m_items.size()), nullptr, {}, false});
}

WinForm::~WinForm()
{
    m_background.Wait();
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

WinForm::Item* WinForm::Find(ControlId control)
{
    for (auto& item : m_items)
        if (item.design.id == control) return &item;
    return nullptr;
}

const WinForm::Item* WinForm::Find(ControlId control) const
{
    return const_cast<WinForm*>(this)->Find(control);
}

WinForm::Item* WinForm::FindChild(int childId)
{
    for (auto& item : m_items)
        if (item.childId == childId) return &item;
    return nullptr;
}

HWND WinForm::FirstFocus() const
{
    for (const auto& item : m_items)
        if (item.design.kind == ControlKind::DefaultButton) return item.hwnd;
    return nullptr;
}

bool WinForm::Create(FormCallbacks& callbacks, const std::wstring& tag)
{
    m_callbacks = &callbacks;
    m_tag = tag;

    const HICON icon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON, 0, 0,
                                                        LR_DEFAULTSIZE | LR_SHARED));
    // The small icon is given, not left to Windows to make from the large
    // one: that costs more than loading it.
    const HICON smallIcon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON,
                                                             ::GetSystemMetrics(SM_CXSMICON),
                                                             ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!Register({kClassName, icon, smallIcon, ::LoadCursorW(nullptr, IDC_ARROW),
                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)}))
        return false;

    // The banner's thread starts after the icons are loaded. Loading them
    // starts the display driver, which the visual styles' DLL asks for while
    // the thread loads it: under Wine both at once can deadlock (one start
    // in about 140 hung when the thread started first). The thread also
    // makes the banner's bitmap for its place at the DPI expected.
    const UINT expectedDpi = win::DpiForNewWindow();
    m_bannerLoad.Start(BannerSizeAt(expectedDpi));

    // Made at its size, centred on the primary monitor's work area; moved
    // only where that monitor's DPI is not the one expected. The controls
    // are made where they go.
    const RECT place = PlaceOnMonitor(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), expectedDpi);
    if (!MakeWindow(kClassName, kStyle, kExStyle, place)) return false;
    if (!m_tag.empty()) ::SetPropW(m_hwnd, m_tag.c_str(), reinterpret_cast<HANDLE>(1));
    m_dpi = win::DpiForWindow(m_hwnd);
    if (m_dpi != expectedDpi) {
        const RECT moved = PlaceOnMonitor(::MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), m_dpi);
        ::SetWindowPos(m_hwnd, nullptr, moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!CreateControls()) return false;
    ApplyFont();
    return true;
}

int WinForm::Run()
{
    m_callbacks->Load();
    ThrowFailure();
    if (m_ended || !m_hwnd) return m_exitCode;

    m_bannerLoad.Finish();
    ::ShowWindow(m_hwnd, SW_SHOWDEFAULT);
    ::UpdateWindow(m_hwnd);
    if (const HWND focus = FirstFocus()) ::SetFocus(focus);

    m_inLoop = true;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (m_hwnd && ::IsDialogMessageW(m_hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_inLoop = false;
    m_background.Wait();
    ThrowFailure();
    return m_exitCode;
}

bool WinForm::CreateControls()
{
    if (auto banner = m_bannerLoad.Take()) m_banner = std::move(*banner);
    // The progress bar is made when there is work to show: most starts end
    // without it.
    for (auto& item : m_items)
        if (item.design.kind != ControlKind::Progress && !CreateControl(item)) return false;
    return true;
}

bool WinForm::CreateControl(Item& item)
{
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (item.design.kind) {
    case ControlKind::Picture:
        // Drawn by the window: its edge and the banner at the DPI's size.
        style |= SS_OWNERDRAW;
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
    case ControlKind::Progress:
        cls = L"msctls_progress32";  // PROGRESS_CLASS
        style = WS_CHILD | PBS_MARQUEE;  // shown by SetBusy
        break;
    }
    item.placed = ToPixels(item.design.rect, m_dpi);
    const PixelRect& r = item.placed;
    item.hwnd = ::CreateWindowExW(0, cls, L"", style, r.left, r.top, r.width, r.height, m_hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.childId)), Instance(), nullptr);
    if (!item.hwnd) return false;
    if (item.design.kind == ControlKind::Picture) MakeBannerBitmap(item);
    return true;
}

void WinForm::ApplyFont()
{
    const LOGFONTW font = win::MessageFontForDpi(m_dpi);
    win::UniqueGdi created(::CreateFontIndirectW(&font));
    if (!created) return;
    for (const auto& item : m_items)
        if (item.design.kind != ControlKind::Picture && item.hwnd)
            ::SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(created.get()), TRUE);
    m_font = std::move(created);  // the old font goes only after no control uses it
}

SIZE WinForm::WindowSizeFor(UINT dpi) const
{
    const PixelRect inner = ToPixels({0, 0, m_scaleWidth, m_scaleHeight}, dpi);
    RECT rect{0, 0, inner.width, inner.height};
    win::AdjustWindowRectForDpi(&rect, kStyle, kExStyle, dpi);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

RECT WinForm::PlaceOnMonitor(HMONITOR monitor, UINT dpi) const
{
    const SIZE size = WindowSizeFor(dpi);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(monitor, &info);
    const RECT& work = info.rcWork;
    const LONG left = work.left + (work.right - work.left - size.cx) / 2;
    const LONG top = work.top + (work.bottom - work.top - size.cy) / 2;
    return {left, top, left + size.cx, top + size.cy};
}

void WinForm::PlaceControls()
{
    for (auto& item : m_items) PlaceControl(item);
}

void WinForm::PlaceControl(Item& item)
{
    const PixelRect r = ToPixels(item.design.rect, m_dpi);
    if (!item.hwnd || r == item.placed) return;  // where it is already
    item.placed = r;
    ::SetWindowPos(item.hwnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (item.design.kind == ControlKind::Picture) MakeBannerBitmap(item);
}

int WinForm::EdgeWidth() const
{
    return EdgeWidthAt(m_dpi);
}

picture::Size WinForm::BannerSizeAt(UINT dpi) const
{
    for (const auto& item : m_items)
        if (item.design.kind == ControlKind::Picture) {
            const PixelRect r = ToPixels(item.design.rect, dpi);
            return {r.width - 2 * EdgeWidthAt(dpi), r.height - 2 * EdgeWidthAt(dpi)};
        }
    return {};
}

void WinForm::MakeBannerBitmap(const Item& item)
{
    // The banner is stored at twice its 96 DPI size and scaled down to the
    // pixels it has inside the edge, so that it is sharp at every DPI.
    RECT client{};
    ::GetClientRect(item.hwnd, &client);
    const int width = client.right - 2 * EdgeWidth(), height = client.bottom - 2 * EdgeWidth();
    // Made already where the window came out at the DPI expected.
    picture::Size size;
    m_bannerShown = m_bannerLoad.TakeShown(size);
    if (m_bannerShown && (size.width != width || size.height != height)) m_bannerShown.reset();
    if (!m_bannerShown && m_banner.width > 0 && width > 0 && height > 0)
        m_bannerShown.reset(win::MakeBitmap(picture::Scale(m_banner, width, height)));
    ::InvalidateRect(item.hwnd, nullptr, FALSE);
}

void WinForm::OnDrawItem(const DRAWITEMSTRUCT& draw)
{
    const HDC dc = draw.hDC;
    const RECT r = draw.rcItem;
    const int line = EdgeWidth() / 2;
    // Sunken: the outer line is shadow at the top and left and highlight at
    // the bottom and right; the inner line dark shadow and light.
    const struct {
        int inset;
        int topLeft, bottomRight;
    } lines[] = {{0, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT}, {line, COLOR_3DDKSHADOW, COLOR_3DLIGHT}};
    for (const auto& l : lines) {
        const RECT outer{r.left + l.inset, r.top + l.inset, r.right - l.inset, r.bottom - l.inset};
        const RECT top{outer.left, outer.top, outer.right - line, outer.top + line};
        const RECT left{outer.left, outer.top, outer.left + line, outer.bottom - line};
        const RECT bottom{outer.left, outer.bottom - line, outer.right, outer.bottom};
        const RECT right{outer.right - line, outer.top, outer.right, outer.bottom};
        ::FillRect(dc, &top, ::GetSysColorBrush(l.topLeft));
        ::FillRect(dc, &left, ::GetSysColorBrush(l.topLeft));
        ::FillRect(dc, &bottom, ::GetSysColorBrush(l.bottomRight));
        ::FillRect(dc, &right, ::GetSysColorBrush(l.bottomRight));
    }
    const int edge = EdgeWidth();
    const RECT inner{r.left + edge, r.top + edge, r.right - edge, r.bottom - edge};
    if (!m_bannerShown) {
        ::FillRect(dc, &inner, ::GetSysColorBrush(COLOR_WINDOW));
        return;
    }
    const HDC memory = ::CreateCompatibleDC(dc);
    const HGDIOBJ old = ::SelectObject(memory, m_bannerShown.get());
    ::BitBlt(dc, inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
}

Twips WinForm::Geometry(ControlId control) const
{
    if (control == kFormId) return {0, 0, m_scaleWidth, m_scaleHeight};
    const Item* item = Find(control);
    return item ? item->design.rect : Twips{};
}

void WinForm::Move(ControlId control, const Twips& rect)
{
    Item* item = Find(control);
    if (!item) return;
    item->design.rect = rect;
    PlaceControl(*item);
}

void WinForm::SetText(ControlId control, const std::wstring& text)
{
    if (control == kFormId) {
        ::SetWindowTextW(m_hwnd, text.c_str());
    } else if (const Item* item = Find(control)) {
        ::SetWindowTextW(item->hwnd, text.c_str());
    }
}

void WinForm::ShowMessage(const std::wstring& text, MessageIcon icon)
{
    const UINT type = MB_OK | (icon == MessageIcon::Warning ? MB_ICONWARNING : 0);
    ::MessageBoxW(m_hwnd, text.c_str(), MessageTitle(), type);
}

void WinForm::Post(std::function<void()> fn)
{
    auto* posted = new std::function<void()>(std::move(fn));
    if (!m_postTo || !::PostMessageW(m_postTo, kPosted, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

void WinForm::AllowWhileBusy(ControlId control, bool allowed)
{
    Item* item = Find(control);
    if (!item || !m_busy) return;
    item->allowedWhileBusy = allowed;
    ::EnableWindow(item->hwnd, allowed);
    // The cancel button's say goes for the close box, Alt+F4 and the end of
    // the session too: while it may be pressed, nothing has changed yet.
    if (item->design.kind != ControlKind::CancelButton) return;
    ::EnableMenuItem(::GetSystemMenu(m_hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | (allowed ? MF_ENABLED : MF_GRAYED));
    win::BackgroundWork::HoldSessionEnd(m_hwnd, !allowed);
}

void WinForm::RunInBackground(std::function<void()> work, std::function<void()> done)
{
    if (m_busy || !m_hwnd) return;
    m_postTo = m_hwnd;
    SetBusy();
    m_background.Start(m_hwnd, std::move(work), std::move(done));
}

void WinForm::SetBusy()
{
    m_busy = true;
    for (auto& item : m_items) {
        switch (item.design.kind) {
        case ControlKind::DefaultButton:
        case ControlKind::CancelButton: ::EnableWindow(item.hwnd, FALSE); break;
        case ControlKind::Progress:
            // Without it the work still runs; only its sign is missing.
            if (!item.hwnd && !CreateControl(item)) break;
            ::ShowWindow(item.hwnd, SW_SHOWNA);
            ::SendMessageW(item.hwnd, PBM_SETMARQUEE, TRUE, 30);
            break;
        case ControlKind::Picture:
        case ControlKind::Label: break;
        }
    }
    // Keys go to the window itself now, which ignores them.
    ::SetFocus(m_hwnd);
    win::BackgroundWork::HoldSessionEnd(m_hwnd, true);
    ::EnableMenuItem(::GetSystemMenu(m_hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    POINT cursor{};
    RECT window{};
    if (::GetCursorPos(&cursor) && ::GetWindowRect(m_hwnd, &window) && ::PtInRect(&window, cursor))
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

void WinForm::OnWorkDone()
{
    m_background.Wait();
    if (!m_background.Running()) return;
    win::BackgroundWork::HoldSessionEnd(m_hwnd, false);
    for (auto& item : m_items) {
        if (item.allowedWhileBusy) ::EnableWindow(item.hwnd, FALSE);
        item.allowedWhileBusy = false;
    }
    // The work is over; the buttons stay off until the program ends.
    for (const auto& item : m_items)
        if (item.design.kind == ControlKind::Progress) {
            ::SendMessageW(item.hwnd, PBM_SETMARQUEE, FALSE, 0);
            ::ShowWindow(item.hwnd, SW_HIDE);
        }
    // Keys and clicks that came while the work ran are not meant for the
    // message that comes now: a second Enter would close it unread.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    m_background.Finish();
}

void WinForm::End(int exitCode)
{
    m_exitCode = exitCode;
    m_ended = true;
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

LRESULT WinForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        return FirstFocus() ? MAKELRESULT(IDOK, DC_HASDEFID) : 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_GETDPISCALEDSIZE:
        return OnGetDpiScaledSize(static_cast<UINT>(wParam), reinterpret_cast<SIZE*>(lParam));
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (!m_busy) break;
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    case WM_CLOSE:
        if (!m_busy) break;
        OnClose();
        return 0;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case win::BackgroundWork::kDone:
        OnWorkDone();
        return 0;
    case kPosted: {
        const std::unique_ptr<std::function<void()>> posted(reinterpret_cast<std::function<void()>*>(lParam));
        if (!m_ended) (*posted)();
        return 0;
    }
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETNONCLIENTMETRICS) ApplyFont();
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return ::DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

// A handler threw: the form has ended, and its window goes next.
void WinForm::OnFailed() noexcept
{
    m_ended = true;
}

void WinForm::OnCommand(int id, int code)
{
    if (code != BN_CLICKED || m_ended || !m_callbacks) return;
    const Item* item = FindChild(id);
    if (item && (!m_busy || item->allowedWhileBusy)) m_callbacks->Click(item->design.id);
}

// A logoff or shutdown while the work runs: nothing may stop it half-way,
// but while the cancel button may be pressed (nothing has changed yet) the
// session ends the program as that button does.
BOOL WinForm::OnQueryEndSession()
{
    if (!m_background.Running()) return TRUE;
    OnClose();
    return m_ended ? TRUE : FALSE;
}

// While busy, the close box is the cancel button's, if that may be pressed;
// otherwise nothing stops the work half-way.
void WinForm::OnClose()
{
    for (const auto& item : m_items)
        if (item.design.kind == ControlKind::CancelButton && item.allowedWhileBusy && m_callbacks && !m_ended)
            return m_callbacks->Click(item.design.id);
}

void WinForm::OnActivate(bool active)
{
    // Give the focus back to the control that had it, as a dialog does.
    if (!active) {
        m_lastFocus = ::GetFocus();
    } else if (m_lastFocus && ::IsChild(m_hwnd, m_lastFocus)) {
        ::SetFocus(m_lastFocus);
    } else if (const HWND focus = FirstFocus()) {
        ::SetFocus(focus);
    }
}

bool WinForm::OnGetDpiScaledSize(UINT dpi, SIZE* size) const
{
    // The inner area scales exactly with the DPI; the frame at the new DPI
    // is added to it, so that WM_DPICHANGED suggests exactly this size.
    *size = WindowSizeFor(dpi);
    return true;
}

void WinForm::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    m_dpi = dpi;
    ::SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyFont();
    PlaceControls();
}

void WinForm::OnDestroy()
{
    m_ended = true;
    if (!m_tag.empty()) ::RemovePropW(m_hwnd, m_tag.c_str());
    // Only a running loop is told to end: a quit message left in the queue
    // would close the next message box at once.
    if (m_inLoop) ::PostQuitMessage(m_exitCode);
}

}  // namespace setup

namespace setup {

HWND FindTaggedWindow(const std::wstring& tag)
{
    struct Search {
        const std::wstring* tag;
        HWND found;
    } search{&tag, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            if (!::GetPropW(hwnd, s.tag->c_str())) return TRUE;
            s.found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace setup
