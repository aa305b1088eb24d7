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
// The recursion state of every pass is kept in double. The scalar line
// filter and the side-by-side filter (many lines at once, one sample of
// each per step, which vectorises) follow exactly these steps in the same
// order, so they give the same bits.
#include <cstddef>
#include <cstdint>

// Hot loops that the compiler vectorises are built twice, for AVX2 and for
// the baseline, and the loader picks one at start-up. AVX2 alone brings no
// fused multiply-add, so both builds round every operation the same way and
// give the same bits. TESSARON_NO_VECTOR_CLONES builds the baseline only
// (to check that it gives the same bytes on a machine with AVX2).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(TESSARON_NO_VECTOR_CLONES)
#define TESSARON_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TESSARON_VECTOR_CLONES
#endif

namespace ops {

class TRecursiveGaussian {
public:
    explicit TRecursiveGaussian(double sigma);

    double A1() const { return c_.a1; }
    double A2() const { return c_.a2; }
    double A3() const { return c_.a3; }
    double G() const { return c_.g; }

    // One line of `count` samples `stride` floats apart, in place; `offset`
    // is added to every output value (the recursion runs without it).
    void FilterLine(float* data, int count, std::ptrdiff_t stride, float offset = 0.0f) const;

    // Columns [x0, x1) of a plane of rows `rowStride` floats apart, all
    // columns together one row at a time (contiguous, vectorisable); the same
    // result as FilterLine on each column.
    void FilterColumns(float* plane, int height, std::ptrdiff_t rowStride, int x0, int x1, float offset = 0.0f) const;

    // The whole plane: every row, then every column, `offset` added by the
    // column pass. `source` and `target` are width x height with contiguous
    // rows; they may be the same plane. Row groups and column blocks are
    // split into bands across threads (see Parallel.h); the result does not
    // depend on the number of bands.
    void BlurPlane(const float* source, float* target, int width, int height, float offset = 0.0f) const;
    void BlurPlane(float* plane, int width, int height, float offset = 0.0f) const
    {
        BlurPlane(plane, plane, width, height, offset);
    }

    struct TCoefficients {
        double a1 = 0, a2 = 0, a3 = 0, g = 1;
        double m[3][3] = {};  // Triggs-Sdika matrix
    };

private:
    TCoefficients c_;
};

}  // namespace ops
