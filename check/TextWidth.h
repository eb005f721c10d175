// How wide and tall texts are where the window shows them: in the system's
// message font at 96 DPI, in pixels, as a system of the section's code page
// draws them (a Chinese system's message font has its Chinese characters).
// The checker measures each text of Setup.Ini against the room the window's
// design gives it; Windows and Wine measure with their own text layout
// (platform/WinTextWidth.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace setup::check {

struct TextSize {
    int width = 0;
    int height = 0;
};

class TextWidth {
public:
    virtual ~TextWidth() = default;
    // The width of the text drawn on one line.
    virtual int Width(std::uint32_t codePage, std::wstring_view text) const = 0;
    // The text broken into lines at CR LF and, as a label does, between
    // words to fit the width: the size of the block. It is wider than the
    // width when a word alone does not fit.
    virtual TextSize Wrapped(std::uint32_t codePage, std::wstring_view text, int width) const = 0;
};

}  // namespace setup::check
