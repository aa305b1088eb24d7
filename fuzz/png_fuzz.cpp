// PNG reader: whole-picture and parameters-only reads of arbitrary bytes,
// with the native-format switch taken from the input; a picture that
// decodes is written again with the fields the read left behind.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/png/PngWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImagingSettings().MaxPicturePixels = int64_t(1) << 22;
    const uint8_t selector = size > 0 ? data[size - 1] : 0;

    TImageIO io;
    io.SetNativePixelFormat((selector & 1) != 0);
    TMemoryView in(data, size);
    io.LoadFromStream(in, ffPNG);
    const TImageBuffer& b = *io.Buffer();
    if (!b.IsEmpty()) {
        unsigned sum = 0;
        for (int y = 0; y < b.Height(); ++y) {
            const uint8_t* row = b.RowPointer(y);
            for (int i = 0; i < b.RowLen(); ++i)
                sum += row[i];
            for (int x = 0; x < b.Width(); ++x)
                sum += b.GetAlpha(x, y);
        }
        volatile unsigned sink = sum;
        (void)sink;
        if (int64_t(b.Width()) * b.Height() <= 16384) {
            TMemoryStream out;
            io.Aborting = false;
            io.Params.PngInterlaced = (selector & 2) != 0;
            WritePng(out, b, io.Params, b.ExistingAlpha(), io);
        }
    }

    TImageIO params;
    TMemoryView again(data, size);
    const TFileFormat* png = TFormatTable::Instance().Find(ffPNG);
    if (png && png->ReadParams)
        png->ReadParams(params, again);
    return 0;
}
