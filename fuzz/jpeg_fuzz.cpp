// JPEG reader: whole-picture, scaled and parameters-only reads of arbitrary
// bytes, with the scale, DCT method, thumbnail mode and native-format switch
// taken from the input; a picture that decodes is written again.
#include <cstddef>
#include <cstdint>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/jpeg/JpegWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small pictures only: a fuzzer's memory is limited and larger ones
    // exercise nothing new.
    ImagingSettings().MaxPicturePixels = int64_t(1) << 22;
    const uint8_t selector = size > 0 ? data[size - 1] : 0;

    TImageIO io;
    io.Params.JpegScale = uint8_t(selector % 5);
    io.Params.Width = selector & 0x40 ? 16 : 0;
    io.Params.Height = selector & 0x40 ? 16 : 0;
    io.Params.JpegDctMethod = uint8_t((selector >> 3) % 3);
    io.SetNativePixelFormat((selector & 0x80) != 0);
    io.Params.JpegThumbnailMode = (selector & 0x20) != 0;
    TMemoryView in(data, size);
    io.LoadFromStream(in, ffJPEG);
    const TImageBuffer& b = *io.Buffer();
    if (!b.IsEmpty()) {
        // Touch every byte so wrong sizes show up, then write it again
        // with the fields the read left behind (markers included).
        unsigned sum = 0;
        for (int y = 0; y < b.Height(); ++y) {
            const uint8_t* row = b.RowPointer(y);
            for (int i = 0; i < b.RowLen(); ++i)
                sum += row[i];
        }
        volatile unsigned sink = sum;
        (void)sink;
        if (int64_t(b.Width()) * b.Height() <= 65536) {
            TMemoryStream out;
            io.Aborting = false;
            try {
                WriteJpeg(out, b, io.Params, io);
            } catch (const EIEJpegException&) {
            }
        }
    }

    TImageIO params;
    TMemoryView again(data, size);
    const TFileFormat* jpeg = TFormatTable::Instance().Find(ffJPEG);
    if (jpeg && jpeg->ReadParams)
        jpeg->ReadParams(params, again);
    return 0;
}
