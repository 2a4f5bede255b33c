#pragma once

#include "core/clsframe.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class IdIndex;

// Capture logs of other tools beside Tessel's own capture text, read into and
// written from frame records. One reader and one writer per format; the
// reader is chosen by the content, never by the file name.
//
// Times: a reader turns each frame's time into stamp ticks of the capture's
// timer (ReadOptions::timerRate ticks per second) counted from the file's
// first frame, so the capture store places it as it places a captured frame.
// Where the file carries an absolute time (candump's epoch, an ASC date
// line) the first frame's is returned and can be written back.
namespace logformat {

enum class Format {
    Unknown,
    Tessel,  // Tessel's capture text (core/capturefile.h)
    Candump, // "(1700000000.123456) can0 123#DEADBEEF"
    Asc,     // ASCII trace with "date", "base hex|dec", "timestamps absolute|relative"
    Trc,     // trace file, versions 1.0 to 2.1 (read only)
    Csv,     // one row per frame (write only)
};

// "tessel", "candump", "asc", "trc", "csv"; "" for Unknown.
[[nodiscard]] QString formatName(Format format);
// The format of a name formatName gives (letters in any case); Unknown for others.
[[nodiscard]] Format formatFromName(QStringView name);
// The format a file is written in by its extension: .txt Tessel, .log
// Candump, .asc Asc, .csv Csv (any case); Unknown for others.
[[nodiscard]] Format formatForFileName(const QString &fileName);
// The format of a file from its first bytes (a few KiB are enough).
[[nodiscard]] Format detect(QByteArrayView head);

// Where a reader puts each frame; false stops the read (out of memory, cancelled).
using FrameSink = std::function<bool(const clsFrame &frame)>;

struct ReadOptions
{
    double timerRate = 1000000; // stamp ticks per second of the capture
    double bitRate = 500000;    // for each frame's Duration
    QString delimiter = QStringLiteral(" "); // of Tessel's own capture text
    // Told the bytes read now and then; false cancels the read.
    std::function<bool(qint64 bytesRead)> progress;
};

// Lines that were not frames, by reason ("CAN FD frame", "error frame",
// "malformed line", ...), with the first line (1-based) of each.
struct Skipped
{
    QString reason;
    qint64 count = 0;
    qint64 firstLine = 0;
};

struct ReadResult
{
    bool ok = false;
    bool cancelled = false;
    QString error; // for the user when !ok
    Format format = Format::Unknown;
    qint64 lines = 0;
    qint64 frames = 0;
    QList<Skipped> skipped; // in order of first appearance
    // The first frame's absolute time in microseconds since 1970-01-01 UTC,
    // when the file tells it.
    std::optional<qint64> startMicroseconds;
    // The buses (channels) the frames came from, in rising order.
    QList<int> buses;
};

// Reads a whole file of any readable format (detected from its content)
// into `sink`. Frames carry their bus in clsFrame::Bus (0 = the first).
[[nodiscard]] ReadResult readFile(const QString &fileName, const ReadOptions &options, const FrameSink &sink);

// The same for bytes in memory, read as `format` (Unknown: detected).
[[nodiscard]] ReadResult readBytes(QByteArrayView data, const ReadOptions &options, const FrameSink &sink,
                                   Format format = Format::Unknown);

// Frames worth reserving room for before reading the file: its size over the
// mean line length of its first 64 KiB, a little more; 0 when it cannot be read.
[[nodiscard]] qint64 frameEstimate(const QString &fileName);

// A line longer than this is skipped as "line too long" (no format needs
// a tenth of it).
inline constexpr qsizetype maxLineLength = 16 * 1024;

struct WriteOptions
{
    double timerRate = 1000000; // stamp ticks per second of the frames' Time
    std::optional<qint64> startMicroseconds;
    // Labels (device, description) for formats that carry them; may be null.
    const IdIndex *labels = nullptr;
};

struct WriteResult
{
    bool ok = false;
    QString error;
    qint64 frames = 0;
};

// The frames to write, in order; each must have its Time set (the capture
// store sets it).
struct Frames
{
    qsizetype count = 0;
    std::function<const clsFrame &(qsizetype index)> frame;
};

// Writes a file in a writable format (Candump, Asc, Csv; Tessel's own goes
// through capturefile). Written whole or not at all. Lost-frame records have
// no place in these formats and are left out (WriteResult::frames counts the
// frames written).
[[nodiscard]] WriteResult writeFile(const QString &fileName, Format format, const Frames &frames,
                                    const WriteOptions &options);

// The same text in memory (for the clipboard); empty for a format not written.
[[nodiscard]] QByteArray writeBytes(Format format, const Frames &frames, const WriteOptions &options);

} // namespace logformat
