#pragma once
// Windows bitmap reader: 1, 4, 8, 16, 24 and 32 bits per pixel, RLE8 and
// RLE4, bit fields, core (12-byte), 40-byte and 64-byte headers (longer
// ones are read up to 64 bytes), bottom-up and top-down rows.
class TImageIO;
class TStream;

// Reads the whole picture into io.Buffer() and the header fields into
// io.Params. Returns false (and sets io.Aborting) on a bad or unsupported
// file, or one whose picture is larger than the process-wide limit.
bool ReadBmp(TImageIO& io, TStream& stream);
// Reads only the header fields into io.Params.
bool ReadBmpParams(TImageIO& io, TStream& stream);
