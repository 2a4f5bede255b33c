// The send-frame run: data and identifier entry with their checks, the frame it builds, whole runs against the
// in-process virtual analyser; its window and a loop-back through the main window.
#include "support/testregistry.h"
#include "sender/sendrun.h"
#include "sender/ui/frmsendframe.h"
#include "sim/virtualport.h"

#include "core/values.h"
#include "link/capturecontrol.h"
#include "link/ui/frmcapture.h"
#include "views/messagemodel.h"
#include "views/ui/frmmain.h"
#include "support/settingsbench.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

const QString tooBig = QStringLiteral("Value is big!");
const QString notDigit = QStringLiteral("Value must be digit!");
const QString notHex = QStringLiteral("Value must be in hex!");
const QString noAnswer = QStringLiteral("Error! CAN Analyser do not answer on command...");
const QString errorAnswer = QStringLiteral("Error! CAN Analyser answer with error on your command...");

// The send run on the settings bench's link to the virtual analyser.
struct SendBench : Bench
{
    std::unique_ptr<SendRun> run = std::make_unique<SendRun>(*link, seed.params, prompts);
    using Bench::Bench;

    VirtualAnalyser &analyser() { return *port->analyser(); }
    // Presses Start; the analyser's command count once the connection test is over.
    int start()
    {
        run->cmdStart_Click();
        return port ? analyser().commandsReceived() : 0;
    }
    void tick()
    {
        if (run->sendTimerEnabled())
            run->tmrSend_Timer();
        link->poll();
    }
};

QStringList listOf(const QString &message)
{
    return message.isEmpty() ? QStringList() : QStringList{message};
}

} // namespace

class tst_SendFrame : public QObject
{
    Q_OBJECT

private slots:
    // Data boxes 0-2 (decimal, hex, character) start at 7 (07, BEL) in box 3 and show "dec|hex|chr" after the
    // check; identifier boxes 3 (standard) and 4 (extended) show what the check left.
    void entryChecks_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        const int dec = 0, hex = 1, chr = 2, stdId = 3, extId = 4;
        // clang-format off
        QTest::newRow("decimal 255 gives FF and character 255")
            << dec << "255" << true << "255|FF|" + QString(QChar(0xFF)) << "";
        QTest::newRow("decimal 256 is too big, row unchanged") << dec << "256" << false << "256|07|\a" << tooBig;
        QTest::newRow("decimal with a letter") << dec << "1a" << false << "1a|07|\a" << notDigit;
        QTest::newRow("empty decimal is 0, character box empty") << dec << "" << true << "0|00|" << "";
        QTest::newRow("hex a becomes 0A and 10") << hex << "a" << true << "10|0A|\n" << "";
        QTest::newRow("hex 100 is too big") << hex << "100" << false << "7|100|\a" << tooBig;
        QTest::newRow("hex g is not hex") << hex << "g" << false << "7|g|\a" << notHex;
        QTest::newRow("character A is 41 and 65") << chr << "A" << true << "65|41|A" << "";
        QTest::newRow("character beyond a byte refused, row keeps its byte")
            << chr << QString(QChar(0x20AC)) << true << "7|07|\a" << tooBig;
        QTest::newRow("7ff becomes 7FF") << stdId << "7ff" << true << "7FF" << "";
        QTest::newRow("1a becomes 01A") << stdId << "1a" << true << "01A" << "";
        QTest::newRow("800 is too big") << stdId << "800" << false << "800" << tooBig;
        QTest::newRow("empty standard part is 000") << stdId << "" << true << "000" << "";
        QTest::newRow("standard part not hex") << stdId << "12x" << false << "12x" << notHex;
        QTest::newRow("3FFFF passes") << extId << "3FFFF" << true << "3FFFF" << "";
        QTest::newRow("1 becomes 00001") << extId << "1" << true << "00001" << "";
        QTest::newRow("40000 is too big") << extId << "40000" << false << "40000" << tooBig;
        // clang-format on
    }
    void entryChecks()
    {
        QFETCH(int, row);
        QFETCH(QString, input);
        QFETCH(QString, message);
        SendBench b;
        SendRun &run = *b.run;
        QCOMPARE(run.pictureColour, hexColour(QStringLiteral("123"))); // the load checks "123"
        const int i = 3;
        run.txtDec[i] = QStringLiteral("7");
        QVERIFY(run.txtDec_Validate(i));
        b.prompts.clear();
        bool passed = false;
        if (row < 3) {
            const std::array boxes{&run.txtDec, &run.txtHex, &run.txtChr};
            const std::array checks{&SendRun::txtDec_Validate, &SendRun::txtHex_Validate, &SendRun::txtChr_Validate};
            (*boxes[row])[i] = input;
            passed = (run.*checks[row])(i);
            QTEST(run.txtDec[i] + '|' + run.txtHex[i] + '|' + run.txtChr[i], "shown");
        } else {
            QString &box = row == 4 ? run.txtIDExt : run.txtIDStd;
            box = input;
            passed = row == 4 ? run.txtIDExt_Validate() : run.txtIDStd_Validate();
            QTEST(box, "shown");
        }
        QTEST(passed, "passes");
        QCOMPARE(b.prompts.texts(), listOf(message));
        QVERIFY(message.isEmpty() || b.prompts.shown.first().icon == Prompts::Icon::Critical);
        // The swatch takes the identifier's colour only when a standard part passes.
        QCOMPARE(run.pictureColour, hexColour(passed && row == 3 ? run.txtIDStd : QStringLiteral("123")));
    }

    void enterKeyMovesAlongTheRow()
    {
        SendBench b;
        SendRun &run = *b.run;
        run.setDataSize(3);
        QCOMPARE(run.enterPressed(SendRun::DataRow::Dec, 0), 1);
        QCOMPARE(run.enterPressed(SendRun::DataRow::Hex, 1), 2);
        QCOMPARE(run.enterPressed(SendRun::DataRow::Chr, 2), -1); // box 3 is disabled
        run.txtHex[0] = QStringLiteral("zz");
        QCOMPARE(run.enterPressed(SendRun::DataRow::Hex, 0), -1); // a failed check keeps the focus
        QCOMPARE(b.prompts.texts(), QStringList{notHex});
        run.setDataSize(8);
        QCOMPARE(run.enterPressed(SendRun::DataRow::Dec, 7), -1); // no box after the last
    }

    void frameLayout_data()
    {
        QTest::addColumn<int>("canType");
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("reserved"); // RB0 and RB1
        QTest::addColumn<QByteArray>("binary");
        // Identifier boxes 123 / 34567, data boxes 0xAA 0x55 0x01 0x02 0x03 ...
        QTest::newRow("standard, 2 data bytes") << 0 << 0 << 2 << false << QByteArray::fromHex("230100000002AA55");
        QTest::newRow("length 0 carries no data") << 0 << 0 << 0 << false << QByteArray::fromHex("230100000000");
        QTest::newRow("remote with length 5 carries no data")
            << 0 << 1 << 5 << false << QByteArray::fromHex("230100000105");
        QTest::newRow("extended uses all 29 bits") << 1 << 0 << 1 << false << QByteArray::fromHex("67458F040201AA");
        QTest::newRow("reserved bits RB0 and RB1") << 0 << 0 << 0 << true << QByteArray::fromHex("230100000C00");
    }
    void frameLayout()
    {
        QFETCH(int, canType);
        QFETCH(int, dataType);
        QFETCH(int, size);
        QFETCH(bool, reserved);
        QFETCH(QByteArray, binary);
        SendBench b;
        SendRun &run = *b.run;
        const char *bytes[] = {"170", "85", "1", "2", "3", "4", "5", "6"};
        for (int i = 0; i < 8; ++i)
            run.txtDec[i] = QLatin1String(bytes[i]);
        run.setCANType(canType);
        run.setDataType(dataType);
        run.setDataSize(size);
        run.chkRB0 = run.chkRB1 = reserved;
        QCOMPARE(run.makeFrame().toHex(' '), binary.toHex(' '));
    }

    // Ticks of 10 ms, half a tick rounded to even; 0 ms still times out.
    void timeOutTicks()
    {
        for (const auto &[setting, ticks] : {std::pair{"1000", 100}, {"1005", 100}, {"1015", 102}, {"0", 1}}) {
            SendBench b;
            b.seed.params.setParam(QStringLiteral("SendFrame_TimeOut"), QLatin1String(setting));
            b.start();
            QCOMPARE(b.run->sendTimeOutTicks(), ticks);
        }
    }

    void repeatCountOneWaiting()
    {
        SendBench b;
        SendRun &run = *b.run;
        run.setCountMode(1);
        run.txtCount = QStringLiteral("1");
        const int before = b.start();
        // "Starting" until the first frame is handed over.
        QVERIFY(run.holdsLink() && !run.cmdStartEnabled && !run.groupsEnabled && run.sendTimerEnabled());
        QCOMPARE(run.cmdStartCaption, QStringLiteral("Stop"));
        QCOMPARE((QList<int>{b.link->busyCount(), run.sendTimerInterval()}), (QList<int>{1, 1}));
        QCOMPARE(run.packet().toHex(' '), QByteArray("84 23 01 00 00 00 00"));
        for (int k = 0; k < 5; ++k)
            b.tick();
        QCOMPARE(b.analyser().commandsReceived() - before, 1);
        QCOMPARE((QStringList{run.txtSendCount, run.txtStatCAN, run.txtErrCAN, run.txtErrMOB, run.cmdStartCaption}),
                 (QStringList{"1", "0", "00", "00", "Start"}));
        QVERIFY(run.cmdStartEnabled && run.groupsEnabled && !run.sendTimerEnabled());
        QVERIFY(!b.link->isPortOpen() && b.prompts.shown.isEmpty() &&
                b.link->busyCount() + b.link->outstandingCount() == 0);
    }

    void notWaitingUntilUserBreak()
    {
        SendBench b;
        SendRun &run = *b.run;
        run.chkWaitAnswer = false;
        run.chkCANLoop = false;
        run.txtTime = QStringLiteral("50");
        const int before = b.start();
        QCOMPARE(run.packet().at(0), char(0x83));
        for (int k = 1; k <= 4; ++k) {
            b.tick(); // one frame per slot, counted at once
            QCOMPARE((QList<int>{run.txtSendCount.toInt(), b.analyser().commandsReceived() - before,
                                 run.sendTimerInterval(), b.link->outstandingCount()}),
                     (QList<int>{k, k, 50, 0}));
        }
        run.cmdStart_Click();
        QVERIFY(!run.sendTimerEnabled() && b.link->busyCount() == 0);
        QCOMPARE(run.cmdStartCaption, QStringLiteral("Start"));
        b.tick();
        QCOMPARE(b.analyser().commandsReceived() - before, 4);
    }

    // Retry 1: one time-out ends the run; an error answer is not retried (the default three time-outs: tst_faults).
    void failedFrameEndsTheRun()
    {
        for (const bool errorFlag : {false, true}) {
            VirtualAnalyserOptions o = quietBus();
            (errorFlag ? o.errorFlagFor : o.silentFor) = 0x84;
            SendBench b(o);
            if (!errorFlag)
                b.seed.params.setParam(QStringLiteral("SendFrame_Retry"), QStringLiteral("1"));
            b.seed.params.setParam(QStringLiteral("SendFrame_TimeOut"), QStringLiteral("30"));
            SendRun &run = *b.run;
            run.txtErrCAN = QStringLiteral("00");
            const int before = b.start();
            for (int k = 0; k < 30 && run.cmdStartCaption == QLatin1String("Stop"); ++k) {
                b.tick();
                b.link->timeoutScan(); // three scans expire the 30 ms
            }
            QCOMPARE(run.cmdStartCaption, QStringLiteral("Start"));
            QCOMPARE(b.analyser().commandsReceived() - before, 1);
            QCOMPARE((QStringList{run.txtStatCAN, run.txtErrCAN, run.txtErrMOB, run.txtSendCount}),
                     (QStringList{"1", "", "", "0"}));
            QCOMPARE(b.prompts.texts(), QStringList{errorFlag ? errorAnswer : noAnswer});
            QCOMPARE(b.link->busyCount() + b.link->outstandingCount(), 0);
        }
    }

    // Another user holds the link when the send window's connection test fails.
    void failedConnectionReleasesNothing()
    {
        SendBench b;
        ScriptedTester tester(*b.link);
        QVERIFY(b.link->acquireLink(nullptr, false, false) == Acquired::Yes);
        b.link->setLinkState(1);
        tester.leavesState = 1;
        // Fails: the port is closed, the holder stays counted.
        QVERIFY(b.link->acquireLink(nullptr, true, false) == Acquired::No);
        const int held = b.link->busyCount();
        SendRun &run = *b.run;
        run.cmdStart_Click();
        QVERIFY(!run.holdsLink() && !run.sendTimerEnabled() && !run.cmdStartEnabled); // stays "Starting"
        QCOMPARE(run.cmdStartCaption, QStringLiteral("Stop"));
        run.cmdClose_Click();
        QVERIFY(run.cmdStartEnabled && run.cmdStartCaption == QLatin1String("Start"));
        QCOMPARE(b.link->busyCount(), held); // the other user's hold is not taken
    }

    void stopFreesOnlyItsOwnProcess()
    {
        VirtualAnalyserOptions o = quietBus();
        o.silentFor = 0x84;
        SendBench b(o);
        b.start();
        b.tick();
        QCOMPARE(b.link->outstandingCount(), 1); // the frame waits for its answer
        b.run->cmdStart_Click();
        QCOMPARE(b.link->outstandingCount() + b.link->busyCount(), 0);
        // The last frame was answered and its slot taken by the Run commands
        // before the user pressed Stop: that command must stay outstanding.
        SendBench c;
        c.start();
        c.tick();
        clsProcess &slot = c.link->process(c.run->lastProcess());
        QVERIFY(c.run->txtSendCount == QLatin1String("1") && slot.Owner == 0);
        slot.Owner = owner::runCommands;
        slot.Command = QStringLiteral("CMD_CAN_LISTEN");
        c.run->cmdStart_Click();
        QCOMPARE(slot.Owner, owner::runCommands);
        QCOMPARE(slot.Command, QStringLiteral("CMD_CAN_LISTEN"));
        QCOMPARE(c.run->cmdStartCaption, QStringLiteral("Start"));
    }

    // The boxes follow the frame's kind, size and count; typed text reaches the run and the check's result comes back.
    void windowMirrorsTheRun()
    {
        SendBench b;
        frmSendFrame window(*b.run);
        const auto box = [&window](const char *name) { return window.findChild<QLineEdit *>(name); };
        QVERIFY(!box("txtIDExt")->isEnabled() && !box("txtDec0")->isEnabled() && !box("txtCount")->isEnabled());
        window.findChild<QComboBox *>("cmbDataSize")->setCurrentIndex(2);
        QVERIFY(box("txtDec1")->isEnabled() && !box("txtDec2")->isEnabled());
        for (const char *option : {"optDataType1", "optCANType1", "optCount1"})
            window.findChild<QRadioButton *>(option)->click();
        QVERIFY(!box("txtDec0")->isEnabled() && box("txtIDExt")->isEnabled() && box("txtCount")->isEnabled());
        box("txtIDStd")->clear();
        QTest::keyClicks(box("txtIDStd"), QStringLiteral("1a"));
        QCOMPARE(b.run->txtIDStd, QStringLiteral("1a"));
        QVERIFY(b.run->txtIDStd_Validate());
        QCOMPARE(box("txtIDStd")->text(), QStringLiteral("01A"));
    }

    // The menu item and the tool bar button open one dialog that Hide, the close box and the link's reset close; with
    // the capture on, a frame sent with loop-back shows in the message list.
    void sendWindowInTheMainWindow()
    {
        SendBench b;
        AppContext context{&b.seed.db, &b.seed.params, &b.prompts, {}};
        frmMain window(context, makeLinkPort);
        window.loadTimer_Timer();
        PacketLink &link = *window.findChild<PacketLink *>("link");
        link.stopTimers();
        VirtualAnalyserRig rig(link, b.seed.db, b.seed.params, quietBus());
        QAction *button = window.findChild<QAction *>("SendCAN");
        QAction *item = window.findChild<QAction *>("mnuRunCANSend");
        QVERIFY(!window.findChild<frmSendFrame *>()); // created at the first opening
        button->trigger();
        frmSendFrame *dialog = window.findChild<frmSendFrame *>();
        QVERIFY(dialog && dialog->isVisible() && item->isChecked() && button->isChecked());
        // "Hide" during a run: the run goes on, menu and button keep their state.
        SendRun &run = dialog->sendRun();
        run.chkWaitAnswer = false;
        dialog->cmdStart->click();
        run.tmrSend_Timer();
        run.tmrSend_Timer();
        dialog->cmdHide->click();
        QVERIFY(!dialog->isVisible() && item->isChecked() && button->isChecked());
        run.tmrSend_Timer();
        QVERIFY(run.sendTimerEnabled());
        // Reopening brings the same dialog back with its counters.
        item->trigger();
        QVERIFY(window.findChild<frmSendFrame *>() == dialog && dialog->isVisible());
        QCOMPARE(dialog->txtSendCount->text(), QStringLiteral("3"));
        // The close box ends the run and only hides the dialog.
        QVERIFY(!dialog->close());
        QVERIFY(!dialog->isVisible() && !run.sendTimerEnabled() && link.busyCount() == 0);
        QVERIFY(!item->isChecked() && !button->isChecked());
        // The link's reset closes it like "Close".
        item->trigger();
        link.resetLink();
        QVERIFY(!dialog->isVisible() && !item->isChecked() && !button->isChecked());
        window.findChild<QAction *>("mnuRunCANCapture")->trigger();
        frmCapture *captureWindow = window.findChild<frmCapture *>();
        CaptureControl &capture = captureWindow->control();
        captureWindow->cmdStart->click();
        for (int i = 0; i < 5 && !capture.isCapturing(); ++i)
            link.poll();
        QVERIFY(capture.isCapturing());
        item->trigger();
        run.chkWaitAnswer = true;
        run.txtIDStd = QStringLiteral("5a1");
        QVERIFY(run.txtIDStd_Validate());
        run.txtDec[0] = QStringLiteral("222");
        run.txtDec[1] = QStringLiteral("173");
        run.setDataSize(2);
        run.setCountMode(1);
        dialog->cmdStart->click();
        run.tmrSend_Timer();
        link.poll();
        QCOMPARE(run.txtSendCount, QStringLiteral("1"));
        rig.analyser->advance(5);
        link.poll();
        capture.tmrFreePB_Timer();
        const MessageModel &messages = *window.findChild<MessageModel *>();
        QCOMPARE(messages.count(), 1);
        QCOMPARE(messages.text(0, QStringLiteral("ID-Std")), QStringLiteral("5A1"));
        QCOMPARE(messages.text(0, QStringLiteral("DLC")).trimmed(), QStringLiteral("2"));
        QVERIFY(messages.text(0, QStringLiteral("Data")).startsWith(QStringLiteral("DE AD")));
        QVERIFY(link.isPortOpen()); // the capture still holds the link
    }
};

TESSEL_TEST(tst_SendFrame)
#include "tst_sendframe.moc"
