// BMP files written by ImageMagick decode to the same pixels as
// ImageMagick decodes them, across its BMP variants; and what we write,
// ImageMagick reads back to our pixels.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

std::vector<uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr int W = 45, H = 17;

// An RGBA source picture as a PAM file: gradients, a few flat areas and
// varying alpha.
void writeSource(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << W << "\nHEIGHT " << H << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t px[4] = {uint8_t(x * 5), uint8_t(y * 15), uint8_t(x < 10 ? 200 : (x * y) & 0xFF),
                             uint8_t(x < 5 ? 255 : 40 + (x * 3 + y * 7) % 200)};
            out.write(reinterpret_cast<const char*>(px), 4);
        }
}

// What ImageMagick decodes: RGBA bytes, top row first.
std::vector<uint8_t> magickPixels(const std::string& file, const std::string& dirFile)
{
    EXPECT_EQ(testsupport::runCommand("convert " + q(file) + " -depth 8 " + q("rgba:" + dirFile)), 0);
    return readAll(dirFile);
}

struct MagickCase {
    const char* name;
    const char* options;  // between the source and the output
    const char* prefix;   // output format prefix
    bool alpha;           // compare alpha as well
};

class BmpFromMagick : public ::testing::TestWithParam<MagickCase> {};

TEST_P(BmpFromMagick, DecodesToTheSamePixels)
{
    if (!testsupport::haveTool("convert"))
        GTEST_FAIL() << "ImageMagick (convert) is missing; ./test.sh installs it";
    const MagickCase& c = GetParam();
    testsupport::TempDir dir;
    writeSource(dir.file("src.pam"));
    const std::string bmp = dir.file("m.bmp");
    std::string alphaOpt = c.alpha ? "" : " -alpha off";
    ASSERT_EQ(testsupport::runCommand("convert " + q(dir.file("src.pam")) + alphaOpt + " " + c.options + " " +
                                      q(std::string(c.prefix) + bmp)),
              0);
    auto ref = magickPixels(bmp, dir.file("ref.rgba"));
    ASSERT_EQ(ref.size(), size_t(W * H * 4));

    TImageIO io;
    ASSERT_TRUE(io.LoadFromFile(bmp));
    const TImageBuffer& b = *io.Buffer();
    ASSERT_EQ(b.Width(), W);
    ASSERT_EQ(b.Height(), H);
    EXPECT_EQ(b.HasAlpha(), c.alpha);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t* r = &ref[size_t((y * W + x) * 4)];
            TRGB p = b.GetPixelRGB(x, y);
            ASSERT_EQ((TRGB{r[2], r[1], r[0]}), p) << "at " << x << "," << y;
            if (c.alpha) {
                ASSERT_EQ(r[3], b.GetAlpha(x, y)) << "alpha at " << x << "," << y;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BmpFromMagick,
    ::testing::Values(MagickCase{"Rgb24Info", "", "BMP3:", false}, MagickCase{"Rgb24Core", "", "BMP2:", false},
                      MagickCase{"Rgb24V5", "-define bmp:format=bmp4", "BMP:", false},
                      MagickCase{"Pal8", "-colors 200 -type palette", "BMP3:", false},
                      MagickCase{"Pal8Rle", "-colors 200 -type palette -compress RLE", "BMP3:", false},
                      MagickCase{"Pal4", "-colors 12 -type palette", "BMP3:", false},
                      MagickCase{"Pal8Core", "-colors 100 -type palette", "BMP2:", false},
                      MagickCase{"Bits1", "-monochrome", "BMP3:", false},
                      MagickCase{"Rgb565", "-define bmp:subtype=RGB565", "BMP:", false},
                      MagickCase{"Rgb555", "-define bmp:subtype=RGB555", "BMP3:", false},
                      MagickCase{"Argb32", "", "BMP:", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpToMagick, WhatWeWriteMagickReadsBack)
{
    if (!testsupport::haveTool("convert"))
        GTEST_FAIL() << "ImageMagick (convert) is missing; ./test.sh installs it";
    struct Case {
        const char* name;
        int bits, samples, version, compression, colours;
        bool alpha;
    } cases[] = {
        {"rgb24", 8, 3, 1, 0, 0, false}, {"core24", 8, 3, 2, 0, 0, false}, {"os2_24", 8, 3, 3, 0, 0, false},
        {"pal8", 8, 1, 1, 0, 150, false}, {"rle8", 8, 1, 1, 1, 150, false}, {"pal4", 4, 1, 1, 0, 14, false},
        {"rle4", 4, 1, 1, 1, 14, false},   {"bits1", 1, 1, 1, 0, 2, false},  {"argb32", 8, 3, 1, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        TImageIO io;
        ASSERT_TRUE(io.Buffer()->Allocate(W, H, px24RGB));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                int k = c.colours ? (x / 3 + y * 5) % c.colours : x * 7 + y * 13;
                io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(k * 3), uint8_t(255 - k), uint8_t(k * 11)});
                if (c.alpha)
                    io.Buffer()->SetAlpha(x, y, uint8_t(x * 5 + y));
            }
        io.Params.BitsPerSample = c.bits;
        io.Params.SamplesPerPixel = c.samples;
        io.Params.BmpVersion = uint8_t(c.version);
        io.Params.BmpCompression = uint8_t(c.compression);
        io.Params.BmpSaveAlpha = c.alpha;
        ASSERT_TRUE(io.SaveToFile(dir.file("ours.bmp")));
        auto ref = magickPixels(dir.file("ours.bmp"), dir.file("ref.rgba"));
        ASSERT_EQ(ref.size(), size_t(W * H * 4));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const uint8_t* r = &ref[size_t((y * W + x) * 4)];
                ASSERT_EQ((TRGB{r[2], r[1], r[0]}), io.Buffer()->GetPixelRGB(x, y)) << "at " << x << "," << y;
                if (c.alpha) {
                    ASSERT_EQ(r[3], io.Buffer()->GetAlpha(x, y));
                }
            }
    }
}

}  // namespace
