#pragma once
// TColorQuantizer: turns a picture into a palette of at most N colours (1..256)
// and maps colours to palette indices. Every palette output of the program
// (px8p conversion, palette BMP/PNG/TIFF, GIF) goes through it.
//
// The palette is built at construction, by the first rule that applies:
//   px8p picture              the first N entries of its own palette
//   gray, or not px24RGB      a gray ramp, entry i = 256 * i / N
//   px24RGB, <= N colours     exactly its colours, in the order first met
//   px24RGB, more colours     box split (N < 128) or the NeuQuant neural
//                             net (N >= 128), unless the settings force one
//
// Typical use:
//   TColorQuantizer q(picture, 256);
//   for each row: q.MapRow(bgrRow, indexRow, width);
//   write q.Palette()[0 .. q.PaletteCount() - 1]
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

enum TQuantizeMethod : uint8_t {
    qmExact,        // the picture's own colours, few enough to keep
    qmGrayRamp,     // evenly spaced grays
    qmPaletteCopy,  // the picture's own palette (px8p)
    qmNeuralNet,    // NeuQuant self-organising map
    qmBoxSplit,     // colour cube cut into boxes on a 5-bit histogram
};

// Process-wide reducer settings, set at start-up (or by a caller that needs
// a particular method) and read by every reducer built afterwards.
struct TQuantizerSettings {
    // -1 = automatic (box split below 128 colours, neural net from 128 on),
    // 0 = always the neural net, 1 = always box split.
    int Method = -1;
    // Neural-net sampling 0..100: 100 learns from every pixel, 0 from every
    // 30th. -1 picks the factor from the picture size.
    int NeuralSampling = -1;
};
TQuantizerSettings& QuantizerSettings();

class TBoxSplit;
class TNeuQuant;

class TColorQuantizer {
public:
    // Builds the palette for `colors` colours (held to 1..256) with the
    // process-wide settings, or with explicit ones.
    TColorQuantizer(const TImageBuffer& picture, int colors);
    TColorQuantizer(const TImageBuffer& picture, int colors, const TQuantizerSettings& settings);
    ~TColorQuantizer();
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    // Every pixel (px24RGB, pxRGB48) or palette entry (px8p) has equal red,
    // green and blue; pictures of any other format count as gray.
    bool IsGray() const { return isGray_; }
    TQuantizeMethod Method() const { return method_; }
    // The requested colour count after holding it to 1..256.
    int Colors() const { return colors_; }

    // The palette; only the first PaletteCount() entries are valid, which
    // may be fewer than Colors() (exact colours, a short source palette,
    // box split that ran out of boxes to cut).
    const TRGB* Palette() const { return palette_.data(); }
    int PaletteCount() const { return int(palette_.size()); }

    // Palette index for a colour. Colours of the picture get the index the
    // method assigns; any other colour gets a sensible nearby entry.
    uint8_t MapColor(uint8_t b, uint8_t g, uint8_t r) const;
    uint8_t MapColor(TRGB colour) const { return MapColor(colour.b, colour.g, colour.r); }

    // MapColor for a row of px24RGB pixels (blue, green, red), one index
    // byte per pixel. Same answers as MapColor, faster: it remembers recent
    // colours, so it is not const.
    void MapRow(const uint8_t* bgr, uint8_t* indices, int width);

private:
    class TExactTable;

    void buildGrayRamp();
    void buildPaletteCopy(const TImageBuffer& picture);
    bool tryExact(const TImageBuffer& picture);
    void buildNeuralNet(const TImageBuffer& picture, int sampling);
    void buildBoxSplit(const TImageBuffer& picture);
    uint8_t mapNeuralCached(uint8_t b, uint8_t g, uint8_t r);

    int colors_ = 256;
    bool isGray_ = true;
    TQuantizeMethod method_ = qmGrayRamp;
    std::vector<TRGB> palette_;

    std::unique_ptr<TExactTable> exact_;
    std::unique_ptr<TBoxSplit> boxes_;
    std::unique_ptr<TNeuQuant> net_;
    // MapRow memo for the neural net: colour (24 bits) -> index, direct mapped.
    std::vector<uint32_t> cacheKeys_;
    std::vector<uint8_t> cacheValues_;
};

// True when every pixel (px24RGB, pxRGB48) or palette entry (px8p) is gray;
// other formats count as gray.
bool PictureIsGray(const TImageBuffer& picture);
