// The plumbing of a top-level window that is an object: its class, its
// making, and the window procedure that hands each message to the object.
// The object itself says what the messages do.
#pragma once

#include <windows.h>

#include <exception>
#include <utility>

namespace setup::win {

// What a window class looks like, beside its window procedure.
struct WindowClass {
    const wchar_t* name;
    HICON icon;
    HICON smallIcon;
    HCURSOR cursor;
    HBRUSH background;
};

// Derived (class Derived : public BaseWindow<Derived, Interface>) gives
//   LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
// for every message from WM_NCCREATE up to, not including, WM_NCDESTROY,
// and
//   void OnFailed() noexcept;
// which is told when HandleMessage threw, before the window is destroyed
// for it. Both may be private, with BaseWindow a friend. Derived destroys a
// window still there in its own destructor: the messages of its going need
// the whole object.
//
// Interface is the abstract class Derived implements; BaseWindow derives
// from it so that Derived has a single line of bases. A second base would
// give Derived the type information of multiple inheritance, whose support
// from the C++ runtime costs the program about 3 KB.
template <typename Derived, typename Interface>
class BaseWindow : public Interface {
public:
    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;

    // nullptr before the window is made and once it is gone.
    HWND Window() const { return m_hwnd; }

protected:
    BaseWindow() = default;
    ~BaseWindow() = default;

    // Registers the class whose windows this procedure serves.
    [[nodiscard]] static bool Register(const WindowClass& cls)
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hIcon = cls.icon;
        wc.hIconSm = cls.smallIcon;
        wc.hCursor = cls.cursor;
        wc.hbrBackground = cls.background;
        wc.lpszClassName = cls.name;
        return ::RegisterClassExW(&wc) != 0;
    }

    // Makes the window of a registered class at place, not yet shown. Its
    // messages reach HandleMessage from the first, WM_NCCREATE, on.
    bool MakeWindow(const wchar_t* className, DWORD style, DWORD exStyle, const RECT& place)
    {
        return ::CreateWindowExW(exStyle, className, L"", style, place.left, place.top, place.right - place.left,
                                 place.bottom - place.top, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                 this) != nullptr;
    }

    // Throws again, once, what a message's handler threw; nothing when none
    // did.
    void ThrowFailure()
    {
        if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
    }

    HWND m_hwnd = nullptr;  // set and cleared by the window procedure only

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        BaseWindow* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<BaseWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->m_hwnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<BaseWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self && msg == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->m_hwnd = nullptr;
            self = nullptr;
        }
        if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        // No exception may leave through the system's frames: it is kept,
        // the window goes, and ThrowFailure throws it again where it is safe.
        Derived& derived = static_cast<Derived&>(*self);
        try {
            return derived.HandleMessage(msg, wParam, lParam);
        } catch (...) {
            if (!self->m_error) self->m_error = std::current_exception();
            derived.OnFailed();
            ::DestroyWindow(hwnd);
            return 0;
        }
    }

    std::exception_ptr m_error;
};

}  // namespace setup::win
