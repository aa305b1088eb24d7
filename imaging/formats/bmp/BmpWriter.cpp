#include "imaging/formats/bmp/BmpWriter.h"

#include "imaging/ImageIO.h"

bool WriteBmp(TImageIO& io, TStream&)
{
    io.Aborting = true;
    return false;
}
