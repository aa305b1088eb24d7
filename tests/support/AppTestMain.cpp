// Entry of the program tests: one QApplication for the whole run, on the
// offscreen platform unless the caller chose another.
#include <QApplication>
#include "app/Application.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tessaron::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
