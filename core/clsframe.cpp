#include "core/clsframe.h"

#include "core/digits.h"

#include <QStringList>

#include <cmath>

namespace {

constexpr quint32 extFactor = 262144; // 2^18

// Little-endian 32-bit value at `offset`; bytes past the end read as 0.
quint32 readLE32(const QByteArray &bytes, qsizetype offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i) {
        const qsizetype at = offset + i;
        value <<= 8;
        if (at < bytes.size())
            value |= quint8(bytes.at(at));
    }
    return value;
}

quint8 byteAt(const QByteArray &bytes, qsizetype offset)
{
    return offset < bytes.size() ? quint8(bytes.at(offset)) : 0;
}

void appendLE32(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A whole field as a number of `base` (10 or 16) no larger than `max`; any
// other text (empty, sign, prefix, stray character) sets *ok false and reads 0.
quint64 parseField(QStringView text, int base, quint64 max, bool *ok)
{
    text = text.trimmed();
    quint64 value = 0;
    bool good = !text.isEmpty();
    for (QChar ch : text) {
        if (!good)
            break;
        const int digit = digitValue(ch.unicode(), base);
        if (digit < 0) {
            good = false;
            break;
        }
        value = value * quint64(base) + quint64(digit);
        if (value > max)
            good = false;
    }
    if (!good) {
        *ok = false;
        return 0;
    }
    return value;
}

} // namespace

qint32 clsID::ID() const
{
    return qint32(quint32(StdPart) * extFactor + quint32(ExtPart));
}

void clsID::setID(qint32 v)
{
    StdPart = v / qint32(extFactor);
    ExtPart = v % qint32(extFactor);
}

QString clsID::toString() const
{
    const auto hex = [](qint32 v, int width) {
        return QString::number(quint32(v), 16).toUpper().rightJustified(width, QLatin1Char('0'));
    };
    return QStringLiteral("std %1 ext %2").arg(hex(StdPart, 3), hex(ExtPart, 5));
}

QByteArray clsFrame::Data() const
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), dataLength());
}

void clsFrame::setData(const QByteArray &s)
{
    for (int i = 0; i < 8; ++i)
        data[i] = i < s.size() ? quint8(s.at(i)) : 0;
}

QByteArray clsFrame::getAsBinary() const
{
    QByteArray out;
    out.reserve(6 + 8);
    appendLE32(out, IDE() ? quint32(ID.ID()) : quint32(ID.StdPart));
    out.append(char(Flags));
    out.append(char(DLC));
    if (!RTR())
        out.append(Data());
    return out;
}

bool clsFrame::setFromBinary(const QByteArray &bytes, double bitRate)
{
    TimeStamp = readLE32(bytes, 0);
    Time = TimeStamp;
    // Flags first: IDE decides how the identifier bytes are stored.
    Flags = byteAt(bytes, 9);
    const quint32 identifier = readLE32(bytes, 5);
    if (IDE())
        ID.setID(qint32(identifier & 0x1FFFFFFF));
    else
        ID.StdPart = qint32(identifier & 0x7FF);
    DLC = byteAt(bytes, 10);
    qsizetype needed = 11;
    if (RTR()) {
        setData({});
    } else {
        setData(bytes.mid(11, dataLength()));
        needed += dataLength();
    }
    isLost = false;
    computeDuration(bitRate);
    return bytes.size() >= needed;
}

bool clsFrame::setLostFrame(const QByteArray &bytes)
{
    isLost = true;
    TimeStamp = readLE32(bytes, 0);
    ID.ExtPart = byteAt(bytes, 4);
    return bytes.size() >= 5;
}

bool clsFrame::setFromString(const QString &line, const QString &delimiter, double bitRate)
{
    const QStringList fields = delimiter.isEmpty()
                                   ? QStringList{line}
                                   : line.split(delimiter, Qt::KeepEmptyParts, Qt::CaseInsensitive);
    bool ok = true;
    const auto field = [&](qsizetype n) -> QStringView {
        if (n < fields.size())
            return fields.at(n);
        ok = false;
        return {};
    };
    const auto hex = [&](qsizetype n, quint64 max) { return parseField(field(n), 16, max, &ok); };
    const auto dec = [&](qsizetype n, quint64 max) { return parseField(field(n), 10, max, &ok); };

    TimeStamp = qint64(hex(0, 0xFFFFFFFF));
    Time = TimeStamp;

    if (field(1).trimmed() == QLatin1String("---")) {
        isLost = true;
        ID.ExtPart = qint32(dec(2, 0x7FFFFFFF));
        computeDuration(bitRate);
        return ok;
    }

    isLost = false;
    ID.StdPart = qint32(hex(1, 0x7FF));
    setRTR(int(dec(3, 0xFFFFFFFF) != 0));
    DLC = quint8(dec(7, 0xFF));
    if (!RTR()) {
        // Data bytes are fields 8 on; a field holding spaces (written with a
        // non-space delimiter) gives one byte per space-separated piece.
        QList<QStringView> bytes;
        for (qsizetype n = 8; n < fields.size() && bytes.size() < dataLength(); ++n) {
            const QStringView f = fields.at(n);
            if (f.trimmed().contains(QLatin1Char(' '))) {
                for (QStringView piece : f.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    bytes.append(piece);
            } else {
                bytes.append(f);
            }
        }
        QByteArray values;
        for (int i = 0; i < dataLength(); ++i) {
            if (i < bytes.size()) {
                values.append(char(parseField(bytes.at(i), 16, 0xFF, &ok)));
            } else {
                ok = false;
                values.append('\0');
            }
        }
        setData(values);
    }
    setIDE(int(dec(4, 0xFFFFFFFF) != 0));
    if (IDE())
        ID.ExtPart = qint32(hex(2, 0x3FFFF));
    setRB1(int(dec(5, 0xFFFFFFFF) != 0));
    setRB0(int(dec(6, 0xFFFFFFFF) != 0));
    computeDuration(bitRate);
    return ok;
}

void clsFrame::computeDuration(double bitRate)
{
    Duration = frameDuration(DLC, IDE() != 0, bitRate);
}

double clsFrame::frameDuration(int dlc, bool ide, double bitRate)
{
    if (!(bitRate > 0.0) || !std::isfinite(bitRate))
        return 0.0;
    const int bytes = dlc < 0 ? 0 : (dlc > 8 ? 8 : dlc);
    const double bits = 8.0 * bytes + (ide ? 64.0 : 44.0);
    return bits / bitRate;
}

QString clsFrame::toString() const
{
    QStringList bytes;
    for (quint8 b : data)
        bytes << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("%1%2 flags %3 dlc %4 data [%5] ts %6 time %7 dur %8")
        .arg(isLost ? QStringLiteral("lost ") : QString(), ID.toString())
        .arg(Flags, 2, 16, QLatin1Char('0'))
        .arg(DLC)
        .arg(bytes.join(QLatin1Char(' ')))
        .arg(QString::number(TimeStamp, 16).toUpper().rightJustified(8, QLatin1Char('0')))
        .arg(Time ? QString::number(*Time) : QStringLiteral("empty"))
        .arg(Duration, 0, 'g', 17);
}
