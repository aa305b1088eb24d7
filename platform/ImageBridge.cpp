#include "platform/ImageBridge.h"

#include "imaging/ImageBuffer.h"

namespace tessaron {

QImage ToQImage(TImageBuffer& buffer)
{
    if (buffer.IsEmpty())
        return {};
    if (buffer.PixelFormat() != px24RGB && !buffer.ConvertTo(px24RGB))
        return {};
    const TImageBuffer* alpha = buffer.ExistingAlpha();
    const bool translucent = alpha && !alpha->FullyOpaque() && alpha->Width() == buffer.Width() &&
                             alpha->Height() == buffer.Height();
    const TDeviceBitmap bits = buffer.DeviceBitmap();
    if (!bits.bits || bits.format != px24RGB)
        return {};
    const QImage rows(bits.bits, bits.width, bits.height, bits.stride, QImage::Format_BGR888);
    if (!translucent)
        return rows.copy();
    QImage image = rows.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* a = alpha->RowPointer(y);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), a[x]);
    }
    return image;
}

}  // namespace tessaron
