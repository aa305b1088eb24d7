// GIF writing of a photo at 256 colours (the colour reduction, the mapping
// of every pixel and the LZW coding), alone and together with the JPEG
// decoding in front of it, which is what `convert photo.jpg photo.gif` does.
//
// The photo is taken from TESSARON_BENCH_PHOTO (any format the core reads);
// `bench/compare.sh gif` makes a 12-megapixel JPEG and runs ImageMagick on
// the same file side by side.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"

namespace {

std::string photoPath()
{
    const char* path = std::getenv("TESSARON_BENCH_PHOTO");
    return path ? path : "";
}

void BM_GifWrite(benchmark::State& state)
{
    TImageIO io;
    if (photoPath().empty() || !io.LoadFromFile(photoPath())) {
        state.SkipWithError("set TESSARON_BENCH_PHOTO to a readable photo");
        return;
    }
    io.Params.BitsPerSample = 8;
    TMemoryStream out;
    for (auto _ : state) {
        out.Clear();
        if (!io.SaveToStreamGif(out)) state.SkipWithError("GIF writing failed");
        benchmark::DoNotOptimize(out.Bytes().data());
    }
    state.counters["megapixels"] = double(io.Buffer()->Width()) * io.Buffer()->Height() / 1e6;
    state.counters["gif_bytes"] = double(out.Size());
}
BENCHMARK(BM_GifWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PhotoToGifFile(benchmark::State& state)
{
    const std::string gif = photoPath() + ".tessaron.gif";
    for (auto _ : state) {
        TImageIO io;
        if (photoPath().empty() || !io.LoadFromFile(photoPath())) {
            state.SkipWithError("set TESSARON_BENCH_PHOTO to a readable photo");
            break;
        }
        io.Params.BitsPerSample = 8;
        if (!io.SaveToFileGif(gif)) state.SkipWithError("GIF writing failed");
    }
    std::remove(gif.c_str());
}
BENCHMARK(BM_PhotoToGifFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
