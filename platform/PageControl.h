#pragma once
// Tabs with pages whose tab row has a fixed height, so icons and captions
// sit the same way whatever the style's own tab size would be.
#include <QTabWidget>

namespace tessaron {

class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    TPageControl(const QString& name, int tabHeight, QWidget* parent = nullptr);
};

}  // namespace tessaron
