// Other tools' CAN logs: reading, writing, round trips, skipped lines by
// reason, detection, and can-utils' converters as an outside check.
#include "core/capturefile.h"
#include "core/capturestore.h"
#include "core/dbindex.h"
#include "core/logformat.h"
#include "core/values.h"
#include "support/frameprint.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace logformat;

namespace {

struct Read
{
    ReadResult result;
    std::vector<clsFrame> frames;
};

Read readText(const QByteArray &bytes, Format format = Format::Unknown)
{
    Read r;
    r.result = readBytes(
        bytes, {},
        [&r](const clsFrame &f) {
            r.frames.push_back(f);
            return true;
        },
        format);
    return r;
}

Read readPath(const QString &path, const ReadOptions &options = {})
{
    Read r;
    r.result = readFile(path, options, [&r](const clsFrame &f) {
        r.frames.push_back(f);
        return true;
    });
    return r;
}

clsFrame frame(quint32 id, bool ext, QByteArray data, int bus = 0, qint64 time = 0, bool rtr = false, int dlc = -1)
{
    clsFrame f;
    if (ext) {
        f.setIDE(1);
        f.ID.setID(qint32(id));
    } else {
        f.ID.StdPart = qint32(id);
    }
    f.setRTR(rtr);
    f.DLC = quint8(dlc >= 0 ? dlc : data.size());
    if (!rtr)
        f.setData(data);
    f.Bus = quint8(bus);
    f.Time = time;
    f.TimeStamp = time;
    return f;
}

// What survives every format: identifier, flags, DLC, data, bus and time.
QString essence(const clsFrame &f)
{
    return QStringLiteral("bus %1 t %2 id %3%4 dlc %5 %6 %7")
        .arg(f.Bus)
        .arg(f.Time.value_or(-1))
        .arg(f.IDE() ? f.ID.ID() : f.ID.StdPart, 0, 16)
        .arg(f.IDE() ? "x" : "")
        .arg(f.DLC)
        .arg(f.RTR() ? "R" : "D")
        .arg(f.RTR() ? QString() : QString::fromLatin1(f.Data().toHex(' ')));
}

QStringList essences(const std::vector<clsFrame> &frames)
{
    QStringList list;
    for (const clsFrame &f : frames)
        list << essence(f);
    return list;
}

QString skips(const ReadResult &r)
{
    QStringList list;
    for (const Skipped &s : r.skipped)
        list << QStringLiteral("%1 x%2 @%3").arg(s.reason).arg(s.count).arg(s.firstLine);
    return list.join(QLatin1String("; "));
}

// A mix of standard, extended, remote, empty and DLC-above-8 frames on three buses.
std::vector<clsFrame> sampleFrames()
{
    return {
        frame(0x123, false, QByteArray::fromHex("DEADBEEF"), 0, 0),
        frame(0x12345678, true, QByteArray::fromHex("1122"), 1, 1500),
        frame(0x7FF, false, {}, 0, 2000, true, 0),
        frame(0x100, false, {}, 2, 2001, true, 5),
        frame(0x200, false, {}, 1, 10000000, false, 0),
        frame(0x300, false, QByteArray::fromHex("1122334455667788"), 0, 10000001, false, 12),
        frame(0x1FFFFFFF, true, QByteArray::fromHex("0001020304050607"), 0, 3600000000LL),
    };
}

Frames framesOf(const std::vector<clsFrame> &frames)
{
    return {qsizetype(frames.size()), [&frames](qsizetype i) -> const clsFrame & { return frames[size_t(i)]; }};
}

class Labels final : public IdIndex
{
public:
    bool getNodeChecked(const QString &, bool *) const override { return false; }
    bool idLabels(const QString &key, QString *device, QString *description) const override
    {
        if (key != idKey(0x123))
            return false;
        *device = QStringLiteral("Engine");
        *description = QStringLiteral("Speed, \"filtered\"");
        return true;
    }
};

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_LogFormats : public QObject
{
    Q_OBJECT

private slots:
    void candumpLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected"); // the frame, or the skip reason
        QTest::newRow("data") << QByteArray("(1700000000.123456) can0 123#DEADBEEF")
                              << "bus 0 t 0 id 123 dlc 4 D de ad be ef";
        QTest::newRow("extended") << QByteArray("(1.0) can0 12345678#11.22") << "bus 0 t 0 id 12345678x dlc 2 D 11 22";
        QTest::newRow("remote") << QByteArray("(1.0) can0 123#R") << "bus 0 t 0 id 123 dlc 0 R ";
        QTest::newRow("remote with length") << QByteArray("(1.0) can0 123#R5") << "bus 0 t 0 id 123 dlc 5 R ";
        QTest::newRow("remote raw dlc") << QByteArray("(1.0) can0 123#R8_F") << "bus 0 t 0 id 123 dlc 15 R ";
        QTest::newRow("dlc 0") << QByteArray("(1.0) can0 123#") << "bus 0 t 0 id 123 dlc 0 D ";
        QTest::newRow("raw dlc") << QByteArray("(1.0) can0 123#1122334455667788_C")
                                 << "bus 0 t 0 id 123 dlc 12 D 11 22 33 44 55 66 77 88";
        QTest::newRow("direction word") << QByteArray("  (1.0) vcan3 123#01 R") << "bus 0 t 0 id 123 dlc 1 D 01";
        QTest::newRow("raw dlc below 9") << QByteArray("(1.0) can0 123#1122334455667788_8") << "malformed line";
        QTest::newRow("raw dlc short data") << QByteArray("(1.0) can0 123#11_C") << "malformed line";
        QTest::newRow("nine bytes") << QByteArray("(1.0) can0 123#112233445566778899") << "malformed line";
        QTest::newRow("odd digits") << QByteArray("(1.0) can0 123#112") << "malformed line";
        QTest::newRow("fd") << QByteArray("(1.0) can0 123##1112233") << "CAN FD frame";
        QTest::newRow("xl") << QByteArray("(1.0) can0 123###1:2:3#00") << "CAN XL frame";
        QTest::newRow("error") << QByteArray("(1.0) can0 20000080#0000000000000000") << "error frame";
        QTest::newRow("std id too big") << QByteArray("(1.0) can0 800#11") << "bad identifier";
        QTest::newRow("id of 5 digits") << QByteArray("(1.0) can0 12345#11") << "bad identifier";
        QTest::newRow("no time") << QByteArray("can0 123#11") << "malformed line";
        QTest::newRow("time not closed") << QByteArray("(1.0 can0 123#11") << "malformed line";
        QTest::newRow("no frame") << QByteArray("(1.0) can0") << "malformed line";
    }

    void candumpLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const Read r = readText(line, Format::Candump);
        QVERIFY(r.result.ok);
        if (r.frames.empty()) {
            QCOMPARE(skips(r.result), expected + " x1 @1");
        } else {
            QCOMPARE(r.frames.size(), size_t(1));
            QCOMPARE(essence(r.frames.front()), expected);
        }
    }

    // Buses by first appearance, times from the first frame, the epoch
    // kept, skipped lines by reason with their first line.
    void candumpFile()
    {
        const QByteArray text = "(1700000000.500000) vcan1 123#01\n"
                                "(1700000000.500100) can0 123##0\n"
                                "(1700000000.600000) can0 124#02\r\n"
                                "garbage\r"
                                "\n"
                                "(1700000000.700000) vcan1 125#03\n"
                                "(1700000000.800000) can0 20000004#0000\n"
                                "(1700000000.900000) can0 126##1\n"
                                "(1700000001.000000) any 127#";
        ReadOptions options;
        options.timerRate = 1000; // milliseconds
        Read r;
        r.result = readBytes(text, options, [&r](const clsFrame &f) {
            r.frames.push_back(f);
            return true;
        });
        QVERIFY(r.result.ok);
        QCOMPARE(r.result.format, Format::Candump);
        QCOMPARE(essences(r.frames), QStringList({"bus 0 t 0 id 123 dlc 1 D 01", "bus 1 t 100 id 124 dlc 1 D 02",
                                                  "bus 0 t 200 id 125 dlc 1 D 03", "bus 2 t 500 id 127 dlc 0 D "}));
        QCOMPARE(skips(r.result), QStringLiteral("CAN FD frame x2 @2; malformed line x1 @4; error frame x1 @6"));
        QCOMPARE(r.result.lines, 8);
        QCOMPARE(r.result.frames, 4);
        QCOMPARE(r.result.buses, QList<int>({0, 1, 2}));
        QCOMPARE(r.result.startMicroseconds, std::optional<qint64>(Q_INT64_C(1700000000500000)));
        QVERIFY(r.frames[0].Duration > 0);
    }

    // The stamp is the time modulo 2^32; the time itself goes on, in the
    // store too (from stamps alone it would see no turn of the counter).
    void longLog()
    {
        const QByteArray text = "(100.000000) can0 001#\n(4395.000000) can0 002#\n(9000.000001) can0 003#\n";
        const Read r = readText(text);
        QCOMPARE(r.frames.size(), size_t(3));
        QCOMPARE(*r.frames[1].Time, Q_INT64_C(4295000000));
        QCOMPARE(r.frames[1].TimeStamp, Q_INT64_C(4295000000) - CaptureStore::stampWrap);
        QCOMPARE(*r.frames[2].Time, Q_INT64_C(8900000001));
        QCOMPARE(r.frames[2].TimeStamp, Q_INT64_C(8900000001) % CaptureStore::stampWrap);
        CaptureStore store;
        store.addListFrames(std::vector<clsFrame>(r.frames), true);
        QCOMPARE(*store.frame(2).Time, Q_INT64_C(8900000001));
        QCOMPARE(store.lastFrameTime, Q_INT64_C(8900000001));
    }

    // A date line whose year no clock holds gives no start time, and no overflow.
    void ascDateOutOfRange()
    {
        const Read r = readText("date Tue Nov 14 22:13:20 2001000\nbase hex  timestamps absolute\n"
                                "   0.001000 1  123  Rx   d 1 01\n");
        QCOMPARE(r.result.format, Format::Asc);
        QCOMPARE(r.frames.size(), size_t(1));
        QVERIFY(!r.result.startMicroseconds);
    }

    // A line older than the first has a negative time; written as ASC (times
    // counted from its date line) it reads back with the same times.
    void linesOutOfTimeOrder()
    {
        const Read r = readText("(100.5) can0 001#01\n(99.25) can0 002#02\n(101.0) can0 003#03\n");
        QCOMPARE(*r.frames[1].Time, Q_INT64_C(-1250000));
        QTemporaryDir dir;
        const QString path = dir.filePath("out.asc");
        WriteOptions options;
        options.startMicroseconds = r.result.startMicroseconds;
        QVERIFY(writeFile(path, Format::Asc, framesOf(r.frames), options).ok);
        const Read back = readPath(path);
        QVERIFY(back.result.skipped.isEmpty());
        QCOMPARE(back.frames.size(), size_t(3));
        for (size_t i = 0; i < 3; ++i)
            QCOMPARE(back.frames[i].Time, r.frames[i].Time);
        QCOMPARE(back.result.startMicroseconds, r.result.startMicroseconds);
    }

    void junk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("skipped");
        const QByteArray good = "(1.0) can0 123#01";
        QTest::newRow("nul in line") << good +
                                            QByteArray("\n(1.0) can0 1\0"
                                                       "23#01\n",
                                                       20) +
                                            good
                                     << 2 << "bad identifier x1 @2";
        QTest::newRow("long line") << good + "\n" + QByteArray(maxLineLength + 1, 'x') + "\n" + good << 2
                                   << "line too long x1 @2";
        QTest::newRow("long last line") << good + "\n" + QByteArray(3 * maxLineLength, '(') << 1
                                        << "line too long x1 @2";
        QTest::newRow("longest line") << good + QByteArray(maxLineLength - good.size(), ' ') << 1 << "";
        QTest::newRow("cr alone") << good + "\r" + good + "\r\r" + good << 3 << "";
        QTest::newRow("binary") << QByteArray("(1.0) can0 123#01\n\xff\xfe\x00\x01\x80(\x00)#\n", 25) << 1
                                << "malformed line x1 @2";
    }

    void junk()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, frames);
        QFETCH(QString, skipped);
        const Read r = readText(bytes, Format::Candump);
        QVERIFY(r.result.ok);
        QCOMPARE(int(r.frames.size()), frames);
        QCOMPARE(skips(r.result), skipped);
        // Every reader survives the same bytes.
        for (const Format f : {Format::Asc, Format::Trc, Format::Tessel})
            QVERIFY(readText(bytes, f).result.ok);
    }

    // The same trace in both bases and both time modes.
    void ascRead_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray events[2][2] = {
            {"   1.000000 1  123             Rx   d 3 11 22 AB  Length = 0 BitCount = 60 ID = 291\n"
             "   1.000500 2  1ABCDEFx        Tx   r 4\n"
             "   1.250000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
             "   1.250000 CANFD   1 Rx        100  1 0 8 8 11 22 33 44 55 66 77 88 0 0 0 0 0\n"
             "   2.000000 3  7FF             Rx   d 0\n",
             "   1.000000 1  291             Rx   d 3 17 34 171\n"
             "   1.000500 2  28036591x       Tx   r 4\n"
             "   1.250000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
             "   1.250000 CANFD   1 Rx        100  1 0 8 8 11 22 33 44 55 66 77 88 0 0 0 0 0\n"
             "   2.000000 3  2047            Rx   d 0\n"},
            {"   1.000000 1  123             Rx   d 3 11 22 AB\n"
             "   0.000500 2  1ABCDEFx        Tx   r 4\n"
             "   0.249500 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
             "   0.000000 CANFD   1 Rx        100  1 0 8 8 11 22 33 44 55 66 77 88 0 0 0 0 0\n"
             "   0.750000 3  7FF             Rx   d 0\n",
             "   1.000000 1  291             Rx   d 3 17 34 171\n"
             "   0.000500 2  28036591x       Tx   r 4\n"
             "   0.249500 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
             "   0.000000 CANFD   1 Rx        100  1 0 8 8 11 22 33 44 55 66 77 88 0 0 0 0 0\n"
             "   0.750000 3  2047            Rx   d 0\n"}};
        for (int relative = 0; relative < 2; ++relative) {
            for (int dec = 0; dec < 2; ++dec) {
                QTest::addRow("%s %s", dec ? "dec" : "hex", relative ? "relative" : "absolute")
                    << QByteArray("date Tue Nov 14 10:13:20.250 pm 2023\nbase ") + (dec ? "dec" : "hex") +
                           "  timestamps " + (relative ? "relative" : "absolute") +
                           "\ninternal events logged\n// version 9.0.0\nBegin Triggerblock Tue Nov 14 10:13:20.250 pm "
                           "2023\n   0.000000 Start of measurement\n" +
                           events[relative][dec] + "   2.100000 1  ErrorFrame\nEnd TriggerBlock\n";
            }
        }
    }

    void ascRead()
    {
        QFETCH(QByteArray, text);
        const Read r = readText(text);
        QCOMPARE(r.result.format, Format::Asc);
        QCOMPARE(essences(r.frames),
                 QStringList({"bus 0 t 0 id 123 dlc 3 D 11 22 ab", "bus 1 t 500 id 1abcdefx dlc 4 R ",
                              "bus 2 t 1000000 id 7ff dlc 0 D "}));
        QCOMPARE(skips(r.result), QStringLiteral("comment x1 @4; other event x1 @6; statistics x1 @9; CAN FD frame x1 "
                                                 "@10; error frame x1 @12"));
        const qint64 date = QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20, 250)).toMSecsSinceEpoch() * 1000;
        QCOMPARE(r.result.startMicroseconds, std::optional<qint64>(date + 1000000));
        QCOMPARE(r.result.buses, QList<int>({0, 1, 2}));
    }

    void trcRead_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("skipped");
        QTest::newRow("1.0") << QByteArray(";##########\n;   Start time: 12.11.2019\n"
                                           "     1)      1841  0001  8  00 11 22 33 44 55 66 77\n"
                                           "     2)      1842  12345678  2  AA BB\n"
                                           "     3)      1900  0010  4  RTR\n")
                             << QStringList{"bus 0 t 0 id 1 dlc 8 D 00 11 22 33 44 55 66 77",
                                            "bus 0 t 1000 id 12345678x dlc 2 D aa bb", "bus 0 t 59000 id 10 dlc 4 R "}
                             << "";
        QTest::newRow("1.1") << QByteArray(";$FILEVERSION=1.1\n;$STARTTIME=43781.5\n"
                                           "     1)      1841.5  Rx         0001  2  00 11\n"
                                           "     2)      1842.0  Warng  FFFFFFFF  4  00 00 00 08  BUSHEAVY\n"
                                           "     3)      1843.0  Tx         0002  1  01\n")
                             << QStringList{"bus 0 t 0 id 1 dlc 2 D 00 11", "bus 0 t 1500 id 2 dlc 1 D 01"}
                             << "status line x1 @4";
        QTest::newRow("1.3") << QByteArray(";$FILEVERSION=1.3\n"
                                           "     1)      1841.000 2  Rx        0001 -  2    00 11\n"
                                           "     2)      1841.100 1  Error     0000 -  0\n"
                                           "     3)      1841.200 1  Rx        0002 -  1    zz\n")
                             << QStringList{"bus 1 t 0 id 1 dlc 2 D 00 11"}
                             << "error frame x1 @3; malformed line x1 @4";
        QTest::newRow("2.0") << QByteArray(";$FILEVERSION=2.0\n;$COLUMNS=N,O,T,I,d,l,D\n"
                                           "      1      1059.900 DT     0300 Rx 7  00 00 00 00 04 00 00\n"
                                           "      2      1060.000 FD     0300 Rx 12 00 00 00 00 04 00 00 00 00 00 "
                                           "00 00\n"
                                           "      3      1061.000 RR 18EFFF00 Rx 3\n")
                             << QStringList{"bus 0 t 0 id 300 dlc 7 D 00 00 00 00 04 00 00",
                                            "bus 0 t 1100 id 18efff00x dlc 3 R "}
                             << "CAN FD frame x1 @4";
        QTest::newRow("2.1") << QByteArray(";$FILEVERSION=2.1\n;$STARTTIME=43781.5\n;$COLUMNS=N,O,T,B,I,d,R,L,D\n"
                                           "      1      1059.900 DT 2      0300 Rx -  2    01 02\n"
                                           "      2      1060.000 ER 1      -    Rx -  5    00 01 02 03 04\n"
                                           "      3      1060.900 ST 1      -    Rx -  4    00 00 00 04\n"
                                           "      4      1061.900 DT 1      07FF Tx -  1    03\n")
                             << QStringList{"bus 1 t 0 id 300 dlc 2 D 01 02", "bus 0 t 2000 id 7ff dlc 1 D 03"}
                             << "error frame x1 @5; status line x1 @6";
    }

    void trcRead()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, frames);
        QFETCH(QString, skipped);
        ReadOptions options;
        options.timerRate = 1000000;
        Read r;
        r.result = readBytes(text, options, [&r](const clsFrame &f) {
            r.frames.push_back(f);
            return true;
        });
        QCOMPARE(r.result.format, Format::Trc);
        QCOMPARE(essences(r.frames), frames);
        QCOMPARE(skips(r.result), skipped);
        if (text.contains("STARTTIME")) {
            const qint64 start = QDateTime(QDate(2019, 11, 12), QTime(12, 0)).toMSecsSinceEpoch() * 1000;
            QCOMPARE(*r.result.startMicroseconds - start, std::llround(text.contains("2.1") ? 1059900 : 1841500));
        }
    }

    void detection_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("format");
        QTest::newRow("tessel") << QByteArray("; CAN_DB=\"x\"\r\n; CAN_Speed=500000\r\n") << int(Format::Tessel);
        QTest::newRow("tessel records") << QByteArray("0001E240 123 ----- 0 0 0 0 1 11 ; x\n") << int(Format::Tessel);
        QTest::newRow("candump") << QByteArray("\n(1700000000.123456) can0 123#DEADBEEF\n") << int(Format::Candump);
        QTest::newRow("asc") << QByteArray("date Tue Nov 14 22:13:20 2023\n") << int(Format::Asc);
        QTest::newRow("asc events only") << QByteArray("   0.001 1  123  Rx   d 1 00\n") << int(Format::Asc);
        QTest::newRow("trc 2") << QByteArray(";$FILEVERSION=2.1\n") << int(Format::Trc);
        QTest::newRow("trc 1.0") << QByteArray(";####\n     1)      1841  0001  1  00\n") << int(Format::Trc);
        QTest::newRow("empty") << QByteArray() << int(Format::Unknown);
        QTest::newRow("text") << QByteArray("hello world\n") << int(Format::Unknown);
        QTest::newRow("binary") << QByteArray("\x7f"
                                              "ELF\x02\x01\x01\x00\x00",
                                              9)
                                << int(Format::Unknown);
    }

    void detection()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, format);
        QCOMPARE(int(detect(head)), format);
    }

    // Written, read back: the same frames, buses, flags, DLCs, data and times.
    void roundTrip_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("candump") << int(Format::Candump);
        QTest::newRow("asc") << int(Format::Asc);
    }

    void roundTrip()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        const std::vector<clsFrame> frames = sampleFrames();
        const QString path = dir.filePath(QStringLiteral("out"));
        WriteOptions options;
        options.startMicroseconds = Q_INT64_C(1700000000654321);
        const WriteResult written = writeFile(path, Format(format), framesOf(frames), options);
        QVERIFY2(written.ok, qPrintable(written.error));
        QCOMPARE(written.frames, qint64(frames.size()));
        const Read r = readPath(path);
        QVERIFY2(r.result.ok, qPrintable(r.result.error));
        QCOMPARE(r.result.format, Format(format));
        QCOMPARE(essences(r.frames), essences(frames));
        QCOMPARE(skips(r.result), QString());
        QCOMPARE(r.result.startMicroseconds, options.startMicroseconds);
        QCOMPARE(r.result.buses, QList<int>({0, 1, 2}));
    }

    // Tessel's capture text to another format through the store, and back.
    void tesselRoundTrip()
    {
        QTemporaryDir dir;
        const QString tessel = dir.filePath(QStringLiteral("capture.txt"));
        std::vector<clsFrame> frames = sampleFrames();
        for (clsFrame &f : frames) {
            f.Bus = 0; // Tessel's text has no bus
            f.TimeStamp = (*f.Time + 0xFFFFFF00) % CaptureStore::stampWrap;
        }
        const capturefile::Rows rows{qsizetype(frames.size()),
                                     [&frames](qsizetype i) -> const clsFrame & { return frames[size_t(i)]; }};
        QVERIFY(capturefile::writeCaptureFile(tessel, {QStringLiteral("x"), 500000, 1000000}, rows, nullptr).ok);
        Read first = readPath(tessel);
        QCOMPARE(first.result.format, Format::Tessel);
        CaptureStore store;
        store.addListFrames(std::move(first.frames));
        QCOMPARE(essences(storedFrames(store)), essences(frames));
        for (const Format format : {Format::Candump, Format::Asc}) {
            const QString path = dir.filePath(formatName(format));
            const std::vector<clsFrame> stored = storedFrames(store);
            QVERIFY(writeFile(path, format, framesOf(stored), {}).ok);
            Read back = readPath(path);
            CaptureStore again;
            again.addListFrames(std::move(back.frames));
            QCOMPARE(essences(storedFrames(again)), essences(frames));
        }
    }

    void csv()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        std::vector<clsFrame> frames = sampleFrames();
        clsFrame lost;
        lost.isLost = true;
        lost.Time = 5;
        frames.insert(frames.begin() + 1, lost);
        const Labels labels;
        WriteOptions options;
        options.labels = &labels;
        const WriteResult written = writeFile(path, Format::Csv, framesOf(frames), options);
        QVERIFY(written.ok);
        QCOMPARE(written.frames, 7);
        const QList<QByteArray> rows = fileBytes(path).split('\n');
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows[0], QByteArray("time,bus,id,extended,remote,dlc,data,device,description\r"));
        QCOMPARE(rows[1], QByteArray("0.000000,0,123,0,0,4,DE AD BE EF,Engine,\"Speed, \"\"filtered\"\"\"\r"));
        QCOMPARE(rows[2], QByteArray("0.001500,1,12345678,1,0,2,11 22,,\r"));
        QCOMPARE(rows[4], QByteArray("0.002001,2,100,0,1,5,,,\r"));
        QCOMPARE(rows[6], QByteArray("10.000001,0,300,0,0,12,11 22 33 44 55 66 77 88,,\r"));
    }

    void unreadable()
    {
        QTemporaryDir dir;
        QVERIFY(!readPath(dir.path()).result.ok);
        QVERIFY(!readPath(dir.filePath(QStringLiteral("missing"))).result.ok);
        const QString text = dir.filePath(QStringLiteral("text"));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("hello\n");
        f.close();
        const Read r = readPath(text);
        QVERIFY(!r.result.ok);
        QVERIFY(r.result.error.contains(QLatin1String("not a CAN log")));
        QVERIFY(!writeFile(dir.filePath(QStringLiteral("x.trc")), Format::Trc, {}, {}).ok);
        // A sink that stops the read.
        Read stopped;
        stopped.result = readBytes("(1.0) can0 001#\n(2.0) can0 002#\n", {}, [&](const clsFrame &) { return false; });
        QVERIFY(!stopped.result.ok);
        QVERIFY(stopped.result.cancelled);
        QCOMPARE(stopped.result.frames, 1);
    }

    // can-utils' converters read what Tessel writes and write what Tessel reads.
    void canUtils()
    {
        const QString log2asc = QStandardPaths::findExecutable(QStringLiteral("log2asc"));
        const QString asc2log = QStandardPaths::findExecutable(QStringLiteral("asc2log"));
        if (log2asc.isEmpty() || asc2log.isEmpty())
            QSKIP("log2asc and asc2log (Debian package can-utils) are not installed");
        QTemporaryDir dir;
        const std::vector<clsFrame> frames = sampleFrames();
        // Old converters know no DLC above 8.
        std::vector<clsFrame> plain;
        for (clsFrame f : frames) {
            if (f.DLC > 8)
                f.DLC = 8;
            plain.push_back(f);
        }
        WriteOptions options;
        options.startMicroseconds = Q_INT64_C(1700000000000000);
        const QString log = dir.filePath(QStringLiteral("tessel.log"));
        const QString asc = dir.filePath(QStringLiteral("converted.asc"));
        QVERIFY(writeFile(log, Format::Candump, framesOf(plain), options).ok);
        QCOMPARE(QProcess::execute(log2asc, {"-I", log, "-O", asc, "can0", "can1", "can2"}), 0);
        const Read fromAsc = readPath(asc);
        QCOMPARE(fromAsc.result.format, Format::Asc);
        QCOMPARE(essences(fromAsc.frames), essences(plain));

        const QString ascOut = dir.filePath(QStringLiteral("tessel.asc"));
        const QString logBack = dir.filePath(QStringLiteral("converted.log"));
        QVERIFY(writeFile(ascOut, Format::Asc, framesOf(plain), options).ok);
        QProcess process;
        process.start(asc2log, {"-I", ascOut, "-O", logBack});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const Read fromLog = readPath(logBack);
        QCOMPARE(fromLog.result.format, Format::Candump);
        QCOMPARE(essences(fromLog.frames), essences(plain));
    }
};

TESSEL_TEST(tst_LogFormats)
#include "tst_logformats.moc"
