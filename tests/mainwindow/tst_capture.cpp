#include "support/testregistry.h"
#include "core/queries.h"
#include "link/capturecontrol.h"
#include "link/packetcodec.h"
#include "link/ui/frmcapture.h"
#include "support/captureviews.h"
#include "support/fakeport.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "views/ui/frmmain.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

// A 0x85 capture packet: stamp, level, standard identifier, DLC, data 11 22 ...
QByteArray framePacket(quint32 stamp, quint16 id, int dlc = 2, quint8 level = 0x20)
{
    QByteArray payload = bytes({0x85, 0x00});
    for (int i = 0; i < 4; ++i)
        payload.append(char((stamp >> (8 * i)) & 0xFF));
    payload.append(char(level));
    payload.append(bytes({id & 0xFF, id >> 8, 0, 0, 0x00, dlc}));
    for (int i = 0; i < dlc; ++i)
        payload.append(char(0x11 * (i + 1)));
    return packet::build(0, payload);
}

QByteArray lostPacket(quint32 stamp, quint8 count)
{
    QByteArray payload = bytes({0x86, 0x00});
    for (int i = 0; i < 4; ++i)
        payload.append(char((stamp >> (8 * i)) & 0xFF));
    payload.append(char(count));
    return packet::build(0, payload);
}

} // namespace

// The capture window's logic against a port in memory: the test plays the
// analyser. A whole capture then runs through the main window against the
// virtual analyser.
class tst_Capture : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakePort *port = nullptr;
    PacketLink *link = nullptr;
    CaptureControl *control = nullptr;
    CaptureViews *views = nullptr;
    bool connects = true;

    // The analyser answers the last command with status `status`.
    void answerLast(quint8 status, bool error = false)
    {
        const QByteArray sent = port->writes.last();
        port->feed(packet::build(quint8(sent.at(1)), bytes({quint8(sent.at(5)), error ? 1 : 0, status})));
        link->poll();
    }

    void startCapturing()
    {
        control->cmdStart_Click();
        QCOMPARE(port->writes.last().mid(5, 2), bytes({0x82, 0x80}));
        answerLast(0x84);
        QVERIFY(control->isCapturing());
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        connects = true;
        link = new PacketLink(seed->params, prompts, [this](int) -> std::unique_ptr<SerialPort> {
            auto p = std::make_unique<FakePort>();
            port = p.get();
            return p;
        });
        link->initProcesses();
        link->setConnectionRunner([this](bool, QObject *) { link->setLinkState(connects ? 3 : 1); });
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
        delete link;
        delete seed;
    }

    void startShowsStopAndHoldsTheLink()
    {
        QCOMPARE(control->startCaption(), QStringLiteral("Start"));
        control->cmdStart_Click();
        QVERIFY(!control->startEnabled()); // starting
        QCOMPARE(link->busyCount(), 1);
        answerLast(0x84);
        QCOMPARE(control->startCaption(), QStringLiteral("Stop"));
        QVERIFY(control->startEnabled());
        QVERIFY(control->isDecodeTimerActive());
        QCOMPARE(control->rxMaximum(), 12);
        QCOMPARE(link->analyserStatus(), quint8(0x84));
        QCOMPARE(link->busyCount(), 1);
        QCOMPARE(link->outstandingCount(), 0);
    }

    void idlePacketsAreIgnored()
    {
        control->cmdStart_Click(); // starting, not yet capturing
        port->feed(framePacket(1, 0x123));
        port->feed(lostPacket(2, 3));
        link->poll();
        QCOMPARE(control->queueLength(), 0);
        QCOMPARE(control->txtLost(), 0);
        QCOMPARE(control->txtCaptured(), 0);
        QCOMPARE(control->rxLevel(), 0);
    }

    // Each tick decodes everything queued (not one packet per tick).
    void tickDecodesEverythingQueued()
    {
        startCapturing();
        for (int i = 0; i < 200; ++i)
            port->feed(framePacket(1000 + i, 0x100 + i % 3));
        port->feed(lostPacket(5000, 3));
        link->poll();
        QCOMPARE(control->queueLength(), 201);
        QCOMPARE(control->txtCaptured(), 201);
        QCOMPARE(control->txtLost(), 1);
        QCOMPARE(control->bufferLevel(), 100);

        control->tmrFreePB_Timer();
        QCOMPARE(control->queueLength(), 0);
        QCOMPARE(control->txtCaptured(), 0);
        QCOMPARE(control->txtView_View(), 201);
        QCOMPARE(views->store.count(), 201);
        QCOMPARE(views->messages.count(), 201);
        QCOMPARE(views->monitor.count(), 4);
        QCOMPARE(views->selectedRow, 200); // the newest row, once per tick
        QCOMPARE(views->batches, 1);
        QVERIFY(control->isDecodeTimerActive());
        // The decoded records, as the analyser sent them.
        QCOMPARE(views->rowTexts(0).mid(0, 10),
                 (QStringList{"    1", "100", "-----", "0", "0", "0", "0", "2", "11 22", "000003E8"}));
        QCOMPARE(views->messages.text(200, MessageModel::colIDStd), QStringLiteral("---"));
        QCOMPARE(views->messages.text(200, MessageModel::colIDExt), QStringLiteral("3"));
        QCOMPARE(views->monitor.row(3).key, QStringLiteral("ID_40000000"));
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
        QFETCH(int, bar);
        QFETCH(int, afterTick);
        startCapturing();
        for (int level : levels)
            port->feed(framePacket(1, 0x100, 0, quint8(level)));
        link->poll();
        QCOMPARE(control->rxLevel(), bar);
        control->tmrFreePB_Timer();
        QCOMPARE(control->rxLevel(), afterTick);
    }

    void queueCap()
    {
        const QByteArray p = framePacket(1, 0x100);
        for (int i = 0; i < CaptureControl::queueLimit + 2; ++i)
            control->queuePacket(p);
        QCOMPARE(control->queueLength(), CaptureControl::queueLimit);
        QCOMPARE(control->txtView_Lost(), 2);
        QCOMPARE(control->bufferLevel(), 25000);
    }

    // An unchecked data base identifier: the first frame is shown (its row
    // did not exist), the later ones are skipped and counted.
    void disabledIdentifierIsSkipped()
    {
        views->index.add(0x123, false, QStringLiteral("Engine"), QStringLiteral("Speed"));
        startCapturing();
        for (int i = 0; i < 3; ++i)
            port->feed(framePacket(10 + i, 0x123));
        port->feed(framePacket(20, 0x124));
        link->poll();
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
        QCOMPARE(port->writes.last().mid(5, 2), bytes({0x82, 0x00}));
        QVERIFY(!control->startEnabled()); // stopping
        QVERIFY(!control->isDecodeTimerActive());
        QCOMPARE(control->queueLength(), 10);
        answerLast(0x04);
        QCOMPARE(control->queueLength(), 0);
        QCOMPARE(views->store.count(), 10);
        QCOMPARE(views->selectedRow, 9);
        QCOMPARE(control->startCaption(), QStringLiteral("Start"));
        QVERIFY(control->startEnabled());
        QCOMPARE(views->scrollResets, 1);
        QCOMPARE(link->busyCount(), 0);
        QVERIFY(!link->isPortOpen());
    }

    void failuresEndAsIdle_data()
    {
        QTest::addColumn<bool>("timeOut");
        QTest::addColumn<QString>("message");
        QTest::newRow("no answer within 100 ticks") << true << "Error! CAN Analyser do not answer on command...";
        QTest::newRow("answer with the error flag") << false << "Error! CAN Analyser answer with error on your command...";
    }

    void failuresEndAsIdle()
    {
        QFETCH(bool, timeOut);
        QFETCH(QString, message);
        control->cmdStart_Click();
        if (timeOut) {
            for (int tick = 0; tick < CaptureControl::commandTimeOut; ++tick)
                link->timeoutScan();
        } else {
            answerLast(0x84, true);
        }
        QCOMPARE(prompts.texts(), QStringList{message});
        QVERIFY(!control->isCapturing());
        QCOMPARE(control->startCaption(), QStringLiteral("Start"));
        QVERIFY(control->startEnabled());
        QCOMPARE(link->busyCount(), 0);
        QCOMPARE(link->outstandingCount(), 0);
    }

    void failedAcquireLeavesStartDisabled()
    {
        connects = false;
        control->cmdStart_Click();
        QVERIFY(!control->startEnabled());
        QCOMPARE(control->startCaption(), QStringLiteral("Start"));
        QCOMPARE(link->busyCount(), 0);
        QCOMPARE(link->outstandingCount(), 0);
    }

    void closeDuringCapture()
    {
        startCapturing();
        port->feed(framePacket(1, 0x100));
        port->feed(lostPacket(2, 1));
        link->poll();
        control->tmrFreePB_Timer();
        port->feed(framePacket(3, 0x100, 2, 0x40));
        link->poll();
        control->closeCapture();
        QCOMPARE(port->writes.last().mid(5, 2), bytes({0x82, 0x00}));
        QCOMPARE(control->txtCaptured(), 0);
        QCOMPARE(control->txtLost(), 0);
        QCOMPARE(control->txtView_Lost(), 0);
        QCOMPARE(control->txtView_Skip(), 0);
        QCOMPARE(control->txtView_View(), 0);
        QCOMPARE(control->rxLevel(), 0);
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
        window.loadTimer_Timer(); // the load tick first: it clears the capture and puts its own runner on the link
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
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QString(QChar(0x2116)));
        QVERIFY(QFontInfo(list->font()).fixedPitch());
        VirtualAnalyserRig rig(link, seed->db, seed->params);

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
        VirtualAnalyser *analyser = rig.analyser;
        for (int step = 0; step < 20; ++step) {
            analyser->advance(100);
            link.poll();
            if (step % 5 == 4)
                capture.tmrFreePB_Timer();
        }
        QVERIFY(messages.count() > 50);
        QCOMPARE(list->currentIndex().row(), messages.count() - 1);
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
        for (int step = 0; step < 10; ++step) {
            analyser->advance(100);
            link.poll();
        }
        captureWindow->refresh(); // what the next pass of the event loop does
        QCOMPARE(captureWindow->cmdStart->text(), QStringLiteral("Stop"));
        captureWindow->cmdStart->click();
        for (int i = 0; i < 50 && capture.startCaption() != QLatin1String("Start"); ++i) {
            analyser->advance(1);
            link.poll();
        }
        captureWindow->refresh();
        QCOMPARE(captureWindow->cmdStart->text(), QStringLiteral("Start"));
        QCOMPARE(monitor.row(row100).count, counted);
        QVERIFY(capture.txtView_Skip() > 0);
        QCOMPARE(captureWindow->txtView_Skip->text(), QString::number(capture.txtView_Skip()));
        const CaptureStore &store = doc.store();
        qint64 frames = 0;
        for (const clsFrame &f : store.capturedFrames())
            frames += f.isLost ? 0 : 1;
        QCOMPARE(quint64(frames) + quint64(capture.txtView_Skip()), analyser->framesSent());
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
        QVERIFY(store.isEmpty());
        QVERIFY(!window.findChild<QAction *>("mnuFileNew")->isEnabled());
    }
};

TESSEL_TEST(tst_Capture)
#include "tst_capture.moc"
