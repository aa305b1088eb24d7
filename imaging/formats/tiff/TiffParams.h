#pragma once
// The TIFF fields of the parameters record.
#include "imaging/ParamsFieldVisitor.h"

struct TTiffParams {
    void SetDefaults() {}
    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor&) const {}
};
