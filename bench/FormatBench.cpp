// BMP writing and reading of a 12-megapixel px24RGB picture in memory,
// beside a plain memcpy of the same number of bytes (the floor any
// uncompressed format can reach). Target: each within 3x the memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/Stream.h"

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr int64_t PixelBytes = int64_t(Width) * Height * 3;

void fillPicture(TImageBuffer& b)
{
    b.Allocate(Width, Height, px24RGB);
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = b.RowPointer(y);
        for (int x = 0; x < Width * 3; ++x)
            row[x] = uint8_t(x * 7 + y);
    }
}

void BM_Memcpy12MP(benchmark::State& state)
{
    std::vector<uint8_t> src(size_t(PixelBytes), 1), dst(size_t(PixelBytes), 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes);
}
BENCHMARK(BM_Memcpy12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BmpWrite12MP(benchmark::State& state)
{
    TImageIO io;
    fillPicture(*io.Buffer());
    TMemoryStream out;
    io.SaveToStreamBmp(out);  // the stream keeps its memory from here on
    for (auto _ : state) {
        out.Clear();
        if (!io.SaveToStreamBmp(out))
            state.SkipWithError("write failed");
        benchmark::DoNotOptimize(out.Bytes().data());
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes);
}
BENCHMARK(BM_BmpWrite12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BmpRead12MP(benchmark::State& state)
{
    TImageIO writer;
    fillPicture(*writer.Buffer());
    TMemoryStream file;
    writer.SaveToStreamBmp(file);
    TImageIO io;
    for (auto _ : state) {
        TMemoryView in(file.Bytes().data(), file.Bytes().size());
        if (!io.LoadFromStream(in, ffBMP))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(io.Buffer()->RowPointer(0));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes);
}
BENCHMARK(BM_BmpRead12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
