// Rotation by an angle that is no multiple of 90 degrees (at most 45 either
// way once Rotate has taken out the quarter turns). Positive = counter-clockwise.
//
//        +--------+               the result is the bounding box of the
//       /  src   /    ->          turned picture; corners it uncovers get
//      +--------+                 the background colour (alpha 255)
//
// The picture becomes 24-bit first (other formats are converted). Each
// destination pixel maps back into the source around both centres and is
// interpolated bilinearly from the four neighbours (8-bit weights), or takes
// the nearest pixel without smoothing; neighbours outside the source count as
// background. Every row is computed on its own from its index, so bands of
// rows on several threads give the same bytes. File-backed pictures, whose
// rows cannot be reached at random, are left as they are.
//
// The turned picture is written straight into the result buffer, and the
// picture it replaces becomes the undo entry without a copy (see
// beginReplacingImage): with a redo entry held, the peak is the picture, the
// redo entry and the result, 3.6 x the picture at 17.5 degrees.
#include "imaging/ImageProc.h"
#include "imaging/ops/ColorModels.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr int FracBits = 16;
constexpr int64_t One = int64_t(1) << FracBits;

struct TRotation {
    int srcW, srcH, dstW, dstH;
    double cosA, sinA;
    double srcCx, srcCy, dstCx, dstCy;

    // Source position of destination pixel (0, y) and the step per pixel, in fixed point.
    void rowStart(int y, int64_t& sx, int64_t& sy, int64_t& stepX, int64_t& stepY) const
    {
        const double dx = -dstCx;
        const double dy = y - dstCy;
        sx = std::llround((srcCx + dx * cosA - dy * sinA) * double(One));
        sy = std::llround((srcCy + dx * sinA + dy * cosA) * double(One));
        stepX = std::llround(cosA * double(One));
        stepY = std::llround(sinA * double(One));
    }
};

// Samples a buffer of `channels` bytes per pixel; `outside` holds the
// background value of each channel.
template <int Channels>
void rotateRows(const std::vector<const uint8_t*>& src, uint8_t* const* dst, int y0, int y1, const TRotation& r,
                bool smooth, const uint8_t* outside, const ops::TRowTick& tick)
{
    auto at = [&](int x, int y, int c) -> int {
        if (x < 0 || y < 0 || x >= r.srcW || y >= r.srcH)
            return outside[c];
        return src[size_t(y)][size_t(x) * Channels + size_t(c)];
    };
    for (int y = y0; y < y1; ++y) {
        int64_t sx, sy, stepX, stepY;
        r.rowStart(y, sx, sy, stepX, stepY);
        uint8_t* out = dst[y - y0];
        for (int x = 0; x < r.dstW; ++x, sx += stepX, sy += stepY, out += Channels) {
            if (!smooth) {
                const int nx = int((sx + One / 2) >> FracBits);
                const int ny = int((sy + One / 2) >> FracBits);
                for (int c = 0; c < Channels; ++c)
                    out[c] = uint8_t(at(nx, ny, c));
                continue;
            }
            const int ix = int(sx >> FracBits);
            const int iy = int(sy >> FracBits);
            const int fx = int((sx >> (FracBits - 8)) & 0xFF);
            const int fy = int((sy >> (FracBits - 8)) & 0xFF);
            if (ix >= 0 && iy >= 0 && ix + 1 < r.srcW && iy + 1 < r.srcH) {
                // All four neighbours inside: no border tests.
                const uint8_t* p0 = src[size_t(iy)] + size_t(ix) * Channels;
                const uint8_t* p1 = src[size_t(iy) + 1] + size_t(ix) * Channels;
                for (int c = 0; c < Channels; ++c) {
                    const int top = p0[c] * (256 - fx) + p0[c + Channels] * fx;
                    const int bottom = p1[c] * (256 - fx) + p1[c + Channels] * fx;
                    out[c] = uint8_t((top * (256 - fy) + bottom * fy + 32768) >> 16);
                }
                continue;
            }
            for (int c = 0; c < Channels; ++c) {
                const int top = at(ix, iy, c) * (256 - fx) + at(ix + 1, iy, c) * fx;
                const int bottom = at(ix, iy + 1, c) * (256 - fx) + at(ix + 1, iy + 1, c) * fx;
                out[c] = uint8_t((top * (256 - fy) + bottom * fy + 32768) >> 16);
            }
        }
        tick();
    }
}

template <int Channels>
void rotateBuffer(TImageBuffer& from, TImageBuffer& to, const TRotation& r, bool smooth, const uint8_t* outside,
                  const ops::TRowReport& report)
{
    std::vector<const uint8_t*> src(static_cast<size_t>(from.Height()));
    for (int y = 0; y < from.Height(); ++y)
        src[size_t(y)] = from.RowPointer(y);
    std::vector<uint8_t*> dst(static_cast<size_t>(to.Height()));
    for (int y = 0; y < to.Height(); ++y) {
        dst[size_t(y)] = to.RowPointer(y);
        std::memset(dst[size_t(y)], 0, size_t(to.RowLen()));
    }
    const int bands = ops::PlanBands(to.Height(), to.RowLen(), true);
    ops::RunBands(to.Height(), bands, report, [&](int y0, int y1, int, const ops::TRowTick& tick) {
        rotateRows<Channels>(src, dst.data() + y0, y0, y1, r, smooth, outside, tick);
    });
}

}  // namespace

void TImageProc::rotateFree(TImageBuffer& image, double degrees, bool smooth, TColor background)
{
    if (!ops::RowsShareable(image))
        return;
    if (image.PixelFormat() != px24RGB) {
        settleSnapshot();  // the conversion changes the picture in place
        if (!image.ConvertTo(px24RGB))
            return;
    }
    TRotation r{};
    const double radians = degrees * std::numbers::pi / 180.0;
    r.cosA = std::cos(radians);
    r.sinA = std::sin(radians);
    r.srcW = image.Width();
    r.srcH = image.Height();
    const double w = std::fabs(r.srcW * r.cosA) + std::fabs(r.srcH * r.sinA);
    const double h = std::fabs(r.srcW * r.sinA) + std::fabs(r.srcH * r.cosA);
    r.dstW = std::max(1, int(ops::RoundHalfEven(w)));
    r.dstH = std::max(1, int(ops::RoundHalfEven(h)));
    r.srcCx = (r.srcW - 1) / 2.0;
    r.srcCy = (r.srcH - 1) / 2.0;
    r.dstCx = (r.dstW - 1) / 2.0;
    r.dstCy = (r.dstH - 1) / 2.0;

    auto out = std::make_unique<TImageBuffer>(r.dstW, r.dstH, px24RGB);
    if (out->IsEmpty() || !ops::RowsShareable(*out))
        return;
    const TRGB bg = ColorToTRGB(background);
    const uint8_t outside[3] = {bg.b, bg.g, bg.r};
    rotateBuffer<3>(image, *out, r, smooth, outside, RowReporter(r.dstH));
    if (TImageBuffer* alpha = const_cast<TImageBuffer*>(image.ExistingAlpha())) {
        TImageBuffer* outAlpha = out->Alpha();
        if (!outAlpha)
            return;
        const uint8_t opaque[1] = {255};
        rotateBuffer<1>(*alpha, *outAlpha, r, smooth, opaque, ops::TRowReport());
        outAlpha->SetFullyOpaque(alpha->FullyOpaque());
    }
    replaceImage(std::move(out));
}
