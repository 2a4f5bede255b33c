// The time line panel: zoom and scroll bars over a store and its message list.
#include "core/capturestore.h"
#include "views/messagemodel.h"
#include "views/timeline.h"
#include "views/ui/timelinegraph.h"
#include "views/ui/timelinepanel.h"
#include "support/testregistry.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace timeline;

class tst_TimeLinePanel : public QObject
{
    Q_OBJECT

private slots:
    // At the scroll bar's end the selected time is the last frame's and the row
    // before the last one is selected; at zoom 0 there is nothing to scroll.
    void scrollingMovesTheSelection()
    {
        CaptureStore store;
        for (const qint64 stamp : {0x1000, 0x1400, 0x2000, 0x3000}) {
            clsFrame f;
            f.ID.StdPart = 0x123;
            f.TimeStamp = stamp;
            f.Time = stamp;
            f.Duration = 0.0001;
            store.addListFrames(f);
        }
        MessageModel messages(store);
        messages.rebuild();
        TimeLinePanel panel(store, messages);
        panel.resize(620, 200);
        panel.show();
        panel.setCanTimer(1000000);
        store.currentRow = 1;
        panel.setScroll_Begin();
        QCOMPARE((QList<int>{panel.FlatScrollBarScale->maximum(), panel.FlatScrollBarScale->value(),
                             panel.FlatScrollBarScrolling->maximum()}),
                 (QList<int>{scaleMaximum, 0, 0}));
        QVERIFY(panel.timeScale.timeScaleBase > 0);
        panel.FlatScrollBarScale->setValue(3000);
        QCOMPARE((QList<int>{panel.FlatScrollBarScrolling->maximum(), panel.FlatScrollBarScrolling->value(),
                             panel.FlatScrollBarScrolling->pageStep()}),
                 (QList<int>{3000, 0, 11}));

        QSignalSpy selected(&panel, &TimeLinePanel::rowSelected);
        panel.FlatScrollBarScrolling->setValue(3000);
        QCOMPARE((QList<qint64>{store.selectedTime, store.currentRow, selected.size()}), (QList<qint64>{0x2000, 3, 1}));
        QCOMPARE(selected.at(0).at(0).toInt(), 2);
        QVERIFY(panel.PictureGraph->picture().framesDrawn);

        // Half way: 0x1000 ticks; the first row at or after it is row 3, so row 2.
        panel.FlatScrollBarScrolling->setValue(1500);
        QCOMPARE((QList<qint64>{store.selectedTime, store.currentRow}), (QList<qint64>{0x1000, 2}));

        // The program setting the bar moves nothing.
        panel.setScroll_View();
        QCOMPARE(selected.size(), 2);

        panel.clearScroll();
        QCOMPARE(panel.FlatScrollBarScale->maximum() + panel.FlatScrollBarScrolling->maximum(), 0);
    }

    // The wheel over the trace zooms around the pointer and a drag pans, both
    // selecting the row as the scroll bar does; the scroll bar follows. While
    // capturing the trace is live and neither moves it.
    void wheelAndDrag()
    {
        CaptureStore store;
        for (int i = 0; i < 40; ++i) {
            clsFrame f;
            f.ID.StdPart = 0x100 + i;
            f.TimeStamp = i * 0x1000;
            f.Duration = 0.0001;
            store.addListFrames(f);
        }
        MessageModel messages(store);
        messages.rebuild();
        TimeLinePanel panel(store, messages);
        panel.resize(620, 200);
        panel.show();
        panel.setCanTimer(1000000);
        store.currentRow = 1;
        panel.setScroll_Begin();
        TimelineGraph *graph = panel.PictureGraph;
        const auto turn = [graph](double x, int delta) {
            QWheelEvent wheel(QPointF(x, 40), graph->mapToGlobal(QPointF(x, 40)), {}, QPoint(0, delta), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(graph, &wheel);
        };
        QSignalSpy selected(&panel, &TimeLinePanel::rowSelected);
        turn(300, 3 * 120);
        const int zoom = panel.FlatScrollBarScale->value();
        QVERIFY(zoom > 0);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(store.currentRow, selected.at(0).at(0).toInt() + 1);
        QCOMPARE(panel.FlatScrollBarScrolling->value(),
                 scrollForSelection(zoom, store.selectedTime, store.lastFrameTime).value);

        const qint64 before = store.selectedTime;
        QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(300, 40));
        QTest::mouseMove(graph, QPoint(200, 40));
        QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(200, 40));
        QVERIFY(store.selectedTime > before); // dragged to the left: later frames
        QCOMPARE(selected.size(), 2);
        turn(300, -3 * 120);
        QVERIFY(panel.FlatScrollBarScale->value() < zoom);

        panel.setCapturing(true);
        QVERIFY(panel.isLive());
        const int live = panel.FlatScrollBarScale->value();
        turn(300, 120);
        QCOMPARE(panel.FlatScrollBarScale->value(), live);
        panel.setCapturing(false);
        panel.FlatScrollBarScale->setValue(live + 10); // the user: no longer live
        QVERIFY(!panel.isLive());
    }
};

TESSEL_TEST(tst_TimeLinePanel)
#include "tst_timelinepanel.moc"
