#pragma once
// What the photo browser's benchmarks share: a QApplication on the offscreen
// platform (the grid is a widget, but no window is ever needed), their own
// command-line options beside Google Benchmark's, and the picture files of
// a folder in a fixed order.
#include <QApplication>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace browserbench {

// Creates the application on the offscreen platform. Qt keeps a reference to
// the argument count, so it lives as long as the program.
inline std::unique_ptr<QApplication> MakeOffscreenApp(const char* programName)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(programName), nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

// Runs the benchmarks the remaining arguments select, with the application
// in place; the exit status of the program.
inline int RunBenchmarks(int argc, char** argv)
{
    const auto app = MakeOffscreenApp(argv[0]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Takes our own "--name=value" options out of argv (Google Benchmark refuses
// options it does not know) and returns their values in the order asked.
inline std::vector<std::string> TakeOptions(int& argc, char** argv, const std::vector<std::string>& names)
{
    std::vector<std::string> values(names.size());
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        bool ours = false;
        for (size_t n = 0; n < names.size() && i > 0; ++n) {
            const std::string prefix = "--" + names[n] + "=";
            if (a.rfind(prefix, 0) == 0) {
                values[n] = a.substr(prefix.size());
                ours = true;
            }
        }
        if (!ours)
            argv[kept++] = argv[i];
    }
    argc = kept;
    return values;
}

// The JPEG files of a folder (any letter case of .jpg or .jpeg), sorted by
// name so every run reads them in the same order.
inline std::vector<std::string> JpegFilesOf(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace browserbench
