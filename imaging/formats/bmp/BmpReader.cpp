#include "imaging/formats/bmp/BmpReader.h"

#include "imaging/ImageIO.h"

bool ReadBmp(TImageIO& io, TStream&)
{
    io.Aborting = true;
    return false;
}

bool ReadBmpParams(TImageIO& io, TStream&)
{
    io.Aborting = true;
    return false;
}
