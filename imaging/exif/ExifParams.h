#pragma once
// The EXIF fields of the parameters record.
#include "imaging/ParamsFieldVisitor.h"

struct TExifParams {
    void SetDefaults() {}
    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor&) const {}
    // Called whenever the record's resolution changes, so the EXIF
    // XResolution and YResolution follow DpiX and DpiY.
    void ResolutionChanged(int /*dpiX*/, int /*dpiY*/) {}
};
