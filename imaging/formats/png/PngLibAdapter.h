#pragma once
// The one place that talks to libpng.
//
// libpng leaves a failing call through its error callback, which must not
// return; we leave it by longjmp. As with libjpeg, every call into the
// library goes through a small function below whose frame holds only plain
// data, so no C++ destructor is ever skipped. The byte callbacks are plain
// functions that must not throw; the glue in PngReader/PngWriter catches
// inside them. Callers own the decoder and encoder through std::unique_ptr;
// the destructors release libpng's structures.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <png.h>

// Reads up to n bytes into buf; returns the count read.
using TPngReadFn = size_t (*)(void* context, uint8_t* buf, size_t n);
// Writes n bytes; returns false when not all of them could be written.
using TPngWriteFn = bool (*)(void* context, const uint8_t* buf, size_t n);

struct TPngErrorState {
    std::jmp_buf jump;
    int Warnings = 0;
    char Message[256] = {};
};

struct TPngDecoder {
    TPngDecoder() = default;
    ~TPngDecoder();
    TPngDecoder(const TPngDecoder&) = delete;
    TPngDecoder& operator=(const TPngDecoder&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
    TPngErrorState err;
    TPngReadFn Read = nullptr;
    void* ReadContext = nullptr;
    int Passes = 1;
};

// What the reader asks libpng to do to the rows before they are delivered.
struct TPngReadTransforms {
    bool Expand = false;       // palette to RGB, gray below 8 bits to 8, tRNS to alpha
    bool Strip16 = false;      // 16-bit samples to 8 bits (the high byte)
    bool GrayToRgb = false;
    bool Bgr = false;          // deliver blue, green, red
    bool Packing = false;      // one byte per pixel for depths below 8
    bool Swap16 = false;       // 16-bit samples in the machine's byte order
    bool Interlace = false;    // let libpng de-interlace (sets Passes)
};

struct TPngEncoder {
    TPngEncoder() = default;
    ~TPngEncoder();
    TPngEncoder(const TPngEncoder&) = delete;
    TPngEncoder& operator=(const TPngEncoder&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
    TPngErrorState err;
    TPngWriteFn Write = nullptr;
    void* WriteContext = nullptr;
    int Passes = 1;
};

// What the writer hands to libpng before the rows. Pointers are borrowed
// for the duration of pngWriteHeader.
struct TPngWriteSettings {
    uint32_t Width = 0;
    uint32_t Height = 0;
    int BitDepth = 8;
    int ColorType = PNG_COLOR_TYPE_RGB;
    bool Interlaced = false;
    const png_color* Palette = nullptr;
    int PaletteCount = 0;
    const png_byte* TransAlpha = nullptr;  // tRNS alpha per palette entry
    int TransCount = 0;
    bool HasPhys = false;
    uint32_t PhysX = 0;                     // pixels per metre
    uint32_t PhysY = 0;
    bool HasBackground = false;
    png_color_16 Background{};
    int Filters = PNG_FILTER_NONE;          // PNG_FILTER_* flags
    int CompressionLevel = 5;
    bool Bgr = false;                       // rows come as blue, green, red
    bool Swap16 = false;                    // 16-bit samples in the machine's byte order
    png_text* Texts = nullptr;
    int TextCount = 0;
};

// The create functions return false when libpng could not even make its
// structures (the caller reports "Error on creating PNG"); every other
// function returns false when libpng raised an error, whose text is then
// in err.Message.

bool pngCreateDecoder(TPngDecoder* d, TPngReadFn read, void* context, uint32_t maxWidth, uint32_t maxHeight);
bool pngReadInfo(TPngDecoder* d);
// Applies the transforms and updates the info; sets Passes.
bool pngApplyReadTransforms(TPngDecoder* d, const TPngReadTransforms* t);
bool pngReadRow(TPngDecoder* d, uint8_t* row);

bool pngCreateEncoder(TPngEncoder* e, TPngWriteFn write, void* context);
// Sets every chunk, writes the header chunks and sets Passes.
bool pngWriteHeader(TPngEncoder* e, const TPngWriteSettings* s);
bool pngWriteRow(TPngEncoder* e, const uint8_t* row);
bool pngWriteEnd(TPngEncoder* e);

