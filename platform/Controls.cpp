#include "platform/Controls.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>

namespace tessaron {

QComboBox* addLabelledList(QWidget* parent, const char* name, const QString& caption, int captionLeft,
                           const QRect& listBounds, const QStringList& items) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(captionLeft, listBounds.top(), listBounds.left() - captionLeft - 4, listBounds.height());
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setGeometry(listBounds);
    label->setBuddy(list);
    return list;
}

QFrame* sunkenArea() {
    auto* area = new QFrame;
    area->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    area->setAutoFillBackground(true);
    area->setBackgroundRole(QPalette::Base);
    return area;
}

}  // namespace tessaron
