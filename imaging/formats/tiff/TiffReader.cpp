#include "imaging/formats/tiff/TiffReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImageParams.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffJpeg.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffPredictor.h"
#include "imaging/formats/tiff/TiffRowStore.h"
#include "imaging/formats/tiff/TiffStripDecoder.h"
#include "imaging/formats/tiff/TiffTags.h"

using namespace tiff;

namespace {

// Largest decoded strip or tile held in memory at once.
constexpr uint64_t MaxBlockBytes = uint64_t(1) << 30;
// More strips or tiles than this is taken for damage.
constexpr uint64_t MaxBlocks = uint64_t(1) << 24;

uint8_t compressionField(uint32_t code, uint32_t t4Options)
{
    switch (code) {
    case 1: return 0;
    case 2: return 1;
    case 3: return (t4Options & 1) ? 3 : 2;
    case 4: return 4;
    case 5: return 5;
    case 6: return 6;
    case 7: return 7;
    case 32773: return 8;
    case 32946: return 9;
    case 8: return 10;
    default: return 11;
    }
}

uint8_t photometricField(uint32_t code)
{
    if (code <= 6) return uint8_t(code);
    if (code == 8) return 7;
    return 2;
}

std::string stringOr(const TTiffDirectory& dir, uint16_t tag)
{
    std::string s;
    if (!dir.GetString(tag, &s))
        return std::string();
    // A text ends at its first NUL.
    s.resize(std::min(s.find('\0'), s.size()));
    return s;
}

void fillParams(const TTiffDirectory& dir, TImageParams& p)
{
    p.Width = int(std::min<uint32_t>(dir.UIntOr(tagImageWidth, 0), INT32_MAX));
    p.Height = int(std::min<uint32_t>(dir.UIntOr(tagImageLength, 0), INT32_MAX));
    p.SamplesPerPixel = int(std::min<uint32_t>(dir.UIntOr(tagSamplesPerPixel, 1), 65535));
    p.BitsPerSample = int(std::min<uint32_t>(dir.UIntOr(tagBitsPerSample, 1), 65535));
    const uint32_t compression = dir.UIntOr(tagCompression, 1);
    uint32_t photometric = dir.UIntOr(tagPhotometric, 2);
    // Fax data that claims RGB is plain white-is-zero bi-level data.
    if (p.BitsPerSample == 1 && p.SamplesPerPixel == 1 && compression >= 1 && compression <= 4 && photometric == 2)
        photometric = 0;
    p.TiffPhotometric = photometricField(photometric);
    p.TiffPlanarConfig = int(dir.UIntOr(tagPlanarConfig, 1));
    p.TiffCompression = compressionField(compression, dir.UIntOr(tagT4Options, 0));
    p.TiffFillOrder = int(dir.UIntOr(tagFillOrder, 1));
    p.TiffDocumentName = stringOr(dir, tagDocumentName);
    p.TiffImageDescription = stringOr(dir, tagImageDescription);
    p.TiffPageName = stringOr(dir, tagPageName);
    double v = 0;
    p.TiffXPos = dir.GetReal(tagXPosition, &v) && std::isfinite(v) ? int(std::clamp(std::nearbyint(v), -1e9, 1e9)) : 0;
    p.TiffYPos = dir.GetReal(tagYPosition, &v) && std::isfinite(v) ? int(std::clamp(std::nearbyint(v), -1e9, 1e9)) : 0;
    uint32_t page = 0;
    p.TiffPageNumber = dir.GetUInt(tagPageNumber, &page, 0) ? int16_t(page) : int16_t(-1);
    p.TiffPageCount = dir.GetUInt(tagPageNumber, &page, 1) ? int16_t(page) : int16_t(-1);

    if (photometric == 3 && p.BitsPerSample >= 1 && p.BitsPerSample <= 8) {
        // The high byte, as libtiff's own RGBA interface takes it.
        auto to8 = [](uint32_t v) { return uint8_t(std::min<uint32_t>(v, 65535) >> 8); };
        const uint32_t entries = 1u << p.BitsPerSample;
        std::vector<uint32_t> map = dir.GetUInts(tagColorMap, 3 * 65536);
        if (map.size() >= 3 * entries) {
            std::vector<TRGB> colours(entries);
            for (uint32_t i = 0; i < entries; ++i)
                colours[i] = TRGB{to8(map[2 * entries + i]), to8(map[entries + i]), to8(map[i])};
            p.SetColorMap(colours.data(), int(entries));
        }
    }

    const double f = dir.UIntOr(tagResolutionUnit, 2) == 3 ? 2.54 : 1.0;
    auto dpi = [&](uint16_t tag) {
        double r = 0;
        if (!dir.GetReal(tag, &r) || !std::isfinite(r) || r <= 0 || r * f > 1e6) return 0;
        return int(std::nearbyint(r * f));
    };
    p.SetResolution(dpi(tagXResolution), dpi(tagYResolution));
}

class TPictureDecoder {
public:
    TPictureDecoder(const TTiffSource& src, const TTiffDirectory& dir, TImageBuffer& buffer, TImageParams& params,
                    const TTiffReadOptions& options)
        : src_(src), dir_(dir), buffer_(buffer), p_(params), options_(options)
    {
    }

    bool Run();

private:
    bool aborting() const { return options_.Aborting && *options_.Aborting; }
    bool decodeOldJpeg();
    bool readBlock(size_t index, std::vector<uint8_t>& raw, uint64_t needed);

    const TTiffSource& src_;
    const TTiffDirectory& dir_;
    TImageBuffer& buffer_;
    TImageParams& p_;
    const TTiffReadOptions& options_;
    std::vector<uint32_t> offsets_;
    std::vector<uint32_t> counts_;
    uint32_t compression_ = 1;
};

bool TPictureDecoder::readBlock(size_t index, std::vector<uint8_t>& raw, uint64_t needed)
{
    if (index >= offsets_.size()) return false;
    const uint64_t offset = offsets_[index];
    if (offset >= src_.Size()) return false;
    uint64_t count = index < counts_.size() ? counts_[index] : 0;
    const uint64_t toEnd = src_.Size() - offset;
    if (count == 0 || count > toEnd) count = toEnd;
    // Uncompressed strips hold exactly their rows; some writers understate
    // the count, so the rows are taken as far as the file has them.
    if (compression_ == 1) count = std::min(needed, toEnd);
    raw.resize(size_t(count));
    return src_.Read(offset, raw.data(), raw.size());
}

// Old-style JPEG: the directory points at one complete JPEG stream.
bool TPictureDecoder::decodeOldJpeg()
{
    uint32_t offset = 0;
    if (!dir_.GetUInt(tagJpegInterchangeFormat, &offset) || offset >= src_.Size()) return false;
    uint64_t length = dir_.UIntOr(tagJpegInterchangeFormatLength, 0);
    if (length == 0 || length > src_.Size() - offset) length = src_.Size() - offset;
    std::vector<uint8_t> stream(static_cast<size_t>(length));
    if (!src_.Read(offset, stream.data(), stream.size())) return false;
    const bool ok = DecodeJpegPicture(stream.data(), stream.size(), buffer_, options_.ExifThumbnail ? 400 : 65535);
    if (options_.Progress) options_.Progress(1, 1);
    return ok;
}

bool TPictureDecoder::Run()
{
    compression_ = dir_.UIntOr(tagCompression, 1);
    if ((compression_ == 6 || (dir_.Has(tagJpegInterchangeFormat) && compression_ != 5)) &&
        dir_.UIntOr(tagJpegProc, 1) < 2) {
        if (!PictureSizeAllowed(p_.Width, p_.Height)) return false;
        return decodeOldJpeg();
    }
    if (compression_ == 6) return false;
    const int w = p_.Width;
    const int h = p_.Height;
    const int bits = p_.BitsPerSample;
    const int n = p_.SamplesPerPixel;
    int photometric = p_.TiffPhotometric == 7 ? 8 : p_.TiffPhotometric;
    if (!PictureSizeAllowed(w, h)) return false;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return false;
    if (n < 1 || n > 16) return false;
    if (dir_.UIntOr(tagSampleFormat, 1) == 3) return false;  // floating point samples
    if ((photometric == 2 || photometric == 6 || photometric == 8) && n < 3) return false;
    if (photometric == 5 && n < 4) return false;
    if (photometric == 3 && bits > 8) return false;
    if (photometric > 8 || photometric == 7) return false;
    const bool jpeg = compression_ == 7;
    if (jpeg && (bits != 8 || (n != 1 && n != 3 && n != 4))) return false;
    // YCbCr outside JPEG data may be subsampled into data units, which
    // this reader does not take apart.
    if (photometric == 6 && !jpeg) {
        if (dir_.UIntOr(tagYCbCrSubsampling, 2) != 1) return false;
        uint32_t v = 2;
        dir_.GetUInt(tagYCbCrSubsampling, &v, 1);
        if (v != 1) return false;
    }
    const bool planar = dir_.UIntOr(tagPlanarConfig, 1) == 2 && n > 1;
    if (planar && bits % 8 != 0) return false;
    const uint32_t predictorTag = dir_.UIntOr(tagPredictor, 1);
    if (predictorTag > 2) return false;
    const bool predictor = predictorTag == 2 && (compression_ == 5 || compression_ == 8 || compression_ == 32946);

    // libjpeg hands YCbCr back as RGB.
    TSampleLayout layout;
    layout.Bits = bits;
    layout.Samples = n;
    layout.Photometric = jpeg && photometric == 6 ? 2 : photometric;
    layout.BigEndian = !p_.TiffByteOrder;
    layout.ColorMap = p_.ColorMap.data();
    const uint32_t extra = dir_.UIntOr(tagExtraSamples, 0);
    layout.Alpha = (n == 4 && extra == 2) || (n == 2 && bits == 8) || (n == 4 && photometric == 2);
    layout.Premultiplied = layout.Alpha && extra == 1;

    // Geometry of the blocks: tiles, or strips spanning the whole width.
    const bool tiled = dir_.Has(tagTileWidth) || dir_.Has(tagTileLength);
    uint64_t blockW = uint64_t(w);
    uint64_t blockH = 0;
    if (tiled) {
        blockW = dir_.UIntOr(tagTileWidth, 0);
        blockH = dir_.UIntOr(tagTileLength, 0);
        if (blockW == 0 || blockH == 0 || blockW > 65536 || blockH > 65536) return false;
    } else {
        blockH = dir_.UIntOr(tagRowsPerStrip, uint32_t(h));
        if (blockH == 0 || blockH > uint64_t(h)) blockH = uint64_t(h);
    }
    const uint64_t across = (uint64_t(w) + blockW - 1) / blockW;
    const uint64_t down = (uint64_t(h) + blockH - 1) / blockH;
    const uint64_t perPlane = across * down;
    const int planes = planar ? n : 1;
    if (perPlane * uint64_t(planes) > MaxBlocks) return false;
    const uint64_t chunkyRowBytes = (blockW * uint64_t(bits) * uint64_t(n) + 7) / 8;
    const uint64_t planeRowBytes = planar ? (blockW * uint64_t(bits) + 7) / 8 : chunkyRowBytes;
    if (chunkyRowBytes * blockH > std::min(MaxBlockBytes, std::max<uint64_t>(uint64_t(16) << 20, src_.Size() * 4096)))
        return false;

    // No coding of TIFF packs more than a few thousand bytes into one; a
    // picture far larger than its file could hold is damage, refused before
    // a large buffer is allocated for it.
    const uint64_t sampleBytes = (uint64_t(w) * uint64_t(bits) * uint64_t(n) + 7) / 8 * uint64_t(h);
    if (sampleBytes > std::max<uint64_t>(uint64_t(16) << 20, src_.Size() * 4096)) return false;

    const TPixelFormat format = ChooseTiffPixelFormat(bits, n, photometric, p_.NativePixelFormat);
    if (!buffer_.Allocate(w, h, format)) return false;
    if (format == px8p) buffer_.SetPalette(p_.ColorMap.data(), 256);
    TImageBuffer* alpha = nullptr;
    if (layout.Alpha && (format == px24RGB || format == pxRGB48)) {
        alpha = buffer_.Alpha();
        if (!alpha) return false;
    } else {
        layout.Alpha = false;
    }
    TTiffRowStore store(buffer_, alpha, layout);

    const uint16_t offsetTag = tiled && dir_.Has(tagTileOffsets) ? tagTileOffsets : tagStripOffsets;
    const uint16_t countTag = tiled && dir_.Has(tagTileByteCounts) ? tagTileByteCounts : tagStripByteCounts;
    offsets_ = dir_.GetUInts(offsetTag, uint32_t(MaxBlocks));
    counts_ = dir_.GetUInts(countTag, uint32_t(MaxBlocks));
    if (offsets_.empty()) return false;

    TStripCoding coding;
    coding.Compression = int(compression_);
    coding.TwoDimensional = (dir_.UIntOr(tagT4Options, 0) & 1) != 0;
    coding.ReverseBits = dir_.UIntOr(tagFillOrder, 1) == 2;
    coding.Lzw = p_.TiffLzwEncoder ? p_.TiffLzwEncoder : TiffLzwDefaultCoder();
    if (compression_ == 5 && !coding.Lzw) return false;
    if (jpeg) coding.JpegTables = dir_.GetBytes(tagJpegTables, 1u << 20);
    coding.JpegPhotometric = photometric;

    std::vector<uint8_t> block(size_t(chunkyRowBytes * blockH));
    std::vector<uint8_t> plane(planar ? size_t(planeRowBytes * blockH) : 0);
    std::vector<uint8_t> raw;
    const size_t bytesPerSample = size_t(bits / 8);
    bool damaged = false;

    for (uint64_t k = 0; k < perPlane && !aborting(); ++k) {
        const uint64_t x0 = (k % across) * blockW;
        const uint64_t y0 = (k / across) * blockH;
        const int rowsHere = int(tiled ? blockH : std::min<uint64_t>(blockH, uint64_t(h) - y0));
        int rowsValid = rowsHere;
        for (int s = 0; s < planes; ++s) {
            uint8_t* target = planar ? plane.data() : block.data();
            const size_t rowBytes = size_t(planar ? planeRowBytes : chunkyRowBytes);
            const int spp = planar ? 1 : n;
            int got = 0;
            bool ok = false;
            if (readBlock(size_t(uint64_t(s) * perPlane + k), raw, rowBytes * size_t(rowsHere)))
                got = DecodeStrip(coding, raw, target, rowBytes, rowsHere, int(blockW), spp, &ok);
            if (!ok) damaged = true;
            for (int r = 0; predictor && r < got; ++r) {
                uint8_t* row = target + size_t(r) * rowBytes;
                if (bits == 8)
                    predictorDecode8(row, size_t(blockW), spp);
                else if (bits == 16)
                    predictorDecode16(row, size_t(blockW), spp, layout.BigEndian);
            }
            if (planar) {
                for (int r = 0; r < got; ++r) {
                    const uint8_t* from = plane.data() + size_t(r) * planeRowBytes;
                    uint8_t* to = block.data() + size_t(r) * chunkyRowBytes + size_t(s) * bytesPerSample;
                    for (uint64_t x = 0; x < blockW; ++x)
                        std::memcpy(to + x * bytesPerSample * size_t(n), from + x * bytesPerSample, bytesPerSample);
                }
            }
            rowsValid = std::min(rowsValid, got);
        }
        for (int r = 0; r < rowsValid && y0 + uint64_t(r) < uint64_t(h); ++r)
            store.Store(int(y0) + r, int(x0), int(std::min<uint64_t>(blockW, uint64_t(w) - x0)),
                        block.data() + size_t(r) * chunkyRowBytes);
        if (options_.Progress) options_.Progress(int64_t(k + 1), int64_t(perPlane));
    }
    return !damaged && !aborting();
}

}  // namespace

bool ReadTiffStructure(TStream& stream, int64_t base, TImageBuffer* buffer, TImageParams& params,
                       const TTiffReadOptions& options)
{
    auto fail = [&] {
        if (options.Aborting) *options.Aborting = true;
        return false;
    };
    TTiffSource src(stream, base);
    TByteOrder order;
    uint32_t first = 0;
    if (!ReadTiffHeader(src, &order, &first)) return fail();
    params.TiffByteOrder = !order.BigEndian;
    const std::vector<uint32_t> chain = WalkDirectoryChain(src, order, first);
    params.TiffImageCount = int(chain.size());
    if (params.TiffImageIndex < 0 || size_t(params.TiffImageIndex) >= chain.size()) return fail();
    TTiffDirectory dir;
    if (!dir.Read(src, order, chain[size_t(params.TiffImageIndex)])) return fail();
    if (params.TiffSubIndex >= 0) {
        const std::vector<uint32_t> subs = dir.GetUInts(tagSubIfds, 65536);
        if (size_t(params.TiffSubIndex) >= subs.size()) return fail();
        TTiffDirectory sub;
        if (!sub.Read(src, order, subs[size_t(params.TiffSubIndex)])) return fail();
        dir = sub;
    }
    fillParams(dir, params);
    // The photo's EXIF data: the description and camera fields of this
    // directory and the EXIF and GPS sub-directories it points to.
    if (!options.ExifThumbnail) params.ExifPresent = ReadExifFromDirectory(src, dir, params);
    if (options.ParamsOnly) return true;
    if (options.ExifThumbnail && (params.Width > 400 || params.Height > 400)) return fail();
    if (!buffer) return fail();
    TPictureDecoder decoder(src, dir, *buffer, params, options);
    if (!decoder.Run()) return fail();
    return true;
}

namespace {

bool readWithIo(TImageIO& io, TStream& stream, bool paramsOnly)
{
    TTiffReadOptions options;
    options.ParamsOnly = paramsOnly;
    options.Aborting = &io.Aborting;
    options.Progress = [&io](int64_t done, int64_t total) { io.Progress(done, total); };
    return ReadTiffStructure(stream, stream.Position(), io.Buffer(), io.Params, options);
}

}  // namespace

bool ReadTiff(TImageIO& io, TStream& stream) { return readWithIo(io, stream, false); }

bool ReadTiffParams(TImageIO& io, TStream& stream) { return readWithIo(io, stream, true); }
