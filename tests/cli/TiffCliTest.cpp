// tessaron-cli convert writing TIFF with each --tiff-compression.
#include <gtest/gtest.h>

#include <string>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffTags.h"
#include "support/TestSupport.h"

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

int runCli(const std::string& args, std::string* out)
{
    return testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>&1", out);
}

uint32_t compressionOf(const std::string& file)
{
    auto in = TFileStream::OpenRead(file);
    tiff::TTiffSource src(*in, 0);
    tiff::TByteOrder order;
    uint32_t first = 0;
    tiff::TTiffDirectory dir;
    if (!tiff::ReadTiffHeader(src, &order, &first) || !dir.Read(src, order, first)) return 0;
    return dir.UIntOr(tiff::tagCompression, 0);
}

TEST(TiffCli, ConvertWritesEveryCompression)
{
    testsupport::TempDir dir;
    TImageIO io;
    io.Buffer()->Allocate(40, 30, px24RGB);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(x * 6), uint8_t(y * 8), uint8_t(x < 20 ? 0 : 255)});
    const std::string bmp = dir.file("in.bmp");
    ASSERT_TRUE(io.SaveToFileBmp(bmp));

    const std::pair<const char*, uint32_t> cases[] = {{"none", 1},    {"lzw", 5},  {"packbits", 32773},
                                                      {"deflate", 32946}, {"jpeg", 7}, {"g3", 3}, {"g4", 4}};
    for (const auto& [name, code] : cases) {
        SCOPED_TRACE(name);
        const std::string out = dir.file(std::string("out_") + name + ".tif");
        std::string log;
        ASSERT_EQ(runCli("convert --tiff-compression " + std::string(name) + " " + q(bmp) + " " + q(out), &log), 0)
            << log;
        EXPECT_EQ(compressionOf(out), code);
        TImageIO back;
        ASSERT_TRUE(back.LoadFromFileTiff(out));
        EXPECT_EQ(back.Buffer()->Width(), 40);
        EXPECT_EQ(back.Buffer()->PixelFormat(), code == 3 || code == 4 ? px1g : px24RGB);
    }
    // Without the option the picture keeps the default: uncompressed.
    std::string log;
    ASSERT_EQ(runCli("convert " + q(bmp) + " " + q(dir.file("plain.tif")), &log), 0) << log;
    EXPECT_EQ(compressionOf(dir.file("plain.tif")), 1u);
}

TEST(TiffCli, UnknownCompressionIsAUsageError)
{
    testsupport::TempDir dir;
    std::string out;
    EXPECT_EQ(runCli("convert --tiff-compression zstd a.bmp " + q(dir.file("b.tif")), &out), 2);
    EXPECT_NE(out.find("--tiff-compression"), std::string::npos);
    EXPECT_EQ(runCli("convert a.bmp b.tif --tiff-compression", &out), 2);
}

}  // namespace
