// The main window's frame: tabs and the menu states they set, the status
// line and its hints, the browse tab's resize rules, the first activation,
// the help, web and about commands, and the program's windows.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QLabel>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTableWidget>
#include <QCheckBox>
#include <QTest>
#include <cmath>
#include <memory>

#include "AppTestSupport.h"
#include "app/AboutIt.h"
#include "app/Main.h"
#include "app/MainMenu.h"
#include "app/Program.h"
#include "app/WebLinks.h"
#include "batch/BatchPage.h"
#include "browser/BrowsePage.h"
#include "editor/EditPage.h"
#include "platform/ApplicationEvents.h"
#include "platform/MultiImageView.h"
#include "platform/PageControl.h"
#include "platform/Panel.h"
#include "platform/StatusLine.h"

using tessaron::TForm1;

namespace {

const QString kGuidance[] = {
    "Вы можете выделить одно фото для открытия или несколько - для добавления в пакет",
    "Масштаб изображения регулируется колесом прокрутки",
    "Добавляйте отдельные файлы и целые папки в список обработки",
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::writeFile(desktop.file("thumb.dat"), "frame picture bytes");
        form = std::make_unique<TForm1>();
        form->show();
    }

    // Every entry whose enabled state follows the tab, with the state it has
    // on each tab: editor entries on tab 1, saving a batch on tab 2.
    std::vector<std::pair<QAction*, int>> followers() const {
        const tessaron::TMainMenu& m = *form->Menu;
        return {{m.MSave, 1},   {m.MSaveIn->menuAction(), 1}, {m.MOpt, 1},   {m.MYandex, 1},
                {m.MPreview, 1}, {m.MPrint, 1},               {m.MEdit->menuAction(), 1}, {m.MBSave, 2}};
    }
    void expectStateOfTab(int tab) const {
        EXPECT_EQ(form->MTabs->currentIndex(), tab);
        EXPECT_EQ(form->STM->panelText(0), kGuidance[tab]);
        for (const auto& [entry, enabledOn] : followers()) {
            SCOPED_TRACE(entry->objectName().toStdString());
            EXPECT_EQ(entry->isEnabled(), enabledOn == tab);
        }
    }
    void clickTab(int tab) const {
        QTabBar* bar = form->MTabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab).center());
    }
    // Moves the mouse onto a control and lets the application go idle.
    QString hintAfterMovingTo(QWidget* control) const {
        QTest::mouseMove(control, control->rect().center());
        form->ApplicationEvents1->idle();
        return form->STM->panelText(1);
    }

    apptest::Desktop desktop;
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindow, TabsHaveTheirCaptionsIconsAndTheBrowseTabIsActive) {
    const QStringList captions = {"Открыть", "Редактировать", "Пакетная обработка "};
    ASSERT_EQ(form->MTabs->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form->MTabs->tabText(i), captions[i]);
        EXPECT_FALSE(form->MTabs->tabIcon(i).isNull());
    }
    EXPECT_EQ(form->MTabs->tabBar()->tabRect(0).height(), 35);
    EXPECT_EQ(form->MTabs->iconSize(), QSize(24, 24));
    EXPECT_EQ(form->MTabs->currentIndex(), 0);
    EXPECT_EQ(form->windowTitle(), "Tessaron");
    EXPECT_EQ(QCoreApplication::applicationName(), "Tessaron");
    EXPECT_EQ(form->STM->panelCount(), 2);
    EXPECT_EQ(form->STM->panel(0)->width(), 500);
    EXPECT_EQ(form->STM->panelText(0), kGuidance[0]);
}

TEST_F(MainWindow, MenuStartsWithTheDesignStates) {
    const tessaron::TMainMenu& m = *form->Menu;
    for (QAction* enabled : {m.MOpen, m.MBOpen, m.MBSave, m.MExit, m.N1001, m.MFit, m.MShowBrowse, m.MShowEdit,
                             m.MShowBatch, m.N25, m.MSite, m.MExamples, m.MOther->menuAction(), m.N29}) {
        SCOPED_TRACE(enabled->objectName().toStdString());
        EXPECT_TRUE(enabled->isEnabled());
    }
    for (QAction* disabled : {m.MSave, m.MSaveIn->menuAction(), m.MOpt, m.MYandex, m.MPreview, m.MPrint,
                              m.MEdit->menuAction()}) {
        SCOPED_TRACE(disabled->objectName().toStdString());
        EXPECT_FALSE(disabled->isEnabled());
    }
}

TEST_F(MainWindow, MenuHasEveryEntryInOrderWithoutShortcuts) {
    auto texts = [](const QMenu* menu) {
        QStringList out;
        for (const QAction* a : menu->actions()) out << (a->isSeparator() ? QString("-") : a->text());
        return out;
    };
    const tessaron::TMainMenu& m = *form->Menu;
    EXPECT_EQ(texts(m.MFile), (QStringList{"Открыть", "Сохранить как...", "Сохранить в формате", "Оптимизация JPEG",
                                           "-", "Открыть пакет фото", "Сохранить пакет", "-",
                                           "Загрузить на Яндекс.Фотки", "Предварительный просмотр", "Печать фото",
                                           "-", "Выход"}));
    EXPECT_EQ(texts(m.MSaveIn), (QStringList{"BMP", "JPEG", "GIF", "PNG", "TIFF"}));
    EXPECT_EQ(texts(m.MEdit), (QStringList{"Отменить", "Повторить", "-", "Копировать"}));
    EXPECT_EQ(texts(m.MView), (QStringList{"Масштаб 100%", "Уместить в окне", "-", "Открыть", "Редактировать",
                                           "Пакетная обработка"}));
    EXPECT_EQ(texts(m.MHelp), (QStringList{"Справочная система", "Сайт программы", "Примеры обработки",
                                           "Другие продукты", "-", "О программе"}));
    EXPECT_EQ(texts(m.MOther), (QStringList{"Создание коллажей", "Создание открыток", "Оформление фотографий"}));
    QStringList titles;
    for (const QAction* a : form->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"Файл", "Правка", "Вид", "Справка"}));
    for (const QAction* a : form->findChildren<QAction*>()) {
        SCOPED_TRACE(a->text().toStdString());
        EXPECT_TRUE(a->shortcut().isEmpty());
        EXPECT_FALSE(a->text().contains('&'));
    }
}

TEST_F(MainWindow, EveryKindOfTabSwitchSetsTheSameStates) {
    struct Step {
        const char* how;
        int tab;
    };
    const Step steps[] = {{"view menu", 1}, {"click", 2},        {"view menu", 0}, {"other page", 2},
                          {"click", 0},     {"other page", 1},   {"click", 1},     {"view menu", 2}};
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.how) + " to tab " + std::to_string(step.tab));
        const std::string how = step.how;
        if (how == "click") clickTab(step.tab);
        else if (how == "view menu")
            (step.tab == 0 ? form->Menu->MShowBrowse : step.tab == 1 ? form->Menu->MShowEdit : form->Menu->MShowBatch)
                ->trigger();
        else form->MTabs->setCurrentIndex(step.tab);
        expectStateOfTab(step.tab);
    }
}

TEST_F(MainWindow, ChoosingTheActiveTabFromTheViewMenuStillCountsAsASwitch) {
    // At start "Сохранить пакет" is enabled on the browse tab; the first
    // switch brings it in line.
    ASSERT_TRUE(form->Menu->MBSave->isEnabled());
    form->Menu->MShowBrowse->trigger();
    expectStateOfTab(0);
}

TEST_F(MainWindow, HintOfTheControlOrItsNearestEnclosingOneReachesTheStatusLine) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    tessaron::TBrowsePage& page = *form->BrowsePage;
    EXPECT_EQ(hintAfterMovingTo(page.OpenPhoto), "Открытие файла для редактирования и изменения размера");
    EXPECT_EQ(hintAfterMovingTo(page.ThumbGrid), "");
    // A control without pop-up hints still has its status-line hint.
    EXPECT_EQ(page.AddBatch->toolTip(), "");
    EXPECT_EQ(hintAfterMovingTo(page.AddBatch),
              "Добавление файлов в список для пакетной обработки - см. вкладку \"Пакетная обработка \"");
    // A control without a hint inside one that has one shows the enclosing one.
    tessaron::setHint(page.Panel1, "right pane");
    auto* label = page.OutputBox;
    EXPECT_EQ(hintAfterMovingTo(label), "right pane");
    EXPECT_EQ(hintAfterMovingTo(page.OpenPhoto), "Открытие файла для редактирования и изменения размера");
    // The pane's own hint once the mouse is back over it, nothing outside.
    EXPECT_EQ(hintAfterMovingTo(page.Panel1), "right pane");
    EXPECT_EQ(hintAfterMovingTo(page.Panel2), "");
    EXPECT_EQ(form->STM->panelText(0), kGuidance[0]);
}

TEST(HintOf, WalksUpToTheNearestHint) {
    QWidget outer;
    auto* middle = new QWidget(&outer);
    auto* inner = new QWidget(middle);
    EXPECT_EQ(tessaron::hintOf(inner), "");
    tessaron::setHint(&outer, "outer", false);
    EXPECT_EQ(tessaron::hintOf(inner), "outer");
    tessaron::setHint(middle, "middle");
    EXPECT_EQ(tessaron::hintOf(inner), "middle");
    EXPECT_EQ(middle->toolTip(), "middle");
    EXPECT_EQ(outer.toolTip(), "");
}

TEST_F(MainWindow, RightPaneButtonsKeepTheirDistanceFromTheBottom) {
    tessaron::TBrowsePage& page = *form->BrowsePage;
    for (int height : {600, 200, 75, 74, 38, 20, 0}) {
        SCOPED_TRACE(height);
        page.Panel1->resize(page.Panel1->width(), height);
        EXPECT_EQ(page.OpenPhoto->y(), height - 38);
        EXPECT_EQ(page.AddBatch->y(), height - 75);
        EXPECT_EQ(page.OpenPhoto->size(), QSize(233, 33));
        EXPECT_EQ(page.AddBatch->size(), QSize(233, 33));
    }
    // With the window itself, through its layout.
    form->resize(form->width(), form->minimumHeight());
    EXPECT_LT(page.Panel1->height(), 75);
    EXPECT_EQ(page.AddBatch->y(), page.Panel1->height() - 75);
    EXPECT_LT(page.AddBatch->y(), 0);
}

TEST_F(MainWindow, FavouritesTakeTwoFifthsOfTheFolderPane) {
    tessaron::TBrowsePage& page = *form->BrowsePage;
    EXPECT_EQ(page.Panel4->width(), 190);
    for (int height : {600, 501, 333, 250, 120}) {
        SCOPED_TRACE(height);
        form->resize(form->width(), height + (form->height() - page.Panel4->height()));
        ASSERT_EQ(page.Panel4->height(), height);
        EXPECT_EQ(page.Fav->height(), static_cast<int>(std::nearbyint(height * 0.4)));
    }
}

TEST_F(MainWindow, AddFavouriteButtonSpansItsPanel) {
    tessaron::TBrowsePage& page = *form->BrowsePage;
    EXPECT_EQ(page.Panel5->height(), 33);
    EXPECT_EQ(page.AddFav->width(), page.Panel5->width());
    page.PaneSplitter->setSizes({260, 400});
    EXPECT_EQ(page.Panel5->width(), 260);
    EXPECT_EQ(page.AddFav->width(), 260);
}

TEST_F(MainWindow, FirstActivationPreparesTheTabsOnce) {
    tessaron::TBrowsePage& page = *form->BrowsePage;
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(form->prepared());
    EXPECT_TRUE(form->ThumbFrame.isNull());  // not a PNG picture: no frame
    EXPECT_EQ(form->EditPage->Mera->currentText(), "Точки - pixels");
    EXPECT_EQ(form->EditPage->Props->currentText(), "Свободные");
    EXPECT_EQ(form->EditPage->FilterKind->currentText(), "Резкость");
    EXPECT_EQ(form->BatchPage->BatchFilter->currentIndex(), 4);
    EXPECT_EQ(form->BatchPage->BatchFormat->currentText(), "JPEG");
    const QStringList titles = {"Название", "Размер", "Дата", "Камера", "Модель",
                                "Фок. расст.", "Экспозиция", "Диафрагма", "ISO", "Режим"};
    ASSERT_EQ(page.PhotoData->rowCount(), 10);
    for (int row = 0; row < 10; ++row) EXPECT_EQ(page.PhotoData->item(row, 0)->text(), titles[row]);
    EXPECT_FALSE(page.PhotoData->isEnabled());
    EXPECT_TRUE(page.PhotoData->selectedItems().isEmpty());
    EXPECT_TRUE(desktop.sink.errors.isEmpty());

    // A modal dialog and the activation that follows it change nothing.
    page.Styler->setCurrentIndex(2);
    page.Sizer->setCurrentIndex(0);
    form->BatchPage->BatchFormat->setCurrentIndex(3);
    form->EditPage->FilterKind->setCurrentIndex(7);
    form->BatchPage->BatchFilter->setCurrentIndex(1);
    form->attachDialogs(nullptr, nullptr, nullptr, new tessaron::TAbata(form.get()));
    form->Menu->N29->trigger();
    EXPECT_EQ(desktop.runner.shown, QStringList{"Abata"});
    form->FormActivate();
    EXPECT_EQ(page.Styler->currentIndex(), 2);
    EXPECT_EQ(page.Sizer->currentIndex(), 0);
    EXPECT_EQ(form->BatchPage->BatchFormat->currentIndex(), 3);
    EXPECT_EQ(form->EditPage->FilterKind->currentIndex(), 7);
    EXPECT_EQ(form->BatchPage->BatchFilter->currentIndex(), 1);
}

TEST_F(MainWindow, MissingFramePictureIsReportedAndTheRestIsStillPrepared) {
    std::filesystem::remove(desktop.file("thumb.dat"));
    form->FormActivate();
    ASSERT_EQ(desktop.sink.errors.size(), 1);
    const QString path = desktop.programDir() + "thumb.dat";
    EXPECT_EQ(desktop.sink.errors[0], "Cannot open file \"" + path + "\". No such file or directory");
    EXPECT_TRUE(form->ThumbFrame.isNull());
    EXPECT_EQ(form->BatchPage->BatchFormat->currentIndex(), 1);
    EXPECT_EQ(form->BrowsePage->PhotoData->item(0, 0)->text(), "Название");
}

TEST_F(MainWindow, ModernLookDisablesTheCaptionSwitchAndKeepsItsMark) {
    form->FormActivate();
    tessaron::TBrowsePage& page = *form->BrowsePage;
    EXPECT_TRUE(page.ShowTexta->isEnabled());
    page.ShowTexta->click();
    EXPECT_FALSE(page.ShowTexta->isChecked());
    page.ShowTexta->click();
    page.Styler->setCurrentIndex(2);
    EXPECT_FALSE(page.ShowTexta->isEnabled());
    EXPECT_TRUE(page.ShowTexta->isChecked());
    page.Styler->setCurrentIndex(0);
    EXPECT_TRUE(page.ShowTexta->isEnabled());
}

TEST_F(MainWindow, HelpAndWebCommandsGoToTheDesktopsHandler) {
    const tessaron::TMainMenu& m = *form->Menu;
    struct Case {
        QAction* entry;
        QString target;
    };
    const Case cases[] = {
        {m.N25, desktop.programDir() + "Help.html"},
        {m.MSite, tessaron::links::ProductPage},
        {m.MExamples, tessaron::links::ProcessingExamples},
        {m.MCollage, tessaron::links::CollageMaker},
        {m.MCards, tessaron::links::PostcardMaker},
        {m.MFrames, tessaron::links::PhotoFramer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry->text().toStdString());
        desktop.shell.opened.clear();
        c.entry->trigger();
        EXPECT_EQ(desktop.shell.opened, QStringList{c.target});
    }
    // The web pages are distinct and real addresses.
    QStringList pages;
    for (const Case& c : cases) pages << c.target;
    pages.removeDuplicates();
    EXPECT_EQ(pages.size(), 6);
}

TEST_F(MainWindow, ExitClosesTheWindowAndWritesTheConfiguration) {
    form->Menu->MExit->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(std::filesystem::exists(desktop.file("Confyg.ini")));
}

TEST(Program, CreatesTheFiveWindowsInOrderAndShowsTheAboutBox) {
    apptest::Desktop desktop;
    tessaron::TProgram program;
    EXPECT_EQ(program.creationOrder(), (QStringList{"Form1", "OpenDir", "BatList", "VisualJPEG", "Abata"}));
    TForm1& form = program.mainWindow();
    ASSERT_TRUE(form.Abata && form.OpenDir && form.BatList && form.VisualJPEG);
    EXPECT_EQ(form.Abata->parentWidget(), &form);

    desktop.runner.onShow = [&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "О программе");
        EXPECT_EQ(dialog.size(), QSize(345, 167));
        EXPECT_TRUE(dialog.isModal());
        auto* about = static_cast<tessaron::TAbata*>(&dialog);
        EXPECT_EQ(about->Version->text(), "Версия " TESSARON_VERSION);
        EXPECT_TRUE(about->MailLink->text().contains(tessaron::links::SupportMail));
        emit about->MailLink->linkActivated(QStringLiteral("mailto:") + tessaron::links::SupportMail);
    };
    form.Menu->N29->trigger();
    EXPECT_EQ(desktop.runner.shown, QStringList{"Abata"});
    EXPECT_EQ(desktop.shell.opened, QStringList{QStringLiteral("mailto:") + tessaron::links::SupportMail});
}

}  // namespace
