#pragma once
// Deflate coding of a picture's rows into one zlib stream, the chunks of it
// compressed on several threads.
//
//   rows:   [ chunk 0 ][ chunk 1 ][ chunk 2 ] ...     (about 1 MiB of rows each)
//   stream: header | deflate(chunk 0) | deflate(chunk 1, dictionary = the
//           32 KiB before it) | ... | deflate(last chunk, finished) | Adler-32
//
// Every chunk but the last ends on a byte boundary (an empty stored block),
// so the pieces join into one valid stream. A chunk's bytes depend only on
// its own rows and the 32 KiB before them, never on the number of threads:
// one thread and many give the same file.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tiff {

struct TDeflateRowsJob {
    int Rows = 0;
    size_t RowBytes = 0;
    int Level = 6;  // zlib level 0..9, or Z_DEFAULT_COMPRESSION
    // Fills row y (RowBytes bytes); called on the calling thread, rows in order.
    std::function<void(int y, uint8_t* row)> BuildRow;
    // Takes the next piece of the stream; called on the calling thread, in order.
    std::function<bool(const uint8_t* data, size_t size)> Write;
    // Polled between rounds; true stops the coding (the result is then false).
    std::function<bool()> Aborting;
};

// Codes all rows; *written receives the stream's length. False when zlib
// fails, a write fails or the job was stopped.
bool DeflateRows(const TDeflateRowsJob& job, uint64_t* written);

}  // namespace tiff
