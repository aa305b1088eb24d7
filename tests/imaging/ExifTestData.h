#pragma once
// A set of EXIF fields with a value in every field, and a field-by-field
// comparison, shared by the EXIF tests.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/ImageParams.h"
#include "imaging/exif/ExifFields.h"

namespace exiftest {

inline void fillSample(TExifParams& p)
{
    p.ImageDescription = "Прогулка по набережной, лето";
    p.Make = "Canon";
    p.Model = "Canon EOS 5D Mark II";
    p.Orientation = 6;
    p.XResolution = 240;
    p.YResolution = 180;
    p.Software = "Tessaron";
    p.DateTime = "2024:07:14 12:30:05";
    p.Artist = "Иван Петров";
    p.WhitePoint = {0.3127, 0.329};
    p.PrimaryChromaticities = {0.64, 0.33, 0.3, 0.6, 0.15, 0.06};
    p.YCbCrCoefficients = {0.299, 0.587, 0.114};
    p.YCbCrPositioning = 2;
    p.ReferenceBlackWhite = {0, 255, 128, 255, 128, 255};
    p.Copyright = "(c) 2024";
    p.XPTitle = "Заголовок";
    p.XPComment = "Comment";
    p.XPAuthor = "Автор";
    p.XPKeywords = "sea;summer";
    p.XPSubject = "Тема";
    p.ExposureTime = 0.004;
    p.FNumber = 5.6;
    p.ExposureProgram = 3;
    p.ISOSpeedRatings = {400, 0};
    p.ExifVersion = "0220";
    p.DateTimeOriginal = "2024:07:14 12:30:00";
    p.DateTimeDigitized = "2024:07:14 12:30:01";
    p.CompressedBitsPerPixel = 3;
    p.ShutterSpeedValue = -1.5;
    p.ApertureValue = 4.97;
    p.BrightnessValue = -0.25;
    p.ExposureBiasValue = -0.666667;
    p.MaxApertureValue = 4;
    p.SubjectDistance = 12.5;
    p.MeteringMode = 5;
    p.LightSource = 1;
    p.Flash = 16;
    p.FocalLength = 5000.5;
    p.UserComment = "Комментарий";
    p.UserCommentCode = std::string("ASCII\0\0\0", 8);
    p.SubsecTime = "12";
    p.SubsecTimeOriginal = "34";
    p.SubsecTimeDigitized = "56";
    p.FlashPixVersion = "0100";
    p.ColorSpace = 1;
    p.PixelXDimension = 4000;
    p.PixelYDimension = 3000;
    p.RelatedSoundFile = "SND00001.WAV";
    p.FocalPlaneXResolution = 3000.5;
    p.FocalPlaneYResolution = 2999.25;
    p.FocalPlaneResolutionUnit = 2;
    p.ExposureIndex = 400;
    p.SensingMethod = 2;
    p.FileSource = 3;
    p.SceneType = 1;
    p.ExposureMode = 1;
    p.WhiteBalance = 0;
    p.DigitalZoomRatio = 1.5;
    p.FocalLengthIn35mmFilm = 50;
    p.SceneCaptureType = 0;
    p.GainControl = 2;
    p.Contrast = 1;
    p.Saturation = 0;
    p.Sharpness = 2;
    p.SubjectDistanceRange = 3;
    p.ImageUniqueID = "0123456789abcdef0123456789abcdef";
    p.GPSVersionID = "2.2.0.0";
    p.GPSLatitudeRef = "N";
    p.GPSLatitude = {55, 45, 21.5};
    p.GPSLongitudeRef = "E";
    p.GPSLongitude = {37, 37, 4.25};
    p.GPSAltitudeRef = "0";
    p.GPSAltitude = 156.5;
    p.GPSTimeStamp = {9, 30, 5};
    p.GPSSatellites = "7";
    p.GPSStatus = "A";
    p.GPSMeasureMode = "3";
    p.GPSDOP = 1.25;
    p.GPSSpeedRef = "K";
    p.GPSSpeed = 3.5;
    p.GPSTrackRef = "T";
    p.GPSTrack = 120.5;
    p.GPSImgDirectionRef = "M";
    p.GPSImgDirection = 270.25;
    p.GPSMapDatum = "WGS-84";
    p.GPSDestLatitudeRef = "S";
    p.GPSDestLatitude = {10, 20, 30};
    p.GPSDestLongitudeRef = "W";
    p.GPSDestLongitude = {40, 50, 0.5};
    p.GPSDestBearingRef = "T";
    p.GPSDestBearing = 45.5;
    p.GPSDestDistanceRef = "K";
    p.GPSDestDistance = 2.75;
    p.GPSDateStamp = "2024:07:14";
}

// Every EXIF field of `back` equals the one of `want` (reals to the
// precision of their rational).
inline void expectSameFields(const TExifParams& want, const TExifParams& back)
{
    using namespace exif;
    auto& w = const_cast<TExifParams&>(want);
    auto& b = const_cast<TExifParams&>(back);
    for (const TStrField& f : StringFields()) EXPECT_EQ(back.*f.Member, want.*f.Member) << f.Name;
    for (const TWideField& f : WideFields()) EXPECT_EQ(back.*f.Member, want.*f.Member) << f.Name;
    for (const TIntField& f : IntFields()) EXPECT_EQ(back.*f.Member, want.*f.Member) << f.Name;
    for (const TRealField& f : RealFields()) EXPECT_NEAR(back.*f.Member, want.*f.Member, 1e-5) << f.Name;
    for (const TRealsField& f : RealListFields()) {
        auto a = f.Values(w), c = f.Values(b);
        for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(c[i], a[i], 1e-5) << f.Name << i;
    }
    EXPECT_EQ(back.Orientation, want.Orientation);
    EXPECT_EQ(back.XResolution, std::trunc(want.XResolution));
    EXPECT_EQ(back.YResolution, std::trunc(want.YResolution));
    EXPECT_EQ(back.ISOSpeedRatings, want.ISOSpeedRatings);
    EXPECT_EQ(back.UserComment, want.UserComment);
    EXPECT_EQ(back.UserCommentCode, want.UserCommentCode);
    EXPECT_EQ(back.GPSVersionID, want.GPSVersionID);
    EXPECT_EQ(back.GPSAltitudeRef, want.GPSAltitudeRef);
}

}  // namespace exiftest
