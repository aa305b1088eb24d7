// An error that leaves a handler is shown in the error box; the handler's
// remaining steps are skipped and the program keeps running.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/Application.h"
#include "platform/ErrorReport.h"

namespace {

// Fails on its first custom event, then counts the ones it handles.
class Throwing : public QObject {
public:
    int handled = 0;
    bool fail = true;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        if (fail) {
            fail = false;
            throw std::runtime_error("Cannot create file \"x\". Permission denied");
        }
        ++handled;
        return true;
    }
};

TEST(ErrorReport, EventHandlerErrorIsShownAndTheLoopGoesOn) {
    ASSERT_NE(qobject_cast<tessaron::TApplication*>(QCoreApplication::instance()), nullptr)
        << "the test program must run on the program's application object";
    apptest::Desktop desktop;
    Throwing target;
    QEvent first(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &first));
    EXPECT_EQ(desktop.sink.errors, QStringList{"Cannot create file \"x\". Permission denied"});
    // Posted events run through the same application object.
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    EXPECT_EQ(target.handled, 1);
    EXPECT_EQ(desktop.sink.errors.size(), 1);
}

TEST(ErrorReport, GuardedHandlerSkipsItsRemainingStepsOnly) {
    apptest::Desktop desktop;
    QStringList steps;
    QAction entry;
    QObject::connect(&entry, &QAction::triggered, &entry, tessaron::guarded([&](bool) {
        steps << "first";
        if (steps.size() == 1) throw std::runtime_error("'abc' is not a valid integer value");
        steps << "second";
    }));
    entry.trigger();
    EXPECT_EQ(steps, QStringList{"first"});
    EXPECT_EQ(desktop.sink.errors, QStringList{"'abc' is not a valid integer value"});
    entry.trigger();
    EXPECT_EQ(steps, (QStringList{"first", "first", "second"}));
    EXPECT_EQ(desktop.sink.errors.size(), 1);
}

TEST(ErrorReport, ButtonClickHandlerErrorLeavesTheButtonUsable) {
    apptest::Desktop desktop;
    QPushButton button("Открыть фотографию");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, tessaron::guarded([&](bool) {
        ++clicks;
        throw std::logic_error("boom");
    }));
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(desktop.sink.errors, (QStringList{"boom", "boom"}));
    EXPECT_FALSE(button.isDown());
}

}  // namespace
