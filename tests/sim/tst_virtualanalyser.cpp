#include "serial/serialport.h"
#include "sim/simpacket.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/testregistry.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Packets are built here by hand, independently of the simulator's codec:
// every answer compares the simulator's packet with one of these.
QByteArray packet(quint8 seq, const QByteArray &payload)
{
    QByteArray p;
    p.append(char(0x1B)).append(char(seq)).append(char(payload.size() >> 8)).append(char(payload.size() & 0xFF));
    p.append(char(0x0E)).append(payload);
    char x = 0;
    for (char c : std::as_const(p))
        x ^= c;
    return p.append(x);
}

quint32 le32(const QByteArray &b, int at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b.at(at + i))) << (8 * i);
    return v;
}

// Collects what the device sends and cuts it into payloads the slow, obvious way.
struct Line
{
    explicit Line(SimDevice &dev)
    {
        QObject::connect(&dev, &SimDevice::send, [this](const QByteArray &b) {
            bytes += b;
            ++sends;
        });
    }
    // Every well-formed packet in order (seq, payload); bad ones are skipped a byte at a time.
    QList<simpacket::Packet> packets(int code = -1) const
    {
        QList<simpacket::Packet> out;
        for (qsizetype i = 0; i + 6 <= bytes.size(); ++i) {
            const int n = quint8(bytes.at(i + 2)) * 256 + quint8(bytes.at(i + 3));
            const QByteArray p = bytes.mid(i, n + 6);
            if (p.size() < n + 6 || p != packet(quint8(p.at(1)), p.mid(5, n)))
                continue;
            if (code < 0 || quint8(p.at(5)) == code)
                out.append({quint8(p.at(1)), p.mid(5, n)});
            i += n + 5;
        }
        return out;
    }
    qsizetype count(int code) const { return packets(code).size(); }
    QByteArray bytes;
    int sends = 0;
};

VirtualAnalyserOptions traffic(double frameRate, int dlc = -1)
{
    VirtualAnalyserOptions o;
    o.frameRate = frameRate;
    if (dlc >= 0)
        o.ids = {{0x100, false, false, dlc}};
    return o;
}

} // namespace

// The analyser in this process, its clock moved by the test: answers, time
// stamps, traffic, the line's limits, its faults and the port in front of it.
class tst_VirtualAnalyser : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("answer");
        // The signature, status and register writes are read back by tst_connectiontest.
        QTest::newRow("listen + capture") << hex("82 83") << hex("82 00 83");
        QTest::newRow("capture on keeps mode") << hex("82 80") << hex("82 00 84");
        QTest::newRow("send frame") << hex("83 23 01 00 00 00 02 AA 55") << hex("83 00 00 00 00");
        QTest::newRow("firmware update") << hex("07") << hex("07 00");
        QTest::newRow("unknown command: error flag") << hex("55") << hex("55 01");
        QTest::newRow("unknown parameter: error flag") << hex("03 42") << hex("03 01");
        QTest::newRow("clock is read-only") << hex("02 A0 00") << hex("02 01");
        QTest::newRow("MOb allocation out of range") << hex("02 AD 0E") << hex("02 01");
        QTest::newRow("mode 5 refused") << hex("82 05") << hex("82 01");
        QTest::newRow("DLC 9 refused") << hex("83 23 01 00 00 00 09 00 00 00 00 00 00 00 00 00") << hex("83 01");
        QTest::newRow("send with missing data refused") << hex("83 23 01 00 00 00 02 AA") << hex("83 01");
    }
    void answers()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, answer);
        VirtualAnalyser dev(traffic(0));
        Line line(dev);
        dev.receive(packet(0xA7, command));
        QCOMPARE(line.bytes.toHex(' '), packet(0xA7, answer).toHex(' '));
    }

    void stampsFollowTheTimerAndWrap()
    {
        VirtualAnalyserOptions o = traffic(1000, 0);
        o.stampOffset = 0xFFFFF000u;
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("82 80")));
        dev.advance(5);
        QList<quint32> stamps;
        for (const auto &r : line.packets(0x85))
            stamps << le32(r.payload, 2);
        QCOMPARE(stamps, (QList<quint32>{0xFFFFF3E8u, 0xFFFFF7D0u, 0xFFFFFBB8u, 0xFFFFFFA0u, 0x00000388u}));
        QCOMPARE(dev.stampNow(), 0x00000388u);
        // A prescaler of 3 halves the tick rate: 500 ticks per ms.
        dev.receive(packet(2, hex("02 AB 03")));
        quint32 start = dev.stampNow();
        dev.advance(2);
        QCOMPARE(dev.stampNow() - start, 1000u);
        // Fractions of a millisecond add up instead of getting lost.
        start = dev.stampNow();
        for (int i = 0; i < 1000; ++i)
            dev.advance(0.0333);
        QCOMPARE(dev.stampNow() - start, 16650u);
    }

    // Frames come only with capture on and the controller on the bus; capture
    // off delivers what is queued before its answer, then nothing more.
    void trafficFollowsModeAndCapture()
    {
        VirtualAnalyser dev(traffic(1000));
        Line line(dev);
        dev.advance(20); // capture off
        dev.receive(packet(1, hex("82 81")));
        dev.advance(20); // capture on, but the controller is in reset
        dev.receive(packet(2, hex("82 82")));
        dev.advance(20); // standby
        QCOMPARE(line.count(0x85), 0);
        dev.receive(packet(3, hex("82 83")));
        dev.advance(20); // listening
        QCOMPARE(line.count(0x85), 20);
        VirtualAnalyser fast(traffic(5000, 8)); // above what 921600 baud carries
        Line queued(fast);
        fast.receive(packet(1, hex("82 80")));
        fast.advance(10);
        fast.receive(packet(2, hex("82 00")));
        QCOMPARE(queued.packets().last().payload, hex("82 00 04"));
        QCOMPARE(fast.framesGenerated(), fast.framesSent() + fast.framesLost());
        const qsizetype before = queued.count(0x85);
        fast.advance(50);
        QCOMPARE(queued.count(0x85), before);
    }

    void loopBack()
    {
        VirtualAnalyser dev(traffic(0));
        Line line(dev);
        dev.receive(packet(1, hex("84 23 01 00 00 00 02 AA 55"))); // capture off: answered only
        dev.receive(packet(2, hex("82 80")));
        dev.advance(3);
        dev.receive(packet(3, hex("84 78 56 34 12 02 03 01 02 03"))); // looped into the capture
        dev.receive(packet(4, hex("83 23 01 00 00 00 01 77")));       // plain send: not looped
        const auto packets = line.packets();
        QCOMPARE(packets.size(), 5);
        QCOMPARE(packets.at(0).payload, hex("84 00 00 00 00"));
        QCOMPARE(packets.at(2).payload, hex("84 00 00 00 00"));
        QCOMPARE(packets.at(2).seq, quint8(3));
        const QByteArray record = packets.at(3).payload;
        QCOMPARE(quint8(record.at(0)), quint8(0x85));
        QCOMPARE(le32(record, 2), 3000u);
        QCOMPARE(record.mid(7).toHex(' '), hex("78 56 34 12 02 03 01 02 03").toHex(' '));
        QCOMPARE(packets.at(4).payload, hex("83 00 00 00 00"));
        // A listening controller does not transmit.
        dev.receive(packet(5, hex("82 83")));
        line.bytes.clear();
        dev.receive(packet(6, hex("84 23 01 00 00 00 00")));
        QCOMPARE(line.bytes, packet(6, hex("84 01")));
    }

    void overloadBecomesLostFrameRecords()
    {
        VirtualAnalyser dev(traffic(20000, 8)); // 27-byte packets: at most ~3400 a second fit
        Line line(dev);
        dev.receive(packet(1, hex("82 80")));
        line.bytes.clear();
        dev.advance(100);
        // The line carries about 9216 bytes in 100 ms (plus what the UART holds).
        QVERIFY2(line.bytes.size() > 9000 && line.bytes.size() <= 9216 + 64,
                 qPrintable(QString::number(line.bytes.size())));
        dev.receive(packet(2, hex("82 00")));
        quint64 lost = 0;
        quint32 lastStamp = 0;
        for (const auto &p : line.packets()) {
            const quint8 code = quint8(p.payload.at(0));
            if (code != 0x85 && code != 0x86)
                continue;
            QVERIFY(le32(p.payload, 2) >= lastStamp); // records stay in time order
            lastStamp = le32(p.payload, 2);
            if (code == 0x86) {
                QCOMPARE(p.payload.size(), 7);
                QVERIFY(quint8(p.payload.at(6)) >= 1);
                lost += quint8(p.payload.at(6));
            }
        }
        QVERIFY(dev.framesLost() > 1000);
        QCOMPARE(lost, dev.framesLost()); // every lost frame is reported
        QCOMPARE(quint64(line.count(0x85)), dev.framesSent());
        QCOMPARE(dev.framesGenerated(), dev.framesSent() + dev.framesLost());
    }

    void commandsInAnyChunking()
    {
        const QByteArray stream = hex("00 1B 55 1B") + packet(9, hex("03 A9")) + hex("1B 02 00 01 0E 81 00") // bad xor
                                  + packet(10, hex("81"));
        const QByteArray expected = packet(9, hex("03 00 0C")) + packet(10, hex("81 00 04"));
        for (int split = 1; split <= stream.size(); ++split) {
            VirtualAnalyser dev(traffic(0));
            Line line(dev);
            dev.receive(stream.left(split));
            dev.receive(stream.mid(split));
            QCOMPARE(line.bytes.toHex(' '), expected.toHex(' '));
        }
        VirtualAnalyser dev(traffic(0));
        Line line(dev);
        for (char c : stream)
            dev.receive(QByteArray(1, c));
        QCOMPARE(line.bytes.toHex(' '), expected.toHex(' '));
    }

    // The error-flag, silence and line-drop faults are exercised by the tests of
    // their users (connection test, send run, link over a pseudo-terminal).
    void faultCorruptGarbageChunks()
    {
        VirtualAnalyserOptions o = traffic(0);
        o.corruptEvery = 2;
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("81")) + packet(2, hex("81")) + packet(3, hex("81")));
        const QByteArray second = packet(2, hex("81 00 04"));
        QCOMPARE(line.bytes.left(9), packet(1, hex("81 00 04")));
        QCOMPARE(line.bytes.mid(9, 8), second.left(8));
        QVERIFY(line.bytes.at(17) != second.at(8)); // bad checksum
        QCOMPARE(line.bytes.mid(18), packet(3, hex("81 00 04")));
        dev.options().corruptEvery = 0;
        dev.options().garbage = hex("1B 55 0E");
        line.bytes.clear();
        dev.receive(packet(4, hex("81")));
        QCOMPARE(line.bytes, hex("1B 55 0E") + packet(4, hex("81 00 04")));
        // Records longer than the UART holds (with their garbage) still get through.
        dev.options().garbage = QByteArray(100, 'g');
        dev.options().frameRate = 100;
        dev.receive(packet(5, hex("82 80")));
        dev.advance(100);
        QCOMPARE(line.count(0x85), 10);
        dev.receive(packet(6, hex("82 00")));
        dev.options().garbage.clear();
        dev.options().chunkSize = 4;
        line.bytes.clear();
        line.sends = 0;
        dev.receive(packet(7, hex("81"))); // 9 bytes: 4 now, 4 and 1 on the next ticks
        QCOMPARE(line.bytes.size(), 4);
        dev.advance(0);
        QCOMPARE(line.bytes.size(), 8);
        dev.advance(0);
        QCOMPARE(line.bytes, packet(7, hex("81 00 04")));
        QCOMPARE(line.sends, 3);
        // The firmware update's answer goes out whole before the boot loader is asked for.
        QStringList events;
        connect(&dev, &SimDevice::send, this, [&](const QByteArray &b) { events << b.toHex(); });
        connect(&dev, &SimDevice::bootLoaderRequested, this, [&] { events << "boot"; });
        dev.receive(packet(8, hex("07")));
        dev.advance(0);
        dev.advance(0);
        QCOMPARE(events.join(""), packet(8, hex("07 00")).toHex() + "boot");
        QCOMPARE(events.size(), 3); // two chunks, then the request
    }

    void virtualPort()
    {
        auto port = makeVirtualAnalyserPort(traffic(0), false);
        QSignalSpy ready(port.get(), &SerialPort::readyRead);
        QVERIFY(!port->write(packet(1, hex("81")))); // closed
        QVERIFY(!port->open("921600,E,8,1"));
        QVERIFY(port->open("921600,N,8,1"));
        QVERIFY(port->write(packet(1, hex("81"))));
        QCOMPARE(ready.count(), 0); // never from inside write()
        QCOMPARE(port->pendingCount(), 9);
        QVERIFY(port->write(packet(2, hex("03 A3"))));
        bool ok = false;
        QCOMPARE(port->readAll(&ok), packet(1, hex("81 00 04")) + packet(2, hex("03 00 00")));
        QVERIFY(ok);
        QCOMPARE(port->pendingCount(), 0);
        QTRY_COMPARE(ready.count(), 0); // nothing left when the notification runs
        port->write(packet(3, hex("81")));
        QTRY_COMPARE(ready.count(), 1);
        port->clear();
        QCOMPARE(port->pendingCount(), 0);
        // Capture traffic shows up as pending input; a closed port hears nothing.
        port->write(packet(4, hex("82 80")));
        port->readAll();
        port->analyser()->options().frameRate = 1000;
        port->analyser()->advance(5);
        QVERIFY(port->pendingCount() > 0);
        port->close();
        port->analyser()->advance(5);
        QVERIFY(port->open("115200,N,8,1"));
        QCOMPARE(port->pendingCount(), 0);
        // A dropped line fails reads and writes and reports once; opening again brings it back.
        QSignalSpy errors(port.get(), &SerialPort::portError);
        port->analyser()->options().frameRate = 0;
        port->analyser()->options().dropLineAfter = 0;
        QVERIFY(!port->write(packet(5, hex("81"))));
        QVERIFY(port->lineFailed());
        QVERIFY(port->readAll(&ok).isEmpty());
        QVERIFY(!ok);
        QVERIFY(!port->write(packet(6, hex("81"))));
        QTRY_COMPARE(errors.count(), 1);
        port->close();
        QVERIFY(port->open("921600,N,8,1"));
        QVERIFY(port->write(packet(7, hex("81"))));
        QCOMPARE(port->readAll(&ok), packet(7, hex("81 00 84"))); // still capturing
        QVERIFY(ok);
    }

    void optionTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // id:extended:remote:dlc per item, "-" refused
        QTest::newRow("standard") << "123"
                                  << "123:0:0:-1";
        QTest::newRow("mixed set") << "7ff/8, x18FEF100,3c5r/4"
                                   << "7ff:0:0:8 18fef100:1:0:-1 3c5:0:1:4";
        QTest::newRow("standard above 7FF") << "800"
                                            << "-";
        QTest::newRow("extended above 29 bits") << "x20000000"
                                                << "-";
        QTest::newRow("DLC 9") << "123/9"
                               << "-";
    }
    void optionTexts()
    {
        QFETCH(QString, text);
        QList<SimTrafficId> ids;
        QStringList items{parseTrafficIds(text, &ids) ? "" : "-"}; // a refused text parses nothing
        for (const SimTrafficId &t : std::as_const(ids))
            items << QStringLiteral("%1:%2:%3:%4").arg(t.id, 0, 16).arg(t.extended).arg(t.remote).arg(t.dlc);
        QTEST(items.join(' ').trimmed(), "parsed");
        int selector = 0;
        QVERIFY(parseCommandSelector("all", &selector) && selector == simfault::all);
        QVERIFY(parseCommandSelector("0x81", &selector) && selector == 0x81);
        QVERIFY(parseCommandSelector("3", &selector) && selector == 3);
        QVERIFY(!parseCommandSelector("100", &selector));
    }
};

TESSEL_TEST(tst_VirtualAnalyser)
#include "tst_virtualanalyser.moc"
