#include "views/ui/timelinepanel.h"

#include "core/capturestore.h"
#include "views/mainlayout.h"
#include "views/messagemodel.h"
#include "views/redrawthrottle.h"
#include "views/ui/timelinegraph.h"

#include <QScrollBar>

TimeLinePanel::TimeLinePanel(CaptureStore &store, MessageModel &messages, QWidget *parent)
    : QFrame(parent), store(store), messages(messages)
{
    setObjectName(QStringLiteral("pictOscilograph"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    FlatScrollBarScale = new QScrollBar(Qt::Horizontal, this);
    FlatScrollBarScale->setObjectName(QStringLiteral("FlatScrollBarScale"));
    FlatScrollBarScale->setToolTip(QStringLiteral("Zoom"));
    PictureGraph = new TimelineGraph(this);
    FlatScrollBarScrolling = new QScrollBar(Qt::Horizontal, this);
    FlatScrollBarScrolling->setObjectName(QStringLiteral("FlatScrollBarScrolling"));
    for (QScrollBar *bar : {FlatScrollBarScale, FlatScrollBarScrolling}) {
        bar->setRange(0, 0);
        bar->setSingleStep(1);
    }

    connect(FlatScrollBarScale, &QScrollBar::valueChanged, this, &TimeLinePanel::FlatScrollBarScale_Change);
    connect(FlatScrollBarScrolling, &QScrollBar::valueChanged, this, &TimeLinePanel::FlatScrollBarScrolling_Change);
    connect(PictureGraph, &TimelineGraph::resized, this, &TimeLinePanel::drawOscilograph);
    connect(PictureGraph, &TimelineGraph::wheelTurned, this, &TimeLinePanel::zoomAtPointer);
    connect(PictureGraph, &TimelineGraph::dragged, this, &TimeLinePanel::panTrace);
    throttle = new RedrawThrottle([this] { redraw(); }, this);
}

void TimeLinePanel::setScroll_Begin()
{
    timeScale = timeline::scaleForCapture(store.lastFrameTime, store.lastFrameDuration, currentCanTimer);
    updatingScroll = true;
    FlatScrollBarScale->setRange(0, timeline::scaleMaximum);
    FlatScrollBarScale->setSingleStep(1);
    FlatScrollBarScale->setPageStep(timeline::scaleLargeChange);
    updatingScroll = false;
    // A zoom already at 0 sends no change, so the scroll bar is set here too.
    beginning = true;
    FlatScrollBarScale->setValue(0);
    beginning = false;
    setScroll_View();
}

void TimeLinePanel::setScroll_View()
{
    updatingScroll = true;
    const timeline::ScrollBar bar =
        timeline::scrollForSelection(FlatScrollBarScale->value(), store.selectedTime, store.lastFrameTime);
    FlatScrollBarScrolling->setRange(0, bar.maximum);
    if (bar.maximum != 0)
        FlatScrollBarScrolling->setValue(bar.value);
    FlatScrollBarScrolling->setSingleStep(bar.smallChange);
    FlatScrollBarScrolling->setPageStep(bar.largeChange);
    updatingScroll = false;
}

void TimeLinePanel::clearScroll()
{
    updatingScroll = true;
    for (QScrollBar *bar : {FlatScrollBarScale, FlatScrollBarScrolling}) {
        bar->setValue(0);
        bar->setRange(0, 0);
    }
    updatingScroll = false;
    drawOscilograph();
}

timeline::View TimeLinePanel::view() const
{
    timeline::View v;
    v.graphLeft = graphLeft;
    v.graphTop = graphTop;
    v.width = PictureGraph->width();
    v.height = PictureGraph->height();
    v.scaleValue = FlatScrollBarScale->value();
    v.scaleMaximum = FlatScrollBarScale->maximum();
    v.scale = timeScale;
    v.currentCanTimer = currentCanTimer;
    v.selectedTime = store.selectedTime;
    v.selectedDuration = store.selectedDuration;
    const int row = store.currentRow - 1;
    v.selectedFrame = row >= 0 && row < messages.count() ? messages.frameIndex(row) + 1 : 0;
    v.lastFrameTime = store.lastFrameTime;
    v.minFrameDuration = store.minFrameDuration;
    v.labelWidth = PictureGraph->labelWidth();
    v.pixelsPerSecond = pixelsPerSecond;
    return v;
}

timeline::View TimeLinePanel::liveView() const
{
    timeline::View v = view();
    // A new capture starts with both bars cleared: the whole capture so far.
    if (v.scaleMaximum <= 0) {
        v.scaleMaximum = timeline::scaleMaximum;
        v.scaleValue = 0;
    }
    v.scale = timeline::scaleForCapture(store.lastFrameTime, store.lastFrameDuration, currentCanTimer);
    v.selectedDuration = 0;
    v.selectedTime = timeline::liveStart(v, store.lastFrameDuration);
    // The first frame at or after the start (a capture's times rise).
    qsizetype low = 0, high = store.count();
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        const clsFrame &f = store.frame(mid);
        if (f.Time.value_or(f.TimeStamp) < v.selectedTime)
            low = mid + 1;
        else
            high = mid;
    }
    v.selectedFrame = low < store.count() ? low + 1 : 0;
    return v;
}

void TimeLinePanel::requestRedraw()
{
    throttle->request();
}

void TimeLinePanel::redraw()
{
    if (!live)
        setScroll_View();
    drawOscilograph();
}

void TimeLinePanel::setCapturing(bool on)
{
    capturing = on;
    if (on)
        live = true;
    else
        requestRedraw();
}

void TimeLinePanel::leaveLive()
{
    if (capturing || !live)
        return;
    live = false;
    requestRedraw();
}

void TimeLinePanel::drawOscilograph()
{
    if (PictureGraph->isHidden())
        return;
    timeline::Picture picture =
        timeline::drawOscilograph(live ? liveView() : view(), store.spans(), [this](qint32 keyNumber) {
            const IdFilter *filter = store.idFilter();
            return filter ? filter->isShown(keyNumber) : true;
        });
    pixelsPerSecond = picture.pixelsPerSecond;
    PictureGraph->setPicture(std::move(picture));
}

void TimeLinePanel::FlatScrollBarScale_Change()
{
    if (updatingScroll)
        return;
    if (!beginning)
        leaveLive();
    setScroll_View();
    drawOscilograph();
}

void TimeLinePanel::FlatScrollBarScrolling_Change()
{
    if (updatingScroll)
        return;
    leaveLive();
    selectTime(timeline::timeForScroll(FlatScrollBarScrolling->value(), FlatScrollBarScrolling->maximum(),
                                       store.lastFrameTime));
}

void TimeLinePanel::zoomAtPointer(double x, double notches)
{
    if (capturing)
        return;
    const timeline::Zoom zoom = timeline::zoomAt(live ? liveView() : view(), x, notches);
    live = false;
    updatingScroll = true;
    FlatScrollBarScale->setValue(zoom.scaleValue);
    updatingScroll = false;
    selectTime(zoom.selectedTime);
    setScroll_View();
    drawOscilograph();
}

void TimeLinePanel::panTrace(double dx)
{
    if (capturing)
        return;
    const qint64 wanted = timeline::panBy(live ? liveView() : view(), dx);
    live = false;
    selectTime(wanted);
    setScroll_View();
    drawOscilograph();
}

void TimeLinePanel::selectTime(qint64 wanted)
{
    store.selectedTime = wanted;
    const int rows = messages.count();
    if (rows == 0)
        return;
    const timeline::ScrollSelection selection =
        timeline::rowForTime(wanted, rows, [this](int row) { return messages.rowFrame(row - 1).Time.value_or(0); });
    store.currentRow = selection.currentRow;
    store.selectedTime = selection.selectedTime;
    emit rowSelected(store.currentRow - 1);
    drawOscilograph();
}

void TimeLinePanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    layoutPanel();
}

void TimeLinePanel::layoutPanel()
{
    const QRect inner = contentsRect();
    const int scaleHeight = FlatScrollBarScale->sizeHint().height();
    const int scrollHeight = FlatScrollBarScrolling->sizeHint().height();
    FlatScrollBarScale->setGeometry(inner.left(), inner.top(), inner.width(), scaleHeight);
    FlatScrollBarScrolling->setGeometry(inner.left(), inner.bottom() + 1 - scrollHeight, inner.width(), scrollHeight);
    const int free = inner.height() - scaleHeight - scrollHeight;
    if (free > twipsToPixels(500, logicalDpiY())) {
        PictureGraph->setGeometry(inner.left(), inner.top() + scaleHeight, inner.width(), free);
        PictureGraph->show();
    } else {
        PictureGraph->hide();
    }
}
