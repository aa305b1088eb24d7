#pragma once
// TRowFileBuffer: the rows of a picture kept in a temporary file, mapped
// into memory on demand. The file has no name in the file system (O_TMPFILE,
// or unlinked right after it was opened), so the system removes it when the
// buffer closes it or the process dies.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TRowFileBuffer {
public:
    // Size of one block of a file-to-file copy.
    static constexpr int64_t CopyChunk = 1048576;

    // Creates a file of rowLen * rows bytes in `folder`. Throws
    // std::runtime_error("Unable to create <name>") when that fails.
    TRowFileBuffer(const std::string& folder, int64_t rowLen, int rows);
    ~TRowFileBuffer();
    TRowFileBuffer(const TRowFileBuffer&) = delete;
    TRowFileBuffer& operator=(const TRowFileBuffer&) = delete;

    int64_t RowLen() const { return rowLen_; }
    int Rows() const { return rows_; }
    // The descriptor, for tests that check the file's fate.
    int Descriptor() const { return fd_; }

    // The one current row: writes back the previous one (when `access` has
    // raWrite), then reads the new one (when it has raRead).
    uint8_t* MapRow(int row, uint8_t access);
    // Rows that stay mapped until unlocked (counted).
    uint8_t* LockRow(int row, uint8_t access);
    void UnlockRow(int row, uint8_t access);

    // Writes every mapped row back (when `access` has raWrite).
    void Flush(uint8_t access);
    // Forgets mapped rows without writing them.
    void Discard();

    // Direct row transfers, bypassing the mapping.
    void ReadRow(int row, uint8_t* dst, int64_t bytes) const;
    void WriteRow(int row, const uint8_t* src, int64_t bytes);

    // File-to-file copy of min(both sizes) bytes in CopyChunk pieces.
    // The source must be flushed; the destination's mapped rows are dropped.
    void CopyTo(TRowFileBuffer& dest) const;

private:
    void readAt(int64_t offset, uint8_t* dst, int64_t bytes) const;
    void writeAt(int64_t offset, const uint8_t* src, int64_t bytes);

    struct Locked {
        std::vector<uint8_t> data;
        int count = 0;
    };

    int fd_ = -1;
    int64_t rowLen_ = 0;
    int rows_ = 0;
    int currentRow_ = -1;
    std::vector<uint8_t> current_;
    std::map<int, Locked> locked_;
};
