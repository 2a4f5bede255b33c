// Flashor: its command line, run flow (Run, Stop, init string, timers, failure messages), its window's texts, and a
// whole upload over a pseudo-terminal to the virtual boot loader.

#include "sim/bootloader.h"
#include "sim/pty.h"
#include "sim/virtualport.h"
#include "uploader/commandline.h"
#include "uploader/flashorrun.h"
#include "uploader/ui/frmflashor.h"
#include "support/fakeport.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A message box as the tests compare it: its title, text and whether it is critical.
QString box(const QString &text, const QString &title = flashorTitle, bool critical = true)
{
    return title + (critical ? " (!): " : ": ") + text;
}

struct FakeFlashorPrompts final : FlashorPrompts
{
    QStringList shown;     // box() of each message
    QStringList fileNames; // answers of the file dialog, "" = cancel
    QStringList dialogs;   // "title|filter|start" of each file dialog

    void message(const QString &text, const QString &title, Icon icon) override
    {
        shown << box(text, title.isEmpty() ? flashorTitle : title, icon == Icon::Critical);
    }
    QString openFileName(const QString &title, const QString &filter, const QString &startFile) override
    {
        dialogs << title + '|' + filter + '|' + startFile;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

// The run flow on fake ports; their records are kept in the order they were made.
struct Rig
{
    FakeFlashorPrompts prompts;
    QList<std::shared_ptr<PortRecord>> made;
    bool openOk = true;
    bool writeFails = false;
    QString reason;
    PortFactory factory()
    {
        return [this](int n) {
            auto record = std::make_shared<PortRecord>();
            record->number = n;
            record->openOk = openOk;
            record->writeFails = writeFails;
            record->reason = reason;
            made << record;
            return std::make_unique<FakePort>(record);
        };
    }
    FlashorRun run{prompts, factory()};

    // Runs `firmware` without the init string and returns the boot loader's port.
    std::shared_ptr<PortRecord> startBoot(const QString &firmware, bool noWait = true)
    {
        run.input().firmwarePath = firmware;
        run.input().initEnabled = false;
        run.input().noWait = noWait;
        run.cmdRun_Click();
        run.tmrInit_Timer();
        return made.value(made.size() - 1);
    }
    void applyArguments(const QStringList &arguments)
    {
        run.applyCommandLine(parseFlashorArguments(arguments, FlashorRun::portCount));
    }
};

QByteArray firmwareBytes(qsizetype bodySize)
{
    QByteArray out(80 + bodySize, '\0');
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = char((i * 13 + 5) & 0xFF);
    return out;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// What a file holds, "<none>" when there is no such file.
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class tst_Flashor : public QObject
{
    Q_OBJECT

private slots:
    void init() { fw1000 = writeFile(dir, "fw.rfw", firmwareBytes(1000)); }

    void posixArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("commandLine"); // parsed instead of the arguments when given
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<int>("portIndex"); // -1: not given
        QTest::addColumn<QString>("path");  // "-": not given
        using L = QStringList;
        // clang-format off
        QTest::newRow("as Tessel starts it") << L{"/r", "/c4", "/f", "/x/fw/*.rfw"} << "" << true << 3 << "/x/fw/*.rfw";
        QTest::newRow("path attached to /f") << L{"/c2", "/f/home/me/a.rfw"} << "" << false << 1 << "/home/me/a.rfw";
        QTest::newRow("upper case") << L{"/R", "/C4", "/F", "/x/a.rfw"} << "" << true << 3 << "/x/a.rfw";
        QTest::newRow("path is trimmed") << L{"/f", "  /x/a b.rfw "} << "" << false << -1 << "/x/a b.rfw";
        QTest::newRow("c17 past the list selects COM1") << L{"/c17"} << "" << false << 0 << "-";
        QTest::newRow("arguments without / are ignored") << L{"r", "c4", "extra"} << "" << false << -1 << "-";
        QTest::newRow("one line as Tessel starts it") << L() << " /r /c4 /fC:\\*.rfw" << true << 3 << "C:\\*.rfw";
        QTest::newRow("one line, no blanks, upper case") << L() << "/R/C2/FX.RFW" << true << 1 << "X.RFW";
        QTest::newRow("one line, blank before the letter hides the option") << L() << "/ r/ c4" << false << -1 << "-";
        // clang-format on
    }
    void posixArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, commandLine);
        const FlashorOptions o = commandLine.isEmpty() ? parseFlashorArguments(arguments, FlashorRun::portCount)
                                                       : parseFlashorCommandLine(commandLine, FlashorRun::portCount);
        QTEST(o.autoRun, "autoRun");
        QTEST(o.portIndex.value_or(-1), "portIndex");
        QTEST(o.firmwarePath.value_or("-"), "path");
    }

    void temporaryFolder()
    {
        FakeFlashorPrompts prompts;
        QVERIFY(!prepareTempFolder(dir.filePath("gone"), prompts));
        const QStringList shown{box("Error! Path \"" + dir.filePath("gone") + "\" not found.", flashorTitle, false)};
        QCOMPARE(prompts.shown, shown);
        QVERIFY(prepareTempFolder(dir.path(), prompts) && QFileInfo(dir.filePath("Flashor")).isDir());
        QVERIFY(prepareTempFolder(dir.path(), prompts)); // already there
        QCOMPARE(prompts.shown, shown);
        // A TMPDIR naming a missing folder is named in the message, not left out.
        const QByteArray tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir.filePath("gone").toLocal8Bit());
        const QString named = platformTempFolder();
        qputenv("TMPDIR", tmpdir);
        QCOMPARE(named, dir.filePath("gone"));
    }

    // Run refuses a file it cannot upload, and reports a port it cannot open
    // or write with the device and the system's reason after its own text.
    void runRefused_data()
    {
        QTest::addColumn<QString>("path"); // "": a good firmware file
        QTest::addColumn<bool>("initEnabled");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("realDevice"); // TESSEL_COM3 names a path that does not exist
        QTest::addColumn<QString>("message");
        const auto refused = [](const char *name, const QString &path, const char *why) {
            QTest::newRow(name) << path << true << true << false
                                << box(QString("Error! Firmware file \"%1\" %2.").arg(path, why), "Run process...");
        };
        refused("missing", dir.filePath("missing.rfw"), "do not exist");
        refused("pattern", dir.filePath("*.rfw"), "do not exist");
        refused("a folder", dir.filePath(""), "do not exist");
        refused("79 bytes", writeFile(dir, "short.rfw", QByteArray(79, 'x')), "is short");
        const QString notOpened = "Communication port is not opened! (%1)";
        const QString fake = box(notOpened.arg("fake3: Permission denied"));
        QTest::newRow("init port: device and reason follow the text") << "" << true << false << false << fake;
        QTest::newRow("init string cannot be written") << "" << true << true << false << fake;
        QTest::newRow("boot port: device and reason follow the text") << "" << false << false << false << fake;
        QTest::newRow("real device path with the system's reason")
            << "" << false << false << true
            << box(notOpened.arg(dir.filePath("no-such-dir/tty") + ": No such file or directory"));
    }
    void runRefused()
    {
        QFETCH(QString, path);
        QFETCH(bool, initEnabled);
        QFETCH(bool, opens);
        QFETCH(bool, realDevice);
        QFETCH(QString, message);
        Rig rig;
        rig.openOk = opens;
        rig.writeFails = true;
        rig.reason = "Permission denied";
        qputenv("TESSEL_COM3", dir.filePath("no-such-dir/tty").toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("TESSEL_COM3"); });
        FlashorRun run(rig.prompts, realDevice ? devicePortFactory() : rig.factory());
        run.input().firmwarePath = path.isEmpty() ? fw1000 : path;
        run.input().portIndex = 2;
        run.input().initEnabled = initEnabled;
        run.cmdRun_Click();
        if (!initEnabled && rig.prompts.shown.isEmpty())
            run.tmrInit_Timer();
        QCOMPARE(rig.prompts.shown, QStringList{message});
        QVERIFY(!run.initTimer().isActive() && !run.isRunning() && (path.isEmpty() || rig.made.isEmpty()));
    }

    void runWithInitString()
    {
        Rig rig;
        auto [prompts, run, made] = std::tie(rig.prompts, rig.run, rig.made);
        run.input().firmwarePath = fw1000;
        run.input().portIndex = 2;
        run.input().initSpeed = "430800";
        QStringList initInputs;
        connect(&run, &FlashorRun::initInputChanged, [&](const QString &t) { initInputs << t; });
        run.cmdRun_Click();
        QCOMPARE(made.size(), 1);
        const std::shared_ptr<PortRecord> init = made[0];
        QCOMPARE(QString("COM%1 %2, cleared %3").arg(init->number).arg(init->settings).arg(init->clears),
                 "COM3 430800,N,8,1, cleared 1");
        QCOMPARE(init->writes, QList<QByteArray>{"!ZQMVBRT_GlimmerPassage_K"});
        QCOMPARE(run.status(), QString("Send Init String..."));
        QVERIFY(run.initTimer().isActive() && run.initTimer().interval() == 2000 && !run.isRunning());
        init->incoming = "app: rebooting";
        run.tmrInit_Timer();
        QCOMPARE(initInputs, (QStringList{"", "app: rebooting"}));
        QVERIFY(!init->opened && made.size() == 2); // closed before the boot port opens
        std::shared_ptr<PortRecord> boot = made[1];
        QCOMPARE(QString("COM%1 %2").arg(boot->number).arg(boot->settings), "COM3 115200,N,8,1");
        QVERIFY(boot->clears >= 1 && run.isRunning() && boot->writes.isEmpty());
        QCOMPARE(run.status(), QString("Waiting Connection..."));
        boot->incoming = "junk>";
        run.tmrReceive_Timer();
        QCOMPARE(boot->writes, QList<QByteArray>{"<"});
        QCOMPARE(run.status(), QString("Connecting..."));
        // Without the init string the boot port opens on the first, short tick.
        Rig plain;
        plain.run.input().firmwarePath = fw1000;
        plain.run.input().initEnabled = false;
        plain.run.input().noWait = true;
        plain.run.cmdRun_Click();
        QVERIFY(plain.made.isEmpty() && plain.run.initTimer().interval() == 100);
        plain.run.tmrInit_Timer();
        QVERIFY(plain.made.size() == 1 && plain.made[0]->number == 1 && plain.prompts.shown.isEmpty());
        QCOMPARE(plain.made[0]->writes, QList<QByteArray>{"<"});
    }

    // Stop closes the port; the next Run starts the protocol from the beginning.
    // A read error stops the run the same way.
    void stopThenRunAgain()
    {
        Rig rig;
        QList<bool> running;
        connect(&rig.run, &FlashorRun::runningChanged, [&](bool on) { running << on; });
        std::shared_ptr<PortRecord> boot = rig.startBoot(fw1000);
        boot->incoming = QByteArray("+\0", 2) + "+\x22" + QByteArray(34, '\x01') + QByteArray(".\x01\x00", 3);
        rig.run.tmrReceive_Timer();
        QCOMPARE(rig.run.status() + ", writes " + QString::number(boot->writes.size()),
                 "Writing Page #1, writes 3"); // connect, header, page 1
        rig.run.cmdRun_Click();           // "Stop"
        QVERIFY(!boot->opened && !rig.run.isRunning());
        QCOMPARE(running, (QList<bool>{true, false}));
        std::shared_ptr<PortRecord> again = rig.startBoot(fw1000);
        QVERIFY(again != boot);
        again->incoming = QByteArray("+\0", 2);
        rig.run.tmrReceive_Timer();
        QCOMPARE(rig.run.status(), QString("Send Header..."));
        QCOMPARE(again->writes.value(1).left(1), QByteArray("#"));
        Rig failing;
        boot = failing.startBoot(fw1000, false);
        boot->failed = true;
        boot->incoming = ">";
        failing.run.tmrReceive_Timer();
        QVERIFY(!failing.run.isRunning() && !boot->opened);
        QCOMPARE(failing.run.protocol().state(), 1); // the protocol is reset at the next run
    }

    // "/r" with a pattern asks for the file, with a file runs at once, without "/r" waits for Run;
    // a chosen file that does not exist is refused and leaves the pattern.
    void automaticStart()
    {
        Rig rig;
        auto [prompts, run, made] = std::tie(rig.prompts, rig.run, rig.made);
        const QString pattern = dir.filePath("*.rfw");
        rig.applyArguments({"/r", "/c4", "/f", pattern});
        QCOMPARE(QString::number(run.input().portIndex) + ' ' + run.input().firmwarePath, "3 " + pattern);
        QVERIFY(run.timeoutTimer().isActive() && run.timeoutTimer().interval() == 100);
        prompts.fileNames << fw1000;
        run.tmrTimeout_Timer();
        QVERIFY(!run.timeoutTimer().isActive());
        QCOMPARE(prompts.dialogs, QStringList{"Open|RFW-files|*.rfw|All files|*.*|" + pattern});
        QCOMPARE(run.input().firmwarePath, fw1000);
        QVERIFY(run.initTimer().isActive()); // the run has started
        QCOMPARE(made.value(0)->number, 4);
        Rig withFile;
        withFile.applyArguments({"/R", "/F" + fw1000});
        withFile.run.tmrTimeout_Timer();
        QVERIFY(withFile.prompts.dialogs.isEmpty() && withFile.run.initTimer().isActive());
        Rig idle;
        idle.applyArguments({"/f" + fw1000});
        QVERIFY(!idle.run.timeoutTimer().isActive());
        Rig typed;
        typed.applyArguments({"/r", "/f", pattern});
        const QString missing = dir.filePath("typed.rfw");
        typed.prompts.fileNames << missing;
        typed.run.tmrTimeout_Timer();
        const QStringList shown{box("File \"" + missing + "\" is not found.", flashorTitle)};
        QCOMPARE(typed.prompts.shown, shown);
        QVERIFY(typed.run.input().firmwarePath == pattern && !typed.run.initTimer().isActive());
        typed.run.cmdUpload_In_Click(); // cancelled
        QVERIFY(typed.run.input().firmwarePath == pattern && typed.prompts.shown == shown);
    }

    // "/r" starts by itself only on a port the option really names; anything else
    // must not fall back to COM1, where some other device may sit.
    void portOptionAndAutomaticStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("status"); // and the message, but for /c0
        const QString noPort = "Port option \"%1\" names no port from 1 to 16: choose the port and press Run";
        const auto bad = [&](const char *name, QStringList arguments) {
            QTest::newRow(name) << arguments << false << noPort.arg(arguments.last());
        };
        QTest::newRow("c1 starts") << QStringList{"/r", "/c1"} << true << "";
        QTest::newRow("c16, the last port, starts") << QStringList{"/r", "/c16"} << true << "";
        QTest::newRow("c0: the built-in analyser has no boot loader")
            << QStringList{"/r", "/c0"} << false << "Port 0 has no boot loader: choose the port and press Run";
        bad("c without a number", {"/r", "/c"});
        bad("cx is not a number", {"/r", "/cx"});
        bad("c-1 is negative", {"/r", "/c-1"});
        bad("c999 is past the list", {"/r", "/c999"});
        bad("a later bad option wins", {"/r", "/c2", "/cx"});
        bad("without /r a bad option is still reported", {"/cx"});
    }
    void portOptionAndAutomaticStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, status);
        Rig rig;
        rig.applyArguments(arguments + QStringList{"/f" + fw1000});
        QTEST(rig.run.timeoutTimer().isActive(), "starts");
        QCOMPARE(rig.run.status(), status);
        const bool messaged = status.startsWith("Port option");
        QCOMPARE(rig.prompts.shown, messaged ? QStringList{box(status)} : QStringList{});
        // The one-line command line of other platforms follows the same rule.
        const FlashorOptions oneLine = parseFlashorCommandLine(" " + arguments.join(' '), FlashorRun::portCount);
        QCOMPARE(oneLine.malformedPort.has_value(), messaged);
    }

    void windowFollowsRun()
    {
        Rig rig;
        auto [prompts, run, made] = std::tie(rig.prompts, rig.run, rig.made);
        frmFlashor w(run);
        rig.applyArguments({"/c5", "/f" + fw1000});
        QCOMPARE((QStringList{w.cmbCOMPort->currentText(), w.lblPortDevice->text(), w.txtUpload_In->text()}),
                 (QStringList{"COM5", portDeviceName(5), fw1000}));
        // The user's edits reach the run flow.
        w.chkInit->setChecked(false);
        w.cmbCOMPort->setCurrentIndex(1);
        QVERIFY(!run.input().initEnabled && run.input().portIndex == 1);
        QTest::mouseClick(w.cmdRun, Qt::LeftButton);
        run.tmrInit_Timer();
        QCOMPARE(w.cmdRun->text() + '|' + w.txtStatus->text(), QString("Stop|Waiting Connection..."));
        QVERIFY(!w.frameInput->isEnabled());
        std::shared_ptr<PortRecord> boot = made.last();
        QCOMPARE(boot->number, 2);
        // ">", connected, header answer with block size 256, request for page 0.
        boot->incoming =
            QByteArray(">+\0+\x22\x00\x01", 7) + "SN000042" + "Signature of the device!" + QByteArray(".\x00\x00", 3);
        run.tmrReceive_Timer();
        QCOMPARE(
            (QStringList{w.txtBlock->text(), w.txtSet_Serial->text(), w.txtSet_Signature->text(), w.txtStatus->text()}),
            (QStringList{"256", "SN000042", "Signature of the device!", "Writing Page #0"}));
        QCOMPARE(w.pbUpload->maximum(), 4);
        boot->incoming = QByteArray("+\x02\x00\x00----", 8);
        run.tmrReceive_Timer();
        QCOMPARE(w.cmdRun->text() + '|' + w.txtStatus->text(), QString("Run|Error writing Page #0"));
        QVERIFY(w.frameInput->isEnabled() && w.pbUpload->value() == 0);
    }

    // The run flow against the virtual boot loader: bodies around the block size, refused pages, and
    // a device that cannot store what it received.
    void uploadReachesTheDevice_data()
    {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("negativeAnswers"); // to the first page
        QTest::addColumn<bool>("storable");       // false: the device cannot store the firmware
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("pagesStored");
        const QString done = ok();
        QTest::newRow("empty body: serial number and signature only")
            << 0 << 256 << 0 << true << "Set Serial Number and Signature: Ok" << 0;
        QTest::newRow("block - 1: one padded page") << 255 << 256 << 0 << true << done << 1;
        QTest::newRow("one block exactly") << 256 << 256 << 0 << true << done << 1;
        QTest::newRow("block + 1: second page carries the last byte") << 257 << 256 << 0 << true << done << 2;
        QTest::newRow("1000 bytes: 232 in the padded fourth page") << 1000 << 256 << 0 << true << done << 4;
        QTest::newRow("exact multiple of a block of 512") << 2048 << 512 << 0 << true << done << 4;
        QTest::newRow("three refusals are retried") << 1000 << 256 << 3 << true << done << 4;
        QTest::newRow("four refusals end the run") << 1000 << 256 << 4 << true << "Error writing Page #0" << 0;
        QTest::newRow("a device that cannot store the firmware refuses the end")
            << 1000 << 256 << 0 << false << "Error updating firmware..." << 4;
    }
    void uploadReachesTheDevice()
    {
        QFETCH(int, bodySize);
        QFETCH(int, blockSize);
        QFETCH(int, negativeAnswers);
        QFETCH(bool, storable);
        QFETCH(int, pagesStored);
        const QString stored = dir.filePath(storable ? "stored.bin" : "no-such-dir/stored.bin");
        QFile::remove(stored);
        const BootLoaderOptions options{
            .blockSize = blockSize, .negativeAnswers = negativeAnswers, .firmwarePath = stored, .beaconInterval = 0};
        SimBootLoader *loader = nullptr;
        FakeFlashorPrompts prompts;
        FlashorRun run(prompts, [&](int) {
            auto device = std::make_unique<SimBootLoader>(options);
            loader = device.get();
            return std::make_unique<VirtualPort>(std::move(device));
        });
        const QByteArray file = firmwareBytes(bodySize);
        run.input().firmwarePath = writeFile(dir, "sized.rfw", file);
        run.input().initEnabled = false;
        run.input().noWait = true; // the loader's first ">" goes with the input discarded at open
        int maximum = -1;
        int progress = -1;
        connect(&run.protocol(), &BootProtocol::progressMaximumChanged, [&](int m) { maximum = m; });
        connect(&run.protocol(), &BootProtocol::progressChanged, [&](int v) { progress = v; });
        run.cmdRun_Click();
        run.tmrInit_Timer();
        QVERIFY(loader);
        for (int tick = 0; tick < 100 && run.isRunning(); ++tick)
            run.tmrReceive_Timer();
        QTEST(run.status(), "status");
        QVERIFY(!run.isRunning() && prompts.shown.isEmpty());
        // The pages stored, the last one padded as erased flash reads.
        const qsizetype pages = qsizetype(pagesStored) * blockSize;
        const QByteArray expected = (file.mid(80) + QByteArray(pages, char(0xFF))).left(pages);
        QCOMPARE(loader->firmware().toHex(), expected.toHex());
        const bool finished = bodySize > 0 && run.status() == ok();
        QCOMPARE(loader->isFinished(), finished);
        QCOMPARE(contents(stored).toHex(), finished ? expected.toHex() : QByteArray("<none>").toHex());
        if (finished)
            QCOMPARE(progress, maximum); // the bar is full only when the whole body is on the device
    }

    void uploadOverPseudoTerminal()
    {
        PtyHost pty;
        QString why;
        if (!pty.open(&why))
            QSKIP(qPrintable("no pseudo-terminal: " + why));
        qputenv("TESSEL_COM1", pty.slavePath().toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("TESSEL_COM1"); });
        const QString saved = dir.filePath("received.bin");
        SimBootLoader loader({.negativeAnswers = 2, .firmwarePath = saved, .beaconInterval = 50});
        connect(&pty, &PtyHost::received, &loader, &SimBootLoader::receive);
        connect(&loader, &SimDevice::send, &pty, &PtyHost::write);
        loader.start();
        const QByteArray file = firmwareBytes(4000); // 15 pages of 256 and a padded one of 160 bytes
        FakeFlashorPrompts prompts;
        FlashorRun run(prompts); // the real serial port, through TESSEL_COM1
        QStringList statuses;
        connect(&run, &FlashorRun::statusChanged, [&](const QString &s) { statuses << s; });
        run.applyCommandLine(
            parseFlashorArguments({"/r", "/c1", "/f", writeFile(dir, "big.rfw", file)}, FlashorRun::portCount));
        run.tmrTimeout_Timer();
        QCOMPARE(run.status(), QString("Send Init String..."));
        run.tmrInit_Timer(); // instead of waiting 2 s for the device's application
        QVERIFY2(run.isRunning(), qPrintable(prompts.shown.join('\n')));
        QTRY_COMPARE_WITH_TIMEOUT(run.status(), ok(), 10000);
        QVERIFY(!run.isRunning() && prompts.shown.isEmpty() && loader.isFinished());
        QCOMPARE(loader.header(), file.left(80));
        QCOMPARE(contents(saved), file.mid(80) + QByteArray(96, char(0xFF)));
        QVERIFY(statuses.contains("Writing Page #0: Retry 2") && statuses.contains("Writing Page #15: Ok"));
    }

private:
    static QString ok() { return QStringLiteral("Updating firmware : Ok"); }
    QTemporaryDir dir;
    QString fw1000;
};

TESSEL_TEST(tst_Flashor)
#include "tst_flashor.moc"
