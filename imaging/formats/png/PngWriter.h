#pragma once
// PNG writer over libpng: RGB, RGB with alpha, palette (with a transparent
// background entry when the picture has transparency), gray and 1-bit
// pictures chosen from the parameters record, with pHYs, bKGD and tEXt,
// row filter, compression level and Adam7 interlacing.
class TImageBuffer;
class TImageIO;
class TStream;
struct TImageParams;

// Writes `buffer` (with `alpha`, its alpha channel, or nullptr) to the
// stream. Throws std::runtime_error "Error on creating PNG" when libpng
// cannot make its structures; any other failure (a library error, a short
// write, an abort request) sets io.Aborting and returns false.
// BitsPerSample of `params` is set to 8 when SamplesPerPixel is 1 and the
// depth is not 1, 8 or 16.
bool WritePng(TStream& stream, const TImageBuffer& buffer, TImageParams& params, const TImageBuffer* alpha, TImageIO& io);

// The format-table entry: io.Buffer() with its alpha channel.
bool WritePngFile(TImageIO& io, TStream& stream);

// Pixels per metre for a resolution in dots per inch (rounded, halves to even).
unsigned PngPixelsPerMetre(int dpi);
