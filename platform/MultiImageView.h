#pragma once
// TMultiImageView: a scrolling grid of thumbnails, one cell per entry.
//
// Each entry keeps its file path, caption, a thumbnail no larger than the
// cell (never the full picture) and the picture's full size. Entries stay in
// the order they were added. Thumbnails of file entries are read when their
// cells are painted: the current entry's at once, the others by the
// TThumbnailLoader pool, whose late answers are checked against the entry
// ids and the fill generation so a clear, refill or removal never receives
// a picture meant for an entry that is gone. Thumbnails can also be given
// from memory (SetThumbnail), for grids that show made pictures.
//
//   spacing
//   |  cell width  |
//   +--------------+   +--------------+
//   | thumbnail    |   |              |   cell height
//   |  rectangle   |   |              |
//   +--------------+   +--------------+
//     caption (when shown, below the cell)
#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ThumbnailLoader.h"

namespace tessaron {

enum TMultiViewStyle { msFlat, msACD };

class TMultiImageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TMultiImageView(QWidget* parent = nullptr);
    ~TMultiImageView() override;

    // Entries.
    int AddEntry(const QString& path, const QString& caption);
    // Inserts at `index` (clamped); an entry for a picture made in memory
    // has an empty path and gets its thumbnail from SetThumbnail.
    int InsertEntry(int index, const QString& path, const QString& caption);
    void RemoveEntry(int index);
    void Clear();
    // Between these two, adding and removing entries does not update the
    // scroll range or repaint; EndUpdate does both once. They nest.
    void BeginUpdate() { ++updateDepth_; }
    void EndUpdate();
    int Count() const { return int(entries_.size()); }
    QString Path(int index) const;
    QString Caption(int index) const;
    void SetCaption(int index, const QString& caption);
    QImage Thumbnail(int index) const;
    bool HasThumbnail(int index) const;
    // The picture's full size as found when its thumbnail was read (empty before).
    QSize FullSize(int index) const;
    // Gives the entry a thumbnail from memory; the picture is scaled down to
    // the cell. An empty fullSize takes the picture's own size.
    void SetThumbnail(int index, const QImage& picture, QSize fullSize = {});
    // Reads the entry's thumbnail now on this thread; false when the file
    // cannot be read (and the entry is removed under RemoveCorrupted).
    bool LoadThumbnailNow(int index);

    // Looks.
    QSize CellSize() const { return cellSize_; }
    void SetCellSize(QSize size);
    int HorizontalSpacing() const { return hSpacing_; }
    int VerticalSpacing() const { return vSpacing_; }
    void SetSpacing(int horizontal, int vertical);
    TMultiViewStyle Style() const { return style_; }
    void SetStyle(TMultiViewStyle style);
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool show);
    // Fixed number of columns, or -1 for as many as fit the width.
    int GridWidth() const { return gridWidth_; }
    void SetGridWidth(int columns);
    int ColumnCount() const;
    void SetSelectionFrame(QColor color, int width);
    // Border drawn around each cell (invalid colour: none).
    void SetBorderColor(QColor color);
    void SetThumbnailBackground(QColor color);

    // Behaviour.
    bool EnableMultiSelect() const { return multiSelect_; }
    void SetEnableMultiSelect(bool enable);
    bool RemoveCorrupted() const { return removeCorrupted_; }
    void SetRemoveCorrupted(bool remove) { removeCorrupted_ = remove; }

    // Selection. The current entry is the one last clicked or moved to
    // (-1 when none); SelectedIndices lists the selected entries in the
    // order they were selected.
    int SelectedIndex() const { return current_; }
    std::vector<int> SelectedIndices() const { return selection_; }
    bool IsSelected(int index) const;
    // Plain click: only this entry selected (-1 clears the selection).
    void SelectOnly(int index);
    // Ctrl click: this entry in or out of the selection.
    void ToggleSelected(int index);
    // Shift click: the entries from the anchor to this one, in that order.
    void SelectRange(int index);

    // Geometry, in viewport coordinates at the current scroll position.
    QRect CellRect(int index) const;
    int IndexAt(QPoint viewportPos) const;
    void EnsureVisible(int index);

    // Called while a cell is painted, before its thumbnail: may draw into the
    // cell with the painter and move the thumbnail rectangle (given relative
    // to the cell's top left corner).
    using TBeforeImageDraw = std::function<void(int index, QPainter& painter, const QRect& cell, QRect& thumbRect)>;
    void SetBeforeImageDraw(TBeforeImageDraw hook);

    // The loader pool, for waiting on it (shutdown, tests) and for tests to
    // replace its decoder.
    TThumbnailLoader& Loader() { return *loader_; }

signals:
    void selectionChanged(int current);
    void itemDoubleClicked(int index);
    void thumbnailLoaded(int index);
    void entryRemoved(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class TLoadState : uint8_t { NotLoaded, Queued, Loaded, Failed };
    struct TEntry {
        uint64_t id = 0;
        QString path;
        QString caption;
        QImage thumbnail;
        QSize fullSize;
        TLoadState state = TLoadState::NotLoaded;
    };

    int captionHeight() const;
    QSize pitch() const;
    void updateScrollRange();
    void changed();
    TThumbnailRequest requestFor(int index) const;
    void applyResult(const TThumbnailResult& result);
    int findEntry(uint64_t id, int hint) const;
    void invalidateFileThumbnails();
    void setSelection(std::vector<int> selection, int current, int anchor);
    bool extendsSelection(int index);
    void paintCell(QPainter& painter, int index);
    void requestVisible();
    std::pair<int, int> visibleRange() const;

    std::vector<TEntry> entries_;
    uint64_t nextId_ = 1;
    uint64_t generation_ = 1;

    QSize cellSize_{102, 100};
    int hSpacing_ = 4;
    int vSpacing_ = 4;
    TMultiViewStyle style_ = msFlat;
    bool showCaptions_ = true;
    int gridWidth_ = -1;
    QColor selectionColor_ = Qt::red;
    int selectionWidth_ = 3;
    QColor borderColor_;
    QColor thumbBackground_;
    bool multiSelect_ = true;
    bool removeCorrupted_ = true;

    std::vector<int> selection_;
    int current_ = -1;
    int anchor_ = -1;

    TBeforeImageDraw beforeImageDraw_;
    int updateDepth_ = 0;
    std::unique_ptr<TThumbnailLoader> loader_;
};

}  // namespace tessaron
