#include "imaging/ImageIO.h"

#include <cstdio>
#include <exception>

#include "imaging/FormatDetect.h"
#include "imaging/Stream.h"

namespace {

bool isNetworkAddress(const std::string& name)
{
    auto starts = [&](const char* prefix) {
        size_t n = std::char_traits<char>::length(prefix);
        if (name.size() < n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            char c = name[i];
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (c != prefix[i])
                return false;
        }
        return true;
    };
    return starts("http://") || starts("https://") || starts("ftp://");
}

}  // namespace

TImageIO::TImageIO() : owned_(std::make_unique<TImageBuffer>()), buffer_(owned_.get())
{
    SetDefaults();
}

TImageIO::TImageIO(TImageBuffer* buffer) : buffer_(buffer)
{
    SetDefaults();
}

TImageIO::~TImageIO() = default;

void TImageIO::AttachBuffer(TImageBuffer* buffer)
{
    buffer_ = buffer;
    if (owned_ && owned_.get() != buffer)
        owned_.reset();
}

void TImageIO::SetDefaults()
{
    Params.SetDefaults();
    if (buffer_) {
        Params.Width = buffer_->Width();
        Params.Height = buffer_->Height();
    }
}

void TImageIO::beginWork()
{
    Aborting = false;
    lastPercent_ = -1;
}

void TImageIO::finishWork()
{
    if (OnFinishWork)
        OnFinishWork();
}

void TImageIO::ProgressPercent(int percent)
{
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    if (OnProgress)
        OnProgress(percent);
}

void TImageIO::Progress(int64_t done, int64_t total)
{
    if (total <= 0)
        return;
    if (done < 0)
        done = 0;
    if (done > total)
        done = total;
    ProgressPercent(int(done * 100 / total));
}

bool TImageIO::runReader(TFormatReader reader, TStream& stream, int formatId)
{
    // A read of a format that carries camera data replaces them all: a file
    // without EXIF, or without some of its tags, must not show what the
    // previous file had.
    if (formatId == ffJPEG || formatId == ffTIFF || formatId == ffRAW)
        static_cast<TExifParams&>(Params).SetDefaults();
    bool ok = false;
    try {
        ok = reader(*this, stream);
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok)
        Aborting = true;
    Params.FileType = Aborting ? ffNone : formatId;
    return !Aborting;
}

bool TImageIO::runWriter(const TFileFormat& format, TStream& stream)
{
    bool ok = false;
    try {
        ok = format.Write(*this, stream) && stream.Flush();
    } catch (const EImageWriteError&) {
        Aborting = true;
        throw;
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok || stream.Failed())
        Aborting = true;
    return !Aborting;
}

bool TImageIO::LoadFromFile(const std::string& fileName)
{
    const TFileFormat* format = isNetworkAddress(fileName) ? nullptr
                                                           : TFormatTable::Instance().FindByExtension(FileExtension(fileName));
    if (!format) {
        beginWork();
        Params.FileName = fileName;
        Params.FileType = ffNone;
        Aborting = true;
        finishWork();
        return false;
    }
    return LoadFromFileFormat(fileName, format->Id);
}

bool TImageIO::LoadFromFileFormat(const std::string& fileName, int formatId)
{
    beginWork();
    Params.FileName = fileName;
    const TFileFormat* format = TFormatTable::Instance().Find(formatId);
    if (!buffer_ || !format || !format->Read) {
        Params.FileType = ffNone;
        Aborting = true;
        finishWork();
        return false;
    }
    // A file that cannot be opened is a hard error for the caller.
    auto stream = TFileStream::OpenRead(fileName);
    bool ok = runReader(format->Read, *stream, formatId);
    finishWork();
    return ok;
}

bool TImageIO::LoadFromStream(TStream& stream, int formatId)
{
    beginWork();
    const TFileFormat* format = TFormatTable::Instance().Find(formatId);
    bool ok = false;
    if (buffer_ && format && format->Read)
        ok = runReader(format->Read, stream, formatId);
    else {
        Params.FileType = ffNone;
        Aborting = true;
    }
    finishWork();
    return ok;
}

bool TImageIO::SaveToFile(const std::string& fileName)
{
    const TFileFormat* format = TFormatTable::Instance().FindByExtension(FileExtension(fileName));
    if (!format || !format->Write) {
        beginWork();
        Aborting = true;
        finishWork();
        return false;
    }
    return SaveToFileFormat(fileName, format->Id);
}

bool TImageIO::SaveToFileFormat(const std::string& fileName, int formatId)
{
    beginWork();
    const TFileFormat* format = TFormatTable::Instance().Find(formatId);
    if (!buffer_ || buffer_->IsEmpty() || !format || !format->Write) {
        Aborting = true;
        finishWork();
        return false;
    }
    bool ok;
    try {
        auto stream = TFileStream::Create(fileName);
        ok = runWriter(*format, *stream) && stream->Close();
    } catch (const EImageWriteError&) {
        // The stream is closed by now; a half-written file is worse than none.
        std::remove(fileName.c_str());
        finishWork();
        throw;
    }
    if (ok) {
        Params.FileName = fileName;
        Params.FileType = formatId;
    } else {
        // A half-written file is worse than none.
        Aborting = true;
        std::remove(fileName.c_str());
    }
    finishWork();
    return ok;
}

bool TImageIO::SaveToStream(TStream& stream, int formatId)
{
    beginWork();
    const TFileFormat* format = TFormatTable::Instance().Find(formatId);
    bool ok = false;
    if (buffer_ && !buffer_->IsEmpty() && format && format->Write) {
        try {
            ok = runWriter(*format, stream);
        } catch (const EImageWriteError&) {
            finishWork();
            throw;
        }
    } else
        Aborting = true;
    if (ok)
        Params.FileType = formatId;
    finishWork();
    return ok;
}

bool TImageIO::ReadParamsFromFile(const std::string& fileName)
{
    beginWork();
    Params.FileName = fileName;
    // Whatever the file turns out to be, and even when it can't be read,
    // the camera data of the file read before are not its data.
    static_cast<TExifParams&>(Params).SetDefaults();
    bool ok = false;
    try {
        int id = DetectFileFormat(fileName, true);
        const TFileFormat* format = TFormatTable::Instance().Find(id);
        if (format && (format->ReadParams || format->Read)) {
            auto stream = TFileStream::OpenRead(fileName);
            if (format->ReadParams) {
                ok = runReader(format->ReadParams, *stream, id);
            } else {
                // No header-only reader: decode into a scratch picture.
                TImageIO scratch;
                scratch.Params = Params;
                ok = scratch.runReader(format->Read, *stream, id);
                Params = scratch.Params;
            }
        }
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) {
        Aborting = true;
        Params.FileType = ffNone;
    }
    finishWork();
    return ok;
}
