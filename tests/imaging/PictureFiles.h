#pragma once
// Helpers of the JPEG and PNG tests: pictures made in code, Netpbm files
// (what djpeg and ImageMagick hand back), raw file bytes and a walk over
// the segments of a JPEG file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageBuffer.h"

// Skips an interoperability test, loudly, when its tool is truly missing
// (for use inside a GoogleTest test that includes support/TestSupport.h).
#define REQUIRE_TOOL(name)                                                                          \
    do {                                                                                            \
        if (!testsupport::haveTool(name)) {                                                         \
            GTEST_SKIP() << "the interoperability tool " name " is not installed (./test.sh installs it)"; \
        }                                                                                           \
    } while (false)

namespace picturefiles {

// Top-down pixels in red, green, blue order (channels 3) or gray (1), or
// with alpha (4 = RGBA, 2 = gray + alpha).
struct TRaster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint16_t> samples;  // 8- or 16-bit values
    int maxValue = 255;

    uint16_t at(int x, int y, int c) const { return samples[(size_t(y) * width + x) * channels + c]; }
};

// A P5/P6 (gray/RGB) or P7 (PAM) file; false when unreadable.
bool readNetpbm(const std::string& path, TRaster& out);
// The largest difference between two samples at the same place (rasters of
// equal layout); the sample index goes to *at.
int worstDifference(const TRaster& a, const TRaster& b, size_t* at = nullptr);

// Writes an 8-bit P6 file from a px24RGB buffer.
void writePpm(const std::string& path, TImageBuffer& picture);
// The pixels of a px24RGB, px8g, px8p, px1g or pxGray16 buffer, RGB order for colour;
// with the alpha channel appended when `withAlpha`.
TRaster rasterOf(TImageBuffer& picture, bool withAlpha = false);

// A px24RGB picture with smooth gradients, edges and some fine detail.
std::unique_ptr<TImageBuffer> makePhoto(int width, int height);
// A px24RGB picture whose pixels all have red = green = blue.
std::unique_ptr<TImageBuffer> makeGrayPhoto(int width, int height);

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The segments of a JPEG from the start-of-image to the first start-of-scan
// (included, its header only). Empty when the data is not a JPEG.
struct TSegment {
    uint8_t marker = 0;
    std::vector<uint8_t> data;  // without marker and length bytes
};
std::vector<TSegment> jpegSegments(const std::vector<uint8_t>& file);
// Index of the first segment with that marker, -1 when none.
int findSegment(const std::vector<TSegment>& segments, uint8_t marker);

// Quotes a path for the shell.
std::string shellQuoted(const std::string& path);

}  // namespace picturefiles
