// Area walk (rfBilinear, rfBicubic): every destination pixel is the
// area-weighted sum of the picture values over the part of the source it
// covers, divided by its area.
//
//   x:  0        1        2        3      source borders (integers)
//       |--------|--------|--------|
//       |------------|------------|       destination borders (multiples of gx)
//       [ s0    ][ s1][ s2  ][ s3 ]       segments, cut at both kinds of border
//
// Each segment's value is the picture value at its far end: the next source
// pixel when it ends on a source border, the value interpolated at the
// border's position when it ends on a destination border. Along an axis that
// shrinks (gx >= 1) nothing is interpolated and a segment takes the value of
// the source pixel it lies in. Cubic interpolation uses the convolution
// kernel with a = -1; with cubic on both axes the row values along x are
// truncated before the interpolation along y.
//
// Rows are read through a window of a few x-interpolated source rows that
// slides down; one row of double accumulators holds the destination row.
#include "imaging/ops/ResampleInternal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ops::resample {

namespace {

constexpr double BorderTolerance = 1e-4;
constexpr double TruncMargin = 1e-7;

struct TSegment {
    double len;
    int dest;       // destination index the segment belongs to
    bool endsDest;  // ends on a destination border
    int inside;     // the source pixel the segment lies in
    int k;          // interpolation position: pixel k plus fraction t
    double t;
};

std::vector<TSegment> walkAxis(int src, int dst, double g)
{
    std::vector<TSegment> segs;
    segs.reserve(size_t(src) + size_t(dst) + 2);
    double pos = 0.0;
    int sb = 1;  // next source border
    int d = 0;
    while (d < dst) {
        const double db = d == dst - 1 ? double(src) : double(d + 1) * g;
        if (double(sb) < db - BorderTolerance) {
            segs.push_back({double(sb) - pos, d, false, sb - 1, sb - 1, 1.0});
            pos = double(sb);
            ++sb;
        } else {
            const int inside = std::clamp(int(std::floor(pos)), 0, src - 1);
            int k = int(std::floor(db));
            double t = db - double(k);
            if (k >= src) {
                k = src - 1;
                t = 1.0;
            }
            segs.push_back({db - pos, d, true, inside, k, t});
            pos = db;
            ++d;
            while (double(sb) <= pos)
                ++sb;
        }
    }
    return segs;
}

inline double cubicWeight(double d)
{
    d = std::fabs(d);
    if (d < 1.0)
        return d * d * d - 2.0 * d * d + 1.0;
    if (d < 2.0)
        return -d * d * d + 5.0 * d * d - 8.0 * d + 4.0;
    return 0.0;
}

// The value at pixel k + fraction t of a line of n samples (stride apart);
// samples beyond the ends repeat the edge.
template <class Get>
double interpolate(Get&& v, int n, int k, double t, bool cubic, double maxValue)
{
    auto at = [&](int i) { return v(std::clamp(i, 0, n - 1)); };
    if (!cubic)
        return (1.0 - t) * at(k) + t * at(k + 1);
    double s = cubicWeight(t + 1.0) * at(k - 1) + cubicWeight(t) * at(k) + cubicWeight(1.0 - t) * at(k + 1) +
               cubicWeight(2.0 - t) * at(k + 2);
    return std::clamp(s, 0.0, maxValue);
}

template <class Sample>
void areaWalk(TImageBuffer& source, TImageBuffer& target, int C, bool cubic, const TPercentReport& progress)
{
    const int W = source.Width();
    const int H = source.Height();
    const int w = target.Width();
    const int h = target.Height();
    const double maxValue = sizeof(Sample) == 1 ? 255.0 : 65535.0;
    const double gx = double(W) / double(w);
    const double gy = double(H) / double(h);
    const bool interpX = gx < 1.0;
    const bool interpY = gy < 1.0;
    const bool truncateRows = cubic && interpX && interpY;

    const std::vector<TSegment> xs = walkAxis(W, w, gx);
    const std::vector<TSegment> ys = walkAxis(H, h, gy);
    const size_t nx = xs.size();

    // A few source rows, each already reduced to one value per x segment.
    struct TRowSlot {
        int row = -1;
        std::vector<double> values;
    };
    std::array<TRowSlot, 5> window;
    std::vector<double> line(static_cast<size_t>(W));
    auto xRow = [&](int r) -> const std::vector<double>& {
        r = std::clamp(r, 0, H - 1);
        TRowSlot* slot = nullptr;
        for (TRowSlot& s : window)
            if (s.row == r)
                return s.values;
        for (TRowSlot& s : window)
            if (!slot || s.row < slot->row)
                slot = &s;
        slot->row = r;
        slot->values.resize(nx * size_t(C));
        const Sample* src = reinterpret_cast<const Sample*>(source.RowPointer(r));
        for (int c = 0; c < C; ++c) {
            for (int x = 0; x < W; ++x)
                line[size_t(x)] = double(src[size_t(x) * size_t(C) + size_t(c)]);
            for (size_t s = 0; s < nx; ++s) {
                double v;
                if (interpX) {
                    v = interpolate([&](int i) { return line[size_t(i)]; }, W, xs[s].k, xs[s].t, cubic, maxValue);
                    if (truncateRows)
                        v = std::trunc(v + TruncMargin);
                } else {
                    v = line[size_t(xs[s].inside)];
                }
                slot->values[s * size_t(C) + size_t(c)] = v;
            }
        }
        return slot->values;
    };

    std::vector<double> acc(size_t(w) * size_t(C), 0.0);
    const double area = gx * gy;
    int written = 0;
    for (const TSegment& y : ys) {
        if (interpY) {
            const int k = y.k;
            if (cubic) {
                const std::vector<double>& r0 = xRow(k - 1);
                const std::vector<double>& r1 = xRow(k);
                const std::vector<double>& r2 = xRow(k + 1);
                const std::vector<double>& r3 = xRow(k + 2);
                const double w0 = cubicWeight(y.t + 1.0), w1 = cubicWeight(y.t), w2 = cubicWeight(1.0 - y.t),
                             w3 = cubicWeight(2.0 - y.t);
                for (size_t s = 0; s < nx; ++s) {
                    const double a = xs[s].len * y.len;
                    for (int c = 0; c < C; ++c) {
                        const size_t i = s * size_t(C) + size_t(c);
                        const double v = std::clamp(w0 * r0[i] + w1 * r1[i] + w2 * r2[i] + w3 * r3[i], 0.0, maxValue);
                        acc[size_t(xs[s].dest) * size_t(C) + size_t(c)] += a * v;
                    }
                }
            } else {
                const std::vector<double>& r0 = xRow(k);
                const std::vector<double>& r1 = xRow(k + 1);
                for (size_t s = 0; s < nx; ++s) {
                    const double a = xs[s].len * y.len;
                    for (int c = 0; c < C; ++c) {
                        const size_t i = s * size_t(C) + size_t(c);
                        acc[size_t(xs[s].dest) * size_t(C) + size_t(c)] += a * ((1.0 - y.t) * r0[i] + y.t * r1[i]);
                    }
                }
            }
        } else {
            const std::vector<double>& r = xRow(y.inside);
            for (size_t s = 0; s < nx; ++s) {
                const double a = xs[s].len * y.len;
                for (int c = 0; c < C; ++c)
                    acc[size_t(xs[s].dest) * size_t(C) + size_t(c)] += a * r[s * size_t(C) + size_t(c)];
            }
        }
        if (!y.endsDest)
            continue;
        Sample* out = reinterpret_cast<Sample*>(target.RowPointer(y.dest));
        for (size_t i = 0; i < acc.size(); ++i) {
            // The segment lengths carry rounding errors of the walk, so a
            // flat picture could come out one step darker; a margin far
            // below one sample step keeps exact values exact.
            out[i] = Sample(std::clamp(std::trunc(acc[i] / area + TruncMargin), 0.0, maxValue));
            acc[i] = 0.0;
        }
        ++written;
        if (progress)
            progress(int(double(written) / double(h) * 100.0));
    }
}

}  // namespace

void AreaResample(TImageBuffer& source, TImageBuffer& target, bool cubic, const TPercentReport& progress)
{
    if (source.IsEmpty() || target.IsEmpty())
        return;
    switch (source.PixelFormat()) {
    case px24RGB:
        areaWalk<uint8_t>(source, target, 3, cubic, progress);
        break;
    case px8g:
        areaWalk<uint8_t>(source, target, 1, cubic, progress);
        break;
    case pxRGB48:
        areaWalk<uint16_t>(source, target, 3, cubic, progress);
        break;
    case pxGray16:
        areaWalk<uint16_t>(source, target, 1, cubic, progress);
        break;
    default:
        break;
    }
}

}  // namespace ops::resample
