// Format detection on arbitrary bytes: the ordered detection, every
// content test on its own (the ordered run stops at the first match), and
// the combination with an extension taken from the input.
#include <cstddef>
#include <cstdint>

#include "imaging/FormatDetect.h"
#include "imaging/FormatTable.h"
#include "imaging/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryView in(data, size);
    int content = DetectStreamFormat(in);
    if (in.Position() != 0)
        __builtin_trap();

    for (const TFileFormat* f : TFormatTable::Instance().DetectionOrder()) {
        TMemoryView each(data, size);
        f->Recognise(each);
    }

    const auto& formats = TFormatTable::Instance().Formats();
    const uint8_t selector = size > 0 ? data[0] : 0;
    int ext = formats[selector % formats.size()].Id;
    int strict = CombineDetection(content, ext, true);
    // The strict answer is 0 or agrees with the extension (or is camera RAW
    // for TIFF content under a raw extension).
    if (strict != 0 && strict != ext)
        __builtin_trap();
    CombineDetection(content, ext, false);
    return 0;
}
