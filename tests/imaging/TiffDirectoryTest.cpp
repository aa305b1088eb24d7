// TIFF directories: writing, reading back in both byte orders, and damaged
// structures (loops, offsets and counts outside the data, absurd counts).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffTags.h"

namespace {

using namespace tiff;
using Bytes = std::vector<uint8_t>;

// A little-endian structure: header, then one directory with a mix of
// inline and out-of-line values, chained to a second small directory.
Bytes makeTwoDirectories()
{
    TMemoryStream out;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    out.Write(header, 8);
    TTiffDirWriter second;
    second.AddShort(tagImageWidth, {7});
    uint32_t secondOffset = 0;
    EXPECT_TRUE(second.WriteDirectory(out, 0, 0, &secondOffset));

    TTiffDirWriter first;
    first.AddLong(tagImageWidth, {1000});
    first.AddShort(tagBitsPerSample, {8, 8, 8});
    first.AddAscii(tagImageDescription, "A description");
    first.AddAscii(tagPageName, "abc");
    first.AddRational(tagXResolution, {{300, 1}});
    first.AddRational(tagYResolution, {{uint32_t(-7), 2}}, true);
    first.AddLong(tagStripOffsets, {10, 20, 30, 40});
    first.AddShort(tagPhotometric, {2});  // added after others: must come out sorted
    uint32_t firstOffset = 0;
    int64_t nextField = 0;
    EXPECT_TRUE(first.WriteDirectory(out, 0, secondOffset, &firstOffset, &nextField));
    EXPECT_EQ(firstOffset % 2, 0u);
    EXPECT_TRUE(TTiffDirWriter::PatchLong(out, 4, firstOffset));
    return out.TakeBytes();
}

// The same structure with every multi-byte number swapped to big-endian,
// built by hand so that the reader's "MM" path sees real big-endian data.
Bytes bigEndianSample()
{
    Bytes b = {'M', 'M', 0, 42, 0, 0, 0, 8,
               0, 3,                                           // three entries
               0x01, 0x00, 0, 3, 0, 0, 0, 1, 0x01, 0x02, 0, 0,  // width SHORT 258
               0x01, 0x01, 0, 4, 0, 0, 0, 1, 0, 1, 0, 0,        // length LONG 65536
               0x01, 0x1A, 0, 5, 0, 0, 0, 1, 0, 0, 0, 50,       // XResolution -> offset 50
               0, 0, 0, 0,                                      // next
               0, 0, 0, 72, 0, 0, 0, 1};                        // 72/1 at offset 50
    return b;
}

TEST(TiffDirectory, ReadsWhatTheWriterWrote)
{
    Bytes file = makeTwoDirectories();
    TMemoryView view(file.data(), file.size());
    TTiffSource src(view, 0);
    TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(ReadTiffHeader(src, &order, &first));
    EXPECT_FALSE(order.BigEndian);

    TTiffDirectory dir;
    ASSERT_TRUE(dir.Read(src, order, first));
    ASSERT_EQ(dir.Entries().size(), 8u);
    for (size_t i = 1; i < dir.Entries().size(); ++i) EXPECT_LT(dir.Entries()[i - 1].Tag, dir.Entries()[i].Tag);
    EXPECT_EQ(dir.UIntOr(tagImageWidth, 0), 1000u);
    EXPECT_EQ(dir.GetUInts(tagBitsPerSample, 16), (std::vector<uint32_t>{8, 8, 8}));
    EXPECT_EQ(dir.GetUInts(tagStripOffsets, 16), (std::vector<uint32_t>{10, 20, 30, 40}));
    EXPECT_TRUE(dir.GetUInts(tagStripOffsets, 3).empty());  // more values than allowed
    std::string text;
    ASSERT_TRUE(dir.GetString(tagImageDescription, &text));
    EXPECT_EQ(text, "A description");
    ASSERT_TRUE(dir.GetString(tagPageName, &text));
    EXPECT_EQ(text, "abc");
    double real = 0;
    ASSERT_TRUE(dir.GetReal(tagXResolution, &real));
    EXPECT_DOUBLE_EQ(real, 300.0);
    ASSERT_TRUE(dir.GetReal(tagYResolution, &real));
    EXPECT_DOUBLE_EQ(real, -3.5);
    EXPECT_EQ(dir.UIntOr(tagPhotometric, 99), 2u);
    EXPECT_EQ(dir.UIntOr(tagCompression, 1), 1u);

    auto chain = WalkDirectoryChain(src, order, first);
    ASSERT_EQ(chain.size(), 2u);
    TTiffDirectory second;
    ASSERT_TRUE(second.Read(src, order, chain[1]));
    EXPECT_EQ(second.UIntOr(tagImageWidth, 0), 7u);
    EXPECT_EQ(second.NextOffset(), 0u);
}

TEST(TiffDirectory, ReadsBigEndian)
{
    Bytes file = bigEndianSample();
    TMemoryView view(file.data(), file.size());
    TTiffSource src(view, 0);
    TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(ReadTiffHeader(src, &order, &first));
    EXPECT_TRUE(order.BigEndian);
    TTiffDirectory dir;
    ASSERT_TRUE(dir.Read(src, order, first));
    EXPECT_EQ(dir.UIntOr(tagImageWidth, 0), 258u);
    EXPECT_EQ(dir.UIntOr(tagImageLength, 0), 65536u);
    double real = 0;
    ASSERT_TRUE(dir.GetReal(tagXResolution, &real));
    EXPECT_DOUBLE_EQ(real, 72.0);
}

TEST(TiffDirectory, StructureInsideALargerStream)
{
    Bytes inner = makeTwoDirectories();
    Bytes outer = {'J', 'U', 'N', 'K', 'x'};
    outer.insert(outer.end(), inner.begin(), inner.end());
    TMemoryView view(outer.data(), outer.size());
    TTiffSource src(view, 5);
    TByteOrder order;
    uint32_t first = 0;
    ASSERT_TRUE(ReadTiffHeader(src, &order, &first));
    TTiffDirectory dir;
    ASSERT_TRUE(dir.Read(src, order, first));
    std::string text;
    ASSERT_TRUE(dir.GetString(tagImageDescription, &text));
    EXPECT_EQ(text, "A description");
}

TEST(TiffDirectory, DamagedStructuresEndCleanly)
{
    Bytes good = makeTwoDirectories();
    TByteOrder order;
    uint32_t first = 0;
    {
        TMemoryView v(good.data(), good.size());
        TTiffSource s(v, 0);
        ASSERT_TRUE(ReadTiffHeader(s, &order, &first));
    }
    auto put32 = [](Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    auto put16 = [](Bytes& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); };
    const size_t count = 8;
    const size_t nextField = first + 2 + count * 12;

    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool readable;       // the first directory can still be read
        size_t chainLength;  // directories the walk finds
        size_t entries;      // entries the first directory keeps
    };
    const Case cases[] = {
        {"loop to itself", [&](Bytes& b) { put32(b, nextField, first); }, true, 1, 8},
        {"next outside the file", [&](Bytes& b) { put32(b, nextField, 0x7FFFFFF0); }, true, 1, 8},
        {"absurd entry count", [&](Bytes& b) { put16(b, first, 60000); }, false, 0, 0},
        {"entry count beyond the data", [&](Bytes& b) { put16(b, first, 4000); }, false, 0, 0},
        {"first directory outside", [&](Bytes& b) { put32(b, 4, uint32_t(b.size() + 10)); }, false, 0, 0},
        {"value offset outside", [&](Bytes& b) { put32(b, first + 2 + 12 * 1 + 8, 0xFFFFFFF0); }, true, 2, 7},
        {"count overflowing", [&](Bytes& b) { put32(b, first + 2 + 12 * 1 + 4, 0x40000000); }, true, 2, 7},
        {"unknown type", [&](Bytes& b) { put16(b, first + 2 + 2, 99); }, true, 2, 7},
        {"truncated", [&](Bytes& b) { b.resize(first + 20); }, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = good;
        c.damage(b);
        TMemoryView v(b.data(), b.size());
        TTiffSource s(v, 0);
        uint32_t f = 0;
        ASSERT_TRUE(ReadTiffHeader(s, &order, &f));
        TTiffDirectory dir;
        EXPECT_EQ(dir.Read(s, order, f), c.readable);
        EXPECT_EQ(dir.Entries().size(), c.entries);
        EXPECT_EQ(WalkDirectoryChain(s, order, f).size(), c.chainLength);
    }

    // A two-directory loop is walked once.
    Bytes loop = good;
    auto chain = [&] {
        TMemoryView v(loop.data(), loop.size());
        TTiffSource s(v, 0);
        return WalkDirectoryChain(s, order, first);
    };
    auto original = chain();
    ASSERT_EQ(original.size(), 2u);
    put32(loop, original[1] + 2 + 12, first);
    EXPECT_EQ(chain().size(), 2u);
}

TEST(TiffDirectory, HeaderRejectsOtherData)
{
    const Bytes cases[] = {{}, {'I', 'I', 42}, {'I', 'M', 42, 0, 8, 0, 0, 0}, {'I', 'I', 43, 0, 8, 0, 0, 0},
                           {'M', 'M', 42, 0, 0, 0, 0, 8}};
    for (const Bytes& b : cases) {
        TMemoryView v(b.data(), b.size());
        TTiffSource s(v, 0);
        TByteOrder order;
        uint32_t first = 0;
        EXPECT_FALSE(ReadTiffHeader(s, &order, &first));
    }
}

}  // namespace
