// TImageBuffer::RenderToTBitmap: nearest-pixel scaling with 14-bit steps,
// clipping, constant and per-pixel opacity, mixed formats.
#include "imaging/ImageBuffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A px8g picture whose pixel (x, y) is 10 * y + x + 1.
TImageBuffer numbered(int w, int h)
{
    TImageBuffer b(w, h, px8g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.RowPointer(y)[x] = uint8_t(10 * y + x + 1);
    return b;
}

std::vector<std::vector<int>> pixels(const TImageBuffer& b)
{
    std::vector<std::vector<int>> out(size_t(b.Height()), std::vector<int>(size_t(b.Width())));
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            out[size_t(y)][size_t(x)] = b.RowPointer(y)[x];
    return out;
}

TEST(ImageRender, NearestPixelScaling)
{
    struct Row { const char* name; int srcW, srcH, destW, destH; std::vector<std::vector<int>> expected; };
    const Row rows[] = {
        {"double", 2, 2, 4, 3, {{1, 1, 2, 2}, {1, 1, 2, 2}, {11, 11, 12, 12}}},
        {"half", 4, 4, 2, 2, {{1, 3}, {21, 23}}},
        {"three into two", 3, 1, 2, 1, {{1, 2}}},  // step 1.5: columns 0 and 1
        {"same size", 3, 2, 3, 2, {{1, 2, 3}, {11, 12, 13}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TImageBuffer src = numbered(r.srcW, r.srcH);
        TImageBuffer dest(r.destW, r.destH, px8g);
        src.RenderToTBitmap(dest, 0, 0, r.destW, r.destH, 0, 0, r.srcW, r.srcH);
        EXPECT_EQ(pixels(dest), r.expected);
    }
}

TEST(ImageRender, ClippingKeepsTheScale)
{
    TImageBuffer src = numbered(5, 4);
    // The whole 15 x 9 rendering, and the same rectangle hanging over every
    // edge of a 10 x 5 destination: the visible pixels must agree.
    TImageBuffer full(15, 9, px8g);
    src.RenderToTBitmap(full, 0, 0, 15, 9, 0, 0, 5, 4);
    for (auto [dx, dy] : {std::pair{-3, -2}, std::pair{-7, 0}, std::pair{0, -5}, std::pair{2, 1}}) {
        SCOPED_TRACE(testing::Message() << dx << "," << dy);
        TImageBuffer dest(10, 5, px8g);
        dest.Fill(0);
        src.RenderToTBitmap(dest, dx, dy, 15, 9, 0, 0, 5, 4);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 10; ++x) {
                const int fx = x - dx, fy = y - dy;
                const bool inside = fx >= 0 && fy >= 0 && fx < 15 && fy < 9;
                ASSERT_EQ(dest.RowPointer(y)[x], inside ? full.RowPointer(fy)[fx] : 0) << x << "," << y;
            }
    }
}

TEST(ImageRender, NothingDrawnForEmptyOrOutsideRectangles)
{
    TImageBuffer src = numbered(3, 3);
    struct Row { int dx, dy, dw, dh, sx, sy, sw, sh; };
    const Row rows[] = {
        {4, 0, 2, 2, 0, 0, 3, 3},    // origin right of the destination
        {0, 4, 2, 2, 0, 0, 3, 3},    // origin below
        {-2, 0, 2, 2, 0, 0, 3, 3},   // entirely left of it
        {0, 0, 0, 2, 0, 0, 3, 3},    // empty destination rectangle
        {0, 0, 2, 2, 0, 0, 3, 0},    // empty source rectangle
        {0, 0, 2, 2, 5, 5, 3, 3},    // source rectangle outside the source
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.dx << "," << r.dy << " " << r.dw << "x" << r.dh);
        TImageBuffer dest(4, 4, px8g);
        dest.Fill(0);
        src.RenderToTBitmap(dest, r.dx, r.dy, r.dw, r.dh, r.sx, r.sy, r.sw, r.sh);
        EXPECT_EQ(pixels(dest), std::vector<std::vector<int>>(4, std::vector<int>(4, 0)));
    }
}

TEST(ImageRender, ConstantAndPerPixelOpacity)
{
    TImageBuffer src(2, 1, px24RGB);
    src.Fill(RGBToColor(200, 200, 200));
    TImageBuffer dest(2, 1, px24RGB);
    dest.Fill(RGBToColor(100, 100, 100));
    src.RenderToTBitmap(dest, 0, 0, 2, 1, 0, 0, 2, 1, 128);
    // (200 * 128 + 100 * 127) / 255, rounded
    EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{150, 150, 150}));

    dest.Fill(RGBToColor(100, 100, 100));
    src.SetAlpha(0, 0, 0);
    src.SetAlpha(1, 0, 255);
    src.RenderToTBitmap(dest, 0, 0, 2, 1, 0, 0, 2, 1);
    EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{100, 100, 100}));  // transparent: untouched
    EXPECT_EQ(dest.GetPixelRGB(1, 0), (TRGB{200, 200, 200}));

    src.SetAlpha(1, 0, 51);  // 51 of 255 at half opacity: weight 26
    dest.Fill(0);
    src.RenderToTBitmap(dest, 0, 0, 2, 1, 0, 0, 2, 1, 128);
    EXPECT_EQ(dest.GetPixelRGB(1, 0), (TRGB{20, 20, 20}));

    TImageBuffer dim = numbered(2, 1);
    TImageBuffer grayDest(2, 1, px8g);
    dim.RenderToTBitmap(grayDest, 0, 0, 2, 1, 0, 0, 2, 1, 0);  // fully transparent
    EXPECT_EQ(grayDest.RowPointer(0)[0], 0);
}

TEST(ImageRender, SmallFormatsIntoColour)
{
    TImageBuffer bits(2, 1, px1g);
    bits.RowPointer(0)[0] = 0x40;  // black, white
    TImageBuffer pal(2, 1, px8p);
    pal.Palette()[1] = TRGB{1, 2, 3};
    pal.RowPointer(0)[1] = 1;
    TImageBuffer gray = numbered(2, 1);
    for (TPixelFormat destFormat : {px24RGB, pxRGB32}) {
        SCOPED_TRACE(int(destFormat));
        TImageBuffer dest(2, 3, destFormat);
        bits.RenderToTBitmap(dest, 0, 0, 2, 1, 0, 0, 2, 1);
        pal.RenderToTBitmap(dest, 0, 1, 2, 1, 0, 0, 2, 1);
        gray.RenderToTBitmap(dest, 0, 2, 2, 1, 0, 0, 2, 1);
        EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));
        EXPECT_EQ(dest.GetPixelRGB(1, 0), (TRGB{255, 255, 255}));
        EXPECT_EQ(dest.GetPixelRGB(1, 1), (TRGB{1, 2, 3}));
        EXPECT_EQ(dest.GetPixelRGB(1, 2), (TRGB{2, 2, 2}));
    }
    TImageBuffer gray8(2, 1, px8g);
    gray8.Fill(0);
    bits.RenderToTBitmap(gray8, 0, 0, 2, 1, 0, 0, 2, 1);  // no such pair: untouched
    EXPECT_EQ(gray8.RowPointer(0)[1], 0);

    TImageBuffer bitsDest(16, 1, px1g);
    bits.RenderToTBitmap(bitsDest, 0, 0, 16, 1, 0, 0, 2, 1);
    EXPECT_EQ(bitsDest.RowPointer(0)[0], 0x00);
    EXPECT_EQ(bitsDest.RowPointer(0)[1], 0xFF);
}

}  // namespace

namespace {

TEST(ImageRender, FiltersResampleBeforeDrawing)
{
    TImageBuffer src(4, 1, px24RGB);
    src.Fill(0);
    src.SetPixelRGB(1, 0, TRGB{255, 255, 255});
    src.SetPixelRGB(3, 0, TRGB{255, 255, 255});
    TImageBuffer nearest(2, 1, px24RGB), filtered(2, 1, px24RGB);
    src.RenderToTBitmap(nearest, 0, 0, 2, 1, 0, 0, 4, 1, 255, rfNone);
    src.RenderToTBitmap(filtered, 0, 0, 2, 1, 0, 0, 4, 1, 255, rfTriangle);
    EXPECT_EQ(nearest.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));  // picks columns 0 and 2
    EXPECT_EQ(nearest.GetPixelRGB(1, 0), (TRGB{0, 0, 0}));
    for (int x = 0; x < 2; ++x) {  // the filter mixes black and white
        const TRGB c = filtered.GetPixelRGB(x, 0);
        EXPECT_GT(c.g, 40) << x;
        EXPECT_LT(c.g, 215) << x;
    }
}

}  // namespace
