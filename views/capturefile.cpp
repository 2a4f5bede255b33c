#include "views/capturefile.h"

#include "candb/dbindex.h"
#include "candb/values.h"

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

bool readRecord(QStringView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    frame = clsFrame();
    if (!frame.setFromString(record.toString(), delimiter, bitRate))
        return false;
    if (frame.isLost)
        return frame.ID.ExtPart >= 0 && frame.ID.ExtPart <= 0xFF;
    return frame.DLC <= 8;
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
    QByteArray bytes;
    bytes.reserve(256);
    while (!file.atEnd()) {
        bytes = file.readLine();
        if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
            break;
        ++result.lines;
        const QString line = QString::fromLocal8Bit(bytes);
        const QStringView record = recordText(line);
        if (!record.isEmpty()) {
            if (readRecord(record, delimiter, bitRate, frame)) {
                store(frame);
                ++result.frames;
            } else {
                if (result.skipped++ == 0)
                    result.firstSkippedLine = result.lines;
            }
        }
        if (progress && progressStep > 0 && result.lines % progressStep == 0)
            progress(result.lines);
    }
    if (file.error() != QFileDevice::NoError) {
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
