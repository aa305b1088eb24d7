// The point colour operations: worked examples with pinned arithmetic,
// invariants, a plain reference for the neighbourhood equalisation, and the
// same bytes from one thread and from several.
#include "imaging/ImageProc.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/ColorModels.h"
#include "tests/imaging/ProcTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <thread>

using namespace proctest;

namespace {

// Runs `op` on a one-row picture of the given pixels and returns the result.
std::vector<TRGB> Apply(const std::vector<TRGB>& pixels, const std::function<void(TImageProc&)>& op, int width = 0)
{
    const int w = width ? width : int(pixels.size());
    TPlainHost host(FromPixels(w, int(pixels.size()) / w, pixels));
    TImageProc proc(host);
    op(proc);
    return Pixels(*host.CurrentImage());
}

TRGB G(uint8_t v)
{
    return TRGB{v, v, v};
}

TRGB Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return TRGB{b, g, r};
}

std::string Show(const TRGB& c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

}  // namespace

// ---- Brightness, contrast, saturation ---------------------------------------

struct BcsCase {
    const char* name;
    int brightness, contrast, saturation;
    TRGB in, out;
};

class BrightnessContrastSaturation : public ::testing::TestWithParam<BcsCase> {};

TEST_P(BrightnessContrastSaturation, PinnedValues)
{
    const BcsCase& c = GetParam();
    // A 2 x 2 picture so that the undo snapshot path runs as well.
    auto out = Apply({c.in, c.in, c.in, c.in},
                     [&](TImageProc& p) { p.AdjustBrightnessContrastSaturation(c.brightness, c.contrast, c.saturation); }, 2);
    for (const TRGB& px : out)
        EXPECT_EQ(Show(px), Show(c.out));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, BrightnessContrastSaturation,
    ::testing::Values(
        // E = trunc(1.3 * 256) = 332; v = (332 * 99 + 256) / 256 = 129.
        BcsCase{"Brightness30Gray100", 30, 0, 0, G(100), G(129)},
        // Contrast 30: k = 1 / cos(0.15 pi); the pivot 170 stays.
        BcsCase{"Contrast30Level170", 0, 30, 0, G(170), G(170)},
        BcsCase{"Contrast30Level0", 0, 30, 0, G(0), G(0)},
        BcsCase{"Contrast30Level100", 0, 30, 0, G(100), G(91)},
        BcsCase{"Contrast30Level255", 0, 30, 0, G(255), G(255)},
        // Contrast 100 is taken as 99: k = 1 / cos(0.495 pi) = 63.66.
        BcsCase{"Contrast100Level169", 0, 100, 0, G(169), G(106)},
        // Negative contrast: k = cos(-20 * 0.015708) = 0.95106; 0 -> round(8.32) = 8.
        BcsCase{"ContrastMinus20Level0", 0, -20, 0, G(0), G(8)},
        // Saturation 65: F = 422; mean 116 -> G = 116 - W[116] = -76;
        // red 200 -> -76 + 331, held to 255; green 100 -> 90; blue 50 -> 8.
        BcsCase{"Saturation65", 0, 0, 65, Rgb(200, 100, 50), Rgb(255, 90, 8)},
        // Saturation -100 leaves only the integer mean.
        BcsCase{"SaturationMinus100", 0, 0, -100, Rgb(200, 100, 0), G(100)},
        // Brightness -100: every level becomes T[1] = 1.
        BcsCase{"BrightnessMinus100", -100, 0, 0, Rgb(255, 128, 0), G(1)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrightnessContrastSaturationInvariants, ZeroLeavesEveryPictureUnchanged)
{
    auto original = RandomImage(37, 23, px24RGB, 99);
    auto before = Copy(*original);
    TPlainHost host(std::move(original));
    TImageProc(host).AdjustBrightnessContrastSaturation(0, 0, 0);
    EXPECT_EQ(PixelBytes(*host.CurrentImage()), PixelBytes(*before));
}

TEST(BrightnessContrastSaturationInvariants, FlatPictureStaysFlat)
{
    for (auto args : {std::array<int, 3>{30, 30, 0}, {-15, 20, 0}, {0, 5, 65}, {0, 15, -35}}) {
        auto out = Apply(std::vector<TRGB>(12, Rgb(90, 140, 60)),
                         [&](TImageProc& p) { p.AdjustBrightnessContrastSaturation(args[0], args[1], args[2]); }, 4);
        for (const TRGB& px : out)
            EXPECT_EQ(Show(px), Show(out[0]));
    }
}

// ---- Histogram of saturation and value ----------------------------------------------

TEST(AdjustLumSatHistogram, UniformGrayBecomesUniformRed)
{
    for (double exponent : {0.1, 0.5, 1.0}) {
        SCOPED_TRACE(exponent);
        auto out = Apply(std::vector<TRGB>(30, G(120)), [&](TImageProc& p) { p.AdjustLumSatHistogram(exponent, exponent); }, 6);
        // S' and V' reach the top of the scale (255, or 254 where the quotient falls short).
        EXPECT_GE(out[0].r, 254);
        EXPECT_LE(out[0].g, 1);
        EXPECT_LE(out[0].b, 1);
        for (const TRGB& px : out)
            EXPECT_EQ(Show(px), Show(out[0]));
    }
}

TEST(AdjustLumSatHistogram, ExponentOneEqualisesValue)
{
    // (100,50,50): H 0, S 127, V 100; (200,100,100): H 0, S 127, V 200.
    // S' = 255; V' = trunc(255 / 2 * 1) = 127 and 255.
    auto out = Apply({Rgb(100, 50, 50), Rgb(200, 100, 100)}, [](TImageProc& p) { p.AdjustLumSatHistogram(1.0, 1.0); });
    EXPECT_EQ(Show(out[0]), Show(Rgb(127, 0, 0)));
    EXPECT_EQ(Show(out[1]), Show(Rgb(255, 0, 0)));
}

TEST(ColorModels, IntegerHsvRoundTripsPureAndGrayColours)
{
    struct Case {
        TRGB c;
        int h, s, v;
    };
    for (Case k : {Case{Rgb(255, 0, 0), 0, 255, 255}, Case{Rgb(0, 255, 0), 120, 255, 255},
                   Case{Rgb(0, 0, 255), 240, 255, 255}, Case{Rgb(255, 0, 255), 300, 255, 255},
                   Case{Rgb(80, 80, 80), 0, 0, 80}, Case{Rgb(0, 0, 0), 0, 0, 0}}) {
        SCOPED_TRACE(Show(k.c));
        ops::THsv hsv = ops::RgbToHsv(k.c.r, k.c.g, k.c.b);
        EXPECT_EQ(hsv.H, k.h);
        EXPECT_EQ(hsv.S, k.s);
        EXPECT_EQ(hsv.V, k.v);
        uint8_t bgr[3];
        ops::HsvToBgr(hsv.H, hsv.S, hsv.V, bgr);
        EXPECT_EQ(Show(TRGB{bgr[0], bgr[1], bgr[2]}), Show(k.c));
    }
}

TEST(ColorModels, TableHsvEqualsTheDividingOne)
{
    const ops::THsvTables tables;
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; ++b) {
                const ops::THsv a = ops::RgbToHsv(r, g, b);
                const ops::THsv t = tables(r, g, b);
                ASSERT_TRUE(a.H == t.H && a.S == t.S && a.V == t.V) << r << "," << g << "," << b;
            }
}

TEST(ColorModels, RealHslOfKnownColours)
{
    ops::THsl hsl = ops::RgbToHsl(204, 204, 196);
    EXPECT_NEAR(hsl.H, 1.0 / 6.0, 1e-12);
    EXPECT_NEAR(hsl.L, 400.0 / 510.0, 1e-12);
    hsl = ops::RgbToHsl(0, 0, 255);
    EXPECT_NEAR(hsl.H, 2.0 / 3.0, 1e-12);
    EXPECT_DOUBLE_EQ(hsl.S, 1.0);
    uint8_t bgr[3];
    ops::HslToBgr(2.0 / 3.0, 1.0, 0.5, bgr);
    EXPECT_EQ(Show(TRGB{bgr[0], bgr[1], bgr[2]}), Show(Rgb(0, 0, 255)));
    EXPECT_EQ(ops::RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(ops::RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(ops::RoundHalfEven(-2.5), -2.0);
}

// ---- Gray-level equalisation ---------------------------------------------------

namespace {

// The equalisation written out plainly, with a separate output picture.
std::vector<TRGB> ReferenceEqualize(const std::vector<TRGB>& in, int w, int h)
{
    auto gray = [](int r, int g, int b) { return (r * 21 + g * 71 + b * 8) / 100; };
    std::vector<int> hist(256, 0);
    for (const TRGB& c : in)
        ++hist[size_t(gray(c.r, c.g, c.b))];
    const double a = double(w) * h / 256.0;
    std::vector<int> left(256), right(256);
    double acc = 0;
    int r = 0;
    for (int z = 0; z < 256; ++z) {
        left[size_t(z)] = std::min(r, 255);
        acc += hist[size_t(z)];
        while (acc > a) {
            acc -= a;
            ++r;
        }
        right[size_t(z)] = std::min(r, 255);
    }
    auto at = [&](int x, int y) { return in[size_t(std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1))]; };
    std::vector<TRGB> out(in.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const TRGB p = at(x, y);
            const int g = gray(p.r, p.g, p.b);
            auto mapped = [&](const std::vector<int>& t) {
                return TRGB{uint8_t(t[p.b]), uint8_t(t[p.g]), uint8_t(t[p.r])};
            };
            TRGB& o = out[size_t(y * w + x)];
            if (left[size_t(g)] == right[size_t(g)]) {
                o = mapped(left);
                continue;
            }
            int sr = 0, sg = 0, sb = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const TRGB q = at(x + dx, y + dy);
                    sr += q.r;
                    sg += q.g;
                    sb += q.b;
                }
            const TRGB mean{uint8_t(sb / 9), uint8_t(sg / 9), uint8_t(sr / 9)};
            const int n = gray(mean.r, mean.g, mean.b);
            if (n > right[size_t(g)])
                o = mapped(right);
            else if (n < left[size_t(g)])
                o = mapped(left);
            else
                o = mean;
        }
    }
    return out;
}

}  // namespace

TEST(HistAutoEqualize, SingleColourIsUnchanged)
{
    auto out = Apply(std::vector<TRGB>(20, Rgb(30, 140, 200)), [](TImageProc& p) { p.HistAutoEqualize(); }, 5);
    for (const TRGB& px : out)
        EXPECT_EQ(Show(px), Show(Rgb(30, 140, 200)));
}

TEST(HistAutoEqualize, TwoPixelsTakeTheirNeighbourhoodMeans)
{
    // Black spans levels 0..127, white 127..255; the means are 85 and 170.
    auto out = Apply({G(0), G(255)}, [](TImageProc& p) { p.HistAutoEqualize(); });
    EXPECT_EQ(Show(out[0]), Show(G(85)));
    EXPECT_EQ(Show(out[1]), Show(G(170)));
}

TEST(HistAutoEqualize, MatchesThePlainReference)
{
    struct Size {
        int w, h;
        uint32_t seed;
        bool lowContrast;
    };
    for (Size s : {Size{1, 1, 1, false}, Size{7, 3, 2, false}, Size{1, 9, 3, false}, Size{33, 21, 4, true},
                   Size{300, 900, 5, true}}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        auto img = RandomImage(s.w, s.h, px24RGB, s.seed);
        if (s.lowContrast) {
            // Few gray levels, so that many levels span one output value and
            // both branches of the range test are taken.
            for (int y = 0; y < s.h; ++y) {
                uint8_t* row = img->RowPointer(y);
                for (int i = 0; i < s.w * 3; ++i)
                    row[i] = uint8_t(100 + row[i] % 24);
            }
        }
        const std::vector<TRGB> in = Pixels(*img);
        TPlainHost host(std::move(img));
        TImageProc(host).HistAutoEqualize();
        const std::vector<TRGB> expected = ReferenceEqualize(in, s.w, s.h);
        const std::vector<TRGB> got = Pixels(*host.CurrentImage());
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(Show(got[i]), Show(expected[i])) << "pixel " << i;
    }
}

// ---- White balance and channel offsets -------------------------------------------

TEST(WhiteBalance_AutoWhite, WithoutReferencePixelsNothingChanges)
{
    const std::vector<TRGB> in = {Rgb(255, 0, 0), Rgb(10, 200, 30), Rgb(0, 0, 0), Rgb(90, 90, 90)};
    EXPECT_EQ(Apply(in, [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }, 2).size(), 4u);
    auto out = Apply(in, [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }, 2);
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(Show(out[i]), Show(in[i]));
}

TEST(WhiteBalance_AutoWhite, ScalesByTheReferenceAverage)
{
    // Two reference pixels (light, hardly saturated, hues 1/6 and 2/3): the
    // averages are 204 in every channel, so every gain is 1.25.
    const std::vector<TRGB> in = {Rgb(204, 204, 196), Rgb(204, 204, 212), Rgb(100, 50, 0), Rgb(0, 0, 0)};
    auto out = Apply(in, [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }, 2);
    EXPECT_EQ(Show(out[0]), Show(Rgb(255, 255, 245)));
    EXPECT_EQ(Show(out[1]), Show(Rgb(255, 255, 255)));
    EXPECT_EQ(Show(out[2]), Show(Rgb(125, 62, 0)));
    EXPECT_EQ(Show(out[3]), Show(Rgb(0, 0, 0)));
}

TEST(WhiteBalance_AutoWhite, ExcludedHuesAreNoReference)
{
    // Hue 0.5 (cyan-ish gray) lies in an excluded band: no reference, no change.
    const std::vector<TRGB> in = {Rgb(196, 204, 204), Rgb(100, 100, 100)};
    ASSERT_NEAR(ops::RgbToHsl(196, 204, 204).H, 0.5, 1e-12);
    auto out = Apply(in, [](TImageProc& p) { p.WhiteBalance_AutoWhite(); });
    EXPECT_EQ(Show(out[0]), Show(in[0]));
    EXPECT_EQ(Show(out[1]), Show(in[1]));
}

TEST(IntensityRGBall, OffsetsAreHeldToTheByteRange)
{
    auto out = Apply({Rgb(30, 250, 100), Rgb(255, 0, 50)}, [](TImageProc& p) { p.IntensityRGBall(-50, 20, -50); });
    EXPECT_EQ(Show(out[0]), Show(Rgb(0, 255, 50)));
    EXPECT_EQ(Show(out[1]), Show(Rgb(205, 20, 0)));
    out = Apply({Rgb(1, 2, 3)}, [](TImageProc& p) { p.IntensityRGBall(100000, -100000, 0); });
    EXPECT_EQ(Show(out[0]), Show(Rgb(255, 0, 3)));
}

// ---- Threads -----------------------------------------------------------------------

TEST(ColorOpsThreads, OneThreadAndManyGiveTheSameBytes)
{
    const std::vector<std::pair<const char*, std::function<void(TImageProc&)>>> cases = {
        {"Bright", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(30, 30, 0); }},
        {"Saturated", [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(0, 5, 65); }},
        {"LumSat", [](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); }},
        {"Equalize", [](TImageProc& p) { p.HistAutoEqualize(); }},
        {"WhiteBalance", [](TImageProc& p) { p.WhiteBalance_AutoWhite(); }},
        {"Intensity", [](TImageProc& p) { p.IntensityRGBall(-50, 20, -50); }},
    };
    auto source = RandomImage(640, 480, px24RGB, 1234);
    if (std::thread::hardware_concurrency() > 1) {
        ASSERT_GT(ops::PlanBands(source->Height(), source->RowLen(), true), 1);
    }
    for (const auto& [name, op] : cases) {
        SCOPED_TRACE(name);
        const TThreadRuns runs = RunOnManyAndOneThread(*source, op);
        EXPECT_EQ(runs.pixels[0], runs.pixels[1]);
        EXPECT_NE(runs.pixels[0], PixelBytes(*source));
    }
}

TEST(ColorOpsStorage, FileBackedPicturesGiveTheSameBytes)
{
    // With a tiny threshold every buffer keeps its rows in a temporary file
    // (one mapped row at a time); results must match the in-memory ones,
    // with and without a selection.
    const std::vector<std::function<void(TImageProc&)>> cases = {
        [](TImageProc& p) { p.AdjustBrightnessContrastSaturation(0, 5, 65); },
        [](TImageProc& p) { p.AdjustLumSatHistogram(0.5, 0.4); },
        [](TImageProc& p) { p.HistAutoEqualize(); },
        [](TImageProc& p) { p.WhiteBalance_AutoWhite(); },
        [](TImageProc& p) { p.CropSel(); },
    };
    auto source = RandomImage(41, 29, px24RGB, 55, true);
    for (bool withSelection : {false, true}) {
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(std::to_string(i) + (withSelection ? " selection" : ""));
            std::vector<uint8_t> results[2];
            const int64_t saved = ImagingSettings().TempFileThreshold;
            for (int fileBacked = 0; fileBacked < 2; ++fileBacked) {
                ImagingSettings().TempFileThreshold = fileBacked ? 64 : saved;
                auto copy = std::make_unique<TImageBuffer>();
                ASSERT_TRUE(copy->Assign(*source));
                EXPECT_EQ(copy->Location() == locTempFile, fileBacked == 1);
                TPlainHost host(std::move(copy));
                if (withSelection)
                    host.SetSelection(TSelection{3, 4, 30, 20, {}});
                TImageProc proc(host);
                cases[i](proc);
                results[fileBacked] = PixelBytes(*host.CurrentImage());
                proc.RestoreUndoSnapshot();
                EXPECT_EQ(PixelBytes(*host.CurrentImage()), PixelBytes(*source));
            }
            ImagingSettings().TempFileThreshold = saved;
            EXPECT_EQ(results[0], results[1]);
        }
    }
}
