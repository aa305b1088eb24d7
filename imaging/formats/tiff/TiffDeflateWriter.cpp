#include "imaging/formats/tiff/TiffDeflateWriter.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include <zlib.h>

#include "imaging/ops/Parallel.h"

namespace tiff {

namespace {

constexpr size_t ChunkTarget = size_t(1) << 20;
constexpr size_t Window = 32768;
// Chunks per thread in a round: threads take the next chunk as they finish,
// so one thread held up on a busy machine does not stall the others.
constexpr int ChunksPerBand = 4;

// Raw deflate of one chunk, primed with the window before it; ends with a
// sync flush, or finishes the stream when it is the last chunk.
bool deflateChunk(const uint8_t* dict, size_t dictSize, const uint8_t* data, size_t size, int level, bool last,
                  std::vector<uint8_t>& out)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, deflateEnd);
    if (dictSize > 0 && deflateSetDictionary(&z, dict, uInt(dictSize)) != Z_OK) return false;
    // The bound leaves room for the flush marker in all but freak cases;
    // the loop below grows the buffer for those.
    out.resize(size_t(deflateBound(&z, uLong(size))) + 64);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        const int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) return false;
        if (last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out > 0)) break;
        const size_t used = out.size() - z.avail_out;
        out.resize(out.size() * 2);
        z.next_out = out.data() + used;
        z.avail_out = uInt(out.size() - used);
    }
    out.resize(out.size() - z.avail_out);
    return true;
}

// The two-byte zlib header zlib itself writes for a level.
void zlibHeader(int level, uint8_t header[2])
{
    if (level == Z_DEFAULT_COMPRESSION) level = 6;
    const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned value = (0x78u << 8) | (flags << 6);
    value += 31 - value % 31;
    header[0] = uint8_t(value >> 8);
    header[1] = uint8_t(value);
}

}  // namespace

bool DeflateRows(const TDeflateRowsJob& job, uint64_t* written)
{
    *written = 0;
    if (job.Rows <= 0 || job.RowBytes == 0 || job.RowBytes > (size_t(1) << 30)) return false;
    const int rowsPerChunk = int(std::clamp<size_t>(ChunkTarget / job.RowBytes, 1, size_t(job.Rows)));
    const int chunks = (job.Rows + rowsPerChunk - 1) / rowsPerChunk;
    const size_t chunkBytes = size_t(rowsPerChunk) * job.RowBytes;
    const int bands = ops::PlanBands(chunks, int64_t(chunkBytes), true);
    const int perRound = bands > 1 ? bands * ChunksPerBand : 1;

    // One round's rows, with the window carried over from the round before in front.
    std::vector<uint8_t> input(Window + size_t(perRound) * chunkBytes);
    uint8_t* const start = input.data() + Window;
    size_t carried = 0;
    std::vector<std::vector<uint8_t>> pieces(static_cast<size_t>(perRound));
    std::vector<char> coded(static_cast<size_t>(perRound));

    uint8_t header[2];
    zlibHeader(job.Level, header);
    if (!job.Write(header, 2)) return false;
    uint64_t total = 2;
    uLong adler = adler32(0, nullptr, 0);

    for (int c0 = 0; c0 < chunks; c0 += perRound) {
        if (job.Aborting && job.Aborting()) return false;
        const int count = std::min(perRound, chunks - c0);
        const int y0 = c0 * rowsPerChunk;
        const int y1 = std::min(job.Rows, (c0 + count) * rowsPerChunk);
        for (int y = y0; y < y1; ++y) job.BuildRow(y, start + size_t(y - y0) * job.RowBytes);
        const size_t roundBytes = size_t(y1 - y0) * job.RowBytes;
        adler = adler32_z(adler, start, roundBytes);

        std::atomic<int> next{0};
        ops::RunBands(count, std::min(bands, count), ops::TRowReport(), [&](int, int, int, const ops::TRowTick&) {
            for (int i = next++; i < count; i = next++) {
                const size_t from = size_t(i) * chunkBytes;
                const size_t size = std::min(chunkBytes, roundBytes - from);
                const size_t dictSize = std::min(Window, carried + from);
                const bool last = c0 + i == chunks - 1;
                coded[size_t(i)] = deflateChunk(start + from - dictSize, dictSize, start + from, size, job.Level, last,
                                                pieces[size_t(i)]);
            }
        });
        for (int i = 0; i < count; ++i) {
            const std::vector<uint8_t>& piece = pieces[size_t(i)];
            if (!coded[size_t(i)] || !job.Write(piece.data(), piece.size())) return false;
            total += piece.size();
        }
        // The last window of input primes the next round's first chunk.
        const size_t keep = std::min(Window, carried + roundBytes);
        std::memmove(start - keep, start + roundBytes - keep, keep);
        carried = keep;
    }
    const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)};
    if (!job.Write(trailer, 4)) return false;
    *written = total + 4;
    return true;
}

}  // namespace tiff
