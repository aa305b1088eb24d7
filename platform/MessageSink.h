#pragma once
// Where the program's message boxes go. The desktop implementation shows
// modal boxes; tests install their own sink and read what was said.
#include <QString>

namespace tessaron {

class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    // A plain information box (success of a long action and the like).
    virtual void showMessage(const QString& text) = 0;
    // The application's error box: the text of an error that ended a command.
    virtual void showError(const QString& text) = 0;
};

// The sink in use: the desktop's boxes unless one was installed.
TMessageSink& messageSink();
// Installs a sink (borrowed, must outlive its use); nullptr restores the
// desktop's boxes.
void setMessageSink(TMessageSink* sink);

}  // namespace tessaron
