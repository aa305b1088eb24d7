#pragma once
// The benchmarks' test photo: 4000 x 3000 px24RGB made in code, with smooth
// lighting, a finer texture and sensor-like noise, so values change from
// pixel to pixel as in a real photograph.
#include "imaging/ImageBuffer.h"

#include <cmath>
#include <cstdint>

namespace bench {

inline void FillPhoto(TImageBuffer& b)
{
    uint32_t seed = 12345;
    const int w = b.Width(), h = b.Height();
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < w; ++x) {
            const double sky = 0.5 + 0.5 * std::sin(x * 0.0013 + y * 0.0021);
            const double light = double(h - y) / h;
            const double texture = 18.0 * std::sin(x * 0.31) * std::cos(y * 0.27);
            const int base[3] = {int(60 + 150 * sky), int(40 + 120 * light + 40 * sky), int(30 + 200 * light * sky)};
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1664525u + 1013904223u;
                const int v = base[c] + int(texture) + int(seed >> 28) - 8;
                row[3 * x + c] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    }
}

// The shared 12-megapixel photo, made once.
inline TImageBuffer& Photo()
{
    static TImageBuffer picture = [] {
        TImageBuffer b(4000, 3000, px24RGB);
        FillPhoto(b);
        return b;
    }();
    return picture;
}

}  // namespace bench
