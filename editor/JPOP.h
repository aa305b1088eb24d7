#pragma once
// The JPEG optimisation dialog: tries quality and smoothing on the edited picture before saving it as JPEG.
// Created at start-up with the other windows; its controls come with the
// commands that use it.
#include "platform/DialogShell.h"

namespace tessaron {

class TVisualJPEG : public TDialogShell {
    Q_OBJECT
public:
    explicit TVisualJPEG(QWidget* parent);
};

}  // namespace tessaron
