// TImageBuffer in a temporary file: when it is chosen, row mapping, locked
// rows, copies and conversions, and that the file never outlives the buffer.
#include "imaging/ImageBuffer.h"
#include "imaging/ImagingSettings.h"
#include "imaging/RowFileBuffer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

class TempFileStorage : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = ImagingSettings();
        ImagingSettings().TempFolder = dir_.path().string();
        ImagingSettings().TempFileThreshold = 16;  // every picture goes to a file
    }
    void TearDown() override { ImagingSettings() = saved_; }

    // Open descriptors of this process that refer to something in the folder.
    int openFilesInFolder() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
            if (!ec && target.rfind(dir_.path().string() + "/", 0) == 0)
                ++count;
        }
        return count;
    }

    bool folderIsEmpty() const { return std::filesystem::is_empty(dir_.path()); }

    static uint8_t value(int x, int y, int c) { return uint8_t(x * 7 + y * 13 + c * 101); }

    static void paint(TImageBuffer& b)
    {
        for (int y = 0; y < b.Height(); ++y) {
            uint8_t* row = b.RowPointer(y);
            for (int x = 0; x < b.Width(); ++x)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = value(x, y, c);
        }
    }

    static void expectPainted(const TImageBuffer& b)
    {
        for (int y = b.Height() - 1; y >= 0; --y) {  // against the order of writing
            const uint8_t* row = b.RowPointer(y);
            for (int x = 0; x < b.Width(); ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(row[3 * x + c], value(x, y, c)) << x << "," << y;
        }
    }

    testsupport::TempDir dir_;
    TImagingSettings saved_;
};

TEST_F(TempFileStorage, PicturesAboveTheThresholdLiveInAnUnnamedFile)
{
    {
        TImageBuffer b(40, 30, px24RGB);
        ASSERT_EQ(b.Location(), locTempFile);
        EXPECT_EQ(openFilesInFolder(), 1);
        EXPECT_TRUE(folderIsEmpty());  // no name to leave behind if the process dies
        paint(b);
        expectPainted(b);
        EXPECT_EQ(b.GetPixelRGB(3, 4), (TRGB{value(3, 4, 0), value(3, 4, 1), value(3, 4, 2)}));
        b.Release();
        EXPECT_EQ(openFilesInFolder(), 0);
        TImageBuffer c(40, 30, px24RGB);
        EXPECT_EQ(openFilesInFolder(), 1);
    }
    EXPECT_EQ(openFilesInFolder(), 0);  // destroyed with its buffer
    EXPECT_TRUE(folderIsEmpty());
}

TEST_F(TempFileStorage, TheThresholdDecidesBothWays)
{
    const int64_t size = 12 * 10;  // 4 pixels of 3 bytes per row, 10 rows
    struct Row { TLocation requested; int64_t threshold; TLocation result; };
    const Row rows[] = {
        {locTempFile, size + 1, locInMemory},  // a small picture comes back to memory
        {locTempFile, size, locTempFile},
        {locInMemory, size, locInMemory},
        {locInMemory, size - 1, locTempFile},  // a large one goes to a file
        {locTBitmap, 0, locTBitmap},           // device bitmaps never move
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.requested) << " threshold " << r.threshold);
        TImageBuffer b;
        b.SetLocation(r.requested);
        b.SetTempFileThreshold(r.threshold);
        ASSERT_TRUE(b.Allocate(4, 10, px24RGB));
        EXPECT_EQ(b.Location(), r.result);
    }
}

TEST_F(TempFileStorage, DefaultThresholdComesFromPhysicalMemory)
{
    ImagingSettings().TempFileThreshold = -1;
    const int64_t memory = int64_t(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE);
    ASSERT_GT(memory, 0);
    EXPECT_EQ(PhysicalMemoryBytes(), memory);
    EXPECT_EQ(EffectiveTempFileThreshold(), int64_t(memory / 1.3));
    EXPECT_EQ(TImageBuffer().TempFileThreshold(), EffectiveTempFileThreshold());
    ImagingSettings().TempFileThreshold = 12345;
    EXPECT_EQ(TImageBuffer().TempFileThreshold(), 12345);
}

TEST_F(TempFileStorage, FallsBackToMemoryWhenNoFileCanBeMade)
{
    ImagingSettings().TempFolder = (dir_.path() / "missing").string();
    TImageBuffer b(40, 30, px24RGB);
    EXPECT_EQ(b.Location(), locInMemory);
    paint(b);
    expectPainted(b);
    EXPECT_THROW(TRowFileBuffer(ImagingSettings().TempFolder, 10, 10), std::runtime_error);
}

TEST_F(TempFileStorage, LockedRowsStayMappedTogether)
{
    TImageBuffer b(8, 6, px8g);
    ASSERT_EQ(b.Location(), locTempFile);
    uint8_t* r1 = b.LockRow(1);
    uint8_t* r4 = b.LockRow(4);
    ASSERT_NE(r1, r4);
    r1[0] = 11;
    b.RowPointer(2)[0] = 22;  // the single mapped row moves on...
    b.RowPointer(3)[0] = 33;
    r4[0] = 44;               // ...while the locked rows stay put
    EXPECT_EQ(b.RowPointer(1), r1);
    EXPECT_EQ(b.LockRow(1), r1);  // locks count
    b.UnlockRow(1);
    EXPECT_EQ(r1[0], 11);
    b.UnlockRow(1);
    b.UnlockRow(4);
    b.UnlockRow(5);  // not locked: nothing happens
    const uint8_t expect[6] = {0, 11, 22, 33, 44, 0};
    for (int y = 5; y >= 0; --y)
        EXPECT_EQ(b.RowPointer(y)[0], expect[y]) << y;

    // Locking the current row keeps what was written through RowPointer.
    b.RowPointer(5)[1] = 55;
    uint8_t* r5 = b.LockRow(5);
    EXPECT_EQ(r5[1], 55);
    b.UnlockRow(5);
    b.RowPointer(0);
    EXPECT_EQ(b.RowPointer(5)[1], 55);
}

TEST_F(TempFileStorage, RowAccessSkipsReadingOrWritingBack)
{
    TImageBuffer b(8, 3, px8g);
    b.Fill(9);
    b.SetRowAccess(raWrite);
    EXPECT_EQ(b.RowPointer(1)[0], 0);  // not read: a fresh row
    b.RowPointer(1)[0] = 5;
    b.SetRowAccess(raRead);
    EXPECT_EQ(b.RowPointer(1)[0], 5);
    EXPECT_EQ(b.RowPointer(2)[0], 9);
    b.RowPointer(2)[0] = 1;  // only read: never written back
    b.RowPointer(0);
    EXPECT_EQ(b.RowPointer(2)[0], 9);
}

TEST_F(TempFileStorage, CopiesAndConversionsKeepThePixels)
{
    // Over 1 MiB, so that the file-to-file copy takes more than one chunk.
    TImageBuffer b(700, 600, px24RGB);
    ASSERT_EQ(b.Location(), locTempFile);
    paint(b);

    TImageBuffer fileCopy;
    ASSERT_TRUE(fileCopy.Assign(b));
    EXPECT_EQ(fileCopy.Location(), locTempFile);
    expectPainted(fileCopy);

    ImagingSettings().TempFileThreshold = -1;
    TImageBuffer memoryCopy;
    ASSERT_TRUE(memoryCopy.CopyFrom(b));
    EXPECT_EQ(memoryCopy.Location(), locInMemory);
    expectPainted(memoryCopy);

    TImageBuffer grayInFile, grayInMemory;
    grayInFile.SetTempFileThreshold(16);
    grayInFile.Assign(b);
    grayInMemory.Assign(memoryCopy);
    ASSERT_TRUE(grayInFile.ConvertTo(px8g));
    ASSERT_TRUE(grayInMemory.ConvertTo(px8g));
    EXPECT_EQ(grayInFile.Location(), locTempFile);
    for (int y = 0; y < 600; y += 7)
        ASSERT_EQ(0, std::memcmp(grayInFile.RowPointer(y), grayInMemory.RowPointer(y), 700)) << y;

    b.SetLocation(locInMemory);
    EXPECT_EQ(b.Location(), locInMemory);
    expectPainted(b);
    b.SetLocation(locTempFile);
    EXPECT_EQ(b.Location(), locTempFile);
    expectPainted(b);

    ASSERT_TRUE(b.SetWidth(50));
    ASSERT_TRUE(b.SetHeight(40));
    expectPainted(b);

    TImageBuffer target(60, 60, px24RGB);
    target.SetLocation(locTempFile);
    b.CopyRect(target, 10, 10, 30, 30, 0, 0);
    EXPECT_EQ(target.GetPixelRGB(5, 7), b.GetPixelRGB(15, 17));
}

TEST_F(TempFileStorage, RowFileCopiesInChunks)
{
    const int64_t rowLen = TRowFileBuffer::CopyChunk / 4 + 3;
    TRowFileBuffer a(dir_.path().string(), rowLen, 9), b(dir_.path().string(), rowLen, 9);
    std::vector<uint8_t> row(static_cast<size_t>(rowLen));
    for (int y = 0; y < 9; ++y) {
        std::fill(row.begin(), row.end(), uint8_t(y + 1));
        row.back() = uint8_t(200 + y);
        a.WriteRow(y, row.data(), rowLen);
    }
    a.CopyTo(b);
    for (int y = 0; y < 9; ++y) {
        b.ReadRow(y, row.data(), rowLen);
        EXPECT_EQ(row.front(), y + 1);
        EXPECT_EQ(row.back(), 200 + y);
    }
    EXPECT_EQ(TRowFileBuffer::CopyChunk, 1048576);
}

}  // namespace
