#include "views/ui/timelinegraph.h"

#include "core/values.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

const QColor grey(0x80, 0x80, 0x80);

void drawText(QPainter &painter, const QFontMetricsF &metrics, const timeline::Label &label)
{
    painter.drawText(QPointF(label.x, label.y + metrics.ascent()), label.text);
}

} // namespace

void paintTimeline(QPainter &painter, const timeline::Picture &picture, const QFont &font)
{
    painter.fillRect(painter.viewport(), Qt::white);
    const int height = picture.bottom - picture.top + 1;
    for (const timeline::Bar &bar : picture.bars)
        painter.fillRect(QRect(bar.x0, picture.top, bar.x1 - bar.x0 + 1, height), QColor(rgbFromColour(bar.colour)));

    painter.setFont(font);
    const QFontMetricsF metrics(font);
    painter.setPen(Qt::black);
    for (const timeline::Label &label : picture.idLabels)
        drawText(painter, metrics, label);

    if (!picture.gridX.empty()) {
        painter.setPen(QPen(grey, 0, Qt::DotLine));
        for (const float x : picture.gridX)
            painter.drawLine(QPointF(x, picture.graphBottom), QPointF(x, picture.graphTop));
    }

    painter.setPen(Qt::black);
    for (const timeline::Label &label : picture.bottomLabels)
        drawText(painter, metrics, label);
    for (const float x : picture.axisTicksX)
        painter.drawLine(QPointF(x, picture.graphBottom), QPointF(x, picture.graphBottom - 4));
    painter.setPen(grey);
    for (const timeline::Label &label : picture.axisLabels)
        drawText(painter, metrics, label);

    painter.setPen(QPen(grey, 0, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    const QPointF outline[] = {{picture.graphLeft, picture.graphBottom},
                               {picture.graphLeft, picture.graphTop},
                               {picture.graphRight, picture.graphTop},
                               {picture.graphRight, picture.graphBottom},
                               {picture.graphLeft, picture.graphBottom}};
    painter.drawPolyline(outline, 5);
}

TimelineGraph::TimelineGraph(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PictureGraph"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
}

void TimelineGraph::setPicture(timeline::Picture picture)
{
    shown = std::move(picture);
    update();
}

float TimelineGraph::labelWidth() const
{
    return float(QFontMetricsF(font()).horizontalAdvance(QStringLiteral("000")));
}

void TimelineGraph::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintTimeline(painter, shown, font());
}

void TimelineGraph::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    emit resized();
}

void TimelineGraph::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    emit wheelTurned(event->position().x(), double(delta) / 120.0);
    event->accept();
}

void TimelineGraph::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragFrom = event->position().x();
        dragging = true;
        setCursor(Qt::ClosedHandCursor);
    }
}

void TimelineGraph::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging)
        return;
    const double x = event->position().x();
    if (x != dragFrom) {
        emit dragged(x - dragFrom);
        dragFrom = x;
    }
}

void TimelineGraph::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && dragging) {
        dragging = false;
        unsetCursor();
    }
}
