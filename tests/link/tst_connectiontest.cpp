#include "link/analyser.h"
#include "link/connectiontest.h"
#include "link/packetlink.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/testregistry.h"

#include <QtTest>

namespace {

// Passes everything through to the virtual port and keeps the commands written.
class RecordingPort final : public SerialPort
{
public:
    explicit RecordingPort(std::unique_ptr<VirtualPort> port)
        : inner(std::move(port))
    {
        connect(inner.get(), &SerialPort::readyRead, this, &SerialPort::readyRead);
        connect(inner.get(), &SerialPort::portError, this, &SerialPort::portError);
    }
    bool open(const QString &settings) override { return inner->open(settings); }
    void close() override { inner->close(); }
    bool isOpen() const override { return inner->isOpen(); }
    qint64 pendingCount() const override { return inner->pendingCount(); }
    QByteArray readAll(bool *ok) override { return inner->readAll(ok); }
    bool write(const QByteArray &bytes) override
    {
        payloads << bytes.mid(5, bytes.size() - 6);
        return inner->write(bytes);
    }
    void clear() override { inner->clear(); }
    QString deviceName() const override { return inner->deviceName(); }

    [[nodiscard]] int count(quint8 code) const
    {
        int n = 0;
        for (const QByteArray &p : payloads)
            n += quint8(p.at(0)) == code;
        return n;
    }

    std::unique_ptr<VirtualPort> inner;
    QList<QByteArray> payloads;
};

} // namespace

// The connection chain against the virtual analyser in
// this process; time moves only through the link's poll and time-out scan.
class tst_ConnectionTest : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakeDisplay display;
    VirtualAnalyserOptions options;
    RecordingPort *port = nullptr;
    PacketLink *link = nullptr;
    ConnectionTest *test = nullptr;
    HeadlessTester *tester = nullptr;

    VirtualAnalyser &analyser() { return *port->inner->analyser(); }

    // The automatic test before a command: acquire, then let go.
    bool connectOnce(bool force = false)
    {
        const bool failed = link->acquireLink(nullptr, force, true) == Acquired::No;
        if (!failed)
            link->releaseLink(nullptr, false, false);
        return !failed;
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        display = FakeDisplay();
        options = VirtualAnalyserOptions();
        port = nullptr;
        link = new PacketLink(seed->params, prompts, [this](int number) -> std::unique_ptr<SerialPort> {
            if (number != 0)
                return nullptr;
            auto p = std::make_unique<RecordingPort>(makeVirtualAnalyserPort(options, false));
            port = p.get();
            return p;
        });
        link->setDisplay(&display);
        link->initProcesses();
        test = new ConnectionTest(*link, seed->db, seed->params);
        tester = new HeadlessTester(*link, *test);
    }
    void cleanup()
    {
        delete tester;
        delete test;
        delete link;
        delete seed;
    }

    // The virtual analyser starts at 250 kbit/s, the seed database's default
    // row says 500 kbit/s: the first connection writes the three registers,
    // the second finds them equal.
    void firstConnectionWritesTheRegistersThenAgrees()
    {
        QVERIFY(connectOnce());
        QCOMPARE(port->count(analyser::cmdWriteParam), 3);
        QVERIFY(port->payloads.contains(QByteArray::fromHex("02A802")));
        QVERIFY(port->payloads.contains(QByteArray::fromHex("02A90C")));
        QVERIFY(port->payloads.contains(QByteArray::fromHex("02AA37")));
        QCOMPARE(analyser().parameter(analyser::paramCanBT1), quint8(0x02));
        QCOMPARE(analyser().parameter(analyser::paramCanBT2), quint8(0x0C));
        QCOMPARE(analyser().parameter(analyser::paramCanBT3), quint8(0x37));
        QCOMPARE(test->value("CAN Speed, kbps"), QStringLiteral("500.000"));
        QCOMPARE(link->analyserValues.analyserBitRate, 500000.0);
        QCOMPARE(test->answeredSteps().size(), 20);
        QVERIFY(test->answeredSteps().contains("PARAM_MY_CANBT1_SET"));

        port->payloads.clear();
        QVERIFY(connectOnce(true));
        QCOMPARE(test->answeredSteps().size(), 17);
        QCOMPARE(port->payloads.size(), 17);
        QCOMPARE(port->count(analyser::cmdWriteParam), 0);
        QCOMPARE(link->linkState(), 3);
        QCOMPARE(link->busyCount(), 0);
        QCOMPARE(link->outstandingCount(), 0);
    }

    void theListAndTheValuesKept()
    {
        QVERIFY(connectOnce(true));
        const QList<ConnectionTest::Row> expected{
            {"Signature", "Tessel virtual CAN analyser"},
            {"HW Version", "1"},
            {"SW Version", "1.02.0004"},
            {"MCU Frequency, MHz", "16.000000"},
            {"CAN Speed, kbps", "500.000"},
            {"CAN Timer Frequency, kHz", "1000.000"},
            {"CAN TX TimeOut, ms", "10"},
            {"CAN MOb for TX", "2"},
            {"CAN MOb for RX", "12"},
            {"CAN Mode", "Enable"},
            {"CAN Capture", "Off"},
        };
        QCOMPARE(test->rows().size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(test->rows()[i].name, expected[i].name);
            QCOMPARE(test->rows()[i].value, expected[i].value);
        }
        const AnalyserValues &a = link->analyserValues;
        QCOMPARE(a.mcuClock, 16000000);
        QCOMPARE(a.buildNumber, 4);
        QCOMPARE(a.timerPrescaler, quint8(1));
        QCOMPARE(a.timerFrequency, 1000000.0);
        QCOMPARE(a.rxMObs, quint8(12));
        QCOMPARE(a.txTimeOut, quint8(10));
        QCOMPARE(test->statusText(), QStringLiteral("Connected"));
        QCOMPARE(test->buttonCaption(), QStringLiteral("Ok"));
        QCOMPARE(display.panel[1], QStringLiteral("Status : Connected"));
        QCOMPARE(display.mode(), QStringLiteral("Enable"));
        QCOMPARE(display.status, 0x04);
        // The bar is scaled to this run: signature length + 22 steps.
        QCOMPARE(test->progressValue(), 27 + 22);
        QCOMPARE(test->progressMax(), test->progressValue());
        QVERIFY(prompts.shown.isEmpty());
    }

    void databaseRowsDecide_data()
    {
        QTest::addColumn<QString>("speedId");
        QTest::addColumn<QString>("timerId");
        QTest::addColumn<int>("writes");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("timer");
        QTest::addColumn<double>("timerFrequency");
        QTest::newRow("1 Mbit/s row") << "1" << "0" << 3 << "1000.000" << "1000.000" << 1e6;
        QTest::newRow("800 kbit/s row") << "9" << "0" << 3 << "800.000" << "1000.000" << 1e6;
        QTest::newRow("timer 2 MHz: prescaler written") << "0" << "2" << 3 + 1 << "500.000" << "2000.000" << 2e6;
        // Mended: no row for the stored id keeps the analyser's own setting.
        QTest::newRow("no speed row: analyser's 250 kbit/s kept") << "99" << "0" << 0 << "250.000" << "1000.000" << 1e6;
        QTest::newRow("no timer row: analyser's prescaler kept") << "0" << "99" << 3 << "500.000" << "1000.000" << 1e6;
    }
    void databaseRowsDecide()
    {
        QFETCH(QString, speedId);
        QFETCH(QString, timerId);
        QFETCH(QString, speed);
        QFETCH(double, timerFrequency);
        seed->params.setParam("id_CAN_Speed", speedId);
        seed->params.setParam("id_CAN_Timer", timerId);
        QVERIFY(connectOnce());
        QTEST(port->count(analyser::cmdWriteParam), "writes");
        QCOMPARE(test->value("CAN Speed, kbps"), speed);
        QTEST(test->value("CAN Timer Frequency, kHz"), "timer");
        QCOMPARE(link->analyserValues.timerFrequency, timerFrequency);
        QCOMPARE(link->analyserValues.analyserBitRate, speed.toDouble() * 1000);
        QCOMPARE(link->linkState(), 3);
    }

    void failures_data()
    {
        QTest::addColumn<int>("silentFor");
        QTest::addColumn<int>("errorFor");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no answer to the signature: no message") << int(analyser::cmdHwVersion) << simfault::none
                                                                << QStringList{};
        QTest::newRow("no answer to a parameter read") << int(analyser::cmdReadParam) << simfault::none
                                                       << QStringList{};
        QTest::newRow("error flag on the status read: message once")
            << simfault::none << int(analyser::cmdGetStatus)
            << QStringList{"Error! CAN Analyser answer with error on your command..."};
    }
    void failures()
    {
        QFETCH(int, silentFor);
        QFETCH(int, errorFor);
        options.silentFor = silentFor;
        options.errorFlagFor = errorFor;
        QVERIFY(!connectOnce());
        QTEST(prompts.texts(), "messages");
        QCOMPARE(test->statusText(), QStringLiteral("Not connected"));
        QCOMPARE(test->buttonCaption(), QStringLiteral("Cancel"));
        QCOMPARE(test->progressValue(), 0);
        QCOMPARE(link->linkState(), 1);
        QCOMPARE(link->busyCount(), 0);
        QVERIFY(!port->isOpen());
        QCOMPARE(link->outstandingCount(), 0);

        // The link is not lost: with the analyser answering again it connects.
        prompts.shown.clear();
        analyser().options().silentFor = simfault::none;
        analyser().options().errorFlagFor = simfault::none;
        QVERIFY(connectOnce());
        QVERIFY(prompts.shown.isEmpty());
    }

    void progressBarMaximum()
    {
        seed->params.setParam("TestConnectPBMax", "10");
        test->start(false);
        QCOMPARE(test->progressMax(), 10);
        test->addLVParams("a", "1", 4);
        QCOMPARE(test->progressValue(), 4);
        QCOMPARE(test->progressMax(), 10);
        test->addLVParams("b", "2", 9);
        QCOMPARE(test->progressValue(), 13);
        QCOMPARE(test->progressMax(), 13);
        test->storeProgressMax();
        QCOMPARE(seed->params.getParam("TestConnectPBMax", "0"), QStringLiteral("13"));
    }

    // An answer that arrives for a test abandoned earlier (window cancelled)
    // must not be taken as a step of the current one.
    void staleAnswerIgnored()
    {
        QVERIFY(link->acquireLink(nullptr, true, true) == Acquired::Yes);
        link->releaseLink(nullptr, false, false);
        analyser().options().silentFor = simfault::all;
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes); // still connected: no test
        test->start(false);                                // process 1 waits
        const int first = link->nextSeq() - 1;
        test->start(false); // cancelled and started again
        QCOMPARE(link->outstandingCount(), 2);
        for (int i = 0; i < 500; ++i)
            link->timeoutScan();
        QCOMPARE(link->process(first).Owner, 0);
        QVERIFY(!test->isRunning());
        QCOMPARE(test->answeredSteps(), QStringList{"TimeOut"});
        QCOMPARE(link->outstandingCount(), 0);
    }
};

TESSEL_TEST(tst_ConnectionTest)
#include "tst_connectiontest.moc"
