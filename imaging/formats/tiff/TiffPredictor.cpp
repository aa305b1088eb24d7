#include "imaging/formats/tiff/TiffPredictor.h"

#include <array>

namespace tiff {

namespace {

uint16_t load16(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

void store16(uint8_t* p, uint16_t v, bool bigEndian)
{
    if (bigEndian) {
        p[0] = uint8_t(v >> 8);
        p[1] = uint8_t(v);
    } else {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }
}

const std::array<uint8_t, 256>& reversedBytes()
{
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            t[size_t(i)] = uint8_t(r);
        }
        return t;
    }();
    return table;
}

}  // namespace

void predictorEncode8(uint8_t* row, size_t pixels, int samplesPerPixel)
{
    if (samplesPerPixel <= 0 || pixels < 2) return;
    const size_t spp = size_t(samplesPerPixel);
    for (size_t i = pixels * spp - 1; i >= spp; --i) row[i] = uint8_t(row[i] - row[i - spp]);
}

void predictorDecode8(uint8_t* row, size_t pixels, int samplesPerPixel)
{
    if (samplesPerPixel <= 0 || pixels < 2) return;
    const size_t spp = size_t(samplesPerPixel);
    const size_t n = pixels * spp;
    switch (spp) {
    case 1:
        for (size_t i = 1; i < n; ++i) row[i] = uint8_t(row[i] + row[i - 1]);
        break;
    case 3:
        for (size_t i = 3; i < n; i += 3) {
            row[i] = uint8_t(row[i] + row[i - 3]);
            row[i + 1] = uint8_t(row[i + 1] + row[i - 2]);
            row[i + 2] = uint8_t(row[i + 2] + row[i - 1]);
        }
        break;
    default:
        for (size_t i = spp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - spp]);
        break;
    }
}

void predictorEncode16(uint8_t* row, size_t pixels, int samplesPerPixel, bool bigEndian)
{
    if (samplesPerPixel <= 0 || pixels < 2) return;
    const size_t spp = size_t(samplesPerPixel);
    for (size_t i = pixels * spp - 1; i >= spp; --i) {
        uint16_t v = uint16_t(load16(row + 2 * i, bigEndian) - load16(row + 2 * (i - spp), bigEndian));
        store16(row + 2 * i, v, bigEndian);
    }
}

void predictorDecode16(uint8_t* row, size_t pixels, int samplesPerPixel, bool bigEndian)
{
    if (samplesPerPixel <= 0 || pixels < 2) return;
    const size_t spp = size_t(samplesPerPixel);
    for (size_t i = spp; i < pixels * spp; ++i) {
        uint16_t v = uint16_t(load16(row + 2 * i, bigEndian) + load16(row + 2 * (i - spp), bigEndian));
        store16(row + 2 * i, v, bigEndian);
    }
}

void reverseBits(uint8_t* data, size_t size)
{
    const auto& table = reversedBytes();
    for (size_t i = 0; i < size; ++i) data[i] = table[data[i]];
}

}  // namespace tiff
