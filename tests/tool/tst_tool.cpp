// tessel-tool's commands, run as the program runs them.
#include "support/dbcsample.h"
#include "support/seeddatabase.h"
#include "support/testregistry.h"
#include "tool/tool.h"

#include <QTextStream>
#include <QtTest>

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

        r = tool({"decode", captureFile, "--dbc", dbc, "--format", "csv"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split('\n').value(1),
                 QStringLiteral("0.000000,100,0,8,102750000F000000,Rpm=2500;Temp=40;Gear=15,Gear=Reverse"));
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
