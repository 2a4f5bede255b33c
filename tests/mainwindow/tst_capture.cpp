#include "support/testregistry.h"
#include "support/frameprint.h"
#include "core/queries.h"
#include "link/capturecontrol.h"
#include "link/packetcodec.h"
#include "link/ui/frmcapture.h"
#include "support/captureviews.h"
#include "support/fakeport.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "views/ui/frmmain.h"
#include "views/ui/messageviews.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

namespace {

// A capture packet (0x85 frame, 0x86 lost count): command, stamp, then `tail`.
QByteArray capturePacket(quint8 command, quint32 stamp, const QByteArray &tail)
{
    QByteArray payload(1, char(command));
    payload.append('\0');
    for (int i = 0; i < 4; ++i)
        payload.append(char((stamp >> (8 * i)) & 0xFF));
    return packet::build(0, payload + tail);
}

// A standard frame at `level`, DLC `dlc`, data 11 22 ...
QByteArray framePacket(quint32 stamp, quint16 id, int dlc = 2, quint8 level = 0x20)
{
    QByteArray tail(1, char(level));
    tail.append(char(id & 0xFF)).append(char(id >> 8)).append(3, '\0').append(char(dlc));
    for (int i = 0; i < dlc; ++i)
        tail.append(char(0x11 * (i + 1)));
    return capturePacket(0x85, stamp, tail);
}

QByteArray lostPacket(quint32 stamp, quint8 count)
{
    return capturePacket(0x86, stamp, QByteArray(1, char(count)));
}

} // namespace

// The capture window's logic against a port in memory, the test playing the
// analyser; then a whole capture through the main window on the virtual analyser.
class tst_Capture : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakePort *port = nullptr;
    PacketLink *link = nullptr;
    ScriptedTester *tester = nullptr;
    CaptureControl *control = nullptr;
    CaptureViews *views = nullptr;

    // The analyser answers the last command with status `status`.
    void answerLast(quint8 status, bool error = false)
    {
        const QByteArray sent = port->writes.last();
        const QByteArray answer = sent.mid(5, 1);
        port->feed(packet::build(quint8(sent.at(1)), answer + char(error ? 1 : 0) + char(status)));
        link->poll();
    }
    void feed(const QList<QByteArray> &packets)
    {
        for (const QByteArray &p : packets)
            port->feed(p);
        link->poll();
    }
    void startCapturing()
    {
        control->cmdStart_Click();
        QCOMPARE(port->writes.last().mid(5, 2).toHex(), QByteArray("8280"));
        answerLast(0x84);
        QVERIFY(control->isCapturing());
    }
    void expectIdle()
    {
        QVERIFY(!control->isCapturing());
        QCOMPARE(control->startCaption(), QStringLiteral("Start"));
        QCOMPARE(link->busyCount() + link->outstandingCount(), 0);
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        link = new PacketLink(seed->params, prompts, [this](int) -> std::unique_ptr<SerialPort> {
            auto p = std::make_unique<FakePort>();
            port = p.get();
            return p;
        });
        link->initProcesses();
        tester = new ScriptedTester(*link);
        link->analyserValues.analyserBitRate = 500000;
        link->analyserValues.rxMObs = 12;
        views = new CaptureViews;
        views->batched = true;
        control = new CaptureControl(*link);
        control->setSink(views);
    }
    void cleanup()
    {
        delete control;
        delete views;
        delete tester;
        delete link;
        delete seed;
    }

    void startShowsStopAndHoldsTheLink()
    {
        control->cmdStart_Click();
        QVERIFY(!control->startEnabled()); // starting
        QCOMPARE(link->busyCount(), 1);
        answerLast(0x84);
        QCOMPARE(control->startCaption(), QStringLiteral("Stop"));
        QVERIFY(control->startEnabled() && control->isDecodeTimerActive());
        QCOMPARE(control->rxMaximum(), 12);
        QCOMPARE(link->analyserStatus(), quint8(0x84));
        QCOMPARE(link->busyCount(), 1);
        QCOMPARE(link->outstandingCount(), 0);
    }

    void idlePacketsAreIgnored()
    {
        control->cmdStart_Click(); // starting, not yet capturing
        feed({framePacket(1, 0x123), lostPacket(2, 3)});
        QCOMPARE(control->queueLength() + control->txtLost() + control->txtCaptured() + control->rxLevel(), 0);
    }

    // Each tick decodes everything queued (not one packet per tick).
    void tickDecodesEverythingQueued()
    {
        startCapturing();
        for (int i = 0; i < 200; ++i)
            port->feed(framePacket(1000 + i, 0x100 + i % 3));
        feed({lostPacket(5000, 3)});
        QCOMPARE(
            (QList<qint64>{control->queueLength(), control->txtCaptured(), control->txtLost(), control->bufferLevel()}),
            (QList<qint64>{201, 201, 1, 100}));

        control->tmrFreePB_Timer();
        QCOMPARE((QList<qint64>{control->queueLength(), control->txtCaptured(), control->txtView_View()}),
                 (QList<qint64>{0, 0, 201}));
        QCOMPARE(views->store.count(), 201);
        QCOMPARE(views->messages.count(), 201);
        QCOMPARE(views->monitor.count(), 4);
        QCOMPARE(views->selectedRow, 200); // the newest row, once per tick
        QCOMPARE(views->batches, 1);
        QVERIFY(control->isDecodeTimerActive());
        QCOMPARE(views->rowTexts(0).mid(0, 10),
                 (QStringList{"    1", "100", "-----", "0", "0", "0", "0", "2", "11 22", "000003E8"}));
        QCOMPARE(views->rowTexts(200).mid(1, 2), (QStringList{"---", "3"}));
        QCOMPARE(views->monitor.row(3).key, QStringLiteral("ID_40000000"));
        // The window's bus figures: every decoded frame, and the frames the record says were lost.
        QCOMPARE(control->busStatistics().frames(), qint64(200));
        QCOMPARE(control->busStatistics().lostFrames(), qint64(3));
    }

    void receiveBar_data()
    {
        QTest::addColumn<QList<int>>("levels");
        QTest::addColumn<int>("bar");
        QTest::addColumn<int>("afterTick");
        QTest::newRow("level / 16") << QList<int>{0x50} << 5 << 4;
        QTest::newRow("rounded to the nearest") << QList<int>{0x18} << 2 << 1;
        QTest::newRow("peak held") << QList<int>{0x50, 0x20} << 5 << 4;
        QTest::newRow("255 means no level") << QList<int>{255} << 0 << 0;
    }
    void receiveBar()
    {
        QFETCH(QList<int>, levels);
        startCapturing();
        for (int level : levels)
            port->feed(framePacket(1, 0x100, 0, quint8(level)));
        link->poll();
        QTEST(control->rxLevel(), "bar");
        control->tmrFreePB_Timer();
        QTEST(control->rxLevel(), "afterTick");
    }

    // An unchecked data base identifier: the first frame is shown (its row
    // did not exist), the later ones are skipped and counted.
    void disabledIdentifierIsSkipped()
    {
        views->index.add(0x123, false, QStringLiteral("Engine"), QStringLiteral("Speed"));
        startCapturing();
        feed({framePacket(10, 0x123), framePacket(11, 0x123), framePacket(12, 0x123), framePacket(20, 0x124)});
        control->tmrFreePB_Timer();
        QCOMPARE(control->txtView_View(), 2);
        QCOMPARE(control->txtView_Skip(), 2);
        QCOMPARE(views->messages.count(), 2);
        QCOMPARE(views->messages.text(0, MessageModel::colDevice), QStringLiteral("Engine"));
        QCOMPARE(views->monitor.row(0).count, 1);
        QVERIFY(!views->monitor.row(0).checked);
    }

    void stopDrainsTheQueue()
    {
        startCapturing();
        for (int i = 0; i < 10; ++i)
            port->feed(framePacket(i, 0x100));
        link->poll();
        control->cmdStart_Click();
        QCOMPARE(port->writes.last().mid(5, 2).toHex(), QByteArray("8200"));
        QVERIFY(!control->startEnabled() && !control->isDecodeTimerActive()); // stopping
        QCOMPARE(control->queueLength(), 10);
        answerLast(0x04);
        QCOMPARE(control->queueLength(), 0);
        QCOMPARE(views->store.count(), 10);
        QCOMPARE(views->selectedRow, 9);
        QVERIFY(control->startEnabled());
        QCOMPARE(views->scrollResets, 1);
        expectIdle();
        QVERIFY(!link->isPortOpen());
    }

    // An error answer or a connection that fails: idle again, and only the
    // failed connection leaves Start disabled (no answer: tst_faults).
    void failuresEndAsIdle()
    {
        control->cmdStart_Click();
        answerLast(0x84, true);
        QCOMPARE(prompts.texts(), QStringList{"Error! CAN Analyser answer with error on your command..."});
        QVERIFY(control->startEnabled());
        expectIdle();
        tester->leavesState = 1;
        link->setLinkState(1);
        control->cmdStart_Click();
        QVERIFY(!control->startEnabled());
        expectIdle();
    }

    void closeDuringCapture()
    {
        startCapturing();
        feed({framePacket(1, 0x100), lostPacket(2, 1)});
        control->tmrFreePB_Timer();
        feed({framePacket(3, 0x100, 2, 0x40)});
        control->closeCapture();
        QCOMPARE(port->writes.last().mid(5, 2).toHex(), QByteArray("8200"));
        QCOMPARE((QList<qint64>{control->txtCaptured(), control->txtLost(), control->txtView_Lost(),
                                control->txtView_Skip(), control->txtView_View(), control->rxLevel()}),
                 (QList<qint64>{0, 0, 0, 0, 0, 0}));
        QCOMPARE(views->closes, 1);
        answerLast(0x04);
        QCOMPARE(views->store.count(), 3); // the queued frame was kept
        QCOMPARE(link->busyCount(), 0);
    }

    // The main window end to end on the virtual analyser: Run > CAN Capture,
    // Start, the traffic in both lists, unticking hides rows (later frames
    // during the capture, the rows themselves outside it), Stop keeps all,
    // closing and clearing.
    void mainWindowWholeCapture()
    {
        FakePrompts windowPrompts;
        AppContext context{&seed->db, &seed->params, &windowPrompts, {}};
        frmMain window(context, makeLinkPort);
        window.loadTimer_Timer(); // the load tick first: it clears the capture and sets its own tester
        FakeIdIndex index;
        index.add(0x123, true, QStringLiteral("Engine"), QStringLiteral("Speed"));
        window.setIdIndex(&index);
        CaptureDocument &doc = window.document();
        PacketLink &link = *window.findChild<PacketLink *>("link");
        MessageModel &messages = *window.findChild<MessageModel *>();
        MonitorList &monitor = *window.findChild<MonitorList *>();
        const QTreeView *list = window.findChild<QTreeView *>("lvListViewMessages");
        QAction *item = window.findChild<QAction *>("mnuRunCANCapture");
        QAction *button = window.findChild<QAction *>("CaptureCAN");
        QVERIFY(QFontInfo(list->font()).fixedPitch());
        VirtualAnalyserRig rig(link, seed->db, seed->params);
        const auto run = [&](int steps) {
            for (int step = 0; step < steps; ++step) {
                rig.analyser->advance(100);
                link.poll();
            }
        };

        item->trigger();
        frmCapture *captureWindow = window.findChild<frmCapture *>();
        QVERIFY(captureWindow->isVisible());
        QVERIFY(doc.isCapturing() && item->isChecked() && button->isChecked());
        const QString speed = displayText(queryValue(
            seed->db, sql::selectSpeed, QVariantList{seed->params.getParam(QStringLiteral("id_CAN_Speed"), "0")}, "0"));
        QCOMPARE(captureWindow->txtSpeed->text(), speed);
        CaptureControl &capture = captureWindow->control();
        captureWindow->cmdStart->click();
        for (int i = 0; i < 5 && !capture.isCapturing(); ++i)
            link.poll();
        QVERIFY(capture.isCapturing());
        for (int round = 0; round < 4; ++round) {
            run(5);
            capture.tmrFreePB_Timer();
        }
        QVERIFY(messages.count() > 50);
        QCOMPARE(list->currentIndex().row(), messages.count() - 1);
        // The statistics tick: bus figures and the start in the status bar,
        // times in seconds, the monitor's rates.
        window.findChild<MessageViews *>("messageViews")->statisticsTimer_Timer();
        QVERIFY2(window.busPanelText().contains(QStringLiteral("| Frames %1 |").arg(doc.store().count())),
                 qPrintable(window.busPanelText()));
        QVERIFY(window.startPanelText().startsWith(QStringLiteral("Start 20")));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d{6}$"))
                    .match(messages.text(messages.count() - 1, MessageModel::colSeconds))
                    .hasMatch());
        QVERIFY(!monitor.index(monitor.rowOf(0x123), MonitorList::colRate).data().toString().isEmpty());
        QVERIFY(doc.hasRows() && doc.isModified() && !doc.canSave()); // no file name yet
        QCOMPARE(monitor.iconKey(monitor.rowOf(0x123)), QStringLiteral("ID_00000123"));
        QCOMPARE(monitor.iconKey(monitor.rowOf(0x100)), QStringLiteral("ID_00000100_new"));

        const auto rowsOf = [&messages](const char *id) {
            int n = 0;
            for (int r = 0; r < messages.count(); ++r)
                n += messages.text(r, QStringLiteral("ID-Std")) == QLatin1String(id) ? 1 : 0;
            return n;
        };
        // Unticking during the capture hides later frames; the rows stay.
        const int row100 = monitor.rowOf(0x100);
        const int rows100 = rowsOf("100");
        monitor.setData(monitor.index(row100, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(rowsOf("100"), rows100);
        const qint64 counted = monitor.row(row100).count;
        run(10);
        captureWindow->refresh(); // what the next pass of the event loop does
        QCOMPARE(captureWindow->cmdStart->text(), QStringLiteral("Stop"));
        captureWindow->cmdStart->click();
        for (int i = 0; i < 50 && capture.startCaption() != QLatin1String("Start"); ++i) {
            rig.analyser->advance(1);
            link.poll();
        }
        captureWindow->refresh();
        QCOMPARE(captureWindow->cmdStart->text(), QStringLiteral("Start"));
        QCOMPARE(monitor.row(row100).count, counted);
        QVERIFY(capture.txtView_Skip() > 0);
        QCOMPARE(captureWindow->txtView_Skip->text(), QString::number(capture.txtView_Skip()));
        const CaptureStore &store = doc.store();
        qint64 frames = 0;
        for (const clsFrame &f : storedFrames(store))
            frames += f.isLost ? 0 : 1;
        QCOMPARE(quint64(frames) + quint64(capture.txtView_Skip()), rig.analyser->framesSent());
        QCOMPARE(messages.count(), store.count());
        for (int r = 0; r < messages.count(); ++r)
            if (messages.text(r, QStringLiteral("ID-Std")) == QLatin1String("123"))
                QCOMPARE(messages.text(r, QStringLiteral("Device")), QStringLiteral("Engine"));

        // Closing the window rebuilds the list: rows of 100 are gone.
        captureWindow->cmdClose_Click();
        QVERIFY(!captureWindow->isVisible());
        QVERIFY(!doc.isCapturing() && !item->isChecked() && !button->isChecked());
        QCOMPARE(rowsOf("100"), 0);
        QVERIFY(rowsOf("123") > 0);
        // Outside a capture a check box rebuilds the list at once.
        monitor.itemCheck(row100, true);
        QCOMPARE(rowsOf("100"), rows100);

        doc.clear();
        QCOMPARE(messages.count() + monitor.count(), 0);
    }
};

TESSEL_TEST(tst_Capture)
#include "tst_capture.moc"
