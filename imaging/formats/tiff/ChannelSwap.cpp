#include "imaging/formats/tiff/ChannelSwap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define TESSARON_SWAP_SSSE3 1
#endif

namespace tiff {

namespace {

void swapPlain(const uint8_t* src, uint8_t* dst, size_t from, size_t pixels)
{
    for (size_t i = from; i < pixels; ++i) {
        const uint8_t r = src[3 * i];
        const uint8_t g = src[3 * i + 1];
        const uint8_t b = src[3 * i + 2];
        dst[3 * i] = b;
        dst[3 * i + 1] = g;
        dst[3 * i + 2] = r;
    }
}

#ifdef TESSARON_SWAP_SSSE3
// Five pixels per 16-byte shuffle. The sixteenth byte is copied unchanged and
// rewritten by the next step, so every load stays inside the row (the last
// five pixels or more go through the plain loop); the same holds in place,
// since that byte is stored with the value it already had.
__attribute__((target("ssse3"))) size_t swapShuffle(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 6 <= pixels; i += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_shuffle_epi8(v, order));
    }
    return i;
}

bool haveSsse3()
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

}  // namespace

void swapRedBlue(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    size_t done = 0;
#ifdef TESSARON_SWAP_SSSE3
    if (haveSsse3()) done = swapShuffle(src, dst, pixels);
#endif
    swapPlain(src, dst, done, pixels);
}

}  // namespace tiff
