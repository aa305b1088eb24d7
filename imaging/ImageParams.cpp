#include "imaging/ImageParams.h"

#include <algorithm>

#include "imaging/ImagingSettings.h"

void TImageParams::SetDefaults()
{
    TBmpParams::SetDefaults();
    TJpegParams::SetDefaults();
    TPngParams::SetDefaults();
    TGifParams::SetDefaults();
    TTiffParams::SetDefaults();
    TExifParams::SetDefaults();
    FileName.clear();
    FileType = 0;
    Width = 0;
    Height = 0;
    BitsPerSample = 8;
    SamplesPerPixel = 3;
    ColorMap.fill(TRGB{0, 0, 0});
    ColorMapCount = 0;
    NativePixelFormat = false;
    SetResolution(0, 0);
}

void TImageParams::SetDpiX(int dpi)
{
    DpiX = dpi;
    ResolutionChanged(DpiX, DpiY);
}

void TImageParams::SetDpiY(int dpi)
{
    DpiY = dpi;
    ResolutionChanged(DpiX, DpiY);
}

void TImageParams::SetResolution(int dpiX, int dpiY)
{
    const TImagingSettings& s = ImagingSettings();
    DpiX = dpiX > 0 ? dpiX : s.DefaultResolutionX;
    DpiY = dpiY > 0 ? dpiY : s.DefaultResolutionY;
    ResolutionChanged(DpiX, DpiY);
}

void TImageParams::SetColorMap(const TRGB* entries, int count)
{
    count = std::clamp(count, 0, int(ColorMap.size()));
    ColorMap.fill(TRGB{0, 0, 0});
    if (entries)
        std::copy(entries, entries + count, ColorMap.begin());
    ColorMapCount = entries ? count : 0;
}

void TImageParams::VisitFields(TParamsFieldVisitor& v) const
{
    v.Text("FileName", FileName);
    v.Int("FileType", FileType);
    v.Int("Width", Width);
    v.Int("Height", Height);
    v.Int("DpiX", DpiX);
    v.Int("DpiY", DpiY);
    v.Int("BitsPerSample", BitsPerSample);
    v.Int("SamplesPerPixel", SamplesPerPixel);
    v.Palette("ColorMap", ColorMap.data(), ColorMapCount);
    v.Int("ColorMapCount", ColorMapCount);
    v.Bool("NativePixelFormat", NativePixelFormat);
    TBmpParams::VisitFields(v);
    TJpegParams::VisitFields(v);
    TPngParams::VisitFields(v);
    TGifParams::VisitFields(v);
    TTiffParams::VisitFields(v);
    TExifParams::VisitFields(v);
}
