#pragma once
// Bounded reading of TIFF directories (IFDs), shared by the TIFF reader and
// the EXIF reader. Every offset and count is checked against the data before
// anything is read or allocated; directory chains are walked with a set of
// visited offsets, so loops and absurd chains end cleanly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream;

namespace tiff {

// Random access to the bytes of one TIFF structure inside a stream; offsets
// count from the structure's header ("II"/"MM"), which may lie inside a
// larger stream, as an EXIF block does in a JPEG file.
class TTiffSource {
public:
    // base: stream position of the header; the structure ends at the end of
    // the stream or at base + limit when a limit is given.
    TTiffSource(TStream& stream, int64_t base, int64_t limit = -1);

    // Reads n bytes at offset; false (nothing promised about dst) when any
    // of them lies outside the structure or the stream fails.
    bool Read(uint64_t offset, void* dst, size_t n) const;
    // Bytes of the structure.
    uint64_t Size() const { return size_; }
    // True when the n bytes at offset lie inside the structure.
    bool Contains(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
    int64_t Base() const { return base_; }
    TStream& Stream() const { return stream_; }

private:
    TStream& stream_;
    int64_t base_;
    uint64_t size_;
};

// The byte order of a structure with its value readers.
struct TByteOrder {
    bool BigEndian = false;
    uint16_t U16(const uint8_t* p) const { return BigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); }
    uint32_t U32(const uint8_t* p) const
    {
        return BigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                         : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
};

// Reads and checks the 8-byte header; returns false when it is not TIFF.
bool ReadTiffHeader(const TTiffSource& src, TByteOrder* order, uint32_t* firstIfd);

struct TTiffEntry {
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    // Offset of the value bytes: inside the entry for values of up to four
    // bytes, else the offset the entry holds.
    uint32_t ValueOffset = 0;
    uint8_t Inline[4] = {};  // the entry's raw value field
    // Byte size of the value (count x type size), 0 for unknown types.
    uint64_t ByteSize() const;
};

class TTiffDirectory {
public:
    // Most entries a directory may have; more is taken for damage.
    static constexpr uint32_t MaxEntries = 4096;

    // Reads the directory at offset. False when the offset, the entry count
    // or the entries lie outside the data or the count is absurd; entries of
    // unknown type or with values outside the data are dropped.
    bool Read(const TTiffSource& src, TByteOrder order, uint32_t offset);

    const std::vector<TTiffEntry>& Entries() const { return entries_; }
    const TTiffEntry* Find(uint16_t tag) const;
    bool Has(uint16_t tag) const { return Find(tag) != nullptr; }
    uint32_t Offset() const { return offset_; }
    uint32_t NextOffset() const { return next_; }
    TByteOrder Order() const { return order_; }

    // Integer value number index of a BYTE, SHORT, LONG (signed or not) or
    // IFD field; false when the tag is missing or has fewer values.
    bool GetUInt(uint16_t tag, uint32_t* value, uint32_t index = 0) const;
    uint32_t UIntOr(uint16_t tag, uint32_t fallback) const;
    // All integer values, at most maxCount (the field is refused, giving an
    // empty list, when it holds more).
    std::vector<uint32_t> GetUInts(uint16_t tag, uint32_t maxCount) const;
    // Real value number index: RATIONAL and SRATIONAL as numerator /
    // denominator (both signed, denominator 0 counting as 1), the integer
    // types as themselves, FLOAT and DOUBLE as stored.
    bool GetReal(uint16_t tag, double* value, uint32_t index = 0) const;
    // The value bytes as stored, at most maxBytes (else empty).
    std::vector<uint8_t> GetBytes(uint16_t tag, uint32_t maxBytes) const;
    // ASCII value with one trailing zero byte dropped; false when missing or
    // longer than maxBytes.
    bool GetString(uint16_t tag, std::string* value, uint32_t maxBytes = 1048575) const;

private:
    bool readValue(const TTiffEntry& e, uint32_t index, uint8_t* dst, unsigned size) const;

    const TTiffSource* src_ = nullptr;
    TByteOrder order_;
    uint32_t offset_ = 0;
    uint32_t next_ = 0;
    std::vector<TTiffEntry> entries_;
};

// Offsets of the directories of the chain starting at first, in order; stops
// at an offset of 0, one outside the data, a damaged directory, an offset
// seen before (a loop) or after maxCount directories.
std::vector<uint32_t> WalkDirectoryChain(const TTiffSource& src, TByteOrder order, uint32_t first,
                                         size_t maxCount = 65536);

}  // namespace tiff
