#include "imaging/formats/tiff/TiffYCbCr.h"

#include <algorithm>
#include <cmath>

#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffTags.h"

namespace tiff {

namespace {

// Not-a-number (never produced by the tables) would count as black.
uint8_t clamp255(float v) { return uint8_t(!(v > 0.0f) ? 0 : v >= 255.0f ? 255 : int(v + 0.5f)); }

// A code between its black and white values onto a scale of `range`; a
// zero or non-finite span counts as 1, so damaged tags cannot divide by zero.
float scaled(int code, double black, double white, double range)
{
    double span = white - black;
    if (!std::isfinite(span) || span == 0.0) span = 1.0;
    const double v = (double(code) - black) * range / span;
    return std::isfinite(v) ? float(std::clamp(v, -1e4, 1e4)) : 0.0f;
}

}  // namespace

TYCbCrConverter::TYCbCrConverter(const double luma[3], const double referenceBlackWhite[6])
{
    double red = luma[0], green = luma[1], blue = luma[2];
    // Weights that cannot be luma weights fall back to the usual ones.
    if (!(std::isfinite(red) && std::isfinite(green) && std::isfinite(blue)) || green < 0.001 || red < 0.0 ||
        blue < 0.0 || red >= 1.0 || blue >= 1.0) {
        red = 0.299;
        green = 0.587;
        blue = 0.114;
    }
    const double* rbw = referenceBlackWhite;
    for (int c = 0; c < 256; ++c) {
        y_[c] = scaled(c, rbw[0], rbw[1], 255.0);
        // Chroma codes are centred on 128: black 128 and white 255 give -128..127.
        const float cb = scaled(c - 128, rbw[2] - 128.0, rbw[3] - 128.0, 127.0);
        const float cr = scaled(c - 128, rbw[4] - 128.0, rbw[5] - 128.0, 127.0);
        // Terms held to a finite range, so their sums stay finite whatever the tags say.
        auto term = [](double v) { return float(std::clamp(v, -1e4, 1e4)); };
        crToR_[c] = term(cr * (2.0 - 2.0 * red));
        cbToB_[c] = term(cb * (2.0 - 2.0 * blue));
        // G = (Y - blue * B - red * R) / green with B and R as above.
        cbToG_[c] = term(-blue * (2.0 - 2.0 * blue) / green * cb);
        crToG_[c] = term(-red * (2.0 - 2.0 * red) / green * cr);
    }
}

TYCbCrConverter TYCbCrConverter::FromDirectory(const TTiffDirectory& dir)
{
    double luma[3] = {0.299, 0.587, 0.114};
    double rbw[6] = {0, 255, 128, 255, 128, 255};
    double v[6];
    bool all = true;
    for (uint32_t i = 0; i < 3 && all; ++i) all = dir.GetReal(tagYCbCrCoefficients, &v[i], i);
    if (all) std::copy(v, v + 3, luma);
    all = true;
    for (uint32_t i = 0; i < 6 && all; ++i) all = dir.GetReal(tagReferenceBlackWhite, &v[i], i);
    if (all) std::copy(v, v + 6, rbw);
    return TYCbCrConverter(luma, rbw);
}

void TYCbCrConverter::ToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* r, uint8_t* g, uint8_t* b) const
{
    const float yy = y_[y];
    *r = clamp255(yy + crToR_[cr]);
    *g = clamp255(yy + cbToG_[cb] + crToG_[cr]);
    *b = clamp255(yy + cbToB_[cb]);
}

size_t DataUnitRowBytes(size_t pixels, int h, int v)
{
    const size_t units = (pixels + size_t(h) - 1) / size_t(h);
    return units * (size_t(h) * size_t(v) + 2);
}

void ExpandDataUnits(const uint8_t* units, int unitRows, int h, int v, int width, int rows, uint8_t* out)
{
    const size_t unitBytes = size_t(h) * size_t(v) + 2;
    const size_t unitRowBytes = DataUnitRowBytes(size_t(width), h, v);
    const int across = int((size_t(width) + size_t(h) - 1) / size_t(h));
    for (int ur = 0; ur < unitRows; ++ur) {
        const uint8_t* unitRow = units + size_t(ur) * unitRowBytes;
        for (int dy = 0; dy < v; ++dy) {
            const int y = ur * v + dy;
            if (y >= rows) return;
            uint8_t* dst = out + size_t(y) * size_t(width) * 3;
            for (int ux = 0; ux < across; ++ux) {
                const uint8_t* unit = unitRow + size_t(ux) * unitBytes;
                const uint8_t cb = unit[unitBytes - 2];
                const uint8_t cr = unit[unitBytes - 1];
                const int x0 = ux * h;
                const int n = std::min(h, width - x0);
                for (int dx = 0; dx < n; ++dx) {
                    uint8_t* px = dst + size_t(x0 + dx) * 3;
                    px[0] = unit[dy * h + dx];
                    px[1] = cb;
                    px[2] = cr;
                }
            }
        }
    }
}

}  // namespace tiff
