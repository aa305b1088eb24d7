#pragma once
// Builds one little-endian TIFF directory and writes it: out-of-line values
// first, each at an even offset, then the directory itself at an even offset
// with its entries sorted by tag. Shared by the TIFF writer and the EXIF
// block builder; offsets count from the structure's header at `base`.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TStream;

namespace tiff {

class TTiffDirWriter {
public:
    void AddShort(uint16_t tag, std::vector<uint16_t> values);
    void AddLong(uint16_t tag, std::vector<uint32_t> values);
    // Numerator/denominator pairs; type RATIONAL (5) or SRATIONAL (10).
    void AddRational(uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values, bool isSigned = false);
    // ASCII with a terminating zero byte counted (count = length + 1), or
    // without one when terminate is false.
    void AddAscii(uint16_t tag, const std::string& text, bool terminate = true);
    // Raw value bytes of a given type (BYTE, UNDEFINED, ...); the count is
    // bytes.size() / type size.
    void AddBytes(uint16_t tag, uint16_t type, std::vector<uint8_t> bytes);
    // A LONG whose value is filled in later with SetLong (e.g. an offset of
    // data written after the values).
    void SetLong(uint16_t tag, uint32_t value);

    bool Has(uint16_t tag) const;
    size_t Count() const { return entries_.size(); }

    // Writes the out-of-line values not written yet at the stream's position
    // (the end of what was written so far). False on a write error or when
    // an offset no longer fits 32 bits.
    bool WriteValues(TStream& out, int64_t base);
    // Writes pending values, then the directory; *dirOffset receives its
    // offset and *nextFieldPos the stream position of its next-directory
    // field (for linking a later directory).
    bool WriteDirectory(TStream& out, int64_t base, uint32_t next, uint32_t* dirOffset,
                        int64_t* nextFieldPos = nullptr);

    // Overwrites a 32-bit little-endian value at a stream position and
    // returns to the end of the stream.
    static bool PatchLong(TStream& out, int64_t position, uint32_t value);
    // Writes one zero byte when the position (relative to base) is odd.
    static bool PadToEven(TStream& out, int64_t base);

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<uint8_t> bytes;
        bool written = false;
        uint32_t offset = 0;
    };
    void add(uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> bytes);

    std::vector<Entry> entries_;
};

}  // namespace tiff
