// Stored pictures on Win32: the program's picture resources, decompressed
// by Windows itself, and bitmaps to show them.
#pragma once

#include <windows.h>

#include <optional>

#include "assets/Picture.h"
#include "platform/WinHandles.h"

namespace setup::win {

// The picture stored as resource id (RCDATA) of the program, decompressed
// on a thread of its own started by Start, so that it is ready by the time
// the window needs it: the window is made meanwhile. `ahead`, when given,
// runs first on that thread (or in Take, without one), exactly once: work
// that must be over before Take returns. `after`, when given, runs on that
// thread once the picture is ready (or in Finish, without one), exactly
// once: work that must be over before Finish returns.
class StoredPictureLoad {
public:
    using Work = void (*)();
    StoredPictureLoad(int id, Work ahead, Work after = nullptr);
    ~StoredPictureLoad();
    StoredPictureLoad(const StoredPictureLoad&) = delete;
    StoredPictureLoad& operator=(const StoredPictureLoad&) = delete;

    // Starts the loading beside the caller, which also makes a bitmap of
    // the picture at `shown` when that is not empty. Without it, Take loads.
    void Start(picture::Size shown);

    // Waits for the picture, once; nullopt when it is missing or damaged.
    std::optional<picture::Image> Take();

    // After Take: the bitmap at the size given to Start, once; empty when
    // there is none.
    UniqueGdi TakeShown(picture::Size& size)
    {
        size = m_shownSize;
        return std::move(m_shown);
    }

    // Waits for the work after the picture.
    void Finish();

private:
    static DWORD WINAPI Run(void* self);

    int m_id;
    Work m_ahead;
    Work m_after;
    bool m_aheadDone = false;
    bool m_afterDone = false;
    std::optional<picture::Image> m_picture;
    picture::Size m_shownSize;
    UniqueGdi m_shown;
    bool m_done = false;  // false after the thread: it ran out of memory, so this thread tries again
    UniqueHandle m_ready;  // set by the thread once the picture is ready
    UniqueHandle m_thread;
};

// A bitmap of the image's pixels, for the screen; nullptr on failure.
HBITMAP MakeBitmap(const picture::Image& image);

}  // namespace setup::win
