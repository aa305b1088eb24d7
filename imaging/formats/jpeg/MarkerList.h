#pragma once
// TMarkerList: the marker segments (COM, APP0..APP15) that a JPEG carries
// besides its picture, kept from a read so that a later save writes them
// back. Each entry is one segment's data without the marker and length bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Marker codes of the segments the list holds.
constexpr uint8_t JpegMarkerApp0 = 0xE0;
constexpr uint8_t JpegMarkerApp1 = 0xE1;
constexpr uint8_t JpegMarkerApp2 = 0xE2;
constexpr uint8_t JpegMarkerApp13 = 0xED;
constexpr uint8_t JpegMarkerApp14 = 0xEE;
constexpr uint8_t JpegMarkerCom = 0xFE;

// The longest segment data a JPEG can hold (the 16-bit length counts itself).
constexpr size_t JpegMaxSegmentData = 65533;

struct TMarker {
    uint8_t Marker = 0;
    std::vector<uint8_t> Data;

    bool StartsWith(std::string_view prefix) const;
    friend bool operator==(const TMarker&, const TMarker&) = default;
};

class TMarkerList {
public:
    int Count() const { return int(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const TMarker& operator[](int index) const { return items_[size_t(index)]; }
    TMarker& operator[](int index) { return items_[size_t(index)]; }

    void Add(uint8_t marker, std::vector<uint8_t> data);
    // Inserts before `index` (clamped to 0..Count()).
    void Insert(int index, uint8_t marker, std::vector<uint8_t> data);
    // Removes one entry; an index outside the list does nothing.
    void Delete(int index);
    void Clear() { items_.clear(); }

    // Index of the first entry at or after `start` with that marker code
    // whose data begins with `prefix`; -1 when there is none.
    int IndexOf(uint8_t marker, std::string_view prefix = {}, int start = 0) const;

    // Puts the segments in the order they are written: by marker code,
    // keeping the file order within one code, except that ICC profile
    // chunks go by their sequence byte and the first "Exif" APP1 comes
    // before every other APP1 (readers look for EXIF in the first APP1).
    void SortForWriting();

    std::vector<TMarker>::const_iterator begin() const { return items_.begin(); }
    std::vector<TMarker>::const_iterator end() const { return items_.end(); }

    friend bool operator==(const TMarkerList&, const TMarkerList&) = default;

private:
    std::vector<TMarker> items_;
};

// An APP2 segment carrying one chunk of an ICC colour profile:
// "ICC_PROFILE", 0, sequence number (from 1), chunk count, profile bytes.
bool IsIccProfileChunk(const TMarker& marker);
constexpr size_t IccChunkHeaderSize = 14;

// Joins the profile chunks of the list in sequence order. Returns an empty
// profile when there are none, or when the chunks do not form one whole
// profile (a missing, repeated or out-of-range sequence number, or chunk
// counts that disagree): half a profile would mislead a colour manager.
std::vector<uint8_t> JoinIccProfile(const TMarkerList& markers);
