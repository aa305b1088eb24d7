#include "platform/WindowPlacement.h"

#include <QWidget>

namespace tessaron {
namespace {

// What the frame adds to the client size. The native window must exist for
// the platform to know its frame, so it is created here if need be.
QSize frameExtra(QWidget& window) {
    window.winId();
    return window.frameGeometry().size() - window.size();
}

}  // namespace

QRect outerBounds(const QWidget& window) { return window.frameGeometry(); }

// move() places the frame's corner for top-level windows.
void setOuterLeft(QWidget& window, int left) { window.move(left, window.frameGeometry().top()); }
void setOuterTop(QWidget& window, int top) { window.move(window.frameGeometry().left(), top); }

void setOuterWidth(QWidget& window, int width) {
    window.resize(width - frameExtra(window).width(), window.height());
}

void setOuterHeight(QWidget& window, int height) {
    window.resize(window.width(), height - frameExtra(window).height());
}

void setOuterBounds(QWidget& window, const QRect& bounds) {
    setOuterLeft(window, bounds.left());
    setOuterTop(window, bounds.top());
    setOuterWidth(window, bounds.width());
    setOuterHeight(window, bounds.height());
}

}  // namespace tessaron
