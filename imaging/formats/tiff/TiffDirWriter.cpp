#include "imaging/formats/tiff/TiffDirWriter.h"

#include <algorithm>
#include <cstring>

#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffTags.h"

namespace tiff {

namespace {

void put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

bool offsetOf(const TStream& out, int64_t base, uint32_t* offset)
{
    const int64_t rel = out.Position() - base;
    if (rel < 0 || rel > int64_t(UINT32_MAX)) return false;
    *offset = uint32_t(rel);
    return true;
}

}  // namespace

void TTiffDirWriter::add(uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> bytes)
{
    auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.tag == tag; });
    Entry e{tag, type, count, std::move(bytes)};
    if (same != entries_.end())
        *same = std::move(e);
    else
        entries_.push_back(std::move(e));
}

void TTiffDirWriter::AddShort(uint16_t tag, std::vector<uint16_t> values)
{
    std::vector<uint8_t> b;
    for (uint16_t v : values) put16(b, v);
    add(tag, ttShort, uint32_t(values.size()), std::move(b));
}

void TTiffDirWriter::AddLong(uint16_t tag, std::vector<uint32_t> values)
{
    std::vector<uint8_t> b;
    b.reserve(values.size() * 4);
    for (uint32_t v : values) put32(b, v);
    add(tag, ttLong, uint32_t(values.size()), std::move(b));
}

void TTiffDirWriter::AddRational(uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values, bool isSigned)
{
    std::vector<uint8_t> b;
    for (auto [num, den] : values) {
        put32(b, num);
        put32(b, den);
    }
    add(tag, isSigned ? ttSRational : ttRational, uint32_t(values.size()), std::move(b));
}

void TTiffDirWriter::AddAscii(uint16_t tag, const std::string& text, bool terminate)
{
    std::vector<uint8_t> b(text.begin(), text.end());
    if (terminate) b.push_back(0);
    const uint32_t count = uint32_t(b.size());
    add(tag, ttAscii, count, std::move(b));
}

void TTiffDirWriter::AddBytes(uint16_t tag, uint16_t type, std::vector<uint8_t> bytes)
{
    const uint32_t count = uint32_t(bytes.size() / std::max(1u, TypeSize(type)));
    add(tag, type, count, std::move(bytes));
}

void TTiffDirWriter::SetLong(uint16_t tag, uint32_t value) { AddLong(tag, {value}); }

bool TTiffDirWriter::Has(uint16_t tag) const
{
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.tag == tag; });
}

bool TTiffDirWriter::PadToEven(TStream& out, int64_t base)
{
    if (((out.Position() - base) & 1) == 0) return true;
    const uint8_t zero = 0;
    return out.WriteExact(&zero, 1);
}

bool TTiffDirWriter::WriteValues(TStream& out, int64_t base)
{
    for (Entry& e : entries_) {
        if (e.written || e.bytes.size() <= 4) continue;
        if (!PadToEven(out, base) || !offsetOf(out, base, &e.offset)) return false;
        if (!out.WriteExact(e.bytes.data(), e.bytes.size())) return false;
        e.written = true;
    }
    return true;
}

bool TTiffDirWriter::WriteDirectory(TStream& out, int64_t base, uint32_t next, uint32_t* dirOffset,
                                    int64_t* nextFieldPos)
{
    if (!WriteValues(out, base) || !PadToEven(out, base) || !offsetOf(out, base, dirOffset)) return false;
    std::vector<const Entry*> sorted;
    for (const Entry& e : entries_) sorted.push_back(&e);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry* a, const Entry* b) { return a->tag < b->tag; });
    std::vector<uint8_t> dir;
    dir.reserve(2 + sorted.size() * 12 + 4);
    put16(dir, uint32_t(sorted.size()));
    for (const Entry* e : sorted) {
        put16(dir, e->tag);
        put16(dir, e->type);
        put32(dir, e->count);
        if (e->bytes.size() <= 4) {
            uint8_t field[4] = {};
            if (!e->bytes.empty()) std::memcpy(field, e->bytes.data(), e->bytes.size());
            dir.insert(dir.end(), field, field + 4);
        } else {
            put32(dir, e->offset);
        }
    }
    if (nextFieldPos) *nextFieldPos = out.Position() + int64_t(dir.size());
    put32(dir, next);
    return out.WriteExact(dir.data(), dir.size());
}

bool TTiffDirWriter::PatchLong(TStream& out, int64_t position, uint32_t value)
{
    const int64_t end = out.Size();
    uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return out.Seek(position) && out.WriteExact(b, 4) && out.Seek(end);
}

}  // namespace tiff
