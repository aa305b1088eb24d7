// Thumbnails of a folder of photos at the grid's 102 x 100 cell, decoded the
// way the grid does it, without a window:
//   BM_GridLoaderFolder     every file handed to a TThumbnailLoader (its pool
//                           of five threads) and every result received on
//                           this thread; the time runs until the last one is in
//   BM_LoadThumbnailSerial  LoadThumbnail for every file, one after another
//                           on this thread (what each loader job costs)
//   BM_JpegDecodeOnly/0|1   the reduced JPEG decode alone (no resampling),
//                           without (0) and with (1) the thumbnail mode
// The process CPU time of all threads is reported beside the wall time.
//
//   BrowserThumbnailBench --folder=DIR [benchmark options]
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QObject>

#include <cstdio>
#include <string>
#include <vector>

#include "BrowserBenchSupport.h"
#include "imaging/ImageIO.h"
#include "platform/ThumbnailLoader.h"

namespace {

using tessaron::TThumbnailLoader;
using tessaron::TThumbnailRequest;
using tessaron::TThumbnailResult;

const QSize kCell(102, 100);
std::vector<std::string> gFiles;

// A result is good when it decoded and fits the cell.
bool goodResult(const TThumbnailResult& r)
{
    return r.ok && !r.thumbnail.isNull() && r.thumbnail.width() <= kCell.width() &&
           r.thumbnail.height() <= kCell.height() && !r.fullSize.isEmpty();
}

TThumbnailRequest requestFor(size_t i)
{
    return TThumbnailRequest{QString::fromStdString(gFiles[i]), kCell, 1, uint64_t(i + 1), int(i)};
}

void BM_GridLoaderFolder(benchmark::State& state)
{
    TThumbnailLoader loader;
    size_t delivered = 0, good = 0;
    QEventLoop* waiting = nullptr;
    QObject::connect(&loader, &TThumbnailLoader::thumbnailLoaded, [&](const TThumbnailResult& r) {
        ++delivered;
        good += goodResult(r) ? 1 : 0;
        if (delivered == gFiles.size() && waiting)
            waiting->quit();
    });
    for (auto _ : state) {
        delivered = good = 0;
        for (size_t i = 0; i < gFiles.size(); ++i)
            loader.Request(requestFor(i));
        // Results arrive only while the loop runs, so none can slip past it.
        QEventLoop loop;
        waiting = &loop;
        loop.exec();
        waiting = nullptr;
        if (good != gFiles.size())
            state.SkipWithError("a thumbnail failed or does not fit the cell");
    }
    state.counters["files"] = double(gFiles.size());
}
BENCHMARK(BM_GridLoaderFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_LoadThumbnailSerial(benchmark::State& state)
{
    for (auto _ : state)
        for (size_t i = 0; i < gFiles.size(); ++i)
            if (!goodResult(tessaron::LoadThumbnail(requestFor(i))))
                state.SkipWithError("a thumbnail failed or does not fit the cell");
    state.counters["files"] = double(gFiles.size());
}
BENCHMARK(BM_LoadThumbnailSerial)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_JpegDecodeOnly(benchmark::State& state)
{
    const bool thumbnailMode = state.range(0) != 0;
    for (auto _ : state)
        for (const std::string& file : gFiles) {
            TImageIO io;
            io.Params.JpegScale = 0;
            io.Params.Width = kCell.width();
            io.Params.Height = kCell.height();
            io.Params.JpegThumbnailMode = thumbnailMode;
            if (!io.LoadFromFile(file))
                state.SkipWithError("a photo cannot be read");
        }
    state.counters["files"] = double(gFiles.size());
}
BENCHMARK(BM_JpegDecodeOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = browserbench::TakeOptions(argc, argv, {"folder"})[0];
    gFiles = browserbench::JpegFilesOf(folder);
    if (gFiles.empty()) {
        std::fprintf(stderr, "pass --folder=DIR holding JPEG photos\n");
        return 1;
    }
    return browserbench::RunBenchmarks(argc, argv);
}
