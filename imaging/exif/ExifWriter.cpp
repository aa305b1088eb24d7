// Writing the EXIF block: the IFD0 tags, the EXIF and GPS sub-directories,
// the maker note copy and the thumbnail directory, little-endian with every
// value and directory at an even offset.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "imaging/ImageIO.h"
#include "imaging/ImageParams.h"
#include "imaging/Stream.h"
#include "imaging/exif/Exif.h"
#include "imaging/exif/ExifFields.h"
#include "imaging/exif/ExifText.h"
#include "imaging/formats/jpeg/JpegWriter.h"
#include "imaging/formats/tiff/TiffDirWriter.h"
#include "imaging/formats/tiff/TiffTags.h"

using namespace exif;
using namespace tiff;

namespace {

constexpr uint32_t kMaxMakerNoteValue = 1024;

void addString(TTiffDirWriter& dir, const TStrField& f, const std::string& value)
{
    switch (f.Style) {
    case TStrStyle::Ascii:
        if (value.empty()) return;
        // Up to four characters fit the entry itself, without terminator.
        dir.AddAscii(f.Tag, value, value.size() > 4);
        return;
    case TStrStyle::ShortRef:
    case TStrStyle::OwnLength:
        if (!value.empty()) dir.AddAscii(f.Tag, value, false);
        return;
    case TStrStyle::Version:
        dir.AddAscii(f.Tag, value, false);
        return;
    }
}

void addReal(TTiffDirWriter& dir, uint16_t tag, std::span<const double> values, bool isSigned)
{
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (double v : values) pairs.push_back(ExifRational(v));
    dir.AddRational(tag, std::move(pairs), isSigned);
}

void addTables(const TExifParams& exif, TExifDir which, TTiffDirWriter& dir)
{
    for (const TStrField& f : StringFields())
        if (f.Dir == which) addString(dir, f, exif.*f.Member);
    for (const TIntField& f : IntFields()) {
        if (f.Dir != which) continue;
        const int v = exif.*f.Member;
        if (f.Optional && v == -1) continue;
        // Pixel counts past 16 bits need a LONG; the others are SHORT.
        if (v > 65535 && (f.Tag == 40962 || f.Tag == 40963))
            dir.AddLong(f.Tag, {uint32_t(v)});
        else
            dir.AddShort(f.Tag, {uint16_t(v)});
    }
    for (const TRealField& f : RealFields()) {
        if (f.Dir != which) continue;
        const double v = exif.*f.Member;
        if (f.Optional && v == -1.0) continue;
        addReal(dir, f.Tag, {&v, 1}, f.Signed);
    }
    auto& self = const_cast<TExifParams&>(exif);
    for (const TRealsField& f : RealListFields())
        if (f.Dir == which) addReal(dir, f.Tag, f.Values(self), false);
}

uint32_t get32(const std::vector<uint8_t>& v, size_t at)
{
    return uint32_t(v[at] | v[at + 1] << 8 | v[at + 2] << 16) | uint32_t(v[at + 3]) << 24;
}

// The maker note copy rebuilt for a block where it starts at `position`:
// entries with values of 1 KiB or more left out, each value padded to an
// even length. Empty when there is nothing worth writing.
std::vector<uint8_t> rebuildMakerNote(const std::vector<uint8_t>& note, uint32_t position)
{
    if (note.size() < 12) return {};
    const uint32_t count = uint32_t(note[0] | note[1] << 8);
    if (2 + uint64_t(count) * 12 > note.size()) return {};
    std::vector<uint8_t> entries, values;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = 2 + size_t(i) * 12;
        const uint16_t type = uint16_t(note[at + 2] | note[at + 3] << 8);
        const uint64_t bytes = uint64_t(get32(note, at + 4)) * TypeSize(type);
        if (TypeSize(type) == 0 || bytes >= kMaxMakerNoteValue) continue;
        std::vector<uint8_t> entry(note.begin() + long(at), note.begin() + long(at + 12));
        if (bytes > 4) {
            const uint32_t off = get32(note, at + 8);
            if (off > note.size() || bytes > note.size() - off) continue;
            const uint32_t rel = uint32_t(values.size());
            values.insert(values.end(), note.begin() + long(off), note.begin() + long(off + bytes));
            if (values.size() & 1) values.push_back(0);
            for (int k = 0; k < 4; ++k) entry[8 + size_t(k)] = uint8_t(rel >> (8 * k));  // fixed below
        }
        entries.insert(entries.end(), entry.begin(), entry.end());
        ++kept;
    }
    if (kept == 0) return {};
    std::vector<uint8_t> out{uint8_t(kept), uint8_t(kept >> 8)};
    const uint32_t valuesAt = position + 2 + kept * 12;
    for (uint32_t i = 0; i < kept; ++i) {
        const size_t at = size_t(i) * 12;
        const uint16_t type = uint16_t(entries[at + 2] | entries[at + 3] << 8);
        if (uint64_t(get32(entries, at + 4)) * TypeSize(type) > 4) {
            const uint32_t off = get32(entries, at + 8) + valuesAt;
            for (int k = 0; k < 4; ++k) entries[at + 8 + size_t(k)] = uint8_t(off >> (8 * k));
        }
    }
    out.insert(out.end(), entries.begin(), entries.end());
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

bool writeExifSubDir(TStream& out, int64_t base, const TExifParams& exif, uint32_t* offset)
{
    TTiffDirWriter dir;
    addTables(exif, TExifDir::Exif, dir);
    dir.AddShort(TagIsoSpeed, {uint16_t(exif.ISOSpeedRatings[0]), uint16_t(exif.ISOSpeedRatings[1])});
    if (!exif.UserComment.empty() || !exif.UserCommentCode.empty()) {
        std::string code = exif.UserCommentCode;
        // The code name is always eight bytes, so the text after it reads back.
        code.resize(8, '\0');
        std::vector<uint8_t> value(code.begin(), code.end());
        value.insert(value.end(), exif.UserComment.begin(), exif.UserComment.end());
        dir.AddBytes(TagUserComment, ttUndefined, std::move(value));
    }
    if (!dir.WriteValues(out, base) || !TTiffDirWriter::PadToEven(out, base)) return false;
    // The maker note's offsets depend on where it lands: right here, as the
    // only value still to write.
    std::vector<uint8_t> note = rebuildMakerNote(exif.MakerNote, uint32_t(out.Position() - base));
    if (!note.empty()) dir.AddBytes(TagMakerNote, ttUndefined, std::move(note));
    return dir.WriteDirectory(out, base, 0, offset);
}

bool writeGpsSubDir(TStream& out, int64_t base, const TExifParams& exif, uint32_t* offset)
{
    TTiffDirWriter dir;
    addTables(exif, TExifDir::Gps, dir);
    std::vector<uint8_t> version;
    size_t pos = 0;
    const std::string& text = exif.GPSVersionID;
    while (pos <= text.size() && version.size() < 4) {
        const size_t dot = text.find('.', pos);
        const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        version.push_back(uint8_t(std::atoi(part.c_str())));
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    version.resize(4, 0);
    dir.AddBytes(TagGpsVersion, ttByte, version);
    if (!exif.GPSAltitudeRef.empty()) dir.AddBytes(TagGpsAltitudeRef, ttByte, {uint8_t(std::atoi(exif.GPSAltitudeRef.c_str()))});
    return dir.WriteDirectory(out, base, 0, offset);
}

// The thumbnail as a baseline JPEG of quality 80 with only a JFIF segment.
std::vector<uint8_t> encodeThumbnail(const TImageBuffer& thumb)
{
    TImageIO io;
    TMemoryStream out;
    io.Params.JpegQuality = 80;
    if (!WriteJpeg(out, thumb, io.Params, io) || io.Aborting) return {};
    return out.TakeBytes();
}

// Offset of the first start-of-scan marker of a JPEG; 0 when there is none.
size_t startOfScan(const std::vector<uint8_t>& jpeg)
{
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        if (jpeg[i + 1] == 0xDA) return i;
        i += 2 + size_t(jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return 0;
}

bool appendThumbnail(TMemoryStream& out, const std::vector<uint8_t>& jpeg, int width, int height, int64_t ifd0NextField)
{
    const size_t sos = startOfScan(jpeg);
    if (jpeg.empty() || sos == 0) return false;
    if (!TTiffDirWriter::PadToEven(out, 0)) return false;
    const uint32_t at = uint32_t(out.Position());
    if (!out.WriteExact(jpeg.data(), jpeg.size())) return false;
    TTiffDirWriter dir;
    dir.AddLong(tagNewSubfileType, {0});
    dir.AddLong(tagImageWidth, {uint32_t(width)});
    dir.AddLong(tagImageLength, {uint32_t(height)});
    dir.AddShort(tagBitsPerSample, {8, 8, 8});
    dir.AddShort(tagCompression, {6});
    dir.AddShort(tagPhotometric, {6});
    dir.AddShort(277, {3});
    dir.AddLong(278, {uint32_t(height)});
    dir.AddLong(273, {at + uint32_t(sos)});
    dir.AddLong(279, {uint32_t(jpeg.size() - sos)});
    dir.AddRational(TagXResolution, {{0, 1}});
    dir.AddRational(TagYResolution, {{0, 1}});
    dir.AddShort(TagResolutionUnit, {2});
    dir.AddShort(512, {1});
    dir.AddLong(513, {at});
    dir.AddLong(514, {uint32_t(jpeg.size())});
    dir.AddShort(530, {2, 2});
    uint32_t offset = 0;
    return dir.WriteDirectory(out, 0, 0, &offset) && TTiffDirWriter::PatchLong(out, ifd0NextField, offset);
}

std::vector<uint8_t> buildBlock(const TImageParams& params, const std::vector<uint8_t>* thumbJpeg)
{
    TMemoryStream out;
    const uint8_t exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    out.WriteExact(exifHeader, 6);
    TMemoryStream tiffPart;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    tiffPart.WriteExact(header, 8);
    TTiffDirWriter ifd0;
    AddExifIfd0Tags(params, ifd0);
    uint32_t ifd0Offset = 0;
    int64_t nextField = 0;
    if (!ifd0.WriteValues(tiffPart, 0) || !WriteExifDirectories(tiffPart, 0, params, ifd0) ||
        !ifd0.WriteDirectory(tiffPart, 0, 0, &ifd0Offset, &nextField) ||
        !TTiffDirWriter::PatchLong(tiffPart, 4, ifd0Offset))
        return {};
    if (thumbJpeg) {
        const TImageBuffer* thumb = params.ExifThumbnail.Get();
        if (!appendThumbnail(tiffPart, *thumbJpeg, thumb->Width(), thumb->Height(), nextField)) return {};
    }
    std::vector<uint8_t> bytes = out.TakeBytes();
    const std::vector<uint8_t>& body = tiffPart.Bytes();
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

}  // namespace

std::pair<uint32_t, uint32_t> ExifRational(double value)
{
    if (!std::isfinite(value)) return {0, 1};
    uint32_t den = 1000000;
    while (den > 1 && std::fabs(value) * den > 2147483640.0) den /= 10;
    double num = std::nearbyint(value * den);
    // Beyond 32 bits even with the denominator 1: the nearest that fits.
    num = std::clamp(num, double(std::numeric_limits<int32_t>::min()), double(std::numeric_limits<int32_t>::max()));
    return {uint32_t(int32_t(num)), den};
}

// A resolution as the whole number of an unsigned rational. A value read from
// a damaged file may be negative, not a number or beyond 32 bits: it is held
// to what the rational can say.
static uint32_t wholeResolution(double value)
{
    if (!std::isfinite(value) || value <= 0.0) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(std::trunc(value));
}

void AddExifIfd0Tags(const TExifParams& exif, TTiffDirWriter& dir)
{
    addTables(exif, TExifDir::Ifd0, dir);
    dir.AddShort(TagOrientation, {uint16_t(exif.Orientation)});
    if (exif.XResolution != 0) dir.AddRational(TagXResolution, {{wholeResolution(exif.XResolution), 1}});
    if (exif.YResolution != 0) dir.AddRational(TagYResolution, {{wholeResolution(exif.YResolution), 1}});
    dir.AddShort(TagResolutionUnit, {2});
    for (const TWideField& f : WideFields()) {
        const std::string& text = exif.*f.Member;
        if (!text.empty()) dir.AddBytes(f.Tag, ttByte, Utf8ToUtf16Le(text));
    }
}

bool WriteExifDirectories(TStream& out, int64_t base, const TExifParams& exif, TTiffDirWriter& dir)
{
    uint32_t exifOffset = 0;
    if (!writeExifSubDir(out, base, exif, &exifOffset)) return false;
    dir.SetLong(TagExifIfd, exifOffset);
    if (!exif.GPSVersionID.empty()) {
        uint32_t gpsOffset = 0;
        if (!writeGpsSubDir(out, base, exif, &gpsOffset)) return false;
        dir.SetLong(TagGpsIfd, gpsOffset);
    }
    return true;
}

std::vector<uint8_t> BuildExifBlock(const TImageParams& params, size_t maxLength)
{
    std::vector<uint8_t> block;
    if (!params.ExifThumbnail.IsEmpty()) {
        const std::vector<uint8_t> jpeg = encodeThumbnail(*params.ExifThumbnail.Get());
        if (!jpeg.empty()) block = buildBlock(params, &jpeg);
        if (block.size() <= maxLength && !block.empty()) return block;
    }
    // Without the thumbnail when it does not fit one segment (or failed).
    block = buildBlock(params, nullptr);
    if (block.size() > maxLength) block.clear();
    return block;
}
