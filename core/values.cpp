#include "core/values.h"

#include "core/clsframe.h"
#include "core/digits.h"
#include "core/prompts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString notDigit = QStringLiteral("Value must be digit!");
const QString notHex = QStringLiteral("Value must be in hex!");
const QString tooBig = QStringLiteral("Value is big!");

int hexDigit(QChar ch)
{
    return digitValue(ch.unicode(), 16);
}

// Value of a text of digits of `base` (already checked); saturates one past
// `limit` so an overlong text still compares as too big.
qint64 readDigits(const QString &text, int base, qint64 limit)
{
    qint64 value = 0;
    for (QChar ch : text) {
        value = value * base + hexDigit(ch);
        if (value > limit)
            return limit + 1;
    }
    return value;
}

// Whole text as a hex number of at most 32 bits, else 0.
quint32 hexNumber(QStringView text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 16);
    if (!ok)
        return 0;
    for (QChar ch : text) {
        if (hexDigit(ch) < 0) // toUInt also takes signs, spaces and "0x"
            return 0;
    }
    return value;
}

// What the decimal and the hex check share: an empty text becomes "0", every
// character must be a digit of `base`, the value must fit `limit` (then it is
// kept in `out`) and `maximum`.
int checkDigits(Prompts &prompts, QString &text, int base, qint64 limit, qint64 maximum, ValueCheck *out, qint64 &value)
{
    if (text.isEmpty())
        text = QStringLiteral("0");
    for (QChar ch : std::as_const(text)) {
        if (digitValue(ch.unicode(), base) < 0) {
            prompts.error(base == 16 ? notHex : notDigit);
            return checkBadDigit;
        }
    }
    value = readDigits(text, base, limit);
    if (value > limit) {
        prompts.error(tooBig);
        return checkTooBig;
    }
    if (out)
        out->parsedValue = value;
    if (value > maximum) {
        prompts.error(tooBig);
        return checkTooBig;
    }
    return checkOk;
}

} // namespace

int checkDecimal(Prompts &prompts, QString &text, qint64 maximum, ValueCheck *out)
{
    qint64 value = 0;
    return checkDigits(prompts, text, 10, std::numeric_limits<qint32>::max(), maximum, out, value);
}

int checkHex(Prompts &prompts, QString &text, int digits, qint64 maximum, ValueCheck *out)
{
    qint64 value = 0;
    if (const int result = checkDigits(prompts, text, 16, std::numeric_limits<quint32>::max(), maximum, out, value);
        result != checkOk)
        return result;
    const QString padded = hexPad(value, digits);
    if (padded.size() > digits) {
        prompts.error(tooBig);
        return checkTooBig;
    }
    text = padded;
    if (out)
        out->parsedHexText = padded;
    return checkOk;
}

QString deviceKey(qint64 id)
{
    return QStringLiteral("DEV_") + QString::number(id);
}

qint32 deviceKeyId(const QString &key)
{
    bool ok = false;
    const qint32 id = QStringView(key).mid(4).toInt(&ok);
    return ok ? id : 0;
}

QString idKey(qint32 keyNumber)
{
    return QStringLiteral("ID_") + hexPad(keyNumber, 8);
}

qint32 idKeyNumber(const QString &key)
{
    return qint32(hexNumber(QStringView(key).mid(3)));
}

QString formatID(qint32 keyNumber)
{
    if (keyNumber & lostFrameKeyBit)
        return QStringLiteral("xxx");
    if (keyNumber & extendedKeyBit) {
        const quint32 identifier = quint32(keyNumber) & 0x1FFFFFFF;
        return hexPad(identifier >> 18, 3) + QLatin1Char('.') + hexPad(identifier & 0x3FFFF, 5);
    }
    return hexPad(keyNumber, 3);
}

QString idNodeText(qint32 keyNumber, const QString &name)
{
    return formatID(keyNumber) + QStringLiteral(" - ") + name;
}

QString idNodeName(const QString &nodeText)
{
    const qsizetype at = nodeText.indexOf(QStringLiteral(" - "));
    return at < 0 ? QString() : nodeText.mid(at + 3);
}

qint32 splitIdKey(const QString &key, bool &ide, QString &stdText, QString &extText)
{
    const qint32 keyNumber = idKeyNumber(key);
    if (keyNumber & lostFrameKeyBit)
        return -1;
    if (keyNumber & extendedKeyBit) {
        const quint32 identifier = quint32(keyNumber) & ~quint32(extendedKeyBit);
        ide = true;
        stdText = hexPad(identifier / 262144, 3);
        extText = hexPad(identifier & 0x3FFFF, 5);
    } else {
        ide = false;
        stdText = hexPad(keyNumber, 3);
        extText = QStringLiteral("-----");
    }
    return keyNumber;
}

qint32 makeIdNumber(bool ide, const QString &stdText, const QString &extText)
{
    const quint32 standard = hexNumber(stdText);
    if (!ide)
        return qint32(standard);
    return qint32((standard * 262144u) | hexNumber(extText) | quint32(extendedKeyBit));
}

qint32 frameIdNumber(const clsFrame &frame)
{
    if (frame.isLost)
        return lostFrameKeyBit;
    if (frame.IDE())
        return qint32((quint32(frame.ID.ID()) & 0x1FFFFFFF) | quint32(extendedKeyBit));
    return frame.ID.StdPart & 0x7FF;
}

quint32 hexColour(const QString &text)
{
    const auto digit = [&](qsizetype i) -> quint32 {
        const int d = i < text.size() ? hexDigit(text.at(i)) : -1;
        return d < 0 ? 0 : quint32(d);
    };
    return digit(2) * 0x100000 + digit(1) * 0x1000 + (2 * digit(0) + 1) * 16;
}

quint32 idColour(const QString &key)
{
    qint32 number = idKeyNumber(key);
    if (number & lostFrameKeyBit)
        return 0x808080;
    if (number & extendedKeyBit)
        number = qint32((quint32(number) & 0x1FFFFFFF) >> 18);
    return hexColour(hexPad(number, 3));
}

QString hexPad(qint64 value, int width)
{
    const quint64 bits = value < 0 ? quint64(quint32(value)) : quint64(value);
    return QString::number(bits, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString padLeft(qint64 number, int width)
{
    return QString::number(number).rightJustified(width, QLatin1Char(' '));
}

QString formatSeconds(float value, int width, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(double(value), 'f', 3).rightJustified(width, QLatin1Char(' '));
}

qint64 roundWhole(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(value);
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double top = 9223372036854775808.0;
    if (rounded >= top)
        return std::numeric_limits<qint64>::max();
    if (rounded < -top)
        return std::numeric_limits<qint64>::min();
    return qint64(rounded);
}

bool hasControlCharacter(const QString &name)
{
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph;
    });
}
