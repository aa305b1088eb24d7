#include "platform/ThumbnailLoader.h"

#include <algorithm>
#include <exception>

#include "imaging/ImageIO.h"
#include "platform/ImageBridge.h"
#include "imaging/ops/Resample.h"

namespace tessaron {

QSize FitInside(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty())
        return {};
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

namespace {

QImage scaledThumbnail(TImageBuffer& picture, QSize target)
{
    if (picture.PixelFormat() != px24RGB && !picture.ConvertTo(px24RGB))
        return {};
    const QSize size = FitInside(QSize(picture.Width(), picture.Height()), target);
    if (size.isEmpty())
        return {};
    if (size == QSize(picture.Width(), picture.Height()))
        return ToQImage(picture);
    TImageBuffer small;
    if (!ops::ResampleInto(picture, small, size.width(), size.height(), rfFastLinear))
        return {};
    if (small.PixelFormat() != px24RGB && !small.ConvertTo(px24RGB))
        return {};
    return ToQImage(small);
}

}  // namespace

TThumbnailResult LoadThumbnail(const TThumbnailRequest& request)
{
    TThumbnailResult result;
    result.request = request;
    try {
        TImageIO io;
        // Lets the JPEG reader pick the strongest reduction that still covers the cell.
        io.Params.JpegScale = 0;
        // The picture is only ever shown at cell size: the reader may take
        // its quicker, slightly coarser decoding.
        io.Params.JpegThumbnailMode = true;
        io.Params.Width = std::max(1, request.target.width());
        io.Params.Height = std::max(1, request.target.height());
        if (!io.LoadFromFile(request.path.toStdString()) || !io.Buffer() || io.Buffer()->IsEmpty())
            return result;
        TImageBuffer& picture = *io.Buffer();
        result.decodedSize = QSize(picture.Width(), picture.Height());
        if (io.Params.FileType == ffJPEG && io.Params.JpegOriginalWidth > 0 && io.Params.JpegOriginalHeight > 0)
            result.fullSize = QSize(io.Params.JpegOriginalWidth, io.Params.JpegOriginalHeight);
        else
            result.fullSize = QSize(picture.Width(), picture.Height());
        result.thumbnail = scaledThumbnail(picture, request.target);
        result.ok = !result.thumbnail.isNull();
    } catch (const std::exception&) {
        // A file that cannot be opened is just an unreadable picture here.
        result.ok = false;
    }
    return result;
}

TThumbnailLoader::TThumbnailLoader(QObject* parent) : QObject(parent)
{
    pool_.setMaxThreadCount(ThreadCount);
}

TThumbnailLoader::~TThumbnailLoader()
{
    pool_.clear();
    pool_.waitForDone();
}

void TThumbnailLoader::Request(const TThumbnailRequest& request)
{
    // The job copies the decoder and the request; it only reaches back to
    // this object through a queued call, which Qt discards if we are gone.
    pool_.start([this, decoder = decoder_, request] {
        TThumbnailResult result = decoder(request);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { emit thumbnailLoaded(result); }, Qt::QueuedConnection);
    });
}

TThumbnailResult TThumbnailLoader::LoadNow(const TThumbnailRequest& request) const
{
    return decoder_(request);
}

void TThumbnailLoader::CancelPending()
{
    pool_.clear();
}

void TThumbnailLoader::WaitForDone()
{
    pool_.waitForDone();
}

}  // namespace tessaron
