#include "imaging/formats/png/PngWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/ColorQuantizer.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/PixelConversion.h"
#include "imaging/Stream.h"
#include "imaging/formats/CodecStreamCallbacks.h"
#include "imaging/formats/png/PngLibAdapter.h"

namespace {

bool hasTransparency(const TImageBuffer* alpha)
{
    if (!alpha || alpha->IsEmpty())
        return false;
    if (alpha->FullyOpaque())
        return false;
    for (int y = 0; y < alpha->Height(); ++y) {
        const uint8_t* a = alpha->RowPointer(y);
        for (int x = 0; x < alpha->Width(); ++x)
            if (a[x] != 255)
                return true;
    }
    return false;
}

// How the rows of the file are made from the picture.
enum TRowKind {
    rkBgr,              // px24RGB (or decoded) blue, green, red
    rkBgra,             // the same plus the alpha channel
    rkGray8,            // px8g bytes
    rkGray16To8,        // pxGray16 values, high byte
    rkGray16,           // pxGray16 values
    rkGrayOfColour,     // a gray picture: one of its equal channels
    rkGrayOfPalette,    // px8p with a gray palette: the entry's value
    rkIndices,          // px8p indices as they are
    rkQuantized,        // the quantizer's index of each colour
    rkQuantizedOpaque,  // index + 1 for opaque pixels, 0 (the background) else
    rkBits,             // px1g rows as they are
    rkTwoColours,       // 1 where a pixel has the second colour
};

struct TPlan {
    int ColorType = PNG_COLOR_TYPE_RGB;
    int BitDepth = 8;
    TRowKind Kind = rkBgr;
    std::vector<png_color> Palette;
    std::vector<png_byte> Trans;
    png_color_16 Background{};
    TRGB SecondColour{};
    const TImageBuffer* Source = nullptr;
    std::unique_ptr<TImageBuffer> Copy;  // a converted copy, when one was needed
    std::unique_ptr<TColorQuantizer> Quantizer;
};

png_color toPng(TRGB c)
{
    return png_color{c.r, c.g, c.b};
}

// The two colours of a picture that has at most two; false when it has more.
bool twoColours(const TImageBuffer& picture, TRGB& first, TRGB& second)
{
    std::vector<uint8_t> bgr(size_t(picture.Width()) * 3);
    int found = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        pixelconv::decodeRowToBGR(picture.RowPointer(y), picture.PixelFormat(), 0, picture.Width(), picture.Palette(),
                                  bgr.data());
        for (int x = 0; x < picture.Width(); ++x) {
            TRGB c{bgr[x * 3], bgr[x * 3 + 1], bgr[x * 3 + 2]};
            if (found > 0 && c == first)
                continue;
            if (found > 1 && c == second)
                continue;
            if (found == 2)
                return false;
            (found == 0 ? first : second) = c;
            ++found;
        }
    }
    if (found < 2)
        second = first;
    return true;
}

const TImageBuffer& convertedCopy(TPlan& plan, const TImageBuffer& buffer, TPixelFormat format)
{
    plan.Copy = std::make_unique<TImageBuffer>();
    if (!plan.Copy->Assign(buffer) || !plan.Copy->ConvertTo(format))
        throw std::runtime_error("Out of memory");
    return *plan.Copy;
}

void planOneBit(TPlan& plan, const TImageBuffer& buffer, TRGB background)
{
    plan.BitDepth = 1;
    TRGB first{}, second{};
    if (buffer.PixelFormat() != px1g && twoColours(buffer, first, second)) {
        // Two colours stay those colours: a two-entry palette.
        plan.ColorType = PNG_COLOR_TYPE_PALETTE;
        plan.Kind = rkTwoColours;
        plan.Palette = {toPng(first), toPng(second)};
        plan.SecondColour = second;
        plan.Source = &buffer;
        plan.Background.index = background == second ? 1 : 0;
        return;
    }
    plan.ColorType = PNG_COLOR_TYPE_GRAY;
    plan.Kind = rkBits;
    plan.Source = buffer.PixelFormat() == px1g ? &buffer : &convertedCopy(plan, buffer, px1g);
    plan.Background.gray = GrayOf(background.r, background.g, background.b) >= 128 ? 1 : 0;
}

void planOneChannel(TPlan& plan, const TImageBuffer& buffer, int bits, bool transparent, TRGB background)
{
    const uint8_t backgroundGray = GrayOf(background.r, background.g, background.b);
    plan.BitDepth = 8;
    if (!transparent && buffer.PixelFormat() == px8g) {
        plan.ColorType = PNG_COLOR_TYPE_GRAY;
        plan.Kind = rkGray8;
        plan.Source = &buffer;
        plan.Background.gray = backgroundGray;
        return;
    }
    if (!transparent && buffer.PixelFormat() == pxGray16) {
        plan.ColorType = PNG_COLOR_TYPE_GRAY;
        plan.BitDepth = bits == 16 ? 16 : 8;
        plan.Kind = bits == 16 ? rkGray16 : rkGray16To8;
        plan.Source = &buffer;
        plan.Background.gray = bits == 16 ? png_uint_16(backgroundGray * 257) : backgroundGray;
        return;
    }
    const bool keepIndices = !transparent && buffer.PixelFormat() == px8p;
    const TImageBuffer& source =
        keepIndices || buffer.PixelFormat() == px24RGB ? buffer : convertedCopy(plan, buffer, px24RGB);
    plan.Source = &source;

    if (transparent) {
        // Entry 0 is the background, fully transparent; the picture's
        // colours follow it.
        plan.Quantizer = std::make_unique<TColorQuantizer>(source, std::min(1 << std::min(bits, 8), 255));
        plan.ColorType = PNG_COLOR_TYPE_PALETTE;
        plan.Kind = rkQuantizedOpaque;
        plan.Palette.push_back(toPng(background));
        for (int i = 0; i < plan.Quantizer->PaletteCount() && plan.Palette.size() < 256; ++i)
            plan.Palette.push_back(toPng(plan.Quantizer->Palette()[i]));
        plan.Trans = {0};
        plan.Background.index = 0;
        return;
    }
    plan.Quantizer = std::make_unique<TColorQuantizer>(source, 256);
    if (plan.Quantizer->IsGray()) {
        plan.ColorType = PNG_COLOR_TYPE_GRAY;
        plan.Kind = keepIndices ? rkGrayOfPalette : rkGrayOfColour;
        plan.Background.gray = backgroundGray;
        return;
    }
    plan.ColorType = PNG_COLOR_TYPE_PALETTE;
    plan.Kind = keepIndices ? rkIndices : rkQuantized;
    if (keepIndices) {
        // Every index must name an entry, or libpng refuses the file.
        int entries = std::clamp(source.PaletteCount(), 1, 256);
        for (int y = 0; y < source.Height(); ++y) {
            const uint8_t* p = source.RowPointer(y);
            entries = std::max(entries, int(*std::max_element(p, p + source.Width())) + 1);
        }
        for (int i = 0; i < entries; ++i)
            plan.Palette.push_back(toPng(source.Palette()[i]));
    } else {
        for (int i = 0; i < plan.Quantizer->PaletteCount(); ++i)
            plan.Palette.push_back(toPng(plan.Quantizer->Palette()[i]));
    }
    plan.Background.index = std::min<png_byte>(plan.Quantizer->MapColor(background), png_byte(plan.Palette.size() - 1));
}

void planColour(TPlan& plan, const TImageBuffer& buffer, bool transparent, TRGB background)
{
    plan.ColorType = transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    plan.Kind = transparent ? rkBgra : rkBgr;
    plan.Source = &buffer;
    // bKGD samples are in the file's depth: 8 bits here.
    plan.Background.red = background.r;
    plan.Background.green = background.g;
    plan.Background.blue = background.b;
}

// Makes row y in `out` (or returns the buffer's own row when it can be
// handed over as it is).
class TRowMaker {
public:
    TRowMaker(TPlan& plan, const TImageBuffer* alpha) : plan_(plan), alpha_(alpha)
    {
        const size_t width = size_t(plan.Source->Width());
        row_.resize(width * 4 + 8);
        bgr_.resize(width * 3);
    }

    const uint8_t* Row(int y)
    {
        const TImageBuffer& src = *plan_.Source;
        const uint8_t* p = src.RowPointer(y);
        const int width = src.Width();
        uint8_t* out = row_.data();
        switch (plan_.Kind) {
        case rkBgr:
            if (src.PixelFormat() == px24RGB)
                return p;
            return decoded(p);
        case rkBits:
        case rkGray8:
        case rkGray16:
        case rkIndices:
            return p;
        case rkBgra: {
            const uint8_t* bgr = src.PixelFormat() == px24RGB ? p : decoded(p);
            const uint8_t* a = alpha_->RowPointer(y);
            for (int x = 0; x < width; ++x) {
                std::memcpy(out + x * 4, bgr + x * 3, 3);
                out[x * 4 + 3] = a[x];
            }
            return out;
        }
        case rkGray16To8: {
            const auto* v = reinterpret_cast<const uint16_t*>(p);
            for (int x = 0; x < width; ++x)
                out[x] = uint8_t(v[x] >> 8);
            return out;
        }
        case rkGrayOfColour:
            for (int x = 0; x < width; ++x)
                out[x] = p[x * 3];
            return out;
        case rkGrayOfPalette:
            for (int x = 0; x < width; ++x)
                out[x] = src.Palette()[p[x]].r;
            return out;
        case rkQuantized:
            plan_.Quantizer->MapRow(p, out, width);
            return out;
        case rkQuantizedOpaque: {
            plan_.Quantizer->MapRow(p, out, width);
            const uint8_t* a = alpha_->RowPointer(y);
            for (int x = 0; x < width; ++x)
                out[x] = a[x] == 255 ? uint8_t(out[x] + 1) : 0;
            return out;
        }
        case rkTwoColours: {
            const uint8_t* bgr = decoded(p);
            std::memset(out, 0, size_t(width + 7) / 8);
            for (int x = 0; x < width; ++x)
                if (TRGB{bgr[x * 3], bgr[x * 3 + 1], bgr[x * 3 + 2]} == plan_.SecondColour)
                    out[x / 8] |= uint8_t(0x80 >> (x % 8));
            return out;
        }
        }
        return p;
    }

private:
    const uint8_t* decoded(const uint8_t* p)
    {
        const TImageBuffer& src = *plan_.Source;
        pixelconv::decodeRowToBGR(p, src.PixelFormat(), 0, src.Width(), src.Palette(), bgr_.data());
        return bgr_.data();
    }

    TPlan& plan_;
    const TImageBuffer* alpha_;
    std::vector<uint8_t> row_;
    std::vector<uint8_t> bgr_;
};

// tEXt keywords are 1 to 79 Latin-1 characters; libpng refuses others
// with an error, which would fail the whole save for one bad caption.
bool validKeyword(const std::string& key)
{
    size_t first = key.find_first_not_of(' ');
    size_t last = key.find_last_not_of(' ');
    return first != std::string::npos && last - first + 1 <= 79 && key.size() <= 79;
}

int filterFlags(uint8_t filter)
{
    switch (filter) {
    case 1: return PNG_FILTER_SUB;
    case 2: return PNG_FILTER_PAETH;
    default: return PNG_FILTER_NONE;
    }
}

}  // namespace

unsigned PngPixelsPerMetre(int dpi)
{
    if (dpi <= 0)
        return 0;
    // dpi * 100 / 2.54 = dpi * 10000 / 254, rounded with halves to even.
    uint64_t n = uint64_t(dpi) * 10000;
    uint64_t q = n / 254, r = n % 254;
    if (r * 2 > 254 || (r * 2 == 254 && (q & 1)))
        ++q;
    return unsigned(std::min<uint64_t>(q, 0x7FFFFFFF));
}

bool WritePng(TStream& stream, const TImageBuffer& buffer, TImageParams& params, const TImageBuffer* alpha, TImageIO& io)
{
    if (buffer.IsEmpty()) {
        io.Aborting = true;
        return false;
    }
    if (params.SamplesPerPixel == 1 && params.BitsPerSample != 1 && params.BitsPerSample != 8 &&
        params.BitsPerSample != 16)
        params.BitsPerSample = 8;
    if (alpha && (alpha->Width() != buffer.Width() || alpha->Height() != buffer.Height()))
        alpha = nullptr;
    const bool transparent = hasTransparency(alpha);

    TPlan plan;
    if (params.BitsPerSample == 1)
        planOneBit(plan, buffer, params.PngBackground);
    else if (params.SamplesPerPixel == 1)
        planOneChannel(plan, buffer, params.BitsPerSample, transparent, params.PngBackground);
    else
        planColour(plan, buffer.PixelFormat() == px1g ? convertedCopy(plan, buffer, px24RGB) : buffer, transparent,
                   params.PngBackground);

    std::vector<std::string> keys, texts;
    std::vector<png_text> pngTexts;
    size_t textCount = std::min(params.PngTextKeys.size(), params.PngTexts.size());
    for (size_t i = 0; i < textCount; ++i)
        if (validKeyword(params.PngTextKeys[i])) {
            keys.push_back(params.PngTextKeys[i]);
            texts.push_back(params.PngTexts[i]);
        }
    for (size_t i = 0; i < keys.size(); ++i) {
        png_text t{};
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = keys[i].data();
        t.text = texts[i].data();
        t.text_length = std::strlen(t.text);
        pngTexts.push_back(t);
    }

    const TImagingSettings& global = ImagingSettings();
    TPngWriteSettings s;
    s.Width = uint32_t(buffer.Width());
    s.Height = uint32_t(buffer.Height());
    s.BitDepth = plan.BitDepth;
    s.ColorType = plan.ColorType;
    s.Interlaced = params.PngInterlaced;
    s.Palette = plan.Palette.empty() ? nullptr : plan.Palette.data();
    s.PaletteCount = int(plan.Palette.size());
    s.TransAlpha = plan.Trans.empty() ? nullptr : plan.Trans.data();
    s.TransCount = int(plan.Trans.size());
    s.HasPhys = true;
    s.PhysX = PngPixelsPerMetre(params.DpiX > 0 ? params.DpiX : global.DefaultResolutionX);
    s.PhysY = PngPixelsPerMetre(params.DpiY > 0 ? params.DpiY : global.DefaultResolutionY);
    s.HasBackground = true;
    s.Background = plan.Background;
    s.Filters = filterFlags(params.PngFilter);
    s.CompressionLevel = std::clamp(params.PngCompression, 0, 9);
    s.Bgr = plan.ColorType == PNG_COLOR_TYPE_RGB || plan.ColorType == PNG_COLOR_TYPE_RGB_ALPHA;
    s.Swap16 = plan.BitDepth == 16;
    s.Texts = pngTexts.empty() ? nullptr : pngTexts.data();
    s.TextCount = int(pngTexts.size());

    auto e = std::make_unique<TPngEncoder>();
    if (!pngCreateEncoder(e.get(), WriteStreamForCodec, &stream))
        throw std::runtime_error("Error on creating PNG");
    if (!pngWriteHeader(e.get(), &s)) {
        io.Aborting = true;
        return false;
    }
    TRowMaker rows(plan, alpha);
    const int height = buffer.Height();
    const int64_t total = int64_t(height) * e->Passes;
    int64_t done = 0;
    for (int pass = 0; pass < e->Passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            if (io.Aborting || !pngWriteRow(e.get(), rows.Row(y))) {
                io.Aborting = true;
                return false;
            }
            io.Progress(++done, total);
        }
    }
    if (!pngWriteEnd(e.get())) {
        io.Aborting = true;
        return false;
    }
    return true;
}

bool WritePngFile(TImageIO& io, TStream& stream)
{
    TImageBuffer* buffer = io.Buffer();
    if (!buffer) {
        io.Aborting = true;
        return false;
    }
    return WritePng(stream, *buffer, io.Params, buffer->ExistingAlpha(), io);
}
