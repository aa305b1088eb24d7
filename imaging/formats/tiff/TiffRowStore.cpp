#include "imaging/formats/tiff/TiffRowStore.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/PixelConversion.h"
#include "imaging/formats/tiff/ChannelSwap.h"
#include "imaging/formats/tiff/TiffYCbCr.h"

namespace tiff {

namespace {

uint8_t clamp255(double v) { return uint8_t(v <= 0.0 ? 0 : v >= 255.0 ? 255 : int(v + 0.5)); }

// ITU-R BT.601 full-range YCbCr, as JPEG and TIFF use it by default.
void ycbcrToRgb(int y, int cb, int cr, uint8_t* r, uint8_t* g, uint8_t* b)
{
    *r = clamp255(y + 1.402 * (cr - 128));
    *g = clamp255(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128));
    *b = clamp255(y + 1.772 * (cb - 128));
}

}  // namespace

TPixelFormat ChooseTiffPixelFormat(int bits, int samples, int photometric, bool native)
{
    if (bits == 1 && samples == 1 && photometric != 3) return px1g;
    if (native) {
        if (bits == 8 && samples == 1 && photometric == 3) return px8p;
        if (bits == 8 && samples == 1 && (photometric == 0 || photometric == 1)) return px8g;
        if (bits == 16 && samples == 1 && (photometric == 0 || photometric == 1)) return pxGray16;
        if (bits == 8 && samples >= 4 && photometric == 5) return pxCMYK;
        if (bits == 16 && samples == 4 && photometric == 5) return pxCMYK;
        if (bits == 16 && samples == 3 && photometric == 2) return pxRGB48;
    }
    return px24RGB;
}

TTiffRowStore::TTiffRowStore(TImageBuffer& buffer, TImageBuffer* alpha, const TSampleLayout& layout)
    : buffer_(buffer), alpha_(alpha), layout_(layout), format_(buffer.PixelFormat()),
      maxValue_((1u << layout.Bits) - 1)
{
}

void TTiffRowStore::unpack(const uint8_t* src, int count)
{
    const size_t n = size_t(count) * size_t(layout_.Samples);
    samples_.resize(n);
    switch (layout_.Bits) {
    case 8:
        for (size_t i = 0; i < n; ++i) samples_[i] = src[i];
        break;
    case 16:
        for (size_t i = 0; i < n; ++i)
            samples_[i] = layout_.BigEndian ? uint16_t(src[2 * i] << 8 | src[2 * i + 1])
                                            : uint16_t(src[2 * i + 1] << 8 | src[2 * i]);
        break;
    default: {
        const unsigned bits = unsigned(layout_.Bits);
        for (size_t i = 0; i < n; ++i) {
            const size_t bit = i * bits;
            const unsigned shift = 8 - bits - unsigned(bit & 7);
            samples_[i] = uint16_t((src[bit >> 3] >> shift) & maxValue_);
        }
        break;
    }
    }
}

void TTiffRowStore::storeBits(uint8_t* dst, int x0, int count, const uint8_t* src) const
{
    const bool invert = layout_.Photometric == 0;
    if ((x0 & 7) == 0) {
        const int bytes = count / 8;
        uint8_t* d = dst + x0 / 8;
        for (int i = 0; i < bytes; ++i) d[i] = invert ? uint8_t(~src[i]) : src[i];
        for (int x = bytes * 8; x < count; ++x) {
            bool bit = ((src[x >> 3] >> (7 - (x & 7))) & 1) != invert;
            const uint8_t mask = uint8_t(0x80 >> (x & 7));
            d[x >> 3] = bit ? uint8_t(d[x >> 3] | mask) : uint8_t(d[x >> 3] & ~mask);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        bool bit = ((src[i >> 3] >> (7 - (i & 7))) & 1) != invert;
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        dst[x >> 3] = bit ? uint8_t(dst[x >> 3] | mask) : uint8_t(dst[x >> 3] & ~mask);
    }
}

void TTiffRowStore::storeRgb(uint8_t* bgr, uint8_t* alpha, int count, const uint8_t* src)
{
    const int n = layout_.Samples;
    const int p = layout_.Photometric;
    // The common case, 8-bit RGB with or without alpha, without unpacking.
    if (layout_.Bits == 8 && p == 2 && !layout_.Premultiplied) {
        if (n == 3 && !alpha) {
            swapRedBlue(src, bgr, size_t(count));
            return;
        }
        for (int i = 0; i < count; ++i, src += n, bgr += 3) {
            bgr[0] = src[2];
            bgr[1] = src[1];
            bgr[2] = src[0];
            if (alpha) alpha[i] = src[3];
        }
        return;
    }
    unpack(src, count);
    const uint16_t* s = samples_.data();
    auto scale = [&](uint32_t v) -> uint8_t {
        if (layout_.Bits == 8) return uint8_t(v);
        if (layout_.Bits == 16) return uint8_t((v + 128) / 257);
        return uint8_t(v * 255 / maxValue_);
    };
    for (int i = 0; i < count; ++i, s += n, bgr += 3) {
        uint8_t r = 0, g = 0, b = 0;
        int alphaIndex = -1;
        switch (p) {
        case 0: case 1: case 4: {
            uint8_t v = scale(s[0]);
            if (p == 0) v = uint8_t(255 - v);
            r = g = b = v;
            alphaIndex = 1;
            break;
        }
        case 3: {
            const TRGB c = layout_.ColorMap[std::min<uint32_t>(s[0], 255)];
            r = c.r;
            g = c.g;
            b = c.b;
            alphaIndex = 1;
            break;
        }
        case 5: {
            const uint8_t cmyk[4] = {scale(s[0]), scale(s[1]), scale(s[2]), scale(s[3])};
            pixelconv::cmykToRgb(cmyk, r, g, b);
            alphaIndex = 4;
            break;
        }
        case 6:
            if (layout_.YCbCr)
                layout_.YCbCr->ToRgb(scale(s[0]), scale(s[1]), scale(s[2]), &r, &g, &b);
            else
                ycbcrToRgb(scale(s[0]), scale(s[1]), scale(s[2]), &r, &g, &b);
            alphaIndex = 3;
            break;
        case 8: {
            // L is unsigned, a and b are signed samples.
            const uint8_t lab[3] = {scale(s[0]), uint8_t(layout_.Bits == 16 ? (s[1] >> 8) : s[1]),
                                    uint8_t(layout_.Bits == 16 ? (s[2] >> 8) : s[2])};
            pixelconv::labToRgb(lab, r, g, b);
            alphaIndex = 3;
            break;
        }
        default:
            r = scale(s[0]);
            g = scale(s[1]);
            b = scale(s[2]);
            alphaIndex = 3;
            break;
        }
        if (alpha && alphaIndex < n) {
            const uint8_t a = scale(s[alphaIndex]);
            alpha[i] = a;
            if (layout_.Premultiplied && a > 0 && a < 255) {
                r = uint8_t(std::min(255u, (r * 255u + a / 2) / a));
                g = uint8_t(std::min(255u, (g * 255u + a / 2) / a));
                b = uint8_t(std::min(255u, (b * 255u + a / 2) / a));
            }
        }
        bgr[0] = b;
        bgr[1] = g;
        bgr[2] = r;
    }
}

void TTiffRowStore::Store(int y, int x0, int count, const uint8_t* src)
{
    if (y < 0 || y >= buffer_.Height() || x0 < 0 || count <= 0 || x0 >= buffer_.Width()) return;
    count = std::min(count, buffer_.Width() - x0);
    uint8_t* alphaRow = alpha_ ? alpha_->RowPointer(y) + x0 : nullptr;
    uint8_t* row = buffer_.RowPointer(y);
    if (!row) return;
    const int n = layout_.Samples;
    switch (format_) {
    case px1g:
        storeBits(row, x0, count, src);
        break;
    case px8p:
        std::memcpy(row + x0, src, size_t(count));
        break;
    case px8g:
        for (int i = 0; i < count; ++i) row[x0 + i] = layout_.Photometric == 0 ? uint8_t(255 - src[i]) : src[i];
        break;
    case pxGray16: {
        unpack(src, count);
        uint16_t* d = reinterpret_cast<uint16_t*>(row) + x0;
        for (int i = 0; i < count; ++i) d[i] = layout_.Photometric == 0 ? uint16_t(65535 - samples_[i]) : samples_[i];
        break;
    }
    case pxRGB48: {
        unpack(src, count);
        uint16_t* d = reinterpret_cast<uint16_t*>(row) + size_t(x0) * 3;
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < 3; ++c) d[3 * i + c] = samples_[size_t(i) * size_t(n) + size_t(c)];
        if (alphaRow && n > 3)
            for (int i = 0; i < count; ++i) alphaRow[i] = uint8_t(samples_[size_t(i) * size_t(n) + 3] >> 8);
        break;
    }
    case pxCMYK: {
        uint8_t* d = row + size_t(x0) * 4;
        if (layout_.Bits == 8) {
            for (int i = 0; i < count; ++i) std::memcpy(d + 4 * i, src + size_t(i) * size_t(n), 4);
        } else {
            unpack(src, count);
            for (int i = 0; i < count; ++i)
                for (int c = 0; c < 4; ++c) d[4 * i + c] = uint8_t(samples_[size_t(i) * size_t(n) + size_t(c)] >> 8);
        }
        break;
    }
    default:
        storeRgb(row + size_t(x0) * 3, alphaRow, count, src);
        break;
    }
}

}  // namespace tiff
