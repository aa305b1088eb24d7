#include "app/Application.h"

#include "platform/ErrorReport.h"

namespace tessaron {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportException(error);
    } catch (...) {
        reportUnknownException();
    }
    return false;
}

}  // namespace tessaron
