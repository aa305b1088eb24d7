#pragma once
// The edit tab: the editor view with the edit panel under it and the right
// column with the navigator, the size group and the (hidden) crop group.
#include <QWidget>
#include <memory>

class TImageIO;

class QComboBox;
class QGroupBox;
class QLabel;

namespace tessaron {

class TPanel;

class TEditPage : public QWidget {
    Q_OBJECT
public:
    explicit TEditPage(QWidget* parent = nullptr);
    ~TEditPage() override;

    QWidget* Pic;         // editor view
    // The editor view's reading and writing object. Its parameters record
    // describes the picture the editor shows, and the browser reads a
    // selected photo's data into the same record.
    std::unique_ptr<TImageIO> PicIO;
    TPanel* EditPanel;    // effects gallery and undo/redo, under the view
    TPanel* Panel10;      // header row of the edit panel
    TPanel* Panel6;       // right column
    QGroupBox* NavBox;
    QWidget* Nava;        // navigator view
    QGroupBox* SizeBox;
    QComboBox* Mera;
    QComboBox* FilterKind;
    QGroupBox* CropBox;
    QComboBox* Props;

    // Edit panel heights: only the header row, or the whole gallery.
    static constexpr int kPanelClosed = 24;
    static constexpr int kPanelOpen = 260;
    int editPanelHeight() const;
    // Any stored height is applied; a negative one means no height at all.
    void setEditPanelHeight(int height);

    // Start items of the unit, proportion and filter lists (first activation).
    void PrepareLists();
};

}  // namespace tessaron
