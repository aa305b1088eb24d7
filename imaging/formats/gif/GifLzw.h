#pragma once
// The variable-length LZW coder of GIF image data, as pure functions over
// byte arrays so that the reader and writer stay free of bit fiddling and the
// coder can be tested on its own.
//
// Coded image data in a GIF file is: one byte with the minimum code size,
// then the code stream cut into sub-blocks (a length byte 1..255 followed by
// that many bytes), then a zero-length block.
#include <cstddef>
#include <cstdint>
#include <vector>

// Largest code of the 12-bit GIF code space; the table restarts before it
// would be exceeded.
constexpr int kGifLzwMaxCode = 4095;

// Row of the picture that holds the n-th coded row when rows are interlaced
// (every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1).
// Calls `visit(row)` for each row in coded order.
template <typename Visit>
void ForEachGifRow(int height, bool interlaced, Visit&& visit) {
    if (!interlaced) {
        for (int y = 0; y < height; ++y) visit(y);
        return;
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass]) visit(y);
}

// Appends the coded image data of `height` rows of `width` indices (rows
// contiguous, top row first) to `out`: the minimum code size max(2, bits),
// the sub-blocks and the terminating zero-length block. Only the low `bits`
// bits of each index are used (indices are expected to be below 2^bits).
void EncodeGifLzw(std::vector<uint8_t>& out, int height, int width, int bits, const uint8_t* indices,
                  bool interlaced);

enum class TGifLzwStatus {
    Complete,    // every pixel was decoded
    Incomplete,  // the code stream ended (end code or no more data) before the last pixel
    Damaged,     // an impossible code or minimum code size was met
};

struct TGifLzwResult {
    TGifLzwStatus Status = TGifLzwStatus::Damaged;
    size_t Decoded = 0;  // indices written to the output, in coded order
};

// Decodes the code stream `data` (the concatenated payloads of the
// sub-blocks, without the length bytes) coded with `minCodeSize` into at most
// `outSize` indices in coded order. Codes after the last needed pixel are
// ignored. Never reads or writes outside the given arrays.
TGifLzwResult DecodeGifLzw(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out, size_t outSize);
