#pragma once
// The table of known file formats: identifier, description, extensions,
// whether it can be written, and the functions behind it. Loading, saving,
// parameter reads and content detection all look formats up here instead
// of testing format by format.
//
// A format whose reader or writer is missing keeps its identifier and its
// recogniser, so files are still recognised; loading or saving it fails
// through the abort flag of TImageIO. Each format folder under
// imaging/formats/ provides its functions and the table below names them.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TImageIO;
class TStream;

// Format identifiers. 0 means no format (or a failed read).
enum TFileFormatId : int {
    ffNone = 0,
    ffTIFF = 1,
    ffGIF = 2,
    ffJPEG = 3,
    ffPCX = 4,
    ffBMP = 5,
    ffICO = 6,
    ffCUR = 7,
    ffPNG = 8,
    ffWMF = 9,
    ffEMF = 10,
    ffTGA = 11,
    ffPXM = 12,
    ffJP2 = 13,
    ffJ2K = 14,
    ffAVI = 15,
    ffWBMP = 16,
    ffPS = 17,
    ffPDF = 18,
    ffDCX = 19,
    ffRAW = 20,
    ffPSD = 24,
    ffIEV = 25,
    ffLYR = 26,
    ffALL = 27,
    ffDICOM = 28,
};

// Reads a picture (or, for a parameters reader, only the header fields)
// from the stream into io.Buffer() and io.Params. The stream is at the
// start of the file. Returns false on failure; a reader never throws on
// bad data (the frame still catches anything, e.g. std::bad_alloc).
using TFormatReader = bool (*)(TImageIO& io, TStream& stream);
// Writes io.Buffer() with the settings of io.Params. Returns false on
// failure (including a write error of the stream).
using TFormatWriter = bool (*)(TImageIO& io, TStream& stream);
// True when the stream's content looks like this format. Starts at
// position 0; the caller restores the position afterwards.
using TFormatRecogniser = bool (*)(TStream& stream);

// A fatal error of a codec library while writing. Unlike other writer
// failures it is not turned into the abort flag alone: the save operation
// removes its half-written file and lets the error reach the caller, who
// shows the library's text.
class EImageWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TFileFormat {
    int Id = ffNone;
    std::string Description;
    // Lower case, without the dot.
    std::vector<std::string> Extensions;
    bool Writable = false;
    // Content test and its place in the detection order (lower runs first).
    TFormatRecogniser Recognise = nullptr;
    int DetectionRank = 0;
    TFormatReader Read = nullptr;
    // Parameters only, without pixels; when missing, a parameters read
    // decodes the whole picture into a scratch buffer.
    TFormatReader ReadParams = nullptr;
    TFormatWriter Write = nullptr;

    bool HasExtension(std::string_view lowerExt) const;
};

class TFormatTable {
public:
    // The process-wide table, built on first use.
    static TFormatTable& Instance();

    // In table order.
    const std::vector<TFileFormat>& Formats() const { return formats_; }
    const TFileFormat* Find(int id) const;
    // By extension (with or without the dot, any case); nullptr when unknown.
    const TFileFormat* FindByExtension(std::string_view extension) const;
    // Formats with a recogniser, in detection order.
    const std::vector<const TFileFormat*>& DetectionOrder() const { return detection_; }

    // Adds a plug-in format at start-up (before any worker thread runs). Its
    // recogniser runs after those of the built-in formats and before the
    // camera-raw test. An identifier already in the table is replaced.
    void Register(TFileFormat format);

private:
    TFormatTable();
    void rebuildDetectionOrder();

    std::vector<TFileFormat> formats_;
    std::vector<const TFileFormat*> detection_;
    int nextPluginRank_;
};

// Lower-cased extension of a file name without the dot ("" when none).
std::string FileExtension(const std::string& fileName);
