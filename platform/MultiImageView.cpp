#include "platform/MultiImageView.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace tessaron {

namespace {

// A frame `width` pixels wide just inside `r`, drawn as four filled strips so
// its edges land on exact pixels.
void fillFrame(QPainter& p, const QRect& r, const QColor& color, int width)
{
    width = std::min({width, r.width() / 2, r.height() / 2});
    if (width <= 0)
        return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), width), color);
    p.fillRect(QRect(r.left(), r.bottom() - width + 1, r.width(), width), color);
    p.fillRect(QRect(r.left(), r.top() + width, width, r.height() - 2 * width), color);
    p.fillRect(QRect(r.right() - width + 1, r.top() + width, width, r.height() - 2 * width), color);
}

// The raised 3-D edge: light on the top and left, grey on the bottom and right.
void drawRaisedEdge(QPainter& p, const QRect& r)
{
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::white);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), Qt::white);
    const QColor shadow(128, 128, 128);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), shadow);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), shadow);
}

}  // namespace

TMultiImageView::TMultiImageView(QWidget* parent)
    : QAbstractScrollArea(parent), loader_(std::make_unique<TThumbnailLoader>())
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    connect(loader_.get(), &TThumbnailLoader::thumbnailLoaded, this, &TMultiImageView::applyResult);
    updateScrollRange();
}

// The loader goes first (it waits for its running jobs), while the entries
// its queued answers would look up still exist.
TMultiImageView::~TMultiImageView()
{
    loader_.reset();
}

// ---- entries -------------------------------------------------------------

int TMultiImageView::AddEntry(const QString& path, const QString& caption)
{
    return InsertEntry(Count(), path, caption);
}

int TMultiImageView::InsertEntry(int index, const QString& path, const QString& caption)
{
    index = std::clamp(index, 0, Count());
    TEntry entry;
    entry.id = nextId_++;
    entry.path = path;
    entry.caption = caption;
    entries_.insert(entries_.begin() + index, std::move(entry));
    auto shift = [index](int& i) {
        if (i >= index)
            ++i;
    };
    for (int& s : selection_)
        shift(s);
    shift(current_);
    shift(anchor_);
    changed();
    return index;
}

void TMultiImageView::RemoveEntry(int index)
{
    if (index < 0 || index >= Count())
        return;
    entries_.erase(entries_.begin() + index);
    const bool wasSelected = IsSelected(index);
    std::vector<int> selection;
    for (int s : selection_)
        if (s != index)
            selection.push_back(s > index ? s - 1 : s);
    auto shift = [index](int i) { return i == index ? -1 : (i > index ? i - 1 : i); };
    const int current = wasSelected && current_ == index ? (selection.empty() ? -1 : selection.back()) : shift(current_);
    selection_ = std::move(selection);
    current_ = current;
    anchor_ = shift(anchor_);
    emit entryRemoved(index);
    if (wasSelected)
        emit selectionChanged(current_);
    changed();
}

void TMultiImageView::Clear()
{
    // Answers still on their way belong to the old fill: the new generation
    // makes them miss, and the jobs not started yet are dropped.
    ++generation_;
    loader_->CancelPending();
    const bool hadThumbnails = std::any_of(entries_.begin(), entries_.end(),
                                           [](const TEntry& e) { return !e.thumbnail.isNull(); });
    entries_.clear();
    entries_.shrink_to_fit();
#ifdef __GLIBC__
    // Thumbnails made on the loader threads were allocated in those threads'
    // own heaps, which the C library keeps after they are freed; a big
    // folder left behind would hold its thumbnails' memory to the end of the
    // run. Hand it back to the system.
    if (hadThumbnails)
        malloc_trim(0);
#endif
    const bool hadSelection = current_ >= 0 || !selection_.empty();
    selection_.clear();
    current_ = anchor_ = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    if (hadSelection)
        emit selectionChanged(-1);
    changed();
}

QString TMultiImageView::Path(int index) const
{
    return index >= 0 && index < Count() ? entries_[size_t(index)].path : QString();
}

QString TMultiImageView::Caption(int index) const
{
    return index >= 0 && index < Count() ? entries_[size_t(index)].caption : QString();
}

void TMultiImageView::SetCaption(int index, const QString& caption)
{
    if (index < 0 || index >= Count())
        return;
    entries_[size_t(index)].caption = caption;
    viewport()->update();
}

QImage TMultiImageView::Thumbnail(int index) const
{
    return index >= 0 && index < Count() ? entries_[size_t(index)].thumbnail : QImage();
}

bool TMultiImageView::HasThumbnail(int index) const
{
    return index >= 0 && index < Count() && entries_[size_t(index)].state == TLoadState::Loaded;
}

QSize TMultiImageView::FullSize(int index) const
{
    return index >= 0 && index < Count() ? entries_[size_t(index)].fullSize : QSize();
}

void TMultiImageView::SetThumbnail(int index, const QImage& picture, QSize fullSize)
{
    if (index < 0 || index >= Count())
        return;
    TEntry& entry = entries_[size_t(index)];
    const QSize size = FitInside(picture.size(), cellSize_);
    entry.thumbnail = size == picture.size() ? picture
                                             : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    entry.fullSize = fullSize.isEmpty() ? picture.size() : fullSize;
    entry.state = picture.isNull() ? TLoadState::Failed : TLoadState::Loaded;
    viewport()->update();
}

bool TMultiImageView::LoadThumbnailNow(int index)
{
    if (index < 0 || index >= Count() || entries_[size_t(index)].path.isEmpty())
        return false;
    const TThumbnailResult result = loader_->LoadNow(requestFor(index));
    applyResult(result);
    return result.ok;
}

TThumbnailRequest TMultiImageView::requestFor(int index) const
{
    const TEntry& entry = entries_[size_t(index)];
    return TThumbnailRequest{entry.path, cellSize_, generation_, entry.id, index};
}

// Entries only move by insertions and removals, so the entry is usually at
// its old index or a little before it.
int TMultiImageView::findEntry(uint64_t id, int hint) const
{
    const int n = Count();
    for (int i = std::min(hint, n - 1); i >= 0; --i)
        if (entries_[size_t(i)].id == id)
            return i;
    for (int i = std::max(hint + 1, 0); i < n; ++i)
        if (entries_[size_t(i)].id == id)
            return i;
    return -1;
}

void TMultiImageView::applyResult(const TThumbnailResult& result)
{
    if (result.request.generation != generation_)
        return;
    const int index = findEntry(result.request.entryId, result.request.indexHint);
    if (index < 0)
        return;
    TEntry& entry = entries_[size_t(index)];
    // A thumbnail given from memory meanwhile wins over the file's.
    if (entry.state == TLoadState::Loaded || entry.path != result.request.path)
        return;
    if (!result.ok) {
        if (removeCorrupted_) {
            RemoveEntry(index);
        } else {
            entry.state = TLoadState::Failed;
            viewport()->update();
        }
        return;
    }
    entry.thumbnail = result.thumbnail;
    entry.fullSize = result.fullSize;
    entry.state = TLoadState::Loaded;
    emit thumbnailLoaded(index);
    viewport()->update();
}

void TMultiImageView::invalidateFileThumbnails()
{
    ++generation_;
    loader_->CancelPending();
    for (TEntry& entry : entries_) {
        if (entry.path.isEmpty() || entry.state == TLoadState::Failed)
            continue;
        entry.thumbnail = QImage();
        entry.state = TLoadState::NotLoaded;
    }
}

// ---- looks ---------------------------------------------------------------

void TMultiImageView::SetCellSize(QSize size)
{
    size = size.expandedTo(QSize(1, 1));
    if (size == cellSize_)
        return;
    cellSize_ = size;
    // File thumbnails are read again at the new size when painted.
    invalidateFileThumbnails();
    changed();
}

void TMultiImageView::SetSpacing(int horizontal, int vertical)
{
    hSpacing_ = std::max(0, horizontal);
    vSpacing_ = std::max(0, vertical);
    changed();
}

void TMultiImageView::SetStyle(TMultiViewStyle style)
{
    style_ = style;
    viewport()->update();
}

void TMultiImageView::SetShowCaptions(bool show)
{
    showCaptions_ = show;
    changed();
}

void TMultiImageView::SetGridWidth(int columns)
{
    gridWidth_ = columns > 0 ? columns : -1;
    changed();
}

void TMultiImageView::SetSelectionFrame(QColor color, int width)
{
    selectionColor_ = color;
    selectionWidth_ = std::max(0, width);
    viewport()->update();
}

void TMultiImageView::SetBorderColor(QColor color)
{
    borderColor_ = color;
    viewport()->update();
}

void TMultiImageView::SetThumbnailBackground(QColor color)
{
    thumbBackground_ = color;
    viewport()->update();
}

void TMultiImageView::SetEnableMultiSelect(bool enable)
{
    multiSelect_ = enable;
    if (!enable && selection_.size() > 1)
        SelectOnly(current_);
}

void TMultiImageView::SetBeforeImageDraw(TBeforeImageDraw hook)
{
    beforeImageDraw_ = std::move(hook);
    viewport()->update();
}

// ---- geometry ------------------------------------------------------------

int TMultiImageView::captionHeight() const
{
    return showCaptions_ ? fontMetrics().height() + 4 : 0;
}

QSize TMultiImageView::pitch() const
{
    return {cellSize_.width() + hSpacing_, cellSize_.height() + captionHeight() + vSpacing_};
}

int TMultiImageView::ColumnCount() const
{
    if (gridWidth_ > 0)
        return gridWidth_;
    return std::max(1, (viewport()->width() - hSpacing_) / pitch().width());
}

void TMultiImageView::updateScrollRange()
{
    const QSize step = pitch();
    const int columns = ColumnCount();
    const int rows = (Count() + columns - 1) / columns;
    const int contentWidth = hSpacing_ + std::min(columns, std::max(Count(), 1)) * step.width();
    const int contentHeight = vSpacing_ + rows * step.height();
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(step.height());
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(step.width());
}

void TMultiImageView::EndUpdate()
{
    if (updateDepth_ > 0 && --updateDepth_ == 0)
        changed();
}

void TMultiImageView::changed()
{
    if (updateDepth_ > 0)
        return;
    updateScrollRange();
    viewport()->update();
}

QRect TMultiImageView::CellRect(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    const QSize step = pitch();
    const int columns = ColumnCount();
    const int x = hSpacing_ + (index % columns) * step.width() - horizontalScrollBar()->value();
    const int y = vSpacing_ + (index / columns) * step.height() - verticalScrollBar()->value();
    return QRect(QPoint(x, y), cellSize_);
}

int TMultiImageView::IndexAt(QPoint pos) const
{
    const QSize step = pitch();
    const int x = pos.x() + horizontalScrollBar()->value() - hSpacing_;
    const int y = pos.y() + verticalScrollBar()->value() - vSpacing_;
    if (x < 0 || y < 0)
        return -1;
    const int column = x / step.width();
    const int row = y / step.height();
    // The spacing between cells belongs to no entry; the caption does.
    if (column >= ColumnCount() || x % step.width() >= cellSize_.width() ||
        y % step.height() >= cellSize_.height() + captionHeight())
        return -1;
    const int64_t index = int64_t(row) * ColumnCount() + column;
    return index < Count() ? int(index) : -1;
}

void TMultiImageView::EnsureVisible(int index)
{
    const QRect cell = CellRect(index);
    if (cell.isNull())
        return;
    const int bottom = cell.bottom() + captionHeight();
    QScrollBar* v = verticalScrollBar();
    if (cell.top() < 0)
        v->setValue(v->value() + cell.top() - vSpacing_);
    else if (bottom >= viewport()->height())
        v->setValue(v->value() + bottom - viewport()->height() + 1 + vSpacing_);
    QScrollBar* h = horizontalScrollBar();
    if (cell.left() < 0)
        h->setValue(h->value() + cell.left() - hSpacing_);
    else if (cell.right() >= viewport()->width())
        h->setValue(h->value() + cell.right() - viewport()->width() + 1 + hSpacing_);
}

// ---- selection -----------------------------------------------------------

bool TMultiImageView::IsSelected(int index) const
{
    return std::find(selection_.begin(), selection_.end(), index) != selection_.end();
}

void TMultiImageView::setSelection(std::vector<int> selection, int current, int anchor)
{
    anchor_ = anchor;
    if (selection == selection_ && current == current_)
        return;
    selection_ = std::move(selection);
    current_ = current;
    if (current_ >= 0)
        EnsureVisible(current_);
    viewport()->update();
    emit selectionChanged(current_);
}

void TMultiImageView::SelectOnly(int index)
{
    if (index < 0 || index >= Count()) {
        setSelection({}, -1, -1);
        return;
    }
    setSelection({index}, index, index);
}

// Whether a Ctrl or Shift choice of `index` may add to the selection;
// without multi-select it just selects that entry alone.
bool TMultiImageView::extendsSelection(int index)
{
    if (index < 0 || index >= Count())
        return false;
    if (multiSelect_)
        return true;
    SelectOnly(index);
    return false;
}

void TMultiImageView::ToggleSelected(int index)
{
    if (!extendsSelection(index))
        return;
    std::vector<int> selection = selection_;
    auto it = std::find(selection.begin(), selection.end(), index);
    if (it == selection.end()) {
        selection.push_back(index);
        setSelection(std::move(selection), index, index);
        return;
    }
    selection.erase(it);
    const int current = selection.empty() ? -1 : selection.back();
    setSelection(std::move(selection), current, index);
}

void TMultiImageView::SelectRange(int index)
{
    if (!extendsSelection(index))
        return;
    const int anchor = anchor_ >= 0 && anchor_ < Count() ? anchor_ : (current_ >= 0 ? current_ : index);
    std::vector<int> selection;
    const int step = index >= anchor ? 1 : -1;
    for (int i = anchor;; i += step) {
        selection.push_back(i);
        if (i == index)
            break;
    }
    setSelection(std::move(selection), index, anchor);
}

// ---- events --------------------------------------------------------------

void TMultiImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int index = IndexAt(event->position().toPoint());
    if (index < 0)
        return;
    if (event->modifiers() & Qt::ShiftModifier)
        SelectRange(index);
    else if (event->modifiers() & Qt::ControlModifier)
        ToggleSelected(index);
    else
        SelectOnly(index);
}

void TMultiImageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int index = IndexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0)
        return;
    // Normally the press before has selected it; not every platform sends one.
    if (!IsSelected(index))
        SelectOnly(index);
    emit itemDoubleClicked(index);
}

void TMultiImageView::mouseReleaseEvent(QMouseEvent* event)
{
    // The press did the work; the release is ours too.
    event->setAccepted(event->button() == Qt::LeftButton);
}

void TMultiImageView::keyPressEvent(QKeyEvent* event)
{
    if (Count() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int columns = ColumnCount();
    const int from = current_ >= 0 ? current_ : 0;
    int to = from;
    switch (event->key()) {
    case Qt::Key_Left: to = from - 1; break;
    case Qt::Key_Right: to = from + 1; break;
    case Qt::Key_Up: to = from - columns; break;
    case Qt::Key_Down: to = from + columns; break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = Count() - 1; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    // A move past the first or last row stops there instead of wrapping.
    if (to < 0 || to >= Count())
        to = current_ >= 0 ? from : 0;
    if (current_ < 0)
        to = 0;
    if (event->modifiers() & Qt::ShiftModifier)
        SelectRange(to);
    else
        SelectOnly(to);
}

// Cells scrolled out of sight need no thumbnail soon: their jobs that have
// not started make way for the cells coming into view (asked again when
// they are painted next).
void TMultiImageView::scrollContentsBy(int dx, int dy)
{
    loader_->CancelPending();
    for (TEntry& entry : entries_)
        if (entry.state == TLoadState::Queued)
            entry.state = TLoadState::NotLoaded;
    QAbstractScrollArea::scrollContentsBy(dx, dy);
}

void TMultiImageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

// ---- painting ------------------------------------------------------------

// The entries of the rows the viewport shows, [first, last).
std::pair<int, int> TMultiImageView::visibleRange() const
{
    const int columns = ColumnCount();
    const int rowHeight = pitch().height();
    const int64_t firstRow = std::max(0, (verticalScrollBar()->value() - vSpacing_) / rowHeight);
    const int64_t lastRow = (int64_t(verticalScrollBar()->value()) + viewport()->height()) / rowHeight;
    const int64_t first = std::min<int64_t>(Count(), firstRow * columns);
    const int64_t last = std::min<int64_t>(Count(), (lastRow + 1) * columns);
    return {int(first), int(last)};
}

// Asks for the thumbnails of the cells about to be painted: the current
// entry's here and now, the others from the pool.
void TMultiImageView::requestVisible()
{
    auto visible = [this](int index) {
        const QRect cell = CellRect(index);
        return !cell.isNull() && cell.bottom() + captionHeight() >= 0 && cell.top() < viewport()->height() &&
               cell.right() >= 0 && cell.left() < viewport()->width();
    };
    if (current_ >= 0 && visible(current_) && entries_[size_t(current_)].state == TLoadState::NotLoaded &&
        !entries_[size_t(current_)].path.isEmpty())
        LoadThumbnailNow(current_);

    const auto [first, last] = visibleRange();
    for (int i = first; i < last; ++i) {
        TEntry& entry = entries_[size_t(i)];
        if (entry.state != TLoadState::NotLoaded || entry.path.isEmpty() || !visible(i))
            continue;
        entry.state = TLoadState::Queued;
        loader_->Request(requestFor(i));
    }
}

void TMultiImageView::paintCell(QPainter& p, int index)
{
    const TEntry& entry = entries_[size_t(index)];
    const QRect cell = CellRect(index);
    if (thumbBackground_.isValid())
        p.fillRect(cell, thumbBackground_);
    if (style_ == msACD)
        drawRaisedEdge(p, cell);
    else if (borderColor_.isValid())
        fillFrame(p, cell, borderColor_, 1);

    QRect thumbRect = QRect(QPoint(0, 0), cell.size()).adjusted(4, 4, -4, -4);
    if (beforeImageDraw_)
        beforeImageDraw_(index, p, cell, thumbRect);
    const QRect box = thumbRect.translated(cell.topLeft());

    if (entry.state == TLoadState::Loaded && !entry.thumbnail.isNull() && !box.isEmpty()) {
        const QSize size = FitInside(entry.thumbnail.size(), box.size());
        QRect target(QPoint(0, 0), size);
        target.moveCenter(box.center());
        p.setRenderHint(QPainter::SmoothPixmapTransform, size != entry.thumbnail.size());
        p.drawImage(target, entry.thumbnail);
    } else if (entry.state == TLoadState::Failed && !box.isEmpty()) {
        // An unreadable picture that stays in the grid shows a cross.
        p.setPen(QColor(128, 128, 128));
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
    }

    if (IsSelected(index))
        fillFrame(p, cell, selectionColor_, selectionWidth_);

    if (showCaptions_ && !entry.caption.isEmpty()) {
        const QRect textRect(cell.left(), cell.bottom() + 1, cell.width(), captionHeight());
        p.setPen(palette().color(QPalette::Text));
        p.drawText(textRect, Qt::AlignCenter, fontMetrics().elidedText(entry.caption, Qt::ElideRight, cell.width()));
    }
}

void TMultiImageView::paintEvent(QPaintEvent* /*event*/)
{
    // May remove an unreadable current entry, so it runs before any drawing.
    requestVisible();
    QPainter p(viewport());
    const auto [first, last] = visibleRange();
    for (int i = first; i < last; ++i)
        paintCell(p, i);
}

}  // namespace tessaron
