#include "imaging/quantize/BoxSplit.h"

#include "imaging/quantize/NearestEntry.h"

#include <cmath>

namespace {
// Score of a cut that failed; any real cut scores far below it (errors are
// per picture pixel, at most 3 * 31^2).
constexpr double kFailedCut = 17523.6;

// Nearest integer, halves to the even neighbour.
int roundEven(double v) { return int(std::nearbyint(v)); }
}  // namespace

TBoxSplit::TBoxSplit() : histogram_(kBins * kBins * kBins, 0), lookup_(kBins * kBins * kBins, 0) {}

void TBoxSplit::CountRow(const uint8_t* bgr, int width)
{
    uint64_t* h = histogram_.data();
    for (int x = 0; x < width; ++x, bgr += 3)
        ++h[cellOf(bgr[0], bgr[1], bgr[2])];
    total_ += uint64_t(width > 0 ? width : 0);
}

void TBoxSplit::computeMarginals(TBox& box) const
{
    for (auto& m : box.marginal)
        m.fill(0);
    box.count = 0;
    for (int r = box.lo[kRed]; r < box.hi[kRed]; ++r)
        for (int g = box.lo[kGreen]; g < box.hi[kGreen]; ++g) {
            const uint64_t* row = &histogram_[cellOfBins(r, g, 0)];
            for (int b = box.lo[kBlue]; b < box.hi[kBlue]; ++b) {
                uint64_t n = row[b];
                if (n == 0)
                    continue;
                box.marginal[kRed][r] += n;
                box.marginal[kGreen][g] += n;
                box.marginal[kBlue][b] += n;
                box.count += n;
            }
        }
}

void TBoxSplit::computeStats(TBox& box) const
{
    double squared = 0;
    for (int c = 0; c < 3; ++c) {
        double s1 = 0, s2 = 0;
        for (int j = box.lo[c]; j < box.hi[c]; ++j) {
            double n = double(box.marginal[c][j]);
            s1 += j * n;
            s2 += double(j) * j * n;
        }
        double count = double(box.count);
        double mean = box.count ? s1 / count : 0;
        box.mean[c] = mean;
        squared += s2 - count * mean * mean;
    }
    box.error = total_ ? squared / double(total_) : 0;
}

bool TBoxSplit::splitAlong(const TBox& box, int c, TBox& first, TBox& second) const
{
    const int lo = box.lo[c], hi = box.hi[c];
    if (hi <= lo + 1)
        return false;
    const auto& h = box.marginal[c];
    const double total = double(box.count);
    const double m = box.mean[c];

    // Scan the bins between the midpoints of lo..mean and mean..hi for the
    // cut that best balances the parts' sizes against their mean shift.
    const int a = roundEven((lo + m) / 2);
    const int b = roundEven((m + hi) / 2);
    uint64_t s = 0;
    for (int j = lo; j < a; ++j)
        s += h[j];
    double t = 0;
    double bestScore = -1;
    int cut = -1;
    uint64_t firstCount = 0;
    for (int e = a; e <= b && e < hi; ++e) {
        s += h[e];
        if (s == box.count)
            break;
        t += double(h[e]) * e / total;
        double d = m - t;
        double score = double(s) / double(box.count - s) * d * d;
        if (score > bestScore) {
            bestScore = score;
            cut = e;
            firstCount = s;
        }
    }
    if (cut < 0 || firstCount == 0 || firstCount == box.count)
        return false;

    first = box;
    second = box;
    first.hi[c] = cut + 1;
    second.lo[c] = cut + 1;
    for (TBox* part : {&first, &second}) {
        computeMarginals(*part);
        // Narrow every component to the bins that hold pixels.
        for (int k = 0; k < 3; ++k) {
            int l = part->lo[k], u = part->hi[k];
            while (l < u && part->marginal[k][l] == 0)
                ++l;
            while (u > l && part->marginal[k][u - 1] == 0)
                --u;
            part->lo[k] = l;
            part->hi[k] = u;
        }
        computeStats(*part);
    }
    return true;
}

bool TBoxSplit::split(const TBox& box, TBox& first, TBox& second) const
{
    double bestScore = kFailedCut;
    bool found = false;
    for (int c : {kRed, kGreen, kBlue}) {
        TBox f, s;
        if (!splitAlong(box, c, f, s))
            continue;
        double score = f.error + s.error;
        if (score < bestScore) {
            bestScore = score;
            first = f;
            second = s;
            found = true;
        }
    }
    return found;
}

void TBoxSplit::Build(int colors)
{
    boxes_.clear();
    if (total_ == 0) {
        buildPalette();
        buildLookup();
        return;
    }
    TBox start;  // the whole cube, bounds left at 0..32
    computeMarginals(start);
    computeStats(start);
    boxes_.push_back(start);

    while (int(boxes_.size()) < colors) {
        int pick = -1;
        double largest = 0;
        for (int i = 0; i < int(boxes_.size()); ++i)
            if (boxes_[i].error > largest) {
                largest = boxes_[i].error;
                pick = i;
            }
        if (pick < 0)
            break;
        TBox first, second;
        if (split(boxes_[pick], first, second)) {
            boxes_[pick] = first;
            boxes_.push_back(second);
        } else {
            boxes_[pick].error = 0;
        }
    }
    buildPalette();
    buildLookup();
}

void TBoxSplit::buildPalette()
{
    palette_.clear();
    for (const TBox& box : boxes_) {
        auto v = [&](int c) { return uint8_t(roundEven(box.mean[c]) * 8); };
        palette_.push_back(TRGB{v(kBlue), v(kGreen), v(kRed)});
    }
}

void TBoxSplit::buildLookup()
{
    constexpr int kUnset = -1;
    std::vector<int> cells(histogram_.size(), kUnset);
    for (int k = 0; k < int(boxes_.size()); ++k) {
        const TBox& box = boxes_[k];
        for (int r = box.lo[kRed]; r < box.hi[kRed]; ++r)
            for (int g = box.lo[kGreen]; g < box.hi[kGreen]; ++g)
                for (int b = box.lo[kBlue]; b < box.hi[kBlue]; ++b)
                    cells[cellOfBins(r, g, b)] = k;
    }
    // Cells no box covers hold no pixel of the picture; give them the entry
    // nearest to their centre so that stray colours still map sensibly.
    for (int cell = 0; cell < int(cells.size()); ++cell) {
        int k = cells[cell];
        if (k == kUnset)
            k = NearestPaletteEntry(palette_, ((cell & 31) << 3) + 4, (((cell >> 5) & 31) << 3) + 4, ((cell >> 10) << 3) + 4);
        lookup_[cell] = uint8_t(k);
    }
}
