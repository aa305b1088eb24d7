#pragma once
// The benchmarks' test photo: 4000 x 3000 px24RGB made in code, with smooth
// lighting, a finer texture and sensor-like noise, so values change from
// pixel to pixel as in a real photograph.
#include "imaging/ImageBuffer.h"

#include <algorithm>
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

// A second photo, 4000 x 3000, with broad light and shade, a diagonal
// texture and noise that differs per channel; the processing benchmarks use it.
inline const TImageBuffer& LitPhoto()
{
    static const TImageBuffer picture = [] {
        TImageBuffer p(4000, 3000, px24RGB);
        uint32_t noise = 12345;
        for (int y = 0; y < 3000; ++y) {
            uint8_t* row = p.RowPointer(y);
            for (int x = 0; x < 4000; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const double light = 90 + 80 * std::sin(x / 700.0) * std::cos(y / 500.0);
                const double texture = 20 * std::sin(x / 9.0 + y / 13.0);
                for (int c = 0; c < 3; ++c) {
                    const double v = light + texture * (c + 1) / 3 + double(noise >> (27 - c * 2) & 15) + c * 25;
                    row[x * 3 + c] = uint8_t(std::clamp(v, 0.0, 255.0));
                }
            }
        }
        return p;
    }();
    return picture;
}

}  // namespace bench
