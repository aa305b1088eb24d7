#pragma once
// Writes the fields of a parameters record as the members of one JSON
// object, each named exactly as its field.
#include <string>

#include "imaging/ParamsFieldVisitor.h"

class TJsonParamsWriter : public TParamsFieldVisitor {
public:
    void Int(const char* name, int64_t value) override;
    void Real(const char* name, double value) override;
    void Bool(const char* name, bool value) override;
    void Text(const char* name, const std::string& value) override;
    void IntList(const char* name, const std::vector<int64_t>& values) override;
    void TextList(const char* name, const std::vector<std::string>& values) override;
    // As an array of [blue, green, red] triples.
    void Palette(const char* name, const TRGB* entries, int count) override;

    // Any member with an already formatted JSON value.
    void Raw(const char* name, const std::string& json);

    // The object so far, closed: {"a": 1, ...}.
    std::string Json() const { return "{" + body_ + "\n}"; }

private:
    void key(const char* name);
    std::string body_;
};

// A JSON string literal. Bytes that are not valid UTF-8 (files may hold
// other encodings) become U+FFFD so the output stays valid JSON.
std::string JsonString(const std::string& text);
