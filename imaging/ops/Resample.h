#pragma once
// Resampling: changes the pixel size of a picture with one of the filters.
//
//   ResampleInto(source, target, w, h, filter)
//     target <- source scaled to the size the request works out to
//     (see ComputeResampleSize); the source is only read, except that in a
//     px24RGB picture with an alpha channel the pixels of alpha 0 become
//     (128, 128, 128) first, so their colour does not bleed into visible ones.
//
// Each filter has its own routine, chosen by the filter and the source's
// pixel format:
//   rfNone                      nearest pixel, every format (1-bit stays 1-bit)
//   rfTriangle, rfLinear,       two-pass resampler with integer weights
//   rfBell, rfBSpline,          (24-bit, 8-bit gray and 8-bit alpha)
//   rfLanczos3
//   rfFastLinear                17-bit fixed-point linear / box mean
//   rfBilinear, rfBicubic       area walk with linear / cubic interpolation
//                               inside each source pixel (8 and 16 bits)
// A 1-bit source comes out as 24-bit gray with every filter but rfNone.
#include "imaging/ImageBuffer.h"
#include "imaging/ResampleFilter.h"

#include <functional>
#include <string>

namespace ops {

// Whole percent of the running resample; the caller filters repeats.
using TPercentReport = std::function<void(int percent)>;

// The new size for a request of (reqWidth, reqHeight) on a width x height
// picture: -1 keeps the aspect ratio from the other side, 0 keeps the side,
// any other value is taken by its absolute value; results below 1 become 1.
// False when both requested sides are negative (nothing is to be done) or a
// side does not fit an int.
bool ComputeResampleSize(int width, int height, int reqWidth, int reqHeight, int& newWidth, int& newHeight);

// Allocates `target` and fills it from `source` (which must be another
// buffer). Returns false when nothing was done: an empty source, both sides
// negative, or memory short (target left empty).
bool ResampleInto(TImageBuffer& source, TImageBuffer& target, int reqWidth, int reqHeight, TResampleFilter filter,
                  const TPercentReport& progress = {});

// The user's list of eight filters, in list order (the resize and batch
// pages show these names); index -> filter, rfNone for an index outside 0..7.
constexpr int ResampleFilterListCount = 8;
const char* ResampleFilterListName(int index);
TResampleFilter ResampleFilterFromListIndex(int index);
// A filter named by the user's list text or an ASCII alias such as
// "lanczos3", "bilinear", "none" (case-insensitive for ASCII). False when
// the name is unknown.
bool ResampleFilterFromName(const std::string& name, TResampleFilter& filter);

}  // namespace ops
