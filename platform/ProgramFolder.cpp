#include "platform/ProgramFolder.h"

#include <QCoreApplication>

namespace tessaron {
namespace {

QString& overridden() {
    static QString folder;
    return folder;
}

QString withSlash(QString folder) {
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

}  // namespace

QString programFolder() {
    if (!overridden().isEmpty()) return overridden();
    return withSlash(QCoreApplication::applicationDirPath());
}

void overrideProgramFolder(const QString& folder) {
    overridden() = folder.isEmpty() ? QString() : withSlash(folder);
}

}  // namespace tessaron
