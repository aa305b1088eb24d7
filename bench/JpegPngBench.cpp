// JPEG and PNG through TImageIO on a 12-megapixel photo, timed one
// operation at a time so bench/compare_jpng.sh can set each beside the
// command-line tool doing the same work:
//   BM_JpegLoad       LoadFromFile of the photo JPEG (fast DCT, px24RGB)
//   BM_JpegSave       SaveToFileJpeg with the defaults (quality 80, fast DCT)
//   BM_JpegThumbnail  the photo read for a 102 x 100 cell (JpegScale automatic)
//   BM_PngSave        SaveToFilePng with the defaults (filter none, level 5)
//   BM_JpegToPng      load the JPEG and save it as PNG (what `vips copy` does)
//
//   JpegPngBench --write-photo=FILE.ppm   write the 4000 x 3000 photo and exit
//   JpegPngBench --photo=FILE.jpg --work=DIR [benchmark options]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string gPhoto;
std::string gWork = "/tmp";

// A synthetic photograph: sky-to-ground gradient, soft coloured shapes,
// a texture and grain, so the coder meets smooth areas and detail.
void photoRow(int y, std::mt19937& rng, uint8_t* rgb)
{
    std::uniform_int_distribution<int> grain(-6, 6);
    const double fy = double(y) / kHeight;
    for (int x = 0; x < kWidth; ++x) {
        const double fx = double(x) / kWidth;
        double r = 90 + 120 * (1 - fy) + 30 * std::sin(fx * 7);
        double g = 110 + 90 * (1 - fy) + 40 * std::sin(fy * 11 + fx * 3);
        double b = 200 - 150 * fy;
        const double d = std::hypot(fx - 0.4, fy - 0.6);
        if (d < 0.2) {
            const double k = 1 - d / 0.2;
            r += 120 * k;
            g -= 40 * k;
        }
        const double weave = 12 * std::sin(x * 0.9) * std::sin(y * 0.7) * fy;
        int n = grain(rng);
        rgb[x * 3] = uint8_t(std::clamp(r + weave + n, 0.0, 255.0));
        rgb[x * 3 + 1] = uint8_t(std::clamp(g + weave + n, 0.0, 255.0));
        rgb[x * 3 + 2] = uint8_t(std::clamp(b + weave + n, 0.0, 255.0));
    }
}

bool writePhoto(const char* path)
{
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    std::mt19937 rng(7);
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
        photoRow(y, rng, row.data());
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

void loadPhoto(TImageIO& io, benchmark::State& state)
{
    if (gPhoto.empty() || !io.LoadFromFile(gPhoto))
        state.SkipWithError("no photo: pass --photo=FILE.jpg");
}

void BM_JpegLoad(benchmark::State& state)
{
    for (auto _ : state) {
        TImageIO io;
        loadPhoto(io, state);
        benchmark::DoNotOptimize(io.Buffer()->RowPointer(0));
    }
}
BENCHMARK(BM_JpegLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegSave(benchmark::State& state)
{
    TImageIO io;
    loadPhoto(io, state);
    io.Params.SetDefaults();
    const std::string out = gWork + "/ours.jpg";
    for (auto _ : state)
        if (!io.SaveToFileJpeg(out))
            state.SkipWithError("save failed");
}
BENCHMARK(BM_JpegSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegThumbnail(benchmark::State& state)
{
    for (auto _ : state) {
        TImageIO io;
        io.Params.JpegScale = 0;
        io.Params.Width = 102;
        io.Params.Height = 100;
        loadPhoto(io, state);
        if (io.Params.JpegScaleUsed != 8)
            state.SkipWithError("the photo was not decoded at 1/8");
    }
}
BENCHMARK(BM_JpegThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngSave(benchmark::State& state)
{
    TImageIO io;
    loadPhoto(io, state);
    const std::string out = gWork + "/ours.png";
    for (auto _ : state)
        if (!io.SaveToFilePng(out))
            state.SkipWithError("save failed");
}
BENCHMARK(BM_PngSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegToPng(benchmark::State& state)
{
    const std::string out = gWork + "/ours2.png";
    for (auto _ : state) {
        TImageIO io;
        loadPhoto(io, state);
        if (!io.SaveToFilePng(out))
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_JpegToPng)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--write-photo=", 0) == 0) {
            const std::string path = a.substr(14);
            if (writePhoto(path.c_str()))
                return 0;
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        if (a.rfind("--photo=", 0) == 0)
            gPhoto = a.substr(8);
        else if (a.rfind("--work=", 0) == 0)
            gWork = a.substr(7);
        else
            rest.push_back(argv[i]);
    }
    int count = int(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
