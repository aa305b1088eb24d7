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
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>

// The colour step's table lookups as AVX2 gathers, chosen at run time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(TESSARON_NO_VECTOR_CLONES)
#define TESSARON_AVX2_GATHERS
#include <immintrin.h>
#endif

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

    // Every box sees unfiltered values: the statistics come from the
    // lightness plane, made before any pixel changes, and each pixel is
    // rewritten from its own bytes only. So the results can go straight
    // into the picture, without a second picture-sized buffer.

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
            uint8_t* row = work.RowPointer(y);
            const uint16_t* kRow = lightness.data() + size_t(y) * size_t(we) + kWallisBorder;
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
                uint8_t* px = row + size_t(x) * 3;
                if (p.Threshold) {
                    px[0] = px[1] = px[2] = l2 > 0.5 ? 255 : 0;
                } else {
                    const ops::THsl hsl = ops::RgbToHsl(px[2], px[1], px[0]);
                    ops::HslToBgr(hsl.H, hsl.S, l2, px);
                }
            }
            tick();
        }
    });
    EndOperation(op);
}

// ---- Luminance adaptation ------------------------------------------------------
//
// Working planes (single precision, the enlarged size): `lum` holds L and
// then L1, `blur` holds B1 and then B2. L is not kept past adaptation 1: the
// colour step takes each pixel's luminance from its bytes again. Every step
// runs over whole rows in loops the compiler vectorises; each value is
// computed by the same operations in the same order as one plain loop per
// step would, so the bytes do not depend on the vector width or the bands.

namespace {

// Black margin added along the left side and the bottom while the blurs run.
constexpr int kEnhanceMargin = 8;

// A working plane of `count` floats, left unset. It is asked for on huge
// pages where the system offers them: a 12-megapixel plane would otherwise
// take some 12,000 page faults, which cost about as much as a blur pass.
struct TFreePlane {
    void operator()(float* p) const { std::free(p); }
};
using TPlane = std::unique_ptr<float[], TFreePlane>;

TPlane allocatePlane(size_t count)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    if (count > (SIZE_MAX - kHugePage) / sizeof(float))
        throw std::bad_alloc();
    const size_t bytes = (count * sizeof(float) + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, bytes);
    if (!p)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);  // only advice: without it the plane just has small pages
#endif
    return TPlane(static_cast<float*>(p));
}

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
inline int luminance(int b, int g, int r)
{
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    return std::min(int(y), 255);
}

// A real value truncated into 0..255 (NaN gives 0: max and min return
// their first argument when the comparison fails).
inline int truncByte(double v)
{
    return int(std::min(255.0, std::max(0.0, v)));
}

// Round half to even, held to 0..255. Adding and taking away 1.5 * 2^52
// rounds to the nearest integer, ties to even, for any |v| below 2^51; the
// saturation step stays far inside that (|f| < 2.2e7, |c - Y'| <= 255).
inline uint8_t roundedByte(double v)
{
    constexpr double kRound = 6755399441055744.0;
    const double r = (v + kRound) - kRound;
    return uint8_t(std::min(255.0, std::max(0.0, r)));
}

// L * (B + 1) / (L + B); 0 where that is not defined (PositiveOnly: where
// L + B is not above 0, else where it is 0). Where the result is 0 the
// quotient is taken over 1 instead, so the loops need no branch.
template <bool PositiveOnly>
inline float adapt(float l, float b)
{
    const double d = double(l) + double(b);
    const bool undefined = PositiveOnly ? !(d > 0.0) : d == 0.0;
    const float q = float(double(l) * (double(b) + 1.0) / (undefined ? 1.0 : d));
    return undefined ? 0.0f : q;
}

// Four lanes; where the machine has narrower vectors the compiler splits
// them. Every lane goes through the same operations as the scalar code.
// Vectors of 32 bytes are passed by reference only: by value their calling
// convention would differ between the AVX and the baseline build.
using TDouble4 = double __attribute__((vector_size(32)));
using TLong4 = int64_t __attribute__((vector_size(32)));
using TFloat4 = float __attribute__((vector_size(16)));
using TInt4 = int32_t __attribute__((vector_size(16)));

inline TFloat4 loadFloat4(const float* p)
{
    TFloat4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// std::min(255.0, std::max(0.0, v)) lane by lane, NaN included, as integers.
inline TInt4 clampByte4(const TDouble4& v)
{
    const TDouble4 zero = {0.0, 0.0, 0.0, 0.0}, top = {255.0, 255.0, 255.0, 255.0};
    const TDouble4 low = zero < v ? v : zero;
    return __builtin_convertvector(low < top ? low : top, TInt4);
}

// `adapt` on four lanes.
template <bool PositiveOnly>
inline TFloat4 adapt4(TFloat4 l, TFloat4 b)
{
    const TDouble4 ld = __builtin_convertvector(l, TDouble4);
    const TDouble4 bd = __builtin_convertvector(b, TDouble4);
    const TDouble4 d = ld + bd;
    const TDouble4 zero = {0.0, 0.0, 0.0, 0.0}, one = {1.0, 1.0, 1.0, 1.0};
    const TLong4 undefined = PositiveOnly ? ~(d > zero) : d == zero;
    const TFloat4 q = __builtin_convertvector(ld * (bd + 1.0) / (undefined ? one : d), TFloat4);
    const TFloat4 none = {0.0f, 0.0f, 0.0f, 0.0f};
    return __builtin_convertvector(undefined, TInt4) ? none : q;
}

// l[x] = Y / 255 for one picture row; returns the sum of Y.
TESSARON_VECTOR_CLONES
int64_t luminanceRow(const uint8_t* __restrict bgr, float* __restrict l, int w)
{
    int64_t sum = 0;
    for (int x = 0; x < w; ++x) {
        const int y = luminance(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]);
        l[x] = float(y) / 255.0f;
        sum += y;
    }
    return sum;
}

// Adaptation 1 over one row, in place of L.
TESSARON_VECTOR_CLONES
void adaptRow(float* __restrict l, const float* __restrict b, int n)
{
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const TFloat4 r = adapt4<true>(loadFloat4(l + x), loadFloat4(b + x));
        std::memcpy(l + x, &r, sizeof r);
    }
    for (; x < n; ++x)
        l[x] = adapt<true>(l[x], b[x]);
}

// The sum of each of `rows` rows of `n` floats, every row added from its
// first value to its last; four rows run side by side so that the additions
// do not wait for each other.
void sumRows(const float* data, int n, int rows, double* sums)
{
    int r = 0;
    for (; r + 4 <= rows; r += 4) {
        const float* d0 = data + std::ptrdiff_t(r) * n;
        const float* d1 = d0 + n;
        const float* d2 = d1 + n;
        const float* d3 = d2 + n;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (int x = 0; x < n; ++x) {
            s0 += d0[x];
            s1 += d1[x];
            s2 += d2[x];
            s3 += d3[x];
        }
        sums[r] = s0;
        sums[r + 1] = s1;
        sums[r + 2] = s2;
        sums[r + 3] = s3;
    }
    for (; r < rows; ++r) {
        const float* d = data + std::ptrdiff_t(r) * n;
        double s = 0.0;
        for (int x = 0; x < n; ++x)
            s += d[x];
        sums[r] = s;
    }
}

struct TToneCurve {
    double TA[256];  // round(255 (i / 255) ^ (1 / 2.2)), TA[0] = 1
    double TB[256];  // round(255 (i / 255) ^ (1 / X))
    double F;        // saturation factor
};

// Tone curve through L2 = L1 (B2 + 1) / (L1 + B2), then saturation, over
// one picture row in place.
TESSARON_VECTOR_CLONES
void colourRow(uint8_t* __restrict px, const float* __restrict l1, const float* __restrict b2, int w,
               const TToneCurve& t)
{
    const double f = t.F;
    int x = 0;
    for (; x + 4 <= w; x += 4) {
        uint8_t* p = px + 3 * x;
        const TInt4 c0 = {p[0], p[3], p[6], p[9]};
        const TInt4 c1 = {p[1], p[4], p[7], p[10]};
        const TInt4 c2 = {p[2], p[5], p[8], p[11]};
        const TFloat4 l2 = adapt4<false>(loadFloat4(l1 + x), loadFloat4(b2 + x));
        const TDouble4 r = __builtin_convertvector(c2, TDouble4);
        const TDouble4 g = __builtin_convertvector(c1, TDouble4);
        const TDouble4 b = __builtin_convertvector(c0, TDouble4);
        const TDouble4 yd = 0.299 * r + 0.587 * g + 0.114 * b;
        TInt4 y = __builtin_convertvector(yd, TInt4);
        y = y < 255 ? y : 255;
        const TDouble4 ty = {t.TA[y[0]], t.TA[y[1]], t.TA[y[2]], t.TA[y[3]]};
        const TDouble4 k = __builtin_convertvector(l2, TDouble4) * 255.0 / ty;
        auto tone = [&](const TInt4& c, TDouble4& n) {
            const TDouble4 a = {t.TA[c[0]], t.TA[c[1]], t.TA[c[2]], t.TA[c[3]]};
            const TInt4 i = clampByte4(a * k);
            n = TDouble4{t.TB[i[0]], t.TB[i[1]], t.TB[i[2]], t.TB[i[3]]};
        };
        TDouble4 n0, n1, n2;
        tone(c0, n0);
        tone(c1, n1);
        tone(c2, n2);
        const TDouble4 yv = 0.3 * n2 + 0.59 * n1 + 0.11 * n0;
        constexpr double kRound = 6755399441055744.0;
        auto store = [&](const TDouble4& n, int channel) {
            const TDouble4 v = yv + f * (n - yv);
            const TInt4 o = clampByte4((v + kRound) - kRound);
            for (int i = 0; i < 4; ++i)
                p[3 * i + channel] = uint8_t(o[i]);
        };
        store(n0, 0);
        store(n1, 1);
        store(n2, 2);
    }
    for (; x < w; ++x) {
        uint8_t* p = px + 3 * x;
        const int c0 = p[0], c1 = p[1], c2 = p[2];
        const float l2 = adapt<false>(l1[x], b2[x]);
        // The luminance step's Y itself: L * 255 in single precision can
        // fall just below it.
        const double k = double(l2) * 255.0 / t.TA[luminance(c0, c1, c2)];
        const double n0 = t.TB[truncByte(t.TA[c0] * k)];
        const double n1 = t.TB[truncByte(t.TA[c1] * k)];
        const double n2 = t.TB[truncByte(t.TA[c2] * k)];
        const double yv = 0.3 * n2 + 0.59 * n1 + 0.11 * n0;
        p[0] = roundedByte(yv + f * (n0 - yv));
        p[1] = roundedByte(yv + f * (n1 - yv));
        p[2] = roundedByte(yv + f * (n2 - yv));
    }
}

#ifdef TESSARON_AVX2_GATHERS
#define TESSARON_AVX2 __attribute__((target("avx2")))

// std::min(255.0, std::max(0.0, v)): maxpd and minpd return their second
// operand when the comparison fails, NaN included.
TESSARON_AVX2 inline __m256d clampByteAvx2(__m256d v)
{
    return _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
}

// Bytes c, c + 3, c + 6, c + 9 of 16 as four 32-bit lanes.
TESSARON_AVX2 inline __m128i channelOf(__m128i bytes, char c)
{
    const char z = -1;
    const __m128i pick = _mm_setr_epi8(c, z, z, z, char(c + 3), z, z, z, char(c + 6), z, z, z, char(c + 9), z, z, z);
    return _mm_shuffle_epi8(bytes, pick);
}

// (a x + b y) + c z
TESSARON_AVX2 inline __m256d weighted(double a, __m256d x, double b, __m256d y, double c, __m256d z)
{
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(a), x), _mm256_mul_pd(_mm256_set1_pd(b), y)),
                         _mm256_mul_pd(_mm256_set1_pd(c), z));
}

// table[i] for four indices (the masked form: the plain one trips a false
// uninitialised-value warning in GCC 12's header).
TESSARON_AVX2 inline __m256d gather(const double* table, __m128i i)
{
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, i, all, 8);
}

// TB[trunc(TA[c] k)] with the index held to 0..255.
TESSARON_AVX2 inline __m256d toneAvx2(__m128i c, __m256d k, const TToneCurve& t)
{
    const __m256d a = _mm256_mul_pd(gather(t.TA, c), k);
    return gather(t.TB, _mm256_cvttpd_epi32(clampByteAvx2(a)));
}

// round(Y' + f (n - Y')) held to 0..255.
TESSARON_AVX2 inline __m128i saturateAvx2(__m256d n, __m256d yv, __m256d f)
{
    const __m256d round = _mm256_set1_pd(6755399441055744.0);
    const __m256d v = _mm256_add_pd(yv, _mm256_mul_pd(f, _mm256_sub_pd(n, yv)));
    return _mm256_cvttpd_epi32(clampByteAvx2(_mm256_sub_pd(_mm256_add_pd(v, round), round)));
}

// colourRow with AVX2 gathers for the table lookups, four pixels a step, the
// same operations in the same order (there is no fused multiply-add in
// AVX2). Returns how many pixels it did; colourRow does the rest. It stops
// where a 16-byte load would pass the end of the row.
TESSARON_AVX2 int colourPixelsAvx2(uint8_t* px, const float* l1, const float* b2, int w, const TToneCurve& t)
{
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), f = _mm256_set1_pd(t.F);
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= w; x += 4) {
        uint8_t* p = px + 3 * x;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i c0 = channelOf(bytes, 0), c1 = channelOf(bytes, 1), c2 = channelOf(bytes, 2);

        // L2 = L1 (B2 + 1) / (L1 + B2), 0 where L1 + B2 is 0.
        const __m256d l = _mm256_cvtps_pd(_mm_loadu_ps(l1 + x));
        const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(b2 + x));
        const __m256d d = _mm256_add_pd(l, b);
        const __m256d undefined = _mm256_cmp_pd(d, zero, _CMP_EQ_OQ);
        const __m256d q = _mm256_div_pd(_mm256_mul_pd(l, _mm256_add_pd(b, one)), _mm256_blendv_pd(d, one, undefined));
        const __m256d l2 = _mm256_andnot_pd(undefined, _mm256_cvtps_pd(_mm256_cvtpd_ps(q)));

        const __m256d yd = weighted(0.299, _mm256_cvtepi32_pd(c2), 0.587, _mm256_cvtepi32_pd(c1), 0.114,
                                    _mm256_cvtepi32_pd(c0));
        const __m128i y = _mm_min_epi32(_mm256_cvttpd_epi32(yd), _mm_set1_epi32(255));
        const __m256d k = _mm256_div_pd(_mm256_mul_pd(l2, _mm256_set1_pd(255.0)), gather(t.TA, y));
        const __m256d n0 = toneAvx2(c0, k, t), n1 = toneAvx2(c1, k, t), n2 = toneAvx2(c2, k, t);
        const __m256d yv = weighted(0.3, n2, 0.59, n1, 0.11, n0);
        const __m128i o1 = _mm_slli_epi32(saturateAvx2(n1, yv, f), 8);
        const __m128i o2 = _mm_slli_epi32(saturateAvx2(n2, yv, f), 16);
        const __m128i out = _mm_or_si128(_mm_or_si128(saturateAvx2(n0, yv, f), o1), o2);
        const __m128i packed = _mm_shuffle_epi8(out, pack);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
        const int last = _mm_extract_epi32(packed, 2);
        std::memcpy(p + 8, &last, 4);
    }
    return x;
}
#endif

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
    auto eachRow = [&](int rows, auto&& fn) {
        ops::RunBands(rows, bands, ops::TRowReport(), [&](int y0, int y1, int, const ops::TRowTick&) { fn(y0, y1); });
    };
    auto planeRow = [&](const TPlane& plane, int y) { return plane.get() + size_t(y) * size_t(we); };

    // Luminance of the enlarged picture: the picture at the top right, the
    // margin black. Both planes are written in full before they are read.
    const TPlane lum = allocatePlane(planeSize);
    const TPlane blur = allocatePlane(planeSize);
    std::vector<int64_t> rowSums(size_t(h), 0);
    eachRow(h, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            float* l = planeRow(lum, y);
            std::fill(l, l + kEnhanceMargin, 0.0f);
            rowSums[size_t(y)] = luminanceRow(work.RowPointer(y), l + kEnhanceMargin, w);
        }
    });
    std::fill(planeRow(lum, h), planeRow(lum, he), 0.0f);
    int64_t sumY = 0;
    for (int64_t s : rowSums)
        sumY += s;
    // A 1-pixel-wide or -high enlargement cannot happen (the margin is 8).
    const double m0 = 0.5 * (double(sumY) / 255.0) / cells;
    stageDone();

    // B1 = G3(L) + m0, then L1 = L (B1 + 1) / (L + B1) in place of L.
    ops::TRecursiveGaussian(3.0).BlurPlane(lum.get(), blur.get(), we, he, float(m0));
    stageDone();
    stageDone();
    std::vector<double> l1Sums(size_t(he), 0.0);
    eachRow(he, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            adaptRow(planeRow(lum, y), planeRow(blur, y), we);
        sumRows(planeRow(lum, y0), we, y1 - y0, l1Sums.data() + y0);
    });
    double sumL1 = 0.0;
    for (double s : l1Sums)
        sumL1 += s;
    const double m1 = 0.5 * sumL1 / cells;
    stageDone();

    // B2 = G1.5(L1) + m1.
    ops::TRecursiveGaussian(1.5).BlurPlane(lum.get(), blur.get(), we, he, float(m1));
    stageDone();
    stageDone();

    TToneCurve curve{};
    std::array<int, 256> ta = powerTable(1.0 / 2.2);
    ta[0] = 1;  // never divide by 0 below
    const std::array<int, 256> tb = powerTable(1.0 / exponentBase);
    for (size_t i = 0; i < 256; ++i) {
        curve.TA[i] = ta[i];
        curve.TB[i] = tb[i];
    }
    curve.F = saturation / 100.0;
    stageDone();
#ifdef TESSARON_AVX2_GATHERS
    const bool gathers = __builtin_cpu_supports("avx2");
#else
    const bool gathers = false;
#endif
    eachRow(h, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* px = work.RowPointer(y);
            const float* l1 = planeRow(lum, y) + kEnhanceMargin;
            const float* b2 = planeRow(blur, y) + kEnhanceMargin;
            int done = 0;
#ifdef TESSARON_AVX2_GATHERS
            if (gathers)
                done = colourPixelsAvx2(px, l1, b2, w, curve);
#endif
            colourRow(px + 3 * done, l1 + done, b2 + done, w - done, curve);
        }
    });
    (void)gathers;
    while (stage < stages - 1)
        stageDone();
    EndOperation(op);
}
