#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/gif/GifLzw.h"
#include "support/TestSupport.h"

namespace {

// A px24RGB picture whose pixel (x, y) has colour colourAt(x, y).
template <typename Colour>
void fillRgb(TImageBuffer& b, int w, int h, Colour colourAt) {
    ASSERT_TRUE(b.Allocate(w, h, px24RGB));
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < w; ++x) {
            const TRGB c = colourAt(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
}

// Colour number i of a set of up to 256 distinct colours.
TRGB distinctColour(int i) { return TRGB{uint8_t(i * 7), uint8_t(255 - i), uint8_t((i * 37) & 0xFF)}; }

std::vector<uint8_t> writeGif(TImageIO& io) {
    TMemoryStream out;
    EXPECT_TRUE(io.SaveToStreamGif(out));
    return out.TakeBytes();
}

bool readGif(TImageIO& io, const std::vector<uint8_t>& bytes) {
    TMemoryView in(bytes.data(), bytes.size());
    return io.LoadFromStream(in, ffGIF);
}

void expectSamePixels(const TImageBuffer& a, const TImageBuffer& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            ASSERT_EQ(a.GetPixelRGB(x, y), b.GetPixelRGB(x, y)) << "at " << x << "," << y;
        }
}

// Offset of the image descriptor in a file we wrote (after the header, the
// global table of 2^bits entries and the 8-byte graphic control extension).
size_t descriptorOffset(int bits) { return 13 + 3 * (size_t(1) << bits) + 8; }

TEST(GifWriter, DefaultOutputLayout) {
    TImageIO io;
    fillRgb(*io.Buffer(), 3, 2, [](int x, int y) { return distinctColour(x + 3 * y); });
    const std::vector<uint8_t> f = writeGif(io);

    ASSERT_GT(f.size(), descriptorOffset(8) + 10);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 6, f.begin() + 13), (std::vector<uint8_t>{3, 0, 2, 0, 0xF7, 0, 0}));
    // Global table: the six colours first met, red, green, blue each.
    for (int i = 0; i < 6; ++i) {
        const TRGB c = distinctColour(i);
        EXPECT_EQ(f[13 + 3 * i], c.r);
        EXPECT_EQ(f[13 + 3 * i + 1], c.g);
        EXPECT_EQ(f[13 + 3 * i + 2], c.b);
    }
    // Graphic control: disposal 2, not transparent, no delay.
    const size_t gce = 13 + 768;
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + gce, f.begin() + gce + 8),
              (std::vector<uint8_t>{0x21, 0xF9, 4, 0x08, 0, 0, f[gce + 6], 0}));
    const size_t d = descriptorOffset(8);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + d, f.begin() + d + 11),
              (std::vector<uint8_t>{0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0, 8}));
    // An empty comment extension and the trailer close the file.
    EXPECT_EQ(std::vector<uint8_t>(f.end() - 4, f.end()), (std::vector<uint8_t>{0x21, 0xFE, 0, 0x3B}));
}

struct TExactCase {
    const char* Name;
    int Width, Height, Colours;
    bool Interlaced;
};

class GifExactColours : public testing::TestWithParam<TExactCase> {};

TEST_P(GifExactColours, AtMost256ColoursSurviveExactly) {
    const TExactCase& c = GetParam();
    TImageIO io;
    fillRgb(*io.Buffer(), c.Width, c.Height,
            [&](int x, int y) { return distinctColour((x * 13 + y * 5) % c.Colours); });
    io.Params.GifInterlaced = c.Interlaced;
    const std::vector<uint8_t> f = writeGif(io);

    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    EXPECT_EQ(back.Params.FileType, ffGIF);
    EXPECT_EQ(back.Buffer()->PixelFormat(), px24RGB);
    EXPECT_EQ(back.Params.GifInterlaced, c.Interlaced);
    EXPECT_EQ(back.Params.BitsPerSample, 8);
    EXPECT_EQ(back.Params.SamplesPerPixel, 1);
    expectSamePixels(*io.Buffer(), *back.Buffer());
}

INSTANTIATE_TEST_SUITE_P(Cases, GifExactColours,
                         testing::Values(TExactCase{"Full256", 64, 40, 256, false},
                                         TExactCase{"Full256Interlaced", 61, 37, 256, true},
                                         TExactCase{"Few", 9, 9, 3, false},
                                         TExactCase{"OneColumnInterlaced", 1, 19, 17, true},
                                         TExactCase{"LargeManyClears", 500, 300, 256, false}),
                         [](const testing::TestParamInfo<TExactCase>& info) { return std::string(info.param.Name); });

TEST(GifWriter, AlphaGetsTheLastIndexAsTransparent) {
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    fillRgb(b, 20, 10, [](int x, int y) { return distinctColour((x + y * 20) % 200); });
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) b.SetAlpha(x, y, (x + y) % 3 == 0 ? 0 : ((x + y) % 3 == 1 ? 128 : 255));
    const std::vector<uint8_t> f = writeGif(io);
    EXPECT_TRUE(io.Params.GifTransparent);
    const size_t gce = 13 + 768;
    EXPECT_EQ(f[gce + 3], 0x09);  // disposal 2, transparent
    EXPECT_EQ(f[gce + 6], 255);

    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    EXPECT_TRUE(back.Params.GifTransparent);
    ASSERT_TRUE(back.Buffer()->HasAlpha());
    // Renderers skip blending when the channel claims to be all opaque.
    EXPECT_FALSE(back.Buffer()->ExistingAlpha()->FullyOpaque());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool opaque = (x + y) % 3 == 2;
            ASSERT_EQ(back.Buffer()->GetAlpha(x, y), opaque ? 255 : 0) << x << "," << y;
            if (opaque) {
                ASSERT_EQ(back.Buffer()->GetPixelRGB(x, y), b.GetPixelRGB(x, y));
            }
        }
}

TEST(GifWriter, TransparentColourWithoutAlphaNamesItsIndex) {
    TImageIO io;
    fillRgb(*io.Buffer(), 6, 5, [](int x, int y) { return distinctColour((x + y) % 4); });
    io.Params.GifTransparent = true;
    io.Params.GifTranspColor = distinctColour(2);
    const std::vector<uint8_t> f = writeGif(io);
    EXPECT_EQ(f[13 + 768 + 6], 2);  // the third colour met is entry 2

    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    EXPECT_EQ(back.Params.GifTranspColor, distinctColour(2));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(back.Buffer()->GetAlpha(x, y), (x + y) % 4 == 2 ? 0 : 255);
}

TEST(GifWriter, GrayPictureKeepsItsLevels) {
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    ASSERT_TRUE(b.Allocate(32, 8, px8g));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) b.RowPointer(y)[x] = uint8_t(x * 8 + y);
    const std::vector<uint8_t> f = writeGif(io);
    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    expectSamePixels(b, *back.Buffer());
}

TEST(GifWriter, ReportsProgressAndStopsWhenAborted) {
    TImageIO io;
    fillRgb(*io.Buffer(), 30, 20, [](int x, int y) { return distinctColour(x * y % 256); });
    std::vector<int> seen;
    io.OnProgress = [&](int percent) { seen.push_back(percent); };
    writeGif(io);
    EXPECT_EQ(seen, (std::vector<int>{0, 30, 70, 100}));

    // An abort request from the progress event ends the writer before the
    // header is written.
    io.OnProgress = [&](int percent) {
        if (percent == 30) io.Aborting = true;
    };
    TMemoryStream out;
    EXPECT_FALSE(io.SaveToStreamGif(out));
    EXPECT_EQ(out.Size(), 0);

    // The reader reports its rows, ending at 100.
    io.OnProgress = nullptr;
    const std::vector<uint8_t> f = writeGif(io);
    TImageIO back;
    seen.clear();
    back.OnProgress = [&](int percent) { seen.push_back(percent); };
    ASSERT_TRUE(readGif(back, f));
    ASSERT_GT(seen.size(), 5u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
}

TEST(GifWriter, OneBitPicturesUseMinimumCodeSizeTwo) {
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    ASSERT_TRUE(b.Allocate(13, 7, px1g));
    for (int y = 0; y < 7; ++y) {
        uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < 13; ++x)
            if ((x * y + x) % 3 == 0) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    io.Params.BitsPerSample = 1;
    const std::vector<uint8_t> f = writeGif(io);
    EXPECT_EQ(f[10], 0x80);  // global table of two entries, resolution 1
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 13, f.begin() + 19), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
    EXPECT_EQ(f[descriptorOffset(1) + 10], 2);

    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    EXPECT_EQ(back.Buffer()->PixelFormat(), px1g);
    EXPECT_EQ(back.Params.BitsPerSample, 1);
    expectSamePixels(b, *back.Buffer());
}

TEST(GifWriter, TwoColourPictureKeepsItsColoursAtOneBit) {
    TImageIO io;
    const TRGB red{0, 0, 255}, blue{255, 0, 0};
    fillRgb(*io.Buffer(), 6, 4, [&](int x, int y) { return (x + y) % 2 ? red : blue; });
    io.Params.BitsPerSample = 1;
    const std::vector<uint8_t> f = writeGif(io);
    // The first colour met is entry 0.
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 13, f.begin() + 19), (std::vector<uint8_t>{0, 0, 255, 255, 0, 0}));
    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    expectSamePixels(*io.Buffer(), *back.Buffer());
}

TEST(GifWriter, OneBitWithAlphaKeepsBlackAndWhite) {
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    fillRgb(b, 4, 4, [](int x, int) { return x % 2 ? TRGB{255, 255, 255} : TRGB{0, 0, 0}; });
    b.SetAlpha(0, 0, 0);
    b.SetAlpha(1, 0, 0);
    io.Params.BitsPerSample = 1;
    const std::vector<uint8_t> f = writeGif(io);
    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    EXPECT_EQ(back.Buffer()->GetAlpha(0, 0), 0);
    EXPECT_EQ(back.Buffer()->GetAlpha(1, 0), 0);
    for (int y = 1; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(back.Buffer()->GetAlpha(x, y), 255);
            EXPECT_EQ(back.Buffer()->GetPixelRGB(x, y), b.GetPixelRGB(x, y));
        }
}

TEST(GifWriter, ParametersRoundTrip) {
    TImageIO io;
    fillRgb(*io.Buffer(), 5, 3, [](int x, int y) { return distinctColour(x * 3 + y); });
    TImageParams& p = io.Params;
    p.GifVersion = "GIF87a";
    p.GifXPos = 7;
    p.GifYPos = 300;
    p.GifDelay = 250;
    p.GifAction = 1;
    p.GifBackground = distinctColour(4);
    p.GifComments = {"first", "", std::string(300, 'x'), "last"};
    const std::vector<uint8_t> f = writeGif(io);

    TImageIO back;
    ASSERT_TRUE(readGif(back, f));
    const TImageParams& q = back.Params;
    EXPECT_EQ(q.GifVersion, "GIF87a");
    EXPECT_EQ(q.GifXPos, 7);
    EXPECT_EQ(q.GifYPos, 300);
    EXPECT_EQ(q.GifDelay, 250);
    EXPECT_EQ(q.GifAction, 1);
    EXPECT_EQ(q.GifBackground, distinctColour(4));
    EXPECT_EQ(q.GifWinWidth, 5);
    EXPECT_EQ(q.GifWinHeight, 3);
    EXPECT_FALSE(q.GifTransparent);
    // The empty text cannot be stored; the long one comes back whole.
    EXPECT_EQ(q.GifComments, (std::vector<std::string>{"first", std::string(300, 'x'), "last"}));
    EXPECT_EQ(q.Width, 5);
    EXPECT_EQ(q.Height, 3);
}

TEST(GifWriter, PalettePictureKeepsItsIndices) {
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    ASSERT_TRUE(b.Allocate(8, 8, px8p));
    std::vector<TRGB> pal;
    for (int i = 0; i < 16; ++i) pal.push_back(distinctColour(i * 9));
    b.SetPalette(pal.data(), 16);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) b.RowPointer(y)[x] = uint8_t((x + y) % 16);
    io.Params.BitsPerSample = 4;
    const std::vector<uint8_t> f = writeGif(io);
    EXPECT_EQ(f[10], 0xB3);

    TImageIO back;
    back.SetNativePixelFormat(true);
    ASSERT_TRUE(readGif(back, f));
    ASSERT_EQ(back.Buffer()->PixelFormat(), px8p);
    EXPECT_EQ(back.Buffer()->PaletteCount(), 16);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(back.Buffer()->RowPointer(y)[x], (x + y) % 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back.Buffer()->Palette()[i], pal[i]);
}

TEST(GifWriter, FailsOnWriteErrorsAndOversizePictures) {
    TImageIO io;
    fillRgb(*io.Buffer(), 4, 4, [](int x, int y) { return distinctColour(x + y); });
    uint8_t dummy = 0;
    TMemoryView readOnly(&dummy, 1);
    EXPECT_FALSE(io.SaveToStreamGif(readOnly));
    EXPECT_TRUE(io.Aborting);

    TImageIO wide;
    fillRgb(*wide.Buffer(), 65536, 1, [](int, int) { return TRGB{1, 2, 3}; });
    TMemoryStream out;
    EXPECT_FALSE(wide.SaveToStreamGif(out));
}

// GIF files put together byte by byte, for what our writer never makes.
class TGifFileBuilder {
public:
    TGifFileBuilder(int w, int h, const std::vector<TRGB>& global) {
        append("GIF89a");
        u16(w);
        u16(h);
        const int bits = tableBits(global.size());
        bytes.push_back(global.empty() ? 0 : uint8_t(0x80 | (bits - 1) << 4 | (bits - 1)));
        bytes.push_back(1);  // background index
        bytes.push_back(0);
        table(global, bits);
    }
    void control(int disposal, bool transparent, int delay, int index) {
        bytes.insert(bytes.end(), {0x21, 0xF9, 4, uint8_t(disposal << 2 | (transparent ? 1 : 0))});
        u16(delay);
        bytes.insert(bytes.end(), {uint8_t(index), 0});
    }
    void comment(const std::string& text) {
        bytes.insert(bytes.end(), {0x21, 0xFE, uint8_t(text.size())});
        append(text);
        bytes.push_back(0);
    }
    void frame(int x, int y, int w, int h, const std::vector<uint8_t>& indices, const std::vector<TRGB>& local,
               bool interlaced, int bits = 8) {
        bytes.push_back(0x2C);
        u16(x);
        u16(y);
        u16(w);
        u16(h);
        const int lbits = tableBits(local.size());
        bytes.push_back(uint8_t((local.empty() ? 0 : 0x80 | (lbits - 1)) | (interlaced ? 0x40 : 0)));
        table(local, lbits);
        // The coder takes rows in picture order and interlaces itself.
        EncodeGifLzw(bytes, h, w, bits, indices.data(), interlaced);
    }
    void trailer() { bytes.push_back(0x3B); }
    std::vector<uint8_t> bytes;

private:
    static int tableBits(size_t n) {
        int bits = 1;
        while ((size_t(1) << bits) < n) ++bits;
        return bits;
    }
    void table(const std::vector<TRGB>& t, int bits) {
        if (t.empty()) return;
        for (int i = 0; i < (1 << bits); ++i) {
            const TRGB c = i < int(t.size()) ? t[i] : TRGB{0, 0, 0};
            bytes.insert(bytes.end(), {c.r, c.g, c.b});
        }
    }
    void append(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
    void u16(int v) { bytes.insert(bytes.end(), {uint8_t(v & 0xFF), uint8_t(v >> 8)}); }
};

const std::vector<TRGB> kGlobal = {{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
const std::vector<TRGB> kLocal = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}, {1, 2, 3}};

std::vector<uint8_t> twoFrameFile() {
    TGifFileBuilder g(20, 10, kGlobal);
    g.comment("before");
    g.control(1, false, 10, 0);
    g.frame(0, 0, 4, 3, std::vector<uint8_t>(12, 1), {}, false);
    g.control(3, true, 77, 2);
    std::vector<uint8_t> second(6 * 5);
    for (size_t i = 0; i < second.size(); ++i) second[i] = uint8_t(i % 5);
    g.frame(2, 3, 6, 5, second, kLocal, true);
    g.comment("after");
    g.trailer();
    return g.bytes;
}

TEST(GifReader, PicksTheFrameOfGifImageIndex) {
    const std::vector<uint8_t> f = twoFrameFile();
    TImageIO io;
    io.Params.GifImageIndex = 1;
    ASSERT_TRUE(readGif(io, f));
    const TImageParams& p = io.Params;
    EXPECT_EQ(p.Width, 6);
    EXPECT_EQ(p.Height, 5);
    EXPECT_EQ(p.GifXPos, 2);
    EXPECT_EQ(p.GifYPos, 3);
    EXPECT_EQ(p.GifWinWidth, 20);
    EXPECT_EQ(p.GifWinHeight, 10);
    EXPECT_EQ(p.GifBackground, kGlobal[1]);
    EXPECT_EQ(p.GifDelay, 77);
    EXPECT_EQ(p.GifAction, 3);
    EXPECT_TRUE(p.GifTransparent);
    EXPECT_EQ(p.GifTranspColor, kLocal[2]);
    EXPECT_TRUE(p.GifInterlaced);
    EXPECT_EQ(p.BitsPerSample, 3);
    EXPECT_EQ(p.ColorMapCount, 8);
    EXPECT_EQ(p.ColorMap[4], kLocal[4]);
    EXPECT_EQ(p.GifComments, (std::vector<std::string>{"before", "after"}));
    const TImageBuffer& b = *io.Buffer();
    ASSERT_EQ(b.Width(), 6);
    ASSERT_EQ(b.Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const int index = (y * 6 + x) % 5;
            ASSERT_EQ(b.GetPixelRGB(x, y), kLocal[index]) << x << "," << y;
            ASSERT_EQ(b.GetAlpha(x, y), index == 2 ? 0 : 255);
        }

    TImageIO first;
    ASSERT_TRUE(readGif(first, f));
    EXPECT_EQ(first.Params.Width, 4);
    EXPECT_EQ(first.Params.GifDelay, 10);
    EXPECT_FALSE(first.Params.GifTransparent);
    EXPECT_FALSE(first.Buffer()->HasAlpha());
    EXPECT_EQ(first.Buffer()->GetPixelRGB(3, 2), kGlobal[1]);

    TImageIO missing;
    missing.Params.GifImageIndex = 2;
    EXPECT_FALSE(readGif(missing, f));
    EXPECT_EQ(missing.Params.FileType, 0);
}

TEST(GifReader, TransparentGifSavedAgainKeepsItsColours) {
    // Eight entries, the last one transparent, all of them used: saved again
    // with the three bits it was read with, the seven visible colours and
    // the transparent index fit exactly.
    const std::vector<TRGB> table = {{0, 0, 0},     {0, 0, 255}, {0, 255, 0},   {255, 0, 0},
                                     {9, 99, 199}, {50, 60, 70}, {200, 100, 0}, {1, 2, 3}};
    TGifFileBuilder g(16, 4, table);
    g.control(0, true, 0, 7);
    std::vector<uint8_t> indices(64);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i * 5) % 8);
    g.frame(0, 0, 16, 4, indices, {}, false, 3);
    g.trailer();

    TImageIO io;
    ASSERT_TRUE(readGif(io, g.bytes));
    EXPECT_EQ(io.Params.BitsPerSample, 3);
    const std::vector<uint8_t> again = writeGif(io);
    EXPECT_EQ(again[10], 0xA2);  // still three bits
    TImageIO back;
    ASSERT_TRUE(readGif(back, again));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x) {
            const int index = indices[size_t(y) * 16 + x];
            ASSERT_EQ(back.Buffer()->GetAlpha(x, y), index == 7 ? 0 : 255);
            if (index != 7) {
                ASSERT_EQ(back.Buffer()->GetPixelRGB(x, y), table[index]);
            }
        }
}

TEST(GifReader, ParamsOnlyReadLeavesThePictureAlone) {
    testsupport::TempDir dir;
    const std::string path = dir.file("two.gif");
    const std::vector<uint8_t> f = twoFrameFile();
    {
        auto s = TFileStream::Create(path);
        ASSERT_TRUE(s->WriteExact(f.data(), f.size()) && s->Close());
    }
    TImageIO io;
    ASSERT_TRUE(io.ReadParamsFromFile(path));
    EXPECT_EQ(io.Params.FileType, ffGIF);
    EXPECT_EQ(io.Params.Width, 4);
    EXPECT_EQ(io.Params.GifComments.size(), 2u);
    EXPECT_TRUE(io.Buffer()->IsEmpty());
}

TEST(GifReader, BlackAndWhiteBecomesOneBitAndNativeGivesPalette) {
    // White first: the bits must still read 1 = white.
    TGifFileBuilder g(3, 2, {{255, 255, 255}, {0, 0, 0}});
    g.frame(0, 0, 3, 2, {0, 1, 1, 1, 0, 0}, {}, false, 1);
    g.trailer();
    TImageIO io;
    io.SetNativePixelFormat(true);
    ASSERT_TRUE(readGif(io, g.bytes));
    ASSERT_EQ(io.Buffer()->PixelFormat(), px1g);
    EXPECT_EQ(io.Buffer()->RowPointer(0)[0] >> 5, 0b100);
    EXPECT_EQ(io.Buffer()->RowPointer(1)[0] >> 5, 0b011);

    TGifFileBuilder c(2, 1, kGlobal);
    c.frame(0, 0, 2, 1, {3, 2}, {}, false, 2);
    c.trailer();
    ASSERT_TRUE(readGif(io, c.bytes));
    ASSERT_EQ(io.Buffer()->PixelFormat(), px8p);
    EXPECT_EQ(io.Buffer()->RowPointer(0)[0], 3);
    EXPECT_EQ(io.Buffer()->Palette()[3], kGlobal[3]);
}

TEST(GifReader, DamagedDataKeepsTheRowsDecodedSoFar) {
    TImageIO io;
    fillRgb(*io.Buffer(), 200, 100, [](int x, int y) { return distinctColour((x * 31 + y * 17) % 256); });
    const std::vector<uint8_t> whole = writeGif(io);

    struct TDamage {
        const char* Name;
        std::vector<uint8_t> Bytes;
    };
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + whole.size() / 2);
    std::vector<uint8_t> broken = whole;
    // A run of 0xFF bytes in the middle of the code stream holds codes the
    // table cannot have yet at some point.
    for (size_t i = whole.size() / 2; i < whole.size() / 2 + 40; ++i)
        if (i % 256 != 0) broken[i] = 0xFF;
    for (const TDamage& d : {TDamage{"cut", cut}, TDamage{"broken", broken}}) {
        SCOPED_TRACE(d.Name);
        TImageIO back;
        EXPECT_FALSE(readGif(back, d.Bytes));
        EXPECT_TRUE(back.Aborting);
        const TImageBuffer& b = *back.Buffer();
        ASSERT_GT(b.Height(), 10);
        ASSERT_LT(b.Height(), 100);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 200; ++x) ASSERT_EQ(b.GetPixelRGB(x, y), io.Buffer()->GetPixelRGB(x, y));
    }
}

TEST(GifReader, RejectsNonsense) {
    const std::vector<std::vector<uint8_t>> files = {
        {},
        {'G', 'I', 'F', '8', '9', 'a'},
        {'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C},
        // A frame of 0 x 0 pixels.
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0x3B},
        // A frame that declares 65535 x 65535 pixels over a handful of bytes.
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 8, 2, 0, 1, 0,
         0x3B},
    };
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        TImageIO io;
        EXPECT_FALSE(readGif(io, files[i]));
        EXPECT_EQ(io.Params.FileType, 0);
    }
}

}  // namespace
