#include "imaging/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace {

constexpr size_t FileBufferSize = 65536;

std::runtime_error fileError(const char* what, const std::string& fileName, int error)
{
    return std::runtime_error(std::string(what) + " \"" + FullFileName(fileName) + "\". " + std::strerror(error));
}

}  // namespace

std::string FullFileName(const std::string& fileName)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(fileName, ec);
    if (ec)
        return fileName;
    return p.lexically_normal().string();
}

int64_t TStream::Remaining() const
{
    int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

bool TStream::Skip(int64_t n)
{
    if (n < 0 || n > Remaining())
        return false;
    return Seek(Position() + n);
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(std::FILE* file, std::string fileName, bool writing)
    : file_(file), fileName_(std::move(fileName)), writing_(writing), buffer_(new char[FileBufferSize])
{
    std::setvbuf(file_, buffer_.get(), _IOFBF, FileBufferSize);
    if (!writing_) {
        struct stat st {};
        if (fstat(fileno(file_), &st) == 0)
            size_ = int64_t(st.st_size);
    }
}

TFileStream::~TFileStream()
{
    Close();
}

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& fileName)
{
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f)
        throw fileError("Cannot open file", fileName, errno);
    // A folder opens fine with fopen but cannot be read.
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        throw fileError("Cannot open file", fileName, EISDIR);
    }
    return std::unique_ptr<TFileStream>(new TFileStream(f, fileName, false));
}

std::unique_ptr<TFileStream> TFileStream::Create(const std::string& fileName)
{
    std::FILE* f = std::fopen(fileName.c_str(), "w+b");
    if (!f)
        throw fileError("Cannot create file", fileName, errno);
    return std::unique_ptr<TFileStream>(new TFileStream(f, fileName, true));
}

size_t TFileStream::Read(void* buf, size_t n)
{
    if (!file_ || n == 0)
        return 0;
    return std::fread(buf, 1, n, file_);
}

size_t TFileStream::Write(const void* buf, size_t n)
{
    if (!file_ || !writing_) {
        setFailed();
        return 0;
    }
    if (n == 0)
        return 0;
    size_t written = std::fwrite(buf, 1, n, file_);
    if (written != n)
        setFailed();
    int64_t end = Position();
    size_ = std::max(size_, end);
    return written;
}

bool TFileStream::Seek(int64_t position)
{
    if (!file_ || position < 0)
        return false;
    if (!writing_ && position > size_)
        return false;
    return fseeko(file_, off_t(position), SEEK_SET) == 0;
}

int64_t TFileStream::Position() const
{
    if (!file_)
        return 0;
    off_t p = ftello(file_);
    return p < 0 ? 0 : int64_t(p);
}

int64_t TFileStream::Size() const
{
    return size_;
}

bool TFileStream::Flush()
{
    if (file_ && writing_ && std::fflush(file_) != 0)
        setFailed();
    return !Failed();
}

bool TFileStream::Close()
{
    if (!file_)
        return !Failed();
    if (std::fclose(file_) != 0 && writing_)
        setFailed();
    file_ = nullptr;
    return !Failed();
}

// ---------------------------------------------------------------------------

size_t TMemoryStream::Read(void* buf, size_t n)
{
    if (position_ >= bytes_.size())
        return 0;
    size_t count = std::min(n, bytes_.size() - position_);
    std::memcpy(buf, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

size_t TMemoryStream::Write(const void* buf, size_t n)
{
    if (n == 0)
        return 0;
    if (n > SIZE_MAX - position_) {
        setFailed();
        return 0;
    }
    size_t end = position_ + n;
    try {
        if (end > bytes_.size()) {
            if (end > bytes_.capacity())
                bytes_.reserve(std::max(end, bytes_.capacity() * 2));
            bytes_.resize(end);
        }
    } catch (const std::bad_alloc&) {
        setFailed();
        return 0;
    }
    std::memcpy(bytes_.data() + position_, buf, n);
    position_ = end;
    return n;
}

bool TMemoryStream::Seek(int64_t position)
{
    if (position < 0)
        return false;
    position_ = size_t(position);
    return true;
}

std::vector<uint8_t> TMemoryStream::TakeBytes()
{
    std::vector<uint8_t> out = std::move(bytes_);
    bytes_.clear();
    position_ = 0;
    return out;
}

void TMemoryStream::Clear()
{
    bytes_.clear();
    position_ = 0;
}

// ---------------------------------------------------------------------------

size_t TMemoryView::Read(void* buf, size_t n)
{
    if (position_ >= size_)
        return 0;
    size_t count = std::min(n, size_ - position_);
    std::memcpy(buf, data_ + position_, count);
    position_ += count;
    return count;
}

size_t TMemoryView::Write(const void*, size_t)
{
    setFailed();
    return 0;
}

bool TMemoryView::Seek(int64_t position)
{
    if (position < 0 || uint64_t(position) > size_)
        return false;
    position_ = size_t(position);
    return true;
}
