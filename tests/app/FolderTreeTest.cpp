// The folder tree of the browse tab: folders only and no hidden ones, its
// path value, setting a path, and the right click that selects before the
// pop-up menu opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileSystemModel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/Main.h"
#include "browser/BrowsePage.h"
#include "platform/FolderTree.h"

namespace {

class FolderTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folders.path() / "sub" / "deeper");
        std::filesystem::create_directories(folders.path() / ".hidden" / "inside");
        apptest::writeFile(folders.file("picture.jpg"), "not a folder");
        form = std::make_unique<tessaron::TForm1>();
        form->show();
    }

    QString folder(const std::string& name = "") const {
        return QString::fromStdString((name.empty() ? folders.path() : folders.path() / name).string());
    }
    tessaron::TFolderTree& tree() const { return *form->BrowsePage->STV; }
    // The folder's rows once the tree has listed it.
    QStringList childrenOf(const QModelIndex& parent) const {
        auto* model = tree().model();
        model->fetchMore(parent);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(parent) > 0; }));
        QStringList names;
        for (int row = 0; row < model->rowCount(parent); ++row) names << model->index(row, 0, parent).data().toString();
        return names;
    }

    apptest::Desktop desktop;
    testsupport::TempDir folders;
    std::unique_ptr<tessaron::TForm1> form;
};

TEST_F(FolderTree, ListsFoldersOnlyAndNoHiddenOnes) {
    tree().setPath(folder());
    EXPECT_EQ(tree().Path(), folder());
    const QModelIndex top = tree().currentIndex();
    tree().expand(top);
    EXPECT_EQ(childrenOf(top), QStringList{"sub"});
    // The root of the tree is the file system's root.
    const QModelIndex root = tree().model()->index(0, 0);
    EXPECT_EQ(static_cast<QFileSystemModel*>(tree().model())->filePath(root), "/");
    EXPECT_FALSE(tree().rootIsDecorated());
    EXPECT_EQ(tree().indentation(), 19);
}

TEST_F(FolderTree, SettingAPathSelectsTheFolderAndOpensItsAncestors) {
    QSignalSpy grid(form->BrowsePage, &tessaron::TBrowsePage::gridRequested);
    tree().collapseAll();
    tree().setPath(folder("sub/deeper"));
    EXPECT_EQ(tree().Path(), folder("sub/deeper"));
    const QModelIndex deeper = tree().currentIndex();
    EXPECT_FALSE(tree().isExpanded(deeper));
    for (QModelIndex up = deeper.parent(); up.isValid(); up = up.parent()) EXPECT_TRUE(tree().isExpanded(up));
    ASSERT_EQ(grid.size(), 1);
    EXPECT_EQ(grid[0].at(0).toString(), folder("sub/deeper"));
}

TEST_F(FolderTree, PathsOutsideTheTreeAreRefused) {
    tree().setPath(folder("sub"));
    const QString cases[] = {folder("missing"), folder("picture.jpg"), folder(".hidden"), folder(".hidden/inside"),
                             QString()};
    for (const QString& path : cases) {
        SCOPED_TRACE(path.toStdString());
        try {
            tree().setPath(path);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(QString::fromStdString(error.what()), "Error setting path: \"" + path + "\"");
        }
        EXPECT_EQ(tree().Path(), folder("sub"));
    }
}

TEST_F(FolderTree, RightClickSelectsBeforeThePopupOpens) {
    tessaron::TBrowsePage& page = *form->BrowsePage;
    tree().setPath(folder());
    const QModelIndex top = tree().currentIndex();
    tree().expand(top);
    ASSERT_EQ(childrenOf(top), QStringList{"sub"});
    const QModelIndex sub = tree().model()->index(0, 0, top);
    tree().scrollTo(sub);
    const QPoint at = tree().visualRect(sub).center();
    QSignalSpy grid(&page, &tessaron::TBrowsePage::gridRequested);

    QContextMenuEvent click(QContextMenuEvent::Mouse, at, tree().viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree().viewport(), &click);
    EXPECT_EQ(tree().Path(), folder("sub"));
    ASSERT_EQ(grid.size(), 1);
    EXPECT_EQ(grid[0].at(0).toString(), folder("sub"));
    EXPECT_TRUE(page.TreePopup->isVisible());
    ASSERT_EQ(page.TreePopup->actions().size(), 1);
    EXPECT_EQ(page.TreePopup->actions()[0]->text(), "Добавить в избранное");
    page.TreePopup->close();

    page.N5->trigger();
    ASSERT_EQ(page.Fav->count(), 1);
    EXPECT_EQ(page.Fav->item(0)->text(), folder("sub"));
}

}  // namespace
