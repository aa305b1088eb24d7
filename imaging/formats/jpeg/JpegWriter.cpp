#include "imaging/formats/jpeg/JpegWriter.h"

#include "imaging/exif/Exif.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <jerror.h>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"
#include "imaging/Stream.h"
#include "imaging/formats/CodecStreamCallbacks.h"
#include "imaging/formats/jpeg/JpegLibAdapter.h"

namespace {

J_COLOR_SPACE fileSpaceOf(uint8_t code)
{
    switch (code) {
    case 0: return JCS_RGB;
    case 1: return JCS_GRAYSCALE;
    case 3: return JCS_CMYK;
    case 4: return JCS_YCCK;
    default: return JCS_YCbCr;
    }
}

unsigned densityOf(int dpi, int fallback)
{
    if (dpi <= 0)
        dpi = fallback > 0 ? fallback : 300;
    return unsigned(std::min(dpi, 65535));
}

TJpegEncodeSettings settingsFor(const TImageBuffer& buffer, const TImageParams& params)
{
    const TImagingSettings& global = ImagingSettings();
    TJpegEncodeSettings s;
    s.Width = unsigned(buffer.Width());
    s.Height = unsigned(buffer.Height());
    s.FileSpace = fileSpaceOf(params.JpegColorSpace);
    const bool cmyk = s.FileSpace == JCS_CMYK || s.FileSpace == JCS_YCCK;
    s.InputSpace = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    s.InputComponents = cmyk ? 4 : 3;
    // CMYK files get a JFIF segment besides the Adobe one.
    s.ForceJfif = s.FileSpace == JCS_CMYK;
    s.DensityX = densityOf(params.DpiX, global.DefaultResolutionX);
    s.DensityY = densityOf(params.DpiY, global.DefaultResolutionY);
    s.DctMethod = params.JpegDctMethod <= 2 ? J_DCT_METHOD(params.JpegDctMethod) : JDCT_IFAST;
    s.OptimalHuffman = params.JpegOptimalHuffman;
    s.Smoothing = std::clamp(params.JpegSmooth, 0, 100);
    s.Quality = std::clamp(params.JpegQuality, 1, 100);
    s.Progressive = params.JpegProgressive;
    return s;
}

// One row in the layout the compressor was told to expect: blue, green,
// red, or CMYK stored inverted (the Adobe convention, since libjpeg always
// writes an Adobe segment for CMYK and YCCK).
class TRowSource {
public:
    TRowSource(const TImageBuffer& buffer, bool cmyk)
        : buffer_(buffer), cmyk_(cmyk), width_(size_t(buffer.Width()))
    {
        if (buffer.PixelFormat() != px24RGB)
            bgr_.resize(width_ * 3);
        if (cmyk)
            cmykRow_.resize(width_ * 4);
    }

    JSAMPROW Row(int y)
    {
        const uint8_t* src = buffer_.RowPointer(y);
        if (cmyk_ && buffer_.PixelFormat() == pxCMYK) {
            for (size_t i = 0; i < width_ * 4; ++i)
                cmykRow_[i] = uint8_t(255 - src[i]);
            return cmykRow_.data();
        }
        const uint8_t* bgr = src;
        if (buffer_.PixelFormat() != px24RGB) {
            pixelconv::decodeRowToBGR(src, buffer_.PixelFormat(), 0, int(width_), buffer_.Palette(), bgr_.data());
            bgr = bgr_.data();
        }
        if (!cmyk_)
            return const_cast<JSAMPROW>(bgr);
        for (size_t x = 0; x < width_; ++x) {
            uint8_t* out = &cmykRow_[x * 4];
            pixelconv::rgbToCmyk(bgr[x * 3 + 2], bgr[x * 3 + 1], bgr[x * 3], out);
            for (int k = 0; k < 4; ++k)
                out[k] = uint8_t(255 - out[k]);
        }
        return cmykRow_.data();
    }

private:
    const TImageBuffer& buffer_;
    bool cmyk_;
    size_t width_;
    std::vector<uint8_t> bgr_;
    std::vector<uint8_t> cmykRow_;
};

// A library error: the save has failed. Running out of rows only happens
// after an abort request and needs no exception.
[[noreturn]] void raise(TJpegCompressor& c, TImageIO& io)
{
    io.Aborting = true;
    throw EIEJpegException(c.err.Message);
}

bool failed(TJpegCompressor& c, TImageIO& io)
{
    io.Aborting = true;
    if (c.err.ErrorCode == JERR_TOO_LITTLE_DATA)
        return false;
    raise(c, io);
}

void writeMarkers(TJpegCompressor& c, const TMarkerList& source, TImageIO& io)
{
    TMarkerList markers = source;
    markers.SortForWriting();
    for (const TMarker& m : markers) {
        // The library writes its own Adobe segment; a segment too long for
        // a JPEG (only ever built in memory) cannot be written at all.
        if (m.Marker == JpegMarkerApp14 || m.Data.size() > JpegMaxSegmentData)
            continue;
        if (!jpegWriteMarker(&c, m.Marker, m.Data.data(), unsigned(m.Data.size())))
            raise(c, io);
    }
}

// Metadata rebuilt from the parameters before a save: a fresh EXIF block
// when ExifPresent (it replaces the first "Exif" APP1 and is added at the
// end of the list), the IPTC APP13 and the XMP APP1 when they were changed.
// The builders plug in here; until they exist the segments read from the
// file are written back as they are.
void refreshMetadataMarkers(TImageParams& params)
{
    if (!params.ExifPresent) return;
    std::vector<uint8_t> block = BuildExifBlock(params, JpegMaxSegmentData);
    if (block.empty()) return;
    params.JpegMarkers.Delete(params.JpegMarkers.IndexOf(JpegMarkerApp1, "Exif"));
    params.JpegMarkers.Add(JpegMarkerApp1, std::move(block));
}

}  // namespace

bool WriteJpeg(TStream& stream, const TImageBuffer& buffer, const TImageParams& params, TImageIO& io)
{
    if (buffer.IsEmpty()) {
        io.Aborting = true;
        return false;
    }
    TJpegEncodeSettings settings = settingsFor(buffer, params);
    auto c = std::make_unique<TJpegCompressor>();
    if (!jpegCreateCompressor(c.get(), WriteStreamForCodec, &stream) || !jpegSetupCompressor(c.get(), &settings) ||
        !jpegStartCompress(c.get()))
        return failed(*c, io);
    writeMarkers(*c, params.JpegMarkers, io);

    TRowSource rows(buffer, settings.InputComponents == 4);
    const int height = buffer.Height();
    for (int y = 0; y < height; ++y) {
        if (io.Aborting || c->WriteFailed) {
            io.Aborting = true;
            return false;
        }
        JSAMPROW row = rows.Row(y);
        if (!jpegWriteRows(c.get(), &row, 1))
            return failed(*c, io);
        io.Progress(y + 1, height);
    }
    if (!jpegFinishCompress(c.get()))
        return failed(*c, io);
    if (c->WriteFailed) {
        io.Aborting = true;
        return false;
    }
    return true;
}

bool WriteJpegFile(TImageIO& io, TStream& stream)
{
    if (!io.Buffer()) {
        io.Aborting = true;
        return false;
    }
    refreshMetadataMarkers(io.Params);
    return WriteJpeg(stream, *io.Buffer(), io.Params, io);
}
