// Rotation by an angle that is no multiple of 90 degrees (at most 45 either
// way once Rotate has taken out the quarter turns), after 0 to 3 quarter
// turns counter-clockwise. Positive = counter-clockwise.
//
//        +--------+               the result is the bounding box of the
//       /  src   /    ->          turned picture; corners it uncovers get
//      +--------+                 the background colour (alpha 255)
//
// The picture becomes 24-bit first (other formats are converted). Each
// destination pixel maps back into the quarter-turned source around both
// centres and is interpolated bilinearly from the four neighbours (8-bit
// weights), or takes the nearest pixel without smoothing; neighbours outside
// the source count as background. The quarter turns are not made: the
// sampling reads the turned picture's pixel (x, y) straight from where it
// lies in the source (see TSourceView). Every row is computed on its own
// from its index, so bands of rows on several threads give the same bytes.
// File-backed pictures, whose rows cannot be reached at random, are left as
// they are.
//
// The turned picture is written straight into the result buffer, and the
// picture it replaces becomes the undo entry without a copy (see
// beginReplacingImage): with a redo entry held, the peak is the picture, the
// redo entry and the result, 3.6 x the picture at 17.5 degrees (or 100, or
// 190 degrees: no quarter-turned copy is held either).
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

// Pixel (x, y) of the source after `quarters` counter-clockwise quarter
// turns, read from the source itself. A quarter turn counter-clockwise
// moves source pixel (x, y) of a W x H picture to (y, W - 1 - x), a half
// turn to (W - 1 - x, H - 1 - y), three quarters (one clockwise) to
// (H - 1 - y, x). After an odd number of quarter turns the turned picture's
// x picks the source row, else its y.
struct TSourceView {
    int width = 0, height = 0;
    bool across = false;
    std::vector<const uint8_t*> line;  // source row, by the coordinate that picks it
    std::vector<std::ptrdiff_t> offset;  // byte offset in that row, by the other coordinate

    TSourceView(TImageBuffer& source, int quarters, int channels)
    {
        const int w = source.Width(), h = source.Height();
        across = quarters % 2 != 0;
        width = across ? h : w;
        height = across ? w : h;
        // Source rows counted from the top (quarter turns 0 and 1) or from
        // the bottom (2 and 3); pixels within a row from the left (0 and 3)
        // or from the right (1 and 2).
        const bool fromBottom = quarters >= 2;
        const bool fromRight = quarters == 1 || quarters == 2;
        line.resize(size_t(h));
        for (int i = 0; i < h; ++i)
            line[size_t(i)] = source.RowPointer(fromBottom ? h - 1 - i : i);
        offset.resize(size_t(w));
        for (int i = 0; i < w; ++i)
            offset[size_t(i)] = std::ptrdiff_t(fromRight ? w - 1 - i : i) * channels;
    }

    const uint8_t* at(int x, int y) const
    {
        return across ? line[size_t(x)] + offset[size_t(y)] : line[size_t(y)] + offset[size_t(x)];
    }
};

// Samples a buffer of `Channels` bytes per pixel; `outside` holds the
// background value of each channel.
template <int Channels>
void rotateRows(const TSourceView& src, uint8_t* const* dst, int y0, int y1, const TRotation& r, bool smooth,
                const uint8_t* outside, const ops::TRowTick& tick)
{
    auto at = [&](int x, int y, int c) -> int {
        if (x < 0 || y < 0 || x >= r.srcW || y >= r.srcH)
            return outside[c];
        return src.at(x, y)[c];
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
                const uint8_t* p00 = src.at(ix, iy);
                const uint8_t* p10 = src.at(ix + 1, iy);
                const uint8_t* p01 = src.at(ix, iy + 1);
                const uint8_t* p11 = src.at(ix + 1, iy + 1);
                for (int c = 0; c < Channels; ++c) {
                    const int top = p00[c] * (256 - fx) + p10[c] * fx;
                    const int bottom = p01[c] * (256 - fx) + p11[c] * fx;
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
void rotateBuffer(TImageBuffer& from, int quarters, TImageBuffer& to, const TRotation& r, bool smooth,
                  const uint8_t* outside, const ops::TRowReport& report)
{
    const TSourceView src(from, quarters, Channels);
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

void TImageProc::rotateFree(TImageBuffer& image, int quarters, double degrees, bool smooth, TColor background)
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
    quarters = ((quarters % 4) + 4) % 4;
    const bool across = quarters % 2 != 0;
    r.srcW = across ? image.Height() : image.Width();
    r.srcH = across ? image.Width() : image.Height();
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
    rotateBuffer<3>(image, quarters, *out, r, smooth, outside, RowReporter(r.dstH));
    if (TImageBuffer* alpha = const_cast<TImageBuffer*>(image.ExistingAlpha())) {
        TImageBuffer* outAlpha = out->Alpha();
        if (!outAlpha)
            return;
        const uint8_t opaque[1] = {255};
        rotateBuffer<1>(*alpha, quarters, *outAlpha, r, smooth, opaque, ops::TRowReport());
        outAlpha->SetFullyOpaque(alpha->FullyOpaque());
    }
    replaceImage(std::move(out));
}
