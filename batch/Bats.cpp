#include "batch/Bats.h"

namespace tessaron {

TBatList::TBatList(QWidget* parent) : TDialogShell("BatList", "Сохранённые пакеты", QSize(300, 360), parent) {}

}  // namespace tessaron
