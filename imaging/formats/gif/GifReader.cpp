#include "imaging/formats/gif/GifReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/gif/GifLzw.h"

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kCommentLabel = 0xFE;

struct TGifColourTable {
    std::array<TRGB, 256> Entries{};
    int Count = 0;  // 0 = no table
    int Bits = 0;   // log2 of Count
};

struct TGraphicControl {
    bool Present = false;
    int Disposal = 0;
    bool Transparent = false;
    uint16_t Delay = 0;
    uint8_t TransparentIndex = 0;
};

// Byte-level access to the file; every read is checked against the data.
class TGifInput {
public:
    explicit TGifInput(TStream& s) : s_(s) {}

    bool byte(uint8_t& b) { return s_.ReadExact(&b, 1); }
    bool u16(uint16_t& v)
    {
        uint8_t b[2];
        if (!s_.ReadExact(b, 2)) return false;
        v = uint16_t(b[0] | (b[1] << 8));
        return true;
    }
    bool bytes(void* buf, size_t n) { return s_.ReadExact(buf, n); }

    bool colourTable(TGifColourTable& table, int bits)
    {
        uint8_t rgb[256 * 3];
        const int count = 1 << bits;
        if (!s_.ReadExact(rgb, size_t(count) * 3)) return false;
        table.Entries.fill(TRGB{0, 0, 0});
        for (int i = 0; i < count; ++i) table.Entries[i] = TRGB{rgb[i * 3 + 2], rgb[i * 3 + 1], rgb[i * 3]};
        table.Count = count;
        table.Bits = bits;
        return true;
    }

    // Calls `block(data, length)` for each sub-block up to the terminator.
    // False when the data ends first (the blocks read so far were delivered).
    template <typename Block>
    bool subBlocks(Block&& block)
    {
        uint8_t data[255];
        for (;;) {
            uint8_t len;
            if (!byte(len)) return false;
            if (len == 0) return true;
            const size_t got = s_.Read(data, len);
            if (got > 0) block(data, got);
            if (got < len) return false;
        }
    }

    bool skipSubBlocks()
    {
        for (;;) {
            uint8_t len;
            if (!byte(len)) return false;
            if (len == 0) return true;
            if (!s_.Skip(len)) return false;
        }
    }

private:
    TStream& s_;
};

// Comment texts: sub-blocks of one extension form one text while they are
// full (255 bytes), so a long comment cut into blocks comes back whole and
// each shorter block ends a text.
bool readComments(TGifInput& in, std::vector<std::string>& comments)
{
    bool continuing = false;
    return in.subBlocks([&](const uint8_t* data, size_t len) {
        if (continuing) comments.back().append(reinterpret_cast<const char*>(data), len);
        else comments.emplace_back(reinterpret_cast<const char*>(data), len);
        continuing = len == 255;
    });
}

bool readGraphicControl(TGifInput& in, TGraphicControl& gce)
{
    std::vector<uint8_t> body;
    if (!in.subBlocks([&](const uint8_t* data, size_t len) { body.insert(body.end(), data, data + len); }))
        return false;
    if (body.size() < 4) return true;  // too short to mean anything: ignored
    gce.Present = true;
    gce.Disposal = (body[0] >> 2) & 7;
    gce.Transparent = (body[0] & 1) != 0;
    gce.Delay = uint16_t(body[1] | (body[2] << 8));
    gce.TransparentIndex = body[3];
    return true;
}

// Upper bound of the pixels `payloadBytes` of codes can produce: codes are at
// least minCodeSize + 1 bits, and the k-th code after a clear stands for at
// most k pixels (never more than the 4096-entry table allows).
uint64_t maxDecodablePixels(size_t payloadBytes, int minCodeSize)
{
    const uint64_t codes = uint64_t(payloadBytes) * 8 / uint64_t(minCodeSize + 1);
    if (codes <= 4096) return codes * (codes + 1) / 2;
    return codes * 4096;
}

class TGifFrameDecoder {
public:
    TGifFrameDecoder(TImageIO& io, TImageBuffer& buffer) : io_(io), buffer_(buffer) {}

    // Decodes the frame's code stream (the stream stands after the minimum
    // code size byte) into the buffer. False when the picture could not be
    // made; `damaged` tells that the code stream ended early or broke.
    bool decode(TGifInput& in, int minCodeSize, int width, int height, bool interlaced,
                const TGifColourTable& table, const TGraphicControl& gce, bool& damaged)
    {
        std::vector<uint8_t> payload;
        const bool framed = in.subBlocks([&](const uint8_t* data, size_t len) {
            payload.insert(payload.end(), data, data + len);
        });
        const uint64_t pixels = uint64_t(width) * uint64_t(height);
        const size_t capacity = size_t(std::min<uint64_t>(pixels, maxDecodablePixels(payload.size(), minCodeSize)));
        std::vector<uint8_t> coded(capacity, 0);
        const TGifLzwResult r = DecodeGifLzw(payload.data(), payload.size(), minCodeSize, coded.data(), coded.size());
        damaged = r.Status != TGifLzwStatus::Complete || capacity < pixels;
        (void)framed;  // a missing terminator after complete data is harmless
        payload.clear();
        payload.shrink_to_fit();

        // A broken frame keeps only the rows decoded so far.
        const int codedRows = int((r.Decoded + size_t(width) - 1) / size_t(width));
        int rows = height;
        if (damaged) {
            rows = 0;
            int n = 0;
            ForEachGifRow(height, interlaced, [&](int y) {
                if (n++ < codedRows) rows = std::max(rows, y + 1);
            });
            if (rows == 0) return false;
        }

        const TPixelFormat format = chooseFormat(table);
        if (!buffer_.Allocate(width, rows, format)) return false;
        if (format == px8p) buffer_.SetPalette(table.Entries.data(), table.Count);
        uint8_t* alpha = nullptr;
        TImageBuffer* alphaChannel = nullptr;
        if (gce.Transparent) {
            alphaChannel = buffer_.Alpha();
            if (!alphaChannel) return false;
        }

        std::array<uint8_t, 256> whiteBit{};
        for (int i = 0; i < 256; ++i) whiteBit[i] = table.Entries[i] == TRGB{255, 255, 255} ? 1 : 0;

        int n = 0;
        bool stopped = false;
        ForEachGifRow(height, interlaced, [&](int y) {
            const int codedRow = n++;
            if (stopped || y >= rows) return;
            if (io_.Aborting) {
                stopped = true;
                return;
            }
            const size_t start = size_t(codedRow) * size_t(width);
            const uint8_t* src = start < coded.size() ? coded.data() + start : nullptr;
            const int have = src ? int(std::min<size_t>(size_t(width), coded.size() - start)) : 0;
            uint8_t* dst = buffer_.RowPointer(y);
            if (!dst) {
                stopped = true;
                return;
            }
            putRow(format, src, have, width, table, whiteBit, dst);
            if (alphaChannel) {
                alpha = alphaChannel->RowPointer(y);
                if (alpha)
                    for (int x = 0; x < have; ++x) alpha[x] = src[x] == gce.TransparentIndex ? 0 : 255;
            }
            io_.Progress(codedRow + 1, height);
        });
        if (alphaChannel) alphaChannel->SetFullyOpaque(false);
        return !stopped;
    }

private:
    TPixelFormat chooseFormat(const TGifColourTable& table) const
    {
        const TRGB black{0, 0, 0}, white{255, 255, 255};
        const bool blackWhite = table.Count == 2 && ((table.Entries[0] == black && table.Entries[1] == white) ||
                                                     (table.Entries[0] == white && table.Entries[1] == black));
        if (blackWhite) return px1g;
        return io_.Params.NativePixelFormat ? px8p : px24RGB;
    }

    static void putRow(TPixelFormat format, const uint8_t* src, int have, int width, const TGifColourTable& table,
                       const std::array<uint8_t, 256>& whiteBit, uint8_t* dst)
    {
        // Pixels past the decoded data take index 0.
        auto index = [&](int x) -> uint8_t { return x < have ? src[x] : 0; };
        switch (format) {
        case px1g:
            std::memset(dst, 0, size_t(width + 7) / 8);
            for (int x = 0; x < width; ++x)
                if (whiteBit[index(x)]) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
            break;
        case px8p:
            for (int x = 0; x < width; ++x) dst[x] = index(x);
            break;
        default:
            for (int x = 0; x < width; ++x) {
                const TRGB c = table.Entries[index(x)];
                dst[3 * x] = c.b;
                dst[3 * x + 1] = c.g;
                dst[3 * x + 2] = c.r;
            }
            break;
        }
    }

    TImageIO& io_;
    TImageBuffer& buffer_;
};

// Resets the fields a GIF file sets, so nothing of an earlier picture stays.
void resetFileFields(TImageParams& p)
{
    p.GifVersion = "GIF89a";
    p.GifXPos = p.GifYPos = 0;
    p.GifDelay = 0;
    p.GifTransparent = false;
    p.GifTranspColor = TRGB{0, 0, 0};
    p.GifInterlaced = false;
    p.GifWinWidth = p.GifWinHeight = p.GifRatio = 0;
    p.GifBackground = TRGB{0, 0, 0};
    p.GifComments.clear();
    p.GifAction = 2;
    p.SamplesPerPixel = 1;
    p.SetResolution(0, 0);
}

bool readGif(TImageIO& io, TStream& stream, bool paramsOnly)
{
    TImageParams& p = io.Params;
    TImageBuffer* buffer = io.Buffer();
    if (!paramsOnly && !buffer) return false;
    TGifInput in(stream);

    char signature[6];
    if (!in.bytes(signature, 6) || std::memcmp(signature, "GIF", 3) != 0) return false;
    resetFileFields(p);
    p.GifVersion.assign(signature, 6);

    uint16_t screenW, screenH;
    uint8_t screenFlags, backgroundIndex, aspect;
    if (!in.u16(screenW) || !in.u16(screenH) || !in.byte(screenFlags) || !in.byte(backgroundIndex) ||
        !in.byte(aspect))
        return false;
    p.GifWinWidth = screenW;
    p.GifWinHeight = screenH;
    p.GifRatio = aspect;

    TGifColourTable global;
    if (screenFlags & 0x80) {
        if (!in.colourTable(global, (screenFlags & 7) + 1)) return false;
        p.GifBackground = global.Entries[backgroundIndex];
    }

    const int wanted = std::max(0, p.GifImageIndex);
    int frame = 0;
    bool found = false;
    bool ok = true;
    TGraphicControl pending;
    for (;;) {
        uint8_t introducer;
        if (!in.byte(introducer) || introducer == kTrailer) break;
        if (introducer == kExtensionIntroducer) {
            uint8_t label;
            if (!in.byte(label)) break;
            bool complete;
            if (label == kGraphicControlLabel) complete = readGraphicControl(in, pending);
            else if (label == kCommentLabel) complete = readComments(in, p.GifComments);
            else complete = in.skipSubBlocks();
            if (!complete) break;
            continue;
        }
        if (introducer != kImageSeparator) break;  // not GIF data any more: the file ends here

        uint16_t left, top, width, height;
        uint8_t flags;
        if (!in.u16(left) || !in.u16(top) || !in.u16(width) || !in.u16(height) || !in.byte(flags)) break;
        TGifColourTable local;
        if ((flags & 0x80) && !in.colourTable(local, (flags & 7) + 1)) break;
        uint8_t minCodeSize;
        if (!in.byte(minCodeSize)) break;
        const TGraphicControl gce = pending;
        pending = TGraphicControl{};

        if (frame++ != wanted || found) {
            if (!in.skipSubBlocks()) break;
            continue;
        }
        found = true;

        const bool interlaced = (flags & 0x40) != 0;
        TGifColourTable table = local.Count ? local : global;
        if (table.Count == 0) {
            // No colour table at all: a gray ramp over the code size.
            table.Bits = std::clamp(int(minCodeSize), 1, 8);
            table.Count = 1 << table.Bits;
            for (int i = 0; i < table.Count; ++i) {
                const uint8_t v = uint8_t(i * 255 / (table.Count - 1));
                table.Entries[i] = TRGB{v, v, v};
            }
        }
        p.Width = width;
        p.Height = height;
        p.GifXPos = left;
        p.GifYPos = top;
        p.GifInterlaced = interlaced;
        p.BitsPerSample = table.Bits;
        p.SetColorMap(table.Entries.data(), table.Count);
        if (gce.Present) {
            p.GifDelay = gce.Delay;
            p.GifTransparent = gce.Transparent;
            p.GifAction = gce.Disposal;
            if (gce.Transparent) p.GifTranspColor = table.Entries[gce.TransparentIndex];
        }

        if (paramsOnly) {
            if (!in.skipSubBlocks()) break;
            continue;
        }
        if (!PictureSizeAllowed(width, height) || minCodeSize < 1 || minCodeSize > 8) {
            ok = false;
            break;
        }
        bool damaged = false;
        TGifFrameDecoder decoder(io, *buffer);
        if (!decoder.decode(in, minCodeSize, width, height, interlaced, table, gce, damaged) || damaged) {
            ok = false;
            break;
        }
    }
    if (!found) return false;
    if (!ok) io.Aborting = true;
    return ok && !io.Aborting;
}

}  // namespace

bool ReadGif(TImageIO& io, TStream& stream)
{
    const bool ok = readGif(io, stream, false);
    if (!ok) io.Aborting = true;
    return ok;
}

bool ReadGifParams(TImageIO& io, TStream& stream)
{
    const bool ok = readGif(io, stream, true);
    if (!ok) io.Aborting = true;
    return ok;
}
