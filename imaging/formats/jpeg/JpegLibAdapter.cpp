#include "imaging/formats/jpeg/JpegLibAdapter.h"

#include <cstring>

#include <jerror.h>

// Nothing in this file may hold an object with a destructor inside a
// function that sets a jump point or that the library calls back: the
// library's fatal errors leave those frames by longjmp.

namespace {

TJpegErrorState* errorStateOf(j_common_ptr cinfo)
{
    return reinterpret_cast<TJpegErrorState*>(cinfo->err);
}

void onErrorExit(j_common_ptr cinfo)
{
    TJpegErrorState* e = errorStateOf(cinfo);
    e->ErrorCode = e->pub.msg_code;
    e->Message[0] = 0;
    e->pub.format_message(cinfo, e->Message);
    if (e->Message[0] == 0)
        std::strcpy(e->Message, "Corrupted");
    std::longjmp(e->jump, 1);
}

void failWithText(j_common_ptr cinfo, const char* text)
{
    TJpegErrorState* e = errorStateOf(cinfo);
    e->ErrorCode = -1;
    std::snprintf(e->Message, sizeof e->Message, "%s", text);
    std::longjmp(e->jump, 1);
}

bool warningLosesPixels(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false;
    }
}

// Warnings are counted, never shown; trace messages are ignored.
void onEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    TJpegErrorState* e = errorStateOf(cinfo);
    ++e->Warnings;
    ++e->pub.num_warnings;
    if (warningLosesPixels(e->pub.msg_code))
        ++e->DataWarnings;
}

void onOutputMessage(j_common_ptr) {}

void installErrorHandler(TJpegErrorState* e)
{
    jpeg_std_error(&e->pub);
    e->pub.error_exit = onErrorExit;
    e->pub.emit_message = onEmitMessage;
    e->pub.output_message = onOutputMessage;
}

// ---- source: the stream through a 64 KiB buffer ----

TJpegDecompressor* decompressorOf(j_decompress_ptr cinfo)
{
    return static_cast<TJpegDecompressor*>(cinfo->client_data);
}

void sourceInit(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo)
{
    TJpegDecompressor* d = decompressorOf(cinfo);
    size_t n = d->Read(d->ReadContext, d->Buffer, JpegStreamBufferSize);
    if (n == 0) {
        if (!d->ReadAnything)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A cut-off file still ends cleanly: the decoder sees an end of
        // image and keeps what it has decoded.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        d->Buffer[0] = 0xFF;
        d->Buffer[1] = JPEG_EOI;
        n = 2;
        d->EndInserted = true;
    } else {
        d->ReadAnything = true;
    }
    d->src.next_input_byte = d->Buffer;
    d->src.bytes_in_buffer = n;
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count)
{
    TJpegDecompressor* d = decompressorOf(cinfo);
    if (count <= 0)
        return;
    size_t left = size_t(count);
    while (left > d->src.bytes_in_buffer) {
        left -= d->src.bytes_in_buffer;
        sourceFill(cinfo);
        if (d->EndInserted)
            return;
    }
    d->src.next_input_byte += left;
    d->src.bytes_in_buffer -= left;
}

void sourceTerm(j_decompress_ptr) {}

// Progressive files can hold any number of scans, each one a full pass over
// the coefficients; a hostile file with thousands of them would take
// minutes. Real files have a dozen or so.
void onProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* dc = reinterpret_cast<j_decompress_ptr>(cinfo);
    TJpegDecompressor* d = decompressorOf(dc);
    if (dc->input_scan_number > d->MaxScans)
        failWithText(cinfo, "Too many scans in a progressive JPEG file");
}

void saveAllMarkers(j_decompress_ptr cinfo)
{
    jpeg_save_markers(cinfo, JPEG_COM, 0xFFFF);
    for (int n = 0; n < 16; ++n)
        jpeg_save_markers(cinfo, JPEG_APP0 + n, 0xFFFF);
}

// ---- destination: the stream through a 64 KiB buffer ----

TJpegCompressor* compressorOf(j_compress_ptr cinfo)
{
    return static_cast<TJpegCompressor*>(cinfo->client_data);
}

void destInit(j_compress_ptr cinfo)
{
    TJpegCompressor* c = compressorOf(cinfo);
    c->dest.next_output_byte = c->Buffer;
    c->dest.free_in_buffer = JpegStreamBufferSize;
}

void flushBytes(TJpegCompressor* c, size_t n)
{
    if (n == 0 || c->WriteFailed)
        return;
    if (!c->Write(c->WriteContext, c->Buffer, n))
        c->WriteFailed = true;
}

boolean destEmpty(j_compress_ptr cinfo)
{
    TJpegCompressor* c = compressorOf(cinfo);
    flushBytes(c, JpegStreamBufferSize);
    c->dest.next_output_byte = c->Buffer;
    c->dest.free_in_buffer = JpegStreamBufferSize;
    return TRUE;
}

void destTerm(j_compress_ptr cinfo)
{
    TJpegCompressor* c = compressorOf(cinfo);
    flushBytes(c, JpegStreamBufferSize - c->dest.free_in_buffer);
    c->dest.next_output_byte = c->Buffer;
    c->dest.free_in_buffer = JpegStreamBufferSize;
}

void applySettings(j_compress_ptr cinfo, const TJpegEncodeSettings* s)
{
    cinfo->image_width = s->Width;
    cinfo->image_height = s->Height;
    cinfo->in_color_space = s->InputSpace;
    cinfo->input_components = s->InputComponents;
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, s->FileSpace);
    if (s->ForceJfif)
        cinfo->write_JFIF_header = TRUE;
    cinfo->density_unit = 1;
    cinfo->X_density = UINT16(s->DensityX);
    cinfo->Y_density = UINT16(s->DensityY);
    cinfo->dct_method = s->DctMethod;
    cinfo->optimize_coding = s->OptimalHuffman ? TRUE : FALSE;
    cinfo->smoothing_factor = s->Smoothing;
    jpeg_set_quality(cinfo, s->Quality, TRUE);
    if (s->Progressive)
        jpeg_simple_progression(cinfo);
}

}  // namespace

// ---- decompressor ----

bool jpegCreateDecompressor(TJpegDecompressor* d, TJpegReadFn read, void* context)
{
    d->Read = read;
    d->ReadContext = context;
    installErrorHandler(&d->err);
    d->cinfo.err = &d->err.pub;
    if (setjmp(d->err.jump))
        return false;
    jpeg_create_decompress(&d->cinfo);
    d->Created = true;
    d->cinfo.client_data = d;
    d->src.init_source = sourceInit;
    d->src.fill_input_buffer = sourceFill;
    d->src.skip_input_data = sourceSkip;
    d->src.resync_to_restart = jpeg_resync_to_restart;
    d->src.term_source = sourceTerm;
    d->src.next_input_byte = nullptr;
    d->src.bytes_in_buffer = 0;
    d->cinfo.src = &d->src;
    d->progress.progress_monitor = onProgress;
    d->cinfo.progress = &d->progress;
    return true;
}

bool jpegReadHeader(TJpegDecompressor* d)
{
    if (setjmp(d->err.jump))
        return false;
    saveAllMarkers(&d->cinfo);
    if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK)
        failWithText(reinterpret_cast<j_common_ptr>(&d->cinfo), "No picture in the JPEG data");
    return true;
}

bool jpegCalcOutputDimensions(TJpegDecompressor* d)
{
    if (setjmp(d->err.jump))
        return false;
    jpeg_calc_output_dimensions(&d->cinfo);
    return true;
}

bool jpegStartDecompress(TJpegDecompressor* d)
{
    if (setjmp(d->err.jump))
        return false;
    jpeg_start_decompress(&d->cinfo);
    return true;
}

bool jpegReadRows(TJpegDecompressor* d, JSAMPARRAY rows, unsigned n, unsigned* got)
{
    *got = 0;
    if (setjmp(d->err.jump))
        return false;
    *got = jpeg_read_scanlines(&d->cinfo, rows, n);
    return true;
}

bool jpegFinishDecompress(TJpegDecompressor* d)
{
    if (setjmp(d->err.jump))
        return false;
    jpeg_finish_decompress(&d->cinfo);
    return true;
}

TJpegDecompressor::~TJpegDecompressor()
{
    if (Created)
        jpeg_destroy_decompress(&cinfo);
}

// ---- compressor ----

bool jpegCreateCompressor(TJpegCompressor* c, TJpegWriteFn write, void* context)
{
    c->Write = write;
    c->WriteContext = context;
    installErrorHandler(&c->err);
    c->cinfo.err = &c->err.pub;
    if (setjmp(c->err.jump))
        return false;
    jpeg_create_compress(&c->cinfo);
    c->Created = true;
    c->cinfo.client_data = c;
    c->dest.init_destination = destInit;
    c->dest.empty_output_buffer = destEmpty;
    c->dest.term_destination = destTerm;
    c->cinfo.dest = &c->dest;
    return true;
}

bool jpegSetupCompressor(TJpegCompressor* c, const TJpegEncodeSettings* s)
{
    if (setjmp(c->err.jump))
        return false;
    applySettings(&c->cinfo, s);
    return true;
}

bool jpegStartCompress(TJpegCompressor* c)
{
    if (setjmp(c->err.jump))
        return false;
    jpeg_start_compress(&c->cinfo, TRUE);
    return true;
}

bool jpegWriteMarker(TJpegCompressor* c, int code, const uint8_t* data, unsigned length)
{
    if (setjmp(c->err.jump))
        return false;
    jpeg_write_marker(&c->cinfo, code, data, length);
    return true;
}

bool jpegWriteRows(TJpegCompressor* c, JSAMPARRAY rows, unsigned n)
{
    if (setjmp(c->err.jump))
        return false;
    jpeg_write_scanlines(&c->cinfo, rows, n);
    return true;
}

bool jpegFinishCompress(TJpegCompressor* c)
{
    if (setjmp(c->err.jump))
        return false;
    jpeg_finish_compress(&c->cinfo);
    return true;
}

TJpegCompressor::~TJpegCompressor()
{
    if (Created)
        jpeg_destroy_compress(&cinfo);
}
