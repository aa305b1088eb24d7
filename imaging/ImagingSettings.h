#pragma once
// Process-wide imaging settings. They are set once at start-up, before any
// worker thread runs, and only read afterwards.
#include <cstdint>
#include <string>

struct TImagingSettings {
    // Weights in percent of the gray value: gray = (R*r + G*g + B*b) / 100.
    int GrayWeightRed = 21;
    int GrayWeightGreen = 71;
    int GrayWeightBlue = 8;
    // Resolution given to pictures that carry none, in dots per inch.
    int DefaultResolutionX = 300;
    int DefaultResolutionY = 300;
    // Folder for temporary picture files; empty = the system temporary folder.
    std::string TempFolder;
    // Picture size in bytes above which a buffer keeps its rows in a
    // temporary file. -1 = physical memory / 1.3 (32 MiB when unknown).
    int64_t TempFileThreshold = -1;
    // Largest picture (width * height) a reader accepts and a buffer allocates.
    int64_t MaxPicturePixels = int64_t(1) << 30;
};

// The one settings record of the process.
TImagingSettings& ImagingSettings();

// Total physical memory in bytes, 0 when the system does not tell.
int64_t PhysicalMemoryBytes();

// The threshold with -1 resolved: physical memory / 1.3, or 32 MiB.
int64_t EffectiveTempFileThreshold();

// The folder for temporary files with the empty default resolved.
std::string EffectiveTempFolder();

// True when a picture of this size is within MaxPicturePixels (and both
// sides are positive). Readers call this before allocating.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Gray value of a colour with the process-wide weights.
inline uint8_t GrayOf(uint8_t r, uint8_t g, uint8_t b)
{
    const TImagingSettings& s = ImagingSettings();
    int v = (s.GrayWeightRed * r + s.GrayWeightGreen * g + s.GrayWeightBlue * b) / 100;
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}
