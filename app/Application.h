#pragma once
// The application object. An exception that escapes an event handler ends
// that handler only: it is shown in the error box and the event loop goes on.
#include <QApplication>

namespace tessaron {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessaron
