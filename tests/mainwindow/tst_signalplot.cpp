// The Signal Plot dock in the main window: signals added from the Signals
// dock, the cursor and the time line following the message list however its
// row moves, a click on the plot selecting the nearest frame's row, live
// growth while capturing, and the exports.
#include "support/testregistry.h"
#include "views/ui/plotdock.h"

#include "link/capturecontrol.h"
#include "support/signalbench.h"
#include "views/capturedocument.h"
#include "views/monitorlist.h"
#include "views/plotmodel.h"
#include "views/redrawthrottle.h"
#include "views/ui/frmmain.h"
#include "views/ui/messageviews.h"
#include "views/ui/signaldock.h"
#include "views/ui/timelinegraph.h"
#include "views/ui/timelinepanel.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <qcustomplot.h>

class tst_SignalPlot : public QObject, SignalBench
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(reset()); }
    void cleanup() { seed.reset(); }

    // The arrow keys move the cursor and the time line; a click on the plot
    // selects the row of the nearest frame, and the time line goes there too.
    void cursorAndRowBothWays()
    {
        auto window = start(QSize(1000, 700));
        capture(*window, {100, 200, 300, 400, 500}, 10000, true);
        MessageViews &views = *part<MessageViews>(*window);
        views.captureClosed(); // what Stop does
        PlotModel &model = *views.plotModel();
        PlotDock *dock = part<PlotDock>(*window);
        QVERIFY(!dock->isVisible());
        emit part<SignalDock>(*window)->plotRequested(0x123, 0);
        emit part<SignalDock>(*window)->plotRequested(0x123, 1);
        QVERIFY(dock->isVisible() && part<QAction>(*window, "mnuViewPlot")->isChecked());
        QCOMPARE(model.curves().size(), size_t(2));
        QCOMPARE(model.curves()[0].series.size(), qsizetype(5));
        QCOMPARE(dock->plot()->graphCount(), 2);
        QCOMPARE(dock->plot()->graph(0)->dataCount(), 5);

        CaptureStore &store = window->document().store();
        const double tick = 1.0 / views.timeLine()->canTimer();
        QTreeView *list = part<QTreeView>(*window, "lvListViewMessages");
        list->setFocus();
        list->setCurrentIndex(list->model()->index(0, 0));
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 2);
        QCOMPARE(model.cursorSeconds(), 20000 * tick);
        QCOMPARE((QList<qint64>{store.currentRow, store.selectedTime}), (QList<qint64>{3, 20000}));
        views.timeLine()->redrawThrottle()->timer_Timer();
        QVERIFY(views.timeLine()->PictureGraph->picture().framesDrawn);

        dock->plot()->replot();
        QCustomPlot *plot = dock->plot();
        // Low in the trace: the legend sits in its upper right corner.
        const QPoint at(int(plot->xAxis->coordToPixel(39000 * tick)), plot->axisRect()->bottom() - 3);
        QVERIFY(plot->legend->selectTest(at, false) < 0);
        QTest::mouseClick(plot, Qt::LeftButton, {}, at);
        QCOMPARE(list->currentIndex().row(), 4);
        QCOMPARE(model.cursorSeconds(), 40000 * tick);
        QCOMPARE(store.currentRow, 5);
    }

    // While capturing the time line is drawn live, at most four times a
    // second (the plot's own throttle is tested with its model), and after
    // the capture until the user moves the row.
    void liveTimeLine()
    {
        auto window = start(QSize(1000, 700));
        MessageViews &views = *part<MessageViews>(*window);
        TimeLinePanel &timeLine = *views.timeLine();
        window->document().setCapturing(true);
        QVERIFY(timeLine.isLive());
        capture(*window, {1, 2}, 10000, true);
        capture(*window, {3}, 10000, true);
        QVERIFY(timeLine.redrawThrottle()->isDue());
        timeLine.redrawThrottle()->timer_Timer();
        QVERIFY(!timeLine.redrawThrottle()->isDue());
        // The live picture reaches the newest frame although no setScroll_Begin ran.
        const timeline::Picture &picture = timeLine.PictureGraph->picture();
        QVERIFY(picture.framesDrawn && !picture.bars.empty());
        QVERIFY(picture.bars.back().x1 >= int(picture.graphRight) - 1);

        window->document().setCapturing(false);
        QVERIFY(timeLine.isLive());
        QTreeView *list = part<QTreeView>(*window, "lvListViewMessages");
        list->setCurrentIndex(list->model()->index(1, 0));
        QVERIFY(!timeLine.isLive());
    }

    // Monitor › ID › Add to Plot plots every field of the identifier. PNG,
    // SVG and CSV land in the named files; a file that cannot be written is
    // reported, not passed over.
    void exports()
    {
        auto window = start(QSize(1000, 700));
        capture(*window, {100, 200}, 10000, true);
        QTreeView *monitor = part<QTreeView>(*window, "lvListViewID");
        const QModelIndex row = monitor->model()->index(part<MonitorList>(*window)->rowOf(0x123), 1);
        QTest::mouseClick(monitor->viewport(), Qt::LeftButton, {}, monitor->visualRect(row).center());
        part<QAction>(*window, "mnuMonitor_ID_Plot")->trigger();
        PlotDock *dock = part<PlotDock>(*window);
        QCOMPARE(dock->plot()->graphCount(), 2);
        QTemporaryDir dir;
        prompts.fileNames = {dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b.svg")),
                             dir.filePath(QStringLiteral("c.csv")), QStringLiteral("/nonexistent-folder/d.csv")};
        dock->cmdPlotPng->click();
        dock->cmdPlotSvg->click();
        dock->cmdPlotCsv->click();
        QVERIFY(prompts.shown.isEmpty());
        QImage png(dir.filePath(QStringLiteral("a.png")));
        QCOMPARE(png.size(), dock->plot()->size());
        QFile svg(dir.filePath(QStringLiteral("b.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly) && svg.readAll().contains("<svg"));
        QFile csv(dir.filePath(QStringLiteral("c.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count('\n'), 5);
        dock->cmdPlotCsv->click();
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(prompts.shown[0].text.contains(QLatin1String("d.csv")));
    }
};

TESSEL_TEST(tst_SignalPlot)
#include "tst_signalplot.moc"
