// EXIF on a 12-megapixel JPEG photo with a full EXIF block and thumbnail:
//   BM_ExifReadParams   ReadParamsFromFile (header segments only)
//   BM_ExifFullLoad     LoadFromFile of the same file (every pixel decoded)
//   BM_ExifRewrite      WriteExifIntoJpegFile (byte scan, no re-encoding)
//   BM_ExifBuildBlock   BuildExifBlock with the 160-pixel thumbnail
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "BenchPhoto.h"
#include "imaging/ImageIO.h"
#include "imaging/exif/Exif.h"

namespace {

void fillFields(TImageParams& p)
{
    p.ExifPresent = true;
    p.Make = "Canon";
    p.Model = "Canon EOS 5D Mark II";
    p.DateTime = p.DateTimeOriginal = "2024:07:14 12:30:05";
    p.ImageDescription = "Прогулка по набережной";
    p.ExposureTime = 0.004;
    p.FNumber = 5.6;
    p.FocalLength = 50;
    p.ISOSpeedRatings = {400, 0};
    p.ExifVersion = "0220";
    p.GPSVersionID = "2.2.0.0";
    p.GPSLatitudeRef = "N";
    p.GPSLatitude = {55, 45, 21.5};
}

// The photo saved once as JPEG with its EXIF block.
const std::string& photoFile()
{
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "tessaron_exif_bench.jpg").string();
        TImageIO io;
        io.Buffer()->Assign(bench::Photo());
        fillFields(io.Params);
        RebuildExifThumbnail(io.Params, *io.Buffer());
        io.SaveToFileJpeg(file);
        return file;
    }();
    return path;
}

void BM_ExifReadParams(benchmark::State& state)
{
    const std::string& file = photoFile();
    for (auto _ : state) {
        TImageIO io;
        if (!io.ReadParamsFromFile(file) || !io.Params.ExifPresent) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(io.Params.Make.data());
    }
}
BENCHMARK(BM_ExifReadParams)->Unit(benchmark::kMillisecond);

void BM_ExifFullLoad(benchmark::State& state)
{
    const std::string& file = photoFile();
    for (auto _ : state) {
        TImageIO io;
        if (!io.LoadFromFile(file)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(io.Buffer()->RowPointer(0));
    }
}
BENCHMARK(BM_ExifFullLoad)->Unit(benchmark::kMillisecond);

void BM_ExifRewrite(benchmark::State& state)
{
    const std::string& file = photoFile();
    TImageIO io;
    io.ReadParamsFromFile(file);
    for (auto _ : state) {
        io.Params.ImageDescription = "Описание " + std::to_string(state.iterations());
        if (!io.WriteExifIntoJpegFile(file)) state.SkipWithError("rewrite failed");
    }
}
BENCHMARK(BM_ExifRewrite)->Unit(benchmark::kMillisecond);

void BM_ExifBuildBlock(benchmark::State& state)
{
    TImageParams p;
    fillFields(p);
    RebuildExifThumbnail(p, bench::Photo());
    for (auto _ : state) benchmark::DoNotOptimize(BuildExifBlock(p).data());
}
BENCHMARK(BM_ExifBuildBlock)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
