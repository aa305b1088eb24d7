#pragma once
// TThumbnailLoader: decodes thumbnails of picture files on its own pool of
// five threads and hands each result back on the GUI thread.
//
// A job takes only values (a TThumbnailRequest) and returns a value (a
// TThumbnailResult that carries its own failure), so workers never touch the
// widget that asked. Results arrive through the queued signal
// thumbnailLoaded; the receiver drops those whose generation or entry id no
// longer matches what it shows. Jobs not yet started are dropped by
// CancelPending (a clear or refill); the destructor waits for the running ones.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <cstdint>
#include <functional>

namespace tessaron {

struct TThumbnailRequest {
    QString path;
    QSize target;             // the picture is scaled to fit inside this box
    uint64_t generation = 0;  // the receiver's fill the request belongs to
    uint64_t entryId = 0;     // the entry it belongs to (never reused)
    int indexHint = -1;       // where the entry was when asked (a search start)
};

struct TThumbnailResult {
    TThumbnailRequest request;
    bool ok = false;
    QImage thumbnail;  // no larger than request.target
    QSize fullSize;    // the picture's size as stored in the file
    QSize decodedSize; // the size the reader delivered (smaller for a reduced JPEG)
};

// Decodes one file on the calling thread. A JPEG is decoded at the largest
// reduction (1/2, 1/4, 1/8) that still covers the target, and its full size
// is the size stored in the file. Never throws.
TThumbnailResult LoadThumbnail(const TThumbnailRequest& request);

// A picture scaled (never enlarged) to fit inside `box`, keeping its aspect.
QSize FitInside(QSize picture, QSize box);

class TThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using TDecoder = std::function<TThumbnailResult(const TThumbnailRequest&)>;

    static constexpr int ThreadCount = 5;

    explicit TThumbnailLoader(QObject* parent = nullptr);
    ~TThumbnailLoader() override;

    // Queues a background decode; the result comes as thumbnailLoaded.
    void Request(const TThumbnailRequest& request);
    // Decodes at once on the calling thread (for the selected entry).
    TThumbnailResult LoadNow(const TThumbnailRequest& request) const;
    // Drops the jobs that have not started yet.
    void CancelPending();
    // Blocks until every queued and running job has finished; their results
    // are posted but are delivered only when the event loop runs.
    void WaitForDone();

    // Replaces the decoding function (tests use it to hold jobs back).
    void SetDecoder(TDecoder decoder) { decoder_ = std::move(decoder); }

signals:
    void thumbnailLoaded(const tessaron::TThumbnailResult& result);

private:
    QThreadPool pool_;
    TDecoder decoder_ = LoadThumbnail;
};

}  // namespace tessaron
