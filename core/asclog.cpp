// ASCII traces:
//   date Tue Nov 14 22:13:20 2023
//   base hex  timestamps absolute
//   internal events logged
//   Begin Triggerblock Tue Nov 14 22:13:20 2023
//      0.001000 1  123             Rx   d 8 11 22 33 44 55 66 77 88
//      0.002000 2  12345678x       Tx   r 4
//   End TriggerBlock
// Channel n is bus n - 1; "x" marks an extended identifier. With "base dec"
// identifiers, DLCs and data are decimal; with "timestamps relative" each
// event's time counts from the event before it.
#include "core/logformatparse.h"

#include <QDateTime>

#include <algorithm>

namespace logformat::detail {

namespace {

const char *const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const dayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

bool equalsNoCase(QByteArrayView a, const char *b)
{
    return QByteArrayView(b).compare(a, Qt::CaseInsensitive) == 0;
}

// "date Tue Nov 14 22:13:20 2023" or "date Tue Nov 14 10:13:20.123 pm 2023",
// local time, in microseconds since 1970.
std::optional<qint64> parseDate(QByteArrayView text)
{
    qsizetype pos = 0;
    (void)nextWord(text, pos); // "date" or "Begin Triggerblock"'s second word
    (void)nextWord(text, pos); // the day of the week
    const QByteArrayView monthText = nextWord(text, pos);
    int month = 0;
    for (int m = 0; m < 12; ++m) {
        if (equalsNoCase(monthText, monthNames[m]))
            month = m + 1;
    }
    quint32 day = 0;
    if (month == 0 || !parseDecimal(nextWord(text, pos), day))
        return std::nullopt;
    const QByteArrayView clock = nextWord(text, pos);
    QByteArrayView yearText = nextWord(text, pos);
    int hourShift = -1; // -1 24-hour clock, else 0 am / 12 pm
    if (equalsNoCase(yearText, "am") || equalsNoCase(yearText, "pm")) {
        hourShift = equalsNoCase(yearText, "pm") ? 12 : 0;
        yearText = nextWord(text, pos);
    }
    quint32 year = 0;
    // Years past 9999 would overflow the microseconds since 1970.
    if (!parseDecimal(yearText, year) || year < 1 || year > 9999 || clock.size() < 8 || clock[2] != ':' ||
        clock[5] != ':')
        return std::nullopt;
    quint32 h = 0;
    quint32 m = 0;
    qint64 s = 0;
    if (!parseDecimal(clock.first(2), h) || !parseDecimal(clock.sliced(3, 2), m) || !parseFixed(clock.sliced(6), s))
        return std::nullopt;
    if (hourShift >= 0)
        h = h % 12 + quint32(hourShift);
    const QDate date(int(year), month, int(day));
    const QTime time(int(h), int(m), int(s / 1000000000));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime when(date, time);
    return when.toMSecsSinceEpoch() * 1000 + s % 1000000000 / 1000;
}

class AscReader final : public LineReader
{
public:
    explicit AscReader(FrameOut &out)
        : out(out)
    {
    }

    void line(QByteArrayView text) override
    {
        qsizetype pos = 0;
        const QByteArrayView first = nextWord(text, pos);
        if (first.isEmpty())
            return;
        qint64 ns = 0;
        if (!parseFixed(first, ns)) {
            header(first, text);
            return;
        }
        if (relative) {
            clock += ns;
            ns = clock;
        }
        const QByteArrayView second = nextWord(text, pos);
        quint32 channel = 0;
        if (!parseDecimal(second, channel)) {
            if (second == "CANFD")
                out.skip("CAN FD frame");
            else if (second.startsWith("J1939"))
                out.skip("J1939 transport");
            else if (second.startsWith("Statistic"))
                out.skip("statistics");
            else if (second == "ErrorFrame")
                out.skip("error frame");
            else
                out.skip("other event");
            return;
        }
        const QByteArrayView third = nextWord(text, pos);
        if (third == "ErrorFrame") {
            out.skip("error frame");
            return;
        }
        if (third.startsWith("Statistic")) {
            out.skip("statistics");
            return;
        }
        if (third.startsWith("J1939")) {
            out.skip("J1939 transport");
            return;
        }
        if (third.startsWith("Status") || third == "CAN" || third == "Chip") {
            out.skip("status line");
            return;
        }
        frameLine(text, pos, third, channel, ns);
    }

    void finish(ReadResult &result) override
    {
        const std::optional<qint64> firstFrame = out.firstNanoseconds();
        if (start && firstFrame)
            result.startMicroseconds = *start + *firstFrame / 1000;
    }

private:
    bool number(QByteArrayView word, quint32 &value) const
    {
        return hex ? parseHex(word, value) : parseDecimal(word, value);
    }

    void frameLine(QByteArrayView text, qsizetype pos, QByteArrayView idText, quint32 channel, qint64 ns)
    {
        if (channel < 1 || channel > 256) {
            out.skip("bad channel");
            return;
        }
        clsFrame frame;
        frame.Bus = quint8(channel - 1);
        const bool extended = idText.endsWith('x') || idText.endsWith('X');
        if (extended)
            idText.chop(1);
        quint32 id = 0;
        if (!number(idText, id) || id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
            out.skip(idText.isEmpty() || hexDigit(idText[0]) < 0 ? "other event" : "bad identifier");
            return;
        }
        if (extended) {
            frame.setIDE(1);
            frame.ID.setID(qint32(id));
        } else {
            frame.ID.StdPart = qint32(id);
        }
        QByteArrayView kind = nextWord(text, pos);
        if (kind == "Rx" || kind == "Tx")
            kind = nextWord(text, pos);
        quint32 dlc = 0;
        if (kind == "r") {
            frame.setRTR(1);
            const qsizetype before = pos;
            if (!number(nextWord(text, pos), dlc) || dlc > 15) {
                dlc = 0;
                pos = before;
            }
            frame.DLC = quint8(dlc);
            out.put(frame, ns);
            return;
        }
        if (kind != "d" || !number(nextWord(text, pos), dlc) || dlc > 15) {
            out.skip("malformed line");
            return;
        }
        frame.DLC = quint8(dlc);
        for (int b = 0; b < frame.dataLength(); ++b) {
            quint32 byte = 0;
            const QByteArrayView word = nextWord(text, pos);
            if (!number(word, byte) || byte > 0xFF || (hex && word.size() != 2)) {
                out.skip("malformed line");
                return;
            }
            frame.setDataB(b, quint8(byte));
        }
        out.put(frame, ns);
    }

    void header(QByteArrayView first, QByteArrayView text)
    {
        if (first.startsWith("//")) {
            out.skip("comment");
        } else if (equalsNoCase(first, "date")) {
            start = parseDate(text);
        } else if (equalsNoCase(first, "base")) {
            qsizetype pos = 0;
            while (true) {
                const QByteArrayView word = nextWord(text, pos);
                if (word.isEmpty())
                    break;
                if (equalsNoCase(word, "hex"))
                    hex = true;
                else if (equalsNoCase(word, "dec"))
                    hex = false;
                else if (equalsNoCase(word, "relative"))
                    relative = true;
                else if (equalsNoCase(word, "absolute"))
                    relative = false;
            }
        } else if (equalsNoCase(first, "begin") || equalsNoCase(first, "end")) {
            // The trigger block around the events: no frame, nothing lost.
        } else if (equalsNoCase(first, "internal") || equalsNoCase(first, "no")) {
            // "internal events logged" or "no internal events logged"
        } else {
            out.skip("malformed line");
        }
    }

    FrameOut &out;
    std::optional<qint64> start;
    qint64 clock = 0;
    bool hex = true;
    bool relative = false;
};

// "Tue Nov 14 22:13:20 2023" in local time.
QByteArray dateText(qint64 microseconds)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(microseconds / 1000);
    const QDate d = when.date();
    const QTime t = when.time();
    return QByteArray(dayNames[d.dayOfWeek() - 1]) + ' ' + monthNames[d.month() - 1] + ' ' +
           QByteArray::number(d.day()) + ' ' + t.toString(QStringLiteral("HH:mm:ss")).toLatin1() + ' ' +
           QByteArray::number(d.year());
}

} // namespace

std::unique_ptr<LineReader> makeAscReader(FrameOut &out)
{
    return std::make_unique<AscReader>(out);
}

qint64 writeAsc(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok)
{
    const qint64 start = options.startMicroseconds.value_or(QDateTime::currentMSecsSinceEpoch() * 1000);
    // Times are written from the date line on, so the line goes before the
    // earliest frame (a log's lines need not be in time order).
    qint64 earliest = 0;
    for (qsizetype i = 0; i < frames.count; ++i)
        earliest = std::min(earliest, frameMicroseconds(frames.frame(i), options.timerRate));
    // The date line holds whole seconds; the first frame's time keeps the rest.
    const qint64 from = start + earliest;
    const qint64 dateMicroseconds = from - ((from % 1000000) + 1000000) % 1000000;
    const qint64 offset = start - dateMicroseconds;
    const QByteArray date = dateText(dateMicroseconds);
    QByteArray chunk =
        "date " + date + "\nbase hex  timestamps absolute\ninternal events logged\nBegin Triggerblock " + date + '\n';
    chunk.reserve(chunkSize + 128);
    qint64 written = 0;
    *ok = true;
    for (qsizetype i = 0; i < frames.count; ++i) {
        const clsFrame &frame = frames.frame(i);
        if (frame.isLost)
            continue;
        appendSeconds(chunk, offset + frameMicroseconds(frame, options.timerRate), 11);
        chunk.append(' ');
        chunk.append(QByteArray::number(frame.Bus + 1));
        chunk.append("  ");
        const qsizetype idStart = chunk.size();
        if (frame.IDE()) {
            appendHex(chunk, quint32(frame.ID.ID()) & 0x1FFFFFFF, 1);
            chunk.append('x');
        } else {
            appendHex(chunk, quint32(frame.ID.StdPart) & 0x7FF, 1);
        }
        for (qsizetype pad = 16 - (chunk.size() - idStart); pad > 0; --pad)
            chunk.append(' ');
        const int dlc = frame.DLC > 15 ? 8 : frame.DLC;
        chunk.append(frame.RTR() ? "Rx   r " : "Rx   d ");
        appendHex(chunk, quint32(dlc), 1);
        if (!frame.RTR()) {
            for (int b = 0; b < frame.dataLength(); ++b) {
                chunk.append(' ');
                appendHex(chunk, frame.DataB(b), 2);
            }
        }
        chunk.append('\n');
        ++written;
        if (!flushChunk(chunk, put)) {
            *ok = false;
            return written;
        }
    }
    chunk.append("End TriggerBlock\n");
    *ok = flushChunk(chunk, put, true);
    return written;
}

} // namespace logformat::detail
