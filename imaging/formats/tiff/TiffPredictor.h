#pragma once
// Byte helpers of TIFF strips: the horizontal differencing predictor
// (Predictor = 2) and the bit reversal of FillOrder = 2.
#include <cstddef>
#include <cstdint>

namespace tiff {

// Replaces every 8-bit sample of a row by its difference from the same
// sample of the pixel to its left (the first pixel stays unchanged).
void predictorEncode8(uint8_t* row, size_t pixels, int samplesPerPixel);
// Undoes predictorEncode8: adds the left neighbour's sample, left to right.
void predictorDecode8(uint8_t* row, size_t pixels, int samplesPerPixel);

// The same for 16-bit samples stored in the file's byte order.
void predictorEncode16(uint8_t* row, size_t pixels, int samplesPerPixel, bool bigEndian);
void predictorDecode16(uint8_t* row, size_t pixels, int samplesPerPixel, bool bigEndian);

// Reverses the bit order of every byte (FillOrder 2 <-> 1).
void reverseBits(uint8_t* data, size_t size);

}  // namespace tiff
