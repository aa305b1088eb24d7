#include "platform/ErrorReport.h"

#include <QString>

#include "platform/MessageSink.h"

namespace tessaron {

void reportException(const std::exception& error) {
    messageSink().showError(QString::fromUtf8(error.what()));
}

void reportUnknownException() {
    messageSink().showError(QStringLiteral("Unknown error"));
}

}  // namespace tessaron
