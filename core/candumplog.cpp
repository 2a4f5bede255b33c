// candump's log lines, one frame each:
//   (1700000000.123456) can0 123#DEADBEEF       standard, 4 data bytes
//   (1700000000.123457) vcan1 12345678#1122     extended (8 hex digits)
//   (1700000000.123458) can0 123#R              remote, DLC 0; "123#R5" DLC 5
//   (1700000000.123459) can0 123#1122334455667788_C   DLC 12 with its 8 bytes
// A direction or flag word after the frame ("R", "T") is ignored. Interfaces
// become buses 0, 1, ... in the order they first appear.
#include "core/logformatparse.h"

#include <QDateTime>

namespace logformat::detail {

namespace {

constexpr quint32 errorFlag = 0x20000000;

enum class Parsed { Frame, Malformed, BadId, Fd, Xl, Error };

// The "ID#DATA" word into `frame` (no time, no bus).
Parsed parseFrameWord(QByteArrayView word, clsFrame &frame)
{
    const qsizetype hash = word.indexOf('#');
    if (hash < 0)
        return Parsed::Malformed;
    quint32 id = 0;
    if (!parseHex(word.first(hash), id))
        return Parsed::BadId;
    if (hash == 8) {
        if (id & errorFlag)
            return Parsed::Error;
        if (id > 0x1FFFFFFF)
            return Parsed::BadId;
        frame.setIDE(1);
        frame.ID.setID(qint32(id));
    } else if (hash == 3) {
        if (id > 0x7FF)
            return Parsed::BadId;
        frame.ID.StdPart = qint32(id);
    } else {
        return Parsed::BadId;
    }
    const char *p = word.data() + hash + 1;
    const char *const end = word.data() + word.size();
    if (p < end && *p == '#')
        return p + 1 < end && p[1] == '#' ? Parsed::Xl : Parsed::Fd;
    // "_X" after eight bytes: the DLC 9 to 15 that classic CAN allows.
    const auto rawDlc = [&](int length) {
        if (p == end)
            return true;
        if (end - p != 2 || *p != '_' || length != 8)
            return false;
        const int dlc = hexDigit(p[1]);
        if (dlc < 9)
            return false;
        frame.DLC = quint8(dlc);
        return true;
    };
    if (p < end && (*p == 'R' || *p == 'r')) {
        frame.setRTR(1);
        ++p;
        if (p < end && *p != '_') {
            const int length = hexDigit(*p);
            if (length < 0 || length > 8)
                return Parsed::Malformed;
            frame.DLC = quint8(length);
            ++p;
        }
        return rawDlc(frame.DLC) ? Parsed::Frame : Parsed::Malformed;
    }
    int length = 0;
    while (p < end && *p != '_') {
        if (*p == '.') {
            ++p;
            continue;
        }
        if (end - p < 2 || length == 8)
            return Parsed::Malformed;
        const int high = hexDigit(p[0]);
        const int low = hexDigit(p[1]);
        if (high < 0 || low < 0)
            return Parsed::Malformed;
        frame.setDataB(length++, quint8(high << 4 | low));
        p += 2;
    }
    frame.DLC = quint8(length);
    return rawDlc(length) ? Parsed::Frame : Parsed::Malformed;
}

// "(SECONDS.FRACTION)" in nanoseconds.
bool parseStamp(QByteArrayView word, qint64 &nanoseconds)
{
    if (word.size() < 3 || word.front() != '(' || word.back() != ')')
        return false;
    return parseFixed(word.sliced(1, word.size() - 2), nanoseconds);
}

class CandumpReader final : public LineReader
{
public:
    explicit CandumpReader(FrameOut &out)
        : out(out)
    {
    }

    void line(QByteArrayView text) override
    {
        qsizetype pos = 0;
        const QByteArrayView stamp = nextWord(text, pos);
        if (stamp.isEmpty())
            return;
        const QByteArrayView name = nextWord(text, pos);
        const QByteArrayView word = nextWord(text, pos);
        qint64 ns = 0;
        if (word.isEmpty() || !parseStamp(stamp, ns)) {
            out.skip("malformed line");
            return;
        }
        clsFrame frame;
        switch (parseFrameWord(word, frame)) {
        case Parsed::Frame:
            break;
        case Parsed::Malformed:
            out.skip("malformed line");
            return;
        case Parsed::BadId:
            out.skip("bad identifier");
            return;
        case Parsed::Fd:
            out.skip("CAN FD frame");
            return;
        case Parsed::Xl:
            out.skip("CAN XL frame");
            return;
        case Parsed::Error:
            out.skip("error frame");
            return;
        }
        const int bus = busOf(name);
        if (bus < 0) {
            out.skip("more than 256 interfaces");
            return;
        }
        frame.Bus = quint8(bus);
        out.put(frame, ns);
    }

    void finish(ReadResult &result) override
    {
        if (const std::optional<qint64> first = out.firstNanoseconds())
            result.startMicroseconds = *first / 1000;
    }

private:
    int busOf(QByteArrayView name)
    {
        if (last >= 0 && names[size_t(last)] == name)
            return last;
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name)
                return last = int(i);
        }
        if (names.size() >= 256)
            return -1;
        names.emplace_back(name.toByteArray());
        return last = int(names.size() - 1);
    }

    FrameOut &out;
    std::vector<QByteArray> names;
    int last = -1;
};

} // namespace

bool isCandumpLine(QByteArrayView line)
{
    qsizetype pos = 0;
    qint64 ns = 0;
    if (!parseStamp(nextWord(line, pos), ns) || nextWord(line, pos).isEmpty())
        return false;
    clsFrame frame;
    return parseFrameWord(nextWord(line, pos), frame) != Parsed::Malformed;
}

std::unique_ptr<LineReader> makeCandumpReader(FrameOut &out)
{
    return std::make_unique<CandumpReader>(out);
}

qint64 writeCandump(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok)
{
    const qint64 start = options.startMicroseconds.value_or(QDateTime::currentMSecsSinceEpoch() * 1000);
    QByteArray chunk;
    chunk.reserve(chunkSize + 128);
    qint64 written = 0;
    *ok = true;
    for (qsizetype i = 0; i < frames.count; ++i) {
        const clsFrame &frame = frames.frame(i);
        if (frame.isLost)
            continue;
        chunk.append('(');
        appendSeconds(chunk, start + frameMicroseconds(frame, options.timerRate), 0);
        chunk.append(") can");
        chunk.append(QByteArray::number(frame.Bus));
        chunk.append(' ');
        if (frame.IDE())
            appendHex(chunk, quint32(frame.ID.ID()) & 0x1FFFFFFF, 8);
        else
            appendHex(chunk, quint32(frame.ID.StdPart) & 0x7FF, 3);
        chunk.append('#');
        const int length = frame.dataLength();
        if (frame.RTR()) {
            chunk.append('R');
            if (length > 0)
                appendHex(chunk, quint32(length), 1);
        } else {
            for (int b = 0; b < length; ++b)
                appendHex(chunk, frame.DataB(b), 2);
        }
        if (frame.DLC > 8 && frame.DLC <= 15) {
            chunk.append('_');
            appendHex(chunk, frame.DLC, 1);
        }
        chunk.append('\n');
        ++written;
        if (!flushChunk(chunk, put)) {
            *ok = false;
            return written;
        }
    }
    *ok = flushChunk(chunk, put, true);
    return written;
}

} // namespace logformat::detail
