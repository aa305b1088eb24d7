#include "batch/OpenFolder.h"

namespace tessaron {

TOpenDir::TOpenDir(QWidget* parent) : TDialogShell("OpenDir", "Открыть папку", QSize(300, 400), parent) {}

}  // namespace tessaron
