#pragma once
// A top-level window's outer bounds: position and size with the frame the
// window manager draws around it. Setting them one at a time leaves the
// others as they are.
#include <QRect>

class QWidget;

namespace tessaron {

QRect outerBounds(const QWidget& window);
void setOuterLeft(QWidget& window, int left);
void setOuterTop(QWidget& window, int top);
void setOuterWidth(QWidget& window, int width);
void setOuterHeight(QWidget& window, int height);
void setOuterBounds(QWidget& window, const QRect& bounds);

}  // namespace tessaron
