// clsFrame's three readers of outside data: the capture record
// (setFromBinary), the lost-frame record (setLostFrame) and the capture-file
// text line (setFromString).
//
// Input: byte 0 = reader (mode % 4: 0 capture record, 1 lost-frame record,
// 2 text line, 3 a frame built from the bytes and sent through every layout);
// byte 1 = bit rate (low 3 bits) and delimiter (bits 3-5; 7 = the next byte's
// length of delimiter bytes from the input); bit 6 = text as Latin-1, else UTF-8.
//
// Checks: a frame never holds more than 8 data bytes; bytes past the DLC and
// the data of a remote frame are 0; identifier parts stay in their ranges;
// getAsBinary is well-formed; the duration is a finite number >= 0; a complete
// record or an accepted line, written again, reads back as the same frame.
#include "fuzz/fuzzcheck.h"
#include "core/clsframe.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

const double bitRates[] = {500000.0, 0.0, 1000000.0, 10000.0, -5.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e-300};

// Delimiters with which a line can be written and read back unambiguously.
const char *const delimiters[] = {" ", ",", "\t", "x", "X", "::", ";"};

QString hex(quint64 value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

// The record text of a capture-file line for this frame, as the message list's
// cells give it: TSMP ID-Std ID-Ext RTR IDE RB1 RB0 DLC Data, the data bytes
// separated by single spaces inside their cell.
QString textLine(const clsFrame &f, const QString &delimiter)
{
    QStringList cells;
    cells << hex(quint64(f.TimeStamp), 8);
    if (f.isLost) {
        cells << QStringLiteral("---") << QString::number(f.ID.ExtPart) << QStringLiteral("-") << QStringLiteral("-")
              << QStringLiteral("-") << QStringLiteral("-") << QStringLiteral("0") << QString();
        return cells.join(delimiter);
    }
    cells << hex(quint64(f.ID.StdPart), 3);
    cells << (f.IDE() ? hex(quint64(f.ID.ExtPart), 5) : QStringLiteral("-----"));
    cells << QString::number(f.RTR()) << QString::number(f.IDE()) << QString::number(f.RB1())
          << QString::number(f.RB0()) << QString::number(f.DLC);
    QStringList bytes;
    if (!f.RTR())
        for (char b : f.Data())
            bytes << hex(quint8(b), 2);
    cells << bytes.join(QLatin1Char(' '));
    return cells.join(delimiter);
}

// What holds for any frame, whatever filled it.
void checkAny(const clsFrame &f)
{
    FUZZ_CHECK(f.dataLength() >= 0 && f.dataLength() <= 8);
    FUZZ_CHECK(f.Data().size() == f.dataLength());
    FUZZ_CHECK(std::isfinite(f.Duration) && f.Duration >= 0.0);

    const QByteArray bin = f.getAsBinary();
    FUZZ_CHECK(bin.size() == 6 + (f.RTR() ? 0 : f.dataLength()));
    const quint32 identifier = quint32(quint8(bin[0])) | quint32(quint8(bin[1])) << 8 |
                               quint32(quint8(bin[2])) << 16 | quint32(quint8(bin[3])) << 24;
    FUZZ_CHECK(identifier == (f.IDE() ? quint32(f.ID.ID()) : quint32(f.ID.StdPart)));
    FUZZ_CHECK(quint8(bin[4]) == f.Flags);
    FUZZ_CHECK(quint8(bin[5]) == f.DLC);
    if (!f.RTR())
        FUZZ_CHECK(bin.mid(6) == f.Data());
}

// What holds for a new record that a reader filled (not a lost-frame record).
void checkFilled(const clsFrame &f)
{
    checkAny(f);
    FUZZ_CHECK(f.TimeStamp >= 0 && f.TimeStamp <= 0xFFFFFFFFLL);
    FUZZ_CHECK(f.Time && *f.Time == f.TimeStamp);
    FUZZ_CHECK(f.ID.StdPart >= 0 && f.ID.StdPart <= 0x7FF);
    FUZZ_CHECK(f.ID.ExtPart >= 0 && f.ID.ExtPart <= 0x3FFFF);
    for (int i = f.RTR() ? 0 : f.dataLength(); i < 8; ++i)
        FUZZ_CHECK(f.DataB(i) == 0);
}

// An accepted frame written as a text line and read back is the same frame.
void checkTextRoundTrip(const clsFrame &f, const QString &delimiter, double bitRate)
{
    clsFrame back;
    const QString line = textLine(f, delimiter);
    FUZZ_CHECK(back.setFromString(line, delimiter, bitRate));
    FUZZ_CHECK(back == f);
}

// The capture record of a frame: stamp, buffer level, identifier, flags, DLC, data.
QByteArray captureRecord(const clsFrame &f, quint8 level)
{
    QByteArray r;
    for (int i = 0; i < 4; ++i)
        r.append(char((quint64(f.TimeStamp) >> (8 * i)) & 0xFF));
    r.append(char(level));
    const quint32 identifier = f.IDE() ? quint32(f.ID.ID()) : quint32(f.ID.StdPart);
    for (int i = 0; i < 4; ++i)
        r.append(char((identifier >> (8 * i)) & 0xFF));
    r.append(char(f.Flags));
    r.append(char(f.DLC));
    r.append(f.Data());
    return r;
}

void fuzzCaptureRecord(const QByteArray &bytes, double bitRate)
{
    clsFrame f;
    const bool complete = f.setFromBinary(bytes, bitRate);
    checkFilled(f);
    FUZZ_CHECK(!f.isLost);
    FUZZ_CHECK(complete == (bytes.size() >= 11 + (f.RTR() ? 0 : f.dataLength())));
    if (f.RTR())
        FUZZ_CHECK(f.Data() == QByteArray(f.dataLength(), '\0'));

    // A frame that already holds values: a standard identifier leaves ExtPart as it was.
    clsFrame used;
    used.ID.ExtPart = 0x2AAAA;
    used.setData("\x11\x22\x33\x44\x55\x66\x77\x88");
    used.setFromBinary(bytes, bitRate);
    checkAny(used);
    FUZZ_CHECK(used.ID.ExtPart == (f.IDE() ? f.ID.ExtPart : 0x2AAAA));
    FUZZ_CHECK(used.Data() == f.Data());

    if (!complete)
        return;
    clsFrame again;
    FUZZ_CHECK(again.setFromBinary(captureRecord(f, quint8(bytes.size() > 4 ? bytes[4] : 0)), bitRate));
    FUZZ_CHECK(again == f);
    // The text line carries flag bits 0-3 only.
    clsFrame textual = f;
    textual.Flags &= 0x0F;
    textual.computeDuration(bitRate);
    checkTextRoundTrip(textual, QStringLiteral(" "), bitRate);
}

void fuzzLostRecord(const QByteArray &bytes)
{
    clsFrame before;
    before.DLC = 3;
    before.Flags = 0x02;
    before.Time = 77;
    before.Duration = 0.5;
    before.setData("\x01\x02\x03");
    clsFrame f = before;
    const bool complete = f.setLostFrame(bytes);
    checkAny(f);
    FUZZ_CHECK(complete == (bytes.size() >= 5));
    FUZZ_CHECK(f.isLost);
    FUZZ_CHECK(f.TimeStamp >= 0 && f.TimeStamp <= 0xFFFFFFFFLL);
    FUZZ_CHECK(f.ID.ExtPart >= 0 && f.ID.ExtPart <= 255);
    // Everything else is left as it was.
    FUZZ_CHECK(f.Time == before.Time && f.DLC == before.DLC && f.Flags == before.Flags &&
               f.Duration == before.Duration && f.Data() == before.Data() && f.ID.StdPart == before.ID.StdPart);
}

void fuzzTextLine(const QString &line, const QString &delimiter, bool safeDelimiter, double bitRate)
{
    clsFrame f;
    const bool ok = f.setFromString(line, delimiter, bitRate);
    if (f.isLost) {
        checkAny(f);
        FUZZ_CHECK(f.TimeStamp >= 0 && f.TimeStamp <= 0xFFFFFFFFLL);
        FUZZ_CHECK(f.Time && *f.Time == f.TimeStamp);
        FUZZ_CHECK(f.ID.ExtPart >= 0);
        FUZZ_CHECK(f.DLC == 0 && f.Flags == 0);
    } else {
        checkFilled(f);
        FUZZ_CHECK((f.Flags & 0xF0) == 0);
    }
    if (!ok)
        return;
    checkTextRoundTrip(f, QStringLiteral(" "), bitRate);
    if (safeDelimiter)
        checkTextRoundTrip(f, delimiter, bitRate);
}

// A frame made from the input's bytes, through the capture record, the send
// layout and the text line.
void fuzzBuiltFrame(FuzzInput &in, double bitRate, const QString &delimiter)
{
    clsFrame f;
    f.TimeStamp = in.dword();
    f.Time = f.TimeStamp;
    const quint32 identifier = in.dword();
    f.Flags = in.byte();
    f.DLC = in.byte();
    if (f.IDE())
        f.ID.setID(qint32(identifier & 0x1FFFFFFF));
    else
        f.ID.StdPart = qint32(identifier & 0x7FF);
    size_t got = 0;
    const uint8_t *bytes = in.take(8, &got);
    f.setData(QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(got)).left(f.dataLength()));
    if (f.RTR())
        f.setData({});
    f.computeDuration(bitRate);
    checkFilled(f);

    clsFrame fromRecord;
    FUZZ_CHECK(fromRecord.setFromBinary(captureRecord(f, 0), bitRate));
    FUZZ_CHECK(fromRecord == f);

    clsFrame textual = f;
    textual.Flags &= 0x0F;
    textual.computeDuration(bitRate);
    checkTextRoundTrip(textual, delimiter, bitRate);

    clsFrame lost;
    lost.isLost = true;
    lost.TimeStamp = f.TimeStamp;
    lost.Time = f.TimeStamp;
    lost.ID.ExtPart = qint32(identifier & 0x7FFFFFFF);
    lost.computeDuration(bitRate);
    checkTextRoundTrip(lost, delimiter, bitRate);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte() % 4;
    const uint8_t options = in.byte();
    const double bitRate = bitRates[options & 0x07];
    const int delimiterChoice = (options >> 3) & 0x07;
    QString delimiter;
    bool safeDelimiter = true;
    if (delimiterChoice < 7) {
        delimiter = QString::fromLatin1(delimiters[delimiterChoice]);
    } else {
        size_t got = 0;
        const uint8_t *d = in.take(in.byte() % 4, &got);
        delimiter = QString::fromLatin1(reinterpret_cast<const char *>(d), qsizetype(got));
        safeDelimiter = false;
    }
    const QByteArray rest(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));

    switch (mode) {
    case 0:
        fuzzCaptureRecord(rest, bitRate);
        break;
    case 1:
        fuzzLostRecord(rest);
        break;
    case 2:
        fuzzTextLine((options & 0x40) ? QString::fromLatin1(rest) : QString::fromUtf8(rest), delimiter, safeDelimiter,
                     bitRate);
        break;
    default:
        fuzzBuiltFrame(in, bitRate, safeDelimiter ? delimiter : QStringLiteral(" "));
        break;
    }
    return 0;
}
