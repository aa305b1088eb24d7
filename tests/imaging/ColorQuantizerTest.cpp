#include <gtest/gtest.h>

#include "imaging/ColorQuantizer.h"
#include "imaging/ImageBuffer.h"
#include "imaging/quantize/NeuQuant.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

TRGB trgb(Rgb c) { return TRGB{c.b, c.g, c.r}; }

// A px24RGB picture from pixels listed row by row from the top.
std::unique_ptr<TImageBuffer> makePicture(int width, int height, const std::vector<Rgb>& pixels)
{
    auto pic = TImageBuffer::CreateSized(width, height, px24RGB);
    EXPECT_FALSE(pic->IsEmpty());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pic->SetPixelRGB(x, y, trgb(pixels[size_t(y) * width + x]));
    return pic;
}

// Far more than 256 colours, smooth in both directions.
std::unique_ptr<TImageBuffer> makeColourful(int width = 64, int height = 48)
{
    std::vector<Rgb> px;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px.push_back(Rgb{uint8_t(x * 4), uint8_t(y * 5), uint8_t((x * y) & 255)});
    return makePicture(width, height, px);
}

// Four tight clusters of colour (one per quadrant) with a little noise.
std::unique_ptr<TImageBuffer> makeClusters()
{
    const Rgb centres[4] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {220, 220, 40}};
    const int w = 80, h = 60;
    std::vector<Rgb> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = centres[(y >= h / 2) * 2 + (x >= w / 2)];
            uint32_t n = uint32_t(x * 7919 + y * 104729) * 2654435761u;
            px.push_back(Rgb{uint8_t(c.r + int(n >> 29) - 4), uint8_t(c.g + int((n >> 26) & 7) - 4),
                             uint8_t(c.b + int((n >> 23) & 7) - 4)});
        }
    return makePicture(w, h, px);
}

TQuantizerSettings method(int m)
{
    TQuantizerSettings s;
    s.Method = m;
    return s;
}

std::vector<TRGB> paletteOf(const TColorQuantizer& q) { return {q.Palette(), q.Palette() + q.PaletteCount()}; }

int cityBlock(TRGB a, uint8_t b, uint8_t g, uint8_t r) { return std::abs(a.b - b) + std::abs(a.g - g) + std::abs(a.r - r); }

}  // namespace

TEST(ColorQuantizer, IsGrayByFormat)
{
    auto gray24 = makePicture(2, 2, {{0, 0, 0}, {7, 7, 7}, {128, 128, 128}, {255, 255, 255}});
    auto colour24 = makePicture(2, 2, {{0, 0, 0}, {7, 7, 7}, {128, 128, 128}, {255, 255, 254}});

    auto rgb48 = [](uint16_t lastBlue) {
        auto pic = TImageBuffer::CreateSized(2, 1, pxRGB48);
        const uint16_t v[6] = {300, 300, 300, 65535, 65535, lastBlue};
        std::memcpy(pic->RowPointer(0), v, sizeof v);
        return pic;
    };
    auto gray48 = rgb48(65535), colour48 = rgb48(65534);

    auto palette = [](TRGB last) {
        auto pic = TImageBuffer::CreateSized(2, 2, px8p);
        std::vector<TRGB> pal(256);
        for (int i = 0; i < 256; ++i)
            pal[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        pal[255] = last;
        pic->SetPalette(pal.data(), 256);
        pic->Fill(0);  // the pixels use entry 0 only; the palette still decides
        return pic;
    };
    auto grayPal = palette(TRGB{255, 255, 255}), colourPal = palette(TRGB{255, 0, 255});

    auto gray8 = TImageBuffer::CreateSized(2, 2, px8g);
    gray8->Fill(90);
    auto colour32 = TImageBuffer::CreateSized(2, 2, pxRGB32);
    colour32->Fill(0xFF0000FFu);  // red

    const struct {
        const char* name;
        const TImageBuffer* pic;
        bool gray;
    } cases[] = {
        {"px24RGB gray", gray24.get(), true},       {"px24RGB one colour pixel", colour24.get(), false},
        {"pxRGB48 gray", gray48.get(), true},       {"pxRGB48 colour", colour48.get(), false},
        {"px8p gray palette", grayPal.get(), true}, {"px8p one colour entry", colourPal.get(), false},
        {"px8g", gray8.get(), true},                {"pxRGB32 counts as gray", colour32.get(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PictureIsGray(*c.pic), c.gray);
        EXPECT_EQ(TColorQuantizer(*c.pic, 16).IsGray(), c.gray);
    }
}

TEST(ColorQuantizer, ExactPaletteKeepsColoursInOrderFirstMet)
{
    const Rgb a{10, 20, 30}, b{200, 0, 0}, c{0, 0, 255}, d{1, 2, 3};
    // Top row first: c, a, c / b, a, d  ->  c, a, b, d.
    auto pic = makePicture(3, 2, {c, a, c, b, a, d});
    for (int colors : {4, 256}) {
        SCOPED_TRACE(colors);
        TColorQuantizer q(*pic, colors);
        EXPECT_EQ(q.Method(), qmExact);
        EXPECT_FALSE(q.IsGray());
        EXPECT_EQ(paletteOf(q), (std::vector<TRGB>{trgb(c), trgb(a), trgb(b), trgb(d)}));
        EXPECT_EQ(q.MapColor(trgb(c)), 0);
        EXPECT_EQ(q.MapColor(trgb(a)), 1);
        EXPECT_EQ(q.MapColor(trgb(b)), 2);
        EXPECT_EQ(q.MapColor(trgb(d)), 3);
        // A colour the picture does not have gets the nearest entry.
        EXPECT_EQ(q.MapColor(TRGB{250, 5, 5}), 0);
    }
    // One colour too many for the palette: reduced instead.
    TColorQuantizer three(*pic, 3);
    EXPECT_EQ(three.Method(), qmBoxSplit);
    EXPECT_LE(three.PaletteCount(), 3);
}

TEST(ColorQuantizer, GrayRampAndItsMapping)
{
    // Only three gray levels: a gray picture still gets the ramp.
    auto gray = makePicture(3, 1, {{0, 0, 0}, {200, 200, 200}, {255, 255, 255}});
    auto gray8 = TImageBuffer::CreateSized(4, 4, px8g);
    gray8->Fill(200);

    for (const TImageBuffer* pic : {static_cast<const TImageBuffer*>(gray.get()), static_cast<const TImageBuffer*>(gray8.get())}) {
        TColorQuantizer q(*pic, 16);
        EXPECT_EQ(q.Method(), qmGrayRamp);
        ASSERT_EQ(q.PaletteCount(), 16);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(q.Palette()[i], (TRGB{uint8_t(16 * i), uint8_t(16 * i), uint8_t(16 * i)})) << i;
        EXPECT_EQ(q.MapColor(200, 200, 200), 12);
        EXPECT_EQ(q.MapColor(0, 0, 0), 0);
        EXPECT_EQ(q.MapColor(255, 255, 255), 15);
    }

    TColorQuantizer three(*gray, 3);
    EXPECT_EQ(paletteOf(three), (std::vector<TRGB>{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}}));
    EXPECT_EQ(three.MapColor(170, 170, 170), 1);  // 170 * 3 / 256 = 1.99
    EXPECT_EQ(three.MapColor(171, 171, 171), 2);

    TColorQuantizer full(*gray, 256);
    for (int v : {0, 1, 127, 254, 255})
        EXPECT_EQ(full.MapColor(uint8_t(v), uint8_t(v), uint8_t(v)), v);
}

TEST(ColorQuantizer, PaletteCopyTakesTheFirstEntries)
{
    auto pic = TImageBuffer::CreateSized(2, 2, px8p);
    const TRGB pal[5] = {{0, 0, 200}, {0, 200, 0}, {200, 0, 0}, {0, 200, 0}, {255, 255, 255}};
    pic->SetPalette(pal, 5);
    pic->Fill(4);

    TColorQuantizer q(*pic, 4);
    EXPECT_EQ(q.Method(), qmPaletteCopy);
    EXPECT_EQ(paletteOf(q), (std::vector<TRGB>(pal, pal + 4)));
    EXPECT_EQ(q.MapColor(pal[0]), 0);
    EXPECT_EQ(q.MapColor(pal[2]), 2);
    EXPECT_EQ(q.MapColor(pal[3]), 1);  // a repeated colour finds its first entry
    // White fell off the palette: the nearest entry stands in.
    EXPECT_EQ(q.MapColor(TRGB{250, 10, 10}), 2);

    TColorQuantizer all(*pic, 256);
    EXPECT_EQ(all.PaletteCount(), 5);  // no more entries than the picture has
}

TEST(ColorQuantizer, AutomaticAndExplicitMethodChoice)
{
    auto pic = makeColourful();
    const struct {
        int method, colors;
        TQuantizeMethod expected;
    } cases[] = {
        {-1, 2, qmBoxSplit},   {-1, 64, qmBoxSplit},  {-1, 127, qmBoxSplit}, {-1, 128, qmNeuralNet},
        {-1, 256, qmNeuralNet}, {0, 64, qmNeuralNet}, {1, 256, qmBoxSplit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "method " << c.method << ", " << c.colors << " colours");
        TColorQuantizer q(*pic, c.colors, method(c.method));
        EXPECT_EQ(q.Method(), c.expected);
        if (c.expected == qmNeuralNet)
            EXPECT_EQ(q.PaletteCount(), c.colors);
        else
            EXPECT_LE(q.PaletteCount(), c.colors);
        EXPECT_GT(q.PaletteCount(), c.colors / 2);
    }

    // The process-wide selector is what the two-argument constructor uses.
    TQuantizerSettings saved = QuantizerSettings();
    QuantizerSettings().Method = 1;
    EXPECT_EQ(TColorQuantizer(*pic, 200).Method(), qmBoxSplit);
    QuantizerSettings() = saved;
}

TEST(ColorQuantizer, ColourCountIsHeldToOneThrough256)
{
    auto pic = makeColourful();
    TColorQuantizer none(*pic, 0), many(*pic, 1000);
    EXPECT_EQ(none.Colors(), 1);
    EXPECT_EQ(none.PaletteCount(), 1);
    EXPECT_EQ(many.Colors(), 256);
    EXPECT_EQ(many.PaletteCount(), 256);
}

// Box split worked out by hand. Bins are component div 8.
//
// "reds": bins 0, 1, 30, 31 on red only. Start box 0..32, mean 15.5; red
// scans a = round(7.75) = 8 .. b = round(23.75) = 24 with 2 pixels below:
// every bin scores 2/2 * 15.5^2, the first (8) wins; parts {0,1} and
// {30,31}, means 0.5 and 30.5 round to even: 0 and 30 (* 8 = 240). Green
// and blue hold everything in bin 0 and cannot be cut.
//
// "greens": A = 3 pixels at (r2,g10), B = 1 at (r4,g10), C = 2 at (r2,g20).
// Red: mean 14/6, scan 1..17, best cut 2 -> parts {A,C} | {B}, errors
// 120/6 + 0 = 20. Green: mean 80/6, scan 7..23, best cut 10 -> {A,B} | {C},
// errors 3/6 + 0 = 0.5. Green wins. Means: {A,B} red 2.5 -> 2, green 10;
// {C} red 2, green 20. With 3 colours {A,B} (error 0.5) is cut again along
// red at bin 2 (green and blue are one bin wide): {A} replaces it, {B} is
// appended.
TEST(ColorQuantizer, BoxSplitSmallPicturesByHand)
{
    const std::vector<Rgb> reds = {{0, 0, 0}, {8, 0, 0}, {240, 0, 0}, {248, 0, 0}};
    const std::vector<Rgb> greens = {{16, 80, 0}, {17, 80, 0}, {18, 81, 0},  // A
                                     {32, 80, 0},                            // B
                                     {16, 160, 0}, {17, 161, 0}};            // C
    const struct {
        const char* name;
        const std::vector<Rgb>* pixels;
        int width, colors;
        std::vector<Rgb> palette;
        std::vector<int> indices;
    } cases[] = {
        {"reds", &reds, 2, 2, {{0, 0, 0}, {240, 0, 0}}, {0, 0, 1, 1}},
        {"greens, 2", &greens, 3, 2, {{16, 80, 0}, {16, 160, 0}}, {0, 0, 0, 0, 1, 1}},
        {"greens, 3", &greens, 3, 3, {{16, 80, 0}, {16, 160, 0}, {32, 80, 0}}, {0, 0, 0, 2, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int height = int(c.pixels->size()) / c.width;
        auto pic = makePicture(c.width, height, *c.pixels);
        TColorQuantizer q(*pic, c.colors);
        ASSERT_EQ(q.Method(), qmBoxSplit);
        std::vector<TRGB> expected;
        for (Rgb e : c.palette)
            expected.push_back(trgb(e));
        EXPECT_EQ(paletteOf(q), expected);
        for (size_t i = 0; i < c.pixels->size(); ++i)
            EXPECT_EQ(q.MapColor(trgb((*c.pixels)[i])), c.indices[i]) << "pixel " << i;
    }

    // Colours in no box take the entry nearest to their cell.
    auto pic = makePicture(3, 2, greens);
    TColorQuantizer q(*pic, 2);
    EXPECT_EQ(q.MapColor(trgb({255, 170, 0})), 1);
    EXPECT_EQ(q.MapColor(trgb({0, 0, 0})), 0);
}

TEST(ColorQuantizer, BoxSplitStopsWhenNothingIsLeftToCut)
{
    // Five colours in two cells: no more than two boxes can come out.
    auto pic = makePicture(5, 1, {{0, 0, 0}, {1, 1, 1}, {2, 0, 1}, {100, 100, 100}, {101, 100, 100}});
    TColorQuantizer q(*pic, 4);
    EXPECT_EQ(q.Method(), qmBoxSplit);
    EXPECT_EQ(paletteOf(q), (std::vector<TRGB>{{0, 0, 0}, {96, 96, 96}}));
}

TEST(NeuQuant, SamplingFactor)
{
    const struct {
        int setting;
        int64_t pixels;
        int factor;
    } cases[] = {
        {0, 1000, 30},        {1, 1000, 29},          {50, 1000, 15},          {99, 1000, 1},
        {100, 1000, 1},       {-1, 1000, 1},          {-1, 1 << 20, 1},        {-1, (1 << 20) + 1, 2},
        {-1, 12000000, 12},   {-1, 500000000, 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TNeuQuant::SamplingFactor(c.setting, c.pixels), c.factor) << c.setting << " " << c.pixels;
}

TEST(NeuQuant, NeuronsStartOnTheGrayDiagonal)
{
    for (int n : {1, 16, 256}) {
        TNeuQuant net(n);
        ASSERT_EQ(int(net.Palette().size()), n);
        for (int i = 0; i < n; ++i) {
            uint8_t v = uint8_t(i * 256 / n);  // i * 4096 / n with 4 fraction bits
            EXPECT_EQ(net.Palette()[i], (TRGB{v, v, v})) << n << " neurons, " << i;
        }
    }
}

TEST(NeuQuant, SamplesVisitPixelsWithAPrimeStride)
{
    // Sample i is pixel (i * step) mod n; the step skips primes dividing n.
    for (int64_t n : {10, 499 * 2, 499 * 491, 7}) {
        SCOPED_TRACE(n);
        const int64_t step = TNeuQuant::SampleStep(n);
        EXPECT_NE(n % step, 0);
        const int width = n == 499 * 491 ? 491 : int(n);
        TNeuQuantSamples samples(n, 3);
        std::vector<uint8_t> row(size_t(width) * 3);
        for (int64_t y = 0; y < n / width; ++y) {
            for (int x = 0; x < width; ++x) {
                int64_t p = y * width + x;
                row[x * 3] = uint8_t(p), row[x * 3 + 1] = uint8_t(p >> 8), row[x * 3 + 2] = uint8_t(p >> 16);
            }
            samples.AddRow(row.data(), width);
        }
        EXPECT_EQ(samples.Count(), n / 3 > 0 ? n / 3 : n);
        for (int64_t i = 0; i < samples.Count(); ++i) {
            int64_t p = i * step % n;
            const uint8_t* s = samples.Data() + i * 3;
            ASSERT_EQ(s[0] | (s[1] << 8) | (s[2] << 16), p) << "sample " << i;
        }
    }
}

TEST(NeuQuant, LearnsTheColoursOfThePicture)
{
    auto pic = makeClusters();
    TColorQuantizer q(*pic, 128);
    ASSERT_EQ(q.Method(), qmNeuralNet);
    int worst = 0;
    for (int y = 0; y < pic->Height(); ++y)
        for (int x = 0; x < pic->Width(); ++x) {
            TRGB c = pic->GetPixelRGB(x, y);
            int i = q.MapColor(c);
            ASSERT_LT(i, q.PaletteCount());
            worst = std::max(worst, cityBlock(q.Palette()[i], c.b, c.g, c.r));
        }
    EXPECT_LE(worst, 12);
}

TEST(NeuQuant, MapColorIsTheNearestNeuron)
{
    auto pic = makeColourful();
    TColorQuantizer q(*pic, 256, method(0));
    ASSERT_EQ(q.Method(), qmNeuralNet);
    uint32_t seed = 12345;
    for (int k = 0; k < 20000; ++k) {
        seed = seed * 1664525u + 1013904223u;
        uint8_t b = uint8_t(seed >> 8), g = uint8_t(seed >> 16), r = uint8_t(seed >> 24);
        int best = 0;
        for (int i = 1; i < q.PaletteCount(); ++i)
            if (cityBlock(q.Palette()[i], b, g, r) < cityBlock(q.Palette()[best], b, g, r))
                best = i;
        ASSERT_EQ(q.MapColor(b, g, r), best) << int(r) << "," << int(g) << "," << int(b);
    }
}

TEST(ColorQuantizer, MapRowAgreesWithMapColor)
{
    auto colourful = makeColourful();
    auto few = makePicture(3, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    auto gray = makePicture(2, 1, {{9, 9, 9}, {99, 99, 99}});
    auto indexed = TImageBuffer::CreateSized(2, 2, px8p);
    const TRGB pal[3] = {{0, 0, 200}, {0, 200, 0}, {200, 0, 0}};
    indexed->SetPalette(pal, 3);

    const struct {
        const TImageBuffer* pic;
        int colors, method;
        TQuantizeMethod expected;
    } cases[] = {
        {few.get(), 8, -1, qmExact},        {gray.get(), 16, -1, qmGrayRamp},
        {indexed.get(), 3, -1, qmPaletteCopy}, {colourful.get(), 256, 0, qmNeuralNet},
        {colourful.get(), 64, 1, qmBoxSplit},
    };
    // Every row of the colourful picture, mapped by each reducer.
    for (const auto& c : cases) {
        TColorQuantizer q(*c.pic, c.colors, method(c.method));
        SCOPED_TRACE(int(q.Method()));
        ASSERT_EQ(q.Method(), c.expected);
        std::vector<uint8_t> indices(colourful->Width());
        for (int y = 0; y < colourful->Height(); ++y) {
            const uint8_t* row = colourful->RowPointer(y);
            q.MapRow(row, indices.data(), colourful->Width());
            for (int x = 0; x < colourful->Width(); ++x)
                ASSERT_EQ(indices[x], q.MapColor(row[x * 3], row[x * 3 + 1], row[x * 3 + 2])) << x << "," << y;
        }
    }
}

TEST(ColorQuantizer, ConvertToPaletteUsesTheReducer)
{
    const struct {
        const char* name;
        int reduceColors;
        int64_t tempFileThreshold;  // 0 keeps the rows in a temporary file
    } cases[] = {{"64 colours in memory", 64, -1}, {"256 colours in a file", 256, 0}, {"exact", 256, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto original = std::string(c.name) == "exact" ? makePicture(2, 2, {{5, 6, 7}, {1, 1, 2}, {5, 6, 7}, {9, 9, 0}})
                                                       : makeColourful();
        TColorQuantizer expected(*original, c.reduceColors);

        TImageBuffer pic;
        if (c.tempFileThreshold >= 0)
            pic.SetTempFileThreshold(c.tempFileThreshold);
        ASSERT_TRUE(pic.Assign(*original));
        pic.SetReduceColors(c.reduceColors);
        ASSERT_TRUE(pic.ConvertTo(px8p));
        ASSERT_EQ(pic.PixelFormat(), px8p);
        ASSERT_EQ(pic.PaletteCount(), expected.PaletteCount());
        EXPECT_EQ(std::vector<TRGB>(pic.Palette(), pic.Palette() + pic.PaletteCount()), paletteOf(expected));
        std::set<int> used;
        for (int y = 0; y < pic.Height(); ++y) {
            const uint8_t* row = pic.RowPointer(y);
            std::vector<uint8_t> indices(row, row + pic.Width());
            for (int x = 0; x < pic.Width(); ++x) {
                ASSERT_EQ(indices[x], expected.MapColor(original->GetPixelRGB(x, y))) << x << "," << y;
                used.insert(indices[x]);
            }
        }
        EXPECT_GT(int(used.size()), expected.PaletteCount() / 4);
    }
}
