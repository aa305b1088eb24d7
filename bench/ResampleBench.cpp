// Reduction of the 12-megapixel photo to 800 x 600 with each filter of the
// user's list, on one thread and on all cores.
#include "BenchPhoto.h"
#include "imaging/ops/Parallel.h"
#include "imaging/ops/Resample.h"

#include <benchmark/benchmark.h>

namespace {

void BM_Reduce(benchmark::State& state)
{
    const auto filter = TResampleFilter(state.range(0));
    ops::SetSingleThreaded(state.range(1) == 1);
    TImageBuffer& source = bench::Photo();
    for (auto _ : state) {
        TImageBuffer target;
        ops::ResampleInto(source, target, 800, 600, filter);
        benchmark::DoNotOptimize(target.RowPointer(0));
    }
    ops::SetSingleThreaded(false);
}

}  // namespace

// Arguments: filter, 1 = one thread.
BENCHMARK(BM_Reduce)
    ->ArgNames({"filter", "single"})
    ->Args({rfLanczos3, 1})
    ->Args({rfLanczos3, 0})
    ->Args({rfTriangle, 1})
    ->Args({rfFastLinear, 1})
    ->Args({rfBilinear, 1})
    ->Args({rfBicubic, 1})
    ->Args({rfNone, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
