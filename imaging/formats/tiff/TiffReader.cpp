#include "imaging/formats/tiff/TiffReader.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImageParams.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffPictureDecoder.h"
#include "imaging/formats/tiff/TiffTags.h"

using namespace tiff;

namespace {

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
    if (!DecodeTiffPicture(src, dir, *buffer, params, options)) return fail();
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
