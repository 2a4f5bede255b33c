// The analyser settings without their window: loading, checks, change tracking, Apply and
// its effect on the next connection, the unload question, and the start of a
// firmware update up to the uploader's command line (with a stand-in starter).
#include "sender/analysersettings.h"
#include "sim/virtualport.h"
#include "support/settingsbench.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QtTest>

Q_DECLARE_METATYPE(Prompts::Answer)

namespace {

const QString tooBig = QStringLiteral("Value is big!");
const QString notDigit = QStringLiteral("Value must be digit!");
const QString saveQuestion = QStringLiteral("Settings was been chanded. Save?");

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class tst_AnalyserSettings : public QObject
{
    Q_OBJECT

private slots:
    void portFromSettings_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        // clang-format off
        QTest::newRow("0 selects the built-in analyser") << "0" << 0;
        QTest::newRow("empty: no port selected") << "" << -1;
        QTest::newRow("3 selects COM3") << "3" << 3;
        QTest::newRow("17 is past the list") << "17" << -1;
        QTest::newRow("not a number") << "x" << -1;
        // clang-format on
    }

    void portFromSettings()
    {
        QFETCH(QString, stored);
        Bench b;
        b.seed.params.setParam(QStringLiteral("COMPort"), stored);
        b.settings->load();
        QTEST(b.settings->cmbCOMPort, "index");
        QFETCH(int, index);
        QCOMPARE(b.settings->portNumber(), qMax(index, 0));
        QCOMPARE(b.settings->portDevice(), portDescription(qMax(index, 0)));
        // Apply writes a port only when one is selected.
        b.settings->cmdApply_Click();
        QCOMPARE(b.param("COMPort"), index >= 0 ? QString::number(index) : stored);
    }

    void retryAndTimeOutChecks_data()
    {
        QTest::addColumn<bool>("timeOut");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");

        // clang-format off
        QTest::newRow("time-out 500 is raised to 1000") << true << "500" << true << "1000" << "";
        QTest::newRow("time-out 10001 is too big") << true << "10001" << false << "10001" << tooBig;
        QTest::newRow("retry 0 is raised to 1") << false << "0" << true << "1" << "";
        QTest::newRow("retry 100 is the largest") << false << "100" << true << "100" << "";
        QTest::newRow("retry 101 is too big") << false << "101" << false << "101" << tooBig;
        QTest::newRow("retry -1 is not a number") << false << "-1" << false << "-1" << notDigit;
        // clang-format on
    }

    void retryAndTimeOutChecks()
    {
        QFETCH(bool, timeOut);
        QFETCH(QString, input);
        QFETCH(bool, passes);
        Bench b;
        b.settings->load();
        QString &box = timeOut ? b.settings->txtSendFrame_TimeOut : b.settings->txtSendFrame_Retry;
        box = input;
        const bool ok =
            timeOut ? b.settings->txtSendFrame_TimeOut_Validate() : b.settings->txtSendFrame_Retry_Validate();
        QCOMPARE(ok, passes);
        QTEST(box, "shown");
        // A passing check counts as a change, even when the text ends as it was.
        QCOMPARE(b.settings->cmdApplyEnabled, passes);
        QFETCH(QString, message);
        QCOMPARE(b.prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    void listClickBackKeepsApplyButWritesNoSpeed()
    {
        Bench b;
        b.seed.params.setParam(QStringLiteral("COMPort"), QStringLiteral("3"));
        b.settings->load();
        AnalyserSettings &s = *b.settings;
        const int loaded = s.cmbCAN_Speed.selected;
        s.cmbCAN_Speed_Click(loaded + 1);
        QVERIFY(s.cmdApplyEnabled);
        s.cmbCAN_Speed_Click(loaded);
        QVERIFY(s.cmdApplyEnabled); // going back does not disable it
        s.txtSendFrame_Retry = QStringLiteral("5");
        s.txtSendFrame_TimeOut = QStringLiteral("2500");
        b.seed.params.setParam(QStringLiteral("COMPort"), QStringLiteral("9")); // to see it written again
        s.cmdApply_Click();
        QVERIFY(!s.cmdApplyEnabled);
        QCOMPARE(b.param("def_CAN_Speed"), QStringLiteral("2"));
        QCOMPARE(b.param("COMPort"), QStringLiteral("3"));
        QCOMPARE(b.param("SendFrame_Retry"), QStringLiteral("5"));
        QCOMPARE(b.param("SendFrame_TimeOut"), QStringLiteral("2500"));
        QCOMPARE(b.windowsClosed, 0); // no new defaults, no reset of the link
    }

    void newDefaultSpeedIsUsedByTheNextConnection()
    {
        Bench b;
        // A first connection with the defaults, held by someone.
        QVERIFY(b.link->acquireLink(nullptr, false, false) == Acquired::Yes);
        QCOMPARE(b.port->analyser()->parameter(0xA8), quint8(0x02)); // 500 kbit/s
        b.seed.params.setParam(QStringLiteral("id_CAN"), QStringLiteral("0"));
        b.settings->load();
        AnalyserSettings &s = *b.settings;
        const int row = int(s.cmbCAN_Speed.items.indexOf(QStringLiteral("125000")));
        s.cmbCAN_Speed_Click(row);
        s.cmbCAN_Timer_Click(int(s.cmbCAN_Timer.items.indexOf(QStringLiteral("250000"))));
        s.cmdApply_Click();
        QCOMPARE(b.param("def_CAN_Speed"), QStringLiteral("4"));
        QCOMPARE(b.param("def_CAN_Timer"), QStringLiteral("4"));
        QCOMPARE(b.param("id_CAN_Speed"), QStringLiteral("4"));
        QCOMPARE(b.param("id_CAN_Timer"), QStringLiteral("4"));
        // resetLink: windows closed, no users, not connected.
        QCOMPARE(b.windowsClosed, 1);
        QCOMPARE(b.link->busyCount(), 0);
        QCOMPARE(b.link->linkState(), 0);
        // The next user reconnects and the analyser gets the new bit timing.
        QVERIFY(b.link->acquireLink(nullptr, false, false) == Acquired::Yes);
        QCOMPARE(b.link->linkState(), 3);
        QCOMPARE(b.port->analyser()->parameter(0xA8), quint8(0x0E));
        QCOMPARE(b.port->analyser()->parameter(0xAB), quint8(7));
    }

    void currentCanDbKeepsItsSpeed()
    {
        Bench b;
        b.seed.params.setParam(QStringLiteral("id_CAN"), QStringLiteral("1"));
        b.seed.params.setParam(QStringLiteral("id_CAN_Speed"), QStringLiteral("7"));
        b.settings->load();
        b.settings->cmbCAN_Speed_Click(0);
        b.settings->cmdApply_Click();
        QCOMPARE(b.param("def_CAN_Speed"), QStringLiteral("1"));
        QCOMPARE(b.param("id_CAN_Speed"), QStringLiteral("7"));
        QCOMPARE(b.windowsClosed, 0);
    }

    void unloadQuestion_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("retryAfter");

        // clang-format off
        QTest::newRow("no change: closes without asking") << false << Prompts::Answer::Yes << true << "3";
        QTest::newRow("Yes saves and closes") << true << Prompts::Answer::Yes << true << "7";
        QTest::newRow("No closes without saving") << true << Prompts::Answer::No << true << "3";
        QTest::newRow("Cancel keeps the dialog and its changes") << true << Prompts::Answer::Cancel << false << "3";
        // clang-format on
    }

    void unloadQuestion()
    {
        QFETCH(bool, changed);
        QFETCH(Prompts::Answer, answer);
        Bench b;
        b.settings->load();
        if (changed) {
            b.settings->txtSendFrame_Retry = QStringLiteral("7");
            QVERIFY(b.settings->txtSendFrame_Retry_Validate());
        }
        b.prompts.answers << answer;
        QTEST(b.settings->queryUnload(), "closes");
        QTEST(b.param("SendFrame_Retry"), "retryAfter");
        if (!changed) {
            QVERIFY(b.prompts.shown.isEmpty());
            return;
        }
        QCOMPARE(b.prompts.shown.size(), 1);
        const FakePrompts::Shown &shown = b.prompts.shown.first();
        QCOMPARE(shown.text, saveQuestion);
        QCOMPARE(shown.title, QStringLiteral("Save..."));
        QCOMPARE(shown.icon, Prompts::Icon::None);
        QCOMPARE(shown.buttons, Prompts::Buttons::YesNoCancel);
        QCOMPARE(b.settings->cmdApplyEnabled, answer != Prompts::Answer::Yes);
        QCOMPARE(b.settings->txtSendFrame_Retry, QStringLiteral("7"));
    }

    // ---------------------------------------------------------------- firmware update

    void uploaderMissing()
    {
        Bench b;
        b.settings->load();
        b.settings->cmdFlashUpdate_Click();
        QCOMPARE(b.prompts.texts(), QStringList{QStringLiteral("Uploader is not found.")});
        QCOMPARE(b.prompts.shown.first().icon, Prompts::Icon::Critical);
        QVERIFY(!b.port); // nothing was said to the analyser
        QVERIFY(b.started.isEmpty());
    }

    void upgradeStartsFlashorOnTheShownPort()
    {
        Bench b;
        touch(b.work.filePath(QStringLiteral("Flashor")));
        b.settings->load();
        b.settings->cmbCOMPort_Click(3); // COM3, not applied
        b.settings->cmdFlashUpdate_Click();
        QCOMPARE(b.link->linkState(), 3); // reset, then connected again
        const int index = b.settings->upgradeProcess();
        QVERIFY(index >= 0);
        QCOMPARE(b.link->process(index).Command, QStringLiteral("CMD_FIRMWARE_UPGRADE_START"));
        QCOMPARE(b.link->process(index).TicksLeft, 100);
        QVERIFY(b.started.isEmpty()); // not before the analyser has answered

        b.link->poll();
        QCOMPARE(b.started.size(), 1);
        const UploaderCommand &command = b.started.first();
        QCOMPARE(command.program, b.work.filePath(QStringLiteral("Flashor")));
        QCOMPARE(
            command.arguments,
            QStringList({QStringLiteral("/r"), QStringLiteral("/c3"),
                         QStringLiteral("/f") + QDir::toNativeSeparators(b.work.filePath(QStringLiteral("*.rfw")))}));
        QCOMPARE(command.workingFolder, b.work.path());
        // The port is free for Flashor and nothing is left waiting.
        QVERIFY(!b.link->isPortOpen());
        QCOMPARE(b.link->busyCount(), 0);
        QCOMPARE(b.link->linkState(), 0);
        QCOMPARE(b.link->outstandingCount(), 0);
        QCOMPARE(b.settings->upgradeProcess(), -1);
        QCOMPARE(b.param("COMPort"), QStringLiteral("0"));
        QVERIFY(b.prompts.shown.isEmpty());
    }

    void uploaderBesideTheProgram()
    {
        Bench b;
        touch(QDir(b.programDir.path()).filePath(QStringLiteral("Flashor")));
        QCOMPARE(b.settings->uploaderPath(), QDir(b.programDir.path()).filePath(QStringLiteral("Flashor")));
        touch(b.work.filePath(QStringLiteral("Flashor")));
        QCOMPARE(b.settings->uploaderPath(), b.work.filePath(QStringLiteral("Flashor"))); // the working folder first
        const UploaderCommand command = b.settings->uploaderCommand(0);
        QCOMPARE(command.arguments.at(1), QStringLiteral("/c0"));
    }

    void upgradeTimeOutStartsNothing()
    {
        VirtualAnalyserOptions o = quietBus();
        o.silentFor = 0x07;
        Bench b(o);
        touch(b.work.filePath(QStringLiteral("Flashor")));
        b.settings->load();
        b.settings->cmdFlashUpdate_Click();
        for (int tick = 0; tick < 99; ++tick)
            b.link->timeoutScan();
        QCOMPARE(b.link->outstandingCount(), 1);
        b.link->timeoutScan();
        QVERIFY(b.started.isEmpty());
        QCOMPARE(b.prompts.texts(), QStringList{QStringLiteral("Error! CAN Analyser do not answer on command...")});
        QCOMPARE(b.link->busyCount(), 0);
        QCOMPARE(b.link->outstandingCount(), 0);
        QVERIFY(!b.link->isPortOpen());
    }

    void closingWhileWaitingLetsGo()
    {
        VirtualAnalyserOptions o = quietBus();
        o.silentFor = 0x07;
        Bench b(o);
        touch(b.work.filePath(QStringLiteral("Flashor")));
        b.settings->load();
        b.settings->cmdFlashUpdate_Click();
        QCOMPARE(b.link->outstandingCount(), 1);
        QCOMPARE(b.link->busyCount(), 1);
        b.settings.reset(); // the dialog closes before the analyser answers
        QCOMPARE(b.link->outstandingCount(), 0);
        QCOMPARE(b.link->busyCount(), 0);
        for (int tick = 0; tick < 120; ++tick)
            b.link->timeoutScan();
        QVERIFY(b.prompts.shown.isEmpty());
    }
};

TESSEL_TEST(tst_AnalyserSettings)
#include "tst_analysersettings.moc"
