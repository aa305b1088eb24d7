#pragma once
// Stand-ins for the desktop that the program tests answer: message boxes,
// modal dialogs and the shell are recorded instead of shown, and the
// program folder is a fresh temporary folder.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>
#include <string>

#include "platform/MessageSink.h"
#include "platform/ModalRunner.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "support/TestSupport.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace apptest {

class RecordingSink : public tessaron::TMessageSink {
public:
    void showMessage(const QString& text) override { messages << text; }
    void showError(const QString& text) override { errors << text; }
    QStringList messages;
    QStringList errors;
};

class RecordingShell : public tessaron::TShell {
public:
    void open(const QString& target) override { opened << target; }
    QStringList opened;
};

// Answers every modal dialog at once with a fixed result, after letting the
// test look at the dialog.
class AnsweringRunner : public tessaron::TModalRunner {
public:
    int runModal(QDialog& dialog) override {
        shown << dialog.objectName();
        if (onShow) onShow(dialog);
        return answer;
    }
    int answer = QDialog::Accepted;
    std::function<void(QDialog&)> onShow;
    QStringList shown;
};

// Installs the stand-ins and a temporary program folder for one test.
class Desktop {
public:
    Desktop() {
        tessaron::setMessageSink(&sink);
        tessaron::setModalRunner(&runner);
        tessaron::setShell(&shell);
        tessaron::overrideProgramFolder(QString::fromStdString(folder.path().string()));
    }
    ~Desktop() {
        tessaron::overrideProgramFolder(QString());
        tessaron::setShell(nullptr);
        tessaron::setModalRunner(nullptr);
        tessaron::setMessageSink(nullptr);
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    std::string file(const std::string& name) const { return folder.file(name); }
    QString programDir() const { return tessaron::programFolder(); }

    testsupport::TempDir folder;
    RecordingSink sink;
    AnsweringRunner runner;
    RecordingShell shell;
};

// Whole-file helpers.
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

}  // namespace apptest
