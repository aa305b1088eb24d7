// tessaron-cli with JPEG and PNG files: the per-format fields that info
// prints, and convert with --quality.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

namespace {

int cli(const std::string& args, std::string* out = nullptr)
{
    return testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>/dev/null", out);
}

std::string makePng(const testsupport::TempDir& dir, const std::string& name, bool interlaced)
{
    TImageIO io;
    io.Buffer()->Allocate(48, 32, px24RGB);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(x * 5), uint8_t(y * 7), uint8_t((x * y) & 255)});
    io.Params.PngInterlaced = interlaced;
    io.Params.PngTextKeys = {"Title"};
    io.Params.PngTexts = {"Sunset"};
    EXPECT_TRUE(io.SaveToFilePng(dir.file(name)));
    return dir.file(name);
}

size_t fileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return size_t(in.tellg());
}

}  // namespace

TEST(JpegPngCli, InfoShowsThePerFormatFields)
{
    testsupport::TempDir dir;
    std::string png = makePng(dir, "a.png", true);
    std::string out;
    ASSERT_EQ(cli("info " + png, &out), 0);
    EXPECT_NE(out.find("\"PngInterlaced\": true"), std::string::npos) << out;
    EXPECT_NE(out.find("\"PngTextKeys\": [\"Title\"]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"PngTexts\": [\"Sunset\"]"), std::string::npos) << out;

    std::string jpg = dir.file("a.jpg");
    ASSERT_EQ(cli("convert " + png + " " + jpg), 0);
    out.clear();
    ASSERT_EQ(cli("info " + jpg, &out), 0);
    EXPECT_NE(out.find("\"JpegColorSpace\": 2"), std::string::npos) << out;
    EXPECT_NE(out.find("\"JpegProgressive\": false"), std::string::npos) << out;
    EXPECT_NE(out.find("\"JpegScaleUsed\": 1"), std::string::npos) << out;
    EXPECT_NE(out.find("\"FormatName\": \"JPEG Bitmap\""), std::string::npos) << out;
}

TEST(JpegPngCli, ConvertWritesJpegWithTheQualityAskedFor)
{
    testsupport::TempDir dir;
    std::string png = makePng(dir, "b.png", false);
    ASSERT_EQ(cli("convert --quality 30 " + png + " " + dir.file("low.jpg")), 0);
    ASSERT_EQ(cli("convert " + png + " " + dir.file("default.jpg") + " --quality 95"), 0);
    EXPECT_LT(fileSize(dir.file("low.jpg")), fileSize(dir.file("default.jpg")));
    TImageIO back;
    ASSERT_TRUE(back.LoadFromFile(dir.file("low.jpg")));
    EXPECT_EQ(back.Buffer()->Width(), 48);

    for (const char* bad : {"--quality 0", "--quality 101", "--quality x", "--quality"})
        EXPECT_EQ(cli(std::string("convert ") + bad + " " + png + " " + dir.file("bad.jpg")), 2) << bad;

    // JPEG back to PNG.
    ASSERT_EQ(cli("convert " + dir.file("low.jpg") + " " + dir.file("again.png")), 0);
    TImageIO png2;
    ASSERT_TRUE(png2.LoadFromFile(dir.file("again.png")));
    EXPECT_EQ(png2.Buffer()->Height(), 32);
}
