#pragma once
// PNG reader over libpng: every colour type and bit depth, interlaced or
// not, with transparency (alpha channels and tRNS) delivered as the
// buffer's alpha channel.
class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

// Reads a PNG into `buffer` and `params` (only the header chunks with
// `paramsOnly`). Throws std::runtime_error "Error on creating PNG" when
// libpng cannot make its structures; a damaged file sets io.Aborting and
// keeps the rows decoded so far.
bool ReadPng(TStream& stream, TImageBuffer& buffer, TImageParams& params, bool paramsOnly, TImageIO& io);

bool ReadPngFile(TImageIO& io, TStream& stream);
bool ReadPngParams(TImageIO& io, TStream& stream);

// Dots per inch for a pHYs density in pixels per metre (rounded, halves to even).
int PngDpiFromPixelsPerMetre(unsigned pixelsPerMetre);
