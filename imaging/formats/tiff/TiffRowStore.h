#pragma once
// Stores rows of TIFF samples (chunky order, as the file holds them after
// decompression) into an image buffer of the format the reader chose.
#include <cstdint>
#include <vector>

#include "imaging/ImageBuffer.h"

namespace tiff {

class TYCbCrConverter;

// The sample layout of the decoded data.
struct TSampleLayout {
    int Bits = 8;           // bits per sample: 1, 2, 4, 8 or 16
    int Samples = 1;        // samples per pixel
    int Photometric = 2;    // TIFF code: 0, 1, 2, 3, 4, 5, 6 or 8
    bool BigEndian = false; // byte order of 16-bit samples
    bool Alpha = false;     // the sample after the colour samples goes to the alpha channel
    bool Premultiplied = false;  // ExtraSamples 1: colours are multiplied by alpha
    const TRGB* ColorMap = nullptr;  // 256 entries, for photometric 3
    const TYCbCrConverter* YCbCr = nullptr;  // for photometric 6 (else the usual weights)
};

// The buffer format for a layout (Native: deliver the file's own format
// where the buffer has one).
TPixelFormat ChooseTiffPixelFormat(int bits, int samples, int photometric, bool native);

class TTiffRowStore {
public:
    // buffer is allocated in the format of ChooseTiffPixelFormat; alpha is
    // its alpha channel when the layout has one.
    TTiffRowStore(TImageBuffer& buffer, TImageBuffer* alpha, const TSampleLayout& layout);

    // Stores count pixels of row y starting at pixel x0; samples holds them
    // packed as in the file (row start = pixel x0).
    void Store(int y, int x0, int count, const uint8_t* samples);

private:
    void storeBits(uint8_t* dst, int x0, int count, const uint8_t* src) const;
    void storeRgb(uint8_t* bgr, uint8_t* alpha, int count, const uint8_t* src);
    void unpack(const uint8_t* src, int count);

    TImageBuffer& buffer_;
    TImageBuffer* alpha_;
    TSampleLayout layout_;
    TPixelFormat format_;
    uint32_t maxValue_;
    // Unpacked samples of one run of pixels (generic path).
    std::vector<uint16_t> samples_;
};

}  // namespace tiff
