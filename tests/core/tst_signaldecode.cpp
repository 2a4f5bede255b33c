#include "core/signaldecode.h"
#include "support/testregistry.h"

#include <QtTest>

#include <vector>

using namespace signaldecode;

namespace {

const std::vector<quint8> bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};

Field field(int start, int length, ByteOrder order, ValueType type = ValueType::Unsigned)
{
    Field f;
    f.startBit = start;
    f.length = length;
    f.order = order;
    f.type = type;
    return f;
}

constexpr auto LE = ByteOrder::LittleEndian;
constexpr auto BE = ByteOrder::BigEndian;

} // namespace

class tst_SignalDecode : public QObject
{
    Q_OBJECT

private slots:
    // Raw bits of 12 34 56 78 9A BC DE F0, worked out by hand bit by bit.
    void rawBits_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<quint64>("raw");
        QTest::newRow("little-endian, whole bytes") << 8 << 16 << false << quint64(0x5634);
        QTest::newRow("little-endian, mid-byte start") << 4 << 12 << false << quint64(0x341);
        QTest::newRow("little-endian, across three bytes") << 13 << 19 << false << quint64(0x3C2B1);
        QTest::newRow("little-endian, the last bit") << 63 << 1 << false << quint64(1);
        QTest::newRow("little-endian, 64 bits") << 0 << 64 << false << quint64(0xF0DEBC9A78563412);
        QTest::newRow("big-endian, whole bytes") << 7 << 16 << true << quint64(0x1234);
        QTest::newRow("big-endian, low nibble then a byte") << 3 << 12 << true << quint64(0x234);
        QTest::newRow("big-endian, inside one byte") << 13 << 6 << true << quint64(0x34);
        QTest::newRow("big-endian, three bits then seven") << 10 << 10 << true << quint64(0x22B);
        QTest::newRow("big-endian, from byte 4") << 39 << 20 << true << quint64(0x9ABCD);
        QTest::newRow("big-endian, 64 bits") << 7 << 64 << true << quint64(0x123456789ABCDEF0);
    }
    void rawBits()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, bigEndian);
        QFETCH(quint64, raw);
        const Value v = decode(field(start, length, bigEndian ? BE : LE), bytes);
        QCOMPARE(v.status, Status::Ok);
        QCOMPARE(v.raw, raw);
        QCOMPARE(v.value, double(raw));
    }

    // Sign extension, floats in either byte order, and factor and offset in
    // double precision, negative ones included.
    void physicalValues_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("value");
        const int u = int(ValueType::Unsigned), s = int(ValueType::Signed);
        const int f32 = int(ValueType::Float32), f64 = int(ValueType::Float64);
        QTest::newRow("signed byte -1, scaled")
            << QByteArray::fromHex("ff") << 0 << 8 << false << s << 0.5 << -10.0 << -10.5;
        QTest::newRow("signed 12 bits, big-endian")
            << QByteArray::fromHex("0800") << 3 << 12 << true << s << 1.0 << 0.0 << -2048.0;
        QTest::newRow("positive signed stays positive")
            << QByteArray::fromHex("7f") << 0 << 8 << false << s << 1.0 << 0.0 << 127.0;
        QTest::newRow("signed 64 bits") << QByteArray::fromHex("ffffffffffffffff") << 0 << 64 << false << s << 1.0
                                        << 0.0 << -1.0;
        QTest::newRow("negative factor, offset")
            << QByteArray::fromHex("64") << 0 << 8 << false << u << -0.25 << 3.0 << -22.0;
        QTest::newRow("float32 little-endian")
            << QByteArray::fromHex("0000c03f") << 0 << 32 << false << f32 << 1.0 << 0.0 << 1.5;
        QTest::newRow("float32 big-endian")
            << QByteArray::fromHex("3fc00000") << 7 << 32 << true << f32 << 2.0 << 1.0 << 4.0;
        QTest::newRow("float64") << QByteArray::fromHex("00000000000002c0") << 0 << 64 << false << f64 << 1.0 << 0.0
                                 << -2.25;
        QTest::newRow("factor in double precision")
            << QByteArray::fromHex("ffffffff") << 0 << 32 << false << u << 0.001 << 0.0 << 4294967.295;
    }
    void physicalValues()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, bigEndian);
        QFETCH(int, type);
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(double, value);
        Field f = field(start, length, bigEndian ? BE : LE, ValueType(type));
        f.factor = factor;
        f.offset = offset;
        const std::span<const quint8> span(reinterpret_cast<const quint8 *>(data.constData()), size_t(data.size()));
        const Value v = decode(f, span);
        QCOMPARE(v.status, Status::Ok);
        QCOMPARE(v.value, value);
    }

    // A field that does not fit the frame is flagged, never read past the
    // data bytes; one that fits no frame at all is invalid.
    void fieldsThatDoNotFit()
    {
        const std::span<const quint8> two(bytes.data(), 2);
        QCOMPARE(decode(field(8, 8, LE), two).status, Status::Ok);
        QCOMPARE(decode(field(8, 9, LE), two).status, Status::OutsideFrame);
        QCOMPARE(decode(field(15, 16, BE), two).status, Status::OutsideFrame);
        QCOMPARE(decode(field(0, 1, LE), std::span<const quint8>()).status, Status::OutsideFrame); // DLC 0
        for (const Field &f : {field(0, 0, LE), field(0, 65, LE), field(60, 8, LE), field(60, 8, BE),
                               field(0, 16, LE, ValueType::Float32), field(0, 32, LE, ValueType::Float64),
                               field(64, 1, LE), field(-1, 1, LE)})
            QCOMPARE(decode(f, bytes).status, Status::Invalid);
        QCOMPARE(dataBytes(0), 0);
        QCOMPARE(dataBytes(15), 8); // DLC 9 to 15 carry 8 bytes
    }

    // Only the fields of the multiplexor's value are present; without the
    // multiplexor in the frame none of them is.
    void multiplexing()
    {
        Field selector = field(0, 8, LE);
        selector.multiplexor = true;
        Field one = field(8, 8, LE);
        one.multiplexValue = 1;
        Field two = field(8, 16, LE);
        two.multiplexValue = 2;
        const std::vector<Field> fields{one, selector, two, field(24, 8, LE)};
        const auto run = [&fields](const QByteArray &hex) {
            const QByteArray data = QByteArray::fromHex(hex);
            std::vector<Value> out(fields.size());
            decodeAll(fields, {reinterpret_cast<const quint8 *>(data.constData()), size_t(data.size())}, out);
            QStringList shown;
            for (const Value &v : out)
                shown << (v.status == Status::Ok ? QString::number(v.raw, 16) : QString::number(int(v.status)));
            return shown.join(u' ');
        };
        const QString absent = QString::number(int(Status::Absent));
        const QString outside = QString::number(int(Status::OutsideFrame));
        QCOMPARE(run("01aabbcc"), QStringList({"aa", "1", absent, "cc"}).join(u' '));
        QCOMPARE(run("02aabbcc"), QStringList({absent, "2", "bbaa", "cc"}).join(u' '));
        QCOMPARE(run("03aabbcc"), QStringList({absent, "3", absent, "cc"}).join(u' '));
        QCOMPARE(run(""), QStringList({absent, outside, absent, outside}).join(u' '));
    }
};

TESSEL_TEST(tst_SignalDecode)
#include "tst_signaldecode.moc"
