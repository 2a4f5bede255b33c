#include "core/logformat.h"

#include "core/capturefile.h"
#include "core/logformatparse.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstring>

namespace logformat {

namespace detail {

bool parseHex(QByteArrayView text, quint32 &value)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    quint32 v = 0;
    for (const char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        v = (v << 4) | quint32(d);
    }
    value = v;
    return true;
}

bool parseDecimal(QByteArrayView text, quint32 &value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    quint32 v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + quint32(c - '0');
    }
    value = v;
    return true;
}

bool parseFixed(QByteArrayView text, qint64 &billionths)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    qint64 whole = 0;
    while (i < size && text[i] >= '0' && text[i] <= '9') {
        if (i >= 10)
            return false;
        whole = whole * 10 + (text[i] - '0');
        ++i;
    }
    if (i == 0 || whole >= Q_INT64_C(9000000000))
        return false;
    qint64 fraction = 0;
    int digits = 0;
    if (i < size) {
        if (text[i] != '.')
            return false;
        for (++i; i < size; ++i) {
            const char c = text[i];
            if (c < '0' || c > '9')
                return false;
            if (digits < 9) {
                fraction = fraction * 10 + (c - '0');
                ++digits;
            }
        }
    }
    static constexpr qint64 scale[] = {1000000000, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};
    billionths = whole * 1000000000 + fraction * scale[digits];
    return true;
}

FrameOut::FrameOut(const ReadOptions &options, const FrameSink &sink, ReadResult &result)
    : sink(sink)
    , result(result)
    , bitRate(options.bitRate)
    , ticksPerNanosecond((std::isfinite(options.timerRate) && options.timerRate > 0 ? options.timerRate : 1e6) * 1e-9)
{
}

bool FrameOut::put(clsFrame &frame, qint64 nanoseconds)
{
    if (stop)
        return false;
    if (!first)
        first = nanoseconds;
    const qint64 ticks = std::llround(double(nanoseconds - *first) * ticksPerNanosecond);
    frame.Time = ticks;
    frame.TimeStamp = qint64(quint64(ticks) & 0xFFFFFFFFu);
    frame.computeDuration(bitRate);
    busSeen[frame.Bus >> 6] |= quint64(1) << (frame.Bus & 63);
    ++result.frames;
    if (!sink(frame)) {
        stop = true;
        return false;
    }
    return true;
}

bool FrameOut::putAsRecorded(const clsFrame &frame)
{
    if (stop)
        return false;
    busSeen[frame.Bus >> 6] |= quint64(1) << (frame.Bus & 63);
    ++result.frames;
    stop = !sink(frame);
    return !stop;
}

void FrameOut::skip(const char *reason)
{
    for (Tally &t : tallies) {
        if (t.reason == reason || std::strcmp(t.reason, reason) == 0) {
            ++t.count;
            return;
        }
    }
    tallies.push_back({reason, 1, line});
}

void FrameOut::finish()
{
    result.skipped.clear();
    for (const Tally &t : tallies)
        result.skipped.append({QString::fromLatin1(t.reason), t.count, t.firstLine});
    result.buses.clear();
    for (int bus = 0; bus < 256; ++bus) {
        if (busSeen[size_t(bus >> 6)] & (quint64(1) << (bus & 63)))
            result.buses.append(bus);
    }
}

qint64 frameMicroseconds(const clsFrame &frame, double timerRate)
{
    const double rate = std::isfinite(timerRate) && timerRate > 0 ? timerRate : 1e6;
    return std::llround(double(frame.Time.value_or(frame.TimeStamp)) * 1e6 / rate);
}

void appendSeconds(QByteArray &out, qint64 microseconds, int width)
{
    char text[32];
    const bool negative = microseconds < 0;
    quint64 us = negative ? quint64(0) - quint64(microseconds) : quint64(microseconds);
    int n = 0;
    for (int i = 0; i < 6; ++i, us /= 10)
        text[n++] = char('0' + us % 10);
    text[n++] = '.';
    do {
        text[n++] = char('0' + us % 10);
        us /= 10;
    } while (us);
    if (negative)
        text[n++] = '-';
    for (int pad = width - n; pad > 0; --pad)
        out.append(' ');
    while (n > 0)
        out.append(text[--n]);
}

void appendHex(QByteArray &out, quint32 value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    char text[8];
    int n = 0;
    do {
        text[n++] = hex[value & 15];
        value >>= 4;
    } while (value);
    for (int pad = digits - n; pad > 0; --pad)
        out.append('0');
    while (n > 0)
        out.append(text[--n]);
}

namespace {

// Tessel's own capture text in memory, record by record as the file reader does.
class TesselReader final : public LineReader
{
public:
    TesselReader(FrameOut &out, const ReadOptions &options)
        : out(out)
        , delimiter(options.delimiter)
        , bitRate(options.bitRate)
    {
    }

    void line(QByteArrayView text) override
    {
        const QByteArrayView record = capturefile::recordText(text);
        if (record.isEmpty())
            return;
        clsFrame frame;
        if (!capturefile::readRecord(record, delimiter, bitRate, frame)) {
            out.skip("malformed line");
            return;
        }
        // The file's own stamps are kept: the store places them.
        out.putAsRecorded(frame);
    }

private:
    FrameOut &out;
    QString delimiter;
    double bitRate;
};

} // namespace

std::unique_ptr<LineReader> makeTesselReader(FrameOut &out, const ReadOptions &options)
{
    return std::make_unique<TesselReader>(out, options);
}

} // namespace detail

using namespace detail;

namespace {

constexpr qsizetype blockSize = 1 << 20;

// Cuts the bytes handed in into lines (LF, CR LF or a CR alone; a CR LF split
// between two chunks is one end) and gives each to the format's reader. A
// line longer than maxLineLength is skipped whole without being kept.
class LineSplitter
{
public:
    LineSplitter(LineReader &reader, FrameOut &out)
        : reader(reader)
        , out(out)
    {
        carry.reserve(256);
    }

    void feed(QByteArrayView chunk)
    {
        const char *const begin = chunk.data();
        const qsizetype size = chunk.size();
        qsizetype from = 0;
        if (afterCR && size > 0 && begin[0] == '\n')
            from = 1;
        afterCR = false;
        qsizetype nextCR = -2;
        qsizetype nextLF = -2;
        while (from < size && !out.stopped()) {
            if (nextCR != -1 && nextCR < from) {
                const void *hit = std::memchr(begin + from, '\r', size_t(size - from));
                nextCR = hit ? static_cast<const char *>(hit) - begin : -1;
            }
            if (nextLF != -1 && nextLF < from) {
                const void *hit = std::memchr(begin + from, '\n', size_t(size - from));
                nextLF = hit ? static_cast<const char *>(hit) - begin : -1;
            }
            qsizetype end = nextLF;
            if (nextCR >= 0 && (end < 0 || nextCR < end))
                end = nextCR;
            if (end < 0) {
                keep(chunk.sliced(from));
                return;
            }
            const QByteArrayView text(begin + from, end - from);
            if (tooLong || !carry.isEmpty()) {
                keep(text);
                emitCarry();
            } else {
                emitLine(text);
            }
            from = end + 1;
            if (begin[end] == '\r') {
                if (from < size && begin[from] == '\n')
                    ++from;
                else if (from == size)
                    afterCR = true;
            }
        }
    }

    void end()
    {
        if ((tooLong || !carry.isEmpty()) && !out.stopped())
            emitCarry();
    }

private:
    void keep(QByteArrayView text)
    {
        if (tooLong)
            return;
        if (carry.size() + text.size() > maxLineLength) {
            tooLong = true;
            carry.clear();
            return;
        }
        carry.append(text);
    }

    void emitCarry()
    {
        if (tooLong) {
            ++out.line;
            out.skip("line too long");
            tooLong = false;
        } else {
            emitLine(carry);
        }
        carry.clear();
    }

    void emitLine(QByteArrayView text)
    {
        ++out.line;
        if (text.size() > maxLineLength)
            out.skip("line too long");
        else
            reader.line(text);
    }

    LineReader &reader;
    FrameOut &out;
    QByteArray carry;
    bool tooLong = false;
    bool afterCR = false;
};

std::unique_ptr<LineReader> makeReader(Format format, FrameOut &out, const ReadOptions &options)
{
    switch (format) {
    case Format::Candump:
        return makeCandumpReader(out);
    case Format::Asc:
        return makeAscReader(out);
    case Format::Trc:
        return makeTrcReader(out);
    case Format::Tessel:
        return makeTesselReader(out, options);
    default:
        return nullptr;
    }
}

QString notALog(const QString &what)
{
    return QStringLiteral("%1 is not a CAN log that Tessel can read (candump, ASC, TRC or Tessel's own capture text).")
        .arg(what);
}

bool startsWith(QByteArrayView line, const char *prefix)
{
    const qsizetype n = qsizetype(std::strlen(prefix));
    if (line.size() < n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        const char a = line[i];
        const char lower = (a >= 'A' && a <= 'Z') ? char(a - 'A' + 'a') : a;
        if (lower != prefix[i])
            return false;
    }
    return true;
}

// "  12)" at the start of a line: the message number of a TRC 1.x record.
bool isTrcNumbered(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && isSpace(line[i]))
        ++i;
    const qsizetype digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    return i > digits && i < line.size() && line[i] == ')';
}

// A line that starts with a time and then a channel number or an ASC event word.
bool isAscEventLine(QByteArrayView line)
{
    qsizetype pos = 0;
    qint64 ns = 0;
    if (!parseFixed(nextWord(line, pos), ns))
        return false;
    const QByteArrayView second = nextWord(line, pos);
    quint32 channel = 0;
    if (parseDecimal(second, channel)) {
        const QByteArrayView third = nextWord(line, pos);
        quint32 id = 0;
        QByteArrayView idText = third;
        if (idText.endsWith('x') || idText.endsWith('X'))
            idText.chop(1);
        const QByteArrayView dir = nextWord(line, pos);
        return parseHex(idText, id) && (dir == "Rx" || dir == "Tx" || dir == "d" || dir == "r");
    }
    return second == "CANFD" || second == "Start";
}

} // namespace

QString formatName(Format format)
{
    switch (format) {
    case Format::Tessel:
        return QStringLiteral("tessel");
    case Format::Candump:
        return QStringLiteral("candump");
    case Format::Asc:
        return QStringLiteral("asc");
    case Format::Trc:
        return QStringLiteral("trc");
    case Format::Csv:
        return QStringLiteral("csv");
    case Format::Unknown:
        break;
    }
    return {};
}

Format formatFromName(QStringView name)
{
    for (const Format f : {Format::Tessel, Format::Candump, Format::Asc, Format::Trc, Format::Csv}) {
        if (name.compare(formatName(f), Qt::CaseInsensitive) == 0)
            return f;
    }
    return Format::Unknown;
}

Format formatForFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("txt"))
        return Format::Tessel;
    if (suffix == QLatin1String("log"))
        return Format::Candump;
    if (suffix == QLatin1String("asc"))
        return Format::Asc;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    return Format::Unknown;
}

Format detect(QByteArrayView head)
{
    // The first lines that say something decide; a line cut at the end of
    // the head is not looked at.
    int looked = 0;
    qsizetype from = 0;
    while (from < head.size() && looked < 64) {
        qsizetype end = from;
        while (end < head.size() && head[end] != '\n' && head[end] != '\r')
            ++end;
        if (end == head.size() && end - from > 200)
            break;
        QByteArrayView line = head.sliced(from, end - from);
        from = end + 1;
        while (!line.isEmpty() && isSpace(line.front()))
            line = line.sliced(1);
        if (line.isEmpty())
            continue;
        ++looked;
        if (startsWith(line, ";$fileversion") || startsWith(line, ";$starttime") || startsWith(line, ";$columns"))
            return Format::Trc;
        if (startsWith(line, "; can_db=") || startsWith(line, "; can_speed=") || startsWith(line, "; can_timer="))
            return Format::Tessel;
        if (startsWith(line, "date ") || startsWith(line, "base ") || startsWith(line, "begin triggerblock") ||
            startsWith(line, "no internal events logged") || startsWith(line, "internal events logged"))
            return Format::Asc;
        if (line.front() == '(' && isCandumpLine(line))
            return Format::Candump;
        if (isTrcNumbered(line))
            return Format::Trc;
        if (line.front() == ';' || startsWith(line, "//"))
            continue;
        if (isAscEventLine(line))
            return Format::Asc;
        clsFrame frame;
        const QByteArrayView record = capturefile::recordText(line);
        if (!record.isEmpty() && capturefile::readRecord(record, capturefile::defaultDelimiter, 0, frame))
            return Format::Tessel;
    }
    return Format::Unknown;
}

ReadResult readBytes(QByteArrayView data, const ReadOptions &options, const FrameSink &sink, Format format)
{
    ReadResult result;
    if (format == Format::Unknown)
        format = detect(data.first(std::min<qsizetype>(data.size(), 64 * 1024)));
    result.format = format;
    FrameOut out(options, sink, result);
    const std::unique_ptr<LineReader> reader = makeReader(format, out, options);
    if (!reader) {
        result.error = notALog(QStringLiteral("The text"));
        return result;
    }
    LineSplitter lines(*reader, out);
    lines.feed(data);
    lines.end();
    reader->finish(result);
    out.finish();
    result.lines = out.line;
    result.cancelled = out.stopped();
    result.ok = !result.cancelled;
    return result;
}

namespace {

// Tessel's own text through the capture-file reader, which keeps the raw stamps.
ReadResult readTesselFile(const QString &fileName, const ReadOptions &options, const FrameSink &sink)
{
    ReadResult result;
    result.format = Format::Tessel;
    capturefile::CaptureFileReader reader;
    if (!reader.open(fileName, &result.error))
        return result;
    const qint64 size = QFileInfo(fileName).size();
    const qint64 lines = std::max<qint64>(reader.lineCount(), 1);
    bool stop = false;
    const capturefile::ReadResult read = reader.readAll(
        options.delimiter, options.bitRate,
        [&](const clsFrame &frame) {
            if (!stop && !sink(frame))
                stop = true;
        },
        [&](qint64 linesRead) {
            if (!stop && options.progress && !options.progress(std::min(size, linesRead * size / lines)))
                stop = true;
        });
    result.ok = read.ok && !stop;
    result.cancelled = stop;
    result.error = read.error;
    result.lines = read.lines;
    result.frames = read.frames;
    if (read.skipped > 0)
        result.skipped.append({QStringLiteral("malformed line"), read.skipped, read.firstSkippedLine});
    if (read.frames > 0)
        result.buses = {0};
    return result;
}

} // namespace

ReadResult readFile(const QString &fileName, const ReadOptions &options, const FrameSink &sink)
{
    ReadResult result;
    const QFileInfo info(fileName);
    // Checked before opening: opening a named pipe blocks until a writer comes.
    if (info.isDir() || (info.exists() && !info.isFile())) {
        result.error = QStringLiteral("Can't read the file \"%1\": it is not a regular file.").arg(fileName);
        return result;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential()) {
        result.error = QStringLiteral("Can't read the file \"%1\": %2").arg(fileName, file.errorString());
        return result;
    }
    // The file may grow or shrink while it is read: no more than the size
    // seen now is read, and an early end is the end.
    const qint64 size = file.size();
    QByteArray block(blockSize, Qt::Uninitialized);
    qint64 got = file.read(block.data(), std::min<qint64>(size, 64 * 1024));
    if (got < 0) {
        result.error = QStringLiteral("Can't read the file \"%1\": %2").arg(fileName, file.errorString());
        return result;
    }
    const Format format = detect(QByteArrayView(block.constData(), got));
    if (format == Format::Tessel) {
        file.close();
        return readTesselFile(fileName, options, sink);
    }
    result.format = format;
    FrameOut out(options, sink, result);
    const std::unique_ptr<LineReader> reader = makeReader(format, out, options);
    if (!reader) {
        result.error = notALog(QStringLiteral("The file \"%1\"").arg(fileName));
        return result;
    }
    LineSplitter lines(*reader, out);
    qint64 total = 0;
    bool failed = false;
    try {
        while (got > 0) {
            total += got;
            lines.feed(QByteArrayView(block.constData(), got));
            if (out.stopped())
                break;
            if (options.progress && !options.progress(total)) {
                result.cancelled = true;
                break;
            }
            if (total >= size)
                break;
            got = file.read(block.data(), std::min<qint64>(blockSize, size - total));
            failed = got < 0;
        }
        if (!result.cancelled && !out.stopped() && !failed)
            lines.end();
    } catch (const std::bad_alloc &) {
        result.error =
            QStringLiteral("Can't read the file \"%1\": there is not enough memory for its frames (%2 read).")
                .arg(fileName)
                .arg(result.frames);
        out.finish();
        return result;
    }
    reader->finish(result);
    out.finish();
    result.lines = out.line;
    if (out.stopped())
        result.cancelled = true;
    if (failed)
        result.error = QStringLiteral("Can't read the file \"%1\": %2").arg(fileName, file.errorString());
    result.ok = !failed && !result.cancelled;
    return result;
}

qint64 frameEstimate(const QString &fileName)
{
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 size = file.size();
    const QByteArray head = file.read(64 * 1024);
    if (head.isEmpty())
        return 0;
    const qint64 lines = std::max<qint64>(head.count('\n') + head.count('\r') - head.count("\r\n"), 1);
    if (head.size() >= size)
        return lines;
    // 2 % over, for files whose lines grow a little further on.
    return qint64(double(lines) * double(size) / double(head.size()) * 1.02) + 16;
}

WriteResult writeFile(const QString &fileName, Format format, const Frames &frames, const WriteOptions &options)
{
    WriteResult result;
    if (format != Format::Candump && format != Format::Asc && format != Format::Csv) {
        result.error = QStringLiteral("Can't write the file \"%1\": Tessel does not write %2 files here.")
                           .arg(fileName, format == Format::Unknown ? QStringLiteral("such") : formatName(format));
        return result;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, file.errorString());
        return result;
    }
    const ChunkOut put = [&file](const QByteArray &chunk) {
        for (qint64 done = 0; done < chunk.size();) {
            const qint64 n = file.write(chunk.constData() + done, chunk.size() - done);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    bool ok = false;
    qint64 written = 0;
    switch (format) {
    case Format::Candump:
        written = writeCandump(frames, options, put, &ok);
        break;
    case Format::Asc:
        written = writeAsc(frames, options, put, &ok);
        break;
    default:
        written = writeCsv(frames, options, put, &ok);
        break;
    }
    if (!ok || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, reason);
        return result;
    }
    result.ok = true;
    result.frames = written;
    return result;
}

QByteArray writeBytes(Format format, const Frames &frames, const WriteOptions &options)
{
    QByteArray text;
    const ChunkOut put = [&text](const QByteArray &chunk) {
        text.append(chunk);
        return true;
    };
    bool ok = false;
    switch (format) {
    case Format::Candump:
        (void)writeCandump(frames, options, put, &ok);
        break;
    case Format::Asc:
        (void)writeAsc(frames, options, put, &ok);
        break;
    case Format::Csv:
        (void)writeCsv(frames, options, put, &ok);
        break;
    default:
        break;
    }
    return ok ? text : QByteArray();
}

} // namespace logformat
