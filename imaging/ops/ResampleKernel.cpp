// Two-pass kernel resampler: rfTriangle, rfLinear, rfBell, rfBSpline, rfLanczos3.
//
//   source W x H --horizontal pass--> work w x H --vertical pass--> target w x h
//
// Each destination column (then row) has a contribution list of source
// indices and integer weights (the kernel scaled by 256 and rounded), built
// once; the passes are integer multiply-adds only. Indices beyond an edge
// are mirrored back into the picture. Not in place: the target is a
// separate buffer of the new size, allocated by the caller.
#include "imaging/ops/ResampleInternal.h"
#include "imaging/ops/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ops::resample {

namespace {

constexpr double Pi = 3.14159265358979323846;

double sinc(double t)
{
    if (t == 0.0)
        return 1.0;
    t *= Pi;
    return std::sin(t) / t;
}

// Contribution lists of all destination indices of one axis, flat.
struct TContributions {
    std::vector<int> first;   // per destination index: start in index/weight
    std::vector<int> count;   // per destination index: number of pairs
    std::vector<int> sum;     // per destination index: sum of its weights
    std::vector<int> index;   // source indices
    std::vector<int> weight;  // weights (kernel * 256, rounded)
};

// Lists for `dst` destination indices over `src` source indices.
TContributions buildContributions(int src, int dst, TResampleFilter filter)
{
    const double support = KernelSupport(filter);
    const double scale = (src == 1 || dst == 1) ? double(dst) / double(src) : double(dst - 1) / double(src - 1);
    const bool enlarging = scale >= 1.0;
    const double width = enlarging ? support : support / scale;
    const double f = 1.0 / scale;

    TContributions c;
    c.first.resize(size_t(dst));
    c.count.resize(size_t(dst));
    c.sum.resize(size_t(dst));
    c.index.reserve(size_t(dst) * size_t(2 * width + 2));
    c.weight.reserve(c.index.capacity());
    for (int i = 0; i < dst; ++i) {
        const double center = double(i) / scale;
        const int lo = int(std::floor(center - width));
        const int hi = int(std::ceil(center + width));
        c.first[size_t(i)] = int(c.index.size());
        int n = 0;
        int s = 0;
        for (int j = lo; j <= hi; ++j) {
            const double k = enlarging ? KernelValue(filter, center - j) : KernelValue(filter, (center - j) / f) / f;
            // Rounding to nearest with ties to even (the default FP mode).
            const int w = int(std::nearbyint(256.0 * k));
            if (w == 0)
                continue;
            int at = j;
            if (at < 0)
                at = -at;
            else if (at >= src)
                at = 2 * src - 1 - at;
            at = std::clamp(at, 0, src - 1);
            c.index.push_back(at);
            c.weight.push_back(w);
            s += w;
            ++n;
        }
        c.count[size_t(i)] = n;
        c.sum[size_t(i)] = s;
    }
    return c;
}

// T div S truncating toward zero; with S = 0, T taken unsigned and shifted
// right by 8. Held within 0..255 either way.
inline uint8_t finish(int32_t t, int32_t s)
{
    int64_t v = s != 0 ? int64_t(t / s) : int64_t(uint32_t(t) >> 8);
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}


// One row of the horizontal pass: every destination pixel from its list.
void horizontalRow(const uint8_t* src, uint8_t* out, int w, int C, const TContributions& cols)
{
    for (int i = 0; i < w; ++i) {
        const int* idx = cols.index.data() + cols.first[size_t(i)];
        const int* wt = cols.weight.data() + cols.first[size_t(i)];
        const int n = cols.count[size_t(i)];
        const int s = cols.sum[size_t(i)];
        if (C == 3) {
            int32_t t0 = 0, t1 = 0, t2 = 0;
            for (int k = 0; k < n; ++k) {
                const uint8_t* p = src + size_t(idx[k]) * 3;
                t0 += wt[k] * int32_t(p[0]);
                t1 += wt[k] * int32_t(p[1]);
                t2 += wt[k] * int32_t(p[2]);
            }
            out[size_t(i) * 3] = finish(t0, s);
            out[size_t(i) * 3 + 1] = finish(t1, s);
            out[size_t(i) * 3 + 2] = finish(t2, s);
        } else {
            int32_t t = 0;
            for (int k = 0; k < n; ++k)
                t += wt[k] * int32_t(src[idx[k]]);
            out[i] = finish(t, s);
        }
    }
}

}  // namespace

bool IsKernelFilter(TResampleFilter filter)
{
    return filter == rfTriangle || filter == rfLinear || filter == rfBell || filter == rfBSpline ||
           filter == rfLanczos3;
}

double KernelSupport(TResampleFilter filter)
{
    switch (filter) {
    case rfBell:
        return 1.5;
    case rfBSpline:
        return 2.0;
    case rfLanczos3:
        return 3.0;
    default:
        return 1.0;
    }
}

double KernelValue(TResampleFilter filter, double x)
{
    const double ax = std::fabs(x);
    switch (filter) {
    case rfTriangle:
        return ax < 1.0 ? 1.0 - ax : 0.0;
    case rfLinear:
        return (x >= -1.0 && x < 1.0) ? 1.0 - ax : 0.0;
    case rfBell:
        if (ax < 0.5)
            return 0.75 - x * x;
        if (ax < 1.5)
            return 0.5 * (ax - 1.5) * (ax - 1.5);
        return 0.0;
    case rfBSpline:
        if (ax < 1.0)
            return 0.5 * ax * ax * ax - x * x + 2.0 / 3.0;
        if (ax < 2.0)
            return (2.0 - ax) * (2.0 - ax) * (2.0 - ax) / 6.0;
        return 0.0;
    case rfLanczos3:
        return ax < 3.0 ? sinc(x) * sinc(x / 3.0) : 0.0;
    default:
        return 0.0;
    }
}

void KernelResample(TImageBuffer& source, TImageBuffer& target, int channels, TResampleFilter filter,
                    const TPercentReport& progress)
{
    const int W = source.Width();
    const int H = source.Height();
    const int w = target.Width();
    const int h = target.Height();
    if (W == 0 || H == 0 || (W < 2 && H < 2) || w == 0 || h == 0)
        return;
    const int C = channels;
    const double m = 100.0 / (double(w) + double(H) + 0.5);
    auto report = [&](double value) {
        if (progress)
            progress(int(value));
    };

    // Horizontal pass into the work picture. Rows are independent, so they
    // are split into bands across threads; the bytes are the same either way.
    const TContributions cols = buildContributions(W, w, filter);
    const size_t workRow = size_t(w) * size_t(C);
    std::vector<uint8_t> work(workRow * size_t(H));
    const TRowReport horizontalReport = [&](int row) { report((row + 1) * m); };
    RunBands(H, PlanBands(H, int64_t(workRow) * 8, RowsShareable(source)), horizontalReport,
             [&](int y0, int y1, int, const TRowTick& tick) {
                 for (int y = y0; y < y1; ++y) {
                     horizontalRow(source.RowPointer(y), work.data() + workRow * size_t(y), w, C, cols);
                     tick();
                 }
             });

    // Vertical pass: the same arithmetic down the work picture's columns,
    // done a destination row at a time so the inner loop runs along a row.
    const TContributions rows = buildContributions(H, h, filter);
    const TRowReport verticalReport = [&](int j) { report(m * (double(H) + double(int64_t(j + 1) * w / h))); };
    RunBands(h, PlanBands(h, int64_t(workRow) * 8, RowsShareable(target)), verticalReport,
             [&](int j0, int j1, int, const TRowTick& tick) {
                 std::vector<int32_t> acc(workRow);
                 for (int j = j0; j < j1; ++j) {
                     std::fill(acc.begin(), acc.end(), 0);
                     const int n = rows.count[size_t(j)];
                     const int s = rows.sum[size_t(j)];
                     const int first = rows.first[size_t(j)];
                     for (int k = 0; k < n; ++k) {
                         const int32_t wt = rows.weight[size_t(first + k)];
                         const uint8_t* in = work.data() + workRow * size_t(rows.index[size_t(first + k)]);
                         for (size_t x = 0; x < workRow; ++x)
                             acc[x] += wt * int32_t(in[x]);
                     }
                     uint8_t* out = target.RowPointer(j);
                     for (size_t x = 0; x < workRow; ++x)
                         out[x] = finish(acc[x], s);
                     tick();
                 }
             });
}

}  // namespace ops::resample
