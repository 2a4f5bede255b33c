#include "link/analyser.h"
#include "link/packetlink.h"
#include "link/runcommands.h"
#include "support/fakeport.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/testregistry.h"

#include <QDir>
#include <QtTest>

namespace {

const QString noAnswer = QStringLiteral("Error! CAN Analyser do not answer on command...");
const QString errorAnswer = QStringLiteral("Error! CAN Analyser answer with error on your command...");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// An answer from the analyser: code, error flag, values.
QByteArray answer(int seq, quint8 code, quint8 error, const QByteArray &values = {})
{
    return packet::build(quint8(seq), QByteArray(1, char(code)) + char(error) + values);
}

} // namespace

// The link against a port in memory: packets, the process table, dispatch, time-outs and port failures.
class tst_PacketLink : public QObject, private LinkOwner
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    FakeDisplay display;
    FakePort *port = nullptr; // owned by the link
    PacketLink *link = nullptr;
    QStringList calls; // "command@process" of each answer the owner was given
    QList<int> captureCodes;

    // The send-frame owner here: records each answer and frees its process, as every owner does.
    void treatAnswer(int process, const QString &) override
    {
        clsProcess &p = link->process(process - 1);
        calls << p.Command + '@' + QString::number(process);
        p.Free();
    }

    // Opens the port the way the Run commands do, with a link already connected.
    void acquireConnected()
    {
        link->setLinkState(3);
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        QVERIFY(port && port->isOpen());
    }
    int send(const QString &command = "Show", const QString &onTimeOut = {}, int ticks = 500)
    {
        return link->sendCommand(hex("81"), owner::sendFrame, command, onTimeOut, ticks);
    }
    void arrive(const QByteArray &bytes)
    {
        port->feed(bytes);
        link->poll();
    }
    void expectProcess(int index, int owner, const QString &command, int ticks)
    {
        QCOMPARE(link->process(index).Owner, owner);
        QCOMPARE(link->process(index).Command, command);
        QCOMPARE(link->process(index).TicksLeft, ticks);
    }
    // The one critical message shown since the last check ("": none), then
    // forgets it; cleanup() checks that nothing else was shown.
    void expectPrompt(const QString &text = {}, const QString &title = {})
    {
        QCOMPARE(prompts.texts(), text.isEmpty() ? QStringList() : QStringList{text});
        for (const FakePrompts::Shown &shown : std::as_const(prompts.shown)) {
            QCOMPARE(shown.icon, Prompts::Icon::Critical);
            QCOMPARE(shown.title, title.isEmpty() ? shown.title : title);
        }
        prompts.clear();
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        display = FakeDisplay();
        calls.clear();
        captureCodes.clear();
        port = nullptr;
        link = new PacketLink(seed->params, prompts, [this](int) {
            auto p = std::make_unique<FakePort>();
            port = p.get();
            return p;
        });
        link->setDisplay(&display);
        link->initProcesses();
        connect(link, &PacketLink::capturePacket, this, [this](int code) { captureCodes << code; });
        link->registerOwner(owner::sendFrame, this);
    }
    void cleanup()
    {
        expectPrompt();
        delete link;
        delete seed;
    }

    void nextSeqSkipsTakenProcesses_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("taken");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("next");
        QTest::newRow("2 and 3 taken: uses 1, next 4") << 1 << QList<int>{2, 3} << 1 << 4;
        QTest::newRow("255 is followed by 0") << 255 << QList<int>{} << 255 << 0;
        QTest::newRow("255 with 0 and 1 taken: next 2") << 255 << QList<int>{0, 1} << 255 << 2;
        QTest::newRow("nextSeq on a taken process: first free after it") << 5 << QList<int>{5, 6} << 7 << 8;
    }
    void nextSeqSkipsTakenProcesses()
    {
        QFETCH(QList<int>, taken);
        QFETCH(int, used);
        acquireConnected();
        for (int t : taken)
            link->process(t).Owner = owner::capture;
        QFETCH(int, start);
        link->setNextSeq(start);
        QCOMPARE(send(), used);
        QTEST(link->nextSeq(), "next");
        QCOMPARE(quint8(port->writes.last().at(1)), quint8(used));
    }

    // A command books the process of its sequence number. Nothing is sent with the port closed, nor (mended) with every
    // process taken, where there is nowhere to book an answer.
    void sendBooksAProcess()
    {
        QCOMPARE((QList<int>{send(), link->outstandingCount(), link->nextSeq()}), (QList<int>{-1, 0, 1}));
        acquireConnected();
        QCOMPARE(link->sendCommand(hex("82 01"), owner::runCommands, "CMD_CAN_RESET", "Error", 2000), 1);
        QCOMPARE(port->writes, QList<QByteArray>{hex("1b 01 00 02 0e 82 01 95")});
        expectProcess(1, owner::runCommands, "CMD_CAN_RESET", 2000);
        QCOMPARE(link->process(1).OnTimeOut, QStringLiteral("Error"));
        QCOMPARE(link->nextSeq(), 2);
        for (int i = 1; i < PacketLink::processCount; ++i)
            QVERIFY(send() >= 0);
        QCOMPARE(link->outstandingCount(), 256);
        const auto written = port->writes.size();
        QCOMPARE(send(), -1);
        QCOMPARE(port->writes.size(), written);
        // One answer frees its process, and the next send uses exactly that one.
        arrive(answer(77, 0x81, 0, hex("04")));
        QCOMPARE(send(), 77);
    }

    // Noise and bad checksums are the framer's (tst_packetcodec); here the
    // packets it yields go to the process they answer, which is then free.
    void answersReachTheirOwner_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<int>>("afterEachPoll"); // owner calls so far
        QTest::addColumn<QStringList>("calls");
        const QByteArray a = answer(1, 0x81, 0, hex("04"));
        const QByteArray b = answer(2, 0x81, 0, hex("03"));
        QTest::newRow("split over two reads, two in the second: in order after it")
            << QList<QByteArray>{a.left(6), a.mid(6) + b} << QList<int>{0, 2} << QStringList{"first@2", "second@3"};
        QTest::newRow("answer for a free process is ignored")
            << QList<QByteArray>{answer(9, 0x81, 0, hex("04")) + a} << QList<int>{1} << QStringList{"first@2"};
        QTest::newRow("error flag: Error, with its message")
            << QList<QByteArray>{answer(1, 0x81, 1, hex("00"))} << QList<int>{1} << QStringList{"Error@2"};
    }
    void answersReachTheirOwner()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<int>, afterEachPoll);
        acquireConnected();
        QCOMPARE(send("first"), 1);
        QCOMPARE(send("second"), 2);
        for (int i = 0; i < reads.size(); ++i) {
            arrive(reads[i]);
            QCOMPARE(calls.size(), afterEachPoll[i]);
        }
        QTEST(calls, "calls");
        QCOMPARE(link->process(1).Owner, 0);
        expectPrompt(calls.contains("Error@2") ? errorAnswer : QString(), "Command error!");
    }

    // Capture records go to the capture and leave the waiting process alone;
    // the last packet reads as blanks past its end.
    void captureRecordsAndTheLastPacket()
    {
        acquireConnected();
        send();
        arrive(answer(1, 0x85, 0, hex("00 00 00 01 05 00 00 01 23 00 08")) + answer(0, 0x86, 0, hex("00 00 00 02 07")));
        QCOMPARE(captureCodes, (QList<int>{0x85, 0x86}));
        QVERIFY(calls.isEmpty() && link->process(1).Owner == owner::sendFrame);
        arrive(answer(1, 0x81, 0, hex("84")));
        QCOMPARE(calls.size(), 1);
        QCOMPARE((QList<quint8>{link->packetByte(8), link->packetByte(10), link->packetByte(1024)}),
                 (QList<quint8>{0x84, 0x20, 0x20}));
        QCOMPARE(link->paddedLastPacket().size(), 1024);
        QCOMPARE(link->paddedLastPacket().left(9), link->lastPacket());
    }

    void timeOuts_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("onTimeOut"); // "Error" has the time-out shown
        QTest::newRow("1 tick: the next scan") << 1 << "Error";
        QTest::newRow("500 ticks, silent") << 500 << "";
        QTest::newRow("2000 ticks with message") << 2000 << "Error";
        QTest::newRow("other OnTimeOut text is silent") << 3 << "Silent";
        QTest::newRow("0 ticks never time out") << 0 << "Error";
        QTest::newRow("-1 ticks never time out") << -1 << "Error";
    }
    void timeOuts()
    {
        QFETCH(int, ticks);
        QFETCH(QString, onTimeOut);
        acquireConnected();
        send("Show", onTimeOut, ticks);
        for (int i = 1; i < (ticks > 0 ? ticks : 2000); ++i)
            link->timeoutScan();
        QVERIFY(calls.isEmpty());
        link->timeoutScan();
        QCOMPARE(calls, ticks > 0 ? QStringList{"TimeOut@2"} : QStringList{});
        expectPrompt(ticks > 0 && onTimeOut == "Error" ? noAnswer : QString(), "Command error!");
    }

    // The timeout tick reads the line before it scans: an answer that has
    // arrived when its last tick comes is an answer, not a time-out.
    void answerOnTheLineBeatsItsLastTick()
    {
        acquireConnected();
        send("Show", "Error", 1);
        port->feed(answer(1, 0x81, 0, hex("04")));
        link->timeoutTick();
        QCOMPARE(calls, QStringList{"Show@2"});
        QCOMPARE(link->lastPacket(), answer(1, 0x81, 0, hex("04")));
        expectPrompt();
        // Without an answer the same tick is the time-out.
        send("Show", "Error", 1);
        link->timeoutTick();
        QCOMPARE(calls, (QStringList{"Show@2", "TimeOut@3"}));
        expectPrompt(noAnswer);
    }

    // Users share the port; the last one to let go closes it.
    void acquireAndReleaseShareThePort()
    {
        seed->params.setParam("COMSpeed", "115200");
        acquireConnected();
        QCOMPARE(port->lastSettings + ' ' + display.panel[4], QStringLiteral("115200,N,8,1 Processes : 1"));
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        QCOMPARE(QPair(link->busyCount(), port->openCount), QPair(2, 1));
        QVERIFY(link->releaseLink(nullptr, true, false) == 0 && port->isOpen());
        QVERIFY(link->releaseLink(nullptr, true, false) == 0 && !port->isOpen());
        // A release more than acquired changes nothing and says nothing.
        QVERIFY(link->releaseLink(nullptr, true, false) == 0 && link->busyCount() == 0);
        QCOMPARE(display.panel[4], QStringLiteral("Processes : 0"));
        expectPrompt();
        // A port that closed under its user is reported at the release.
        acquireConnected();
        port->close();
        QCOMPARE(link->releaseLink(nullptr, true, false), -3);
        expectPrompt("Communication port is already closed!");
    }

    // The message keeps its text and names the device and the system's reason after it.
    void acquireWhenThePortDoesNotOpen_data()
    {
        QTest::addColumn<bool>("showMessage");
        QTest::addColumn<QString>("reason"); // "": a device path that does not exist
        QTest::addColumn<QString>("message");
        const QString missing = QDir::temp().filePath("tessel-no-such-dir/tty");
        const QString text = QStringLiteral("Communication port is not opened! (%1)");
        QTest::newRow("with message: device and reason follow the text")
            << true << "Permission denied" << text.arg("fake: Permission denied");
        QTest::newRow("without message") << false << "Permission denied" << QString();
        QTest::newRow("no reason known: the device alone") << true << "-" << text.arg("fake");
        QTest::newRow("real device path with the system's reason")
            << true << "" << text.arg(missing + ": No such file or directory");
    }
    void acquireWhenThePortDoesNotOpen()
    {
        QFETCH(bool, showMessage);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        link->setLinkState(3);
        ScriptedTester tester(*link);
        if (reason.isEmpty()) {
            link->setPortFactory([](int) { return makeDevicePort(QDir::temp().filePath("tessel-no-such-dir/tty")); });
        } else {
            link->setPortFactory([reason](int) {
                auto p = std::make_unique<FakePort>();
                p->openOk = false;
                p->reason = reason == "-" ? QString() : reason;
                return p;
            });
        }
        QVERIFY(link->acquireLink(nullptr, false, showMessage) == Acquired::No);
        QCOMPARE(tester.runs + link->busyCount(), 0); // no test without a port
        expectPrompt(message);
    }

    // A failed test closes the port again; the connection window has shown why.
    void acquireRunsTheTestWhenNeeded_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("testRuns");
        QTest::addColumn<int>("testLeaves");
        QTest::newRow("connected: no test") << 3 << false << false << 3;
        QTest::newRow("connected, forced: test") << 3 << true << true << 3;
        QTest::newRow("unknown: test") << 0 << false << true << 3;
        QTest::newRow("not connected: test") << 1 << false << true << 3;
        QTest::newRow("test fails: not acquired") << 0 << false << true << 1;
    }
    void acquireRunsTheTestWhenNeeded()
    {
        QFETCH(int, state);
        QFETCH(bool, force);
        QFETCH(bool, testRuns);
        QFETCH(int, testLeaves);
        ScriptedTester tester(*link);
        tester.leavesState = testLeaves;
        link->setLinkState(state);
        const bool connects = testLeaves == 3;
        QCOMPARE(link->acquireLink(nullptr, force, true) == Acquired::Yes, connects);
        QCOMPARE(tester.runs, testRuns ? 1 : 0);
        QCOMPARE(tester.showParams, force);
        QCOMPARE(QPair(link->busyCount(), port->isOpen()), QPair(connects ? 1 : 0, connects));
    }

    // The device disappears with commands outstanding: one message, busy count 0, the waiting commands end at once as
    // time-outs (no second message, no late release), and the next acquire opens the port again and tests the analyser
    // again.
    void portDisappearsWithCommandsOutstanding()
    {
        RunCommands run(*link);
        ScriptedTester tester(*link);
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes); // a capture-like user holding the link
        run.listenCAN();
        link->sendCommand(hex("83 00"), owner::sendFrame, "CMD_CAN_SEND_FRAME", "", 10);
        QCOMPARE(QPair(link->busyCount(), link->outstandingCount()), QPair(2, 2));
        port->failed = true;
        link->poll();
        link->poll(); // nothing more happens on a closed port
        expectPrompt("Communication port error!");
        QCOMPARE(calls, QStringList{"TimeOut@3"});
        // The Run command's release found nothing to release.
        QVERIFY(!port->isOpen() && link->outstandingCount() == 0 && link->busyCount() == 0);
        for (int i = 0; i < 2000; ++i)
            link->timeoutScan();
        expectPrompt();
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes && port->isOpen());
        QCOMPARE(QPair(tester.runs, link->busyCount()), QPair(2, 1));
        QVERIFY(send() >= 0 && port->writes.size() == 1 + 2); // one write on the new line
    }

    void resetLinkClosesTheLinkWindows()
    {
        QStringList closed;
        link->setCloseCommand(owner::connectWindow, [&] { closed << "connect"; });
        link->setCloseCommand(owner::capture, [&] { closed << "capture"; });
        link->setCloseCommand(owner::sendFrame, [&] { closed << "send"; });
        link->setCloseCommand(owner::analyserSettings, [&] { closed << "settings"; });
        acquireConnected();
        link->resetLink();
        QCOMPARE(closed, (QStringList{"connect", "capture", "send"}));
        QCOMPARE(link->busyCount() + link->linkState(), 0);
    }

    // A Run command shows Reset at once, other modes on the answer; one that fails (no answer, error flag) keeps what
    // was shown. Either way the link and the process are freed.
    void runCommands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("statusBefore");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("modeAtOnce");
        QTest::addColumn<int>("errorFlag"); // -1: no answer
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("reset") << "CMD_CAN_RESET" << 0x84 << hex("82 01") << "Reset" << 0 << "Reset Off" << "";
        QTest::newRow("listen while capturing sends 0x83")
            << "CMD_CAN_LISTEN" << 0x84 << hex("82 83") << "Enable" << 0 << "Listen On" << "";
        QTest::newRow("standby, not capturing")
            << "CMD_CAN_STANDBY" << 0x04 << hex("82 02") << "Enable" << 0 << "Disable Off" << "";
        QTest::newRow("enable, not capturing")
            << "CMD_CAN_ENABLE" << 0x03 << hex("82 04") << "Listen" << 0 << "Enable Off" << "";
        // clang-format on
        QTest::newRow("reset without an answer")
            << "CMD_CAN_RESET" << 0x84 << hex("82 01") << "Reset" << -1 << "Reset Off" << noAnswer;
        QTest::newRow("enable answered with the error flag")
            << "CMD_CAN_ENABLE" << 0x03 << hex("82 04") << "Listen" << 1 << "Listen Off" << errorAnswer;
    }
    void runCommands()
    {
        QFETCH(QString, command);
        QFETCH(int, statusBefore);
        QFETCH(QByteArray, sent);
        QFETCH(int, errorFlag);
        QFETCH(QString, message);
        RunCommands run(*link);
        link->setLinkState(3);
        link->setAnalyserStatus(quint8(statusBefore));
        run.treatRunCommand(0, command);
        QCOMPARE(port->writes.size(), 1);
        QCOMPARE(port->writes[0].mid(5, 2).toHex(' '), sent.toHex(' '));
        QTEST(display.mode(), "modeAtOnce");
        expectProcess(1, owner::runCommands, command, 2000);
        QCOMPARE(link->busyCount(), 1);
        if (errorFlag >= 0) {
            arrive(answer(1, 0x82, quint8(errorFlag), sent.mid(1)));
        } else {
            for (int i = 1; i < 2000; ++i)
                link->timeoutScan();
            QVERIFY(prompts.shown.isEmpty());
            link->timeoutScan();
        }
        expectPrompt(message);
        QTEST(display.mode() + ' ' + display.capture(), "shownAfter");
        if (message.isEmpty())
            QCOMPARE(link->analyserStatus(), quint8(sent.at(1)));
        QCOMPARE(link->busyCount() + link->outstandingCount(), 0);
        QVERIFY(!port->isOpen());
    }

    void testCommandReleasesAtOnce()
    {
        RunCommands run(*link);
        ScriptedTester tester(*link);
        link->setLinkState(3);
        run.testCAN();
        QVERIFY(tester.showParams && link->busyCount() == 0 && !port->isOpen());
    }
};

TESSEL_TEST(tst_PacketLink)
#include "tst_packetlink.moc"
