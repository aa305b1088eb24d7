#include "platform/Panel.h"

#include "platform/ErrorReport.h"

namespace tessaron {

TPanel::TPanel(const QString& name, QWidget* parent) : QFrame(parent) { setObjectName(name); }

void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (OnResize) guarded([this] { OnResize(); })();
}

}  // namespace tessaron
