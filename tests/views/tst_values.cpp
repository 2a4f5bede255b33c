#include "core/values.h"
#include "views/qcolour.h"
#include "core/clsframe.h"
#include "support/fakeprompts.h"
#include "support/testregistry.h"

#include <QTest>

#include <limits>

namespace {

const QString notDigit = QStringLiteral("Value must be digit!");
const QString notHex = QStringLiteral("Value must be in hex!");
const QString tooBig = QStringLiteral("Value is big!");
constexpr qint64 untouched = -7;

QString frameIdHex(qint32 stdPart, qint32 extPart, bool ide, bool lost = false)
{
    clsFrame f;
    f.ID = {stdPart, extPart};
    f.setIDE(ide);
    f.isLost = lost;
    return QString::number(frameIdNumber(f), 16);
}

} // namespace

class tst_values : public QObject
{
    Q_OBJECT

private slots:
    // Decimal (digits 0) and hexadecimal checks of a typed value: the text as
    // it is left, the value and hex text handed back, and the one message.
    void checks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("digits");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("hexText");
        QTest::addColumn<QString>("message");
        const QString same = QStringLiteral("untouched");
        const qint64 most = std::numeric_limits<qint64>::max();
        const QString wide = QStringLiteral("\uFF11\uFF12");
        const QString huge = QStringLiteral("99999999999999999999999");
        QTest::newRow("empty becomes 0") << "" << 0 << qint64(10) << 0 << "0" << qint64(0) << same << QString();
        QTest::newRow("empty, negative maximum") << "" << 0 << qint64(-1) << -2 << "0" << qint64(0) << same << tooBig;
        QTest::newRow("at the maximum") << "255" << 0 << qint64(255) << 0 << "255" << qint64(255) << same << QString();
        QTest::newRow("above the maximum sets the value")
            << "256" << 0 << qint64(255) << -2 << "256" << qint64(256) << same << tooBig;
        QTest::newRow("letter") << "12a" << 0 << qint64(999) << -1 << "12a" << untouched << same << notDigit;
        QTest::newRow("minus sign") << "-1" << 0 << qint64(999) << -1 << "-1" << untouched << same << notDigit;
        QTest::newRow("non-latin digits") << wide << 0 << qint64(999) << -1 << wide << untouched << same << notDigit;
        QTest::newRow("bad digit wins over size")
            << huge + "x" << 0 << qint64(5) << -1 << huge + "x" << untouched << same << notDigit;
        QTest::newRow("beyond 32 bits") << "2147483648" << 0 << most << -2 << "2147483648" << untouched << same
                                        << tooBig;
        QTest::newRow("beyond 64 bits") << huge << 0 << most << -2 << huge << untouched << same << tooBig;
        QTest::newRow("hex: lower case, padded")
            << "1a" << 3 << qint64(0x7FF) << 0 << "01A" << qint64(0x1A) << "01A" << QString();
        QTest::newRow("hex: empty becomes zeros")
            << "" << 2 << qint64(255) << 0 << "00" << qint64(0) << "00" << QString();
        QTest::newRow("hex: typed leading zeros do not count")
            << "0800" << 3 << qint64(0xFFFF) << 0 << "800" << qint64(0x800) << "800" << QString();
        QTest::newRow("hex: value needs more digits")
            << "1000" << 3 << qint64(0xFFFF) << -2 << "1000" << qint64(0x1000) << same << tooBig;
        QTest::newRow("hex: above the maximum")
            << "800" << 3 << qint64(0x7FF) << -2 << "800" << qint64(0x800) << same << tooBig;
        QTest::newRow("hex: beyond 32 bits")
            << "100000000" << 9 << most << -2 << "100000000" << untouched << same << tooBig;
        QTest::newRow("hex: not a hex digit") << "g1" << 2 << qint64(255) << -1 << "g1" << untouched << same << notHex;
        QTest::newRow("hex: 0x prefix") << "0x1F" << 2 << qint64(255) << -1 << "0x1F" << untouched << same << notHex;
        QTest::newRow("hex: bad digit wins over size")
            << "FFFFFFFFFFFFz" << 2 << qint64(255) << -1 << "FFFFFFFFFFFFz" << untouched << same << notHex;
    }
    void checks()
    {
        QFETCH(QString, text);
        QFETCH(int, digits);
        QFETCH(qint64, maximum);
        QFETCH(QString, message);
        FakePrompts prompts;
        ValueCheck check{untouched, QStringLiteral("untouched")};
        QTEST(digits == 0 ? ::checkDecimal(prompts, text, maximum, &check)
                          : ::checkHex(prompts, text, digits, maximum, &check),
              "result");
        QTEST(text, "textAfter");
        QTEST(check.parsedValue, "value");
        QTEST(check.parsedHexText, "hexText");
        QCOMPARE(prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        for (const FakePrompts::Shown &shown : prompts.shown) {
            QCOMPARE(shown.title, QStringLiteral("Tessel"));
            QCOMPARE(shown.icon, Prompts::Icon::Critical);
            QCOMPARE(shown.buttons, Prompts::Buttons::Ok);
        }
    }

    void controlCharacters()
    {
        QVERIFY(!hasControlCharacter(QStringLiteral("Tür 'vorn' - état")));
        for (const QString &name :
             {QString("a\nb"), QString("a\tb"), QString("a\x7f"), QString(QChar(0x85)), QString(QChar(0x2029))})
            QVERIFY2(hasControlCharacter(name), qPrintable(name.toUtf8().toHex()));
    }

    void idKeys_data()
    {
        QTest::addColumn<qint32>("number");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("standard") << 0x123 << "ID_00000123"
                                  << "123";
        QTest::newRow("extended, all bits") << 0x3FFFFFFF << "ID_3FFFFFFF"
                                            << "7FF.3FFFF";
        QTest::newRow("lost-frame marker") << 0x40000000 << "ID_40000000"
                                           << "xxx";
        QTest::newRow("top bit set reads negative") << qint32(0x80000001u) << "ID_80000001"
                                                    << "80000001";
    }
    void idKeys()
    {
        QFETCH(qint32, number);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QCOMPARE(idKey(number), key);
        QCOMPARE(idKeyNumber(key), number);
        QCOMPARE(formatID(number), text);
        const QString name = QStringLiteral("Engine - speed");
        QCOMPARE(idNodeText(number, name), text + QStringLiteral(" - ") + name);
        QCOMPARE(idNodeName(idNodeText(number, name)), name);
        QCOMPARE(idNodeName(idNodeText(number, QString())), QString());
    }

    // A lost-frame key gives -1 and leaves the outputs as they were.
    void splitAndMakeIdNumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<qint32>("number");
        QTest::addColumn<bool>("ide");
        QTest::addColumn<QString>("stdText");
        QTest::addColumn<QString>("extText");
        QTest::newRow("standard") << "ID_0000007F" << 0x7F << false << "07F"
                                  << "-----";
        QTest::newRow("extended") << "ID_248C4567" << 0x248C4567 << true << "123"
                                  << "04567";
        QTest::newRow("extended, standard part 0") << "ID_20000001" << 0x20000001 << true << "000"
                                                   << "00001";
        QTest::newRow("extended, all bits") << "ID_3FFFFFFF" << 0x3FFFFFFF << true << "7FF"
                                            << "3FFFF";
        QTest::newRow("lost frames") << "ID_40000000" << -1 << true << "abc"
                                     << "def";
    }
    void splitAndMakeIdNumber()
    {
        QFETCH(QString, key);
        QFETCH(qint32, number);
        QFETCH(bool, ide);
        QFETCH(QString, stdText);
        QFETCH(QString, extText);
        bool splitIde = number >= 0 ? !ide : ide;
        QString splitStd = QStringLiteral("abc");
        QString splitExt = QStringLiteral("def");
        QCOMPARE(splitIdKey(key, splitIde, splitStd, splitExt), number);
        QCOMPARE(splitIde, ide);
        QCOMPARE(splitStd + "/" + splitExt, stdText + "/" + extText);
        if (number >= 0) {
            QCOMPARE(makeIdNumber(ide, stdText, extText), number);
            QCOMPARE(makeIdNumber(ide, stdText.toLower(), extText.toLower()), number);
        }
    }

    // Conversions of one value to one text or number, each row its own edge.
    void conversions_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        const auto hex = [](quint32 v) { return QString::number(v, 16); };
        const auto whole = [](double v) { return QString::number(::roundWhole(v)); };
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("frame id: lost frame") << frameIdHex(0x123, 3, true, true) << "40000000";
        QTest::newRow("frame id: standard ignores a stale extension") << frameIdHex(0x123, 0x777, false) << "123";
        QTest::newRow("frame id: extended") << frameIdHex(0x123, 0x4567, true) << "248c4567";
        QTest::newRow("frame id: oversized standard part stays standard") << frameIdHex(0xFFFF, 0, false) << "7ff";
        QTest::newRow("frame id: oversized extended part never marks lost")
            << frameIdHex(0xFFFF, 0, true) << "3ffc0000";
        QTest::newRow("device key") << QString::number(deviceKeyId(deviceKey(12345))) << "12345";
        QTest::newRow("device key not a number") << QString::number(deviceKeyId("DEV_x")) << "0";
        QTest::newRow("device key too short") << QString::number(deviceKeyId("DE")) << "0";
        QTest::newRow("hex 000 is not black") << hex(hexColour("000")) << "10";
        QTest::newRow("hex 123") << hex(hexColour("123")) << "302030";
        QTest::newRow("missing digits count 0") << hex(hexColour("1")) << "30";
        QTest::newRow("extended shares its standard part's colour") << hex(idColour("ID_3FFC1234")) << "f0f0f0";
        QTest::newRow("lost frames are grey") << hex(idColour("ID_40000000")) << "808080";
        QTest::newRow("as QRgb: red moves to the top") << hex(rgbFromColour(0x302010)) << "ff102030";
        QTest::newRow("stored colours keep red in the low byte") << toQColor(0x0000FF).name() << "#ff0000";
        QTest::newRow("hexPad 32 bits all set") << hexPad(4294967295LL, 8) << "FFFFFFFF";
        QTest::newRow("hexPad never shortens") << hexPad(0x1000, 3) << "1000";
        QTest::newRow("hexPad above 32 bits") << hexPad(0x123456789LL, 8) << "123456789";
        QTest::newRow("hexPad negative as 32 bits") << hexPad(-1, 8) << "FFFFFFFF";
        QTest::newRow("padLeft") << padLeft(5, 5) << "    5";
        QTest::newRow("padLeft negative") << padLeft(-3, 4) << "  -3";
        QTest::newRow("seconds: three decimals, no grouping") << formatSeconds(1234.5f, 12, english) << "    1234.500";
        QTest::newRow("seconds: locale separator, no grouping") << formatSeconds(1234.5f, 12, german) << "    1234,500";
        QTest::newRow("seconds below 1 keep the leading zero") << formatSeconds(0.25f, 6, english) << " 0.250";
        QTest::newRow("seconds round to three decimals") << formatSeconds(2.0006f, 0, english) << "2.001";
        QTest::newRow("seconds never shortened") << formatSeconds(123456.0f, 3, english) << "123456.000";
        QTest::newRow("round 2.5 -> 3") << whole(2.5) << "3";
        QTest::newRow("round -2.5 -> -3") << whole(-2.5) << "-3";
        QTest::newRow("round a large tick count") << whole(8589934591.5) << "8589934592";
        QTest::newRow("round NaN -> 0") << whole(std::numeric_limits<double>::quiet_NaN()) << "0";
        QTest::newRow("round beyond 64 bits saturates") << whole(1e300) << "9223372036854775807";
        QTest::newRow("round below 64 bits saturates") << whole(-1e300) << "-9223372036854775808";
    }
    void conversions()
    {
        QFETCH(QString, got);
        QTEST(got, "expected");
    }
};

TESSEL_TEST(tst_values)
#include "tst_values.moc"
