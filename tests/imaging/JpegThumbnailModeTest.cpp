// The JPEG reader's thumbnail mode: at every reduction it decodes exactly as
// djpeg does with the fast DCT and plain upsampling (-nosmooth), keeps the
// sizes of a normal read, stays close to a normal read's pixels, and a
// normal read beside it still decodes as djpeg's defaults do.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "PictureFiles.h"
#include "imaging/ImageIO.h"
#include "support/TestSupport.h"

using namespace picturefiles;

namespace {

// djpeg's decoding with the fast DCT and the given options.
TRaster djpegFast(const testsupport::TempDir& dir, const std::string& jpeg, const std::string& options)
{
    const std::string out = dir.file("djpeg.pnm");
    EXPECT_EQ(0, testsupport::runCommand("djpeg -dct fast " + options + " -outfile " + shellQuoted(out) + " " +
                                         shellQuoted(jpeg)));
    TRaster r;
    EXPECT_TRUE(readNetpbm(out, r));
    return r;
}

// Reads `path` for a 102 x 100 cell with the reduction `scale` (0 = automatic).
void readForCell(const std::string& path, TImageIO& io, uint8_t scale, bool thumbnailMode)
{
    io.Params.JpegScale = scale;
    io.Params.Width = 102;
    io.Params.Height = 100;
    io.Params.JpegThumbnailMode = thumbnailMode;
    ASSERT_TRUE(io.LoadFromFile(path));
    ASSERT_FALSE(io.Aborting);
}

double meanDifference(const TRaster& a, const TRaster& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i)
        sum += std::abs(int(a.samples[i]) - int(b.samples[i]));
    return a.samples.empty() ? 0 : sum / double(a.samples.size());
}

}  // namespace

TEST(JpegThumbnailMode, DecodesLikeFastPlainDjpegAtEveryReduction)
{
    REQUIRE_TOOL("djpeg");
    struct Case {
        const char* name;
        int width, height;
        uint8_t scale;  // JpegScale asked for
        int used;       // denominator expected
        bool progressive;
    };
    // Pictures not much larger than the cell are read at full size, where
    // the plain upsampling shows; large ones are reduced.
    const Case cases[] = {
        {"full size", 120, 90, 0, 1, false},
        {"full size, progressive", 121, 93, 0, 1, true},
        {"half", 250, 210, 0, 2, false},
        {"eighth", 900, 820, 0, 8, false},
        {"eighth, progressive", 901, 823, 0, 8, true},
        {"quarter asked for", 203, 150, 3, 4, false},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".jpg");
        {
            TImageIO writer;
            *writer.Buffer() = std::move(*makePhoto(c.width, c.height));
            writer.Params.JpegProgressive = c.progressive;
            writer.Params.JpegQuality = 85;
            ASSERT_TRUE(writer.SaveToFileJpeg(path));
        }
        TImageIO normal, thumbnail;
        readForCell(path, normal, c.scale, false);
        readForCell(path, thumbnail, c.scale, true);
        const std::string scale = " -scale 1/" + std::to_string(c.used);

        EXPECT_EQ(thumbnail.Params.JpegScaleUsed, c.used);
        EXPECT_EQ(normal.Params.JpegScaleUsed, c.used);
        EXPECT_EQ(thumbnail.Params.JpegOriginalWidth, c.width) << "the full size is the file's";
        EXPECT_EQ(thumbnail.Params.JpegOriginalHeight, c.height);
        EXPECT_EQ(thumbnail.Buffer()->Width(), (c.width + c.used - 1) / c.used);
        EXPECT_EQ(thumbnail.Buffer()->Height(), (c.height + c.used - 1) / c.used);
        EXPECT_EQ(thumbnail.Params.JpegProgressive, c.progressive);

        const TRaster thumb = rasterOf(*thumbnail.Buffer());
        const TRaster plain = djpegFast(dir, path, "-nosmooth" + scale);
        ASSERT_EQ(thumb.width, plain.width);
        ASSERT_EQ(thumb.height, plain.height);
        EXPECT_EQ(worstDifference(plain, thumb), 0) << "thumbnail mode against djpeg -nosmooth";

        const TRaster full = rasterOf(*normal.Buffer());
        EXPECT_EQ(worstDifference(djpegFast(dir, path, scale), full), 0) << "a normal read keeps fancy upsampling";
        // Only the chroma at colour edges moves (the test picture is dense
        // with them); a wrong colour order or a shifted row would be far off.
        EXPECT_LT(meanDifference(full, thumb), 4.0);
        if (c.used == 1)
            EXPECT_GT(worstDifference(full, thumb), 0) << "plain upsampling was not used";
    }
}

TEST(JpegThumbnailMode, IsOffUnlessAskedForAndOverridesTheSlowDct)
{
    EXPECT_FALSE(TImageParams().JpegThumbnailMode);

    testsupport::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    {
        TImageIO writer;
        *writer.Buffer() = std::move(*makePhoto(64, 48));
        ASSERT_TRUE(writer.SaveToFileJpeg(path));
    }
    // In a normal read the accurate DCT shows in the pixels of this picture...
    TImageIO accurateNormal, fastNormal;
    accurateNormal.Params.JpegDctMethod = 0;
    readForCell(path, accurateNormal, 1, false);
    readForCell(path, fastNormal, 1, false);
    ASSERT_GT(worstDifference(rasterOf(*accurateNormal.Buffer()), rasterOf(*fastNormal.Buffer())), 0);
    // ...but the thumbnail mode takes the fast one whatever the caller set.
    TImageIO accurate, fast;
    accurate.Params.JpegDctMethod = 0;
    readForCell(path, accurate, 1, true);
    readForCell(path, fast, 1, true);
    EXPECT_EQ(worstDifference(rasterOf(*accurate.Buffer()), rasterOf(*fast.Buffer())), 0);
}
