#pragma once
// GIF writer: one frame, GIF87a/GIF89a, with a global colour table of
// 2^BitsPerSample entries, a graphic control extension, the LZW-coded image
// (interlaced on request), a comment extension (always, possibly empty) and
// the trailer. No local table and no looping extension.
//
// Pictures with an alpha channel keep the last index for transparent pixels
// (every pixel whose alpha is not 255) and GifTransparent becomes true.
class TImageIO;
class TStream;

// Writes io.Buffer() with io.Params. Returns false (abort flag set) on a
// write error, an abort request or a picture a GIF cannot hold (a side
// above 65535).
bool WriteGif(TImageIO& io, TStream& stream);
