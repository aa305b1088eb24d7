#include "imaging/formats/tiff/TiffJpeg.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/ImageBuffer.h"
#include "imaging/formats/jpeg/JpegLibAdapter.h"

namespace tiff {

namespace {

struct TMemoryCursor {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

size_t readFromMemory(void* context, uint8_t* buf, size_t n)
{
    auto* c = static_cast<TMemoryCursor*>(context);
    const size_t take = std::min(n, c->size - c->pos);
    std::memcpy(buf, c->data + c->pos, take);
    c->pos += take;
    return take;
}

bool appendToVector(void* context, const uint8_t* buf, size_t n)
{
    try {
        static_cast<std::vector<uint8_t>*>(context)->insert(static_cast<std::vector<uint8_t>*>(context)->end(), buf,
                                                            buf + n);
        return true;
    } catch (...) {
        return false;
    }
}

bool startsWithSoi(const uint8_t* p, size_t n) { return n >= 2 && p[0] == 0xFF && p[1] == 0xD8; }

// Rows of a decoder that has read its header, in the output colour space set
// by the caller; each row goes to sink(y, samples, width).
template <typename Sink>
bool decodeRows(TJpegDecompressor& d, int components, Sink sink)
{
    if (!jpegStartDecompress(&d)) return false;
    if (d.cinfo.output_components != components) return false;
    std::vector<uint8_t> row(size_t(d.cinfo.output_width) * size_t(components));
    JSAMPROW rows[1] = {row.data()};
    for (unsigned y = 0; y < d.cinfo.output_height; ++y) {
        unsigned got = 0;
        if (!jpegReadRows(&d, rows, 1, &got) || got != 1) return false;
        if (!sink(int(y), row.data(), int(d.cinfo.output_width))) break;
    }
    return true;
}

J_COLOR_SPACE spaceOfSamples(int samples)
{
    return samples == 1 ? JCS_GRAYSCALE : samples == 4 ? JCS_CMYK : JCS_RGB;
}

}  // namespace

int DecodeJpegStrip(const uint8_t* data, size_t size, const std::vector<uint8_t>& tables, int photometric,
                    uint8_t* out, size_t rowBytes, int rows, int width, int samples, bool* ok)
{
    *ok = false;
    // Abbreviated strips share the tables of tag 347: the two streams are
    // joined into one by dropping the tables' end marker and the strip's
    // start marker.
    std::vector<uint8_t> joined;
    if (tables.size() > 4 && startsWithSoi(tables.data(), tables.size()) && startsWithSoi(data, size)) {
        size_t keep = tables.size();
        if (tables[keep - 2] == 0xFF && tables[keep - 1] == 0xD9) keep -= 2;
        joined.reserve(keep + size - 2);
        joined.insert(joined.end(), tables.begin(), tables.begin() + long(keep));
        joined.insert(joined.end(), data + 2, data + size);
        data = joined.data();
        size = joined.size();
    }
    TMemoryCursor cursor{data, size};
    auto d = std::make_unique<TJpegDecompressor>();
    if (!jpegCreateDecompressor(d.get(), readFromMemory, &cursor) || !jpegReadHeader(d.get())) return 0;
    if (samples == 3 && d->cinfo.num_components == 3)
        d->cinfo.jpeg_color_space = photometric == 2 ? JCS_RGB : JCS_YCbCr;
    d->cinfo.out_color_space = spaceOfSamples(samples);
    int produced = 0;
    const size_t copy = size_t(std::max(0, width)) * size_t(samples);
    const bool decoded = decodeRows(*d, samples, [&](int y, const uint8_t* row, int w) {
        if (y >= rows) return false;
        std::memcpy(out + size_t(y) * rowBytes, row, std::min(copy, size_t(w) * size_t(samples)));
        produced = y + 1;
        return true;
    });
    *ok = decoded && produced == rows;
    return produced;
}

bool DecodeJpegPicture(const uint8_t* data, size_t size, TImageBuffer& picture, int maxSide)
{
    TMemoryCursor cursor{data, size};
    auto d = std::make_unique<TJpegDecompressor>();
    if (!jpegCreateDecompressor(d.get(), readFromMemory, &cursor) || !jpegReadHeader(d.get())) return false;
    d->cinfo.out_color_space = JCS_RGB;
    if (!jpegCalcOutputDimensions(d.get())) return false;
    const uint64_t w = d->cinfo.output_width, h = d->cinfo.output_height;
    if (w > uint64_t(maxSide) || h > uint64_t(maxSide)) return false;
    if (w * h * 3 > std::max<uint64_t>(uint64_t(16) << 20, uint64_t(size) * 4096)) return false;
    if (!picture.Allocate(int(d->cinfo.output_width), int(d->cinfo.output_height), px24RGB)) return false;
    int produced = 0;
    const bool decoded = decodeRows(*d, 3, [&](int y, const uint8_t* row, int w) {
        uint8_t* dst = picture.RowPointer(y);
        for (int x = 0; x < w && x < picture.Width(); ++x) {
            dst[3 * x] = row[3 * x + 2];
            dst[3 * x + 1] = row[3 * x + 1];
            dst[3 * x + 2] = row[3 * x];
        }
        produced = y + 1;
        return true;
    });
    return decoded && produced == picture.Height();
}

bool EncodeJpegStream(const TJpegEncodeRequest& request, std::vector<uint8_t>& out)
{
    TJpegEncodeSettings settings;
    settings.Width = unsigned(request.Width);
    settings.Height = unsigned(request.Height);
    settings.InputSpace = spaceOfSamples(request.Samples);
    settings.InputComponents = request.Samples;
    settings.FileSpace = request.Photometric == 6 ? JCS_YCbCr : settings.InputSpace;
    settings.Quality = std::clamp(request.Quality, 1, 100);
    settings.DensityX = unsigned(std::max(1, request.DpiX));
    settings.DensityY = unsigned(std::max(1, request.DpiY));
    auto c = std::make_unique<TJpegCompressor>();
    if (!jpegCreateCompressor(c.get(), appendToVector, &out) || !jpegSetupCompressor(c.get(), &settings) ||
        !jpegStartCompress(c.get()))
        return false;
    for (int y = 0; y < request.Height; ++y) {
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(request.Row(y))};
        if (!jpegWriteRows(c.get(), rows, 1)) return false;
    }
    return jpegFinishCompress(c.get()) && !c->WriteFailed;
}

}  // namespace tiff
