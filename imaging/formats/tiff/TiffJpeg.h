#pragma once
// JPEG data inside TIFF files (compressions 6 and 7), through libjpeg.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TImageBuffer;

namespace tiff {

// Decodes one JPEG-compressed strip or tile (with the shared tables of tag
// 347 when given) into rows of 8-bit samples: RGB for photometric 2 and 6,
// gray for 0 and 1, CMYK for 5. Returns the rows produced.
int DecodeJpegStrip(const uint8_t* data, size_t size, const std::vector<uint8_t>& tables, int photometric,
                    uint8_t* out, size_t rowBytes, int rows, int width, int samples, bool* ok);

// Decodes a complete JPEG stream (old-style JPEG, JPEGInterchangeFormat)
// into a px24RGB picture. Pictures wider or taller than maxSide, or far
// larger than the stream could code, are refused before allocation.
bool DecodeJpegPicture(const uint8_t* data, size_t size, TImageBuffer& picture, int maxSide);

struct TJpegEncodeRequest {
    int Width = 0;
    int Height = 0;
    int Samples = 3;      // 1 gray, 3 RGB, 4 CMYK
    int Photometric = 6;  // 6: written as YCbCr; 2: kept RGB
    int Quality = 80;
    int DpiX = 300;
    int DpiY = 300;
    // Row y of samples in file order (RGB, gray or CMYK).
    std::function<const uint8_t*(int y)> Row;
};

// Encodes a complete JPEG stream into out.
bool EncodeJpegStream(const TJpegEncodeRequest& request, std::vector<uint8_t>& out);

}  // namespace tiff
