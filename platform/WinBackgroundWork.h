// Work that runs beside a window on a thread of its own, and the session's
// end held off while it may change something.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>

#include "platform/WinHandles.h"

namespace setup::win {

class BackgroundWork {
public:
    // Posted to the window when the work has ended.
    static constexpr UINT kDone = WM_APP + 1;

    BackgroundWork() = default;
    ~BackgroundWork() { Wait(); }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Runs work on its own thread (on this one where no thread can be had)
    // and posts kDone to window when it has ended. One at a time.
    void Start(HWND window, std::function<void()> work, std::function<void()> done);
    bool Running() const { return m_work != nullptr; }
    // On kDone: runs done, or throws again what the work threw.
    void Finish();
    // Waits until the thread has ended.
    void Wait();

    // A logoff or shutdown would stop the work half-way: while held,
    // Windows asks the user to wait and says why (Vista and later); the
    // window answers the session's question by Running().
    static void HoldSessionEnd(HWND window, bool hold);

private:
    struct Work {
        std::function<void()> work, done;
        HWND window;
        std::exception_ptr error;
    };
    static DWORD WINAPI Thread(void* work);

    std::unique_ptr<Work> m_work;
    UniqueHandle m_thread;
};

}  // namespace setup::win
