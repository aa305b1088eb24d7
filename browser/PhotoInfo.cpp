// The browse page's photo pane: the file data of the selected photo and its
// EXIF description, saved into the file in place.
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <cmath>

#include "browser/BrowsePage.h"
#include "browser/PhotoText.h"
#include "imaging/ImageIO.h"
#include "platform/MultiImageView.h"

namespace tessaron {

void TBrowsePage::showPhotoValue(int row, const QString& text) {
    QTableWidgetItem* cell = PhotoData->item(row, 1);
    if (!cell) {
        cell = new QTableWidgetItem;
        PhotoData->setItem(row, 1, cell);
    }
    cell->setText(text);
}

void TBrowsePage::ThumbGridImageSelect(int index) {
    if (index < 0 || index >= ThumbGrid->Count() || !photoIO_) return;
    const unsigned serial = ++selectionSerial_;
    const QString path = ThumbGrid->Path(index);
    // Before its thumbnail is read the grid knows no size: 0 x 0.
    const QSize size = ThumbGrid->FullSize(index).expandedTo(QSize(0, 0));
    showPhotoValue(0, ThumbGrid->Caption(index));
    showPhotoValue(1, photoSizeText(size.width(), size.height()));
    // The two rows are painted before the file is read. A click handled
    // meanwhile may select another photo; its data win.
    QCoreApplication::processEvents();
    if (serial != selectionSerial_) return;

    TImageIO& io = *photoIO_;
    io.ReadParamsFromFile(path.toStdString());
    const TImageParams& p = io.Params;
    if (!p.ExifPresent) {
        for (int row = 2; row < PhotoData->rowCount(); ++row) showPhotoValue(row, "...");
        // The previous photo's description is not this one's.
        ComPhoto->clear();
        AddCom->setEnabled(false);
        ClearCom->setEnabled(false);
        return;
    }
    showPhotoValue(2, QString::fromStdString(p.DateTime));
    showPhotoValue(3, QString::fromStdString(p.Make));
    showPhotoValue(4, QString::fromStdString(p.Model));
    showPhotoValue(5, focalLengthText(p.FocalLength, QLocale()));
    showPhotoValue(6, exposureText(p.ExposureTime, QLocale()));
    showPhotoValue(7, apertureText(p.FNumber));
    showPhotoValue(8, QString::number(p.ISOSpeedRatings[0]));
    showPhotoValue(9, exposureProgramText(p.ExposureProgram));
    ComPhoto->setPlainText(descriptionToMemo(QString::fromStdString(p.ImageDescription)));
    AddCom->setEnabled(true);
    ClearCom->setEnabled(true);
}

void TBrowsePage::AddComClick() {
    if (!photoIO_) return;
    photoIO_->Params.ImageDescription = memoToDescription(ComPhoto->toPlainText()).toStdString();
    // A file that can't be rewritten stays as it was; nothing is reported.
    photoIO_->WriteExifIntoJpegFile(photoIO_->Params.FileName);
}

void TBrowsePage::ClearComClick() {
    ComPhoto->clear();
    AddComClick();
}

}  // namespace tessaron
