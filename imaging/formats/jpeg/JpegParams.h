#pragma once
// The JPEG fields of the parameters record.
#include <cstdint>
#include <vector>

#include "imaging/ParamsFieldVisitor.h"
#include "imaging/formats/jpeg/MarkerList.h"

struct TJpegParams {
    // Quality 1..100 handed to the library (baseline quantisation tables).
    int JpegQuality = 80;
    // 0 = RGB, 1 = gray, 2 = YCbCr, 3 = CMYK, 4 = YCCK. Readers set it to the
    // file's colour space; writers write that colour space.
    uint8_t JpegColorSpace = 2;
    // 0 = accurate integer, 1 = fast integer, 2 = floating point; reading and writing.
    uint8_t JpegDctMethod = 1;
    // Optimal Huffman tables (a second pass over the data).
    bool JpegOptimalHuffman = false;
    // Smoothing factor 0..100.
    int JpegSmooth = 0;
    // Write progressive (simple progression); set by the reader from the file.
    bool JpegProgressive = false;
    // Reduction asked for on reading: 0 = automatic (from Width x Height
    // asked for), 1 = full size, 2 = 1/2, 3 = 1/4, 4 = 1/8.
    uint8_t JpegScale = 1;
    // Decoding for a thumbnail only: the fast inverse DCT, plain chroma
    // upsampling and no block smoothing of progressive files, which saves
    // time where the picture is shown a few times smaller anyway. The pixels
    // come out a little coarser than a normal load's, so a picture that is
    // shown at full size, edited or saved is never read this way; only the
    // thumbnail grid's loader sets it.
    bool JpegThumbnailMode = false;
    // Denominator used by the last read (1, 2, 4 or 8).
    int JpegScaleUsed = 1;
    // Size stored in the file, before any reduction.
    int JpegOriginalWidth = 0;
    int JpegOriginalHeight = 0;
    // Turn the picture upright by its EXIF orientation after reading.
    bool AutoOrientation = false;
    // Warnings the library gave during the last read (never shown).
    int JpegWarnings = 0;
    // COM and APP0..APP15 segments read from the file (without the JFIF
    // segment), written back on save.
    TMarkerList JpegMarkers;
    // The ICC colour profile joined from the APP2 chunks of the last read.
    std::vector<uint8_t> IccProfile;

    void SetDefaults() { *this = TJpegParams(); }

    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor& v) const
    {
        v.Int("JpegQuality", JpegQuality);
        v.Int("JpegColorSpace", JpegColorSpace);
        v.Int("JpegDctMethod", JpegDctMethod);
        v.Bool("JpegOptimalHuffman", JpegOptimalHuffman);
        v.Int("JpegSmooth", JpegSmooth);
        v.Bool("JpegProgressive", JpegProgressive);
        v.Int("JpegScale", JpegScale);
        v.Bool("JpegThumbnailMode", JpegThumbnailMode);
        v.Int("JpegScaleUsed", JpegScaleUsed);
        v.Int("JpegOriginalWidth", JpegOriginalWidth);
        v.Int("JpegOriginalHeight", JpegOriginalHeight);
        v.Bool("AutoOrientation", AutoOrientation);
        v.Int("JpegWarnings", JpegWarnings);
        std::vector<int64_t> codes;
        for (const TMarker& m : JpegMarkers)
            codes.push_back(m.Marker);
        v.IntList("JpegMarkers", codes);
        v.Int("IccProfileSize", int64_t(IccProfile.size()));
    }
};
