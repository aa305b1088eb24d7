// The grid's thumbnail decoding takes the JPEG reader's quicker thumbnail
// mode, while an ordinary load of the same file keeps the full-quality
// decoding the editor shows and saves.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <string>

#include "imaging/ImageIO.h"
#include "platform/ThumbnailLoader.h"
#include "support/TestSupport.h"

namespace {

// A picture of sharp colour edges, where plain and smooth chroma
// upsampling give different pixels.
TImageBuffer colourEdges(int width, int height)
{
    TImageBuffer picture(width, height, px24RGB);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.RowPointer(y);
        for (int x = 0; x < width; ++x) {
            const bool band = (x / 3 + y / 5) % 2 != 0;
            row[x * 3] = band ? 230 : 20;
            row[x * 3 + 1] = uint8_t(x * 2);
            row[x * 3 + 2] = band ? 30 : 210;
        }
    }
    return picture;
}

// Bytes of the buffer's rows that differ from the image's (both blue,
// green, red), -1 when the sizes differ.
long differingBytes(const QImage& image, TImageBuffer& buffer)
{
    if (image.format() != QImage::Format_BGR888 || image.width() != buffer.Width() ||
        image.height() != buffer.Height())
        return -1;
    long differing = 0;
    for (int y = 0; y < buffer.Height(); ++y) {
        const uint8_t* a = image.constScanLine(y);
        const uint8_t* b = buffer.RowPointer(y);
        for (int i = 0; i < buffer.Width() * 3; ++i)
            differing += a[i] != b[i] ? 1 : 0;
    }
    return differing;
}

}  // namespace

TEST(ThumbnailLoad, JpegThumbnailsUseTheThumbnailModeAndFullLoadsDoNot)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("edges.jpg");
    TImageBuffer source = colourEdges(100, 75);
    {
        TImageIO writer(&source);
        ASSERT_TRUE(writer.SaveToFile(path));
    }
    // Smaller than the 102 x 100 cell: read at full size and not resampled,
    // so the thumbnail holds the reader's pixels as they came.
    const tessaron::TThumbnailResult r = tessaron::LoadThumbnail({QString::fromStdString(path), QSize(102, 100), 1, 1, 0});
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.decodedSize, QSize(100, 75));
    ASSERT_EQ(r.fullSize, QSize(100, 75));

    TImageIO quick;
    quick.Params.JpegThumbnailMode = true;
    ASSERT_TRUE(quick.LoadFromFile(path));
    EXPECT_EQ(differingBytes(r.thumbnail, *quick.Buffer()), 0) << "the thumbnail is the thumbnail mode's decoding";

    TImageIO full;
    ASSERT_TRUE(full.LoadFromFile(path));
    EXPECT_FALSE(full.Params.JpegThumbnailMode);
    EXPECT_GT(differingBytes(r.thumbnail, *full.Buffer()), 0) << "a full load decodes with smooth upsampling";
}
