// GIF files exchanged with independent tools that ./test.sh installs:
// giflib's programs (gif2rgb, gifbuild) and ImageMagick. What we write they
// must decode to the same pixels, and what they write we must decode to the
// pixels they decode themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

namespace {

// Debian's ImageMagick; a `convert` earlier on PATH may be something else.
std::string imageMagick() {
    return std::filesystem::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
}

bool requireTools() {
    bool ok = true;
    for (const char* tool : {"gif2rgb", "gifbuild"})
        if (!testsupport::haveTool(tool)) {
            ADD_FAILURE() << tool << " is missing: install giflib-tools (scripts/deps.sh)";
            ok = false;
        }
    if (!testsupport::haveTool(imageMagick())) {
        ADD_FAILURE() << "ImageMagick's convert is missing: install imagemagick (scripts/deps.sh)";
        ok = false;
    }
    return ok;
}

std::string q(const std::string& s) { return "'" + s + "'"; }

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void run(const std::string& command) {
    std::string out;
    ASSERT_EQ(testsupport::runCommand(command + " 2>&1", &out), 0) << command << "\n" << out;
}

// Frame `frame` of a GIF as ImageMagick decodes it: red, green, blue, alpha.
std::vector<uint8_t> magickRgba(const std::string& gif, int frame, const std::string& scratch) {
    run(imageMagick() + " " + q(gif + "[" + std::to_string(frame) + "]") + " -depth 8 rgba:" + q(scratch));
    return fileBytes(scratch);
}

// The logical screen as giflib's gif2rgb paints it: red, green, blue.
std::vector<uint8_t> giflibRgb(const std::string& gif, const std::string& scratch) {
    run("gif2rgb -1 -o " + q(scratch) + " " + q(gif));
    return fileBytes(scratch);
}

// A picture with `colours` distinct colours (at most 256) spread over it.
void fillPicture(TImageBuffer& b, int w, int h, int colours) {
    ASSERT_TRUE(b.Allocate(w, h, px24RGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = (x * 7 + y * 13 + (x * y) % 5) % colours;
            uint8_t* p = b.RowPointer(y) + 3 * x;
            p[0] = uint8_t(i * 3);
            p[1] = uint8_t(255 - i);
            p[2] = uint8_t((i * 53) & 0xFF);
        }
}

struct TOutCase {
    const char* Name;
    int Width, Height, Colours, Bits;
    bool Interlaced, Alpha;
};

class GifInteropOut : public testing::TestWithParam<TOutCase> {};

TEST_P(GifInteropOut, ToolsDecodeOurFilesToTheSamePixels) {
    if (!requireTools()) return;
    const TOutCase& c = GetParam();
    testsupport::TempDir dir;
    TImageIO io;
    TImageBuffer& b = *io.Buffer();
    fillPicture(b, c.Width, c.Height, c.Colours);
    if (c.Bits == 1) ASSERT_TRUE(b.ConvertTo(px1g));
    if (c.Alpha)
        for (int y = 0; y < c.Height; ++y)
            for (int x = 0; x < c.Width; ++x) b.SetAlpha(x, y, (x / 3 + y) % 4 == 0 ? 0 : 255);
    io.Params.BitsPerSample = c.Bits;
    io.Params.GifInterlaced = c.Interlaced;
    const std::string gif = dir.file("ours.gif");
    ASSERT_TRUE(io.SaveToFileGif(gif));

    const std::vector<uint8_t> magick = magickRgba(gif, 0, dir.file("im.rgba"));
    const std::vector<uint8_t> giflib = giflibRgb(gif, dir.file("gl.rgb"));
    const size_t n = size_t(c.Width) * c.Height;
    ASSERT_EQ(magick.size(), n * 4);
    ASSERT_EQ(giflib.size(), n * 3);
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) {
            const size_t i = size_t(y) * c.Width + x;
            const TRGB want = b.GetPixelRGB(x, y);
            const bool opaque = b.GetAlpha(x, y) == 255;
            ASSERT_EQ(magick[4 * i + 3], opaque ? 255 : 0) << "ImageMagick alpha at " << x << "," << y;
            if (!opaque) continue;
            ASSERT_EQ(TRGB({magick[4 * i + 2], magick[4 * i + 1], magick[4 * i]}), want)
                << "ImageMagick at " << x << "," << y;
            ASSERT_EQ(TRGB({giflib[3 * i + 2], giflib[3 * i + 1], giflib[3 * i]}), want)
                << "gif2rgb at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Cases, GifInteropOut,
                         testing::Values(TOutCase{"Colours256", 64, 48, 256, 8, false, false},
                                         TOutCase{"Interlaced", 61, 43, 200, 8, true, false},
                                         TOutCase{"Transparent", 40, 30, 100, 8, false, true},
                                         TOutCase{"FourBits", 33, 21, 16, 4, true, false},
                                         TOutCase{"OneBit", 35, 19, 256, 1, false, false},
                                         TOutCase{"LargeManyClears", 400, 300, 256, 8, false, false}),
                         [](const testing::TestParamInfo<TOutCase>& info) { return std::string(info.param.Name); });

// Compares our decode of frame `frame` with ImageMagick's.
void expectSameAsMagick(const std::string& gif, int frame, const std::string& scratch) {
    TImageIO io;
    io.Params.GifImageIndex = frame;
    ASSERT_TRUE(io.LoadFromFileGif(gif)) << gif << " frame " << frame;
    const TImageBuffer& b = *io.Buffer();
    const std::vector<uint8_t> magick = magickRgba(gif, frame, scratch);
    ASSERT_EQ(magick.size(), size_t(b.Width()) * b.Height() * 4);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const uint8_t* m = &magick[(size_t(y) * b.Width() + x) * 4];
            ASSERT_EQ(b.GetAlpha(x, y), m[3] == 0 ? 0 : 255) << "alpha at " << x << "," << y;
            if (m[3] == 0) continue;
            ASSERT_EQ(b.GetPixelRGB(x, y), TRGB({m[2], m[1], m[0]})) << "at " << x << "," << y;
        }
}

TEST(GifInteropIn, WeReadImageMagickFiles) {
    if (!requireTools()) return;
    testsupport::TempDir dir;
    const std::string im = imageMagick();
    struct TCase {
        const char* Name;
        std::string Args;
        int Frames;
    };
    const std::vector<TCase> cases = {
        {"interlaced", "-size 70x50 gradient:red-blue -swirl 90 -colors 120 -interlace GIF", 1},
        {"transparent", "-size 30x20 xc:none -fill red -draw 'circle 15,10 15,3' -fill blue -draw 'point 1,1'", 1},
        {"multiframe",
         "-delay 7 -size 12x10 gradient:yellow-green \\( -size 6x4 xc:blue -repage +3+2 \\) "
         "\\( -size 9x9 xc:none -fill red -draw 'rectangle 2,2 5,5' \\) -loop 0",
         3},
        {"gray", "-size 40x30 gradient:black-white -colorspace Gray", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string gif = dir.file(std::string(c.Name) + ".gif");
        run(im + " " + c.Args + " " + q(gif));
        for (int frame = 0; frame < c.Frames; ++frame) expectSameAsMagick(gif, frame, dir.file("im.rgba"));
    }
}

TEST(GifInteropIn, WeReadGiflibFiles) {
    if (!requireTools()) return;
    testsupport::TempDir dir;

    // A file put together by gifbuild from its text form: global and local
    // tables, interlace, transparency, two frames, a comment.
    const std::string text = dir.file("two.txt");
    std::ofstream(text) << "screen width 6\nscreen height 5\nscreen colors 4\nscreen background 1\n"
                           "screen map\n\trgb 000 000 000 is 0\n\trgb 255 255 255 is 1\n"
                           "\trgb 255 000 000 is 2\n\trgb 000 255 000 is 3\nend\n"
                           "image # 1\nimage left 0\nimage top 0\nimage bits 6 by 5\n"
                           "012301\n123012\n230123\n301230\n012301\n"
                           "comment\ngiflib comment\nend\n"
                           "graphics control\n\tdisposal mode 1\n\tdelay 33\n\ttransparent index 3\nend\n"
                           "image # 2\nimage left 1\nimage top 2\nimage interlaced\n"
                           "image map\n\trgb 010 020 030 is 0\n\trgb 040 050 060 is 1\n"
                           "\trgb 070 080 090 is 2\n\trgb 100 110 120 is 3\nend\n"
                           "image bits 4 by 3\n0123\n3210\n1111\n";
    const std::string built = dir.file("built.gif");
    run("gifbuild " + q(text) + " > " + q(built));

    TImageIO io;
    io.Params.GifImageIndex = 1;
    ASSERT_TRUE(io.LoadFromFileGif(built));
    EXPECT_EQ(io.Params.GifComments, std::vector<std::string>{"giflib comment"});
    EXPECT_EQ(io.Params.GifDelay, 33);
    EXPECT_EQ(io.Params.GifAction, 1);
    EXPECT_TRUE(io.Params.GifInterlaced);
    const TRGB local[4] = {{30, 20, 10}, {60, 50, 40}, {90, 80, 70}, {120, 110, 100}};
    // gifbuild's rows are picture rows; it interlaces them itself.
    const char* rows[3] = {"0123", "3210", "1111"};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int index = rows[y][x] - '0';
            EXPECT_EQ(io.Buffer()->GetPixelRGB(x, y), local[index]) << x << "," << y;
            EXPECT_EQ(io.Buffer()->GetAlpha(x, y), index == 3 ? 0 : 255);
        }
    for (int frame = 0; frame < 2; ++frame) expectSameAsMagick(built, frame, dir.file("im.rgba"));

    // giflib's own encoder and colour reduction (gif2rgb -s), decoded by
    // giflib and by us.
    TImageIO src;
    fillPicture(*src.Buffer(), 50, 30, 256);
    std::string raw;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) {
            const TRGB c = src.Buffer()->GetPixelRGB(x, y);
            raw += char(c.r);
            raw += char(c.g);
            raw += char(c.b);
        }
    const std::string rgb = dir.file("src.rgb");
    std::ofstream(rgb, std::ios::binary) << raw;
    const std::string encoded = dir.file("giflib.gif");
    run("gif2rgb -1 -s 50 30 " + q(rgb) + " > " + q(encoded));
    const std::vector<uint8_t> giflib = giflibRgb(encoded, dir.file("back.rgb"));
    TImageIO ours;
    ASSERT_TRUE(ours.LoadFromFileGif(encoded));
    ASSERT_EQ(giflib.size(), size_t(50 * 30 * 3));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) {
            const size_t i = size_t(y) * 50 + x;
            ASSERT_EQ(ours.Buffer()->GetPixelRGB(x, y), TRGB({giflib[3 * i + 2], giflib[3 * i + 1], giflib[3 * i]}));
        }
}

}  // namespace
