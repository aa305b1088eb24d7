#pragma once
// TImageParams: the per-picture record of an input/output object. Readers
// fill it, writers read it, and it survives from a load to the next save,
// so a saved picture keeps the settings and camera data of its source.
//
// The fields shared by every format live here; each format keeps its own
// group of fields in its own header (TBmpParams, TJpegParams, ...), and the
// record inherits them all, so code simply writes params.JpegQuality.
#include <array>
#include <cstdint>
#include <string>

#include "imaging/ImageBuffer.h"
#include "imaging/ParamsFieldVisitor.h"
#include "imaging/exif/ExifParams.h"
#include "imaging/formats/bmp/BmpParams.h"
#include "imaging/formats/gif/GifParams.h"
#include "imaging/formats/jpeg/JpegParams.h"
#include "imaging/formats/png/PngParams.h"
#include "imaging/formats/tiff/TiffParams.h"

struct TImageParams : TBmpParams, TJpegParams, TPngParams, TGifParams, TTiffParams, TExifParams {
    // The file last read or written (UTF-8).
    std::string FileName;
    // Format identifier of the last read or write; 0 after a failed read.
    int FileType = 0;
    // Picture size as stored in the file.
    int Width = 0;
    int Height = 0;
    // Resolution in dots per inch. Change it with SetDpiX/SetDpiY so the
    // EXIF resolution follows.
    int DpiX = 300;
    int DpiY = 300;
    // Sample layout of the file; writers choose their output depth from it.
    int BitsPerSample = 8;
    int SamplesPerPixel = 3;
    // Palette read from or written to a palette file.
    std::array<TRGB, 256> ColorMap{};
    int ColorMapCount = 0;
    // false: readers deliver px24RGB (px1g for 1-bit pictures);
    // true: the file's own format where the buffer has one (px8p, ...).
    bool NativePixelFormat = false;

    TImageParams() { SetDefaults(); }

    // Every field to its default: file name, palette and format groups
    // cleared, size 0 x 0 (TImageIO fills it from its buffer), resolution
    // from the process-wide default.
    void SetDefaults();

    void SetDpiX(int dpi);
    void SetDpiY(int dpi);
    // Both at once; a value of 0 or less takes the process-wide default.
    void SetResolution(int dpiX, int dpiY);

    // Stores up to 256 palette entries in ColorMap and sets ColorMapCount.
    void SetColorMap(const TRGB* entries, int count);

    // Walks every field, the shared ones first, then each format group.
    void VisitFields(TParamsFieldVisitor& v) const;
};
