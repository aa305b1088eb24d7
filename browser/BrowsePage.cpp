#include "browser/BrowsePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/Captions.h"
#include "platform/ApplicationEvents.h"
#include "platform/Controls.h"
#include "platform/ErrorReport.h"
#include "platform/FolderTree.h"
#include "platform/MultiImageView.h"
#include "platform/Panel.h"

namespace tessaron {
namespace {

constexpr int kFolderPaneWidth = 190;
constexpr int kPhotoPaneWidth = 252;
constexpr int kButtonPanelHeight = 33;
constexpr int kSplitterWidth = 5;
constexpr int kBigButtonWidth = 233;
constexpr int kBigButtonHeight = 33;

template <class T>
T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

const QStringList& photoDataTitles() {
    static const QStringList titles = {"Название", "Размер", "Дата", "Камера", "Модель",
                                       "Фок. расст.", "Экспозиция", "Диафрагма", "ISO", "Режим"};
    return titles;
}

}  // namespace

TBrowsePage::TBrowsePage(QWidget* parent) : QWidget(parent) {
    setObjectName("BrowsePage");
    buildLeftPane();

    Panel2 = new TPanel("Panel2");
    auto* centre = new QVBoxLayout(Panel2);
    centre->setContentsMargins(0, 0, 0, 0);
    ThumbGrid = named(new TMultiImageView, "ThumbGrid");
    centre->addWidget(ThumbGrid);

    PaneSplitter = named(new QSplitter(Qt::Horizontal), "PaneSplitter");
    PaneSplitter->setHandleWidth(kSplitterWidth);
    PaneSplitter->setChildrenCollapsible(false);
    PaneSplitter->addWidget(Panel4);
    PaneSplitter->addWidget(Panel2);
    PaneSplitter->setStretchFactor(0, 0);
    PaneSplitter->setStretchFactor(1, 1);
    PaneSplitter->setSizes({kFolderPaneWidth, 4 * kFolderPaneWidth});

    buildRightPane();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(PaneSplitter, 1);
    row->addWidget(Panel1);

    connect(Styler, &QComboBox::currentIndexChanged, this, guarded([this](int) { StylerChange(); }));
    connect(Sizer, &QComboBox::currentIndexChanged, this, guarded([this](int) { StylerChange(); }));
    connect(ShowTexta, &QCheckBox::clicked, this, guarded([this](bool) { StylerChange(); }));
    connect(this, &TBrowsePage::gridRequested, this, guarded([this](const QString& folder) { FillGrid(folder); }));
    connect(ThumbGrid, &TMultiImageView::itemDoubleClicked, this, guarded([this](int) { OpenPhotoClick(); }));
    connect(ThumbGrid, &TMultiImageView::selectionChanged, this, guarded([this](int current) {
        if (current >= 0) ThumbGridImageSelect(current);
    }));
    connect(OpenPhoto, &QPushButton::clicked, this, guarded([this](bool) { OpenPhotoClick(); }));
    connect(AddBatch, &QPushButton::clicked, this, guarded([this](bool) { AddBatchClick(); }));
    connect(AddCom, &QPushButton::clicked, this, guarded([this](bool) { AddComClick(); }));
    connect(ClearCom, &QPushButton::clicked, this, guarded([this](bool) { ClearComClick(); }));
}

void TBrowsePage::buildLeftPane() {
    Panel4 = new TPanel("Panel4");
    Panel4->setMinimumWidth(0);
    Panel4->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    auto* column = new QVBoxLayout(Panel4);
    column->setContentsMargins(0, 0, 0, 0);

    // The tree and its button panel share the upper part; the user may move
    // the splitter, and a change of the pane's height sets the favourites'
    // share again.
    auto* upper = named(new QWidget, "FolderBox");
    upper->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    auto* upperColumn = new QVBoxLayout(upper);
    upperColumn->setContentsMargins(0, 0, 0, 0);
    upperColumn->setSpacing(0);
    STV = named(new TFolderTree, "STV");
    STV->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    TreePopup = named(new QMenu(STV), "TreePopup");
    N5 = named(TreePopup->addAction("Добавить в избранное"), "N5");
    STV->setPopupMenu(TreePopup);
    upperColumn->addWidget(STV, 1);
    Panel5 = new TPanel("Panel5");
    Panel5->setFixedHeight(kButtonPanelHeight);
    AddFav = named(new QPushButton("Добавить в Избранное", Panel5), "AddFav");
    AddFav->setGeometry(0, 4, kFolderPaneWidth, kBigButtonHeight - 8);
    upperColumn->addWidget(Panel5);

    Fav = named(new QListWidget, "Fav");
    Fav->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Fav->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    Fav->setSelectionMode(QAbstractItemView::SingleSelection);
    Fav->setContextMenuPolicy(Qt::CustomContextMenu);
    FavMenu = named(new QMenu(Fav), "FavMenu");
    N34 = named(FavMenu->addAction("Удалить"), "N34");

    FolderSplitter = named(new QSplitter(Qt::Vertical), "FolderSplitter");
    FolderSplitter->setHandleWidth(kSplitterWidth);
    FolderSplitter->setChildrenCollapsible(false);
    FolderSplitter->addWidget(upper);
    FolderSplitter->addWidget(Fav);
    column->addWidget(FolderSplitter);

    Panel4->OnResize = [this] { Panel4Resize(); };
    Panel5->OnResize = [this] { Panel5Resize(); };

    connect(STV, &TFolderTree::pathChanged, this, guarded([this](const QString&) { STVChange(); }));
    connect(AddFav, &QPushButton::clicked, this, guarded([this](bool) { N5Click(); }));
    connect(N5, &QAction::triggered, this, guarded([this](bool) { N5Click(); }));
    connect(N34, &QAction::triggered, this, guarded([this](bool) { N34Click(); }));
    connect(Fav, &QListWidget::itemSelectionChanged, this, guarded([this] { FavSelectItem(); }));
    connect(Fav, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (favPopup_) favPopup_->popup(Fav->viewport()->mapToGlobal(at));
    });
    // Only a click chooses a favourite: moving through the list with the
    // keys does not change the folder. A change of the list's height does
    // nothing either; re-reading the folder whenever the window is resized
    // would only cost time and reset the tree.
    Fav->viewport()->installEventFilter(this);
}

bool TBrowsePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Fav->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            // A click beside the items leaves none selected.
            const auto* press = static_cast<QMouseEvent*>(event);
            if (!Fav->itemAt(press->position().toPoint())) Fav->clearSelection();
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            guarded([this] { FavClick(); })();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TBrowsePage::buildRightPane() {
    Panel1 = new TPanel("Panel1");
    Panel1->setFixedWidth(kPhotoPaneWidth);
    Panel1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    const int boxLeft = 6;
    const int boxWidth = kPhotoPaneWidth - 2 * boxLeft;

    OutputBox = named(new QGroupBox("Настройки вывода", Panel1), "OutputBox");
    OutputBox->setGeometry(boxLeft, 4, boxWidth, 118);
    auto* styleLabel = new QLabel("Стиль", OutputBox);
    styleLabel->setGeometry(10, 28, 60, 24);
    Styler = named(new QComboBox(OutputBox), "Styler");
    Styler->addItems({"Простой", "Объёмный", "Современный"});
    Styler->setGeometry(76, 26, boxWidth - 86, 26);
    auto* sizeLabel = new QLabel("Размер", OutputBox);
    sizeLabel->setGeometry(10, 58, 60, 24);
    Sizer = named(new QComboBox(OutputBox), "Sizer");
    Sizer->addItems({"Мелкий", "Средний", "Крупный", "Максимальный"});
    Sizer->setGeometry(76, 56, boxWidth - 86, 26);
    ShowTexta = named(new QCheckBox("Выводить имена файлов", OutputBox), "ShowTexta");
    ShowTexta->setChecked(true);
    ShowTexta->setGeometry(10, 88, boxWidth - 20, 22);

    DescriptionBox = named(new QGroupBox("Описание фотографии", Panel1), "DescriptionBox");
    DescriptionBox->setGeometry(boxLeft, 128, boxWidth, 126);
    ComPhoto = named(new QPlainTextEdit(DescriptionBox), "ComPhoto");
    ComPhoto->setGeometry((boxWidth - 209) / 2, 26, 209, 57);
    AddCom = named(new QPushButton("Сохранить", DescriptionBox), "AddCom");
    AddCom->setGeometry((boxWidth - 209) / 2, 90, 102, 28);
    setHint(AddCom, "Добавление описания снимка в EXIF");
    AddCom->setEnabled(false);
    ClearCom = named(new QPushButton("Очистить", DescriptionBox), "ClearCom");
    ClearCom->setGeometry((boxWidth - 209) / 2 + 107, 90, 102, 28);
    setHint(ClearCom, "Удаление описание снимка из EXIF");
    ClearCom->setEnabled(false);

    FileDataBox = named(new QGroupBox("Данные файла", Panel1), "FileDataBox");
    FileDataBox->setGeometry(boxLeft, 260, boxWidth, 232);
    PhotoData = named(new QTableWidget(10, 2, FileDataBox), "PhotoData");
    PhotoData->setGeometry((boxWidth - 207) / 2, 24, 207, 202);
    PhotoData->horizontalHeader()->hide();
    PhotoData->verticalHeader()->hide();
    PhotoData->setColumnWidth(0, 85);
    PhotoData->setColumnWidth(1, 120);
    for (int row = 0; row < PhotoData->rowCount(); ++row) PhotoData->setRowHeight(row, 20);
    // The cells are narrow: a smaller type and slim margins let a whole EXIF
    // date and time ("2026:07:14 18:32:05") fit the value column.
    QFont small = PhotoData->font();
    small.setPixelSize(11);
    small.setLetterSpacing(QFont::AbsoluteSpacing, -0.4);
    PhotoData->setFont(small);
    PhotoData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PhotoData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PhotoData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PhotoData->setSelectionMode(QAbstractItemView::NoSelection);
    PhotoData->setFocusPolicy(Qt::NoFocus);
    // The grid is disabled so it takes no clicks or focus, but its data
    // must stay as readable as any other text.
    QPalette readable = PhotoData->palette();
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::Base})
        readable.setColor(QPalette::Disabled, role, readable.color(QPalette::Active, role));
    PhotoData->setPalette(readable);

    const int buttonLeft = (kPhotoPaneWidth - kBigButtonWidth) / 2;
    AddBatch = named(new QPushButton("Добавить фото в пакет", Panel1), "AddBatch");
    AddBatch->setGeometry(buttonLeft, 0, kBigButtonWidth, kBigButtonHeight);
    // Status-line hint only: the button pops up no tooltip.
    setHint(AddBatch, QStringLiteral("Добавление файлов в список для пакетной обработки - см. вкладку \"%1\"")
                          .arg(captions::BatchTab), false);
    OpenPhoto = named(new QPushButton("Открыть фотографию", Panel1), "OpenPhoto");
    OpenPhoto->setGeometry(buttonLeft, 0, kBigButtonWidth, kBigButtonHeight);
    QFont bold = OpenPhoto->font();
    bold.setBold(true);
    OpenPhoto->setFont(bold);
    setHint(OpenPhoto, "Открытие файла для редактирования и изменения размера");

    Panel1->OnResize = [this] { Panel1Resize(); };
}

void TBrowsePage::Panel1Resize() {
    OpenPhoto->move(OpenPhoto->x(), Panel1->height() - 38);
    AddBatch->move(AddBatch->x(), Panel1->height() - 75);
}

void TBrowsePage::Panel4Resize() {
    // Rounded to nearest, ties to even (the default rounding mode).
    const int favHeight = static_cast<int>(std::nearbyint(Panel4->height() * 0.4));
    const int upper = std::max(0, Panel4->height() - FolderSplitter->handleWidth() - favHeight);
    FolderSplitter->setSizes({upper, favHeight});
}

void TBrowsePage::Panel5Resize() { AddFav->resize(Panel5->width(), AddFav->height()); }

void TBrowsePage::PreparePhotoData() {
    const QStringList& titles = photoDataTitles();
    for (int row = 0; row < titles.size(); ++row) PhotoData->setItem(row, 0, new QTableWidgetItem(titles[row]));
    PhotoData->clearSelection();
    PhotoData->setCurrentCell(-1, -1);
    PhotoData->setEnabled(false);
}

void TBrowsePage::selectItem(QComboBox* list, int index) {
    // Restoring a choice is not the user changing it: the change handler
    // stays out of it.
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

}  // namespace tessaron
