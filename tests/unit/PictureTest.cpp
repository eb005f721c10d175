#include <gtest/gtest.h>

#include "assets/Picture.h"

namespace setup::picture {
namespace {

std::uint32_t Rgb(int r, int g, int b) { return std::uint32_t(r << 16 | g << 8 | b); }

// A picture whose every pixel differs, so that a pixel taken from the
// wrong place shows.
Image Pattern(int width, int height)
{
    Image image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels.push_back(Rgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y) % 256));
    return image;
}

TEST(Picture, HeaderDeclaresTheSize)
{
    const std::uint8_t good[] = {'B', 'N', 'R', '1', 0x46, 0x01, 0x38, 0x02, 0xAA};
    ASSERT_TRUE(ReadHeader(good, sizeof good));
    EXPECT_EQ(ReadHeader(good, sizeof good)->width, 326);
    EXPECT_EQ(ReadHeader(good, sizeof good)->height, 568);
    const std::uint8_t wrongMagic[] = {'B', 'M', 'R', '1', 1, 0, 1, 0};
    const std::uint8_t empty[] = {'B', 'N', 'R', '1', 0, 0, 1, 0};
    EXPECT_FALSE(ReadHeader(wrongMagic, sizeof wrongMagic));
    EXPECT_FALSE(ReadHeader(empty, sizeof empty));
    EXPECT_FALSE(ReadHeader(good, kHeaderSize - 1));
}

TEST(Picture, StoredRowsAreDifferencesFromTheRowAbove)
{
    // Two pixels a row, blue, green, red; the second row is stored as its
    // difference from the first, modulo 256.
    const std::vector<std::uint8_t> rows = {
        10, 20, 30, 250, 0, 1,   // (30, 20, 10) and (1, 0, 250)
        5,  0,  0,  10,  255, 0,  // (30, 20, 15) and (1, 255, 4)
    };
    const auto image = FromStoredRows(rows, {2, 2});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->At(0, 0), Rgb(30, 20, 10));
    EXPECT_EQ(image->At(1, 0), Rgb(1, 0, 250));
    EXPECT_EQ(image->At(0, 1), Rgb(30, 20, 15));
    EXPECT_EQ(image->At(1, 1), Rgb(1, 255, 4));
    EXPECT_FALSE(FromStoredRows(rows, {2, 3})) << "rows missing";
    EXPECT_FALSE(FromStoredRows(rows, {1, 2})) << "rows left over";
}

TEST(Picture, HalfSizeIsTheAverageOfEachTwoByTwoBlock)
{
    const Image source = Pattern(326, 568);
    const Image half = Scale(source, 163, 284);
    for (int y = 0; y < 284; ++y)
        for (int x = 0; x < 163; ++x)
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int dy : {0, 1})
                    for (int dx : {0, 1}) sum += int(source.At(2 * x + dx, 2 * y + dy) >> shift & 0xFF);
                ASSERT_EQ(int(half.At(x, y) >> shift & 0xFF), (sum + 2) / 4) << x << "," << y;
            }
    EXPECT_EQ(Scale(source, 326, 568).pixels, source.pixels) << "the same size changes nothing";
}

TEST(Picture, EveryDpiSizeKeepsColoursAndEdges)
{
    // A flat colour stays that colour at every size (the weights of each
    // new pixel add up to one), and a picture that grows keeps its corner
    // pixels.
    Image flat{326, 568, std::vector<std::uint32_t>(326 * 568, Rgb(20, 128, 150))};
    for (const auto& [w, h] : {std::pair{163, 284}, {204, 355}, {245, 426}, {250, 430}, {489, 852}}) {
        const Image scaled = Scale(flat, w, h);
        ASSERT_EQ(scaled.pixels.size(), std::size_t(w) * std::size_t(h));
        for (std::uint32_t p : scaled.pixels) ASSERT_EQ(p, Rgb(20, 128, 150)) << w << "x" << h;
    }
    const Image source = Pattern(4, 3);
    const Image grown = Scale(source, 8, 6);
    EXPECT_EQ(grown.At(0, 0), source.At(0, 0));
    EXPECT_EQ(grown.At(7, 5), source.At(3, 2));
    // Shrinking by a third: the middle pixel of three takes in part of both
    // of its neighbours, so it is neither of them.
    Image bars{3, 1, {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 0)}};
    const Image two = Scale(bars, 2, 1);
    EXPECT_EQ(two.At(0, 0), Rgb(85, 85, 85));
    EXPECT_EQ(two.At(1, 0), Rgb(85, 85, 85));
}

}  // namespace
}  // namespace setup::picture
