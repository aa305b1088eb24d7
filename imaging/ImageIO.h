#pragma once
// TImageIO: loads and saves one picture (a TImageBuffer) with its parameters
// record (TImageParams), choosing the format by extension, by content or
// explicitly. The functions behind each format come from TFormatTable; a
// format the table has no reader or writer for fails like a bad file.
//
// Failures: readers and writers never throw to the caller; they leave the
// abort flag set (Aborting) and a failed read leaves Params.FileType at 0.
// The hard errors - a file that cannot be opened or created - throw
// std::runtime_error with the file's full path and the system's reason,
// and a codec library's fatal error while writing reaches the caller as
// EImageWriteError (the half-written file removed, the abort flag set).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/FormatTable.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageParams.h"

class TStream;

class TImageIO {
public:
    // Owns a fresh, empty buffer.
    TImageIO();
    // Works on a buffer owned elsewhere (nullptr: every load and save fails).
    explicit TImageIO(TImageBuffer* buffer);
    ~TImageIO();
    TImageIO(const TImageIO&) = delete;
    TImageIO& operator=(const TImageIO&) = delete;

    // The picture loaded into and saved from.
    TImageBuffer* Buffer() const { return buffer_; }
    // Switches to a buffer owned elsewhere (drops an owned one).
    void AttachBuffer(TImageBuffer* buffer);

    TImageParams Params;

    // The abort flag: set by a failed read or write, and by a caller (for
    // instance from OnProgress) to stop the running operation at its next
    // row. Every load and save clears it when it starts.
    bool Aborting = false;

    // Whole percent of the running load or save, called only when it changes.
    std::function<void(int percent)> OnProgress;
    // Called when a load or save ends, successful or not.
    std::function<void()> OnFinishWork;

    bool NativePixelFormat() const { return Params.NativePixelFormat; }
    void SetNativePixelFormat(bool native) { Params.NativePixelFormat = native; }

    // Params to defaults, Width and Height from the buffer.
    void SetDefaults();

    // Reader chosen by the lower-cased extension alone. An unknown extension
    // (or a network address, which is not fetched) fails without reading.
    // Returns true on success.
    bool LoadFromFile(const std::string& fileName);
    // Reader of the given format regardless of the extension.
    bool LoadFromFileFormat(const std::string& fileName, int formatId);
    bool LoadFromStream(TStream& stream, int formatId);
    bool LoadFromFileBmp(const std::string& fileName) { return LoadFromFileFormat(fileName, ffBMP); }
    bool LoadFromFileJpeg(const std::string& fileName) { return LoadFromFileFormat(fileName, ffJPEG); }
    bool LoadFromFilePng(const std::string& fileName) { return LoadFromFileFormat(fileName, ffPNG); }
    bool LoadFromFileGif(const std::string& fileName) { return LoadFromFileFormat(fileName, ffGIF); }
    bool LoadFromFileTiff(const std::string& fileName) { return LoadFromFileFormat(fileName, ffTIFF); }

    // Writer chosen by the lower-cased extension; an extension without a
    // writer writes nothing and sets the abort flag.
    bool SaveToFile(const std::string& fileName);
    // Creates the file (replacing an existing one) and writes it with the
    // given format; on success sets FileName and FileType. A failed write
    // removes the half-written file.
    bool SaveToFileFormat(const std::string& fileName, int formatId);
    bool SaveToStream(TStream& stream, int formatId);
    bool SaveToFileBmp(const std::string& fileName) { return SaveToFileFormat(fileName, ffBMP); }
    bool SaveToFileJpeg(const std::string& fileName) { return SaveToFileFormat(fileName, ffJPEG); }
    bool SaveToFileTiff(const std::string& fileName) { return SaveToFileFormat(fileName, ffTIFF); }
    bool SaveToFilePng(const std::string& fileName) { return SaveToFileFormat(fileName, ffPNG); }
    bool SaveToFileGif(const std::string& fileName) { return SaveToFileFormat(fileName, ffGIF); }
    bool SaveToStreamBmp(TStream& stream) { return SaveToStream(stream, ffBMP); }
    bool SaveToStreamJpeg(TStream& stream) { return SaveToStream(stream, ffJPEG); }
    bool SaveToStreamTiff(TStream& stream) { return SaveToStream(stream, ffTIFF); }
    bool SaveToStreamPng(TStream& stream) { return SaveToStream(stream, ffPNG); }
    bool SaveToStreamGif(TStream& stream) { return SaveToStream(stream, ffGIF); }

    // Fills only Params (the format chosen by DetectFileFormat, strict) and
    // keeps no pixels. Never throws: any failure leaves FileType 0.
    bool ReadParamsFromFile(const std::string& fileName);

    // Rewrites an existing JPEG file with a new EXIF block built from Params,
    // without decoding the picture (imaging/exif/ExifJpegRewrite.cpp). False,
    // the file untouched, for a file that is not a JPEG, a malformed marker,
    // no APP0 or APP1 segment to put the block after, or a write failure.
    bool WriteExifIntoJpegFile(const std::string& fileName);

    // For readers and writers: reports done/total as a whole percent
    // (OnProgress only when the value changes).
    void Progress(int64_t done, int64_t total);
    void ProgressPercent(int percent);

private:
    bool runReader(TFormatReader reader, TStream& stream, int formatId);
    bool runWriter(const TFileFormat& format, TStream& stream);
    void beginWork();
    void finishWork();

    std::unique_ptr<TImageBuffer> owned_;
    TImageBuffer* buffer_ = nullptr;
    int lastPercent_ = -1;
};
