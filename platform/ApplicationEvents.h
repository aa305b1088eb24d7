#pragma once
// Application-wide hints. A control's hint is the text the status line shows
// while the mouse is over it; it also pops up as a tooltip unless the control
// asks not to. The current hint is that of the control under the mouse or of
// its nearest enclosing control that has one, empty when none has; it is
// worked out whenever the application becomes idle and reported when it
// changes.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

namespace tessaron {

void setHint(QWidget* control, const QString& hint, bool showPopup = true);
// The hint of the control itself, whether or not it pops up.
QString ownHint(const QWidget* control);
// The hint of the control or of its nearest enclosing control with one.
QString hintOf(const QWidget* control);

class TApplicationEvents : public QObject {
    Q_OBJECT
public:
    explicit TApplicationEvents(QObject* parent = nullptr);
    ~TApplicationEvents() override;

    // Called with the new current hint whenever it changes.
    std::function<void(const QString&)> OnHint;

    // The control the mouse is over, as far as enter and leave events told.
    QWidget* controlUnderMouse() const { return underMouse_; }
    const QString& currentHint() const { return hint_; }
    // The idle step: recomputes the current hint and reports a change. The
    // event loop runs it each time it is about to wait for events.
    void idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> underMouse_;
    QString hint_;
};

}  // namespace tessaron
