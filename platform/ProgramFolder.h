#pragma once
// The program folder: the folder of the running executable, with a trailing
// "/". The program's own files (configuration, favourites, frame picture,
// help page, saved batches) live there, whatever the working folder is.
#include <QString>

namespace tessaron {

QString programFolder();

// Points the program folder elsewhere (tests use a temporary folder); an
// empty text returns to the executable's folder.
void overrideProgramFolder(const QString& folder);

}  // namespace tessaron
