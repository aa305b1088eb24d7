// Turning a picture upright by its EXIF orientation, clearing the EXIF
// fields, and the small thumbnail.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/ImageBuffer.h"
#include "imaging/ImageParams.h"
#include "imaging/exif/Exif.h"
#include "imaging/ops/Resample.h"

namespace {

void mirrorLeftRight(TImageBuffer& b, int bpp)
{
    std::vector<uint8_t> tmp(static_cast<size_t>(bpp));
    for (int y = 0; y < b.Height(); ++y) {
        uint8_t* row = b.LockRow(y);
        for (int l = 0, r = b.Width() - 1; l < r; ++l, --r) {
            std::memcpy(tmp.data(), row + size_t(l) * size_t(bpp), size_t(bpp));
            std::memmove(row + size_t(l) * size_t(bpp), row + size_t(r) * size_t(bpp), size_t(bpp));
            std::memcpy(row + size_t(r) * size_t(bpp), tmp.data(), size_t(bpp));
        }
        b.UnlockRow(y);
    }
}

void mirrorTopBottom(TImageBuffer& b)
{
    const size_t len = size_t(b.RowLen());
    std::vector<uint8_t> top(len), bottom(len);
    for (int t = 0, u = b.Height() - 1; t < u; ++t, --u) {
        std::memcpy(top.data(), b.LockRow(t), len);
        b.UnlockRow(t);
        std::memcpy(bottom.data(), b.LockRow(u), len);
        b.UnlockRow(u);
        std::memcpy(b.LockRow(t), bottom.data(), len);
        b.UnlockRow(t);
        std::memcpy(b.LockRow(u), top.data(), len);
        b.UnlockRow(u);
    }
}

// Quarter turn; counter-clockwise when ccw.
bool turn(TImageBuffer& b, int bpp, bool ccw)
{
    TImageBuffer out(b.Height(), b.Width(), b.PixelFormat());
    if (out.IsEmpty()) return false;
    if (b.Palette()) out.SetPalette(b.Palette(), b.PaletteCount());
    const int w = b.Width(), h = b.Height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = b.LockRow(y);
        for (int x = 0; x < w; ++x) {
            // Counter-clockwise: (x, y) goes to (y, w - 1 - x); clockwise to (h - 1 - y, x).
            const int dx = ccw ? y : h - 1 - y;
            const int dy = ccw ? w - 1 - x : x;
            std::memcpy(out.LockRow(dy) + size_t(dx) * size_t(bpp), src + size_t(x) * size_t(bpp), size_t(bpp));
            out.UnlockRow(dy);
        }
        b.UnlockRow(y);
    }
    b = std::move(out);
    return true;
}

}  // namespace

void ApplyOrientation(TImageBuffer& bitmap, int orientation)
{
    if (bitmap.IsEmpty() || orientation < 2 || orientation > 8 || bitmap.BitCount() % 8 != 0) return;
    const int bpp = bitmap.BitCount() / 8;
    switch (orientation) {
    case 2: mirrorLeftRight(bitmap, bpp); break;
    case 3: mirrorLeftRight(bitmap, bpp); mirrorTopBottom(bitmap); break;
    case 4: mirrorTopBottom(bitmap); break;
    case 5: if (turn(bitmap, bpp, true)) mirrorLeftRight(bitmap, bpp); break;
    case 6: turn(bitmap, bpp, false); break;
    case 7: if (turn(bitmap, bpp, false)) mirrorLeftRight(bitmap, bpp); break;
    case 8: turn(bitmap, bpp, true); break;
    default: break;
    }
}

void ResetExif(TImageParams& params)
{
    static_cast<TExifParams&>(params).SetDefaults();
    params.JpegMarkers.Delete(params.JpegMarkers.IndexOf(JpegMarkerApp1, "Exif"));
}

void RebuildExifThumbnail(TImageParams& params, TImageBuffer& picture)
{
    params.ExifThumbnail.Clear();
    if (picture.IsEmpty()) return;
    constexpr int kWidth = 160;
    const int height = std::max(1, int((int64_t(picture.Height()) * kWidth + picture.Width() / 2) / picture.Width()));
    auto thumb = std::make_unique<TImageBuffer>();
    if (ops::ResampleInto(picture, *thumb, kWidth, height, rfTriangle) && !thumb->IsEmpty()) {
        if (thumb->PixelFormat() != px24RGB) thumb->ConvertTo(px24RGB);
        params.ExifThumbnail.Set(std::move(thumb));
    }
}
