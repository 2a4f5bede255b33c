#pragma once

#include "views/timeline.h"

#include <QFrame>

class CaptureStore;
class MessageModel;
class QScrollBar;
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

    CaptureStore &store;
    MessageModel &messages;
    double currentCanTimer = 0;
};
