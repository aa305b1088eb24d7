#pragma once
// Pictures made in code for the TIFF tests.
#include <cstring>
#include <memory>

#include "imaging/ImageBuffer.h"

namespace tifftest {

// A px24RGB picture with gradients, stripes and fine detail.
inline std::unique_ptr<TImageBuffer> makeRgb(int w, int h)
{
    auto pic = std::make_unique<TImageBuffer>(w, h, px24RGB);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = pic->RowPointer(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = uint8_t(x * 7 + y);
            row[3 * x + 1] = uint8_t(y * 3);
            row[3 * x + 2] = uint8_t((x / 5) % 2 ? 200 : x ^ y);
        }
    }
    return pic;
}

// A px1g picture: a white field with a black disc and a diagonal pattern.
inline std::unique_ptr<TImageBuffer> makeBilevel(int w, int h)
{
    auto pic = std::make_unique<TImageBuffer>(w, h, px1g);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = pic->RowPointer(y);
        std::memset(row, 0, size_t(pic->RowLen()));
        for (int x = 0; x < w; ++x) {
            const int dx = x - w / 2, dy = y - h / 2;
            if (dx * dx + dy * dy > 400 || (x + y) % 11 == 0) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
    }
    return pic;
}

}  // namespace tifftest
