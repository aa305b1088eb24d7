#include "app/TabIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace tessaron {
namespace {

constexpr int kSize = 24;

QIcon drawIcon(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A small landscape photo: sky, a sun and a hill inside a white border.
void drawPhoto(QPainter& p, const QRectF& r, qreal angle = 0) {
    p.save();
    p.translate(r.center());
    p.rotate(angle);
    const QRectF frame(-r.width() / 2, -r.height() / 2, r.width(), r.height());
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(frame);
    const QRectF inner = frame.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient sky(inner.topLeft(), inner.bottomLeft());
    sky.setColorAt(0, QColor(120, 180, 235));
    sky.setColorAt(1, QColor(200, 230, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(inner);
    p.setBrush(QColor(250, 200, 60));
    p.drawEllipse(QPointF(inner.right() - inner.width() * 0.28, inner.top() + inner.height() * 0.3),
                  inner.height() * 0.16, inner.height() * 0.16);
    QPainterPath hill;
    hill.moveTo(inner.bottomLeft());
    hill.lineTo(inner.left(), inner.bottom() - inner.height() * 0.35);
    hill.quadTo(inner.center().x(), inner.top() + inner.height() * 0.25, inner.right(),
                inner.bottom() - inner.height() * 0.4);
    hill.lineTo(inner.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(80, 160, 70));
    p.drawPath(hill);
    p.restore();
}

}  // namespace

QIcon browseTabIcon() {
    return drawIcon([](QPainter& p) {
        QPainterPath back;
        back.moveTo(2, 5);
        back.lineTo(9, 5);
        back.lineTo(11, 7);
        back.lineTo(21, 7);
        back.lineTo(21, 20);
        back.lineTo(2, 20);
        back.closeSubpath();
        p.setPen(QPen(QColor(150, 105, 20), 1));
        p.setBrush(QColor(235, 180, 60));
        p.drawPath(back);
        drawPhoto(p, QRectF(6, 4, 13, 10), -8);
        QPainterPath front;
        front.moveTo(2, 20);
        front.lineTo(4.5, 11);
        front.lineTo(23, 11);
        front.lineTo(21, 20);
        front.closeSubpath();
        QLinearGradient fill(0, 11, 0, 20);
        fill.setColorAt(0, QColor(255, 215, 110));
        fill.setColorAt(1, QColor(240, 175, 50));
        p.setBrush(fill);
        p.drawPath(front);
    });
}

QIcon editTabIcon() {
    return drawIcon([](QPainter& p) {
        drawPhoto(p, QRectF(1.5, 4.5, 17, 13));
        p.translate(15, 13);
        p.rotate(45);
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(230, 70, 60));
        p.drawRect(QRectF(-2, -10, 4, 13));
        p.setBrush(QColor(240, 210, 160));
        QPainterPath tip;
        tip.moveTo(-2, 3);
        tip.lineTo(2, 3);
        tip.lineTo(0, 7.5);
        tip.closeSubpath();
        p.drawPath(tip);
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(-2, -12, 4, 2));
    });
}

QIcon batchTabIcon() {
    return drawIcon([](QPainter& p) {
        drawPhoto(p, QRectF(7, 2.5, 15, 11), 10);
        drawPhoto(p, QRectF(4.5, 6, 15, 11), 0);
        drawPhoto(p, QRectF(2, 10, 15, 11), -8);
    });
}

}  // namespace tessaron
