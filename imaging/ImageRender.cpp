// TImageBuffer::RenderToTBitmap: draws a source rectangle scaled into a
// destination rectangle of another buffer.
//
//   source rect (srcW x srcH)          destination rect (destW x destH)
//   +---------+                        +-----------------+
//   |  . . .  |   x = srcX +           |   clipped to    |
//   |  . . .  |   (i * stepX) >> 14    |   the picture   |
//   +---------+                        +-----------------+
//
// With a filter (and a px24RGB or px1g source) the source rectangle is
// resampled to the destination size first and then drawn 1:1. Otherwise
// each destination pixel takes the nearest source pixel; the steps are
// source size / destination size in 14-bit fixed point. Clipping
// keeps those steps, so a partly visible rectangle shows exactly the pixels
// the whole one would. Source positions outside the source picture leave the
// destination as it was.
#include "imaging/ImageBuffer.h"

#include "imaging/PixelConversion.h"
#include "imaging/ops/Resample.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint8_t blendByte(uint8_t src, uint8_t dst, unsigned alpha)
{
    return uint8_t((src * alpha + dst * (255u - alpha) + 127u) / 255u);
}

// Source column of each destination column in [first, last), -1 outside the source.
std::vector<int> sourceTable(int first, int last, int srcStart, int srcSize, int destSize, int srcLimit)
{
    const int64_t step = (int64_t(srcSize) << 14) / destSize;
    std::vector<int> table(size_t(last - first));
    for (int i = first; i < last; ++i) {
        int64_t s = srcStart + ((int64_t(i) * step) >> 14);
        table[size_t(i - first)] = s >= 0 && s < srcLimit ? int(s) : -1;
    }
    return table;
}

}  // namespace

void TImageBuffer::RenderToTBitmap(TImageBuffer& dest, int destX, int destY, int destW, int destH, int srcX,
                                   int srcY, int srcW, int srcH, uint8_t transparency, TResampleFilter filter) const
{
    if (&dest == this || IsEmpty() || dest.IsEmpty() || transparency == 0)
        return;
    if (destW <= 0 || destH <= 0 || srcW <= 0 || srcH <= 0 || destX >= dest.width_ || destY >= dest.height_)
        return;
    const bool sameFormat = format_ == dest.format_;
    const bool toColour = dest.format_ == px24RGB || dest.format_ == pxRGB32;
    if (!sameFormat && !toColour)
        return;
    // A filter scales the source rectangle to the destination size first.
    // Only for a wholly visible destination rectangle: a zoomed-in view would
    // otherwise resample far more pixels than it shows.
    const bool inside = destX >= 0 && destY >= 0 && int64_t(destX) + destW <= dest.width_ &&
                        int64_t(destY) + destH <= dest.height_ && srcX >= 0 && srcY >= 0 &&
                        int64_t(srcX) + srcW <= width_ && int64_t(srcY) + srcH <= height_;
    if (filter != rfNone && (srcW != destW || srcH != destH) && (format_ == px24RGB || format_ == px1g) && toColour &&
        inside) {
        TImageBuffer part(srcW, srcH, format_);
        TImageBuffer scaled;
        if (!part.IsEmpty()) {
            CopyRect(part, srcX, srcY, srcW, srcH, 0, 0);
            if (alpha_ && !alpha_->fullyOpaque_) {
                auto alpha = std::make_unique<TImageBuffer>(srcW, srcH, px8g);
                alpha_->CopyRect(*alpha, srcX, srcY, srcW, srcH, 0, 0);
                part.AdoptAlpha(std::move(alpha));
            }
            if (ops::ResampleInto(part, scaled, destW, destH, filter) && scaled.Width() == destW &&
                scaled.Height() == destH) {
                scaled.RenderToTBitmap(dest, destX, destY, destW, destH, 0, 0, destW, destH, transparency, rfNone);
                return;
            }
        }
        // No memory for the scaled copy: the nearest pixel still draws something.
    }

    const int i0 = std::max(0, -destX), i1 = int(std::min<int64_t>(destW, int64_t(dest.width_) - destX));
    const int j0 = std::max(0, -destY), j1 = int(std::min<int64_t>(destH, int64_t(dest.height_) - destY));
    if (i0 >= i1 || j0 >= j1)
        return;
    const std::vector<int> cols = sourceTable(i0, i1, srcX, srcW, destW, width_);
    const std::vector<int> rows = sourceTable(j0, j1, srcY, srcH, destH, height_);
    const TImageBuffer* alpha = alpha_ && !alpha_->fullyOpaque_ ? alpha_.get() : nullptr;
    const bool blended = transparency < 255 || alpha;
    // Formats whose bytes can be mixed; the others take a pixel when it is
    // at least half opaque.
    const bool mixable = dest.format_ == px8g || dest.format_ == px24RGB || dest.format_ == pxRGB32;
    const bool decode = !sameFormat;
    const size_t srcBpp = size_t(bitCount_ / 8);
    const size_t destBpp = size_t(dest.bitCount_ / 8);

    std::vector<uint8_t> bgr(decode ? size_t(width_) * 3 : 0);
    int decodedRow = -1;
    for (int j = j0; j < j1; ++j) {
        const int sy = rows[size_t(j - j0)];
        if (sy < 0)
            continue;
        const uint8_t* src = RowPointer(sy);
        if (decode && decodedRow != sy) {
            pixelconv::decodeRowToBGR(src, format_, 0, width_, Palette(), bgr.data());
            decodedRow = sy;
        }
        if (decode)
            src = bgr.data();
        const uint8_t* a = alpha ? alpha->RowPointer(sy) : nullptr;
        uint8_t* dst = dest.RowPointer(destY + j);
        for (int i = i0; i < i1; ++i) {
            const int sx = cols[size_t(i - i0)];
            if (sx < 0)
                continue;
            const int dx = destX + i;
            unsigned weight = transparency;
            if (a)
                weight = (weight * a[sx] + 127u) / 255u;
            if (weight == 0)
                continue;
            if (dest.format_ == px1g) {
                if (weight < 128)
                    continue;
                const uint8_t mask = uint8_t(0x80 >> (dx & 7));
                const bool on = (src[sx >> 3] >> (7 - (sx & 7))) & 1;
                dst[dx >> 3] = on ? uint8_t(dst[dx >> 3] | mask) : uint8_t(dst[dx >> 3] & ~mask);
                continue;
            }
            const uint8_t* s = src + (decode ? 3 : srcBpp) * size_t(sx);
            uint8_t* d = dst + destBpp * size_t(dx);
            const size_t bytes = decode ? 3 : srcBpp;
            if (!blended || weight == 255) {
                std::memcpy(d, s, bytes);
            } else if (mixable) {
                for (size_t c = 0; c < bytes; ++c)
                    d[c] = blendByte(s[c], d[c], weight);
            } else if (weight >= 128) {
                std::memcpy(d, s, bytes);
            }
        }
    }
}
