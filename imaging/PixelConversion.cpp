// Row codecs: every pixel format to and from blue-green-red triples.
//
// Choices for the formats whose rules are ours to pick:
//  - 16-bit values become 8-bit by rounding v / 257; 8-bit become 16-bit by * 257.
//  - Float gray is clamped to 0..1 (NaN counts as 0) and rounded v * 255.
//  - CMYK is stored without inversion (0 = no ink) and uses the plain
//    undercolour model: K = 255 - max(R, G, B) and, for each ink,
//    C = round((max - R) * 255 / max); back: R = round((255 - C) * (255 - K) / 255).
//    Pure black is (0, 0, 0, 255).
#include "imaging/PixelConversion.h"

#include "imaging/ImagingSettings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pixelconv {

const uint8_t kBayer8[64] = {
    0,  32, 8,  40, 2,  34, 10, 42,  //
    48, 16, 56, 24, 50, 18, 58, 26,  //
    12, 44, 4,  36, 14, 46, 6,  38,  //
    60, 28, 52, 20, 62, 30, 54, 22,  //
    3,  35, 11, 43, 1,  33, 9,  41,  //
    51, 19, 59, 27, 49, 17, 57, 25,  //
    15, 47, 7,  39, 13, 45, 5,  37,  //
    63, 31, 55, 23, 61, 29, 53, 21,
};

namespace {

uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

float loadFloat(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

void storeFloat(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

uint8_t from16(uint16_t v) { return uint8_t((v + 128u) / 257u); }

double clampUnit(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }  // NaN -> 0

uint8_t unitToByte(double v) { return uint8_t(std::nearbyint(clampUnit(v) * 255.0)); }

void putBGR(uint8_t* p, uint8_t r, uint8_t g, uint8_t b)
{
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

// sRGB component (byte) to linear light, by the sRGB transfer curve.
const double* linearTable()
{
    static const auto table = [] {
        static double t[256];
        for (int i = 0; i < 256; ++i) {
            double c = i / 255.0;
            t[i] = c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

double labF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

double labFInverse(double f)
{
    double f3 = f * f * f;
    return f3 > 0.008856 ? f3 : (f - 16.0 / 116.0) / 7.787;
}

uint8_t encodeSrgb(double c)
{
    c = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
    double v = std::nearbyint(c * 255.0);
    return uint8_t(v > 0.0 ? (v < 255.0 ? v : 255.0) : 0.0);  // NaN -> 0
}

int8_t truncSigned(double v)
{
    v = std::trunc(v);
    return int8_t(v > -128.0 ? (v < 127.0 ? v : 127.0) : -128.0);
}

// Gray of a row with weights whose sum is at most 257, so that every sum fits
// 16 bits. Kept free of tables so the compiler can vectorise it; the clones
// pick the widest instructions the processor has at run time.
// Sanitizer builds keep one plain version: run-time dispatch resolves before
// the sanitizer runtime starts.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARON_NO_CLONES 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TESSARON_NO_CLONES 1
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TESSARON_NO_CLONES)
__attribute__((target_clones("avx2", "ssse3", "default")))
#endif
void grayRow16(const uint8_t* __restrict bgr, uint8_t* __restrict dst, int count, uint16_t wb, uint16_t wg,
               uint16_t wr)
{
    for (int i = 0; i < count; ++i) {
        const auto sum = uint16_t(wb * bgr[3 * i] + wg * bgr[3 * i + 1] + wr * bgr[3 * i + 2]);
        const auto v = uint16_t(sum / 100u);
        dst[i] = uint8_t(v < 255u ? v : 255u);
    }
}

}  // namespace

void rgbToCmyk(uint8_t r, uint8_t g, uint8_t b, uint8_t* cmyk)
{
    unsigned mx = std::max({r, g, b});
    if (mx == 0) {
        cmyk[0] = cmyk[1] = cmyk[2] = 0;
        cmyk[3] = 255;
        return;
    }
    cmyk[0] = uint8_t(((mx - r) * 255u + mx / 2) / mx);
    cmyk[1] = uint8_t(((mx - g) * 255u + mx / 2) / mx);
    cmyk[2] = uint8_t(((mx - b) * 255u + mx / 2) / mx);
    cmyk[3] = uint8_t(255 - mx);
}

void cmykToRgb(const uint8_t* cmyk, uint8_t& r, uint8_t& g, uint8_t& b)
{
    unsigned white = 255u - cmyk[3];
    r = uint8_t(((255u - cmyk[0]) * white + 127) / 255);
    g = uint8_t(((255u - cmyk[1]) * white + 127) / 255);
    b = uint8_t(((255u - cmyk[2]) * white + 127) / 255);
}

void rgbToLab(uint8_t r, uint8_t g, uint8_t b, uint8_t* lab)
{
    const double* lin = linearTable();
    double R = lin[r], G = lin[g], B = lin[b];
    double X = (0.412453 * R + 0.35758 * G + 0.180423 * B) / 0.95047;
    double Y = 0.212671 * R + 0.71516 * G + 0.072169 * B;
    double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088883;
    double fy = labF(Y);
    double L = Y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * Y;
    double lByte = std::trunc(L * 255.0 / 100.0);
    lab[0] = uint8_t(lByte > 0.0 ? (lByte < 255.0 ? lByte : 255.0) : 0.0);
    lab[1] = uint8_t(truncSigned(500.0 * (labF(X) - fy)));
    lab[2] = uint8_t(truncSigned(200.0 * (fy - labF(Z))));
}

void labToRgb(const uint8_t* lab, uint8_t& r, uint8_t& g, uint8_t& b)
{
    double fy = (lab[0] * 100.0 / 255.0 + 16.0) / 116.0;
    double fx = fy + int8_t(lab[1]) / 500.0;
    double fz = fy - int8_t(lab[2]) / 200.0;
    double X = labFInverse(fx) * 0.95047;
    double Y = labFInverse(fy);
    double Z = labFInverse(fz) * 1.08883;
    r = encodeSrgb(3.2406 * X - 1.5372 * Y - 0.4986 * Z);
    g = encodeSrgb(-0.9689 * X + 1.8758 * Y + 0.0415 * Z);
    b = encodeSrgb(0.0557 * X - 0.2040 * Y + 1.0570 * Z);
}

void decodeRowToBGR(const uint8_t* src, TPixelFormat format, int x0, int count, const TRGB* palette, uint8_t* bgr)
{
    switch (format) {
    case px1g:
        for (int i = 0; i < count; ++i) {
            int x = x0 + i;
            uint8_t v = (src[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
            putBGR(bgr + 3 * i, v, v, v);
        }
        break;
    case px8p:
        for (int i = 0; i < count; ++i) {
            TRGB c = palette ? palette[src[x0 + i]] : TRGB{0, 0, 0};
            putBGR(bgr + 3 * i, c.r, c.g, c.b);
        }
        break;
    case px8g:
        for (int i = 0; i < count; ++i) {
            uint8_t v = src[x0 + i];
            putBGR(bgr + 3 * i, v, v, v);
        }
        break;
    case pxGray16:
        for (int i = 0; i < count; ++i) {
            uint8_t v = from16(load16(src + 2 * (x0 + i)));
            putBGR(bgr + 3 * i, v, v, v);
        }
        break;
    case px24RGB:
        std::memcpy(bgr, src + 3 * int64_t(x0), size_t(count) * 3);
        break;
    case px32f:
        for (int i = 0; i < count; ++i) {
            uint8_t v = unitToByte(loadFloat(src + 4 * (x0 + i)));
            putBGR(bgr + 3 * i, v, v, v);
        }
        break;
    case pxCMYK:
        for (int i = 0; i < count; ++i) {
            uint8_t r, g, b;
            cmykToRgb(src + 4 * (x0 + i), r, g, b);
            putBGR(bgr + 3 * i, r, g, b);
        }
        break;
    case pxRGB48:
        for (int i = 0; i < count; ++i) {
            const uint8_t* p = src + 6 * (x0 + i);
            putBGR(bgr + 3 * i, from16(load16(p)), from16(load16(p + 2)), from16(load16(p + 4)));
        }
        break;
    case pxCIELab:
        for (int i = 0; i < count; ++i) {
            uint8_t r, g, b;
            labToRgb(src + 3 * (x0 + i), r, g, b);
            putBGR(bgr + 3 * i, r, g, b);
        }
        break;
    case pxRGB32:
        for (int i = 0; i < count; ++i) {
            const uint8_t* p = src + 4 * (x0 + i);
            putBGR(bgr + 3 * i, p[2], p[1], p[0]);
        }
        break;
    case pxNone:
        std::memset(bgr, 0, size_t(count) * 3);
        break;
    }
}

RowEncoder::RowEncoder(TPixelFormat format) : format_(format)
{
    const TImagingSettings& s = ImagingSettings();
    for (uint32_t i = 0; i < 256; ++i) {
        grayR_[i] = uint32_t(std::max(0, s.GrayWeightRed)) * i;
        grayG_[i] = uint32_t(std::max(0, s.GrayWeightGreen)) * i;
        grayB_[i] = uint32_t(std::max(0, s.GrayWeightBlue)) * i;
    }
    narrowWeights_ = grayR_[1] + grayG_[1] + grayB_[1] <= 257;
}

void RowEncoder::encode(const uint8_t* bgr, int count, uint8_t* dst) const
{
    switch (format_) {
    case px8g:
        if (narrowWeights_) {
            grayRow16(bgr, dst, count, uint16_t(grayB_[1]), uint16_t(grayG_[1]), uint16_t(grayR_[1]));
            break;
        }
        for (int i = 0; i < count; ++i, bgr += 3) {
            uint32_t v = (grayB_[bgr[0]] + grayG_[bgr[1]] + grayR_[bgr[2]]) / 100u;
            dst[i] = uint8_t(v < 255u ? v : 255u);
        }
        break;
    case pxGray16:
        for (int i = 0; i < count; ++i, bgr += 3)
            store16(dst + 2 * i, uint16_t((54484u * bgr[2] + 183241u * bgr[1] + 19275u * bgr[0]) / 1000u));
        break;
    case px24RGB:
        std::memcpy(dst, bgr, size_t(count) * 3);
        break;
    case px32f:
        for (int i = 0; i < count; ++i, bgr += 3)
            storeFloat(dst + 4 * i, float((0.2126 * bgr[2] + 0.7152 * bgr[1] + 0.0722 * bgr[0]) / 255.0));
        break;
    case pxCMYK:
        for (int i = 0; i < count; ++i, bgr += 3)
            rgbToCmyk(bgr[2], bgr[1], bgr[0], dst + 4 * i);
        break;
    case pxRGB48:
        for (int i = 0; i < count; ++i, bgr += 3) {
            store16(dst + 6 * i, uint16_t(bgr[2] * 257u));
            store16(dst + 6 * i + 2, uint16_t(bgr[1] * 257u));
            store16(dst + 6 * i + 4, uint16_t(bgr[0] * 257u));
        }
        break;
    case pxCIELab:
        for (int i = 0; i < count; ++i, bgr += 3)
            rgbToLab(bgr[2], bgr[1], bgr[0], dst + 3 * i);
        break;
    case pxRGB32:
        for (int i = 0; i < count; ++i, bgr += 3) {
            uint8_t* p = dst + 4 * i;
            p[0] = bgr[0];
            p[1] = bgr[1];
            p[2] = bgr[2];
            p[3] = 255;
        }
        break;
    case pxNone:
    case px1g:
    case px8p:
        break;
    }
}

BlackWhiteEncoder::BlackWhiteEncoder(uint8_t method, int threshold, bool nearWhiteIsWhite)
    : method_(method), threshold_(threshold), nearWhiteIsWhite_(nearWhiteIsWhite)
{
}

void BlackWhiteEncoder::encode(const uint8_t* bgr, int count, int y, uint8_t* dst) const
{
    std::memset(dst, 0, size_t(count + 7) / 8);
    for (int x = 0; x < count; ++x, bgr += 3) {
        int gray = GrayOf(bgr[2], bgr[1], bgr[0]);
        bool white;
        if (method_ == bwOrderedDither) {
            int level = gray / 4;
            if (nearWhiteIsWhite_ && bgr[0] >= 251 && bgr[1] >= 251 && bgr[2] >= 251)
                level = 64;
            white = kBayer8[(x & 7) * 8 + (y & 7)] < level;
        } else {
            white = gray >= threshold_;
        }
        if (white)
            dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
}

}  // namespace pixelconv
