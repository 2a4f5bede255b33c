#include "link/packetcodec.h"
#include "support/testregistry.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray pkt(quint8 seq, const char *payloadHex)
{
    return packet::build(seq, hex(payloadHex));
}

// Appends `bytes` and takes every packet the framer then yields.
QList<QByteArray> feed(PacketFramer &f, const QByteArray &bytes, QList<QByteArray> got = {})
{
    f.append(bytes);
    QByteArray p;
    while (f.next(&p))
        got << p;
    return got;
}

} // namespace

class tst_PacketCodec : public QObject
{
    Q_OBJECT

private slots:
    void build()
    {
        const struct
        {
            int seq;
            QByteArray payload, wire;
        } cases[] = {
            {1, hex("82 01"), hex("1B 01 00 02 0E 82 01 95")}, // set status reset
            {0, hex("01"), hex("1B 00 00 01 0E 01 15")},       // signature read, seq 0
            {7, hex("1B 1B"), hex("1B 07 00 02 0E 1B 1B 10")}, // a start byte in the payload is data
            {2, QByteArray(256, '\0'), hex("1B 02 01 00 0E") + QByteArray(256, '\0') + hex("16")}, // length high byte
        };
        for (const auto &c : cases) {
            const QByteArray p = packet::build(quint8(c.seq), c.payload);
            QCOMPARE(p.toHex(' '), c.wire.toHex(' '));
            QCOMPARE(packet::checksum(p.constData(), p.size()), quint8(0));
        }
    }

    void framing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("packets");
        QTest::addColumn<QByteArray>("left");
        // Packets dropped for a bad checksum and start bytes without a header.
        QTest::addColumn<int>("badChecksums");
        QTest::addColumn<int>("badHeaders");
        const QByteArray a = pkt(1, "81 00 04");
        const QByteArray b = pkt(2, "03 00 A8 02");
        using L = QList<QByteArray>;
        QTest::newRow("two packets in one read, in order") << a + b << L{a, b} << QByteArray() << 0 << 0;
        QTest::newRow("noise before a packet is dropped") << hex("00 FF 42 0E") + a << L{a} << QByteArray() << 0 << 0;
        QTest::newRow("start byte without marker is skipped")
            << hex("1B 05 00 01 77") + a << L{a} << QByteArray() << 0 << 1;
        QTest::newRow("bad checksum never dispatched, later packet is")
            << a.left(a.size() - 1) + char(a.back() ^ 0x40) + b << L{b} << QByteArray() << 1 << 0;
        QTest::newRow("length 0 header is skipped") << hex("1B 03 00 00 0E 0E") + a << L{a} << QByteArray() << 0 << 1;
        QTest::newRow("length 0x8000 header does not stall")
            << hex("1B 03 80 00 0E") + a << L{a} << QByteArray() << 0 << 1;
        QTest::newRow("length 0xFFFF header does not stall")
            << hex("1B 03 FF FF 0E") + b << L{b} << QByteArray() << 0 << 1;
        QTest::newRow("incomplete header stays") << a + hex("1B 04 00") << L{a} << hex("1B 04 00") << 0 << 0;
        QTest::newRow("incomplete packet stays") << a + b.left(7) << L{a} << b.left(7) << 0 << 0;
        QTest::newRow("start byte inside a skipped candidate begins the next")
            << hex("1B") + a << L{a} << QByteArray() << 0 << 1;
    }
    void framing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, left);
        PacketFramer f;
        QTEST(feed(f, stream), "packets");
        QCOMPARE(f.pendingBytes().toHex(' '), left.toHex(' '));
        QTEST(int(f.badChecksums()), "badChecksums");
        QTEST(int(f.badHeaders()), "badHeaders");
        // The counts outlive the bytes (a reopened port keeps them).
        f.clear();
        QTEST(int(f.badChecksums()), "badChecksums");
    }

    // Whatever the chunking, the same packets come out, and a packet is only
    // yielded once its last byte has arrived.
    void splitAtEveryBoundary()
    {
        const QByteArray a = pkt(1, "81 00 04");
        const QByteArray b = pkt(9, "85 00 01 02 03 04 05 1B 1B 0E 00 00 08 11 22 33 44 55 66 77 88");
        const QByteArray stream = hex("55 1B 00") + a + hex("1B 01 00 01 0F") + b + a;
        const QList<QByteArray> expected{a, b, a};
        for (int cut = 0; cut <= stream.size(); ++cut) {
            PacketFramer f, whole;
            const QList<QByteArray> first = feed(f, stream.left(cut));
            QVERIFY2(first.size() <= feed(whole, stream.left(cut)).size(), qPrintable(QString::number(cut)));
            QVERIFY2(feed(f, stream.mid(cut), first) == expected, qPrintable(QString::number(cut)));
        }
        PacketFramer f;
        QList<QByteArray> got;
        for (char c : stream)
            got = feed(f, QByteArray(1, c), got);
        QCOMPARE(got, expected);
    }

    // A packet is cut to 1024 bytes; a long burst in small reads keeps the
    // buffer empty as it goes rather than piling up.
    void longInput()
    {
        const QByteArray big = packet::build(3, QByteArray(2000, 'x'));
        PacketFramer f;
        QCOMPARE(feed(f, big), QList<QByteArray>{big.left(1024)});
        QCOMPARE(f.pending(), 0);
        const QByteArray a = pkt(0, "85 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
        int n = 0;
        for (int i = 0; i < 20000; ++i) {
            f.append(a.left(5));
            n += int(feed(f, a.mid(5)).size());
        }
        QCOMPARE(n, 20000);
        QCOMPARE(f.pending(), 0);
    }
};

TESSEL_TEST(tst_PacketCodec)
#include "tst_packetcodec.moc"
