#include "platform/MessageSink.h"

#include <QApplication>
#include <QMessageBox>

namespace tessaron {
namespace {

class DesktopMessageSink final : public TMessageSink {
public:
    void showMessage(const QString& text) override {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
    }
    void showError(const QString& text) override {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
    }
};

TMessageSink* installed = nullptr;

}  // namespace

TMessageSink& messageSink() {
    static DesktopMessageSink desktop;
    return installed ? *installed : desktop;
}

void setMessageSink(TMessageSink* sink) { installed = sink; }

}  // namespace tessaron
