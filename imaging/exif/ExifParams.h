#pragma once
// The EXIF fields of the parameters record: camera data, description and
// the small thumbnail of a photo's EXIF block. Strings hold UTF-8 text (see
// ExifText.h for how 8-bit text of older files is read); the Windows XP
// strings are kept as UTF-8 too and stored as UTF-16LE in the file.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageBuffer.h"
#include "imaging/ParamsFieldVisitor.h"

// An owned picture that copies deeply, so the parameters record stays an
// ordinary copyable value while it owns its EXIF thumbnail.
class TExifThumbnailBox {
public:
    TExifThumbnailBox() = default;
    TExifThumbnailBox(const TExifThumbnailBox& other) { *this = other; }
    TExifThumbnailBox& operator=(const TExifThumbnailBox& other)
    {
        if (this != &other) {
            picture_.reset();
            if (other.picture_ && !other.picture_->IsEmpty()) {
                auto copy = std::make_unique<TImageBuffer>();
                if (copy->Assign(*other.picture_)) picture_ = std::move(copy);
            }
        }
        return *this;
    }
    TExifThumbnailBox(TExifThumbnailBox&&) noexcept = default;
    TExifThumbnailBox& operator=(TExifThumbnailBox&&) noexcept = default;

    bool IsEmpty() const { return !picture_ || picture_->IsEmpty(); }
    // nullptr when empty.
    const TImageBuffer* Get() const { return IsEmpty() ? nullptr : picture_.get(); }
    TImageBuffer* Get() { return IsEmpty() ? nullptr : picture_.get(); }
    void Set(std::unique_ptr<TImageBuffer> picture) { picture_ = std::move(picture); }
    void Clear() { picture_.reset(); }

private:
    std::unique_ptr<TImageBuffer> picture_;
};

struct TExifParams {
    // The last read found an EXIF block; saving writes EXIF data only then.
    bool ExifPresent = false;
    TExifThumbnailBox ExifThumbnail;

    // ---- IFD0 ----
    std::string ImageDescription;
    std::string Make;
    std::string Model;
    int Orientation = 0;
    double XResolution = 0;
    double YResolution = 0;
    int ResolutionUnit = 0;
    std::string Software;
    std::string DateTime;
    std::string Artist;
    std::array<double, 2> WhitePoint{};
    std::array<double, 6> PrimaryChromaticities{};
    std::array<double, 3> YCbCrCoefficients{};
    int YCbCrPositioning = 0;
    std::array<double, 6> ReferenceBlackWhite{};
    std::string Copyright;
    std::string XPTitle;
    std::string XPComment;
    std::string XPAuthor;
    std::string XPKeywords;
    std::string XPSubject;

    // ---- EXIF sub-directory ----
    double ExposureTime = 0;
    double FNumber = 0;
    int ExposureProgram = 0;
    std::array<int, 2> ISOSpeedRatings{};
    std::string ExifVersion;
    std::string DateTimeOriginal;
    std::string DateTimeDigitized;
    double CompressedBitsPerPixel = 0;
    double ShutterSpeedValue = 0;
    double ApertureValue = 0;
    double BrightnessValue = 0;
    double ExposureBiasValue = 0;
    double MaxApertureValue = 0;
    double SubjectDistance = 0;
    int MeteringMode = 0;
    int LightSource = 0;
    int Flash = 0;
    double FocalLength = 0;
    // Self-contained little-endian copy of the maker's directory: entry
    // count, 12-byte entries, then the out-of-line values with offsets
    // counting from the copy's first byte. Empty when there is none.
    std::vector<uint8_t> MakerNote;
    std::string UserComment;
    // The first eight bytes of the stored comment (the character code name).
    std::string UserCommentCode;
    std::string SubsecTime;
    std::string SubsecTimeOriginal;
    std::string SubsecTimeDigitized;
    std::string FlashPixVersion;
    int ColorSpace = 0;
    int PixelXDimension = 0;
    int PixelYDimension = 0;
    std::string RelatedSoundFile;
    double FocalPlaneXResolution = 0;
    double FocalPlaneYResolution = 0;
    int FocalPlaneResolutionUnit = 0;
    double ExposureIndex = 0;
    int SensingMethod = 0;
    int FileSource = 0;
    int SceneType = 0;
    // -1 (or -1.0) below means the tag is absent and is not written.
    int ExposureMode = -1;
    int WhiteBalance = -1;
    double DigitalZoomRatio = -1.0;
    int FocalLengthIn35mmFilm = -1;
    int SceneCaptureType = -1;
    int GainControl = -1;
    int Contrast = -1;
    int Saturation = -1;
    int Sharpness = -1;
    int SubjectDistanceRange = -1;
    std::string ImageUniqueID;

    // ---- GPS sub-directory (written only when GPSVersionID is set) ----
    // Four decimal numbers joined with ".", e.g. "2.2.0.0".
    std::string GPSVersionID;
    std::string GPSLatitudeRef;
    std::array<double, 3> GPSLatitude{};
    std::string GPSLongitudeRef;
    std::array<double, 3> GPSLongitude{};
    // Decimal text of the stored byte ("0" above sea level, "1" below).
    std::string GPSAltitudeRef;
    double GPSAltitude = 0;
    std::array<double, 3> GPSTimeStamp{};
    std::string GPSSatellites;
    std::string GPSStatus;
    std::string GPSMeasureMode;
    double GPSDOP = 0;
    std::string GPSSpeedRef;
    double GPSSpeed = 0;
    std::string GPSTrackRef;
    double GPSTrack = 0;
    std::string GPSImgDirectionRef;
    double GPSImgDirection = 0;
    std::string GPSMapDatum;
    std::string GPSDestLatitudeRef;
    std::array<double, 3> GPSDestLatitude{};
    std::string GPSDestLongitudeRef;
    std::array<double, 3> GPSDestLongitude{};
    std::string GPSDestBearingRef;
    double GPSDestBearing = 0;
    std::string GPSDestDistanceRef;
    double GPSDestDistance = 0;
    std::string GPSDateStamp;

    // Every EXIF field cleared: strings empty, numbers 0, the "absent"
    // fields -1, no thumbnail, ExifPresent false.
    void SetDefaults() { *this = TExifParams(); }
    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor& v) const;
    // Called whenever the record's resolution changes, so the EXIF
    // XResolution and YResolution follow DpiX and DpiY.
    void ResolutionChanged(int dpiX, int dpiY)
    {
        XResolution = dpiX;
        YResolution = dpiY;
    }
};
