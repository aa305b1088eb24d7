#include "imaging/quantize/NeuQuant.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {
constexpr int kColourShift = 4;                      // colour fraction bits
constexpr int kFreqShift = 16;                       // frequency/bias fraction bits
constexpr int kFreqOne = 1 << kFreqShift;
constexpr int kBetaShift = 10;                       // frequency decay: beta = 1/1024
constexpr int kBeta = kFreqOne >> kBetaShift;
constexpr int kGammaShift = 10;                      // bias gain: gamma = 1024
constexpr int kBetaGamma = kFreqOne << (kGammaShift - kBetaShift);
constexpr int kCycles = 100;                         // learning phases
constexpr int kAlphaShift = 10;                      // learning-rate fraction bits
constexpr int kAlphaStart = 1 << kAlphaShift;
constexpr int kRadiusShift = 6;                      // radius fraction bits
constexpr int kRadiusDecrement = 30;                 // radius shrinks by 1/30 per phase
constexpr int kRadPowerShift = 8;
constexpr int kAlphaRadBias = 1 << (kAlphaShift + kRadPowerShift);

// Strides tried in turn; the first one that does not divide the pixel count
// visits every pixel once per cycle. The product of all of them exceeds any
// 63-bit count, so one always fits.
constexpr int64_t kStepPrimes[] = {499, 491, 487, 503, 509, 521, 523, 541};

// |a - b| in a form that plain SSE2 vectorises (it has no integer abs).
inline int absDiff(int a, int b)
{
    int d = a - b;
    int sign = d >> 31;
    return (d ^ sign) - sign;
}

// The first half of a contest, over all neurons: distances plain and
// bias-corrected, then every frequency decays and every bias grows. The
// arrays never overlap; saying so lets the compiler vectorise the loop.
void measureAndDecay(int n, const int* __restrict nb, const int* __restrict ng, const int* __restrict nr, int b, int g,
                     int r, int* __restrict dist, int* __restrict biasDist, int* __restrict freq, int* __restrict bias)
{
    for (int i = 0; i < n; ++i) {
        int d = absDiff(nb[i], b) + absDiff(ng[i], g) + absDiff(nr[i], r);
        dist[i] = d;
        biasDist[i] = d - (bias[i] >> (kFreqShift - kColourShift));
        int betaFreq = freq[i] >> kBetaShift;
        freq[i] -= betaFreq;
        bias[i] += betaFreq << kGammaShift;
    }
}

int64_t inverseModulo(int64_t a, int64_t n)
{
    // Extended Euclid; a and n are coprime.
    __int128 t = 0, newT = 1;
    __int128 r = n, newR = a % n;
    while (newR != 0) {
        __int128 q = r / newR;
        __int128 tmp = t - q * newT;
        t = newT;
        newT = tmp;
        tmp = r - q * newR;
        r = newR;
        newR = tmp;
    }
    if (t < 0)
        t += n;
    return int64_t(t);
}
}  // namespace

TNeuQuant::TNeuQuant(int netSize) : size_(std::clamp(netSize, 1, 256))
{
    nb_.resize(size_);
    ng_.resize(size_);
    nr_.resize(size_);
    freq_.assign(size_, kFreqOne / size_);
    bias_.assign(size_, 0);
    dist_.resize(size_);
    biasDist_.resize(size_);
    // Start on the gray diagonal, evenly spread from black towards white.
    for (int i = 0; i < size_; ++i) {
        int v = (i << (kColourShift + 8)) / size_;
        nb_[i] = ng_[i] = nr_[i] = v;
    }
    updatePalette();
}

int TNeuQuant::SamplingFactor(int setting, int64_t pixelCount)
{
    if (setting < 0) {
        // Follow the picture size: every pixel of a small picture, at most
        // about a million samples of a big one, which is plenty for 256
        // neurons and keeps learning time flat beyond a megapixel.
        constexpr int64_t kWantedSamples = 1 << 20;
        int64_t factor = (pixelCount + kWantedSamples - 1) / kWantedSamples;
        return int(std::clamp<int64_t>(factor, 1, 30));
    }
    setting = std::min(setting, 100);
    return (100 - setting) * 29 / 100 + 1;
}

int64_t TNeuQuant::SampleStep(int64_t pixelCount)
{
    for (int64_t p : kStepPrimes)
        if (pixelCount % p != 0)
            return p;
    return 1;  // unreachable for counts below 2^63
}

int TNeuQuant::contest(int b, int g, int r)
{
    // Every neuron's distance and bias-corrected distance; the frequencies
    // decay and the biases grow for all, then the winner is penalised so
    // that neurons that seldom win get their turn.
    measureAndDecay(size_, nb_.data(), ng_.data(), nr_.data(), b, g, r, dist_.data(), biasDist_.data(), freq_.data(),
                    bias_.data());
    int best = 0, bestBiased = 0;
    for (int i = 1; i < size_; ++i) {
        if (dist_[i] < dist_[best])
            best = i;
        if (biasDist_[i] < biasDist_[bestBiased])
            bestBiased = i;
    }
    freq_[best] += kBeta;
    bias_[best] -= kBetaGamma;
    return bestBiased;
}

void TNeuQuant::moveWinner(int alpha, int j, int b, int g, int r)
{
    nb_[j] -= (alpha * (nb_[j] - b)) / kAlphaStart;
    ng_[j] -= (alpha * (ng_[j] - g)) / kAlphaStart;
    nr_[j] -= (alpha * (nr_[j] - r)) / kAlphaStart;
}

void TNeuQuant::moveNeighbours(int rad, int j, int b, int g, int r)
{
    // Neighbours j +- 1 .. j +- (rad - 1) in the chain, each pulled with the
    // precomputed strength for its distance.
    int lo = std::max(j - rad, -1);
    int hi = std::min(j + rad, size_);
    int up = j + 1, down = j - 1;
    for (int m = 1; up < hi || down > lo; ++m) {
        int a = radPower_[m];
        if (up < hi) {
            nb_[up] -= (a * (nb_[up] - b)) / kAlphaRadBias;
            ng_[up] -= (a * (ng_[up] - g)) / kAlphaRadBias;
            nr_[up] -= (a * (nr_[up] - r)) / kAlphaRadBias;
            ++up;
        }
        if (down > lo) {
            nb_[down] -= (a * (nb_[down] - b)) / kAlphaRadBias;
            ng_[down] -= (a * (ng_[down] - g)) / kAlphaRadBias;
            nr_[down] -= (a * (nr_[down] - r)) / kAlphaRadBias;
            --down;
        }
    }
}

void TNeuQuant::setRadius(int rad, int alpha)
{
    rad_ = rad <= 1 ? 0 : rad;
    radPower_.assign(std::max(rad_, 1), 0);
    for (int m = 0; m < rad_; ++m)
        radPower_[m] = alpha * (((rad_ * rad_ - m * m) << kRadPowerShift) / (rad_ * rad_));
}

void TNeuQuant::Learn(const uint8_t* samples, int64_t sampleCount, int samplingFactor)
{
    samplingFactor = std::clamp(samplingFactor, 1, 30);
    const int alphaDecrement = 30 + (samplingFactor - 1) / 3;
    const int64_t phaseLength = std::max<int64_t>(sampleCount / kCycles, 1);

    int alpha = kAlphaStart;
    int radius = (size_ >> 3) << kRadiusShift;
    setRadius(radius >> kRadiusShift, alpha);

    const uint8_t* p = samples;
    for (int64_t i = 0; i < sampleCount; ++i, p += 3) {
        int b = p[0] << kColourShift;
        int g = p[1] << kColourShift;
        int r = p[2] << kColourShift;
        int j = contest(b, g, r);
        moveWinner(alpha, j, b, g, r);
        if (rad_ != 0)
            moveNeighbours(rad_, j, b, g, r);
        if ((i + 1) % phaseLength == 0) {
            alpha -= alpha / alphaDecrement;
            radius -= radius / kRadiusDecrement;
            setRadius(radius >> kRadiusShift, alpha);
        }
    }
    updatePalette();
    buildCells();
}

void TNeuQuant::updatePalette()
{
    // Back to 8 bits, rounded.
    auto to8 = [](int v) { return uint8_t(std::clamp((v + (1 << (kColourShift - 1))) >> kColourShift, 0, 255)); };
    palette_.resize(size_);
    for (int i = 0; i < size_; ++i)
        palette_[i] = TRGB{to8(nb_[i]), to8(ng_[i]), to8(nr_[i])};
}

void TNeuQuant::buildCells()
{
    // For every cell of the colour cube keep the neurons that can be the
    // nearest to some colour in it: those whose least possible distance to
    // the cell does not exceed the smallest greatest distance of any neuron
    // to it. Every colour's nearest neuron (and every neuron as near as it)
    // is then among its cell's candidates, listed in index order.
    //
    // Per component, the least and greatest distance of each neuron to each
    // cell slab; a cell's distances are sums of three of them.
    std::vector<uint16_t> least[3], most[3];
    for (int c = 0; c < 3; ++c) {
        least[c].resize(size_t(kCells) * size_);
        most[c].resize(size_t(kCells) * size_);
        for (int slab = 0; slab < kCells; ++slab)
            for (int i = 0; i < size_; ++i) {
                const int v = c == 0 ? palette_[i].b : c == 1 ? palette_[i].g : palette_[i].r;
                const int below = slab * kCellWidth - v, above = v - (slab * kCellWidth + kCellWidth - 1);
                least[c][slab * size_ + i] = uint16_t(std::max({below, above, 0}));
                most[c][slab * size_ + i] = uint16_t(std::max(std::abs(below), std::abs(above)));
            }
    }
    cellStart_.assign(kCells * kCells * kCells + 1, 0);
    candidates_.clear();
    for (int cell = 0; cell < kCells * kCells * kCells; ++cell) {
        const size_t sb = size_t(cell & (kCells - 1)) * size_, sg = size_t((cell >> kCellBits) & (kCells - 1)) * size_,
                     sr = size_t(cell >> (2 * kCellBits)) * size_;
        int bound = INT_MAX;
        for (int i = 0; i < size_; ++i)
            bound = std::min(bound, most[0][sb + i] + most[1][sg + i] + most[2][sr + i]);
        for (int i = 0; i < size_; ++i)
            if (least[0][sb + i] + least[1][sg + i] + least[2][sr + i] <= bound)
                candidates_.push_back(uint8_t(i));
        cellStart_[cell + 1] = int(candidates_.size());
    }
}

int TNeuQuant::Search(uint8_t b, uint8_t g, uint8_t r) const
{
    int best = 0, bestDist = INT_MAX;
    auto consider = [&](int i) {
        const TRGB& n = palette_[i];
        int d = std::abs(n.b - b) + std::abs(n.g - g) + std::abs(n.r - r);
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    };
    if (cellStart_.empty()) {  // not trained yet: no index
        for (int i = 0; i < size_; ++i)
            consider(i);
        return best;
    }
    const int cell = (b >> kCellShift) | ((g >> kCellShift) << kCellBits) | ((r >> kCellShift) << (2 * kCellBits));
    for (int k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k)
        consider(candidates_[k]);
    return best;
}

TNeuQuantSamples::TNeuQuantSamples(int64_t pixelCount, int samplingFactor)
    : pixelCount_(std::max<int64_t>(pixelCount, 0))
{
    samplingFactor = std::clamp(samplingFactor, 1, 30);
    count_ = pixelCount_ / samplingFactor;
    if (count_ == 0)
        count_ = pixelCount_;  // a tiny picture: learn from all of it
    inverseStep_ = pixelCount_ > 1 ? inverseModulo(TNeuQuant::SampleStep(pixelCount_), pixelCount_) : 0;
    data_.resize(size_t(count_) * 3);
}

void TNeuQuantSamples::AddRow(const uint8_t* bgr, int width)
{
    uint8_t* out = data_.data();
    for (int x = 0; x < width && pixel_ < pixelCount_; ++x, ++pixel_, bgr += 3) {
        if (slot_ < count_) {
            uint8_t* s = out + slot_ * 3;
            s[0] = bgr[0];
            s[1] = bgr[1];
            s[2] = bgr[2];
        }
        slot_ += inverseStep_;
        if (slot_ >= pixelCount_)
            slot_ -= pixelCount_;
    }
}
