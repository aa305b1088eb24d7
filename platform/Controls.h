#pragma once
// Small builders for hand-placed controls.
#include <QRect>
#include <QString>
#include <QStringList>

class QComboBox;
class QFrame;
class QWidget;

namespace tessaron {

// A drop-down list with its caption on the left; no item is selected until
// the owner selects one.
QComboBox* addLabelledList(QWidget* parent, const char* name, const QString& caption, int captionLeft,
                           const QRect& listBounds, const QStringList& items);

// A white sunken area, the place of a view that draws its own content.
QFrame* sunkenArea();

}  // namespace tessaron
