#pragma once
// The batch tab: the batch list on the left, the settings of a run on the
// right.
#include <QWidget>

class QComboBox;
class QGroupBox;

namespace tessaron {

class TPanel;

class TBatchPage : public QWidget {
    Q_OBJECT
public:
    explicit TBatchPage(QWidget* parent = nullptr);

    QWidget* BatchView;    // the batch list
    TPanel* BatchPanel;    // right column
    QGroupBox* GroupBox5;  // "Параметры сохранения"
    QComboBox* BatchFormat;
    QGroupBox* PanResize;  // "Размер изображений", shown while resizing is on
    QComboBox* BatchFilter;

    // Start items of the format and filter lists (first activation).
    void PrepareLists();
};

}  // namespace tessaron
