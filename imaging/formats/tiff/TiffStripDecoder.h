#pragma once
// Decompresses one TIFF strip or tile into its rows of samples.
#include <cstddef>
#include <cstdint>
#include <vector>

class TTiffLzwCoder;

namespace tiff {

struct TStripCoding {
    int Compression = 1;       // TIFF code
    bool TwoDimensional = false;  // Group 3: T4Options bit 0
    bool ReverseBits = false;  // FillOrder 2
    const TTiffLzwCoder* Lzw = nullptr;
    std::vector<uint8_t> JpegTables;  // tag 347, for compression 7
    int JpegPhotometric = 2;   // the photometric of JPEG-compressed data
};

// Decodes raw (the strip's stored bytes; reversed in place for FillOrder 2)
// into out, rows of rowBytes bytes each, at most rows rows, pixelsWide pixels
// per row (for the CCITT coders). Returns the number of whole rows produced;
// *ok becomes false on damaged data or an unsupported compression.
int DecodeStrip(const TStripCoding& coding, std::vector<uint8_t>& raw, uint8_t* out, size_t rowBytes, int rows,
                int pixelsWide, int samples, bool* ok);

}  // namespace tiff
