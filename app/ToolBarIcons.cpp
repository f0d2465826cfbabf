#include "app/ToolBarIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace {
constexpr int kWidth = 16;
constexpr int kHeight = 15;

QPixmap Blank() {
    QPixmap pm(kWidth, kHeight);
    pm.fill(Qt::transparent);
    return pm;
}
} // namespace

QIcon OpenStereoPairIcon() {
    // Two small picture frames side by side: a stereo pair.
    QPixmap pm = Blank();
    QPainter p(&pm);
    for (int x0 : {0, 8}) {
        p.fillRect(x0, 3, 7, 9, QColor(0, 0, 128));
        p.fillRect(x0 + 1, 4, 5, 4, QColor(128, 192, 255));
        p.fillRect(x0 + 1, 8, 5, 3, QColor(176, 96, 48));
        p.setPen(QColor(96, 48, 16));
        p.drawPoint(x0 + 3, 7);
    }
    return QIcon(pm);
}

QIcon SwapImagesIcon() {
    // Two arrows, one to the right above one to the left.
    QPixmap pm = Blank();
    QPainter p(&pm);
    const QColor ink(0, 0, 0);
    p.setPen(ink);
    p.setBrush(ink);
    p.drawLine(1, 4, 11, 4);
    p.drawPolygon(QPolygon({QPoint(11, 1), QPoint(14, 4), QPoint(11, 7)}));
    p.drawLine(4, 10, 14, 10);
    p.drawPolygon(QPolygon({QPoint(4, 7), QPoint(1, 10), QPoint(4, 13)}));
    return QIcon(pm);
}
