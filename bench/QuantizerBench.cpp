// Colour reduction of a 12-megapixel photo-like picture: building the palette
// and mapping every pixel to it, as a conversion to px8p or a GIF save does.
//
//   QuantizerBench                          run the benchmarks
//   QuantizerBench --write-photo=FILE.ppm   write the picture (binary PPM) for
//                                           other tools and exit
#include <benchmark/benchmark.h>

#include "BenchPhoto.h"
#include "imaging/ColorQuantizer.h"
#include "imaging/ImageBuffer.h"

#include <cmath>
#include <numbers>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// One row of the synthetic photograph: a sky-to-ground gradient under soft
// light, blurred coloured shapes, a woven texture and fine grain, so that
// it has millions of distinct colours and no flat areas.
void photoRow(int y, int width, int height, uint8_t* bgr)
{
    struct Blob {
        double cx, cy, rad, r, g, b;
    };
    static const Blob blobs[] = {{0.25, 0.6, 0.12, 200, 60, 40}, {0.7, 0.35, 0.18, 40, 150, 60},
                                 {0.5, 0.8, 0.1, 230, 200, 70},  {0.85, 0.75, 0.09, 120, 50, 160},
                                 {0.15, 0.2, 0.07, 250, 240, 230}};
    const double fy = double(y) / height;
    for (int x = 0; x < width; ++x, bgr += 3) {
        const double fx = double(x) / width;
        double r = 90 + 110 * fy + 40 * std::sin(6.1 * fx + 1.3);
        double g = 120 + 60 * std::cos(4.3 * fy + 2.1 * fx);
        double b = 200 - 150 * fy + 30 * std::sin(9.7 * fx * fy);
        for (const Blob& s : blobs) {
            double dx = (fx - s.cx) * width / height, dy = fy - s.cy;
            double w = std::exp(-(dx * dx + dy * dy) / (2 * s.rad * s.rad));
            r += w * (s.r - r);
            g += w * (s.g - g);
            b += w * (s.b - b);
        }
        double weave = 14 * std::sin(x * 0.21) * std::sin(y * 0.17) + 9 * std::sin((x + 2 * y) * 0.043);
        uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
        h = (h ^ (h >> 13)) * 0x5bd1e995u;
        double grain = double(int(h >> 24) - 128) / 16.0;
        double light = 0.75 + 0.35 * std::sin(std::numbers::pi * fx) * std::sin(std::numbers::pi * (0.2 + 0.8 * fy));
        auto clip = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
        bgr[0] = clip(light * (b + weave * 0.6) + grain);
        bgr[1] = clip(light * (g + weave) + grain);
        bgr[2] = clip(light * (r + weave * 0.8) + grain);
    }
}

const TImageBuffer& photo()
{
    static const std::unique_ptr<TImageBuffer> pic = [] {
        auto p = TImageBuffer::CreateSized(kWidth, kHeight, px24RGB);
        for (int y = 0; y < kHeight; ++y)
            photoRow(y, kWidth, kHeight, p->RowPointer(y));
        return p;
    }();
    return *pic;
}

// Palette for `colors` colours by `method`, then every pixel mapped.
void reduce(benchmark::State& state, int method, int colors)
{
    const TImageBuffer& pic = photo();
    TQuantizerSettings settings;
    settings.Method = method;
    std::vector<uint8_t> indices(size_t(pic.Width()));
    for (auto _ : state) {
        TColorQuantizer q(pic, colors, settings);
        for (int y = 0; y < pic.Height(); ++y)
            q.MapRow(pic.RowPointer(y), indices.data(), pic.Width());
        benchmark::DoNotOptimize(indices.data());
        benchmark::ClobberMemory();
        state.counters["colours"] = q.PaletteCount();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(pic.Width()) * pic.Height());
}

void BM_BoxSplit64(benchmark::State& state) { reduce(state, 1, 64); }
void BM_NeuQuant256(benchmark::State& state) { reduce(state, 0, 256); }
void BM_BoxSplit256(benchmark::State& state) { reduce(state, 1, 256); }
void BM_NeuQuant64(benchmark::State& state) { reduce(state, 0, 64); }

BENCHMARK(BM_BoxSplit64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NeuQuant256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BoxSplit256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NeuQuant64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (const int status = bench::WritePhotoOption(argc, argv, photo); status >= 0)
        return status;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    photo();  // made once, outside every measurement
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
