// The decoded fields in the main window: the Signals dock following the
// selected rows, the Signals column, their View items and settings, and the
// panes making room for the dock.
#include "support/testregistry.h"
#include "views/ui/signaldock.h"

#include "candb/ui/dbtree.h"
#include "link/capturecontrol.h"
#include "support/signalbench.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"
#include "views/signalpane.h"
#include "views/ui/frmmain.h"
#include "views/ui/messageviews.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QTreeView>
#include <QtTest>

class tst_SignalDock : public QObject, SignalBench
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(reset()); }
    void cleanup() { seed.reset(); }

    // Hidden at first; View › Signals Column shows the decoded fields, and the
    // next start remembers it.
    void signalsColumn()
    {
        auto window = start();
        QHeaderView *header = part<QTreeView>(*window, "lvListViewMessages")->header();
        QAction *item = part<QAction>(*window, "mnuViewSignalsColumn");
        QVERIFY(header->isSectionHidden(MessageModel::colSignals) && !item->isChecked());
        capture(*window, {500});
        item->trigger();
        QVERIFY(!header->isSectionHidden(MessageModel::colSignals) && item->isChecked());
        QCOMPARE(header->sectionSize(MessageModel::colSignals), 4 * header->defaultSectionSize());
        QCOMPARE(part<MessageModel>(*window)->text(0, MessageModel::colSignals),
                 QStringLiteral("Speed=50 km/h; Gear=Reverse"));
        prompts.answers = {Prompts::Answer::No};
        QVERIFY(window->close());
        QCOMPARE(seed->params.getParam(QStringLiteral("SignalsColumn"), {}), QStringLiteral("1"));
        QCOMPARE(seed->params.getParam(QStringLiteral("SignalPane"), {}), QStringLiteral("0"));
        window = start();
        header = part<QTreeView>(*window, "lvListViewMessages")->header();
        QVERIFY(!header->isSectionHidden(MessageModel::colSignals));
        QVERIFY(part<QAction>(*window, "mnuViewSignalsColumn")->isChecked());
    }

    // The dock shows the selected message row, then the newest frame of the
    // selected identifier as frames arrive, and new fields at once.
    void paneFollowsTheSelection()
    {
        auto window = start();
        SignalDock *dock = part<SignalDock>(*window);
        QVERIFY(dock->isHidden());
        part<QAction>(*window, "mnuViewSignals")->trigger();
        QVERIFY(dock->isVisible());
        capture(*window, {500, 20});
        SignalPane &pane = *part<MessageViews>(*window)->signalPane();
        // The list's selection moved to the newest row by itself.
        QCOMPARE(dock->lblSignalSource->text(), QStringLiteral("Message 2: 123"));
        pane.refreshTimer_Timer();

        QTreeView *messages = part<QTreeView>(*window, "lvListViewMessages");
        messages->selectionModel()->setCurrentIndex(messages->model()->index(0, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QAbstractItemModel *rows = dock->lvSignals->model();
        QCOMPARE(dock->lblSignalSource->text(), QStringLiteral("Message 1: 123"));
        QCOMPARE(rows->rowCount(), 2);
        QCOMPARE(rows->index(0, SignalPane::colValue).data().toString(), QStringLiteral("50 km/h"));
        QCOMPARE(rows->index(1, SignalPane::colDescription).data().toString(), QStringLiteral("Reverse"));

        QTreeView *monitor = part<QTreeView>(*window, "lvListViewID");
        monitor->setCurrentIndex(monitor->model()->index(part<MonitorList>(*window)->rowOf(0x123), 0));
        QCOMPARE(dock->lblSignalSource->text(), QStringLiteral("Latest of 123: message 2"));
        capture(*window, {1000});
        QCOMPARE(dock->lblSignalSource->text(), QStringLiteral("Latest of 123: message 3"));
        QCOMPARE(rows->index(0, SignalPane::colValue).data().toString(), QStringLiteral("100 km/h"));
        capture(*window, {30}); // in the same interval
        QCOMPARE(rows->index(0, SignalPane::colValue).data().toString(), QStringLiteral("100 km/h"));
        pane.refreshTimer_Timer();
        QCOMPARE(dock->lblSignalSource->text(), QStringLiteral("Latest of 123: message 4"));
        QCOMPARE(rows->index(0, SignalPane::colValue).data().toString(), QStringLiteral("3 km/h"));

        // New fields from an identifier editor reach the pane and the column.
        CanDbModel &db = part<DbTree>(*window)->model();
        CanDbModel::IdentifierChange change;
        DataField raw;
        raw.name = QStringLiteral("Raw");
        raw.begin = 0;
        raw.end = 7;
        change.fields = QList<DataField>{raw};
        QCOMPARE(db.changeIdentifier(QStringLiteral("ID_00000123"), change), WriteResult::Stored);
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(rows->index(0, SignalPane::colRaw).data().toString(), QStringLiteral("1E"));
        QCOMPARE(part<MessageModel>(*window)->text(2, MessageModel::colSignals), QStringLiteral("Raw=232"));

        dock->close(); // its own close button
        QVERIFY(!part<QAction>(*window, "mnuViewSignals")->isChecked());
    }

    // The docked pane takes its room from the panes and gives it back.
    void panesMakeRoomForTheDock()
    {
        auto window = start();
        window->resize(1000, 680);
        QWidget *central = window->centralWidget();
        const char *names[] = {"picDB", "lvListViewMessages", "lvListViewID", "pictOscilograph"};
        const auto geometries = [&] {
            QList<QRect> rects;
            for (const char *name : names)
                rects << part<QWidget>(*window, name)->geometry();
            return rects;
        };
        const QList<QRect> before = geometries();
        const QSize whole = central->size();
        SignalDock *dock = part<SignalDock>(*window);
        for (const Qt::DockWidgetArea area : {Qt::RightDockWidgetArea, Qt::BottomDockWidgetArea}) {
            window->addDockWidget(area, dock);
            part<QAction>(*window, "mnuViewSignals")->trigger();
            window->layout()->activate();
            QVERIFY(dock->isVisible());
            QVERIFY(area == Qt::RightDockWidgetArea ? central->width() < whole.width()
                                                    : central->height() < whole.height());
            for (const char *name : names) {
                const QRect r = part<QWidget>(*window, name)->geometry();
                QVERIFY2(central->rect().contains(r) && !r.isEmpty(), name);
            }
            part<QAction>(*window, "mnuViewSignals")->trigger();
            window->layout()->activate();
            QCOMPARE(geometries(), before);
        }
    }
};

TESSEL_TEST(tst_SignalDock)
#include "tst_signaldock.moc"
