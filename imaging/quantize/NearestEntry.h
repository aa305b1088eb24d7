#pragma once
// Nearest palette entry by squared distance (the first of equals wins): the
// answer for colours that a reducer's own lookup does not cover.
#include "imaging/ImageBuffer.h"

#include <climits>
#include <vector>

inline int NearestPaletteEntry(const std::vector<TRGB>& palette, int b, int g, int r)
{
    int best = 0, bestDist = INT_MAX;
    for (int i = 0; i < int(palette.size()); ++i) {
        int db = palette[i].b - b, dg = palette[i].g - g, dr = palette[i].r - r;
        int d = db * db + dg * dg + dr * dr;
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}
