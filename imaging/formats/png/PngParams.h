#pragma once
// The PNG fields of the parameters record.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/ImageBuffer.h"
#include "imaging/ParamsFieldVisitor.h"

struct TPngParams {
    // Write with Adam7 interlacing; set by the reader from the file.
    bool PngInterlaced = false;
    // Written as bKGD; for palette output with transparency also palette
    // entry 0. Set by the reader from bKGD.
    TRGB PngBackground{0, 0, 0};
    // Row filter: 0 = none, 1 = sub, 2 = Paeth.
    uint8_t PngFilter = 0;
    // zlib compression level 0..9.
    int PngCompression = 5;
    // Keywords and texts of tEXt chunks.
    std::vector<std::string> PngTextKeys;
    std::vector<std::string> PngTexts;

    void SetDefaults() { *this = TPngParams(); }

    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor& v) const
    {
        v.Bool("PngInterlaced", PngInterlaced);
        v.Palette("PngBackground", &PngBackground, 1);
        v.Int("PngFilter", PngFilter);
        v.Int("PngCompression", PngCompression);
        v.TextList("PngTextKeys", PngTextKeys);
        v.TextList("PngTexts", PngTexts);
    }
};
