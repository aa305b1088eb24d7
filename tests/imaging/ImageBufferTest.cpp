// TImageBuffer: format tables, row lengths, allocation, copies, fills,
// single pixels, size changes and the alpha channel.
#include "imaging/ImageBuffer.h"
#include "imaging/ImagingSettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

// Restores the process-wide settings a test changed.
struct SettingsGuard {
    TImagingSettings saved = ImagingSettings();
    ~SettingsGuard() { ImagingSettings() = saved; }
};

// A small px24RGB picture whose every pixel differs: (x*20, y*30, x+y).
TImageBuffer& paintGradient(TImageBuffer& b)
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixelRGB(x, y, TRGB{uint8_t(x + y), uint8_t(y * 30), uint8_t(x * 20)});
    return b;
}

TEST(ImageBuffer, FormatTables)
{
    struct Row { TPixelFormat format; int bits, channels; };
    const Row rows[] = {{pxNone, 0, 0},  {px1g, 1, 1},    {px8p, 8, 1},     {px8g, 8, 1},
                        {pxGray16, 16, 1}, {px24RGB, 24, 3}, {px32f, 32, 1},  {pxCMYK, 32, 4},
                        {pxRGB48, 48, 3}, {pxCIELab, 24, 3}, {pxRGB32, 32, 4}};
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.format));
        EXPECT_EQ(PixelFormatBitCount(r.format), r.bits);
        EXPECT_EQ(PixelFormatChannelCount(r.format), r.channels);
        if (r.format == pxNone)
            continue;
        TImageBuffer b(2, 2, r.format);
        EXPECT_EQ(b.BitCount(), r.bits);
        EXPECT_EQ(b.ChannelCount(), r.channels);
    }
    EXPECT_EQ(PixelFormatBitCount(TPixelFormat(11)), 0);
}

TEST(ImageBuffer, RowLengths)
{
    struct Row { TPixelFormat format; int width, align; int rowLen; };
    const Row rows[] = {
        {px1g, 1, 32, 4},     {px1g, 32, 32, 4},     {px1g, 33, 32, 8},   {px24RGB, 3, 32, 12},
        {px24RGB, 4, 32, 12}, {px8g, 5, 32, 8},      {pxGray16, 3, 32, 8}, {pxRGB48, 1, 32, 8},
        {pxRGB48, 2, 32, 12}, {pxCMYK, 3, 32, 12},   {px24RGB, 3, 8, 9},  {px1g, 17, 16, 4},
        {px8g, 1, 64, 8},     {pxCIELab, 5, 16, 16}, {px1g, 9, 8, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.format) << " w=" << r.width << " align=" << r.align);
        EXPECT_EQ(CalcRowLen(r.width, PixelFormatBitCount(r.format), r.align), r.rowLen);
        TImageBuffer b;
        b.SetRowAlignBits(r.align);
        ASSERT_TRUE(b.Allocate(r.width, 3, r.format));
        EXPECT_EQ(b.RowLen(), r.rowLen);
        EXPECT_EQ(b.RowPointer(0) - b.RowPointer(1), r.rowLen);
    }
    EXPECT_EQ(CalcRowLen(10, 8, 12), -1);                  // alignment not a whole number of bytes
    EXPECT_EQ(CalcRowLen(int64_t(INT32_MAX), 48, 32), -1);  // does not fit 32 bits
}

TEST(ImageBuffer, InMemoryRowsLieBottomUpFromAnAlignedOrigin)
{
    TImageBuffer b(5, 7, px24RGB);
    ASSERT_EQ(b.Location(), locInMemory);
    EXPECT_EQ(b.RowPointer(0) - b.RowPointer(6), 6 * b.RowLen());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.RowPointer(6)) % 32, 0u);
    EXPECT_EQ(b.RowPointer(-1), nullptr);
    EXPECT_EQ(b.RowPointer(7), nullptr);
}

TEST(ImageBuffer, AllocateRefusesInvalidAndAbsurdSizes)
{
    SettingsGuard guard;
    struct Row { int w, h; TPixelFormat f; };
    const Row bad[] = {{0, 5, px8g}, {5, 0, px8g}, {-1, 5, px8g}, {5, 5, pxNone}, {5, 5, TPixelFormat(42)},
                       {INT32_MAX, INT32_MAX, px24RGB}, {1 << 16, 1 << 15, px8g}};
    for (const Row& r : bad) {
        SCOPED_TRACE(testing::Message() << r.w << "x" << r.h);
        TImageBuffer b(4, 4, px24RGB);
        b.Alpha();
        EXPECT_FALSE(b.Allocate(r.w, r.h, r.f));
        EXPECT_TRUE(b.IsEmpty());
        EXPECT_EQ(b.Width(), 0);
        EXPECT_EQ(b.Height(), 0);
        EXPECT_FALSE(b.HasAlpha());
    }
    // Even with the pixel limit lifted a row longer than 2^31 bytes is refused.
    ImagingSettings().MaxPicturePixels = INT64_MAX;
    TImageBuffer wide;
    EXPECT_FALSE(wide.Allocate(INT32_MAX, 1, pxRGB48));
    EXPECT_TRUE(PictureSizeAllowed(1 << 15, 1 << 15));
    ImagingSettings().MaxPicturePixels = 100;
    EXPECT_TRUE(PictureSizeAllowed(10, 10));
    EXPECT_FALSE(PictureSizeAllowed(10, 11));
    EXPECT_FALSE(TImageBuffer(10, 11, px8g).Width());
}

TEST(ImageBuffer, ReallocatingKeepsPixelsOnlyForTheSameSizeAndFormat)
{
    TImageBuffer b(4, 3, px8g);
    b.Fill(77);
    TImageBuffer* alpha = b.Alpha();
    ASSERT_NE(alpha, nullptr);
    uint8_t* before = b.RowPointer(0);
    ASSERT_TRUE(b.Allocate(4, 3, px8g));
    EXPECT_EQ(b.RowPointer(0), before);
    EXPECT_EQ(b.RowPointer(2)[3], 77);
    EXPECT_TRUE(b.HasAlpha());

    ASSERT_TRUE(b.Allocate(4, 3, px24RGB));  // same size: alpha stays
    EXPECT_TRUE(b.HasAlpha());
    ASSERT_TRUE(b.Allocate(5, 3, px24RGB));  // new size: alpha goes
    EXPECT_FALSE(b.HasAlpha());

    b.SetRowAlignBits(8);  // a new alignment forces a real allocation
    ASSERT_TRUE(b.Allocate(5, 3, px24RGB));
    EXPECT_EQ(b.RowLen(), 15);
}

TEST(ImageBuffer, PalettedAllocationHasAFullPalette)
{
    TImageBuffer b(3, 3, px8p);
    ASSERT_NE(b.Palette(), nullptr);
    EXPECT_EQ(b.PaletteCount(), 256);
    const TRGB entries[2] = {{1, 2, 3}, {4, 5, 6}};
    b.SetPalette(entries, 2);
    EXPECT_EQ(b.PaletteCount(), 2);
    EXPECT_EQ(b.Palette()[1], (TRGB{4, 5, 6}));
    EXPECT_EQ(TImageBuffer(3, 3, px8g).Palette(), nullptr);
}

TEST(ImageBuffer, FillWritesEveryFormatsPixelLayout)
{
    struct Row { TPixelFormat format; uint32_t value; std::vector<uint8_t> bytes; };
    uint8_t half[4], one[4];
    float h = 128.0f / 255.0f, o = 1.0f;
    std::memcpy(half, &h, 4);
    std::memcpy(one, &o, 4);
    const uint16_t g16 = 0x1234, r48[3] = {0x1111, 0x2222, 0x3333};
    uint8_t g16b[2], r48b[6];
    std::memcpy(g16b, &g16, 2);
    std::memcpy(r48b, r48, 6);
    const Row rows[] = {
        {px8g, 200, {200}},
        {px8p, 7, {7}},
        {pxGray16, 0x1234, {g16b[0], g16b[1]}},
        {px24RGB, 0x332211, {0x33, 0x22, 0x11}},
        {pxRGB32, 0x80332211, {0x33, 0x22, 0x11, 0x80}},
        {pxRGB48, 0x332211, {r48b[0], r48b[1], r48b[2], r48b[3], r48b[4], r48b[5]}},
        {pxCMYK, 0x44332211, {0x11, 0x22, 0x33, 0x44}},
        {pxCIELab, 0xF0F0FF, {0xFF, 0xF0, 0xF0}},
        {px32f, 128, {half[0], half[1], half[2], half[3]}},
        {px32f, 255, {one[0], one[1], one[2], one[3]}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.format));
        TImageBuffer b(3, 2, r.format);
        b.Fill(r.value);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(0, std::memcmp(b.RowPointer(y) + x * r.bytes.size(), r.bytes.data(), r.bytes.size()));
    }
    TImageBuffer bits(10, 2, px1g);
    bits.Fill(5);
    EXPECT_EQ(bits.RowPointer(1)[0], 0xFF);
    EXPECT_EQ(bits.RowPointer(1)[1], 0xC0);
}

TEST(ImageBuffer, FillRectIsInclusiveClippedAndTracksFullyOpaque)
{
    TImageBuffer b(6, 4, px8g);
    b.Fill(255);
    EXPECT_TRUE(b.FullyOpaque());
    b.FillRect(4, 2, 10, -3, 9);  // corners in any order, clipped
    EXPECT_FALSE(b.FullyOpaque());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(b.RowPointer(y)[x], (x >= 4 && y <= 2) ? 9 : 255) << x << "," << y;

    TImageBuffer bits(12, 2, px1g);
    bits.FillRect(3, 0, 9, 0, 1);
    EXPECT_EQ(bits.RowPointer(0)[0], 0x1F);
    EXPECT_EQ(bits.RowPointer(0)[1], 0xC0);
    EXPECT_EQ(bits.RowPointer(1)[0], 0x00);
}

TEST(ImageBuffer, SinglePixels)
{
    TImageBuffer b(3, 2, px24RGB);
    b.Fill(0xFFFFFF);
    EXPECT_TRUE(b.FullyOpaque());
    b.SetPixelRGB(2, 1, TRGB{255, 255, 255});
    EXPECT_TRUE(b.FullyOpaque());
    b.SetPixelRGB(2, 1, TRGB{1, 2, 3});
    EXPECT_FALSE(b.FullyOpaque());
    EXPECT_EQ(b.GetPixelRGB(2, 1), (TRGB{1, 2, 3}));
    EXPECT_EQ(b.RowPointer(1)[6], 1);  // blue first
    EXPECT_EQ(b.GetPixelRGB(3, 0), (TRGB{0, 0, 0}));
    b.SetPixelRGB(-1, 0, TRGB{0, 0, 0});  // ignored, no crash

    TImageBuffer p(2, 1, px8p);
    p.Palette()[5] = TRGB{10, 20, 30};
    p.RowPointer(0)[1] = 5;
    EXPECT_EQ(p.GetPixelRGB(1, 0), (TRGB{10, 20, 30}));
}

TEST(ImageBuffer, SetWidthAndHeightKeepTheTopLeftPixels)
{
    TImageBuffer b(4, 3, px24RGB);
    paintGradient(b);
    b.SetAlpha(1, 1, 50);
    ASSERT_TRUE(b.SetWidth(2));
    ASSERT_TRUE(b.SetHeight(5));
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(b.GetPixelRGB(x, y), (TRGB{uint8_t(x + y), uint8_t(y * 30), uint8_t(x * 20)}));
    ASSERT_TRUE(b.HasAlpha());
    EXPECT_EQ(b.ExistingAlpha()->Width(), 2);
    EXPECT_EQ(b.ExistingAlpha()->Height(), 5);
    EXPECT_EQ(b.GetAlpha(1, 1), 50);
    EXPECT_EQ(b.GetAlpha(0, 0), 255);
}

TEST(ImageBuffer, AssignCopiesEverythingCopyFromLeavesAlphaAlone)
{
    TImageBuffer src(3, 2, px24RGB);
    paintGradient(src);
    src.SetAlpha(0, 1, 9);
    src.SetBlackWhiteMethod(bwOrderedDither);

    TImageBuffer dst(7, 7, px8g);
    ASSERT_TRUE(dst.Assign(src));
    EXPECT_EQ(dst.Width(), 3);
    EXPECT_EQ(dst.PixelFormat(), px24RGB);
    EXPECT_EQ(dst.GetPixelRGB(2, 1), src.GetPixelRGB(2, 1));
    EXPECT_EQ(dst.GetAlpha(0, 1), 9);
    EXPECT_EQ(dst.BlackWhiteMethod(), bwOrderedDither);
    dst.SetPixelRGB(0, 0, TRGB{9, 9, 9});
    EXPECT_NE(src.GetPixelRGB(0, 0), (TRGB{9, 9, 9}));  // a copy, not a view

    TImageBuffer noAlpha(3, 2, px24RGB);
    ASSERT_TRUE(dst.Assign(noAlpha));
    EXPECT_FALSE(dst.HasAlpha());

    TImageBuffer keeper(3, 2, px8g);
    keeper.SetAlpha(2, 0, 4);
    ASSERT_TRUE(keeper.CopyFrom(src));
    EXPECT_EQ(keeper.PixelFormat(), px24RGB);
    EXPECT_EQ(keeper.GetPixelRGB(1, 1), src.GetPixelRGB(1, 1));
    EXPECT_EQ(keeper.GetAlpha(2, 0), 4);
    EXPECT_EQ(keeper.GetAlpha(0, 1), 255);

    TImageBuffer empty;
    EXPECT_TRUE(keeper.Assign(empty));
    EXPECT_TRUE(keeper.CopyFrom(empty));
    EXPECT_EQ(keeper.Width(), 3);  // an empty source changes nothing
}

TEST(ImageBuffer, CopyRectClipsToBothBuffers)
{
    TImageBuffer src(4, 4, px8g);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            src.RowPointer(y)[x] = uint8_t(10 * y + x);
    TImageBuffer dst(3, 3, px8g);
    dst.Fill(0);
    src.CopyRect(dst, -1, 1, 4, 9, 1, -1);  // source and destination both overhang
    // Visible part: source x 0..1 at destination 2..3 (clipped to 2), source y 2.. at destination 0..
    const uint8_t expect[3][3] = {{0, 0, 20}, {0, 0, 30}, {0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dst.RowPointer(y)[x], expect[y][x]) << x << "," << y;

    TImageBuffer rgb(3, 3, px24RGB);
    src.CopyRect(rgb, 0, 0, 3, 3, 0, 0);  // mixed formats other than 1-bit: ignored
    EXPECT_EQ(rgb.GetPixelRGB(1, 1), (TRGB{0, 0, 0}));

    TImageBuffer bits(9, 1, px1g);
    bits.RowPointer(0)[0] = 0x5A;
    bits.RowPointer(0)[1] = 0x80;
    TImageBuffer colour(4, 1, px24RGB);
    bits.CopyRect(colour, 5, 0, 4, 1, 0, 0);  // bits 0,1,0,1
    EXPECT_EQ(colour.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(colour.GetPixelRGB(1, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(colour.GetPixelRGB(3, 0), (TRGB{255, 255, 255}));

    TImageBuffer bitsOut(9, 1, px1g);
    bits.CopyRect(bitsOut, 1, 0, 8, 1, 0, 0);
    EXPECT_EQ(bitsOut.RowPointer(0)[0], 0xB5);
}

TEST(ImageBuffer, CopyRectWithinOneBufferHandlesOverlap)
{
    TImageBuffer b(6, 1, px8g);
    for (int x = 0; x < 6; ++x)
        b.RowPointer(0)[x] = uint8_t(x + 1);
    b.CopyRect(b, 0, 0, 4, 1, 2, 0);
    const uint8_t expect[6] = {1, 2, 1, 2, 3, 4};
    EXPECT_EQ(0, std::memcmp(b.RowPointer(0), expect, 6));
}

TEST(ImageBuffer, CopyAlphaRectKeepsTheLargerValue)
{
    TImageBuffer a(2, 1, px8g), b(2, 1, px8g);
    a.RowPointer(0)[0] = 10;
    a.RowPointer(0)[1] = 200;
    b.RowPointer(0)[0] = 50;
    b.RowPointer(0)[1] = 100;
    a.CopyAlphaRect(b, 0, 0, 2, 1, 0, 0);
    EXPECT_EQ(b.RowPointer(0)[0], 50);
    EXPECT_EQ(b.RowPointer(0)[1], 200);
}

TEST(ImageBuffer, AlphaChannel)
{
    TImageBuffer b(3, 2, px24RGB);
    EXPECT_FALSE(b.HasAlpha());
    EXPECT_EQ(b.GetAlpha(1, 1), 255);
    TImageBuffer* a = b.Alpha();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsAlpha());
    EXPECT_TRUE(a->FullyOpaque());
    EXPECT_EQ(a->PixelFormat(), px8g);
    EXPECT_EQ(a->RowPointer(1)[2], 255);
    EXPECT_EQ(a->Alpha(), nullptr);  // an alpha channel never gets one

    b.SetAlpha(2, 1, 255);
    EXPECT_TRUE(a->FullyOpaque());
    b.SetAlpha(2, 1, 254);
    EXPECT_FALSE(a->FullyOpaque());
    EXPECT_EQ(b.GetAlpha(2, 1), 254);

    EXPECT_FALSE(b.AdoptAlpha(std::make_unique<TImageBuffer>(4, 2, px8g)));
    EXPECT_FALSE(b.AdoptAlpha(std::make_unique<TImageBuffer>(3, 2, px24RGB)));
    EXPECT_EQ(b.GetAlpha(2, 1), 254);  // refused channels change nothing
    auto mine = std::make_unique<TImageBuffer>(3, 2, px8g);
    mine->Fill(7);
    ASSERT_TRUE(b.AdoptAlpha(std::move(mine)));
    EXPECT_EQ(b.GetAlpha(0, 0), 7);
    EXPECT_TRUE(b.ExistingAlpha()->IsAlpha());
    auto detached = b.DetachAlpha();
    ASSERT_NE(detached, nullptr);
    EXPECT_FALSE(detached->IsAlpha());
    EXPECT_FALSE(b.HasAlpha());
}

TEST(ImageBuffer, RemoveAlphaBlendsOverTheBackground)
{
    struct Row { uint8_t colour, alpha, background, result; };
    const Row rows[] = {
        {0, 0, 255, 255},    // fully transparent: the background
        {0, 255, 255, 0},    // opaque black stays black
        {255, 255, 0, 255},  // opaque white stays white
        {200, 128, 255, 227},  // 255 + floor(-55 * 129 / 256)
        {200, 128, 0, 100},    // 0 + floor(200 * 129 / 256)
        {100, 1, 200, 199},    // 200 + floor(-100 * 1 / 256): toward minus infinity
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.colour) << " a=" << int(r.alpha) << " bg=" << int(r.background));
        TImageBuffer b(1, 1, px24RGB);
        b.SetPixelRGB(0, 0, TRGB{r.colour, r.colour, r.colour});
        b.SetAlpha(0, 0, r.alpha);
        b.RemoveAlpha(true, RGBToColor(r.background, r.background, r.background));
        EXPECT_FALSE(b.HasAlpha());
        EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{r.result, r.result, r.result}));
    }
    TImageBuffer keep(1, 1, px24RGB);
    keep.SetAlpha(0, 0, 0);
    keep.RemoveAlpha(false, 0xFFFFFF);
    EXPECT_EQ(keep.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));
    // Channels per component: blue, green and red each use their own background.
    TImageBuffer tinted(1, 1, px24RGB);
    tinted.SetAlpha(0, 0, 0);
    tinted.RemoveAlpha(true, RGBToColor(10, 20, 30));
    EXPECT_EQ(tinted.GetPixelRGB(0, 0), (TRGB{30, 20, 10}));
}

TEST(ImageBuffer, WrapMemoryIsABottomUpViewThatIsNeverFreed)
{
    std::vector<uint8_t> memory(8 * 2, 0);
    memory[8] = 42;  // first byte of the second row in memory = top row
    {
        TImageBuffer view;
        ASSERT_TRUE(view.WrapMemory(memory.data(), 2, 2, px24RGB));
        EXPECT_EQ(view.Location(), locInMemory);
        EXPECT_EQ(view.RowLen(), 8);
        EXPECT_EQ(view.GetPixelRGB(0, 0).b, 42);
        view.SetPixelRGB(1, 1, TRGB{1, 2, 3});
    }
    EXPECT_EQ(memory[3], 1);  // written through, memory still ours
    TImageBuffer bad;
    EXPECT_FALSE(bad.WrapMemory(nullptr, 2, 2, px24RGB));
}

TEST(ImageBuffer, DeviceBitmapRowsAreTopDownAndWrappable)
{
    TImageBuffer b(5, 3, px24RGB);
    paintGradient(b);
    TDeviceBitmap dib = b.DeviceBitmap();
    EXPECT_EQ(b.Location(), locTBitmap);
    ASSERT_NE(dib.bits, nullptr);
    EXPECT_EQ(dib.width, 5);
    EXPECT_EQ(dib.height, 3);
    EXPECT_EQ(dib.stride, 16);
    EXPECT_EQ(dib.format, px24RGB);
    EXPECT_EQ(b.RowPointer(2), dib.bits + 2 * dib.stride);
    EXPECT_EQ(dib.bits[3 * 4 + 2], 4 * 20);  // red of pixel (4, 0)
    EXPECT_EQ(b.GetPixelRGB(3, 2), (TRGB{5, 60, 60}));

    std::vector<uint8_t> image(20 * 2, 0);
    TImageBuffer view;
    ASSERT_TRUE(view.WrapDeviceBitmap(image.data(), 4, 2, 20, px24RGB));
    EXPECT_EQ(view.Location(), locTBitmap);
    view.SetPixelRGB(0, 1, TRGB{7, 8, 9});
    EXPECT_EQ(image[20], 7);
    EXPECT_FALSE(view.WrapDeviceBitmap(image.data(), 4, 2, 11, px24RGB));   // stride too small
    EXPECT_FALSE(view.WrapDeviceBitmap(image.data(), 4, 2, 20, pxCMYK));  // no such bitmap
}

TEST(ImageBuffer, DeviceBitmapRefusesFormatsItCannotHold)
{
    const TPixelFormat refused[] = {px32f, pxCMYK, pxRGB48, pxCIELab};
    const char* names[] = {"px32f", "pxCMYK", "pxRGB48", "pxCIELab"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        TImageBuffer b(2, 2, refused[i]);
        EXPECT_EQ(b.DeviceBitmap().bits, nullptr);
        try {
            b.SetLocation(locTBitmap);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), std::string(names[i]) + " pixel format not allowed when Location=locTBitmap");
        }
        TImageBuffer dib;
        dib.SetLocation(locTBitmap);
        EXPECT_FALSE(dib.Allocate(2, 2, refused[i]));
        EXPECT_TRUE(dib.IsEmpty());
    }
    TImageBuffer dib;
    dib.SetLocation(locTBitmap);
    ASSERT_TRUE(dib.Allocate(2, 2, pxGray16));  // kept as 8-bit gray
    EXPECT_EQ(dib.PixelFormat(), px8g);
    EXPECT_EQ(dib.Location(), locTBitmap);
}

TEST(ImageBuffer, SetLocationMovesPixelsPaletteAndAlpha)
{
    TImageBuffer b(3, 3, px8p);
    b.Palette()[2] = TRGB{9, 8, 7};
    b.RowPointer(1)[1] = 2;
    b.SetAlpha(1, 1, 33);
    b.SetLocation(locTBitmap);
    EXPECT_EQ(b.Location(), locTBitmap);
    EXPECT_EQ(b.ExistingAlpha()->Location(), locInMemory);
    b.SetLocation(locInMemory);
    EXPECT_EQ(b.Location(), locInMemory);
    EXPECT_EQ(b.GetPixelRGB(1, 1), (TRGB{9, 8, 7}));
    EXPECT_EQ(b.GetAlpha(1, 1), 33);
}

TEST(ImageBuffer, ReleaseEmptiesTheBuffer)
{
    TImageBuffer b(3, 3, px8p);
    b.Alpha();
    b.Release(false);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.PixelFormat(), pxNone);
    EXPECT_EQ(b.Palette(), nullptr);
    EXPECT_TRUE(b.HasAlpha());
    b.Release();
    EXPECT_FALSE(b.HasAlpha());
    EXPECT_TRUE(TImageBuffer().IsEmpty());
    EXPECT_EQ(TImageBuffer().Location(), locTempFile);
}

}  // namespace

namespace {

TEST(ImageBuffer, MovingHandsOverPixelsAndAlpha)
{
    TImageBuffer a(3, 2, px24RGB);
    paintGradient(a);
    a.SetAlpha(1, 1, 5);
    TImageBuffer b(std::move(a));
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_FALSE(a.HasAlpha());
    EXPECT_EQ(b.GetPixelRGB(2, 1), (TRGB{3, 30, 40}));
    EXPECT_EQ(b.GetAlpha(1, 1), 5);
    TImageBuffer c(9, 9, px8g);
    c = std::move(b);
    EXPECT_EQ(c.Width(), 3);
    EXPECT_EQ(c.GetAlpha(1, 1), 5);
    EXPECT_TRUE(b.IsEmpty());
}

}  // namespace
