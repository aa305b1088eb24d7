// tessaron-cli with GIF files: convert writes them, info shows the frame
// fields and the comments.
#include <gtest/gtest.h>

#include <string>

#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

namespace {

int runCli(const std::string& args, std::string* out) {
    return testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>&1", out);
}

std::string q(const std::string& s) { return "'" + s + "'"; }

void fillPicture(TImageIO& io, int w, int h) {
    ASSERT_TRUE(io.Buffer()->Allocate(w, h, px24RGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) io.Buffer()->SetPixelRGB(x, y, TRGB{uint8_t(x * 20), uint8_t(y * 30), 7});
}

TEST(GifCli, ConvertWritesAGifThatReadsBackExactly) {
    testsupport::TempDir dir;
    TImageIO src;
    fillPicture(src, 9, 6);
    const std::string bmp = dir.file("in.bmp");
    ASSERT_TRUE(src.SaveToFileBmp(bmp));
    const std::string gif = dir.file("out.gif");
    std::string out;
    ASSERT_EQ(runCli("convert " + q(bmp) + " " + q(gif), &out), 0) << out;

    TImageIO back;
    ASSERT_TRUE(back.LoadFromFileGif(gif));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(back.Buffer()->GetPixelRGB(x, y), src.Buffer()->GetPixelRGB(x, y));
}

TEST(GifCli, InfoShowsFrameFieldsAndComments) {
    testsupport::TempDir dir;
    TImageIO io;
    fillPicture(io, 5, 4);
    io.Buffer()->SetAlpha(1, 1, 0);
    io.Params.GifComments = {"made by a test", "second"};
    io.Params.GifDelay = 25;
    io.Params.GifXPos = 3;
    io.Params.GifInterlaced = true;
    io.Params.GifAction = 1;
    const std::string gif = dir.file("frame.gif");
    ASSERT_TRUE(io.SaveToFileGif(gif));

    std::string out;
    ASSERT_EQ(runCli("info --pixels " + q(gif), &out), 0) << out;
    for (const char* expected :
         {"\"FormatName\": \"CompuServe Bitmap\"", "\"GifComments\": [\"made by a test\", \"second\"]",
          "\"GifDelay\": 25", "\"GifXPos\": 3", "\"GifYPos\": 0", "\"GifInterlaced\": true", "\"GifAction\": 1",
          "\"GifTransparent\": true", "\"GifVersion\": \"GIF89a\"", "\"GifWinWidth\": 5", "\"GifWinHeight\": 4",
          "\"BitsPerSample\": 8", "\"HasAlpha\": true"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

}  // namespace
