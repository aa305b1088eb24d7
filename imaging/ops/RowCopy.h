#pragma once
// Pixel moves within and between rows, for every pixel format: whole bytes
// per pixel, or single bits for px1g (leftmost pixel in the top bit).
#include <cstdint>
#include <cstring>

namespace ops {

inline bool GetBit(const uint8_t* row, int x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

inline void SetBit(uint8_t* row, int x, bool on)
{
    const uint8_t m = uint8_t(0x80 >> (x & 7));
    row[x >> 3] = on ? uint8_t(row[x >> 3] | m) : uint8_t(row[x >> 3] & ~m);
}

// Copies pixels [srcX, srcX + width) of `src` to [dstX, ...) of `dst` where
// covered(i) holds, i counting from 0. Rows must not overlap.
template <class Covered>
void CopyCovered(const uint8_t* src, int srcX, uint8_t* dst, int dstX, int width, int bitCount, Covered&& covered)
{
    if (bitCount % 8 == 0) {
        const size_t bpp = size_t(bitCount / 8);
        int i = 0;
        while (i < width) {
            if (!covered(i)) {
                ++i;
                continue;
            }
            int end = i;
            while (end < width && covered(end))
                ++end;
            std::memcpy(dst + (size_t(dstX) + size_t(i)) * bpp, src + (size_t(srcX) + size_t(i)) * bpp,
                        size_t(end - i) * bpp);
            i = end;
        }
        return;
    }
    for (int i = 0; i < width; ++i)
        if (covered(i))
            SetBit(dst, dstX + i, GetBit(src, srcX + i));
}

inline void CopyPixels(const uint8_t* src, int srcX, uint8_t* dst, int dstX, int width, int bitCount)
{
    CopyCovered(src, srcX, dst, dstX, width, bitCount, [](int) { return true; });
}

// dst = src with the pixel order reversed. Rows must not overlap; bits of a
// px1g row past `width` keep what dst had.
inline void ReversePixelsInto(const uint8_t* src, uint8_t* dst, int width, int bitCount)
{
    if (bitCount % 8 != 0) {
        for (int x = 0; x < width; ++x)
            SetBit(dst, x, GetBit(src, width - 1 - x));
        return;
    }
    const size_t bpp = size_t(bitCount / 8);
    for (int x = 0; x < width; ++x)
        std::memcpy(dst + size_t(x) * bpp, src + size_t(width - 1 - x) * bpp, bpp);
}

// Reverses the pixel order of a row in place (byte formats).
template <size_t BPP>
void MirrorBytes(uint8_t* row, int width)
{
    uint8_t* a = row;
    uint8_t* b = row + size_t(width - 1) * BPP;
    while (a < b) {
        uint8_t t[BPP];
        std::memcpy(t, a, BPP);
        std::memcpy(a, b, BPP);
        std::memcpy(b, t, BPP);
        a += BPP;
        b -= BPP;
    }
}

}  // namespace ops
