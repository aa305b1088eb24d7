// The gallery's effects and the turns on a 12-megapixel photo, as the editor
// runs them (undo snapshot included), on all threads and on one.
#include <benchmark/benchmark.h>

#include "BenchPhoto.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/EffectTable.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Photograph-like content: smooth light, a texture, some noise.
const TImageBuffer& photo()
{
    return bench::LitPhoto();
}

// Times `op` on a fresh copy of the photo each round (the copy untimed),
// then switches threads back on.
template <class Op>
void timeOnFreshCopies(benchmark::State& state, Op&& op)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = std::make_unique<TImageBuffer>();
        copy->Assign(photo());
        TPlainHost host(std::move(copy));
        TImageProc proc(host);
        state.ResumeTiming();
        op(proc);
        benchmark::DoNotOptimize(host.CurrentImage()->RowPointer(0));
    }
    ops::SetSingleThreaded(false);
}

void BM_Effect(benchmark::State& state)
{
    const TEffect& effect = EffectTable()[size_t(state.range(0))];
    ops::SetSingleThreaded(state.range(1) == 1);
    timeOnFreshCopies(state, [&](TImageProc& proc) { ApplyEffect(proc, effect); });
    state.SetLabel(std::string(effect.Alias) + (state.range(1) == 1 ? " 1 thread" : " all threads"));
}

void effectArgs(benchmark::internal::Benchmark* b)
{
    for (int i = 0; i < 15; ++i)
        if (EffectAvailable(EffectTable()[size_t(i)]))
            for (int single : {0, 1})
                b->Args({i, single});
}

BENCHMARK(BM_Effect)->Apply(effectArgs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FreeRotate(benchmark::State& state)
{
    ops::SetSingleThreaded(state.range(0) == 1);
    timeOnFreshCopies(state, [](TImageProc& proc) { proc.Rotate(17.5); });
}

BENCHMARK(BM_FreeRotate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
