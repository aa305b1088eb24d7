// The gallery's effects and the turns on a 12-megapixel photo, as the editor
// runs them (undo snapshot included), on all threads and on one.
//
//   ImageProcBench --memory   instead of timing, prints the peak memory of
//                             each effect and of free rotations (17.5, 100
//                             and 190 degrees) as a multiple of the picture's bytes:
//                             without an undo store, with the editor's undo
//                             store, and with a redo entry held as well (an
//                             earlier operation undone), the editor's worst case
#include <benchmark/benchmark.h>

#include "BenchPhoto.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/EffectTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <malloc.h>

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

// ---- Peak memory -------------------------------------------------------------

// A figure of /proc/self/status ("VmRSS:", "VmHWM:") in bytes; -1 when absent.
int64_t statusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::stoll(line.substr(std::strlen(key))) * 1024;
    return -1;
}

// Starts the peak (VmHWM) afresh from the present resident size.
bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

enum class TStore { None, Undo, UndoAndRedo };

// Bytes held at the peak of `op` above what the process held before the
// picture was made: the picture, the undo store and whatever `op` needs.
int64_t peakBytes(const std::function<void(TImageProc&)>& op, TStore store)
{
    const int64_t before = statusBytes("VmRSS:");
    int64_t peak = -1;
    {
        auto copy = std::make_unique<TImageBuffer>();
        copy->Assign(photo());
        TPlainHost host(std::move(copy));
        TImageProc proc(host, store != TStore::None);
        if (store == TStore::UndoAndRedo) {
            proc.IntensityRGBall(1, 1, 1);
            proc.RestoreUndoSnapshot();
        }
        if (!resetPeak())
            return -1;
        op(proc);
        peak = statusBytes("VmHWM:");
    }
    return peak < 0 || before < 0 ? -1 : peak - before;
}

int printPeakMemory()
{
    // Every large block gets pages of its own that go back to the system
    // when freed, so the resident size follows what is held.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
    const double pictureBytes = double(photo().RowLen()) * photo().Height();
    std::printf("peak memory / picture bytes (%.0f bytes, 4000 x 3000 px24RGB)\n", pictureBytes);
    std::printf("%-16s %10s %10s %14s\n", "operation", "no store", "undo", "undo + redo");
    auto row = [&](const char* name, const std::function<void(TImageProc&)>& op) {
        std::printf("%-16s", name);
        for (TStore store : {TStore::None, TStore::Undo, TStore::UndoAndRedo}) {
            const int64_t bytes = peakBytes(op, store);
            std::printf(store == TStore::UndoAndRedo ? " %14.2f" : " %10.2f", bytes < 0 ? -1.0 : bytes / pictureBytes);
        }
        std::printf("\n");
        std::fflush(stdout);
    };
    for (const TEffect& effect : EffectTable())
        if (EffectAvailable(effect))
            row(effect.Alias, [&](TImageProc& proc) { ApplyEffect(proc, effect); });
    row("rotate 17.5", [](TImageProc& proc) { proc.Rotate(17.5); });
    row("rotate 100", [](TImageProc& proc) { proc.Rotate(100); });
    row("rotate 190", [](TImageProc& proc) { proc.Rotate(190); });
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--memory") == 0)
            return printPeakMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
