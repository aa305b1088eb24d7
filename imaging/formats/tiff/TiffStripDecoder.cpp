#include "imaging/formats/tiff/TiffStripDecoder.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "imaging/formats/tiff/CcittFax.h"
#include "imaging/formats/tiff/PackBits.h"
#include "imaging/formats/tiff/TiffJpeg.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffPredictor.h"

namespace tiff {

namespace {

// Inflates the whole strip at once; returns the bytes produced.
size_t inflateStrip(const uint8_t* src, size_t size, uint8_t* dst, size_t dstSize, bool* ok)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        *ok = false;
        return 0;
    }
    size_t produced = 0;
    int rc = Z_OK;
    // zlib counts in 32-bit units; feed large strips in pieces.
    while (rc == Z_OK && produced < dstSize) {
        if (z.avail_in == 0) {
            const size_t consumed = size_t(z.next_in ? z.next_in - src : 0);
            const size_t left = size - consumed;
            if (left == 0) break;
            z.next_in = const_cast<Bytef*>(src + consumed);
            z.avail_in = uInt(std::min<size_t>(left, 1u << 30));
        }
        z.next_out = dst + produced;
        z.avail_out = uInt(std::min<size_t>(dstSize - produced, 1u << 30));
        const uInt before = z.avail_out;
        rc = inflate(&z, Z_NO_FLUSH);
        produced += before - z.avail_out;
    }
    if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && produced == dstSize)) *ok = false;
    inflateEnd(&z);
    return produced;
}

CcittMode ccittModeOf(const TStripCoding& c)
{
    if (c.Compression == 2) return CcittMode::ModifiedHuffman;
    if (c.Compression == 4) return CcittMode::Group4;
    return c.TwoDimensional ? CcittMode::Group3TwoD : CcittMode::Group3OneD;
}

}  // namespace

int DecodeStrip(const TStripCoding& coding, std::vector<uint8_t>& raw, uint8_t* out, size_t rowBytes, int rows,
                int pixelsWide, int samples, bool* ok)
{
    *ok = true;
    if (rows <= 0 || rowBytes == 0) return 0;
    const size_t outSize = rowBytes * size_t(rows);
    if (coding.ReverseBits && coding.Compression != 7 && coding.Compression != 6) reverseBits(raw.data(), raw.size());
    size_t produced = 0;
    switch (coding.Compression) {
    case 1:
        produced = std::min(raw.size(), outSize);
        std::memcpy(out, raw.data(), produced);
        if (produced < outSize) *ok = false;
        break;
    case 2: case 3: case 4: {
        std::memset(out, 0, outSize);
        int got = ccittDecode(ccittModeOf(coding), raw.data(), raw.size(), pixelsWide, rows, out, rowBytes, ok);
        return got;
    }
    case 5:
        if (!coding.Lzw) {
            *ok = false;
            return 0;
        }
        produced = coding.Lzw->Decode(raw.data(), raw.size(), out, outSize, ok);
        break;
    case 8: case 32946:
        produced = inflateStrip(raw.data(), raw.size(), out, outSize, ok);
        break;
    case 32773:
        produced = packBitsDecode(raw.data(), raw.size(), out, outSize, ok);
        break;
    case 7:
        return DecodeJpegStrip(raw.data(), raw.size(), coding.JpegTables, coding.JpegPhotometric, out, rowBytes,
                               rows, pixelsWide, samples, ok);
    default:
        *ok = false;
        return 0;
    }
    if (produced < outSize) *ok = false;
    return int(produced / rowBytes);
}

}  // namespace tiff
