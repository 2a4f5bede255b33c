#include "widgets/treeicons.h"

#include "core/values.h"
#include "widgets/drawnicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A data base: a cylinder.
void drawCan(QPainter &p)
{
    const QColor body(0x4a, 0x7a, 0xb5);
    p.setPen(QPen(QColor(0x22, 0x3d, 0x66), 1));
    p.setBrush(body);
    QPainterPath side;
    side.moveTo(2.5, 4);
    side.lineTo(2.5, 12.5);
    side.arcTo(QRectF(2.5, 10.5, 11, 4), 180, 180);
    side.lineTo(13.5, 4);
    side.closeSubpath();
    p.drawPath(side);
    p.setBrush(QColor(0xa9, 0xc8, 0xef));
    p.drawEllipse(QRectF(2.5, 2, 11, 4));
    p.setPen(QPen(QColor(0xd8, 0xe6, 0xf7), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 6, 11, 4), 180 * 16, 180 * 16);
}

// A device: a chip with pins.
void drawChip(QPainter &p, const QColor &body)
{
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
    for (const qreal y : {4.5, 8.0, 11.5}) {
        p.drawLine(QPointF(1, y), QPointF(3.5, y));
        p.drawLine(QPointF(12.5, y), QPointF(15, y));
    }
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3.5, 2.5, 9, 11), 1.2, 1.2);
    p.setBrush(QColor(0xee, 0xee, 0xee));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(5.6, 4.6), 0.9, 0.9);
}

void drawDevice(QPainter &p)
{
    drawChip(p, QColor(0x60, 0x60, 0x60));
}

// The default device, which receives identifiers added without a choice:
// the chip with an arrow going in.
void drawDeviceDef(QPainter &p)
{
    drawChip(p, QColor(0x2e, 0x7d, 0x32));
    QPainterPath arrow;
    arrow.moveTo(8, 11.5);
    arrow.lineTo(5.5, 8);
    arrow.lineTo(7, 8);
    arrow.lineTo(7, 5);
    arrow.lineTo(9, 5);
    arrow.lineTo(9, 8);
    arrow.lineTo(10.5, 8);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xee, 0x58));
    p.drawPath(arrow);
}

} // namespace

namespace treeicons {

QIcon dataBase()
{
    return drawnIcon(drawCan, {16, 24, 32});
}

QIcon device()
{
    return drawnIcon(drawDevice, {16, 24, 32});
}

QIcon defaultDevice()
{
    return drawnIcon(drawDeviceDef, {16, 24, 32});
}

QIcon swatch(quint32 colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(QColor::fromRgb(rgbFromColour(colour)));
    painter.drawRect(QRect(1, 2, 13, 12));
    painter.end();
    return QIcon(pixmap);
}

} // namespace treeicons
