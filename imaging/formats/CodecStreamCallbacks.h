#pragma once
// Byte callbacks through which the C codec libraries (libjpeg, libpng) read
// and write a TStream. The libraries leave their own frames by longjmp, so
// nothing may be thrown through them: any exception ends here as a short
// read or a failed write, which the library then reports as an error.
#include <cstddef>
#include <cstdint>

#include "imaging/Stream.h"

// Reads up to n bytes; the count read, 0 at the end or on any failure.
inline size_t ReadStreamForCodec(void* stream, uint8_t* buf, size_t n) noexcept
{
    try {
        return static_cast<TStream*>(stream)->Read(buf, n);
    } catch (...) {
        return 0;
    }
}

// Writes n bytes; false unless all of them were written.
inline bool WriteStreamForCodec(void* stream, const uint8_t* buf, size_t n) noexcept
{
    try {
        return static_cast<TStream*>(stream)->Write(buf, n) == n;
    } catch (...) {
        return false;
    }
}
