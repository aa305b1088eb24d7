#include "imaging/formats/bmp/BmpWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/ColorQuantizer.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/bmp/BmpFormat.h"
#include "imaging/formats/bmp/BmpRowSource.h"

using namespace bmp;

namespace {

const TRGB Black{0, 0, 0};
const TRGB White{255, 255, 255};

// Output depth from the parameters record and the picture.
int chooseDepth(const TImageParams& p, const TImageBuffer& buf)
{
    if (p.BitsPerSample == 1 || p.BitsPerSample == 4)
        return p.BitsPerSample;
    if (p.SamplesPerPixel == 1)
        return 8;
    if (buf.HasAlpha())
        return 32;
    return 24;
}

// Run-length rows. Each row is coded on its own: runs of 2..255 equal
// pixels as (count, value), other pixels as literal groups, then the
// end-of-line pair.
class TRleEncoder {
public:
    explicit TRleEncoder(bool rle4) : rle4_(rle4) {}

    void EncodeRow(const uint8_t* idx, int width, std::vector<uint8_t>& out)
    {
        out.clear();
        int x = 0, litStart = 0;
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 255 && idx[x + run] == idx[x])
                ++run;
            if (run >= 2) {
                flushLiteral(idx + litStart, x - litStart, out);
                out.push_back(uint8_t(run));
                out.push_back(value(idx[x]));
                x += run;
                litStart = x;
            } else {
                ++x;
                if (x - litStart == 255) {
                    flushLiteral(idx + litStart, 255, out);
                    litStart = x;
                }
            }
        }
        flushLiteral(idx + litStart, x - litStart, out);
        out.push_back(0);
        out.push_back(0);
    }

private:
    uint8_t value(uint8_t v) const { return rle4_ ? uint8_t((v << 4) | (v & 0x0F)) : v; }

    void flushLiteral(const uint8_t* p, int n, std::vector<uint8_t>& out)
    {
        if (n <= 0)
            return;
        if (n <= 2) {
            // Absolute mode needs at least three pixels.
            for (int i = 0; i < n; ++i) {
                out.push_back(1);
                out.push_back(value(p[i]));
            }
            return;
        }
        out.push_back(0);
        out.push_back(uint8_t(n));
        size_t bytes = 0;
        if (rle4_) {
            for (int i = 0; i < n; i += 2) {
                uint8_t hi = uint8_t(p[i] << 4), lo = i + 1 < n ? uint8_t(p[i + 1] & 0x0F) : 0;
                out.push_back(uint8_t(hi | lo));
                ++bytes;
            }
        } else {
            out.insert(out.end(), p, p + n);
            bytes = size_t(n);
        }
        if (bytes & 1)
            out.push_back(0);
    }

    bool rle4_;
};

// Packs indices of 1, 4 or 8 bits into a padded row.
void packIndices(const uint8_t* idx, int width, int bits, uint8_t* out, size_t stride)
{
    std::memset(out, 0, stride);
    switch (bits) {
    case 8:
        std::memcpy(out, idx, size_t(width));
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            out[x >> 1] |= uint8_t((idx[x] & 0x0F) << ((x & 1) ? 0 : 4));
        break;
    default:
        for (int x = 0; x < width; ++x)
            if (idx[x])
                out[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
    }
}

class TBmpEncoder {
public:
    TBmpEncoder(TImageIO& io, TStream& s) : io_(io), s_(s), buf_(*io.Buffer()), p_(io.Params) {}

    bool Run()
    {
        bits_ = chooseDepth(p_, buf_);
        core_ = p_.BmpVersion == 2;
        headerSize_ = core_ ? CoreHeaderSize : p_.BmpVersion == 3 ? Os2HeaderSize : InfoHeaderSize;
        rle_ = !core_ && p_.BmpCompression == 1 && (bits_ == 4 || bits_ == 8);
        width_ = buf_.Width();
        height_ = buf_.Height();
        if (core_ && (width_ > 0xFFFF || height_ > 0xFFFF))
            return false;
        if (!preparePixels())
            return false;

        const int64_t start = s_.Position();
        const int paletteEntries = bits_ <= 8 ? (1 << bits_) : 0;
        dataOffset_ = FileHeaderSize + headerSize_ + paletteEntries * (core_ ? 3 : 4);
        // The file size field has 32 bits; refuse before writing anything.
        if (!rle_ && dataOffset_ + StrideOf(width_, bits_) * height_ > int64_t(UINT32_MAX))
            return false;
        if (!writeHeaders(0, 0) || !writePalette(paletteEntries))
            return false;
        if (!writeRows())
            return false;
        const int64_t end = s_.Position();
        const int64_t fileSize = end - start;
        if (fileSize > int64_t(UINT32_MAX))
            return false;
        // Now that the sizes are known, the headers are written again.
        if (!s_.Seek(start) || !writeHeaders(uint32_t(fileSize), uint32_t(fileSize - dataOffset_)) || !s_.Seek(end))
            return false;
        return !s_.Failed();
    }

private:
    // Decides where the rows come from: a palette and index rows for
    // depths up to 8, colour rows otherwise.
    bool preparePixels()
    {
        if (bits_ > 8) {
            if (!TBgrRowSource::Supports(buf_.PixelFormat()) && !buf_.ConvertTo(px24RGB))
                return false;
            return true;
        }
        palette_.fill(Black);
        const int maxColors = 1 << bits_;
        const TPixelFormat fmt = buf_.PixelFormat();
        if (fmt == px1g) {
            palette_[0] = Black;
            palette_[1] = White;
            indexKind_ = IndexKind::Bits;
        } else if (bits_ == 1) {
            return prepareTwoColours();
        } else if (fmt == px8p && maxIndex() < maxColors) {
            std::copy(buf_.Palette(), buf_.Palette() + std::min(buf_.PaletteCount(), maxColors), palette_.begin());
            indexKind_ = IndexKind::Bytes;
        } else if (fmt == px8g && bits_ == 8) {
            for (int i = 0; i < 256; ++i)
                palette_[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
            indexKind_ = IndexKind::Bytes;
        } else {
            if (!TBgrRowSource::Supports(fmt) && !buf_.ConvertTo(px24RGB))
                return false;
            // A palette picture whose indices do not fit goes through its colours.
            quantizer_ = std::make_unique<TColorQuantizer>(buf_, maxColors);
            std::copy(quantizer_->Palette(), quantizer_->Palette() + quantizer_->PaletteCount(), palette_.begin());
            indexKind_ = IndexKind::Quantized;
        }
        p_.SetColorMap(palette_.data(), maxColors);
        return true;
    }

    // One bit per pixel from a picture that is not px1g: its two colours
    // when it has at most two, else the black-and-white conversion.
    bool prepareTwoColours()
    {
        TBgrRowSource src(buf_);
        std::array<TRGB, 2> colours{};
        int found = 0;
        for (int y = 0; y < height_ && found <= 2; ++y) {
            const uint8_t* row = src.Row(y);
            for (int x = 0; x < width_ && found <= 2; ++x) {
                TRGB c{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                if (found >= 1 && c == colours[0])
                    continue;
                if (found >= 2 && c == colours[1])
                    continue;
                if (found < 2)
                    colours[size_t(found)] = c;
                ++found;
            }
        }
        if (found <= 2) {
            palette_[0] = colours[0];
            palette_[1] = found == 2 ? colours[1] : colours[0];
            twoColour_ = colours[0];
            indexKind_ = IndexKind::TwoColour;
        } else {
            bw_ = std::make_unique<TImageBuffer>();
            if (!bw_->Assign(buf_) || !bw_->ConvertTo(px1g))
                return false;
            palette_[0] = Black;
            palette_[1] = White;
            indexKind_ = IndexKind::Bits;
        }
        p_.SetColorMap(palette_.data(), 2);
        return true;
    }

    int maxIndex() const
    {
        int m = 0;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* row = buf_.RowPointer(y);
            for (int x = 0; x < width_; ++x)
                m = std::max<int>(m, row[x]);
        }
        return m;
    }

    bool writeHeaders(uint32_t fileSize, uint32_t imageSize)
    {
        uint8_t h[FileHeaderSize + Os2HeaderSize] = {};
        h[0] = 'B';
        h[1] = 'M';
        put32(h + 2, fileSize);
        put32(h + 10, uint32_t(dataOffset_));
        uint8_t* ih = h + FileHeaderSize;
        put32(ih, uint32_t(headerSize_));
        if (core_) {
            put16(ih + 4, uint32_t(width_));
            put16(ih + 6, uint32_t(height_));
            put16(ih + 8, 1);
            put16(ih + 10, uint32_t(bits_));
        } else {
            put32(ih + 4, uint32_t(width_));
            put32(ih + 8, uint32_t(height_));
            put16(ih + 12, 1);
            put16(ih + 14, uint32_t(bits_));
            put32(ih + 16, rle_ ? (bits_ == 8 ? biRLE8 : biRLE4) : biRGB);
            put32(ih + 20, imageSize);
            put32(ih + 24, uint32_t(DpiToPixelsPerMetre(p_.DpiX)));
            put32(ih + 28, uint32_t(DpiToPixelsPerMetre(p_.DpiY)));
            put32(ih + 32, bits_ <= 8 ? (1u << bits_) : 0u);
            put32(ih + 36, 1u << (bits_ % 32));
        }
        return s_.WriteExact(h, size_t(FileHeaderSize + headerSize_));
    }

    bool writePalette(int entries)
    {
        const int size = core_ ? 3 : 4;
        std::vector<uint8_t> out(size_t(entries * size), 0);
        for (int i = 0; i < entries; ++i) {
            out[size_t(i * size)] = palette_[size_t(i)].b;
            out[size_t(i * size + 1)] = palette_[size_t(i)].g;
            out[size_t(i * size + 2)] = palette_[size_t(i)].r;
        }
        return s_.WriteExact(out.data(), out.size());
    }

    // Palette indices of row y, one byte per pixel.
    void indexRow(int y, TBgrRowSource& src, uint8_t* idx)
    {
        switch (indexKind_) {
        case IndexKind::Bytes:
            std::memcpy(idx, buf_.RowPointer(y), size_t(width_));
            break;
        case IndexKind::Bits: {
            const uint8_t* row = (bw_ ? *bw_ : buf_).RowPointer(y);
            for (int x = 0; x < width_; ++x)
                idx[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        }
        case IndexKind::TwoColour: {
            const uint8_t* row = src.Row(y);
            for (int x = 0; x < width_; ++x)
                idx[x] = TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]} == twoColour_ ? 0 : 1;
            break;
        }
        case IndexKind::Quantized:
            quantizer_->MapRow(src.Row(y), idx, width_);
            break;
        }
    }

    bool writeRows()
    {
        const size_t stride = size_t(StrideOf(width_, bits_));
        std::vector<uint8_t> out(stride), idx(static_cast<size_t>(width_)), rle;
        TBgrRowSource src(buf_);
        TRleEncoder encoder(bits_ == 4);
        const TImageBuffer* alpha = bits_ == 32 && p_.BmpSaveAlpha ? buf_.ExistingAlpha() : nullptr;
        int written = 0;
        for (int y = height_ - 1; y >= 0; --y) {
            const uint8_t* data = out.data();
            size_t size = stride;
            if (bits_ <= 8) {
                indexRow(y, src, idx.data());
                if (rle_) {
                    encoder.EncodeRow(idx.data(), width_, rle);
                    if (y == 0) {
                        rle.push_back(0);
                        rle.push_back(1);
                    }
                    data = rle.data();
                    size = rle.size();
                } else {
                    packIndices(idx.data(), width_, bits_, out.data(), stride);
                }
            } else if (bits_ == 24 && buf_.PixelFormat() == px24RGB && size_t(buf_.RowLen()) == stride) {
                data = buf_.RowPointer(y);
            } else {
                const uint8_t* row = src.Row(y);
                if (bits_ == 24) {
                    std::memcpy(out.data(), row, size_t(3 * width_));
                    std::memset(out.data() + 3 * width_, 0, stride - size_t(3 * width_));
                } else {
                    const uint8_t* a = alpha ? alpha->RowPointer(y) : nullptr;
                    for (int x = 0; x < width_; ++x) {
                        out[size_t(4 * x)] = row[3 * x];
                        out[size_t(4 * x + 1)] = row[3 * x + 1];
                        out[size_t(4 * x + 2)] = row[3 * x + 2];
                        out[size_t(4 * x + 3)] = a ? a[x] : 255;
                    }
                }
            }
            if (!s_.WriteExact(data, size))
                return false;
            io_.Progress(++written, height_);
            if (io_.Aborting)
                return false;
        }
        return true;
    }

    enum class IndexKind { Bytes, Bits, TwoColour, Quantized };

    TImageIO& io_;
    TStream& s_;
    TImageBuffer& buf_;
    TImageParams& p_;
    int bits_ = 24;
    bool core_ = false;
    bool rle_ = false;
    int headerSize_ = InfoHeaderSize;
    int width_ = 0;
    int height_ = 0;
    int64_t dataOffset_ = 0;
    std::array<TRGB, 256> palette_{};
    IndexKind indexKind_ = IndexKind::Bytes;
    TRGB twoColour_{};
    std::unique_ptr<TColorQuantizer> quantizer_;
    std::unique_ptr<TImageBuffer> bw_;
};

}  // namespace

bool WriteBmp(TImageIO& io, TStream& stream)
{
    if (!io.Buffer() || io.Buffer()->IsEmpty()) {
        io.Aborting = true;
        return false;
    }
    TBmpEncoder encoder(io, stream);
    if (!encoder.Run()) {
        io.Aborting = true;
        return false;
    }
    return true;
}
