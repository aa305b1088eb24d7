// PNG reading and writing: colour type and depth rules, palettes and
// transparency, chunks, rows, damaged input, and interoperability with
// pngcheck and ImageMagick in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "PictureFiles.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/png/PngReader.h"
#include "imaging/formats/png/PngWriter.h"
#include "support/TestSupport.h"

using namespace picturefiles;

namespace {

struct TChunk {
    std::string type;
    std::vector<uint8_t> data;
};

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::vector<TChunk> pngChunks(const std::vector<uint8_t>& file)
{
    std::vector<TChunk> chunks;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        uint32_t length = be32(&file[pos]);
        if (pos + 12 + length > file.size())
            break;
        chunks.push_back(TChunk{std::string(file.begin() + long(pos + 4), file.begin() + long(pos + 8)),
                                std::vector<uint8_t>(file.begin() + long(pos + 8), file.begin() + long(pos + 8 + length))});
        pos += 12 + length;
    }
    return chunks;
}

const TChunk* findChunk(const std::vector<TChunk>& chunks, const std::string& type)
{
    for (const TChunk& c : chunks)
        if (c.type == type)
            return &c;
    return nullptr;
}

// A chunk with its length and CRC, for splicing into a file.
std::vector<uint8_t> chunkBytes(const std::string& type, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out;
    out.reserve(12 + data.size());
    for (int shift : {24, 16, 8, 0})
        out.push_back(uint8_t(data.size() >> shift));
    for (char c : type)
        out.push_back(uint8_t(c));
    for (uint8_t b : data)
        out.push_back(b);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, data.data(), uInt(data.size()));
    for (int shift : {24, 16, 8, 0})
        out.push_back(uint8_t(crc >> shift));
    return out;
}

// The filtered rows of a non-interlaced file (filter byte + row bytes each).
std::vector<uint8_t> inflatedData(const std::vector<TChunk>& chunks, size_t expected)
{
    std::vector<uint8_t> compressed;
    for (const TChunk& c : chunks)
        if (c.type == "IDAT")
            compressed.insert(compressed.end(), c.data.begin(), c.data.end());
    std::vector<uint8_t> out(expected);
    uLongf length = uLongf(expected);
    EXPECT_EQ(uncompress(out.data(), &length, compressed.data(), uLong(compressed.size())), Z_OK);
    out.resize(length);
    return out;
}

std::vector<uint8_t> encode(TImageBuffer& picture, TImageParams& params, bool expectSuccess = true)
{
    TImageIO io;
    TMemoryStream out;
    EXPECT_EQ(WritePng(out, picture, params, picture.ExistingAlpha(), io), expectSuccess);
    return out.TakeBytes();
}

bool decode(const std::vector<uint8_t>& bytes, TImageIO& io, bool paramsOnly = false)
{
    TMemoryView in(bytes.data(), bytes.size());
    io.Aborting = false;
    return ReadPng(in, *io.Buffer(), io.Params, paramsOnly, io);
}

// RGBA of any raster (gray expanded, missing alpha opaque).
TRaster toRgba(const TRaster& r)
{
    TRaster out;
    out.width = r.width;
    out.height = r.height;
    out.channels = 4;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const bool gray = r.channels <= 2;
            const bool alpha = r.channels == 2 || r.channels == 4;
            uint16_t red = r.at(x, y, 0);
            out.samples.insert(out.samples.end(), {red, gray ? red : r.at(x, y, 1), gray ? red : r.at(x, y, 2),
                                                   alpha ? r.at(x, y, r.channels - 1) : uint16_t(255)});
        }
    return out;
}

void expectSameRgba(const TRaster& expected, const TRaster& actual, int tolerance = 0)
{
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    size_t at = 0;
    int worst = worstDifference(toRgba(expected), toRgba(actual), &at);
    EXPECT_LE(worst, tolerance) << "pixel " << at / 4 << " channel " << at % 4;
}

// ImageMagick's decoding, 8 bits per sample, alpha included.
TRaster magickPixels(const testsupport::TempDir& dir, const std::string& file)
{
    std::string out = dir.file("magick.pam");
    EXPECT_EQ(0, testsupport::runCommand("convert " + shellQuoted(file) + " -depth 8 PAM:" + shellQuoted(out)));
    TRaster r;
    EXPECT_TRUE(readNetpbm(out, r));
    return r;
}

std::unique_ptr<TImageBuffer> makeFewColours(int width, int height, int colours)
{
    auto picture = std::make_unique<TImageBuffer>(width, height, px24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int k = (x / 3 + y / 2) % colours;
            picture->SetPixelRGB(x, y, TRGB{uint8_t(40 * k), uint8_t(255 - 30 * k), uint8_t(17 * k + 5)});
        }
    return picture;
}

}  // namespace

TEST(PngWrite, JpegLoadedPictureIsRgbWithoutAlphaFilterNoneAnd11811PixelsPerMetre)
{
    auto picture = makePhoto(37, 23);
    TImageParams params;  // what a JPEG load leaves: 3 samples of 8 bits, 300 dpi
    params.SamplesPerPixel = 3;
    std::vector<uint8_t> file = encode(*picture, params);
    auto chunks = pngChunks(file);
    ASSERT_GE(chunks.size(), 3u);
    ASSERT_EQ(chunks[0].type, "IHDR");
    const auto& ihdr = chunks[0].data;
    EXPECT_EQ(be32(&ihdr[0]), 37u);
    EXPECT_EQ(be32(&ihdr[4]), 23u);
    EXPECT_EQ(ihdr[8], 8) << "bit depth";
    EXPECT_EQ(ihdr[9], 2) << "RGB";
    EXPECT_EQ(ihdr[12], 0) << "not interlaced";
    EXPECT_EQ(findChunk(chunks, "PLTE"), nullptr);
    EXPECT_EQ(findChunk(chunks, "tRNS"), nullptr);
    const TChunk* phys = findChunk(chunks, "pHYs");
    ASSERT_NE(phys, nullptr);
    EXPECT_EQ(be32(&phys->data[0]), 11811u);
    EXPECT_EQ(be32(&phys->data[4]), 11811u);
    EXPECT_EQ(phys->data[8], 1) << "unit metre";
    const TChunk* bkgd = findChunk(chunks, "bKGD");
    ASSERT_NE(bkgd, nullptr);
    EXPECT_EQ(bkgd->data, std::vector<uint8_t>(6, 0)) << "black, in 8-bit samples";

    auto rows = inflatedData(chunks, size_t(23) * (1 + 37 * 3));
    ASSERT_EQ(rows.size(), size_t(23) * (1 + 37 * 3));
    for (int y = 0; y < 23; ++y) {
        EXPECT_EQ(rows[size_t(y) * (1 + 37 * 3)], 0) << "filter none, row " << y;
        // red, green, blue in the file
        EXPECT_EQ(rows[size_t(y) * (1 + 37 * 3) + 1], picture->RowPointer(y)[2]);
        EXPECT_EQ(rows[size_t(y) * (1 + 37 * 3) + 3], picture->RowPointer(y)[0]);
    }
}

TEST(PngWrite, FilterCompressionInterlaceAndTexts)
{
    auto picture = makePhoto(30, 20);
    struct Case {
        uint8_t filter;
        uint8_t filterByte;
    };
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{2, 4}, Case{9, 0}}) {
        SCOPED_TRACE(int(c.filter));
        TImageParams params;
        params.PngFilter = c.filter;
        auto rows = inflatedData(pngChunks(encode(*picture, params)), size_t(20) * 91);
        ASSERT_EQ(rows.size(), size_t(20) * 91);
        for (int y = 0; y < 20; ++y)
            EXPECT_EQ(rows[size_t(y) * 91], c.filterByte);
    }
    TImageParams params;
    params.PngCompression = 0;
    size_t stored = encode(*picture, params).size();
    params.PngCompression = 9;
    size_t best = encode(*picture, params).size();
    EXPECT_GT(stored, size_t(30 * 20 * 3)) << "level 0 stores the rows";
    EXPECT_LT(best, stored);

    params.PngInterlaced = true;
    params.PngTextKeys = {"Title", "", "Comment", "Unpaired"};
    params.PngTexts = {"A picture", "no key", "Made in a test"};
    params.PngBackground = TRGB{10, 20, 200};
    auto chunks = pngChunks(encode(*picture, params));
    EXPECT_EQ(chunks[0].data[12], 1) << "Adam7";
    std::vector<std::string> texts;
    for (const TChunk& c : chunks)
        if (c.type == "tEXt")
            texts.emplace_back(c.data.begin(), c.data.end());
    EXPECT_EQ(texts, (std::vector<std::string>{std::string("Title\0A picture", 15), std::string("Comment\0Made in a test", 22)}));
    const TChunk* bkgd = findChunk(chunks, "bKGD");
    ASSERT_NE(bkgd, nullptr);
    EXPECT_EQ(bkgd->data, (std::vector<uint8_t>{0, 200, 0, 20, 0, 10}));
}

TEST(PngWrite, OneChannelPicturesBecomePaletteOrGray)
{
    struct Case {
        const char* name;
        std::unique_ptr<TImageBuffer> picture;
        int bits;
        int colorType;
        int depth;
        bool palette;
    };
    auto gray8 = makeGrayPhoto(20, 10);
    ASSERT_TRUE(gray8->ConvertTo(px8g));
    std::vector<Case> cases;
    cases.push_back({"few colours", makeFewColours(20, 10, 7), 8, 3, 8, true});
    cases.push_back({"all gray", makeGrayPhoto(20, 10), 8, 0, 8, false});
    cases.push_back({"px8g", std::move(gray8), 8, 0, 8, false});
    cases.push_back({"odd depth 4 becomes 8", makeFewColours(20, 10, 3), 4, 3, 8, true});
    cases.push_back({"many colours", makePhoto(20, 10), 8, 3, 8, true});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageParams params;
        params.SamplesPerPixel = 1;
        params.BitsPerSample = c.bits;
        auto file = encode(*c.picture, params);
        if (c.bits == 4) {
            EXPECT_EQ(params.BitsPerSample, 8);
        }
        auto chunks = pngChunks(file);
        EXPECT_EQ(chunks[0].data[9], c.colorType);
        EXPECT_EQ(chunks[0].data[8], c.depth);
        EXPECT_EQ(findChunk(chunks, "PLTE") != nullptr, c.palette);
        TImageIO io;
        ASSERT_TRUE(decode(file, io));
        if (std::string(c.name) != "many colours")
            expectSameRgba(rasterOf(*c.picture), rasterOf(*io.Buffer()));
    }
}

TEST(PngWrite, TransparencyInAPaletteUsesTheBackgroundAsEntryZero)
{
    auto picture = makeFewColours(24, 16, 5);
    TImageBuffer* alpha = picture->Alpha();
    ASSERT_NE(alpha, nullptr);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            picture->SetAlpha(x, y, x < 6 ? 0 : (x < 8 ? 128 : 255));
    TImageParams params;
    params.SamplesPerPixel = 1;
    params.PngBackground = TRGB{1, 2, 3};
    std::vector<uint8_t> file = encode(*picture, params);
    auto chunks = pngChunks(file);
    EXPECT_EQ(chunks[0].data[9], 3);
    const TChunk* plte = findChunk(chunks, "PLTE");
    ASSERT_NE(plte, nullptr);
    EXPECT_EQ(plte->data.size(), size_t(6 * 3)) << "background + 5 colours";
    EXPECT_EQ(std::vector<uint8_t>(plte->data.begin(), plte->data.begin() + 3), (std::vector<uint8_t>{3, 2, 1}));
    const TChunk* trns = findChunk(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, std::vector<uint8_t>{0});

    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    ASSERT_TRUE(io.Buffer()->HasAlpha());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            if (x < 8) {
                ASSERT_EQ(io.Buffer()->GetAlpha(x, y), 0);
                ASSERT_TRUE(io.Buffer()->GetPixelRGB(x, y) == (TRGB{1, 2, 3}));
            } else {
                ASSERT_EQ(io.Buffer()->GetAlpha(x, y), 255);
                ASSERT_TRUE(io.Buffer()->GetPixelRGB(x, y) == picture->GetPixelRGB(x, y));
            }
        }
}

TEST(PngWrite, ColourWithAlphaAndOneBitPictures)
{
    auto picture = makePhoto(19, 13);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 19; ++x)
            picture->SetAlpha(x, y, uint8_t(x * 13 + y));
    TImageParams params;
    std::vector<uint8_t> file = encode(*picture, params);
    EXPECT_EQ(pngChunks(file)[0].data[9], 6);
    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    expectSameRgba(rasterOf(*picture, true), rasterOf(*io.Buffer(), true));
    EXPECT_EQ(io.Params.SamplesPerPixel, 4);

    // An opaque alpha channel writes plain RGB.
    picture->Alpha()->Fill(255);
    EXPECT_EQ(pngChunks(encode(*picture, params))[0].data[9], 2);

    // One bit: a px1g picture as gray, two colours as a two-entry palette.
    TImageParams oneBit;
    oneBit.SamplesPerPixel = 1;
    oneBit.BitsPerSample = 1;
    TImageBuffer bits(21, 5, px1g);
    bits.Fill(0);
    bits.FillRect(3, 1, 9, 3, 1);
    auto bitsFile = encode(bits, oneBit);
    EXPECT_EQ(pngChunks(bitsFile)[0].data[9], 0);
    EXPECT_EQ(pngChunks(bitsFile)[0].data[8], 1);
    TImageIO bitsBack;
    ASSERT_TRUE(decode(bitsFile, bitsBack));
    EXPECT_EQ(bitsBack.Buffer()->PixelFormat(), px1g);
    expectSameRgba(rasterOf(bits), rasterOf(*bitsBack.Buffer()));

    auto twoColours = makeFewColours(17, 6, 2);
    auto twoFile = encode(*twoColours, oneBit);
    EXPECT_EQ(pngChunks(twoFile)[0].data[9], 3);
    EXPECT_EQ(pngChunks(twoFile)[0].data[8], 1);
    TImageIO twoBack;
    ASSERT_TRUE(decode(twoFile, twoBack));
    expectSameRgba(rasterOf(*twoColours), rasterOf(*twoBack.Buffer()));

    auto many = makePhoto(17, 6);
    auto manyFile = encode(*many, oneBit);
    EXPECT_EQ(pngChunks(manyFile)[0].data[9], 0) << "more colours: black and white";
}

TEST(PngWrite, SixteenBitGrayKeepsItsValues)
{
    TImageBuffer gray(300, 2, pxGray16);
    for (int x = 0; x < 300; ++x) {
        reinterpret_cast<uint16_t*>(gray.RowPointer(0))[x] = uint16_t(x * 218);
        reinterpret_cast<uint16_t*>(gray.RowPointer(1))[x] = uint16_t(65535 - x);
    }
    TImageParams params;
    params.SamplesPerPixel = 1;
    params.BitsPerSample = 16;
    auto file = encode(gray, params);
    EXPECT_EQ(pngChunks(file)[0].data[8], 16);
    TImageIO io;
    io.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(file, io));
    ASSERT_EQ(io.Buffer()->PixelFormat(), pxGray16);
    EXPECT_EQ(std::memcmp(io.Buffer()->RowPointer(0), gray.RowPointer(0), 600), 0);
    EXPECT_EQ(std::memcmp(io.Buffer()->RowPointer(1), gray.RowPointer(1), 600), 0);

    params.BitsPerSample = 8;
    auto file8 = encode(gray, params);
    EXPECT_EQ(pngChunks(file8)[0].data[8], 8);
    TImageIO io8;
    io8.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(file8, io8));
    EXPECT_EQ(io8.Buffer()->RowPointer(0)[299], uint8_t((299 * 218) >> 8));
}

TEST(PngWrite, FailuresSetTheAbortFlag)
{
    TImageIO io;
    TImageParams params;
    TMemoryStream out;
    TImageBuffer empty;
    EXPECT_FALSE(WritePng(out, empty, params, nullptr, io));
    EXPECT_TRUE(io.Aborting);

    class TShortStream : public TMemoryStream {
    public:
        size_t Write(const void* buf, size_t n) override { return Size() + int64_t(n) > 300 ? 0 : TMemoryStream::Write(buf, n); }
    } shortStream;
    auto picture = makePhoto(200, 200);
    io.Aborting = false;
    EXPECT_FALSE(WritePng(shortStream, *picture, params, nullptr, io));
    EXPECT_TRUE(io.Aborting);

    io.Aborting = false;
    io.OnProgress = [&](int percent) { io.Aborting = percent >= 30; };
    TMemoryStream out2;
    EXPECT_FALSE(WritePng(out2, *picture, params, nullptr, io));
    EXPECT_TRUE(io.Aborting);
}

TEST(PngRead, FieldsAndNativeFormats)
{
    auto picture = makeFewColours(20, 12, 4);
    TImageParams params;
    params.SamplesPerPixel = 1;
    params.SetDpiX(72);
    params.SetDpiY(96);
    params.PngBackground = picture->GetPixelRGB(0, 0);
    params.PngTextKeys = {"Software"};
    params.PngTexts = {"Tessaron"};
    auto file = encode(*picture, params);

    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    EXPECT_EQ(io.Buffer()->PixelFormat(), px24RGB);
    EXPECT_EQ(io.Params.Width, 20);
    EXPECT_EQ(io.Params.Height, 12);
    EXPECT_EQ(io.Params.BitsPerSample, 8);
    EXPECT_EQ(io.Params.SamplesPerPixel, 1);
    EXPECT_EQ(io.Params.DpiX, 72);
    EXPECT_EQ(io.Params.DpiY, 96);
    EXPECT_EQ(io.Params.ColorMapCount, 4);
    EXPECT_FALSE(io.Params.PngInterlaced);
    EXPECT_TRUE(io.Params.PngBackground == picture->GetPixelRGB(0, 0));
    EXPECT_EQ(io.Params.PngTextKeys, std::vector<std::string>{"Software"});
    EXPECT_EQ(io.Params.PngTexts, std::vector<std::string>{"Tessaron"});

    TImageIO native;
    native.SetNativePixelFormat(true);
    ASSERT_TRUE(decode(file, native));
    ASSERT_EQ(native.Buffer()->PixelFormat(), px8p);
    EXPECT_EQ(native.Buffer()->ReduceColors(), 256);
    expectSameRgba(rasterOf(*picture), rasterOf(*native.Buffer()));

    // A palette picture loaded natively is saved with its own palette and indices.
    auto again = encode(*native.Buffer(), native.Params);
    auto chunks = pngChunks(again);
    EXPECT_EQ(chunks[0].data[9], 3);
    EXPECT_EQ(findChunk(chunks, "PLTE")->data, findChunk(pngChunks(file), "PLTE")->data);

    TImageIO headerOnly;
    ASSERT_TRUE(decode(file, headerOnly, true));
    EXPECT_TRUE(headerOnly.Buffer()->IsEmpty());
    EXPECT_EQ(headerOnly.Params.Width, 20);
    EXPECT_EQ(headerOnly.Params.DpiX, 72);

    EXPECT_EQ(PngDpiFromPixelsPerMetre(2835), 72);
    EXPECT_EQ(PngDpiFromPixelsPerMetre(11811), 300);
    EXPECT_EQ(PngDpiFromPixelsPerMetre(0), 0);
    EXPECT_EQ(PngPixelsPerMetre(300), 11811u);
    EXPECT_EQ(PngPixelsPerMetre(72), 2835u);
}

TEST(PngRead, DamagedFilesSetTheAbortFlag)
{
    auto picture = makePhoto(256, 256);
    TImageParams params;
    auto file = encode(*picture, params);
    TImageIO whole;
    ASSERT_TRUE(decode(file, whole));

    // Cut in the middle: libpng reads the data in blocks of 8 KiB, so the
    // rows of the blocks before the cut are there.
    std::vector<uint8_t> cut(file.begin(), file.begin() + long(file.size() / 2));
    TImageIO io;
    EXPECT_FALSE(decode(cut, io));
    EXPECT_TRUE(io.Aborting);
    ASSERT_EQ(io.Buffer()->Height(), 256);
    EXPECT_EQ(std::memcmp(io.Buffer()->RowPointer(0), whole.Buffer()->RowPointer(0), 256 * 3), 0);
    EXPECT_EQ(std::memcmp(io.Buffer()->RowPointer(40), whole.Buffer()->RowPointer(40), 256 * 3), 0);
    const uint8_t* last = io.Buffer()->RowPointer(255);
    EXPECT_TRUE(std::all_of(last, last + 256 * 3, [](uint8_t v) { return v == 0; })) << "rows never read are black";

    std::vector<uint8_t> badCrc = file;
    badCrc[40] ^= 0x55;  // inside the first chunk after IHDR
    std::vector<uint8_t> hugeHeader = file;
    hugeHeader[16] = 0x7F;  // width far beyond any limit
    for (const auto& bad : {std::vector<uint8_t>{}, std::vector<uint8_t>(file.begin(), file.begin() + 8), badCrc, hugeHeader,
                            std::vector<uint8_t>{'n', 'o', 't', ' ', 'p', 'n', 'g', '!', 0, 0, 0, 0}}) {
        TImageIO failed;
        EXPECT_FALSE(decode(bad, failed));
        EXPECT_TRUE(failed.Aborting);
    }
}

TEST(PngInterop, FilesWeWritePassPngcheckAndDecodeTheSameInImageMagick)
{
    REQUIRE_TOOL("pngcheck");
    REQUIRE_TOOL("convert");
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        int samples, bits;
        bool interlaced, alpha;
        std::unique_ptr<TImageBuffer> picture;
    };
    std::vector<Case> cases;
    cases.push_back({"rgb", 3, 8, false, false, makePhoto(33, 21)});
    cases.push_back({"rgb interlaced", 3, 8, true, false, makePhoto(33, 21)});
    cases.push_back({"rgba", 3, 8, false, true, makePhoto(33, 21)});
    cases.push_back({"rgba interlaced", 3, 8, true, true, makePhoto(33, 21)});
    cases.push_back({"palette", 1, 8, false, false, makeFewColours(33, 21, 9)});
    cases.push_back({"palette with transparency", 1, 8, true, true, makeFewColours(33, 21, 9)});
    cases.push_back({"gray", 1, 8, false, false, makeGrayPhoto(33, 21)});
    cases.push_back({"two colours", 1, 1, false, false, makeFewColours(33, 21, 2)});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.alpha)
            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 33; ++x)
                    c.picture->SetAlpha(x, y, c.samples == 1 ? (x < 5 ? 0 : 255) : uint8_t(x * 7));
        TImageParams params;
        params.SamplesPerPixel = c.samples;
        params.BitsPerSample = c.bits;
        params.PngInterlaced = c.interlaced;
        std::string path = dir.file("ours.png");
        writeBytes(path, encode(*c.picture, params));
        std::string report;
        EXPECT_EQ(0, testsupport::runCommand("pngcheck " + shellQuoted(path), &report)) << report;
        TImageIO io;
        ASSERT_TRUE(decode(readBytes(path), io));
        expectSameRgba(magickPixels(dir, path), rasterOf(*io.Buffer(), true));
        if (!c.alpha)
            expectSameRgba(rasterOf(*c.picture), rasterOf(*io.Buffer()));
    }
}

TEST(PngInterop, EveryColourTypeAndDepthFromImageMagickReadsTheSame)
{
    REQUIRE_TOOL("convert");
    testsupport::TempDir dir;
    const std::string base = dir.file("base.png");
    ASSERT_EQ(0, testsupport::runCommand("convert -size 40x30 gradient:red-blue -fill '#00ff00' -draw 'rectangle 5,5,15,15' " +
                                         shellQuoted(base)));
    const std::string b = shellQuoted(base);
    struct Case {
        const char* name;
        std::string options;  // between the input and the output
        int colorType, depth;
        bool interlaced;
        std::string trnsAfterIhdr;  // splice a tRNS chunk with these bytes ("" = none)
        int tolerance;
    };
    const std::vector<Case> cases = {
        {"gray 1", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=1", 0, 1, false, "", 0},
        {"gray 2", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=2", 0, 2, false, "", 0},
        {"gray 4", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=4", 0, 4, false, "", 0},
        {"gray 8", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=8", 0, 8, false, "", 0},
        {"gray 16", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=16", 0, 16, false, "", 1},
        {"gray 8 tRNS", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=8", 0, 8, false, std::string("\x00\x4c", 2), 0},
        {"gray 16 tRNS", "-colorspace Gray -define png:color-type=0 -define png:bit-depth=16", 0, 16, false, std::string("\x4c\x4c", 2), 1},
        // asked for one bit, ImageMagick writes two
        {"palette 2", "+dither -colors 2 -define png:color-type=3 -define png:bit-depth=1", 3, 2, false, "", 0},
        {"palette 4", "+dither -colors 16 -define png:color-type=3 -define png:bit-depth=4", 3, 4, false, "", 0},
        {"palette 8", "+dither -colors 200 -define png:color-type=3 -define png:bit-depth=8", 3, 8, false, "", 0},
        {"palette tRNS", "+dither -colors 8 -transparent '#00ff00' PNG8:", 3, 8, false, "", 0},
        {"rgb 8", "-define png:color-type=2 -define png:bit-depth=8", 2, 8, false, "", 0},
        {"rgb 16", "-define png:color-type=2 -define png:bit-depth=16", 2, 16, false, "", 1},
        {"rgb tRNS", "-transparent '#00ff00' -define png:color-type=2 -define png:bit-depth=8", 2, 8, false, "", 0},
        {"gray alpha 8", "-colorspace Gray -alpha set -channel A -fx i/w +channel -define png:color-type=4 -define png:bit-depth=8", 4, 8, false, "", 0},
        {"gray alpha 16", "-colorspace Gray -alpha set -channel A -fx i/w +channel -define png:color-type=4 -define png:bit-depth=16", 4, 16, false, "", 1},
        {"rgba 8", "-alpha set -channel A -fx i/w +channel -define png:color-type=6 -define png:bit-depth=8", 6, 8, false, "", 0},
        {"rgba 16", "-alpha set -channel A -fx i/w +channel -define png:color-type=6 -define png:bit-depth=16", 6, 16, false, "", 1},
        {"rgb interlaced", "-interlace PNG -define png:color-type=2 -define png:bit-depth=8", 2, 8, true, "", 0},
        {"rgba interlaced", "-interlace PNG -alpha set -channel A -fx i/w +channel -define png:color-type=6 -define png:bit-depth=8", 6, 8, true, "", 0},
        {"palette interlaced", "-interlace PNG +dither -colors 16 -define png:color-type=3 -define png:bit-depth=4", 3, 4, true, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("their.png");
        std::string options = c.options;
        std::string out = shellQuoted(path);
        if (options.size() > 5 && options.substr(options.size() - 5) == "PNG8:") {
            options.resize(options.size() - 5);
            out = "PNG8:" + out;
        }
        ASSERT_EQ(0, testsupport::runCommand("convert " + b + " " + options + " " + out + " 2>/dev/null"));
        std::vector<uint8_t> file = readBytes(path);
        if (!c.trnsAfterIhdr.empty()) {
            auto trns = chunkBytes("tRNS", std::vector<uint8_t>(c.trnsAfterIhdr.begin(), c.trnsAfterIhdr.end()));
            file.insert(file.begin() + 33, trns.begin(), trns.end());
            writeBytes(path, file);
        }
        auto chunks = pngChunks(file);
        ASSERT_FALSE(chunks.empty());
        ASSERT_EQ(chunks[0].data[9], c.colorType) << "ImageMagick wrote another colour type";
        ASSERT_EQ(chunks[0].data[8], c.depth) << "ImageMagick wrote another depth";
        ASSERT_EQ(chunks[0].data[12], c.interlaced ? 1 : 0);
        const bool hasTrns = findChunk(chunks, "tRNS") != nullptr;
        if (std::string(c.name).find("tRNS") != std::string::npos) {
            ASSERT_TRUE(hasTrns);
        }

        TImageIO io;
        ASSERT_TRUE(decode(file, io));
        EXPECT_EQ(io.Params.BitsPerSample, c.depth);
        EXPECT_EQ(io.Params.PngInterlaced, c.interlaced);
        EXPECT_EQ(io.Buffer()->PixelFormat(), c.colorType == 0 && c.depth == 1 ? px1g : px24RGB);
        EXPECT_EQ(io.Buffer()->HasAlpha(), bool(c.colorType & 4) || hasTrns);
        expectSameRgba(magickPixels(dir, path), rasterOf(*io.Buffer(), true), c.tolerance);

        if ((c.colorType == 0 && c.depth >= 8) || c.colorType == 3) {
            TImageIO native;
            native.SetNativePixelFormat(true);
            ASSERT_TRUE(decode(file, native));
            EXPECT_EQ(native.Buffer()->PixelFormat(), c.colorType == 3 ? px8p : (c.depth == 16 ? pxGray16 : px8g));
            if (c.colorType == 3) {
                EXPECT_EQ(native.Buffer()->ReduceColors(), 1 << c.depth);
            }
            EXPECT_EQ(native.Buffer()->HasAlpha(), hasTrns);
            if (c.depth == 8)
                expectSameRgba(rasterOf(*io.Buffer(), true), rasterOf(*native.Buffer(), true));
        }
    }
}

TEST(PngFile, SaveAndLoadThroughTheImageObject)
{
    testsupport::TempDir dir;
    TImageIO io;
    auto picture = makePhoto(25, 14);
    ASSERT_TRUE(io.Buffer()->Assign(*picture));
    ASSERT_TRUE(io.SaveToFile(dir.file("out.PNG")));
    EXPECT_EQ(io.Params.FileType, 8);
    TImageIO back;
    ASSERT_TRUE(back.LoadFromFilePng(dir.file("out.PNG")));
    EXPECT_EQ(back.Params.FileType, 8);
    expectSameRgba(rasterOf(*picture), rasterOf(*back.Buffer()));
    TImageIO params;
    ASSERT_TRUE(params.ReadParamsFromFile(dir.file("out.PNG")));
    EXPECT_EQ(params.Params.Width, 25);
    EXPECT_TRUE(params.Buffer()->IsEmpty());
}

TEST(PngWrite, PaletteIndicesBeyondThePaletteCountStillWrite)
{
    TImageBuffer picture(8, 4, px8p);
    TRGB entries[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    picture.SetPalette(entries, 4);
    picture.Fill(2);
    picture.RowPointer(1)[5] = 9;  // beyond the four entries
    TImageParams params;
    params.SamplesPerPixel = 1;
    auto file = encode(picture, params);
    auto chunks = pngChunks(file);
    ASSERT_NE(findChunk(chunks, "PLTE"), nullptr);
    EXPECT_EQ(findChunk(chunks, "PLTE")->data.size(), size_t(10 * 3));
    TImageIO io;
    ASSERT_TRUE(decode(file, io));
    EXPECT_TRUE(io.Buffer()->GetPixelRGB(0, 0) == (TRGB{0, 255, 0}));
}
