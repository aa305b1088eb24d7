#include "imaging/formats/png/PngLibAdapter.h"

#include <cstdio>

// Nothing in this file may hold an object with a destructor inside a
// function that sets a jump point or that libpng calls back: libpng's errors
// leave those frames by longjmp.

namespace {

TPngErrorState* errorStateOf(png_structp png)
{
    return static_cast<TPngErrorState*>(png_get_error_ptr(png));
}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    TPngErrorState* e = errorStateOf(png);
    std::snprintf(e->Message, sizeof e->Message, "%s", message ? message : "PNG error");
    std::longjmp(e->jump, 1);
}

void onWarning(png_structp png, png_const_charp)
{
    ++errorStateOf(png)->Warnings;
}

void readCallback(png_structp png, png_bytep data, size_t length)
{
    auto* d = static_cast<TPngDecoder*>(png_get_io_ptr(png));
    if (d->Read(d->ReadContext, data, length) != length)
        png_error(png, "Unexpected end of PNG data");
}

void writeCallback(png_structp png, png_bytep data, size_t length)
{
    auto* e = static_cast<TPngEncoder*>(png_get_io_ptr(png));
    if (!e->Write(e->WriteContext, data, length))
        png_error(png, "Write error");
}

void flushCallback(png_structp) {}

void setTransforms(png_structp png, const TPngReadTransforms* t)
{
    if (t->Expand)
        png_set_expand(png);
    if (t->Strip16)
        png_set_strip_16(png);
    if (t->GrayToRgb)
        png_set_gray_to_rgb(png);
    if (t->Bgr)
        png_set_bgr(png);
    if (t->Packing)
        png_set_packing(png);
    if (t->Swap16)
        png_set_swap(png);
}

void setChunks(png_structp png, png_infop info, const TPngWriteSettings* s)
{
    png_set_IHDR(png, info, s->Width, s->Height, s->BitDepth, s->ColorType,
                 s->Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (s->Palette && s->PaletteCount > 0)
        png_set_PLTE(png, info, s->Palette, s->PaletteCount);
    if (s->TransAlpha && s->TransCount > 0)
        png_set_tRNS(png, info, s->TransAlpha, s->TransCount, nullptr);
    if (s->HasPhys)
        png_set_pHYs(png, info, s->PhysX, s->PhysY, PNG_RESOLUTION_METER);
    if (s->HasBackground)
        png_set_bKGD(png, info, &s->Background);
    if (s->Texts && s->TextCount > 0)
        png_set_text(png, info, s->Texts, s->TextCount);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, s->Filters);
    png_set_compression_level(png, s->CompressionLevel);
}

}  // namespace

// ---- decoder ----

bool pngCreateDecoder(TPngDecoder* d, TPngReadFn read, void* context, uint32_t maxWidth, uint32_t maxHeight)
{
    d->Read = read;
    d->ReadContext = context;
    d->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d->err, onError, onWarning);
    if (!d->png)
        return false;
    d->info = png_create_info_struct(d->png);
    if (!d->info)
        return false;
    if (setjmp(d->err.jump))
        return false;
    png_set_read_fn(d->png, d, readCallback);
    png_set_user_limits(d->png, maxWidth, maxHeight);
    return true;
}

bool pngReadInfo(TPngDecoder* d)
{
    if (setjmp(d->err.jump))
        return false;
    png_read_info(d->png, d->info);
    return true;
}

bool pngApplyReadTransforms(TPngDecoder* d, const TPngReadTransforms* t)
{
    if (setjmp(d->err.jump))
        return false;
    setTransforms(d->png, t);
    d->Passes = t->Interlace ? png_set_interlace_handling(d->png) : 1;
    png_read_update_info(d->png, d->info);
    return true;
}

bool pngReadRow(TPngDecoder* d, uint8_t* row)
{
    if (setjmp(d->err.jump))
        return false;
    png_read_row(d->png, row, nullptr);
    return true;
}

TPngDecoder::~TPngDecoder()
{
    if (png)
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
}

// ---- encoder ----

bool pngCreateEncoder(TPngEncoder* e, TPngWriteFn write, void* context)
{
    e->Write = write;
    e->WriteContext = context;
    e->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &e->err, onError, onWarning);
    if (!e->png)
        return false;
    e->info = png_create_info_struct(e->png);
    if (!e->info)
        return false;
    if (setjmp(e->err.jump))
        return false;
    png_set_write_fn(e->png, e, writeCallback, flushCallback);
    return true;
}

bool pngWriteHeader(TPngEncoder* e, const TPngWriteSettings* s)
{
    if (setjmp(e->err.jump))
        return false;
    setChunks(e->png, e->info, s);
    png_write_info(e->png, e->info);
    if (s->Bgr)
        png_set_bgr(e->png);
    if (s->Swap16)
        png_set_swap(e->png);
    e->Passes = s->Interlaced ? png_set_interlace_handling(e->png) : 1;
    return true;
}

bool pngWriteRow(TPngEncoder* e, const uint8_t* row)
{
    if (setjmp(e->err.jump))
        return false;
    png_write_row(e->png, row);
    return true;
}

bool pngWriteEnd(TPngEncoder* e)
{
    if (setjmp(e->err.jump))
        return false;
    png_write_end(e->png, e->info);
    return true;
}

TPngEncoder::~TPngEncoder()
{
    if (png)
        png_destroy_write_struct(&png, info ? &info : nullptr);
}
