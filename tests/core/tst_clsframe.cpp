#include "core/clsframe.h"
#include "support/frameprint.h"
#include "support/testregistry.h"

#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(clsFrame)

namespace {

clsFrame makeFrame(qint32 stdPart, qint32 extPart, quint8 flags, quint8 dlc, const QByteArray &data, qint64 stamp = 0)
{
    clsFrame f;
    f.ID = {stdPart, extPart};
    f.Flags = flags;
    f.DLC = dlc;
    f.setData(data);
    f.TimeStamp = stamp;
    return f;
}

clsFrame lost(qint64 stamp, qint32 count)
{
    clsFrame f = makeFrame(0, count, 0, 0, {}, stamp);
    f.isLost = true;
    return f;
}

// The frame a reader is expected to produce: Time follows the stamp and the
// duration is that of its DLC and IDE.
clsFrame read(clsFrame f, double bitRate)
{
    f.Time = f.TimeStamp;
    f.computeDuration(bitRate);
    return f;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class tst_clsframe : public QObject
{
    Q_OBJECT

private slots:
    void idSplit_data()
    {
        QTest::addColumn<qint32>("id");
        QTest::addColumn<qint32>("stdPart");
        QTest::addColumn<qint32>("extPart");
        QTest::newRow("12345678 -> 48D.05678") << 0x12345678 << 0x48D << 0x05678;
        QTest::newRow("largest 29-bit") << 0x1FFFFFFF << 0x7FF << 0x3FFFF;
        QTest::newRow("extension only") << 0x3FFFF << 0 << 0x3FFFF;
        QTest::newRow("negative keeps the sign in both parts") << -262145 << -1 << -1;
    }
    void idSplit()
    {
        QFETCH(qint32, id);
        clsID value;
        value.setID(id);
        QTEST(value.StdPart, "stdPart");
        QTEST(value.ExtPart, "extPart");
        QCOMPARE(value.ID(), id);
    }

    // Flag setters touch only their own bit; any non-zero value sets it.
    // Data is kept in eight bytes: longer input is cut, a DLC above 8 reads eight.
    void flagsAndData()
    {
        clsFrame f;
        f.Flags = 0xF0;
        f.setRTR(5);
        f.setIDE(1);
        f.setRB0(-1);
        f.setRB1(1);
        QCOMPARE(f.Flags, quint8(0xFF));
        f.setIDE(0);
        f.setRB1(0);
        QCOMPARE(f.Flags, quint8(0xF5));
        QCOMPARE(f.IDE() + f.RB1(), 0);
        QCOMPARE(f.RTR() + f.RB0(), 2);
        f.setData(hex("FFFFFFFFFFFFFFFF"));
        f.setData(hex("112233"));
        f.DLC = 8;
        QCOMPARE(f.Data(), hex("1122330000000000"));
        f.setData(hex("0102030405060708090A"));
        f.DLC = 15;
        QCOMPARE(f.Data(), hex("0102030405060708"));
        f.DLC = 3;
        QCOMPARE(f.Data(), hex("010203"));
    }

    void duration_data()
    {
        QTest::addColumn<int>("dlc");
        QTest::addColumn<bool>("ide");
        QTest::addColumn<double>("bitRate");
        QTest::addColumn<double>("seconds");
        QTest::newRow("standard, empty, 500k") << 0 << false << 500000.0 << 88e-6;
        QTest::newRow("standard, 8 bytes, 500k") << 8 << false << 500000.0 << 216e-6;
        QTest::newRow("extended, 8 bytes, 1M") << 8 << true << 1000000.0 << 128e-6;
        QTest::newRow("DLC above 8 counts 8 bytes") << 15 << true << 1000000.0 << 128e-6;
        QTest::newRow("bit rate 0 gives 0") << 8 << false << 0.0 << 0.0;
        QTest::newRow("negative bit rate gives 0") << 8 << false << -500000.0 << 0.0;
    }
    void duration()
    {
        QFETCH(int, dlc);
        QFETCH(bool, ide);
        QFETCH(double, bitRate);
        clsFrame f = makeFrame(0x123, 0, ide ? clsFrame::ideBit : 0, quint8(dlc), {});
        f.computeDuration(bitRate);
        QTEST(f.Duration, "seconds");
        QVERIFY(std::isfinite(f.Duration));
    }

    void sendLayout_data()
    {
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("standard 123, AA 55") << makeFrame(0x123, 0, 0, 2, hex("AA55")) << hex("2301000000 02 AA55");
        QTest::newRow("standard ignores a stale extension")
            << makeFrame(0x123, 0x3FFFF, 0, 0, {}) << hex("23010000 00 00");
        QTest::newRow("extended 12345678")
            << makeFrame(0x48D, 0x05678, clsFrame::ideBit, 1, hex("5A")) << hex("78563412 02 01 5A");
        QTest::newRow("RTR with DLC 4 sends no data")
            << makeFrame(0x7FF, 0, clsFrame::rtrBit, 4, hex("01020304")) << hex("FF070000 01 04");
        QTest::newRow("DLC 12 sends 8 data bytes")
            << makeFrame(0x001, 0, 0, 12, hex("0102030405060708")) << hex("01000000 00 0C 0102030405060708");
        QTest::newRow("reserved and high flag bits as they are")
            << makeFrame(0x010, 0, 0xFC, 0, {}) << hex("10000000 FC 00");
    }
    void sendLayout()
    {
        QFETCH(clsFrame, frame);
        QFETCH(QByteArray, bytes);
        QCOMPARE(frame.getAsBinary().toHex(' '), bytes.toHex(' '));
    }

    // Capture records (stamp, level, identifier, flags, DLC, data) and
    // lost-frame records (stamp, count); a lost-frame record keeps the rest.
    void captureLayout_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint32>("extBefore");
        QTest::addColumn<clsFrame>("expected");
        QTest::addColumn<bool>("complete");
        const quint8 ide = clsFrame::ideBit;
        QTest::newRow("standard 123, AA 55")
            << hex("40E20100 05 23010000 00 02 AA55") << 0 << makeFrame(0x123, 0, 0, 2, hex("AA55"), 0x1E240) << true;
        QTest::newRow("standard keeps the extension")
            << hex("00000000 00 23010000 00 00") << 0x777 << makeFrame(0x123, 0x777, 0, 0, {}) << true;
        QTest::newRow("extended 12345678 -> 48D.05678")
            << hex("FFFFFFFF 00 78563412 02 01 99") << 0x777 << makeFrame(0x48D, 0x05678, ide, 1, hex("99"), 0xFFFFFFFF)
            << true;
        QTest::newRow("RTR clears the data it carries") << hex("01000000 00 23010000 01 04 01020304") << 0
                                                        << makeFrame(0x123, 0, clsFrame::rtrBit, 4, {}, 1) << true;
        QTest::newRow("standard identifier masked to 11 bits")
            << hex("00000000 00 FFFFFFFF 00 00") << 0 << makeFrame(0x7FF, 0, 0, 0, {}) << true;
        QTest::newRow("extended identifier masked to 29 bits")
            << hex("00000000 00 FFFFFFFF 02 00") << 0 << makeFrame(0x7FF, 0x3FFFF, ide, 0, {}) << true;
        QTest::newRow("DLC 12 reads 8 bytes, keeps 12") << hex("00000000 00 01000000 00 0C 0102030405060708 0909") << 0
                                                        << makeFrame(1, 0, 0, 12, hex("0102030405060708")) << true;
        QTest::newRow("DLC 12 with 3 bytes is short")
            << hex("00000000 00 01000000 00 0C 010203") << 0 << makeFrame(1, 0, 0, 12, hex("010203")) << false;
        QTest::newRow("data cut short") << hex("00000000 00 23010000 00 03 AA") << 0
                                        << makeFrame(0x123, 0, 0, 3, hex("AA")) << false;
        QTest::newRow("header cut in the identifier")
            << hex("40E20100 05 2301") << 0 << makeFrame(0x123, 0, 0, 0, {}, 0x1E240) << false;
        QTest::newRow("empty record") << QByteArray() << 5 << makeFrame(0, 5, 0, 0, {}) << false;
        QTest::newRow("lost: 3 at 2A000") << hex("00A00200 03") << 0 << lost(0x2A000, 3) << true;
        QTest::newRow("lost: 255, top stamp") << hex("FFFFFFFF FF") << 0 << lost(0xFFFFFFFF, 255) << true;
        QTest::newRow("lost: count missing") << hex("00A00200") << 0 << lost(0x2A000, 0) << false;
        QTest::newRow("lost: empty") << QByteArray() << 0 << lost(0, 0) << false;
    }
    void captureLayout()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint32, extBefore);
        QFETCH(clsFrame, expected);
        if (expected.isLost) {
            clsFrame f = makeFrame(0x123, 99, clsFrame::ideBit, 2, hex("AA55"));
            f.Duration = 1.5;
            clsFrame kept = f;
            kept.isLost = true;
            kept.TimeStamp = expected.TimeStamp;
            kept.ID.ExtPart = expected.ID.ExtPart;
            QTEST(f.setLostFrame(bytes), "complete");
            QCOMPARE(f, kept);
            QVERIFY(!f.Time.has_value());
            return;
        }
        for (double bitRate : {500000.0, 0.0}) {
            clsFrame f;
            f.isLost = true;
            f.ID.ExtPart = extBefore;
            f.setData(hex("EEEEEEEEEEEEEEEE"));
            QTEST(f.setFromBinary(bytes, bitRate), "complete");
            QCOMPARE(f, read(expected, bitRate));
        }
    }

    void textLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<clsFrame>("expected");
        QTest::addColumn<bool>("good");
        const QString sp = QStringLiteral(" ");
        const quint8 ide = clsFrame::ideBit;
        const quint8 rtr = clsFrame::rtrBit;
        QTest::newRow("standard frame of a saved file") << "0001E240 123 ----- 0 0 0 0 3 11 22 33" << sp
                                                        << makeFrame(0x123, 0, 0, 3, hex("112233"), 0x1E240) << true;
        QTest::newRow("empty data leaves a trailing delimiter")
            << "00000001 7FF ----- 0 0 0 0 0 " << sp << makeFrame(0x7FF, 0, 0, 0, {}, 1) << true;
        QTest::newRow("extended frame") << "FFFFFFFF 48D 05678 0 1 0 0 2 ab CD" << sp
                                        << makeFrame(0x48D, 0x05678, ide, 2, hex("ABCD"), 0xFFFFFFFF) << true;
        QTest::newRow("extension ignored without IDE")
            << "00000000 123 12345 0 0 0 0 0" << sp << makeFrame(0x123, 0, 0, 0, {}) << true;
        QTest::newRow("lost frame count is decimal") << "0002A000 --- 17 - - - - 0 " << sp << lost(0x2A000, 17) << true;
        QTest::newRow("RTR reads no data fields")
            << "00000010 123 ----- 1 0 0 0 3 11 22 33" << sp << makeFrame(0x123, 0, rtr, 3, {}, 0x10) << true;
        QTest::newRow("field 5 is RB1, field 6 is RB0")
            << "00000000 001 ----- 0 0 1 0 0" << sp << makeFrame(1, 0, clsFrame::rb1Bit, 0, {}) << true;
        QTest::newRow("non-zero flag values set the flag")
            << "00000000 001 00001 7 2 0 3 0" << sp << makeFrame(1, 1, rtr | ide | clsFrame::rb0Bit, 0, {}) << true;
        QTest::newRow("delimiter letters without regard to case")
            << "0000000Ax123X-----x0x0x0x0X1x5A"
            << "x" << makeFrame(0x123, 0, 0, 1, hex("5A"), 10) << true;
        QTest::newRow("comma file keeps the data cell in one field")
            << "0001E240,123,-----,0,0,0,0,3,11 22 33"
            << "," << makeFrame(0x123, 0, 0, 3, hex("112233"), 0x1E240) << true;
        QTest::newRow("DLC 12 reads 8 data fields") << "00000000 001 ----- 0 0 0 0 12 01 02 03 04 05 06 07 08 09" << sp
                                                    << makeFrame(1, 0, 0, 12, hex("0102030405060708")) << true;
        // Malformed lines: every field still applied, bad ones read as 0.
        QTest::newRow("empty line") << "" << sp << makeFrame(0, 0, 0, 0, {}) << false;
        QTest::newRow("cut after the identifier")
            << "0001E240 123" << sp << makeFrame(0x123, 0, 0, 0, {}, 0x1E240) << false;
        QTest::newRow("data fields missing")
            << "00000000 123 ----- 0 0 0 0 3 11 22" << sp << makeFrame(0x123, 0, 0, 3, hex("1122"), 0) << false;
        QTest::newRow("stamp above 32 bits")
            << "100000000 123 ----- 0 0 0 0 0" << sp << makeFrame(0x123, 0, 0, 0, {}) << false;
        QTest::newRow("standard part above 7FF")
            << "00000000 800 ----- 0 0 0 0 0" << sp << makeFrame(0, 0, 0, 0, {}) << false;
        QTest::newRow("data byte above FF")
            << "00000000 123 ----- 0 0 0 0 2 100 22" << sp << makeFrame(0x123, 0, 0, 2, hex("0022")) << false;
        QTest::newRow("doubled delimiter gives an empty field")
            << "00000000  123 ----- 0 0 0 0 0" << sp << makeFrame(0, 0, 0, 0, {}) << false;
        QTest::newRow("lost frame without its count") << "0002A000 ---" << sp << lost(0x2A000, 0) << false;
    }
    void textLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, delimiter);
        QFETCH(clsFrame, expected);
        for (double bitRate : {125000.0, 0.0}) {
            clsFrame f;
            QTEST(f.setFromString(line, delimiter, bitRate), "good");
            QCOMPARE(f, read(expected, bitRate));
        }
    }
};

TESSEL_TEST(tst_clsframe)
#include "tst_clsframe.moc"
