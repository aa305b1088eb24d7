#pragma once
// TIFF writer: little-endian files of one directory, or a directory linked
// after an existing chain (append mode); uncompressed, PackBits, LZW,
// Deflate, CCITT and JPEG strips; bi-level, gray, palette, RGB (with alpha),
// 48-bit RGB and CMYK output.
#include <cstdint>
#include <functional>

class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

struct TTiffWriteOptions {
    // Link the new directory after the existing chain of the stream (which
    // must be readable and start with "II") instead of writing a new file.
    bool Append = false;
    // Set by the caller to stop at the next row; set by the writer on failure.
    bool* Aborting = nullptr;
    std::function<void(int64_t done, int64_t total)> Progress;
};

// Writes the picture (nullptr: a directory of description tags only) with
// the settings of params. A new file starts at the stream's position.
// Returns the number of directories in the file, 0 on failure.
int WriteTiffStructure(TStream& stream, const TImageBuffer* picture, TImageParams& params,
                       const TTiffWriteOptions& options);

// Entry of the format table.
bool WriteTiff(TImageIO& io, TStream& stream);
