// TIFF reader and writer: layouts, strips, compressions, tags, append mode
// and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffLzw.h"
#include "imaging/formats/tiff/TiffReader.h"
#include "imaging/formats/tiff/TiffTags.h"
#include "imaging/formats/tiff/TiffWriter.h"
#include "support/TestSupport.h"
#include "TiffTestPictures.h"

namespace {

using namespace tiff;
using Bytes = std::vector<uint8_t>;

using tifftest::makeBilevel;
using tifftest::makeRgb;

// The rows of two buffers of the same format, compared pixel by pixel
// (only the bits of the picture for px1g).
void expectSamePixels(TImageBuffer& a, TImageBuffer& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.PixelFormat(), b.PixelFormat());
    for (int y = 0; y < a.Height(); ++y) {
        if (a.PixelFormat() == px1g) {
            for (int x = 0; x < a.Width(); ++x) {
                const int pa = (a.RowPointer(y)[x >> 3] >> (7 - (x & 7))) & 1;
                const int pb = (b.RowPointer(y)[x >> 3] >> (7 - (x & 7))) & 1;
                ASSERT_EQ(pa, pb) << "pixel " << x << "," << y;
            }
            continue;
        }
        const size_t n = size_t(a.Width()) * size_t(a.BitCount()) / 8;
        std::vector<uint8_t> rowA(a.RowPointer(y), a.RowPointer(y) + n);
        std::vector<uint8_t> rowB(b.RowPointer(y), b.RowPointer(y) + n);
        ASSERT_EQ(rowA, rowB) << "row " << y;
    }
}

Bytes writeToMemory(TImageIO& io)
{
    TMemoryStream out;
    EXPECT_TRUE(io.SaveToStreamTiff(out));
    EXPECT_FALSE(io.Aborting);
    return out.TakeBytes();
}

// Reads the first directory of a TIFF held in memory.
struct Parsed {
    Bytes bytes;
    std::unique_ptr<TMemoryView> view;
    std::unique_ptr<TTiffSource> src;
    TByteOrder order;
    std::vector<uint32_t> chain;
    TTiffDirectory dir;
    explicit Parsed(Bytes b, size_t index = 0) : bytes(std::move(b))
    {
        view = std::make_unique<TMemoryView>(bytes.data(), bytes.size());
        src = std::make_unique<TTiffSource>(*view, 0);
        uint32_t first = 0;
        EXPECT_TRUE(ReadTiffHeader(*src, &order, &first));
        chain = WalkDirectoryChain(*src, order, first);
        if (index < chain.size()) {
            EXPECT_TRUE(dir.Read(*src, order, chain[index]));
        }
    }
};

bool readFromMemory(const Bytes& bytes, TImageIO& io)
{
    TMemoryView in(bytes.data(), bytes.size());
    return io.LoadFromStream(in, ffTIFF);
}

TEST(Tiff, ThousandSquarePictureIsWrittenInFiveStripsOfTwoHundredRows)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(1000, 1000));
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.UIntOr(tagRowsPerStrip, 0), 200u);
    EXPECT_EQ(f.dir.GetUInts(tagStripOffsets, 100).size(), 5u);
    auto counts = f.dir.GetUInts(tagStripByteCounts, 100);
    ASSERT_EQ(counts.size(), 5u);
    for (uint32_t c : counts) EXPECT_EQ(c, 600000u);
}

TEST(Tiff, DefaultSaveIsUncompressedLittleEndianRgb)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(33, 17));
    io.Params.SetResolution(150, 72);
    io.Params.TiffImageDescription = "Описание";
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.bytes[0], 'I');
    EXPECT_FALSE(f.order.BigEndian);
    ASSERT_EQ(f.chain.size(), 1u);
    EXPECT_EQ(f.dir.UIntOr(tagCompression, 0), 1u);
    EXPECT_EQ(f.dir.UIntOr(tagPhotometric, 0), 2u);
    EXPECT_EQ(f.dir.UIntOr(tagSamplesPerPixel, 0), 3u);
    EXPECT_EQ(f.dir.GetUInts(tagBitsPerSample, 4), (std::vector<uint32_t>{8, 8, 8}));
    EXPECT_EQ(f.dir.UIntOr(tagImageWidth, 0), 33u);
    EXPECT_EQ(f.dir.UIntOr(tagResolutionUnit, 0), 2u);
    EXPECT_FALSE(f.dir.Has(tagPredictor));
    EXPECT_FALSE(f.dir.Has(tagExtraSamples));
    // Entries sorted, every value at an even offset.
    for (size_t i = 1; i < f.dir.Entries().size(); ++i) EXPECT_LT(f.dir.Entries()[i - 1].Tag, f.dir.Entries()[i].Tag);
    for (const auto& e : f.dir.Entries()) {
        if (e.ByteSize() > 4) {
            EXPECT_EQ(e.ValueOffset % 2, 0u) << e.Tag;
        }
    }
    // The first strip holds red, green, blue of the top-left pixel.
    const uint32_t strip = f.dir.GetUInts(tagStripOffsets, 10)[0];
    const uint8_t* px = io.Buffer()->RowPointer(0);
    EXPECT_EQ(f.bytes[strip], px[2]);
    EXPECT_EQ(f.bytes[strip + 1], px[1]);
    EXPECT_EQ(f.bytes[strip + 2], px[0]);

    TImageIO back;
    ASSERT_TRUE(readFromMemory(f.bytes, back));
    expectSamePixels(*io.Buffer(), *back.Buffer());
    EXPECT_EQ(back.Params.DpiX, 150);
    EXPECT_EQ(back.Params.DpiY, 72);
    EXPECT_EQ(back.Params.TiffImageDescription, "Описание");
    EXPECT_EQ(back.Params.FileType, int(ffTIFF));
    EXPECT_TRUE(back.Params.TiffByteOrder);
}

TEST(Tiff, AlphaPictureGetsFourSamplesAndExtraSamplesOne)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(20, 10));
    TImageBuffer* alpha = io.Buffer()->Alpha();
    ASSERT_NE(alpha, nullptr);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) alpha->RowPointer(y)[x] = uint8_t(x < 10 ? 255 : 128 + y);
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.UIntOr(tagSamplesPerPixel, 0), 4u);
    EXPECT_EQ(f.dir.UIntOr(tagExtraSamples, 0), 1u);
    EXPECT_EQ(f.dir.GetUInts(tagBitsPerSample, 4), (std::vector<uint32_t>{8, 8, 8, 8}));

    TImageIO back;
    ASSERT_TRUE(readFromMemory(f.bytes, back));
    ASSERT_TRUE(back.Buffer()->HasAlpha());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(back.Buffer()->GetAlpha(x, y), alpha->RowPointer(y)[x]);
            // Stored multiplied by alpha: colours come back within rounding.
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(back.Buffer()->RowPointer(y)[3 * x + c], io.Buffer()->RowPointer(y)[3 * x + c], 1);
        }
}

TEST(Tiff, OpaqueAlphaIsNotWritten)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(8, 8));
    ASSERT_NE(io.Buffer()->Alpha(), nullptr);
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.UIntOr(tagSamplesPerPixel, 0), 3u);
}

struct CompressionCase {
    const char* name;
    uint8_t compression;  // TiffCompression field
    bool bilevel;
    int expectedCode;
    uint8_t readBack;  // TiffCompression after reading the file
};

class TiffCompressionRoundTrip : public ::testing::TestWithParam<CompressionCase> {};

TEST_P(TiffCompressionRoundTrip, ReadsBackTheSamePixels)
{
    const CompressionCase& c = GetParam();
    TImageIO io;
    if (c.bilevel) {
        io.Buffer()->Assign(*makeBilevel(203, 120));
        io.Params.BitsPerSample = 1;
        io.Params.SamplesPerPixel = 1;
    } else {
        io.Buffer()->Assign(*makeRgb(301, 2000));  // several strips
    }
    io.Params.TiffCompression = c.compression;
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.UIntOr(tagCompression, 0), uint32_t(c.expectedCode));
    if (c.compression == 5 && !c.bilevel) {
        EXPECT_EQ(f.dir.UIntOr(tagPredictor, 0), 2u);
    }
    TImageIO back;
    ASSERT_TRUE(readFromMemory(f.bytes, back));
    EXPECT_EQ(back.Params.TiffCompression, c.readBack);
    expectSamePixels(*io.Buffer(), *back.Buffer());
}

INSTANTIATE_TEST_SUITE_P(
    Compressions, TiffCompressionRoundTrip,
    ::testing::Values(CompressionCase{"none", 0, false, 1, 0}, CompressionCase{"lzw", 5, false, 5, 5},
                      CompressionCase{"packbits", 8, false, 32773, 8}, CompressionCase{"deflate", 9, false, 32946, 9},
                      CompressionCase{"adobe_deflate", 10, false, 32946, 9},
                      CompressionCase{"bilevel_none", 0, true, 1, 0}, CompressionCase{"bilevel_lzw", 5, true, 5, 5},
                      CompressionCase{"mh", 1, true, 2, 1}, CompressionCase{"g3", 2, true, 3, 2},
                      CompressionCase{"g3_2d", 3, true, 3, 3}, CompressionCase{"g4", 4, true, 4, 4},
                      CompressionCase{"ccitt_on_colour_falls_back", 4, false, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tiff, JpegCompressionsRoundTripWithinTolerance)
{
    struct Case {
        const char* name;
        uint8_t compression;
        uint8_t colorSpace;
        uint32_t photometric;
        uint32_t samples;
    };
    const Case cases[] = {{"JPEG YCbCr", 7, 2, 6, 3}, {"JPEG RGB", 7, 0, 2, 3}, {"JPEG gray", 7, 1, 1, 1},
                          {"JPEG written as RGB", 7, 4, 2, 3}, {"old-style JPEG", 6, 2, 6, 3}};
    auto pic = std::make_unique<TImageBuffer>(64, 48, px24RGB);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = pic->RowPointer(y) + 3 * x;
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 5);
            p[2] = uint8_t(128 + (x - y));
        }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageIO io;
        io.Buffer()->Assign(*pic);
        io.Params.TiffCompression = c.compression;
        io.Params.TiffJpegColorSpace = c.colorSpace;
        io.Params.TiffJpegQuality = 95;
        Parsed f(writeToMemory(io));
        EXPECT_EQ(f.dir.UIntOr(tagCompression, 0), c.compression);
        EXPECT_EQ(f.dir.UIntOr(tagPhotometric, 0), c.photometric);
        EXPECT_EQ(f.dir.UIntOr(tagSamplesPerPixel, 0), c.samples);
        if (c.compression == 6) {
            const uint32_t start = f.dir.UIntOr(tagJpegInterchangeFormat, 0);
            const uint32_t scan = f.dir.UIntOr(tagStripOffsets, 0);
            EXPECT_EQ(f.bytes[start], 0xFF);
            EXPECT_EQ(f.bytes[start + 1], 0xD8);
            EXPECT_EQ(f.bytes[scan], 0xFF);
            EXPECT_EQ(f.bytes[scan + 1], 0xDA);
            EXPECT_EQ(scan - start + f.dir.UIntOr(tagStripByteCounts, 0), f.dir.UIntOr(tagJpegInterchangeFormatLength, 0));
        }
        TImageIO back;
        ASSERT_TRUE(readFromMemory(f.bytes, back));
        ASSERT_EQ(back.Buffer()->Width(), 64);
        ASSERT_EQ(back.Buffer()->Height(), 48);
        double error = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const TRGB a = back.Buffer()->GetPixelRGB(x, y);
                const uint8_t* p = pic->RowPointer(y) + 3 * x;
                if (c.samples == 1) {
                    const int gray = GrayOf(p[2], p[1], p[0]);
                    error += std::abs(a.r - gray);
                } else {
                    error += std::abs(a.b - p[0]) + std::abs(a.g - p[1]) + std::abs(a.r - p[2]);
                }
            }
        EXPECT_LT(error / (64.0 * 48.0), 6.0);
    }
}

TEST(Tiff, LzwWithoutCoderFallsBackToNoneAndCannotBeRead)
{
    TTiffLzwCoder* builtIn = TiffLzwDefaultCoder();
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(16, 16));
    io.Params.TiffCompression = 5;
    Bytes lzwFile = writeToMemory(io);
    SetTiffLzwDefaultCoder(nullptr);
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.UIntOr(tagCompression, 0), 1u);
    TImageIO back;
    EXPECT_FALSE(readFromMemory(lzwFile, back));
    EXPECT_TRUE(back.Aborting);
    SetTiffLzwDefaultCoder(builtIn);
    EXPECT_TRUE(readFromMemory(lzwFile, back));
}

TEST(Tiff, PaletteAndGrayOutputThroughTheQuantizer)
{
    struct Case {
        const char* name;
        int bits;
        bool gray;
        uint8_t compression;
        uint32_t photometric;
        uint32_t fileBits;
        uint32_t code;
    };
    const Case cases[] = {
        {"palette 8", 8, false, 5, 3, 8, 5},      {"palette 4", 4, false, 8, 3, 4, 32773},
        {"palette 16 becomes 8", 16, false, 0, 3, 8, 1}, {"gray 8", 8, true, 9, 1, 8, 32946},
        {"gray 16", 16, true, 0, 1, 16, 1},        {"palette with fax falls back", 8, false, 4, 3, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageIO io;
        auto pic = std::make_unique<TImageBuffer>(40, 30, px24RGB);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                uint8_t* p = pic->RowPointer(y) + 3 * x;
                const uint8_t v = uint8_t((x / 10) * 60 + (y / 15) * 30);
                p[0] = v;
                p[1] = c.gray ? v : uint8_t(255 - v);
                p[2] = c.gray ? v : uint8_t(v / 2);
            }
        io.Buffer()->Assign(*pic);
        io.Params.BitsPerSample = c.bits;
        io.Params.SamplesPerPixel = 1;
        io.Params.TiffCompression = c.compression;
        Parsed f(writeToMemory(io));
        EXPECT_EQ(f.dir.UIntOr(tagPhotometric, 0), c.photometric);
        EXPECT_EQ(f.dir.UIntOr(tagBitsPerSample, 0), c.fileBits);
        EXPECT_EQ(f.dir.UIntOr(tagCompression, 0), c.code);
        EXPECT_EQ(f.dir.Has(tagColorMap), c.photometric == 3);
        if (c.photometric == 3) {
            EXPECT_EQ(f.dir.GetUInts(tagColorMap, 1 << 20).size(), size_t(3) << c.fileBits);
        }
        TImageIO back;
        ASSERT_TRUE(readFromMemory(f.bytes, back));
        // Eight distinct colours fit every palette exactly; gray comes back
        // within the quantizer's ramp.
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_NEAR(back.Buffer()->RowPointer(y)[3 * x + k], pic->RowPointer(y)[3 * x + k],
                                c.gray && c.bits < 16 ? 1 : (c.gray ? 1 : 0))
                        << x << "," << y;
    }
}

TEST(Tiff, NativeFormatsComeBackAsTheirOwnBuffers)
{
    TImageIO io;
    auto pic = std::make_unique<TImageBuffer>(12, 9, pxRGB48);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 36; ++x) reinterpret_cast<uint16_t*>(pic->RowPointer(y))[x] = uint16_t(x * 1800 + y * 7);
    io.Buffer()->Assign(*pic);
    io.Params.TiffCompression = 5;
    Parsed f(writeToMemory(io));
    EXPECT_EQ(f.dir.GetUInts(tagBitsPerSample, 4), (std::vector<uint32_t>{16, 16, 16}));
    TImageIO back;
    back.SetNativePixelFormat(true);
    ASSERT_TRUE(readFromMemory(f.bytes, back));
    expectSamePixels(*pic, *back.Buffer());

    auto cmyk = std::make_unique<TImageBuffer>(10, 4, pxCMYK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 40; ++x) cmyk->RowPointer(y)[x] = uint8_t(x * 6 + y);
    io.Buffer()->Assign(*cmyk);
    io.Params.TiffCompression = 0;
    Parsed g(writeToMemory(io));
    EXPECT_EQ(g.dir.UIntOr(tagPhotometric, 0), 5u);
    ASSERT_TRUE(readFromMemory(g.bytes, back));
    expectSamePixels(*cmyk, *back.Buffer());
}

TEST(Tiff, BilevelOutputOfColourPictures)
{
    // Two dark colours: a threshold would make both black; the two-colour
    // copy keeps them apart, the lighter one white.
    auto two = std::make_unique<TImageBuffer>(20, 6, px24RGB);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 20; ++x) two->SetPixelRGB(x, y, x < 7 ? TRGB{10, 10, 10} : TRGB{0, 60, 90});
    TImageIO io;
    io.Buffer()->Assign(*two);
    io.Params.BitsPerSample = 1;
    io.Params.SamplesPerPixel = 1;
    io.Params.TiffCompression = 4;
    Bytes bytes = writeToMemory(io);
    EXPECT_EQ(Parsed(bytes).dir.UIntOr(tagCompression, 0), 4u);
    TImageIO back;
    ASSERT_TRUE(readFromMemory(bytes, back));
    ASSERT_EQ(back.Buffer()->PixelFormat(), px1g);
    for (int x = 0; x < 20; ++x) EXPECT_EQ(back.Buffer()->GetPixelRGB(x, 3).r, x < 7 ? 0 : 255) << x;

    // More colours go through the buffer's black-and-white conversion.
    io.Buffer()->Assign(*makeRgb(30, 8));
    bytes = writeToMemory(io);
    ASSERT_TRUE(readFromMemory(bytes, back));
    EXPECT_EQ(back.Buffer()->PixelFormat(), px1g);
    EXPECT_EQ(back.Buffer()->Width(), 30);
}

TEST(Tiff, ParametersOnlyReadOfAFile)
{
    testsupport::TempDir dir;
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(21, 13));
    io.Params.TiffCompression = 5;
    ASSERT_TRUE(io.SaveToFile(dir.file("a.TIF")));
    EXPECT_EQ(io.Params.FileType, int(ffTIFF));
    TImageIO info;
    ASSERT_TRUE(info.ReadParamsFromFile(dir.file("a.TIF")));
    EXPECT_EQ(info.Params.FileType, int(ffTIFF));
    EXPECT_EQ(info.Params.Width, 21);
    EXPECT_EQ(info.Params.Height, 13);
    EXPECT_EQ(info.Params.TiffCompression, 5);
    EXPECT_EQ(info.Params.SamplesPerPixel, 3);
    EXPECT_TRUE(info.Buffer()->IsEmpty());
}

TEST(Tiff, DescriptionTagsRoundTrip)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(5, 5));
    io.Params.TiffDocumentName = "doc";
    io.Params.TiffPageName = "page one";
    io.Params.TiffPageNumber = 2;
    io.Params.TiffPageCount = 7;
    io.Params.TiffXPos = 12;
    io.Params.TiffYPos = 3;
    Bytes bytes = writeToMemory(io);
    TImageIO back;
    ASSERT_TRUE(readFromMemory(bytes, back));
    EXPECT_EQ(back.Params.TiffDocumentName, "doc");
    EXPECT_EQ(back.Params.TiffPageName, "page one");
    EXPECT_EQ(back.Params.TiffPageNumber, 2);
    EXPECT_EQ(back.Params.TiffPageCount, 7);
    EXPECT_EQ(back.Params.TiffXPos, 12);
    EXPECT_EQ(back.Params.TiffYPos, 3);
    EXPECT_EQ(back.Params.TiffImageCount, 1);
}

TEST(Tiff, AppendLinksTheNewDirectoryAfterTheLast)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(30, 20));
    TMemoryStream file;
    ASSERT_TRUE(io.SaveToStreamTiff(file));
    const Bytes firstFile = file.Bytes();

    TTiffWriteOptions append;
    append.Append = true;
    auto second = makeBilevel(64, 40);
    io.Params.BitsPerSample = 1;
    io.Params.SamplesPerPixel = 1;
    io.Params.TiffCompression = 4;
    EXPECT_EQ(WriteTiffStructure(file, second.get(), io.Params, append), 2);
    auto third = makeRgb(7, 3);
    io.Params.BitsPerSample = 8;
    io.Params.SamplesPerPixel = 3;
    EXPECT_EQ(WriteTiffStructure(file, third.get(), io.Params, append), 3);

    const Bytes& all = file.Bytes();
    // The first picture's bytes stay where they were; only the first
    // directory's next field changed.
    Parsed f(all);
    ASSERT_EQ(f.chain.size(), 3u);
    const size_t nextField = f.chain[0] + 2 + f.dir.Entries().size() * 12;
    for (size_t i = 0; i < firstFile.size(); ++i) {
        if (i < nextField || i >= nextField + 4) {
            ASSERT_EQ(all[i], firstFile[i]) << i;
        }
    }

    TImageIO back;
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        back.Params.TiffImageIndex = index;
        ASSERT_TRUE(readFromMemory(all, back));
        EXPECT_EQ(back.Params.TiffImageCount, 3);
        TImageBuffer& expected = index == 0 ? *io.Buffer() : index == 1 ? *second : *third;
        expectSamePixels(expected, *back.Buffer());
    }
    back.Params.TiffImageIndex = 3;
    EXPECT_FALSE(readFromMemory(all, back));
}

TEST(Tiff, AppendToAStreamThatIsNotLittleEndianTiffWritesNothing)
{
    TImageParams params;
    auto pic = makeRgb(4, 4);
    TTiffWriteOptions append;
    append.Append = true;
    bool aborting = false;
    append.Aborting = &aborting;
    for (Bytes start : {Bytes{'M', 'M', 0, 42, 0, 0, 0, 0}, Bytes{}, Bytes{'B', 'M', 1, 2, 3}}) {
        TMemoryStream s(start);
        EXPECT_EQ(WriteTiffStructure(s, pic.get(), params, append), 0);
        EXPECT_EQ(s.Bytes(), start);
        EXPECT_TRUE(aborting);
        aborting = false;
    }
}

TEST(Tiff, SubDirectoryAndTilesAndPlanesAreRead)
{
    // A hand-built file: IFD0 (2 x 2 RGB, planar) with one sub-directory
    // holding a 3 x 3 gray picture in 2 x 2 tiles (clipped at the edges).
    TMemoryStream out;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    out.Write(header, 8);
    // Planes: R then G then B, one strip each.
    const uint8_t planes[12] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    out.Write(planes, 12);
    // Four 2 x 2 tiles of the 3 x 3 picture; cells outside are padding (99).
    const uint8_t tiles[16] = {1, 2, 4, 5, 3, 99, 6, 99, 7, 8, 99, 99, 9, 99, 99, 99};
    out.Write(tiles, 16);
    TTiffDirWriter sub;
    sub.AddLong(tagImageWidth, {3});
    sub.AddLong(tagImageLength, {3});
    sub.AddShort(tagBitsPerSample, {8});
    sub.AddShort(tagPhotometric, {1});
    sub.AddShort(tagTileWidth, {2});
    sub.AddShort(tagTileLength, {2});
    sub.AddLong(tagTileOffsets, {20, 24, 28, 32});
    sub.AddLong(tagTileByteCounts, {4, 4, 4, 4});
    uint32_t subOffset = 0;
    ASSERT_TRUE(sub.WriteDirectory(out, 0, 0, &subOffset));
    TTiffDirWriter main;
    main.AddLong(tagImageWidth, {2});
    main.AddLong(tagImageLength, {2});
    main.AddShort(tagBitsPerSample, {8, 8, 8});
    main.AddShort(tagSamplesPerPixel, {3});
    main.AddShort(tagPlanarConfig, {2});
    main.AddLong(tagStripOffsets, {8, 12, 16});
    main.AddLong(tagStripByteCounts, {4, 4, 4});
    main.AddLong(tagSubIfds, {subOffset});
    uint32_t mainOffset = 0;
    ASSERT_TRUE(main.WriteDirectory(out, 0, 0, &mainOffset));
    ASSERT_TRUE(TTiffDirWriter::PatchLong(out, 4, mainOffset));
    Bytes bytes = out.TakeBytes();

    TImageIO io;
    ASSERT_TRUE(readFromMemory(bytes, io));
    TRGB p = io.Buffer()->GetPixelRGB(1, 1);
    EXPECT_EQ(p.r, 40);
    EXPECT_EQ(p.g, 80);
    EXPECT_EQ(p.b, 120);
    io.Params.TiffSubIndex = 0;
    io.SetNativePixelFormat(true);
    ASSERT_TRUE(readFromMemory(bytes, io));
    ASSERT_EQ(io.Buffer()->PixelFormat(), px8g);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(io.Buffer()->RowPointer(y)[x], y * 3 + x + 1);
        }
    io.Params.TiffSubIndex = 1;
    EXPECT_FALSE(readFromMemory(bytes, io));
}

TEST(Tiff, ResolutionInCentimetresAndExifThumbnailLimit)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(401, 3));
    Bytes bytes = writeToMemory(io);
    Parsed f(bytes);
    // Patch the unit to centimetres and the resolution to 118 per cm.
    for (const auto& e : f.dir.Entries()) {
        if (e.Tag == tagResolutionUnit) bytes[e.ValueOffset] = 3;
        if (e.Tag == tagXResolution) {
            const uint8_t perCm[4] = {118, 0, 0, 0};
            std::memcpy(bytes.data() + e.ValueOffset, perCm, 4);
        }
    }
    TImageIO back;
    ASSERT_TRUE(readFromMemory(bytes, back));
    EXPECT_EQ(back.Params.DpiX, 300);  // round(118 * 2.54) = 300
    EXPECT_EQ(back.Params.DpiY, 762);

    TMemoryView in(bytes.data(), bytes.size());
    bool aborting = false;
    TTiffReadOptions thumb;
    thumb.ExifThumbnail = true;
    thumb.Aborting = &aborting;
    TImageBuffer buffer;
    TImageParams params;
    EXPECT_FALSE(ReadTiffStructure(in, 0, &buffer, params, thumb));
    EXPECT_TRUE(aborting);
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST(Tiff, UncompressedStripsIgnoreUnderstatedByteCounts)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(20, 10));
    Bytes bytes = writeToMemory(io);
    Parsed f(bytes);
    const TTiffEntry* counts = f.dir.Find(tagStripByteCounts);
    ASSERT_NE(counts, nullptr);
    bytes[counts->ValueOffset] = 7;  // 600 bytes claimed as 7
    bytes[counts->ValueOffset + 1] = 0;
    TImageIO back;
    ASSERT_TRUE(readFromMemory(bytes, back));
    expectSamePixels(*io.Buffer(), *back.Buffer());
}

TEST(Tiff, AbsurdSizesAreRefusedBeforeAllocation)
{
    struct Case {
        const char* name;
        uint32_t width, height, tileW, tileH;
    };
    const Case cases[] = {{"30000 x 30000 picture in a tiny file", 30000, 30000, 0, 0},
                          {"small picture with huge tiles", 16, 16, 65536, 16384}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream out;
        const uint8_t header[16] = {'I', 'I', 42, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
        out.Write(header, 16);
        TTiffDirWriter dir;
        dir.AddLong(tagImageWidth, {c.width});
        dir.AddLong(tagImageLength, {c.height});
        dir.AddShort(tagBitsPerSample, {8, 8, 8});
        dir.AddShort(tagSamplesPerPixel, {3});
        dir.AddShort(tagCompression, {8});
        if (c.tileW) {
            dir.AddLong(tagTileWidth, {c.tileW});
            dir.AddLong(tagTileLength, {c.tileH});
        }
        dir.AddLong(c.tileW ? tagTileOffsets : tagStripOffsets, {8});
        dir.AddLong(c.tileW ? tagTileByteCounts : tagStripByteCounts, {8});
        uint32_t offset = 0;
        ASSERT_TRUE(dir.WriteDirectory(out, 0, 0, &offset));
        ASSERT_TRUE(TTiffDirWriter::PatchLong(out, 4, offset));
        TImageIO io;
        EXPECT_FALSE(readFromMemory(out.Bytes(), io));
        EXPECT_TRUE(io.Buffer()->IsEmpty());
        EXPECT_EQ(io.Params.Width, int(c.width));  // the parameters are still read
    }
}

TEST(Tiff, DamagedFilesEndCleanly)
{
    TImageIO io;
    io.Buffer()->Assign(*makeRgb(50, 40));
    std::vector<Bytes> samples;
    for (uint8_t compression : {0, 5, 8, 9}) {
        io.Params.TiffCompression = compression;
        samples.push_back(writeToMemory(io));
    }
    io.Buffer()->Assign(*makeBilevel(50, 40));
    io.Params.BitsPerSample = 1;
    io.Params.SamplesPerPixel = 1;
    for (uint8_t compression : {1, 3, 4}) {
        io.Params.TiffCompression = compression;
        samples.push_back(writeToMemory(io));
    }
    std::mt19937 rng(2024);
    for (const Bytes& good : samples) {
        // Truncations at every length step.
        for (size_t len = 0; len < good.size(); len += 37) {
            Bytes cut(good.begin(), good.begin() + long(len));
            TImageIO back;
            readFromMemory(cut, back);
        }
        // Random byte damage, mostly in the directory.
        for (int i = 0; i < 150; ++i) {
            Bytes bad = good;
            Parsed f(good);
            const size_t dirStart = f.chain.empty() ? 0 : f.chain[0];
            for (int k = 0; k < 4; ++k) {
                size_t at = (rng() % 2) ? dirStart + rng() % (bad.size() - dirStart) : rng() % bad.size();
                bad[at] = uint8_t(rng());
            }
            TImageIO back;
            readFromMemory(bad, back);
        }
    }
}

}  // namespace
