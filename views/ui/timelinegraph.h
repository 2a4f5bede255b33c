#pragma once

#include "views/timeline.h"

#include <QFont>
#include <QWidget>

class QPainter;

// Paints a computed trace: bars, identifier labels, the millisecond grid, the
// two bottom labels, the time axis and the outline, on a cleared (white) picture.
void paintTimeline(QPainter &painter, const timeline::Picture &picture, const QFont &font);

// The drawing surface of the time line. It only paints the last picture it
// was given; a resize asks its owner for a new one.
class TimelineGraph final : public QWidget
{
    Q_OBJECT
  public:
    explicit TimelineGraph(QWidget *parent = nullptr);

    void setPicture(timeline::Picture picture);
    [[nodiscard]] const timeline::Picture &picture() const { return shown; }
    // Width of the text "000" in the label font, in pixels.
    [[nodiscard]] float labelWidth() const;

  signals:
    void resized();
    // The wheel turned by `notches` (positive: away from the user) at x.
    void wheelTurned(double x, double notches);
    // The left button dragged the trace by dx pixels since the last report.
    void dragged(double dx);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    timeline::Picture shown;
    double dragFrom = 0;
    bool dragging = false;
};
