#pragma once
// NeuQuant: Anthony Dekker's self-organising (Kohonen) colour map, 1994.
// A chain of N neurons starts on the gray diagonal of the colour cube; each
// learning sample pulls the winning neuron, and with a shrinking radius its
// neighbours in the chain, towards the sample. A frequency/bias term keeps
// rarely winning neurons in the race. The trained neurons are the palette,
// and a colour maps to the nearest neuron (city-block distance; the lowest
// index among equals), found through per-cell candidate lists.
//
// Fixed-point scales as in the published algorithm: colours carry 4 extra
// bits, frequencies and biases 16, the learning rate 10, the radius 6.
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <vector>

class TNeuQuant {
public:
    // `netSize` neurons, 1..256.
    explicit TNeuQuant(int netSize);

    // Trains on `sampleCount` pixels (blue, green, red triples) in the given
    // order. `samplingFactor` (1..30) is the one the samples were taken
    // with; it sets how fast the learning rate falls.
    void Learn(const uint8_t* samples, int64_t sampleCount, int samplingFactor);

    // The neurons in 8 bits, one palette entry per neuron (before Learn:
    // the starting gray diagonal).
    const std::vector<TRGB>& Palette() const { return palette_; }

    // Index of the neuron nearest to a colour (sum of absolute differences),
    // the lowest index among equally near ones.
    int Search(uint8_t b, uint8_t g, uint8_t r) const;

    // Sampling factor for a sampling setting 0..100 (100 = every pixel,
    // 0 = every 30th); -1 picks it from the number of pixels.
    static int SamplingFactor(int setting, int64_t pixelCount);

    // Learning visits pixel (i * step) mod n for sample i: a prime stride
    // spreads the samples of one learning phase over the whole picture.
    static int64_t SampleStep(int64_t pixelCount);

private:
    static constexpr int kCellBits = 4;  // search cells: 16 x 16 x 16
    static constexpr int kCells = 1 << kCellBits;
    static constexpr int kCellShift = 8 - kCellBits;
    static constexpr int kCellWidth = 1 << kCellShift;

    int contest(int b, int g, int r);
    void moveWinner(int alpha, int j, int b, int g, int r);
    void moveNeighbours(int rad, int j, int b, int g, int r);
    void setRadius(int rad, int alpha);
    void updatePalette();
    void buildCells();

    int size_;
    std::vector<int> nb_, ng_, nr_;   // neuron colours, 4 fraction bits
    std::vector<int> freq_, bias_;    // 16 fraction bits
    std::vector<int> dist_, biasDist_;  // contest scratch
    std::vector<int> radPower_;
    int rad_ = 0;

    std::vector<TRGB> palette_;
    std::vector<int> cellStart_;        // candidates of cell c: [cellStart_[c], cellStart_[c + 1])
    std::vector<uint8_t> candidates_;   // neuron indices, ascending within a cell
};

// Collects the learning samples of a picture row by row, in the order the
// net will visit them, without random access to the rows (a buffer kept in a
// temporary file maps one row at a time).
class TNeuQuantSamples {
public:
    TNeuQuantSamples(int64_t pixelCount, int samplingFactor);
    // Feed the rows top to bottom; `bgr` holds `width` px24RGB pixels.
    void AddRow(const uint8_t* bgr, int width);
    const uint8_t* Data() const { return data_.data(); }
    int64_t Count() const { return count_; }

private:
    int64_t pixelCount_;
    int64_t count_;
    int64_t inverseStep_;  // step^-1 mod n: sample slot of pixel p is p * inverse mod n
    int64_t pixel_ = 0;    // next pixel fed
    int64_t slot_ = 0;     // its sample slot
    std::vector<uint8_t> data_;
};
