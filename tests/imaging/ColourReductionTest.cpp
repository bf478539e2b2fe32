// Colour reduction: each method's palette and indices for a fixed picture (worked out by hand
// from the method's rules), the histogram's mask order and the bitmap file.
#include "support/GifTestUtil.h"

#include "imaging/BmpFile.h"
#include "imaging/ColourReduction.h"
#include "imaging/GraphicsCore.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace qv;

namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kGrey100{100, 100, 100};

// 16 x 16: the left half red, the right half green above and blue below, and one grey pixel in
// the top-right corner. Red 128 pixels, blue 64, green 63, grey 1.
DibImage fixedPicture()
{
    std::vector<Rgb> px;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            px.push_back(x == 15 && y == 0 ? kGrey100 : x < 8 ? kRed : y < 8 ? kGreen : kBlue);
        }
    }
    return giftest::rgbPicture(16, 16, px);
}

struct MethodCase
{
    TMappingMethod method;
    // index of red, green, blue and the grey pixel, and the palette entries at those indices
    int red, green, blue, grey;
    Rgb redEntry, greenEntry, blueEntry, greyEntry;
    std::uint32_t clrUsed;
    Rgb unusedEntry; // an entry no pixel uses
    int unusedIndex;
};

const MethodCase kMethodCases[] = {
    // Most frequent first: red 128, blue 64, green 63, grey 1; the rest grey 128.
    {mapHistogram, 0, 2, 1, 3, kRed, kGreen, kBlue, kGrey100, 0, {128, 128, 128}, 4},
    // Boxes: red splits first (blue, green, grey | red), then green (blue | grey, green), then
    // blue (green | grey); each entry is (16 x cell + 15) of its single cell.
    {mapMedianCut, 1, 2, 0, 3, {255, 15, 15}, {15, 255, 15}, {15, 15, 255}, {111, 111, 111}, 4, {0, 0, 0}, 4},
    // Red to 7 levels, green 8, blue 4: grey 100 -> levels 2 (85), 3 (109), 1 (85).
    {mapTrunc784, 192, 28, 3, 77, kRed, kGreen, kBlue, {85, 109, 85}, 224, {128, 128, 128}, 224},
    // 6 levels each: grey 100 -> level 2 (102).
    {mapTrunc666, 180, 30, 5, 86, kRed, kGreen, kBlue, {102, 102, 102}, 216, {128, 128, 128}, 216},
    // (77 R + 150 G + 29 B) >> 8.
    {mapGrayscale,
     76,
     149,
     28,
     100,
     {76, 76, 76},
     {149, 149, 149},
     {28, 28, 28},
     {100, 100, 100},
     0,
     {7, 7, 7},
     7},
};

class ColourMethod : public ::testing::TestWithParam<MethodCase>
{
};

TEST_P(ColourMethod, PaletteAndIndicesOfTheFixedPicture)
{
    const MethodCase &c = GetParam();
    const ConvertedBitmap out = ConvertBitmap(fixedPicture(), PixelFormat::pf8bit, c.method);
    ASSERT_EQ(out.image.format, PixelFormat::pf8bit);
    ASSERT_EQ(out.image.palette.size(), 256u);
    EXPECT_EQ(out.clrUsed, c.clrUsed);
    auto at = [&](int x, int y) { return out.image.pixels[static_cast<std::size_t>(y * 16 + x)]; };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int want = x == 15 && y == 0 ? c.grey : x < 8 ? c.red : y < 8 ? c.green : c.blue;
            ASSERT_EQ(at(x, y), want) << "pixel " << x << "," << y;
        }
    }
    EXPECT_EQ(out.image.palette[c.red], c.redEntry);
    EXPECT_EQ(out.image.palette[c.green], c.greenEntry);
    EXPECT_EQ(out.image.palette[c.blue], c.blueEntry);
    EXPECT_EQ(out.image.palette[c.grey], c.greyEntry);
    EXPECT_EQ(out.image.palette[c.unusedIndex], c.unusedEntry);
}

INSTANTIATE_TEST_SUITE_P(Methods, ColourMethod, ::testing::ValuesIn(kMethodCases));

TEST(ColourReduction, TripleTakesOneChannelByColumnPlusStoredRow)
{
    const ConvertedBitmap out = ConvertBitmap(fixedPicture(), PixelFormat::pf8bit, mapTriple);
    auto at = [&](int x, int y) { return out.image.pixels[static_cast<std::size_t>(y * 16 + x)]; };
    // The top row is stored row 15: column 0 takes red, 1 green, 2 blue.
    EXPECT_EQ(at(0, 0), 63);         // red 255 >> 2
    EXPECT_EQ(at(1, 0), 64);         // 64 + green 0
    EXPECT_EQ(at(2, 0), 128);        // 128 + blue 0
    EXPECT_EQ(at(15, 0), 25);        // grey: (15 + 15) mod 3 = 0 -> red 100 >> 2
    EXPECT_EQ(at(15, 15), 0);        // blue pixel, stored row 0, column 15: red 0
    EXPECT_EQ(at(14, 15), 128 + 63); // (14 + 0) mod 3 = 2: blue 255 >> 2
    EXPECT_EQ(at(10, 6), 64 + 63);   // green pixel, stored row 9: (10 + 9) mod 3 = 1
    EXPECT_EQ(out.image.palette[63], (Rgb{252, 0, 0}));
    EXPECT_EQ(out.image.palette[64 + 10], (Rgb{0, 40, 0}));
    EXPECT_EQ(out.image.palette[191], (Rgb{0, 0, 252}));
    EXPECT_EQ(out.image.palette[200], (Rgb{0, 0, 0}));
}

TEST(ColourReduction, SpecialValues)
{
    const DibImage white = giftest::rgbPicture(1, 1, {{255, 255, 255}});
    const DibImage black = giftest::rgbPicture(1, 1, {{0, 0, 0}});
    EXPECT_EQ(ConvertBitmap(white, PixelFormat::pf8bit, mapTrunc666).image.pixels[0], 215);
    EXPECT_EQ(ConvertBitmap(black, PixelFormat::pf8bit, mapTrunc666).image.pixels[0], 0);
    EXPECT_EQ(ConvertBitmap(white, PixelFormat::pf8bit, mapGrayscale).image.pixels[0], 255);
    EXPECT_EQ(ConvertBitmap(white, PixelFormat::pf8bit, mapTrunc784).image.pixels[0], 223);
}

TEST(ColourReduction, NearestLevelTablesPreferTheLowerLevelOnTies)
{
    // 6 levels step 51: 25 is nearer 0, 26 nearer 51; 7 levels: 64 is 21 from 43 and 21 from 85.
    EXPECT_EQ(nearestLevelIndex(6)[25], 0);
    EXPECT_EQ(nearestLevelIndex(6)[26], 1);
    EXPECT_EQ(nearestLevelIndex(7)[64], 1);
    EXPECT_EQ(nearestLevelIndex(4)[127], 1);
    EXPECT_EQ(nearestLevelIndex(4)[128], 2);
    EXPECT_EQ(nearestLevelIndex(8)[255], 7);
}

TEST(ColourReduction, HistogramDropsTheLowBlueBitFirst)
{
    // 2049 colours with even blue and one (1, 0, 1) that merges with (1, 0, 0) once blue loses
    // its lowest bit; (5, 0, 0) is the most frequent.
    std::vector<Rgb> px;
    for (int i = 0; i < 2049; ++i) {
        px.push_back(Rgb{static_cast<std::uint8_t>(i & 255), static_cast<std::uint8_t>(i >> 8), 0});
    }
    px.push_back(Rgb{1, 0, 1});
    while (px.size() < 64 * 33) {
        px.push_back(Rgb{5, 0, 0});
    }
    const ConvertedBitmap out =
        ConvertBitmap(giftest::rgbPicture(64, 33, px), PixelFormat::pf8bit, mapHistogram);
    EXPECT_EQ(out.image.palette[0], (Rgb{5, 0, 0})); // red and green keep their low bits
    EXPECT_EQ(out.image.pixels[2049], out.image.pixels[1]);
    for (const Rgb &c : out.image.palette) {
        EXPECT_EQ(c.b & 1, 0);
    }
}

TEST(ColourReduction, HistogramOf3000RandomColoursNarrowsBlueRedGreenInTurn)
{
    std::mt19937 rng(3);
    std::vector<Rgb> px;
    std::set<std::uint32_t> seen;
    while (px.size() < 3000) {
        const std::uint32_t v = rng() & 0xFFFFFF;
        if (seen.insert(v).second) {
            px.push_back(Rgb{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v)});
        }
    }
    const ConvertedBitmap out =
        ConvertBitmap(giftest::rgbPicture(60, 50, px), PixelFormat::pf8bit, mapHistogram);
    // Blue always loses a bit first, so at any stop blue has lost at least as many bits as red,
    // and red at least as many as green.
    auto lowestBit = [&](auto channel) {
        int low = 8;
        for (const Rgb &c : out.image.palette) {
            const int v = channel(c);
            for (int b = 0; b < 8; ++b) {
                if (v & (1 << b)) {
                    low = std::min(low, b);
                    break;
                }
            }
        }
        return low;
    };
    const int r = lowestBit([](Rgb c) { return c.r; });
    const int g = lowestBit([](Rgb c) { return c.g; });
    const int b = lowestBit([](Rgb c) { return c.b; });
    EXPECT_GE(b, r);
    EXPECT_GE(r, g);
    EXPECT_LE(b - g, 1);
    EXPECT_GT(b, 0);
}

TEST(ColourReduction, SameFormatComesBackUnchangedButGreyscaleConverts)
{
    const DibImage pic = fixedPicture();
    for (const TMappingMethod m : {mapHistogram, mapMedianCut, mapTrunc784, mapTrunc666, mapTriple}) {
        const ConvertedBitmap out = ConvertBitmap(pic, PixelFormat::pf24bit, m);
        EXPECT_EQ(out.image.pixels, pic.pixels) << "method " << m;
        EXPECT_EQ(out.image.format, PixelFormat::pf24bit);
    }
    const ConvertedBitmap grey = ConvertBitmap(pic, PixelFormat::pf24bit, mapGrayscale);
    EXPECT_EQ(grey.image.pixels[0], 76);
    EXPECT_EQ(grey.image.pixels[1], 76);
    const DibImage idx = giftest::indexedPicture(5, 3, 8, 9);
    EXPECT_EQ(ConvertBitmap(idx, PixelFormat::pf8bit, mapTrunc666).image.pixels, idx.pixels);
}

TEST(ColourReduction, OneAndFourBitTargetsTakeTheNearestStandardColour)
{
    const DibImage pic =
        giftest::rgbPicture(4, 1, {{200, 10, 10}, {100, 100, 100}, {250, 250, 240}, {20, 20, 130}});
    const ConvertedBitmap four = ConvertBitmap(pic, PixelFormat::pf4bit, mapHistogram);
    EXPECT_EQ(four.image.pixels, (std::vector<std::uint8_t>{9, 8, 15, 4}));
    EXPECT_EQ(four.image.palette[7], (Rgb{192, 192, 192}));
    const ConvertedBitmap one = ConvertBitmap(pic, PixelFormat::pf1bit, mapHistogram);
    EXPECT_EQ(one.image.pixels, (std::vector<std::uint8_t>{0, 0, 1, 0}));
}

TEST(ColourReduction, ErrorsForBadPicturesAndUnsupportedTargets)
{
    DibImage none;
    EXPECT_THROW(ConvertBitmap(none, PixelFormat::pf8bit, mapHistogram), EInvalidGraphic);
    DibImage shortPixels = fixedPicture();
    shortPixels.pixels.pop_back();
    EXPECT_THROW(BitmapToMemoryStream(shortPixels, PixelFormat::pf8bit), EInvalidGraphic);
    for (const PixelFormat f :
         {PixelFormat::pf15bit, PixelFormat::pf16bit, PixelFormat::pf32bit, PixelFormat::pfDevice}) {
        try {
            ConvertBitmap(fixedPicture(), f, mapHistogram);
            ADD_FAILURE() << "no stop for format " << static_cast<int>(f);
        } catch (const ENotImplemented &e) {
            EXPECT_STREQ(e.what(), "Function not yet implemented");
        }
    }
}

struct ScanlineCase
{
    long long width, bits, alignment, bytes;
};

TEST(ColourReduction, RowSizes)
{
    const ScanlineCase cases[] = {{1, 1, 32, 4}, {32, 1, 32, 4}, {33, 1, 32, 8}, {3, 24, 32, 12},
                                  {5, 4, 32, 4}, {9, 8, 32, 12}, {9, 8, 8, 9},   {7, 4, 16, 4}};
    for (const auto &c : cases) {
        EXPECT_EQ(BytesPerScanline(c.width, c.bits, c.alignment), c.bytes) << c.width << "x" << c.bits;
    }
    EXPECT_EQ(WidthBytes(1), 4);
    EXPECT_EQ(WidthBytes(32), 4);
    EXPECT_EQ(WidthBytes(33), 8);
    EXPECT_EQ(PixelFormatColors(PixelFormat::pf1bit), 2);
    EXPECT_EQ(PixelFormatColors(PixelFormat::pf4bit), 16);
    EXPECT_EQ(PixelFormatColors(PixelFormat::pf8bit), 256);
    EXPECT_EQ(PixelFormatColors(PixelFormat::pf24bit), 0);
}

TEST(ColourReduction, BitmapFileLayout)
{
    const std::vector<std::uint8_t> file =
        BitmapToMemoryStream(fixedPicture(), PixelFormat::pf8bit, mapTrunc666);
    BmpInfo info;
    const DibImage back = decodeBmp(file, &info);
    EXPECT_EQ(file.size(), 14u + 40 + 1024 + 16 * 16);
    EXPECT_EQ(info.fileSize, file.size());
    EXPECT_EQ(info.pixelOffset, 14u + 40 + 1024);
    EXPECT_EQ(info.clrUsed, 216u);
    EXPECT_EQ(info.bitCount, 8);
    // Bottom row first: the first stored pixel is the bottom-left red one, index 180.
    EXPECT_EQ(file[info.pixelOffset], 180);
    EXPECT_EQ(back.pixels, ConvertBitmap(fixedPicture(), PixelFormat::pf8bit, mapTrunc666).image.pixels);
}

} // namespace
