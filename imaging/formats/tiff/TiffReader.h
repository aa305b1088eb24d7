#pragma once
// TIFF reader: both byte orders, the directory chain and sub-directories,
// strips and tiles, both planar configurations, every compression of TIFF
// 6.0 (none, CCITT, LZW, JPEG, Deflate, PackBits), the predictor, and the
// photometric interpretations gray, palette, RGB, CMYK, YCbCr (subsampled
// chroma included) and CIE L*a*b*.
#include <cstdint>
#include <functional>

class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

// How a TIFF structure is read.
struct TTiffReadOptions {
    // Fill the parameters only; no pixels are decoded.
    bool ParamsOnly = false;
    // The directory is the thumbnail of an EXIF block: pictures wider or
    // taller than 400 pixels are refused.
    bool ExifThumbnail = false;
    // Set by the caller to stop at the next strip; set by the reader on failure.
    bool* Aborting = nullptr;
    // Rows done of the total.
    std::function<void(int64_t done, int64_t total)> Progress;
};

// Reads the TIFF structure whose header starts at stream position `base`
// (offsets count from there) into buffer and params. Returns false, with
// the abort flag set, when the data are not TIFF, the directory asked for is
// missing, or the picture cannot be decoded (what was decoded is kept).
bool ReadTiffStructure(TStream& stream, int64_t base, TImageBuffer* buffer, TImageParams& params,
                       const TTiffReadOptions& options);

// Entries of the format table.
bool ReadTiff(TImageIO& io, TStream& stream);
bool ReadTiffParams(TImageIO& io, TStream& stream);
