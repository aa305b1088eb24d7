#pragma once
// The platform's file error texts, shared by everything that opens or
// creates the program's files.
#include <QString>
#include <stdexcept>

namespace tessaron {

// "Cannot open file "<path>". <reason>"
inline std::runtime_error cannotOpenFile(const QString& path, const QString& reason) {
    return std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason).toStdString());
}

// "Cannot create file "<path>". <reason>"
inline std::runtime_error cannotCreateFile(const QString& path, const QString& reason) {
    return std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason).toStdString());
}

}  // namespace tessaron
