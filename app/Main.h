#pragma once
// The main window: the three tabs, the main menu and the status line. Each
// tab's controls and handlers live in its page; the window keeps what the
// pages share and calls across them.
#include <QImage>
#include <QMainWindow>
#include <QString>

namespace tessaron {

class TAbata;
class TApplicationEvents;
class TBatList;
class TBatchPage;
class TBrowsePage;
class TEditPage;
class TMainMenu;
class TOpenDir;
class TPageControl;
class TStatusLine;
class TVisualJPEG;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    enum Tab { BrowseTab = 0, EditTab = 1, BatchTab = 2 };

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The program folder, fixed when the window is created.
    QString ProgramDir;

    TPageControl* MTabs;
    TBrowsePage* BrowsePage;
    TEditPage* EditPage;
    TBatchPage* BatchPage;
    TStatusLine* STM;
    TMainMenu* Menu;
    TApplicationEvents* ApplicationEvents1;

    // The dialogs, created after the main window (and owned by it).
    TOpenDir* OpenDir = nullptr;
    TBatList* BatList = nullptr;
    TVisualJPEG* VisualJPEG = nullptr;
    TAbata* Abata = nullptr;
    void attachDialogs(TOpenDir* openDir, TBatList* batList, TVisualJPEG* visualJpeg, TAbata* abata);

    // The frame pictures of the look "Современный", read from thumb.dat at
    // the first activation (null when it could not be read as a picture).
    QImage ThumbFrame;
    QImage ThumbFrameSelected;

    // Life cycle of the window.
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    bool prepared() const { return prepared_; }

    // Runs after every switch of the active tab.
    void MTabsChange();
    // Makes a tab active; choosing the tab that is already active still
    // counts as a switch.
    void showTab(int tab);
    void ApplicationEvents1Hint(const QString& hint);

    void N25Click();  // help page
    void N29Click();  // about box

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTabs();
    void connectMenu();
    void loadFramePicture();
    void keepOuterSize();

    bool prepared_ = false;
    bool shown_ = false;
    QSize placedOuterSize_;
};

}  // namespace tessaron
