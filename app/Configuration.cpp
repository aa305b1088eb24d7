#include "app/Configuration.h"

#include <QComboBox>

#include "app/Main.h"
#include "browser/BrowsePage.h"
#include "editor/EditPage.h"
#include "platform/IniFile.h"
#include "platform/Panel.h"
#include "platform/ProgramFolder.h"
#include "platform/StrToInt.h"
#include "platform/WindowPlacement.h"

namespace tessaron {
namespace {

const QString kSection = QStringLiteral("Base");

}  // namespace

QString configurationFile() { return programFolder() + "Confyg.ini"; }

void readConfiguration(TForm1& form) {
    const TIniFile ini(configurationFile());
    const QString placement = ini.ReadString(kSection, "Window", QString());
    if (placement == "Max") {
        form.setWindowState(form.windowState() | Qt::WindowMaximized);
    } else if (placement == "Custom") {
        // One bound at a time, so a faulty one leaves the earlier ones set.
        setOuterLeft(form, StrToInt(ini.ReadString(kSection, "Left", QString())));
        setOuterTop(form, StrToInt(ini.ReadString(kSection, "Top", QString())));
        setOuterWidth(form, StrToInt(ini.ReadString(kSection, "Width", QString())));
        setOuterHeight(form, StrToInt(ini.ReadString(kSection, "Height", QString())));
    }
    TBrowsePage::selectItem(form.BrowsePage->Styler, ini.ReadInteger(kSection, "Style", 0));
    TBrowsePage::selectItem(form.BrowsePage->Sizer, ini.ReadInteger(kSection, "Sizer", 1));
    form.EditPage->setEditPanelHeight(ini.ReadInteger(kSection, "Editor", TEditPage::kPanelClosed));
}

void writeConfiguration(const TForm1& form) {
    TIniFile ini(configurationFile());
    // A minimised window keeps the placement of the last normal or
    // maximised close.
    if (form.isMinimized()) {
        // placement left as stored
    } else if (form.isMaximized()) {
        ini.WriteString(kSection, "Window", "Max");
    } else {
        const QRect outer = outerBounds(form);
        ini.WriteString(kSection, "Window", "Custom");
        ini.WriteInteger(kSection, "Left", outer.left());
        ini.WriteInteger(kSection, "Top", outer.top());
        ini.WriteInteger(kSection, "Width", outer.width());
        ini.WriteInteger(kSection, "Height", outer.height());
    }
    ini.WriteInteger(kSection, "Style", form.BrowsePage->Styler->currentIndex());
    ini.WriteInteger(kSection, "Sizer", form.BrowsePage->Sizer->currentIndex());
    ini.WriteInteger(kSection, "Editor", form.EditPage->editPanelHeight());
    ini.WriteInteger(kSection, "Folders", form.BrowsePage->Panel4->width());
    ini.UpdateFile();
}

}  // namespace tessaron
