#pragma once
// YCbCr TIFF files with subsampled chroma, written in the test: the samples
// of a picture, its data units in strips or tiles under any of the stored
// compressions, and the plain conversion of the samples to RGB.
#include <algorithm>
#include <cmath>
#include <vector>

#include <zlib.h>

#include "imaging/Stream.h"
#include "imaging/formats/tiff/PackBits.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffTags.h"

namespace ycbcrtest {

using Bytes = std::vector<uint8_t>;

// One Y per pixel; Cb and Cr stored per pixel but equal over every h x v
// block of the picture, so that subsampling loses nothing.
struct TSamples {
    int Width = 0;
    int Height = 0;
    Bytes Y, Cb, Cr;
};

inline TSamples makeSamples(int w, int h, int subH, int subV)
{
    TSamples s;
    s.Width = w;
    s.Height = h;
    s.Y.resize(size_t(w) * size_t(h));
    s.Cb.resize(s.Y.size());
    s.Cr.resize(s.Y.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const int bx = x / subH, by = y / subV;
            s.Y[i] = uint8_t(20 + (x * 5 + y * 3) % 200);
            s.Cb[i] = uint8_t(70 + (bx * 37 + by * 11) % 120);
            s.Cr[i] = uint8_t(60 + (bx * 13 + by * 29) % 140);
        }
    return s;
}

struct TFileLayout {
    int SubH = 2;
    int SubV = 2;
    int Compression = 1;   // 1, 5, 8 or 32773
    int RowsPerStrip = 0;  // strips of this many rows, or
    int TileWidth = 0;     // tiles of this size
    int TileHeight = 0;
    const double* Luma = nullptr;  // YCbCrCoefficients, when written
    const double* BlackWhite = nullptr;  // ReferenceBlackWhite, when written
};

// The data units of the block at (x0, y0) of bw x bh pixels; pixels outside
// the picture are padding (0x55) that a reader must drop.
inline Bytes dataUnits(const TSamples& s, int subH, int subV, int x0, int y0, int bw, int bh)
{
    Bytes out;
    for (int uy = y0; uy < y0 + bh; uy += subV)
        for (int ux = x0; ux < x0 + bw; ux += subH) {
            for (int dy = 0; dy < subV; ++dy)
                for (int dx = 0; dx < subH; ++dx) {
                    const int x = ux + dx, y = uy + dy;
                    const bool inside = x < s.Width && y < s.Height;
                    out.push_back(inside ? s.Y[size_t(y) * size_t(s.Width) + size_t(x)] : 0x55);
                }
            const bool inside = ux < s.Width && uy < s.Height;
            const size_t i = inside ? size_t(uy) * size_t(s.Width) + size_t(ux) : 0;
            out.push_back(inside ? s.Cb[i] : 0x55);
            out.push_back(inside ? s.Cr[i] : 0x55);
        }
    return out;
}

inline Bytes compressBlock(const Bytes& raw, int compression)
{
    Bytes out;
    switch (compression) {
    case 5:
        TiffLzwDefaultCoder()->Encode(raw.data(), raw.size(), out);
        return out;
    case 8: {
        out.resize(compressBound(uLong(raw.size())));
        uLongf size = uLongf(out.size());
        compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6);
        out.resize(size);
        return out;
    }
    case 32773:
        tiff::packBitsEncode(raw.data(), raw.size(), out);
        return out;
    default:
        return raw;
    }
}

// A little-endian file of one YCbCr directory.
inline Bytes buildFile(const TSamples& s, const TFileLayout& layout)
{
    using namespace tiff;
    TMemoryStream out;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    out.Write(header, 8);
    const bool tiled = layout.TileWidth > 0;
    const int bw = tiled ? layout.TileWidth : s.Width;
    const int bh = tiled ? layout.TileHeight : layout.RowsPerStrip;
    std::vector<uint32_t> offsets, counts;
    for (int y0 = 0; y0 < s.Height; y0 += bh)
        for (int x0 = 0; x0 < s.Width; x0 += bw) {
            // Strips end at the picture's last row; tiles are always whole.
            const int rows = tiled ? bh : std::min(bh, s.Height - y0);
            const Bytes coded = compressBlock(dataUnits(s, layout.SubH, layout.SubV, x0, y0, bw, rows), layout.Compression);
            offsets.push_back(uint32_t(out.Position()));
            counts.push_back(uint32_t(coded.size()));
            out.Write(coded.data(), coded.size());
            if (out.Position() % 2) out.Write("", 1);
        }
    TTiffDirWriter dir;
    dir.AddLong(tagImageWidth, {uint32_t(s.Width)});
    dir.AddLong(tagImageLength, {uint32_t(s.Height)});
    dir.AddShort(tagBitsPerSample, {8, 8, 8});
    dir.AddShort(tagCompression, {uint16_t(layout.Compression)});
    dir.AddShort(tagPhotometric, {6});
    dir.AddShort(tagSamplesPerPixel, {3});
    dir.AddShort(tagPlanarConfig, {1});
    dir.AddShort(tagYCbCrSubsampling, {uint16_t(layout.SubH), uint16_t(layout.SubV)});
    if (tiled) {
        dir.AddLong(tagTileWidth, {uint32_t(layout.TileWidth)});
        dir.AddLong(tagTileLength, {uint32_t(layout.TileHeight)});
        dir.AddLong(tagTileOffsets, offsets);
        dir.AddLong(tagTileByteCounts, counts);
    } else {
        dir.AddLong(tagRowsPerStrip, {uint32_t(layout.RowsPerStrip)});
        dir.AddLong(tagStripOffsets, offsets);
        dir.AddLong(tagStripByteCounts, counts);
    }
    auto rationals = [](const double* v, int n) {
        std::vector<std::pair<uint32_t, uint32_t>> r;
        for (int i = 0; i < n; ++i) r.emplace_back(uint32_t(std::lround(v[i] * 10000)), 10000u);
        return r;
    };
    if (layout.Luma) dir.AddRational(tagYCbCrCoefficients, rationals(layout.Luma, 3));
    if (layout.BlackWhite) dir.AddRational(tagReferenceBlackWhite, rationals(layout.BlackWhite, 6));
    uint32_t at = 0;
    dir.WriteDirectory(out, 0, 0, &at);
    TTiffDirWriter::PatchLong(out, 4, at);
    return out.TakeBytes();
}

// RGB of one pixel as TIFF defines it: codes scaled by the reference black
// and white, then R = Cr * (2 - 2 LumaRed) + Y, B = Cb * (2 - 2 LumaBlue) + Y,
// G = (Y - LumaBlue B - LumaRed R) / LumaGreen.
inline void referenceRgb(int y, int cb, int cr, const double* luma, const double* bw, uint8_t rgb[3])
{
    static const double defaultLuma[3] = {0.299, 0.587, 0.114};
    static const double defaultBw[6] = {0, 255, 128, 255, 128, 255};
    if (!luma) luma = defaultLuma;
    if (!bw) bw = defaultBw;
    const double Y = (y - bw[0]) * 255.0 / (bw[1] - bw[0]);
    const double Cb = (cb - bw[2]) * 127.0 / (bw[3] - bw[2]);
    const double Cr = (cr - bw[4]) * 127.0 / (bw[5] - bw[4]);
    const double R = Cr * (2 - 2 * luma[0]) + Y;
    const double B = Cb * (2 - 2 * luma[2]) + Y;
    const double G = (Y - luma[2] * B - luma[0] * R) / luma[1];
    const double v[3] = {R, G, B};
    for (int c = 0; c < 3; ++c) rgb[c] = uint8_t(std::clamp(std::lround(v[c]), 0L, 255L));
}

}  // namespace ycbcrtest
