// The browse page's thumbnail grid: its options, the framed look, filling
// from a folder and the two buttons that hand entries on.
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>

#include "browser/BrowsePage.h"
#include "browser/FolderFill.h"
#include "platform/MultiImageView.h"

namespace tessaron {
namespace {

// Cell sizes of the size list, by item.
constexpr QSize kCellSizes[] = {{75, 75}, {102, 100}, {130, 125}, {170, 160}};

}  // namespace

void TBrowsePage::PrepareThumbGrid() {
    // Thumbnails keep their alpha channel and are drawn without a shadow or
    // a filled cell background; captions start off and the style flat.
    ThumbGrid->SetThumbnailBackground(QColor());
    ThumbGrid->SetShowCaptions(false);
    ThumbGrid->SetStyle(msFlat);
    ThumbGrid->SetGridWidth(-1);
    ThumbGrid->SetSpacing(4, 4);
    ThumbGrid->SetEnableMultiSelect(true);
    ThumbGrid->SetSelectionFrame(Qt::red, 3);
    ThumbGrid->SetRemoveCorrupted(true);
}

void TBrowsePage::SetThumbFrames(const TThumbFrames& frames) {
    frames_ = frames;
    if (frames_.loaded()) ThumbGrid->SetCellSize(frames_.normal.size());
}

void TBrowsePage::ApplyThumbnailOptions() {
    const int size = Sizer->currentIndex();
    if (size >= 0 && size < int(std::size(kCellSizes))) ThumbGrid->SetCellSize(kCellSizes[size]);
    const int look = Styler->currentIndex();
    if (look == 0) ThumbGrid->SetStyle(msFlat);
    if (look == 1) ThumbGrid->SetStyle(msACD);
    ThumbGrid->SetShowCaptions(ShowTexta->isChecked());
    if (look == 2) {
        ThumbGrid->SetBeforeImageDraw([this](int index, QPainter& painter, const QRect& cell, QRect& thumbRect) {
            ThumbGridBeforeImageDrawEx(index, painter, cell, thumbRect);
        });
        ThumbGrid->SetStyle(msFlat);
        ThumbGrid->SetShowCaptions(false);
        // Disabled, not unchecked: the mark is kept for the other looks.
        ShowTexta->setEnabled(false);
    } else {
        ThumbGrid->SetBeforeImageDraw(nullptr);
        ShowTexta->setEnabled(true);
    }
    ThumbGrid->viewport()->update();
}

void TBrowsePage::StylerChange() { ApplyThumbnailOptions(); }

void TBrowsePage::ThumbGridBeforeImageDrawEx(int index, QPainter& painter, const QRect& cell, QRect& thumbRect) {
    // Without a readable frame picture the look shows bare thumbnails in
    // the whole cell rather than floating in an empty frame window.
    if (!frames_.loaded()) return;
    const QImage& frame = ThumbGrid->IsSelected(index) ? frames_.selected : frames_.normal;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setOpacity(1.0);
    painter.drawImage(QRect(cell.topLeft(), cell.size()), frame, frame.rect());
    painter.restore();
    thumbRect = FramePhotoWindow(cell.size());
}

void TBrowsePage::FillGrid(const QString& folder) {
    ThumbGrid->Clear();
    if (!folder.isEmpty()) FillFromFolder(*ThumbGrid, folder, -1, false);
}

void TBrowsePage::OpenPhotoClick() {
    const int index = ThumbGrid->SelectedIndex();
    if (index >= 0) emit openPhotoRequested(index);
}

void TBrowsePage::AddBatchClick() {
    const std::vector<int> entries = ThumbGrid->SelectedIndices();
    if (!entries.empty()) emit addToBatchRequested(entries);
}

}  // namespace tessaron
