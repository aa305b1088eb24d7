#include "imaging/formats/tiff/TiffJpeg.h"

namespace tiff {

int DecodeJpegStrip(const uint8_t*, size_t, const std::vector<uint8_t>&, int, uint8_t*, size_t, int, int, int, bool* ok)
{
    *ok = false;
    return 0;
}

bool DecodeJpegPicture(const uint8_t*, size_t, TImageBuffer&) { return false; }

bool EncodeJpegStream(const TJpegEncodeRequest&, std::vector<uint8_t>&) { return false; }

}  // namespace tiff
