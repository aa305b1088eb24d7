#include "imaging/formats/png/PngReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/CodecStreamCallbacks.h"
#include "imaging/formats/png/PngLibAdapter.h"

namespace {

struct THeader {
    png_uint_32 Width = 0;
    png_uint_32 Height = 0;
    int BitDepth = 8;
    int ColorType = 0;
    int Interlace = 0;
    bool HasTrns = false;
};

int samplesOf(int colorType)
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// An 8-bit value of a background sample stored in the file's depth.
uint8_t sampleTo8(png_uint_16 value, int depth)
{
    if (depth == 16)
        return uint8_t(value >> 8);
    if (depth == 8)
        return uint8_t(value);
    int max = (1 << depth) - 1;
    return uint8_t(std::min<int>(value, max) * 255 / max);
}

void readHeaderFields(png_structp png, png_infop info, const THeader& h, TImageParams& params)
{
    params.Width = int(h.Width);
    params.Height = int(h.Height);
    params.BitsPerSample = h.BitDepth;
    params.SamplesPerPixel = samplesOf(h.ColorType);
    params.PngInterlaced = h.Interlace != PNG_INTERLACE_NONE;

    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER)
        params.SetResolution(PngDpiFromPixelsPerMetre(resX), PngDpiFromPixelsPerMetre(resY));
    else
        params.SetResolution(0, 0);

    png_colorp palette = nullptr;
    int paletteCount = 0;
    std::vector<TRGB> colours;
    if (png_get_PLTE(png, info, &palette, &paletteCount) && palette)
        for (int i = 0; i < std::min(paletteCount, 256); ++i)
            colours.push_back(TRGB{palette[i].blue, palette[i].green, palette[i].red});
    params.SetColorMap(colours.empty() ? nullptr : colours.data(), int(colours.size()));

    params.PngTextKeys.clear();
    params.PngTexts.clear();
    png_textp texts = nullptr;
    int textCount = 0;
    if (png_get_text(png, info, &texts, &textCount) > 0 && texts)
        for (int i = 0; i < textCount; ++i) {
            params.PngTextKeys.emplace_back(texts[i].key ? texts[i].key : "");
            params.PngTexts.emplace_back(texts[i].text ? texts[i].text : "", texts[i].text ? texts[i].text_length : 0);
        }

    // bKGD is an index for palette files and samples in the file's depth
    // otherwise.
    params.PngBackground = TRGB{0, 0, 0};
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background) && background) {
        if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
            if (background->index < colours.size())
                params.PngBackground = colours[background->index];
        } else if (h.ColorType & PNG_COLOR_MASK_COLOR) {
            params.PngBackground = TRGB{sampleTo8(background->blue, h.BitDepth), sampleTo8(background->green, h.BitDepth),
                                        sampleTo8(background->red, h.BitDepth)};
        } else {
            uint8_t g = sampleTo8(background->gray, h.BitDepth);
            params.PngBackground = TRGB{g, g, g};
        }
    }
}

// The picture's format and what libpng must do to deliver it.
struct TLayout {
    TPixelFormat Format = px24RGB;
    TPngReadTransforms Transforms;
    bool SplitAlpha = false;   // rows come as blue, green, red, alpha
    bool TrnsByValue = false;  // native gray or palette: alpha from tRNS afterwards
};

TLayout layoutFor(const THeader& h, bool native)
{
    TLayout l;
    l.Transforms.Interlace = h.Interlace != PNG_INTERLACE_NONE;
    const bool gray = h.ColorType == PNG_COLOR_TYPE_GRAY;
    if (native && gray && (h.BitDepth == 8 || h.BitDepth == 16)) {
        l.Format = h.BitDepth == 8 ? px8g : pxGray16;
        l.Transforms.Swap16 = h.BitDepth == 16;
        l.TrnsByValue = h.HasTrns;
        return l;
    }
    if (native && h.ColorType == PNG_COLOR_TYPE_PALETTE) {
        l.Format = px8p;
        l.Transforms.Packing = h.BitDepth < 8;
        l.TrnsByValue = h.HasTrns;
        return l;
    }
    if (gray && h.BitDepth == 1 && !h.HasTrns) {
        l.Format = px1g;
        return l;
    }
    l.Format = px24RGB;
    l.Transforms.Expand = true;
    l.Transforms.Strip16 = h.BitDepth == 16;
    l.Transforms.GrayToRgb = !(h.ColorType & PNG_COLOR_MASK_COLOR);
    l.Transforms.Bgr = true;
    l.SplitAlpha = (h.ColorType & PNG_COLOR_MASK_ALPHA) || h.HasTrns;
    return l;
}

// Alpha of a native gray or palette picture from its tRNS chunk.
void alphaFromTrns(png_structp png, png_infop info, TImageBuffer& buffer, int depth)
{
    png_bytep trans = nullptr;
    int count = 0;
    png_color_16p colour = nullptr;
    if (!png_get_tRNS(png, info, &trans, &count, &colour))
        return;
    TImageBuffer* alpha = buffer.Alpha();
    if (!alpha)
        return;
    bool opaque = true;
    for (int y = 0; y < buffer.Height(); ++y) {
        const uint8_t* p = buffer.RowPointer(y);
        uint8_t* a = alpha->RowPointer(y);
        for (int x = 0; x < buffer.Width(); ++x) {
            uint8_t value = 255;
            if (buffer.PixelFormat() == px8p) {
                if (trans && p[x] < count)
                    value = trans[p[x]];
            } else if (colour) {
                unsigned v = depth == 16 ? reinterpret_cast<const uint16_t*>(p)[x] : p[x];
                value = v == colour->gray ? 0 : 255;
            }
            a[x] = value;
            opaque = opaque && value == 255;
        }
    }
    alpha->SetFullyOpaque(opaque);
}

void splitAlpha(const uint8_t* bgra, int width, uint8_t* bgr, uint8_t* alpha, bool& opaque)
{
    for (int x = 0; x < width; ++x) {
        std::memcpy(bgr + x * 3, bgra + x * 4, 3);
        alpha[x] = bgra[x * 4 + 3];
        opaque = opaque && alpha[x] == 255;
    }
}

// Reads every row of every pass. Returns false at a library error or an
// abort request.
bool readRows(TPngDecoder& d, TImageBuffer& buffer, const TLayout& layout, TImageIO& io)
{
    const int width = buffer.Width();
    const int height = buffer.Height();
    const int64_t total = int64_t(height) * d.Passes;
    int64_t done = 0;
    TImageBuffer* alpha = layout.SplitAlpha ? buffer.Alpha() : nullptr;
    if (layout.SplitAlpha && !alpha)
        return false;
    // Interlaced passes fill in rows that earlier passes began, so split
    // rows are kept whole until the last pass.
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint8_t> bgra;
    if (layout.SplitAlpha)
        bgra.assign(d.Passes > 1 ? rowBytes * size_t(height) : rowBytes, 0);
    bool opaque = true;
    for (int pass = 0; pass < d.Passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            if (io.Aborting)
                return false;
            uint8_t* target = layout.SplitAlpha ? bgra.data() + (d.Passes > 1 ? rowBytes * size_t(y) : 0)
                                                : buffer.RowPointer(y);
            if (!pngReadRow(&d, target))
                return false;
            if (layout.SplitAlpha && pass == d.Passes - 1)
                splitAlpha(target, width, buffer.RowPointer(y), alpha->RowPointer(y), opaque);
            io.Progress(++done, total);
        }
    }
    if (alpha)
        alpha->SetFullyOpaque(opaque);
    return true;
}

}  // namespace

int PngDpiFromPixelsPerMetre(unsigned pixelsPerMetre)
{
    // ppm / 100 * 2.54 = ppm * 254 / 10000, rounded with halves to even.
    uint64_t n = uint64_t(pixelsPerMetre) * 254;
    uint64_t q = n / 10000, r = n % 10000;
    if (r * 2 > 10000 || (r * 2 == 10000 && (q & 1)))
        ++q;
    return int(std::min<uint64_t>(q, 1000000));
}

bool ReadPng(TStream& stream, TImageBuffer& buffer, TImageParams& params, bool paramsOnly, TImageIO& io)
{
    auto d = std::make_unique<TPngDecoder>();
    if (!pngCreateDecoder(d.get(), ReadStreamForCodec, &stream, 1u << 24, 1u << 24))
        throw std::runtime_error("Error on creating PNG");
    if (!pngReadInfo(d.get())) {
        io.Aborting = true;
        return false;
    }
    THeader h;
    h.Width = png_get_image_width(d->png, d->info);
    h.Height = png_get_image_height(d->png, d->info);
    h.BitDepth = png_get_bit_depth(d->png, d->info);
    h.ColorType = png_get_color_type(d->png, d->info);
    h.Interlace = png_get_interlace_type(d->png, d->info);
    h.HasTrns = png_get_valid(d->png, d->info, PNG_INFO_tRNS) != 0;
    readHeaderFields(d->png, d->info, h, params);
    if (paramsOnly)
        return true;

    const TLayout layout = layoutFor(h, params.NativePixelFormat);
    if (!PictureSizeAllowed(h.Width, h.Height) || !pngApplyReadTransforms(d.get(), &layout.Transforms) ||
        !buffer.Allocate(int(h.Width), int(h.Height), layout.Format)) {
        io.Aborting = true;
        return false;
    }
    // Rows a damaged file never delivers stay black.
    buffer.Fill(0);
    if (layout.Format == px8p) {
        buffer.SetPalette(params.ColorMap.data(), std::max(params.ColorMapCount, 1));
        buffer.SetReduceColors(1 << h.BitDepth);
    }
    if (!readRows(*d, buffer, layout, io)) {
        io.Aborting = true;
        return false;
    }
    if (layout.TrnsByValue)
        alphaFromTrns(d->png, d->info, buffer, h.BitDepth);
    return true;
}

bool ReadPngFile(TImageIO& io, TStream& stream)
{
    return io.Buffer() && ReadPng(stream, *io.Buffer(), io.Params, false, io);
}

bool ReadPngParams(TImageIO& io, TStream& stream)
{
    TImageBuffer scratch;
    return ReadPng(stream, scratch, io.Params, true, io);
}
