// The in-place EXIF rewrite of a JPEG file on arbitrary file contents, run
// on a temporary copy: a refused file must stay byte for byte the same, and
// a rewritten one must keep everything after its segments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "imaging/ImageIO.h"
#include "imaging/exif/Exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> in(data, data + size);
    // The byte scan alone.
    std::vector<uint8_t> out;
    const std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0};
    if (RewriteJpegExifSegment(in, segment, out)) {
        if (out.size() + 4 < segment.size() || out.size() > in.size() + segment.size()) std::abort();
        if (out[0] != 0xFF || out[1] != 0xD8) std::abort();
    }

    // The whole operation on a temporary file.
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("exif_rewrite_fuzz_" + std::to_string(::getpid()) + ".jpg")).string();
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    TImageIO io;
    io.Params.ImageDescription = "fuzz";
    const bool ok = io.WriteExifIntoJpegFile(path);
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> after((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!ok && after != in) std::abort();
    if (ok && (after.size() < 2 || after[0] != 0xFF || after[1] != 0xD8)) std::abort();
    std::filesystem::remove(path);
    return 0;
}
