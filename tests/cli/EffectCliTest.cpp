// tessaron-cli effect, rotate and flip as a user runs them: the output file
// holds what the processing object makes of the input, one thread or many.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "imaging/ImageIO.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "support/TestSupport.h"
#include "tests/imaging/ProcTestSupport.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string q(const std::string& s)
{
    return "'" + s + "'";
}

Result cli(const std::string& args, const testsupport::TempDir& dir)
{
    Result r;
    const std::string errFile = dir.file("stderr.txt");
    r.status = testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>" + q(errFile), &r.out);
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 24-bit BMP with varied pixels.
std::string makeBmp(const testsupport::TempDir& dir, int w, int h)
{
    TImageIO io;
    io.Buffer()->Allocate(w, h, px24RGB);
    proctest::TBytes rnd(42);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            io.Buffer()->SetPixelRGB(x, y, TRGB{rnd.Next(), uint8_t(x * 5), uint8_t(y * 3 + rnd.Next() % 40)});
    io.SaveToFileBmp(dir.file("in.bmp"));
    return dir.file("in.bmp");
}

std::unique_ptr<TImageBuffer> load(const std::string& path)
{
    TImageIO io;
    EXPECT_TRUE(io.LoadFromFile(path)) << path;
    return std::make_unique<TImageBuffer>(std::move(*io.Buffer()));
}

// The input picture after `op`, done here through the processing object.
std::vector<uint8_t> expected(const std::string& in, const std::function<void(TImageProc&)>& op, int* w = nullptr,
                              int* h = nullptr)
{
    TPlainHost host(load(in));
    host.SetBackgroundColor(0);
    TImageProc proc(host, false);
    op(proc);
    if (w)
        *w = host.CurrentImage()->Width();
    if (h)
        *h = host.CurrentImage()->Height();
    return proctest::PixelBytes(*host.CurrentImage());
}

}  // namespace

TEST(EffectCli, CommandsWriteWhatTheProcessingObjectMakes)
{
    struct Case {
        std::string args;
        std::function<void(TImageProc&)> op;
    };
    const std::vector<Case> cases = {
        {"effect bright", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(30, 30, 0); }},
        {"effect 'Тёмное'", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(-15, 20, 0); }},
        {"effect --preview dark", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(-15, 40, 0); }},
        {"effect colorful", [](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); }},
        {"effect normalize", [](TImageProc& p) { p.HistAutoEqualize(); }},
        {"effect white-balance", [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }},
        {"effect rotate-left", [](TImageProc& p) { p.Rotate(90); }},
        {"rotate -90", [](TImageProc& p) { p.Rotate(-90); }},
        {"rotate 30", [](TImageProc& p) { p.Rotate(30); }},
        {"rotate --nearest --background 102030 -12.5",
         [](TImageProc& p) { p.Rotate(-12.5, false, 0, RGBToColor(0x10, 0x20, 0x30)); }},
        {"flip 0", [](TImageProc& p) { p.Flip(0); }},
        {"flip upside-down", [](TImageProc& p) { p.Flip(1); }},
        {"effect detail", [](TImageProc& p) { p.WallisFilter(2, 2, 50, 50, 50, 10, 50, false); }},
        {"effect 'Освещённость'", [](TImageProc& p) { p.AutoImageEnhance3(80, 0.35); }},
    };
    testsupport::TempDir dir;
    const std::string in = makeBmp(dir, 37, 21);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string out = dir.file("out.bmp");
        std::filesystem::remove(out);
        Result r = cli(c.args + " " + q(in) + " " + q(out), dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");  // no progress: stderr is no terminal
        int w = 0, h = 0;
        const std::vector<uint8_t> want = expected(in, c.op, &w, &h);
        auto got = load(out);
        EXPECT_EQ(got->Width(), w);
        EXPECT_EQ(got->Height(), h);
        EXPECT_EQ(proctest::PixelBytes(*got), want);
    }
}

TEST(EffectCli, OneThreadWritesTheSameFile)
{
    testsupport::TempDir dir;
    const std::string in = makeBmp(dir, 700, 500);
    for (const std::string& args : {std::string("effect natural"), std::string("effect normalize"),
                                    std::string("effect detail"), std::string("effect lighting"),
                                    std::string("rotate 17"), std::string("effect rotate-right")}) {
        SCOPED_TRACE(args);
        ASSERT_EQ(cli(args + " " + q(in) + " " + q(dir.file("many.bmp")), dir).status, 0);
        ASSERT_EQ(cli(args + " --single-thread " + q(in) + " " + q(dir.file("one.bmp")), dir).status, 0);
        EXPECT_EQ(fileBytes(dir.file("many.bmp")), fileBytes(dir.file("one.bmp")));
    }
}

TEST(EffectCli, FailuresAndUsage)
{
    testsupport::TempDir dir;
    const std::string in = makeBmp(dir, 8, 8);
    const std::string out = dir.file("out.bmp");
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"effect sepia " + q(in) + " " + q(out), 2, "unknown effect \"sepia\""},
        {"effect bright " + q(in), 2, "NAME, IN and OUT expected"},
        {"effect --bogus bright " + q(in) + " " + q(out), 2, "unknown option --bogus"},
        {"rotate abc " + q(in) + " " + q(out), 2, "ANGLE must be a number"},
        {"rotate --background 12 90 " + q(in) + " " + q(out), 2, "--background needs a colour"},
        {"flip 2 " + q(in) + " " + q(out), 2, "DIRECTION must be 0"},
        {"flip 0 " + q(dir.file("missing.bmp")) + " " + q(out), 1, "Cannot open file"},
        {"effect bright " + q(in) + " " + q(dir.file("out.xyz")), 1, "no writer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Result r = cli(c.args, dir);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(EffectCli, ListAndHelp)
{
    testsupport::TempDir dir;
    Result r = cli("effect --list", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 15);
    EXPECT_NE(r.out.find("detail"), std::string::npos);
    EXPECT_EQ(r.out.find("(not available yet)"), std::string::npos);
    EXPECT_NE(r.out.find("Натуральный цвет"), std::string::npos);
    for (const char* command : {"effect", "rotate", "flip"}) {
        r = cli(std::string(command) + " --help", dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(std::string("Usage: tessaron-cli ") + command), std::string::npos);
    }
    r = cli("--help", dir);
    EXPECT_NE(r.out.find("effect"), std::string::npos);
    EXPECT_NE(r.out.find("rotate"), std::string::npos);
}

TEST(ConvertCli, ResizeWithFilterAndSharpenMatchesTheProcessingObject)
{
    testsupport::TempDir dir;
    const std::string in = makeBmp(dir, 64, 48);
    struct Case {
        std::string options;
        std::function<void(TImageProc&)> op;
        int w, h;
    } cases[] = {
        {"--resize 32 -1", [](TImageProc& p) { p.Resample(32, -1, rfLanczos3); }, 32, 24},
        {"--resize -1 100 --filter Нейтральный", [](TImageProc& p) { p.Resample(-1, 100, rfBilinear); }, 133, 100},
        {"--resize 0 20 --filter fastlinear --sharpen",
         [](TImageProc& p) {
             p.Resample(0, 20, rfFastLinear);
             p.SharpenAfterResize();
         },
         64, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string out = dir.file("out.bmp");
        Result r = cli("convert " + c.options + " " + q(in) + " " + q(out), dir);
        ASSERT_EQ(r.status, 0) << r.err;
        int w = 0, h = 0;
        const std::vector<uint8_t> want = expected(in, c.op, &w, &h);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        auto got = load(out);
        EXPECT_EQ(got->Width(), c.w);
        EXPECT_EQ(got->Height(), c.h);
        EXPECT_EQ(proctest::PixelBytes(*got), want);
    }
    for (const char* bad : {"--resize 10", "--resize -1 -1", "--resize 10 x", "--resize 10 10 --filter sinc"}) {
        SCOPED_TRACE(bad);
        Result r = cli(std::string("convert ") + bad + " " + q(in) + " " + q(dir.file("bad.bmp")), dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bmp")));
    }
}
