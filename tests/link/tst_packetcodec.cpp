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

// Every packet the framer yields for `stream` fed in one piece.
QList<QByteArray> frame(const QByteArray &stream)
{
    PacketFramer f;
    f.append(stream);
    QList<QByteArray> out;
    QByteArray p;
    while (f.next(&p))
        out << p;
    return out;
}

} // namespace

class tst_PacketCodec : public QObject
{
    Q_OBJECT

private slots:
    void build_data()
    {
        QTest::addColumn<int>("seq");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("set status reset, seq 1") << 1 << hex("82 01") << hex("1B 01 00 02 0E 82 01 95");
        QTest::newRow("signature read, seq 0") << 0 << hex("01") << hex("1B 00 00 01 0E 01 15");
        QTest::newRow("start byte in payload is data") << 7 << hex("1B 1B") << hex("1B 07 00 02 0E 1B 1B 10");
        QTest::newRow("length high byte") << 2 << QByteArray(256, '\0')
                                          << hex("1B 02 01 00 0E") + QByteArray(256, '\0') + hex("16");
    }
    void build()
    {
        QFETCH(int, seq);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, wire);
        const QByteArray p = packet::build(quint8(seq), payload);
        QCOMPARE(p.toHex(' '), wire.toHex(' '));
        QCOMPARE(packet::checksum(p.constData(), p.size()), quint8(0));
    }

    void framing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("packets");
        QTest::addColumn<QByteArray>("left");
        const QByteArray a = pkt(1, "81 00 04");
        const QByteArray b = pkt(2, "03 00 A8 02");
        QTest::newRow("two packets in one read, in order") << a + b << QList<QByteArray>{a, b} << QByteArray();
        QTest::newRow("noise before a packet is dropped")
            << hex("00 FF 42 0E") + a << QList<QByteArray>{a} << QByteArray();
        QTest::newRow("start byte without marker is skipped")
            << hex("1B 05 00 01 77") + a << QList<QByteArray>{a} << QByteArray();
        QTest::newRow("bad checksum never dispatched, later packet is")
            << a.left(a.size() - 1) + char(a.back() ^ 0x40) + b << QList<QByteArray>{b} << QByteArray();
        QTest::newRow("length 0 header is skipped")
            << hex("1B 03 00 00 0E 0E") + a << QList<QByteArray>{a} << QByteArray();
        QTest::newRow("length 0x8000 header does not stall")
            << hex("1B 03 80 00 0E") + a << QList<QByteArray>{a} << QByteArray();
        QTest::newRow("length 0xFFFF header does not stall")
            << hex("1B 03 FF FF 0E") + b << QList<QByteArray>{b} << QByteArray();
        QTest::newRow("incomplete header stays") << a + hex("1B 04 00") << QList<QByteArray>{a} << hex("1B 04 00");
        QTest::newRow("incomplete packet stays") << a + b.left(7) << QList<QByteArray>{a} << b.left(7);
        QTest::newRow("start byte inside a skipped candidate begins the next")
            << hex("1B") + a << QList<QByteArray>{a} << QByteArray();
    }
    void framing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, left);
        PacketFramer f;
        f.append(stream);
        QList<QByteArray> got;
        QByteArray p;
        while (f.next(&p))
            got << p;
        QTEST(got, "packets");
        QCOMPARE(f.pendingBytes().toHex(' '), left.toHex(' '));
    }

    // Whatever the chunking, the same packets come out, and a packet is only
    // yielded once its last byte has arrived.
    void splitAtEveryBoundary()
    {
        const QByteArray a = pkt(1, "81 00 04");
        const QByteArray b = pkt(9, "85 00 01 02 03 04 05 1B 1B 0E 00 00 08 11 22 33 44 55 66 77 88");
        const QByteArray stream = hex("55 1B 00") + a + hex("1B 01 00 01 0F") + b + a;
        const QList<QByteArray> expected = frame(stream);
        QCOMPARE(expected, (QList<QByteArray>{a, b, a}));
        for (int cut = 0; cut <= stream.size(); ++cut) {
            PacketFramer f;
            QList<QByteArray> got;
            QByteArray p;
            f.append(stream.left(cut));
            while (f.next(&p))
                got << p;
            const int beforeCut = int(got.size());
            f.append(stream.mid(cut));
            while (f.next(&p))
                got << p;
            QVERIFY2(got == expected, qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QVERIFY2(beforeCut <= frame(stream.left(cut)).size(), qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
        // and byte by byte
        PacketFramer f;
        QList<QByteArray> got;
        QByteArray p;
        for (char c : stream) {
            f.append(&c, 1);
            while (f.next(&p))
                got << p;
        }
        QCOMPARE(got, expected);
    }

    void longPacketIsCutTo1024()
    {
        const QByteArray big = packet::build(3, QByteArray(2000, 'x'));
        PacketFramer f;
        f.append(big);
        QByteArray p;
        QVERIFY(f.next(&p));
        QCOMPARE(p.size(), 1024);
        QCOMPARE(p, big.left(1024));
        QCOMPARE(f.pending(), 0);
    }

    // A long burst fed in small reads keeps the buffer small: consumed bytes
    // are dropped as it goes rather than piling up.
    void longBurstDoesNotAccumulate()
    {
        const QByteArray a = pkt(0, "85 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
        PacketFramer f;
        QByteArray p;
        int n = 0;
        for (int i = 0; i < 20000; ++i) {
            f.append(a.left(5));
            f.append(a.mid(5));
            while (f.next(&p))
                ++n;
        }
        QCOMPARE(n, 20000);
        QCOMPARE(f.pending(), 0);
    }
};

TESSEL_TEST(tst_PacketCodec)
#include "tst_packetcodec.moc"
