// YCbCr TIFF pictures outside JPEG data: subsampled chroma in data units,
// strips and tiles clipped at the picture's edges, every stored compression,
// and the file's own coefficients and reference black and white.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "TiffYCbCrFiles.h"

namespace {

using namespace ycbcrtest;

struct YCbCrCase {
    const char* name;
    int width, height;
    TFileLayout layout;
};

const double Rec709[3] = {0.2126, 0.7152, 0.0722};
const double StudioRange[6] = {16, 235, 128, 240, 128, 240};

TFileLayout strips(int h, int v, int compression, int rows)
{
    TFileLayout s;
    s.SubH = h;
    s.SubV = v;
    s.Compression = compression;
    s.RowsPerStrip = rows;
    return s;
}

TFileLayout tiles(int h, int v, int compression)
{
    TFileLayout s = strips(h, v, compression, 0);
    s.TileWidth = 16;
    s.TileHeight = 16;
    return s;
}

TFileLayout withCoefficients(TFileLayout s)
{
    s.Luma = Rec709;
    s.BlackWhite = StudioRange;
    return s;
}

void PrintTo(const YCbCrCase& c, std::ostream* os) { *os << c.name; }

class TiffYCbCr : public ::testing::TestWithParam<YCbCrCase> {};

TEST_P(TiffYCbCr, ReadsEveryPixelAsTheReferenceConversion)
{
    const YCbCrCase& c = GetParam();
    const TSamples samples = makeSamples(c.width, c.height, c.layout.SubH, c.layout.SubV);
    const Bytes file = buildFile(samples, c.layout);
    TImageIO io;
    TMemoryView in(file.data(), file.size());
    ASSERT_TRUE(io.LoadFromStream(in, ffTIFF));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params.TiffPhotometric, 6);
    TImageBuffer& b = *io.Buffer();
    ASSERT_EQ(b.Width(), c.width);
    ASSERT_EQ(b.Height(), c.height);
    ASSERT_EQ(b.PixelFormat(), px24RGB);
    int worst = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const size_t i = size_t(y) * size_t(c.width) + size_t(x);
            uint8_t want[3];
            referenceRgb(samples.Y[i], samples.Cb[i], samples.Cr[i], c.layout.Luma, c.layout.BlackWhite, want);
            const TRGB got = b.GetPixelRGB(x, y);
            worst = std::max({worst, std::abs(got.r - want[0]), std::abs(got.g - want[1]), std::abs(got.b - want[2])});
            ASSERT_LE(worst, 1) << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffYCbCr,
    ::testing::Values(YCbCrCase{"strips_2x2_none", 37, 23, strips(2, 2, 1, 6)},
                      YCbCrCase{"strips_2x1_lzw", 37, 23, strips(2, 1, 5, 5)},
                      YCbCrCase{"strips_4x2_deflate", 37, 23, strips(4, 2, 8, 4)},
                      YCbCrCase{"strips_4x4_packbits", 38, 21, strips(4, 4, 32773, 8)},
                      YCbCrCase{"strips_1x2_none", 9, 7, strips(1, 2, 1, 2)},
                      YCbCrCase{"one_strip_1x1_deflate", 20, 11, strips(1, 1, 8, 11)},
                      YCbCrCase{"tiles_2x2_none", 37, 23, tiles(2, 2, 1)},
                      YCbCrCase{"tiles_4x2_lzw", 37, 23, tiles(4, 2, 5)},
                      YCbCrCase{"tiles_2x2_packbits", 40, 33, tiles(2, 2, 32773)},
                      YCbCrCase{"tiles_4x4_deflate", 35, 17, tiles(4, 4, 8)},
                      YCbCrCase{"coefficients_and_black_white_strips", 37, 23, withCoefficients(strips(2, 2, 1, 4))},
                      YCbCrCase{"coefficients_and_black_white_1x1", 13, 5, withCoefficients(strips(1, 1, 5, 5))}),
    [](const auto& info) { return std::string(info.param.name); });

// Layouts without a defined meaning are refused; damaged data end cleanly
// with what was decoded.
TEST(TiffYCbCrRefusals, UnknownSubsamplingImpossibleWeightsAndTruncatedData)
{
    const TSamples samples = makeSamples(37, 23, 2, 2);
    {
        TFileLayout layout = strips(2, 2, 1, 6);
        Bytes file = buildFile(samples, layout);
        // Subsampling 3 x 2: patch the first value of tag 530 in the directory.
        bool patched = false;
        for (size_t i = 8; i + 12 <= file.size() && !patched; ++i)
            if (file[i] == 0x12 && file[i + 1] == 0x02 && file[i + 2] == 3 && file[i + 3] == 0) {
                file[i + 8] = 3;
                patched = true;
            }
        ASSERT_TRUE(patched);
        TImageIO io;
        TMemoryView in(file.data(), file.size());
        EXPECT_FALSE(io.LoadFromStream(in, ffTIFF));
        EXPECT_TRUE(io.Aborting);
    }
    {
        // Weights that cannot be luma weights (no green) fall back to the usual ones.
        const double noGreen[3] = {0.5, 0.0, 0.5};
        TFileLayout layout = strips(2, 2, 1, 6);
        layout.Luma = noGreen;
        TImageIO io;
        const Bytes file = buildFile(samples, layout);
        TMemoryView in(file.data(), file.size());
        ASSERT_TRUE(io.LoadFromStream(in, ffTIFF));
        uint8_t want[3];
        referenceRgb(samples.Y[40], samples.Cb[40], samples.Cr[40], nullptr, nullptr, want);
        const TRGB got = io.Buffer()->GetPixelRGB(3, 1);
        EXPECT_LE(std::abs(got.r - want[0]), 1);
        EXPECT_LE(std::abs(got.g - want[1]), 1);
        EXPECT_LE(std::abs(got.b - want[2]), 1);
    }
    for (int compression : {1, 5, 8, 32773}) {
        SCOPED_TRACE(compression);
        // The only strip starts right after the header; its last three
        // quarters are lost.
        Bytes file = buildFile(samples, strips(2, 2, compression, 24));
        const size_t stripSize = compressBlock(dataUnits(samples, 2, 2, 0, 0, 37, 23), compression).size();
        std::fill(file.begin() + 8 + long(stripSize / 4), file.begin() + 8 + long(stripSize), uint8_t(0));
        TImageIO io;
        TMemoryView in(file.data(), file.size());
        io.LoadFromStream(in, ffTIFF);
        ASSERT_EQ(io.Buffer()->Width(), 37);
        // The first rows are right whatever happened to the rest.
        uint8_t want[3];
        referenceRgb(samples.Y[0], samples.Cb[0], samples.Cr[0], nullptr, nullptr, want);
        const TRGB got = io.Buffer()->GetPixelRGB(0, 0);
        EXPECT_LE(std::abs(got.r - want[0]), 1);
        EXPECT_LE(std::abs(got.b - want[2]), 1);
    }
}

}  // namespace
