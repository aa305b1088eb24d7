// TImageBuffer::ConvertTo: every rule with exact values, the two
// black-and-white methods, colour reduction and round trips.
#include "imaging/ImageBuffer.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<uint16_t> words)
{
    std::vector<uint8_t> out(words.size() * 2);
    std::memcpy(out.data(), std::data(words), out.size());
    return out;
}

std::vector<uint8_t> bytesOf(std::initializer_list<float> values)
{
    std::vector<uint8_t> out(values.size() * 4);
    std::memcpy(out.data(), std::data(values), out.size());
    return out;
}

struct Rule {
    const char* name;
    TPixelFormat from;
    std::vector<uint8_t> pixels;  // the first row of a one-row picture
    int width;
    TPixelFormat to;
    std::vector<uint8_t> expected;
};

std::vector<Rule> rules()
{
    const std::vector<uint8_t> bgr = {200, 150, 100};  // red 100, green 150, blue 200
    return {
        {"1g to 8g", px1g, {0x80}, 2, px8g, {255, 0}},
        {"1g to Gray16", px1g, {0x80}, 2, pxGray16, bytesOf({uint16_t(65535), uint16_t(0)})},
        {"1g to 24RGB", px1g, {0x80}, 2, px24RGB, {255, 255, 255, 0, 0, 0}},
        {"1g to RGB32", px1g, {0x80}, 2, pxRGB32, {255, 255, 255, 255, 0, 0, 0, 255}},
        {"1g to RGB48", px1g, {0x80}, 2, pxRGB48, bytesOf({uint16_t(65535), uint16_t(65535), uint16_t(65535), uint16_t(0), uint16_t(0), uint16_t(0)})},
        {"1g to 32f", px1g, {0x80}, 2, px32f, bytesOf({1.0f, 0.0f})},
        {"1g to 8p", px1g, {0x80}, 2, px8p, {1, 0}},
        {"8g to 8p", px8g, {0, 200}, 2, px8p, {0, 200}},
        {"8g to 24RGB", px8g, {0, 200}, 2, px24RGB, {0, 0, 0, 200, 200, 200}},
        {"8g to Gray16", px8g, {0, 200}, 2, pxGray16, bytesOf({uint16_t(0), uint16_t(51400)})},
        {"24RGB to 8g", px24RGB, bgr, 1, px8g, {143}},
        {"24RGB to Gray16", px24RGB, bgr, 1, pxGray16, bytesOf({uint16_t(36789)})},
        {"24RGB white to Gray16", px24RGB, {255, 255, 255}, 1, pxGray16, bytesOf({uint16_t(65535)})},
        {"24RGB to 32f", px24RGB, bgr, 1, px32f, bytesOf({float((0.2126 * 100 + 0.7152 * 150 + 0.0722 * 200) / 255.0)})},
        {"24RGB to RGB48", px24RGB, bgr, 1, pxRGB48, bytesOf({uint16_t(25700), uint16_t(38550), uint16_t(51400)})},
        {"24RGB to RGB32", px24RGB, bgr, 1, pxRGB32, {200, 150, 100, 255}},
        {"24RGB to CMYK", px24RGB, bgr, 1, pxCMYK, {128, 64, 0, 55}},
        {"24RGB black to CMYK", px24RGB, {0, 0, 0}, 1, pxCMYK, {0, 0, 0, 255}},
        {"24RGB to Lab", px24RGB, {0, 0, 255, 255, 255, 255, 255, 0, 0}, 3, pxCIELab,
         {135, 80, 67, 255, 0, 0, 82, 79, uint8_t(-107)}},
        {"Lab to 24RGB", pxCIELab, {255, 0, 0, 135, 80, 67, 0, 0, 0}, 3, px24RGB, {255, 255, 255, 0, 0, 254, 0, 0, 0}},
        {"Lab with negative a and b", pxCIELab, {200, uint8_t(-20), 40}, 1, px24RGB, {118, 203, 183}},
        {"Gray16 to 8g", pxGray16, bytesOf({uint16_t(51400), uint16_t(65535), uint16_t(128), uint16_t(129)}), 4, px8g,
         {200, 255, 0, 1}},
        {"32f to 8g", px32f, bytesOf({0.5f, 2.0f, -1.0f, NAN}), 4, px8g, {128, 255, 0, 0}},
        {"CMYK to 24RGB", pxCMYK, {128, 64, 0, 55}, 1, px24RGB, bgr},
        {"RGB48 to 24RGB", pxRGB48, bytesOf({uint16_t(25700), uint16_t(38550), uint16_t(51400)}), 1, px24RGB, bgr},
        {"RGB32 to 24RGB", pxRGB32, {1, 2, 3, 4}, 1, px24RGB, {1, 2, 3}},
        {"Gray16 to RGB48", pxGray16, bytesOf({uint16_t(1234)}), 1, pxRGB48, bytesOf({uint16_t(1234), uint16_t(1234), uint16_t(1234)})},
        {"RGB48 to Gray16", pxRGB48, bytesOf({uint16_t(1000), uint16_t(2000), uint16_t(3000)}), 1, pxGray16,
         bytesOf({uint16_t(1863)})},
        {"Gray16 to 32f", pxGray16, bytesOf({uint16_t(32768)}), 1, px32f, bytesOf({float(32768 / 65535.0)})},
        {"32f to Gray16", px32f, bytesOf({0.25f}), 1, pxGray16, bytesOf({uint16_t(16384)})},
        {"RGB48 to 8g", pxRGB48, bytesOf({uint16_t(25700), uint16_t(38550), uint16_t(51400)}), 1, px8g, {143}},
    };
}

TEST(PixelConversion, EveryRuleGivesExactValues)
{
    for (const Rule& r : rules()) {
        SCOPED_TRACE(r.name);
        TImageBuffer b(r.width, 2, r.from);
        std::memcpy(b.RowPointer(0), r.pixels.data(), r.pixels.size());
        ASSERT_TRUE(b.ConvertTo(r.to));
        EXPECT_EQ(b.PixelFormat(), r.to);
        EXPECT_EQ(b.Width(), r.width);
        std::vector<uint8_t> got(b.RowPointer(0), b.RowPointer(0) + r.expected.size());
        EXPECT_EQ(got, r.expected);
    }
}

TEST(PixelConversion, PaletteSources)
{
    TImageBuffer p(2, 1, px8p);
    p.Palette()[3] = TRGB{10, 20, 30};
    p.RowPointer(0)[0] = 3;
    TImageBuffer copy;
    copy.Assign(p);
    ASSERT_TRUE(p.ConvertTo(px24RGB));
    EXPECT_EQ(p.GetPixelRGB(0, 0), (TRGB{10, 20, 30}));
    ASSERT_TRUE(copy.ConvertTo(px8g));
    EXPECT_EQ(copy.RowPointer(0)[0], (21 * 30 + 71 * 20 + 8 * 10) / 100);

    TImageBuffer bits(2, 1, px1g);
    ASSERT_TRUE(bits.ConvertTo(px8p));
    EXPECT_EQ(bits.PaletteCount(), 2);
    EXPECT_EQ(bits.Palette()[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(bits.Palette()[1], (TRGB{255, 255, 255}));

    TImageBuffer gray(2, 1, px8g);
    ASSERT_TRUE(gray.ConvertTo(px8p));
    EXPECT_EQ(gray.PaletteCount(), 256);
    for (int i = 0; i < 256; i += 51)
        EXPECT_EQ(gray.Palette()[i], (TRGB{uint8_t(i), uint8_t(i), uint8_t(i)}));
}

TEST(PixelConversion, TrueColourToPaletteGoesThroughTheColourReducer)
{
    const TRGB colours[3] = {{0, 0, 255}, {0, 255, 0}, {40, 50, 60}};
    for (TPixelFormat from : {px24RGB, pxCMYK}) {
        SCOPED_TRACE(int(from));
        TImageBuffer b(6, 4, px24RGB);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                b.SetPixelRGB(x, y, colours[(x + y) % 3]);
        TImageBuffer original;
        original.Assign(b);
        if (from != px24RGB) {
            ASSERT_TRUE(b.ConvertTo(from));
        }
        ASSERT_TRUE(b.ConvertTo(px8p));
        EXPECT_EQ(b.PixelFormat(), px8p);
        EXPECT_EQ(b.PaletteCount(), 3);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(b.GetPixelRGB(x, y), original.GetPixelRGB(x, y)) << x << "," << y;
    }
}

TEST(PixelConversion, RoundTripsThroughWideFormats)
{
    TImageBuffer source(64, 64, px24RGB);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            source.SetPixelRGB(x, y, TRGB{uint8_t(x * 4), uint8_t(y * 4), uint8_t((x * 7 + y * 13) & 255)});
    for (TPixelFormat wide : {pxRGB32, pxRGB48, pxCMYK}) {
        SCOPED_TRACE(int(wide));
        TImageBuffer b;
        b.Assign(source);
        ASSERT_TRUE(b.ConvertTo(wide));
        ASSERT_TRUE(b.ConvertTo(px24RGB));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(source.GetPixelRGB(x, y), b.GetPixelRGB(x, y)) << x << "," << y;
    }
    // 8-bit Lab truncates a and b to whole units, which near the edge of the
    // gamut moves a colour visibly; grays come back within one level.
    TImageBuffer grays(256, 1, px24RGB);
    for (int v = 0; v < 256; ++v)
        grays.SetPixelRGB(v, 0, TRGB{uint8_t(v), uint8_t(v), uint8_t(v)});
    ASSERT_TRUE(grays.ConvertTo(pxCIELab));
    ASSERT_TRUE(grays.ConvertTo(px24RGB));
    for (int v = 0; v < 256; ++v) {
        TRGB c = grays.GetPixelRGB(v, 0);
        EXPECT_LE(std::max({std::abs(c.b - v), std::abs(c.g - v), std::abs(c.r - v)}), 1) << v;
    }
}

TEST(PixelConversion, CmykRoundTripIsExactForEveryColour)
{
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; ++b) {
                uint8_t cmyk[4], r2, g2, b2;
                pixelconv::rgbToCmyk(uint8_t(r), uint8_t(g), uint8_t(b), cmyk);
                pixelconv::cmykToRgb(cmyk, r2, g2, b2);
                ASSERT_EQ(r2, r);
                ASSERT_EQ(g2, g);
                ASSERT_EQ(b2, b);
            }
}

// Number of white pixels of a uniform picture after conversion to px1g.
int whiteCount(uint8_t level, uint8_t method, TLocation location, int size = 16)
{
    TImageBuffer b;
    b.SetLocation(location);
    b.Allocate(size, size, px24RGB);
    b.Fill(RGBToColor(level, level, level));
    b.SetBlackWhiteMethod(method);
    EXPECT_TRUE(b.ConvertTo(px1g));
    int count = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            count += (b.RowPointer(y)[x >> 3] >> (7 - (x & 7))) & 1;
    return count;
}

TEST(PixelConversion, OrderedDitherCounts)
{
    struct Row { uint8_t level; TLocation location; int white; };
    const Row rows[] = {
        {0, locInMemory, 0},
        {128, locInMemory, 4 * 32},   // 32 of every 64
        {255, locInMemory, 4 * 63},   // the cell holding 63 stays black
        {251, locInMemory, 4 * 62},
        {251, locTBitmap, 256},       // the device bitmap treats near white as white
        {250, locTBitmap, 4 * 62},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.level) << " location " << int(r.location));
        EXPECT_EQ(whiteCount(r.level, bwOrderedDither, r.location), r.white);
    }
    // The black cell of white is column 7 of every row 0 of the 8 x 8 tile.
    TImageBuffer w(16, 16, px24RGB);
    w.Fill(0xFFFFFF);
    w.SetBlackWhiteMethod(bwOrderedDither);
    ASSERT_TRUE(w.ConvertTo(px1g));
    EXPECT_EQ(w.RowPointer(0)[0], 0xFE);
    EXPECT_EQ(w.RowPointer(8)[1], 0xFE);
    EXPECT_EQ(w.RowPointer(1)[0], 0xFF);
}

TEST(PixelConversion, ThresholdAtTheMeanGray)
{
    EXPECT_EQ(whiteCount(0, bwThreshold, locInMemory), 256);  // threshold 0: all white
    EXPECT_EQ(whiteCount(90, bwThreshold, locInMemory), 256);

    // Columns of gray 0, 100 and 200: the mean is 100, and 100 itself is white.
    TImageBuffer b(3, 5, px8g);
    for (int y = 0; y < 5; ++y) {
        b.RowPointer(y)[0] = 0;
        b.RowPointer(y)[1] = 100;
        b.RowPointer(y)[2] = 200;
    }
    ASSERT_EQ(b.BlackWhiteMethod(), bwThreshold);
    ASSERT_TRUE(b.ConvertTo(px1g));
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(b.RowPointer(y)[0], 0x60);
}

TEST(PixelConversion, GrayMatchesTheFormulaForManyColours)
{
    TImageBuffer b(256, 256, px24RGB);
    auto colour = [](int x, int y) { return TRGB{uint8_t(x), uint8_t(y), uint8_t((x * 7 + y * 3) & 255)}; };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            b.SetPixelRGB(x, y, colour(x, y));
    ASSERT_TRUE(b.ConvertTo(px8g));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const TRGB c = colour(x, y);
            ASSERT_EQ(b.RowPointer(y)[x], (21 * c.r + 71 * c.g + 8 * c.b) / 100) << x << "," << y;
        }
}

TEST(PixelConversion, GrayFollowsTheProcessWeights)
{
    struct Row { int r, g, b; uint8_t expected; };
    const Row rows[] = {
        {0, 100, 0, 77},
        {100, 100, 100, 255},  // sums beyond 16 bits are held to white
        {50, 50, 50, 168},     // (10 + 77 + 250) / 2
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.r << "/" << r.g << "/" << r.b);
        TImagingSettings saved = ImagingSettings();
        ImagingSettings().GrayWeightRed = r.r;
        ImagingSettings().GrayWeightGreen = r.g;
        ImagingSettings().GrayWeightBlue = r.b;
        TImageBuffer b(1, 1, px24RGB);
        b.SetPixelRGB(0, 0, TRGB{250, 77, 10});
        bool ok = b.ConvertTo(px8g);
        ImagingSettings() = saved;
        ASSERT_TRUE(ok);
        EXPECT_EQ(b.RowPointer(0)[0], r.expected);
    }
}

TEST(PixelConversion, ConversionKeepsSizeAlphaAndStorage)
{
    TImageBuffer b(5, 3, px24RGB);
    b.SetAlpha(4, 2, 17);
    ASSERT_TRUE(b.ConvertTo(px8g));
    EXPECT_EQ(b.GetAlpha(4, 2), 17);
    EXPECT_EQ(b.Location(), locInMemory);
    EXPECT_TRUE(b.SetPixelFormat(px8g));
    EXPECT_FALSE(b.ConvertTo(pxNone));
    EXPECT_FALSE(b.ConvertTo(TPixelFormat(99)));
    EXPECT_EQ(b.PixelFormat(), px8g);
    EXPECT_FALSE(TImageBuffer().ConvertTo(px8g));

    TImageBuffer dib;
    dib.SetLocation(locTBitmap);
    ASSERT_TRUE(dib.Allocate(2, 2, px24RGB));
    try {
        dib.ConvertTo(pxCMYK);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "pxCMYK pixel format not allowed when Location=locTBitmap");
    }
    EXPECT_EQ(dib.PixelFormat(), px24RGB);
    ASSERT_TRUE(dib.ConvertTo(px8g));
    EXPECT_EQ(dib.Location(), locTBitmap);
}

}  // namespace
