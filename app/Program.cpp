#include "app/Program.h"

#include "app/AboutIt.h"
#include "app/Main.h"
#include "batch/Bats.h"
#include "batch/OpenFolder.h"
#include "editor/JPOP.h"

namespace tessaron {

TProgram::TProgram() : form_(std::make_unique<TForm1>()) {
    order_ << form_->objectName();
    // The dialogs are owned by the main window and centred on it.
    auto* openDir = new TOpenDir(form_.get());
    order_ << openDir->objectName();
    auto* batList = new TBatList(form_.get());
    order_ << batList->objectName();
    auto* visualJpeg = new TVisualJPEG(form_.get());
    order_ << visualJpeg->objectName();
    auto* abata = new TAbata(form_.get());
    order_ << abata->objectName();
    form_->attachDialogs(openDir, batList, visualJpeg, abata);
}

TProgram::~TProgram() = default;

void TProgram::show() {
    form_->show();
    form_->raise();
    form_->activateWindow();
}

}  // namespace tessaron
