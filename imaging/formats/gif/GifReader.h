#pragma once
// GIF reader: one frame of a GIF87a/GIF89a file (the one chosen by
// Params.GifImageIndex) with its position, delay, disposal, transparency and
// palette, plus the file's screen size, background colour and comments.
//
// The picture becomes px1g for a black-and-white two-colour frame, px8p when
// NativePixelFormat is set, else px24RGB; pixels of the transparent index get
// alpha 0 in the alpha channel. A damaged or cut code stream ends the read
// with the abort flag set and the rows decoded so far in the buffer.
class TImageIO;
class TStream;

// Reads pixels and parameters. Returns false on failure (abort flag set).
bool ReadGif(TImageIO& io, TStream& stream);
// Reads the parameters only; the picture is left alone.
bool ReadGifParams(TImageIO& io, TStream& stream);
