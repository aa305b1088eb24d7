#pragma once
// Rows of a picture as blue, green, red bytes, for the writer paths that
// need colours: px24RGB rows are handed out as they are, px1g, px8p, px8g
// and pxRGB32 rows are expanded into a scratch row.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/ImageBuffer.h"

class TBgrRowSource {
public:
    explicit TBgrRowSource(TImageBuffer& buf) : buf_(buf), scratch_(size_t(buf.Width()) * 3) {}

    static bool Supports(TPixelFormat f) { return f == px24RGB || f == px1g || f == px8p || f == px8g || f == pxRGB32; }

    // Valid until the next call.
    const uint8_t* Row(int y)
    {
        const uint8_t* row = buf_.RowPointer(y);
        const int w = buf_.Width();
        uint8_t* out = scratch_.data();
        switch (buf_.PixelFormat()) {
        case px24RGB:
            return row;
        case px1g:
            for (int x = 0; x < w; ++x) {
                uint8_t v = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
            }
            break;
        case px8p: {
            const TRGB* pal = buf_.Palette();
            const int count = buf_.PaletteCount();
            for (int x = 0; x < w; ++x) {
                TRGB c = pal && row[x] < count ? pal[row[x]] : TRGB{0, 0, 0};
                out[3 * x] = c.b;
                out[3 * x + 1] = c.g;
                out[3 * x + 2] = c.r;
            }
            break;
        }
        case px8g:
            for (int x = 0; x < w; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = row[x];
            break;
        case pxRGB32:
            for (int x = 0; x < w; ++x) {
                out[3 * x] = row[4 * x];
                out[3 * x + 1] = row[4 * x + 1];
                out[3 * x + 2] = row[4 * x + 2];
            }
            break;
        default:
            std::fill(scratch_.begin(), scratch_.end(), uint8_t(0));
            break;
        }
        return out;
    }

private:
    TImageBuffer& buf_;
    std::vector<uint8_t> scratch_;
};
