#pragma once
// Byte streams for the readers and writers: a buffered file, a growable
// memory block and a read-only view on caller-owned bytes.
//
// Streams never throw once open. Read returns the number of bytes it could
// read (short at the end of the data); Write returns the number written
// (short on a device error, which the stream remembers in Failed()). Only
// opening a file throws, with the texts the program shows to the user.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to n bytes; returns how many were read.
    virtual size_t Read(void* buf, size_t n) = 0;
    // Writes n bytes; returns how many were written.
    virtual size_t Write(const void* buf, size_t n) = 0;
    // Moves to an absolute position; false when it lies outside 0..Size()
    // for a read-only stream or the device refuses.
    virtual bool Seek(int64_t position) = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Size() const = 0;
    // Pushes buffered output to the device; false on a write error.
    virtual bool Flush() { return !failed_; }

    // True after any short write or device error.
    bool Failed() const { return failed_; }

    // Bytes between the position and the end (0 when past the end).
    int64_t Remaining() const;
    // Reads exactly n bytes or fails (the position is then unspecified).
    bool ReadExact(void* buf, size_t n) { return Read(buf, n) == n; }
    // Writes exactly n bytes or fails.
    bool WriteExact(const void* buf, size_t n) { return Write(buf, n) == n; }
    // Skips n bytes forward; false when that passes the end.
    bool Skip(int64_t n);

protected:
    void setFailed() { failed_ = true; }

private:
    bool failed_ = false;
};

// A file opened for reading or created for writing, buffered in 64 KiB.
class TFileStream : public TStream {
public:
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Opens an existing file for reading. Throws std::runtime_error
    // "Cannot open file "<full path>". <system error text>".
    static std::unique_ptr<TFileStream> OpenRead(const std::string& fileName);
    // Creates (or truncates) a file for writing. Throws std::runtime_error
    // "Cannot create file "<full path>". <system error text>".
    static std::unique_ptr<TFileStream> Create(const std::string& fileName);

    size_t Read(void* buf, size_t n) override;
    size_t Write(const void* buf, size_t n) override;
    bool Seek(int64_t position) override;
    int64_t Position() const override;
    int64_t Size() const override;
    bool Flush() override;
    // Flushes and closes; false when buffered output could not be written.
    // Later calls of the other methods fail.
    bool Close();

    const std::string& FileName() const { return fileName_; }

private:
    TFileStream(std::FILE* file, std::string fileName, bool writing);

    std::FILE* file_;
    std::string fileName_;
    bool writing_;
    int64_t size_ = 0;
    std::unique_ptr<char[]> buffer_;
};

// A memory block that grows as it is written; also serves as an input.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    size_t Read(void* buf, size_t n) override;
    size_t Write(const void* buf, size_t n) override;
    // Seeking past the end is allowed; a later write fills the gap with zeros.
    bool Seek(int64_t position) override;
    int64_t Position() const override { return position_; }
    int64_t Size() const override { return int64_t(bytes_.size()); }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> TakeBytes();
    // Empties the stream but keeps the memory for the next use.
    void Clear();

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};

// A read-only view on bytes the caller keeps alive.
class TMemoryView : public TStream {
public:
    TMemoryView(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    size_t Read(void* buf, size_t n) override;
    // Always fails: the view cannot be written.
    size_t Write(const void* buf, size_t n) override;
    bool Seek(int64_t position) override;
    int64_t Position() const override { return int64_t(position_); }
    int64_t Size() const override { return int64_t(size_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Remembers a stream's position and restores it when it goes out of scope.
class TStreamPositionGuard {
public:
    explicit TStreamPositionGuard(TStream& stream) : stream_(stream), position_(stream.Position()) {}
    ~TStreamPositionGuard() { stream_.Seek(position_); }
    TStreamPositionGuard(const TStreamPositionGuard&) = delete;
    TStreamPositionGuard& operator=(const TStreamPositionGuard&) = delete;

private:
    TStream& stream_;
    int64_t position_;
};

// The absolute, normalised form of a file name as shown in error messages.
std::string FullFileName(const std::string& fileName);
