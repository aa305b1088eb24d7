#include "platform/FolderTree.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>
#include <stdexcept>

namespace tessaron {
namespace {

constexpr int kIndent = 19;

// The model still finds a hidden folder by its path; the tree must not.
bool insideHiddenFolder(const QString& absolutePath) {
    const QStringList names = absolutePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(names.begin(), names.end(), [](const QString& name) { return name.startsWith(QLatin1Char('.')); });
}

}  // namespace

TFolderTree::TFolderTree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
    // Without QDir::Hidden the model leaves out every name that starts with
    // a dot.
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setOption(QFileSystemModel::DontWatchForChanges, true);
    model_->setReadOnly(true);
    model_->setRootPath(QStringLiteral("/"));
    setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
    header()->hide();
    setIndentation(kIndent);
    // "/" is the only top-level node: it needs no line or button of its own.
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    expand(model_->index(QStringLiteral("/")));

    // The selection, not the current index, is the tree's value: a view
    // that gets the focus makes its first row current without choosing it.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection&) { emit pathChanged(Path()); });
    // The model lists and sorts folders in the background, so a folder set
    // by path gets its final row only later: for a short while after the
    // path is set, every load or re-sort of the model scrolls it into view
    // again. Afterwards the user's own scrolling is left alone.
    auto keepInView = [this] {
        if (shownPath_.isEmpty() || !shownSince_.isValid() || shownSince_.elapsed() > 3000) return;
        const QModelIndex index = model_->index(shownPath_);
        if (index.isValid() && index == currentIndex()) scrollTo(index);
    };
    connect(model_, &QFileSystemModel::directoryLoaded, this, keepInView);
    connect(model_, &QAbstractItemModel::layoutChanged, this, keepInView);
    connect(model_, &QAbstractItemModel::rowsInserted, this, keepInView);
}

QString TFolderTree::Path() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? QString() : model_->filePath(selected.first());
}

void TFolderTree::setPath(const QString& path) {
    const QFileInfo folder(path);
    QModelIndex index;
    if (!path.isEmpty() && folder.isDir() && !insideHiddenFolder(folder.absoluteFilePath()))
        index = model_->index(folder.absoluteFilePath());
    if (!index.isValid())
        throw std::runtime_error(QStringLiteral("Error setting path: \"%1\"").arg(path).toStdString());
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent()) expand(ancestor);
    setCurrentIndex(index);
    scrollTo(index);
    shownPath_ = folder.absoluteFilePath();
    shownSince_.start();
}

void TFolderTree::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex under = indexAt(event->pos());
    if (under.isValid()) setCurrentIndex(under);
    if (popup_) popup_->popup(event->globalPos());
    event->accept();
}

}  // namespace tessaron
