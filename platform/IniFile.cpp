#include "platform/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <stdexcept>

namespace tessaron {

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        text_ = TIniText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
    auto value = text_.value(section.toStdString(), key.toStdString());
    return value ? QString::fromStdString(*value) : defaultValue;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    auto value = text_.value(section.toStdString(), key.toStdString());
    if (!value) return defaultValue;
    return parseInteger(*value).value_or(defaultValue);
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    text_.setValue(section.toStdString(), key.toStdString(), value.toStdString());
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::UpdateFile() const {
    // Written beside the old file and renamed over it, so a failed write
    // never leaves half a configuration behind.
    QSaveFile file(fileName_);
    const std::string bytes = text_.text();
    if (!file.open(QIODevice::WriteOnly)
        || file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())
        || !file.commit())
        throw std::runtime_error("Unable to write to " + fileName_.toStdString());
}

}  // namespace tessaron
