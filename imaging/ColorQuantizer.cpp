#include "imaging/ColorQuantizer.h"

#include "imaging/quantize/BoxSplit.h"
#include "imaging/quantize/NearestEntry.h"
#include "imaging/quantize/NeuQuant.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kAutoNeuralFrom = 128;  // automatic choice: neural net from this many colours on
constexpr int kCacheBits = 16;

uint32_t packColour(uint8_t b, uint8_t g, uint8_t r) { return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16); }

bool rowIsGray24(const uint8_t* p, int width)
{
    for (int x = 0; x < width; ++x, p += 3)
        if (p[0] != p[1] || p[1] != p[2])
            return false;
    return true;
}

bool rowIsGray48(const uint8_t* row, int width)
{
    for (int x = 0; x < width; ++x, row += 6) {
        uint16_t c[3];
        std::memcpy(c, row, sizeof c);
        if (c[0] != c[1] || c[1] != c[2])
            return false;
    }
    return true;
}
}  // namespace

TQuantizerSettings& QuantizerSettings()
{
    static TQuantizerSettings settings;
    return settings;
}

bool PictureIsGray(const TImageBuffer& picture)
{
    if (picture.IsEmpty())
        return true;
    switch (picture.PixelFormat()) {
    case px24RGB:
    case pxRGB48:
        for (int y = 0; y < picture.Height(); ++y) {
            const uint8_t* row = picture.RowPointer(y);
            if (!row)
                continue;
            bool gray = picture.PixelFormat() == px24RGB ? rowIsGray24(row, picture.Width())
                                                         : rowIsGray48(row, picture.Width());
            if (!gray)
                return false;
        }
        return true;
    case px8p: {
        const TRGB* pal = picture.Palette();
        int count = pal ? std::clamp(picture.PaletteCount(), 0, 256) : 0;
        for (int i = 0; i < count; ++i)
            if (pal[i].r != pal[i].g || pal[i].g != pal[i].b)
                return false;
        return true;
    }
    default:
        return true;
    }
}

// Colour -> palette index for the exact and palette-copy methods: a small
// open-addressing hash table, which answers like a linear search of the
// palette (the first entry of a colour wins) without its cost per pixel.
class TColorQuantizer::TExactTable {
public:
    TExactTable() : keys_(kSlots, kEmpty), values_(kSlots, 0) {}

    // Index of the colour, or -1.
    int Find(uint32_t colour) const
    {
        for (uint32_t s = slotOf(colour);; s = (s + 1) & (kSlots - 1)) {
            if (keys_[s] == colour)
                return values_[s];
            if (keys_[s] == kEmpty)
                return -1;
        }
    }
    // Adds the colour unless it is already there.
    void Add(uint32_t colour, uint8_t index)
    {
        uint32_t s = slotOf(colour);
        while (keys_[s] != kEmpty && keys_[s] != colour)
            s = (s + 1) & (kSlots - 1);
        if (keys_[s] == kEmpty) {
            keys_[s] = colour;
            values_[s] = index;
        }
    }

private:
    static constexpr uint32_t kSlots = 1024;  // at most 257 colours live here
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    static uint32_t slotOf(uint32_t colour) { return (colour * 2654435761u) >> 22; }

    std::vector<uint32_t> keys_;
    std::vector<uint8_t> values_;
};

TColorQuantizer::TColorQuantizer(const TImageBuffer& picture, int colors)
    : TColorQuantizer(picture, colors, QuantizerSettings())
{
}

TColorQuantizer::TColorQuantizer(const TImageBuffer& picture, int colors, const TQuantizerSettings& settings)
    : colors_(std::clamp(colors, 1, 256))
{
    isGray_ = PictureIsGray(picture);
    if (picture.PixelFormat() == px8p && !picture.IsEmpty()) {
        buildPaletteCopy(picture);
        return;
    }
    if (isGray_ || picture.PixelFormat() != px24RGB || picture.IsEmpty()) {
        buildGrayRamp();
        return;
    }
    if (tryExact(picture))
        return;
    bool neural = settings.Method == 0 || (settings.Method != 1 && colors_ >= kAutoNeuralFrom);
    if (neural)
        buildNeuralNet(picture, settings.NeuralSampling);
    else
        buildBoxSplit(picture);
}

TColorQuantizer::~TColorQuantizer() = default;

void TColorQuantizer::buildGrayRamp()
{
    method_ = qmGrayRamp;
    palette_.resize(colors_);
    for (int i = 0; i < colors_; ++i) {
        uint8_t v = uint8_t(256 * i / colors_);
        palette_[i] = TRGB{v, v, v};
    }
}

void TColorQuantizer::buildPaletteCopy(const TImageBuffer& picture)
{
    method_ = qmPaletteCopy;
    const TRGB* pal = picture.Palette();
    int count = pal ? std::min(std::clamp(picture.PaletteCount(), 0, 256), colors_) : 0;
    palette_.assign(pal, pal + count);
    if (palette_.empty())
        palette_.push_back(TRGB{0, 0, 0});  // keep index 0 meaningful
    exact_ = std::make_unique<TExactTable>();
    for (int i = 0; i < int(palette_.size()); ++i)
        exact_->Add(packColour(palette_[i].b, palette_[i].g, palette_[i].r), uint8_t(i));
}

bool TColorQuantizer::tryExact(const TImageBuffer& picture)
{
    // Distinct colours in the order first met, rows from the top; give up
    // as soon as there are more than fit the palette.
    auto table = std::make_unique<TExactTable>();
    std::vector<TRGB> found;
    uint32_t last = 0xFFFFFFFFu;
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.RowPointer(y);
        if (!p)
            continue;
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            uint32_t c = packColour(p[0], p[1], p[2]);
            if (c == last || table->Find(c) >= 0) {
                last = c;
                continue;
            }
            if (int(found.size()) == colors_)
                return false;
            table->Add(c, uint8_t(found.size()));
            found.push_back(TRGB{p[0], p[1], p[2]});
            last = c;
        }
    }
    method_ = qmExact;
    palette_ = std::move(found);
    exact_ = std::move(table);
    return true;
}

void TColorQuantizer::buildNeuralNet(const TImageBuffer& picture, int sampling)
{
    method_ = qmNeuralNet;
    const int64_t pixels = int64_t(picture.Width()) * picture.Height();
    const int factor = TNeuQuant::SamplingFactor(sampling, pixels);
    TNeuQuantSamples samples(pixels, factor);
    std::vector<uint8_t> blank;  // stands in for a row the storage cannot give, keeping the order
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* row = picture.RowPointer(y);
        if (!row) {
            blank.resize(size_t(picture.Width()) * 3);
            row = blank.data();
        }
        samples.AddRow(row, picture.Width());
    }
    net_ = std::make_unique<TNeuQuant>(colors_);
    net_->Learn(samples.Data(), samples.Count(), factor);
    palette_ = net_->Palette();
}

void TColorQuantizer::buildBoxSplit(const TImageBuffer& picture)
{
    method_ = qmBoxSplit;
    boxes_ = std::make_unique<TBoxSplit>();
    for (int y = 0; y < picture.Height(); ++y)
        if (const uint8_t* row = picture.RowPointer(y))
            boxes_->CountRow(row, picture.Width());
    boxes_->Build(colors_);
    palette_ = boxes_->Palette();
}

uint8_t TColorQuantizer::MapColor(uint8_t b, uint8_t g, uint8_t r) const
{
    switch (method_) {
    case qmGrayRamp:
        return uint8_t(r * colors_ / 256);
    case qmExact:
    case qmPaletteCopy: {
        int i = exact_->Find(packColour(b, g, r));
        return uint8_t(i >= 0 ? i : NearestPaletteEntry(palette_, b, g, r));
    }
    case qmNeuralNet:
        return uint8_t(net_->Search(b, g, r));
    case qmBoxSplit:
        return uint8_t(boxes_->Lookup(b, g, r));
    }
    return 0;
}

uint8_t TColorQuantizer::mapNeuralCached(uint8_t b, uint8_t g, uint8_t r)
{
    if (cacheKeys_.empty()) {
        cacheKeys_.assign(size_t(1) << kCacheBits, 0xFFFFFFFFu);
        cacheValues_.assign(size_t(1) << kCacheBits, 0);
    }
    uint32_t c = packColour(b, g, r);
    uint32_t slot = (c * 2654435761u) >> (32 - kCacheBits);
    if (cacheKeys_[slot] != c) {
        cacheKeys_[slot] = c;
        cacheValues_[slot] = uint8_t(net_->Search(b, g, r));
    }
    return cacheValues_[slot];
}

void TColorQuantizer::MapRow(const uint8_t* bgr, uint8_t* indices, int width)
{
    switch (method_) {
    case qmGrayRamp:
        for (int x = 0; x < width; ++x, bgr += 3)
            indices[x] = uint8_t(bgr[2] * colors_ / 256);
        return;
    case qmBoxSplit:
        for (int x = 0; x < width; ++x, bgr += 3)
            indices[x] = uint8_t(boxes_->Lookup(bgr[0], bgr[1], bgr[2]));
        return;
    case qmNeuralNet:
        for (int x = 0; x < width; ++x, bgr += 3)
            indices[x] = mapNeuralCached(bgr[0], bgr[1], bgr[2]);
        return;
    case qmExact:
    case qmPaletteCopy: {
        uint32_t last = 0xFFFFFFFFu;
        uint8_t lastIndex = 0;
        for (int x = 0; x < width; ++x, bgr += 3) {
            uint32_t c = packColour(bgr[0], bgr[1], bgr[2]);
            if (c != last) {
                last = c;
                lastIndex = MapColor(bgr[0], bgr[1], bgr[2]);
            }
            indices[x] = lastIndex;
        }
        return;
    }
    }
}
