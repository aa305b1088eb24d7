#pragma once
// Routines behind ResampleInto, shared between the resampling files.
#include "imaging/ImageBuffer.h"
#include "imaging/ResampleFilter.h"
#include "imaging/ops/Resample.h"

namespace ops::resample {

// Two-pass kernel resampler on 8-bit samples with `channels` bytes per pixel
// (3 for px24RGB, 1 for px8g and alpha). `target` is allocated by the caller
// (same format as the source). Writes nothing when either side of the source
// is 0 or both are below 2.
void KernelResample(TImageBuffer& source, TImageBuffer& target, int channels, TResampleFilter filter,
                    const TPercentReport& progress);

// Fixed-point linear resampler (rfFastLinear) on 8-bit samples.
void FastLinearResample(TImageBuffer& source, TImageBuffer& target, int channels, const TPercentReport& progress);

// Area walk (rfBilinear / rfBicubic) on 8-bit (px24RGB, px8g) or 16-bit
// (pxRGB48, pxGray16) samples.
void AreaResample(TImageBuffer& source, TImageBuffer& target, bool cubic, const TPercentReport& progress);

// 1-bit source into a px24RGB gray target for rfFastLinear, rfBilinear and rfBicubic.
void BitInterpolate(TImageBuffer& source, TImageBuffer& target, const TPercentReport& progress);

// Kernel value and support of the kernel filters.
double KernelSupport(TResampleFilter filter);
double KernelValue(TResampleFilter filter, double x);
bool IsKernelFilter(TResampleFilter filter);

}  // namespace ops::resample
