#include "core/capturefile.h"

#include "core/dbindex.h"
#include "core/values.h"
#include "core/digits.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>

#include <cmath>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace capturefile {

namespace {

const QString lostFrameDevice = QStringLiteral("Lost frame");

void appendHex(QString &out, quint64 value, int width)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    char buffer[16];
    int n = 0;
    do {
        buffer[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 16);
    for (int pad = n; pad < width; ++pad)
        out.append(QLatin1Char('0'));
    while (n > 0)
        out.append(QLatin1Char(buffer[--n]));
}

void appendDecimal(QString &out, qint64 value)
{
    if (value < 0) {
        out.append(QString::number(value));
        return;
    }
    char buffer[20];
    int n = 0;
    do {
        buffer[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        out.append(QLatin1Char(buffer[--n]));
}

void appendFlag(QString &out, int flag)
{
    out.append(flag ? QLatin1Char('1') : QLatin1Char('0'));
}

// The cells as the message list shows them, then padding, " ; " and labels.
void appendLine(QString &out, const clsFrame &frame, const QString &labels, const QString &delimiter)
{
    const qsizetype start = out.size();
    appendHex(out, quint64(frame.TimeStamp) & 0xFFFFFFFFu, 8);
    out.append(delimiter);
    if (frame.isLost) {
        out.append(QLatin1String("---"));
        out.append(delimiter);
        appendDecimal(out, frame.ID.ExtPart);
        for (int i = 0; i < 4; ++i) {
            out.append(delimiter);
            out.append(QLatin1Char('-'));
        }
        out.append(delimiter);
        out.append(QLatin1Char('0'));
        out.append(delimiter);
    } else {
        appendHex(out, quint64(frame.ID.StdPart) & 0x7FF, 3);
        out.append(delimiter);
        if (frame.IDE())
            appendHex(out, quint64(frame.ID.ExtPart) & 0x3FFFF, 5);
        else
            out.append(QLatin1String("-----"));
        out.append(delimiter);
        appendFlag(out, frame.RTR());
        out.append(delimiter);
        appendFlag(out, frame.IDE());
        out.append(delimiter);
        appendFlag(out, frame.RB1());
        out.append(delimiter);
        appendFlag(out, frame.RB0());
        out.append(delimiter);
        appendDecimal(out, frame.DLC);
        out.append(delimiter);
        if (!frame.RTR()) {
            for (int i = 0; i < frame.dataLength(); ++i) {
                if (i > 0)
                    out.append(QLatin1Char(' '));
                appendHex(out, frame.DataB(i), 2);
            }
        }
    }
    const qsizetype width = out.size() - start;
    if (width < recordWidth)
        out.append(QString(recordWidth - width, QLatin1Char(' ')));
    out.append(QLatin1String(" ; "));
    out.append(labels);
}

QString labelText(const QString &device, const QString &description)
{
    if (device.isEmpty() && description.isEmpty())
        return {};
    return oneLine(device + QStringLiteral(" : ") + description);
}

QString numberText(double value)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

// Labels of a row by identifier key number, looked up once per identifier.
class LabelCache
{
public:
    explicit LabelCache(const IdIndex *index)
        : index(index)
    {
    }

    const QString &labels(const clsFrame &frame)
    {
        const qint32 key = frameIdNumber(frame);
        auto it = cache.find(key);
        if (it == cache.end()) {
            QString device;
            QString description;
            if (frame.isLost)
                device = lostFrameDevice;
            else if (index && !index->idLabels(idKey(key), &device, &description)) {
                device.clear();
                description.clear();
            }
            it = cache.insert(key, labelText(device, description));
        }
        return *it;
    }

private:
    const IdIndex *index;
    QHash<qint32, QString> cache;
};

// Per byte: its value as a hex digit (0-15), `dash`, `space`, or `other`.
constexpr quint8 dash = 16;
constexpr quint8 space = 17;
constexpr quint8 other = 0xFF;
constexpr std::array<quint8, 256> plainBytes = [] {
    std::array<quint8, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const int digit = digitValue(char16_t(c), 16);
        t[size_t(c)] = c == '-' ? dash : c == ' ' ? space : digit >= 0 ? quint8(digit) : other;
    }
    return t;
}();

// One field of a plain record as a number of `base` no larger than `max`.
bool plainNumber(QByteArrayView field, int base, quint64 max, quint64 &value)
{
    value = 0;
    if (field.isEmpty() || field.size() > 16)
        return false;
    for (const char c : field) {
        const quint8 digit = plainBytes[uchar(c)];
        if (digit >= quint8(base))
            return false;
        value = value * quint64(base) + digit;
    }
    return value <= max;
}

// The common record - hex digits, dashes and single spaces - read straight
// from the bytes, field by field as setFromString reads it. 1: read; -1:
// anything unusual (a stray character, an empty or bad field), which is left
// to setFromString to read and judge.
int readPlainRecord(QByteArrayView record, double bitRate, clsFrame &frame)
{
    constexpr int maxFields = 17;
    // Left uninitialised: only the `count` first are read, and clearing
    // them all costs more than reading a whole record.
    struct Field
    {
        const char *data;
        qsizetype size;
    };
    Field fields[maxFields];
    int count = 0;
    const char *const text = record.data();
    const qsizetype size = record.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const quint8 kind = plainBytes[uchar(text[i])];
        if (kind < space)
            continue;
        if (kind == other || i == start || count == maxFields)
            return -1;
        fields[count++] = {text + start, i - start};
        start = i + 1;
    }
    if (size == start || count == maxFields)
        return -1;
    fields[count++] = {text + start, size - start};

    quint64 v = 0;
    const auto number = [&](int n, int base, quint64 max) {
        return n < count && plainNumber(QByteArrayView(fields[n].data, fields[n].size), base, max, v);
    };

    if (!number(0, 16, 0xFFFFFFFF))
        return -1;
    frame.TimeStamp = qint64(v);
    frame.Time = frame.TimeStamp;
    if (count > 1 && QByteArrayView(fields[1].data, fields[1].size) == "---") {
        if (!number(2, 10, 0x7FFFFFFF))
            return -1;
        frame.isLost = true;
        frame.ID.ExtPart = qint32(v);
        frame.computeDuration(bitRate);
        return 1;
    }
    if (!number(1, 16, 0x7FF))
        return -1;
    frame.ID.StdPart = qint32(v);
    if (!number(3, 10, 0xFFFFFFFF))
        return -1;
    frame.setRTR(int(v != 0));
    if (!number(7, 10, 0xFF))
        return -1;
    frame.DLC = quint8(v);
    if (!frame.RTR()) {
        for (int i = 0; i < frame.dataLength(); ++i) {
            if (!number(8 + i, 16, 0xFF))
                return -1;
            frame.setDataB(i, quint8(v));
        }
    }
    if (!number(4, 10, 0xFFFFFFFF))
        return -1;
    frame.setIDE(int(v != 0));
    if (frame.IDE()) {
        if (!number(2, 16, 0x3FFFF))
            return -1;
        frame.ID.ExtPart = qint32(v);
    }
    if (!number(5, 10, 0xFFFFFFFF))
        return -1;
    frame.setRB1(int(v != 0));
    if (!number(6, 10, 0xFFFFFFFF))
        return -1;
    frame.setRB0(int(v != 0));
    frame.computeDuration(bitRate);
    return 1;
}

// The first CR or LF from `from` on; `end` when there is none. Sixteen bytes
// are looked at in one step where the processor can.
const char *lineEnd(const char *from, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const auto hits =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        if (hits != 0)
            return from + std::countr_zero(hits);
    }
#endif
    for (; from < end; ++from) {
        if (*from == '\r' || *from == '\n')
            return from;
    }
    return end;
}

// Bus time by IDE and data length, as clsFrame::frameDuration gives it,
// worked out once per file rather than divided out for every frame.
class Durations
{
public:
    explicit Durations(double bitRate)
    {
        for (int ide = 0; ide < 2; ++ide) {
            for (int length = 0; length <= 8; ++length)
                of[ide][length] = clsFrame::frameDuration(length, ide != 0, bitRate);
        }
    }
    [[nodiscard]] double operator()(bool ide, int dataLength) const { return of[ide ? 1 : 0][dataLength]; }

private:
    double of[2][9];
};

// `digits` hex digits from `p`; a character that is none sets bits of `bad`.
// Read without a branch, so that a stray character costs nothing until the
// caller looks at `bad`.
template <int digits> quint32 hexAt(const uchar *p, quint32 &bad)
{
    quint32 v = 0;
#pragma GCC unroll 8
    for (int i = 0; i < digits; ++i) {
        const quint32 d = plainBytes[p[i]];
        bad |= d & 0xF0;
        v = v << 4 | (d & 0xF);
    }
    return v;
}

// Eight hex digits from `p` at once, each byte a lane of one 64-bit word;
// anything but a hex digit sets bits of `bad`.
quint32 hex8At(const uchar *p, quint32 &bad)
{
    if constexpr (std::endian::native != std::endian::little) {
        return hexAt<8>(p, bad);
    } else {
        constexpr quint64 ones = 0x0101010101010101ULL;
        constexpr quint64 high = ones * 0x80;
        quint64 w = 0;
        std::memcpy(&w, p, sizeof w);
        // Bit 7 of a lane: its byte lies in [lo, hi]; exact for bytes below
        // 0x80, and a byte from 0x80 on is refused on its own.
        const auto within = [](quint64 x, quint64 lo, quint64 hi) {
            return (x + ones * (0x80 - lo)) & ~(x + ones * (0x7F - hi)) & high;
        };
        const quint64 digit = within(w, '0', '9');
        const quint64 letter = within(w | ones * 0x20, 'a', 'f');
        bad |= ((w & high) != 0 || (digit | letter) != high) ? 0x100U : 0U;
        // Lane values, then pairs of lanes joined, the first byte the most
        // significant digit.
        quint64 v = (w & ones * 0x0F) + (letter >> 7) * 9;
        v = ((v & 0x000F000F000F000FULL) << 4) | ((v >> 8) & 0x000F000F000F000FULL);
        v = ((v & 0x000000FF000000FFULL) << 8) | ((v >> 16) & 0x000000FF000000FFULL);
        return quint32(((v & 0xFFFF) << 16) | ((v >> 32) & 0xFFFF));
    }
}

// A line as this program writes it with the default delimiter, read by its
// columns: "SSSSSSSS III EEEEE R I 1 0 D XX XX ..." (E: "-----" or the
// extension in hex; the flags and the DLC in decimal), then nothing but
// spaces up to ";" or the line's end. A line of any other form - a lost-frame
// record, other spacing, a field out of its range - gives false and is left
// to readRecord, which reads and judges it; what is read here is what
// setFromString reads from the same line.
bool readOwnLine(QByteArrayView line, const Durations &durations, clsFrame &frame)
{
    const auto *p = reinterpret_cast<const uchar *>(line.data());
    const qsizetype n = line.size();
    if (n < 28)
        return false;
    // A stray character shows in `bad`.
    quint32 bad = 0;
    const auto decimal = [p, &bad](qsizetype at) {
        const quint32 d = quint32(p[at]) - '0';
        bad |= d > 9 ? 1U : 0U;
        return d;
    };
    const quint32 stamp = hex8At(p, bad);
    const quint32 standard = hexAt<3>(p + 9, bad);
    const quint32 rtr = decimal(19);
    const quint32 ide = decimal(21);
    const quint32 rb1 = decimal(23);
    const quint32 rb0 = decimal(25);
    quint32 dlc = decimal(27);
    qsizetype at = 28;
    if (at < n && quint32(p[at]) - '0' <= 9) {
        dlc = dlc * 10 + (p[at] - '0');
        ++at;
    }
    const bool spaced =
        p[8] == ' ' && p[12] == ' ' && p[18] == ' ' && p[20] == ' ' && p[22] == ' ' && p[24] == ' ' && p[26] == ' ';
    if (bad != 0 || !spaced || standard > 0x7FF || dlc > 15)
        return false;
    quint32 extension = 0;
    if (ide != 0) {
        extension = hexAt<5>(p + 13, bad);
        if (bad != 0 || extension > 0x3FFFF)
            return false;
    } else {
        // Not read, but it must be one field: digits or dashes.
        bool stray = false;
        for (qsizetype i = 13; i < 18; ++i)
            stray |= plainBytes[p[i]] > dash;
        if (stray)
            return false;
    }

    frame = clsFrame();
    const int length = dlc > 8 ? 8 : int(dlc);
    if (rtr == 0) {
        // " XX" per byte.
        if (at + 3 * length > n)
            return false;
        for (int i = 0; i < length; ++i) {
            bad |= p[at] ^ ' ';
            frame.setDataB(i, quint8(hexAt<2>(p + at + 1, bad)));
            at += 3;
        }
        if (bad != 0)
            return false;
    }
    // The padding up to the labels, eight spaces at a time.
    constexpr quint64 eightSpaces = 0x2020202020202020ULL;
    for (quint64 word = 0; at + 8 <= n; at += 8) {
        std::memcpy(&word, p + at, sizeof word);
        if (word != eightSpaces)
            break;
    }
    while (at < n && p[at] == ' ')
        ++at;
    if (at < n && p[at] != ';')
        return false;

    frame.TimeStamp = stamp;
    frame.Time = frame.TimeStamp;
    frame.ID.StdPart = qint32(standard);
    frame.ID.ExtPart = qint32(extension);
    frame.DLC = quint8(dlc);
    frame.Flags = quint8((rtr != 0 ? clsFrame::rtrBit : 0) | (ide != 0 ? clsFrame::ideBit : 0) |
                         (rb1 != 0 ? clsFrame::rb1Bit : 0) | (rb0 != 0 ? clsFrame::rb0Bit : 0));
    frame.Duration = durations(ide != 0, length);
    return true;
}

} // namespace

QString delimiterProblem(const QString &delimiter)
{
    if (delimiter.isEmpty())
        return QStringLiteral("it is empty");
    if (delimiter.contains(QLatin1Char(';')))
        return QStringLiteral("it holds \";\", where every line's record ends");
    if (delimiter.contains(QLatin1Char('\r')) || delimiter.contains(QLatin1Char('\n')))
        return QStringLiteral("it holds a line end");
    return {};
}

QString oneLine(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return out;
}

QStringList headerLines(const Header &header)
{
    return {QStringLiteral("; CAN_DB=\"") + oneLine(header.dbName) + QLatin1Char('"'),
            QStringLiteral("; CAN_Speed=") + numberText(header.canSpeed),
            QStringLiteral("; CAN_Timer=") + numberText(header.canTimer)};
}

Header readHeader(const QString &fileName)
{
    Header header;
    QFile file(fileName);
    // A pipe or a device would block or never end.
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return header;
    for (int i = 0; i < 3 && !file.atEnd(); ++i) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        const auto number = [&](QLatin1StringView key) {
            bool ok = false;
            const double value = line.mid(key.size()).trimmed().toDouble(&ok);
            return ok && value > 0 && std::isfinite(value) ? value : 0.0;
        };
        if (line.startsWith(QLatin1String("; CAN_DB=\"")) && line.endsWith(QLatin1Char('"')))
            header.dbName = line.mid(10, line.size() - 11);
        else if (line.startsWith(QLatin1String("; CAN_Speed=")))
            header.canSpeed = number(QLatin1String("; CAN_Speed="));
        else if (line.startsWith(QLatin1String("; CAN_Timer=")))
            header.canTimer = number(QLatin1String("; CAN_Timer="));
    }
    return header;
}

QString captureLine(const clsFrame &frame, const QString &device, const QString &description, const QString &delimiter)
{
    QString line;
    appendLine(line, frame, frame.isLost ? labelText(lostFrameDevice, {}) : labelText(device, description), delimiter);
    return line;
}

QStringView recordText(QStringView line)
{
    const qsizetype semicolon = line.indexOf(QLatin1Char(';'));
    return (semicolon < 0 ? line : line.left(semicolon)).trimmed();
}

QByteArrayView recordText(QByteArrayView line)
{
    const qsizetype semicolon = line.indexOf(';');
    const char *begin = line.data();
    const char *end = begin + (semicolon < 0 ? line.size() : semicolon);
    // Trimmed in place, as QByteArrayView::trimmed does, without its call
    // per line.
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (begin < end && blank(*begin))
        ++begin;
    while (end > begin && blank(end[-1]))
        --end;
    return QByteArrayView(begin, end - begin);
}

bool readRecord(QByteArrayView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    frame = clsFrame();
    bool ok = false;
    const bool plain = delimiter.size() == 1 && delimiter.front() == QLatin1Char(' ');
    const int fast = plain ? readPlainRecord(record, bitRate, frame) : -1;
    if (fast < 0) {
        frame = clsFrame();
        ok = frame.setFromString(QString::fromLocal8Bit(record), delimiter, bitRate);
    } else {
        ok = fast > 0;
    }
    if (!ok)
        return false;
    if (frame.isLost)
        return frame.ID.ExtPart >= 0 && frame.ID.ExtPart <= 0xFF;
    return frame.DLC <= 15;
}

bool readRecord(QStringView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    return readRecord(QByteArrayView(record.toString().toLocal8Bit()), delimiter, bitRate, frame);
}

WriteResult writeCaptureFile(const QString &fileName, const Header &header, const Rows &rows, const IdIndex *labels,
                             const QString &delimiter)
{
    WriteResult result;
    if (const QString problem = delimiterProblem(delimiter); !problem.isEmpty()) {
        result.error = QStringLiteral("Can't write the file \"%1\": the field delimiter \"%2\" could not be read back "
                                      "(%3).")
                           .arg(fileName, delimiter, problem);
        return result;
    }
    QSaveFile file(fileName);
    // Unbuffered: the chunks are large already, and a failed write then keeps
    // the system's reason (a full disk) instead of a generic one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, file.errorString());
        return result;
    }

    QString chunk;
    // A short write is followed by another, which fails with the reason.
    const auto flush = [&file, &chunk] {
        const QByteArray bytes = chunk.toLocal8Bit();
        chunk.clear();
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    bool ok = true;
    for (const QString &line : headerLines(header))
        chunk.append(line).append(QLatin1String("\r\n"));

    LabelCache cache(labels);
    constexpr qsizetype linesPerChunk = 4096;
    chunk.reserve(linesPerChunk * 90);
    for (qsizetype row = 0; row < rows.count && ok; ++row) {
        const clsFrame &frame = rows.frame(row);
        appendLine(chunk, frame, cache.labels(frame), delimiter);
        chunk.append(QLatin1String("\r\n"));
        if ((row + 1) % linesPerChunk == 0)
            ok = flush();
    }
    ok = ok && flush();
    if (!ok || !file.commit()) {
        // The reason is taken before cancelling, which would replace it by
        // "Writing canceled by application".
        const QString reason = file.errorString();
        file.cancelWriting();
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, reason);
        return result;
    }
    result.ok = true;
    result.rows = rows.count;
    return result;
}

bool CaptureFileReader::open(const QString &fileName, QString *error)
{
    file.close();
    name = fileName;
    estimatedLines = 0;
    fileSize = 0;
    file.setFileName(fileName);
    const auto refuse = [&](const QString &why) {
        file.close();
        if (error)
            *error = QStringLiteral("Can't read the file \"%1\": %2").arg(fileName, why);
        return false;
    };
    // Checked before opening: opening a named pipe blocks until a writer comes.
    const QFileInfo info(fileName);
    if (info.isDir())
        return refuse(QStringLiteral("it is a folder"));
    if (info.exists() && !info.isFile())
        return refuse(QStringLiteral("it is not a regular file"));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    if (file.isSequential()) // replaced by something else since the check
        return refuse(QStringLiteral("it is not a regular file"));
    const qint64 size = file.size();
    fileSize = size;
    const QByteArray head = file.peek(64 * 1024);
    // Line ends: LF, CR LF and a CR alone each end one line.
    qint64 lines = head.count('\n') + head.count('\r') - head.count("\r\n");
    if (!head.isEmpty() && !head.endsWith('\n') && !head.endsWith('\r'))
        ++lines; // the last (or a long) line without its end
    if (head.size() < size && !head.isEmpty())
        lines = qint64(double(lines) * double(size) / double(head.size())) + 1;
    estimatedLines = lines;
    return true;
}

qint64 CaptureFileReader::reserveHint() const
{
    return std::min(estimatedLines, fileSize / shortestRecordLine + 1);
}

ReadResult CaptureFileReader::readAll(const QString &delimiter, double bitRate,
                                      const std::function<void(const clsFrame &)> &store,
                                      const std::function<void(qint64)> &progress, qint64 progressStep)
{
    ReadResult result;
    if (!file.isOpen()) {
        result.error = QStringLiteral("Can't read the file \"%1\".").arg(name);
        return result;
    }
    struct Stopped
    {
    };
    const bool plain = delimiter.size() == 1 && delimiter.front() == QLatin1Char(' ');
    const Durations durations(bitRate);
    // Counted up to: a division per line would cost as much as reading the
    // line's record.
    qint64 nextProgress = progressStep > 0 ? progressStep : -1;
    // Frames are handed on in small batches: one handed on (and copied) just
    // after its fields were set would wait for them to reach memory.
    constexpr int batchSize = 64;
    std::array<clsFrame, batchSize> batch;
    int batched = 0;
    const auto handOn = [&] {
        for (int i = 0; i < batched; ++i) {
            store(batch[size_t(i)]);
            ++result.frames;
        }
        batched = 0;
    };
    const auto line = [&](QByteArrayView bytes) {
        ++result.lines;
        clsFrame &frame = batch[size_t(batched)];
        bool read = plain && readOwnLine(bytes, durations, frame);
        if (!read) {
            if (const QByteArrayView record = recordText(bytes); !record.isEmpty()) {
                read = readRecord(record, delimiter, bitRate, frame);
                if (!read && result.skipped++ == 0)
                    result.firstSkippedLine = result.lines;
            }
        }
        if (read && ++batched == batchSize)
            handOn();
        if (result.lines == nextProgress) {
            nextProgress += progressStep;
            handOn();
            if (progress)
                progress(result.lines);
            if (stop && stop->load(std::memory_order_relaxed))
                throw Stopped();
        }
    };

    // Blocks of 1 MiB cut into lines. A line ends at LF, CR LF or a CR alone;
    // a CR LF split between two blocks is one line end. The last line may
    // lack its end.
    constexpr qsizetype blockSize = 1 << 20;
    // One buffer for every block: a fresh one each time comes with fresh
    // pages for the system to map and clear.
    QByteArray block(blockSize, Qt::Uninitialized);
    QByteArray carry;
    bool readFailed = false;
    bool afterCR = false; // the previous block ended in CR: a leading LF is its pair
    try {
        while (true) {
            const qint64 got = file.read(block.data(), blockSize);
            if (got <= 0) {
                readFailed = got < 0 || file.error() != QFileDevice::NoError;
                break;
            }
            const char *const begin = block.constData();
            const qsizetype size = qsizetype(got);
            qsizetype from = 0;
            if (afterCR && begin[0] == '\n')
                from = 1;
            afterCR = false;
            while (from < size) {
                const qsizetype end = lineEnd(begin + from, begin + size) - begin;
                if (end == size)
                    break;
                const QByteArrayView text(begin + from, end - from);
                if (!carry.isEmpty()) {
                    carry.append(text);
                    line(carry);
                    carry.clear();
                } else {
                    line(text);
                }
                from = end + 1;
                if (begin[end] == '\r') {
                    if (from < size && begin[from] == '\n')
                        ++from;
                    else if (from == size)
                        afterCR = true;
                }
            }
            carry.append(QByteArrayView(begin + from, size - from));
        }
        if (!readFailed && !carry.isEmpty())
            line(carry);
        handOn();
    } catch (const Stopped &) {
        file.close();
        result.cancelled = true;
        result.error = QStringLiteral("Reading the file \"%1\" was cancelled.").arg(name);
        return result;
    } catch (const std::bad_alloc &) {
        file.close();
        result.outOfMemory = true;
        result.error =
            QStringLiteral("Can't read the file \"%1\": there is not enough memory for its frames (%2 read).")
                .arg(name)
                .arg(result.frames);
        return result;
    }
    if (readFailed) {
        result.error = QStringLiteral("Can't read the file \"%1\": %2").arg(name, file.errorString());
        file.close();
        return result;
    }
    file.close();
    if (progress)
        progress(result.lines);
    result.ok = true;
    return result;
}

QString skippedMessage(const ReadResult &result)
{
    if (result.skipped == 0)
        return {};
    if (result.skipped == 1)
        return QStringLiteral("1 line of the file could not be read and was skipped (line %1).")
            .arg(result.firstSkippedLine);
    return QStringLiteral("%1 lines of the file could not be read and were skipped (the first is line %2).")
        .arg(result.skipped)
        .arg(result.firstSkippedLine);
}

QString nothingReadMessage(const QString &fileName, const ReadResult &result)
{
    QString text = QStringLiteral("No frame could be read from the file \"%1\"").arg(fileName);
    if (result.lines == 0)
        return text + QStringLiteral(": it is empty.");
    if (result.skipped == 0)
        return text + QStringLiteral(": it holds no records.");
    return text + QStringLiteral(". ") + skippedMessage(result);
}

} // namespace capturefile
