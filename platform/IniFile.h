#pragma once
// An INI file on disk: read whole when opened, changed in memory, written
// back by UpdateFile. A missing file reads as empty.
#include <QString>

#include "platform/IniText.h"

namespace tessaron {

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // The key's value as an integer; the default when it is absent or is not
    // an integer.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    // Integers are stored as decimal text.
    void WriteInteger(const QString& section, const QString& key, int value);

    // Replaces the file with the current text. Throws std::runtime_error
    // "Unable to write to <file>" when it can't; the old file is then left
    // as it was.
    void UpdateFile() const;

private:
    QString fileName_;
    TIniText text_;
};

}  // namespace tessaron
