// Twips to pixels: 1440 twips to the inch, so 15 to the pixel at 96 DPI.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace setup {

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

}  // namespace setup
