#pragma once
// The tables of the EXIF fields shared by the reader, the writer and the
// field listing: tag, name, member and how the field is written.
#include <cstdint>
#include <span>
#include <string>

#include "imaging/exif/ExifParams.h"

namespace exif {

enum class TExifDir : uint8_t { Ifd0, Exif, Gps };

enum class TStrStyle : uint8_t {
    Ascii,     // ASCII with terminator when longer than 4 bytes; only when not empty
    ShortRef,  // GPS reference letters: own length, no terminator; only when not empty
    Version,   // own length, no terminator, always (count 0 when empty)
    OwnLength, // own length, no terminator; only when not empty
};

struct TStrField {
    TExifDir Dir;
    uint16_t Tag;
    const char* Name;
    std::string TExifParams::*Member;
    TStrStyle Style;
};

struct TIntField {
    TExifDir Dir;
    uint16_t Tag;
    const char* Name;
    int TExifParams::*Member;
    bool Optional;  // -1 means absent
};

struct TRealField {
    TExifDir Dir;
    uint16_t Tag;
    const char* Name;
    double TExifParams::*Member;
    bool Optional;  // -1.0 means absent
    bool Signed;
};

struct TRealsField {
    TExifDir Dir;
    uint16_t Tag;
    const char* Name;
    std::span<double> (*Values)(TExifParams&);
};

struct TWideField {
    uint16_t Tag;
    const char* Name;
    std::string TExifParams::*Member;
};

std::span<const TStrField> StringFields();
std::span<const TIntField> IntFields();
std::span<const TRealField> RealFields();
std::span<const TRealsField> RealListFields();
std::span<const TWideField> WideFields();

constexpr uint16_t TagExifIfd = 34665;
constexpr uint16_t TagGpsIfd = 34853;
constexpr uint16_t TagOrientation = 274;
constexpr uint16_t TagXResolution = 282;
constexpr uint16_t TagYResolution = 283;
constexpr uint16_t TagResolutionUnit = 296;
constexpr uint16_t TagIsoSpeed = 34855;
constexpr uint16_t TagMakerNote = 37500;
constexpr uint16_t TagUserComment = 37510;
constexpr uint16_t TagGpsVersion = 0;
constexpr uint16_t TagGpsAltitudeRef = 5;

}  // namespace exif
