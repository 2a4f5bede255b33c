#include "candb/signalboxes.h"

#include "core/values.h"

#include <cmath>
#include <limits>

namespace {

constexpr qint64 maxMultiplexValue = std::numeric_limits<qint32>::max();

std::optional<qint64> parseRawValue(const QString &text)
{
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = text.mid(2);
        for (const QChar c : digits)
            if (!QStringLiteral("0123456789abcdefABCDEF").contains(c))
                return std::nullopt;
        const qulonglong value = digits.toULongLong(&ok, 16);
        if (!ok || value > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(value);
    }
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

bool quoted(const QString &text)
{
    return text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"');
}

} // namespace

std::optional<double> parseNumber(const QString &text, const QLocale &locale)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    QString trimmed = text.trimmed();
    bool ok = false;
    double value = c.toDouble(trimmed, &ok);
    const QString point = locale.decimalPoint();
    if (!ok && point != QLatin1String(".") && trimmed.contains(point))
        value = c.toDouble(trimmed.replace(point, QLatin1String(".")), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString numberText(double value)
{
    // Plain digits for the magnitudes of factors and limits, an exponent only
    // where the digits would run long.
    const double magnitude = std::fabs(value);
    const bool plain = value == 0 || (magnitude >= 1e-6 && magnitude < 1e15);
    return QString::number(value, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

ValueTextsRead parseValueTexts(const QString &text)
{
    ValueTextsRead result;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        qsizetype gap = 0;
        while (gap < line.size() && !line.at(gap).isSpace())
            ++gap;
        const QString number = line.left(gap);
        QString label = line.mid(gap).trimmed();
        if (quoted(label))
            label = label.mid(1, label.size() - 2);
        const std::optional<qint64> value = parseRawValue(number);
        const QString where = QStringLiteral("Value texts, line %1: ").arg(i + 1);
        if (!value)
            result.error = where + QStringLiteral("\"%1\" is not a whole number.").arg(number);
        else if (label.isEmpty())
            result.error = where + QStringLiteral("the value %1 has no text.").arg(number);
        else if (hasControlCharacter(label))
            result.error = where + QStringLiteral("the text holds a control character.");
        else if (result.texts.contains(*value))
            result.error = where + QStringLiteral("the value %1 has a text already.").arg(*value);
        if (!result.error.isEmpty()) {
            result.texts.clear();
            return result;
        }
        result.texts.insert(*value, label);
    }
    return result;
}

QString valueTextsText(const QMap<qint64, QString> &texts)
{
    QStringList lines;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        // Quotes keep what trimming or unquoting would lose.
        const bool keep = it.value() != it.value().trimmed() || quoted(it.value()) || it.value().isEmpty();
        lines << QString::number(it.key()) + u' ' + (keep ? u'"' + it.value() + u'"' : it.value());
    }
    return lines.join(u'\n');
}

SignalBoxes SignalBoxes::of(const DataField &field)
{
    SignalBoxes boxes;
    boxes.cmbDataOrder = int(field.order);
    boxes.cmbDataType = int(field.type);
    boxes.txtDataFactor = numberText(field.factor);
    boxes.txtDataOffset = numberText(field.offset);
    boxes.txtDataMinimum = numberText(field.minimum);
    boxes.txtDataMaximum = numberText(field.maximum);
    boxes.txtDataUnit = field.unit;
    boxes.txtDataComment = field.comment;
    boxes.cmbDataMultiplex =
        field.multiplexor ? Multiplexor : (field.multiplexValue >= 0 ? Multiplexed : NotMultiplexed);
    boxes.txtDataMultiplexValue = field.multiplexValue >= 0 ? QString::number(field.multiplexValue) : QString();
    boxes.txtDataValueTexts = valueTextsText(field.valueTexts);
    return boxes;
}

SignalBoxes::Read SignalBoxes::read(const DataField &shown, const QLocale &locale) const
{
    const SignalBoxes before = of(shown);
    Read result{shown, {}};
    DataField &field = result.field;
    if (cmbDataOrder != before.cmbDataOrder)
        field.order = bigEndian() ? signaldecode::ByteOrder::BigEndian : signaldecode::ByteOrder::LittleEndian;
    if (cmbDataType != before.cmbDataType)
        field.type = signaldecode::ValueType(qBound(0, cmbDataType, int(signaldecode::ValueType::Float64)));

    const struct
    {
        const QString &text;
        const QString &shownText;
        double *value;
        const char *name;
    } numbers[] = {{txtDataFactor, before.txtDataFactor, &field.factor, "Factor"},
                   {txtDataOffset, before.txtDataOffset, &field.offset, "Offset"},
                   {txtDataMinimum, before.txtDataMinimum, &field.minimum, "Minimum"},
                   {txtDataMaximum, before.txtDataMaximum, &field.maximum, "Maximum"}};
    for (const auto &number : numbers) {
        if (number.text == number.shownText)
            continue;
        const std::optional<double> value = parseNumber(number.text, locale);
        if (!value) {
            result.error = QStringLiteral("%1 must be a number.").arg(QLatin1String(number.name));
            return result;
        }
        *number.value = *value;
    }
    if (field.factor == 0) {
        result.error = QStringLiteral("Factor must not be 0.");
        return result;
    }
    if (field.minimum > field.maximum) {
        result.error = QStringLiteral("Minimum must not be above Maximum.");
        return result;
    }

    if (txtDataUnit != before.txtDataUnit) {
        if (hasControlCharacter(txtDataUnit)) {
            result.error = QStringLiteral("Unit must be one line of text.");
            return result;
        }
        field.unit = txtDataUnit;
    }
    if (txtDataComment != before.txtDataComment)
        field.comment = txtDataComment;

    if (cmbDataMultiplex != before.cmbDataMultiplex ||
        (multiplexValueUsed() && txtDataMultiplexValue != before.txtDataMultiplexValue)) {
        field.multiplexor = cmbDataMultiplex == Multiplexor;
        field.multiplexValue = -1;
        if (multiplexValueUsed()) {
            bool ok = false;
            const qint64 value = txtDataMultiplexValue.trimmed().toLongLong(&ok, 10);
            if (!ok || value < 0 || value > maxMultiplexValue) {
                result.error =
                    QStringLiteral("Multiplex value must be a whole number from 0 to %1.").arg(maxMultiplexValue);
                return result;
            }
            field.multiplexValue = value;
        }
    }

    if (txtDataValueTexts != before.txtDataValueTexts) {
        ValueTextsRead texts = parseValueTexts(txtDataValueTexts);
        if (!texts.error.isEmpty()) {
            result.error = texts.error;
            return result;
        }
        field.valueTexts = std::move(texts.texts);
    }
    return result;
}
