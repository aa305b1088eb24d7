#include "imaging/formats/jpeg/JpegReader.h"

#include <cmath>

#include "imaging/exif/Exif.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"
#include "imaging/Stream.h"
#include "imaging/formats/CodecStreamCallbacks.h"
#include "imaging/formats/jpeg/JpegLibAdapter.h"

namespace {

// Colour space code of the parameters for the file's colour space, and the
// samples per pixel; false for a colour space this reader cannot deliver.
bool describeColorSpace(J_COLOR_SPACE space, uint8_t& code, int& samples)
{
    switch (space) {
    case JCS_GRAYSCALE: code = 1; samples = 1; return true;
    case JCS_RGB: code = 0; samples = 3; return true;
    case JCS_YCbCr: code = 2; samples = 3; return true;
    case JCS_CMYK: code = 3; samples = 4; return true;
    case JCS_YCCK: code = 4; samples = 4; return true;
    default: return false;
    }
}

// Metadata carried in the marker segments. The EXIF block (the first APP1,
// with the rule that a JFIF density of 1 x 1 gives way to the EXIF
// resolution, and AutoOrientation), IPTC (the first APP13) and XMP are
// parsed here once their readers exist; until then the segments only
// travel from a load to the next save.
void readMarkerMetadata(TImageParams& params, TImageBuffer* picture, bool jfifAspectOnly)
{
    const int app1 = params.JpegMarkers.IndexOf(JpegMarkerApp1);
    if (app1 < 0) return;
    const TMarker& m = params.JpegMarkers[app1];
    if (!ReadExifFromApp1(m.Data.data(), m.Data.size(), params)) return;
    if (jfifAspectOnly) {
        const double f = params.ResolutionUnit == 3 ? 2.54 : 1.0;
        params.SetResolution(int(std::trunc(params.XResolution * f)), int(std::trunc(params.YResolution * f)));
    }
    if (picture && params.AutoOrientation) ApplyOrientation(*picture, params.Orientation);
}

void copyMarkers(const jpeg_decompress_struct& cinfo, TImageParams& params)
{
    params.JpegMarkers.Clear();
    bool jfifSkipped = false;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        std::vector<uint8_t> data(m->data, m->data + m->data_length);
        // The writer makes its own JFIF segment; a second copy would be wrong.
        if (!jfifSkipped && m->marker == JpegMarkerApp0 && data.size() >= 5 && std::memcmp(data.data(), "JFIF", 5) == 0) {
            jfifSkipped = true;
            continue;
        }
        params.JpegMarkers.Add(uint8_t(m->marker), std::move(data));
    }
    params.IccProfile = JoinIccProfile(params.JpegMarkers);
}

// Reads the header fields into params; returns false for a colour space
// this reader cannot deliver. Sets jfifAspectOnly when the JFIF density is
// only an aspect ratio of 1 x 1.
bool readHeaderFields(jpeg_decompress_struct& cinfo, TImageParams& params, bool& jfifAspectOnly)
{
    uint8_t code = 2;
    int samples = 3;
    if (!describeColorSpace(cinfo.jpeg_color_space, code, samples))
        return false;
    params.BitsPerSample = 8;
    params.JpegColorSpace = code;
    params.SamplesPerPixel = samples;
    params.JpegProgressive = cinfo.progressive_mode != 0;
    params.JpegOriginalWidth = int(cinfo.image_width);
    params.JpegOriginalHeight = int(cinfo.image_height);

    jfifAspectOnly = false;
    if (cinfo.saw_JFIF_marker) {
        int unit = cinfo.density_unit;
        int x = cinfo.X_density, y = cinfo.Y_density;
        // Unit 0 with 1 x 1 says "square pixels, size unknown"; taking it as
        // 1 dot per inch would print a photo the size of a house.
        jfifAspectOnly = unit == 0 && x == 1 && y == 1;
        if (jfifAspectOnly)
            params.SetResolution(0, 0);
        else
            params.SetResolution(JpegDensityToDpi(unit, x), JpegDensityToDpi(unit, y));
    } else {
        params.SetResolution(0, 0);
    }
    return true;
}

TPixelFormat outputFormat(uint8_t colorSpace, bool native)
{
    if (!native)
        return px24RGB;
    if (colorSpace == 1)
        return px8g;
    if (colorSpace == 3 || colorSpace == 4)
        return pxCMYK;
    return px24RGB;
}

J_COLOR_SPACE libraryOutputSpace(uint8_t colorSpace, TPixelFormat format)
{
    if (colorSpace == 3 || colorSpace == 4)
        return JCS_CMYK;
    if (format == px8g)
        return JCS_GRAYSCALE;
    return JCS_EXT_BGR;
}

// Decodes the rows into the allocated buffer. Returns the number of rows
// delivered; stops at a library error or when io.Aborting is set.
int decodeRows(TJpegDecompressor& d, TImageBuffer& buffer, TImageIO& io, bool& libraryFailed)
{
    const int width = buffer.Width();
    const int height = buffer.Height();
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    // Files with an Adobe segment store CMYK inverted (0 = full ink), which
    // is how Photoshop and every writer after it do it.
    const bool inverted = cmyk && d.cinfo.saw_Adobe_marker;
    std::vector<uint8_t> cmykRow(cmyk ? size_t(width) * 4 : 0);

    libraryFailed = false;
    int row = 0;
    while (row < height && !io.Aborting) {
        uint8_t* dest = buffer.RowPointer(row);
        JSAMPROW target = cmyk ? cmykRow.data() : dest;
        unsigned got = 0;
        if (!jpegReadRows(&d, &target, 1, &got)) {
            libraryFailed = true;
            break;
        }
        if (got == 0)
            break;
        if (cmyk) {
            if (inverted)
                for (uint8_t& v : cmykRow)
                    v = uint8_t(255 - v);
            if (buffer.PixelFormat() == pxCMYK) {
                std::memcpy(dest, cmykRow.data(), cmykRow.size());
            } else {
                for (int x = 0; x < width; ++x)
                    pixelconv::cmykToRgb(&cmykRow[size_t(x) * 4], dest[x * 3 + 2], dest[x * 3 + 1], dest[x * 3]);
            }
        }
        ++row;
        io.Progress(row, height);
    }
    for (int y = row; y < height; ++y)
        std::memset(buffer.RowPointer(y), 0, size_t(buffer.RowLen()));
    return row;
}

}  // namespace

bool FindJpegStart(TStream& stream)
{
    const int64_t start = stream.Position();
    uint8_t head[102];
    size_t n = stream.Read(head, sizeof head);
    for (size_t i = 0; i < 100 && i + 2 < n; ++i) {
        if (head[i] == 0xFF && head[i + 1] == 0xD8 && head[i + 2] == 0xFF) {
            stream.Seek(start + int64_t(i));
            return true;
        }
    }
    stream.Seek(start);
    return false;
}

int JpegScaleDenominator(int scale, int width, int height, int wantWidth, int wantHeight)
{
    switch (scale) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    case 0:
        for (int d : {8, 4, 2}) {
            // libjpeg rounds a scaled size up.
            int64_t w = (int64_t(width) + d - 1) / d;
            int64_t h = (int64_t(height) + d - 1) / d;
            if (w >= wantWidth && h >= wantHeight)
                return d;
        }
        return 1;
    default: return 1;
    }
}

int JpegDensityToDpi(int unit, int density)
{
    if (unit == 2)
        return int(int64_t(density) * 254 / 100);
    return density;
}

bool ReadJpeg(TStream& stream, TImageBuffer& buffer, TImageParams& params, bool paramsOnly, TImageIO& io)
{
    params.JpegMarkers.Clear();
    params.IccProfile.clear();
    params.JpegWarnings = 0;
    if (!FindJpegStart(stream)) {
        io.Aborting = true;
        return false;
    }

    auto d = std::make_unique<TJpegDecompressor>();
    if (!jpegCreateDecompressor(d.get(), ReadStreamForCodec, &stream) || !jpegReadHeader(d.get())) {
        params.JpegWarnings = d->err.Warnings;
        io.Aborting = true;
        return false;
    }
    copyMarkers(d->cinfo, params);

    bool jfifAspectOnly = false;
    if (!readHeaderFields(d->cinfo, params, jfifAspectOnly)) {
        io.Aborting = true;
        return false;
    }
    d->cinfo.dct_method = params.JpegDctMethod <= 2 ? J_DCT_METHOD(params.JpegDctMethod) : JDCT_IFAST;
    if (params.JpegThumbnailMode) {
        // Plain upsampling lets the library join it with the colour
        // conversion. In a reduced decode the library mostly scales the
        // chroma with the inverse DCT already, so the gain is largest for
        // pictures read at full size (files not much larger than the cell).
        d->cinfo.dct_method = JDCT_IFAST;
        d->cinfo.do_fancy_upsampling = FALSE;
        d->cinfo.do_block_smoothing = FALSE;
    }
    int denominator = JpegScaleDenominator(params.JpegScale, params.JpegOriginalWidth, params.JpegOriginalHeight,
                                           params.Width, params.Height);
    d->cinfo.scale_num = 1;
    d->cinfo.scale_denom = unsigned(denominator);
    params.JpegScaleUsed = denominator;

    if (paramsOnly) {
        params.Width = params.JpegOriginalWidth;
        params.Height = params.JpegOriginalHeight;
        readMarkerMetadata(params, nullptr, jfifAspectOnly);
        params.JpegWarnings = d->err.Warnings;
        return true;
    }

    TPixelFormat format = outputFormat(params.JpegColorSpace, params.NativePixelFormat);
    d->cinfo.out_color_space = libraryOutputSpace(params.JpegColorSpace, format);
    // The full size counts too: a progressive file keeps the coefficients
    // of the whole picture in memory whatever the scale.
    if (!PictureSizeAllowed(params.JpegOriginalWidth, params.JpegOriginalHeight) || !jpegCalcOutputDimensions(d.get()) ||
        !PictureSizeAllowed(d->cinfo.output_width, d->cinfo.output_height) ||
        !buffer.Allocate(int(d->cinfo.output_width), int(d->cinfo.output_height), format) ||
        !jpegStartDecompress(d.get())) {
        params.JpegWarnings = d->err.Warnings;
        io.Aborting = true;
        return false;
    }
    params.Width = buffer.Width();
    params.Height = buffer.Height();

    bool libraryFailed = false;
    int rows = decodeRows(*d, buffer, io, libraryFailed);
    bool complete = rows == buffer.Height();
    if (complete && !libraryFailed)
        libraryFailed = !jpegFinishDecompress(d.get());
    params.JpegWarnings = d->err.Warnings;
    // A cut-off or corrupt stream still gives a picture, but the caller must
    // know it is not the whole one.
    if (!complete || libraryFailed || d->err.DataWarnings > 0)
        io.Aborting = true;

    readMarkerMetadata(params, &buffer, jfifAspectOnly);
    return !io.Aborting;
}

bool ReadJpegFile(TImageIO& io, TStream& stream)
{
    return io.Buffer() && ReadJpeg(stream, *io.Buffer(), io.Params, false, io);
}

bool ReadJpegParams(TImageIO& io, TStream& stream)
{
    TImageBuffer scratch;
    return ReadJpeg(stream, io.Buffer() ? *io.Buffer() : scratch, io.Params, true, io);
}
