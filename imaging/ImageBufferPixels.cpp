// TImageBuffer: fills, single-pixel access and rectangle copies.
#include "imaging/ImageBuffer.h"

#include "imaging/PixelConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The bytes of one pixel of `format` for a fill value (see Fill).
std::vector<uint8_t> fillPattern(TPixelFormat format, uint32_t value)
{
    const uint8_t r = uint8_t(value), g = uint8_t(value >> 8), b = uint8_t(value >> 16);
    switch (format) {
    case px8p:
    case px8g:
        return {uint8_t(value)};
    case pxGray16: {
        auto v = uint16_t(value);
        std::vector<uint8_t> p(2);
        std::memcpy(p.data(), &v, 2);
        return p;
    }
    case px24RGB:
        return {b, g, r};
    case px32f: {
        float f = float(uint8_t(value)) / 255.0f;
        std::vector<uint8_t> p(4);
        std::memcpy(p.data(), &f, 4);
        return p;
    }
    case pxCMYK:
        return {r, g, b, uint8_t(value >> 24)};
    case pxRGB48: {
        uint16_t v[3] = {uint16_t(r * 257u), uint16_t(g * 257u), uint16_t(b * 257u)};
        std::vector<uint8_t> p(6);
        std::memcpy(p.data(), v, 6);
        return p;
    }
    case pxCIELab:
        return {r, g, b};
    case pxRGB32:
        return {b, g, r, uint8_t(value >> 24)};
    case px1g:
    case pxNone:
        break;
    }
    return {};
}

// Whether a fill value is the brightest the format holds.
bool isMaximum(TPixelFormat format, uint32_t value)
{
    switch (format) {
    case px1g:
        return value != 0;
    case px32f:
        return uint8_t(value) == 255;
    default: {
        std::vector<uint8_t> p = fillPattern(format, value);
        return !p.empty() && std::all_of(p.begin(), p.end(), [](uint8_t v) { return v == 255; });
    }
    }
}

void setBits(uint8_t* row, int x1, int x2, bool on)
{
    for (int x = x1; x <= x2; ++x) {
        uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = on ? uint8_t(row[x >> 3] | mask) : uint8_t(row[x >> 3] & ~mask);
    }
}

// A copy rectangle clipped to a source and a destination size.
struct CopyArea {
    int srcX, srcY, width, height, destX, destY;

    bool clip(int srcW, int srcH, int destW, int destH)
    {
        auto axis = [](int& s, int& d, int& n, int sMax, int dMax) {
            if (s < 0) { d -= s; n += s; s = 0; }
            if (d < 0) { s -= d; n += d; d = 0; }
            n = std::min({n, sMax - s, dMax - d});
            return n > 0;
        };
        return axis(srcX, destX, width, srcW, destW) && axis(srcY, destY, height, srcH, destH);
    }
};

}  // namespace

void TImageBuffer::FillRect(int x1, int y1, int x2, int y2, uint32_t value)
{
    if (IsEmpty())
        return;
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_ - 1);
    y2 = std::min(y2, height_ - 1);
    if (x1 > x2 || y1 > y2)
        return;
    const bool whole = x1 == 0 && y1 == 0 && x2 == width_ - 1 && y2 == height_ - 1;
    const bool maximum = isMaximum(format_, value);
    if (!maximum)
        fullyOpaque_ = false;
    else if (whole)
        fullyOpaque_ = true;

    const std::vector<uint8_t> pattern = fillPattern(format_, value);
    const size_t bpp = pattern.size();
    std::vector<uint8_t> run;
    if (format_ != px1g) {
        run.resize(bpp * size_t(x2 - x1 + 1));
        for (size_t i = 0; i < run.size(); i += bpp)
            std::memcpy(run.data() + i, pattern.data(), bpp);
    }
    for (int y = y1; y <= y2; ++y) {
        uint8_t* row = RowPointer(y);
        if (format_ == px1g)
            setBits(row, x1, x2, value != 0);
        else
            std::memcpy(row + bpp * size_t(x1), run.data(), run.size());
    }
}

void TImageBuffer::Fill(uint32_t value) { FillRect(0, 0, width_ - 1, height_ - 1, value); }

TRGB TImageBuffer::GetPixelRGB(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return TRGB{0, 0, 0};
    uint8_t bgr[3];
    pixelconv::decodeRowToBGR(RowPointer(y), format_, x, 1, Palette(), bgr);
    return TRGB{bgr[0], bgr[1], bgr[2]};
}

void TImageBuffer::SetPixelRGB(int x, int y, TRGB colour)
{
    if (format_ != px24RGB || x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    uint8_t* p = RowPointer(y) + 3 * x;
    p[0] = colour.b;
    p[1] = colour.g;
    p[2] = colour.r;
    if (!(colour.b == 255 && colour.g == 255 && colour.r == 255))
        fullyOpaque_ = false;
}

namespace {

using RectCopy = void (TImageBuffer::*)(TImageBuffer&, int, int, int, int, int, int) const;

// Clips the rectangle to both buffers and hands each pair of rows to
// `copyRow(src, dst, area)`. Within one buffer rows may overlap and a
// file-backed buffer maps one row at a time, so such a copy goes through a
// copy of the rectangle (made by CopyRect, finished by `again`).
template <class CopyRow>
void copyClipped(const TImageBuffer& source, TImageBuffer& dest, CopyArea a, RectCopy again, CopyRow copyRow)
{
    if (!a.clip(source.Width(), source.Height(), dest.Width(), dest.Height()))
        return;
    if (&dest == &source) {
        TImageBuffer part(a.width, a.height, source.PixelFormat());
        source.CopyRect(part, a.srcX, a.srcY, a.width, a.height, 0, 0);
        (part.*again)(dest, 0, 0, a.width, a.height, a.destX, a.destY);
        return;
    }
    for (int y = 0; y < a.height; ++y)
        copyRow(source.RowPointer(a.srcY + y), dest.RowPointer(a.destY + y), a);
}

}  // namespace

void TImageBuffer::CopyRect(TImageBuffer& dest, int srcX, int srcY, int width, int height, int destX,
                            int destY) const
{
    const bool sameFormat = format_ == dest.format_;
    if (IsEmpty() || dest.IsEmpty() || !(sameFormat || (format_ == px1g && dest.format_ == px24RGB)))
        return;
    const size_t bpp = size_t(bitCount_ / 8);
    const TPixelFormat format = format_;
    copyClipped(*this, dest, CopyArea{srcX, srcY, width, height, destX, destY}, &TImageBuffer::CopyRect,
                [&](const uint8_t* src, uint8_t* dst, const CopyArea& a) {
                    if (!sameFormat) {
                        pixelconv::decodeRowToBGR(src, px1g, a.srcX, a.width, nullptr, dst + 3 * size_t(a.destX));
                    } else if (format == px1g) {
                        for (int x = 0; x < a.width; ++x) {
                            int sx = a.srcX + x;
                            setBits(dst, a.destX + x, a.destX + x, (src[sx >> 3] >> (7 - (sx & 7))) & 1);
                        }
                    } else {
                        std::memcpy(dst + bpp * size_t(a.destX), src + bpp * size_t(a.srcX), bpp * size_t(a.width));
                    }
                });
}

void TImageBuffer::CopyAlphaRect(TImageBuffer& dest, int srcX, int srcY, int width, int height, int destX,
                                 int destY) const
{
    if (IsEmpty() || dest.IsEmpty() || format_ != px8g || dest.format_ != px8g)
        return;
    bool anyBelowMax = false;
    copyClipped(*this, dest, CopyArea{srcX, srcY, width, height, destX, destY}, &TImageBuffer::CopyAlphaRect,
                [&](const uint8_t* src, uint8_t* dst, const CopyArea& a) {
                    src += a.srcX;
                    dst += a.destX;
                    for (int x = 0; x < a.width; ++x) {
                        dst[x] = std::max(dst[x], src[x]);
                        anyBelowMax |= dst[x] != 255;
                    }
                });
    if (anyBelowMax)
        dest.SetFullyOpaque(false);
}
