#include "platform/ModalRunner.h"

#include <QDialog>

namespace tessaron {
namespace {

class DesktopModalRunner final : public TModalRunner {
public:
    int runModal(QDialog& dialog) override { return dialog.exec(); }
};

TModalRunner* installed = nullptr;

}  // namespace

TModalRunner& modalRunner() {
    static DesktopModalRunner desktop;
    return installed ? *installed : desktop;
}

void setModalRunner(TModalRunner* runner) { installed = runner; }

}  // namespace tessaron
