#pragma once
// JPEG writer over libjpeg: RGB, gray, YCbCr, CMYK or YCCK files, quality
// with baseline tables, DCT method, optimal Huffman tables, smoothing,
// simple progression, density in dots per inch, and the marker segments
// of the parameters written back in a fixed order.
#include <stdexcept>
#include <string>

#include "imaging/FormatTable.h"

class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

// A fatal error of the JPEG library while writing; the message is the
// library's text for it.
class EIEJpegException : public EImageWriteError {
public:
    explicit EIEJpegException(const std::string& message) : EImageWriteError(message) {}
};

// Writes `buffer` as a JPEG with the settings of `params`. A picture of
// width or height 0 or a short write of the stream sets io.Aborting and
// returns false; an abort request stops at the next row. A fatal library
// error sets io.Aborting and throws EIEJpegException.
bool WriteJpeg(TStream& stream, const TImageBuffer& buffer, const TImageParams& params, TImageIO& io);

// The format-table entry (SaveToFileJpeg, SaveToStreamJpeg): refreshes the
// metadata segments of io.Params, then WriteJpeg.
bool WriteJpegFile(TImageIO& io, TStream& stream);
