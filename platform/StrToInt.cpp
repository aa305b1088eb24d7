#include "platform/StrToInt.h"

#include <stdexcept>

#include "platform/IniText.h"

namespace tessaron {

int StrToInt(const QString& text) {
    if (auto value = parseInteger(text.toStdString())) return *value;
    throw std::runtime_error("'" + text.toStdString() + "' is not a valid integer value");
}

}  // namespace tessaron
