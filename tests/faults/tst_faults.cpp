// The link's users (capture, Run commands, send run, capture views) wired as
// the program wires them, on the in-process virtual analyser with its faults.
// The test keeps the clock: each tick is 10 ms of the analyser, the link's
// receive and time-out ticks, the send tick, and every 50th the decoding tick.
#include "link/capturecontrol.h"
#include "link/connectiontest.h"
#include "link/packetlink.h"
#include "link/runcommands.h"
#include "sender/sendrun.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/captureviews.h"
#include "support/frameprint.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/testregistry.h"

#include <QtTest>

#include <functional>
#include <memory>
#include <set>

namespace {

const QString noAnswer = QStringLiteral("Error! CAN Analyser do not answer on command...");
const QString portError = QStringLiteral("Communication port error!");

// Every stored frame is a frame record, their times strictly increase
// (nothing duplicated, nothing out of order).
QString checkStoredFrames(const CaptureStore &store)
{
    for (qsizetype i = 0; i < store.count(); ++i) {
        const clsFrame &f = store.frame(i);
        if (f.isLost)
            return QStringLiteral("frame %1 is a lost-frame record").arg(i);
        if (f.DLC > 8)
            return QStringLiteral("frame %1 has DLC %2").arg(i).arg(f.DLC);
        if (i > 0 && !(*f.Time > *store.frame(i - 1).Time))
            return QStringLiteral("frame %1 (%2) does not come after %3")
                .arg(i)
                .arg(f.toString(), store.frame(i - 1).toString());
    }
    return {};
}

VirtualAnalyserOptions traffic(double frameRate)
{
    VirtualAnalyserOptions o;
    o.frameRate = frameRate;
    return o;
}

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakeDisplay display;
    PacketLink *link = nullptr;
    std::unique_ptr<VirtualAnalyserRig> rig;
    CaptureControl *capture = nullptr;
    CaptureViews *views = nullptr;
    RunCommands *run = nullptr;
    SendRun *send = nullptr;
    qint64 capturePackets = 0; // 0x85/0x86 packets the link handed to a running capture
    int ticks = 0;
    bool decodeTicks = true;
    // Largest queue and receive buffer seen.
    qsizetype maxQueue = 0;
    qsizetype maxRxBuffer = 0;

    // Puts a new analyser with these options on the line (like powering one on).
    void startAnalyser(const VirtualAnalyserOptions &options)
    {
        rig.reset();
        rig = std::make_unique<VirtualAnalyserRig>(*link, seed->db, seed->params, options);
    }
    VirtualAnalyser &analyser() { return *rig->analyser; }

    void tick()
    {
        if (rig->analyser && link->isPortOpen())
            rig->analyser->advance(10);
        link->poll();
        maxQueue = std::max(maxQueue, capture->queueLength());
        maxRxBuffer = std::max(maxRxBuffer, link->rxBuffer().size());
        if (send && send->sendTimerEnabled())
            send->tmrSend_Timer();
        link->timeoutTick();
        if (++ticks % 50 == 0 && decodeTicks && capture->isDecodeTimerActive())
            capture->tmrFreePB_Timer();
    }
    // Ticks until `done` holds, at most `count` ticks.
    bool pump(const std::function<bool()> &done, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (done && done())
                return true;
            tick();
        }
        return done && done();
    }

    // Starts the capture (the connection test runs first when needed) and
    // waits for the analyser's confirmation.
    bool startCapture()
    {
        capture->cmdStart_Click();
        return pump([this] { return capture->isCapturing(); }, 500);
    }
    bool stopCapture()
    {
        capture->cmdStart_Click();
        return pump([this] { return capture->startEnabled(); }, 500);
    }

    // The messages shown since the last check, then forgets them; cleanup()
    // checks that nothing else was shown.
    void expectMessages(const QStringList &texts)
    {
        QCOMPARE(prompts.texts(), texts);
        prompts.clear();
    }
    void verifyLinkFree()
    {
        QCOMPARE(link->busyCount(), 0);
        QCOMPARE(link->outstandingCount(), 0);
        QVERIFY(!link->isPortOpen());
    }
    // The capture has ended, every received frame is decoded, and the link is free.
    void verifyCaptureEndedCleanly()
    {
        QVERIFY(!capture->isCapturing());
        QCOMPARE(capture->startCaption(), QStringLiteral("Start"));
        QVERIFY(capture->startEnabled());
        QVERIFY(!capture->isDecodeTimerActive());
        QCOMPARE(capture->queueLength(), 0);
        QCOMPARE(views->store.count(), capturePackets);
        QCOMPARE(views->messages.count(), int(capturePackets));
        QCOMPARE(checkStoredFrames(views->store), QString());
        verifyLinkFree();
    }
    // The send run has ended and holds nothing.
    void verifySendEnded()
    {
        QVERIFY(send->cmdStartEnabled);
        QVERIFY(send->groupsEnabled);
        QVERIFY(!send->sendTimerEnabled());
        QVERIFY(!send->holdsLink());
        verifyLinkFree();
    }
    bool sendUntilStopped(int count)
    {
        return pump([this] { return send->cmdStartCaption == QLatin1String("Start"); }, count);
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        display = FakeDisplay();
        capturePackets = 0;
        ticks = 0;
        decodeTicks = true;
        maxQueue = maxRxBuffer = 0;
        link = new PacketLink(seed->params, prompts, nullptr);
        link->setDisplay(&display);
        link->initProcesses();
        views = new CaptureViews;
        views->batched = true;
        // Counted before CaptureControl treats the packet (connected first).
        connect(link, &PacketLink::capturePacket, this, [this](int) {
            if (capture->isCapturing())
                ++capturePackets;
        });
        capture = new CaptureControl(*link);
        capture->setSink(views);
        run = new RunCommands(*link);
    }
    void cleanup()
    {
        expectMessages({});
        delete send;
        send = nullptr;
        delete run;
        delete capture;
        delete views;
        rig.reset();
        delete link;
        delete seed;
    }

    // The line goes mid-capture: the capture ends, the error is shown once, every frame that arrived is
    // kept (undecoded ones too); a command waiting then does not take a new capture's hold on the link.
    void lineDropsDuringCapture_data()
    {
        QTest::addColumn<int>("dropAfter");
        // 20 commands connect (the registers are written), the 21st is capture on.
        QTest::newRow("line dropped while frames come in") << -1;
        QTest::newRow("line dropped at a mode command") << 21;
    }
    void lineDropsDuringCapture()
    {
        QFETCH(int, dropAfter);
        VirtualAnalyserOptions options = traffic(1000);
        options.dropLineAfter = dropAfter;
        startAnalyser(options);
        QVERIFY(startCapture());
        QVERIFY(pump([this] { return views->store.count() >= 100; }, 500));
        decodeTicks = false; // some frames wait in the queue when the line goes
        QVERIFY(pump([this] { return capture->queueLength() >= 20; }, 200));
        if (dropAfter < 0)
            analyser().dropLine();
        else
            run->listenCAN(); // the analyser drops the line on this command
        QVERIFY(pump([this] { return !link->isPortOpen(); }, 300));
        expectMessages({portError});
        QCOMPARE(link->linkState(), 1);
        verifyCaptureEndedCleanly();
        QCOMPARE(capture->txtView_View(), capturePackets);
        // A new analyser on the same port; its clock starts again, so the capture gets a store of its own.
        views->store.clear();
        views->messages.clearRows();
        views->monitor.clear();
        capturePackets = 0;
        decodeTicks = true;
        startAnalyser(traffic(200));
        QVERIFY(startCapture());
        // Long past every time-out: nothing left over from the old line releases this capture's hold.
        for (int i = 0; i < 2500; ++i)
            link->timeoutScan();
        pump({}, 5);
        QCOMPARE(link->linkState(), 3);
        QCOMPARE(link->busyCount(), 1);
        QVERIFY(capture->isCapturing());
        QCOMPARE(link->outstandingCount(), 0);
        QVERIFY(stopCapture());
        verifyCaptureEndedCleanly();
    }

    // Frames unanswered mid-run: "SendFrame_Retry" tries, each time-out shown, status 1; the next run works.
    void silentDuringSendRun()
    {
        startAnalyser(traffic(200));
        send = new SendRun(*link, seed->params, prompts);
        send->setCountMode(0); // until the user stops it
        QVERIFY(send->chkWaitAnswer);
        send->cmdStart_Click();
        QVERIFY(pump([this] { return send->txtSendCount.toInt() >= 5; }, 500));
        QCOMPARE(send->txtStatCAN, QStringLiteral("0"));
        analyser().options().silentFor = 0x84;
        QVERIFY(sendUntilStopped(1000));
        expectMessages({noAnswer, noAnswer, noAnswer});
        QCOMPARE(send->txtStatCAN, QStringLiteral("1"));
        QCOMPARE(send->txtErrCAN + send->txtErrMOB, QString());
        verifySendEnded();
        analyser().options().silentFor = simfault::none;
        send->setCountMode(1);
        send->txtCount = QStringLiteral("2");
        send->cmdStart_Click();
        QVERIFY(sendUntilStopped(500));
        QCOMPARE(send->txtSendCount, QStringLiteral("2"));
        QCOMPARE(send->txtStatCAN, QStringLiteral("0"));
        verifySendEnded();
    }

    // The line goes while a frame waits: the port error, then the run's own one when the frame is due again.
    void lineDropsDuringSendRun()
    {
        // 20 commands connect, 4 frames are answered, the 25th command drops the line.
        VirtualAnalyserOptions options = traffic(200);
        options.dropLineAfter = 24;
        startAnalyser(options);
        send = new SendRun(*link, seed->params, prompts);
        send->setCountMode(0);
        send->cmdStart_Click();
        QVERIFY(sendUntilStopped(500));
        QCOMPARE(send->txtSendCount, QStringLiteral("4"));
        QCOMPARE(prompts.shown.last().title, QStringLiteral("Send frame"));
        expectMessages({portError, QStringLiteral("COM Port error.")});
        verifySendEnded();
    }

    // Capture on or off unanswered: the capture ends with the no-answer message, frames are kept, and a new
    // capture works while the analyser (which never heard "off") still sends its records.
    void silentAtCaptureOnOff_data()
    {
        QTest::addColumn<bool>("atStop");
        QTest::newRow("capture on unanswered") << false;
        QTest::newRow("capture off unanswered") << true;
    }
    void silentAtCaptureOnOff()
    {
        QFETCH(bool, atStop);
        VirtualAnalyserOptions options = traffic(500);
        if (!atStop)
            options.silentFor = 0x82;
        startAnalyser(options);
        if (atStop) {
            QVERIFY(startCapture());
            QVERIFY(pump([this] { return views->store.count() >= 50; }, 500));
            analyser().options().silentFor = 0x82;
        }
        capture->cmdStart_Click();
        QVERIFY(!capture->startEnabled()); // starting or stopping
        QVERIFY(pump([this] { return capture->startEnabled(); }, 500));
        expectMessages({noAnswer});
        verifyCaptureEndedCleanly();
        if (atStop)
            QVERIFY(capturePackets >= 50);
        // Usable again: a forced test, then a whole capture.
        analyser().options().silentFor = simfault::none;
        QVERIFY(link->acquireLink(nullptr, true, true) == Acquired::Yes);
        link->releaseLink(nullptr, false, false);
        const qint64 before = views->store.count();
        QVERIFY(startCapture());
        QVERIFY(pump([&] { return views->store.count() >= before + 20; }, 500));
        QVERIFY(stopCapture());
        verifyCaptureEndedCleanly();
    }

    // Garbage before every packet (a lone start byte, lengths 0 and 0xFFFF, a bad checksum) and every 7th
    // packet corrupted mid-capture: every good record is stored, no bad one.
    void garbageAndCorruptPacketsBetweenGoodOnes()
    {
        VirtualAnalyserOptions options = traffic(1000);
        QVERIFY(parseTrafficIds(QStringLiteral("123,7FF/8,x18FEF100,3C5r/4"), &options.ids));
        startAnalyser(options);
        QVERIFY(startCapture());
        analyser().options().garbage = QByteArray::fromHex("00FF1B0000000E1B00FFFF0E1B0000010E85001B55");
        analyser().options().corruptEvery = 7;
        pump({}, 100);
        analyser().options().corruptEvery = 0;
        analyser().options().garbage.clear();
        pump({}, 5);
        QVERIFY(stopCapture());
        QVERIFY2(analyser().framesCorrupted() >= 50, qPrintable(QString::number(analyser().framesCorrupted())));
        QCOMPARE(analyser().framesLost(), quint64(0));
        QCOMPARE(quint64(views->store.count()), analyser().framesSent() - analyser().framesCorrupted());
        QCOMPARE(capture->txtLost() + capture->txtView_Lost(), 0);
        verifyCaptureEndedCleanly();
        const std::set<qint32> ids{0x123, 0x7FF, 0x18FEF100 + 0x20000000, 0x3C5};
        for (const clsFrame &f : storedFrames(views->store)) {
            const qint32 key = f.IDE() ? f.ID.ID() + 0x20000000 : f.ID.StdPart;
            QVERIFY2(ids.count(key), qPrintable(f.toString()));
        }
    }

    // A flood beyond 921600 baud with decoding held back: the queue stops at its cap and counts the rest
    // as lost; every frame sent is stored or counted, once, in order; the receive buffer stays small.
    void floodFasterThanTheLine()
    {
        VirtualAnalyserOptions options = traffic(40000);
        options.flood = true;
        startAnalyser(options);
        QVERIFY(startCapture());
        decodeTicks = false;
        pump({}, 25);
        capture->tmrFreePB_Timer(); // one decoding tick early on
        QVERIFY(views->store.count() > 0);
        QVERIFY2(pump([this] { return capture->txtView_Lost() >= 1000; }, 800), "the flood never filled the queue");
        QVERIFY(stopCapture());
        QCOMPARE(maxQueue, qsizetype(CaptureControl::queueLimit));
        QVERIFY2(maxRxBuffer < 64 * 1024, qPrintable(QString::number(maxRxBuffer)));
        // Every record the analyser sent reached the link, and is stored or counted, once.
        QCOMPARE(quint64(capturePackets), analyser().framesSent());
        QCOMPARE(views->store.count() + capture->txtView_Lost(), capturePackets);
        QCOMPARE(capture->txtView_View(), views->store.count());
        QCOMPARE(views->messages.count(), int(views->store.count()));
        QCOMPARE(capture->queueLength(), 0);
        QCOMPARE(checkStoredFrames(views->store), QString());
        verifyLinkFree();
    }
};

TESSEL_TEST(tst_Faults)
#include "tst_faults.moc"
