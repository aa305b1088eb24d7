#pragma once
// Windows bitmap writer: 1, 4, 8, 24 or 32 bits per pixel chosen from the
// parameters record, RLE8/RLE4 on request, core, 40- or 64-byte header.
class TImageIO;
class TStream;

// Writes io.Buffer() to the stream. Returns false (and sets io.Aborting)
// when the picture cannot be written or the stream fails.
bool WriteBmp(TImageIO& io, TStream& stream);
