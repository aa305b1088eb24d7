#include "app/MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tessaron {
namespace {

constexpr int kEditTab = 1;
constexpr int kBatchTab = 2;

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& title) {
    QMenu* menu = bar->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QMenu* addSubmenu(QMenu* parent, const char* name, const QString& title) {
    QMenu* menu = parent->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QAction* addEntry(QMenu* menu, const char* name, const QString& text, bool enabled = true) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    return action;
}

}  // namespace

TMainMenu::TMainMenu(QMenuBar* bar) : QObject(bar) {
    setObjectName("MainMenu1");

    MFile = addMenu(bar, "MFile", "Файл");
    MOpen = addEntry(MFile, "MOpen", "Открыть");
    MSave = addEntry(MFile, "MSave", "Сохранить как...", false);
    MSaveIn = addSubmenu(MFile, "MSaveIn", "Сохранить в формате");
    MSaveIn->menuAction()->setEnabled(false);
    BMP1 = addEntry(MSaveIn, "BMP1", "BMP");
    JPEG1 = addEntry(MSaveIn, "JPEG1", "JPEG");
    GIF1 = addEntry(MSaveIn, "GIF1", "GIF");
    PNG1 = addEntry(MSaveIn, "PNG1", "PNG");
    TIFF1 = addEntry(MSaveIn, "TIFF1", "TIFF");
    MOpt = addEntry(MFile, "MOpt", "Оптимизация JPEG", false);
    MFile->addSeparator();
    MBOpen = addEntry(MFile, "MBOpen", "Открыть пакет фото");
    MBSave = addEntry(MFile, "MBSave", "Сохранить пакет");
    MFile->addSeparator();
    MYandex = addEntry(MFile, "MYandex", "Загрузить на Яндекс.Фотки", false);
    MPreview = addEntry(MFile, "MPreview", "Предварительный просмотр", false);
    MPrint = addEntry(MFile, "MPrint", "Печать фото", false);
    MFile->addSeparator();
    MExit = addEntry(MFile, "MExit", "Выход");

    MEdit = addMenu(bar, "MEdit", "Правка");
    MEdit->menuAction()->setEnabled(false);
    MUndo = addEntry(MEdit, "MUndo", "Отменить");
    MRedo = addEntry(MEdit, "MRedo", "Повторить");
    MEdit->addSeparator();
    N7 = addEntry(MEdit, "N7", "Копировать");

    MView = addMenu(bar, "MView", "Вид");
    N1001 = addEntry(MView, "N1001", "Масштаб 100%");
    MFit = addEntry(MView, "MFit", "Уместить в окне");
    MView->addSeparator();
    MShowBrowse = addEntry(MView, "MShowBrowse", "Открыть");
    MShowEdit = addEntry(MView, "MShowEdit", "Редактировать");
    MShowBatch = addEntry(MView, "MShowBatch", "Пакетная обработка");

    MHelp = addMenu(bar, "MHelp", "Справка");
    N25 = addEntry(MHelp, "N25", "Справочная система");
    MSite = addEntry(MHelp, "MSite", "Сайт программы");
    MExamples = addEntry(MHelp, "MExamples", "Примеры обработки");
    MOther = addSubmenu(MHelp, "MOther", "Другие продукты");
    MCollage = addEntry(MOther, "MCollage", "Создание коллажей");
    MCards = addEntry(MOther, "MCards", "Создание открыток");
    MFrames = addEntry(MOther, "MFrames", "Оформление фотографий");
    MHelp->addSeparator();
    N29 = addEntry(MHelp, "N29", "О программе");
}

void TMainMenu::followTab(int tab) {
    const bool editing = tab == kEditTab;
    for (QAction* entry : {MSave, MSaveIn->menuAction(), MOpt, MYandex, MPreview, MPrint, MEdit->menuAction()})
        entry->setEnabled(editing);
    MBSave->setEnabled(tab == kBatchTab);
}

}  // namespace tessaron
