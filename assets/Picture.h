// Pictures as the program stores them, and their scaling to the screen.
// Portable: the Windows side only decompresses the resource and shows the
// pixels.
//
// A stored picture is its header, then its rows compressed with LZNT1. The
// rows are blue, green, red bytes, each byte kept as its difference from the
// byte above it (the first row as it is), which leaves long runs of equal
// bytes in smooth pictures for the compression to find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace setup::picture {

// "BNR1", then the width and the height as 16-bit little-endian numbers.
constexpr std::size_t kHeaderSize = 8;

struct Size {
    int width = 0, height = 0;
};

// The size a stored picture declares; nullopt when the header is not one.
std::optional<Size> ReadHeader(const std::uint8_t* data, std::size_t size);

// A picture of 32-bit pixels 0x00RRGGBB, rows from the top.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

// The picture from its decompressed rows; nullopt when they do not hold
// exactly width x height pixels.
std::optional<Image> FromStoredRows(const std::vector<std::uint8_t>& rows, Size size);

// The picture at another size: each new pixel is the average of the area it
// covers when the picture shrinks, and interpolated linearly when it grows.
Image Scale(const Image& source, int width, int height);

}  // namespace setup::picture
