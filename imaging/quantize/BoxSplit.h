#pragma once
// Box-split colour reduction. The colour cube is binned to 5 bits per
// component (32 x 32 x 32 cells) and counted; starting from one box over the
// whole cube, the box with the largest squared error is cut in two along the
// component and at the bin that separate its pixels best, until there are N
// boxes or nothing is left worth cutting. Each box's mean is a palette entry
// and every cell maps to the box that holds it.
//
//   bins on one component:  lo ........ cut | cut+1 ........ hi-1
//                                first part | second part
#include "imaging/ImageBuffer.h"

#include <array>
#include <cstdint>
#include <vector>

class TBoxSplit {
public:
    TBoxSplit();

    // Counts a row of px24RGB pixels (blue, green, red) in the histogram.
    void CountRow(const uint8_t* bgr, int width);

    // Cuts the boxes for up to `colors` entries; call once, after counting.
    void Build(int colors);

    // One entry per box (may be fewer than asked for).
    const std::vector<TRGB>& Palette() const { return palette_; }

    // Palette index of a colour: the box holding its cell. Cells outside
    // every box (no pixel of the picture falls there) take the entry
    // nearest to the cell's centre.
    int Lookup(uint8_t b, uint8_t g, uint8_t r) const { return lookup_[cellOf(b, g, r)]; }

private:
    enum { kRed = 0, kGreen = 1, kBlue = 2 };
    static constexpr int kBins = 32;

    struct TBox {
        std::array<int, 3> lo{0, 0, 0};  // inclusive bins, per component red, green, blue
        std::array<int, 3> hi{kBins, kBins, kBins};  // exclusive
        uint64_t count = 0;
        std::array<std::array<uint64_t, kBins>, 3> marginal{};
        std::array<double, 3> mean{};
        double error = 0;
    };

    static int cellOf(uint8_t b, uint8_t g, uint8_t r) { return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); }
    static int cellOfBins(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

    void computeMarginals(TBox& box) const;
    void computeStats(TBox& box) const;
    bool splitAlong(const TBox& box, int component, TBox& first, TBox& second) const;
    bool split(const TBox& box, TBox& first, TBox& second) const;
    void buildPalette();
    void buildLookup();

    std::vector<uint64_t> histogram_;  // cell = red bin << 10 | green bin << 5 | blue bin
    uint64_t total_ = 0;
    std::vector<TBox> boxes_;
    std::vector<TRGB> palette_;
    std::vector<uint8_t> lookup_;
};
