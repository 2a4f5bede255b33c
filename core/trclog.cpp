// Trace files, versions 1.0 to 2.1. The header's ";$FILEVERSION=" picks the
// layout (1.0 when missing), ";$STARTTIME=" is the start in days since
// 1899-12-30 (local time) and ";$COLUMNS=" names the columns of 2.x:
//   1.0        1)      1841  0001  8  00 11 22 33 44 55 66 77
//   1.1        1)      1841.0  Rx         0001  8  00 11 22 33 44 55 66 77
//   1.2, 1.3   1)      1841.000 1  Rx        0001 -  8    00 11 22 33 44 55 66 77
//   2.0           1      1841.000 DT     0001 Rx 8  00 11 22 33 44 55 66 77
//   2.1           1      1841.000 DT 1      0001 Rx -  8    00 11 22 33 44 55 66 77
// Times are milliseconds from the start; bus n is bus n - 1 here; a remote
// frame reads "RTR" (1.x) or has type RR (2.x) and no data.
#include "core/logformatparse.h"

#include <QDateTime>

#include <cmath>

namespace logformat::detail {

namespace {

bool isLetters(QByteArrayView word)
{
    if (word.isEmpty())
        return false;
    for (const char c : word) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return true;
}

bool isDigits(QByteArrayView word)
{
    if (word.isEmpty())
        return false;
    for (const char c : word) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

class TrcReader final : public LineReader
{
public:
    explicit TrcReader(FrameOut &out)
        : out(out)
    {
    }

    void line(QByteArrayView text) override
    {
        qsizetype pos = 0;
        const QByteArrayView first = nextWord(text, pos);
        if (first.isEmpty())
            return;
        if (first.front() == ';') {
            header(text);
            return;
        }
        if (version >= 20)
            record2(text);
        else
            record1(text);
    }

    void finish(ReadResult &result) override
    {
        const std::optional<qint64> firstFrame = out.firstNanoseconds();
        if (start && firstFrame)
            result.startMicroseconds = *start + *firstFrame / 1000;
    }

private:
    void header(QByteArrayView text)
    {
        const qsizetype equals = text.indexOf('=');
        if (equals < 0)
            return;
        const QByteArrayView key = text.first(equals).trimmed();
        const QByteArrayView value = text.sliced(equals + 1).trimmed();
        if (key == ";$FILEVERSION") {
            const qsizetype dot = value.indexOf('.');
            quint32 major = 0;
            quint32 minor = 0;
            if (dot > 0 && parseDecimal(value.first(dot), major) && parseDecimal(value.sliced(dot + 1), minor) &&
                major <= 9 && minor <= 9)
                version = int(major * 10 + minor);
            if (version >= 20 && columns.isEmpty())
                columns = version >= 21 ? "NOTBIdRLD" : "NOTIdlD";
        } else if (key == ";$STARTTIME") {
            bool ok = false;
            const double days = value.toByteArray().toDouble(&ok);
            if (ok && std::isfinite(days) && days > 0 && days < 2958466) { // up to the year 9999
                const qint64 naive = std::llround((days - 25569.0) * 86400e6);
                const QDateTime utc = QDateTime::fromMSecsSinceEpoch(naive / 1000, Qt::UTC);
                const QDateTime local(utc.date(), utc.time());
                start = local.toMSecsSinceEpoch() * 1000 + naive % 1000;
            }
        } else if (key == ";$COLUMNS") {
            columns.clear();
            for (const QByteArrayView part : value.toByteArray().split(',')) {
                if (part.trimmed().size() == 1)
                    columns.append(part.trimmed().front());
            }
        }
    }

    // The identifier and data from `pos` on: ID, an optional "-", DLC, then
    // data bytes or "RTR".
    void record1(QByteArrayView text)
    {
        qsizetype pos = 0;
        const QByteArrayView number = nextWord(text, pos);
        if (number.size() < 2 || number.back() != ')') {
            out.skip("malformed line");
            return;
        }
        qint64 ns = 0;
        if (!parseFixed(nextWord(text, pos), ns)) {
            out.skip("malformed line");
            return;
        }
        ns /= 1000;
        clsFrame frame;
        QByteArrayView word = nextWord(text, pos);
        quint32 bus = 1;
        if (isDigits(word)) {
            qsizetype after = pos;
            if (isLetters(nextWord(text, after))) {
                if (!parseDecimal(word, bus) || bus < 1 || bus > 256) {
                    out.skip("bad bus");
                    return;
                }
                word = nextWord(text, pos);
            }
        }
        if (version > 10 && isLetters(word)) {
            if (word != "Rx" && word != "Tx") {
                out.skip(word == "Error" ? "error frame" : "status line");
                return;
            }
            word = nextWord(text, pos);
        }
        frame.Bus = quint8(bus - 1);
        if (!identifier(word, frame))
            return;
        word = nextWord(text, pos);
        if (word == "-")
            word = nextWord(text, pos);
        quint32 dlc = 0;
        if (!parseDecimal(word, dlc) || dlc > 15) {
            out.skip("malformed line");
            return;
        }
        frame.DLC = quint8(dlc);
        qsizetype after = pos;
        if (nextWord(text, after) == "RTR") {
            frame.setRTR(1);
            out.put(frame, ns);
            return;
        }
        if (data(text, pos, frame))
            out.put(frame, ns);
    }

    void record2(QByteArrayView text)
    {
        clsFrame frame;
        qint64 ns = -1;
        quint32 dlc = 16;
        bool remote = false;
        qsizetype pos = 0;
        for (const char column : columns) {
            if (column == 'D') {
                if (remote)
                    break;
                if (dlc > 15 || ns < 0) {
                    out.skip("malformed line");
                    return;
                }
                frame.DLC = quint8(dlc);
                if (!data(text, pos, frame))
                    return;
                break;
            }
            const QByteArrayView word = nextWord(text, pos);
            quint32 value = 0;
            switch (column) {
            case 'O':
                if (!parseFixed(word, ns)) {
                    out.skip("malformed line");
                    return;
                }
                ns /= 1000;
                break;
            case 'T':
                if (word == "RR") {
                    remote = true;
                } else if (word == "FD" || word == "FB" || word == "FE" || word == "BI") {
                    out.skip("CAN FD frame");
                    return;
                } else if (word == "ER") {
                    out.skip("error frame");
                    return;
                } else if (word == "ST" || word == "EC" || word == "EV") {
                    out.skip("status line");
                    return;
                } else if (word != "DT") {
                    out.skip("malformed line");
                    return;
                }
                break;
            case 'B':
                if (word != "-" && (!parseDecimal(word, value) || value < 1 || value > 256)) {
                    out.skip("bad bus");
                    return;
                }
                frame.Bus = quint8(word == "-" ? 0 : value - 1);
                break;
            case 'I':
                if (!identifier(word, frame))
                    return;
                break;
            case 'l':
            case 'L':
                if (!parseDecimal(word, value)) {
                    out.skip("malformed line");
                    return;
                }
                if (column == 'L' || dlc > 15)
                    dlc = value;
                break;
            default: // number, direction, reserved
                if (word.isEmpty()) {
                    out.skip("malformed line");
                    return;
                }
                break;
            }
        }
        if (ns < 0 || dlc > 15) {
            out.skip("malformed line");
            return;
        }
        if (remote) {
            frame.setRTR(1);
            frame.DLC = quint8(dlc);
        }
        out.put(frame, ns);
    }

    // 4 hex digits (or fewer) a standard identifier, 8 an extended one.
    bool identifier(QByteArrayView word, clsFrame &frame)
    {
        quint32 id = 0;
        if (!parseHex(word, id) || (word.size() == 8 ? id > 0x1FFFFFFF : word.size() > 4 || id > 0x7FF)) {
            out.skip("bad identifier");
            return false;
        }
        if (word.size() == 8) {
            frame.setIDE(1);
            frame.ID.setID(qint32(id));
        } else {
            frame.ID.StdPart = qint32(id);
        }
        return true;
    }

    bool data(QByteArrayView text, qsizetype &pos, clsFrame &frame)
    {
        for (int b = 0; b < frame.dataLength(); ++b) {
            quint32 byte = 0;
            const QByteArrayView word = nextWord(text, pos);
            if (word.size() != 2 || !parseHex(word, byte)) {
                out.skip("malformed line");
                return false;
            }
            frame.setDataB(b, quint8(byte));
        }
        return true;
    }

    FrameOut &out;
    std::optional<qint64> start;
    int version = 10;
    QByteArray columns;
};

} // namespace

std::unique_ptr<LineReader> makeTrcReader(FrameOut &out)
{
    return std::make_unique<TrcReader>(out);
}

} // namespace logformat::detail
