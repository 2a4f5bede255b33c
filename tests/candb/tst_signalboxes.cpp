// The identifier editor's signal boxes as text: numbers in either decimal
// notation and the value texts, one "value text" a line.
#include "support/testregistry.h"
#include "candb/signalboxes.h"

#include <QtTest>

#include <cmath>

namespace {

QString mapText(const QMap<qint64, QString> &texts)
{
    QStringList parts;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        parts << QString::number(it.key()) + '=' + it.value();
    return parts.join(u'|');
}

} // namespace

class tst_SignalBoxes : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("read"); // "-" when refused
        // clang-format off
        QTest::newRow("point") << "0.25" << "en_US" << "0.25";
        QTest::newRow("point where comma is the separator") << "0.25" << "de_DE" << "0.25";
        QTest::newRow("the locale's comma") << "-0,25" << "de_DE" << "-0.25";
        QTest::newRow("comma where point is the separator") << "0,25" << "en_US" << "-";
        QTest::newRow("group separators") << "1.000,5" << "de_DE" << "-";
        QTest::newRow("exponent and spaces") << " 1.5e3 " << "C" << "1500";
        QTest::newRow("empty") << "" << "C" << "-";
        QTest::newRow("NaN") << "nan" << "C" << "-";
        QTest::newRow("infinity") << "-inf" << "C" << "-";
        QTest::newRow("overflow") << "1e999" << "C" << "-";
        QTest::newRow("hex") << "0x10" << "C" << "-";
        // clang-format on
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        const std::optional<double> read = parseNumber(text, QLocale(locale));
        QTEST(read ? numberText(*read) : QString("-"), "read");
    }

    // What the boxes show reads back as exactly the stored value.
    void numberTextRoundTrips()
    {
        for (const double value : {0.1, 1.0 / 3, -40.0, 1e-7, 6.02e23, 1e15, -0.0})
            QCOMPARE(parseNumber(numberText(value), QLocale::c()), std::optional<double>(value));
        QCOMPARE(numberText(1000000) + ' ' + numberText(0.000125), QString("1000000 0.000125"));
    }

    void valueTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read"); // the texts, or the message
        // clang-format off
        QTest::newRow("decimal, negative, hex, blank and CRLF lines")
            << "0 Off\r\n\n-1 Error\n0x0a   Ten\n" << "-1=Error|0=Off|10=Ten";
        QTest::newRow("quotes dropped, inner spaces kept") << "1 \" On \"\n2\tTwo words" << "1= On |2=Two words";
        QTest::newRow("no number") << "1 On\nx Off" << "Value texts, line 2: \"x\" is not a whole number.";
        QTest::newRow("fraction") << "1.5 Half" << "Value texts, line 1: \"1.5\" is not a whole number.";
        QTest::newRow("hex with a sign") << "0x-5 Odd" << "Value texts, line 1: \"0x-5\" is not a whole number.";
        QTest::newRow("hex past 63 bits")
            << "0x8000000000000000 Big" << "Value texts, line 1: \"0x8000000000000000\" is not a whole number.";
        QTest::newRow("no text") << "3" << "Value texts, line 1: the value 3 has no text.";
        QTest::newRow("empty quotes") << "3 \"\"" << "Value texts, line 1: the value 3 has no text.";
        QTest::newRow("twice") << "1 On\n0x1 Again" << "Value texts, line 2: the value 1 has a text already.";
        // clang-format on
    }
    void valueTexts()
    {
        QFETCH(QString, text);
        const ValueTextsRead read = parseValueTexts(text);
        QTEST(read.error.isEmpty() ? mapText(read.texts) : read.error, "read");
        QVERIFY(read.error.isEmpty() || read.texts.isEmpty());
        QCOMPARE(parseValueTexts(valueTextsText(read.texts)).texts, read.texts);
    }
};

TESSEL_TEST(tst_SignalBoxes)
#include "tst_signalboxes.moc"
