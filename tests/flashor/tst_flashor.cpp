// Flashor: its command line, run flow (Run, Stop, init string, timers, failure
// messages), its window's texts, and a whole upload over a pseudo-terminal to
// the virtual boot loader.

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

struct FakeFlashorPrompts final : FlashorPrompts
{
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
    };
    QList<Shown> shown;
    QStringList fileNames; // answers of the file dialog, "" = cancel
    QStringList dialogs;   // "title|filter|start" of each file dialog

    void message(const QString &text, const QString &title, Icon icon) override
    {
        shown.append({text, title.isEmpty() ? flashorTitle : title, icon});
    }
    QString openFileName(const QString &title, const QString &filter, const QString &startFile) override
    {
        dialogs << title + '|' + filter + '|' + startFile;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

// Hands out fake ports and keeps their records in the order they were made.
struct FakePorts
{
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
};

// The run flow on fake ports.
struct Rig
{
    FakeFlashorPrompts prompts;
    FakePorts ports;
    FlashorRun run{prompts, ports.factory()};
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

} // namespace

class tst_Flashor : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fw1000 = writeFile(dir, "fw.rfw", firmwareBytes(1000));
    }

    void posixArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("commandLine"); // parsed instead of the arguments when given
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<int>("portIndex"); // -1: not given
        QTest::addColumn<QString>("path");  // "-": not given

        // clang-format off
        QTest::newRow("as Tessel starts it") << QStringList{"/r", "/c4", "/f", "/home/me/fw/*.rfw"} << "" << true << 3
                                             << "/home/me/fw/*.rfw";
        QTest::newRow("path attached to /f") << QStringList{"/c2", "/f/home/me/a.rfw"} << "" << false << 1
            << "/home/me/a.rfw";
        QTest::newRow("upper case") << QStringList{"/R", "/C4", "/F", "/x/a.rfw"} << "" << true << 3 << "/x/a.rfw";
        QTest::newRow("path is trimmed") << QStringList{"/f", "  /x/a b.rfw "} << "" << false << -1 << "/x/a b.rfw";
        QTest::newRow("c17 past the list selects COM1") << QStringList{"/c17"} << "" << false << 0 << "-";
        QTest::newRow("arguments without / are ignored") << QStringList{"r", "c4", "extra"} << "" << false << -1 << "-";
        QTest::newRow("one line as Tessel starts it") << QStringList() << " /r /c4 /fC:\\fw\\*.rfw" << true << 3
            << "C:\\fw\\*.rfw";
        QTest::newRow("one line, no blanks, upper case") << QStringList() << "/R/C2/FX.RFW" << true << 1 << "X.RFW";
        QTest::newRow("one line, blank before the letter hides the option") << QStringList() << "/ r/ c4" << false << -1
            << "-";
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
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].text, "Error! Path \"" + dir.filePath("gone") + "\" not found.");
        QCOMPARE(prompts.shown[0].title, flashorTitle);
        QCOMPARE(prompts.shown[0].icon, FlashorPrompts::Icon::None);

        QVERIFY(prepareTempFolder(dir.path(), prompts));
        QVERIFY(QFileInfo(dir.filePath("Flashor")).isDir());
        QVERIFY(prepareTempFolder(dir.path(), prompts)); // already there
        QCOMPARE(prompts.shown.size(), 1);

        // A TMPDIR naming a missing folder is named in the message, not left out.
        const QByteArray tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir.filePath("gone").toLocal8Bit());
        const QString named = platformTempFolder();
        qputenv("TMPDIR", tmpdir);
        QCOMPARE(named, dir.filePath("gone"));
    }

    void runRefusesBadFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size"); // -1: no file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing.rfw" << -1 << "Error! Firmware file \"%1\" do not exist.";
        QTest::newRow("pattern") << "*.rfw" << -1 << "Error! Firmware file \"%1\" do not exist.";
        QTest::newRow("a folder") << "" << -1 << "Error! Firmware file \"%1\" do not exist.";
        QTest::newRow("79 bytes") << "short.rfw" << 79 << "Error! Firmware file \"%1\" is short.";
    }

    void runRefusesBadFile()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(QString, message);
        const QString path = size < 0 ? dir.filePath(name) : writeFile(dir, name, QByteArray(size, 'x'));
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.input().firmwarePath = path;
        run.cmdRun_Click();
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].text, message.arg(path));
        QCOMPARE(prompts.shown[0].title, QString("Run process..."));
        QCOMPARE(prompts.shown[0].icon, FlashorPrompts::Icon::Critical);
        QVERIFY(!run.initTimer().isActive());
        QVERIFY(ports.made.isEmpty());
    }

    void runWithInitString()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.input().firmwarePath = fw1000;
        run.input().portIndex = 2;
        run.input().initSpeed = "430800";
        QStringList initInputs;
        connect(&run, &FlashorRun::initInputChanged, [&](const QString &t) { initInputs << t; });

        run.cmdRun_Click();
        QCOMPARE(ports.made.size(), 1);
        std::shared_ptr<PortRecord> init = ports.made[0];
        QCOMPARE(init->number, 3);
        QCOMPARE(init->settings, QString("430800,N,8,1"));
        QCOMPARE(init->clears, 1);
        QCOMPARE(init->writes, QList<QByteArray>{"!ZQMVBRT_GlimmerPassage_K"});
        QCOMPARE(run.status(), QString("Send Init String..."));
        QVERIFY(run.initTimer().isActive());
        QCOMPARE(run.initTimer().interval(), 2000);
        QVERIFY(!run.isRunning());

        init->incoming = "app: rebooting";
        run.tmrInit_Timer();
        QCOMPARE(initInputs, (QStringList{"", "app: rebooting"}));
        QVERIFY(!init->opened); // closed before the boot port opens
        QCOMPARE(ports.made.size(), 2);
        std::shared_ptr<PortRecord> boot = ports.made[1];
        QCOMPARE(boot->number, 3);
        QCOMPARE(boot->settings, QString("115200,N,8,1"));
        QVERIFY(boot->clears >= 1);
        QVERIFY(run.isRunning());
        QCOMPARE(run.status(), QString("Waiting Connection..."));
        QVERIFY(boot->writes.isEmpty());

        boot->incoming = "junk>";
        run.tmrReceive_Timer();
        QCOMPARE(boot->writes, QList<QByteArray>{"<"});
        QCOMPARE(run.status(), QString("Connecting..."));
    }

    void runWithoutInitString()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.input().firmwarePath = fw1000;
        run.input().initEnabled = false;
        run.input().noWait = true;
        run.cmdRun_Click();
        QVERIFY(ports.made.isEmpty());
        QCOMPARE(run.initTimer().interval(), 100);
        run.tmrInit_Timer();
        QCOMPARE(ports.made.size(), 1);
        QCOMPARE(ports.made[0]->number, 1);
        QCOMPARE(ports.made[0]->writes, QList<QByteArray>{"<"});
        QCOMPARE(run.status(), QString("Connecting..."));
        QVERIFY(prompts.shown.isEmpty());
    }

    // The message keeps its own text and names the device and the system's reason after it.
    void portCannotBeOpened_data()
    {
        QTest::addColumn<bool>("initEnabled");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("realDevice"); // TESSEL_COM3 names a path that does not exist
        QTest::addColumn<QString>("message");
        const QString missing = dir.filePath("no-such-dir/tty");
        QTest::newRow("init port: device and reason follow the text")
            << true << false << false << "Communication port is not opened! (fake3: Permission denied)";
        QTest::newRow("init string cannot be written")
            << true << true << false << "Communication port is not opened! (fake3: Permission denied)";
        QTest::newRow("boot port: device and reason follow the text")
            << false << false << false << "Communication port is not opened! (fake3: Permission denied)";
        QTest::newRow("real device path with the system's reason")
            << false << false << true
            << "Communication port is not opened! (" + missing + ": No such file or directory)";
    }

    void portCannotBeOpened()
    {
        QFETCH(bool, initEnabled);
        QFETCH(bool, opens);
        QFETCH(bool, realDevice);
        FakeFlashorPrompts prompts;
        FakePorts ports;
        ports.openOk = opens;
        ports.writeFails = true;
        ports.reason = "Permission denied";
        qputenv("TESSEL_COM3", dir.filePath("no-such-dir/tty").toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("TESSEL_COM3"); });
        FlashorRun run(prompts, realDevice ? devicePortFactory() : ports.factory());
        run.input().firmwarePath = fw1000;
        run.input().portIndex = 2;
        run.input().initEnabled = initEnabled;

        run.cmdRun_Click();
        if (!initEnabled) {
            QVERIFY(prompts.shown.isEmpty());
            run.tmrInit_Timer();
        }
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown[0].text, "message");
        QCOMPARE(prompts.shown[0].title, flashorTitle);
        QCOMPARE(prompts.shown[0].icon, FlashorPrompts::Icon::Critical);
        QVERIFY(!run.initTimer().isActive());
        QVERIFY(!run.isRunning());
    }

    void stopInPagePhaseThenRunAgain()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.input().firmwarePath = fw1000;
        run.input().initEnabled = false;
        run.input().noWait = true;
        QList<bool> running;
        connect(&run, &FlashorRun::runningChanged, [&](bool on) { running << on; });

        run.cmdRun_Click();
        run.tmrInit_Timer();
        std::shared_ptr<PortRecord> boot = ports.made.last();
        boot->incoming = QByteArray("+\0", 2) + "+\x22" + QByteArray(34, '\x01') + QByteArray(".\x01\x00", 3);
        run.tmrReceive_Timer();
        QCOMPARE(run.status(), QString("Writing Page #1"));
        QCOMPARE(boot->writes.size(), 3); // connect, header, page 1

        run.cmdRun_Click(); // "Stop"
        QVERIFY(!boot->opened);
        QVERIFY(!run.isRunning());
        QCOMPARE(running, (QList<bool>{true, false}));

        run.cmdRun_Click();
        run.tmrInit_Timer();
        std::shared_ptr<PortRecord> again = ports.made.last();
        QVERIFY(again != boot);
        again->incoming = QByteArray("+\0", 2);
        run.tmrReceive_Timer();
        QCOMPARE(run.status(), QString("Send Header..."));
        QCOMPARE(again->writes.value(1).left(1), QByteArray("#"));
    }

    void readErrorStopsTheRun()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.input().firmwarePath = fw1000;
        run.input().initEnabled = false;
        run.cmdRun_Click();
        run.tmrInit_Timer();
        std::shared_ptr<PortRecord> boot = ports.made.last();
        boot->failed = true;
        boot->incoming = ">";
        run.tmrReceive_Timer();
        QVERIFY(!run.isRunning());
        QVERIFY(!boot->opened);
        QCOMPARE(run.protocol().state(), 1); // the protocol is reset at the next run
    }

    void automaticStartBrowsesForPattern()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        const QString pattern = dir.filePath("*.rfw");
        run.applyCommandLine(parseFlashorArguments({"/r", "/c4", "/f", pattern}, FlashorRun::portCount));
        QCOMPARE(run.input().portIndex, 3);
        QCOMPARE(run.input().firmwarePath, pattern);
        QVERIFY(run.timeoutTimer().isActive());
        QCOMPARE(run.timeoutTimer().interval(), 100);

        prompts.fileNames << fw1000;
        run.tmrTimeout_Timer();
        QVERIFY(!run.timeoutTimer().isActive());
        QCOMPARE(prompts.dialogs, QStringList{"Open|RFW-files|*.rfw|All files|*.*|" + pattern});
        QCOMPARE(run.input().firmwarePath, fw1000);
        QVERIFY(run.initTimer().isActive()); // the run has started
        QCOMPARE(ports.made.value(0)->number, 4);
    }

    void automaticStartWithFile()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.applyCommandLine(parseFlashorArguments({"/R", "/F" + fw1000}, FlashorRun::portCount));
        run.tmrTimeout_Timer();
        QVERIFY(prompts.dialogs.isEmpty());
        QVERIFY(run.initTimer().isActive());

        // Without "/r" nothing starts by itself.
        FlashorRun idle(prompts, ports.factory());
        idle.applyCommandLine(parseFlashorArguments({"/f" + fw1000}, FlashorRun::portCount));
        QVERIFY(!idle.timeoutTimer().isActive());
    }

    void browseRefusesMissingFile()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        const QString pattern = dir.filePath("*.rfw");
        run.applyCommandLine(parseFlashorArguments({"/r", "/f", pattern}, FlashorRun::portCount));
        const QString missing = dir.filePath("typed.rfw");
        prompts.fileNames << missing;
        run.tmrTimeout_Timer();
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].text, "File \"" + missing + "\" is not found.");
        QCOMPARE(prompts.shown[0].icon, FlashorPrompts::Icon::Critical);
        QCOMPARE(run.input().firmwarePath, pattern);
        QVERIFY(!run.initTimer().isActive());

        run.cmdUpload_In_Click(); // cancelled
        QCOMPARE(run.input().firmwarePath, pattern);
        QCOMPARE(prompts.shown.size(), 1);
    }

    // "/r" starts by itself only on a port the option really names; anything else
    // must not fall back to COM1, where some other device may sit.
    void portOptionAndAutomaticStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("message"); // "": none
        QTest::addColumn<QString>("status");

        const QString noPort = "Port option \"%1\" names no port from 1 to 16: choose the port and press Run";
        QTest::newRow("c1 starts") << QStringList{"/r", "/c1"} << true << ""
                                   << "";
        QTest::newRow("c16, the last port, starts") << QStringList{"/r", "/c16"} << true << ""
                                                    << "";
        QTest::newRow("c0: the built-in analyser has no boot loader")
            << QStringList{"/r", "/c0"} << false << ""
            << "Port 0 has no boot loader: choose the port and press Run";
        QTest::newRow("c without a number") << QStringList{"/r", "/c"} << false << noPort.arg("/c") << noPort.arg("/c");
        QTest::newRow("cx is not a number")
            << QStringList{"/r", "/cx"} << false << noPort.arg("/cx") << noPort.arg("/cx");
        QTest::newRow("c-1 is negative") << QStringList{"/r", "/c-1"} << false << noPort.arg("/c-1")
                                         << noPort.arg("/c-1");
        QTest::newRow("c999 is past the list")
            << QStringList{"/r", "/c999"} << false << noPort.arg("/c999") << noPort.arg("/c999");
        QTest::newRow("a later bad option wins")
            << QStringList{"/r", "/c2", "/cx"} << false << noPort.arg("/cx") << noPort.arg("/cx");
        QTest::newRow("without /r a bad option is still reported")
            << QStringList{"/cx"} << false << noPort.arg("/cx") << noPort.arg("/cx");
    }

    void portOptionAndAutomaticStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        Rig rig;
        auto &[prompts, ports, run] = rig;
        run.applyCommandLine(parseFlashorArguments(arguments + QStringList{"/f" + fw1000}, FlashorRun::portCount));
        QTEST(run.timeoutTimer().isActive(), "starts");
        QTEST(run.status(), "status");
        QCOMPARE(prompts.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(prompts.shown[0].text, message);
            QCOMPARE(prompts.shown[0].icon, FlashorPrompts::Icon::Critical);
        }
        // The one-line command line of other platforms follows the same rule.
        const FlashorOptions oneLine = parseFlashorCommandLine(" " + arguments.join(' '), FlashorRun::portCount);
        QCOMPARE(oneLine.malformedPort.has_value(), !message.isEmpty());
    }

    void windowFollowsRun()
    {
        Rig rig;
        auto &[prompts, ports, run] = rig;
        frmFlashor w(run);
        run.applyCommandLine(parseFlashorArguments({"/c5", "/f" + fw1000}, FlashorRun::portCount));
        QCOMPARE(w.cmbCOMPort->currentText(), QString("COM5"));
        QCOMPARE(w.lblPortDevice->text(), portDeviceName(5));
        QCOMPARE(w.txtUpload_In->text(), fw1000);

        // The user's edits reach the run flow.
        w.chkInit->setChecked(false);
        w.cmbCOMPort->setCurrentIndex(1);
        QVERIFY(!run.input().initEnabled);
        QCOMPARE(run.input().portIndex, 1);

        QTest::mouseClick(w.cmdRun, Qt::LeftButton);
        run.tmrInit_Timer();
        QCOMPARE(w.cmdRun->text(), QString("Stop"));
        QVERIFY(!w.frameInput->isEnabled());
        QCOMPARE(w.txtStatus->text(), QString("Waiting Connection..."));

        std::shared_ptr<PortRecord> boot = ports.made.last();
        QCOMPARE(boot->number, 2);
        // ">", connected, header answer with block size 256, request for page 0.
        boot->incoming = QByteArray(">+\0+\x22\x00\x01", 7) + "SN000042" + "Signature of the device!"
                         + QByteArray(".\x00\x00", 3);
        run.tmrReceive_Timer();
        QCOMPARE(w.txtBlock->text(), QString("256"));
        QCOMPARE(w.txtSet_Serial->text(), QString("SN000042"));
        QCOMPARE(w.txtSet_Signature->text(), QString("Signature of the device!"));
        QCOMPARE(w.pbUpload->maximum(), 4);
        QCOMPARE(w.txtStatus->text(), QString("Writing Page #0"));

        boot->incoming = QByteArray("+\x02\x00\x00----", 8);
        run.tmrReceive_Timer();
        QCOMPARE(w.pbUpload->value(), 0);
        QCOMPARE(w.txtStatus->text(), QString("Error writing Page #0"));
        QCOMPARE(w.cmdRun->text(), QString("Run"));
        QVERIFY(w.frameInput->isEnabled());
    }

    // The whole run flow against the virtual boot loader: what the device stored
    // and the final status, for bodies around the block size, refusals of a
    // page and a device that cannot store what it received.
    void uploadReachesTheDevice_data()
    {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("negativeAnswers"); // to the first page
        QTest::addColumn<bool>("storable");       // false: the device cannot store the firmware
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("pagesStored");

        const QString ok = QStringLiteral("Updating firmware : Ok");
        QTest::newRow("empty body: serial number and signature only")
            << 0 << 256 << 0 << true << "Set Serial Number and Signature: Ok" << 0;
        QTest::newRow("block - 1: one padded page") << 255 << 256 << 0 << true << ok << 1;
        QTest::newRow("one block exactly") << 256 << 256 << 0 << true << ok << 1;
        QTest::newRow("block + 1: second page carries the last byte") << 257 << 256 << 0 << true << ok << 2;
        QTest::newRow("1000 bytes: 232 in the padded fourth page") << 1000 << 256 << 0 << true << ok << 4;
        QTest::newRow("exact multiple of a block of 512") << 2048 << 512 << 0 << true << ok << 4;
        QTest::newRow("three refusals are retried") << 1000 << 256 << 3 << true << ok << 4;
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
        QFETCH(QString, status);
        QFETCH(int, pagesStored);

        const QString stored = dir.filePath(storable ? "stored.bin" : "no-such-dir/stored.bin");
        QFile::remove(stored);
        BootLoaderOptions options;
        options.beaconInterval = 0;
        options.blockSize = blockSize;
        options.negativeAnswers = negativeAnswers;
        options.firmwarePath = stored;
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
        QStringList statuses;
        connect(&run.protocol(), &BootProtocol::progressMaximumChanged, [&](int m) { maximum = m; });
        connect(&run.protocol(), &BootProtocol::progressChanged, [&](int v) { progress = v; });
        connect(&run, &FlashorRun::statusChanged, [&](const QString &text) { statuses << text; });

        run.cmdRun_Click();
        run.tmrInit_Timer();
        QVERIFY(loader);
        for (int tick = 0; tick < 100 && run.isRunning(); ++tick)
            run.tmrReceive_Timer();

        QCOMPARE(run.status(), status);
        QVERIFY(!run.isRunning());
        QVERIFY(prompts.shown.isEmpty());
        QByteArray expected = file.mid(80);
        expected.append(qMax<qsizetype>(0, qsizetype(pagesStored) * blockSize - expected.size()), char(0xFF));
        expected = expected.left(qsizetype(pagesStored) * blockSize);
        QCOMPARE(loader->firmware().toHex(), expected.toHex());
        const bool finished = bodySize > 0 && status == QLatin1String("Updating firmware : Ok");
        QCOMPARE(loader->isFinished(), finished);
        QCOMPARE(QFile::exists(stored), finished);
        if (finished) {
            QFile written(stored);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll().toHex(), expected.toHex());
            QCOMPARE(progress, maximum); // the bar is full only when the whole body is on the device
        }
        for (int n = 1; n <= qMin(negativeAnswers, 3); ++n)
            QVERIFY2(statuses.contains(QStringLiteral("Writing Page #0: Retry %1").arg(n)),
                     qPrintable(statuses.join('|')));
    }

    void uploadOverPseudoTerminal()
    {
        PtyHost pty;
        QString why;
        if (!pty.open(&why))
            QSKIP(qPrintable("no pseudo-terminal: " + why));
        qputenv("TESSEL_COM1", pty.slavePath().toLocal8Bit());

        const QString saved = dir.filePath("received.bin");
        BootLoaderOptions options;
        options.firmwarePath = saved;
        options.beaconInterval = 50;
        options.negativeAnswers = 2;
        SimBootLoader loader(options);
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
        QVERIFY2(run.isRunning(), qPrintable(prompts.shown.isEmpty() ? QString() : prompts.shown[0].text));

        QTRY_COMPARE_WITH_TIMEOUT(run.status(), QString("Updating firmware : Ok"), 10000);
        QVERIFY(!run.isRunning());
        QVERIFY(prompts.shown.isEmpty());
        QVERIFY(loader.isFinished());
        QCOMPARE(loader.header(), file.left(80));
        QFile received(saved);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), file.mid(80) + QByteArray(96, char(0xFF)));
        QVERIFY(statuses.contains("Writing Page #0: Retry 2"));
        QVERIFY(statuses.contains("Writing Page #15: Ok"));
        qunsetenv("TESSEL_COM1");
    }

private:
    QTemporaryDir dir;
    QString fw1000;
};

TESSEL_TEST(tst_Flashor)
#include "tst_flashor.moc"
