// The EXIF parser on arbitrary APP1 payloads; what it reads is written back
// and must read again to the same text fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/ImageParams.h"
#include "imaging/exif/Exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), data, data + size);
    TImageParams params;
    if (!ReadExifFromApp1(payload.data(), payload.size(), params)) std::abort();
    if (!params.ExifPresent) std::abort();
    const TImageBuffer* thumb = params.ExifThumbnail.Get();
    if (thumb && (thumb->Width() > 400 || thumb->Height() > 400)) std::abort();

    const std::vector<uint8_t> block = BuildExifBlock(params, 1 << 20);
    if (block.empty()) return 0;
    TImageParams again;
    if (!ReadExifFromApp1(block.data(), block.size(), again)) std::abort();
    if (again.Make != params.Make || again.ImageDescription != params.ImageDescription ||
        again.XPTitle != params.XPTitle)
        std::abort();
    return 0;
}
