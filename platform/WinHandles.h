// Small move-only owners of the Windows handles the program keeps.
#pragma once

#include <windows.h>

#include <utility>

namespace setup::win {

template <typename Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;
    Unique() = default;
    explicit Unique(Handle h) : m_h(h) {}
    Unique(Unique&& other) noexcept : m_h(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const { return m_h; }
    explicit operator bool() const { return m_h != Traits::Empty(); }
    Handle release() { return std::exchange(m_h, Traits::Empty()); }
    void reset(Handle h = Traits::Empty())
    {
        if (m_h != Traits::Empty()) Traits::Close(m_h);
        m_h = h;
    }

private:
    Handle m_h = Traits::Empty();
};

struct FindTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct FileTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct HandleTraits {  // processes, threads, mutexes
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct GdiTraits {
    using Handle = HGDIOBJ;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};

using UniqueFind = Unique<FindTraits>;
using UniqueFile = Unique<FileTraits>;
using UniqueHandle = Unique<HandleTraits>;
using UniqueGdi = Unique<GdiTraits>;

}  // namespace setup::win
