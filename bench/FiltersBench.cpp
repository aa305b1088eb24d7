// The local filters and the sharpening after a resize on a 12-megapixel
// photo, as the editor runs them (undo snapshot included), on all threads
// and on one (second argument 1).
//
//   FiltersBench --write-photo=FILE.ppm   writes the photo (binary PPM) for
//                                         the side-by-side run in compare.sh
//   FiltersBench --hash                   prints a hash of AutoImageEnhance3's
//                                         output bytes on the photo, on all
//                                         threads and on one, so a speed-up
//                                         can be checked to change no byte in
//                                         the optimised build too
//
// BM_Wallis/21 and /60: the editor's WallisFilter with windows of 21 x 21
// and 60 x 60 pixels; items = pixels, so the per-pixel cost can be compared.
// BM_SharpenAfterResize runs on the 800 x 600 Lanczos3 reduction of the
// photo that BM_Lanczos3To800x600 times.
#include <benchmark/benchmark.h>

#include "BenchPhoto.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const TImageBuffer& photo()
{
    return bench::LitPhoto();
}

const TImageBuffer& reduced()
{
    static const std::unique_ptr<TImageBuffer> picture = [] {
        auto copy = std::make_unique<TImageBuffer>();
        copy->Assign(photo());
        TPlainHost host(std::move(copy));
        TImageProc proc(host, false);
        proc.Resample(800, 600, rfLanczos3);
        auto out = std::make_unique<TImageBuffer>();
        out->Assign(*host.CurrentImage());
        return out;
    }();
    return *picture;
}

// Times `op` on a fresh copy of `source` each round (the copy untimed).
template <class Op>
void timeOnFreshCopies(benchmark::State& state, const TImageBuffer& source, Op&& op)
{
    ops::SetSingleThreaded(state.range(state.range(0) > 1 ? 1 : 0) == 1);
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = std::make_unique<TImageBuffer>();
        copy->Assign(source);
        TPlainHost host(std::move(copy));
        TImageProc proc(host);
        state.ResumeTiming();
        op(proc);
        benchmark::DoNotOptimize(host.CurrentImage()->RowPointer(0));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(source.Width()) * source.Height());
    ops::SetSingleThreaded(false);
}

void BM_AutoImageEnhance3(benchmark::State& state)
{
    timeOnFreshCopies(state, photo(), [](TImageProc& p) { p.AutoImageEnhance3(80, 0.35); });
}
BENCHMARK(BM_AutoImageEnhance3)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: window side (21 or 60), one thread (0/1).
void BM_Wallis(benchmark::State& state)
{
    // On 4000 x 3000, 2 % of the shorter side plus 29 is 60; 0 % gives the minimum 21.
    const int percent = state.range(0) == 60 ? 2 : 0;
    timeOnFreshCopies(state, photo(), [&](TImageProc& p) { p.WallisFilter(percent, percent, 50, 50, 50, 10, 50, false); });
}
BENCHMARK(BM_Wallis)->Args({21, 0})->Args({60, 0})->Args({21, 1})->Args({60, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Lanczos3To800x600(benchmark::State& state)
{
    timeOnFreshCopies(state, photo(), [](TImageProc& p) { p.Resample(800, 600, rfLanczos3); });
}
BENCHMARK(BM_Lanczos3To800x600)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SharpenAfterResize(benchmark::State& state)
{
    timeOnFreshCopies(state, reduced(), [](TImageProc& p) { p.SharpenAfterResize(); });
}
BENCHMARK(BM_SharpenAfterResize)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// FNV-1a over the pixel bytes, row by row.
uint64_t pixelHash(TImageBuffer& b)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* row = b.RowPointer(y);
        for (int i = 0; i < b.Width() * 3; ++i) {
            h ^= row[i];
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

int printHashes()
{
    for (bool single : {false, true}) {
        ops::SetSingleThreaded(single);
        auto copy = std::make_unique<TImageBuffer>();
        copy->Assign(photo());
        TPlainHost host(std::move(copy));
        TImageProc proc(host);
        proc.AutoImageEnhance3(80, 0.35);
        std::printf("AutoImageEnhance3(80, 0.35) %s: %016llx\n", single ? "one thread" : "all threads",
                    static_cast<unsigned long long>(pixelHash(*host.CurrentImage())));
    }
    ops::SetSingleThreaded(false);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--hash") == 0)
            return printHashes();
    if (const int status = bench::WritePhotoOption(argc, argv, photo); status >= 0)
        return status;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    photo();
    reduced();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
