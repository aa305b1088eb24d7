#pragma once
// PackBits run-length coding (Apple/TIFF compression 32773).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tiff {

// Appends the PackBits code of one row to out. Runs of 4 to 128 equal bytes
// become (1 - count, byte); everything else goes out as literal groups of up
// to 128 bytes (count - 1, bytes). Rows are coded separately so that no run
// crosses a row boundary, as TIFF readers expect.
void packBitsEncode(const uint8_t* src, size_t size, std::vector<uint8_t>& out);

// Decodes PackBits data into dst. Stops when dst is full or the input ends;
// returns the number of bytes produced. *ok becomes false when the input ends
// inside a group (the bytes decoded so far are kept).
size_t packBitsDecode(const uint8_t* src, size_t size, uint8_t* dst, size_t dstSize, bool* ok);

}  // namespace tiff
