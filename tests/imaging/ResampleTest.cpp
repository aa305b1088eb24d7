// Resampling: size rules, the kernel, fixed-point linear and area-walk
// arithmetic on small pictures worked out by hand or by a direct reference,
// the alpha channel, 1-bit sources and the processing object's operation.
#include <gtest/gtest.h>

#include "imaging/ImageBuffer.h"
#include "imaging/ImageProc.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/Resample.h"
#include "imaging/ops/RowCopy.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A px24RGB picture with pseudo-random content (fixed seed).
std::unique_ptr<TImageBuffer> noisePicture(int w, int h, TPixelFormat format = px24RGB, unsigned seed = 7)
{
    auto b = std::make_unique<TImageBuffer>(w, h, format);
    std::mt19937 gen(seed);
    const int bytes = (w * b->BitCount() + 7) / 8;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b->RowPointer(y);
        for (int i = 0; i < bytes; ++i)
            row[i] = uint8_t(gen());
    }
    return b;
}

uint8_t at(TImageBuffer& b, int x, int y, int c = 0)
{
    return b.RowPointer(y)[x * (b.BitCount() / 8) + c];
}

std::vector<uint8_t> pixels(TImageBuffer& b)
{
    std::vector<uint8_t> out;
    const int bytes = (b.Width() * b.BitCount() + 7) / 8;
    for (int y = 0; y < b.Height(); ++y)
        out.insert(out.end(), b.RowPointer(y), b.RowPointer(y) + bytes);
    return out;
}

}  // namespace

TEST(ResampleSize, RequestRules)
{
    struct Case {
        int W, H, reqW, reqH;
        bool ok;
        int w, h;
    } cases[] = {
        {4000, 3000, 800, -1, true, 800, 600},
        {3000, 4000, 800, -1, true, 800, 1066},  // integer division truncates
        {4000, 3000, -1, 600, true, 800, 600},
        {4000, 3000, -1, -1, false, 0, 0},
        {640, 480, 0, 500, true, 640, 500},
        {640, 480, -320, 0, true, 320, 480},  // other negatives count by their size
        {10, 1000, -1, 5, true, 1, 5},        // below 1 becomes 1
        {640, 480, 0, 0, true, 640, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.reqW) + "," + std::to_string(c.reqH));
        int w = 0, h = 0;
        ASSERT_EQ(ops::ComputeResampleSize(c.W, c.H, c.reqW, c.reqH, w, h), c.ok);
        if (c.ok) {
            EXPECT_EQ(w, c.w);
            EXPECT_EQ(h, c.h);
        }
    }
}

TEST(ResampleFilters, UserListMapsToFilters)
{
    const TResampleFilter expected[] = {rfNone,     rfTriangle,   rfBell,     rfBSpline,
                                        rfLanczos3, rfFastLinear, rfBilinear, rfBicubic};
    for (int i = 0; i < ops::ResampleFilterListCount; ++i) {
        EXPECT_EQ(ops::ResampleFilterFromListIndex(i), expected[i]);
        TResampleFilter f = rfNearest;
        ASSERT_TRUE(ops::ResampleFilterFromName(ops::ResampleFilterListName(i), f));
        EXPECT_EQ(f, expected[i]);
    }
    EXPECT_STREQ(ops::ResampleFilterListName(4), "Резкость");
    TResampleFilter f = rfNone;
    EXPECT_TRUE(ops::ResampleFilterFromName("Lanczos3", f));
    EXPECT_EQ(f, rfLanczos3);
    EXPECT_FALSE(ops::ResampleFilterFromName("sinc", f));
}

TEST(ResampleKernel, TriangleEnlargingKeepsEndPixels)
{
    TImageBuffer src(2, 1, px24RGB);
    src.SetPixelRGB(0, 0, TRGB{10, 20, 30});
    src.SetPixelRGB(1, 0, TRGB{200, 150, 100});
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(src, dst, 4, 1, rfTriangle));
    ASSERT_EQ(dst.Width(), 4);
    EXPECT_EQ(dst.GetPixelRGB(0, 0), (TRGB{10, 20, 30}));
    EXPECT_EQ(dst.GetPixelRGB(3, 0), (TRGB{200, 150, 100}));
    // sx = 3: column 1 sits at 1/3: weights round(256*2/3)=171 and round(256/3)=85.
    EXPECT_EQ(dst.GetPixelRGB(1, 0).b, uint8_t((171 * 10 + 85 * 200) / 256));
}

TEST(ResampleKernel, LanczosOnHardEdgeIsHeldWithinRange)
{
    TImageBuffer src(8, 2, px24RGB);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x)
            src.SetPixelRGB(x, y, x < 4 ? TRGB{0, 0, 0} : TRGB{255, 255, 255});
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(src, dst, 30, 2, rfLanczos3));
    // The ringing undershoots below 0 on the dark side and overshoots above
    // 255 on the bright side: both are held, nothing wraps around.
    for (int x = 0; x < 10; ++x)
        EXPECT_LE(at(dst, x, 0), 8) << x;
    for (int x = 20; x < 30; ++x)
        EXPECT_GE(at(dst, x, 0), 247) << x;
}

TEST(ResampleKernel, ExtremeReductionLeavesBlack)
{
    // Every rounded triangle weight is 0 at a factor of 1024: empty lists.
    auto src = noisePicture(1024, 2);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(*src, dst, 1, 2, rfTriangle));
    EXPECT_EQ(dst.GetPixelRGB(0, 0), (TRGB{0, 0, 0}));
}

TEST(ResampleKernel, FlatPictureStaysFlatForEveryFilter)
{
    for (TResampleFilter f : {rfNone, rfTriangle, rfBell, rfBSpline, rfLanczos3, rfFastLinear, rfBilinear, rfBicubic}) {
        SCOPED_TRACE(int(f));
        TImageBuffer src(37, 23, px24RGB);
        src.Fill(RGBToColor(90, 140, 210));
        for (auto [w, h] : {std::pair{80, 50}, std::pair{12, 9}}) {
            TImageBuffer dst;
            ASSERT_TRUE(ops::ResampleInto(src, dst, w, h, f));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(dst.GetPixelRGB(x, y), (TRGB{210, 140, 90})) << x << "," << y;
        }
    }
}

TEST(ResampleFastLinear, SameSizeCopiesExactly)
{
    auto src = noisePicture(13, 7);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(*src, dst, 13, 7, rfFastLinear));
    EXPECT_EQ(pixels(dst), pixels(*src));
}

TEST(ResampleFastLinear, HalvedHeightAveragesNeighbours)
{
    const int W = 9, H = 10;
    auto src = noisePicture(W, H);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(*src, dst, W, H / 2, rfFastLinear));
    // Work pixel: mean of columns i and i + 1 (the last column alone); output:
    // mean of work rows 2j .. 2j + 2 (the last row 2j alone).
    auto work = [&](int i, int r, int c) {
        return i == W - 1 ? int(at(*src, i, r, c)) : (at(*src, i, r, c) + at(*src, i + 1, r, c)) / 2;
    };
    for (int j = 0; j < H / 2; ++j)
        for (int i = 0; i < W; ++i)
            for (int c = 0; c < 3; ++c) {
                int expected;
                if (j == H / 2 - 1)
                    expected = work(i, 2 * j, c);
                else
                    expected = (work(i, 2 * j, c) + work(i, 2 * j + 1, c) + work(i, 2 * j + 2, c)) / 3;
                ASSERT_EQ(at(dst, i, j, c), expected) << i << "," << j;
            }
}

TEST(ResampleFastLinear, EnlargingInterpolatesWithFloor)
{
    TImageBuffer src(2, 1, px8g);
    src.RowPointer(0)[0] = 200;
    src.RowPointer(0)[1] = 101;
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(src, dst, 4, 1, rfFastLinear));
    // Positions 0, 0.5, 1, 1.5: a + floor((b - a) * frac / 2^17).
    EXPECT_EQ(at(dst, 0, 0), 200);
    EXPECT_EQ(at(dst, 1, 0), 200 + (-99 * 65536 >> 17));  // 150 (floor of -49.5)
    EXPECT_EQ(at(dst, 2, 0), 101);
    EXPECT_EQ(at(dst, 3, 0), 101);
}

TEST(ResampleArea, BilinearHalvingIsTwoByTwoMean)
{
    for (TPixelFormat format : {px24RGB, px8g}) {
        auto src = noisePicture(10, 8, format);
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(*src, dst, 5, 4, rfBilinear));
        const int C = src->BitCount() / 8;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                for (int c = 0; c < C; ++c) {
                    int sum = at(*src, 2 * x, 2 * y, c) + at(*src, 2 * x + 1, 2 * y, c) +
                              at(*src, 2 * x, 2 * y + 1, c) + at(*src, 2 * x + 1, 2 * y + 1, c);
                    ASSERT_EQ(at(dst, x, y, c), sum / 4) << x << "," << y;
                }
    }
}

TEST(ResampleArea, BilinearDoublingShiftsHalfAPixel)
{
    const int W = 6, H = 5;
    auto src = noisePicture(W, H, px8g, 11);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(*src, dst, 2 * W, 2 * H, rfBilinear));
    auto v = [&](int x, int y) { return int(at(*src, std::min(x, W - 1), std::min(y, H - 1))); };
    for (int m = 0; m < H; ++m)
        for (int k = 0; k < W; ++k) {
            SCOPED_TRACE(std::to_string(k) + "," + std::to_string(m));
            EXPECT_EQ(at(dst, 2 * k + 1, 2 * m + 1), v(k + 1, m + 1));
            EXPECT_EQ(at(dst, 2 * k, 2 * m), (v(k, m) + v(k + 1, m) + v(k, m + 1) + v(k + 1, m + 1)) / 4);
            EXPECT_EQ(at(dst, 2 * k + 1, 2 * m), (v(k + 1, m) + v(k + 1, m + 1)) / 2);
            EXPECT_EQ(at(dst, 2 * k, 2 * m + 1), (v(k, m + 1) + v(k + 1, m + 1)) / 2);
        }
}

TEST(ResampleArea, SixteenBitSamplesKeepTheirRange)
{
    TImageBuffer src(4, 4, pxGray16);
    src.Fill(65535);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(src, dst, 7, 3, rfBicubic));
    EXPECT_EQ(dst.PixelFormat(), pxGray16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(reinterpret_cast<const uint16_t*>(dst.RowPointer(y))[x], 65535);
}

TEST(ResampleNearest, PicksTruncatedPositionsInEveryFormat)
{
    for (TPixelFormat format : {px1g, px8p, px8g, pxGray16, px24RGB, pxRGB48, pxRGB32}) {
        SCOPED_TRACE(int(format));
        auto src = noisePicture(9, 6, format);
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(*src, dst, 4, 4, rfNone));
        ASSERT_EQ(dst.PixelFormat(), format);
        const double rx = 9.0 / 4, ry = 6.0 / 4;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                const int sx = int(i * rx), sy = int(j * ry);
                if (format == px1g) {
                    ASSERT_EQ(ops::GetBit(dst.RowPointer(j), i), ops::GetBit(src->RowPointer(sy), sx));
                } else {
                    const int bpp = src->BitCount() / 8;
                    ASSERT_EQ(0, std::memcmp(dst.RowPointer(j) + i * bpp, src->RowPointer(sy) + sx * bpp, bpp));
                }
            }
    }
}

TEST(ResampleBits, FilteredOneBitBecomesGrayAndNoneStaysOneBit)
{
    TImageBuffer page(16, 16, px1g);
    page.Fill(1);
    page.FillRect(0, 0, 7, 15, 0);  // left half black
    for (TResampleFilter f : {rfTriangle, rfFastLinear, rfBilinear, rfBicubic}) {
        SCOPED_TRACE(int(f));
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(page, dst, 6, 6, f));
        ASSERT_EQ(dst.PixelFormat(), px24RGB);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                TRGB p = dst.GetPixelRGB(x, y);
                ASSERT_TRUE(p.r == p.g && p.g == p.b);
            }
        EXPECT_EQ(dst.GetPixelRGB(0, 3).r, 0);
        EXPECT_EQ(dst.GetPixelRGB(5, 3).r, 255);
    }
    TImageBuffer kept;
    ASSERT_TRUE(ops::ResampleInto(page, kept, 6, 6, rfNone));
    EXPECT_EQ(kept.PixelFormat(), px1g);
}

TEST(ResampleAlpha, TransparentPixelsTurnGrayAndAlphaFollows)
{
    auto src = noisePicture(8, 8);
    src->SetAlpha(2, 3, 0);
    src->SetAlpha(5, 5, 100);
    TImageBuffer dst;
    ASSERT_TRUE(ops::ResampleInto(*src, dst, 4, 4, rfLanczos3));
    EXPECT_EQ(src->GetPixelRGB(2, 3), (TRGB{128, 128, 128}));
    EXPECT_NE(src->GetPixelRGB(5, 5), (TRGB{128, 128, 128}));
    ASSERT_TRUE(dst.HasAlpha());
    EXPECT_EQ(dst.ExistingAlpha()->Width(), 4);
    EXPECT_FALSE(dst.ExistingAlpha()->FullyOpaque());
    EXPECT_LT(dst.GetAlpha(1, 1), 255);
}

TEST(ResampleStorage, TemporaryFileRowsGiveTheSameBytes)
{
    auto src = noisePicture(40, 30);
    std::vector<std::vector<uint8_t>> inMemory;
    const TResampleFilter filters[] = {rfNone, rfLanczos3, rfFastLinear, rfBicubic};
    for (TResampleFilter f : filters) {
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(*src, dst, 23, 51, f));
        inMemory.push_back(pixels(dst));
    }
    const int64_t saved = ImagingSettings().TempFileThreshold;
    ImagingSettings().TempFileThreshold = 16;
    TImageBuffer fileSrc;
    ASSERT_TRUE(fileSrc.Assign(*src));
    ASSERT_EQ(fileSrc.Location(), locTempFile);
    for (size_t i = 0; i < std::size(filters); ++i) {
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(fileSrc, dst, 23, 51, filters[i]));
        EXPECT_EQ(dst.Location(), locTempFile);
        EXPECT_EQ(pixels(dst), inMemory[i]) << int(filters[i]);
    }
    ImagingSettings().TempFileThreshold = saved;
}

TEST(ResampleOperation, UndoCaptionAndNoOpRequest)
{
    TPlainHost host(noisePicture(40, 30));
    TImageProc proc(host);
    std::vector<int> progress;
    host.OnProgress = [&](int p) { progress.push_back(p); };
    proc.Resample(20, -1, rfLanczos3);
    EXPECT_EQ(host.CurrentImage()->Width(), 20);
    EXPECT_EQ(host.CurrentImage()->Height(), 15);
    EXPECT_EQ(proc.UndoCaption(), "Resample 20,-1");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_NE(progress[i], progress[i - 1]);

    proc.Resample(-1, -1, rfLanczos3);
    EXPECT_EQ(host.CurrentImage()->Width(), 20);
    proc.RestoreUndoSnapshot();
    EXPECT_EQ(host.CurrentImage()->Width(), 20);  // the no-op stored the 20 x 15 state
}

TEST(ResampleThreads, OneThreadAndBandsGiveTheSameBytes)
{
    auto src = noisePicture(700, 500);
    std::vector<uint8_t> results[2];
    for (int single = 0; single < 2; ++single) {
        ops::SetSingleThreaded(single == 1);
        TImageBuffer dst;
        ASSERT_TRUE(ops::ResampleInto(*src, dst, 333, 777, rfLanczos3));
        results[single] = pixels(dst);
    }
    ops::SetSingleThreaded(false);
    EXPECT_EQ(results[0], results[1]);
}
