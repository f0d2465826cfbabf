#include "app/MastPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void DrawSkyAndGround(QPainter& p) {
    QLinearGradient sky(0, 0, 0, 48);
    sky.setColorAt(0.0, QColor(196, 160, 128));
    sky.setColorAt(1.0, QColor(232, 196, 160));
    p.fillRect(QRectF(0, 0, kMastPictureWidth, 50), sky);

    QPainterPath ground;
    ground.moveTo(0, 50);
    ground.cubicTo(30, 44, 60, 52, 104, 46);
    ground.lineTo(104, 70);
    ground.lineTo(0, 70);
    ground.closeSubpath();
    QLinearGradient soil(0, 44, 0, 70);
    soil.setColorAt(0.0, QColor(170, 100, 60));
    soil.setColorAt(1.0, QColor(120, 64, 36));
    p.fillPath(ground, soil);

    // A few rocks on the plain.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 52, 32));
    p.drawEllipse(QRectF(8, 58, 9, 4));
    p.drawEllipse(QRectF(80, 60, 12, 5));
    p.drawEllipse(QRectF(92, 52, 5, 2.5));
}

void DrawCameraEye(QPainter& p, const QPointF& centre, double radius) {
    p.setBrush(QColor(30, 30, 36));
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(90, 110, 150));
    p.drawEllipse(centre, radius * 0.45, radius * 0.45);
}

void DrawMast(QPainter& p) {
    const QColor metal(205, 205, 210);
    const QColor shade(140, 140, 150);
    p.setPen(QPen(QColor(60, 60, 66), 0.8));

    // Deck edge of the rover at the bottom.
    p.setBrush(shade);
    p.drawRect(QRectF(30, 62, 50, 8));
    // The mast tube and its deployment hinge.
    p.setBrush(metal);
    p.drawRect(QRectF(50, 24, 6, 40));
    p.setBrush(shade);
    p.drawEllipse(QPointF(53, 60), 4.5, 4.5);
    // Elevation drive under the head.
    p.drawRect(QRectF(46, 20, 14, 6));
    // The camera bar: a wide box holding two stereo pairs.
    p.setBrush(metal);
    p.drawRoundedRect(QRectF(22, 8, 62, 13), 2, 2);
    p.setPen(Qt::NoPen);
    DrawCameraEye(p, QPointF(29, 14.5), 3.2); // left Pancam
    DrawCameraEye(p, QPointF(77, 14.5), 3.2); // right Pancam
    DrawCameraEye(p, QPointF(45, 14.5), 2.4); // left Navcam
    DrawCameraEye(p, QPointF(61, 14.5), 2.4); // right Navcam
    // Calibration target on the deck.
    p.setBrush(QColor(240, 240, 240));
    p.drawRect(QRectF(68, 57, 6, 5));
    p.setBrush(QColor(200, 40, 40));
    p.drawRect(QRectF(68, 57, 3, 2.5));
    p.setBrush(QColor(40, 90, 200));
    p.drawRect(QRectF(71, 59.5, 3, 2.5));
}

} // namespace

QPixmap MastPicture() {
    QPixmap pixmap(kMastPictureWidth, kMastPictureHeight);
    pixmap.fill(Qt::black);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawSkyAndGround(p);
    DrawMast(p);
    return pixmap;
}
