// The pictures of the about box, drawn in code: the product family's picture
// (an ostrich-like bird under the name "Ostrel") and the program icon (a
// decaying tone burst, the sound the program measures).
#include "services/about_box.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ravlon {

QImage DrawFamilyPicture(bool palette256) {
    QImage image(153, 225, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 225);
    sky.setColorAt(0, QColor(24, 48, 110));
    sky.setColorAt(0.62, QColor(222, 150, 70));
    sky.setColorAt(0.63, QColor(150, 110, 50));
    sky.setColorAt(1, QColor(96, 70, 36));
    p.fillRect(image.rect(), sky);

    // Sun behind the horizon.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 214, 120));
    p.drawEllipse(QPointF(112, 140), 22, 22);
    p.fillRect(QRectF(0, 141, 153, 84), QColor(120, 88, 44));

    // The bird: body, tail, neck, head, beak, legs.
    const QColor feather(30, 26, 24);
    p.setBrush(feather);
    p.drawEllipse(QRectF(34, 108, 66, 42));
    QPainterPath tail;
    tail.moveTo(38, 122);
    tail.cubicTo(18, 108, 14, 128, 26, 140);
    tail.lineTo(40, 136);
    p.drawPath(tail);
    p.setBrush(QColor(238, 236, 230));
    p.drawEllipse(QRectF(44, 116, 30, 16)); // wing feathers
    p.setPen(QPen(QColor(200, 150, 130), 5, Qt::SolidLine, Qt::RoundCap));
    QPainterPath neck;
    neck.moveTo(92, 118);
    neck.cubicTo(104, 96, 92, 70, 100, 48);
    p.setBrush(Qt::NoBrush);
    p.drawPath(neck);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 150, 130));
    p.drawEllipse(QRectF(94, 38, 16, 13));
    p.setBrush(QColor(240, 190, 90));
    QPolygonF beak;
    beak << QPointF(108, 42) << QPointF(122, 46) << QPointF(108, 49);
    p.drawPolygon(beak);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(104, 43), 1.6, 1.6);
    p.setPen(QPen(QColor(200, 150, 130), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(58, 146), QPointF(52, 178));
    p.drawLine(QPointF(52, 178), QPointF(60, 200));
    p.drawLine(QPointF(76, 146), QPointF(84, 176));
    p.drawLine(QPointF(84, 176), QPointF(80, 200));
    p.drawLine(QPointF(60, 200), QPointF(68, 201));
    p.drawLine(QPointF(80, 200), QPointF(88, 201));

    QFont font(QStringLiteral("Serif"), 20);
    font.setBold(true);
    font.setItalic(true);
    p.setFont(font);
    p.setPen(QColor(255, 244, 214));
    p.drawText(QRect(0, 4, 153, 32), Qt::AlignCenter, QStringLiteral("Ostrel"));
    p.end();

    if (!palette256) return image;
    // The family picture is a 256-colour bitmap; keep it one.
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

QImage DrawProgramIcon() {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(235, 240, 250));
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 4, 4);
    QPainterPath wave;
    wave.moveTo(3, 16);
    for (int x = 3; x <= 29; ++x) {
        const double t = (x - 3) / 26.0;
        wave.lineTo(x, 16 - 12 * std::exp(-3.5 * t) * std::sin(t * 2 * M_PI * 5));
    }
    p.setPen(QPen(QColor(190, 30, 30), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.end();
    return image;
}

} // namespace ravlon
