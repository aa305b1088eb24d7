#pragma once
// The chooser of saved batches: the files of the Batch folder, and buttons to open one or close.
// Created at start-up with the other windows; its controls come with the
// commands that use it.
#include "platform/DialogShell.h"

namespace tessaron {

class TBatList : public TDialogShell {
    Q_OBJECT
public:
    explicit TBatList(QWidget* parent);
};

}  // namespace tessaron
