#pragma once
// A fixed-size dialog window of the program, created once at start-up and
// shown modally on demand; closing only hides it.
#include <QDialog>

namespace tessaron {

class TDialogShell : public QDialog {
    Q_OBJECT
public:
    TDialogShell(const QString& name, const QString& caption, const QSize& clientSize, QWidget* parent);
};

}  // namespace tessaron
