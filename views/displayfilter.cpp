#include "views/displayfilter.h"

#include "core/values.h"

#include <QRegularExpression>

namespace displayfilter {

namespace {

constexpr quint32 standardMax = 0x7FF;
constexpr quint32 extendedMax = 0x1FFFFFFF;

bool isHex(QStringView text)
{
    for (QChar c : text)
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f')) &&
            !(c >= QLatin1Char('A') && c <= QLatin1Char('F')))
            return false;
    return !text.isEmpty();
}

struct Id
{
    bool extended = false;
    quint32 value = 0;
};

// One identifier as a term writes it; an error text when it is none.
QString parseId(QStringView text, Id &id)
{
    const QString shown = text.toString();
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    bool ok = dot >= 0 ? isHex(text.left(dot)) && isHex(text.mid(dot + 1)) : isHex(text);
    if (!ok)
        return QStringLiteral("\"%1\" is not a hex identifier").arg(shown);
    if (dot >= 0) {
        // "SSS.EEEEE", as the monitor list writes an extended identifier.
        const QStringView stdPart = text.left(dot);
        const QStringView extPart = text.mid(dot + 1);
        if (stdPart.isEmpty() || stdPart.size() > 3 || extPart.isEmpty() || extPart.size() > 5)
            return QStringLiteral("\"%1\" is not an identifier (SSS.EEEEE for an extended one)").arg(shown);
        const quint32 s = stdPart.toUInt(&ok, 16);
        bool extOk = false;
        const quint32 e = extPart.toUInt(&extOk, 16);
        if (!ok || !extOk || s > standardMax || e > 0x3FFFF)
            return QStringLiteral("\"%1\" is not an identifier (SSS.EEEEE for an extended one)").arg(shown);
        id = {true, (s << 18) | e};
        return {};
    }
    if (text.isEmpty() || text.size() > 8)
        return QStringLiteral("\"%1\" is not a hex identifier").arg(shown);
    const quint32 value = text.toUInt(&ok, 16);
    if (!ok)
        return QStringLiteral("\"%1\" is not a hex identifier").arg(shown);
    const bool extended = text.size() > 3;
    if (extended ? value > extendedMax : value > standardMax)
        return extended ? QStringLiteral("\"%1\" is above the largest extended identifier 1FFFFFFF").arg(shown)
                        : QStringLiteral("\"%1\" is above the largest standard identifier 7FF").arg(shown);
    id = {extended, value};
    return {};
}

QString parseTerm(QStringView text, IdTerm &term)
{
    const QString shown = text.toString();
    if (text.startsWith(QLatin1Char('!'))) {
        term.exclude = true;
        text = text.mid(1);
        if (text.isEmpty())
            return QStringLiteral("\"!\" needs an identifier after it");
    }
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (slash >= 0 && dash >= 0)
        return QStringLiteral("\"%1\": a range cannot have a mask").arg(shown);
    if (slash >= 0) {
        Id id;
        Id mask;
        QString error = parseId(text.left(slash), id);
        if (error.isEmpty()) {
            const QStringView maskText = text.mid(slash + 1);
            bool ok = false;
            mask.value = maskText.toUInt(&ok, 16);
            if (!ok || !isHex(maskText) || maskText.size() > 8 ||
                mask.value > (id.extended ? extendedMax : standardMax))
                error = QStringLiteral("\"%1\": the mask is not a hex number of the identifier's width").arg(shown);
        }
        if (!error.isEmpty())
            return error;
        term.extended = id.extended;
        term.low = term.high = id.value;
        term.mask = mask.value;
        return {};
    }
    if (dash >= 0) {
        Id from;
        Id to;
        QString error = parseId(text.left(dash), from);
        if (error.isEmpty())
            error = parseId(text.mid(dash + 1), to);
        if (!error.isEmpty())
            return error;
        if (from.extended != to.extended)
            return QStringLiteral("\"%1\": both ends must be standard (3 digits) or both extended").arg(shown);
        if (from.value > to.value)
            return QStringLiteral("\"%1\": the range ends below its start").arg(shown);
        term.extended = from.extended;
        term.low = from.value;
        term.high = to.value;
        return {};
    }
    Id id;
    if (QString error = parseId(text, id); !error.isEmpty())
        return error;
    term.extended = id.extended;
    term.low = term.high = id.value;
    return {};
}

quint32 frameId(const clsFrame &frame)
{
    return frame.IDE() ? quint32(frame.ID.ID()) & extendedMax : quint32(frame.ID.StdPart) & standardMax;
}

} // namespace

bool IdTerm::matches(bool frameExtended, quint32 id) const
{
    if (frameExtended != extended)
        return false;
    if (mask)
        return (id & *mask) == (low & *mask);
    return id >= low && id <= high;
}

bool IdList::hasIncludes() const
{
    for (const IdTerm &t : terms)
        if (!t.exclude)
            return true;
    return false;
}

bool IdList::matches(bool frameExtended, quint32 id) const
{
    bool included = true;
    bool anyInclude = false;
    for (const IdTerm &t : terms) {
        if (t.exclude) {
            if (t.matches(frameExtended, id))
                return false;
        } else {
            if (!anyInclude)
                included = false;
            anyInclude = true;
            included = included || t.matches(frameExtended, id);
        }
    }
    return included;
}

bool DataPattern::matchesAt(const clsFrame &frame, int offset) const
{
    if (frame.isLost || frame.RTR() || offset < 0 || offset + values.size() > frame.dataLength())
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        if ((frame.DataB(int(offset + i)) & masks[i]) != values[i])
            return false;
    return true;
}

bool DataPattern::occursIn(const clsFrame &frame) const
{
    for (int offset = 0; offset + values.size() <= frame.dataLength(); ++offset)
        if (matchesAt(frame, offset))
            return true;
    return false;
}

Parsed<IdList> parseIds(const QString &text)
{
    Parsed<IdList> result;
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    // "100 - 1FF" reads as one range.
    QString joined = text;
    joined.replace(QRegularExpression(QStringLiteral("\\s*([-/])\\s*")), QStringLiteral("\\1"));
    const QStringList words = joined.split(separators, Qt::SkipEmptyParts);
    for (const QString &word : words) {
        IdTerm term;
        const QString error = parseTerm(word, term);
        if (!error.isEmpty()) {
            result.error = error;
            result.value = {};
            return result;
        }
        result.value.terms << term;
    }
    return result;
}

Parsed<DataPattern> parsePattern(const QString &text)
{
    Parsed<DataPattern> result;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    for (const QString &word : words) {
        // "*" is any byte too, as "??".
        const QString byte = word == QLatin1String("*") ? QStringLiteral("??") : word;
        quint8 value = 0;
        quint8 mask = 0;
        bool good = byte.size() == 2;
        for (qsizetype i = 0; good && i < 2; ++i) {
            const QChar c = byte.at(i);
            const int shift = i == 0 ? 4 : 0;
            if (c == QLatin1Char('?'))
                continue;
            bool ok = false;
            const uint digit = QString(c).toUInt(&ok, 16);
            good = ok;
            value |= quint8(digit << shift);
            mask |= quint8(0xF << shift);
        }
        if (!good) {
            result.error = QStringLiteral("\"%1\" is not a data byte (two hex digits, ? for any digit)").arg(word);
            result.value = {};
            return result;
        }
        result.value.values << value;
        result.value.masks << mask;
    }
    if (result.value.values.size() > 8) {
        result.error =
            QStringLiteral("a frame has at most 8 data bytes, the pattern has %1").arg(result.value.values.size());
        result.value = {};
    }
    return result;
}

bool Filter::matches(const clsFrame &frame, const std::function<bool(qint32)> &isNew) const
{
    if (frame.isLost)
        return !ids.hasIncludes() && data.isEmpty() && !onlyNew;
    if (onlyLost)
        return false;
    if (!ids.isEmpty() && !ids.matches(frame.IDE() != 0, frameId(frame)))
        return false;
    if (!data.isEmpty() && !data.matches(frame))
        return false;
    return !onlyNew || (isNew && isNew(frameIdNumber(frame)));
}

Parsed<Filter> parseFilter(const QString &idText, const QString &dataText, bool onlyNew, bool onlyLost)
{
    Parsed<Filter> result;
    const Parsed<IdList> ids = parseIds(idText);
    if (!ids.ok()) {
        result.error = QStringLiteral("Identifiers: ") + ids.error;
        return result;
    }
    const Parsed<DataPattern> data = parsePattern(dataText);
    if (!data.ok()) {
        result.error = QStringLiteral("Data: ") + data.error;
        return result;
    }
    result.value = {ids.value, data.value, onlyNew, onlyLost};
    return result;
}

QString idTermText(const clsFrame &frame)
{
    if (frame.isLost)
        return {};
    return frame.IDE() ? hexPad(frameId(frame), 8) : hexPad(frameId(frame), 3);
}

} // namespace displayfilter
