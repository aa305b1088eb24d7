#include "imaging/FormatDetect.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>

#include "imaging/FormatTable.h"
#include "imaging/Stream.h"

namespace {

// The first n bytes of the stream (fewer when it is shorter).
template <size_t N>
size_t head(TStream& s, std::array<uint8_t, N>& out)
{
    out.fill(0);
    if (!s.Seek(0))
        return 0;
    return s.Read(out.data(), N);
}

bool startsWith(TStream& s, const char* magic, size_t len, int64_t offset = 0)
{
    if (s.Size() < offset + int64_t(len) || !s.Seek(offset))
        return false;
    uint8_t buf[32];
    if (len > sizeof buf || !s.ReadExact(buf, len))
        return false;
    return std::memcmp(buf, magic, len) == 0;
}

uint16_t get16(const uint8_t* p, bool little) { return little ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]); }
uint32_t get32(const uint8_t* p, bool little)
{
    return little ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                  : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

enum class TiffKind { NotTiff, Plain, Raw };

// Looks at a TIFF header and its first directory. Camera-raw files that are
// TIFF underneath are told apart by a DNG version tag, a colour-filter or
// linear-raw photometric value, or sub-directories with a TIFF/EP standard
// tag next to a main image that is only a small preview.
TiffKind classifyTiff(TStream& s)
{
    std::array<uint8_t, 8> h{};
    if (head(s, h) < 8)
        return TiffKind::NotTiff;
    bool little;
    if (h[0] == 'I' && h[1] == 'I')
        little = true;
    else if (h[0] == 'M' && h[1] == 'M')
        little = false;
    else
        return TiffKind::NotTiff;
    if (get16(&h[2], little) != 42)
        return TiffKind::NotTiff;
    const int64_t size = s.Size();
    const uint32_t ifd = get32(&h[4], little);
    if (ifd < 8 || int64_t(ifd) + 2 > size || !s.Seek(ifd))
        return TiffKind::NotTiff;
    uint8_t cnt[2];
    if (!s.ReadExact(cnt, 2))
        return TiffKind::NotTiff;
    // Only the entries that are really in the file are looked at.
    int64_t count = get16(cnt, little);
    count = std::min<int64_t>(count, (size - ifd - 2) / 12);
    bool hasSubIfds = false, hasEpStandard = false;
    int64_t width = -1, height = -1;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t e[12];
        if (!s.ReadExact(e, 12))
            break;
        uint16_t tag = get16(e, little);
        uint16_t type = get16(e + 2, little);
        // A SHORT value sits in the first two bytes of the value field.
        uint32_t value = type == 3 ? get16(e + 8, little) : get32(e + 8, little);
        switch (tag) {
        case 50706:
            return TiffKind::Raw;
        case 262:
            if (value == 32803 || value == 34892)
                return TiffKind::Raw;
            break;
        case 330:
            hasSubIfds = true;
            break;
        case 37398:
            hasEpStandard = true;
            break;
        case 256:
            width = value;
            break;
        case 257:
            height = value;
            break;
        default:
            break;
        }
    }
    if (hasSubIfds && hasEpStandard && width >= 0 && height >= 0 && width < 200 && height < 200)
        return TiffKind::Raw;
    return TiffKind::Plain;
}

}  // namespace

namespace recognise {

bool Gif(TStream& s) { return s.Size() > 13 && startsWith(s, "GIF", 3); }

bool Bmp(TStream& s) { return s.Size() > 14 && startsWith(s, "BM", 2); }

bool Pcx(TStream& s)
{
    std::array<uint8_t, 2> h{};
    return s.Size() > 128 && head(s, h) == 2 && h[0] == 10 && h[1] <= 5;
}

bool Tiff(TStream& s) { return classifyTiff(s) == TiffKind::Plain; }

bool Png(TStream& s) { return s.Size() > 8 && startsWith(s, "\x89PNG\r\n\x1a\n", 8); }

bool Dicom(TStream& s) { return startsWith(s, "DICM", 4, 128); }

namespace {
// Icon and cursor directories differ only in their type word.
bool iconDirectory(TStream& s, uint8_t type)
{
    std::array<uint8_t, 22> h{};
    if (head(s, h) < 22)
        return false;
    if (h[0] != 0 || h[1] != 0 || h[2] != type || h[3] != 0)
        return false;
    uint16_t count = get16(&h[4], true);
    // First entry: the reserved byte is 0 and the image lies in the file.
    uint32_t bytes = get32(&h[14], true);
    uint32_t offset = get32(&h[18], true);
    return count > 0 && h[9] == 0 && bytes > 0 && int64_t(offset) + int64_t(bytes) <= s.Size() &&
           offset >= 6u + 16u * count;
}
}  // namespace

bool Icon(TStream& s) { return iconDirectory(s, 1); }

bool Cursor(TStream& s) { return iconDirectory(s, 2); }

bool Targa(TStream& s)
{
    // Targa has no signature; accept only a fully consistent header.
    std::array<uint8_t, 18> h{};
    if (head(s, h) < 18)
        return false;
    uint8_t mapType = h[1], imageType = h[2], depth = h[16];
    if (mapType > 1)
        return false;
    static const std::set<uint8_t> types = {1, 2, 3, 9, 10, 11};
    if (!types.count(imageType))
        return false;
    bool mapped = imageType == 1 || imageType == 9;
    if (mapped != (mapType == 1))
        return false;
    uint16_t mapLength = get16(&h[5], true);
    uint8_t mapDepth = h[7];
    if (mapType == 1 && (mapLength == 0 || (mapDepth != 15 && mapDepth != 16 && mapDepth != 24 && mapDepth != 32)))
        return false;
    if (mapType == 0 && (mapLength != 0 || mapDepth != 0))
        return false;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)
        return false;
    if (mapped && depth != 8)
        return false;
    uint16_t width = get16(&h[12], true), height = get16(&h[14], true);
    if (width == 0 || height == 0 || (h[17] & 0xC0) == 0xC0)
        return false;
    int64_t header = 18 + int64_t(h[0]) + int64_t(mapLength) * ((mapDepth + 7) / 8);
    return header < s.Size();
}

bool PortablePixmap(TStream& s)
{
    std::array<uint8_t, 3> h{};
    return head(s, h) == 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6' &&
           (h[2] == ' ' || h[2] == '\t' || h[2] == '\r' || h[2] == '\n' || h[2] == '#');
}

bool Jpeg(TStream& s)
{
    std::array<uint8_t, 102> h{};
    size_t n = head(s, h);
    for (size_t i = 0; i < 100 && i + 2 < n; ++i)
        if (h[i] == 0xFF && h[i + 1] == 0xD8 && h[i + 2] == 0xFF)
            return true;
    return false;
}

bool Jpeg2000(TStream& s) { return startsWith(s, "\0\0\0\x0CjP  \r\n\x87\n", 12); }

bool Jpeg2000CodeStream(TStream& s) { return startsWith(s, "\xFF\x4F\xFF\x51", 4); }

bool Avi(TStream& s) { return startsWith(s, "RIFF", 4) && startsWith(s, "AVI ", 4, 8); }

bool MultipagePcx(TStream& s) { return startsWith(s, "\xB1\x68\xDE\x3A", 4); }

bool Metafile(TStream& s)
{
    // A placeable metafile key, or a plain metafile header (memory or disk
    // type, 9-word header, version 1 or 3).
    if (startsWith(s, "\xD7\xCD\xC6\x9A", 4))
        return true;
    std::array<uint8_t, 6> h{};
    if (head(s, h) < 6)
        return false;
    uint16_t type = get16(&h[0], true), words = get16(&h[2], true), version = get16(&h[4], true);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

bool EnhancedMetafile(TStream& s) { return startsWith(s, "\x01\0\0\0", 4) && startsWith(s, " EMF", 4, 40); }

bool Photoshop(TStream& s) { return startsWith(s, "8BPS\0\x01", 6) || startsWith(s, "8BPS\0\x02", 6); }

bool CameraRaw(TStream& s)
{
    if (classifyTiff(s) == TiffKind::Raw)
        return true;
    return startsWith(s, "HEAPCCDR", 8, 6)            // Canon CRW
           || startsWith(s, "FUJIFILMCCD-RAW", 15)    // Fuji RAF
           || startsWith(s, "FOVb", 4)                // Sigma X3F
           || startsWith(s, "\0MRM", 4)               // Minolta MRW
           || startsWith(s, "IIRO", 4) || startsWith(s, "IIRS", 4) || startsWith(s, "MMOR", 4)  // Olympus ORF
           || startsWith(s, "IIU\0", 4);              // Panasonic RW2
}

}  // namespace recognise

int DetectStreamFormat(TStream& stream)
{
    TStreamPositionGuard keep(stream);
    for (const TFileFormat* f : TFormatTable::Instance().DetectionOrder()) {
        bool match = f->Recognise(stream);
        stream.Seek(0);
        if (match)
            return f->Id;
    }
    return ffNone;
}

int CombineDetection(int contentId, int extensionId, bool strict)
{
    if (extensionId == ffRAW && contentId == ffTIFF)
        return ffRAW;
    if (!strict)
        return contentId != ffNone ? contentId : extensionId;
    if (extensionId == ffNone)
        return ffNone;
    if (contentId == ffICO || contentId == ffCUR)
        return extensionId;
    return contentId == extensionId ? contentId : ffNone;
}

int DetectFileFormat(const std::string& fileName, bool strict)
{
    auto stream = TFileStream::OpenRead(fileName);
    int content = DetectStreamFormat(*stream);
    const TFileFormat* byExt = TFormatTable::Instance().FindByExtension(FileExtension(fileName));
    return CombineDetection(content, byExt ? byExt->Id : ffNone, strict);
}
