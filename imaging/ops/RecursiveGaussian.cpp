#include "imaging/ops/RecursiveGaussian.h"

#include "imaging/ops/Parallel.h"

#include <algorithm>
#include <new>
#include <vector>

namespace ops {

namespace {
// Columns filtered together: three rows of double state per block stay in
// the first-level cache.
constexpr int kColumnBlock = 256;
}  // namespace

TRecursiveGaussian::TRecursiveGaussian(double sigma)
{
    const double q = sigma < 3.556 ? 0.0561 * sigma * sigma + 0.5784 * sigma - 0.2568 : 0.9804 * (sigma - 3.556) + 2.5091;
    const double scale = (q + 1.1668) * (q * q + 2.21566 * q + 3.2037296485);
    a1_ = q * (3.0 * q * q + 6.76492 * q + 5.7889617365) / scale;
    a2_ = -q * q * (3.0 * q + 3.38246) / scale;
    a3_ = q * q * q / scale;
    // Equal to 3.7381117538698 / scale; taken as the complement so that the
    // gain at zero frequency is exactly the one the recursion has.
    g_ = 1.0 - a1_ - a2_ - a3_;

    // Triggs and Sdika: the state the backward filter would have reached
    // coming from +infinity over a signal that keeps its last value.
    const double a1 = a1_, a2 = a2_, a3 = a3_;
    const double k = 1.0 / ((1.0 + a1 - a2 + a3) * (1.0 - a1 - a2 - a3) * (1.0 + a2 + (a1 - a3) * a3));
    m_[0][0] = k * (-a3 * a1 + 1.0 - a3 * a3 - a2);
    m_[0][1] = k * (a3 + a1) * (a2 + a3 * a1);
    m_[0][2] = k * a3 * (a1 + a3 * a2);
    m_[1][0] = k * (a1 + a3 * a2);
    m_[1][1] = -k * (a2 - 1.0) * (a2 + a3 * a1);
    m_[1][2] = -k * a3 * (a3 * a1 + a3 * a3 + a2 - 1.0);
    m_[2][0] = k * (a3 * a1 + a2 + a1 * a1 - a2 * a2);
    m_[2][1] = k * (a1 * a2 + a3 * a2 * a2 - a1 * a3 * a3 - a3 * a3 * a3 - a3 * a2 + a3);
    m_[2][2] = k * a3 * (a1 + a3 * a2);
}

void TRecursiveGaussian::startBackward(double lastInput, double w0, double w1, double w2, double out[3]) const
{
    const double uPlus = lastInput / g_;  // forward steady state
    const double vPlus = uPlus / g_;      // backward steady state, unscaled
    const double d0 = w0 - uPlus, d1 = w1 - uPlus, d2 = w2 - uPlus;
    const double g2 = g_ * g_;
    for (int i = 0; i < 3; ++i)
        out[i] = g2 * (m_[i][0] * d0 + m_[i][1] * d1 + m_[i][2] * d2 + vPlus);
}

void TRecursiveGaussian::FilterLine(float* data, int count, std::ptrdiff_t stride, float offset) const
{
    if (count <= 0)
        return;
    const double a1 = a1_, a2 = a2_, a3 = a3_, g2 = g_ * g_;
    const double start = double(data[0]) / g_;
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
    startBackward(lastInput, forward(count - 1), forward(count - 2), forward(count - 3), y);
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
    const double a1 = a1_, a2 = a2_, a3 = a3_, g2 = g_ * g_;
    const size_t n = size_t(x1 - x0);
    std::vector<double> state(3 * n), start(n), lastInput(n);
    auto row = [&](int y) { return plane + std::ptrdiff_t(y) * rowStride + x0; };

    const float* first = row(0);
    const float* last = row(height - 1);
    for (size_t i = 0; i < n; ++i) {
        start[i] = double(first[i]) / g_;
        lastInput[i] = last[i];
    }

    // Forward: p1 = w[n-1], p2 = w[n-2], p3 = w[n-3]; the new value replaces p3.
    double* p1 = state.data();
    double* p2 = p1 + n;
    double* p3 = p2 + n;
    std::copy(start.begin(), start.end(), p1);
    std::copy(start.begin(), start.end(), p2);
    std::copy(start.begin(), start.end(), p3);
    for (int y = 0; y < height; ++y) {
        float* r = row(y);
        for (size_t i = 0; i < n; ++i) {
            const double w = double(r[i]) + a1 * p1[i] + a2 * p2[i] + a3 * p3[i];
            r[i] = float(w);
            p3[i] = w;
        }
        double* t = p3;
        p3 = p2;
        p2 = p1;
        p1 = t;
    }

    // Backward start from the stored forward values of the last three rows.
    auto forward = [&](int y, size_t i) { return y >= 0 ? double(row(y)[i]) : start[i]; };
    p1 = state.data();
    p2 = p1 + n;
    p3 = p2 + n;
    float* lastRow = row(height - 1);
    for (size_t i = 0; i < n; ++i) {
        double y3[3];
        startBackward(lastInput[i], forward(height - 1, i), forward(height - 2, i), forward(height - 3, i), y3);
        p1[i] = y3[0];
        p2[i] = y3[1];
        p3[i] = y3[2];
    }
    for (size_t i = 0; i < n; ++i)
        lastRow[i] = float(p1[i] + double(offset));
    for (int y = height - 2; y >= 0; --y) {
        float* r = row(y);
        for (size_t i = 0; i < n; ++i) {
            const double out = g2 * double(r[i]) + a1 * p1[i] + a2 * p2[i] + a3 * p3[i];
            r[i] = float(out + double(offset));
            p3[i] = out;
        }
        double* t = p3;
        p3 = p2;
        p2 = p1;
        p1 = t;
    }
}

namespace {

// dst (cols x rows) = transpose of src (rows x cols), in tiles that stay in cache.
void transpose(const float* src, int rows, int cols, float* dst)
{
    constexpr int kTile = 32;
    const int tileRows = (rows + kTile - 1) / kTile;
    const int bands = PlanBands(tileRows, int64_t(cols) * 4 * kTile, true);
    RunBands(tileRows, bands, TRowReport(), [&](int t0, int t1, int, const TRowTick&) {
        for (int ty = t0 * kTile; ty < std::min(rows, t1 * kTile); ty += kTile)
            for (int tx = 0; tx < cols; tx += kTile)
                for (int y = ty; y < std::min(rows, ty + kTile); ++y)
                    for (int x = tx; x < std::min(cols, tx + kTile); ++x)
                        dst[std::ptrdiff_t(x) * rows + y] = src[std::ptrdiff_t(y) * cols + x];
    });
}

}  // namespace

void TRecursiveGaussian::BlurPlane(float* plane, int width, int height, float offset) const
{
    if (width <= 0 || height <= 0)
        return;
    const int64_t rowBytes = int64_t(width) * 4;
    // Column blocks: each band takes whole blocks, so a column is filtered
    // the same way whatever the number of bands.
    auto filterColumns = [&](float* data, int w, int h, float add) {
        const int blocks = (w + kColumnBlock - 1) / kColumnBlock;
        const int bands = PlanBands(blocks, int64_t(w) * 4 * h / blocks, true);
        RunBands(blocks, bands, TRowReport(), [&](int b0, int b1, int, const TRowTick&) {
            for (int b = b0; b < b1; ++b)
                FilterColumns(data, h, w, b * kColumnBlock, std::min(w, (b + 1) * kColumnBlock), add);
        });
    };
    // The row pass runs on the transposed plane: filtering many lines side
    // by side instead of one serial recursion per row, with the same bits.
    std::vector<float> transposed;
    try {
        transposed.resize(size_t(width) * size_t(height));
    } catch (const std::bad_alloc&) {
        transposed.clear();
    }
    if (!transposed.empty()) {
        transpose(plane, height, width, transposed.data());
        filterColumns(transposed.data(), height, width, 0.0f);
        transpose(transposed.data(), width, height, plane);
    } else {
        const int rowBands = PlanBands(height, rowBytes, true);
        RunBands(height, rowBands, TRowReport(), [&](int y0, int y1, int, const TRowTick&) {
            for (int y = y0; y < y1; ++y)
                FilterLine(plane + std::ptrdiff_t(y) * width, width, 1);
        });
    }
    filterColumns(plane, width, height, offset);
}

}  // namespace ops
