#pragma once
// The about box: the program's name and version and where to ask for help.
#include "platform/DialogShell.h"

class QLabel;

namespace tessaron {

class TAbata : public TDialogShell {
    Q_OBJECT
public:
    explicit TAbata(QWidget* parent);

    QLabel* Version;
    QLabel* MailLink;
};

}  // namespace tessaron
