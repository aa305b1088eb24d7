#pragma once
// Shows dialogs modally. The desktop runner runs the dialog's own loop;
// tests install a runner that answers at once, so no test waits on a window.
class QDialog;

namespace tessaron {

class TModalRunner {
public:
    virtual ~TModalRunner() = default;
    // Shows the dialog modally and returns its result (QDialog::Accepted or
    // QDialog::Rejected).
    virtual int runModal(QDialog& dialog) = 0;
};

TModalRunner& modalRunner();
// Installs a runner (borrowed); nullptr restores the desktop runner.
void setModalRunner(TModalRunner* runner);

}  // namespace tessaron
