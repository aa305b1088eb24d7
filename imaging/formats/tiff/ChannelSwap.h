#pragma once
// Red-green-blue <-> blue-green-red for rows of 8-bit three-sample pixels:
// the picture buffer holds BGR, TIFF files hold RGB.
#include <cstddef>
#include <cstdint>

namespace tiff {

// Writes `pixels` pixels of src to dst with the first and third byte of every
// pixel exchanged. src and dst may be the same row, but must not otherwise overlap.
void swapRedBlue(const uint8_t* src, uint8_t* dst, size_t pixels);

}  // namespace tiff
