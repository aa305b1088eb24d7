#include "imaging/formats/bmp/BmpReader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/bmp/BmpFormat.h"

using namespace bmp;

namespace {

// Everything the header tells, checked against the file.
struct TBmpHeader {
    int headerSize = 0;
    bool core = false;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = biRGB;
    int32_t ppmX = 0;
    int32_t ppmY = 0;
    std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
    bool hasMasks = false;
    std::array<TRGB, 256> palette{};
    int paletteCount = 0;
    int64_t dataOffset = 0;
};

// One channel taken out of a 16- or 32-bit pixel by its mask and brought to
// 8 bits. Narrow channels are widened so that their maximum becomes 255.
struct TMaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    int width = 0;
    std::array<uint8_t, 256> scale{};

    explicit TMaskChannel(uint32_t m) : mask(m)
    {
        if (mask == 0)
            return;
        while (!((mask >> shift) & 1))
            ++shift;
        uint32_t v = mask >> shift;
        while (v && width < 32) {
            ++width;
            v >>= 1;
        }
        if (width < 8) {
            // Bit replication: the value's bits repeated below themselves,
            // so 0 stays 0 and the maximum becomes 255.
            for (uint32_t i = 0; i < (1u << width); ++i) {
                uint32_t v = 0;
                for (int pos = 8 - width; pos > -width; pos -= width)
                    v |= pos >= 0 ? i << pos : i >> -pos;
                scale[i] = uint8_t(v);
            }
        }
    }
    uint8_t operator()(uint32_t pixel) const
    {
        if (mask == 0)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (width < 8)
            return scale[v & 0xFF];
        return uint8_t(v >> (width - 8));
    }
};

bool readHeader(TStream& s, TBmpHeader& h)
{
    const int64_t fileSize = s.Size();
    uint8_t fh[FileHeaderSize + 4];
    if (!s.Seek(0) || !s.ReadExact(fh, sizeof fh) || fh[0] != 'B' || fh[1] != 'M')
        return false;
    const uint32_t offBits = get32(fh + 10);
    const uint32_t headerSize = get32(fh + 14);
    if (headerSize != CoreHeaderSize && (headerSize < 16 || int64_t(headerSize) > fileSize - FileHeaderSize))
        return false;
    h.headerSize = int(headerSize);

    std::array<uint8_t, MaxParsedHeader> ih{};
    const int parsed = std::min<int>(int(headerSize), MaxParsedHeader);
    if (!s.ReadExact(ih.data() + 4, size_t(parsed - 4)))
        return false;

    int64_t width, height;
    if (headerSize == CoreHeaderSize) {
        h.core = true;
        width = get16(&ih[4]);
        height = get16(&ih[6]);
        h.bitCount = get16(&ih[10]);
    } else {
        width = int32_t(get32(&ih[4]));
        height = int32_t(get32(&ih[8]));
        h.bitCount = get16(&ih[14]);
        h.compression = get32(&ih[16]);
        h.ppmX = int32_t(get32(&ih[24]));
        h.ppmY = int32_t(get32(&ih[28]));
    }
    if (height < 0) {
        h.topDown = true;
        height = -height;  // from int32, so no overflow in 64 bits
    }
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX)
        return false;
    h.width = int(width);
    h.height = int(height);

    switch (h.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
    }
    switch (h.compression) {
    case biRGB: break;
    case biRLE8: if (h.bitCount != 8) return false; break;
    case biRLE4: if (h.bitCount != 4) return false; break;
    case biBitFields: if (h.bitCount != 16 && h.bitCount != 32) return false; break;
    default: return false;
    }
    // Run-length rows are always stored bottom-up.
    if (h.topDown && (h.compression == biRLE8 || h.compression == biRLE4))
        return false;

    // Past the header; longer headers than we parse are skipped.
    if (!s.Seek(FileHeaderSize + int64_t(headerSize)))
        return false;
    if (h.compression == biBitFields) {
        if (headerSize >= 52 && headerSize != Os2HeaderSize) {
            // Newer headers carry the masks themselves.
            for (int i = 0; i < 3; ++i)
                h.masks[i] = get32(&ih[40 + 4 * i]);
            if (headerSize >= 56)
                h.masks[3] = get32(&ih[52]);
        } else {
            uint8_t m[12];
            if (!s.ReadExact(m, sizeof m))
                return false;
            for (int i = 0; i < 3; ++i)
                h.masks[i] = get32(m + 4 * i);
        }
        h.hasMasks = true;
    } else if (h.bitCount == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
        h.hasMasks = true;
    }

    if (h.bitCount <= 8) {
        uint32_t colorsUsed = h.core ? 0 : get32(&ih[32]);
        if (colorsUsed >= 257)
            colorsUsed = 0;
        int count = colorsUsed == 0 ? (1 << h.bitCount) : int(colorsUsed);
        const int entrySize = h.core ? 3 : 4;
        if (int64_t(count) * entrySize > s.Remaining())
            return false;
        uint8_t raw[256 * 4];
        if (!s.ReadExact(raw, size_t(count * entrySize)))
            return false;
        for (int i = 0; i < count; ++i)
            h.palette[size_t(i)] = TRGB{raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2]};
        h.paletteCount = count;
    }

    h.dataOffset = offBits != 0 ? int64_t(offBits) : s.Position();
    if (h.dataOffset < FileHeaderSize + CoreHeaderSize || h.dataOffset > fileSize)
        return false;
    return true;
}

void storeParams(const TBmpHeader& h, TImageParams& p)
{
    p.Width = h.width;
    p.Height = h.height;
    p.SetResolution(PixelsPerMetreToDpi(h.ppmX), PixelsPerMetreToDpi(h.ppmY));
    p.BmpVersion = h.core ? 2 : h.headerSize == InfoHeaderSize ? 1 : h.headerSize == Os2HeaderSize ? 3 : 0;
    p.BmpCompression = (h.compression == biRLE8 || h.compression == biRLE4) ? 1 : 0;
    switch (h.bitCount) {
    case 32: p.BitsPerSample = 8; p.SamplesPerPixel = 4; break;
    case 24: p.BitsPerSample = 8; p.SamplesPerPixel = 3; break;
    case 16: p.BitsPerSample = 5; p.SamplesPerPixel = 3; break;
    default: p.BitsPerSample = h.bitCount; p.SamplesPerPixel = 1; break;
    }
    p.SetColorMap(h.palette.data(), h.paletteCount);
}

const TRGB Black{0, 0, 0};
const TRGB White{255, 255, 255};

// Delivers rows of palette indices into the picture: copied for px8p,
// looked up for px24RGB, as bits for px1g.
class TIndexSink {
public:
    TIndexSink(TImageBuffer& buf, const TBmpHeader& h, bool invertBits)
        : buf_(buf), h_(h), invert_(invertBits) {}

    void Put(int y, const uint8_t* idx)
    {
        uint8_t* row = buf_.RowPointer(y);
        const int w = h_.width;
        switch (buf_.PixelFormat()) {
        case px8p:
            std::memcpy(row, idx, size_t(w));
            break;
        case px1g:
            std::memset(row, 0, size_t(buf_.RowLen()));
            for (int x = 0; x < w; ++x)
                if ((idx[x] != 0) != invert_)
                    row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            break;
        default:
            for (int x = 0; x < w; ++x) {
                const TRGB& c = idx[x] < h_.paletteCount ? h_.palette[idx[x]] : Black;
                row[3 * x] = c.b;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.r;
            }
            break;
        }
    }

private:
    TImageBuffer& buf_;
    const TBmpHeader& h_;
    bool invert_;
};

void unpackIndices(const uint8_t* src, int bits, int width, uint8_t* idx)
{
    switch (bits) {
    case 8:
        std::memcpy(idx, src, size_t(width));
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            idx[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        break;
    default:
        for (int x = 0; x < width; ++x)
            idx[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    }
}

class TBmpDecoder {
public:
    TBmpDecoder(TImageIO& io, TStream& s, const TBmpHeader& h) : io_(io), s_(s), h_(h), buf_(*io.Buffer()) {}

    bool Run()
    {
        if (!PictureSizeAllowed(h_.width, h_.height))
            return false;
        const bool rle = h_.compression == biRLE8 || h_.compression == biRLE4;
        const int64_t stride = StrideOf(h_.width, h_.bitCount);
        // Uncompressed rows must all be in the file before anything is allocated.
        if (!rle && stride * h_.height > s_.Size() - h_.dataOffset)
            return false;
        if (!s_.Seek(h_.dataOffset) || !allocate())
            return false;
        if (rle)
            return decodeRle();
        if (h_.bitCount <= 8)
            return decodeIndexed(stride);
        return decodeTrueColour(stride);
    }

private:
    bool allocate()
    {
        TPixelFormat format = px24RGB;
        if (h_.bitCount == 1) {
            const TRGB* p = h_.palette.data();
            if (h_.paletteCount >= 2 && p[0] == Black && p[1] == White)
                format = px1g;
            else if (h_.paletteCount >= 2 && p[0] == White && p[1] == Black) {
                format = px1g;
                invert_ = true;
            } else if (io_.NativePixelFormat())
                format = px8p;
        } else if (h_.bitCount <= 8 && io_.NativePixelFormat())
            format = px8p;
        buf_.RemoveAlpha();
        if (!buf_.Allocate(h_.width, h_.height, format))
            return false;
        if (format == px8p)
            buf_.SetPalette(h_.palette.data(), h_.paletteCount);
        return true;
    }

    // Row y of the file order mapped to the picture (row 0 = top).
    int pictureRow(int fileRow) const { return h_.topDown ? fileRow : h_.height - 1 - fileRow; }

    bool step(int fileRow)
    {
        io_.Progress(fileRow + 1, h_.height);
        return !io_.Aborting;
    }

    bool decodeIndexed(int64_t stride)
    {
        std::vector<uint8_t> raw(static_cast<size_t>(stride)), idx(static_cast<size_t>(h_.width));
        TIndexSink sink(buf_, h_, invert_);
        for (int r = 0; r < h_.height; ++r) {
            if (!s_.ReadExact(raw.data(), raw.size()))
                return false;
            unpackIndices(raw.data(), h_.bitCount, h_.width, idx.data());
            sink.Put(pictureRow(r), idx.data());
            if (!step(r))
                return false;
        }
        return true;
    }

    bool decodeTrueColour(int64_t stride)
    {
        const int w = h_.width;
        // 24-bit rows padded like the picture's own are read straight in.
        const bool direct = h_.bitCount == 24 && buf_.RowLen() == stride;
        std::vector<uint8_t> raw;
        if (!direct)
            raw.resize(size_t(stride));
        // Plain 32-bit pixels carry alpha in their fourth byte; bit-field
        // pixels only when a header mask says so.
        const bool plain32 = h_.bitCount == 32 && !h_.hasMasks;
        const bool wantAlpha = plain32 || (h_.hasMasks && h_.masks[3] != 0);
        TImageBuffer* alpha = wantAlpha ? buf_.Alpha() : nullptr;
        if (wantAlpha && !alpha)
            return false;
        bool anyAlpha = false, allOpaque = true;
        TMaskChannel red(h_.masks[0]), green(h_.masks[1]), blue(h_.masks[2]), alphaCh(h_.masks[3]);

        for (int r = 0; r < h_.height; ++r) {
            const int y = pictureRow(r);
            uint8_t* row = buf_.RowPointer(y);
            if (direct) {
                if (!s_.ReadExact(row, size_t(stride)))
                    return false;
            } else if (h_.bitCount == 24) {
                if (!s_.ReadExact(raw.data(), raw.size()))
                    return false;
                std::memcpy(row, raw.data(), size_t(3 * w));
            } else {
                if (!s_.ReadExact(raw.data(), raw.size()))
                    return false;
                uint8_t* a = alpha ? alpha->RowPointer(y) : nullptr;
                if (plain32) {
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* px = &raw[size_t(4 * x)];
                        row[3 * x] = px[0];
                        row[3 * x + 1] = px[1];
                        row[3 * x + 2] = px[2];
                        a[x] = px[3];
                    }
                } else {
                    const int bytes = h_.bitCount / 8;
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* px = &raw[size_t(bytes * x)];
                        uint32_t v = bytes == 2 ? get16(px) : get32(px);
                        row[3 * x] = blue(v);
                        row[3 * x + 1] = green(v);
                        row[3 * x + 2] = red(v);
                        if (a)
                            a[x] = alphaCh(v);
                    }
                }
                if (a) {
                    for (int x = 0; x < w; ++x) {
                        anyAlpha |= a[x] != 0;
                        allOpaque &= a[x] == 255;
                    }
                }
            }
            if (!step(r))
                return false;
        }
        // A fourth byte that is 0 everywhere is padding, not transparency.
        if (alpha && !anyAlpha)
            buf_.RemoveAlpha();
        else if (alpha)
            alpha->SetFullyOpaque(allOpaque);
        return true;
    }

    bool decodeRle()
    {
        const int64_t remaining = s_.Remaining();
        std::vector<uint8_t> data(static_cast<size_t>(remaining));
        if (!s_.ReadExact(data.data(), data.size()))
            return false;
        const bool rle4 = h_.compression == biRLE4;
        const int w = h_.width;
        std::vector<uint8_t> idx(size_t(w), 0);
        TIndexSink sink(buf_, h_, invert_);
        int row = 0, x = 0;
        size_t pos = 0;
        const size_t n = data.size();

        // Finishes the current row and moves to the next one.
        auto nextRow = [&]() -> bool {
            sink.Put(pictureRow(row), idx.data());
            std::fill(idx.begin(), idx.end(), uint8_t(0));
            x = 0;
            if (!step(row))
                return false;
            ++row;
            return true;
        };

        while (row < h_.height && pos + 1 < n) {
            const uint8_t count = data[pos], value = data[pos + 1];
            pos += 2;
            if (count > 0) {
                for (int i = 0; i < count && x < w; ++i, ++x)
                    idx[size_t(x)] = rle4 ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value;
                continue;
            }
            if (value == 0) {  // end of line
                if (!nextRow())
                    return false;
            } else if (value == 1) {  // end of bitmap
                break;
            } else if (value == 2) {  // delta: right dx, down dy
                if (pos + 1 >= n)
                    break;
                int dx = data[pos], dy = data[pos + 1];
                pos += 2;
                const int column = x;
                for (int i = 0; i < dy && row < h_.height; ++i)
                    if (!nextRow())
                        return false;
                x = std::min(w, column + dx);
            } else {  // absolute run of `value` pixels, padded to a word
                const size_t bytes = rle4 ? (size_t(value) + 1) / 2 : size_t(value);
                if (pos + bytes > n)
                    return false;
                for (int i = 0; i < value && x < w; ++i, ++x) {
                    uint8_t b = data[pos + (rle4 ? size_t(i) / 2 : size_t(i))];
                    idx[size_t(x)] = rle4 ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b;
                }
                pos += (bytes + 1) & ~size_t(1);
            }
        }
        // Rows the data leaves out stay at index 0.
        while (row < h_.height)
            if (!nextRow())
                return false;
        return true;
    }

    TImageIO& io_;
    TStream& s_;
    const TBmpHeader& h_;
    TImageBuffer& buf_;
    bool invert_ = false;
};

}  // namespace

bool ReadBmp(TImageIO& io, TStream& stream)
{
    TBmpHeader h;
    if (!readHeader(stream, h)) {
        io.Aborting = true;
        return false;
    }
    storeParams(h, io.Params);
    TBmpDecoder decoder(io, stream, h);
    if (!decoder.Run()) {
        io.Aborting = true;
        return false;
    }
    return true;
}

bool ReadBmpParams(TImageIO& io, TStream& stream)
{
    TBmpHeader h;
    if (!readHeader(stream, h)) {
        io.Aborting = true;
        return false;
    }
    storeParams(h, io.Params);
    return true;
}
