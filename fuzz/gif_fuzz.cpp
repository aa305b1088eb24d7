// GIF reader: whole-picture and parameters-only reads of arbitrary bytes,
// with the frame index and the native-format switch taken from the input.
#include <cstddef>
#include <cstdint>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small pictures only: a fuzzer's memory is limited and larger ones
    // exercise nothing new.
    ImagingSettings().MaxPicturePixels = int64_t(1) << 22;
    const uint8_t selector = size > 0 ? data[size - 1] : 0;

    TImageIO io;
    io.Params.GifImageIndex = selector & 3;
    io.SetNativePixelFormat((selector & 4) != 0);
    TMemoryView in(data, size);
    if (io.LoadFromStream(in, ffGIF)) {
        // Touch every pixel and alpha value so wrong sizes show up.
        const TImageBuffer& b = *io.Buffer();
        unsigned sum = 0;
        for (int y = 0; y < b.Height(); ++y) {
            const uint8_t* row = b.RowPointer(y);
            for (int i = 0; i < b.RowLen(); ++i) sum += row[i];
            for (int x = 0; x < b.Width(); ++x) sum += b.GetAlpha(x, y);
        }
        volatile unsigned sink = sum;
        (void)sink;
    }

    TImageIO params;
    TMemoryView again(data, size);
    const TFileFormat* gif = TFormatTable::Instance().Find(ffGIF);
    if (gif && gif->ReadParams) gif->ReadParams(params, again);
    return 0;
}
