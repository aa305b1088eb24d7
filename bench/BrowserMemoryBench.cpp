// Memory of a thumbnail grid of many entries: resident size (current and
// peak) of the process before and after filling the grid from a folder and
// giving every entry its thumbnail, set against the bytes of the thumbnails
// themselves. What is left over per entry is the grid's own cost (path,
// caption, bookkeeping) plus the allocator's.
//
//   BrowserMemoryBench --folder=DIR [--source=pool|files|memory]
//     pool    the grid shown (offscreen) and scrolled from top to bottom,
//             each view painted, so its loader pool reads the thumbnails
//             of the painted cells as in the program
//     files   each thumbnail read from its file by the grid's own decoder
//             on this thread (LoadThumbnailNow, the path of the selected entry)
//     memory  each entry given a thumbnail of its own from memory
//             (SetThumbnail with a 4:3 picture of 102 x 77, the size a
//             landscape photo gets in a 102 x 100 cell)
// Not a timing: it prints one table and exits.
#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <cstring>
#include <fstream>
#include <string>

#include "BrowserBenchSupport.h"
#include "browser/FolderFill.h"
#include "platform/MultiImageView.h"

namespace {

struct TMemory {
    long currentKb = -1;  // VmRSS
    long peakKb = -1;     // VmHWM
};

TMemory readMemory()
{
    TMemory m;
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value)
            m.currentKb = value;
        else if (key == "VmHWM:" && status >> value)
            m.peakKb = value;
    }
    return m;
}

// Linux lets a process restart its peak resident size from the current one,
// so the peak of each step can be read on its own.
bool resetPeak()
{
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return bool(refs);
}

// Gives every entry of the grid its thumbnail; returns how many have one.
int giveThumbnails(tessaron::TMultiImageView& grid, const std::string& source)
{
    if (source == "pool") {
        grid.resize(900, 700);
        grid.show();
        QScrollBar* bar = grid.verticalScrollBar();
        for (int v = bar->minimum();; v += grid.viewport()->height()) {
            bar->setValue(std::min(v, bar->maximum()));
            // Painting asks the pool for the cells in view; a scroll drops the
            // requests not yet started, so each view is waited for, as a
            // user who looks at every screenful would.
            grid.grab();
            grid.Loader().WaitForDone();
            QCoreApplication::sendPostedEvents();
            if (v >= bar->maximum())
                break;
        }
    }
    int loaded = 0;
    for (int i = 0; i < grid.Count(); ++i) {
        if (source == "files") {
            grid.LoadThumbnailNow(i);
        } else if (source == "memory") {
            QImage picture(102, 77, QImage::Format_BGR888);
            for (int y = 0; y < picture.height(); ++y)
                std::memset(picture.scanLine(y), (i + y) & 255, size_t(picture.bytesPerLine()));
            grid.SetThumbnail(i, picture, QSize(4000, 3000));
        }
        loaded += grid.HasThumbnail(i) ? 1 : 0;
    }
    return loaded;
}

void printRow(const char* step, const TMemory& m)
{
    std::printf("%-28s %10.1f %10.1f\n", step, m.currentKb / 1024.0, m.peakKb / 1024.0);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> options = browserbench::TakeOptions(argc, argv, {"folder", "source"});
    const std::string source = options[1].empty() ? "pool" : options[1];
    if (options[0].empty() || (source != "pool" && source != "files" && source != "memory")) {
        std::fprintf(stderr, "usage: %s --folder=DIR [--source=pool|files|memory]\n", argv[0]);
        return 1;
    }
    const auto app = browserbench::MakeOffscreenApp(argv[0]);
    tessaron::TMultiImageView grid;
    grid.SetCellSize(QSize(102, 100));
    // Measured against a grid that already exists, so its widget and the
    // loader's pool are in the baseline.
    const bool peakResettable = resetPeak();
    const TMemory start = readMemory();

    const int entries = tessaron::FillFromFolder(grid, QString::fromStdString(options[0]));
    const TMemory filled = readMemory();
    if (entries <= 0) {
        std::fprintf(stderr, "no pictures in %s\n", options[0].c_str());
        return 1;
    }

    const int loaded = giveThumbnails(grid, source);
    const TMemory thumbnails = readMemory();
    long long thumbnailBytes = 0;
    for (int i = 0; i < grid.Count(); ++i)
        thumbnailBytes += grid.Thumbnail(i).sizeInBytes();
    const int kept = grid.Count();

    grid.Clear();
    const TMemory cleared = readMemory();
    // What of the freed memory the allocator still holds (in the middle of
    // its heaps, or in the loader threads' own arenas) and could give back.
    malloc_trim(0);
    const TMemory trimmed = readMemory();

    std::printf("grid of %d entries, thumbnails from %s: %d loaded, %d kept\n", entries, source.c_str(), loaded, kept);
    std::printf("%-28s %10s %10s\n", "step", "RSS MiB", "peak MiB");
    printRow("grid made (baseline)", start);
    printRow("after the fill", filled);
    printRow("after every thumbnail", thumbnails);
    printRow("after clearing the grid", cleared);
    printRow("after malloc_trim(0)", trimmed);
    if (!peakResettable)
        std::printf("(the peak could not be reset: it includes start-up)\n");

    const double n = kept > 0 ? kept : 1;
    const double grown = (thumbnails.currentKb - start.currentKb) * 1024.0;
    const double peakGrown = (thumbnails.peakKb - start.currentKb) * 1024.0;
    const double fillGrown = (filled.currentKb - start.currentKb) * 1024.0;
    std::printf("thumbnail pixel bytes       %12lld (%.0f per entry)\n", thumbnailBytes, thumbnailBytes / n);
    std::printf("RSS growth                  %12.0f (%.0f per entry)\n", grown, grown / n);
    std::printf("peak RSS growth             %12.0f (%.0f per entry)\n", peakGrown, peakGrown / n);
    std::printf("fill alone                  %12.0f (%.0f per entry)\n", fillGrown, fillGrown / double(entries));
    std::printf("rest beyond the thumbnails  %12.0f per entry (current), %.0f per entry (peak)\n",
                (grown - double(thumbnailBytes)) / n, (peakGrown - double(thumbnailBytes)) / n);
    return loaded == entries ? 0 : 2;
}
