#pragma once
// JPEG reader over libjpeg: gray, RGB, YCbCr, CMYK and YCCK files, baseline
// and progressive, scaled decoding at 1/2, 1/4 and 1/8, the marker segments
// kept for a later save, and the ICC profile joined from its chunks.
#include <cstdint>

class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

// Looks for the bytes FF D8 FF at one of the first 100 positions from the
// stream's position. When found, the stream is left at the FF D8 and the
// function returns true; otherwise the position is restored.
bool FindJpegStart(TStream& stream);

// Reads a JPEG from the stream's position into `buffer` and `params`. With
// `paramsOnly` only the header fields, the markers and the metadata are
// read. Never throws on bad data: a damaged file sets io.Aborting, and a
// picture that is only partly decoded keeps the rows decoded so far (the
// rest are black). Progress and abort through `io`.
bool ReadJpeg(TStream& stream, TImageBuffer& buffer, TImageParams& params, bool paramsOnly, TImageIO& io);

// The format-table entries: picture and parameters of io.
bool ReadJpegFile(TImageIO& io, TStream& stream);
bool ReadJpegParams(TImageIO& io, TStream& stream);

// The reduction factor (1, 2, 4 or 8) a read of a width x height JPEG uses
// for JpegScale `scale` (0 = automatic: the largest of 8, 4, 2 whose result
// still covers wantWidth x wantHeight, else 1).
int JpegScaleDenominator(int scale, int width, int height, int wantWidth, int wantHeight);

// Dots per inch from a JFIF density: unit 2 is dots per centimetre.
int JpegDensityToDpi(int unit, int density);
