#include "widgets/toolbaricons.h"

#include "widgets/drawnicon.h"

#include <QPainter>
#include <QPainterPath>

#include <iterator>

namespace {

// Drawn on a 16 x 16 grid and rendered at several sizes.

using Draw = void (*)(QPainter &);

const QColor ink(0x30, 0x30, 0x30);
const QColor blue(0x20, 0x4a, 0x87);
const QColor green(0x2e, 0x8b, 0x2e);
const QColor red(0xcc, 0x1f, 0x1f);
const QColor amber(0xc8, 0x7d, 0x00);

QPen line(const QColor &colour, qreal width = 1.2)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QIcon paintedIcon(Draw draw)
{
    return drawnIcon(draw, {16, 20, 24, 32, 48});
}

// The two wires of the bus along the bottom edge.
void drawBus(QPainter &p)
{
    p.setPen(line(ink, 1.1));
    p.drawLine(QPointF(1, 12.5), QPointF(15, 12.5));
    p.drawLine(QPointF(1, 14.8), QPointF(15, 14.8));
}

// A vertical arrow from y0 to y1 (the head at y1) at x.
void drawArrow(QPainter &p, qreal x, qreal y0, qreal y1, const QColor &colour)
{
    const qreal dir = y1 > y0 ? 1 : -1;
    p.setPen(line(colour, 2));
    p.drawLine(QPointF(x, y0), QPointF(x, y1 - dir * 2.5));
    QPainterPath head;
    head.moveTo(x, y1);
    head.lineTo(x - 3, y1 - dir * 3.5);
    head.lineTo(x + 3, y1 - dir * 3.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
}

void drawSquareWave(QPainter &p, const QColor &colour)
{
    p.setPen(line(colour, 1.5));
    p.setBrush(Qt::NoBrush);
    const QPointF wave[] = {{1, 11}, {3.5, 11}, {3.5, 4}, {7, 4}, {7, 11}, {9, 11}, {9, 4}, {11.5, 4}, {11.5, 7}};
    p.drawPolyline(wave, int(std::size(wave)));
}

void drawNew(QPainter &p)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(13, 5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.setPen(line(ink));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xdd, 0xdd, 0xdd));
    const QPointF fold[] = {{9.5, 1.5}, {9.5, 5}, {13, 5}};
    p.drawPolygon(fold, 3);
}

void drawSave(QPainter &p)
{
    p.setPen(line(ink));
    p.setBrush(QColor(0x34, 0x65, 0xa4));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.2, 1.2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1.5, 8, 5.5));
    p.setBrush(QColor(0xcc, 0xcc, 0xcc));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    p.setBrush(ink);
    p.drawRect(QRectF(9, 10.5, 1.5, 3));
}

void drawOpen(QPainter &p)
{
    p.setPen(line(ink));
    p.setBrush(QColor(0xd9, 0xa4, 0x41));
    const QPointF back[] = {{1, 3}, {6, 3}, {7.5, 4.8}, {13.5, 4.8}, {13.5, 14}, {1, 14}};
    p.drawPolygon(back, int(std::size(back)));
    p.setBrush(QColor(0xfc, 0xd9, 0x75));
    const QPointF front[] = {{1, 14}, {3.5, 7.5}, {15.5, 7.5}, {13.5, 14}};
    p.drawPolygon(front, int(std::size(front)));
}

void drawTest(QPainter &p)
{
    p.setPen(line(QColor(0x6b, 0x4a, 0x1e), 2.6));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(line(blue, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(6.5, 6.5), 5, 5);
    p.setPen(line(green, 1.2));
    const QPointF wave[] = {{3, 8}, {4.8, 8}, {4.8, 5}, {8, 5}, {8, 8}, {10, 8}};
    p.drawPolyline(wave, int(std::size(wave)));
}

void drawReset(QPainter &p)
{
    p.setPen(line(red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 290 * 16);
    QPainterPath head;
    head.moveTo(6.2, 0.6);
    head.lineTo(10.2, 3.2);
    head.lineTo(5.8, 5.4);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawPath(head);
}

void drawStandby(QPainter &p)
{
    p.setPen(line(amber, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
    p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
}

void drawListen(QPainter &p)
{
    drawBus(p);
    drawArrow(p, 8, 11, 1.5, blue);
}

void drawEnable(QPainter &p)
{
    drawBus(p);
    drawArrow(p, 5, 11, 1.5, blue);
    drawArrow(p, 11, 1.5, 11, green);
}

void drawCapture1(QPainter &p)
{
    drawSquareWave(p, blue);
    p.setPen(line(Qt::white, 1));
    p.setBrush(red);
    p.drawEllipse(QPointF(11.8, 11.8), 3.6, 3.6);
}

void drawCapture2(QPainter &p)
{
    drawSquareWave(p, green);
    p.setPen(line(Qt::white, 1));
    p.setBrush(red);
    p.drawRect(QRectF(8.5, 8.5, 6.5, 6.5));
}

void drawSend(QPainter &p)
{
    drawBus(p);
    p.setPen(line(ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 8.5, 6));
    const QPointF flap[] = {{1.5, 1.5}, {5.75, 5}, {10, 1.5}};
    p.drawPolyline(flap, 3);
    drawArrow(p, 12.5, 1.5, 11, green);
}

void drawCheck(QPainter &p)
{
    p.setPen(line(green, 2.6));
    p.setBrush(Qt::NoBrush);
    const QPointF tick[] = {{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}};
    p.drawPolyline(tick, 3);
}

} // namespace

QHash<QString, QIcon> toolBarIcons()
{
    return {
        {QStringLiteral("CaptureNew"), paintedIcon(drawNew)},
        {QStringLiteral("CaptureSave"), paintedIcon(drawSave)},
        {QStringLiteral("CaptureOpen"), paintedIcon(drawOpen)},
        {QStringLiteral("TestCAN"), paintedIcon(drawTest)},
        {QStringLiteral("ResetCAN"), paintedIcon(drawReset)},
        {QStringLiteral("StandbyCAN"), paintedIcon(drawStandby)},
        {QStringLiteral("ListenCAN"), paintedIcon(drawListen)},
        {QStringLiteral("EnableCAN"), paintedIcon(drawEnable)},
        {QStringLiteral("CaptureCAN1"), paintedIcon(drawCapture1)},
        {QStringLiteral("CaptureCAN2"), paintedIcon(drawCapture2)},
        {QStringLiteral("SendCAN"), paintedIcon(drawSend)},
        {QStringLiteral("Check"), paintedIcon(drawCheck)},
    };
}
