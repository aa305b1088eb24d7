#pragma once
// Reading and writing the EXIF block of a photo: the APP1 payload of a JPEG
// file, the same directories inside a TIFF file, the small thumbnail that
// travels with them, and turning a picture upright by its orientation.
// WriteExifIntoJpegFile, the in-place rewrite of a JPEG file, is an
// operation of TImageIO (ExifJpegRewrite.cpp).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class TImageBuffer;
class TStream;
struct TImageParams;
struct TExifParams;

namespace tiff {
class TTiffSource;
class TTiffDirectory;
class TTiffDirWriter;
}  // namespace tiff

// Parses an APP1 payload ("Exif", 0, 0, then a TIFF structure) into the
// EXIF fields of params and the thumbnail. Returns false, changing nothing,
// unless the payload starts with "Exif"; a damaged structure leaves the
// fields that could be read.
bool ReadExifFromApp1(const uint8_t* bytes, size_t length, TImageParams& params);

// Reads the EXIF fields of a TIFF directory (the IFD0 tags of the directory
// itself, the EXIF and GPS sub-directories it points to). Returns true when
// an EXIF sub-directory was found.
bool ReadExifFromDirectory(const tiff::TTiffSource& src, const tiff::TTiffDirectory& dir, TExifParams& exif);

// The APP1 payload from the fields and the thumbnail. The result is at
// most maxLength bytes: a block that would be longer is built without its
// thumbnail, and an empty vector comes back when even that is too long.
std::vector<uint8_t> BuildExifBlock(const TImageParams& params, size_t maxLength = 65533);

// Adds the IFD0 tags of the EXIF fields to a directory being written and
// writes the EXIF and GPS sub-directories at the stream's position, linking
// them from dir (tags 34665 and 34853). Offsets count from base.
bool WriteExifDirectories(TStream& out, int64_t base, const TExifParams& exif, tiff::TTiffDirWriter& dir);
// Only the IFD0 tags of the EXIF fields.
void AddExifIfd0Tags(const TExifParams& exif, tiff::TTiffDirWriter& dir);

// A real as numerator/denominator: the denominator starts at 1,000,000 and
// is divided by 10 while |value| x denominator exceeds 2,147,483,640; the
// numerator is value x denominator rounded (two's complement when negative).
std::pair<uint32_t, uint32_t> ExifRational(double value);

// ExifThumbnail becomes the picture resampled to 160 pixels wide (height in
// proportion) with the triangle filter; an empty picture clears it.
void RebuildExifThumbnail(TImageParams& params, TImageBuffer& picture);

// Clears every EXIF field, frees the thumbnail, sets ExifPresent false and
// removes the first "Exif" APP1 from the saved JPEG markers.
void ResetExif(TImageParams& params);

// Turns a picture upright by an EXIF orientation (2..8; other values do
// nothing). Works on pictures of whole bytes per pixel; others are left.
void ApplyOrientation(TImageBuffer& bitmap, int orientation);

// The byte scan of the in-place rewrite: copies a JPEG file, dropping the
// first "Exif" APP1 and inserting `segment` (a whole APP1 segment with its
// marker and length) once, right after the first APP0 or APP1. False (out
// undefined) when the data do not start with the start-of-image marker, a
// malformed marker is met, or there was no place to insert.
bool RewriteJpegExifSegment(const std::vector<uint8_t>& in, const std::vector<uint8_t>& segment,
                            std::vector<uint8_t>& out, const std::function<void(int64_t done)>& progress = {});
