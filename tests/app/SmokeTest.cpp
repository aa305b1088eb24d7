#include <QWidget>
#include <gtest/gtest.h>

TEST(AppSmoke, OffscreenWidgetShows) {
    QWidget w;
    w.show();
    EXPECT_TRUE(w.isVisible());
}
