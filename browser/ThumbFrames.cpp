#include "browser/ThumbFrames.h"

#include <QRect>
#include <cmath>
#include <memory>

#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/Stream.h"
#include "platform/ImageBridge.h"

namespace tessaron {
namespace {

std::unique_ptr<TImageBuffer> readPng(const QByteArray& data) {
    auto picture = std::make_unique<TImageBuffer>();
    TImageIO io(picture.get());
    TMemoryView stream(data.constData(), size_t(data.size()));
    if (!io.LoadFromStream(stream, ffPNG) || picture->IsEmpty()) return nullptr;
    return picture;
}

int roundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

TThumbFrames DecodeThumbFrames(const QByteArray& data) {
    TThumbFrames frames;
    std::unique_ptr<TImageBuffer> normal = readPng(data);
    if (!normal) return frames;
    frames.normal = ToQImage(*normal);
    // Read a second time, as its own picture, for the shifted variant.
    std::unique_ptr<TImageBuffer> shifted = readPng(data);
    if (!shifted || frames.normal.isNull()) return {};
    TPlainHost host(std::move(shifted));
    TImageProc proc(host, false);
    proc.IntensityRGBall(-50, 20, -50);
    frames.selected = ToQImage(*host.CurrentImage());
    if (frames.selected.isNull()) return {};
    return frames;
}

QRect FramePhotoWindow(QSize cell) {
    const double w = cell.width(), h = cell.height();
    const int left = roundEven(w * 16 / 94), top = roundEven(h * 49 / 188);
    const int right = roundEven(w * 77 / 94), bottom = roundEven(h * 70 / 94);
    // The right and bottom edges are exclusive, as in the table of sizes.
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace tessaron
