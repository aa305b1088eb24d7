#include "editor/EditPage.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/ResampleFilterNames.h"
#include "imaging/ImageIO.h"
#include "platform/ApplicationEvents.h"
#include "platform/Controls.h"
#include "platform/Panel.h"

namespace tessaron {
namespace {

constexpr int kColumnWidth = 230;

// The editor's views paint on the desktop's application work space grey.
QWidget* viewPlaceholder(const char* name) {
    auto* view = new QWidget;
    view->setObjectName(QString::fromLatin1(name));
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor(171, 171, 171));
    view->setPalette(palette);
    return view;
}

}  // namespace

TEditPage::TEditPage(QWidget* parent) : QWidget(parent), PicIO(std::make_unique<TImageIO>()) {
    setObjectName("EditPage");

    Pic = viewPlaceholder("Pic");

    EditPanel = new TPanel("EditPanel");
    EditPanel->setFrameShape(QFrame::StyledPanel);
    Panel10 = new TPanel("Panel10", EditPanel);
    Panel10->setGeometry(0, 0, 4000, kPanelClosed);
    auto* title = new QLabel("Панель редактирования", Panel10);
    title->setGeometry(8, 0, 300, kPanelClosed);
    setHint(Panel10, "Открыть панель редактирования можно двойным кликом");
    setEditPanelHeight(kPanelClosed);

    auto* viewColumn = new QVBoxLayout;
    viewColumn->setContentsMargins(0, 0, 0, 0);
    viewColumn->setSpacing(0);
    viewColumn->addWidget(Pic, 1);
    viewColumn->addWidget(EditPanel);

    Panel6 = new TPanel("Panel6");
    Panel6->setFixedWidth(kColumnWidth);
    Panel6->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    NavBox = new QGroupBox("Навигатор", Panel6);
    NavBox->setObjectName("NavBox");
    NavBox->setGeometry(4, 4, kColumnWidth - 8, 200);
    Nava = viewPlaceholder("Nava");
    Nava->setParent(NavBox);
    Nava->setGeometry(8, 24, kColumnWidth - 24, 166);

    CropBox = new QGroupBox("Кадрирование", Panel6);
    CropBox->setObjectName("CropBox");
    CropBox->setGeometry(4, 4, kColumnWidth - 8, 200);
    Props = addLabelledList(CropBox, "Props", "Пропорции кадра", 10, QRect(84, 30, kColumnWidth - 16 - 84, 26),
                         {"Свободные", "Равные стороны", "Золотое сечение", "Для фото 9 x 13",
                          "Для фото 10 x 15", "Для фото 15 x 21", "Стандартный монитор",
                          "Монитор wide-screen"});
    CropBox->hide();

    SizeBox = new QGroupBox("Размер изображения", Panel6);
    SizeBox->setObjectName("SizeBox");
    SizeBox->setGeometry(4, 212, kColumnWidth - 8, 100);
    Mera = addLabelledList(SizeBox, "Mera", "Мера", 10, QRect(84, 30, kColumnWidth - 16 - 84, 26), {"Точки - pixels", "Сантиметры"});
    FilterKind = addLabelledList(SizeBox, "FilterKind", "Фильтр", 10, QRect(84, 64, kColumnWidth - 16 - 84, 26), resampleFilterNames());
    setHint(FilterKind, "Тип фильтрации при изменении размера");

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addLayout(viewColumn, 1);
    row->addWidget(Panel6);
}

int TEditPage::editPanelHeight() const { return EditPanel->maximumHeight(); }

TEditPage::~TEditPage() = default;

void TEditPage::setEditPanelHeight(int height) { EditPanel->setFixedHeight(std::max(0, height)); }

void TEditPage::PrepareLists() {
    Mera->setCurrentIndex(0);
    Props->setCurrentIndex(0);
    FilterKind->setCurrentIndex(kStartFilter);
}

}  // namespace tessaron
