#include "platform/PageControl.h"

#include <QTabBar>

namespace tessaron {
namespace {

class FixedHeightTabBar final : public QTabBar {
public:
    FixedHeightTabBar(int height, QWidget* parent) : QTabBar(parent), height_(height) {}

protected:
    QSize tabSizeHint(int index) const override {
        QSize size = QTabBar::tabSizeHint(index);
        size.setHeight(height_);
        size.setWidth(size.width() + 16);
        return size;
    }

private:
    int height_;
};

}  // namespace

TPageControl::TPageControl(const QString& name, int tabHeight, QWidget* parent) : QTabWidget(parent) {
    setObjectName(name);
    setTabBar(new FixedHeightTabBar(tabHeight, this));
    setDocumentMode(false);
}

}  // namespace tessaron
