#pragma once
#include <QString>

namespace tessaron {

// Converts text to an integer (see parseInteger). Throws std::runtime_error
// "'<text>' is not a valid integer value" when the text is not one.
int StrToInt(const QString& text);

}  // namespace tessaron
