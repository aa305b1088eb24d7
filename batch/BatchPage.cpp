#include "batch/BatchPage.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

#include "editor/ResampleFilterNames.h"
#include "platform/Controls.h"
#include "platform/Panel.h"

namespace tessaron {
namespace {

constexpr int kColumnWidth = 250;
constexpr int kJpegItem = 1;

}  // namespace

TBatchPage::TBatchPage(QWidget* parent) : QWidget(parent) {
    setObjectName("BatchPage");

    // The batch list's thumbnail grid takes this place.
    BatchView = sunkenArea();
    BatchView->setObjectName("BatchView");

    BatchPanel = new TPanel("BatchPanel");
    BatchPanel->setFixedWidth(kColumnWidth);
    BatchPanel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    GroupBox5 = new QGroupBox("Параметры сохранения", BatchPanel);
    GroupBox5->setObjectName("GroupBox5");
    GroupBox5->setGeometry(4, 4, kColumnWidth - 8, 70);
    BatchFormat = addLabelledList(GroupBox5, "BatchFormat", "Формат", 10, QRect(84, 30, kColumnWidth - 16 - 84, 26), {"BMP", "JPEG", "TIFF", "PNG", "GIF"});

    PanResize = new QGroupBox("Размер изображений", BatchPanel);
    PanResize->setObjectName("PanResize");
    PanResize->setGeometry(4, 80, kColumnWidth - 8, 70);
    BatchFilter = addLabelledList(PanResize, "BatchFilter", "Фильтр", 10, QRect(84, 30, kColumnWidth - 16 - 84, 26), resampleFilterNames());
    PanResize->hide();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(BatchView, 1);
    row->addWidget(BatchPanel);
}

void TBatchPage::PrepareLists() {
    BatchFormat->setCurrentIndex(kJpegItem);
    BatchFilter->setCurrentIndex(kStartFilter);
}

}  // namespace tessaron
