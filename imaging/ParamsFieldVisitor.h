#pragma once
// A visitor over the fields of TImageParams, so that tools can list every
// field by its name (the CLI prints them as JSON) without knowing them.
// Each field group of the record walks its own fields in VisitFields.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/ImageBuffer.h"

class TParamsFieldVisitor {
public:
    virtual ~TParamsFieldVisitor() = default;
    virtual void Int(const char* name, int64_t value) = 0;
    virtual void Real(const char* name, double value) = 0;
    virtual void Bool(const char* name, bool value) = 0;
    // Text as stored (UTF-8 where the program wrote it; files may hold
    // other bytes, which the visitor has to cope with).
    virtual void Text(const char* name, const std::string& value) = 0;
    virtual void IntList(const char* name, const std::vector<int64_t>& values) = 0;
    virtual void TextList(const char* name, const std::vector<std::string>& values) = 0;
    // Colour entries, blue, green, red.
    virtual void Palette(const char* name, const TRGB* entries, int count) = 0;
};
