#pragma once
// A plain panel whose owner lays out its children by hand when it is
// resized, as the original's anchored panels did. The resize hook runs after
// the panel's own layout (if any) has taken the new size.
#include <QFrame>
#include <functional>

namespace tessaron {

class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(const QString& name, QWidget* parent = nullptr);

    std::function<void()> OnResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace tessaron
