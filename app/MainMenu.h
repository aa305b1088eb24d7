#pragma once
// The main menu: every entry of "Файл", "Правка", "Вид" and "Справка". The
// entries whose commands belong to the pages are connected by those pages;
// the menu itself only knows which entries follow the active tab.
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace tessaron {

class TMainMenu : public QObject {
    Q_OBJECT
public:
    explicit TMainMenu(QMenuBar* bar);

    // "Файл"
    QMenu* MFile;
    QAction* MOpen;
    QAction* MSave;      // "Сохранить как..."
    QMenu* MSaveIn;      // "Сохранить в формате"
    QAction* BMP1;
    QAction* JPEG1;
    QAction* GIF1;
    QAction* PNG1;
    QAction* TIFF1;
    QAction* MOpt;
    QAction* MBOpen;
    QAction* MBSave;
    QAction* MYandex;
    QAction* MPreview;
    QAction* MPrint;
    QAction* MExit;
    // "Правка"
    QMenu* MEdit;
    QAction* MUndo;
    QAction* MRedo;
    QAction* N7;         // "Копировать"
    // "Вид"
    QMenu* MView;
    QAction* N1001;      // "Масштаб 100%"
    QAction* MFit;
    QAction* MShowBrowse;
    QAction* MShowEdit;
    QAction* MShowBatch;
    // "Справка"
    QMenu* MHelp;
    QAction* N25;        // "Справочная система"
    QAction* MSite;
    QAction* MExamples;
    QMenu* MOther;       // "Другие продукты"
    QAction* MCollage;
    QAction* MCards;
    QAction* MFrames;
    QAction* N29;        // "О программе"

    // The editor-only entries are enabled on the edit tab, saving a batch on
    // the batch tab.
    void followTab(int tab);
};

}  // namespace tessaron
