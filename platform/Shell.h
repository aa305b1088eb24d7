#pragma once
// Hands files, web addresses and mail links to the desktop's default
// handler. The result is not ours to report: a missing browser or help
// viewer is the desktop's business. Tests install a shell that records.
#include <QString>

namespace tessaron {

class TShell {
public:
    virtual ~TShell() = default;
    // Opens a local file (an absolute path) or an address with a scheme
    // ("https:", "mailto:").
    virtual void open(const QString& target) = 0;
};

TShell& shell();
// Installs a shell (borrowed); nullptr restores the desktop's handler.
void setShell(TShell* replacement);

}  // namespace tessaron
