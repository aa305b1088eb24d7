// Edge-masked sharpening after a resize, and the four pixel operations it
// is built from:
//
//   layer 2 = copy of the picture -> Sobel -> Blur(sigma) -> Contrast(50)   (the mask)
//   layer 1 = copy of the picture -> Sharpen(s, 5), alpha = mask
//   picture = picture blended with layer 1 through its alpha
//
// so flat areas keep their values and edges get crisper. The strengths grow
// with the picture's size. Every pixel loop is integer and table-driven;
// rows are split into bands across threads with results written to other
// rows than those read, so the bytes do not depend on the number of bands.
#include "imaging/ImageProc.h"
#include "imaging/ops/ColorModels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int bandsFor(const TImageBuffer& image, int rows, int64_t bytesPerRow)
{
    return ops::PlanBands(rows, bytesPerRow, ops::RowsShareable(image));
}

}  // namespace

TImageProc::TSharpenStrength TImageProc::SharpenAfterResizeStrength(int width, int height)
{
    const double sum = double(width) + double(height);
    return TSharpenStrength{int(ops::RoundHalfEven(sum / 350.0)), int(ops::RoundHalfEven(sum / 68.0))};
}

// ---- Sobel ----------------------------------------------------------------------

void TImageProc::Sobel()
{
    TImageBuffer* image = beginWholeImage("Sobel");
    if (!image)
        return;
    const int w = image->Width();
    const int h = image->Height();

    // Gray copy: (21 R + 71 G + 8 B) div 100 for 24-bit pictures, the
    // buffer's own conversion for the other formats.
    std::vector<uint8_t> gray(size_t(w) * size_t(h));
    if (image->PixelFormat() == px24RGB || image->PixelFormat() == px8g) {
        const bool rgb = image->PixelFormat() == px24RGB;
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = image->RowPointer(y);
            uint8_t* g = gray.data() + size_t(y) * size_t(w);
            if (!rgb) {
                std::memcpy(g, src, size_t(w));
                continue;
            }
            for (int x = 0; x < w; ++x, src += 3)
                g[x] = uint8_t((21 * src[2] + 71 * src[1] + 8 * src[0]) / 100);
        }
    } else {
        TImageBuffer copy;
        if (!copy.Assign(*image) || !copy.ConvertTo(px8g)) {
            FinishOperation();
            return;
        }
        for (int y = 0; y < h; ++y)
            std::memcpy(gray.data() + size_t(y) * size_t(w), copy.RowPointer(y), size_t(w));
    }

    const TPixelFormat format = image->Location() == locTBitmap ? px24RGB : px8g;
    if (!image->Allocate(w, h, format)) {
        FinishOperation();
        return;
    }
    image->Fill(0);
    if (w < 3 || h < 3) {
        FinishOperation();
        return;
    }

    const int channels = format == px24RGB ? 3 : 1;
    const int rows = h - 2;
    // Progress is counted in picture rows: row y finished = trunc(y / H * 100).
    const ops::TRowReport report = [this, h](int row) { RowProgress(row + 1, h); };
    ops::RunBands(rows, bandsFor(*image, rows, int64_t(w) * 8), report, [&](int r0, int r1, int, const ops::TRowTick& tick) {
        std::vector<uint8_t> line(static_cast<size_t>(w));
        for (int y = 1 + r0; y < 1 + r1; ++y) {
            const uint8_t* up = gray.data() + size_t(y - 1) * size_t(w);
            const uint8_t* mid = up + w;
            const uint8_t* down = mid + w;
            for (int x = 1; x < w - 1; ++x) {
                const int gx = up[x + 1] + 2 * mid[x + 1] + down[x + 1] - up[x - 1] - 2 * mid[x - 1] - down[x - 1];
                const int gy = down[x - 1] + 2 * down[x] + down[x + 1] - up[x - 1] - 2 * up[x] - up[x + 1];
                // Strong diagonal steps reach 285: held at 255 so that the
                // strongest edges keep the strongest mask.
                const int v = int(std::sqrt(double(gx * gx + gy * gy))) >> 2;
                line[size_t(x)] = uint8_t(std::min(v, 255));
            }
            uint8_t* dst = image->RowPointer(y);
            if (channels == 1) {
                std::memcpy(dst + 1, line.data() + 1, size_t(w - 2));
            } else {
                for (int x = 1; x < w - 1; ++x)
                    dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = line[size_t(x)];
            }
            tick();
        }
    });
    FinishOperation();
}

// ---- Blur -----------------------------------------------------------------------

namespace {

struct TBlurKernel {
    int Radius = 0;
    std::vector<int32_t> Weights;  // index k + Radius for k = -Radius..Radius
};

TBlurKernel blurKernel(double sigma)
{
    constexpr int kTaps = 100;
    std::array<double, 2 * kTaps + 1> g{};
    double sum = 0.0;
    for (int d = -kTaps; d <= kTaps; ++d) {
        const double t = d / sigma;
        g[size_t(d + kTaps)] = std::exp(-t * t / 2.0);
        sum += g[size_t(d + kTaps)];
    }
    std::array<int32_t, 2 * kTaps + 1> w{};
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = int32_t(ops::RoundHalfEven(65536.0 * g[i] / sum));
    int r = kTaps;
    while (r > 1 && w[size_t(kTaps + r)] == 0 && w[size_t(kTaps - r)] == 0)
        --r;
    TBlurKernel k;
    k.Radius = r;
    k.Weights.assign(w.begin() + (kTaps - r), w.begin() + (kTaps + r + 1));
    return k;
}

// out[j] = (sum over taps of weight * src[j + tap * step] + 32768) >> 16,
// for j = 0..count-1; the tap loop is outside so the inner loop vectorises.
void convolve(const TBlurKernel& kernel, const uint8_t* const* sources, uint8_t* out, size_t count,
              std::vector<int32_t>& acc)
{
    acc.assign(count, 32768);
    int32_t* a = acc.data();
    for (size_t t = 0; t < kernel.Weights.size(); ++t) {
        const int32_t wt = kernel.Weights[t];
        if (wt == 0)
            continue;
        const uint8_t* s = sources[t];
        for (size_t j = 0; j < count; ++j)
            a[j] += wt * s[j];
    }
    for (size_t j = 0; j < count; ++j)
        out[j] = uint8_t(std::min(a[j] >> 16, 255));
}

}  // namespace

void TImageProc::Blur(double sigma)
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "Blur %.15g", sigma);
    TOperation op = BeginOperation(caption, {px24RGB, px8g});
    if (!op.Run)
        return;
    if (!(sigma > 0.0)) {
        EndOperation(op);
        return;
    }
    TImageBuffer& work = *op.Work;
    const int w = work.Width();
    const int h = work.Height();
    const int ch = work.PixelFormat() == px24RGB ? 3 : 1;
    const size_t rowBytes = size_t(w) * size_t(ch);
    const TBlurKernel kernel = blurKernel(sigma);
    const int r = kernel.Radius;
    const int taps = 2 * r + 1;
    const int64_t total = int64_t(w) + h;

    // Rows into a separate plane (edge values repeated), then columns from
    // that plane back into the picture: the same as filtering in place.
    std::vector<uint8_t> plane(rowBytes * size_t(h));
    const ops::TRowReport rowReport = [this, total](int row) { Progress(int(int64_t(row) * 100 / total)); };
    ops::RunBands(h, bandsFor(work, h, int64_t(rowBytes) * taps), rowReport,
                  [&](int y0, int y1, int, const ops::TRowTick& tick) {
        std::vector<uint8_t> padded((size_t(w) + 2 * size_t(r)) * size_t(ch));
        std::vector<const uint8_t*> sources(static_cast<size_t>(taps));
        std::vector<int32_t> acc;
        for (int t = 0; t < taps; ++t)
            sources[size_t(t)] = padded.data() + size_t(t) * size_t(ch);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* src = work.RowPointer(y);
            uint8_t* p = padded.data();
            for (int i = 0; i < r; ++i, p += ch)
                std::memcpy(p, src, size_t(ch));
            std::memcpy(p, src, rowBytes);
            p += rowBytes;
            for (int i = 0; i < r; ++i, p += ch)
                std::memcpy(p, src + rowBytes - size_t(ch), size_t(ch));
            convolve(kernel, sources.data(), plane.data() + size_t(y) * rowBytes, rowBytes, acc);
            tick();
        }
    });
    const ops::TRowReport columnReport = [this, total, w, h](int row) {
        const int64_t column = std::max<int64_t>(0, int64_t(row + 1) * w / h - 1);
        Progress(int((h + column) * 100 / total));
    };
    ops::RunBands(h, bandsFor(work, h, int64_t(rowBytes) * taps), columnReport,
                  [&](int y0, int y1, int, const ops::TRowTick& tick) {
        std::vector<const uint8_t*> sources(static_cast<size_t>(taps));
        std::vector<int32_t> acc;
        for (int y = y0; y < y1; ++y) {
            for (int t = 0; t < taps; ++t)
                sources[size_t(t)] = plane.data() + size_t(std::clamp(y + t - r, 0, h - 1)) * rowBytes;
            convolve(kernel, sources.data(), work.RowPointer(y), rowBytes, acc);
            tick();
        }
    });
    EndOperation(op);
}

// ---- Contrast -------------------------------------------------------------------

void TImageProc::Contrast(int amount)
{
    TOperation op = BeginOperation("Contrast " + std::to_string(amount), {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const int w = work.Width();
    const int h = work.Height();

    // Mean per channel: each row's sum div W, added up, div H.
    std::array<int64_t, 3> total{};
    for (int y = 0; y < h; ++y) {
        const uint8_t* px = work.RowPointer(y);
        std::array<int64_t, 3> row{};
        for (int x = 0; x < w; ++x, px += 3)
            for (int c = 0; c < 3; ++c)
                row[size_t(c)] += px[c];
        for (int c = 0; c < 3; ++c)
            total[size_t(c)] += row[size_t(c)] / w;
    }
    const double factor = amount >= 0 ? (amount / 10.0 + 1.0) : (1.0 - std::sqrt(-double(amount)) / 10.0);
    const int64_t k = int64_t(std::trunc(factor * 65536.0));
    std::array<std::array<uint8_t, 256>, 3> tables{};
    for (int c = 0; c < 3; ++c) {
        const int64_t m = total[size_t(c)] / h;
        for (int i = 0; i < 256; ++i) {
            const int64_t v = m + (i - m) * k / 65536;
            tables[size_t(c)][size_t(i)] = uint8_t(std::clamp<int64_t>(v, 0, 255));
        }
    }
    ops::ForEachRow(work, RowReporter(h), [&](uint8_t* px, int) {
        for (int x = 0; x < w; ++x, px += 3) {
            px[0] = tables[0][px[0]];
            px[1] = tables[1][px[1]];
            px[2] = tables[2][px[2]];
        }
    });
    EndOperation(op);
}

// ---- Sharpen --------------------------------------------------------------------

void TImageProc::Sharpen(int strength, int window)
{
    TOperation op = BeginOperation("Sharpen", {px24RGB});
    if (!op.Run)
        return;
    TImageBuffer& work = *op.Work;
    const int w = work.Width();
    const int h = work.Height();
    const int half = std::max(window / 2, 0);
    const size_t rowBytes = size_t(w) * 3;
    const int64_t s = strength;

    std::vector<uint8_t> result(rowBytes * size_t(h));
    ops::RunBands(h, bandsFor(work, h, int64_t(rowBytes) * (2 * half + 1)), RowReporter(h),
                  [&](int y0, int y1, int, const ops::TRowTick& tick) {
        // Per byte position: the column's sum over the window's rows, and
        // running sums along the row of those and of row y itself.
        std::vector<int32_t> column(rowBytes);
        std::vector<int64_t> boxPrefix(rowBytes + 3), rowPrefix(rowBytes + 3);
        for (int y = y0; y < y1; ++y) {
            const int top = std::max(0, y - half);
            const int bottom = std::min(h - 1, y + half);
            std::fill(column.begin(), column.end(), 0);
            for (int yy = top; yy <= bottom; ++yy) {
                const uint8_t* src = work.RowPointer(yy);
                for (size_t j = 0; j < rowBytes; ++j)
                    column[j] += src[j];
            }
            const uint8_t* row = work.RowPointer(y);
            for (size_t j = 0; j < rowBytes; ++j) {
                boxPrefix[j + 3] = boxPrefix[j] + column[j];
                rowPrefix[j + 3] = rowPrefix[j] + row[j];
            }
            const int64_t windowRows = bottom - top + 1;
            uint8_t* out = result.data() + size_t(y) * rowBytes;
            for (int x = 0; x < w; ++x) {
                const int left = std::max(0, x - half);
                const int right = std::min(w - 1, x + half);
                const int64_t count = int64_t(right - left) * (windowRows - 1);
                for (int c = 0; c < 3; ++c) {
                    const size_t j = size_t(x) * 3 + size_t(c);
                    const size_t a = size_t(left) * 3 + size_t(c), b = size_t(right + 1) * 3 + size_t(c);
                    const int64_t v = row[j];
                    // The window without column x and row y.
                    const int64_t rest = boxPrefix[b] - boxPrefix[a] - column[j] - (rowPrefix[b] - rowPrefix[a]) + v;
                    // No pixel off the cross (a picture one pixel wide or
                    // high): nothing to compare with, the pixel stays.
                    const int64_t mean = count > 0 ? rest / count : v;
                    // trunc(v + (v - mean) * s / 10) in exact integers.
                    const int64_t value = (10 * v + (v - mean) * s) / 10;
                    out[j] = uint8_t(std::clamp<int64_t>(value, 0, 255));
                }
            }
            tick();
        }
    });
    for (int y = 0; y < h; ++y)
        std::memcpy(work.RowPointer(y), result.data() + size_t(y) * rowBytes, rowBytes);
    EndOperation(op);
}

// ---- Sharpening after a resize ----------------------------------------------------

void TImageProc::SharpenAfterResize()
{
    TImageBuffer* picture = host_.Layer(0);
    if (!picture || picture->IsEmpty())
        return;
    const TSharpenStrength strength = SharpenAfterResizeStrength(picture->Width(), picture->Height());
    const int copyLayer = host_.AddLayer();
    const int maskLayer = host_.AddLayer();
    auto dropLayers = [&] {
        host_.SetCurrentLayer(0);
        host_.RemoveLayer(maskLayer);
        host_.RemoveLayer(copyLayer);
    };

    // The mask: edges, spread and strengthened.
    if (!host_.Layer(maskLayer)->Assign(*host_.Layer(0))) {
        dropLayers();
        return;
    }
    host_.SetCurrentLayer(maskLayer);
    Sobel();
    Blur(strength.Sigma);
    Contrast(50);

    // The sharpened copy.
    if (!host_.Layer(copyLayer)->Assign(*host_.Layer(0))) {
        dropLayers();
        return;
    }
    host_.SetCurrentLayer(copyLayer);
    Sharpen(strength.Strength, 5);

    TImageBuffer& copy = *host_.Layer(copyLayer);
    TImageBuffer& mask = *host_.Layer(maskLayer);
    TImageBuffer* alpha = copy.Alpha();
    if (!alpha || copy.PixelFormat() != px24RGB || mask.Width() != copy.Width() || mask.Height() != copy.Height()) {
        dropLayers();
        return;
    }
    const int w = copy.Width();
    const int h = copy.Height();
    const int maskStep = mask.PixelFormat() == px24RGB ? 3 : 1;
    const int maskRed = maskStep == 3 ? 2 : 0;
    bool opaque = true;
    for (int y = 0; y < h; ++y) {
        const uint8_t* m = mask.RowPointer(y) + maskRed;
        uint8_t* a = alpha->RowPointer(y);
        for (int x = 0; x < w; ++x, m += maskStep) {
            a[x] = *m;
            opaque = opaque && *m == 255;
        }
    }
    alpha->SetFullyOpaque(opaque);
    host_.RemoveLayer(maskLayer);

    // Merge: the picture in 24 bits, the copy over it at its alpha.
    auto merged = std::make_unique<TImageBuffer>();
    if (!merged->Assign(*host_.Layer(0)) || !merged->SetPixelFormat(px24RGB)) {
        dropLayers();
        return;
    }
    merged->RemoveAlpha();
    const TImageBuffer& copyAlpha = *copy.ExistingAlpha();
    const size_t rowBytes = size_t(w) * 3;
    ops::RunBands(h, bandsFor(copy, h, int64_t(rowBytes) * 4), ops::TRowReport(),
                  [&](int y0, int y1, int, const ops::TRowTick&) {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* a = copyAlpha.RowPointer(y);
            const uint8_t* top = copy.RowPointer(y);
            uint8_t* dst = merged->RowPointer(y);
            for (size_t j = 0; j < rowBytes; ++j) {
                const int alphaValue = a[j / 3];
                dst[j] = uint8_t((top[j] * alphaValue + dst[j] * (255 - alphaValue) + 127) / 255);
            }
        }
    });
    host_.SetCurrentLayer(0);
    host_.RemoveLayer(copyLayer);
    host_.ReplaceCurrentImage(std::move(merged));
    host_.ImageChanged();
}
