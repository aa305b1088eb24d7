#pragma once
// The GIF fields of the parameters record.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/ImageBuffer.h"
#include "imaging/ParamsFieldVisitor.h"

struct TGifParams {
    // The six signature bytes written ("GIF89a" or "GIF87a").
    std::string GifVersion = "GIF89a";
    // The frame read from a multi-frame file (0 = first).
    int GifImageIndex = 0;
    // The frame's position in the logical screen.
    uint16_t GifXPos = 0;
    uint16_t GifYPos = 0;
    // Delay after the frame, in hundredths of a second.
    uint16_t GifDelay = 0;
    // Transparency flag and the colour that is transparent.
    bool GifTransparent = false;
    TRGB GifTranspColor{0, 0, 0};
    bool GifInterlaced = false;
    // Logical screen size and aspect byte, as read from a file.
    int GifWinWidth = 0;
    int GifWinHeight = 0;
    int GifRatio = 0;
    TRGB GifBackground{0, 0, 0};
    // The comment texts, one per comment.
    std::vector<std::string> GifComments;
    // Disposal method of the frame (2 = restore to background).
    int GifAction = 2;

    void SetDefaults() { *this = TGifParams(); }
    // Lists every field by name (see TParamsFieldVisitor).
    void VisitFields(TParamsFieldVisitor& v) const
    {
        v.Text("GifVersion", GifVersion);
        v.Int("GifImageIndex", GifImageIndex);
        v.Int("GifXPos", GifXPos);
        v.Int("GifYPos", GifYPos);
        v.Int("GifDelay", GifDelay);
        v.Bool("GifTransparent", GifTransparent);
        v.Palette("GifTranspColor", &GifTranspColor, 1);
        v.Bool("GifInterlaced", GifInterlaced);
        v.Int("GifWinWidth", GifWinWidth);
        v.Int("GifWinHeight", GifWinHeight);
        v.Int("GifRatio", GifRatio);
        v.Palette("GifBackground", &GifBackground, 1);
        v.TextList("GifComments", GifComments);
        v.Int("GifAction", GifAction);
    }
};
