// The favourites: the file format, loading at show and saving at close,
// adding, removing with the pop-up that follows the selection, and a click
// that sets the folder tree and asks for the grid.
#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/Main.h"
#include "browser/BrowsePage.h"
#include "browser/Favorites.h"
#include "platform/FolderTree.h"

using tessaron::TForm1;

namespace {

struct LinesCase {
    const char* name;
    QByteArray text;
    QStringList lines;
};

TEST(FavoritesFile, EveryKindOfLineEndIsRead) {
    const LinesCase cases[] = {
        {"empty file", "", {}},
        {"CR LF", "/a\r\n/b\r\n", {"/a", "/b"}},
        {"LF", "/a\n/b\n", {"/a", "/b"}},
        {"CR", "/a\r/b\r", {"/a", "/b"}},
        {"last line without end", "/a\r\n/b", {"/a", "/b"}},
        {"mixed ends", "/a\n/b\r/c\r\n/d", {"/a", "/b", "/c", "/d"}},
        {"empty lines are items", "\r\n/a\r\n\r\n", {"", "/a", ""}},
        {"CR then CR LF", "/a\r\r\n/b", {"/a", "", "/b"}},
        {"UTF-8 text", "/home/фото\r\n", {"/home/фото"}},
    };
    for (const LinesCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tessaron::favoriteLines(c.text), c.lines);
    }
}

TEST(FavoritesFile, WritesUtf8WithCrLfAfterEveryLine) {
    EXPECT_EQ(tessaron::favoritesText({}), QByteArray());
    EXPECT_EQ(tessaron::favoritesText({"/a", "", "/фото"}), QByteArray("/a\r\n\r\n/фото\r\n"));
    const QStringList list = {"", "/x y", "/x y", "/ü"};
    EXPECT_EQ(tessaron::favoriteLines(tessaron::favoritesText(list)), list);
}

class Favorites : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folders.path() / "a" / "b");
        std::filesystem::create_directories(folders.path() / "c");
    }

    std::unique_ptr<TForm1> startWindow() const {
        auto form = std::make_unique<TForm1>();
        form->show();
        return form;
    }
    std::string favoritesPath() const { return desktop.file("Favorites.lst"); }
    QString folder(const std::string& name) const { return QString::fromStdString((folders.path() / name).string()); }
    static QStringList captions(const TForm1& form) {
        QStringList all;
        for (int row = 0; row < form.BrowsePage->Fav->count(); ++row) all << form.BrowsePage->Fav->item(row)->text();
        return all;
    }
    static void clickItem(QListWidget* list, int row) {
        const QRect at = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at.center());
    }

    apptest::Desktop desktop;
    testsupport::TempDir folders;
};

TEST_F(Favorites, RestartRestoresOrderDuplicatesAndEmptyLines) {
    apptest::writeFile(favoritesPath(), "/first\n\n/second");
    {
        auto form = startWindow();
        EXPECT_EQ(captions(*form), (QStringList{"/first", "", "/second"}));
        tessaron::TBrowsePage& page = *form->BrowsePage;
        page.STV->setPath(folder("c"));
        page.AddFav->click();
        page.N5->trigger();
        EXPECT_EQ(captions(*form), (QStringList{"/first", "", "/second", folder("c"), folder("c")}));
        form->close();
    }
    const std::string c = folder("c").toStdString();
    EXPECT_EQ(apptest::readFile(favoritesPath()), "/first\r\n\r\n/second\r\n" + c + "\r\n" + c + "\r\n");
    auto again = startWindow();
    EXPECT_EQ(captions(*again), (QStringList{"/first", "", "/second", folder("c"), folder("c")}));
    EXPECT_TRUE(desktop.sink.errors.isEmpty()) << desktop.sink.errors.join("\n").toStdString();
}

TEST_F(Favorites, FirstRunStartsEmptyAndCreatesAnEmptyFile) {
    auto form = startWindow();
    EXPECT_EQ(form->BrowsePage->Fav->count(), 0);
    // Nothing selected in the tree: the favourite has an empty caption.
    ASSERT_TRUE(form->BrowsePage->STV->Path().isEmpty());
    form->BrowsePage->N5->trigger();
    EXPECT_EQ(captions(*form), QStringList{""});
    form->BrowsePage->Fav->clear();
    form->close();
    ASSERT_TRUE(std::filesystem::exists(favoritesPath()));
    EXPECT_EQ(apptest::readFile(favoritesPath()), "");
    EXPECT_TRUE(desktop.sink.errors.isEmpty());
}

TEST_F(Favorites, UnreadableOrUnwritableFileIsReported) {
    // A folder in the file's place can neither be read nor replaced.
    std::filesystem::create_directory(favoritesPath());
    auto form = startWindow();
    const QString path = desktop.programDir() + "Favorites.lst";
    ASSERT_EQ(desktop.sink.errors.size(), 1);
    EXPECT_TRUE(desktop.sink.errors[0].startsWith("Cannot open file \"" + path + "\". ")) << desktop.sink.errors[0].toStdString();
    EXPECT_EQ(form->BrowsePage->Fav->count(), 0);

    form->close();
    ASSERT_EQ(desktop.sink.errors.size(), 2);
    EXPECT_TRUE(desktop.sink.errors[1].startsWith("Cannot create file \"" + path + "\". ")) << desktop.sink.errors[1].toStdString();
    // The closing steps stop at the failure: no configuration is written.
    EXPECT_FALSE(std::filesystem::exists(desktop.file("Confyg.ini")));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Favorites, RemovingKeepsTheNextSelectedAndTheLastLeavesNoPopup) {
    apptest::writeFile(favoritesPath(), "/one\r\n/two\r\n/three\r\n");
    auto form = startWindow();
    tessaron::TBrowsePage& page = *form->BrowsePage;
    EXPECT_EQ(page.favPopup(), nullptr);

    page.Fav->setCurrentRow(1);
    ASSERT_EQ(page.favPopup(), page.FavMenu);
    page.N34->trigger();
    EXPECT_EQ(captions(*form), (QStringList{"/one", "/three"}));
    ASSERT_EQ(page.Fav->selectedItems().size(), 1);
    EXPECT_EQ(page.Fav->selectedItems()[0], page.Fav->item(1));
    EXPECT_EQ(page.favPopup(), page.FavMenu);

    // The selected item is now the last one.
    page.N34->trigger();
    EXPECT_EQ(captions(*form), QStringList{"/one"});
    EXPECT_TRUE(page.Fav->selectedItems().isEmpty());
    EXPECT_EQ(page.favPopup(), nullptr);

    page.Fav->setCurrentRow(0);
    page.N34->trigger();
    EXPECT_EQ(page.Fav->count(), 0);
    EXPECT_EQ(page.favPopup(), nullptr);
    form->close();
    EXPECT_EQ(apptest::readFile(favoritesPath()), "");
}

TEST_F(Favorites, ClickSetsTheTreeAndAsksForTheGrid) {
    auto form = startWindow();
    tessaron::TBrowsePage& page = *form->BrowsePage;
    page.STV->setPath(folder("c"));
    page.N5->trigger();
    page.STV->setPath(folder("a/b"));
    page.N5->trigger();
    page.STV->setPath(folder("c"));
    const QModelIndex c = page.STV->currentIndex();
    page.STV->expand(c);
    QSignalSpy grid(&page, &tessaron::TBrowsePage::gridRequested);

    clickItem(page.Fav, 1);
    EXPECT_EQ(page.STV->Path(), folder("a/b"));
    ASSERT_FALSE(grid.isEmpty());
    EXPECT_EQ(grid.last().at(0).toString(), folder("a/b"));
    // Only the way to the folder is open: the branch of "c" was closed.
    const QModelIndex b = page.STV->currentIndex();
    EXPECT_FALSE(page.STV->isExpanded(b));
    for (QModelIndex up = b.parent(); up.isValid(); up = up.parent()) EXPECT_TRUE(page.STV->isExpanded(up));
    EXPECT_FALSE(page.STV->isExpanded(c));

    // The arrow keys move the selection without choosing a folder.
    grid.clear();
    page.Fav->setFocus();
    QTest::keyClick(page.Fav, Qt::Key_Up);
    EXPECT_EQ(page.Fav->currentRow(), 0);
    EXPECT_TRUE(grid.isEmpty());
    EXPECT_EQ(page.STV->Path(), folder("a/b"));

    // A click beside the items clears the grid and leaves the tree alone.
    const QRect last = page.Fav->visualItemRect(page.Fav->item(1));
    QTest::mouseClick(page.Fav->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(last.center().x(), last.bottom() + 20));
    EXPECT_TRUE(page.Fav->selectedItems().isEmpty());
    EXPECT_EQ(page.favPopup(), nullptr);
    ASSERT_EQ(grid.size(), 1);
    EXPECT_EQ(grid.last().at(0).toString(), QString());
    EXPECT_EQ(page.STV->Path(), folder("a/b"));
    EXPECT_TRUE(desktop.sink.errors.isEmpty());
}

TEST_F(Favorites, MissingFolderIsReportedAndTheTreeStaysCollapsed) {
    const QString gone = folder("gone");
    apptest::writeFile(favoritesPath(), gone.toStdString() + "\r\n");
    auto form = startWindow();
    tessaron::TBrowsePage& page = *form->BrowsePage;
    page.STV->setPath(folder("a/b"));
    QSignalSpy grid(&page, &tessaron::TBrowsePage::gridRequested);

    clickItem(page.Fav, 0);
    EXPECT_EQ(desktop.sink.errors, QStringList{"Error setting path: \"" + gone + "\""});
    EXPECT_TRUE(grid.isEmpty());
    const QModelIndex root = page.STV->model()->index(0, 0);
    ASSERT_TRUE(root.isValid());
    EXPECT_FALSE(page.STV->isExpanded(root));
}

}  // namespace
