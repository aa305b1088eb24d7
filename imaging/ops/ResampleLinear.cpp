// Fixed-point linear resampling (rfFastLinear) and the 1-bit interpolation.
//
// rfFastLinear, per axis with ratio f = new / old:
//   f > 1   (enlarging)  a + floor((b - a) * frac / 2^17) between the two
//                        source pixels around i / f (17-bit fraction)
//   f <= 1  (same/less)  truncated mean of the source pixels from
//                        trunc(i / f) to trunc(min(i + 1, n - 1) / f)
// Horizontal pass into a work picture (new width x old height), then the
// vertical pass into the target. Integer arithmetic only inside the passes.
#include "imaging/ops/ResampleInternal.h"
#include "imaging/ops/RowCopy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ops::resample {

namespace {

constexpr int FracBits = 17;
constexpr double FracOne = 131072.0;

struct TAxisTable {
    std::vector<int> start;
    std::vector<int> frac;
    std::vector<int> end;  // last source index of the mean (reducing only)
};

// Column table of the horizontal pass; `epsilon` is added before truncating
// the end of a mean (the horizontal pass adds 1e-10, the vertical none).
TAxisTable axisTable(int src, int dst, double ratio, double epsilon)
{
    TAxisTable t;
    t.start.resize(size_t(dst));
    t.frac.resize(size_t(dst));
    t.end.resize(size_t(dst));
    for (int i = 0; i < dst; ++i) {
        const double p = double(i) / ratio;
        const int s = std::clamp(int(p), 0, src - 1);
        t.start[size_t(i)] = s;
        t.frac[size_t(i)] = int((p - double(int(p))) * FracOne);
        const int e = int(double(std::min(i + 1, dst - 1)) / ratio + epsilon);
        t.end[size_t(i)] = std::clamp(e, s, src - 1);
    }
    return t;
}

inline uint8_t lerp17(int a, int b, int frac)
{
    // Arithmetic shift = floor for the negative differences.
    return uint8_t(a + (((b - a) * frac) >> FracBits));
}

void reportValue(const TPercentReport& progress, double value)
{
    if (progress)
        progress(int(value));
}

}  // namespace

void FastLinearResample(TImageBuffer& source, TImageBuffer& target, int channels, const TPercentReport& progress)
{
    const int W = source.Width();
    const int H = source.Height();
    const int w = target.Width();
    const int h = target.Height();
    if (W == 0 || H == 0 || w == 0 || h == 0)
        return;
    const size_t C = size_t(channels);
    const double fx = double(w) / double(W);
    const double fy = double(h) / double(H);
    if (fx == 1.0 && fy == 1.0) {
        for (int y = 0; y < H; ++y)
            std::memcpy(target.RowPointer(y), source.RowPointer(y), size_t(W) * C);
        return;
    }
    const double m = 100.0 / (double(H) + double(h) + 0.5);

    const TAxisTable cols = axisTable(W, w, fx, 1e-10);
    const size_t workRow = size_t(w) * C;
    std::vector<uint8_t> work(workRow * size_t(H));
    for (int y = 0; y < H; ++y) {
        const uint8_t* src = source.RowPointer(y);
        uint8_t* out = work.data() + workRow * size_t(y);
        for (int i = 0; i < w; ++i) {
            const size_t s = size_t(cols.start[size_t(i)]);
            if (fx > 1.0) {
                const size_t b = std::min(s + 1, size_t(W - 1));
                for (size_t c = 0; c < C; ++c)
                    out[size_t(i) * C + c] = lerp17(src[s * C + c], src[b * C + c], cols.frac[size_t(i)]);
            } else {
                const size_t e = size_t(cols.end[size_t(i)]);
                const unsigned n = unsigned(e - s + 1);
                for (size_t c = 0; c < C; ++c) {
                    unsigned sum = 0;
                    for (size_t k = s; k <= e; ++k)
                        sum += src[k * C + c];
                    out[size_t(i) * C + c] = uint8_t(sum / n);
                }
            }
        }
        reportValue(progress, m * (y + 1));
    }

    std::vector<uint32_t> sums(workRow);
    for (int j = 0; j < h; ++j) {
        uint8_t* out = target.RowPointer(j);
        if (fy > 1.0) {
            const double q = double(j) / fy;
            const int r = std::clamp(int(q), 0, H - 1);
            const int g = int((q - double(int(q))) * FracOne);
            const int r1 = r + 1 == H ? r : r + 1;
            const uint8_t* a = work.data() + workRow * size_t(r);
            const uint8_t* b = work.data() + workRow * size_t(r1);
            for (size_t x = 0; x < workRow; ++x)
                out[x] = lerp17(a[x], b[x], g);
        } else {
            const int r0 = std::clamp(int(double(j) / fy), 0, H - 1);
            const int r1 = std::clamp(int(double(std::min(j + 1, h - 1)) / fy), r0, H - 1);
            std::fill(sums.begin(), sums.end(), 0u);
            for (int r = r0; r <= r1; ++r) {
                const uint8_t* in = work.data() + workRow * size_t(r);
                for (size_t x = 0; x < workRow; ++x)
                    sums[x] += in[x];
            }
            const unsigned n = unsigned(r1 - r0 + 1);
            for (size_t x = 0; x < workRow; ++x)
                out[x] = uint8_t(sums[x] / n);
        }
        reportValue(progress, m * (double(H) + j + 1));
    }
}

// 1-bit source, gray result: each bit counts as 0 or 255 and the three
// bytes of a result pixel are equal. When a side keeps or grows its size the
// enlarging arithmetic of rfFastLinear runs along both axes; when both sides
// shrink each result pixel is the truncated mean of the source pixels its
// area covers.
void BitInterpolate(TImageBuffer& source, TImageBuffer& target, const TPercentReport& progress)
{
    const int W = source.Width();
    const int H = source.Height();
    const int w = target.Width();
    const int h = target.Height();
    if (W == 0 || H == 0 || w == 0 || h == 0)
        return;
    const double fx = double(w) / double(W);
    const double fy = double(h) / double(H);

    std::vector<uint8_t> bits(static_cast<size_t>(W));
    auto unpack = [&](int y) {
        const uint8_t* row = source.RowPointer(y);
        for (int x = 0; x < W; ++x)
            bits[size_t(x)] = GetBit(row, x) ? 255 : 0;
    };
    auto put = [&](int j, const uint8_t* gray) {
        uint8_t* out = target.RowPointer(j);
        for (int i = 0; i < w; ++i)
            std::memset(out + size_t(i) * 3, gray[i], 3);
    };
    const double m = 100.0 / (double(H) + double(h) + 0.5);

    if (fx >= 1.0 || fy >= 1.0) {
        const TAxisTable cols = axisTable(W, w, fx, 0.0);
        std::vector<uint8_t> work(size_t(w) * size_t(H));
        for (int y = 0; y < H; ++y) {
            unpack(y);
            uint8_t* out = work.data() + size_t(w) * size_t(y);
            for (int i = 0; i < w; ++i) {
                const int s = cols.start[size_t(i)];
                out[i] = lerp17(bits[size_t(s)], bits[size_t(std::min(s + 1, W - 1))], cols.frac[size_t(i)]);
            }
            reportValue(progress, m * (y + 1));
        }
        std::vector<uint8_t> row(static_cast<size_t>(w));
        for (int j = 0; j < h; ++j) {
            const double q = double(j) / fy;
            const int r = std::clamp(int(q), 0, H - 1);
            const int g = int((q - double(int(q))) * FracOne);
            const uint8_t* a = work.data() + size_t(w) * size_t(r);
            const uint8_t* b = work.data() + size_t(w) * size_t(std::min(r + 1, H - 1));
            for (int i = 0; i < w; ++i)
                row[size_t(i)] = lerp17(a[i], b[i], g);
            put(j, row.data());
            reportValue(progress, m * (double(H) + j + 1));
        }
        return;
    }

    // Both sides shrink: box means.
    std::vector<uint32_t> colSums(static_cast<size_t>(W));
    std::vector<uint8_t> row(static_cast<size_t>(w));
    for (int j = 0; j < h; ++j) {
        const int y0 = int(int64_t(j) * H / h);
        const int y1 = std::max(y0, int(int64_t(j + 1) * H / h) - 1);
        std::fill(colSums.begin(), colSums.end(), 0u);
        for (int y = y0; y <= y1; ++y) {
            unpack(y);
            for (int x = 0; x < W; ++x)
                colSums[size_t(x)] += bits[size_t(x)];
        }
        for (int i = 0; i < w; ++i) {
            const int x0 = int(int64_t(i) * W / w);
            const int x1 = std::max(x0, int(int64_t(i + 1) * W / w) - 1);
            uint64_t sum = 0;
            for (int x = x0; x <= x1; ++x)
                sum += colSums[size_t(x)];
            row[size_t(i)] = uint8_t(sum / (uint64_t(x1 - x0 + 1) * uint64_t(y1 - y0 + 1)));
        }
        put(j, row.data());
        reportValue(progress, (j + 1) * 100.0 / h);
    }
}

}  // namespace ops::resample
