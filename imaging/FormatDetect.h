#pragma once
// Format detection by content, and its combination with the extension.
#include <string>

class TStream;

// Identifier of the format the content looks like, 0 when none. The tests
// run in the table's detection order and stop at the first match; the
// stream position is left where it was.
int DetectStreamFormat(TStream& stream);

// Detects by content and looks the extension up, then combines:
// - a camera-raw extension on TIFF-like content gives camera RAW;
// - strict: an unknown extension gives 0, icon or cursor content takes the
//   extension's identifier, and any other disagreement gives 0;
// - not strict: the content's identifier, or the extension's when the
//   content is not recognised.
// Throws std::runtime_error when the file cannot be opened.
int DetectFileFormat(const std::string& fileName, bool strict);

// The combination step alone (content and extension identifiers).
int CombineDetection(int contentId, int extensionId, bool strict);

// Content tests of the built-in formats. Each starts reading at position 0
// and may leave the position anywhere.
namespace recognise {
bool Gif(TStream& s);
bool Bmp(TStream& s);
bool Pcx(TStream& s);
bool Tiff(TStream& s);
bool Png(TStream& s);
bool Dicom(TStream& s);
bool Icon(TStream& s);
bool Cursor(TStream& s);
bool Targa(TStream& s);
bool PortablePixmap(TStream& s);
bool Jpeg(TStream& s);
bool Jpeg2000(TStream& s);
bool Jpeg2000CodeStream(TStream& s);
bool Avi(TStream& s);
bool MultipagePcx(TStream& s);
bool Metafile(TStream& s);
bool EnhancedMetafile(TStream& s);
bool Photoshop(TStream& s);
bool CameraRaw(TStream& s);
}  // namespace recognise
