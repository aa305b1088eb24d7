// Start-up and shut-down of the main window: Confyg.ini read at creation,
// written at close, and looked up beside the executable.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <memory>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "app/Configuration.h"
#include "app/Main.h"
#include "browser/BrowsePage.h"
#include "editor/EditPage.h"
#include "platform/IniFile.h"
#include "platform/Panel.h"
#include "platform/WindowPlacement.h"

using tessaron::TForm1;

namespace {

class Configuration : public ::testing::Test {
protected:
    apptest::Desktop desktop;

    std::string configPath() const { return desktop.file("Confyg.ini"); }
    void writeConfig(const std::string& text) const { apptest::writeFile(configPath(), text); }
    tessaron::TIniFile storedConfig() const { return tessaron::TIniFile(QString::fromStdString(configPath())); }

    // A window as the program makes it: created (configuration read) and
    // shown, so every pane has its real size.
    std::unique_ptr<TForm1> startWindow() const {
        auto form = std::make_unique<TForm1>();
        form->show();
        return form;
    }

    // Each key of section "Base" with the text it must hold (empty: absent).
    void expectStored(const std::vector<std::pair<const char*, const char*>>& expected) const {
        const auto ini = storedConfig();
        for (const auto& [key, value] : expected) {
            SCOPED_TRACE(key);
            EXPECT_EQ(ini.ReadString("Base", key, ""), value);
        }
    }

    static QRect outer(const TForm1& form) { return form.frameGeometry(); }
    static int style(const TForm1& form) { return form.BrowsePage->Styler->currentIndex(); }
    static int size(const TForm1& form) { return form.BrowsePage->Sizer->currentIndex(); }
    static int editor(const TForm1& form) { return form.EditPage->editPanelHeight(); }
};

const QRect kDesign(71, 20, 918, 695);

TEST_F(Configuration, FirstStartWithoutFileUsesTheDesignValuesAndCreatesTheFile) {
    auto form = startWindow();
    EXPECT_EQ(form->ProgramDir, desktop.programDir());
    EXPECT_EQ(outer(*form), kDesign);
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(style(*form), 0);
    EXPECT_EQ(form->BrowsePage->Styler->currentText(), "Простой");
    EXPECT_EQ(size(*form), 1);
    EXPECT_EQ(form->BrowsePage->Sizer->currentText(), "Средний");
    EXPECT_EQ(editor(*form), 24);
    EXPECT_EQ(form->BrowsePage->Panel4->width(), 190);
    EXPECT_TRUE(desktop.sink.errors.isEmpty()) << desktop.sink.errors.join("\n").toStdString();

    form->close();
    expectStored({{"Window", "Custom"}, {"Left", "71"}, {"Top", "20"}, {"Width", "918"}, {"Height", "695"},
                  {"Style", "0"}, {"Sizer", "1"}, {"Editor", "24"}, {"Folders", "190"}});
}

TEST_F(Configuration, CustomPlacementAndChoicesRoundTrip) {
    {
        auto form = startWindow();
        tessaron::setOuterBounds(*form, QRect(33, 44, 700, 500));
        form->BrowsePage->Styler->setCurrentIndex(2);
        form->BrowsePage->Sizer->setCurrentIndex(3);
        form->EditPage->setEditPanelHeight(260);
        form->close();
    }
    EXPECT_EQ(apptest::readFile(configPath()),
              "[Base]\nWindow=Custom\nLeft=33\nTop=44\nWidth=700\nHeight=500\nStyle=2\nSizer=3\nEditor=260\n"
              "Folders=190\n");
    auto again = startWindow();
    EXPECT_EQ(outer(*again), QRect(33, 44, 700, 500));
    EXPECT_EQ(style(*again), 2);
    EXPECT_EQ(size(*again), 3);
    EXPECT_EQ(editor(*again), 260);
    EXPECT_TRUE(desktop.sink.errors.isEmpty());
}

TEST_F(Configuration, MaximisedCloseKeepsTheLastNormalBoundsAndReopensMaximised) {
    writeConfig("[Base]\nWindow=Custom\nLeft=10\nTop=11\nWidth=640\nHeight=480\nStyle=1\n");
    {
        auto form = startWindow();
        EXPECT_EQ(outer(*form), QRect(10, 11, 640, 480));
        form->showMaximized();
        form->close();
    }
    expectStored({{"Window", "Max"}, {"Left", "10"}, {"Top", "11"}, {"Width", "640"}, {"Height", "480"},
                  {"Style", "1"}});

    // Created maximised; the stored bounds are not applied, so restoring
    // gives the design placement.
    TForm1 again;
    EXPECT_TRUE(again.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(outer(again), kDesign);
}

TEST_F(Configuration, MinimisedCloseUpdatesOnlyTheChoices) {
    writeConfig("[Base]\nWindow=Max\nLeft=10\nTop=11\nWidth=640\nHeight=480\nStyle=0\nSizer=1\nEditor=24\n");
    {
        auto form = startWindow();
        form->BrowsePage->Sizer->setCurrentIndex(0);
        form->BrowsePage->Styler->setCurrentIndex(1);
        form->EditPage->setEditPanelHeight(260);
        form->setWindowState(Qt::WindowMinimized);
        form->close();
    }
    expectStored({{"Window", "Max"}, {"Left", "10"}, {"Top", "11"}, {"Width", "640"}, {"Height", "480"},
                  {"Style", "1"}, {"Sizer", "0"}, {"Editor", "260"}, {"Folders", "190"}});
}

TEST_F(Configuration, WindowValuesAreComparedExactly) {
    for (const char* value : {"custom", "CUSTOM", "max", "MAX", "Custom.", "Maximised", ""}) {
        SCOPED_TRACE(value);
        writeConfig(std::string("[Base]\nWindow=") + value + "\nLeft=5\nTop=6\nWidth=300\nHeight=200\nStyle=2\n");
        TForm1 form;
        EXPECT_EQ(outer(form), kDesign);
        EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
        EXPECT_EQ(style(form), 2);  // the rest of the file still counts
    }
    EXPECT_TRUE(desktop.sink.errors.isEmpty());
}

TEST_F(Configuration, FaultyBoundStopsTheReadingAfterTheBoundsBeforeIt) {
    struct Case {
        const char* bounds;
        const char* message;
        QRect expected;
    };
    const Case cases[] = {
        {"Left=abc\nTop=6\nWidth=300\nHeight=200\n", "'abc' is not a valid integer value", kDesign},
        {"Left=5\nTop=6\nWidth=300\n", "'' is not a valid integer value", QRect(5, 6, 300, 695)},
        {"Left=5\nTop=6.5\nWidth=300\nHeight=200\n", "'6.5' is not a valid integer value", QRect(5, 20, 918, 695)},
        {"Left=5\nTop=6\nWidth=300px\nHeight=200\n", "'300px' is not a valid integer value", QRect(5, 6, 918, 695)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bounds);
        desktop.sink.errors.clear();
        writeConfig(std::string("[Base]\nWindow=Custom\n") + c.bounds + "Style=2\nSizer=3\nEditor=260\n");
        TForm1 form;
        EXPECT_EQ(desktop.sink.errors, QStringList{c.message});
        EXPECT_EQ(outer(form), c.expected);
        // The choices after the placement keep their start values.
        EXPECT_EQ(style(form), 0);
        EXPECT_EQ(size(form), 1);
        EXPECT_EQ(editor(form), 24);
    }
}

TEST_F(Configuration, ChoicesThatAreNotIntegersOrOutsideTheListsAreHandled) {
    writeConfig("[Base]\nStyle=zwei\nSizer=7\nEditor=big\n");
    TForm1 form;
    EXPECT_EQ(style(form), 0);
    EXPECT_EQ(size(form), -1);  // no item: the list shows nothing
    EXPECT_EQ(editor(form), 24);
    EXPECT_TRUE(desktop.sink.errors.isEmpty());

    writeConfig("[Base]\nStyle=-1\nSizer=2\nEditor=100\n");
    TForm1 other;
    EXPECT_EQ(style(other), -1);
    EXPECT_EQ(size(other), 2);
    EXPECT_EQ(editor(other), 100);
}

TEST_F(Configuration, FoldersValueHasNoEffect) {
    writeConfig("[Base]\nWindow=Custom\nLeft=0\nTop=0\nWidth=900\nHeight=600\nFolders=400\n");
    auto form = startWindow();
    EXPECT_EQ(form->BrowsePage->Panel4->width(), 190);
    form->close();
    EXPECT_EQ(storedConfig().ReadInteger("Base", "Folders", -1), 190);
}

TEST_F(Configuration, FailedWriteAtCloseIsReportedAndTheWindowStillCloses) {
    auto form = startWindow();
    std::filesystem::create_directory(configPath());
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(desktop.sink.errors, QStringList{"Unable to write to " + QString::fromStdString(configPath())});
}

TEST_F(Configuration, OtherSectionsAndKeysOfTheFileSurviveTheClose) {
    writeConfig("[Mine]\nKeep=yes\n[base]\nstyle=1\nExtra=1\n");
    auto form = startWindow();
    form->close();
    expectStored({{"Extra", "1"}, {"Style", "1"}});
    EXPECT_EQ(storedConfig().ReadString("Mine", "Keep", ""), "yes");
}

// Without an override the configuration lives beside the executable: a
// Confyg.ini in the working folder is not read.
TEST(ConfigurationLookup, UsesTheExecutablesFolderNotTheWorkingFolder) {
    const QString besideExecutable = QCoreApplication::applicationDirPath() + "/Confyg.ini";
    EXPECT_EQ(tessaron::configurationFile(), besideExecutable);
    // What the window reads must be what the executable's folder holds (most
    // likely nothing), never the working folder's file.
    const tessaron::TIniFile expected(besideExecutable);
    if (expected.ReadInteger("Base", "Sizer", 1) == 3 && expected.ReadInteger("Base", "Editor", 24) == 260)
        GTEST_SKIP() << "the executable's folder holds the working folder's values; nothing to tell apart";

    apptest::RecordingSink sink;
    tessaron::setMessageSink(&sink);
    testsupport::TempDir work;
    apptest::writeFile(work.file("Confyg.ini"), "[Base]\nStyle=2\nSizer=3\nEditor=260\n");
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(work.path().string())));
    {
        TForm1 form;
        EXPECT_EQ(form.ProgramDir, QCoreApplication::applicationDirPath() + "/");
        EXPECT_EQ(form.BrowsePage->Sizer->currentIndex(), expected.ReadInteger("Base", "Sizer", 1));
        EXPECT_EQ(form.EditPage->editPanelHeight(), expected.ReadInteger("Base", "Editor", 24));
    }
    QDir::setCurrent(saved);
    tessaron::setMessageSink(nullptr);
}

}  // namespace
