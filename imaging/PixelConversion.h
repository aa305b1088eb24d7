#pragma once
// Row codecs between every pixel format and 24-bit blue-green-red rows, the
// common ground of format conversion, single-pixel reads and rendering.
#include "imaging/ImageBuffer.h"

#include <cstdint>

namespace pixelconv {

// Decodes `count` pixels, starting at pixel `x0` of a row in `format`, into
// blue-green-red triples. `palette` (256 entries) is needed for px8p only.
void decodeRowToBGR(const uint8_t* src, TPixelFormat format, int x0, int count, const TRGB* palette, uint8_t* bgr);

// Encodes blue-green-red triples into a row of another format. px1g and px8p
// need whole-picture decisions and have their own encoders.
class RowEncoder {
public:
    explicit RowEncoder(TPixelFormat format);
    void encode(const uint8_t* bgr, int count, uint8_t* dst) const;

private:
    TPixelFormat format_;
    // Gray weights of the process, as tables: gray = (r + g + b) / 100.
    uint32_t grayR_[256], grayG_[256], grayB_[256];
    // The weights add up to 257 at most: gray sums fit 16 bits.
    bool narrowWeights_ = false;
};

// Encodes blue-green-red rows into px1g by one of the black-and-white methods.
class BlackWhiteEncoder {
public:
    // `threshold` is used by bwThreshold. With `nearWhiteIsWhite` the ordered
    // dither treats pixels whose components are all >= 251 as full white.
    BlackWhiteEncoder(uint8_t method, int threshold, bool nearWhiteIsWhite);
    // Row `y` (0 = top) of the picture; it decides the dither phase.
    void encode(const uint8_t* bgr, int count, int y, uint8_t* dst) const;

private:
    uint8_t method_;
    int threshold_;
    bool nearWhiteIsWhite_;
};

// The 8 x 8 ordered-dither matrix, values 0..63, read as M[(x & 7) * 8 + (y & 7)].
extern const uint8_t kBayer8[64];

// CMYK from and to 8-bit red, green, blue (see PixelConversion.cpp).
void rgbToCmyk(uint8_t r, uint8_t g, uint8_t b, uint8_t* cmyk);
void cmykToRgb(const uint8_t* cmyk, uint8_t& r, uint8_t& g, uint8_t& b);

// CIE L*a*b* bytes from and to 8-bit sRGB.
void rgbToLab(uint8_t r, uint8_t g, uint8_t b, uint8_t* lab);
void labToRgb(const uint8_t* lab, uint8_t& r, uint8_t& g, uint8_t& b);

}  // namespace pixelconv
