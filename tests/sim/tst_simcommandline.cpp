// tessel-sim's command line: every value is checked at start, nothing is cut
// to fit, and a firmware file the boot loader could not write is refused
// before the line comes up.

#include "sim/simcommandline.h"
#include "support/testregistry.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_SimCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    static QString parseError(const QStringList &arguments, SimCommandLine *result = nullptr)
    {
        QCommandLineParser parser;
        addSimOptions(parser);
        if (!parser.parse(QStringList{"tessel-sim"} + arguments))
            return parser.errorText();
        const SimCommandLine r = readSimOptions(parser);
        if (result)
            *result = r;
        return r.error;
    }

private slots:
    // Rows with "exits" are also given to the program itself: a message on
    // stderr, exit code 2, no terminal announced.
    void valuesInRange_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // "": accepted
        QTest::addColumn<bool>("exits");
        const QString folder = "bad value for --firmware-out: " + dir.path() + " is a folder";
        // clang-format off
        QTest::newRow("no options") << QStringList{} << "" << false;
        QTest::newRow("every option at its upper end")
            << QStringList{"--rate", "1000000", "--seed", "4294967295", "--baud", "100000000", "--buffer", "1000000",
                           "--stamp-offset", "FFFFFFFF", "--status", "FF", "--corrupt", "1000000", "--chunk", "1000000",
                           "--drop-after", "1000000000", "--boot-refuse", "1000000", "--boot-block", "65535"}
            << "" << false;
        QTest::newRow("every option at its lower end")
            << QStringList{"--rate", "0", "--seed", "0", "--baud", "1", "--buffer", "1", "--stamp-offset", "0",
                           "--status", "0", "--corrupt", "0", "--chunk", "0", "--drop-after", "0", "--boot-refuse", "0",
                           "--boot-block", "0"} << "" << false;
        QTest::newRow("status 1FF is not a byte") << QStringList{"--status", "1FF"}
            << "bad value for --status: 1FF (00..FF)" << true;
        QTest::newRow("boot-block 70000 is not 16 bits") << QStringList{"--boot-block", "70000"}
            << "bad value for --boot-block: 70000 (0..65535)" << false;
        QTest::newRow("baud 0") << QStringList{"--baud", "0"} << "bad value for --baud: 0 (1..100000000)" << false;
        QTest::newRow("rate not finite") << QStringList{"--rate", "inf"} << "bad value for --rate: inf (0..1000000)"
            << false;
        QTest::newRow("not a number") << QStringList{"--boot-block", "12k"}
            << "bad value for --boot-block: 12k (0..65535)" << false;
        QTest::newRow("decimal option given in hex") << QStringList{"--seed", "0x10"}
            << "bad value for --seed: 0x10 (0..4294967295)" << false;
        QTest::newRow("command selector that is no code") << QStringList{"--silent", "zz"}
            << "bad value for --silent: zz (a command code in hex, or all)" << false;
        QTest::newRow("extra argument") << QStringList{"extra"} << "unexpected argument \"extra\"" << true;
        QTest::newRow("extra argument after an option") << QStringList{"--rate", "5", "extra"}
            << "unexpected argument \"extra\"" << false;
        QTest::newRow("empty link path") << QStringList{"--link", ""} << "bad value for --link: no path given" << false;
        QTest::newRow("firmware-out a folder") << QStringList{"--bootloader", "--firmware-out", dir.path()} << folder
            << true;
        // clang-format on
    }
    void valuesInRange()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(bool, exits);
        QCOMPARE(parseError(arguments), error);
        if (!exits)
            return;
        const QString program = QStringLiteral(TESSEL_BIN_DIR "/tessel-sim");
        if (!QFileInfo::exists(program))
            QSKIP("tessel-sim is not built");
        QProcess sim;
        sim.start(program, arguments);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(sim.readAllStandardError()), "tessel-sim: " + error + "\n");
        QCOMPARE(sim.readAllStandardOutput(), QByteArray());
    }

    void firmwareOut_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        const QString file = dir.filePath("file");
        QFile(file).open(QIODevice::WriteOnly);
        const QString cannot = "bad value for --firmware-out: cannot write ";
        QTest::newRow("new file in a folder") << dir.filePath("fw.bin") << "";
        QTest::newRow("folder that does not exist")
            << dir.filePath("none/fw.bin") << cannot + dir.filePath("none/fw.bin");
        QTest::newRow("under a file") << file + "/fw.bin" << cannot + file + "/fw.bin";
        QTest::newRow("empty") << ""
                               << "bad value for --firmware-out: no path given";
    }
    void firmwareOut()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        SimCommandLine r;
        const QString got = parseError({"--firmware-out", path}, &r);
        // The system's reason follows the path; its wording is the system's own.
        QVERIFY2(error.isEmpty() ? got.isEmpty() : got.startsWith(error), qPrintable(got));
        if (error.isEmpty()) {
            QCOMPARE(r.boot.firmwarePath, path);
            QVERIFY2(!QFileInfo::exists(dir.filePath("fw.bin")), "the check leaves nothing behind");
        }
    }
};

TESSEL_TEST(tst_SimCommandLine)
#include "tst_simcommandline.moc"
