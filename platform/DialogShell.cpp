#include "platform/DialogShell.h"

namespace tessaron {

TDialogShell::TDialogShell(const QString& name, const QString& caption, const QSize& clientSize, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(name);
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setModal(true);
}

}  // namespace tessaron
