// tessaron-cli describe and the EXIF fields of info.
#include <gtest/gtest.h>

#include "../imaging/PictureFiles.h"
#include "imaging/ImageIO.h"
#include "imaging/exif/Exif.h"
#include "support/TestSupport.h"

namespace {

using namespace picturefiles;

int cli(const std::string& args, std::string* out = nullptr)
{
    return testsupport::runCommand(std::string(TESSARON_CLI) + " " + args + " 2>/dev/null", out);
}

TEST(ExifCliTest, DescribeRewritesTheDescriptionAndInfoShowsIt)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    TImageIO io;
    auto photo = makePhoto(200, 100);
    io.Buffer()->Assign(*photo);
    io.Params.ExifPresent = true;
    io.Params.Make = "Canon";
    RebuildExifThumbnail(io.Params, *photo);
    ASSERT_TRUE(io.SaveToFileJpeg(path));

    EXPECT_EQ(cli("describe " + shellQuoted(path) + " 'Летний вечер'"), 0);
    std::string out;
    ASSERT_EQ(cli("info " + shellQuoted(path), &out), 0);
    EXPECT_NE(out.find("\"ImageDescription\": \"Летний вечер\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"Make\": \"Canon\""), std::string::npos);
    EXPECT_NE(out.find("\"ExifPresent\": true"), std::string::npos);
    EXPECT_NE(out.find("\"ExifThumbnailSize\": [160, 80]"), std::string::npos) << out;

    // A file that is not a JPEG is left unchanged with a failure status.
    const std::string tiff = dir.file("scan.tif");
    TImageIO tio;
    tio.Buffer()->Assign(*photo);
    ASSERT_TRUE(tio.SaveToFileTiff(tiff));
    const auto before = readBytes(tiff);
    EXPECT_EQ(cli("describe " + shellQuoted(tiff) + " text"), 1);
    EXPECT_EQ(readBytes(tiff), before);
    EXPECT_EQ(cli("describe " + shellQuoted(path)), 2);
}

}  // namespace
