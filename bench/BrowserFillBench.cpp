// Filling the thumbnail grid from a folder of 10,000 pictures, set beside a
// plain listing of the same folder with std::filesystem in the same run:
//   BM_ListFolderStd   directory_iterator over the folder, the paths of the
//                      ordinary files collected in a vector
//   BM_FillFromFolder  FillFromFolder into a TMultiImageView (cleared
//                      outside the timing before each fill)
// The fill reads directory entries only; no picture is opened, so thumbnails
// are not part of it.
//
//   BrowserFillBench --make-folder=DIR [--count=10000] [--copy-of=FILE]
//       makes DIR with `count` pictures IMG_00001.JPG ... (copies of FILE,
//       or empty files) and exits
//   BrowserFillBench --folder=DIR [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "BrowserBenchSupport.h"
#include "browser/FolderFill.h"
#include "platform/MultiImageView.h"

namespace fs = std::filesystem;

namespace {

std::string gFolder;
int gExpected = -1;  // entries the folder should give (its picture files)

bool makeFolder(const std::string& folder, int count, const std::string& copyOf)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return false;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
        const fs::path target = fs::path(folder) / name;
        if (!copyOf.empty()) {
            fs::copy_file(copyOf, target, fs::copy_options::overwrite_existing, error);
            if (error)
                return false;
        } else if (!std::ofstream(target)) {
            return false;
        }
    }
    return true;
}

void BM_ListFolderStd(benchmark::State& state)
{
    size_t listed = 0;
    for (auto _ : state) {
        std::vector<fs::path> files;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(gFolder, error))
            if (entry.is_regular_file(error))
                files.push_back(entry.path());
        if (error)
            state.SkipWithError("the folder cannot be listed");
        listed = files.size();
        benchmark::DoNotOptimize(files.data());
    }
    state.counters["files"] = double(listed);
}
BENCHMARK(BM_ListFolderStd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FillFromFolder(benchmark::State& state)
{
    tessaron::TMultiImageView grid;
    grid.resize(900, 700);
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        grid.Clear();
        state.ResumeTiming();
        added = tessaron::FillFromFolder(grid, QString::fromStdString(gFolder), -1, false);
    }
    if (gExpected >= 0 && added != gExpected)
        state.SkipWithError("the fill did not list every picture of the folder");
    state.counters["entries"] = double(added);
}
BENCHMARK(BM_FillFromFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> options =
        browserbench::TakeOptions(argc, argv, {"folder", "make-folder", "count", "copy-of"});
    if (!options[1].empty()) {
        const int count = options[2].empty() ? 10000 : std::stoi(options[2]);
        if (makeFolder(options[1], count, options[3]))
            return 0;
        std::fprintf(stderr, "cannot make %s\n", options[1].c_str());
        return 1;
    }
    gFolder = options[0];
    if (gFolder.empty()) {
        std::fprintf(stderr, "pass --folder=DIR (made with --make-folder=DIR)\n");
        return 1;
    }
    gExpected = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(gFolder, error))
        if (entry.is_regular_file(error) && entry.path().filename().string()[0] != '.' &&
            tessaron::IsReadablePictureName(QString::fromStdString(entry.path().filename().string())))
            ++gExpected;

    return browserbench::RunBenchmarks(argc, argv);
}
