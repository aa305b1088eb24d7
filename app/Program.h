#pragma once
// The program's windows: the main window first, then the dialogs, all
// living until the program ends. Closing the main window ends the program.
#include <QStringList>
#include <memory>

namespace tessaron {

class TForm1;

class TProgram {
public:
    TProgram();
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    TForm1& mainWindow() { return *form_; }
    // Object names of the windows in the order they were created.
    const QStringList& creationOrder() const { return order_; }
    // Shows the main window (maximised when the configuration says so).
    void show();

private:
    std::unique_ptr<TForm1> form_;
    QStringList order_;
};

}  // namespace tessaron
