// ConvertTo(px8g) of a 12-megapixel px24RGB photograph-like picture against
// a plain memcpy of the same 36,000,000 pixel bytes, measured in one run.
#include "imaging/ImageBuffer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth lighting over the frame, a finer texture and sensor-like noise:
// gray values change from pixel to pixel as in a real photograph, so no
// conversion table stays hot by accident.
const TImageBuffer& photo()
{
    static const TImageBuffer picture = [] {
        TImageBuffer b(kWidth, kHeight, px24RGB);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = b.RowPointer(y);
            for (int x = 0; x < kWidth; ++x) {
                const double sky = 0.5 + 0.5 * std::sin(x * 0.0013 + y * 0.0021);
                const double light = double(kHeight - y) / kHeight;
                const double texture = 18.0 * std::sin(x * 0.31) * std::cos(y * 0.27);
                const int base[3] = {int(60 + 150 * sky), int(40 + 120 * light + 40 * sky), int(30 + 200 * light * sky)};
                for (int c = 0; c < 3; ++c) {
                    seed = seed * 1664525u + 1013904223u;
                    const int noise = int(seed >> 28) - 8;
                    const int v = base[c] + int(texture) + noise;
                    row[3 * x + c] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
                }
            }
        }
        return b;
    }();
    return picture;
}

void BM_MemcpyPixels(benchmark::State& state)
{
    const TImageBuffer& source = photo();
    const size_t bytes = size_t(source.RowLen()) * source.Height();
    // Rows lie bottom-up in one block: the top row of the block is the last row.
    const uint8_t* block = source.RowPointer(source.Height() - 1);
    std::vector<uint8_t> target(bytes, 1);
    for (auto _ : state) {
        std::memcpy(target.data(), block, bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_MemcpyPixels)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ConvertTo8g(benchmark::State& state)
{
    const TImageBuffer& source = photo();
    const size_t bytes = size_t(source.RowLen()) * source.Height();
    TImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(source);
        state.ResumeTiming();
        if (!work.ConvertTo(px8g))
            state.SkipWithError("ConvertTo failed");
        benchmark::DoNotOptimize(work.RowPointer(0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ConvertTo8g)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
