#include "imaging/ImagingSettings.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

TImagingSettings& ImagingSettings()
{
    static TImagingSettings settings;
    return settings;
}

int64_t PhysicalMemoryBytes()
{
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    if (int64_t(pages) > INT64_MAX / int64_t(pageSize))
        return INT64_MAX;
    return int64_t(pages) * int64_t(pageSize);
}

int64_t EffectiveTempFileThreshold()
{
    int64_t threshold = ImagingSettings().TempFileThreshold;
    if (threshold != -1)
        return threshold;
    int64_t memory = PhysicalMemoryBytes();
    if (memory <= 0)
        return int64_t(32) * 1024 * 1024;
    // Whole-number form of memory / 1.3, truncated.
    return int64_t((static_cast<__int128>(memory) * 10) / 13);
}

std::string EffectiveTempFolder()
{
    const std::string& folder = ImagingSettings().TempFolder;
    if (!folder.empty())
        return folder;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

bool PictureSizeAllowed(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        return false;
    int64_t limit = ImagingSettings().MaxPicturePixels;
    if (width > limit)
        return false;
    return height <= limit / width;
}
