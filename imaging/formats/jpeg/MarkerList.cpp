#include "imaging/formats/jpeg/MarkerList.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::string_view IccSignature{"ICC_PROFILE\0", 12};
}

bool TMarker::StartsWith(std::string_view prefix) const
{
    return prefix.empty() ||
           (Data.size() >= prefix.size() && std::memcmp(Data.data(), prefix.data(), prefix.size()) == 0);
}

void TMarkerList::Add(uint8_t marker, std::vector<uint8_t> data)
{
    items_.push_back(TMarker{marker, std::move(data)});
}

void TMarkerList::Insert(int index, uint8_t marker, std::vector<uint8_t> data)
{
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, TMarker{marker, std::move(data)});
}

void TMarkerList::Delete(int index)
{
    if (index >= 0 && index < Count())
        items_.erase(items_.begin() + index);
}

int TMarkerList::IndexOf(uint8_t marker, std::string_view prefix, int start) const
{
    for (int i = std::max(start, 0); i < Count(); ++i)
        if (items_[size_t(i)].Marker == marker && items_[size_t(i)].StartsWith(prefix))
            return i;
    return -1;
}

void TMarkerList::SortForWriting()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [](const TMarker& a, const TMarker& b) { return a.Marker < b.Marker; });

    // ICC chunks change places only among themselves; other APP2 segments
    // keep their slots.
    std::vector<size_t> slots;
    std::vector<TMarker> chunks;
    for (size_t i = 0; i < items_.size(); ++i)
        if (IsIccProfileChunk(items_[i])) {
            slots.push_back(i);
            chunks.push_back(std::move(items_[i]));
        }
    std::stable_sort(chunks.begin(), chunks.end(),
                     [](const TMarker& a, const TMarker& b) { return a.Data[12] < b.Data[12]; });
    for (size_t k = 0; k < slots.size(); ++k)
        items_[slots[k]] = std::move(chunks[k]);

    int firstApp1 = IndexOf(JpegMarkerApp1);
    int exif = IndexOf(JpegMarkerApp1, "Exif");
    if (firstApp1 >= 0 && exif > firstApp1)
        std::rotate(items_.begin() + firstApp1, items_.begin() + exif, items_.begin() + exif + 1);
}

bool IsIccProfileChunk(const TMarker& marker)
{
    return marker.Marker == JpegMarkerApp2 && marker.Data.size() >= IccChunkHeaderSize &&
           marker.StartsWith(IccSignature);
}

std::vector<uint8_t> JoinIccProfile(const TMarkerList& markers)
{
    std::vector<const TMarker*> bySequence;
    int count = -1;
    for (const TMarker& m : markers) {
        if (!IsIccProfileChunk(m))
            continue;
        int sequence = m.Data[12];
        int chunkCount = m.Data[13];
        if (count < 0) {
            count = chunkCount;
            bySequence.assign(size_t(count), nullptr);
        }
        if (chunkCount != count || sequence < 1 || sequence > count || bySequence[size_t(sequence - 1)])
            return {};
        bySequence[size_t(sequence - 1)] = &m;
    }
    std::vector<uint8_t> profile;
    for (const TMarker* m : bySequence) {
        if (!m)
            return {};
        profile.insert(profile.end(), m->Data.begin() + IccChunkHeaderSize, m->Data.end());
    }
    return profile;
}
