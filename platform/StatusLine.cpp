#include "platform/StatusLine.h"

#include <QLabel>

namespace tessaron {

TStatusLine::TStatusLine(const QString& name, const QVector<int>& fixedWidths, QWidget* parent)
    : QStatusBar(parent) {
    setObjectName(name);
    setSizeGripEnabled(true);
    for (int width : fixedWidths) {
        auto* label = new QLabel(this);
        label->setFixedWidth(width);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        addWidget(label);
        panels_.push_back(label);
    }
    auto* rest = new QLabel(this);
    rest->setFrameShape(QFrame::StyledPanel);
    rest->setFrameShadow(QFrame::Sunken);
    // Long hints are cut at the window's edge instead of widening it.
    rest->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addWidget(rest, 1);
    panels_.push_back(rest);
}

QString TStatusLine::panelText(int index) const { return panels_.at(index)->text(); }

void TStatusLine::setPanelText(int index, const QString& text) { panels_.at(index)->setText(text); }

}  // namespace tessaron
