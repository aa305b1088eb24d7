#pragma once
// The favourites file, Favorites.lst in the program folder: one folder path
// per line in list order, UTF-8, every line (the last one too) ending with
// CR LF. Reading accepts CR LF, CR or LF, and a last line without an end.
// The browse page's favourites handlers are in Favorites.cpp as well.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessaron {

// The lines of a favourites file; empty lines are items too.
QStringList favoriteLines(const QByteArray& text);
// The file text of a list of favourites.
QByteArray favoritesText(const QStringList& favorites);

// Reads the file. A file that isn't there yet is an empty list; one that is
// there but can't be read throws "Cannot open file "<path>". <reason>".
QStringList readFavorites(const QString& path);
// Replaces the file; throws "Cannot create file "<path>". <reason>".
void writeFavorites(const QString& path, const QStringList& favorites);

}  // namespace tessaron
