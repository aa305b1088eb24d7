#include "platform/ApplicationEvents.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QWidget>

#include "platform/ErrorReport.h"

namespace tessaron {

void setHint(QWidget* control, const QString& hint, bool showPopup) {
    control->setStatusTip(hint);
    control->setToolTip(showPopup ? hint : QString());
}

QString ownHint(const QWidget* control) { return control->statusTip(); }

QString hintOf(const QWidget* control) {
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (!ownHint(w).isEmpty()) return ownHint(w);
    return {};
}

TApplicationEvents::TApplicationEvents(QObject* parent) : QObject(parent) {
    QCoreApplication::instance()->installEventFilter(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, guarded([this] { idle(); }));
}

TApplicationEvents::~TApplicationEvents() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TApplicationEvents::idle() {
    const QString hint = underMouse_ ? hintOf(underMouse_) : QString();
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) OnHint(hint_);
}

bool TApplicationEvents::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Enter:
        if (watched->isWidgetType()) underMouse_ = static_cast<QWidget*>(watched);
        break;
    case QEvent::Leave:
        // Leaving a control puts the mouse over its enclosing control; an
        // enter event follows when it went somewhere else.
        if (watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            underMouse_ = w->isWindow() ? nullptr : w->parentWidget();
        }
        break;
    case QEvent::StatusTip:
        // Hints reach the status line through OnHint only; Qt's own status
        // tips would cover its panels with a temporary message.
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tessaron
