#include "imaging/exif/ExifParams.h"

#include <vector>

#include "imaging/exif/ExifFields.h"

namespace exif {

namespace {

using P = TExifParams;
using D = TExifDir;
using S = TStrStyle;

const TStrField kStrings[] = {
    {D::Ifd0, 270, "ImageDescription", &P::ImageDescription, S::Ascii},
    {D::Ifd0, 271, "Make", &P::Make, S::Ascii},
    {D::Ifd0, 272, "Model", &P::Model, S::Ascii},
    {D::Ifd0, 305, "Software", &P::Software, S::Ascii},
    {D::Ifd0, 306, "DateTime", &P::DateTime, S::Ascii},
    {D::Ifd0, 315, "Artist", &P::Artist, S::Ascii},
    {D::Ifd0, 33432, "Copyright", &P::Copyright, S::Ascii},
    {D::Exif, 36864, "ExifVersion", &P::ExifVersion, S::Version},
    {D::Exif, 36867, "DateTimeOriginal", &P::DateTimeOriginal, S::Ascii},
    {D::Exif, 36868, "DateTimeDigitized", &P::DateTimeDigitized, S::Ascii},
    {D::Exif, 37520, "SubsecTime", &P::SubsecTime, S::Ascii},
    {D::Exif, 37521, "SubsecTimeOriginal", &P::SubsecTimeOriginal, S::Ascii},
    {D::Exif, 37522, "SubsecTimeDigitized", &P::SubsecTimeDigitized, S::Ascii},
    {D::Exif, 40960, "FlashPixVersion", &P::FlashPixVersion, S::OwnLength},
    {D::Exif, 40964, "RelatedSoundFile", &P::RelatedSoundFile, S::Ascii},
    {D::Exif, 42016, "ImageUniqueID", &P::ImageUniqueID, S::Ascii},
    {D::Gps, 1, "GPSLatitudeRef", &P::GPSLatitudeRef, S::ShortRef},
    {D::Gps, 3, "GPSLongitudeRef", &P::GPSLongitudeRef, S::ShortRef},
    {D::Gps, 8, "GPSSatellites", &P::GPSSatellites, S::Ascii},
    {D::Gps, 9, "GPSStatus", &P::GPSStatus, S::ShortRef},
    {D::Gps, 10, "GPSMeasureMode", &P::GPSMeasureMode, S::ShortRef},
    {D::Gps, 12, "GPSSpeedRef", &P::GPSSpeedRef, S::ShortRef},
    {D::Gps, 14, "GPSTrackRef", &P::GPSTrackRef, S::ShortRef},
    {D::Gps, 16, "GPSImgDirectionRef", &P::GPSImgDirectionRef, S::ShortRef},
    {D::Gps, 18, "GPSMapDatum", &P::GPSMapDatum, S::Ascii},
    {D::Gps, 19, "GPSDestLatitudeRef", &P::GPSDestLatitudeRef, S::ShortRef},
    {D::Gps, 21, "GPSDestLongitudeRef", &P::GPSDestLongitudeRef, S::ShortRef},
    {D::Gps, 23, "GPSDestBearingRef", &P::GPSDestBearingRef, S::ShortRef},
    {D::Gps, 25, "GPSDestDistanceRef", &P::GPSDestDistanceRef, S::ShortRef},
    {D::Gps, 29, "GPSDateStamp", &P::GPSDateStamp, S::Ascii},
};

const TIntField kInts[] = {
    {D::Ifd0, 531, "YCbCrPositioning", &P::YCbCrPositioning, false},
    {D::Exif, 34850, "ExposureProgram", &P::ExposureProgram, false},
    {D::Exif, 37383, "MeteringMode", &P::MeteringMode, false},
    {D::Exif, 37384, "LightSource", &P::LightSource, false},
    {D::Exif, 37385, "Flash", &P::Flash, false},
    {D::Exif, 40961, "ColorSpace", &P::ColorSpace, false},
    {D::Exif, 40962, "PixelXDimension", &P::PixelXDimension, false},
    {D::Exif, 40963, "PixelYDimension", &P::PixelYDimension, false},
    {D::Exif, 41488, "FocalPlaneResolutionUnit", &P::FocalPlaneResolutionUnit, false},
    {D::Exif, 41495, "SensingMethod", &P::SensingMethod, false},
    {D::Exif, 41728, "FileSource", &P::FileSource, false},
    {D::Exif, 41729, "SceneType", &P::SceneType, false},
    {D::Exif, 41986, "ExposureMode", &P::ExposureMode, true},
    {D::Exif, 41987, "WhiteBalance", &P::WhiteBalance, true},
    {D::Exif, 41989, "FocalLengthIn35mmFilm", &P::FocalLengthIn35mmFilm, true},
    {D::Exif, 41990, "SceneCaptureType", &P::SceneCaptureType, true},
    {D::Exif, 41991, "GainControl", &P::GainControl, true},
    {D::Exif, 41992, "Contrast", &P::Contrast, true},
    {D::Exif, 41993, "Saturation", &P::Saturation, true},
    {D::Exif, 41994, "Sharpness", &P::Sharpness, true},
    {D::Exif, 41996, "SubjectDistanceRange", &P::SubjectDistanceRange, true},
};

const TRealField kReals[] = {
    {D::Exif, 33434, "ExposureTime", &P::ExposureTime, false, false},
    {D::Exif, 33437, "FNumber", &P::FNumber, false, false},
    {D::Exif, 37122, "CompressedBitsPerPixel", &P::CompressedBitsPerPixel, false, false},
    {D::Exif, 37377, "ShutterSpeedValue", &P::ShutterSpeedValue, false, true},
    {D::Exif, 37378, "ApertureValue", &P::ApertureValue, false, false},
    {D::Exif, 37379, "BrightnessValue", &P::BrightnessValue, false, true},
    {D::Exif, 37380, "ExposureBiasValue", &P::ExposureBiasValue, false, true},
    {D::Exif, 37381, "MaxApertureValue", &P::MaxApertureValue, false, false},
    {D::Exif, 37382, "SubjectDistance", &P::SubjectDistance, false, false},
    {D::Exif, 37386, "FocalLength", &P::FocalLength, false, false},
    {D::Exif, 41486, "FocalPlaneXResolution", &P::FocalPlaneXResolution, false, false},
    {D::Exif, 41487, "FocalPlaneYResolution", &P::FocalPlaneYResolution, false, false},
    {D::Exif, 41493, "ExposureIndex", &P::ExposureIndex, false, false},
    {D::Exif, 41988, "DigitalZoomRatio", &P::DigitalZoomRatio, true, false},
    {D::Gps, 6, "GPSAltitude", &P::GPSAltitude, false, false},
    {D::Gps, 11, "GPSDOP", &P::GPSDOP, false, false},
    {D::Gps, 13, "GPSSpeed", &P::GPSSpeed, false, false},
    {D::Gps, 15, "GPSTrack", &P::GPSTrack, false, false},
    {D::Gps, 17, "GPSImgDirection", &P::GPSImgDirection, false, false},
    {D::Gps, 24, "GPSDestBearing", &P::GPSDestBearing, false, false},
    {D::Gps, 26, "GPSDestDistance", &P::GPSDestDistance, false, false},
};

template <size_t N, std::array<double, N> TExifParams::*M>
std::span<double> valuesOf(TExifParams& p)
{
    return {(p.*M).data(), N};
}

const TRealsField kRealLists[] = {
    {D::Ifd0, 318, "WhitePoint", &valuesOf<2, &P::WhitePoint>},
    {D::Ifd0, 319, "PrimaryChromaticities", &valuesOf<6, &P::PrimaryChromaticities>},
    {D::Ifd0, 529, "YCbCrCoefficients", &valuesOf<3, &P::YCbCrCoefficients>},
    {D::Ifd0, 532, "ReferenceBlackWhite", &valuesOf<6, &P::ReferenceBlackWhite>},
    {D::Gps, 2, "GPSLatitude", &valuesOf<3, &P::GPSLatitude>},
    {D::Gps, 4, "GPSLongitude", &valuesOf<3, &P::GPSLongitude>},
    {D::Gps, 7, "GPSTimeStamp", &valuesOf<3, &P::GPSTimeStamp>},
    {D::Gps, 20, "GPSDestLatitude", &valuesOf<3, &P::GPSDestLatitude>},
    {D::Gps, 22, "GPSDestLongitude", &valuesOf<3, &P::GPSDestLongitude>},
};

const TWideField kWide[] = {
    {40091, "XPTitle", &P::XPTitle},
    {40092, "XPComment", &P::XPComment},
    {40093, "XPAuthor", &P::XPAuthor},
    {40094, "XPKeywords", &P::XPKeywords},
    {40095, "XPSubject", &P::XPSubject},
};

}  // namespace

std::span<const TStrField> StringFields() { return kStrings; }
std::span<const TIntField> IntFields() { return kInts; }
std::span<const TRealField> RealFields() { return kReals; }
std::span<const TRealsField> RealListFields() { return kRealLists; }
std::span<const TWideField> WideFields() { return kWide; }

}  // namespace exif

void TExifParams::VisitFields(TParamsFieldVisitor& v) const
{
    using namespace exif;
    v.Bool("ExifPresent", ExifPresent);
    const TImageBuffer* thumb = ExifThumbnail.Get();
    v.IntList("ExifThumbnailSize", {thumb ? thumb->Width() : 0, thumb ? thumb->Height() : 0});
    v.Int("Orientation", Orientation);
    v.Real("XResolution", XResolution);
    v.Real("YResolution", YResolution);
    v.Int("ResolutionUnit", ResolutionUnit);
    for (const TStrField& f : StringFields()) v.Text(f.Name, this->*f.Member);
    for (const TWideField& f : WideFields()) v.Text(f.Name, this->*f.Member);
    for (const TIntField& f : IntFields()) v.Int(f.Name, this->*f.Member);
    for (const TRealField& f : RealFields()) v.Real(f.Name, this->*f.Member);
    auto& self = const_cast<TExifParams&>(*this);
    for (const TRealsField& f : RealListFields()) {
        // Lists of reals go out as text, one number per entry.
        std::vector<std::string> texts;
        for (double d : f.Values(self)) texts.push_back(std::to_string(d));
        v.TextList(f.Name, texts);
    }
    v.IntList("ISOSpeedRatings", {ISOSpeedRatings[0], ISOSpeedRatings[1]});
    v.Text("UserComment", UserComment);
    v.Text("UserCommentCode", UserCommentCode);
    v.Int("MakerNoteLength", int64_t(MakerNote.size()));
    v.Text("GPSVersionID", GPSVersionID);
    v.Text("GPSAltitudeRef", GPSAltitudeRef);
}
