// TIFF against libtiff: what we write its tools read pixel for pixel, and
// what its tools write we read pixel for pixel (JPEG within the IDCT
// tolerance). ImageMagick (which reads TIFF through libtiff) is the
// independent decoder; tiffinfo checks the structure, tiffcp writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "support/TestSupport.h"
#include "TiffTestPictures.h"
#include "PictureFiles.h"
#include "TiffYCbCrFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::runCommand;

bool haveTools()
{
    for (const char* tool : {"tiffinfo", "tiffcp", "convert"})
        if (!testsupport::haveTool(tool)) {
            ADD_FAILURE() << tool << " is missing (scripts/deps.sh installs libtiff-tools and imagemagick)";
            return false;
        }
    return true;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Pixels of the first picture of a file as decoded by ImageMagick, top-down,
// red-green-blue (or with alpha) 8-bit.
Bytes magickPixels(const std::string& file, bool alpha, int page = 0)
{
    std::string out;
    const std::string cmd = "convert " + quoted(file + "[" + std::to_string(page) + "]") + " -depth 8 " +
                            (alpha ? "RGBA:-" : "-alpha off RGB:-") + " 2>/dev/null";
    EXPECT_EQ(runCommand(cmd, &out), 0) << cmd;
    return Bytes(out.begin(), out.end());
}

// The pixels of a buffer in the same layout, whatever its format.
Bytes pixelsOf(TImageBuffer& b, bool alpha)
{
    Bytes out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TRGB c = b.GetPixelRGB(x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
            if (alpha) out.push_back(b.GetAlpha(x, y));
        }
    return out;
}

// Our decoding of a file, in the same layout.
Bytes ourPixels(const std::string& file, bool alpha, int page = 0, TImageIO* keep = nullptr)
{
    TImageIO local;
    TImageIO& io = keep ? *keep : local;
    io.Params.TiffImageIndex = page;
    EXPECT_TRUE(io.LoadFromFileTiff(file)) << file;
    return pixelsOf(*io.Buffer(), alpha);
}

// Largest difference of two equally long pixel arrays (255 when the sizes differ).
int maxDifference(const Bytes& a, const Bytes& b, bool alpha = false)
{
    if (a.size() != b.size() || a.empty()) return 255;
    int worst = 0;
    const size_t step = alpha ? 4 : 3;
    for (size_t i = 0; i < a.size(); ++i) {
        // Colours under (almost) full transparency carry no information.
        if (alpha && i % step != 3 && a[i - i % step + 3] < 64) continue;
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    return worst;
}

std::unique_ptr<TImageBuffer> makePhoto(int w, int h)
{
    auto pic = std::make_unique<TImageBuffer>(w, h, px24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = pic->RowPointer(y) + 3 * x;
            p[0] = uint8_t(x * 255 / w);
            p[1] = uint8_t(y * 255 / h);
            p[2] = uint8_t((x * y) % 97 < 48 ? 60 + x % 7 : 200 - y % 5);
        }
    return pic;
}

using tifftest::makeBilevel;

struct WriteCase {
    const char* name;
    int kind;  // 0 photo, 1 bi-level, 2 photo with alpha, 3 48-bit, 4 CMYK
    uint8_t compression;
    int bits;
    int samples;
    int tolerance;
    uint8_t jpegColorSpace = 2;
};

class TiffWrittenByUs : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TiffWrittenByUs, PassesTiffinfoAndDecodesIdenticallyWithLibtiff)
{
    if (!haveTools()) return;
    const WriteCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string file = dir.file("ours.tif");
    TImageIO io;
    switch (c.kind) {
    case 1: io.Buffer()->Assign(*makeBilevel(157, 83)); break;
    case 3: {
        auto pic = std::make_unique<TImageBuffer>(45, 30, pxRGB48);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 135; ++x) reinterpret_cast<uint16_t*>(pic->RowPointer(y))[x] = uint16_t(x * 480 + y * 257);
        io.Buffer()->Assign(*pic);
        break;
    }
    case 4: {
        auto pic = std::make_unique<TImageBuffer>(45, 30, pxCMYK);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 180; ++x) pic->RowPointer(y)[x] = uint8_t(x * 3 + y);
        io.Buffer()->Assign(*pic);
        break;
    }
    default:
        io.Buffer()->Assign(*makePhoto(157, 83));
        break;
    }
    if (c.kind == 2) {
        TImageBuffer* a = io.Buffer()->Alpha();
        for (int y = 0; y < a->Height(); ++y)
            for (int x = 0; x < a->Width(); ++x) a->RowPointer(y)[x] = uint8_t(x < 50 ? 255 : (x + y) % 256);
    }
    io.Params.TiffCompression = c.compression;
    io.Params.BitsPerSample = c.bits;
    io.Params.SamplesPerPixel = c.samples;
    io.Params.TiffJpegColorSpace = c.jpegColorSpace;
    ASSERT_TRUE(io.SaveToFileTiff(file));

    std::string info;
    EXPECT_EQ(runCommand("tiffinfo -D " + quoted(file) + " 2>&1", &info), 0) << info;
    EXPECT_EQ(info.find("Error"), std::string::npos) << info;
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;

    const bool alpha = c.kind == 2;
    const Bytes theirs = magickPixels(file, alpha);
    Bytes mine;
    if (c.kind == 3 || c.kind == 4) {
        // What the picture holds, converted by the buffer.
        mine = pixelsOf(*io.Buffer(), false);
    } else {
        mine = ourPixels(file, alpha);
        // Lossless codings must also give back exactly the picture we saved.
        if (c.tolerance == 0 && c.kind != 2 && c.samples != 1) {
            EXPECT_EQ(maxDifference(mine, pixelsOf(*io.Buffer(), false)), 0);
        }
    }
    EXPECT_LE(maxDifference(theirs, mine, alpha), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffWrittenByUs,
    ::testing::Values(WriteCase{"rgb_none", 0, 0, 8, 3, 0}, WriteCase{"rgb_lzw", 0, 5, 8, 3, 0},
                      WriteCase{"rgb_packbits", 0, 8, 8, 3, 0}, WriteCase{"rgb_deflate", 0, 9, 8, 3, 0},
                      WriteCase{"rgb_jpeg_ycbcr", 0, 7, 8, 3, 3, 2}, WriteCase{"rgb_jpeg_rgb", 0, 7, 8, 3, 3, 0},
                      WriteCase{"gray_jpeg", 0, 7, 8, 3, 3, 1},
                      WriteCase{"bilevel_none", 1, 0, 1, 1, 0}, WriteCase{"bilevel_packbits", 1, 8, 1, 1, 0},
                      WriteCase{"bilevel_mh", 1, 1, 1, 1, 0}, WriteCase{"bilevel_g3", 1, 2, 1, 1, 0},
                      WriteCase{"bilevel_g3_2d", 1, 3, 1, 1, 0}, WriteCase{"bilevel_g4", 1, 4, 1, 1, 0},
                      WriteCase{"palette8_lzw", 0, 5, 8, 1, 0}, WriteCase{"palette4_packbits", 0, 8, 4, 1, 0},
                      WriteCase{"palette2_deflate", 0, 9, 2, 1, 0}, WriteCase{"alpha_none", 2, 0, 8, 3, 2},
                      WriteCase{"alpha_lzw", 2, 5, 8, 3, 2}, WriteCase{"rgb48_lzw", 3, 5, 16, 3, 1},
                      WriteCase{"cmyk_none", 4, 0, 8, 4, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Tolerance 1 for palette and 16-bit gray: ImageMagick scales 16-bit colour
// map entries and samples to 8 bits with its own rounding, libtiff's RGBA
// interface (and this reader) take the high byte or round to nearest.
struct ReadCase {
    const char* name;
    const char* source;  // which source picture: "rgb", "bilevel", "rgb16", "palette", "gray", "gray16"
    const char* options; // tiffcp options
    int tolerance;
};

class TiffWrittenByLibtiff : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TiffWrittenByLibtiff, DecodesIdenticallyWithOurReader)
{
    if (!haveTools()) return;
    const ReadCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string base = dir.file("base.tif");
    const std::string src = dir.file("src.tif");
    const std::string dst = dir.file("dst.tif");
    TImageIO io;
    const std::string source = c.source;
    if (source == "bilevel") {
        io.Buffer()->Assign(*makeBilevel(157, 83));
        io.Params.BitsPerSample = 1;
        io.Params.SamplesPerPixel = 1;
    } else {
        io.Buffer()->Assign(*makePhoto(157, 83));
    }
    ASSERT_TRUE(io.SaveToFileTiff(base));
    std::string convert;
    if (source == "rgb16") convert = " -depth 16";
    if (source == "palette") convert = " -colors 40 -type Palette";
    if (source == "gray") convert = " -colorspace Gray -type Grayscale";
    if (source == "gray16") convert = " -colorspace Gray -type Grayscale -depth 16";
    if (source == "gray4") convert = " -colorspace Gray -type Grayscale -depth 4";
    if (convert.empty()) {
        ASSERT_EQ(runCommand("cp " + quoted(base) + " " + quoted(src)), 0);
    } else {
        ASSERT_EQ(runCommand("convert " + quoted(base) + convert + " -compress none " + quoted(src) + " 2>&1"), 0);
    }
    std::string log;
    ASSERT_EQ(runCommand(std::string("tiffcp ") + c.options + " " + quoted(src) + " " + quoted(dst) + " 2>&1", &log), 0)
        << log;
    TImageIO ours;
    const Bytes mine = ourPixels(dst, false, 0, &ours);
    EXPECT_FALSE(ours.Aborting);
    EXPECT_LE(maxDifference(magickPixels(dst, false), mine), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffWrittenByLibtiff,
    ::testing::Values(ReadCase{"none", "rgb", "-c none", 0}, ReadCase{"lzw", "rgb", "-c lzw", 0},
                      ReadCase{"lzw_predictor", "rgb", "-c lzw:2", 0}, ReadCase{"zip", "rgb", "-c zip", 0},
                      ReadCase{"zip_predictor", "rgb", "-c zip:2", 0}, ReadCase{"packbits", "rgb", "-c packbits", 0},
                      ReadCase{"jpeg", "rgb", "-c jpeg -r 16", 4}, ReadCase{"jpeg_rgb", "rgb", "-c jpeg:r -r 16", 4},
                      ReadCase{"tiled_jpeg", "rgb", "-c jpeg -t -w 32 -l 32", 4},
                      ReadCase{"g3", "bilevel", "-c g3", 0}, ReadCase{"g3_2d", "bilevel", "-c g3:2d", 0},
                      ReadCase{"g3_fill", "bilevel", "-c g3:2d:fill", 0}, ReadCase{"g4", "bilevel", "-c g4", 0},
                      ReadCase{"fill_order_2", "bilevel", "-c g4 -f lsb2msb", 0},
                      ReadCase{"tiled", "rgb", "-c lzw -t -w 32 -l 48", 0},
                      ReadCase{"separate_planes", "rgb", "-c zip -p separate", 0},
                      ReadCase{"tiled_separate", "rgb", "-c packbits -p separate -t -w 16 -l 16", 0},
                      ReadCase{"big_endian", "rgb", "-c lzw:2 -B", 0}, ReadCase{"strips_of_7", "rgb", "-r 7", 0},
                      ReadCase{"rgb16", "rgb16", "-c none", 0}, ReadCase{"rgb16_predictor", "rgb16", "-c lzw:2 -B", 0},
                      ReadCase{"palette", "palette", "-c lzw", 1}, ReadCase{"gray", "gray", "-c packbits", 0},
                      ReadCase{"gray16", "gray16", "-c zip:2", 1}, ReadCase{"gray4", "gray4", "-c none", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffInterop, MultiPageFileFromTiffcpReadsEveryPage)
{
    if (!haveTools()) return;
    testsupport::TempDir dir;
    TImageIO a;
    a.Buffer()->Assign(*makePhoto(40, 30));
    ASSERT_TRUE(a.SaveToFileTiff(dir.file("a.tif")));
    TImageIO b;
    b.Buffer()->Assign(*makeBilevel(64, 20));
    b.Params.BitsPerSample = 1;
    b.Params.SamplesPerPixel = 1;
    ASSERT_TRUE(b.SaveToFileTiff(dir.file("b.tif")));
    const std::string multi = dir.file("multi.tif");
    ASSERT_EQ(runCommand("tiffcp -c lzw " + quoted(dir.file("a.tif")) + " " + quoted(dir.file("b.tif")) + " " +
                         quoted(multi)),
              0);
    for (int page = 0; page < 2; ++page) {
        SCOPED_TRACE(page);
        TImageIO io;
        EXPECT_EQ(maxDifference(magickPixels(multi, false, page), ourPixels(multi, false, page, &io)), 0);
        EXPECT_EQ(io.Params.TiffImageCount, 2);
    }
}

// Subsampled YCbCr made in the test, decoded by libtiff's RGBA interface
// (tiff2rgba; ImageMagick's own YCbCr path gets these files wrong) and by
// us. With the usual codes the two conversions differ by a unit at most;
// with a studio-range ReferenceBlackWhite libtiff cuts the scaled codes to
// integers before converting, which costs it up to three units.
TEST(TiffInterop, SubsampledYCbCrDecodesAsLibtiffDecodesIt)
{
    if (!haveTools()) return;
    if (!testsupport::haveTool("tiff2rgba")) GTEST_SKIP() << "tiff2rgba is not installed";
    using namespace ycbcrtest;
    testsupport::TempDir dir;
    const double rec709[3] = {0.2126, 0.7152, 0.0722};
    const double studio[6] = {16, 235, 128, 240, 128, 240};
    struct Case {
        const char* name;
        TFileLayout layout;
        int tolerance = 1;
    };
    Case cases[4];
    cases[0] = {"strips 2x2 none", {}};
    cases[0].layout.RowsPerStrip = 6;
    cases[1] = {"strips 2x1 lzw", {}};
    cases[1].layout.SubV = 1;
    cases[1].layout.Compression = 5;
    cases[1].layout.RowsPerStrip = 5;
    cases[2] = {"tiles 4x2 deflate", {}};
    cases[2].layout.SubH = 4;
    cases[2].layout.Compression = 8;
    cases[2].layout.TileWidth = cases[2].layout.TileHeight = 16;
    cases[3] = {"coefficients packbits", {}};
    cases[3].layout.Compression = 32773;
    cases[3].layout.RowsPerStrip = 8;
    cases[3].layout.Luma = rec709;
    cases[3].layout.BlackWhite = studio;
    cases[3].tolerance = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = buildFile(makeSamples(37, 23, c.layout.SubH, c.layout.SubV), c.layout);
        const std::string path = dir.file("ycbcr.tif");
        const std::string rgba = dir.file("rgba.tif");
        picturefiles::writeBytes(path, file);
        ASSERT_EQ(runCommand("tiff2rgba -c none " + quoted(path) + " " + quoted(rgba) + " 2>&1"), 0);
        EXPECT_LE(maxDifference(magickPixels(rgba, false), ourPixels(path, false)), c.tolerance);
    }
}

}  // namespace
