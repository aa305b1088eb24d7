// Reading the EXIF block: the directories of an APP1 payload or of a TIFF
// file into the EXIF fields, the maker note as a self-contained copy, and
// the thumbnail of IFD1.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/ImageBuffer.h"
#include "imaging/ImageParams.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/exif/ExifFields.h"
#include "imaging/exif/ExifText.h"
#include "imaging/formats/tiff/TiffDirectory.h"
#include "imaging/formats/tiff/TiffReader.h"
#include "imaging/formats/tiff/TiffTags.h"

using namespace exif;
using namespace tiff;

namespace {

// Longest ASCII value taken; a longer one leaves the field as it was.
constexpr uint32_t kMaxAscii = 1048575;
constexpr uint32_t kMaxMakerNoteEntries = 256;

void readString(const TTiffDirectory& dir, uint16_t tag, std::string& field)
{
    if (!dir.Has(tag)) {
        field.clear();
        return;
    }
    std::string raw;
    if (dir.GetString(tag, &raw, kMaxAscii)) {
        // A text ends at its first NUL; what some writers leave after it
        // would otherwise grow or shrink with every save.
        raw.resize(std::min(raw.find('\0'), raw.size()));
        field = ExifTextToUtf8(raw);
    }
}

int intOr0(const TTiffDirectory& dir, uint16_t tag, uint32_t index = 0)
{
    uint32_t v = 0;
    return dir.GetUInt(tag, &v, index) ? int(int32_t(v)) : 0;
}

double realOr0(const TTiffDirectory& dir, uint16_t tag, uint32_t index = 0)
{
    double v = 0;
    return dir.GetReal(tag, &v, index) ? v : 0.0;
}

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    put16(v, at, x & 0xFFFF);
    put16(v, at + 2, x >> 16);
}

// Value bytes of one entry turned to little-endian, element by element.
void toLittleEndian(uint8_t* p, uint64_t bytes, uint16_t type, TByteOrder order)
{
    if (!order.BigEndian) return;
    const unsigned size = (type == ttRational || type == ttSRational) ? 4 : TypeSize(type);
    if (size < 2) return;
    for (uint64_t i = 0; i + size <= bytes; i += size) std::reverse(p + i, p + i + size);
}

// The maker note as a little-endian directory copy: count, entries, then
// the out-of-line values with offsets counting from the copy's start.
std::vector<uint8_t> copyMakerNote(const TTiffSource& src, TByteOrder order, const TTiffEntry& note)
{
    const uint64_t noteLen = note.ByteSize();
    if (noteLen < 2 || noteLen <= 4 || !src.Contains(note.ValueOffset, noteLen)) return {};
    uint8_t countBytes[2];
    if (!src.Read(note.ValueOffset, countBytes, 2)) return {};
    const uint32_t count = order.U16(countBytes);
    if (count == 0 || count > kMaxMakerNoteEntries || 2 + uint64_t(count) * 12 > noteLen) return {};
    std::vector<uint8_t> raw(size_t(count) * 12);
    if (!src.Read(uint64_t(note.ValueOffset) + 2, raw.data(), raw.size())) return {};

    std::vector<uint8_t> entries;
    std::vector<uint8_t> values;
    uint32_t kept = 0;
    // Out-of-line values may not take more than this in all.
    constexpr uint64_t kMaxValues = 1 << 20;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = raw.data() + size_t(i) * 12;
        const uint16_t tag = order.U16(e);
        const uint16_t type = order.U16(e + 2);
        const uint32_t n = order.U32(e + 4);
        if (type == 0 || type > 12) break;
        const uint64_t bytes = uint64_t(n) * TypeSize(type);
        uint8_t field[4] = {};
        size_t at = entries.size();
        entries.resize(at + 12);
        if (bytes <= 4) {
            std::memcpy(field, e + 8, 4);
            toLittleEndian(field, bytes, type, order);
            std::memcpy(entries.data() + at + 8, field, 4);
        } else {
            const uint32_t off = order.U32(e + 8);
            if (!src.Contains(off, bytes) || values.size() + bytes > kMaxValues) {
                entries.resize(at);
                continue;
            }
            const size_t vAt = values.size();
            values.resize(vAt + size_t(bytes));
            if (!src.Read(off, values.data() + vAt, size_t(bytes))) {
                entries.resize(at);
                values.resize(vAt);
                continue;
            }
            toLittleEndian(values.data() + vAt, bytes, type, order);
            put32(entries, at + 8, uint32_t(vAt));  // relative to the values; fixed below
        }
        put16(entries, at, tag);
        put16(entries, at + 2, type);
        put32(entries, at + 4, n);
        ++kept;
    }
    if (kept == 0) return {};
    std::vector<uint8_t> out(2 + entries.size());
    put16(out, 0, kept);
    std::memcpy(out.data() + 2, entries.data(), entries.size());
    const uint32_t valuesStart = uint32_t(out.size());
    for (uint32_t i = 0; i < kept; ++i) {
        const size_t at = 2 + size_t(i) * 12;
        const uint16_t type = uint16_t(out[at + 2] | out[at + 3] << 8);
        const uint32_t n = uint32_t(out[at + 4] | out[at + 5] << 8 | out[at + 6] << 16) | uint32_t(out[at + 7]) << 24;
        if (uint64_t(n) * TypeSize(type) > 4) {
            const uint32_t rel = uint32_t(out[at + 8] | out[at + 9] << 8 | out[at + 10] << 16) | uint32_t(out[at + 11]) << 24;
            put32(out, at + 8, rel + valuesStart);
        }
    }
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

void readTables(const TTiffDirectory& dir, TExifDir which, TExifParams& exif)
{
    for (const TStrField& f : StringFields())
        if (f.Dir == which) readString(dir, f.Tag, exif.*f.Member);
    for (const TIntField& f : IntFields())
        if (f.Dir == which) exif.*f.Member = intOr0(dir, f.Tag);
    for (const TRealField& f : RealFields())
        if (f.Dir == which) exif.*f.Member = realOr0(dir, f.Tag);
    for (const TRealsField& f : RealListFields()) {
        if (f.Dir != which) continue;
        auto values = f.Values(exif);
        for (size_t i = 0; i < values.size(); ++i) values[i] = realOr0(dir, f.Tag, uint32_t(i));
    }
}

void readIfd0(const TTiffDirectory& dir, TExifParams& exif)
{
    readTables(dir, TExifDir::Ifd0, exif);
    exif.Orientation = intOr0(dir, TagOrientation);
    exif.XResolution = realOr0(dir, TagXResolution);
    exif.YResolution = realOr0(dir, TagYResolution);
    exif.ResolutionUnit = intOr0(dir, TagResolutionUnit);
    for (const TWideField& f : WideFields()) {
        std::vector<uint8_t> bytes = dir.GetBytes(f.Tag, kMaxAscii);
        exif.*f.Member = Utf16LeToUtf8(bytes.data(), bytes.size());
    }
}

void readExifDir(const TTiffSource& src, const TTiffDirectory& dir, TExifParams& exif)
{
    readTables(dir, TExifDir::Exif, exif);
    exif.ISOSpeedRatings = {intOr0(dir, TagIsoSpeed, 0), intOr0(dir, TagIsoSpeed, 1)};
    exif.MakerNote.clear();
    if (const TTiffEntry* note = dir.Find(TagMakerNote)) exif.MakerNote = copyMakerNote(src, dir.Order(), *note);
    std::string comment;
    if (!dir.Has(TagUserComment) || dir.GetString(TagUserComment, &comment, kMaxAscii)) {
        // Undefined-type comments are read the same way as ASCII ones.
        if (!dir.Has(TagUserComment)) comment.clear();
        const size_t codeLen = std::min<size_t>(8, comment.size());
        exif.UserCommentCode = comment.substr(0, codeLen);
        std::string text = comment.substr(codeLen);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        exif.UserComment = ExifTextToUtf8(text);
    }
}

void readGpsDir(const TTiffDirectory& dir, TExifParams& exif)
{
    readTables(dir, TExifDir::Gps, exif);
    exif.GPSVersionID.clear();
    std::vector<uint8_t> version = dir.GetBytes(TagGpsVersion, 4);
    if (dir.Has(TagGpsVersion) && !version.empty()) {
        for (size_t i = 0; i < version.size(); ++i) {
            if (i > 0) exif.GPSVersionID += '.';
            exif.GPSVersionID += std::to_string(version[i]);
        }
    }
    exif.GPSAltitudeRef.clear();
    uint32_t ref = 0;
    if (dir.GetUInt(TagGpsAltitudeRef, &ref)) exif.GPSAltitudeRef = std::to_string(ref);
}

// Reads the sub-directory a LONG tag of dir points to; false when there is
// none or it is damaged.
bool readSubDir(const TTiffSource& src, const TTiffDirectory& dir, uint16_t tag, TTiffDirectory& sub)
{
    uint32_t offset = 0;
    return dir.GetUInt(tag, &offset) && offset > 0 && offset != dir.Offset() && sub.Read(src, dir.Order(), offset);
}

}  // namespace

bool ReadExifFromDirectory(const TTiffSource& src, const TTiffDirectory& dir, TExifParams& exif)
{
    readIfd0(dir, exif);
    TTiffDirectory sub;
    const bool found = readSubDir(src, dir, TagExifIfd, sub);
    if (found) {
        readExifDir(src, sub, exif);
    } else {
        TTiffDirectory none;
        readExifDir(src, none, exif);
    }
    TTiffDirectory gps;
    if (readSubDir(src, dir, TagGpsIfd, gps)) {
        readGpsDir(gps, exif);
    } else {
        TTiffDirectory none;
        readGpsDir(none, exif);
    }
    return found;
}

bool ReadExifFromApp1(const uint8_t* bytes, size_t length, TImageParams& params)
{
    if (!bytes || length < 6 || std::memcmp(bytes, "Exif", 4) != 0) return false;
    TMemoryView view(bytes + 6, length - 6);
    TTiffSource src(view, 0);
    TByteOrder order;
    uint32_t first = 0;
    TExifParams& exif = params;
    params.ExifThumbnail.Clear();
    TTiffDirectory ifd0;
    if (!ReadTiffHeader(src, &order, &first) || !ifd0.Read(src, order, first)) {
        params.ExifPresent = true;
        return true;
    }
    ReadExifFromDirectory(src, ifd0, exif);
    params.ExifPresent = true;

    // IFD1: the thumbnail, an old-style JPEG (or any small TIFF picture).
    if (ifd0.NextOffset() != 0) {
        auto thumb = std::make_unique<TImageBuffer>();
        auto scratch = std::make_unique<TImageParams>();
        scratch->TiffImageIndex = 1;
        bool aborting = false;
        TTiffReadOptions options;
        options.ExifThumbnail = true;
        options.Aborting = &aborting;
        if (ReadTiffStructure(view, 0, thumb.get(), *scratch, options) && !aborting && !thumb->IsEmpty()) {
            ApplyOrientation(*thumb, exif.Orientation);
            params.ExifThumbnail.Set(std::move(thumb));
        }
    }
    return true;
}
