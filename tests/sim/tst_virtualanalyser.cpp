#include "serial/serialport.h"
#include "sim/simpacket.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/testregistry.h"

#include <QFile>
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
    // Every well-formed packet in order (seq, payload); bad ones are skipped.
    QList<simpacket::Packet> packets() const
    {
        QList<simpacket::Packet> out;
        for (qsizetype i = 0; i + 6 <= bytes.size();) {
            const int n = quint8(bytes.at(i + 2)) * 256 + quint8(bytes.at(i + 3));
            if (bytes.at(i) != 0x1B || bytes.at(i + 4) != 0x0E || i + n + 6 > bytes.size()) {
                ++i;
                continue;
            }
            const QByteArray p = bytes.mid(i, n + 6);
            if (p != packet(quint8(p.at(1)), p.mid(5, n))) {
                ++i;
                continue;
            }
            out.append({quint8(p.at(1)), p.mid(5, n)});
            i += n + 6;
        }
        return out;
    }
    QList<QByteArray> payloads(quint8 code) const
    {
        QList<QByteArray> out;
        for (const auto &p : packets())
            if (quint8(p.payload.at(0)) == code)
                out.append(p.payload);
        return out;
    }
    QByteArray bytes;
    int sends = 0;
};

VirtualAnalyserOptions quietBus()
{
    VirtualAnalyserOptions o;
    o.frameRate = 0;
    return o;
}

} // namespace

class tst_VirtualAnalyser : public QObject
{
    Q_OBJECT

private slots:

    void answers_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("answer");

        // The signature is 27 characters: its length byte is 1B, a start byte inside a payload.
        QTest::newRow("signature") << hex("01") << hex("01 00 1B") + "Tessel virtual CAN analyser";
        QTest::newRow("status") << hex("81") << hex("81 00 04");
        QTest::newRow("listen + capture") << hex("82 83") << hex("82 00 83");
        QTest::newRow("capture on keeps mode") << hex("82 80") << hex("82 00 84");
        QTest::newRow("write CANBT1") << hex("02 A8 02") << hex("02 00 02");
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
        VirtualAnalyser dev(quietBus());
        Line line(dev);
        dev.receive(packet(0xA7, command));
        QCOMPARE(line.bytes.toHex(' '), packet(0xA7, answer).toHex(' '));
    }

    void stampsFollowTheTimerAndWrap()
    {
        VirtualAnalyserOptions o;
        o.frameRate = 1000;
        o.ids = {{0x100, false, false, 0}};
        o.stampOffset = 0xFFFFF000u;
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("82 80")));
        dev.advance(5);
        QList<quint32> stamps;
        for (const QByteArray &r : line.payloads(0x85))
            stamps << le32(r, 2);
        QCOMPARE(stamps, (QList<quint32>{0xFFFFF3E8u, 0xFFFFF7D0u, 0xFFFFFBB8u, 0xFFFFFFA0u, 0x00000388u}));
        QCOMPARE(dev.stampNow(), 0x00000388u);

        // A prescaler of 3 halves the tick rate: 500 ticks per ms.
        dev.receive(packet(2, hex("02 AB 03")));
        const quint32 before = dev.stampNow();
        dev.advance(2);
        QCOMPARE(dev.stampNow() - before, 1000u);

        // Fractions of a millisecond add up instead of getting lost.
        const quint32 start = dev.stampNow();
        for (int i = 0; i < 1000; ++i)
            dev.advance(0.0333);
        QCOMPARE(dev.stampNow() - start, 16650u);
    }

    void noTrafficWithoutCaptureOrBus()
    {
        VirtualAnalyserOptions o;
        o.frameRate = 1000;
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.advance(20); // capture off
        dev.receive(packet(1, hex("82 81")));
        dev.advance(20); // capture on, but the controller is in reset
        dev.receive(packet(2, hex("82 82")));
        dev.advance(20); // standby
        QCOMPARE(line.payloads(0x85).size(), 0);
        dev.receive(packet(3, hex("82 83")));
        dev.advance(20); // listening
        QCOMPARE(line.payloads(0x85).size(), 20);
    }

    void loopBack()
    {
        VirtualAnalyser dev(quietBus());
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

    void captureOffDeliversQueuedRecordsFirst()
    {
        VirtualAnalyserOptions o;
        o.frameRate = 5000; // above what 921600 baud carries
        o.ids = {{0x100, false, false, 8}};
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("82 80")));
        dev.advance(10);
        dev.receive(packet(2, hex("82 00")));
        const auto packets = line.packets();
        QCOMPARE(packets.last().payload, hex("82 00 04"));
        QCOMPARE(dev.framesGenerated(), dev.framesSent() + dev.framesLost());
        const int before = line.payloads(0x85).size();
        dev.advance(50);
        QCOMPARE(line.payloads(0x85).size(), before);
    }

    void overloadBecomesLostFrameRecords()
    {
        VirtualAnalyserOptions o;
        o.frameRate = 20000;
        o.ids = {{0x100, false, false, 8}}; // 27-byte packets: at most ~3400 a second fit
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("82 80")));
        line.bytes.clear();
        dev.advance(100);
        // The line carries about 9216 bytes in 100 ms (plus what the UART holds).
        QVERIFY2(line.bytes.size() <= 9216 + 64, qPrintable(QString::number(line.bytes.size())));
        QVERIFY(line.bytes.size() > 9000);
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
        QCOMPARE(quint64(line.payloads(0x85).size()), dev.framesSent());
        QCOMPARE(dev.framesGenerated(), dev.framesSent() + dev.framesLost());
    }

    void commandsInAnyChunking()
    {
        const QByteArray stream = hex("00 1B 55 1B") + packet(9, hex("03 A9")) + hex("1B 02 00 01 0E 81 00") // bad xor
                                  + packet(10, hex("81"));
        const QByteArray expected = packet(9, hex("03 00 0C")) + packet(10, hex("81 00 04"));
        for (int split = 1; split < stream.size(); ++split) {
            VirtualAnalyser dev(quietBus());
            Line line(dev);
            dev.receive(stream.left(split));
            dev.receive(stream.mid(split));
            QCOMPARE(line.bytes.toHex(' '), expected.toHex(' '));
        }
        VirtualAnalyser dev(quietBus());
        Line line(dev);
        for (char c : stream)
            dev.receive(QByteArray(1, c));
        QCOMPARE(line.bytes.toHex(' '), expected.toHex(' '));
    }

    // The error-flag, silence and line-drop faults are exercised by the tests of
    // their users (connection test, send run, link over a pseudo-terminal).
    void faultCorruptGarbageChunks()
    {
        VirtualAnalyserOptions o = quietBus();
        o.corruptEvery = 2;
        VirtualAnalyser dev(o);
        Line line(dev);
        dev.receive(packet(1, hex("81")) + packet(2, hex("81")) + packet(3, hex("81")));
        QByteArray second = packet(2, hex("81 00 04"));
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
        QCOMPARE(line.payloads(0x85).size(), 10);
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
    }

    void firmwareUpdateAnswersThenRequestsBootLoader()
    {
        VirtualAnalyserOptions o = quietBus();
        o.chunkSize = 5;
        VirtualAnalyser dev(o);
        QStringList events;
        connect(&dev, &SimDevice::send, this, [&](const QByteArray &b) { events << b.toHex(); });
        connect(&dev, &SimDevice::bootLoaderRequested, this, [&] { events << "boot"; });
        dev.receive(packet(7, hex("07")));
        dev.advance(0);
        QCOMPARE(events.join(""), packet(7, hex("07 00")).toHex() + "boot");
        QCOMPARE(events.size(), 3); // two chunks, then the request
    }

    void virtualPort()
    {
        VirtualAnalyserOptions o = quietBus();
        auto port = makeVirtualAnalyserPort(o, false);
        QSignalSpy ready(port.get(), &SerialPort::readyRead);
        QVERIFY(!port->write(packet(1, hex("81")))); // closed
        QVERIFY(!port->open("921600,E,8,1"));
        QVERIFY(port->open("921600,N,8,1"));
        QVERIFY(port->isOpen());
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
        QCOMPARE(port->deviceName(), QStringLiteral("virtual analyser"));
    }

    void virtualPortLineDrop()
    {
        VirtualAnalyserOptions o = quietBus();
        o.dropLineAfter = 0;
        auto port = makeVirtualAnalyserPort(o, false);
        QSignalSpy errors(port.get(), &SerialPort::portError);
        QVERIFY(port->open("921600,N,8,1"));
        QVERIFY(!port->write(packet(1, hex("81"))));
        QVERIFY(port->lineFailed());
        bool ok = true;
        QVERIFY(port->readAll(&ok).isEmpty());
        QVERIFY(!ok);
        QVERIFY(!port->write(packet(2, hex("81"))));
        QTRY_COMPARE(errors.count(), 1);
        port->close();
        QVERIFY(port->open("921600,N,8,1"));
        QVERIFY(port->write(packet(3, hex("81"))));
        QCOMPARE(port->readAll(&ok), packet(3, hex("81 00 04")));
        QVERIFY(ok);
    }

    void optionTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("parsed"); // id:extended:remote:dlc per item

        QTest::newRow("standard") << "123" << true << "123:0:0:-1";
        QTest::newRow("mixed set") << "7ff/8, x18FEF100,3c5r/4" << true << "7ff:0:0:8 18fef100:1:0:-1 3c5:0:1:4";
        QTest::newRow("standard above 7FF") << "800" << false << "";
        QTest::newRow("extended above 29 bits") << "x20000000" << false << "";
        QTest::newRow("DLC 9") << "123/9" << false << "";
    }

    void optionTexts()
    {
        QFETCH(QString, text);
        QList<SimTrafficId> ids;
        QTEST(parseTrafficIds(text, &ids), "valid");
        QStringList items;
        for (const SimTrafficId &t : std::as_const(ids))
            items << QStringLiteral("%1:%2:%3:%4").arg(t.id, 0, 16).arg(t.extended).arg(t.remote).arg(t.dlc);
        QTEST(items.join(' '), "parsed");

        int selector = 0;
        QVERIFY(parseCommandSelector("all", &selector) && selector == simfault::all);
        QVERIFY(parseCommandSelector("0x81", &selector) && selector == 0x81);
        QVERIFY(parseCommandSelector("3", &selector) && selector == 3);
        QVERIFY(!parseCommandSelector("100", &selector));
    }
};

TESSEL_TEST(tst_VirtualAnalyser)
#include "tst_virtualanalyser.moc"
