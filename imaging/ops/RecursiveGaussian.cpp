#include "imaging/ops/RecursiveGaussian.h"

#include "imaging/ops/Parallel.h"

#include <algorithm>
#include <vector>

namespace ops {

namespace {

// Columns filtered together in the column pass: the block's samples of the
// whole height stay in the second-level cache between the forward and the
// backward pass.
constexpr int kColumnBlock = 64;
// Rows filtered together in the row pass: they are turned into lanes of a
// small buffer, so each step of the recursion handles one sample of every
// row at once.
constexpr int kRowLanes = 16;

using TCoefficients = TRecursiveGaussian::TCoefficients;

// Backward start values y[N-1], y[N], y[N+1] of one line, g^2 applied, from
// its last input value and its last three forward values.
inline void startBackward(const TCoefficients& c, double lastInput, double w0, double w1, double w2, double out[3])
{
    const double uPlus = lastInput / c.g;  // forward steady state
    const double vPlus = uPlus / c.g;      // backward steady state, unscaled
    const double d0 = w0 - uPlus, d1 = w1 - uPlus, d2 = w2 - uPlus;
    const double g2 = c.g * c.g;
    for (int i = 0; i < 3; ++i)
        out[i] = g2 * (c.m[i][0] * d0 + c.m[i][1] * d1 + c.m[i][2] * d2 + vPlus);
}

// One forward step of `n` lines side by side; the new state replaces p3.
inline void forwardStep(float* __restrict r, const double* __restrict p1, const double* __restrict p2,
                        double* __restrict p3, int n, double a1, double a2, double a3)
{
    for (int i = 0; i < n; ++i) {
        const double w = double(r[i]) + a1 * p1[i] + a2 * p2[i] + a3 * p3[i];
        r[i] = float(w);
        p3[i] = w;
    }
}

// One backward step of `n` lines side by side; the new state replaces p3.
inline void backwardStep(float* __restrict r, const double* __restrict p1, const double* __restrict p2,
                         double* __restrict p3, int n, double g2, double a1, double a2, double a3, double offset)
{
    for (int i = 0; i < n; ++i) {
        const double out = g2 * double(r[i]) + a1 * p1[i] + a2 * p2[i] + a3 * p3[i];
        r[i] = float(out + offset);
        p3[i] = out;
    }
}

// `n` lines side by side, in place: line i is data[i], data[i + stride],
// ... (`count` samples). `state` holds 5 n doubles of scratch.
TESSARON_VECTOR_CLONES
void filterLanes(const TCoefficients& c, float* data, int count, std::ptrdiff_t stride, int n, double* state,
                 float offset)
{
    if (count <= 0 || n <= 0)
        return;
    const double a1 = c.a1, a2 = c.a2, a3 = c.a3, g2 = c.g * c.g;
    auto row = [&](int y) { return data + std::ptrdiff_t(y) * stride; };
    double* p1 = state;
    double* p2 = p1 + n;
    double* p3 = p2 + n;
    double* start = p3 + n;
    double* lastInput = start + n;

    const float* first = row(0);
    const float* last = row(count - 1);
    for (int i = 0; i < n; ++i) {
        start[i] = double(first[i]) / c.g;
        lastInput[i] = last[i];
        p1[i] = p2[i] = p3[i] = start[i];
    }
    // p1 = w[n-1], p2 = w[n-2], p3 = w[n-3]
    for (int y = 0; y < count; ++y) {
        forwardStep(row(y), p1, p2, p3, n, a1, a2, a3);
        double* t = p3;
        p3 = p2;
        p2 = p1;
        p1 = t;
    }

    // Backward start from the stored forward values of the last three samples.
    auto forward = [&](int y, int i) { return y >= 0 ? double(row(y)[i]) : start[i]; };
    p1 = state;
    p2 = p1 + n;
    p3 = p2 + n;
    float* lastRow = row(count - 1);
    for (int i = 0; i < n; ++i) {
        double y3[3];
        startBackward(c, lastInput[i], forward(count - 1, i), forward(count - 2, i), forward(count - 3, i), y3);
        p1[i] = y3[0];
        p2[i] = y3[1];
        p3[i] = y3[2];
        lastRow[i] = float(y3[0] + double(offset));
    }
    for (int y = count - 2; y >= 0; --y) {
        backwardStep(row(y), p1, p2, p3, n, g2, a1, a2, a3, double(offset));
        double* t = p3;
        p3 = p2;
        p2 = p1;
        p1 = t;
    }
}

// Rows [0, rows) of `source` (at most kRowLanes rows of `width`) filtered
// into `target` through the lane buffer `lanes` (width x kRowLanes).
TESSARON_VECTOR_CLONES
void filterRowGroup(const TCoefficients& c, const float* source, float* target, int width, int rows, float* lanes,
                    double* state)
{
    for (int x = 0; x < width; ++x)
        for (int r = 0; r < rows; ++r)
            lanes[std::ptrdiff_t(x) * kRowLanes + r] = source[std::ptrdiff_t(r) * width + x];
    filterLanes(c, lanes, width, kRowLanes, rows, state, 0.0f);
    for (int r = 0; r < rows; ++r) {
        float* out = target + std::ptrdiff_t(r) * width;
        for (int x = 0; x < width; ++x)
            out[x] = lanes[std::ptrdiff_t(x) * kRowLanes + r];
    }
}

}  // namespace

TRecursiveGaussian::TRecursiveGaussian(double sigma)
{
    const double q = sigma < 3.556 ? 0.0561 * sigma * sigma + 0.5784 * sigma - 0.2568 : 0.9804 * (sigma - 3.556) + 2.5091;
    const double scale = (q + 1.1668) * (q * q + 2.21566 * q + 3.2037296485);
    const double a1 = q * (3.0 * q * q + 6.76492 * q + 5.7889617365) / scale;
    const double a2 = -q * q * (3.0 * q + 3.38246) / scale;
    const double a3 = q * q * q / scale;
    c_.a1 = a1;
    c_.a2 = a2;
    c_.a3 = a3;
    // Equal to 3.7381117538698 / scale; taken as the complement so that the
    // gain at zero frequency is exactly the one the recursion has.
    c_.g = 1.0 - a1 - a2 - a3;

    // Triggs and Sdika: the state the backward filter would have reached
    // coming from +infinity over a signal that keeps its last value.
    const double k = 1.0 / ((1.0 + a1 - a2 + a3) * (1.0 - a1 - a2 - a3) * (1.0 + a2 + (a1 - a3) * a3));
    c_.m[0][0] = k * (-a3 * a1 + 1.0 - a3 * a3 - a2);
    c_.m[0][1] = k * (a3 + a1) * (a2 + a3 * a1);
    c_.m[0][2] = k * a3 * (a1 + a3 * a2);
    c_.m[1][0] = k * (a1 + a3 * a2);
    c_.m[1][1] = -k * (a2 - 1.0) * (a2 + a3 * a1);
    c_.m[1][2] = -k * a3 * (a3 * a1 + a3 * a3 + a2 - 1.0);
    c_.m[2][0] = k * (a3 * a1 + a2 + a1 * a1 - a2 * a2);
    c_.m[2][1] = k * (a1 * a2 + a3 * a2 * a2 - a1 * a3 * a3 - a3 * a3 * a3 - a3 * a2 + a3);
    c_.m[2][2] = k * a3 * (a1 + a3 * a2);
}

void TRecursiveGaussian::FilterLine(float* data, int count, std::ptrdiff_t stride, float offset) const
{
    if (count <= 0)
        return;
    const double a1 = c_.a1, a2 = c_.a2, a3 = c_.a3, g2 = c_.g * c_.g;
    const double start = double(data[0]) / c_.g;
    const double lastInput = data[std::ptrdiff_t(count - 1) * stride];

    double p1 = start, p2 = start, p3 = start;
    for (int n = 0; n < count; ++n) {
        float& v = data[std::ptrdiff_t(n) * stride];
        const double w = double(v) + a1 * p1 + a2 * p2 + a3 * p3;
        v = float(w);
        p3 = p2;
        p2 = p1;
        p1 = w;
    }

    auto forward = [&](int n) { return n >= 0 ? double(data[std::ptrdiff_t(n) * stride]) : start; };
    double y[3];
    startBackward(c_, lastInput, forward(count - 1), forward(count - 2), forward(count - 3), y);
    data[std::ptrdiff_t(count - 1) * stride] = float(y[0] + double(offset));
    double q1 = y[0], q2 = y[1], q3 = y[2];
    for (int n = count - 2; n >= 0; --n) {
        float& v = data[std::ptrdiff_t(n) * stride];
        const double out = g2 * double(v) + a1 * q1 + a2 * q2 + a3 * q3;
        v = float(out + double(offset));
        q3 = q2;
        q2 = q1;
        q1 = out;
    }
}

void TRecursiveGaussian::FilterColumns(float* plane, int height, std::ptrdiff_t rowStride, int x0, int x1,
                                       float offset) const
{
    if (height <= 0 || x1 <= x0)
        return;
    std::vector<double> state(5 * size_t(x1 - x0));
    filterLanes(c_, plane + x0, height, rowStride, x1 - x0, state.data(), offset);
}

void TRecursiveGaussian::BlurPlane(const float* source, float* target, int width, int height, float offset) const
{
    if (width <= 0 || height <= 0)
        return;
    // Rows: groups of kRowLanes rows, each group whole in one band.
    const int groups = (height + kRowLanes - 1) / kRowLanes;
    RunBands(groups, PlanBands(groups, int64_t(width) * 4 * kRowLanes, true), TRowReport(),
             [&](int g0, int g1, int, const TRowTick&) {
        std::vector<float> lanes(size_t(width) * kRowLanes);
        std::vector<double> state(5 * kRowLanes);
        for (int g = g0; g < g1; ++g) {
            const std::ptrdiff_t y = std::ptrdiff_t(g) * kRowLanes;
            filterRowGroup(c_, source + y * width, target + y * width, width, std::min(kRowLanes, height - int(y)),
                           lanes.data(), state.data());
        }
    });
    // Columns: blocks, each whole in one band, so a column is filtered the
    // same way whatever the number of bands.
    const int blocks = (width + kColumnBlock - 1) / kColumnBlock;
    RunBands(blocks, PlanBands(blocks, int64_t(height) * 4 * kColumnBlock, true), TRowReport(),
             [&](int b0, int b1, int, const TRowTick&) {
        std::vector<double> state(5 * kColumnBlock);
        for (int b = b0; b < b1; ++b) {
            const int x0 = b * kColumnBlock;
            filterLanes(c_, target + x0, height, width, std::min(width, x0 + kColumnBlock) - x0, state.data(), offset);
        }
    });
}

}  // namespace ops
