// The link end to end: tessel-sim on a real pseudo-terminal, opened through
// TESSEL_COM1 by the real serial port. The link's own timers run; the test
// spins the event loop with bounded waits.
#include "link/connectiontest.h"
#include "sim/virtualport.h"
#include "link/packetlink.h"
#include "link/runcommands.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/testregistry.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class tst_LinkPty : public QObject, public ConnectionTester
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakeDisplay display;
    QProcess sim;
    PacketLink *link = nullptr;
    ConnectionTest *test = nullptr;

    // Sim's next line of standard output, waiting at most 5 s.
    QByteArray simLine()
    {
        QDeadlineTimer deadline(5000);
        while (!sim.canReadLine() && !deadline.hasExpired())
            sim.waitForReadyRead(100);
        return sim.readLine().trimmed();
    }
    // Starts tessel-sim with the options and points port 1 at the terminal it announces.
    bool startSim(const QStringList &arguments)
    {
        const QString program = QStringLiteral(TESSEL_BIN_DIR "/tessel-sim");
        if (QFileInfo::exists(program))
            sim.start(program, arguments);
        const QByteArray path = sim.waitForStarted(5000) ? simLine() : QByteArray();
        qputenv("TESSEL_COM1", path);
        seed->params.setParam("COMPort", "1");
        return !path.isEmpty();
    }

    // The link's own timers answer the test; the event loop runs until it is over.
    void runConnectionTest(bool showParams, QObject *) override
    {
        test->start(showParams);
        QDeadlineTimer deadline(20000);
        while (test->isRunning() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }

    // Sends commands to the analyser's standard input; its answer to "stats",
    // which comes after they are done.
    QByteArray simDo(const QByteArray &commands)
    {
        sim.write(commands + "stats\n");
        return simLine();
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        display = FakeDisplay();
        link = new PacketLink(seed->params, prompts, makeLinkPort); // the program's own port factory
        link->setDisplay(&display);
        link->initProcesses();
        test = new ConnectionTest(*link, seed->db, seed->params);
        link->setConnectionTester(this);
        link->startTimers();
    }
    void cleanup()
    {
        link->stopTimers();
        delete test;
        delete link;
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
            sim.waitForFinished(1000);
        }
        qunsetenv("TESSEL_COM1");
        delete seed;
    }

    void connectAndSwitchModes_data()
    {
        QTest::addColumn<QStringList>("simArguments");
        QTest::newRow("plain line") << QStringList{};
        QTest::newRow("packets in 3-byte pieces") << QStringList{"--chunk", "3"};
        QTest::newRow("noise before every packet") << QStringList{"--garbage", "00FF1B0E"};
    }
    void connectAndSwitchModes()
    {
        QFETCH(QStringList, simArguments);
        if (!startSim(simArguments))
            QSKIP("tessel-sim is not built or cannot open a pseudo-terminal");
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        QCOMPARE(link->linkState(), 3);
        QCOMPARE(test->value("CAN Speed, kbps"), QStringLiteral("500.000"));
        QCOMPARE(test->answeredSteps().size(), 20); // the registers were written
        QVERIFY(link->port()->deviceName().contains(qgetenv("TESSEL_COM1").split('/').last()));
        link->releaseLink(nullptr, false, false);
        RunCommands run(*link);
        run.listenCAN();
        QTRY_COMPARE_WITH_TIMEOUT(display.mode(), QStringLiteral("Listen"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(link->busyCount(), 0, 5000);
        QVERIFY(link->acquireLink(nullptr, true, true) == Acquired::Yes);
        QCOMPARE(test->answeredSteps().size(), 17); // now they agree: no writes
        QCOMPARE(test->value("CAN Mode"), QStringLiteral("Listen"));
        link->releaseLink(nullptr, false, false);
        QVERIFY(prompts.shown.isEmpty());
    }

    // Faults switched on sim's standard input take effect on the line; "stats"
    // counts the commands the analyser received.
    void faultsFromStandardInput()
    {
        if (!startSim({}))
            QSKIP("tessel-sim is not built or cannot open a pseudo-terminal");
        QCOMPARE(simDo("error-flag 81\n"), QByteArray("generated 0 sent 0 lost 0 corrupted 0 commands 0"));
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::No);
        QCOMPARE(test->answeredSteps().last(), QStringLiteral("Error"));
        QCOMPARE(prompts.texts(), QStringList{"Error! CAN Analyser answer with error on your command..."});
        prompts.clear();
        QCOMPARE(simDo("error-flag off\n"), QByteArray("generated 0 sent 0 lost 0 corrupted 0 commands 20"));
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        link->releaseLink(nullptr, false, false);
        QVERIFY(prompts.shown.isEmpty());
    }

    // The analyser drops the line while a command waits for its answer.
    void lineDropped()
    {
        // Signature + 19 more commands connect; the one after that is never answered.
        if (!startSim({"--drop-after", "20"}))
            QSKIP("tessel-sim is not built or cannot open a pseudo-terminal");
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        link->releaseLink(nullptr, false, false);
        RunCommands run(*link);
        run.enableCAN();
        QTRY_COMPARE_WITH_TIMEOUT(prompts.texts(), QStringList{"Communication port error!"}, 5000);
        QCOMPARE(link->busyCount(), 0);
        QVERIFY(!link->isPortOpen());
    }
};

TESSEL_TEST(tst_LinkPty)
#include "tst_linkpty.moc"
