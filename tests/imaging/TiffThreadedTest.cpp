// The fast paths of TIFF reading and writing: the red-blue exchange, Deflate
// coded in chunks on several threads, and multi-strip Deflate files inflated
// on several threads. Each must give exactly what one thread gives.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <zlib.h>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "imaging/formats/tiff/ChannelSwap.h"
#include "imaging/formats/tiff/TiffDeflateWriter.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffPredictor.h"
#include "imaging/formats/tiff/TiffTags.h"
#include "imaging/ops/Parallel.h"
#include "TiffTestPictures.h"

namespace {

using namespace tiff;
using Bytes = std::vector<uint8_t>;

// Runs the body once on one thread and once on as many as the loops plan.
class ThreadModes : public ::testing::Test {
protected:
    void TearDown() override { ops::SetSingleThreaded(false); }
};

// Same size, format and row bytes.
bool samePixels(const TImageBuffer& a, const TImageBuffer& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
    const size_t n = size_t(a.Width()) * size_t(a.BitCount()) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.RowPointer(y), b.RowPointer(y), n) != 0) return false;
    return true;
}

Bytes inflateAll(const Bytes& stream, size_t expected)
{
    Bytes out(expected + 16);
    uLongf size = uLongf(out.size());
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), uLong(stream.size())), Z_OK);
    out.resize(size);
    return out;
}

TEST(TiffChannelSwap, ExchangesRedAndBlueForEveryLengthAndInPlace)
{
    // Lengths around the five-pixel steps of the vector path.
    for (size_t pixels : {0, 1, 4, 5, 6, 7, 10, 11, 12, 33, 4000}) {
        SCOPED_TRACE(pixels);
        Bytes src(pixels * 3);
        for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 37 + 11);
        Bytes want(src.size());
        for (size_t i = 0; i < pixels; ++i) {
            want[3 * i] = src[3 * i + 2];
            want[3 * i + 1] = src[3 * i + 1];
            want[3 * i + 2] = src[3 * i];
        }
        // A guard byte after the row must stay untouched.
        Bytes dst(src.size() + 1, 0xA5);
        swapRedBlue(src.data(), dst.data(), pixels);
        EXPECT_EQ(Bytes(dst.begin(), dst.end() - 1), want);
        EXPECT_EQ(dst.back(), 0xA5);
        Bytes same = src;
        swapRedBlue(same.data(), same.data(), pixels);
        EXPECT_EQ(same, want);
    }
}

TEST_F(ThreadModes, DeflateRowsGivesOneValidStreamAndTheSameBytesOnAnyNumberOfThreads)
{
    // Rows of 3000 bytes: 349 rows to a 1 MiB chunk, so 3100 rows make nine
    // chunks, more than one round of the threads takes; every seventh row
    // repeats a pattern that only a window carried across chunks can find.
    const int rows = 3100;
    const size_t rowBytes = 3000;
    Bytes picture(size_t(rows) * rowBytes);
    uint32_t seed = 1;
    for (size_t i = 0; i < picture.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        picture[i] = uint8_t((i / rowBytes) % 7 == 0 ? (i % 251) : (seed >> 24) & 0x3F);
    }
    struct Mode {
        const char* name;
        bool single;
        int level;
    };
    for (const Mode& mode : {Mode{"default level", false, Z_DEFAULT_COMPRESSION}, Mode{"fastest", false, 1},
                             Mode{"maximum", false, 9}}) {
        SCOPED_TRACE(mode.name);
        Bytes streams[2];
        for (int single = 0; single < 2; ++single) {
            ops::SetSingleThreaded(single == 1);
            TDeflateRowsJob job;
            job.Rows = rows;
            job.RowBytes = rowBytes;
            job.Level = mode.level;
            int next = 0;
            job.BuildRow = [&](int y, uint8_t* row) {
                EXPECT_EQ(y, next++);
                std::copy_n(picture.data() + size_t(y) * rowBytes, rowBytes, row);
            };
            job.Write = [&](const uint8_t* data, size_t size) {
                streams[single].insert(streams[single].end(), data, data + size);
                return true;
            };
            uint64_t written = 0;
            ASSERT_TRUE(DeflateRows(job, &written));
            EXPECT_EQ(written, streams[single].size());
            EXPECT_EQ(next, rows);
        }
        EXPECT_EQ(streams[0], streams[1]);
        EXPECT_EQ(inflateAll(streams[0], picture.size()), picture);
        // zlib's own header for the level, so readers see the usual stream.
        Bytes reference(compressBound(uLong(picture.size())));
        uLongf refSize = uLongf(reference.size());
        ASSERT_EQ(compress2(reference.data(), &refSize, picture.data(), uLong(picture.size()), mode.level), Z_OK);
        EXPECT_EQ(streams[0][0], reference[0]);
        EXPECT_EQ(streams[0][1], reference[1]);
    }
}

TEST_F(ThreadModes, DeflateRowsStopsOnAFailedWriteOrAnAbort)
{
    TDeflateRowsJob job;
    job.Rows = 800;
    job.RowBytes = 3000;
    job.BuildRow = [](int y, uint8_t* row) { std::fill_n(row, 3000, uint8_t(y)); };
    int writes = 0;
    job.Write = [&](const uint8_t*, size_t) { return ++writes < 2; };
    uint64_t written = 0;
    EXPECT_FALSE(DeflateRows(job, &written));
    job.Write = [](const uint8_t*, size_t) { return true; };
    job.Aborting = [] { return true; };
    EXPECT_FALSE(DeflateRows(job, &written));
}

TEST_F(ThreadModes, DeflateTiffIsTheSameFileOnAnyNumberOfThreadsAndReadsBack)
{
    TImageIO io;
    io.Buffer()->Assign(*tifftest::makeRgb(700, 600));
    io.Params.TiffCompression = 9;
    Bytes files[2];
    for (int single = 0; single < 2; ++single) {
        ops::SetSingleThreaded(single == 1);
        TMemoryStream out;
        ASSERT_TRUE(io.SaveToStreamTiff(out));
        files[single] = out.TakeBytes();
    }
    EXPECT_EQ(files[0], files[1]);
    TImageIO back;
    TMemoryView in(files[0].data(), files[0].size());
    ASSERT_TRUE(back.LoadFromStream(in, ffTIFF));
    EXPECT_TRUE(samePixels(*io.Buffer(), *back.Buffer()));
}

// A file of many Deflate strips as other writers make it: every strip its
// own zlib stream, with the predictor when asked.
Bytes multiStripDeflate(const TImageBuffer& pic, int rowsPerStrip, bool predictor, int damagedStrip)
{
    const int w = pic.Width();
    const int h = pic.Height();
    TMemoryStream out;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    out.Write(header, 8);
    std::vector<uint32_t> offsets, counts;
    for (int y0 = 0, strip = 0; y0 < h; y0 += rowsPerStrip, ++strip) {
        const int rows = std::min(rowsPerStrip, h - y0);
        Bytes raw(size_t(rows) * size_t(w) * 3);
        for (int r = 0; r < rows; ++r) {
            uint8_t* row = raw.data() + size_t(r) * size_t(w) * 3;
            swapRedBlue(pic.RowPointer(y0 + r), row, size_t(w));
            if (predictor) predictorEncode8(row, size_t(w), 3);
        }
        Bytes coded(compressBound(uLong(raw.size())));
        uLongf size = uLongf(coded.size());
        EXPECT_EQ(compress2(coded.data(), &size, raw.data(), uLong(raw.size()), 6), Z_OK);
        coded.resize(size);
        if (strip == damagedStrip) coded.resize(coded.size() / 2);
        offsets.push_back(uint32_t(out.Position()));
        counts.push_back(uint32_t(coded.size()));
        out.Write(coded.data(), coded.size());
    }
    TTiffDirWriter dir;
    dir.AddLong(tagImageWidth, {uint32_t(w)});
    dir.AddLong(tagImageLength, {uint32_t(h)});
    dir.AddShort(tagBitsPerSample, {8, 8, 8});
    dir.AddShort(tagCompression, {8});
    dir.AddShort(tagPhotometric, {2});
    dir.AddShort(tagSamplesPerPixel, {3});
    dir.AddLong(tagRowsPerStrip, {uint32_t(rowsPerStrip)});
    dir.AddLong(tagStripOffsets, offsets);
    dir.AddLong(tagStripByteCounts, counts);
    if (predictor) dir.AddShort(tagPredictor, {2});
    uint32_t at = 0;
    EXPECT_TRUE(dir.WriteDirectory(out, 0, 0, &at));
    EXPECT_TRUE(TTiffDirWriter::PatchLong(out, 4, at));
    return out.TakeBytes();
}

TEST_F(ThreadModes, MultiStripDeflateReadsTheSameOnAnyNumberOfThreads)
{
    auto pic = tifftest::makeRgb(900, 501);
    struct Case {
        const char* name;
        int rowsPerStrip;
        bool predictor;
        int damagedStrip;
    };
    for (const Case& c : {Case{"strips of 40 rows", 40, false, -1}, Case{"with predictor", 33, true, -1},
                          Case{"one damaged strip", 40, false, 5}}) {
        SCOPED_TRACE(c.name);
        const Bytes file = multiStripDeflate(*pic, c.rowsPerStrip, c.predictor, c.damagedStrip);
        std::unique_ptr<TImageBuffer> results[2];
        for (int single = 0; single < 2; ++single) {
            ops::SetSingleThreaded(single == 1);
            TImageIO io;
            TMemoryView in(file.data(), file.size());
            EXPECT_EQ(io.LoadFromStream(in, ffTIFF), c.damagedStrip < 0);
            results[single] = std::make_unique<TImageBuffer>();
            ASSERT_TRUE(results[single]->Assign(*io.Buffer()));
        }
        EXPECT_TRUE(samePixels(*results[0], *results[1]));
        if (c.damagedStrip < 0) {
            EXPECT_TRUE(samePixels(*results[0], *pic));
        } else {
            // The strips after a damaged one are still read.
            const int after = (c.damagedStrip + 1) * c.rowsPerStrip;
            EXPECT_EQ(std::memcmp(results[0]->RowPointer(after), pic->RowPointer(after), 900 * 3), 0);
        }
    }
}

}  // namespace
