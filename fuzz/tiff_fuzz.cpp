// TIFF reader on arbitrary bytes: whole-picture reads (colour and native
// formats, other directories and sub-directories, the EXIF thumbnail mode),
// the parameters-only read, and a write of what was read in a coding picked
// by the input.
#include <cstddef>
#include <cstdint>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImagingSettings.h"
#include "imaging/Stream.h"
#include "imaging/formats/tiff/TiffReader.h"

namespace {

// Reads every byte of every row and of the alpha channel.
void touchPixels(const TImageBuffer& b)
{
    unsigned sum = 0;
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* row = b.RowPointer(y);
        for (int i = 0; i < b.RowLen(); ++i) sum += row[i];
        if (const TImageBuffer* a = b.ExistingAlpha()) {
            const uint8_t* arow = a->RowPointer(y);
            for (int x = 0; x < b.Width(); ++x) sum += arow[x];
        }
    }
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImagingSettings().MaxPicturePixels = int64_t(1) << 22;
    const uint8_t selector = size > 0 ? data[size - 1] : 0;

    TImageIO io;
    io.SetNativePixelFormat(selector & 1);
    io.Params.TiffImageIndex = (selector >> 1) & 1;
    io.Params.TiffSubIndex = (selector & 4) ? 0 : -1;
    TMemoryView in(data, size);
    if (io.LoadFromStream(in, ffTIFF) || !io.Buffer()->IsEmpty()) {
        touchPixels(*io.Buffer());
        static const uint8_t codings[] = {0, 5, 8, 9, 4, 7};
        io.Params.TiffCompression = codings[(selector >> 3) % 6];
        TMemoryStream out;
        if (io.SaveToStreamTiff(out)) {
            TImageIO back;
            TMemoryView again(out.Bytes().data(), out.Bytes().size());
            back.LoadFromStream(again, ffTIFF);
        }
    }

    TImageParams params;
    TImageBuffer thumb;
    bool aborting = false;
    TTiffReadOptions options;
    options.ExifThumbnail = true;
    options.ParamsOnly = (selector & 0x40) != 0;
    options.Aborting = &aborting;
    TMemoryView view(data, size);
    ReadTiffStructure(view, 0, &thumb, params, options);
    touchPixels(thumb);
    return 0;
}
