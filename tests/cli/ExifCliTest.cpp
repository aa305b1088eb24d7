// tessaron-cli describe and the EXIF fields of info; exiftool's validation
// of the EXIF block that convert writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

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

// A camera-like photo made by exiftool (every field of the block, a JPEG
// thumbnail in an IFD1 without ImageWidth, as cameras write it), converted
// by tessaron-cli: the block written back passes exiftool's validation with
// exactly the warnings below. Each comes from the block's fixed layout, not
// from a fault: version texts and short GPS references are written as ASCII
// of their own length, FileSource and SceneType as SHORT, the EXIF directory
// holds a fixed set of tags (no ComponentsConfiguration), and IFD1 describes
// the thumbnail with the full set of TIFF picture tags.
TEST(ExifCliTest, ConvertedPhotoPassesExiftoolValidationWithOnlyTheLayoutWarnings)
{
    REQUIRE_TOOL("exiftool");
    testsupport::TempDir dir;
    const std::string src = dir.file("camera.jpg");
    const std::string thumb = dir.file("thumb.jpg");
    const std::string out = dir.file("out.jpg");
    {
        TImageIO io;
        io.Buffer()->Assign(*makePhoto(320, 240));
        ASSERT_TRUE(io.SaveToFileJpeg(src));
        TImageIO small;
        small.Buffer()->Assign(*makePhoto(160, 120));
        ASSERT_TRUE(small.SaveToFileJpeg(thumb));
    }
    const std::string tags =
        "-Make=Canon '-Model=Canon EOS 5D' -Orientation#=1 -XResolution=72 -YResolution=72 -ResolutionUnit=inches "
        "-Software=Cam '-ModifyDate=2024:07:14 12:30:05' -Artist=Me -Copyright=C -ImageDescription=Walk "
        "-XPTitle=Title -XPComment=Hi -XPAuthor=Me -XPKeywords=k -XPSubject=s "
        "'-WhitePoint=0.3127 0.329' '-PrimaryChromaticities=0.64 0.33 0.3 0.6 0.15 0.06' "
        "'-YCbCrCoefficients=0.299 0.587 0.114' -YCbCrPositioning#=1 '-ReferenceBlackWhite=0 255 128 255 128 255' "
        "-ExposureTime=0.004 -FNumber=5.6 -ExposureProgram#=3 -ISO=400 -ExifVersion=0230 -FlashpixVersion=0100 "
        "'-DateTimeOriginal=2024:07:14 12:30:00' '-CreateDate=2024:07:14 12:30:00' -CompressedBitsPerPixel=4 "
        "-ShutterSpeedValue=0.004 -ApertureValue=5.6 -BrightnessValue=-1.5 -ExposureCompensation=-0.7 "
        "-MaxApertureValue=4 -SubjectDistance=3 -MeteringMode#=5 -LightSource#=1 -Flash#=16 -FocalLength=50 "
        "-UserComment=Hello -SubSecTime=12 -SubSecTimeOriginal=12 -SubSecTimeDigitized=12 -ColorSpace#=1 "
        "-ExifImageWidth=320 -ExifImageHeight=240 -RelatedSoundFile=ABCD0001.WAV -FocalPlaneXResolution=3000 "
        "-FocalPlaneYResolution=3000 -FocalPlaneResolutionUnit#=2 -ExposureIndex=400 -SensingMethod#=2 "
        "-FileSource#=3 -SceneType#=1 -ExposureMode#=0 -WhiteBalance#=0 -DigitalZoomRatio=1 "
        "-FocalLengthIn35mmFormat=80 -SceneCaptureType#=0 -GainControl#=0 -Contrast#=0 -Saturation#=0 "
        "-Sharpness#=0 -SubjectDistanceRange#=0 -ImageUniqueID=0123456789abcdef0123456789abcdef "
        "-GPSVersionID=2.2.0.0 -GPSLatitude=55.75 -GPSLatitudeRef=N -GPSLongitude=37.61 -GPSLongitudeRef=E "
        "-GPSAltitude=150 -GPSAltitudeRef#=0 -GPSTimeStamp=12:30:00 -GPSSatellites=5 -GPSMeasureMode=3 "
        "-GPSDOP=1.5 -GPSTrackRef=T -GPSTrack=90 -GPSMapDatum=WGS-84 -GPSDateStamp=2024:07:14 ";
    std::string log;
    ASSERT_EQ(testsupport::runCommand("exiftool -q -overwrite_original " + tags + "'-ThumbnailImage<=" + thumb + "' " +
                                          shellQuoted(src) + " 2>&1",
                                      &log),
              0)
        << log;
    ASSERT_EQ(cli("convert " + shellQuoted(src) + " " + shellQuoted(out)), 0);

    // The thumbnail came through (read from an IFD1 without a size).
    std::string info;
    ASSERT_EQ(cli("info " + shellQuoted(out), &info), 0);
    EXPECT_NE(info.find("\"ExifThumbnailSize\": [160, 120]"), std::string::npos) << info;

    std::string report;
    testsupport::runCommand("exiftool -validate -warning -error -a " + shellQuoted(out) + " 2>&1", &report);
    std::vector<std::string> warnings;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.find("Error"), std::string::npos) << line;
        const size_t colon = line.find(": ");
        if (line.rfind("Warning", 0) == 0 && colon != std::string::npos) warnings.push_back(line.substr(colon + 2));
    }
    std::vector<std::string> expected = {
        "Non-standard format (string) for ExifIFD 0x9000 ExifVersion",
        "Non-standard format (string) for ExifIFD 0xa000 FlashpixVersion",
        "Non-standard format (int16u) for ExifIFD 0xa300 FileSource",
        "Non-standard format (int16u) for ExifIFD 0xa301 SceneType",
        "Missing required JPEG ExifIFD tag 0x9101 ComponentsConfiguration",
        "Non-standard count (1) for GPS 0x0001 GPSLatitudeRef",
        "Non-standard count (1) for GPS 0x0003 GPSLongitudeRef",
        "Non-standard count (1) for GPS 0x000a GPSMeasureMode",
        "Non-standard count (1) for GPS 0x000e GPSTrackRef",
    };
    for (const char* tag : {"0x0100 ImageWidth", "0x0101 ImageHeight", "0x0102 BitsPerSample",
                            "0x0106 PhotometricInterpretation", "0x0111 StripOffsets", "0x0115 SamplesPerPixel",
                            "0x0116 RowsPerStrip", "0x0117 StripByteCounts", "0x0212 YCbCrSubSampling"})
        expected.push_back(std::string("[minor] IFD1 tag ") + tag + " is not allowed in JPEG");
    std::sort(warnings.begin(), warnings.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(warnings, expected) << report;
}

}  // namespace
