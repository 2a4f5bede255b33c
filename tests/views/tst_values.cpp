#include "core/values.h"
#include "views/qcolour.h"
#include "core/clsframe.h"
#include "support/fakeprompts.h"
#include "support/testregistry.h"

#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(clsFrame)

namespace {

const QString notDigit = QStringLiteral("Value must be digit!");
const QString notHex = QStringLiteral("Value must be in hex!");
const QString tooBig = QStringLiteral("Value is big!");
constexpr qint64 untouched = -7;

clsFrame frameWith(qint32 stdPart, qint32 extPart, bool ide, bool lost = false)
{
    clsFrame f;
    f.ID.StdPart = stdPart;
    f.ID.ExtPart = extPart;
    f.setIDE(ide);
    f.isLost = lost;
    return f;
}

// Exactly one message, or none, shown the way every check failure is shown.
void verifyMessage(const FakePrompts &prompts, const QString &message)
{
    if (message.isEmpty()) {
        QVERIFY(prompts.shown.isEmpty());
        return;
    }
    QCOMPARE(prompts.shown.size(), 1);
    QCOMPARE(prompts.shown.first().text, message);
    QCOMPARE(prompts.shown.first().title, QStringLiteral("Tessel"));
    QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
    QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::Ok);
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
        QTest::newRow("empty becomes 0") << "" << 0 << qint64(10) << 0 << "0" << qint64(0) << same << QString();
        QTest::newRow("empty with a negative maximum")
            << "" << 0 << qint64(-1) << -2 << "0" << qint64(0) << same << tooBig;
        QTest::newRow("at the maximum") << "255" << 0 << qint64(255) << 0 << "255" << qint64(255) << same << QString();
        QTest::newRow("above the maximum sets the value")
            << "256" << 0 << qint64(255) << -2 << "256" << qint64(256) << same << tooBig;
        QTest::newRow("letter") << "12a" << 0 << qint64(999) << -1 << "12a" << untouched << same << notDigit;
        QTest::newRow("minus sign") << "-1" << 0 << qint64(999) << -1 << "-1" << untouched << same << notDigit;
        QTest::newRow("non-latin digits") << QStringLiteral("\uFF11\uFF12") << 0 << qint64(999) << -1
                                          << QStringLiteral("\uFF11\uFF12") << untouched << same << notDigit;
        QTest::newRow("bad digit wins over size") << "99999999999999999999x" << 0 << qint64(5) << -1
                                                  << "99999999999999999999x" << untouched << same << notDigit;
        QTest::newRow("beyond 32 bits") << "2147483648" << 0 << most << -2 << "2147483648" << untouched << same
                                        << tooBig;
        QTest::newRow("beyond 64 bits") << "99999999999999999999999" << 0 << most << -2 << "99999999999999999999999"
                                        << untouched << same << tooBig;
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
        verifyMessage(prompts, message);
    }

    void controlCharacters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("accents, quotes and spaces pass") << QString("Tür 'vorn' - état") << false;
        QTest::newRow("line feed") << QString("a\nb") << true;
        QTest::newRow("tab") << QString("a\tb") << true;
        QTest::newRow("delete character") << QString("a\x7f") << true;
        QTest::newRow("next line (C1)") << QString(QChar(0x85)) << true;
        QTest::newRow("paragraph separator") << QString(QChar(0x2029)) << true;
    }

    void controlCharacters()
    {
        QFETCH(QString, name);
        QTEST(hasControlCharacter(name), "refused");
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
    }

    void splitAndMakeIdNumber()
    {
        QFETCH(QString, key);
        QFETCH(qint32, number);
        QFETCH(bool, ide);
        QFETCH(QString, stdText);
        QFETCH(QString, extText);

        bool splitIde = !ide;
        QString splitStd, splitExt;
        QCOMPARE(splitIdKey(key, splitIde, splitStd, splitExt), number);
        QCOMPARE(splitIde, ide);
        QCOMPARE(splitStd, stdText);
        QCOMPARE(splitExt, extText);

        QCOMPARE(makeIdNumber(ide, stdText, extText), number);
        QCOMPARE(makeIdNumber(ide, stdText.toLower(), extText.toLower()), number);
    }

    void splitLostKeyLeavesOutputs()
    {
        bool ide = true;
        QString stdText = QStringLiteral("abc");
        QString extText = QStringLiteral("def");
        QCOMPARE(splitIdKey(QStringLiteral("ID_40000000"), ide, stdText, extText), -1);
        QVERIFY(ide);
        QCOMPARE(stdText, QStringLiteral("abc"));
        QCOMPARE(extText, QStringLiteral("def"));
    }

    void frameIdNumber_data()
    {
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<qint32>("number");

        QTest::newRow("lost frame") << frameWith(0x123, 3, true, true) << 0x40000000;
        QTest::newRow("standard") << frameWith(0x123, 0, false) << 0x123;
        QTest::newRow("standard ignores a stale extension") << frameWith(0x123, 0x777, false) << 0x123;
        QTest::newRow("extended") << frameWith(0x123, 0x4567, true) << 0x248C4567;
        QTest::newRow("oversized standard part stays standard") << frameWith(0xFFFF, 0, false) << 0x7FF;
        QTest::newRow("oversized extended part never marks lost") << frameWith(0xFFFF, 0, true) << 0x3FFC0000;
    }

    void frameIdNumber()
    {
        QFETCH(clsFrame, frame);
        QTEST(::frameIdNumber(frame), "number");
    }

    void deviceKeys()
    {
        QCOMPARE(deviceKeyId(deviceKey(12345)), 12345);
        QCOMPARE(deviceKeyId(QStringLiteral("DEV_x")), 0);
        QCOMPARE(deviceKeyId(QStringLiteral("DE")), 0);
    }

    void colours_data()
    {
        QTest::addColumn<quint32>("colour");
        QTest::addColumn<quint32>("expected");

        QTest::newRow("hex 000 is not black") << hexColour("000") << quint32(0x000010);
        QTest::newRow("hex 123") << hexColour("123") << quint32(0x302030);
        QTest::newRow("missing digits count 0") << hexColour("1") << quint32(0x000030);
        QTest::newRow("extended shares its standard part's colour") << idColour("ID_3FFC1234") << quint32(0xF0F0F0);
        QTest::newRow("lost frames are grey") << idColour("ID_40000000") << quint32(0x808080);
        QTest::newRow("as QRgb: red moves to the top") << rgbFromColour(0x302010) << quint32(0xFF102030);
    }

    void colours()
    {
        QFETCH(quint32, colour);
        QFETCH(quint32, expected);
        QCOMPARE(QString::number(colour, 16), QString::number(expected, 16));
    }

    void qColour()
    {
        // Stored colours keep red in the low byte.
        QCOMPARE(toQColor(0x0000FF), QColor(Qt::red));
        QCOMPARE(toQColor(0xFF0000), QColor(Qt::blue));
    }

    void padding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("hexPad 32 bits all set") << hexPad(4294967295LL, 8) << "FFFFFFFF";
        QTest::newRow("hexPad never shortens") << hexPad(0x1000, 3) << "1000";
        QTest::newRow("hexPad above 32 bits") << hexPad(0x123456789LL, 8) << "123456789";
        QTest::newRow("hexPad negative as 32 bits") << hexPad(-1, 8) << "FFFFFFFF";
        QTest::newRow("padLeft") << padLeft(5, 5) << "    5";
        QTest::newRow("padLeft negative") << padLeft(-3, 4) << "  -3";
    }

    void padding()
    {
        QFETCH(QString, text);
        QTEST(text, "expected");
    }

    void formatSeconds_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("three decimals, no grouping") << 1234.5f << 12 << english << "    1234.500";
        QTest::newRow("locale decimal separator, no grouping") << 1234.5f << 12 << german << "    1234,500";
        QTest::newRow("below 1 keeps the leading zero") << 0.25f << 6 << english << " 0.250";
        QTest::newRow("rounds to three decimals") << 2.0006f << 0 << english << "2.001";
        QTest::newRow("never shortened") << 123456.0f << 3 << english << "123456.000";
    }

    void formatSeconds()
    {
        QFETCH(float, value);
        QFETCH(int, width);
        QFETCH(QLocale, locale);
        QTEST(::formatSeconds(value, width, locale), "expected");
    }

    void roundWhole_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("2.5 -> 3") << 2.5 << qint64(3);
        QTest::newRow("-2.5 -> -3") << -2.5 << qint64(-3);
        QTest::newRow("large tick count") << 8589934591.5 << qint64(8589934592);
        QTest::newRow("NaN -> 0") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
        QTest::newRow("beyond 64 bits saturates") << 1e300 << std::numeric_limits<qint64>::max();
        QTest::newRow("below 64 bits saturates") << -1e300 << std::numeric_limits<qint64>::min();
    }

    void roundWhole()
    {
        QFETCH(double, value);
        QTEST(::roundWhole(value), "expected");
    }
};

TESSEL_TEST(tst_values)
#include "tst_values.moc"
