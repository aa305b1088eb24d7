#include "editor/JPOP.h"

namespace tessaron {

TVisualJPEG::TVisualJPEG(QWidget* parent) : TDialogShell("VisualJPEG", "JPEG - оптимизация", QSize(640, 480), parent) {}

}  // namespace tessaron
