#include "assets/Picture.h"

#include <algorithm>
#include <cmath>

namespace setup::picture {
namespace {

struct Tap {
    int index;
    float weight;
};

// For each pixel of a line of `to` pixels, the pixels of a line of `from`
// that make it, with their weights (summing to 1).
std::vector<std::vector<Tap>> Taps(int from, int to)
{
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(to));
    const double ratio = double(from) / double(to);
    for (int i = 0; i < to; ++i) {
        auto& t = taps[static_cast<std::size_t>(i)];
        if (to <= from) {
            // The pixel covers [start, end) of the old line.
            const double start = i * ratio, end = (i + 1) * ratio;
            for (int j = int(std::floor(start)); j < end && j < from; ++j) {
                const double overlap = std::min(end, j + 1.0) - std::max(start, double(j));
                if (overlap > 0) t.push_back({j, float(overlap / ratio)});
            }
        } else {
            const double centre = (i + 0.5) * ratio - 0.5;
            const int j = int(std::floor(centre));
            const float f = float(centre - j);
            t.push_back({std::clamp(j, 0, from - 1), 1 - f});
            t.push_back({std::clamp(j + 1, 0, from - 1), f});
        }
    }
    return taps;
}

}  // namespace

std::optional<Size> ReadHeader(const std::uint8_t* data, std::size_t size)
{
    if (size < kHeaderSize || data[0] != 'B' || data[1] != 'N' || data[2] != 'R' || data[3] != '1')
        return std::nullopt;
    const Size s{data[4] | data[5] << 8, data[6] | data[7] << 8};
    if (s.width == 0 || s.height == 0) return std::nullopt;
    return s;
}

std::optional<Image> FromStoredRows(const std::vector<std::uint8_t>& rows, Size size)
{
    const std::size_t stride = std::size_t(size.width) * 3;
    if (size.width <= 0 || size.height <= 0 || rows.size() != stride * std::size_t(size.height)) return std::nullopt;
    Image image{size.width, size.height, std::vector<std::uint32_t>(std::size_t(size.width) * std::size_t(size.height))};
    std::vector<std::uint8_t> above(stride, 0), line(stride);
    for (std::size_t y = 0; y < std::size_t(size.height); ++y) {
        for (std::size_t i = 0; i < stride; ++i) line[i] = std::uint8_t(rows[y * stride + i] + above[i]);
        for (std::size_t x = 0; x < std::size_t(size.width); ++x)
            image.pixels[y * std::size_t(size.width) + x] =
                std::uint32_t(line[3 * x]) | std::uint32_t(line[3 * x + 1]) << 8 | std::uint32_t(line[3 * x + 2]) << 16;
        above.swap(line);
    }
    return image;
}

Image Scale(const Image& source, int width, int height)
{
    if (width == source.width && height == source.height) return source;
    Image result{width, height, std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height))};
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return result;
    if (source.width == 2 * width && source.height == 2 * height) {
        // Half the size (96 DPI): each pixel is the rounded mean of a 2 x 2
        // block, as the general way below gives it, in a quarter of the time.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t a = source.At(2 * x, 2 * y), b = source.At(2 * x + 1, 2 * y),
                                    c = source.At(2 * x, 2 * y + 1), d = source.At(2 * x + 1, 2 * y + 1);
                std::uint32_t p = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const std::uint32_t sum = (a >> shift & 0xFF) + (b >> shift & 0xFF) + (c >> shift & 0xFF) +
                                              (d >> shift & 0xFF);
                    p |= ((sum + 2) / 4) << shift;
                }
                result.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = p;
            }
        return result;
    }
    const auto across = Taps(source.width, width);
    const auto down = Taps(source.height, height);

    // Across first, into three channels of floats per pixel.
    std::vector<float> wide(std::size_t(width) * std::size_t(source.height) * 3);
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < width; ++x) {
            float c[3] = {0, 0, 0};
            for (const Tap& t : across[std::size_t(x)]) {
                const std::uint32_t p = source.At(t.index, y);
                for (int k = 0; k < 3; ++k) c[k] += t.weight * float((p >> (8 * k)) & 0xFF);
            }
            float* out = &wide[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
            std::copy(c, c + 3, out);
        }
    // Then down.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float c[3] = {0, 0, 0};
            for (const Tap& t : down[std::size_t(y)]) {
                const float* in = &wide[(std::size_t(t.index) * std::size_t(width) + std::size_t(x)) * 3];
                for (int k = 0; k < 3; ++k) c[k] += t.weight * in[k];
            }
            std::uint32_t p = 0;
            for (int k = 0; k < 3; ++k)
                p |= std::uint32_t(std::clamp(int(std::floor(c[k] + 0.5f)), 0, 255)) << (8 * k);
            result.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = p;
        }
    return result;
}

}  // namespace setup::picture
