#include "imaging/formats/tiff/TiffWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <zlib.h>

#include "imaging/ColorQuantizer.h"
#include "imaging/ImageIO.h"
#include "imaging/ImageParams.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/formats/tiff/CcittFax.h"
#include "imaging/formats/tiff/ChannelSwap.h"
#include "imaging/formats/tiff/PackBits.h"
#include "imaging/formats/tiff/TiffDeflateWriter.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffJpeg.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffPredictor.h"
#include "imaging/formats/tiff/TiffTags.h"

using namespace tiff;

namespace {

constexpr uint64_t StripTargetBytes = 524288;

// What the rows of the file hold.
enum class Output { Bilevel, Indexed, Rgb8, Rgb16, Cmyk8, Gray8 };

struct TLayout {
    Output Kind = Output::Rgb8;
    int Bits = 8;
    int Samples = 3;
    int Photometric = 2;  // TIFF code
    bool Alpha = false;
    int Compression = 1;  // TIFF code
    bool TwoDimensional = false;
    bool Predictor = false;
};

int compressionCode(uint8_t field)
{
    static const int codes[] = {1, 2, 3, 3, 4, 5, 6, 7, 32773, 32946, 32946};
    return field < std::size(codes) ? codes[field] : 1;
}

bool hasTransparency(const TImageBuffer& picture)
{
    const TImageBuffer* alpha = picture.ExistingAlpha();
    if (!alpha) return false;
    for (int y = 0; y < alpha->Height(); ++y) {
        const uint8_t* row = alpha->RowPointer(y);
        for (int x = 0; x < alpha->Width(); ++x)
            if (row[x] != 255) return true;
    }
    return false;
}

// A picture of exactly two colours becomes a 1-bit copy without dithering:
// the lighter colour white, the darker black. nullptr for other pictures.
std::unique_ptr<TImageBuffer> twoColourCopy(const TImageBuffer& picture)
{
    const int w = picture.Width();
    const int h = picture.Height();
    std::vector<uint8_t> bgr(size_t(w) * 3);
    TRGB colours[2] = {};
    int found = 0;
    for (int y = 0; y < h; ++y) {
        pixelconv::decodeRowToBGR(picture.RowPointer(y), picture.PixelFormat(), 0, w, picture.Palette(), bgr.data());
        for (int x = 0; x < w; ++x) {
            const TRGB c{bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]};
            if ((found > 0 && c == colours[0]) || (found > 1 && c == colours[1])) continue;
            if (found == 2) return nullptr;
            colours[found++] = c;
        }
    }
    if (found != 2) return nullptr;
    const TRGB white = GrayOf(colours[0].r, colours[0].g, colours[0].b) >= GrayOf(colours[1].r, colours[1].g, colours[1].b)
                           ? colours[0]
                           : colours[1];
    auto copy = std::make_unique<TImageBuffer>(w, h, px1g);
    if (copy->IsEmpty()) return nullptr;
    for (int y = 0; y < h; ++y) {
        pixelconv::decodeRowToBGR(picture.RowPointer(y), picture.PixelFormat(), 0, w, picture.Palette(), bgr.data());
        uint8_t* row = copy->RowPointer(y);
        std::memset(row, 0, size_t(copy->RowLen()));
        for (int x = 0; x < w; ++x)
            if (TRGB{bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]} == white) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    return copy;
}

class TTiffEncoder {
public:
    TTiffEncoder(TStream& out, int64_t base, const TImageBuffer& picture, TImageParams& params,
                 const TTiffWriteOptions& options)
        : out_(out), base_(base), pic_(&picture), p_(params), options_(options)
    {
    }

    // Chooses the layout and writes the strips; the tags go into dir.
    bool Write(TTiffDirWriter& dir);

private:
    void chooseLayout();
    void buildRow(int y, uint8_t* row);
    bool writeStrips(TTiffDirWriter& dir);
    bool writeDeflate(TTiffDirWriter& dir);
    bool writeJpeg(TTiffDirWriter& dir);
    bool aborting() const { return options_.Aborting && *options_.Aborting; }
    bool offsetNow(uint32_t* offset) const
    {
        const int64_t rel = out_.Position() - base_;
        if (rel < 0 || rel > int64_t(UINT32_MAX)) return false;
        *offset = uint32_t(rel);
        return true;
    }

    TStream& out_;
    int64_t base_;
    const TImageBuffer* pic_;
    std::unique_ptr<TImageBuffer> converted_;
    TImageParams& p_;
    const TTiffWriteOptions& options_;
    TLayout l_;
    std::unique_ptr<TColorQuantizer> quantizer_;
    size_t rowBytes_ = 0;
    std::vector<uint8_t> bgr_;
    std::vector<uint8_t> indices_;
};

void TTiffEncoder::chooseLayout()
{
    int bits = p_.BitsPerSample;
    int samples = p_.SamplesPerPixel;
    int photometric = p_.TiffPhotometric == 7 ? 8 : p_.TiffPhotometric;
    l_.Compression = compressionCode(p_.TiffCompression);
    l_.TwoDimensional = p_.TiffCompression == 3;
    const TPixelFormat format = pic_->PixelFormat();

    if ((samples != 1 || bits != 1) && format == px1g) {
        converted_ = std::make_unique<TImageBuffer>();
        if (converted_->Assign(*pic_) && converted_->ConvertTo(px24RGB)) pic_ = converted_.get();
    }
    if (bits == 1 && samples == 1 && pic_->PixelFormat() != px1g) {
        converted_ = twoColourCopy(*pic_);
        if (!converted_) {
            converted_ = std::make_unique<TImageBuffer>();
            if (!converted_->Assign(*pic_) || !converted_->ConvertTo(px1g)) converted_.reset();
        }
        if (converted_) pic_ = converted_.get();
    }
    if (bits == 1 && samples == 1 && pic_->PixelFormat() == px1g) {
        l_.Kind = Output::Bilevel;
        l_.Photometric = photometric == 0 ? 0 : 1;
    } else if (samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
        quantizer_ = std::make_unique<TColorQuantizer>(*pic_, std::min(1 << std::min(bits, 8), 256));
        if (l_.Compression != 5 && l_.Compression != 32773 && l_.Compression != 32946) l_.Compression = 1;
        l_.Kind = Output::Indexed;
        if (quantizer_->IsGray()) {
            l_.Photometric = 1;
        } else {
            l_.Photometric = 3;
            if (bits == 16) bits = 8;
        }
    } else if (format == pxRGB48) {
        l_.Kind = Output::Rgb16;
        bits = 16;
        samples = 3;
        l_.Photometric = 2;
    } else if (format == pxCMYK || photometric == 5) {
        l_.Kind = Output::Cmyk8;
        bits = 8;
        samples = 4;
        l_.Photometric = 5;
    } else {
        l_.Kind = Output::Rgb8;
        bits = 8;
        samples = 3;
        l_.Photometric = 2;
    }
    // Fax coding is for bi-level pictures only.
    if (l_.Compression >= 2 && l_.Compression <= 4 && l_.Kind != Output::Bilevel) l_.Compression = 1;
    if (l_.Compression == 5 && !(p_.TiffLzwEncoder ? p_.TiffLzwEncoder : TiffLzwDefaultCoder())) l_.Compression = 1;
    if (l_.Compression == 6 || l_.Compression == 7) {
        if (l_.Kind == Output::Bilevel || l_.Kind == Output::Indexed || l_.Kind == Output::Rgb16) {
            l_.Compression = 1;
        } else {
            switch (p_.TiffJpegColorSpace) {
            case 1: l_.Kind = Output::Gray8; samples = 1; l_.Photometric = 1; break;
            case 2: l_.Kind = Output::Rgb8; samples = 3; l_.Photometric = 6; break;
            case 3: l_.Kind = Output::Cmyk8; samples = 4; l_.Photometric = 5; break;
            default: l_.Kind = Output::Rgb8; samples = 3; l_.Photometric = 2; break;
            }
            // Old-style JPEG data are always YCbCr.
            if (l_.Compression == 6) {
                l_.Kind = Output::Rgb8;
                samples = 3;
                l_.Photometric = 6;
            }
        }
    }
    l_.Alpha = l_.Kind == Output::Rgb8 && l_.Compression != 6 && l_.Compression != 7 && hasTransparency(*pic_);
    if (l_.Alpha) samples = 4;
    l_.Bits = bits;
    l_.Samples = samples;
    l_.Predictor = l_.Compression == 5 && l_.Kind == Output::Rgb8 && !l_.Alpha;
    rowBytes_ = (size_t(pic_->Width()) * size_t(bits) * size_t(samples) + 7) / 8;
}

// One row of file samples, uncompressed and before the predictor.
void TTiffEncoder::buildRow(int y, uint8_t* row)
{
    const int w = pic_->Width();
    const uint8_t* src = pic_->RowPointer(y);
    switch (l_.Kind) {
    case Output::Bilevel: {
        const size_t n = size_t(w + 7) / 8;
        // The buffer's 1 is white; white-is-zero files store the opposite.
        for (size_t i = 0; i < n; ++i) row[i] = l_.Photometric == 0 ? uint8_t(~src[i]) : src[i];
        return;
    }
    case Output::Rgb16: {
        const uint16_t* s = reinterpret_cast<const uint16_t*>(src);
        for (size_t i = 0; i < size_t(w) * 3; ++i) {
            row[2 * i] = uint8_t(s[i]);
            row[2 * i + 1] = uint8_t(s[i] >> 8);
        }
        return;
    }
    case Output::Cmyk8:
        if (pic_->PixelFormat() == pxCMYK) {
            std::memcpy(row, src, size_t(w) * 4);
            return;
        }
        break;
    default:
        break;
    }
    const uint8_t* bgr = src;
    if (pic_->PixelFormat() != px24RGB) {
        pixelconv::decodeRowToBGR(src, pic_->PixelFormat(), 0, w, pic_->Palette(), bgr_.data());
        bgr = bgr_.data();
    }
    switch (l_.Kind) {
    case Output::Indexed: {
        quantizer_->MapRow(bgr, indices_.data(), w);
        if (l_.Bits == 8) {
            std::memcpy(row, indices_.data(), size_t(w));
        } else if (l_.Bits == 16) {
            for (int x = 0; x < w; ++x) {
                const uint32_t v = indices_[size_t(x)] * 257u;
                row[2 * x] = uint8_t(v);
                row[2 * x + 1] = uint8_t(v >> 8);
            }
        } else {
            std::memset(row, 0, rowBytes_);
            for (int x = 0; x < w; ++x) {
                const size_t bit = size_t(x) * size_t(l_.Bits);
                row[bit >> 3] = uint8_t(row[bit >> 3] | (indices_[size_t(x)] << (8 - l_.Bits - (bit & 7))));
            }
        }
        return;
    }
    case Output::Cmyk8:
        for (int x = 0; x < w; ++x) pixelconv::rgbToCmyk(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x], row + 4 * x);
        return;
    case Output::Gray8:
        for (int x = 0; x < w; ++x) row[x] = GrayOf(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
        return;
    default:
        break;
    }
    if (!l_.Alpha) {
        swapRedBlue(bgr, row, size_t(w));
        return;
    }
    // ExtraSamples 1 (associated alpha): colours are stored multiplied by alpha.
    const uint8_t* alpha = pic_->ExistingAlpha()->RowPointer(y);
    for (int x = 0; x < w; ++x) {
        const unsigned a = alpha[x];
        row[4 * x] = uint8_t((bgr[3 * x + 2] * a + 127) / 255);
        row[4 * x + 1] = uint8_t((bgr[3 * x + 1] * a + 127) / 255);
        row[4 * x + 2] = uint8_t((bgr[3 * x] * a + 127) / 255);
        row[4 * x + 3] = uint8_t(a);
    }
}

bool TTiffEncoder::writeStrips(TTiffDirWriter& dir)
{
    const int h = pic_->Height();
    const uint64_t strips = std::max<uint64_t>(1, uint64_t(h) * rowBytes_ / StripTargetBytes);
    const int rowsPerStrip = std::max(1, int(uint64_t(h) / strips));
    std::vector<uint8_t> raw(rowBytes_ * size_t(rowsPerStrip));
    std::vector<uint8_t> coded;
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> counts;
    const TTiffLzwCoder* lzw = p_.TiffLzwEncoder ? p_.TiffLzwEncoder : TiffLzwDefaultCoder();
    for (int y0 = 0; y0 < h && !aborting(); y0 += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, h - y0);
        for (int r = 0; r < rows; ++r) {
            uint8_t* row = raw.data() + size_t(r) * rowBytes_;
            buildRow(y0 + r, row);
            if (l_.Predictor) predictorEncode8(row, size_t(pic_->Width()), l_.Samples);
            if (options_.Progress) options_.Progress(y0 + r + 1, h);
        }
        const size_t size = size_t(rows) * rowBytes_;
        const uint8_t* data = raw.data();
        size_t length = size;
        coded.clear();
        switch (l_.Compression) {
        case 2: case 3: case 4: {
            const CcittMode mode = l_.Compression == 2   ? CcittMode::ModifiedHuffman
                                   : l_.Compression == 4 ? CcittMode::Group4
                                   : l_.TwoDimensional   ? CcittMode::Group3TwoD
                                                         : CcittMode::Group3OneD;
            ccittEncode(mode, raw.data(), rowBytes_, pic_->Width(), rows, coded);
            if (p_.TiffFillOrder == 2) reverseBits(coded.data(), coded.size());
            break;
        }
        case 5:
            lzw->Encode(raw.data(), size, coded);
            break;
        case 32773:
            // Rows are packed one by one so that no run crosses a row.
            for (int r = 0; r < rows; ++r) packBitsEncode(raw.data() + size_t(r) * rowBytes_, rowBytes_, coded);
            break;
        default:
            break;
        }
        if (l_.Compression != 1) {
            data = coded.data();
            length = coded.size();
        }
        uint32_t offset = 0;
        if (!offsetNow(&offset) || !out_.WriteExact(data, length)) return false;
        offsets.push_back(offset);
        counts.push_back(uint32_t(length));
    }
    dir.AddLong(tagRowsPerStrip, {uint32_t(rowsPerStrip)});
    dir.AddLong(tagStripOffsets, offsets);
    dir.AddLong(tagStripByteCounts, counts);
    return !aborting();
}

bool TTiffEncoder::writeDeflate(TTiffDirWriter& dir)
{
    const int h = pic_->Height();
    static const int levels[] = {Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION};
    uint32_t offset = 0;
    if (!offsetNow(&offset)) return false;
    TDeflateRowsJob job;
    job.Rows = h;
    job.RowBytes = rowBytes_;
    job.Level = levels[std::min<int>(p_.TiffZipLevel, 2)];
    job.BuildRow = [&](int y, uint8_t* row) {
        buildRow(y, row);
        if (options_.Progress) options_.Progress(y + 1, h);
    };
    job.Write = [&](const uint8_t* data, size_t size) { return out_.WriteExact(data, size); };
    job.Aborting = [&] { return aborting(); };
    uint64_t written = 0;
    if (!DeflateRows(job, &written) || written > UINT32_MAX) return false;
    dir.AddLong(tagRowsPerStrip, {uint32_t(h)});
    dir.AddLong(tagStripOffsets, {offset});
    dir.AddLong(tagStripByteCounts, {uint32_t(written)});
    return true;
}

bool TTiffEncoder::writeJpeg(TTiffDirWriter& dir)
{
    const int w = pic_->Width();
    const int h = pic_->Height();
    std::vector<uint8_t> row(rowBytes_);
    std::vector<uint8_t> stream;
    TJpegEncodeRequest request;
    request.Width = w;
    request.Height = h;
    request.Samples = l_.Samples;
    request.Photometric = l_.Photometric;
    request.Quality = p_.TiffJpegQuality;
    request.DpiX = p_.DpiX;
    request.DpiY = p_.DpiY;
    request.Row = [&](int y) -> const uint8_t* {
        buildRow(y, row.data());
        if (options_.Progress) options_.Progress(y + 1, h);
        return row.data();
    };
    if (!EncodeJpegStream(request, stream)) return false;
    uint32_t offset = 0;
    if (!offsetNow(&offset) || !out_.WriteExact(stream.data(), stream.size())) return false;
    dir.AddLong(tagRowsPerStrip, {uint32_t(h)});
    if (l_.Compression == 6) {
        // The whole stream is the interchange format; the strip is its scan.
        size_t sos = 2;
        while (sos + 1 < stream.size() && !(stream[sos] == 0xFF && stream[sos + 1] == 0xDA)) ++sos;
        dir.AddLong(tagJpegInterchangeFormat, {offset});
        dir.AddLong(tagJpegInterchangeFormatLength, {uint32_t(stream.size())});
        dir.AddLong(tagStripOffsets, {offset + uint32_t(sos)});
        dir.AddLong(tagStripByteCounts, {uint32_t(stream.size() - sos)});
        dir.AddShort(tagJpegProc, {1});
        dir.AddShort(tagYCbCrSubsampling, {2, 2});
    } else {
        dir.AddLong(tagStripOffsets, {offset});
        dir.AddLong(tagStripByteCounts, {uint32_t(stream.size())});
    }
    return true;
}

bool TTiffEncoder::Write(TTiffDirWriter& dir)
{
    chooseLayout();
    const int w = pic_->Width();
    const int h = pic_->Height();
    bgr_.resize(size_t(w) * 3);
    indices_.resize(size_t(w));

    bool ok = false;
    if (l_.Compression == 6 || l_.Compression == 7)
        ok = writeJpeg(dir);
    else if (l_.Compression == 32946)
        ok = writeDeflate(dir);
    else
        ok = writeStrips(dir);
    if (!ok) return false;

    dir.AddLong(tagNewSubfileType, {0});
    dir.AddLong(tagImageWidth, {uint32_t(w)});
    dir.AddLong(tagImageLength, {uint32_t(h)});
    dir.AddShort(tagBitsPerSample, std::vector<uint16_t>(size_t(l_.Samples), uint16_t(l_.Bits)));
    dir.AddShort(tagCompression, {uint16_t(l_.Compression)});
    dir.AddShort(tagPhotometric, {uint16_t(l_.Photometric)});
    if (!p_.TiffDocumentName.empty()) dir.AddAscii(tagDocumentName, p_.TiffDocumentName);
    if (l_.Compression >= 2 && l_.Compression <= 4) {
        dir.AddShort(tagFillOrder, {uint16_t(p_.TiffFillOrder == 2 ? 2 : 1)});
        dir.AddShort(tagPlanarConfig, {1});
        dir.AddShort(tagCleanFaxData, {0});
        // Modified Huffman has no options of its own.
        if (l_.Compression != 2) {
            // T4Options belongs to Group 3 and T6Options to Group 4 only;
            // readers warn about the other one.
            if (l_.Compression == 3)
                dir.AddLong(tagT4Options, {l_.TwoDimensional ? 1u : 0u});
            else
                dir.AddLong(tagT6Options, {0});
        }
    }
    dir.AddShort(tagSamplesPerPixel, {uint16_t(l_.Samples)});
    if (l_.Alpha) dir.AddShort(tagExtraSamples, {1});
    if (l_.Predictor) dir.AddShort(tagPredictor, {2});
    if (!p_.TiffPageName.empty()) dir.AddAscii(tagPageName, p_.TiffPageName);
    if (p_.TiffXPos > 0) dir.AddRational(tagXPosition, {{uint32_t(p_.TiffXPos) * 10000u, 10000u}});
    if (p_.TiffYPos > 0) dir.AddRational(tagYPosition, {{uint32_t(p_.TiffYPos) * 10000u, 10000u}});
    if (p_.TiffPageNumber >= 0 || p_.TiffPageCount >= 0)
        dir.AddShort(tagPageNumber, {uint16_t(p_.TiffPageNumber), uint16_t(p_.TiffPageCount)});
    if (l_.Kind == Output::Indexed && l_.Photometric == 3) {
        const size_t entries = size_t(1) << l_.Bits;
        std::vector<uint16_t> map(3 * entries, 0);
        const TRGB* pal = quantizer_->Palette();
        const size_t count = std::min(entries, size_t(quantizer_->PaletteCount()));
        for (size_t i = 0; i < count; ++i) {
            map[i] = uint16_t(pal[i].r * 257);
            map[entries + i] = uint16_t(pal[i].g * 257);
            map[2 * entries + i] = uint16_t(pal[i].b * 257);
        }
        dir.AddShort(tagColorMap, map);
        p_.SetColorMap(pal, int(count));
    }
    p_.BitsPerSample = l_.Bits;
    p_.SamplesPerPixel = l_.Samples;
    return true;
}

}  // namespace

int WriteTiffStructure(TStream& out, const TImageBuffer* picture, TImageParams& params, const TTiffWriteOptions& options)
{
    auto fail = [&] {
        if (options.Aborting) *options.Aborting = true;
        return 0;
    };
    int64_t base = out.Position();
    int directories = 1;
    int64_t linkPos = -1;  // the next-directory field to point at the new directory
    uint32_t linkNext = 0; // what that field held, taken over by the new directory
    if (options.Append) {
        base = 0;
        TTiffSource src(out, 0);
        TByteOrder order;
        uint32_t first = 0;
        uint8_t magic[2] = {};
        if (!src.Read(0, magic, 2) || magic[0] != 'I' || magic[1] != 'I' || !ReadTiffHeader(src, &order, &first))
            return fail();
        const std::vector<uint32_t> chain = WalkDirectoryChain(src, order, first);
        if (chain.empty()) {
            linkPos = 4;
        } else {
            size_t at = chain.size() - 1;
            if (params.TiffImageIndex > 0 && size_t(params.TiffImageIndex) < chain.size())
                at = size_t(params.TiffImageIndex);
            TTiffDirectory dir;
            if (!dir.Read(src, order, chain[at])) return fail();
            // The next field follows the entries as stored (count from the file).
            uint8_t countBytes[2];
            if (!src.Read(chain[at], countBytes, 2)) return fail();
            linkPos = int64_t(chain[at]) + 2 + int64_t(order.U16(countBytes)) * 12;
            linkNext = dir.NextOffset();
        }
        directories = int(chain.size()) + 1;
        if (!out.Seek(out.Size())) return fail();
    } else {
        const uint8_t placeholder[8] = {};
        if (!out.WriteExact(placeholder, 8)) return fail();
    }

    TTiffDirWriter dir;
    if (picture && !picture->IsEmpty()) {
        TTiffEncoder encoder(out, base, *picture, params, options);
        if (!encoder.Write(dir)) return fail();
    }
    // The photo's EXIF data go into the same directory (the picture's own
    // description and resolution below take precedence).
    if (params.ExifPresent) {
        AddExifIfd0Tags(params, dir);
        if (params.Orientation < 1 || params.Orientation > 8) dir.AddShort(tagOrientation, {1});
        if (!WriteExifDirectories(out, base, params, dir)) return fail();
    }
    if (!params.TiffImageDescription.empty()) dir.AddAscii(tagImageDescription, params.TiffImageDescription);
    dir.AddRational(tagXResolution, {{uint32_t(std::max(params.DpiX, 0)), 1}});
    dir.AddRational(tagYResolution, {{uint32_t(std::max(params.DpiY, 0)), 1}});
    dir.AddShort(tagResolutionUnit, {2});

    uint32_t dirOffset = 0;
    if (!dir.WriteDirectory(out, base, linkNext, &dirOffset)) return fail();
    if (options.Append) {
        if (!TTiffDirWriter::PatchLong(out, base + linkPos, dirOffset)) return fail();
    } else {
        const uint8_t header[8] = {'I', 'I', 42, 0, uint8_t(dirOffset), uint8_t(dirOffset >> 8),
                                   uint8_t(dirOffset >> 16), uint8_t(dirOffset >> 24)};
        const int64_t end = out.Position();
        if (!out.Seek(base) || !out.WriteExact(header, 8) || !out.Seek(end)) return fail();
    }
    if (out.Failed()) return fail();
    return directories;
}

bool WriteTiff(TImageIO& io, TStream& stream)
{
    TTiffWriteOptions options;
    options.Aborting = &io.Aborting;
    options.Progress = [&io](int64_t done, int64_t total) { io.Progress(done, total); };
    return WriteTiffStructure(stream, io.Buffer(), io.Params, options) > 0;
}
