// Colour and enhancement operations: point operations on 24-bit pictures.
//
// Contract: each runs through BeginOperation/EndOperation, so it stores the
// undo snapshot, converts the picture to px24RGB, and changes only the
// selected pixels when a selection exists (statistics such as histograms are
// taken over the selection's bounding rectangle). The picture keeps its size;
// the alpha channel is left alone. Work is done in place, row by row, with
// tables built once per call; rows are split into bands across threads where
// every row's result depends only on the original pixels, so the output is
// the same for any number of threads.
#include "imaging/ImageProc.h"
#include "imaging/ImagingSettings.h"
#include "imaging/ops/ColorModels.h"

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

using ops::ClampByte;

namespace {

using Histogram = std::array<uint64_t, 256>;
using ChannelTables = std::array<std::array<uint8_t, 256>, 3>;

// Every pixel's blue, green and red through their own table.
void applyChannelTables(TImageBuffer& work, const ChannelTables& tables, const ops::TRowReport& report)
{
    const int width = work.Width();
    ops::ForEachRow(work, report, [&](uint8_t* row, int) {
        for (int x = 0; x < width; ++x, row += 3) {
            row[0] = tables[0][row[0]];
            row[1] = tables[1][row[1]];
            row[2] = tables[2][row[2]];
        }
    });
}

// One histogram per band, filled by `count(row, width, hist...)`, then summed.
template <size_t N, class Count>
std::array<Histogram, N> bandHistograms(TImageBuffer& work, Count&& count)
{
    const int rows = work.Height();
    const int bands = ops::PlanBands(rows, work.RowLen(), ops::RowsShareable(work));
    std::vector<std::array<Histogram, N>> perBand(static_cast<size_t>(bands));
    for (auto& set : perBand)
        for (Histogram& h : set)
            h.fill(0);
    ops::RunBands(rows, bands, ops::TRowReport(), [&](int y0, int y1, int band, const ops::TRowTick&) {
        std::array<Histogram, N>& mine = perBand[size_t(band)];
        for (int y = y0; y < y1; ++y)
            count(work.RowPointer(y), work.Width(), mine);
    });
    std::array<Histogram, N> total{};
    for (Histogram& h : total)
        h.fill(0);
    for (const auto& set : perBand)
        for (size_t k = 0; k < N; ++k)
            for (int i = 0; i < 256; ++i)
                total[k][size_t(i)] += set[k][size_t(i)];
    return total;
}

// ---- Brightness, contrast, saturation ---------------------------------------

struct TBcsTables {
    std::array<uint8_t, 256> BT{};   // brightness then contrast
    std::array<int32_t, 256> W{};    // scaled channel
    std::array<int32_t, 768> G{};    // offset by the channel sum
    bool SaturationNeutral = false;  // g + W[c] == c for every pixel
};

TBcsTables makeBcsTables(int brightness, int contrast, int saturation)
{
    // Outside these ranges the tables stop meaning anything (negative
    // factors, a contrast past the inversion point, 16-bit overflow).
    brightness = std::clamp(brightness, -100, 1000);
    contrast = std::clamp(contrast, -100, 100);
    saturation = std::clamp(saturation, -100, 1000);

    TBcsTables t;
    const int e = int(std::trunc((brightness / 100.0 + 1.0) * 256.0));
    const int f = int(std::trunc((saturation / 100.0 + 1.0) * 256.0));

    // Contrast pivots on level 170. 100 would divide by cos(pi/2) = 0.
    const int co = contrast == 100 ? 99 : contrast;
    const double k = co > 0 ? 1.0 / std::cos(co * std::numbers::pi / 200.0) : std::cos(co * 0.015708);
    std::array<uint8_t, 256> contrastTable{};
    for (int i = 0; i < 256; ++i) {
        double v = ops::RoundHalfEven((i - 170) * k + 170.0);
        contrastTable[size_t(i)] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    for (int j = 0; j < 256; ++j) {
        const int v = (e * (j - 1) + 256) / 256;
        t.BT[size_t(j)] = contrastTable[ClampByte(v)];
    }
    for (int i = 0; i < 256; ++i)
        t.W[size_t(i)] = ((i + 1) * f) >> 8;
    for (int m = 0; m < 768; ++m)
        t.G[size_t(m)] = m / 3 - t.W[size_t(m / 3)];
    t.SaturationNeutral = f == 256;
    return t;
}

}  // namespace

void TImageProc::AdjustBrightnessContrastSaturation(int brightness, int contrast, int saturation)
{
    TOperation op = BeginOperation("AdjustBrightnessContrastSaturation", {px24RGB});
    if (!op.Run)
        return;
    const TBcsTables t = makeBcsTables(brightness, contrast, saturation);
    TImageBuffer& work = *op.Work;
    const int width = work.Width();
    ops::ForEachRow(work, RowReporter(work.Height()), [&](uint8_t* row, int) {
        if (t.SaturationNeutral) {
            // Without saturation the channels are independent: one lookup each.
            for (int i = 0; i < width * 3; ++i)
                row[i] = t.BT[row[i]];
            return;
        }
        for (int x = 0; x < width; ++x, row += 3) {
            const int g = t.G[size_t(row[0] + row[1] + row[2])];
            row[0] = t.BT[ClampByte(g + t.W[row[0]])];
            row[1] = t.BT[ClampByte(g + t.W[row[1]])];
            row[2] = t.BT[ClampByte(g + t.W[row[2]])];
        }
    });
    EndOperation(op);
}

// ---- Histogram of saturation and value -----------------------------------------

namespace {

// Level map of a weighted histogram equalisation: each bin weighs its count
// raised to `exponent`; sums are single precision on purpose (the levels
// must come out as they always have).
std::array<uint8_t, 256> weightedEqualisation(const Histogram& hist, double exponent)
{
    std::array<float, 256> cumulative{};
    float sum = 0.0f;
    for (int i = 0; i < 256; ++i) {
        const float f = hist[size_t(i)] == 0 ? 0.0f : float(std::pow(double(hist[size_t(i)]), exponent));
        sum = sum + f;
        cumulative[size_t(i)] = sum;
    }
    const float total = cumulative[255];
    std::array<uint8_t, 256> map{};
    const bool usable = std::isfinite(total) && total > 0.0f;
    for (int i = 0; i < 256; ++i) {
        if (!usable) {
            map[size_t(i)] = uint8_t(i);  // degenerate weights: leave the channel as it is
            continue;
        }
        const double level = std::trunc(255.0 / double(total) * double(cumulative[size_t(i)]));
        map[size_t(i)] = uint8_t(level < 0 ? 0 : (level > 255 ? 255 : level));
    }
    return map;
}

}  // namespace

void TImageProc::AdjustLumSatHistogram(double saturationExponent, double luminanceExponent)
{
    TOperation op = BeginOperation("AdjustLumSatHistogram", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const ops::THsvTables hsvOf;
    const auto hists = bandHistograms<2>(work, [&hsvOf](const uint8_t* row, int width, std::array<Histogram, 2>& h) {
        for (int x = 0; x < width; ++x, row += 3) {
            const ops::THsv hsv = hsvOf(row[2], row[1], row[0]);
            ++h[0][size_t(hsv.S)];
            ++h[1][size_t(hsv.V)];
        }
    });
    const std::array<uint8_t, 256> sMap = weightedEqualisation(hists[0], saturationExponent);
    const std::array<uint8_t, 256> vMap = weightedEqualisation(hists[1], luminanceExponent);
    const int width = work.Width();
    ops::ForEachRow(work, RowReporter(work.Height()), [&](uint8_t* row, int) {
        for (int x = 0; x < width; ++x, row += 3) {
            const ops::THsv hsv = hsvOf(row[2], row[1], row[0]);
            ops::HsvToBgr(hsv.H, sMap[size_t(hsv.S)], vMap[size_t(hsv.V)], row);
        }
    });
    EndOperation(op);
}

// ---- Automatic equalisation of gray levels --------------------------------------

namespace {

struct TGrayWeights {
    int r, g, b;
    int operator()(int red, int green, int blue) const { return ClampByte((r * red + g * green + b * blue) / 100); }
};

TGrayWeights grayWeights()
{
    const TImagingSettings& s = ImagingSettings();
    return TGrayWeights{s.GrayWeightRed, s.GrayWeightGreen, s.GrayWeightBlue};
}

// Computes row y of the result from the original rows above, at and below it.
// `columns` is scratch space of 3 * width values.
void equaliseRow(const uint8_t* above, const uint8_t* cur, const uint8_t* below, uint8_t* out, int width,
                 const std::array<uint8_t, 256>& left, const std::array<uint8_t, 256>& right, const TGrayWeights& gray,
                 std::vector<int>& columns)
{
    // Vertical sums of the three rows first; each mean then adds three of them.
    int* col = columns.data();
    for (size_t i = 0; i < size_t(width) * 3; ++i)
        col[i] = above[i] + cur[i] + below[i];
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = cur + size_t(x) * 3;
        uint8_t* o = out + size_t(x) * 3;
        const int g = gray(p[2], p[1], p[0]);
        const int lo = left[size_t(g)];
        const int hi = right[size_t(g)];
        if (lo == hi) {
            o[0] = left[p[0]];
            o[1] = left[p[1]];
            o[2] = left[p[2]];
            continue;
        }
        // Mean of the 3 x 3 neighbourhood, the border repeated.
        const int* l = col + size_t(x > 0 ? x - 1 : 0) * 3;
        const int* m = col + size_t(x) * 3;
        const int* r = col + size_t(x + 1 < width ? x + 1 : width - 1) * 3;
        const int mb = (l[0] + m[0] + r[0]) / 9, mg = (l[1] + m[1] + r[1]) / 9, mr = (l[2] + m[2] + r[2]) / 9;
        const int n = gray(mr, mg, mb);
        if (n > hi) {
            o[0] = right[p[0]];
            o[1] = right[p[1]];
            o[2] = right[p[2]];
        } else if (n < lo) {
            o[0] = left[p[0]];
            o[1] = left[p[1]];
            o[2] = left[p[2]];
        } else {
            o[0] = uint8_t(mb);
            o[1] = uint8_t(mg);
            o[2] = uint8_t(mr);
        }
    }
}

}  // namespace

void TImageProc::HistAutoEqualize()
{
    TOperation op = BeginOperation("HistAutoEqualize", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const int width = work.Width();
    const int height = work.Height();
    const TGrayWeights gray = grayWeights();

    const auto hist = bandHistograms<1>(work, [&gray](const uint8_t* row, int w, std::array<Histogram, 1>& h) {
        for (int x = 0; x < w; ++x, row += 3)
            ++h[0][size_t(gray(row[2], row[1], row[0]))];
    })[0];

    // Each output level should hold an equal share of the pixels; a level
    // of the input spans the output levels [left, right] its pixels fill.
    const double target = double(width) * double(height) / 256.0;
    std::array<uint8_t, 256> left{}, right{};
    double acc = 0;
    int r = 0;
    for (int z = 0; z < 256; ++z) {
        left[size_t(z)] = uint8_t(std::min(r, 255));
        acc += double(hist[size_t(z)]);
        while (acc > target && r < 256) {  // r past 255 changes nothing any more
            acc -= target;
            ++r;
        }
        right[size_t(z)] = uint8_t(std::min(r, 255));
    }

    // Every output row needs the original rows around it. Rows are done in
    // place with a rolling copy; the rows just outside each band are copied
    // before any band starts, since a neighbouring band rewrites them.
    const size_t rowBytes = size_t(width) * 3;
    const int bands = ops::PlanBands(height, work.RowLen(), ops::RowsShareable(work));
    std::vector<std::vector<uint8_t>> edgeAbove(static_cast<size_t>(bands)), edgeBelow(static_cast<size_t>(bands));
    for (int b = 0; b < bands; ++b) {
        const int y0 = ops::BandStart(height, bands, b);
        const int y1 = ops::BandStart(height, bands, b + 1);
        const uint8_t* above = work.RowPointer(std::max(y0 - 1, 0));
        edgeAbove[size_t(b)].assign(above, above + rowBytes);
        const uint8_t* below = work.RowPointer(std::min(y1, height - 1));
        edgeBelow[size_t(b)].assign(below, below + rowBytes);
    }
    ops::RunBands(height, bands, RowReporter(height), [&](int y0, int y1, int band, const ops::TRowTick& tick) {
        std::vector<uint8_t> prev = edgeAbove[size_t(band)];
        std::vector<uint8_t> cur(rowBytes), next(rowBytes), out(rowBytes);
        std::vector<int> columns(rowBytes);
        std::memcpy(cur.data(), work.RowPointer(y0), rowBytes);
        for (int y = y0; y < y1; ++y) {
            if (y + 1 < y1)
                std::memcpy(next.data(), work.RowPointer(y + 1), rowBytes);
            else
                next = edgeBelow[size_t(band)];
            equaliseRow(prev.data(), cur.data(), next.data(), out.data(), width, left, right, gray, columns);
            std::memcpy(work.RowPointer(y), out.data(), rowBytes);
            std::swap(prev, cur);
            std::swap(cur, next);
            tick();
        }
    });
    EndOperation(op);
}

// ---- Automatic white balance -------------------------------------------------

namespace {

// Light, nearly neutral pixels outside the skin, foliage and sky hues.
bool isWhiteReference(int r, int g, int b)
{
    // Most pixels of a photo are too dark: (max + min) / 510 <= 356 / 510
    // is well below the lightness bound, no need for the real arithmetic.
    if (std::max({r, g, b}) + std::min({r, g, b}) <= 356)
        return false;
    const ops::THsl hsl = ops::RgbToHsl(r, g, b);
    const double h = hsl.H;
    const bool excludedHue = (h >= 0.01 && h <= 0.04) || (h >= 0.35 && h <= 0.5) || (h >= 0.57 && h <= 0.59);
    return !excludedHue && hsl.S < 0.3 && hsl.L > 0.7;
}

}  // namespace

void TImageProc::WhiteBalance_AutoWhite()
{
    TOperation op = BeginOperation("WhiteBalance_AutoWhite", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    // Bins 0..2: channel sums (blue, green, red) of the reference pixels; bin 3[0]: their count.
    const auto sums = bandHistograms<4>(work, [](const uint8_t* row, int width, std::array<Histogram, 4>& h) {
        for (int x = 0; x < width; ++x, row += 3) {
            if (!isWhiteReference(row[2], row[1], row[0]))
                continue;
            h[0][0] += row[0];
            h[1][0] += row[1];
            h[2][0] += row[2];
            ++h[3][0];
        }
    });
    const uint64_t count = sums[3][0];
    ChannelTables tables{};
    for (int c = 0; c < 3; ++c) {
        const double average = count == 0 ? 255.0 : double(sums[size_t(c)][0]) / double(count);
        const double gain = average > 0 ? 255.0 / average : 1.0;
        for (int v = 0; v < 256; ++v) {
            const double scaled = std::trunc(v * gain);
            tables[size_t(c)][size_t(v)] = uint8_t(scaled > 255 ? 255 : scaled);
        }
    }
    applyChannelTables(work, tables, RowReporter(work.Height()));
    EndOperation(op);
}

// ---- Channel offsets ---------------------------------------------------------------

void TImageProc::IntensityRGBall(int red, int green, int blue)
{
    TOperation op = BeginOperation(
        "IntensityRGBall " + std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue), {px24RGB});
    if (!op.Run)
        return;
    ChannelTables tables{};
    const int offsets[3] = {std::clamp(blue, -255, 255), std::clamp(green, -255, 255), std::clamp(red, -255, 255)};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            tables[size_t(c)][size_t(v)] = ClampByte(v + offsets[c]);
    TImageBuffer& work = *op.Work;
    applyChannelTables(work, tables, RowReporter(work.Height()));
    EndOperation(op);
}
