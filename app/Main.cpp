#include "app/Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>

#include "app/AboutIt.h"
#include "app/Captions.h"
#include "app/Configuration.h"
#include "app/MainMenu.h"
#include "app/TabIcons.h"
#include "app/WebLinks.h"
#include "batch/BatchPage.h"
#include "batch/Bats.h"
#include "batch/OpenFolder.h"
#include "browser/BrowsePage.h"
#include "editor/EditPage.h"
#include "editor/JPOP.h"
#include "platform/ApplicationEvents.h"
#include "platform/ErrorReport.h"
#include "platform/FileErrors.h"
#include "platform/ModalRunner.h"
#include "platform/MultiImageView.h"
#include "platform/PageControl.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/StatusLine.h"
#include "platform/WindowPlacement.h"

namespace tessaron {
namespace {

constexpr int kTabHeight = 35;
constexpr int kGuidancePanelWidth = 500;
constexpr int kDesignLeft = 71;
constexpr int kDesignTop = 20;
constexpr int kDesignWidth = 918;
constexpr int kDesignHeight = 695;

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle(captions::ProgramName);
    // Small enough for any placement the configuration may hold; the panes
    // then simply get less room.
    setMinimumSize(200, 150);
    setOuterBounds(*this, QRect(kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight));

    Menu = new TMainMenu(menuBar());
    buildTabs();
    STM = new TStatusLine("STM", {kGuidancePanelWidth}, this);
    setStatusBar(STM);
    STM->setPanelText(0, captions::TabGuidance[BrowseTab]);

    ApplicationEvents1 = new TApplicationEvents(this);
    ApplicationEvents1->setObjectName("ApplicationEvents1");
    ApplicationEvents1->OnHint = [this](const QString& hint) { ApplicationEvents1Hint(hint); };

    connectMenu();
    connect(MTabs, &QTabWidget::currentChanged, this, guarded([this](int) { MTabsChange(); }));

    guarded([this] { FormCreate(); })();
}

TForm1::~TForm1() = default;

void TForm1::buildTabs() {
    MTabs = new TPageControl("MTabs", kTabHeight, this);
    MTabs->setIconSize(QSize(24, 24));
    QFont tabFont = MTabs->tabBar()->font();
    tabFont.setPixelSize(13);
    MTabs->tabBar()->setFont(tabFont);
    BrowsePage = new TBrowsePage;
    EditPage = new TEditPage;
    BatchPage = new TBatchPage;
    BrowsePage->setPhotoRecord(EditPage->PicIO.get());
    MTabs->addTab(BrowsePage, browseTabIcon(), captions::BrowseTab);
    MTabs->addTab(EditPage, editTabIcon(), captions::EditTab);
    MTabs->addTab(BatchPage, batchTabIcon(), captions::BatchTab);
    MTabs->setCurrentIndex(BrowseTab);
    setCentralWidget(MTabs);
}

void TForm1::connectMenu() {
    auto on = [this](QAction* entry, auto handler) {
        connect(entry, &QAction::triggered, this, guarded([handler](bool) { handler(); }));
    };
    on(Menu->MExit, [this] { close(); });
    on(Menu->MShowBrowse, [this] { showTab(BrowseTab); });
    on(Menu->MShowEdit, [this] { showTab(EditTab); });
    on(Menu->MShowBatch, [this] { showTab(BatchTab); });
    on(Menu->N25, [this] { N25Click(); });
    on(Menu->MSite, [] { shell().open(links::ProductPage); });
    on(Menu->MExamples, [] { shell().open(links::ProcessingExamples); });
    on(Menu->MCollage, [] { shell().open(links::CollageMaker); });
    on(Menu->MCards, [] { shell().open(links::PostcardMaker); });
    on(Menu->MFrames, [] { shell().open(links::PhotoFramer); });
    on(Menu->N29, [this] { N29Click(); });
}

void TForm1::attachDialogs(TOpenDir* openDir, TBatList* batList, TVisualJPEG* visualJpeg, TAbata* abata) {
    OpenDir = openDir;
    BatList = batList;
    VisualJPEG = visualJpeg;
    Abata = abata;
}

void TForm1::FormCreate() {
    QCoreApplication::setApplicationName(captions::ProgramName);
    ProgramDir = programFolder();
    EditPage->setEditPanelHeight(TEditPage::kPanelClosed);
    TBrowsePage::selectItem(BrowsePage->Styler, 0);
    TBrowsePage::selectItem(BrowsePage->Sizer, 1);
    BrowsePage->Panel1Resize();
    readConfiguration(*this);
    placedOuterSize_ = outerBounds(*this).size();
}

void TForm1::FormShow() { BrowsePage->loadFavorites(ProgramDir + "Favorites.lst"); }

void TForm1::FormActivate() {
    // Later activations (coming back from a dialog, say) must not undo what
    // the user chose since.
    if (prepared_) return;
    prepared_ = true;
    keepOuterSize();
    // Without its frame picture the look "Современный" draws bare
    // thumbnails; the tabs are still made ready.
    BrowsePage->PrepareThumbGrid();
    try {
        loadFramePicture();
    } catch (const std::exception& error) {
        reportException(error);
    }
    BrowsePage->ThumbGrid->SetBeforeImageDraw(nullptr);
    EditPage->PrepareLists();
    BatchPage->PrepareLists();
    BrowsePage->PreparePhotoData();
    BrowsePage->ApplyThumbnailOptions();
}

void TForm1::keepOuterSize() {
    // Some window managers tell the frame's size only once the window is on
    // screen; the size placed at creation is the outer one, so the client
    // area gives way to the frame now.
    if (windowState() != Qt::WindowNoState || placedOuterSize_.isEmpty()) return;
    if (outerBounds(*this).size() != placedOuterSize_) {
        setOuterWidth(*this, placedOuterSize_.width());
        setOuterHeight(*this, placedOuterSize_.height());
    }
}

void TForm1::loadFramePicture() {
    const QString path = programFolder() + "thumb.dat";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw cannotOpenFile(path, file.errorString());
    const TThumbFrames frames = DecodeThumbFrames(file.readAll());
    ThumbFrame = frames.normal;
    ThumbFrameSelected = frames.selected;
    BrowsePage->SetThumbFrames(frames);
}

void TForm1::FormClose() {
    // A favourites list that can't be written stops the closing steps here,
    // so the configuration is not written either.
    BrowsePage->saveFavorites(ProgramDir + "Favorites.lst");
    writeConfiguration(*this);
}

void TForm1::MTabsChange() {
    const int tab = MTabs->currentIndex();
    if (tab >= 0 && tab < static_cast<int>(std::size(captions::TabGuidance)))
        STM->setPanelText(0, captions::TabGuidance[tab]);
    Menu->followTab(tab);
}

void TForm1::showTab(int tab) {
    if (MTabs->currentIndex() == tab) MTabsChange();
    else MTabs->setCurrentIndex(tab);
}

void TForm1::ApplicationEvents1Hint(const QString& hint) { STM->setPanelText(1, hint); }

void TForm1::N25Click() { shell().open(ProgramDir + "Help.html"); }

void TForm1::N29Click() {
    if (Abata) modalRunner().runModal(*Abata);
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) guarded([this] { FormActivate(); })();
    return QMainWindow::event(event);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    guarded([this] { FormShow(); })();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A configuration that can't be written is reported, and the window
    // closes all the same: keeping it open would leave no way out.
    guarded([this] { FormClose(); })();
    event->accept();
}

}  // namespace tessaron
