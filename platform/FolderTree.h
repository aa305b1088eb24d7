#pragma once
// The folder tree: every folder of the file system from "/" down, without
// files and without hidden folders (names starting with a dot). Its value is
// the selected folder's path. It does not follow changes on disk while it
// runs; folders are listed when a branch is first opened.
#include <QString>
#include <QElapsedTimer>
#include <QTreeView>

class QFileSystemModel;
class QMenu;

namespace tessaron {

class TFolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent = nullptr);

    // The selected folder's path; empty when nothing is selected.
    QString Path() const;
    // Opens the branches down to the folder and selects it. A folder that
    // does not exist (or is hidden from the tree) throws
    // "Error setting path: "<path>"" and leaves the tree as it was.
    void setPath(const QString& path);

    // The pop-up menu (borrowed); a right click selects the folder under
    // the mouse before it opens.
    void setPopupMenu(QMenu* menu) { popup_ = menu; }
    QMenu* popupMenu() const { return popup_; }

signals:
    // The selection moved to another folder (by the user or by setPath).
    void pathChanged(const QString& path);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QFileSystemModel* model_;
    // The folder last set by path, kept in view while its ancestors load.
    QString shownPath_;
    QElapsedTimer shownSince_;
    QMenu* popup_ = nullptr;
};

}  // namespace tessaron
