#pragma once

#include "views/timeline.h"

#include <QFrame>

class CaptureStore;
class MessageModel;
class QScrollBar;
class RedrawThrottle;
class TimelineGraph;

// pictOscilograph: the time line under the message list. The zoom bar on top,
// the trace in the middle and the scroll bar at the bottom; the selected
// message row is at the left edge of the trace.
class TimeLinePanel final : public QFrame
{
    Q_OBJECT
  public:
    TimeLinePanel(CaptureStore &store, MessageModel &messages, QWidget *parent = nullptr);

    // The time-stamp rate of the current data base (ticks per second).
    void setCanTimer(double ticksPerSecond) { currentCanTimer = ticksPerSecond; }
    [[nodiscard]] double canTimer() const { return currentCanTimer; }

    // A capture or capture file is complete: zoom constants from its length,
    // zoom reset to the whole capture, scroll bar from the selection.
    void setScroll_Begin();
    // The scroll bar follows the selection and the zoom.
    void setScroll_View();
    // Draws the trace for the current selection, zoom and scroll position.
    void drawOscilograph();
    // Both bars to value and maximum 0 (a cleared capture), then a redraw.
    void clearScroll();

    // The view a drawing would use now (for tests and benchmarks).
    [[nodiscard]] timeline::View view() const;

    // ---- beyond the scroll bars ----
    // Something changed (the selection moved, frames came in): redrawn at
    // once or on the throttle's next tick, at most four times a second.
    void requestRedraw();
    [[nodiscard]] RedrawThrottle *redrawThrottle() const { return throttle; }
    // While capturing the trace is drawn live: the capture so far at the
    // current zoom, its newest frame at the right edge once it no longer
    // fits. After the capture the live picture stays until the user moves
    // the selection, the zoom or the trace.
    void setCapturing(bool capturing);
    [[nodiscard]] bool isLive() const { return live; }
    void leaveLive();
    // The view of the live picture.
    [[nodiscard]] timeline::View liveView() const;
    // The wheel at picture x: zoom around the pointer. A drag by dx pixels
    // moves the trace with the pointer. Both select the row as the scroll
    // bar does.
    void zoomAtPointer(double x, double notches);
    void panTrace(double dx);

    TimelineGraph *PictureGraph = nullptr;
    QScrollBar *FlatScrollBarScale = nullptr;
    QScrollBar *FlatScrollBarScrolling = nullptr;

    float graphLeft = 10;
    float graphTop = 15;
    timeline::TimeScale timeScale; // timeScaleBase and timeScaleStep
    float pixelsPerSecond = 0;
    bool updatingScroll = false;

  signals:
    // The scroll bar moved the selection to this 0-based row of the message
    // list: select it and scroll it into view.
    void rowSelected(int row);

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    void FlatScrollBarScale_Change();
    void FlatScrollBarScrolling_Change();
    void layoutPanel();
    // Selects the row for capture time `wanted` as the scroll bar does.
    void selectTime(qint64 wanted);
    void redraw();

    CaptureStore &store;
    MessageModel &messages;
    double currentCanTimer = 0;
    RedrawThrottle *throttle = nullptr;
    bool capturing = false;
    bool live = false;
    bool beginning = false; // setScroll_Begin resets the zoom: not the user
};
