#pragma once
// The TIFF fields of the parameters record.
#include <cstdint>
#include <string>

#include "imaging/ParamsFieldVisitor.h"

class TTiffLzwCoder;

struct TTiffParams {
    // 0 none, 1 CCITT modified Huffman (code 2), 2 Group 3 1-D (code 3),
    // 3 Group 3 2-D (code 3, T4Options bit 0), 4 Group 4 (code 4), 5 LZW,
    // 6 old-style JPEG (code 6), 7 JPEG (code 7), 8 PackBits (32773),
    // 9 Deflate (32946), 10 Adobe Deflate (code 8, read only: written as 32946),
    // 11 any other code (read only).
    uint8_t TiffCompression = 0;
    // 0 white is zero, 1 black is zero, 2 RGB, 3 palette, 4 transparency
    // mask, 5 separated (CMYK), 6 YCbCr, 7 CIE L*a*b* (code 8).
    uint8_t TiffPhotometric = 2;
    int TiffPlanarConfig = 1;
    // The directory to read, or the one after which to link when appending.
    int TiffImageIndex = 0;
    // A sub-directory (tag 330) of that directory to read instead; -1 = none.
    int TiffSubIndex = -1;
    // Directories of the file read.
    int TiffImageCount = 0;
    // The file read was little-endian ("II").
    bool TiffByteOrder = true;
    std::string TiffDocumentName;
    std::string TiffImageDescription;
    std::string TiffPageName;
    int TiffXPos = 0;
    int TiffYPos = 0;
    int16_t TiffPageNumber = -1;
    int16_t TiffPageCount = -1;
    // Settings of JPEG-compressed TIFF data. Colour space: 0 RGB, 1 gray,
    // 2 YCbCr, 3 CMYK, 4 RGB (written as RGB).
    int TiffJpegQuality = 80;
    uint8_t TiffJpegColorSpace = 2;
    // Deflate level: 0 fastest, 1 default, 2 maximum.
    uint8_t TiffZipLevel = 1;
    // Written as tag 266 with the CCITT compressions.
    int TiffFillOrder = 1;
    // The LZW coder to use; nullptr = the process-wide one (TiffLzwDefaultCoder).
    TTiffLzwCoder* TiffLzwEncoder = nullptr;

    void SetDefaults() { *this = TTiffParams(); }
    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor& v) const
    {
        v.Int("TiffCompression", TiffCompression);
        v.Int("TiffPhotometric", TiffPhotometric);
        v.Int("TiffPlanarConfig", TiffPlanarConfig);
        v.Int("TiffImageIndex", TiffImageIndex);
        v.Int("TiffSubIndex", TiffSubIndex);
        v.Int("TiffImageCount", TiffImageCount);
        v.Bool("TiffByteOrder", TiffByteOrder);
        v.Text("TiffDocumentName", TiffDocumentName);
        v.Text("TiffImageDescription", TiffImageDescription);
        v.Text("TiffPageName", TiffPageName);
        v.Int("TiffXPos", TiffXPos);
        v.Int("TiffYPos", TiffYPos);
        v.Int("TiffPageNumber", TiffPageNumber);
        v.Int("TiffPageCount", TiffPageCount);
        v.Int("TiffJpegQuality", TiffJpegQuality);
        v.Int("TiffJpegColorSpace", TiffJpegColorSpace);
        v.Int("TiffZipLevel", TiffZipLevel);
        v.Int("TiffFillOrder", TiffFillOrder);
        v.Bool("TiffLzwEncoder", TiffLzwEncoder != nullptr);
    }
};
