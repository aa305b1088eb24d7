#include "imaging/RowFileBuffer.h"

#include "imaging/ImageBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// An unnamed file in `folder`: O_TMPFILE where the file system supports it,
// otherwise a unique name that is removed at once.
int createUnnamedFile(const std::string& folder, std::string& triedName)
{
#ifdef O_TMPFILE
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '/')
        pattern += '/';
    pattern += "IMGXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd2 = ::mkstemp(name.data());
    triedName = pattern;
    if (fd2 < 0)
        return -1;
    ::unlink(name.data());
    ::fcntl(fd2, F_SETFD, FD_CLOEXEC);
    return fd2;
}

}  // namespace

TRowFileBuffer::TRowFileBuffer(const std::string& folder, int64_t rowLen, int rows)
    : rowLen_(rowLen), rows_(rows), current_(static_cast<size_t>(rowLen))
{
    std::string name = folder + "/IMG";
    fd_ = createUnnamedFile(folder, name);
    if (fd_ < 0)
        throw std::runtime_error("Unable to create " + name);
    int64_t size = rowLen * rows;
    // Reserve the blocks now so that a full disk shows here, where the
    // caller can fall back to memory, and not in the middle of writing rows.
    int rc = ::posix_fallocate(fd_, 0, size);
    if (rc == EOPNOTSUPP || rc == EINVAL)
        rc = ::ftruncate(fd_, size) == 0 ? 0 : errno;
    if (rc != 0) {
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("Unable to create " + name);
    }
}

TRowFileBuffer::~TRowFileBuffer()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TRowFileBuffer::readAt(int64_t offset, uint8_t* dst, int64_t bytes) const
{
    while (bytes > 0) {
        ssize_t n = ::pread(fd_, dst, size_t(bytes), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error(std::string("Unable to read temporary picture file: ") +
                                     (n < 0 ? std::strerror(errno) : "unexpected end"));
        dst += n;
        offset += n;
        bytes -= n;
    }
}

void TRowFileBuffer::writeAt(int64_t offset, const uint8_t* src, int64_t bytes)
{
    while (bytes > 0) {
        ssize_t n = ::pwrite(fd_, src, size_t(bytes), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error(std::string("Unable to write temporary picture file: ") +
                                     (n < 0 ? std::strerror(errno) : "nothing written"));
        src += n;
        offset += n;
        bytes -= n;
    }
}

void TRowFileBuffer::ReadRow(int row, uint8_t* dst, int64_t bytes) const
{
    readAt(int64_t(row) * rowLen_, dst, bytes < rowLen_ ? bytes : rowLen_);
}

void TRowFileBuffer::WriteRow(int row, const uint8_t* src, int64_t bytes)
{
    writeAt(int64_t(row) * rowLen_, src, bytes < rowLen_ ? bytes : rowLen_);
}

uint8_t* TRowFileBuffer::MapRow(int row, uint8_t access)
{
    if (row < 0 || row >= rows_)
        return nullptr;
    auto it = locked_.find(row);
    if (it != locked_.end())
        return it->second.data.data();
    if (row == currentRow_)
        return current_.data();
    if (currentRow_ >= 0 && (access & raWrite))
        WriteRow(currentRow_, current_.data(), rowLen_);
    currentRow_ = -1;
    if (access & raRead)
        ReadRow(row, current_.data(), rowLen_);
    else
        std::memset(current_.data(), 0, current_.size());
    currentRow_ = row;
    return current_.data();
}

uint8_t* TRowFileBuffer::LockRow(int row, uint8_t access)
{
    if (row < 0 || row >= rows_)
        return nullptr;
    auto it = locked_.find(row);
    if (it != locked_.end()) {
        ++it->second.count;
        return it->second.data.data();
    }
    Locked entry;
    entry.count = 1;
    if (row == currentRow_) {
        // Hand the current row over so both pointers see the same bytes.
        entry.data = std::move(current_);
        current_.assign(size_t(rowLen_), 0);
        currentRow_ = -1;
    } else {
        entry.data.assign(size_t(rowLen_), 0);
        if (access & raRead)
            ReadRow(row, entry.data.data(), rowLen_);
    }
    return locked_.emplace(row, std::move(entry)).first->second.data.data();
}

void TRowFileBuffer::UnlockRow(int row, uint8_t access)
{
    auto it = locked_.find(row);
    if (it == locked_.end())
        return;
    if (--it->second.count > 0)
        return;
    if (access & raWrite)
        WriteRow(row, it->second.data.data(), rowLen_);
    locked_.erase(it);
}

void TRowFileBuffer::Flush(uint8_t access)
{
    if (!(access & raWrite))
        return;
    if (currentRow_ >= 0)
        WriteRow(currentRow_, current_.data(), rowLen_);
    for (auto& [row, entry] : locked_)
        WriteRow(row, entry.data.data(), rowLen_);
}

void TRowFileBuffer::Discard()
{
    currentRow_ = -1;
    locked_.clear();
}

void TRowFileBuffer::CopyTo(TRowFileBuffer& dest) const
{
    dest.Discard();
    int64_t total = rowLen_ * rows_;
    int64_t destTotal = dest.rowLen_ * dest.rows_;
    if (destTotal < total)
        total = destTotal;
    std::vector<uint8_t> chunk(size_t(total < CopyChunk ? total : CopyChunk));
    for (int64_t offset = 0; offset < total; offset += CopyChunk) {
        int64_t n = total - offset < CopyChunk ? total - offset : CopyChunk;
        readAt(offset, chunk.data(), n);
        dest.writeAt(offset, chunk.data(), n);
    }
}
