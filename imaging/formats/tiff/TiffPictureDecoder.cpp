#include "imaging/formats/tiff/TiffPictureDecoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "imaging/ImageBuffer.h"
#include "imaging/ImageParams.h"
#include "imaging/ImagingSettings.h"
#include "imaging/formats/tiff/PictureMemoryHint.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffJpeg.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffPredictor.h"
#include "imaging/formats/tiff/TiffRowStore.h"
#include "imaging/formats/tiff/TiffStripDecoder.h"
#include "imaging/formats/tiff/TiffTags.h"
#include "imaging/formats/tiff/TiffYCbCr.h"
#include "imaging/ops/Parallel.h"

namespace tiff {

namespace {

// Largest decoded strip or tile held in memory at once.
constexpr uint64_t MaxBlockBytes = uint64_t(1) << 30;
// More strips or tiles than this is taken for damage.
constexpr uint64_t MaxBlocks = uint64_t(1) << 24;
// Strips per thread in a round of the threaded path (threads take the next
// strip as they finish), and the largest strip that path takes (bigger ones
// are decoded one at a time to bound memory).
constexpr int StripsPerBand = 4;
constexpr uint64_t MaxThreadedStripBytes = uint64_t(8) << 20;
// Decoded bytes of one round at most (beyond the one strip per thread).
constexpr uint64_t ThreadedRoundBytes = uint64_t(64) << 20;

// Working memory of one block being decoded.
struct TBlockScratch {
    std::vector<uint8_t> raw;    // the stored bytes of one plane
    std::vector<uint8_t> coded;  // one decoded plane, or the data units of subsampled YCbCr
    std::vector<uint8_t> block;  // the block's rows in chunky order
};

bool validSubsampling(uint32_t f) { return f == 1 || f == 2 || f == 4; }

class TPictureDecoder {
public:
    TPictureDecoder(const TTiffSource& src, const TTiffDirectory& dir, TImageBuffer& buffer, TImageParams& params,
                    const TTiffReadOptions& options)
        : src_(src), dir_(dir), buffer_(buffer), p_(params), options_(options),
          ycbcr_(TYCbCrConverter::FromDirectory(dir))
    {
    }

    bool Run();

private:
    bool aborting() const { return options_.Aborting && *options_.Aborting; }
    bool decodeOldJpeg();
    bool setUp();
    bool readBlock(size_t index, std::vector<uint8_t>& raw, uint64_t needed) const;
    int rowsOf(uint64_t k) const;
    uint64_t storedBytes(int rows) const;
    int decodePlane(int plane, TBlockScratch& s, int rowsHere, const uint8_t** rows, bool* ok) const;
    void storeBlock(TTiffRowStore& store, uint64_t k, const uint8_t* rows, int count) const;
    bool decodeSerial();
    bool decodeThreaded(int bands);
    void progress(uint64_t done) const
    {
        if (options_.Progress) options_.Progress(int64_t(done), int64_t(perPlane_));
    }

    const TTiffSource& src_;
    const TTiffDirectory& dir_;
    TImageBuffer& buffer_;
    TImageParams& p_;
    const TTiffReadOptions& options_;
    TYCbCrConverter ycbcr_;
    TSampleLayout layout_;
    TImageBuffer* alpha_ = nullptr;
    TStripCoding coding_;
    std::vector<uint32_t> offsets_;
    std::vector<uint32_t> counts_;
    uint32_t compression_ = 1;
    int bits_ = 8;
    int samples_ = 1;
    bool tiled_ = false;
    bool planar_ = false;
    bool predictor_ = false;
    int subH_ = 1;  // YCbCr subsampling, 1 x 1 when none
    int subV_ = 1;
    uint64_t blockW_ = 0;
    uint64_t blockH_ = 0;
    uint64_t across_ = 0;
    uint64_t perPlane_ = 0;
    int planes_ = 1;
    uint64_t chunkyRowBytes_ = 0;
    uint64_t planeRowBytes_ = 0;
    uint64_t unitRowBytes_ = 0;
};

bool TPictureDecoder::readBlock(size_t index, std::vector<uint8_t>& raw, uint64_t needed) const
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

// Checks the directory, chooses the buffer format and allocates it; false
// for pictures this reader cannot decode or that cannot be what they claim.
bool TPictureDecoder::setUp()
{
    const int w = p_.Width;
    const int h = p_.Height;
    bits_ = p_.BitsPerSample;
    samples_ = p_.SamplesPerPixel;
    const int n = samples_;
    const int photometric = p_.TiffPhotometric == 7 ? 8 : p_.TiffPhotometric;
    if (!PictureSizeAllowed(w, h)) return false;
    if (bits_ != 1 && bits_ != 2 && bits_ != 4 && bits_ != 8 && bits_ != 16) return false;
    if (n < 1 || n > 16) return false;
    if (dir_.UIntOr(tagSampleFormat, 1) == 3) return false;  // floating point samples
    if ((photometric == 2 || photometric == 6 || photometric == 8) && n < 3) return false;
    if (photometric == 5 && n < 4) return false;
    if (photometric == 3 && bits_ > 8) return false;
    if (photometric > 8 || photometric == 7) return false;
    const bool jpeg = compression_ == 7;
    if (jpeg && (bits_ != 8 || (n != 1 && n != 3 && n != 4))) return false;
    planar_ = dir_.UIntOr(tagPlanarConfig, 1) == 2 && n > 1;
    if (planar_ && bits_ % 8 != 0) return false;
    const uint32_t predictorTag = dir_.UIntOr(tagPredictor, 1);
    if (predictorTag > 2) return false;
    predictor_ = predictorTag == 2 && (compression_ == 5 || compression_ == 8 || compression_ == 32946);

    // YCbCr outside JPEG data may store its chroma subsampled, in data units.
    if (photometric == 6 && !jpeg) {
        const uint32_t sh = dir_.UIntOr(tagYCbCrSubsampling, 2);
        uint32_t sv = 2;
        dir_.GetUInt(tagYCbCrSubsampling, &sv, 1);
        if (!validSubsampling(sh) || !validSubsampling(sv)) return false;
        subH_ = int(sh);
        subV_ = int(sv);
        // Units hold three 8-bit components; the predictor and separate
        // planes have no defined meaning for them.
        if (subH_ * subV_ > 1 && (bits_ != 8 || n != 3 || planar_ || predictor_)) return false;
    }

    // libjpeg hands YCbCr back as RGB.
    layout_.Bits = bits_;
    layout_.Samples = n;
    layout_.Photometric = jpeg && photometric == 6 ? 2 : photometric;
    layout_.BigEndian = !p_.TiffByteOrder;
    layout_.ColorMap = p_.ColorMap.data();
    layout_.YCbCr = &ycbcr_;
    const uint32_t extra = dir_.UIntOr(tagExtraSamples, 0);
    layout_.Alpha = (n == 4 && extra == 2) || (n == 2 && bits_ == 8) || (n == 4 && photometric == 2);
    layout_.Premultiplied = layout_.Alpha && extra == 1;

    // Geometry of the blocks: tiles, or strips spanning the whole width.
    tiled_ = dir_.Has(tagTileWidth) || dir_.Has(tagTileLength);
    blockW_ = uint64_t(w);
    if (tiled_) {
        blockW_ = dir_.UIntOr(tagTileWidth, 0);
        blockH_ = dir_.UIntOr(tagTileLength, 0);
        if (blockW_ == 0 || blockH_ == 0 || blockW_ > 65536 || blockH_ > 65536) return false;
    } else {
        blockH_ = dir_.UIntOr(tagRowsPerStrip, uint32_t(h));
        if (blockH_ == 0 || blockH_ > uint64_t(h)) blockH_ = uint64_t(h);
    }
    across_ = (uint64_t(w) + blockW_ - 1) / blockW_;
    const uint64_t down = (uint64_t(h) + blockH_ - 1) / blockH_;
    perPlane_ = across_ * down;
    planes_ = planar_ ? n : 1;
    if (perPlane_ * uint64_t(planes_) > MaxBlocks) return false;
    chunkyRowBytes_ = (blockW_ * uint64_t(bits_) * uint64_t(n) + 7) / 8;
    planeRowBytes_ = planar_ ? (blockW_ * uint64_t(bits_) + 7) / 8 : chunkyRowBytes_;
    unitRowBytes_ = DataUnitRowBytes(size_t(blockW_), subH_, subV_);
    const uint64_t storeLimit = std::min(MaxBlockBytes, std::max<uint64_t>(uint64_t(16) << 20, src_.Size() * 4096));
    if (chunkyRowBytes_ * blockH_ > storeLimit) return false;

    // No coding of TIFF packs more than a few thousand bytes into one; a
    // picture far larger than its file could hold is damage, refused before
    // a large buffer is allocated for it.
    const uint64_t sampleBytes = (uint64_t(w) * uint64_t(bits_) * uint64_t(n) + 7) / 8 * uint64_t(h);
    if (sampleBytes > std::max<uint64_t>(uint64_t(16) << 20, src_.Size() * 4096)) return false;

    const TPixelFormat format = ChooseTiffPixelFormat(bits_, n, photometric, p_.NativePixelFormat);
    if (!buffer_.Allocate(w, h, format)) return false;
    AdviseFilledAtOnce(buffer_);
    if (format == px8p) buffer_.SetPalette(p_.ColorMap.data(), 256);
    if (layout_.Alpha && (format == px24RGB || format == pxRGB48)) {
        alpha_ = buffer_.Alpha();
        if (!alpha_) return false;
    } else {
        layout_.Alpha = false;
    }

    const uint16_t offsetTag = tiled_ && dir_.Has(tagTileOffsets) ? tagTileOffsets : tagStripOffsets;
    const uint16_t countTag = tiled_ && dir_.Has(tagTileByteCounts) ? tagTileByteCounts : tagStripByteCounts;
    offsets_ = dir_.GetUInts(offsetTag, uint32_t(MaxBlocks));
    counts_ = dir_.GetUInts(countTag, uint32_t(MaxBlocks));
    if (offsets_.empty()) return false;

    coding_.Compression = int(compression_);
    coding_.TwoDimensional = (dir_.UIntOr(tagT4Options, 0) & 1) != 0;
    coding_.ReverseBits = dir_.UIntOr(tagFillOrder, 1) == 2;
    coding_.Lzw = p_.TiffLzwEncoder ? p_.TiffLzwEncoder : TiffLzwDefaultCoder();
    if (compression_ == 5 && !coding_.Lzw) return false;
    if (jpeg) coding_.JpegTables = dir_.GetBytes(tagJpegTables, 1u << 20);
    coding_.JpegPhotometric = photometric;
    return true;
}

// Rows of block k inside the picture's blocks (tiles always hold whole tiles).
int TPictureDecoder::rowsOf(uint64_t k) const
{
    const uint64_t y0 = (k / across_) * blockH_;
    return int(tiled_ ? blockH_ : std::min<uint64_t>(blockH_, uint64_t(p_.Height) - y0));
}

// The bytes that `rows` rows of one plane occupy uncompressed.
uint64_t TPictureDecoder::storedBytes(int rows) const
{
    if (subH_ * subV_ > 1) return unitRowBytes_ * uint64_t((rows + subV_ - 1) / subV_);
    return (planar_ ? planeRowBytes_ : chunkyRowBytes_) * uint64_t(rows);
}

// Decodes plane `plane` of a block from s.raw; *rows receives the block's
// rows in chunky order. Returns how many rows are valid.
int TPictureDecoder::decodePlane(int plane, TBlockScratch& s, int rowsHere, const uint8_t** rows, bool* ok) const
{
    *ok = false;
    const size_t blockBytes = size_t(chunkyRowBytes_ * blockH_);
    if (s.block.size() < blockBytes) s.block.resize(blockBytes);
    *rows = s.block.data();
    if (subH_ * subV_ > 1) {
        const int unitRows = (rowsHere + subV_ - 1) / subV_;
        s.coded.resize(size_t(unitRowBytes_) * size_t(unitRows));
        const int gotUnits = DecodeStrip(coding_, s.raw, s.coded.data(), size_t(unitRowBytes_), unitRows,
                                         int(blockW_), 3, ok);
        const int got = std::min(rowsHere, gotUnits * subV_);
        ExpandDataUnits(s.coded.data(), gotUnits, subH_, subV_, int(blockW_), got, s.block.data());
        return got;
    }
    if (compression_ == 1 && !planar_ && !coding_.ReverseBits) {
        // Stored rows are used where they were read.
        const int got = int(std::min<uint64_t>(uint64_t(rowsHere), s.raw.size() / chunkyRowBytes_));
        *ok = got == rowsHere;
        *rows = s.raw.data();
        return got;
    }
    const size_t rowBytes = size_t(planar_ ? planeRowBytes_ : chunkyRowBytes_);
    const int spp = planar_ ? 1 : samples_;
    if (planar_ && s.coded.size() < rowBytes * size_t(blockH_)) s.coded.resize(rowBytes * size_t(blockH_));
    uint8_t* target = planar_ ? s.coded.data() : s.block.data();
    const int got = DecodeStrip(coding_, s.raw, target, rowBytes, rowsHere, int(blockW_), spp, ok);
    for (int r = 0; predictor_ && r < got; ++r) {
        uint8_t* row = target + size_t(r) * rowBytes;
        if (bits_ == 8)
            predictorDecode8(row, size_t(blockW_), spp);
        else if (bits_ == 16)
            predictorDecode16(row, size_t(blockW_), spp, layout_.BigEndian);
    }
    if (planar_) {
        const size_t bytesPerSample = size_t(bits_ / 8);
        const size_t pixelBytes = bytesPerSample * size_t(samples_);
        for (int r = 0; r < got; ++r) {
            const uint8_t* from = s.coded.data() + size_t(r) * rowBytes;
            uint8_t* to = s.block.data() + size_t(r) * size_t(chunkyRowBytes_) + size_t(plane) * bytesPerSample;
            for (uint64_t x = 0; x < blockW_; ++x)
                std::memcpy(to + x * pixelBytes, from + x * bytesPerSample, bytesPerSample);
        }
    }
    return got;
}

void TPictureDecoder::storeBlock(TTiffRowStore& store, uint64_t k, const uint8_t* rows, int count) const
{
    const uint64_t x0 = (k % across_) * blockW_;
    const uint64_t y0 = (k / across_) * blockH_;
    const uint64_t h = uint64_t(p_.Height);
    const int width = int(std::min<uint64_t>(blockW_, uint64_t(p_.Width) - x0));
    for (int r = 0; r < count && y0 + uint64_t(r) < h; ++r)
        store.Store(int(y0) + r, int(x0), width, rows + size_t(r) * size_t(chunkyRowBytes_));
}

bool TPictureDecoder::decodeSerial()
{
    TTiffRowStore store(buffer_, alpha_, layout_);
    TBlockScratch s;
    bool damaged = false;
    for (uint64_t k = 0; k < perPlane_ && !aborting(); ++k) {
        const int rowsHere = rowsOf(k);
        int rowsValid = rowsHere;
        const uint8_t* rows = nullptr;
        for (int plane = 0; plane < planes_; ++plane) {
            bool ok = false;
            int got = 0;
            if (readBlock(size_t(uint64_t(plane) * perPlane_ + k), s.raw, storedBytes(rowsHere)))
                got = decodePlane(plane, s, rowsHere, &rows, &ok);
            if (!ok) damaged = true;
            rowsValid = std::min(rowsValid, got);
        }
        if (rows && rowsValid > 0) storeBlock(store, k, rows, rowsValid);
        progress(k + 1);
    }
    return !damaged && !aborting();
}

// Strips of one plane are independent: they are read in turn and then
// inflated and stored on several threads, each strip into its own rows, so
// the picture is the same whatever the number of threads.
bool TPictureDecoder::decodeThreaded(int bands)
{
    const uint64_t stripBytes = std::max<uint64_t>(chunkyRowBytes_ * blockH_, 1);
    const int round = int(std::clamp<uint64_t>(ThreadedRoundBytes / stripBytes, uint64_t(bands),
                                               uint64_t(bands) * StripsPerBand));
    std::vector<TBlockScratch> scratch(static_cast<size_t>(round));
    std::vector<char> read(static_cast<size_t>(round));
    std::vector<char> good(static_cast<size_t>(round));
    bool damaged = false;
    for (uint64_t k0 = 0; k0 < perPlane_ && !aborting(); k0 += uint64_t(round)) {
        const int count = int(std::min<uint64_t>(uint64_t(round), perPlane_ - k0));
        for (int i = 0; i < count; ++i)
            read[size_t(i)] = readBlock(size_t(k0) + size_t(i), scratch[size_t(i)].raw, storedBytes(rowsOf(k0 + i)));
        std::atomic<int> next{0};
        ops::RunBands(count, std::min(bands, count), ops::TRowReport(),
                      [&](int, int, int, const ops::TRowTick&) {
                          TTiffRowStore store(buffer_, alpha_, layout_);
                          for (int i = next++; i < count; i = next++) {
                              bool ok = false;
                              const uint8_t* rows = nullptr;
                              const uint64_t k = k0 + uint64_t(i);
                              const int got =
                                  read[size_t(i)] ? decodePlane(0, scratch[size_t(i)], rowsOf(k), &rows, &ok) : 0;
                              good[size_t(i)] = ok;
                              if (got > 0) storeBlock(store, k, rows, got);
                          }
                      });
        for (int i = 0; i < count; ++i)
            if (!good[size_t(i)]) damaged = true;
        progress(k0 + uint64_t(count));
    }
    return !damaged && !aborting();
}

bool TPictureDecoder::Run()
{
    compression_ = dir_.UIntOr(tagCompression, 1);
    if ((compression_ == 6 || (dir_.Has(tagJpegInterchangeFormat) && compression_ != 5)) &&
        dir_.UIntOr(tagJpegProc, 1) < 2) {
        // The stream carries its own size; camera thumbnails leave the
        // directory's ImageWidth and ImageLength out.
        const bool sizeGiven = p_.Width != 0 || p_.Height != 0;
        if (sizeGiven && !PictureSizeAllowed(p_.Width, p_.Height)) return false;
        return decodeOldJpeg();
    }
    if (compression_ == 6) return false;
    if (!setUp()) return false;
    const bool deflate = compression_ == 8 || compression_ == 32946;
    if (deflate && !tiled_ && planes_ == 1 && perPlane_ > 1 && chunkyRowBytes_ * blockH_ <= MaxThreadedStripBytes) {
        const int bands = ops::PlanBands(int(std::min<uint64_t>(perPlane_, 1u << 20)),
                                         int64_t(chunkyRowBytes_ * blockH_), ops::RowsShareable(buffer_));
        if (bands > 1) return decodeThreaded(bands);
    }
    return decodeSerial();
}

}  // namespace

bool DecodeTiffPicture(const TTiffSource& src, const TTiffDirectory& dir, TImageBuffer& buffer, TImageParams& params,
                       const TTiffReadOptions& options)
{
    TPictureDecoder decoder(src, dir, buffer, params, options);
    return decoder.Run();
}

}  // namespace tiff
