#include "views/capturefile.h"

#include "candb/dbindex.h"
#include "candb/values.h"
#include "link/digits.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>

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
    return device + QStringLiteral(" : ") + description;
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
    explicit LabelCache(const IdIndex *index) : index(index) {}

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

// One field of a plain record as a number of `base` no larger than `max`.
bool plainNumber(QByteArrayView field, int base, quint64 max, quint64 &value)
{
    value = 0;
    if (field.isEmpty())
        return false;
    for (const char c : field) {
        const int digit = digitValue(uchar(c), base);
        if (digit < 0)
            return false;
        value = value * quint64(base) + quint64(digit);
        if (value > max)
            return false;
    }
    return true;
}

// The common record - hex digits, dashes and single spaces - read straight
// from the bytes, field by field as setFromString reads it. 1: read; -1:
// anything unusual (a stray character, an empty or bad field), which is left
// to setFromString to read and judge.
int readPlainRecord(QByteArrayView record, double bitRate, clsFrame &frame)
{
    constexpr int maxFields = 17;
    QByteArrayView fields[maxFields];
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= record.size(); ++i) {
        if (i == record.size() || record[i] == ' ') {
            if (i == start || count == maxFields)
                return -1;
            fields[count++] = record.sliced(start, i - start);
            start = i + 1;
            continue;
        }
        const char c = record[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == '-'))
            return -1;
    }
    quint64 v = 0;
    const auto number = [&](int n, int base, quint64 max) { return n < count && plainNumber(fields[n], base, max, v); };

    if (!number(0, 16, 0xFFFFFFFF))
        return -1;
    frame.TimeStamp = qint64(v);
    frame.Time = frame.TimeStamp;
    if (count > 1 && fields[1] == "---") {
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

} // namespace

QStringList headerLines(const Header &header)
{
    return {QStringLiteral("; CAN_DB=\"") + header.dbName + QLatin1Char('"'),
            QStringLiteral("; CAN_Speed=") + numberText(header.canSpeed),
            QStringLiteral("; CAN_Timer=") + numberText(header.canTimer)};
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
    return (semicolon < 0 ? line : line.first(semicolon)).trimmed();
}

bool readRecord(QByteArrayView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    frame = clsFrame();
    bool ok = false;
    const int fast = delimiter == QLatin1String(" ") ? readPlainRecord(record, bitRate, frame) : -1;
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
    return frame.DLC <= 8;
}

bool readRecord(QStringView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    return readRecord(QByteArrayView(record.toString().toLocal8Bit()), delimiter, bitRate, frame);
}

WriteResult writeCaptureFile(const QString &fileName, const Header &header, const Rows &rows, const IdIndex *labels,
                             const QString &delimiter)
{
    WriteResult result;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, file.errorString());
        return result;
    }

    QString chunk;
    const auto flush = [&file, &chunk] {
        const QByteArray bytes = chunk.toLocal8Bit();
        chunk.clear();
        return file.write(bytes) == bytes.size();
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
        file.cancelWriting();
        result.error = QStringLiteral("Can't write the file \"%1\": %2").arg(fileName, file.errorString());
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
    file.setFileName(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error =
                QStringLiteral("Can't read the file \"%1\": %2")
                    .arg(fileName, QFileInfo(fileName).isDir() ? QStringLiteral("it is a folder") : file.errorString());
        return false;
    }
    const qint64 size = file.size();
    const QByteArray head = file.peek(64 * 1024);
    qint64 lines = head.count('\n');
    if (!head.isEmpty() && !head.endsWith('\n'))
        ++lines; // the last (or a long) line without its end
    if (head.size() < size && !head.isEmpty())
        lines = qint64(double(lines) * double(size) / double(head.size())) + 1;
    estimatedLines = lines;
    return true;
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
    clsFrame frame;
    const auto line = [&](QByteArrayView bytes) {
        ++result.lines;
        const QByteArrayView record = recordText(bytes);
        if (!record.isEmpty()) {
            if (readRecord(record, delimiter, bitRate, frame)) {
                store(frame);
                ++result.frames;
            } else if (result.skipped++ == 0) {
                result.firstSkippedLine = result.lines;
            }
        }
        if (progress && progressStep > 0 && result.lines % progressStep == 0)
            progress(result.lines);
    };

    // Blocks of 1 MiB cut into lines; a line's end is LF (a CR before it is
    // trimmed with the record), the last line may lack it.
    constexpr qsizetype blockSize = 1 << 20;
    QByteArray block;
    QByteArray carry;
    bool readFailed = false;
    while (true) {
        block = file.read(blockSize);
        if (block.isEmpty()) {
            readFailed = file.error() != QFileDevice::NoError;
            break;
        }
        qsizetype from = 0;
        for (qsizetype end = block.indexOf('\n'); end >= 0; end = block.indexOf('\n', from)) {
            if (!carry.isEmpty()) {
                carry.append(QByteArrayView(block).sliced(from, end - from));
                line(carry);
                carry.clear();
            } else {
                line(QByteArrayView(block).sliced(from, end - from));
            }
            from = end + 1;
        }
        carry.append(QByteArrayView(block).sliced(from));
    }
    if (!readFailed && !carry.isEmpty())
        line(carry);
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

} // namespace capturefile
