// BMP reader on arbitrary bytes: whole-picture reads (colour and native
// palette), the parameters-only read, and a write of what was read.
#include <cstddef>
#include <cstdint>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"

namespace {

// Reads every byte of every row and of the alpha channel, so that a
// picture whose rows were not all written shows up under the sanitizers.
void touchPixels(const TImageBuffer& b)
{
    unsigned sum = 0;
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* row = b.RowPointer(y);
        for (int i = 0; i < b.RowLen(); ++i)
            sum += row[i];
        if (const TImageBuffer* a = b.ExistingAlpha()) {
            const uint8_t* arow = a->RowPointer(y);
            for (int x = 0; x < b.Width(); ++x)
                sum += arow[x];
        }
    }
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small pictures only: the fuzzer's memory is limited and larger ones
    // exercise nothing new.
    ImagingSettings().MaxPicturePixels = int64_t(1) << 22;
    const uint8_t selector = size > 0 ? data[size - 1] : 0;

    TImageIO io;
    io.SetNativePixelFormat((selector & 1) != 0);
    TMemoryView in(data, size);
    if (io.LoadFromStream(in, ffBMP)) {
        touchPixels(*io.Buffer());
        // Writing back runs the palette and run-length paths with the
        // settings the file brought; colour reduction is slow on large
        // pictures, so only small ones are written.
        if (int64_t(io.Buffer()->Width()) * io.Buffer()->Height() <= 65536) {
            io.Params.BmpSaveAlpha = (selector & 2) != 0;
            TMemoryStream out;
            io.SaveToStreamBmp(out);
        }
    }

    TImageIO params;
    TMemoryView again(data, size);
    const TFileFormat* bmp = TFormatTable::Instance().Find(ffBMP);
    if (bmp && bmp->ReadParams)
        bmp->ReadParams(params, again);
    return 0;
}
