#pragma once
// The benchmarks' test photo: 4000 x 3000 px24RGB made in code, with smooth
// lighting, a finer texture and sensor-like noise, so values change from
// pixel to pixel as in a real photograph.
#include "imaging/ImageBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bench {

inline void FillPhoto(TImageBuffer& b)
{
    uint32_t seed = 12345;
    const int w = b.Width(), h = b.Height();
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < w; ++x) {
            const double sky = 0.5 + 0.5 * std::sin(x * 0.0013 + y * 0.0021);
            const double light = double(h - y) / h;
            const double texture = 18.0 * std::sin(x * 0.31) * std::cos(y * 0.27);
            const int base[3] = {int(60 + 150 * sky), int(40 + 120 * light + 40 * sky), int(30 + 200 * light * sky)};
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1664525u + 1013904223u;
                const int v = base[c] + int(texture) + int(seed >> 28) - 8;
                row[3 * x + c] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    }
}

// The shared 12-megapixel photo, made once.
inline TImageBuffer& Photo()
{
    static TImageBuffer picture = [] {
        TImageBuffer b(4000, 3000, px24RGB);
        FillPhoto(b);
        return b;
    }();
    return picture;
}

// A second photo, 4000 x 3000, with broad light and shade, a diagonal
// texture and noise that differs per channel; the processing benchmarks use it.
inline const TImageBuffer& LitPhoto()
{
    static const TImageBuffer picture = [] {
        TImageBuffer p(4000, 3000, px24RGB);
        uint32_t noise = 12345;
        for (int y = 0; y < 3000; ++y) {
            uint8_t* row = p.RowPointer(y);
            for (int x = 0; x < 4000; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const double light = 90 + 80 * std::sin(x / 700.0) * std::cos(y / 500.0);
                const double texture = 20 * std::sin(x / 9.0 + y / 13.0);
                for (int c = 0; c < 3; ++c) {
                    const double v = light + texture * (c + 1) / 3 + double(noise >> (27 - c * 2) & 15) + c * 25;
                    row[x * 3 + c] = uint8_t(std::clamp(v, 0.0, 255.0));
                }
            }
        }
        return p;
    }();
    return picture;
}

// Writes a px24RGB picture as a binary PPM, for the comparison scripts to
// hand the same photo to other programs.
inline bool WritePpm(const TImageBuffer& picture, const char* path)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const int w = picture.Width();
    bool ok = std::fprintf(f, "P6\n%d %d\n255\n", w, picture.Height()) > 0;
    std::vector<uint8_t> rgb(size_t(w) * 3);
    for (int y = 0; ok && y < picture.Height(); ++y) {
        const uint8_t* row = picture.RowPointer(y);
        for (size_t i = 0; i < rgb.size(); i += 3) {
            rgb[i] = row[i + 2];
            rgb[i + 1] = row[i + 1];
            rgb[i + 2] = row[i];
        }
        ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    }
    return std::fclose(f) == 0 && ok;
}

// "--write-photo=FILE.ppm": writes the benchmark's photo and gives the exit
// status for main (0 written, 1 not); -1 when the option is not there.
template <class PhotoFn>
int WritePhotoOption(int argc, char** argv, PhotoFn photo)
{
    const char* prefix = "--write-photo=";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) {
            const char* path = argv[i] + std::strlen(prefix);
            if (WritePpm(photo(), path))
                return 0;
            std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
    return -1;
}

}  // namespace bench
