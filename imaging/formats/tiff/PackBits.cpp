#include "imaging/formats/tiff/PackBits.h"

#include <algorithm>
#include <cstring>

namespace tiff {

namespace {

// Length of the run of bytes equal to src[i], at most 128.
size_t runLength(const uint8_t* src, size_t size, size_t i)
{
    size_t n = 1;
    while (i + n < size && n < 128 && src[i + n] == src[i]) ++n;
    return n;
}

void putLiterals(const uint8_t* src, size_t count, std::vector<uint8_t>& out)
{
    while (count > 0) {
        size_t chunk = std::min<size_t>(count, 128);
        out.push_back(uint8_t(chunk - 1));
        out.insert(out.end(), src, src + chunk);
        src += chunk;
        count -= chunk;
    }
}

}  // namespace

void packBitsEncode(const uint8_t* src, size_t size, std::vector<uint8_t>& out)
{
    size_t literalStart = 0;
    size_t i = 0;
    while (i < size) {
        size_t run = runLength(src, size, i);
        if (run >= 4) {
            putLiterals(src + literalStart, i - literalStart, out);
            out.push_back(uint8_t(1 - int(run)));
            out.push_back(src[i]);
            i += run;
            literalStart = i;
        } else {
            i += run;
        }
    }
    putLiterals(src + literalStart, size - literalStart, out);
}

size_t packBitsDecode(const uint8_t* src, size_t size, uint8_t* dst, size_t dstSize, bool* ok)
{
    size_t in = 0;
    size_t outPos = 0;
    *ok = true;
    while (in < size && outPos < dstSize) {
        int n = int8_t(src[in++]);
        if (n >= 0) {
            size_t count = size_t(n) + 1;
            if (count > size - in) {
                count = size - in;
                *ok = false;
            }
            count = std::min(count, dstSize - outPos);
            std::memcpy(dst + outPos, src + in, count);
            in += count;
            outPos += count;
        } else if (n != -128) {
            if (in >= size) {
                *ok = false;
                break;
            }
            size_t count = std::min(size_t(1 - n), dstSize - outPos);
            std::memset(dst + outPos, src[in++], count);
            outPos += count;
        }
    }
    return outPos;
}

}  // namespace tiff
