#pragma once
// The one place that talks to libjpeg.
//
// libjpeg reports fatal errors through a callback that must not return; the
// only sound way out of it is longjmp. A longjmp that crosses a C++ frame
// with live destructors is undefined, so every call into the library goes
// through a small function below whose frame holds nothing but plain data:
// it sets the jump point, calls the library and returns false when the
// library failed. The structures here are plain data as well, and the
// byte callbacks that the library calls back into are plain functions that
// must not throw (the glue in JpegReader/JpegWriter catches inside them).
//
// Callers own a TJpegDecompressor or TJpegCompressor through
// std::unique_ptr (the objects live on the heap: they hold the 64 KiB
// stream buffer) and keep all C++ objects on their side of these functions.
// The destructors release the library's object.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

// Size of the stream buffers of the source and the destination.
constexpr size_t JpegStreamBufferSize = 65536;

// Reads up to n bytes into buf; returns the count read, 0 at the end.
using TJpegReadFn = size_t (*)(void* context, uint8_t* buf, size_t n);
// Writes n bytes; returns false when not all of them could be written.
using TJpegWriteFn = bool (*)(void* context, const uint8_t* buf, size_t n);

struct TJpegErrorState {
    jpeg_error_mgr pub{};
    std::jmp_buf jump;
    int Warnings = 0;           // every warning of the library, counted
    int DataWarnings = 0;       // warnings that mean lost or damaged pixels
    int ErrorCode = 0;          // message code of the fatal error, 0 = none
    char Message[JMSG_LENGTH_MAX] = {};
};

struct TJpegDecompressor {
    TJpegDecompressor() = default;
    ~TJpegDecompressor();
    TJpegDecompressor(const TJpegDecompressor&) = delete;
    TJpegDecompressor& operator=(const TJpegDecompressor&) = delete;

    jpeg_decompress_struct cinfo{};
    TJpegErrorState err;
    jpeg_source_mgr src{};
    TJpegReadFn Read = nullptr;
    void* ReadContext = nullptr;
    bool Created = false;
    bool ReadAnything = false;  // at least one byte came from the stream
    bool EndInserted = false;   // the stream ran out and an EOI was supplied
    int MaxScans = 1000;        // progressive files with more scans are refused
    jpeg_progress_mgr progress{};
    JOCTET Buffer[JpegStreamBufferSize];
};

struct TJpegCompressor {
    TJpegCompressor() = default;
    ~TJpegCompressor();
    TJpegCompressor(const TJpegCompressor&) = delete;
    TJpegCompressor& operator=(const TJpegCompressor&) = delete;

    jpeg_compress_struct cinfo{};
    TJpegErrorState err;
    jpeg_destination_mgr dest{};
    TJpegWriteFn Write = nullptr;
    void* WriteContext = nullptr;
    bool Created = false;
    bool WriteFailed = false;   // a short write happened; later output is dropped
    JOCTET Buffer[JpegStreamBufferSize];
};

// Every function returns false when the library raised a fatal error; the
// error text is then in err.Message and the object may only be destroyed.

bool jpegCreateDecompressor(TJpegDecompressor* d, TJpegReadFn read, void* context);
// Keeps COM and APP0..APP15, then reads the header. Fails too for a
// tables-only stream (there is no picture to read).
bool jpegReadHeader(TJpegDecompressor* d);
// Computes output_width/height for the scale and colour space already set.
bool jpegCalcOutputDimensions(TJpegDecompressor* d);
bool jpegStartDecompress(TJpegDecompressor* d);
// Reads up to n rows; *got receives the count (0 when it failed).
bool jpegReadRows(TJpegDecompressor* d, JSAMPARRAY rows, unsigned n, unsigned* got);
bool jpegFinishDecompress(TJpegDecompressor* d);

// What the writer hands to the compressor before it starts.
struct TJpegEncodeSettings {
    unsigned Width = 0;
    unsigned Height = 0;
    J_COLOR_SPACE InputSpace = JCS_RGB;   // colour space of the rows passed in
    int InputComponents = 3;
    J_COLOR_SPACE FileSpace = JCS_YCbCr;  // colour space written to the file
    bool ForceJfif = false;               // JFIF segment even when the space has none by default
    unsigned DensityX = 300;              // dots per inch
    unsigned DensityY = 300;
    J_DCT_METHOD DctMethod = JDCT_IFAST;
    bool OptimalHuffman = false;
    int Smoothing = 0;
    int Quality = 80;
    bool Progressive = false;
};

bool jpegCreateCompressor(TJpegCompressor* c, TJpegWriteFn write, void* context);
bool jpegSetupCompressor(TJpegCompressor* c, const TJpegEncodeSettings* s);
bool jpegStartCompress(TJpegCompressor* c);
bool jpegWriteMarker(TJpegCompressor* c, int code, const uint8_t* data, unsigned length);
bool jpegWriteRows(TJpegCompressor* c, JSAMPARRAY rows, unsigned n);
// Finishes the stream and flushes the destination buffer.
bool jpegFinishCompress(TJpegCompressor* c);

