// Turns, mirrors and the crop. They act on the whole current picture, never
// on the selection (the crop uses the selection as its frame), keep the
// pixel format, and treat the alpha channel exactly like the pixels.
//
// Quarter turns (W x H source, H x W result):
//
//   counter-clockwise            clockwise
//   (x, y) -> (y, W-1-x)         (x, y) -> (H-1-y, x)
//
//   a b c        c f             a b c        d a
//   d e f   ->   b e             d e f   ->   e b
//                a d                          f c
//
// A half turn and both mirrors work in place, pairs of rows at a time. The
// quarter turn builds the turned picture and hands it to the host; the old
// one is freed at once. Angles that are no multiple of 90 degrees go on to
// FreeRotate.cpp after the quarter turns.
#include "imaging/ImageProc.h"
#include "imaging/ops/ColorModels.h"
#include "imaging/ops/RowCopy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// ---- Quarter turns ------------------------------------------------------------

// Puts source row `x` into destination rows [ya, yb), of which dst[k] is row base + k.
// Counter-clockwise the row becomes column x; clockwise column srcH - 1 - x.
template <size_t BPP>
void placeRow(const uint8_t* s, int x, uint8_t* const* dst, int base, int ya, int yb, int srcW, int srcH, bool ccw)
{
    if (ccw) {
        for (int y = ya; y < yb; ++y)
            std::memcpy(dst[y - base] + size_t(x) * BPP, s + size_t(srcW - 1 - y) * BPP, BPP);
    } else {
        const size_t dx = size_t(srcH - 1 - x) * BPP;
        for (int y = ya; y < yb; ++y)
            std::memcpy(dst[y - base] + dx, s + size_t(y) * BPP, BPP);
    }
}

void placeRowBits(const uint8_t* s, int x, uint8_t* const* dst, int base, int ya, int yb, int srcW, int srcH, bool ccw)
{
    if (ccw) {
        for (int y = ya; y < yb; ++y)
            ops::SetBit(dst[y - base], x, ops::GetBit(s, srcW - 1 - y));
    } else {
        const int dx = srcH - 1 - x;
        for (int y = ya; y < yb; ++y)
            ops::SetBit(dst[y - base], dx, ops::GetBit(s, y));
    }
}

using PlaceFn = void (*)(const uint8_t*, int, uint8_t* const*, int, int, int, int, int, bool);

PlaceFn placeFor(int bitCount)
{
    switch (bitCount) {
    case 1: return placeRowBits;
    case 8: return placeRow<1>;
    case 16: return placeRow<2>;
    case 24: return placeRow<3>;
    case 32: return placeRow<4>;
    case 48: return placeRow<6>;
    default: return nullptr;
    }
}

// Turns `src` into `dst` (already allocated with the swapped size).
void turnInto(TImageBuffer& src, TImageBuffer& dst, bool ccw, const ops::TRowReport& report)
{
    const PlaceFn place = placeFor(src.BitCount());
    if (!place)
        return;
    const int srcW = src.Width(), srcH = src.Height();
    const int rows = dst.Height();  // == srcW
    const size_t dstRowLen = size_t(dst.RowLen());

    if (ops::RowsShareable(src) && ops::RowsShareable(dst)) {
        // All rows addressable: tiles of a few destination rows, read along
        // source rows so both sides stay in cache.
        std::vector<const uint8_t*> srcRows(static_cast<size_t>(srcH));
        for (int y = 0; y < srcH; ++y)
            srcRows[size_t(y)] = src.RowPointer(y);
        std::vector<uint8_t*> dstRows(static_cast<size_t>(rows));
        for (int y = 0; y < rows; ++y)
            dstRows[size_t(y)] = dst.RowPointer(y);
        const int bands = ops::PlanBands(rows, int64_t(dstRowLen), true);
        ops::RunBands(rows, bands, report, [&](int y0, int y1, int, const ops::TRowTick& tick) {
            constexpr int Tile = 16;
            for (int ty = y0; ty < y1; ty += Tile) {
                const int te = std::min(ty + Tile, y1);
                for (int y = ty; y < te; ++y)
                    std::memset(dstRows[size_t(y)], 0, dstRowLen);  // padding too, for stable bytes
                for (int x = 0; x < srcH; ++x)
                    place(srcRows[size_t(x)], x, dstRows.data(), 0, ty, te, srcW, srcH, ccw);
                for (int y = ty; y < te; ++y)
                    tick();
            }
        });
        return;
    }

    // File-backed rows: build strips of destination rows in memory, one
    // sequential pass over the source per strip.
    constexpr size_t StripBytes = size_t(16) << 20;
    const int strip = int(std::clamp<size_t>(StripBytes / std::max<size_t>(dstRowLen, 1), 1, size_t(rows)));
    std::vector<uint8_t> block;
    std::vector<uint8_t*> stripRows(static_cast<size_t>(strip));
    for (int y0 = 0; y0 < rows; y0 += strip) {
        const int y1 = std::min(y0 + strip, rows);
        block.assign(size_t(y1 - y0) * dstRowLen, 0);
        for (int k = 0; k < y1 - y0; ++k)
            stripRows[size_t(k)] = block.data() + size_t(k) * dstRowLen;
        for (int x = 0; x < srcH; ++x)
            place(src.RowPointer(x), x, stripRows.data(), y0, y0, y1, srcW, srcH, ccw);
        for (int y = y0; y < y1; ++y) {
            std::memcpy(dst.RowPointer(y), stripRows[size_t(y - y0)], dstRowLen);
            if (report)
                report(y);
        }
    }
}

// A turned copy of `image` (and its alpha channel); nullptr when memory is short.
std::unique_ptr<TImageBuffer> quarterTurn(TImageBuffer& image, bool ccw, const ops::TRowReport& report)
{
    auto out = std::make_unique<TImageBuffer>(image.Height(), image.Width(), image.PixelFormat());
    if (out->IsEmpty() || !placeFor(image.BitCount()))
        return nullptr;
    if (image.Palette())
        out->SetPalette(image.Palette(), image.PaletteCount());
    out->SetBlackWhiteMethod(image.BlackWhiteMethod());
    out->SetReduceColors(image.ReduceColors());
    turnInto(image, *out, ccw, report);
    if (TImageBuffer* alpha = const_cast<TImageBuffer*>(image.ExistingAlpha())) {
        TImageBuffer* outAlpha = out->Alpha();
        if (!outAlpha)
            return nullptr;
        turnInto(*alpha, *outAlpha, ccw, ops::TRowReport());
        outAlpha->SetFullyOpaque(alpha->FullyOpaque());
    }
    out->SetFullyOpaque(image.FullyOpaque());
    return out;
}

// ---- Row pairs: half turn and upside down --------------------------------------

// For every pair (y, rows-1-y) with y <= rows-1-y: both rows are read into
// copies, then row y gets transform(copy of the other) and vice versa.
// Copies keep at most one row of a file-backed buffer mapped at a time.
void swapRowPairs(TImageBuffer& image, bool reverse, const ops::TRowReport& report)
{
    const int rows = image.Height();
    const int width = image.Width();
    const int bits = image.BitCount();
    const size_t len = size_t(image.RowLen());
    const int pairs = (rows + 1) / 2;
    const int bands = ops::PlanBands(pairs, int64_t(len) * 2, ops::RowsShareable(image));
    ops::RunBands(pairs, bands, report, [&](int p0, int p1, int, const ops::TRowTick& tick) {
        std::vector<uint8_t> a(len), b(len);
        for (int y = p0; y < p1; ++y) {
            const int other = rows - 1 - y;
            std::memcpy(a.data(), image.RowPointer(y), len);
            std::memcpy(b.data(), image.RowPointer(other), len);
            if (reverse) {
                ops::ReversePixelsInto(b.data(), image.RowPointer(y), width, bits);
                if (other != y)
                    ops::ReversePixelsInto(a.data(), image.RowPointer(other), width, bits);
            } else if (other != y) {
                std::memcpy(image.RowPointer(y), b.data(), len);
                std::memcpy(image.RowPointer(other), a.data(), len);
            }
            tick();
        }
    });
}

void mirrorRows(TImageBuffer& image, const ops::TRowReport& report)
{
    const int width = image.Width();
    const int bits = image.BitCount();
    auto mirror = [&](uint8_t* row, int) {
        switch (bits) {
        case 8: ops::MirrorBytes<1>(row, width); break;
        case 16: ops::MirrorBytes<2>(row, width); break;
        case 24: ops::MirrorBytes<3>(row, width); break;
        case 32: ops::MirrorBytes<4>(row, width); break;
        case 48: ops::MirrorBytes<6>(row, width); break;
        default: {
            // px1g: reversed and realigned bit by bit
            std::vector<uint8_t> src(row, row + (size_t(width) + 7) / 8);
            ops::ReversePixelsInto(src.data(), row, width, bits);
        }
        }
    };
    ops::ForEachRow(image, report, mirror);
}

// Applies `fn` to the picture, then to its alpha channel (without progress).
template <class Fn>
void withAlpha(TImageBuffer& image, Fn&& fn, const ops::TRowReport& report)
{
    fn(image, report);
    if (TImageBuffer* alpha = const_cast<TImageBuffer*>(image.ExistingAlpha()))
        fn(*alpha, ops::TRowReport());
}

std::string rotateCaption(double angle)
{
    char text[64];
    std::snprintf(text, sizeof text, "Rotate %.15g", angle);
    return text;
}

// ---- Crop ----------------------------------------------------------------------

// The bytes (or, for px1g, the bit in byte 0) of one pixel of `format` that
// shows `colour`.
std::vector<uint8_t> pixelOf(TColor colour, TPixelFormat format, const TRGB* palette, int paletteCount)
{
    const TRGB c = ColorToTRGB(colour);
    if (format == px1g)
        return {uint8_t((c.r * 21 + c.g * 71 + c.b * 8) / 100 >= 128 ? 1 : 0)};
    if (format == px8p) {
        // nearest palette entry
        int best = 0;
        int bestDistance = INT32_MAX;
        for (int i = 0; palette && i < paletteCount; ++i) {
            const int dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return {uint8_t(best)};
    }
    // Every other format: let the buffer's own conversion speak.
    TImageBuffer one(1, 1, px24RGB);
    one.Fill(colour);
    if (!one.ConvertTo(format))
        return std::vector<uint8_t>(size_t(std::max(PixelFormatBitCount(format) / 8, 1)), 0);
    const uint8_t* p = one.RowPointer(0);
    return std::vector<uint8_t>(p, p + PixelFormatBitCount(format) / 8);
}

void fillRow(uint8_t* row, int width, int bits, const std::vector<uint8_t>& pixel)
{
    if (bits == 1) {
        for (int x = 0; x < width; ++x)
            ops::SetBit(row, x, pixel[0] != 0);
        return;
    }
    for (int x = 0; x < width; ++x)
        std::memcpy(row + size_t(x) * pixel.size(), pixel.data(), pixel.size());
}

// Copies the covered pixels of rectangle (x0, y0, w x h) of `from` into `to`,
// pre-filling each row with `fill`.
void cropInto(TImageBuffer& from, TImageBuffer& to, int x0, int y0, const TSelection& sel,
              const std::vector<uint8_t>& fill)
{
    const int w = to.Width();
    const int bits = from.BitCount();
    std::vector<uint8_t> row(static_cast<size_t>(from.RowLen()));
    std::vector<uint8_t> out(size_t(to.RowLen()), 0);
    for (int y = 0; y < to.Height(); ++y) {
        std::memcpy(row.data(), from.RowPointer(y0 + y), row.size());
        fillRow(out.data(), w, bits, fill);
        ops::CopyCovered(row.data(), x0, out.data(), 0, w, bits, [&](int x) { return sel.Covers(x0 + x, y0 + y); });
        std::memcpy(to.RowPointer(y), out.data(), out.size());
    }
}

}  // namespace

void TImageProc::Rotate(double angle, bool smooth, int smoothMode, int64_t background)
{
    (void)smoothMode;  // one smoothing method serves all modes
    if (angle == 0 || !std::isfinite(angle))
        return;
    // Thousandths of a degree within a full turn; whole quarter turns first,
    // leaving at most 45 degrees either way.
    int64_t milli = std::llround(std::fmod(angle, 360.0) * 1000.0) % 360000;
    int quarters = 0;  // counter-clockwise
    while (milli > 45000) {
        ++quarters;
        milli -= 90000;
    }
    while (milli < -45000) {
        --quarters;
        milli += 90000;
    }
    quarters = ((quarters % 4) + 4) % 4;

    // A free turn reads its quarter turns straight from the picture, so no
    // turned copy is held while it runs. File-backed pictures, which the free
    // turn leaves alone, take the quarter turns only.
    const TImageBuffer* current = host_.CurrentImage();
    const bool freeTurn = milli != 0 && current && ops::RowsShareable(*current);
    // Turns that build a new picture keep the one they replace as the undo
    // entry instead of copying it first; the half turn alone works in place.
    const std::string caption = rotateCaption(angle);
    TImageBuffer* image = quarters == 2 && !freeTurn ? beginWholeImage(caption) : beginReplacingImage(caption);
    if (!image)
        return;
    const TColor bg = background < 0 ? host_.BackgroundColor() : TColor(background & 0xFFFFFF);
    if (freeTurn) {
        rotateFree(*image, quarters, double(milli) / 1000.0, smooth, bg);
        FinishOperation();
        return;
    }

    const ops::TRowReport report = RowReporter(quarters == 2 ? (image->Height() + 1) / 2 : image->Width());
    if (quarters == 2) {
        withAlpha(*image, [](TImageBuffer& b, const ops::TRowReport& r) { swapRowPairs(b, true, r); }, report);
    } else if (quarters != 0) {
        std::unique_ptr<TImageBuffer> turned = quarterTurn(*image, quarters == 1, report);
        if (!turned) {
            FinishOperation();
            return;
        }
        replaceImage(std::move(turned));
        image = host_.CurrentImage();
    }
    if (milli != 0 && image)
        rotateFree(*image, 0, double(milli) / 1000.0, smooth, bg);
    FinishOperation();
}

void TImageProc::Flip(int direction)
{
    if (direction != 0 && direction != 1)
        return;
    TImageBuffer* image = beginWholeImage("Flip");
    if (!image)
        return;
    if (direction == 0)
        withAlpha(*image, [](TImageBuffer& b, const ops::TRowReport& r) { mirrorRows(b, r); },
                  RowReporter(image->Height()));
    else
        withAlpha(*image, [](TImageBuffer& b, const ops::TRowReport& r) { swapRowPairs(b, false, r); },
                  RowReporter((image->Height() + 1) / 2));
    FinishOperation();
}

void TImageProc::CropSel()
{
    TImageBuffer* image = beginWholeImage("CropSel");
    if (!image)
        return;
    const TSelection sel = host_.Selection();
    // The crop never reaches past the picture.
    const int x0 = std::max(sel.Left, 0);
    const int y0 = std::max(sel.Top, 0);
    const int x1 = std::min(sel.Right, image->Width() - 1);
    const int y1 = std::min(sel.Bottom, image->Height() - 1);
    if (sel.IsEmpty() || x0 > x1 || y0 > y1) {
        FinishOperation();
        return;
    }
    auto out = std::make_unique<TImageBuffer>(x1 - x0 + 1, y1 - y0 + 1, image->PixelFormat());
    if (out->IsEmpty()) {
        FinishOperation();
        return;
    }
    if (image->Palette())
        out->SetPalette(image->Palette(), image->PaletteCount());
    out->SetBlackWhiteMethod(image->BlackWhiteMethod());
    out->SetReduceColors(image->ReduceColors());

    const std::vector<uint8_t> fill =
        pixelOf(host_.BackgroundColor(), image->PixelFormat(), image->Palette(), image->PaletteCount());
    cropInto(*image, *out, x0, y0, sel, fill);
    out->SetFullyOpaque(image->FullyOpaque() && sel.IsRectangle());
    if (TImageBuffer* alpha = const_cast<TImageBuffer*>(image->ExistingAlpha())) {
        TImageBuffer* outAlpha = out->Alpha();
        if (!outAlpha) {
            FinishOperation();
            return;
        }
        // Pixels outside the mask show the opaque background.
        cropInto(*alpha, *outAlpha, x0, y0, sel, std::vector<uint8_t>{255});
        outAlpha->SetFullyOpaque(alpha->FullyOpaque());
    }
    host_.ReplaceCurrentImage(std::move(out));
    FinishOperation();
}
