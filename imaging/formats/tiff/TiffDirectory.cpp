#include "imaging/formats/tiff/TiffDirectory.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffTags.h"

namespace tiff {

TTiffSource::TTiffSource(TStream& stream, int64_t base, int64_t limit) : stream_(stream), base_(base), size_(0)
{
    int64_t total = stream.Size();
    if (base >= 0 && base <= total) {
        uint64_t avail = uint64_t(total - base);
        size_ = limit >= 0 ? std::min<uint64_t>(avail, uint64_t(limit)) : avail;
    }
}

bool TTiffSource::Read(uint64_t offset, void* dst, size_t n) const
{
    if (!Contains(offset, n)) return false;
    if (n == 0) return true;
    if (!stream_.Seek(base_ + int64_t(offset))) return false;
    return stream_.ReadExact(dst, n);
}

bool ReadTiffHeader(const TTiffSource& src, TByteOrder* order, uint32_t* firstIfd)
{
    uint8_t h[8];
    if (!src.Read(0, h, 8)) return false;
    if (h[0] == 'I' && h[1] == 'I')
        order->BigEndian = false;
    else if (h[0] == 'M' && h[1] == 'M')
        order->BigEndian = true;
    else
        return false;
    if (order->U16(h + 2) != 42) return false;
    *firstIfd = order->U32(h + 4);
    return true;
}

uint64_t TTiffEntry::ByteSize() const { return uint64_t(Count) * TypeSize(Type); }

bool TTiffDirectory::Read(const TTiffSource& src, TByteOrder order, uint32_t offset)
{
    src_ = &src;
    order_ = order;
    offset_ = offset;
    next_ = 0;
    entries_.clear();
    uint8_t countBytes[2];
    if (offset < 8 || !src.Read(offset, countBytes, 2)) return false;
    const uint32_t count = order.U16(countBytes);
    if (count == 0 || count > MaxEntries) return false;
    const uint64_t tableSize = uint64_t(count) * 12;
    std::vector<uint8_t> table(size_t(tableSize) + 4);
    if (!src.Read(uint64_t(offset) + 2, table.data(), size_t(tableSize))) return false;
    // A missing next-directory field ends the chain rather than the read.
    if (!src.Read(uint64_t(offset) + 2 + tableSize, table.data() + tableSize, 4))
        next_ = 0;
    else
        next_ = order.U32(table.data() + tableSize);
    entries_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = table.data() + size_t(i) * 12;
        TTiffEntry e;
        e.Tag = order.U16(p);
        e.Type = order.U16(p + 2);
        e.Count = order.U32(p + 4);
        std::memcpy(e.Inline, p + 8, 4);
        const uint64_t bytes = e.ByteSize();
        if (bytes == 0 && TypeSize(e.Type) == 0) continue;
        if (bytes <= 4)
            e.ValueOffset = uint32_t(uint64_t(offset) + 2 + uint64_t(i) * 12 + 8);
        else
            e.ValueOffset = order.U32(p + 8);
        if (!src.Contains(e.ValueOffset, bytes)) continue;
        entries_.push_back(e);
    }
    return true;
}

const TTiffEntry* TTiffDirectory::Find(uint16_t tag) const
{
    for (const TTiffEntry& e : entries_)
        if (e.Tag == tag) return &e;
    return nullptr;
}

bool TTiffDirectory::readValue(const TTiffEntry& e, uint32_t index, uint8_t* dst, unsigned size) const
{
    if (index >= e.Count) return false;
    const uint64_t at = uint64_t(index) * size;
    if (e.ByteSize() <= 4) {
        std::memcpy(dst, e.Inline + at, size);
        return true;
    }
    return src_ && src_->Read(uint64_t(e.ValueOffset) + at, dst, size);
}

bool TTiffDirectory::GetUInt(uint16_t tag, uint32_t* value, uint32_t index) const
{
    const TTiffEntry* e = Find(tag);
    if (!e) return false;
    uint8_t b[4];
    switch (e->Type) {
    case ttByte: case ttSByte: case ttUndefined:
        if (!readValue(*e, index, b, 1)) return false;
        *value = e->Type == ttSByte ? uint32_t(int32_t(int8_t(b[0]))) : b[0];
        return true;
    case ttShort: case ttSShort:
        if (!readValue(*e, index, b, 2)) return false;
        *value = e->Type == ttSShort ? uint32_t(int32_t(int16_t(order_.U16(b)))) : order_.U16(b);
        return true;
    case ttLong: case ttSLong: case ttIfd:
        if (!readValue(*e, index, b, 4)) return false;
        *value = order_.U32(b);
        return true;
    default:
        return false;
    }
}

uint32_t TTiffDirectory::UIntOr(uint16_t tag, uint32_t fallback) const
{
    uint32_t v = 0;
    return GetUInt(tag, &v) ? v : fallback;
}

std::vector<uint32_t> TTiffDirectory::GetUInts(uint16_t tag, uint32_t maxCount) const
{
    std::vector<uint32_t> out;
    const TTiffEntry* e = Find(tag);
    if (!e || e->Count > maxCount) return out;
    const unsigned size = TypeSize(e->Type);
    if (size == 0 || size > 4 || e->Type == ttAscii) return out;
    // One read of the whole array, then decoding in memory.
    std::vector<uint8_t> raw = GetBytes(tag, uint32_t(std::min<uint64_t>(e->ByteSize(), UINT32_MAX)));
    if (raw.size() != e->ByteSize()) return out;
    out.resize(e->Count);
    for (uint32_t i = 0; i < e->Count; ++i) {
        const uint8_t* p = raw.data() + size_t(i) * size;
        switch (e->Type) {
        case ttSByte: out[i] = uint32_t(int32_t(int8_t(p[0]))); break;
        case ttShort: out[i] = order_.U16(p); break;
        case ttSShort: out[i] = uint32_t(int32_t(int16_t(order_.U16(p)))); break;
        case ttLong: case ttSLong: case ttIfd: out[i] = order_.U32(p); break;
        default: out[i] = p[0]; break;
        }
    }
    return out;
}

bool TTiffDirectory::GetReal(uint16_t tag, double* value, uint32_t index) const
{
    const TTiffEntry* e = Find(tag);
    if (!e) return false;
    uint8_t b[8];
    switch (e->Type) {
    case ttRational: case ttSRational: {
        if (!readValue(*e, index, b, 8)) return false;
        int32_t num = int32_t(order_.U32(b));
        int32_t den = int32_t(order_.U32(b + 4));
        if (e->Type == ttRational) {
            // Unsigned on paper; values over 2^31 are read as their unsigned size.
            *value = double(uint32_t(num)) / double(den == 0 ? 1u : uint32_t(den));
        } else {
            *value = double(num) / double(den == 0 ? 1 : den);
        }
        return true;
    }
    case ttFloat: {
        if (!readValue(*e, index, b, 4)) return false;
        uint32_t bits = order_.U32(b);
        float f;
        std::memcpy(&f, &bits, 4);
        *value = f;
        return true;
    }
    case ttDouble: {
        if (!readValue(*e, index, b, 8)) return false;
        uint64_t bits = order_.BigEndian ? (uint64_t(order_.U32(b)) << 32 | order_.U32(b + 4))
                                         : (uint64_t(order_.U32(b + 4)) << 32 | order_.U32(b));
        std::memcpy(value, &bits, 8);
        return true;
    }
    default: {
        uint32_t v = 0;
        if (!GetUInt(tag, &v, index)) return false;
        *value = (e->Type == ttSShort || e->Type == ttSLong || e->Type == ttSByte) ? double(int32_t(v)) : double(v);
        return true;
    }
    }
}

std::vector<uint8_t> TTiffDirectory::GetBytes(uint16_t tag, uint32_t maxBytes) const
{
    std::vector<uint8_t> out;
    const TTiffEntry* e = Find(tag);
    if (!e) return out;
    const uint64_t n = e->ByteSize();
    if (n > maxBytes) return out;
    out.resize(size_t(n));
    if (n == 0) return out;
    if (n <= 4) {
        std::memcpy(out.data(), e->Inline, size_t(n));
    } else if (!src_ || !src_->Read(e->ValueOffset, out.data(), size_t(n))) {
        out.clear();
    }
    return out;
}

bool TTiffDirectory::GetString(uint16_t tag, std::string* value, uint32_t maxBytes) const
{
    const TTiffEntry* e = Find(tag);
    if (!e || e->Count > maxBytes || TypeSize(e->Type) != 1) return false;
    std::vector<uint8_t> bytes = GetBytes(tag, maxBytes);
    if (bytes.size() != e->Count) return false;
    if (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    value->assign(bytes.begin(), bytes.end());
    return true;
}

std::vector<uint32_t> WalkDirectoryChain(const TTiffSource& src, TByteOrder order, uint32_t first, size_t maxCount)
{
    std::vector<uint32_t> chain;
    std::unordered_set<uint32_t> seen;
    uint32_t offset = first;
    while (offset != 0 && chain.size() < maxCount && seen.insert(offset).second) {
        TTiffDirectory dir;
        if (!dir.Read(src, order, offset)) break;
        chain.push_back(offset);
        offset = dir.NextOffset();
    }
    return chain;
}

}  // namespace tiff
