// Resampling dispatch, the nearest-pixel routine, the alpha channel and the
// processing object's Resample operation. The scaling routines themselves
// are in ResampleKernel.cpp, ResampleLinear.cpp and ResampleArea.cpp.
//
// Where no routine exists for a pixel format and filter, the result is the
// closest sound one rather than an unwritten picture:
//   px8g with a kernel filter or rfFastLinear   the same routine on one channel
//   pxGray16 / pxRGB48 with those filters       the area walk (linear)
//   px8p, pxRGB32, pxCMYK, pxCIELab, px32f      resampled as px24RGB
//   a 1 x 1 source with a kernel filter          every pixel takes its colour
#include "imaging/ops/Resample.h"

#include "imaging/ImageProc.h"
#include "imaging/ops/ResampleInternal.h"
#include "imaging/ops/RowCopy.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ops {

using namespace resample;

namespace {

void reportPercent(const TPercentReport& progress, int value)
{
    if (progress)
        progress(value);
}

// Nearest pixel, every format. Column and row ratios are computed once.
void nearest(TImageBuffer& source, TImageBuffer& target, const TPercentReport& progress)
{
    const int W = source.Width();
    const int H = source.Height();
    const int w = target.Width();
    const int h = target.Height();
    const double rx = double(W) / double(w);
    const double ry = double(H) / double(h);
    std::vector<int> column(static_cast<size_t>(w));
    for (int i = 0; i < w; ++i)
        column[size_t(i)] = std::min(int(double(i) * rx), W - 1);
    const int bits = source.BitCount();
    const size_t bpp = size_t(bits / 8);
    std::vector<uint8_t> row(size_t(source.RowLen()));
    for (int j = 0; j < h; ++j) {
        const int sy = std::min(int(double(j) * ry), H - 1);
        // Copied out first: both buffers may keep only one mapped row.
        std::memcpy(row.data(), source.RowPointer(sy), row.size());
        uint8_t* out = target.RowPointer(j);
        if (bits == 1) {
            for (int i = 0; i < w; ++i)
                SetBit(out, i, GetBit(row.data(), column[size_t(i)]));
        } else {
            for (int i = 0; i < w; ++i)
                std::memcpy(out + size_t(i) * bpp, row.data() + size_t(column[size_t(i)]) * bpp, bpp);
        }
        reportPercent(progress, int(double(j) * 100.0 / (double(h) + 0.5)));
    }
    if (source.PixelFormat() == px8p && source.Palette())
        target.SetPalette(source.Palette(), source.PaletteCount());
}

// Invisible pixels enter every filter as middle gray.
void grayOutTransparent(TImageBuffer& source)
{
    if (source.PixelFormat() != px24RGB || !source.HasAlpha())
        return;
    TImageBuffer& alpha = *source.Alpha();
    if (alpha.FullyOpaque())
        return;
    std::vector<uint8_t> a(size_t(source.Width()));
    for (int y = 0; y < source.Height(); ++y) {
        std::memcpy(a.data(), alpha.RowPointer(y), a.size());
        uint8_t* row = source.RowPointer(y);
        for (int x = 0; x < source.Width(); ++x)
            if (a[size_t(x)] == 0)
                std::memset(row + size_t(x) * 3, 128, 3);
    }
}

enum class TRoute { Nearest, Kernel, FastLinear, Area, Bits };

TRoute routeFor(TPixelFormat format, TResampleFilter filter, int W, int H)
{
    if (filter == rfNone || filter == rfNearest)
        return TRoute::Nearest;
    const bool kernel = IsKernelFilter(filter);
    const bool area = filter == rfBilinear || filter == rfBicubic;
    if (!kernel && !area && filter != rfFastLinear)
        return TRoute::Nearest;  // filters the program never asks for
    if (kernel && W < 2 && H < 2)
        return TRoute::Nearest;
    if (format == px1g)
        return kernel ? TRoute::Kernel : TRoute::Bits;
    if (format == pxGray16 || format == pxRGB48)
        return TRoute::Area;
    if (kernel)
        return TRoute::Kernel;
    return area ? TRoute::Area : TRoute::FastLinear;
}

// Unpacks a 1-bit picture into 8-bit gray 0 / 255.
bool unpackBits(TImageBuffer& source, TImageBuffer& gray)
{
    if (!gray.Allocate(source.Width(), source.Height(), px8g))
        return false;
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* in = source.RowPointer(y);
        std::vector<uint8_t> row(size_t(source.Width()));
        for (int x = 0; x < source.Width(); ++x)
            row[size_t(x)] = GetBit(in, x) ? 255 : 0;
        std::memcpy(gray.RowPointer(y), row.data(), row.size());
    }
    return true;
}

bool resampleColour(TImageBuffer& source, TImageBuffer& target, int w, int h, TResampleFilter filter,
                    const TPercentReport& progress)
{
    TPixelFormat format = source.PixelFormat();
    const bool other = format == px8p || format == pxRGB32 || format == pxCMYK || format == pxCIELab ||
                       format == px32f;
    if (other && filter != rfNone && filter != rfNearest) {
        TImageBuffer rgb;
        if (!rgb.CopyFrom(source) || !rgb.ConvertTo(px24RGB))
            return false;
        return resampleColour(rgb, target, w, h, filter, progress);
    }

    switch (routeFor(format, filter, source.Width(), source.Height())) {
    case TRoute::Nearest:
        if (!target.Allocate(w, h, format))
            return false;
        nearest(source, target, progress);
        return true;
    case TRoute::Kernel:
        if (format == px1g) {
            TImageBuffer gray;
            if (!unpackBits(source, gray) || !target.Allocate(w, h, px8g))
                return false;
            KernelResample(gray, target, 1, filter, progress);
            return target.ConvertTo(px24RGB);
        }
        if (!target.Allocate(w, h, format))
            return false;
        KernelResample(source, target, format == px8g ? 1 : 3, filter, progress);
        return true;
    case TRoute::FastLinear:
        if (!target.Allocate(w, h, format))
            return false;
        FastLinearResample(source, target, format == px8g ? 1 : 3, progress);
        return true;
    case TRoute::Area:
        if (!target.Allocate(w, h, format))
            return false;
        AreaResample(source, target, filter == rfBicubic, progress);
        return true;
    case TRoute::Bits:
        if (!target.Allocate(w, h, px24RGB))
            return false;
        BitInterpolate(source, target, progress);
        return true;
    }
    return false;
}

// The alpha channel follows the colour with the same filter: nearest, the
// kernel resampler, or the fixed-point linear routine for the others.
bool resampleAlpha(TImageBuffer& source, TImageBuffer& target, TResampleFilter filter)
{
    TImageBuffer& alpha = *source.Alpha();
    auto channel = std::make_unique<TImageBuffer>();
    if (!channel->Allocate(target.Width(), target.Height(), px8g))
        return false;
    switch (routeFor(px8g, filter, alpha.Width(), alpha.Height())) {
    case TRoute::Nearest:
        nearest(alpha, *channel, {});
        break;
    case TRoute::Kernel:
        KernelResample(alpha, *channel, 1, filter, {});
        break;
    default:
        FastLinearResample(alpha, *channel, 1, {});
        break;
    }
    channel->SetFullyOpaque(alpha.FullyOpaque());
    return target.AdoptAlpha(std::move(channel));
}

struct TFilterName {
    const char* text;
    TResampleFilter filter;
    const char* alias;
};

constexpr TFilterName FilterList[ResampleFilterListCount] = {
    {"Без фильтра", rfNone, "none"},         {"Ускоренный", rfTriangle, "triangle"},
    {"Смягчение", rfBell, "bell"},           {"Размытие", rfBSpline, "bspline"},
    {"Резкость", rfLanczos3, "lanczos3"},    {"Быстрый", rfFastLinear, "fastlinear"},
    {"Нейтральный", rfBilinear, "bilinear"}, {"Оптимальный", rfBicubic, "bicubic"},
};

std::string asciiLower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

}  // namespace

bool ComputeResampleSize(int width, int height, int reqWidth, int reqHeight, int& newWidth, int& newHeight)
{
    if (reqWidth < 0 && reqHeight < 0)
        return false;
    if (width <= 0 || height <= 0)
        return false;
    int64_t w;
    if (reqWidth == -1)
        w = int64_t(reqHeight) * width / height;
    else if (reqWidth == 0)
        w = width;
    else
        w = std::llabs(int64_t(reqWidth));
    w = std::max<int64_t>(w, 1);
    int64_t h;
    if (reqHeight == -1)
        h = w * height / width;
    else if (reqHeight == 0)
        h = height;
    else
        h = std::llabs(int64_t(reqHeight));
    h = std::max<int64_t>(h, 1);
    if (w > INT_MAX || h > INT_MAX)
        return false;
    newWidth = int(w);
    newHeight = int(h);
    return true;
}

bool ResampleInto(TImageBuffer& source, TImageBuffer& target, int reqWidth, int reqHeight, TResampleFilter filter,
                  const TPercentReport& progress)
{
    if (&source == &target || source.IsEmpty())
        return false;
    int w = 0, h = 0;
    if (!ComputeResampleSize(source.Width(), source.Height(), reqWidth, reqHeight, w, h))
        return false;
    grayOutTransparent(source);
    if (!resampleColour(source, target, w, h, filter, progress)) {
        target.Release();
        return false;
    }
    if (source.HasAlpha() && !resampleAlpha(source, target, filter)) {
        target.Release();
        return false;
    }
    return true;
}

const char* ResampleFilterListName(int index)
{
    return index >= 0 && index < ResampleFilterListCount ? FilterList[index].text : "";
}

TResampleFilter ResampleFilterFromListIndex(int index)
{
    return index >= 0 && index < ResampleFilterListCount ? FilterList[index].filter : rfNone;
}

bool ResampleFilterFromName(const std::string& name, TResampleFilter& filter)
{
    const std::string lower = asciiLower(name);
    for (const TFilterName& f : FilterList) {
        if (name == f.text || lower == f.alias) {
            filter = f.filter;
            return true;
        }
    }
    return false;
}

}  // namespace ops

void TImageProc::Resample(int newWidth, int newHeight, TResampleFilter filter)
{
    TImageBuffer* image = host_.CurrentImage();
    if (!image || image->IsEmpty())
        return;
    if (AutoUndo)
        SaveUndoSnapshot("Resample " + std::to_string(newWidth) + "," + std::to_string(newHeight));
    auto target = std::make_unique<TImageBuffer>();
    if (ops::ResampleInto(*image, *target, newWidth, newHeight, filter, [this](int p) { Progress(p); }))
        host_.ReplaceCurrentImage(std::move(target));
    FinishOperation();
}
