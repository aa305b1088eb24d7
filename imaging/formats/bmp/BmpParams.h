#pragma once
// The BMP fields of the parameters record.
#include <cstdint>

#include "imaging/ParamsFieldVisitor.h"

struct TBmpParams {
    // 0 or 1 = 40-byte info header, 2 = 12-byte core header, 3 = 64-byte header.
    uint8_t BmpVersion = 1;
    // 0 = none (or bit fields on reading), 1 = run-length (RLE8 or RLE4).
    uint8_t BmpCompression = 0;
    // Write the alpha channel as the fourth byte of 32-bit pixels (else 255).
    bool BmpSaveAlpha = false;

    void SetDefaults() { *this = TBmpParams(); }
    void VisitFields(TParamsFieldVisitor& v) const
    {
        v.Int("BmpVersion", BmpVersion);
        v.Int("BmpCompression", BmpCompression);
        v.Bool("BmpSaveAlpha", BmpSaveAlpha);
    }
};
