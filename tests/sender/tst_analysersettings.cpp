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

QString touch(const QString &folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("Flashor"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return path;
}

void expectParams(Bench &b, const QList<QPair<const char *, const char *>> &expected)
{
    for (const auto &[name, value] : expected)
        QCOMPARE(b.param(name), QString::fromLatin1(value));
}

void expectLinkFree(Bench &b)
{
    QCOMPARE(b.link->busyCount(), 0);
    QCOMPARE(b.link->outstandingCount(), 0);
    QVERIFY(!b.link->isPortOpen());
}

// A bench whose analyser never answers the firmware update, the update clicked.
std::unique_ptr<Bench> silentUpgrade()
{
    VirtualAnalyserOptions o = quietBus();
    o.silentFor = 0x07;
    auto b = std::make_unique<Bench>(o);
    touch(b->work.path());
    b->settings->load();
    b->settings->cmbCOMPort_Click(1);
    b->settings->cmdFlashUpdate_Click();
    return b;
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
        QTest::newRow("0 selects the built-in analyser") << "0" << 0;
        QTest::newRow("empty: no port selected") << "" << -1;
        QTest::newRow("3 selects COM3") << "3" << 3;
        QTest::newRow("17 is past the list") << "17" << -1;
        QTest::newRow("not a number") << "x" << -1;
    }
    void portFromSettings()
    {
        QFETCH(QString, stored);
        QFETCH(int, index);
        Bench b;
        b.seed.params.setParam(QStringLiteral("COMPort"), stored);
        b.settings->load();
        QCOMPARE(b.settings->cmbCOMPort, index);
        QCOMPARE(b.settings->portNumber(), qMax(index, 0));
        QCOMPARE(b.settings->portDevice(), portDescription(qMax(index, 0)));
        // Apply writes a port only when one is selected.
        b.settings->cmdApply_Click();
        QCOMPARE(b.param("COMPort"), index >= 0 ? QString::number(index) : stored);
    }

    // A passing check counts as a change, even when the text ends as it was.
    void retryAndTimeOutChecks_data()
    {
        QTest::addColumn<bool>("timeOut");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message"); // "": passes
        QTest::newRow("time-out 500 is raised to 1000") << true << "500"
                                                        << "1000"
                                                        << "";
        QTest::newRow("time-out 10001 is too big") << true << "10001"
                                                   << "10001" << tooBig;
        QTest::newRow("retry 0 is raised to 1") << false << "0"
                                                << "1"
                                                << "";
        QTest::newRow("retry 100 is the largest") << false << "100"
                                                  << "100"
                                                  << "";
        QTest::newRow("retry 101 is too big") << false << "101"
                                              << "101" << tooBig;
        QTest::newRow("retry -1 is not a number") << false << "-1"
                                                  << "-1" << notDigit;
    }
    void retryAndTimeOutChecks()
    {
        QFETCH(bool, timeOut);
        QFETCH(QString, message);
        Bench b;
        b.settings->load();
        QString &box = timeOut ? b.settings->txtSendFrame_TimeOut : b.settings->txtSendFrame_Retry;
        QFETCH(QString, input);
        box = input;
        const bool ok =
            timeOut ? b.settings->txtSendFrame_TimeOut_Validate() : b.settings->txtSendFrame_Retry_Validate();
        QCOMPARE(ok, message.isEmpty());
        QTEST(box, "shown");
        QCOMPARE(b.settings->cmdApplyEnabled, ok);
        QCOMPARE(b.prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    // Going back in the list keeps Apply on; Apply then writes no new defaults
    // and does not reset the link. For the current data base the speed stays its own.
    void applyWithoutNewSpeed()
    {
        Bench b;
        b.seed.params.setParam(QStringLiteral("COMPort"), QStringLiteral("3"));
        b.settings->load();
        AnalyserSettings &s = *b.settings;
        const int loaded = s.cmbCAN_Speed.selected;
        s.cmbCAN_Speed_Click(loaded + 1);
        s.cmbCAN_Speed_Click(loaded);
        QVERIFY(s.cmdApplyEnabled);
        s.txtSendFrame_Retry = QStringLiteral("5");
        s.txtSendFrame_TimeOut = QStringLiteral("2500");
        b.seed.params.setParam(QStringLiteral("COMPort"), QStringLiteral("9")); // to see it written again
        s.cmdApply_Click();
        QVERIFY(!s.cmdApplyEnabled);
        expectParams(
            b, {{"def_CAN_Speed", "2"}, {"COMPort", "3"}, {"SendFrame_Retry", "5"}, {"SendFrame_TimeOut", "2500"}});
        QCOMPARE(b.windowsClosed, 0);
        Bench current;
        current.seed.params.setParam(QStringLiteral("id_CAN"), QStringLiteral("1"));
        current.seed.params.setParam(QStringLiteral("id_CAN_Speed"), QStringLiteral("7"));
        current.settings->load();
        current.settings->cmbCAN_Speed_Click(0);
        current.settings->cmdApply_Click();
        expectParams(current, {{"def_CAN_Speed", "8"}, {"id_CAN_Speed", "7"}});
        QCOMPARE(current.windowsClosed, 0);
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
        s.cmbCAN_Speed_Click(int(s.cmbCAN_Speed.items.indexOf(QStringLiteral("125000"))));
        s.cmbCAN_Timer_Click(int(s.cmbCAN_Timer.items.indexOf(QStringLiteral("250000"))));
        s.cmdApply_Click();
        expectParams(b, {{"def_CAN_Speed", "4"}, {"def_CAN_Timer", "4"}, {"id_CAN_Speed", "4"}, {"id_CAN_Timer", "4"}});
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

    void unloadQuestion_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("retryAfter");
        QTest::newRow("no change: closes without asking") << false << Prompts::Answer::Yes << true << "3";
        QTest::newRow("Yes saves and closes") << true << Prompts::Answer::Yes << true << "7";
        QTest::newRow("No closes without saving") << true << Prompts::Answer::No << true << "3";
        QTest::newRow("Cancel keeps the dialog and its changes") << true << Prompts::Answer::Cancel << false << "3";
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
        QCOMPARE(b.prompts.texts(), changed ? QStringList{"Settings was been chanded. Save?"} : QStringList());
        if (changed) {
            const FakePrompts::Shown &shown = b.prompts.shown.first();
            QCOMPARE(shown.title, QStringLiteral("Save..."));
            QCOMPARE(shown.buttons, Prompts::Buttons::YesNoCancel);
            QCOMPARE(b.settings->cmdApplyEnabled, answer != Prompts::Answer::Yes);
            QCOMPARE(b.settings->txtSendFrame_Retry, QStringLiteral("7"));
        }
    }

    // The uploader is looked for in the working folder first, then beside the program.
    void uploaderPath()
    {
        Bench b;
        b.settings->load();
        b.settings->cmbCOMPort_Click(2);
        b.settings->cmdFlashUpdate_Click();
        QCOMPARE(b.prompts.texts(), QStringList{QStringLiteral("Uploader is not found.")});
        QCOMPARE(b.prompts.shown.first().icon, Prompts::Icon::Critical);
        QVERIFY(!b.port); // nothing was said to the analyser
        QVERIFY(b.started.isEmpty());
        QCOMPARE(b.settings->uploaderPath(), touch(b.programDir.path()));
        QCOMPARE(b.settings->uploaderPath(), touch(b.work.path()));
        QCOMPARE(b.settings->uploaderCommand(0).arguments.at(1), QStringLiteral("/c0"));
    }

    // Port 0 is the analyser inside Tessel: the update is refused before the
    // link is touched, whatever port is stored.
    void upgradeRefusedOnTheBuiltInAnalyser_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("chosen"); // -1: as loaded
        QTest::newRow("port 0 stored") << "0" << -1;
        QTest::newRow("no port stored") << "" << -1;
        QTest::newRow("COM0 chosen over a stored COM3") << "3" << 0;
    }
    void upgradeRefusedOnTheBuiltInAnalyser()
    {
        QFETCH(QString, stored);
        QFETCH(int, chosen);
        Bench b;
        touch(b.work.path());
        b.seed.params.setParam(QStringLiteral("COMPort"), stored);
        b.settings->load();
        if (chosen >= 0)
            b.settings->cmbCOMPort_Click(chosen);
        b.settings->cmdFlashUpdate_Click();
        QCOMPARE(b.prompts.texts(), QStringList{AnalyserSettings::builtInHasNoBootLoader});
        QVERIFY(!b.port);
        QVERIFY(b.started.isEmpty());
        QCOMPARE(b.settings->upgradeProcess(), -1);
        QCOMPARE(b.link->busyCount(), 0);
    }

    void upgradeStartsFlashorOnTheShownPort()
    {
        Bench b;
        touch(b.work.path());
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
        const QString pattern = QDir::toNativeSeparators(b.work.filePath(QStringLiteral("*.rfw")));
        QCOMPARE(command.arguments, (QStringList{"/r", "/c3", "/f" + pattern}));
        QCOMPARE(command.workingFolder, b.work.path());
        // The port is free for Flashor and nothing is left waiting.
        expectLinkFree(b);
        QCOMPARE(b.link->linkState(), 0);
        QCOMPARE(b.settings->upgradeProcess(), -1);
        QCOMPARE(b.param("COMPort"), QStringLiteral("0"));
        QVERIFY(b.prompts.shown.isEmpty());
    }

    // Without an answer the update times out after 100 ticks and starts
    // nothing; closing the dialog before that lets the link go at once.
    void upgradeUnanswered()
    {
        auto b = silentUpgrade();
        for (int tick = 0; tick < 99; ++tick)
            b->link->timeoutScan();
        QCOMPARE(b->link->outstandingCount(), 1);
        b->link->timeoutScan();
        QVERIFY(b->started.isEmpty());
        QCOMPARE(b->prompts.texts(), QStringList{QStringLiteral("Error! CAN Analyser do not answer on command...")});
        expectLinkFree(*b);
        b = silentUpgrade();
        QCOMPARE(b->link->busyCount(), 1);
        QCOMPARE(b->link->outstandingCount(), 1);
        b->settings.reset(); // the dialog closes before the analyser answers
        QCOMPARE(b->link->busyCount(), 0);
        QCOMPARE(b->link->outstandingCount(), 0);
        for (int tick = 0; tick < 120; ++tick)
            b->link->timeoutScan();
        QVERIFY(b->prompts.shown.isEmpty());
    }
};

TESSEL_TEST(tst_AnalyserSettings)
#include "tst_analysersettings.moc"
