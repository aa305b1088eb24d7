#include "browser/Favorites.h"

#include <QFile>
#include <QFileIconProvider>
#include <QListWidget>
#include <QMenu>
#include <QSaveFile>

#include "browser/BrowsePage.h"
#include "platform/FileErrors.h"
#include "platform/FolderTree.h"

namespace tessaron {

QStringList favoriteLines(const QByteArray& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c != '\r' && c != '\n') continue;
        lines << QString::fromUtf8(text.mid(start, at - start));
        if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
        start = at + 1;
    }
    if (start < text.size()) lines << QString::fromUtf8(text.mid(start));
    return lines;
}

QByteArray favoritesText(const QStringList& favorites) {
    QByteArray text;
    for (const QString& line : favorites) text += line.toUtf8() + "\r\n";
    return text;
}

QStringList readFavorites(const QString& path) {
    QFile file(path);
    // The first run has no list yet; that is not worth an error box.
    if (!file.exists()) return {};
    if (!file.open(QIODevice::ReadOnly)) throw cannotOpenFile(path, file.errorString());
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) throw cannotOpenFile(path, file.errorString());
    return favoriteLines(text);
}

void writeFavorites(const QString& path, const QStringList& favorites) {
    // Written aside and renamed over the old list, so a failed write never
    // leaves the user with half a list.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw cannotCreateFile(path, file.errorString());
    file.write(favoritesText(favorites));
    if (!file.commit()) throw cannotCreateFile(path, file.errorString());
}

// The browse page's favourites handlers.

void TBrowsePage::addFavorite(const QString& caption) {
    // Not kept in a static: an icon must not outlive the application object.
    Fav->addItem(new QListWidgetItem(QFileIconProvider().icon(QFileIconProvider::Folder), caption));
}

void TBrowsePage::STVChange() { emit gridRequested(STV->Path()); }

void TBrowsePage::N5Click() { addFavorite(STV->Path()); }

void TBrowsePage::FavClick() {
    QListWidgetItem* selected = Fav->count() > 0 ? Fav->currentItem() : nullptr;
    if (selected && !selected->isSelected()) selected = nullptr;
    if (selected) {
        // A folder that is gone leaves the tree closed and stops here.
        STV->collapseAll();
        STV->setPath(selected->text());
    }
    // Asked again even when the tree's selection change already did: the
    // favourite may name the folder that was selected before.
    emit gridRequested(selected ? selected->text() : QString());
}

void TBrowsePage::FavSelectItem() {
    favPopup_ = Fav->selectedItems().isEmpty() ? nullptr : FavMenu;
}

void TBrowsePage::N34Click() {
    const int i = Fav->currentRow();
    const int n = Fav->count();
    if (i < 0 || !Fav->item(i)->isSelected()) return;
    if (i < n - 1) {
        for (int k = i; k <= n - 2; ++k) Fav->item(k)->setText(Fav->item(k + 1)->text());
        delete Fav->takeItem(n - 1);
        Fav->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
    } else {
        delete Fav->takeItem(i);
        // The list would otherwise move the selection to the item before.
        Fav->setCurrentRow(-1, QItemSelectionModel::Clear);
        Fav->clearSelection();
    }
}

void TBrowsePage::loadFavorites(const QString& path) {
    for (const QString& line : readFavorites(path)) addFavorite(line);
}

void TBrowsePage::saveFavorites(const QString& path) const {
    QStringList captions;
    for (int row = 0; row < Fav->count(); ++row) captions << Fav->item(row)->text();
    writeFavorites(path, captions);
}

}  // namespace tessaron
