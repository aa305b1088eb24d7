// The recursive Gaussian, WallisFilter and AutoImageEnhance3.
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/ColorModels.h"
#include "imaging/ops/RecursiveGaussian.h"
#include "tests/imaging/ProcTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

using namespace proctest;

namespace {

std::vector<float> randomLine(size_t n, uint32_t seed)
{
    TBytes rnd(seed);
    std::vector<float> v(n);
    for (float& x : v)
        x = float(rnd.Next()) / 255.0f;
    return v;
}

// The filter computed the long way: the signal continued with its end value
// for `tail` samples, forward from the left steady state, backward from the
// right steady state far out, in double throughout.
std::vector<double> longWayGaussian(const std::vector<float>& x, double sigma, int tail)
{
    const ops::TRecursiveGaussian f(sigma);
    const double a1 = f.A1(), a2 = f.A2(), a3 = f.A3(), g = f.G();
    std::vector<double> s(x.begin(), x.end());
    s.insert(s.end(), size_t(tail), double(x.back()));
    std::vector<double> w(s.size());
    double p1 = s[0] / g, p2 = p1, p3 = p1;
    for (size_t n = 0; n < s.size(); ++n) {
        w[n] = s[n] + a1 * p1 + a2 * p2 + a3 * p3;
        p3 = p2;
        p2 = p1;
        p1 = w[n];
    }
    double q1 = x.back(), q2 = q1, q3 = q1;  // the backward steady state
    std::vector<double> y(s.size());
    for (size_t k = s.size(); k-- > 0;) {
        y[k] = g * g * w[k] + a1 * q1 + a2 * q2 + a3 * q3;
        q3 = q2;
        q2 = q1;
        q1 = y[k];
    }
    y.resize(x.size());
    return y;
}

}  // namespace

// ---- Recursive Gaussian ---------------------------------------------------------

TEST(RecursiveGaussian, CoefficientsFromSigma)
{
    for (double sigma : {0.8, 1.5, 3.0, 3.556, 6.0, 20.0}) {
        SCOPED_TRACE(sigma);
        const ops::TRecursiveGaussian f(sigma);
        const double q = sigma < 3.556 ? 0.0561 * sigma * sigma + 0.5784 * sigma - 0.2568
                                       : 0.9804 * (sigma - 3.556) + 2.5091;
        const double scale = (q + 1.1668) * (q * q + 2.21566 * q + 3.2037296485);
        EXPECT_NEAR(f.A1(), q * (3 * q * q + 6.76492 * q + 5.7889617365) / scale, 1e-12);
        EXPECT_NEAR(f.A2(), -q * q * (3 * q + 3.38246) / scale, 1e-12);
        EXPECT_NEAR(f.A3(), q * q * q / scale, 1e-12);
        EXPECT_NEAR(f.G(), 3.7381117538698 / scale, 1e-9);
    }
}

TEST(RecursiveGaussian, BoundariesMatchTheSignalContinuedWithItsEndValues)
{
    for (double sigma : {1.5, 3.0, 8.0}) {
        for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(60)}) {
            SCOPED_TRACE(testing::Message() << "sigma " << sigma << " n " << n);
            std::vector<float> line = randomLine(n, uint32_t(n * 31 + 7));
            const std::vector<double> want = longWayGaussian(line, sigma, 4000);
            ops::TRecursiveGaussian(sigma).FilterLine(line.data(), int(n), 1);
            for (size_t i = 0; i < n; ++i)
                EXPECT_NEAR(line[i], want[i], 2e-6) << i;
        }
    }
}

TEST(RecursiveGaussian, ImpulseResponseIsAGaussianOfThatSigma)
{
    for (double sigma : {1.5, 3.0, 10.0}) {
        SCOPED_TRACE(sigma);
        std::vector<float> line(401, 0.0f);
        line[200] = 1.0f;
        ops::TRecursiveGaussian(sigma).FilterLine(line.data(), 401, 1);
        double sum = 0, mean = 0, var = 0;
        for (int i = 0; i < 401; ++i) {
            sum += line[size_t(i)];
            mean += i * double(line[size_t(i)]);
        }
        mean /= sum;
        for (int i = 0; i < 401; ++i)
            var += (i - mean) * (i - mean) * line[size_t(i)];
        var /= sum;
        EXPECT_NEAR(sum, 1.0, 1e-4);
        EXPECT_NEAR(mean, 200.0, 1e-3);
        // The cubic-q design of the filter spreads a little wider than sigma.
        EXPECT_GT(std::sqrt(var), sigma);
        EXPECT_LT(std::sqrt(var), sigma * 1.15);
        // Flat input stays flat, offset included.
        std::vector<float> flat(50, 0.25f);
        ops::TRecursiveGaussian(sigma).FilterLine(flat.data(), 50, 1, 0.5f);
        for (float v : flat)
            EXPECT_NEAR(v, 0.75f, 1e-6);
    }
}

TEST(RecursiveGaussian, ColumnBlocksGiveTheBitsOfTheLineFilter)
{
    for (int height : {1, 2, 3, 4, 37}) {
        SCOPED_TRACE(height);
        const int width = 300;
        const std::vector<float> plane = randomLine(size_t(width) * size_t(height), uint32_t(height));
        const ops::TRecursiveGaussian f(3.0);
        std::vector<float> byColumns = plane, byLines = plane;
        f.FilterColumns(byColumns.data(), height, width, 0, width, 0.125f);
        for (int x = 0; x < width; ++x)
            f.FilterLine(byLines.data() + x, height, width, 0.125f);
        EXPECT_EQ(byColumns, byLines);
    }
}

TEST(RecursiveGaussian, PlaneIsEveryRowThenEveryColumnByTheLineFilter)
{
    // Row groups of 16 lanes and column blocks of 64, full and partial, and
    // a separate target that leaves the source alone.
    struct Size {
        int w, h;
    };
    for (Size s : {Size{1, 1}, Size{1, 40}, Size{40, 1}, Size{3, 2}, Size{70, 17}, Size{129, 33}, Size{64, 16}}) {
        SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
        const std::vector<float> source = randomLine(size_t(s.w) * size_t(s.h), uint32_t(s.w * 131 + s.h));
        const ops::TRecursiveGaussian f(3.0);
        std::vector<float> want = source;
        for (int y = 0; y < s.h; ++y)
            f.FilterLine(want.data() + size_t(y) * size_t(s.w), s.w, 1);
        for (int x = 0; x < s.w; ++x)
            f.FilterLine(want.data() + x, s.h, s.w, 0.25f);
        std::vector<float> input = source, target(source.size(), -1.0f);
        f.BlurPlane(input.data(), target.data(), s.w, s.h, 0.25f);
        EXPECT_EQ(target, want);
        EXPECT_EQ(input, source);
        f.BlurPlane(input.data(), s.w, s.h, 0.25f);
        EXPECT_EQ(input, want);
    }
}

TEST(RecursiveGaussian, PlaneIsTheSameOnOneAndManyThreads)
{
    const int w = 1100, h = 700;
    const std::vector<float> plane = randomLine(size_t(w) * size_t(h), 3);
    std::vector<float> out[2];
    for (int single = 0; single < 2; ++single) {
        ops::SetSingleThreaded(single == 1);
        out[single] = plane;
        ops::TRecursiveGaussian(1.5).BlurPlane(out[single].data(), w, h, 0.1f);
    }
    ops::SetSingleThreaded(false);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_NE(out[0], plane);
}

// ---- WallisFilter ---------------------------------------------------------------

namespace {

struct TWallisArgs {
    int pw = 2, ph = 2, md = 50, sd = 50, a = 50, b = 10, limit = 50;
    bool threshold = false;
};

// Every pixel's box summed directly over the picture extended by 15 pixels.
std::vector<uint8_t> wallisReference(TImageBuffer& src, const TWallisArgs& args)
{
    const int w = src.Width(), h = src.Height();
    const int winX = TImageProc::WallisWindow(args.pw, w, h);
    const int winY = TImageProc::WallisWindow(args.ph, w, h);
    const int halfX = (winX + 1) / 2, halfY = (winY + 1) / 2;
    const double n = double(winX) * winY;
    const double md = args.md / 100.0, sd = args.sd * 3 / 100.0, a = args.a, b = args.b / 100.0;
    const double limit = args.limit * 6 / 100.0;
    auto k = [&](int xe, int ye) {
        const uint8_t* p = src.RowPointer(std::clamp(ye - 15, 0, h - 1)) + 3 * std::clamp(xe - 15, 0, w - 1);
        return int64_t(std::max({p[0], p[1], p[2]}) + std::min({p[0], p[1], p[2]}));
    };
    std::vector<uint8_t> out = PixelBytes(src);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int left = x + 15 - halfX, top = y + 15 - halfY;
            if (left < 0 || top < 0 || left + winX > w + 30 || top + winY > h + 30)
                continue;
            int64_t s1 = 0, s2 = 0;
            for (int yy = top; yy < top + winY; ++yy)
                for (int xx = left; xx < left + winX; ++xx) {
                    s1 += k(xx, yy);
                    s2 += k(xx, yy) * k(xx, yy);
                }
            const double m = double(s1) / (510.0 * n);
            const double s = std::min(std::sqrt(double(s2) / (510.0 * 510.0 * n) - m * m + 1.0), limit);
            const double r = a * sd / (a * s + sd + 0.00001);
            const double l = double(k(x + 15, y + 15)) / 510.0;
            const double l2 = std::clamp((l - m) * r + (1 - b) * m + b * md, 0.0, 1.0);
            uint8_t* px = out.data() + (size_t(y) * size_t(w) + size_t(x)) * 3;
            if (args.threshold) {
                px[0] = px[1] = px[2] = l2 > 0.5 ? 255 : 0;
            } else {
                const ops::THsl hsl = ops::RgbToHsl(px[2], px[1], px[0]);
                ops::HslToBgr(hsl.H, hsl.S, l2, px);
            }
        }
    }
    return out;
}

std::vector<uint8_t> afterWallis(const TImageBuffer& src, const TWallisArgs& a)
{
    TPlainHost host(Copy(src));
    TImageProc proc(host);
    proc.WallisFilter(a.pw, a.ph, a.md, a.sd, a.a, a.b, a.limit, a.threshold);
    EXPECT_EQ(proc.UndoCaption(), src.Width() >= 2 && src.Height() >= 2 ? "WallisFilter" : "");
    return PixelBytes(*host.CurrentImage());
}

}  // namespace

TEST(WallisFilter, WindowFromTheShorterSide)
{
    EXPECT_EQ(TImageProc::WallisWindow(2, 1000, 800), 21);  // 2 % of 829 is 16
    EXPECT_EQ(TImageProc::WallisWindow(2, 4000, 3000), 60);
    EXPECT_EQ(TImageProc::WallisWindow(2, 3000, 4000), 60);
    EXPECT_EQ(TImageProc::WallisWindow(60, 71, 90), 60);
    EXPECT_EQ(TImageProc::WallisWindow(-5, 71, 90), 21);
}

TEST(WallisFilter, MatchesDirectBoxSums)
{
    struct Case {
        int w, h;
        TWallisArgs args;
    };
    TWallisArgs wide;  // 60 x 60 on a picture 31 high: a border of 15 pixels keeps its values
    wide.pw = wide.ph = 100;
    TWallisArgs mixed;  // other constants
    mixed.ph = 80;  // 21 x 42 on 24 x 50
    mixed.md = 30;
    mixed.sd = 80;
    mixed.a = 7;
    mixed.b = 40;
    mixed.limit = 20;
    TWallisArgs bw = mixed;
    bw.threshold = true;
    const std::vector<Case> cases = {
        {40, 30, TWallisArgs{}}, {35, 31, wide}, {24, 50, mixed}, {33, 20, bw}, {1, 1, TWallisArgs{}}, {3, 50, wide},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " window " << c.args.pw << "," << c.args.ph);
        auto src = RandomImage(c.w, c.h, px24RGB, uint32_t(c.w * 7 + c.h));
        EXPECT_EQ(afterWallis(*src, c.args), wallisReference(*src, c.args));
    }
}

TEST(WallisFilter, WideWindowLeavesTheOuterFifteenPixels)
{
    auto src = RandomImage(71, 71, px24RGB, 11);
    TWallisArgs wide;
    wide.pw = wide.ph = 60;
    const std::vector<uint8_t> before = PixelBytes(*src);
    const std::vector<uint8_t> after = afterWallis(*src, wide);
    auto same = [&](int x, int y) {
        const size_t i = (size_t(y) * 71 + size_t(x)) * 3;
        return std::equal(before.begin() + long(i), before.begin() + long(i) + 3, after.begin() + long(i));
    };
    for (int i = 0; i < 71; ++i) {
        EXPECT_TRUE(same(i, 0) && same(i, 14) && same(i, 70) && same(0, i) && same(14, i) && same(57, i)) << i;
    }
    int changed = 0;
    for (int y = 15; y <= 56; ++y)
        for (int x = 15; x <= 56; ++x)
            changed += same(x, y) ? 0 : 1;
    EXPECT_GT(changed, 42 * 42 / 2);
}

TEST(WallisFilter, FlatPictureMovesTenPercentTowardsMidGray)
{
    // s = 1, L = m: L' = 0.9 L + 0.05.
    struct Case {
        TRGB colour;
        TRGB want;
    };
    const std::vector<Case> cases = {
        {{51, 51, 51}, {59, 59, 59}},        // 0.2 -> 0.23
        {{128, 128, 128}, {128, 128, 128}},  // mid-gray stays
        {{0, 0, 0}, {13, 13, 13}},           // 0.05
        {{255, 255, 255}, {242, 242, 242}},  // 0.95
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.colour.r));
        auto src = Solid(30, 20, c.colour);
        TPlainHost host(Copy(*src));
        TImageProc proc(host);
        proc.WallisFilter(2, 2, 50, 50, 50, 10, 50, false);
        for (const TRGB& p : Pixels(*host.CurrentImage()))
            ASSERT_EQ(p, c.want);
    }
    // A colour keeps hue and saturation.
    auto src = Solid(30, 20, TRGB{50, 100, 200});
    TPlainHost host(Copy(*src));
    TImageProc proc(host);
    proc.WallisFilter(2, 2, 50, 50, 50, 10, 50, false);
    const ops::THsl hsl = ops::RgbToHsl(200, 100, 50);
    uint8_t want[3];
    ops::HslToBgr(hsl.H, hsl.S, 0.9 * (250.0 / 510.0) + 0.05, want);
    for (const TRGB& p : Pixels(*host.CurrentImage()))
        ASSERT_EQ(p, (TRGB{want[0], want[1], want[2]}));
}

TEST(WallisFilter, SameBytesOnOneAndManyThreads)
{
    auto src = RandomImage(300, 250, px24RGB, 21);
    TThreadRuns runs = RunOnManyAndOneThread(*src, [](TImageProc& p) { p.WallisFilter(2, 2, 50, 50, 50, 10, 50, false); });
    EXPECT_EQ(runs.pixels[0], runs.pixels[1]);
    EXPECT_NE(runs.pixels[0], PixelBytes(*src));
}

// ---- AutoImageEnhance3 ----------------------------------------------------------

namespace {

TRGB enhancedCentre(uint8_t gray, int size = 160)
{
    TPlainHost host(Gray(size, size, gray));
    TImageProc proc(host);
    proc.AutoImageEnhance3(80, 0.35);
    EXPECT_EQ(proc.UndoCaption(), "AutoImageEnhance3");
    return host.CurrentImage()->GetPixelRGB(size / 2, size / 2);
}

}  // namespace

TEST(AutoImageEnhance3, UniformGraysFollowTheToneCurve)
{
    const TRGB dark = enhancedCentre(25);
    EXPECT_NEAR(dark.r, 83, 2);
    EXPECT_EQ(dark.g, dark.r);
    EXPECT_EQ(dark.b, dark.r);
    const TRGB light = enhancedCentre(230);
    EXPECT_NEAR(light.r, 227, 2);
    EXPECT_EQ(light.g, light.r);
    EXPECT_EQ(light.b, light.r);
}

TEST(AutoImageEnhance3, BlackStaysBlackAndTinyPicturesWork)
{
    for (int size : {1, 2, 9}) {
        SCOPED_TRACE(size);
        TPlainHost host(Gray(size, size, 0));
        TImageProc proc(host);
        proc.AutoImageEnhance3(80, 0.35);
        for (const TRGB& p : Pixels(*host.CurrentImage()))
            ASSERT_EQ(p, (TRGB{0, 0, 0}));
    }
    TPlainHost host(Gray(1, 1, 100));
    TImageProc proc(host);
    proc.AutoImageEnhance3(80, 0.35);
    const TRGB p = host.CurrentImage()->GetPixelRGB(0, 0);
    EXPECT_GT(p.r, 100);  // brightened like any dark-to-mid gray
    EXPECT_EQ(p.r, p.g);
}

TEST(AutoImageEnhance3, SaturationStepScalesDistanceFromGray)
{
    // With P = 100 the saturation step leaves colours alone, with P = 0 it
    // makes them gray.
    auto src = RandomImage(40, 30, px24RGB, 9);
    TPlainHost host(Copy(*src));
    TImageProc proc(host);
    proc.AutoImageEnhance3(0, 0.35);
    for (const TRGB& p : Pixels(*host.CurrentImage())) {
        ASSERT_EQ(p.r, p.g);
        ASSERT_EQ(p.g, p.b);
    }
}

TEST(AutoImageEnhance3, SameBytesOnOneAndManyThreads)
{
    auto src = RandomImage(500, 300, px24RGB, 22);
    TThreadRuns runs = RunOnManyAndOneThread(*src, [](TImageProc& p) { p.AutoImageEnhance3(80, 0.35); });
    EXPECT_EQ(runs.pixels[0], runs.pixels[1]);
}

TEST(AutoImageEnhance3, ReportsProgressAndFinishes)
{
    TPlainHost host(RandomImage(30, 20, px24RGB, 1));
    TEventLog log;
    log.Attach(host);
    TImageProc proc(host);
    proc.AutoImageEnhance3(80, 0.35);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
    EXPECT_EQ(log.progress.back(), 100);
    EXPECT_EQ(log.events.back(), "finish");
}

// ---- AutoImageEnhance3: pinned output bytes -------------------------------------
//
// The bytes of the filter on pictures made in code, reduced to a 64-bit
// FNV-1a hash of size, format, pixels and alpha. They were taken from the
// straightforward implementation (one plain loop per step); any change to the
// arithmetic or the evaluation order that moves a single byte fails here.

namespace {

uint64_t fnv1a(uint64_t h, const std::vector<uint8_t>& bytes)
{
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

uint64_t pictureHash(TImageBuffer& b)
{
    uint64_t h = 0xcbf29ce484222325ull;
    h = fnv1a(h, {uint8_t(b.Width()), uint8_t(b.Width() >> 8), uint8_t(b.Height()), uint8_t(b.Height() >> 8),
                  uint8_t(b.PixelFormat())});
    h = fnv1a(h, PixelBytes(b));
    return fnv1a(h, AlphaBytes(b));
}

// Smooth light, a texture and some noise, like a photograph.
std::unique_ptr<TImageBuffer> photoLike(int w, int h, uint32_t seed)
{
    auto img = std::make_unique<TImageBuffer>(w, h, px24RGB);
    TBytes rnd(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img->RowPointer(y);
        for (int x = 0; x < w; ++x) {
            const double light = 110 + 90 * std::sin(x / 23.0) * std::cos(y / 17.0);
            const double texture = 25 * std::sin(x / 3.0 + y / 5.0);
            for (int c = 0; c < 3; ++c) {
                const double v = light + texture * (c + 1) / 3 + (rnd.Next() & 15) + c * 20 - 20;
                row[x * 3 + c] = uint8_t(std::clamp(v, 0.0, 255.0));
            }
        }
    }
    return img;
}

struct TEnhanceCase {
    const char* name;
    std::function<std::unique_ptr<TImageBuffer>()> make;
    int saturation;
    double exponentBase;
    TSelection selection;
    uint64_t hash;
};

TSelection diagonalMask(int left, int top, int right, int bottom)
{
    TSelection s{left, top, right, bottom, {}};
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            s.Mask.push_back(uint8_t((x * 3 + y) % 5 != 0));
    return s;
}

}  // namespace

TEST(AutoImageEnhance3, OutputBytesArePinned)
{
    auto random = [](int w, int h, uint32_t seed) { return [=] { return RandomImage(w, h, px24RGB, seed); }; };
    auto photo = [](int w, int h, uint32_t seed) { return [=] { return photoLike(w, h, seed); }; };
    const TSelection none;
    const std::vector<TEnhanceCase> cases = {
        {"1 x 1", random(1, 1, 3), 80, 0.35, none, 0xfd180536ba64ce3eull},
        {"1 x 9", random(1, 9, 4), 80, 0.35, none, 0x59cb8e3c10f79f59ull},
        {"9 x 1", random(9, 1, 5), 80, 0.35, none, 0x14b70586a65cb1cfull},
        {"2 x 2", random(2, 2, 6), 80, 0.35, none, 0x984b081b3b883186ull},
        {"odd width 37 x 23", random(37, 23, 7), 80, 0.35, none, 0xeb523a09b7bd6496ull},
        {"photo 301 x 43 (past a column block)", photo(301, 43, 8), 80, 0.35, none, 0x466c86850a493251ull},
        {"photo 45 x 290 (many rows)", photo(45, 290, 9), 80, 0.35, none, 0x8b3230abc649f917ull},
        {"photo 131 x 97", photo(131, 97, 10), 80, 0.35, none, 0xd076858d6f7293edull},
        {"no saturation, exponent 1", photo(131, 97, 10), 0, 1.0, none, 0xdf378b1f8527d326ull},
        {"saturation 150, exponent 0.6", photo(131, 97, 10), 150, 0.6, none, 0x5f9100f41b6af888ull},
        {"saturation -40, exponent 2.5", random(64, 48, 11), -40, 2.5, none, 0x1cbbf0fb4d1f4c38ull},
        {"dark picture", [] { return Gray(50, 40, 3); }, 80, 0.35, none, 0x812b1f51013f4408ull},
        {"white picture", [] { return Gray(50, 40, 255); }, 80, 0.35, none, 0xce740bf89b1345beull},
        {"rectangle selection", photo(131, 97, 12), 80, 0.35, TSelection{20, 10, 99, 70, {}}, 0x81575236c183445eull},
        {"selection past the picture", photo(131, 97, 13), 80, 0.35, TSelection{-5, 60, 140, 120, {}},
         0x6cacbf911571491full},
        {"masked selection", photo(131, 97, 14), 80, 0.35, diagonalMask(7, 3, 120, 90), 0x58f5ccdfacd71ac2ull},
        {"whole picture selected", photo(131, 97, 15), 80, 0.35, TSelection{0, 0, 130, 96, {}}, 0x87a9f055fdfccc62ull},
        {"gray picture converted first", [] {
             auto b = photoLike(77, 55, 16);
             b->ConvertTo(px8g);
             return b;
         }, 80, 0.35, none, 0xfa0796b47eac0440ull},
        {"alpha channel", [] { return RandomImage(70, 50, px24RGB, 17, true); }, 80, 0.35, none, 0xb9350645014c2f9aull},
    };
    for (const TEnhanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPlainHost host(c.make());
        host.SetSelection(c.selection);
        TImageProc proc(host);
        proc.AutoImageEnhance3(c.saturation, c.exponentBase);
        EXPECT_EQ(pictureHash(*host.CurrentImage()), c.hash) << std::hex << "0x" << pictureHash(*host.CurrentImage());
    }
}
