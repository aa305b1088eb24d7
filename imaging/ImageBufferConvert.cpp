// TImageBuffer::ConvertTo: the old storage is set aside, new storage of the
// same size is allocated in the target format, and every row is converted.
// Most pairs go through a blue-green-red row; a few pairs have direct paths,
// either because the rule is defined on the source values (px1g, px8g into a
// palette) or to keep 16-bit and float precision between wide formats.
#include "imaging/ImageBuffer.h"

#include "imaging/ColorQuantizer.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"
#include "imaging/RowFileBuffer.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Colour reduction of a px24RGB picture into an allocated px8p buffer of the
// same size: fills the palette, PaletteCount and every index.
bool quantizeToPalette(const TImageBuffer& source, TImageBuffer& target, int colors)
{
    TColorQuantizer quantizer(source, colors);
    uint8_t savedAccess = target.RowAccess();
    target.SetRowAccess(raWrite);
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* row = source.RowPointer(y);
        uint8_t* indices = target.RowPointer(y);
        if (!row || !indices)
            return false;
        quantizer.MapRow(row, indices, source.Width());
    }
    target.SetRowAccess(savedAccess);  // writes the last mapped row back
    target.SetPalette(quantizer.Palette(), quantizer.PaletteCount());
    return true;
}

uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

float loadFloat(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

// Direct row paths. Returns false when the pair has none.
bool convertRowDirect(const uint8_t* src, TPixelFormat from, uint8_t* dst, TPixelFormat to, int width)
{
    if ((from == px1g || from == px8g) && to == px8p) {
        if (from == px8g) {
            std::memcpy(dst, src, size_t(width));
        } else {
            for (int x = 0; x < width; ++x)
                dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        }
        return true;
    }
    if (from == pxGray16 && to == pxRGB48) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                std::memcpy(dst + 6 * x + 2 * c, src + 2 * x, 2);
        return true;
    }
    if ((from == pxGray16 || from == pxRGB48) && to == px32f) {
        for (int x = 0; x < width; ++x) {
            double v = from == pxGray16 ? load16(src + 2 * x)
                                        : 0.2126 * load16(src + 6 * x) + 0.7152 * load16(src + 6 * x + 2) +
                                              0.0722 * load16(src + 6 * x + 4);
            float f = float(v / 65535.0);
            std::memcpy(dst + 4 * x, &f, 4);
        }
        return true;
    }
    if (from == pxRGB48 && to == pxGray16) {
        // The 8-bit weights times 257 are 212, 713 and 75 per mille.
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = src + 6 * x;
            auto v = uint16_t((212u * load16(p) + 713u * load16(p + 2) + 75u * load16(p + 4)) / 1000u);
            std::memcpy(dst + 2 * x, &v, 2);
        }
        return true;
    }
    if (from == px32f && to == pxGray16) {
        for (int x = 0; x < width; ++x) {
            double v = loadFloat(src + 4 * x);
            v = v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0;
            auto g = uint16_t(std::nearbyint(v * 65535.0));
            std::memcpy(dst + 2 * x, &g, 2);
        }
        return true;
    }
    return false;
}

// Threshold of the mean-gray method: the gray of the picture's mean colour.
int meanGrayThreshold(const TImageBuffer& picture, std::vector<uint8_t>& bgr)
{
    uint64_t sum[3] = {0, 0, 0};
    int width = picture.Width();
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* row = picture.RowPointer(y);
        const uint8_t* pixels = row;
        if (picture.PixelFormat() != px24RGB) {
            pixelconv::decodeRowToBGR(row, picture.PixelFormat(), 0, width, picture.Palette(), bgr.data());
            pixels = bgr.data();
        }
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += pixels[3 * x + c];
    }
    uint64_t count = uint64_t(width) * uint64_t(picture.Height());
    return GrayOf(uint8_t(sum[2] / count), uint8_t(sum[1] / count), uint8_t(sum[0] / count));
}

}  // namespace

bool TImageBuffer::ConvertTo(TPixelFormat format)
{
    if (IsEmpty() || format == pxNone || format >= PixelFormatCount)
        return false;
    if (format == format_)
        return true;
    if (location_ == locTBitmap)
        checkDeviceBitmapFormat(format);
    if (format == px8p && format_ != px1g && format_ != px8g) {
        const TImageBuffer* source = this;
        TImageBuffer rgb;
        if (format_ != px24RGB) {
            rgb.tempFileThreshold_ = tempFileThreshold_;
            if (!rgb.CopyFrom(*this) || !rgb.ConvertTo(px24RGB))
                return false;
            source = &rgb;
        }
        TImageBuffer indexed;
        indexed.rowAlignBits_ = rowAlignBits_;
        indexed.tempFileThreshold_ = tempFileThreshold_;
        try {
            if (!indexed.allocateStorage(width_, height_, px8p, location_, false) ||
                !quantizeToPalette(*source, indexed, reduceColors_))
                return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        indexed.rowAccess_ = rowAccess_;
        swapStorage(indexed);
        return true;
    }
    return convertStorage(format);
}

bool TImageBuffer::convertStorage(TPixelFormat format)
{
    // The work row first: once the old storage is set aside nothing may fail
    // but the allocation, which hands it back.
    std::vector<uint8_t> bgr;
    try {
        bgr.resize(size_t(width_) * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    TImageBuffer old;
    old.tempFileThreshold_ = tempFileThreshold_;
    swapStorage(old);
    rowAlignBits_ = old.rowAlignBits_;
    rowAccess_ = old.rowAccess_;
    if (!allocateStorage(old.width_, old.height_, format, old.location_, false)) {
        swapStorage(old);
        return false;
    }
    format = format_;  // a device bitmap may have chosen px8g for pxGray16
    const TPixelFormat from = old.format_;
    const int width = width_;
    old.rowAccess_ = raRead;
    const uint8_t savedAccess = rowAccess_;
    rowAccess_ = raWrite;

    pixelconv::RowEncoder encoder(format);
    int threshold = 0;
    if (format == px1g && blackWhiteMethod_ == bwThreshold)
        threshold = meanGrayThreshold(old, bgr);
    pixelconv::BlackWhiteEncoder blackWhite(blackWhiteMethod_, threshold, old.location_ == locTBitmap);

    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = old.RowPointer(y);
        uint8_t* dst = RowPointer(y);
        if (convertRowDirect(src, from, dst, format, width))
            continue;
        const uint8_t* pixels = src;
        if (from != px24RGB) {
            pixelconv::decodeRowToBGR(src, from, 0, width, old.Palette(), bgr.data());
            pixels = bgr.data();
        }
        if (format == px1g)
            blackWhite.encode(pixels, width, y, dst);
        else
            encoder.encode(pixels, width, dst);
    }
    if (rowFile_)
        rowFile_->Flush(rowAccess_);
    rowAccess_ = savedAccess;

    if (format == px8p) {
        if (from == px1g) {
            palette_[0] = TRGB{0, 0, 0};
            palette_[1] = TRGB{255, 255, 255};
            paletteCount_ = 2;
        } else {
            for (int i = 0; i < 256; ++i)
                palette_[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        }
    }
    return true;
}

bool TImageBuffer::SetPixelFormat(TPixelFormat format)
{
    return format == format_ || ConvertTo(format);
}
