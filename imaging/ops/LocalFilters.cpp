// Local enhancement filters: operations that look at a neighbourhood of
// every pixel.
//
//   WallisFilter       local mean and deviation of the HSL lightness over a
//                      box window; constant work per pixel (sliding sums)
//   AutoImageEnhance3  luminance adaptation with two recursive Gaussian
//                      blurs (cost independent of sigma), then a tone curve
//                      and a saturation step
//
// Both run in the operation frame (snapshot, px24RGB, selection) and write
// their results so that every pixel is computed from unfiltered input; rows
// are split into bands across threads and the bytes do not depend on the
// number of bands (integer sums, row sums added in row order).
#include "imaging/ImageProc.h"
#include "imaging/ops/ColorModels.h"
#include "imaging/ops/RecursiveGaussian.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Work planned for a band loop over `rows` rows of a buffer.
int bandsFor(const TImageBuffer& image, int rows, int64_t bytesPerRow)
{
    return ops::PlanBands(rows, bytesPerRow, ops::RowsShareable(image));
}

// ---- Wallis ---------------------------------------------------------------------

// The picture is extended by this many pixels on every side by repeating
// its border pixels.
constexpr int kWallisBorder = 15;

struct TWallisSetup {
    int WinX = 21, WinY = 21;
    int HalfX = 11, HalfY = 11;
    double Md = 0, Sd = 0, A = 0, B = 0, Limit = 0;
    bool Threshold = false;
};

// max(21, trunc(percent / 100 * base)), held below `cap` (a window larger
// than the extended picture fits nowhere, so holding it there keeps the
// arithmetic in range and changes nothing else).
int wallisWindow(int percent, int64_t base, int cap)
{
    const double w = std::trunc(percent / 100.0 * double(base));
    return int(std::clamp(w, 21.0, double(std::max(cap, 21))));
}

}  // namespace

int TImageProc::WallisWindow(int percent, int width, int height)
{
    return wallisWindow(percent, int64_t(std::min(width, height)) + 29, INT32_MAX);
}

void TImageProc::WallisFilter(int windowWidth, int windowHeight, int mean, int deviation, int gain,
                              int brightness, int limit, bool threshold)
{
    TOperation op = BeginOperation("WallisFilter", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const int w = work.Width();
    const int h = work.Height();
    const int we = w + 2 * kWallisBorder;
    const int he = h + 2 * kWallisBorder;

    TWallisSetup p;
    const int64_t base = int64_t(std::min(w, h)) + 29;
    p.WinX = wallisWindow(windowWidth, base, we);
    p.WinY = wallisWindow(windowHeight, base, he);
    p.HalfX = (p.WinX + 1) / 2;
    p.HalfY = (p.WinY + 1) / 2;
    p.Md = mean / 100.0;
    p.Sd = deviation * 3 / 100.0;
    p.A = gain;
    p.B = brightness / 100.0;
    p.Limit = limit * 6 / 100.0;
    p.Threshold = threshold;

    // Image pixels whose box lies inside the extended picture; the others
    // keep their values.
    auto validRange = [](int size, int win, int half, int& lo, int& hi) {
        lo = std::max(0, half - kWallisBorder);
        hi = std::min(size, size + 2 * kWallisBorder + half - win - kWallisBorder + 1);
    };
    int i0, i1, j0, j1;
    validRange(w, p.WinX, p.HalfX, i0, i1);
    validRange(h, p.WinY, p.HalfY, j0, j1);
    if (i0 >= i1 || j0 >= j1) {
        EndOperation(op);
        return;
    }

    // Lightness as whole steps k = max + min (L = k / 510), one extended row
    // per picture row; rows beyond the picture repeat the border rows.
    std::vector<uint16_t> lightness(size_t(we) * size_t(h));
    const int64_t rgbRow = int64_t(w) * 3;
    ops::RunBands(h, bandsFor(work, h, rgbRow), ops::TRowReport(), [&](int y0, int y1, int, const ops::TRowTick&) {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* src = work.RowPointer(y);
            uint16_t* k = lightness.data() + size_t(y) * size_t(we) + kWallisBorder;
            for (int x = 0; x < w; ++x, src += 3) {
                const int mx = std::max({src[0], src[1], src[2]});
                const int mn = std::min({src[0], src[1], src[2]});
                k[x] = uint16_t(mx + mn);
            }
            std::fill(k - kWallisBorder, k, k[0]);
            std::fill(k + w, k + w + kWallisBorder, k[w - 1]);
        }
    });
    auto extendedRow = [&](int ye) {
        const int y = std::clamp(ye - kWallisBorder, 0, h - 1);
        return lightness.data() + size_t(y) * size_t(we);
    };

    // Results go to a separate buffer, so every box sees unfiltered pixels.
    std::vector<uint8_t> result(size_t(rgbRow) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::memcpy(result.data() + size_t(y) * size_t(rgbRow), work.RowPointer(y), size_t(rgbRow));

    const int64_t n = int64_t(p.WinX) * p.WinY;
    const double invN = 1.0 / (510.0 * double(n));
    const double invN2 = 1.0 / (510.0 * 510.0 * double(n));
    const double gainNumerator = p.A * p.Sd;
    const double meanWeight = 1.0 - p.B;
    const double meanOffset = p.B * p.Md;

    const int rows = j1 - j0;
    const ops::TRowReport report = RowReporter(rows);
    ops::RunBands(rows, bandsFor(work, rows, int64_t(we) * 16), report,
                  [&](int r0, int r1, int, const ops::TRowTick& tick) {
        // Column sums over the box's rows, exact in integers: the sliding
        // never accumulates rounding errors.
        std::vector<int64_t> col1(size_t(we), 0), col2(size_t(we), 0);
        int top = j0 + r0 + kWallisBorder - p.HalfY;
        for (int ye = top; ye < top + p.WinY; ++ye) {
            const uint16_t* k = extendedRow(ye);
            for (int x = 0; x < we; ++x) {
                col1[size_t(x)] += k[x];
                col2[size_t(x)] += int64_t(k[x]) * k[x];
            }
        }
        for (int r = r0; r < r1; ++r) {
            if (r > r0) {
                const uint16_t* out = extendedRow(top);
                const uint16_t* in = extendedRow(top + p.WinY);
                for (int x = 0; x < we; ++x) {
                    col1[size_t(x)] += int64_t(in[x]) - out[x];
                    col2[size_t(x)] += int64_t(in[x]) * in[x] - int64_t(out[x]) * out[x];
                }
                ++top;
            }
            const int y = j0 + r;
            const uint8_t* src = work.RowPointer(y);
            const uint16_t* kRow = lightness.data() + size_t(y) * size_t(we) + kWallisBorder;
            uint8_t* dst = result.data() + size_t(y) * size_t(rgbRow);
            int left = i0 + kWallisBorder - p.HalfX;
            int64_t s1 = 0, s2 = 0;
            for (int x = left; x < left + p.WinX; ++x) {
                s1 += col1[size_t(x)];
                s2 += col2[size_t(x)];
            }
            for (int x = i0; x < i1; ++x) {
                if (x > i0) {
                    s1 += col1[size_t(left + p.WinX)] - col1[size_t(left)];
                    s2 += col2[size_t(left + p.WinX)] - col2[size_t(left)];
                    ++left;
                }
                const double m = double(s1) * invN;
                const double variance = double(s2) * invN2 - m * m;
                const double s = std::min(std::sqrt(variance + 1.0), p.Limit);
                double ratio = gainNumerator / (p.A * s + p.Sd + 0.00001);
                if (!std::isfinite(ratio))
                    ratio = 0.0;
                const double l = kRow[x] / 510.0;
                const double target = meanWeight * m + meanOffset;
                const double l2 = std::clamp((l - m) * ratio + target, 0.0, 1.0);
                uint8_t* px = dst + size_t(x) * 3;
                if (p.Threshold) {
                    px[0] = px[1] = px[2] = l2 > 0.5 ? 255 : 0;
                } else {
                    const uint8_t* s0 = src + size_t(x) * 3;
                    const ops::THsl hsl = ops::RgbToHsl(s0[2], s0[1], s0[0]);
                    ops::HslToBgr(hsl.H, hsl.S, l2, px);
                }
            }
            tick();
        }
    });
    for (int y = 0; y < h; ++y)
        std::memcpy(work.RowPointer(y), result.data() + size_t(y) * size_t(rgbRow), size_t(rgbRow));
    EndOperation(op);
}

// ---- Luminance adaptation ------------------------------------------------------

namespace {

// Black margin added along the left side and the bottom while the blurs run.
constexpr int kEnhanceMargin = 8;

// Power curve table: round(255 * (i / 255) ^ exponent), held to 0..255.
std::array<int, 256> powerTable(double exponent)
{
    std::array<int, 256> t{};
    for (int i = 0; i < 256; ++i) {
        const double v = ops::RoundHalfEven(255.0 * std::pow(i / 255.0, exponent));
        t[size_t(i)] = std::isfinite(v) ? int(std::clamp(v, 0.0, 255.0)) : 0;
    }
    return t;
}

// trunc(0.299 R + 0.587 G + 0.114 B); the sum is never negative and at
// most a hair above 255.
inline int luminance(const uint8_t* bgr)
{
    const double y = 0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0];
    return std::min(int(y), 255);
}

// RoundHalfEven for the saturation step, without branches on the data and
// with an integer parity test instead of fmod (values lie well inside the
// int range).
inline double roundHalfEven(double v)
{
    const double f = std::floor(v);
    const double diff = v - f;
    const bool up = diff > 0.5 || (diff == 0.5 && (int64_t(f) & 1) != 0);
    return f + double(up);
}

// A real value truncated into 0..255 (NaN gives 0: max and min return
// their first argument when the comparison fails).
inline int truncByte(double v)
{
    return int(std::min(255.0, std::max(0.0, v)));
}

// L * (B + 1) / (L + B); 0 where that is not defined.
inline float adapt(float l, float b, bool positiveOnly)
{
    const double d = double(l) + double(b);
    if (positiveOnly ? !(d > 0.0) : d == 0.0)
        return 0.0f;
    return float(double(l) * (double(b) + 1.0) / d);
}

}  // namespace

void TImageProc::AutoImageEnhance3(int saturation, double exponentBase)
{
    TOperation op = BeginOperation("AutoImageEnhance3", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const int w = work.Width();
    const int h = work.Height();
    const int we = w + kEnhanceMargin;
    const int he = h + kEnhanceMargin;
    const size_t planeSize = size_t(we) * size_t(he);
    const double cells = double(we - 1) * double(he - 1);
    const int stages = 11;
    int stage = 0;
    auto stageDone = [&] { Progress(++stage * 9); };

    const int bands = bandsFor(work, h, int64_t(we) * 8);
    auto eachPictureRow = [&](auto&& fn) {
        ops::RunBands(h, bands, ops::TRowReport(), [&](int y0, int y1, int, const ops::TRowTick&) {
            for (int y = y0; y < y1; ++y)
                fn(y);
        });
    };

    // Luminance of the enlarged picture: the picture at the top right, the
    // margin black.
    std::vector<float> plane0(planeSize, 0.0f);
    std::vector<int64_t> rowSums(size_t(h), 0);
    eachPictureRow([&](int y) {
        const uint8_t* src = work.RowPointer(y);
        float* l = plane0.data() + size_t(y) * size_t(we) + kEnhanceMargin;
        int64_t sum = 0;
        for (int x = 0; x < w; ++x, src += 3) {
            const int yv = luminance(src);
            l[x] = float(yv) / 255.0f;
            sum += yv;
        }
        rowSums[size_t(y)] = sum;
    });
    int64_t sumY = 0;
    for (int64_t s : rowSums)
        sumY += s;
    // A 1-pixel-wide or -high enlargement cannot happen (the margin is 8).
    const double m0 = 0.5 * (double(sumY) / 255.0) / cells;
    stageDone();

    // B1 = G3(L) + m0, then L1 = L (B1 + 1) / (L + B1) in place of B1.
    std::vector<float> plane1(plane0);
    const ops::TRecursiveGaussian gauss3(3.0);
    const ops::TRecursiveGaussian gauss15(1.5);
    gauss3.BlurPlane(plane1.data(), we, he, float(m0));
    stageDone();
    stageDone();
    std::vector<double> l1Sums(size_t(he), 0.0);
    ops::RunBands(he, bands, ops::TRowReport(), [&](int y0, int y1, int, const ops::TRowTick&) {
        for (int y = y0; y < y1; ++y) {
            const float* l = plane0.data() + size_t(y) * size_t(we);
            float* b = plane1.data() + size_t(y) * size_t(we);
            double sum = 0.0;
            for (int x = 0; x < we; ++x) {
                b[x] = adapt(l[x], b[x], true);
                sum += b[x];
            }
            l1Sums[size_t(y)] = sum;
        }
    });
    double sumL1 = 0.0;
    for (double s : l1Sums)
        sumL1 += s;
    const double m1 = 0.5 * sumL1 / cells;
    stageDone();

    // B2 = G1.5(L1) + m1 in plane0.
    std::copy(plane1.begin(), plane1.end(), plane0.begin());
    gauss15.BlurPlane(plane0.data(), we, he, float(m1));
    stageDone();
    stageDone();

    // Tone curve through L2 = L1 (B2 + 1) / (L1 + B2), then saturation.
    std::array<int, 256> ta = powerTable(1.0 / 2.2);
    ta[0] = 1;  // never divide by 0 below
    const std::array<int, 256> tb = powerTable(1.0 / exponentBase);
    const double f = saturation / 100.0;
    stageDone();
    eachPictureRow([&](int y) {
        uint8_t* px = work.RowPointer(y);
        const float* l1 = plane1.data() + size_t(y) * size_t(we) + kEnhanceMargin;
        const float* b2 = plane0.data() + size_t(y) * size_t(we) + kEnhanceMargin;
        for (int x = 0; x < w; ++x, px += 3) {
            const float l2 = adapt(l1[x], b2[x], false);
            // The luminance step's Y itself: L * 255 in single precision can
            // fall just below it.
            const double k = double(l2) * 255.0 / ta[size_t(luminance(px))];
            int c[3];
            for (int i = 0; i < 3; ++i)
                c[i] = tb[size_t(truncByte(ta[px[i]] * k))];
            const double yv = 0.3 * c[2] + 0.59 * c[1] + 0.11 * c[0];
            for (int i = 0; i < 3; ++i) {
                const double v = roundHalfEven(yv + f * (c[i] - yv));
                px[i] = uint8_t(std::min(255.0, std::max(0.0, v)));
            }
        }
    });
    while (stage < stages - 1)
        stageDone();
    EndOperation(op);
}
