#pragma once
// YCbCr samples outside JPEG data: the conversion to RGB by the file's
// YCbCrCoefficients and ReferenceBlackWhite, and the data units of
// subsampled chroma.
//
// A data unit for subsampling h x v (here h = 2, v = 2):
//
//   pixels of the unit     bytes in the file
//   Y0 Y1                  Y0 Y1 Y2 Y3 Cb Cr
//   Y2 Y3
//
// Units run left to right, then top to bottom, over the strip or tile; a
// strip or tile whose size is not a multiple of the unit is padded to whole
// units, and the padding is dropped when the rows are stored.
#include <cstddef>
#include <cstdint>

namespace tiff {

class TTiffDirectory;

class TYCbCrConverter {
public:
    // Luma weights of red, green and blue, and the black and white codes of
    // Y, Cb and Cr (the defaults of a file without those tags).
    TYCbCrConverter(const double luma[3], const double referenceBlackWhite[6]);
    // The conversion of a directory (missing tags take their defaults).
    static TYCbCrConverter FromDirectory(const TTiffDirectory& dir);

    void ToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* r, uint8_t* g, uint8_t* b) const;

private:
    // Per code value: Y on the 0..255 scale, and the chroma terms.
    float y_[256];
    float crToR_[256];
    float cbToB_[256];
    float cbToG_[256];
    float crToG_[256];
};

// The byte size of a row of data units covering `pixels` pixels.
size_t DataUnitRowBytes(size_t pixels, int h, int v);

// Spreads `unitRows` rows of data units (each DataUnitRowBytes(width, h, v)
// bytes) into chunky Y, Cb, Cr pixels: `rows` rows of `width` pixels, 3
// bytes each, every pixel taking the chroma of its unit.
void ExpandDataUnits(const uint8_t* units, int unitRows, int h, int v, int width, int rows, uint8_t* out);

}  // namespace tiff
