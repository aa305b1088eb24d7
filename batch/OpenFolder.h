#pragma once
// The folder chooser of the batch tab: a folder tree and one button that opens the chosen folder.
// Created at start-up with the other windows; its controls come with the
// commands that use it.
#include "platform/DialogShell.h"

namespace tessaron {

class TOpenDir : public TDialogShell {
    Q_OBJECT
public:
    explicit TOpenDir(QWidget* parent);
};

}  // namespace tessaron
