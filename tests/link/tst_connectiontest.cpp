#include "link/analyser.h"
#include "link/connectiontest.h"
#include "link/packetlink.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/testregistry.h"

#include <QtTest>

// The connection chain against the virtual analyser in this process; time
// moves only through the link's poll and time-out scan. A connection that
// agrees with the analyser sends 17 reads; each register it writes adds one.
class tst_ConnectionTest : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakeDisplay display;
    PacketLink *link = nullptr;
    VirtualAnalyserRig *rig = nullptr;

    VirtualAnalyser &analyser() { return *rig->analyser; }
    ConnectionTest &test() { return rig->test; }
    void useAnalyser(const VirtualAnalyserOptions &options)
    {
        delete rig;
        rig = new VirtualAnalyserRig(*link, seed->db, seed->params, options);
    }
    // The automatic test before a command: acquire, then let go. Returns the commands it sent.
    int connectOnce(bool force = false)
    {
        const int before = rig->analyser ? analyser().commandsReceived() : 0;
        if (link->acquireLink(nullptr, force, true) == Acquired::No)
            return -1;
        link->releaseLink(nullptr, false, false);
        return analyser().commandsReceived() - before;
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        display = FakeDisplay();
        link = new PacketLink(seed->params, prompts, nullptr);
        link->setDisplay(&display);
        link->initProcesses();
        useAnalyser({});
    }
    void cleanup()
    {
        delete rig;
        rig = nullptr;
        delete link;
        delete seed;
    }

    // The virtual analyser starts at 250 kbit/s, the seed database's default
    // row says 500 kbit/s: the first connection writes the three registers,
    // the second finds them equal. The rows shown and the values kept are
    // what the analyser answered.
    void firstConnectionWritesTheRegistersThenAgrees()
    {
        QCOMPARE(connectOnce(), 17 + 3);
        QCOMPARE(analyser().parameter(analyser::paramCanBT1), quint8(0x02));
        QCOMPARE(analyser().parameter(analyser::paramCanBT2), quint8(0x0C));
        QCOMPARE(analyser().parameter(analyser::paramCanBT3), quint8(0x37));
        QCOMPARE(test().answeredSteps().size(), 20);
        QVERIFY(test().answeredSteps().contains("PARAM_MY_CANBT1_SET"));
        QCOMPARE(connectOnce(true), 17);
        QCOMPARE(test().answeredSteps().size(), 17);
        QCOMPARE(link->linkState(), 3);
        QCOMPARE(link->outstandingCount(), 0);
        QStringList rows;
        for (const ConnectionTest::Row &r : test().rows())
            rows << r.name + '=' + r.value;
        QCOMPARE(rows, (QStringList{"Signature=Tessel virtual CAN analyser", "HW Version=1", "SW Version=1.02.0004",
                                    "MCU Frequency, MHz=16.000000", "CAN Speed, kbps=500.000",
                                    "CAN Timer Frequency, kHz=1000.000", "CAN TX TimeOut, ms=10", "CAN MOb for TX=2",
                                    "CAN MOb for RX=12", "CAN Mode=Enable", "CAN Capture=Off"}));
        const AnalyserValues &a = link->analyserValues;
        QCOMPARE(a.analyserBitRate, 500000.0);
        QCOMPARE(a.mcuClock, 16000000);
        QCOMPARE(a.buildNumber, 4);
        QCOMPARE(a.timerPrescaler, quint8(1));
        QCOMPARE(a.timerFrequency, 1000000.0);
        QCOMPARE(a.rxMObs, quint8(12));
        QCOMPARE(a.txTimeOut, quint8(10));
        QCOMPARE(test().statusText(), QStringLiteral("Connected"));
        QCOMPARE(display.panel[1], QStringLiteral("Status : Connected"));
        QCOMPARE(display.status, 0x04);
        // The bar is scaled to this run: signature length + 22 steps.
        QCOMPARE(test().progressValue(), 27 + 22);
        QCOMPARE(test().progressMax(), test().progressValue());
        QVERIFY(prompts.shown.isEmpty());
    }

    void databaseRowsDecide_data()
    {
        QTest::addColumn<QString>("speedId");
        QTest::addColumn<QString>("timerId");
        QTest::addColumn<int>("commands");
        QTest::addColumn<double>("speed");          // kbit/s
        QTest::addColumn<double>("timerFrequency"); // kHz
        QTest::newRow("1 Mbit/s row") << "1"
                                      << "0" << 17 + 3 << 1000.0 << 1000.0;
        QTest::newRow("800 kbit/s row") << "9"
                                        << "0" << 17 + 3 << 800.0 << 1000.0;
        QTest::newRow("timer 2 MHz: prescaler written") << "0"
                                                        << "2" << 17 + 4 << 500.0 << 2000.0;
        // Mended: no row for the stored id keeps the analyser's own setting.
        QTest::newRow("no speed row: analyser's 250 kbit/s kept") << "99"
                                                                  << "0" << 17 << 250.0 << 1000.0;
        QTest::newRow("no timer row: analyser's prescaler kept") << "0"
                                                                 << "99" << 17 + 3 << 500.0 << 1000.0;
    }
    void databaseRowsDecide()
    {
        QFETCH(QString, speedId);
        QFETCH(QString, timerId);
        QFETCH(double, speed);
        QFETCH(double, timerFrequency);
        seed->params.setParam("id_CAN_Speed", speedId);
        seed->params.setParam("id_CAN_Timer", timerId);
        QTEST(connectOnce(), "commands");
        QCOMPARE(test().value("CAN Speed, kbps"), QString::number(speed, 'f', 3));
        QCOMPARE(test().value("CAN Timer Frequency, kHz"), QString::number(timerFrequency, 'f', 3));
        QCOMPARE(link->analyserValues.timerFrequency, timerFrequency * 1000);
        QCOMPARE(link->analyserValues.analyserBitRate, speed * 1000);
        QCOMPARE(link->linkState(), 3);
    }

    void failures_data()
    {
        QTest::addColumn<int>("silentFor");
        QTest::addColumn<int>("errorFor");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no answer to the signature: no message")
            << int(analyser::cmdHwVersion) << simfault::none << QStringList{};
        QTest::newRow("no answer to a parameter read")
            << int(analyser::cmdReadParam) << simfault::none << QStringList{};
        QTest::newRow("error flag on the status read: message once")
            << simfault::none << int(analyser::cmdGetStatus)
            << QStringList{"Error! CAN Analyser answer with error on your command..."};
    }
    void failures()
    {
        VirtualAnalyserOptions options;
        QFETCH(int, silentFor);
        QFETCH(int, errorFor);
        options.silentFor = silentFor;
        options.errorFlagFor = errorFor;
        useAnalyser(options);
        QCOMPARE(connectOnce(), -1);
        QTEST(prompts.texts(), "messages");
        QCOMPARE(test().statusText(), QStringLiteral("Not connected"));
        QCOMPARE(test().buttonCaption(), QStringLiteral("Cancel"));
        QCOMPARE(test().progressValue(), 0);
        QCOMPARE(link->linkState(), 1);
        QCOMPARE(link->busyCount(), 0);
        QCOMPARE(link->outstandingCount(), 0);
        QVERIFY(!link->isPortOpen());
        // The link is not lost: with the analyser answering again it connects.
        prompts.shown.clear();
        analyser().options().silentFor = simfault::none;
        analyser().options().errorFlagFor = simfault::none;
        QVERIFY(connectOnce() > 0);
        QVERIFY(prompts.shown.isEmpty());
    }

    void progressBarMaximum()
    {
        seed->params.setParam("TestConnectPBMax", "10");
        test().start(false);
        QCOMPARE(test().progressMax(), 10);
        test().addLVParams("a", "1", 4);
        QCOMPARE(test().progressValue(), 4);
        QCOMPARE(test().progressMax(), 10);
        test().addLVParams("b", "2", 9);
        QCOMPARE(test().progressValue(), 13);
        QCOMPARE(test().progressMax(), 13);
        test().storeProgressMax();
        QCOMPARE(seed->params.getParam("TestConnectPBMax", "0"), QStringLiteral("13"));
    }

    // An answer that arrives for a test abandoned earlier (window cancelled)
    // must not be taken as a step of the current one.
    void staleAnswerIgnored()
    {
        QVERIFY(connectOnce(true) > 0);
        analyser().options().silentFor = simfault::all;
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes); // still connected: no test
        test().start(false);                                               // process 1 waits
        const int first = link->nextSeq() - 1;
        test().start(false); // cancelled and started again
        QCOMPARE(link->outstandingCount(), 2);
        for (int i = 0; i < 500; ++i)
            link->timeoutScan();
        QCOMPARE(link->process(first).Owner, 0);
        QVERIFY(!test().isRunning());
        QCOMPARE(test().answeredSteps(), QStringList{"TimeOut"});
        QCOMPARE(link->outstandingCount(), 0);
    }
};

TESSEL_TEST(tst_ConnectionTest)
#include "tst_connectiontest.moc"
