#include "imaging/formats/tiff/PictureMemoryHint.h"

#include <algorithm>
#include <cstdint>

#include "imaging/ImageBuffer.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tiff {

void AdviseFilledAtOnce(TImageBuffer& picture)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t HugePage = uintptr_t(2) << 20;
    if (picture.Location() == locTempFile || picture.Height() < 1) return;
    const uintptr_t a = reinterpret_cast<uintptr_t>(picture.RowPointer(0));
    const uintptr_t b = reinterpret_cast<uintptr_t>(picture.RowPointer(picture.Height() - 1));
    // Only whole huge pages inside the picture's rows: the hint never reaches
    // memory the picture does not own.
    const uintptr_t from = (std::min(a, b) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t to = (std::max(a, b) + uintptr_t(picture.RowLen())) & ~(HugePage - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)picture;
#endif
}

}  // namespace tiff
