#pragma once
// TRecursiveGaussian: a Gaussian blur whose cost per sample does not depend
// on sigma - the third-order recursive filter of Young, van Vliet and
// Verbeek, run forward and then backward along each line, with the boundary
// conditions of Triggs and Sdika (the signal continues with its end value
// beyond both ends, so a flat line stays exactly flat).
//
//   forward   w[n] = x[n] + a1 w[n-1] + a2 w[n-2] + a3 w[n-3],  w[-1..-3] = x[0] / g
//   backward  y[n] = g^2 w[n] + a1 y[n+1] + a2 y[n+2] + a3 y[n+3]
//             y[N-1], y[N], y[N+1] from the Triggs-Sdika matrix
//
// Arithmetic is double precision; samples are stored as float between the
// forward and the backward pass and between the row and the column pass.
// The recursion state of every pass is kept in double. Both the scalar line
// filter and the column-block filter follow exactly these steps, so they
// give the same bits.
#include <cstddef>

namespace ops {

class TRecursiveGaussian {
public:
    explicit TRecursiveGaussian(double sigma);

    double A1() const { return a1_; }
    double A2() const { return a2_; }
    double A3() const { return a3_; }
    double G() const { return g_; }

    // One line of `count` samples `stride` floats apart, in place; `offset`
    // is added to every output value (the recursion runs without it).
    void FilterLine(float* data, int count, std::ptrdiff_t stride, float offset = 0.0f) const;

    // Columns [x0, x1) of a plane of rows `rowStride` floats apart, all
    // columns together one row at a time (contiguous, vectorisable); the same
    // result as FilterLine on each column.
    void FilterColumns(float* plane, int height, std::ptrdiff_t rowStride, int x0, int x1, float offset = 0.0f) const;

    // The whole plane: every row, then every column, `offset` added by the
    // column pass. Rows and column blocks are split into bands across threads
    // (see Parallel.h); the result does not depend on the number of bands.
    void BlurPlane(float* plane, int width, int height, float offset = 0.0f) const;

private:
    // Backward start values y[N-1], y[N], y[N+1] (before the g^2 scale is
    // applied they are those of the unscaled backward filter) from the last
    // input value and the last three forward values.
    void startBackward(double lastInput, double w0, double w1, double w2, double out[3]) const;

    double a1_ = 0, a2_ = 0, a3_ = 0, g_ = 1;
    double m_[3][3] = {};
};

}  // namespace ops
