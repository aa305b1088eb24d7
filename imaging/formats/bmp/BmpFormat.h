#pragma once
// Pieces shared by the BMP reader and writer: byte order helpers, the
// header layout constants and the resolution conversions.
#include <cmath>
#include <cstdint>

namespace bmp {

constexpr int FileHeaderSize = 14;
constexpr int CoreHeaderSize = 12;
constexpr int InfoHeaderSize = 40;
constexpr int Os2HeaderSize = 64;
// The largest header part we interpret; the rest of longer headers is skipped.
constexpr int MaxParsedHeader = 64;

enum Compression : uint32_t { biRGB = 0, biRLE8 = 1, biRLE4 = 2, biBitFields = 3 };

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void put16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Bytes per stored row: rows are padded to 4 bytes.
inline int64_t StrideOf(int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

// Dots per inch to pixels per metre and back, rounded half to even.
inline int32_t DpiToPixelsPerMetre(int dpi) { return int32_t(std::nearbyint(double(dpi) / 2.54 * 100.0)); }
inline int PixelsPerMetreToDpi(int32_t ppm) { return int(std::nearbyint(double(ppm) / 100.0 * 2.54)); }

}  // namespace bmp
