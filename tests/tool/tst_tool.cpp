// tessel-tool's commands, run as the program runs them.
#include "support/dbcsample.h"
#include "support/seeddatabase.h"
#include "support/testregistry.h"
#include "tool/tool.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <sys/stat.h>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run tool(const QStringList &arguments)
{
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runTool(arguments, out, err);
    out.flush();
    err.flush();
    return r;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// 0x100: Rpm 0x2710 * 0.25, Temp byte 2 (0x50) - 40, Gear 15 "Reverse";
// 123.04567 with multiplexor 1 (Left 0x2A) in 4 bytes, so the float is outside.
const char *const capture = "; CAN_DB=\"Bus\"\r\n; CAN_Speed=500000\r\n; CAN_Timer=1000000\r\n"
                            "0001E240 100 ----- 0 0 0 0 8 10 27 50 00 0F 00 00 00 ; Engine : EngineData\r\n"
                            "0001E340 123 04567 0 1 0 0 4 01 2A 00 00\r\n"
                            "0001E440 055 ----- 0 0 0 0 1 FF\r\n";

} // namespace

class tst_Tool : public QObject
{
    Q_OBJECT

    SeedDatabase seed;
    QString dbc;
    QString captureFile;

private slots:
    // A candump log to each format and back, and what info tells of it.
    void convertAndInfo()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("in.log"));
        write(log, "(1700000000.000000) can0 123#11\n(1700000000.100000) can1 1ABCDEF0#R2\n"
                   "(1700000000.200000) can0 123#22\n(1700000000.300000) can0 123##0\n"
                   "(1700000000.400000) can0 123#33\n");
        for (const QString &name : {QStringLiteral("a.asc"), QStringLiteral("b.txt"), QStringLiteral("c.log")}) {
            const Run r = tool({QStringLiteral("convert"), log, dir.filePath(name)});
            QCOMPARE(r.status, 0);
            QVERIFY(r.err.contains(QLatin1String("1 line skipped: CAN FD frame (first line 4)")));
        }
        const Run csv = tool({QStringLiteral("convert"), dir.filePath(QStringLiteral("a.asc")),
                              dir.filePath(QStringLiteral("d.out")), QStringLiteral("--to"), QStringLiteral("csv")});
        QCOMPARE(csv.status, 0);
        QFile f(dir.filePath(QStringLiteral("d.out")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 5);

        const Run info = tool({QStringLiteral("info"), dir.filePath(QStringLiteral("c.log"))});
        QCOMPARE(info.status, 0);
        QVERIFY2(info.out.contains(QLatin1String("frames: 4\n")), qPrintable(info.out));
        QVERIFY(info.out.contains(QLatin1String("duration: 0.400000 s\n")));
        QVERIFY(info.out.contains(QLatin1String("buses: 0, 1\n")));
        QVERIFY(info.out.contains(QLatin1String("start: 2023-11-14T22:13:20.000Z\n")));
        QVERIFY(info.out.contains(QLatin1String("  123           3         0.200000     7.500\n")));
        const Run json = tool({QStringLiteral("info"), log, QStringLiteral("--json")});
        QCOMPARE(json.status, 0);
        QVERIFY2(json.out.contains(QLatin1String(
                     "\"skipped\":[{\"reason\":\"CAN FD frame\",\"count\":1,\"firstLine\":4}],\"duration\":0.4")),
                 qPrintable(json.out));
        // The Tessel text read back holds the same frames and times.
        const Run back = tool({QStringLiteral("info"), dir.filePath(QStringLiteral("b.txt"))});
        QVERIFY2(back.out.contains(QLatin1String("frames: 4\nduration: 0.400000 s\n")), qPrintable(back.out));
        QVERIFY(back.out.contains(QLatin1String("  123           3         0.200000     7.500\n")));
    }

    void convertUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("unknown extension") << QStringList{"convert", "IN", "out.bin"} << 2;
        QTest::newRow("unknown --to") << QStringList{"convert", "IN", "out.log", "--to", "trc"} << 2;
        QTest::newRow("one file") << QStringList{"convert", "IN"} << 2;
        QTest::newRow("info two files") << QStringList{"info", "IN", "IN"} << 2;
        QTest::newRow("missing input") << QStringList{"convert", "missing.log", "out.log"} << 1;
        QTest::newRow("not a log") << QStringList{"info", "NOTLOG"} << 1;
    }

    void convertUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QTemporaryDir dir;
        write(dir.filePath(QStringLiteral("IN")), "(1.0) can0 123#11\n");
        write(dir.filePath(QStringLiteral("NOTLOG")), "hello\n");
        for (QString &a : arguments) {
            if (a == QLatin1String("IN") || a == QLatin1String("NOTLOG") || a.contains(QLatin1Char('.')))
                a = dir.filePath(a);
        }
        const Run r = tool(arguments);
        QCOMPARE(r.status, status);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }

    void initTestCase()
    {
        seed.db.close();
        dbc = seed.dir.filePath("net.dbc");
        write(dbc, sampleDbc);
        captureFile = seed.dir.filePath("capture.txt");
        write(captureFile, capture);
    }

    void badUsageIsStatusTwoWithAHint_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"explode"};
        QTest::newRow("dbc without verb") << QStringList{"dbc"};
        QTest::newRow("import without --db") << QStringList{"dbc", "import", "net.dbc"};
        QTest::newRow("unknown option") << QStringList{"dbc", "import", "net.dbc", "--db", "x", "--colour", "red"};
        QTest::newRow("option without value") << QStringList{"dbc", "export", "--db"};
        QTest::newRow("two sources") << QStringList{"decode", "c.txt", "--dbc", "a", "--db", "b", "--can", "c"};
        QTest::newRow("no source") << QStringList{"decode", "c.txt"};
        QTest::newRow("bad format") << QStringList{"decode", "c.txt", "--dbc", "a", "--format", "xml"};
    }
    void badUsageIsStatusTwoWithAHint()
    {
        QFETCH(QStringList, arguments);
        const Run r = tool(arguments);
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains("--help"), qPrintable(r.err));
    }

    void helpGoesToStandardOutput()
    {
        const Run r = tool({"--help"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("dbc import") && r.out.contains("decode"));
    }

    // Import, export and decode against one data base file, then decode
    // straight from the DBC file: the same lines.
    void importExportAndDecode()
    {
        const QString db = seed.dir.path();
        Run r = tool({"dbc", "import", dbc, "--db", db, "--name", "Bus"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("imported as CAN Data Base \"Bus\": 2 devices, 3 IDs, 7 data fields"),
                 qPrintable(r.out));

        const QString exported = seed.dir.filePath("out.dbc");
        r = tool({"dbc", "export", "--db", db, "--can", "Bus", exported});
        QCOMPARE(r.status, 0);
        QFile file(exported);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("BO_ 256 EngineData: 8 Engine"));

        const QStringList expected{
            R"({"t":0.000000,"id":"100","ext":false,"dlc":8,"data":"102750000F000000",)"
            R"("signals":{"Rpm":2500,"Temp":40,"Gear":15},"text":{"Gear":"Reverse"}})",
            R"({"t":0.000256,"id":"48C4567","ext":true,"dlc":4,"data":"012A0000",)"
            R"("signals":{"Mux":1,"Left":42},"text":{}})",
            R"({"t":0.000512,"id":"55","ext":false,"dlc":1,"data":"FF","signals":{},"text":{}})",
        };
        r = tool({"decode", captureFile, "--db", db, "--can", "Bus"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), expected);
        r = tool({"decode", captureFile, "--dbc", exported});
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), expected);

        // The same frames as another tool's log.
        const QString candump = seed.dir.filePath("capture.log");
        write(candump, "(1700000000.000000) can0 100#102750000F000000\n(1700000000.000256) can0 048C4567#012A0000\n"
                       "(1700000000.000512) can0 055#FF\n");
        r = tool({"decode", candump, "--dbc", dbc});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), expected);

        r = tool({"decode", captureFile, "--dbc", dbc, "--format", "csv"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split('\n').value(1),
                 QStringLiteral("0.000000,100,0,8,102750000F000000,Rpm=2500;Temp=40;Gear=15,Gear=Reverse"));
    }

    // A pipe names no capture: refused at once, never waited on.
    void aPipeIsRefusedWithoutBlocking()
    {
        const QString pipe = seed.dir.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QStringList &arguments : {QStringList{"info", pipe}, QStringList{"decode", pipe, "--dbc", dbc}}) {
            const Run r = tool(arguments);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains("not a regular file"), qPrintable(r.err));
        }
    }

    void failuresAreStatusOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no data base file") << QStringList{"dbc", "import", "x.dbc", "--db", "/nonexistent/T.mdb"}
                                           << "no data base file";
        QTest::newRow("no such CAN data base")
            << QStringList{"dbc", "export", "--db", "", "--can", "Nope", "o.dbc"} << "no CAN data base named";
        QTest::newRow("unreadable DBC") << QStringList{"decode", "", "--dbc", "/nonexistent.dbc"} << "cannot be opened";
        QTest::newRow("no capture") << QStringList{"decode", "/nonexistent.txt", "--dbc", ""} << "nonexistent.txt";
    }
    void failuresAreStatusOne()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        for (QString &a : arguments) {
            if (a.isEmpty())
                a = arguments.contains("--dbc") ? dbc : seed.dir.path();
        }
        const Run r = tool(arguments);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }
};

TESSEL_TEST(tst_Tool)
#include "tst_tool.moc"
