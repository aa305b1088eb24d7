// BMP reader and writer: round trips through every depth, header and
// compression; the header fields as written; hand-made files for the
// reader-only cases (16 bits, bit fields, top-down, zero alpha); damaged
// and hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/bmp/BmpFormat.h"

namespace {

using bmp::get16;
using bmp::get32;
using bmp::put16;
using bmp::put32;

// A px24RGB picture with `colours` distinct colours laid out so that rows
// hold long runs, short runs and literal stretches (every RLE case).
std::unique_ptr<TImageBuffer> makePicture(int w, int h, int colours)
{
    auto buf = TImageBuffer::CreateSized(w, h, px24RGB);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = buf->RowPointer(y);
        for (int x = 0; x < w; ++x) {
            int k;
            if (x < w / 3)
                k = (y / 2) % colours;             // long run
            else if (x < w / 2)
                k = ((x / 2) + y) % colours;       // runs of two
            else
                k = (x * 7 + y * 3) % colours;     // literals
            row[3 * x] = uint8_t(k * 37);
            row[3 * x + 1] = uint8_t(255 - k * 11);
            row[3 * x + 2] = uint8_t(k * 5 + 3);
        }
    }
    return buf;
}

std::unique_ptr<TImageBuffer> makeBits(int w, int h)
{
    auto buf = TImageBuffer::CreateSized(w, h, px1g);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = buf->RowPointer(y);
        std::memset(row, 0, size_t(buf->RowLen()));
        for (int x = 0; x < w; ++x)
            if ((x * x + y) % 3 == 0 || x > w - 5)
                row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    return buf;
}

void expectSamePixels(const TImageBuffer& a, const TImageBuffer& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            TRGB pa = a.GetPixelRGB(x, y), pb = b.GetPixelRGB(x, y);
            ASSERT_EQ(pa, pb) << "at " << x << "," << y;
        }
}

std::vector<uint8_t> save(TImageIO& io)
{
    TMemoryStream out;
    EXPECT_TRUE(io.SaveToStreamBmp(out));
    return out.TakeBytes();
}

bool load(TImageIO& io, const std::vector<uint8_t>& bytes)
{
    TMemoryView in(bytes.data(), bytes.size());
    return io.LoadFromStream(in, ffBMP);
}

struct RoundTripCase {
    const char* name;
    int bitsPerSample;
    int samplesPerPixel;
    int version;
    int compression;
    int colours;  // of the source picture, 0 = a px1g source
    int expectBits;
};

class BmpRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(BmpRoundTrip, WritesTheChosenLayoutAndReadsTheSamePixels)
{
    const RoundTripCase& c = GetParam();
    const int w = 300, h = 7;  // longer than one run or literal group
    TImageIO io;
    auto source = c.colours == 0 ? makeBits(w, h) : makePicture(w, h, c.colours);
    ASSERT_TRUE(io.Buffer()->Assign(*source));
    io.Params.BitsPerSample = c.bitsPerSample;
    io.Params.SamplesPerPixel = c.samplesPerPixel;
    io.Params.BmpVersion = uint8_t(c.version);
    io.Params.BmpCompression = uint8_t(c.compression);
    auto bytes = save(io);
    ASSERT_GT(bytes.size(), 26u);

    const int headerSize = c.version == 2 ? 12 : c.version == 3 ? 64 : 40;
    EXPECT_EQ(get32(&bytes[14]), uint32_t(headerSize));
    EXPECT_EQ(get32(&bytes[2]), bytes.size());
    const bool core = c.version == 2;
    EXPECT_EQ(get16(&bytes[core ? 24 : 28]), c.expectBits);
    const bool rle = !core && c.compression == 1 && (c.expectBits == 4 || c.expectBits == 8);
    if (!core) {
        EXPECT_EQ(get32(&bytes[30]), rle ? (c.expectBits == 8 ? 1u : 2u) : 0u);
        EXPECT_EQ(get32(&bytes[34]), bytes.size() - get32(&bytes[10]));
    }
    if (rle) {
        // The bitmap ends with end-of-line then end-of-bitmap.
        EXPECT_EQ(bytes[bytes.size() - 4], 0);
        EXPECT_EQ(bytes[bytes.size() - 3], 0);
        EXPECT_EQ(bytes[bytes.size() - 2], 0);
        EXPECT_EQ(bytes[bytes.size() - 1], 1);
    }

    TImageIO back;
    ASSERT_TRUE(load(back, bytes));
    EXPECT_EQ(back.Params.FileType, ffBMP);
    EXPECT_EQ(back.Params.BmpVersion, c.version == 2 ? 2 : c.version == 3 ? 3 : 1);
    EXPECT_EQ(back.Params.BmpCompression, rle ? 1 : 0);
    EXPECT_EQ(back.Buffer()->PixelFormat(), c.colours == 0 && c.expectBits == 1 ? px1g : px24RGB);
    expectSamePixels(*source, *back.Buffer());
}

INSTANTIATE_TEST_SUITE_P(
    AllLayouts, BmpRoundTrip,
    ::testing::Values(
        RoundTripCase{"Rgb24Info", 8, 3, 1, 0, 300, 24}, RoundTripCase{"Rgb24Core", 8, 3, 2, 0, 300, 24},
        RoundTripCase{"Rgb24Os2", 8, 3, 3, 0, 300, 24}, RoundTripCase{"Rgb24Version0", 8, 3, 0, 0, 300, 24},
        RoundTripCase{"Rgb24IgnoresRle", 8, 3, 1, 1, 300, 24},
        RoundTripCase{"Pal8", 8, 1, 1, 0, 200, 8}, RoundTripCase{"Pal8Rle", 8, 1, 1, 1, 200, 8},
        RoundTripCase{"Pal8RleOs2", 8, 1, 3, 1, 256, 8}, RoundTripCase{"Pal8Core", 8, 1, 2, 0, 100, 8},
        RoundTripCase{"Pal8CoreNoRle", 8, 1, 2, 1, 100, 8},
        RoundTripCase{"Pal4", 4, 1, 1, 0, 16, 4}, RoundTripCase{"Pal4Rle", 4, 1, 1, 1, 13, 4},
        RoundTripCase{"Pal4Core", 4, 1, 2, 0, 9, 4},
        RoundTripCase{"Bits1FromPx1g", 1, 1, 1, 0, 0, 1}, RoundTripCase{"Bits1Core", 1, 1, 2, 0, 0, 1},
        RoundTripCase{"Bits1TwoColours", 1, 1, 1, 0, 2, 1}, RoundTripCase{"Pal8FromPx1g", 8, 1, 1, 1, 0, 8},
        RoundTripCase{"Rgb24FromPx1g", 8, 3, 1, 0, 0, 24}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Bmp, WriterTakesGrayPaletteAndFourBytePictures)
{
    const int w = 23, h = 6;
    // Gray at 8 bits: a gray-ramp palette, no colour reduction, exact.
    {
        TImageIO io;
        ASSERT_TRUE(io.Buffer()->Allocate(w, h, px8g));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                io.Buffer()->RowPointer(y)[x] = uint8_t(x * 11 + y);
        io.Params.SamplesPerPixel = 1;
        auto bytes = save(io);
        EXPECT_EQ(get16(&bytes[28]), 8);
        EXPECT_EQ(io.Params.ColorMap[200], (TRGB{200, 200, 200}));
        TImageIO back;
        ASSERT_TRUE(load(back, bytes));
        expectSamePixels(*io.Buffer(), *back.Buffer());
    }
    // A palette picture whose indices do not fit 4 bits is reduced to 16 colours.
    {
        TImageIO io;
        ASSERT_TRUE(io.Buffer()->Allocate(w, h, px8p));
        std::vector<TRGB> pal(40);
        for (int i = 0; i < 40; ++i)
            pal[size_t(i)] = TRGB{uint8_t(i * 6), uint8_t(i * 3), uint8_t(255 - i * 6)};
        io.Buffer()->SetPalette(pal.data(), 40);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                io.Buffer()->RowPointer(y)[x] = uint8_t((x + y * 7) % 40);
        io.Params.BitsPerSample = 4;
        auto bytes = save(io);
        EXPECT_EQ(get16(&bytes[28]), 4);
        TImageIO back;
        ASSERT_TRUE(load(back, bytes));
        std::vector<TRGB> seen;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                TRGB c = back.Buffer()->GetPixelRGB(x, y);
                if (std::find(seen.begin(), seen.end(), c) == seen.end())
                    seen.push_back(c);
            }
        EXPECT_LE(seen.size(), 16u);
        EXPECT_GE(seen.size(), 8u);
    }
    // Palette and four-byte pictures at 24 bits: their colours, exact.
    for (TPixelFormat f : {px8p, pxRGB32}) {
        SCOPED_TRACE(int(f));
        TImageIO io;
        auto pic = makePicture(w, h, 30);
        ASSERT_TRUE(io.Buffer()->Assign(*pic));
        if (f == px8p)
            ASSERT_TRUE(io.Buffer()->ConvertTo(px8p));
        else
            ASSERT_TRUE(io.Buffer()->ConvertTo(pxRGB32));
        auto bytes = save(io);
        EXPECT_EQ(get16(&bytes[28]), 24);
        TImageIO back;
        ASSERT_TRUE(load(back, bytes));
        expectSamePixels(*io.Buffer(), *back.Buffer());
    }
}

TEST(Bmp, ThirtyTwoBitsCarryAlphaWhenAskedElseOpaque)
{
    for (bool saveAlpha : {true, false}) {
        SCOPED_TRACE(saveAlpha);
        TImageIO io;
        auto pic = makePicture(13, 5, 40);
        io.Buffer()->Assign(*pic);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                io.Buffer()->SetAlpha(x, y, uint8_t(x * 19 + y));
        io.Params.BmpSaveAlpha = saveAlpha;
        auto bytes = save(io);
        EXPECT_EQ(get16(&bytes[28]), 32);
        EXPECT_EQ(get32(&bytes[46]), 0u);  // colours used
        EXPECT_EQ(get32(&bytes[50]), 1u);  // colours important: 2^(32 mod 32)
        TImageIO back;
        ASSERT_TRUE(load(back, bytes));
        EXPECT_EQ(back.Params.SamplesPerPixel, 4);
        expectSamePixels(*pic, *back.Buffer());
        ASSERT_TRUE(back.Buffer()->HasAlpha());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(back.Buffer()->GetAlpha(x, y), saveAlpha ? uint8_t(x * 19 + y) : 255);
    }
}

TEST(Bmp, HeaderFieldsOfAThreePixelWidePicture)
{
    TImageIO io;
    auto pic = makePicture(3, 2, 6);
    io.Buffer()->Assign(*pic);
    io.Params.SetResolution(300, 72);
    auto bytes = save(io);
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);  // 9 bytes of pixels padded to 12
    EXPECT_EQ(get32(&bytes[10]), 54u);
    EXPECT_EQ(get32(&bytes[18]), 3u);
    EXPECT_EQ(get32(&bytes[22]), 2u);  // positive: rows bottom-up
    EXPECT_EQ(get16(&bytes[26]), 1);
    EXPECT_EQ(get32(&bytes[34]), 24u);
    EXPECT_EQ(get32(&bytes[38]), 11811u);  // 300 dpi
    EXPECT_EQ(get32(&bytes[42]), 2835u);   // 72 dpi
    EXPECT_EQ(get32(&bytes[46]), 0u);
    EXPECT_EQ(get32(&bytes[50]), 16777216u);
    // The bottom row comes first.
    EXPECT_EQ(0, std::memcmp(&bytes[54], pic->RowPointer(1), 9));
    EXPECT_EQ(bytes[63], 0);

    TImageIO back;
    ASSERT_TRUE(load(back, bytes));
    EXPECT_EQ(back.Params.DpiX, 300);
    EXPECT_EQ(back.Params.DpiY, 72);
    EXPECT_EQ(back.Params.Width, 3);
    EXPECT_EQ(back.Params.Height, 2);
}

TEST(Bmp, PaletteFileKeepsEightBitsAndNativeReadKeepsIndices)
{
    TImageIO io;
    io.Buffer()->Assign(*makePicture(21, 9, 30));
    io.Params.SamplesPerPixel = 1;
    auto bytes = save(io);
    EXPECT_EQ(get32(&bytes[46]), 256u);  // colours used
    EXPECT_EQ(get32(&bytes[50]), 256u);  // colours important

    TImageIO plain;
    ASSERT_TRUE(load(plain, bytes));
    EXPECT_EQ(plain.Params.BitsPerSample, 8);
    EXPECT_EQ(plain.Params.SamplesPerPixel, 1);
    EXPECT_EQ(plain.Params.ColorMapCount, 256);
    // Saved again it stays a palette file.
    auto again = save(plain);
    EXPECT_EQ(get16(&again[28]), 8);

    TImageIO native;
    native.SetNativePixelFormat(true);
    ASSERT_TRUE(load(native, bytes));
    ASSERT_EQ(native.Buffer()->PixelFormat(), px8p);
    expectSamePixels(*plain.Buffer(), *native.Buffer());
    // Native px8p is written back with the same indices and palette.
    auto nativeBytes = save(native);
    EXPECT_EQ(nativeBytes, bytes);
}

// A hand-made file: 14-byte file header, 40-byte info header, extra bytes
// (masks or palette) and rows.
std::vector<uint8_t> handMade(int w, int h, int bits, uint32_t compression, const std::vector<uint8_t>& extra,
                              const std::vector<uint8_t>& rows)
{
    std::vector<uint8_t> f(54 + extra.size());
    f[0] = 'B';
    f[1] = 'M';
    put32(&f[10], uint32_t(f.size()));
    put32(&f[14], 40);
    put32(&f[18], uint32_t(w));
    put32(&f[22], uint32_t(h));
    put16(&f[26], 1);
    put16(&f[28], uint32_t(bits));
    put32(&f[30], compression);
    std::copy(extra.begin(), extra.end(), f.begin() + 54);
    f.insert(f.end(), rows.begin(), rows.end());
    put32(&f[2], uint32_t(f.size()));
    return f;
}

TEST(Bmp, ThirtyTwoBitsWithZeroFourthBytesHaveNoAlpha)
{
    std::vector<uint8_t> rows = {1, 2, 3, 0, 4, 5, 6, 0};
    TImageIO io;
    ASSERT_TRUE(load(io, handMade(2, 1, 32, 0, {}, rows)));
    EXPECT_FALSE(io.Buffer()->HasAlpha());
    EXPECT_EQ(io.Buffer()->GetPixelRGB(1, 0), (TRGB{4, 5, 6}));
}

TEST(Bmp, SixteenBitsWithDefaultAndExplicitMasks)
{
    // 5-5-5 by default: white, pure red, mid blue.
    std::vector<uint8_t> rows(8, 0);
    put16(&rows[0], 0x7FFF);
    put16(&rows[2], 0x7C00);
    put16(&rows[4], 0x0010);
    TImageIO io;
    ASSERT_TRUE(load(io, handMade(3, 1, 16, 0, {}, rows)));
    EXPECT_EQ(io.Params.BitsPerSample, 5);
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(1, 0), (TRGB{0, 0, 255}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(2, 0), (TRGB{132, 0, 0}));

    // 5-6-5 through bit fields following the header.
    std::vector<uint8_t> masks(12);
    put32(&masks[0], 0xF800);
    put32(&masks[4], 0x07E0);
    put32(&masks[8], 0x001F);
    put16(&rows[0], 0x07E0);
    put16(&rows[2], 0xF81F);
    put16(&rows[4], 0xFFFF);
    ASSERT_TRUE(load(io, handMade(3, 1, 16, 3, masks, rows)));
    EXPECT_EQ(io.Params.BmpCompression, 0);
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 0), (TRGB{0, 255, 0}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(1, 0), (TRGB{255, 0, 255}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(2, 0), (TRGB{255, 255, 255}));
}

TEST(Bmp, TopDownRowsAndHonouredDataOffset)
{
    // Two 1-pixel rows, stored top row first, after 6 bytes of gap.
    std::vector<uint8_t> gap(6, 0xEE);
    std::vector<uint8_t> rows = {10, 20, 30, 0, 40, 50, 60, 0};
    auto f = handMade(1, 2, 24, 0, gap, rows);
    put32(&f[22], uint32_t(-2));
    TImageIO io;
    ASSERT_TRUE(load(io, f));
    EXPECT_EQ(io.Params.Height, 2);
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 0), (TRGB{10, 20, 30}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 1), (TRGB{40, 50, 60}));
    EXPECT_EQ(io.Params.DpiX, ImagingSettings().DefaultResolutionX);  // 0 in the file
}

TEST(Bmp, OneBitWithInvertedOrColouredPaletteKeepsItsColours)
{
    // Row of pixels 0,1,0,1,... with the palette white, black.
    std::vector<uint8_t> pal = {255, 255, 255, 0, 0, 0, 0, 0};
    std::vector<uint8_t> rows = {0x55, 0, 0, 0};
    TImageIO io;
    ASSERT_TRUE(load(io, handMade(8, 1, 1, 0, pal, rows)));
    EXPECT_EQ(io.Buffer()->PixelFormat(), px1g);
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(1, 0), (TRGB{0, 0, 0}));

    std::vector<uint8_t> colours = {0, 0, 255, 0, 255, 0, 0, 0};  // red, blue
    ASSERT_TRUE(load(io, handMade(8, 1, 1, 0, colours, rows)));
    EXPECT_EQ(io.Buffer()->PixelFormat(), px24RGB);
    EXPECT_EQ(io.Buffer()->GetPixelRGB(0, 0), (TRGB{0, 0, 255}));
    EXPECT_EQ(io.Buffer()->GetPixelRGB(1, 0), (TRGB{255, 0, 0}));
}

TEST(Bmp, RleDeltaAndEarlyEndLeaveIndexZero)
{
    // 4 x 3, RLE8: row 0: run of 2 x index 1, delta (1 right, 1 down),
    // then one pixel of index 2 and end of bitmap.
    std::vector<uint8_t> pal(3 * 4, 0);
    pal[4 + 2] = 255;  // 1 = red
    pal[8 + 1] = 255;  // 2 = green
    std::vector<uint8_t> data = {2, 1, 0, 2, 1, 1, 1, 2, 0, 1};
    auto f = handMade(4, 3, 8, 1, pal, data);
    put32(&f[46], 3);
    TImageIO io;
    ASSERT_TRUE(load(io, f));
    const TImageBuffer& b = *io.Buffer();
    // File row 0 is the bottom row.
    EXPECT_EQ(b.GetPixelRGB(0, 2), (TRGB{0, 0, 255}));
    EXPECT_EQ(b.GetPixelRGB(1, 2), (TRGB{0, 0, 255}));
    EXPECT_EQ(b.GetPixelRGB(2, 2), (TRGB{0, 0, 0}));
    EXPECT_EQ(b.GetPixelRGB(3, 1), (TRGB{0, 255, 0}));
    EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));
}

TEST(Bmp, DamagedAndHostileFilesAbortWithoutAllocating)
{
    TImageIO good;
    good.Buffer()->Assign(*makePicture(20, 10, 50));
    auto valid = save(good);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"not BM", [&] { auto b = valid; b[0] = 'X'; return b; }()});
    cases.push_back({"truncated rows", std::vector<uint8_t>(valid.begin(), valid.end() - 5)});
    cases.push_back({"truncated header", std::vector<uint8_t>(valid.begin(), valid.begin() + 30)});
    cases.push_back({"header size 5", [&] { auto b = valid; put32(&b[14], 5); return b; }()});
    cases.push_back({"huge header", [&] { auto b = valid; put32(&b[14], 0x7FFFFFFF); return b; }()});
    cases.push_back({"zero width", [&] { auto b = valid; put32(&b[18], 0); return b; }()});
    cases.push_back({"negative width", [&] { auto b = valid; put32(&b[18], uint32_t(-20)); return b; }()});
    cases.push_back({"min height", [&] { auto b = valid; put32(&b[22], 0x80000000u); return b; }()});
    cases.push_back({"2 bits", [&] { auto b = valid; put16(&b[28], 2); return b; }()});
    cases.push_back({"rle8 on 24 bits", [&] { auto b = valid; put32(&b[30], 1); return b; }()});
    cases.push_back({"jpeg inside", [&] { auto b = valid; put32(&b[30], 4); return b; }()});
    cases.push_back({"offset past end", [&] { auto b = valid; put32(&b[10], 0xFFFFFF00u); return b; }()});
    cases.push_back({"huge size", [&] { auto b = valid; put32(&b[18], 100000); put32(&b[22], 100000); return b; }()});
    {
        // A tiny RLE file that declares a picture over the pixel limit.
        auto f = handMade(65536, 32768, 8, 1, std::vector<uint8_t>(1024, 0), {0, 1});
        cases.push_back({"rle over the limit", f});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageIO io;
        EXPECT_FALSE(load(io, c.bytes));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.Params.FileType, 0);
        // Nothing as large as the declared picture was allocated.
        EXPECT_LE(int64_t(io.Buffer()->Width()) * io.Buffer()->Height(), 20 * 10);
    }
}

TEST(Bmp, ProgressInWholePercentOnlyOnChangeAndAbortStops)
{
    TImageIO io;
    io.Buffer()->Assign(*makePicture(10, 250, 20));
    std::vector<int> seen;
    io.OnProgress = [&](int p) { seen.push_back(p); };
    int finished = 0;
    io.OnFinishWork = [&] { ++finished; };
    auto bytes = save(io);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_EQ(finished, 1);

    seen.clear();
    io.OnProgress = [&](int p) {
        seen.push_back(p);
        if (p >= 40)
            io.Aborting = true;
    };
    EXPECT_FALSE(load(io, bytes));
    EXPECT_EQ(seen.back(), 40);
    EXPECT_EQ(io.Params.FileType, 0);
    TMemoryStream out;
    EXPECT_FALSE(io.SaveToStreamBmp(out));
    EXPECT_EQ(finished, 3);
}

TEST(Bmp, ParamsOnlyReadLeavesThePictureAlone)
{
    TImageIO io;
    io.Buffer()->Assign(*makePicture(17, 4, 12));
    io.Params.SamplesPerPixel = 1;
    io.Params.BitsPerSample = 4;
    auto bytes = save(io);

    TImageIO probe;
    TMemoryView in(bytes.data(), bytes.size());
    probe.Params.BmpVersion = 3;
    ASSERT_TRUE(TFormatTable::Instance().Find(ffBMP)->ReadParams(probe, in));
    EXPECT_EQ(probe.Params.Width, 17);
    EXPECT_EQ(probe.Params.Height, 4);
    EXPECT_EQ(probe.Params.BitsPerSample, 4);
    EXPECT_EQ(probe.Params.ColorMapCount, 16);
    EXPECT_EQ(probe.Params.BmpVersion, 1);
    EXPECT_TRUE(probe.Buffer()->IsEmpty());
}

}  // namespace
