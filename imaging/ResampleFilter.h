#pragma once
// The resampling filters, in their fixed order. Scaling routines and the
// buffer's scaled render take one of these.
#include <cstdint>

enum TResampleFilter : uint8_t {
    rfNone = 0,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic,
    rfProjectBW,
    rfProjectWB,
};
