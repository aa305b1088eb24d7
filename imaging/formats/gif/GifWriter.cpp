#include "imaging/formats/gif/GifWriter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ColorQuantizer.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/gif/GifLzw.h"

namespace {

constexpr int kMaxGifSide = 65535;
const TRGB kBlack{0, 0, 0};
const TRGB kWhite{255, 255, 255};

// The picture as GIF indices, one byte per pixel, rows from the top.
struct TGifIndexedPicture {
    int Width = 0;
    int Height = 0;
    int Bits = 8;
    std::vector<uint8_t> Indices;
    std::array<TRGB, 256> Palette{};
    int PaletteCount = 0;
    uint8_t BackgroundIndex = 0;
    uint8_t TransparentIndex = 0;
};

uint8_t nearestEntry(const TRGB* palette, int count, TRGB c)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int i = 0; i < count; ++i) {
        const int db = int(palette[i].b) - c.b, dg = int(palette[i].g) - c.g, dr = int(palette[i].r) - c.r;
        const int d = db * db + dg * dg + dr * dr;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return uint8_t(best);
}

std::unique_ptr<TImageBuffer> convertedCopy(const TImageBuffer& source, TPixelFormat format)
{
    auto copy = std::make_unique<TImageBuffer>();
    if (!copy->CopyFrom(source) || !copy->SetPixelFormat(format)) return nullptr;
    return copy;
}

// One bit per pixel: a px1g picture as it is (black, white); a picture of at
// most two colours with those colours (the first met is entry 0); anything
// else through the black-and-white conversion.
bool indexOneBit(const TImageBuffer& picture, TGifIndexedPicture& out)
{
    const int w = out.Width, h = out.Height;
    std::unique_ptr<TImageBuffer> converted;
    const TImageBuffer* bits = &picture;
    if (picture.PixelFormat() != px1g) {
        const TImageBuffer* rgb = &picture;
        if (picture.PixelFormat() != px24RGB) {
            converted = convertedCopy(picture, px24RGB);
            if (!converted) return false;
            rgb = converted.get();
        }
        TRGB colours[2] = {kBlack, kBlack};
        int count = 0;
        for (int y = 0; y < h && count <= 2; ++y) {
            const uint8_t* row = rgb->RowPointer(y);
            if (!row) return false;
            uint8_t* dst = out.Indices.data() + size_t(y) * w;
            for (int x = 0; x < w; ++x) {
                const TRGB c{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                if (count > 0 && c == colours[0]) {
                    dst[x] = 0;
                } else if (count > 1 && c == colours[1]) {
                    dst[x] = 1;
                } else if (count < 2) {
                    colours[count] = c;
                    dst[x] = uint8_t(count++);
                } else {
                    count = 3;
                    break;
                }
            }
        }
        if (count <= 2) {
            out.Palette[0] = colours[0];
            out.Palette[1] = count == 2 ? colours[1] : colours[0];
            out.PaletteCount = 2;
            return true;
        }
        converted = convertedCopy(*rgb, px1g);
        if (!converted) return false;
        bits = converted.get();
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bits->RowPointer(y);
        if (!row) return false;
        uint8_t* dst = out.Indices.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x) dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    out.Palette[0] = kBlack;
    out.Palette[1] = kWhite;
    out.PaletteCount = 2;
    return true;
}

// Gives every pixel whose alpha is not 255 the colour of an opaque pixel (the
// last one met before it, or the first of the picture), so that only visible
// colours count for the palette.
void hideTransparentColours(TImageBuffer& rgb, const TImageBuffer& alpha)
{
    const int w = rgb.Width(), h = rgb.Height();
    bool haveOpaque = false;
    uint8_t fill[3] = {0, 0, 0};
    for (int y = 0; y < h && !haveOpaque; ++y) {
        const uint8_t* a = alpha.RowPointer(y);
        const uint8_t* row = rgb.RowPointer(y);
        for (int x = 0; a && row && x < w; ++x)
            if (a[x] == 255) {
                std::copy_n(row + 3 * x, 3, fill);
                haveOpaque = true;
                break;
            }
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = alpha.RowPointer(y);
        uint8_t* row = rgb.RowPointer(y);
        if (!a || !row) continue;
        for (int x = 0; x < w; ++x) {
            if (a[x] == 255) std::copy_n(row + 3 * x, 3, fill);
            else std::copy_n(fill, 3, row + 3 * x);
        }
    }
}

// More bits: the colour reducer gives the palette and the indices; palette
// pictures keep their indices where the table holds them.
bool indexColours(const TImageBuffer& picture, int colours, TGifIndexedPicture& out,
                  std::unique_ptr<TColorQuantizer>& reducer)
{
    const int w = out.Width, h = out.Height;
    std::unique_ptr<TImageBuffer> converted;
    const TImageBuffer* work = &picture;
    const TPixelFormat f = picture.PixelFormat();
    if (f != px24RGB && f != px8p && f != px8g) {
        converted = convertedCopy(picture, px24RGB);
        if (!converted) return false;
        work = converted.get();
    }
    if (picture.HasAlpha() && work->PixelFormat() == px24RGB) {
        // Transparent pixels end up on the reserved index whatever their
        // colour, so their colours must not take palette entries: a GIF
        // loaded with a transparent colour and saved again would otherwise
        // have one colour too many and lose its exact palette.
        if (!converted) {
            converted = convertedCopy(picture, px24RGB);
            if (!converted) return false;
            work = converted.get();
        }
        hideTransparentColours(*converted, *picture.ExistingAlpha());
    }
    reducer = std::make_unique<TColorQuantizer>(*work, colours);
    TColorQuantizer& quantizer = *reducer;
    out.PaletteCount = std::min(quantizer.PaletteCount(), 256);
    std::copy(quantizer.Palette(), quantizer.Palette() + out.PaletteCount, out.Palette.begin());
    const TRGB* ownPalette = work->Palette();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = work->RowPointer(y);
        if (!row) return false;
        uint8_t* dst = out.Indices.data() + size_t(y) * w;
        switch (work->PixelFormat()) {
        case px24RGB:
            quantizer.MapRow(row, dst, w);
            break;
        case px8p:
            for (int x = 0; x < w; ++x)
                dst[x] = row[x] < colours ? row[x] : quantizer.MapColor(ownPalette[row[x]]);
            break;
        default:  // px8g
            for (int x = 0; x < w; ++x) dst[x] = quantizer.MapColor(row[x], row[x], row[x]);
            break;
        }
    }
    return true;
}

// Everything before the image data: header, global colour table, graphic
// control extension and image descriptor.
std::vector<uint8_t> gifHeader(const TImageParams& p, const TGifIndexedPicture& pic, bool transparent)
{
    std::vector<uint8_t> h;
    auto u16 = [&](int v) {
        h.push_back(uint8_t(v & 0xFF));
        h.push_back(uint8_t((v >> 8) & 0xFF));
    };
    const std::string version = p.GifVersion == "GIF87a" ? p.GifVersion : std::string("GIF89a");
    h.insert(h.end(), version.begin(), version.end());
    const int b = pic.Bits;
    u16(pic.Width);
    u16(pic.Height);
    h.push_back(uint8_t(0x80 | (b - 1) << 4 | (b - 1)));
    h.push_back(pic.BackgroundIndex);
    h.push_back(0);
    for (int i = 0; i < (1 << b); ++i) {
        const TRGB c = i < pic.PaletteCount ? pic.Palette[i] : kBlack;
        h.push_back(c.r);
        h.push_back(c.g);
        h.push_back(c.b);
    }
    h.insert(h.end(), {0x21, 0xF9, 4, uint8_t(((p.GifAction & 7) << 2) | (transparent ? 1 : 0))});
    u16(p.GifDelay);
    h.push_back(pic.TransparentIndex);
    h.push_back(0);
    h.push_back(0x2C);
    u16(p.GifXPos);
    u16(p.GifYPos);
    u16(pic.Width);
    u16(pic.Height);
    h.push_back(p.GifInterlaced ? 0x40 : 0);
    return h;
}

// The comment extension, written even without comments. A text longer than
// a sub-block goes on in further full blocks; an empty text is left out, as
// a zero-length block would end the extension early.
std::vector<uint8_t> gifComments(const std::vector<std::string>& comments)
{
    std::vector<uint8_t> c{0x21, 0xFE};
    for (const std::string& text : comments) {
        for (size_t pos = 0; pos < text.size(); pos += 255) {
            const size_t len = std::min<size_t>(255, text.size() - pos);
            c.push_back(uint8_t(len));
            c.insert(c.end(), text.begin() + pos, text.begin() + pos + len);
        }
    }
    c.push_back(0);
    return c;
}

}  // namespace

bool WriteGif(TImageIO& io, TStream& stream)
{
    io.ProgressPercent(0);
    TImageBuffer* buffer = io.Buffer();
    if (!buffer || buffer->IsEmpty()) return false;
    if (buffer->Width() > kMaxGifSide || buffer->Height() > kMaxGifSide) return false;
    TImageParams& p = io.Params;

    TGifIndexedPicture pic;
    pic.Width = buffer->Width();
    pic.Height = buffer->Height();
    pic.Bits = (p.BitsPerSample >= 1 && p.BitsPerSample <= 8) ? p.BitsPerSample : 8;
    const bool hasAlpha = buffer->HasAlpha();
    const bool twoColours = pic.Bits == 1;
    // One bit leaves no room for a transparent index beside the two
    // colours: such a picture is written with two bits.
    if (hasAlpha && twoColours) pic.Bits = 2;
    const int colours = 1 << pic.Bits;
    pic.Indices.assign(size_t(pic.Width) * size_t(pic.Height), 0);

    std::unique_ptr<TColorQuantizer> reducer;
    const bool indexed = twoColours ? indexOneBit(*buffer, pic)
                                    : indexColours(*buffer, hasAlpha ? colours - 1 : colours, pic, reducer);
    if (!indexed || io.Aborting) return false;

    // Background and transparent colour: the reducer's own mapping for
    // true-colour pictures, the nearest palette entry otherwise.
    const bool trueColour = reducer && buffer->PixelFormat() != px8p && buffer->PixelFormat() != px8g;
    auto indexOf = [&](TRGB c) -> uint8_t {
        if (trueColour) return reducer->MapColor(c);
        return nearestEntry(pic.Palette.data(), pic.PaletteCount, c);
    };
    pic.BackgroundIndex = indexOf(p.GifBackground);
    if (hasAlpha) {
        const uint8_t reserved = uint8_t(colours - 1);
        const TImageBuffer* alpha = buffer->ExistingAlpha();
        for (int y = 0; y < pic.Height; ++y) {
            const uint8_t* a = alpha->RowPointer(y);
            if (!a) return false;
            uint8_t* dst = pic.Indices.data() + size_t(y) * pic.Width;
            for (int x = 0; x < pic.Width; ++x)
                if (a[x] != 255) dst[x] = reserved;
        }
        pic.TransparentIndex = reserved;
        p.GifTransparent = true;
    } else {
        pic.TransparentIndex = indexOf(p.GifTranspColor);
    }
    io.ProgressPercent(30);
    if (io.Aborting) return false;

    const std::vector<uint8_t> header = gifHeader(p, pic, p.GifTransparent);
    if (!stream.WriteExact(header.data(), header.size()) || io.Aborting) return false;
    io.ProgressPercent(70);
    if (io.Aborting) return false;

    std::vector<uint8_t> coded;
    coded.reserve(pic.Indices.size() / 2 + 1024);
    EncodeGifLzw(coded, pic.Height, pic.Width, pic.Bits, pic.Indices.data(), p.GifInterlaced);
    if (!stream.WriteExact(coded.data(), coded.size()) || io.Aborting) return false;

    const std::vector<uint8_t> comments = gifComments(p.GifComments);
    const uint8_t trailer = 0x3B;
    if (!stream.WriteExact(comments.data(), comments.size()) || !stream.WriteExact(&trailer, 1) || io.Aborting)
        return false;
    io.ProgressPercent(100);
    return true;
}
