// EXIF interoperability with exiftool: what we write reads the same there
// and passes its validation; what exiftool writes (both byte orders) reads
// the same here.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "ExifTestData.h"
#include "PictureFiles.h"
#include "imaging/ImageIO.h"
#include "imaging/exif/Exif.h"
#include "support/TestSupport.h"

namespace {

using namespace picturefiles;

// exiftool's short "Tag: value" lines as a map.
std::map<std::string, std::string> exiftoolTags(const std::string& args, const std::string& path)
{
    std::string out;
    EXPECT_EQ(testsupport::runCommand("exiftool -s -s -a " + args + " " + shellQuoted(path), &out), 0);
    std::map<std::string, std::string> tags;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) tags.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
    return tags;
}

class ExifInteropTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::haveTool("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    }
    testsupport::TempDir dir_;
};

TEST_F(ExifInteropTest, ExiftoolReadsWhatWeWrite)
{
    TImageIO io;
    auto photo = makePhoto(320, 240);
    io.Buffer()->Assign(*photo);
    exiftest::fillSample(io.Params);
    io.Params.ExifPresent = true;
    RebuildExifThumbnail(io.Params, *photo);
    const std::string path = dir_.file("ours.jpg");
    ASSERT_TRUE(io.SaveToFileJpeg(path));

    auto t = exiftoolTags("-n", path);
    const std::pair<const char*, const char*> expected[] = {
        {"Make", "Canon"},
        {"Model", "Canon EOS 5D Mark II"},
        {"ModifyDate", "2024:07:14 12:30:05"},
        {"DateTimeOriginal", "2024:07:14 12:30:00"},
        {"ImageDescription", "Прогулка по набережной, лето"},
        {"Orientation", "6"},
        {"ExposureTime", "0.004"},
        {"FNumber", "5.6"},
        {"FocalLength", "5000.5"},
        {"ExposureProgram", "3"},
        {"ExposureMode", "1"},
        {"GPSLatitude", "55.7559722222222"},
        {"GPSLongitude", "37.6178472222222"},
        {"GPSLatitudeRef", "N"},
        {"XPTitle", "Заголовок"},
        {"XPAuthor", "Автор"},
        {"UserComment", "Комментарий"},
        {"ShutterSpeedValue", "2.82842712474619"},
        {"ThumbnailLength", ""},
    };
    for (auto [tag, value] : expected) {
        SCOPED_TRACE(tag);
        ASSERT_TRUE(t.count(tag)) << "exiftool did not find the tag";
        if (*value) {
            EXPECT_EQ(t[tag], value);
        }
    }
    EXPECT_EQ(t["ISO"].substr(0, 3), "400");
    EXPECT_GT(std::stoi(t["ThumbnailLength"]), 1000);

    std::string out;
    testsupport::runCommand("exiftool -validate -warning -error -a " + shellQuoted(path) + " 2>&1", &out);
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;
}

TEST_F(ExifInteropTest, WeReadWhatExiftoolWrites)
{
    for (const char* order : {"II", "MM"}) {
        SCOPED_TRACE(order);
        TImageIO io;
        auto photo = makePhoto(64, 48);
        io.Buffer()->Assign(*photo);
        const std::string path = dir_.file(std::string("theirs") + order + ".jpg");
        ASSERT_TRUE(io.SaveToFileJpeg(path));
        const std::string cmd = std::string("exiftool -q -overwrite_original -n -ExifByteOrder=") + order +
                                " -Make=Nikon -Model='D90' -Orientation=8 -ExposureTime=0.0125 -FNumber=8"
                                " -FocalLength=35 -ISO=200 -ExposureProgram=2 -DateTimeOriginal='2023:01:02 03:04:05'"
                                " -ImageDescription='Зимний лес' -XPTitle='Заголовок' -GPSLatitude=55.5"
                                " -GPSLatitudeRef=N -GPSLongitude=37.25 -GPSLongitudeRef=E " +
                                shellQuoted(path);
        ASSERT_EQ(testsupport::runCommand(cmd), 0);
        TImageIO reader;
        ASSERT_TRUE(reader.ReadParamsFromFile(path));
        const TImageParams& p = reader.Params;
        EXPECT_TRUE(p.ExifPresent);
        EXPECT_EQ(p.Make, "Nikon");
        EXPECT_EQ(p.Model, "D90");
        EXPECT_EQ(p.Orientation, 8);
        EXPECT_DOUBLE_EQ(p.ExposureTime, 0.0125);
        EXPECT_DOUBLE_EQ(p.FNumber, 8);
        EXPECT_DOUBLE_EQ(p.FocalLength, 35);
        EXPECT_EQ(p.ISOSpeedRatings[0], 200);
        EXPECT_EQ(p.ExposureProgram, 2);
        EXPECT_EQ(p.DateTimeOriginal, "2023:01:02 03:04:05");
        EXPECT_EQ(p.ImageDescription, "Зимний лес");
        EXPECT_EQ(p.XPTitle, "Заголовок");
        EXPECT_EQ(p.GPSLatitudeRef, "N");
        EXPECT_NEAR(p.GPSLatitude[0] + p.GPSLatitude[1] / 60 + p.GPSLatitude[2] / 3600, 55.5, 1e-6);
        EXPECT_NEAR(p.GPSLongitude[0] + p.GPSLongitude[1] / 60 + p.GPSLongitude[2] / 3600, 37.25, 1e-6);
    }
}

}  // namespace
