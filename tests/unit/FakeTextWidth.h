// Text measuring for the checker's unit tests: an ASCII character is 6
// pixels wide and any other 12, a line 13 pixels high; lines break at
// CR LF and between words at spaces.
#pragma once

#include <algorithm>

#include "check/TextWidth.h"

namespace setup::test {

class FakeTextWidth final : public check::TextWidth {
public:
    int Width(std::uint32_t, std::wstring_view text) const override
    {
        int width = 0;
        for (wchar_t c : text) width += c < 0x80 ? 6 : 12;
        return width;
    }

    check::TextSize Wrapped(std::uint32_t, std::wstring_view text, int width) const override
    {
        check::TextSize size;
        for (std::size_t start = 0;;) {
            const std::size_t end = std::min(text.find(L"\r\n", start), text.size());
            int line = -1;
            size.height += 13;
            for (std::size_t word = start; word <= end;) {
                const std::size_t space = std::min(text.find(L' ', word), end);
                const int w = Width(0, text.substr(word, space - word));
                if (line >= 0 && line + Width(0, L" ") + w > width) {
                    size.height += 13;
                    line = -1;
                }
                line = line < 0 ? w : line + Width(0, L" ") + w;
                size.width = std::max(size.width, line);
                word = space + 1;
            }
            if (end == text.size()) return size;
            start = end + 2;
        }
    }
};

}  // namespace setup::test
