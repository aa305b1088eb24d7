// The JPEG marker handling without the codec: the start-of-image search,
// a marker list built from arbitrary segments, its writing order and the
// ICC profile joined from its chunks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/Stream.h"
#include "imaging/formats/jpeg/JpegReader.h"
#include "imaging/formats/jpeg/MarkerList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryView in(data, size);
    if (FindJpegStart(in)) {
        const int64_t at = in.Position();
        if (at < 0 || at >= 100 || size_t(at) + 3 > size || data[at] != 0xFF || data[at + 1] != 0xD8)
            std::abort();
    } else if (in.Position() != 0) {
        std::abort();
    }

    // Segments: marker byte, length byte, data.
    TMarkerList list;
    size_t pos = 0;
    size_t total = 0;
    while (pos + 2 <= size) {
        uint8_t marker = data[pos];
        size_t length = data[pos + 1];
        pos += 2;
        if (length > size - pos)
            length = size - pos;
        list.Add(marker, std::vector<uint8_t>(data + pos, data + pos + length));
        total += length;
        pos += length;
    }
    std::vector<uint8_t> profile = JoinIccProfile(list);
    if (profile.size() > total)
        std::abort();

    const int count = list.Count();
    list.SortForWriting();
    if (list.Count() != count)
        std::abort();
    for (int i = 1; i < list.Count(); ++i)
        if (list[i - 1].Marker > list[i].Marker)
            std::abort();
    int firstApp1 = list.IndexOf(JpegMarkerApp1);
    int exif = list.IndexOf(JpegMarkerApp1, "Exif");
    if (exif >= 0 && exif != firstApp1)
        std::abort();
    // Sorting twice changes nothing, and the profile does not depend on order.
    TMarkerList again = list;
    again.SortForWriting();
    if (!(again == list) || JoinIccProfile(again) != profile)
        std::abort();
    return 0;
}
