#pragma once
// A hint to the system before a decoder fills a large picture at once.
class TImageBuffer;

namespace tiff {

// Asks for huge pages on the picture's memory (Linux; a no-op elsewhere, for
// pictures in temporary files, and when the system declines). First touching
// tens of megabytes in 4 KiB pages costs about as much as copying them; in
// 2 MiB pages the faults nearly vanish.
void AdviseFilledAtOnce(TImageBuffer& picture);

}  // namespace tiff
