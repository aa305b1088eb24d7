#pragma once
// The browse tab: the folder pane on the left (tree, favourites), the
// thumbnail grid in the centre and the photo pane on the right (thumbnail
// options, description, file data, the two buttons under them).
#include <QImage>
#include <QWidget>
#include <vector>

#include "browser/ThumbFrames.h"

class TImageIO;
class QPainter;

class QCheckBox;
class QComboBox;
class QGroupBox;
class QListWidget;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace tessaron {

class TFolderTree;
class TMultiImageView;
class TPanel;

class TBrowsePage : public QWidget {
    Q_OBJECT
public:
    explicit TBrowsePage(QWidget* parent = nullptr);

    // Left pane.
    TPanel* Panel4;
    QSplitter* FolderSplitter;  // tree above, favourites below
    TFolderTree* STV;           // folder tree
    QMenu* TreePopup;
    QAction* N5;                // "Добавить в избранное"
    TPanel* Panel5;
    QPushButton* AddFav;
    QListWidget* Fav;
    QMenu* FavMenu;
    QAction* N34;               // "Удалить"
    QSplitter* PaneSplitter;    // between the left pane and the centre
    // Centre.
    TPanel* Panel2;
    TMultiImageView* ThumbGrid;
    // Right pane.
    TPanel* Panel1;
    QGroupBox* OutputBox;
    QComboBox* Styler;
    QComboBox* Sizer;
    QCheckBox* ShowTexta;
    QGroupBox* DescriptionBox;
    QPlainTextEdit* ComPhoto;
    QPushButton* AddCom;
    QPushButton* ClearCom;
    QGroupBox* FileDataBox;
    QTableWidget* PhotoData;
    QPushButton* AddBatch;
    QPushButton* OpenPhoto;

    // The two buttons keep their distance from the bottom of the right pane.
    void Panel1Resize();
    // The favourites take two fifths of the left pane's height.
    void Panel4Resize();
    // The add-favourite button spans its panel.
    void Panel5Resize();

    // Row titles of the photo data grid (first activation).
    void PreparePhotoData();
    // Brings the grid's look in line with the three thumbnail options.
    void ApplyThumbnailOptions();
    void StylerChange();
    // The grid's settings of the first activation.
    void PrepareThumbGrid();
    // The frame pictures of the look "Современный" (first activation); the
    // grid's cells take the frame's size until the size choice is applied.
    void SetThumbFrames(const TThumbFrames& frames);
    const TThumbFrames& thumbFrames() const { return frames_; }
    // Paints a cell's frame and puts the thumbnail into its photo window
    // (attached while the look is "Современный").
    void ThumbGridBeforeImageDrawEx(int index, QPainter& painter, const QRect& cell, QRect& thumbRect);
    // Empties the grid and fills it from `folder` (nothing for empty text).
    void FillGrid(const QString& folder);
    void OpenPhotoClick();
    void AddBatchClick();

    // Photo information and description (PhotoInfo.cpp). The record the
    // photo's data are read into belongs to the editor view.
    void setPhotoRecord(TImageIO* io) { photoIO_ = io; }
    void ThumbGridImageSelect(int index);
    void AddComClick();
    void ClearComClick();

    // Selects an item of Styler or Sizer; an index outside the list leaves
    // the list showing no item.
    static void selectItem(QComboBox* list, int index);

    // Folder tree and favourites (Favorites.cpp).
    void STVChange();
    void N5Click();
    void FavClick();
    void FavSelectItem();
    void N34Click();
    // The favourites' pop-up menu while an item is selected, else nullptr.
    QMenu* favPopup() const { return favPopup_; }
    void loadFavorites(const QString& path);
    void saveFavorites(const QString& path) const;

signals:
    // The thumbnail grid is to be cleared and, unless the folder is empty
    // text, filled from that folder.
    void gridRequested(const QString& folder);
    // The selected entry is to be opened in the editor.
    void openPhotoRequested(int index);
    // These entries, in selection order, are to be added to the batch list.
    void addToBatchRequested(const std::vector<int>& entries);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLeftPane();
    void buildRightPane();
    void addFavorite(const QString& caption);

    void showPhotoValue(int row, const QString& text);

    QMenu* favPopup_ = nullptr;
    TThumbFrames frames_;
    TImageIO* photoIO_ = nullptr;
    // Counts selections, so a read interrupted by a newer one gives way.
    unsigned selectionSerial_ = 0;
};

}  // namespace tessaron
