#pragma once
// A status line of text panels side by side: each panel but the last has a
// fixed width, the last takes the rest of the line.
#include <QStatusBar>
#include <QVector>

class QLabel;

namespace tessaron {

class TStatusLine : public QStatusBar {
    Q_OBJECT
public:
    TStatusLine(const QString& name, const QVector<int>& fixedWidths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    QLabel* panel(int index) const { return panels_.at(index); }

private:
    QVector<QLabel*> panels_;
};

}  // namespace tessaron
