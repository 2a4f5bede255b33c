// The time line panel: zoom and scroll bars over a store and its message list.
#include "core/capturestore.h"
#include "views/messagemodel.h"
#include "views/timeline.h"
#include "views/ui/timelinegraph.h"
#include "views/ui/timelinepanel.h"
#include "support/testregistry.h"

#include <QScrollBar>
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
};

TESSEL_TEST(tst_TimeLinePanel)
#include "tst_timelinepanel.moc"
