#pragma once

#include "core/clsframe.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <functional>

class IdIndex;

// Capture text files: three header lines, then one line per shown frame in
// capture order, ended by CR LF. Every written line is one line: control
// characters in names and descriptions are written as spaces.
//
//   ; CAN_DB="Bench"
//   ; CAN_Speed=500000
//   ; CAN_Timer=1000000
//   0001E240 123 ----- 0 0 0 0 3 11 22 33               ; Engine : Speed
//   0002A000 --- 3 - - - - 0                            ; Lost frame :
//
// A record is the row's cells TSMP, ID-Std, ID-Ext, RTR, IDE, RB1, RB0, DLC
// and Data joined by the delimiter (setting "outDelimiter", default one
// space), padded with spaces to 52 characters, then " ; " and, when the row
// has one, "Device : Description". Reading keeps the text before the first
// ";" of each line; time, duration and labels are derived again. Lines may
// end in CR LF, LF or CR alone.
namespace capturefile {

inline constexpr int recordWidth = 52;
// The shortest line that can hold a record, its end included: "0 --- 0" LF.
inline constexpr int shortestRecordLine = 8;
inline const QString defaultDelimiter = QStringLiteral(" ");

// Why a field delimiter cannot be read back from a file ("" when it can): it
// must not be empty and must not hold ";" (the reader cuts each line there)
// or a line end.
[[nodiscard]] QString delimiterProblem(const QString &delimiter);

// `text` with every control character replaced by a space, so that it cannot
// break a record or header line.
[[nodiscard]] QString oneLine(const QString &text);

struct Header
{
    QString dbName;      // as shown in the data base selector
    double canSpeed = 0; // bits per second
    double canTimer = 0; // time-stamp ticks per second
};

// "; CAN_DB=\"name\"", "; CAN_Speed=500000", "; CAN_Timer=1000000".
[[nodiscard]] QStringList headerLines(const Header &header);
// The header a file starts with, as far as its first lines hold one: values
// that are missing or not positive numbers stay 0.
[[nodiscard]] Header readHeader(const QString &fileName);

// The record of one row (no line end), with the cells the message list shows
// for the frame. Device and description are the row's labels.
[[nodiscard]] QString captureLine(const clsFrame &frame, const QString &device, const QString &description,
                                  const QString &delimiter = QStringLiteral(" "));

// The text before the first ";" without surrounding spaces; empty for header,
// comment and blank lines.
[[nodiscard]] QStringView recordText(QStringView line);
[[nodiscard]] QByteArrayView recordText(QByteArrayView line);

// Reads one record into `frame`, as clsFrame::setFromString with `bitRate`
// does. False for a malformed record: a missing field, text that is not a
// number of its base, a DLC above 15 or a lost-frame count above 255 (a DLC
// of 9 to 15 is kept, with 8 data bytes, as the analyser reports it).
// Well-formed records with the default delimiter are read straight from the
// bytes; anything else goes through setFromString.
bool readRecord(QByteArrayView record, const QString &delimiter, double bitRate, clsFrame &frame);
bool readRecord(QStringView record, const QString &delimiter, double bitRate, clsFrame &frame);

struct WriteResult
{
    bool ok = false;
    QString error; // for the user when !ok
    qint64 rows = 0;
};

// The rows to write: how many, and the frame of each (0-based) row, in the
// order the frames were captured.
struct Rows
{
    qsizetype count = 0;
    std::function<const clsFrame &(qsizetype row)> frame;
};

// Writes the whole file in one pass. The old file stays untouched until the
// new one is complete, so a failed write leaves it as it was. A delimiter
// that could not be read back is refused. Labels come from
// `labels` (nullptr: none) by identifier key; a lost-frame row is labelled
// "Lost frame".
WriteResult writeCaptureFile(const QString &fileName, const Header &header, const Rows &rows, const IdIndex *labels,
                             const QString &delimiter = QStringLiteral(" "));

struct ReadResult
{
    bool ok = false;
    QString error;               // for the user when !ok
    qint64 lines = 0;            // lines read
    qint64 frames = 0;           // records stored
    qint64 skipped = 0;          // malformed records
    qint64 firstSkippedLine = 0; // 1-based; 0 when none was skipped
    bool outOfMemory = false;    // the frames did not fit in memory (ok false)
    bool cancelled = false;      // stopped by the stop flag (ok false)
};

// Reads a capture file line by line, in one pass.
class CaptureFileReader
{
public:
    // Opens the file; false (with a message for the user) when it cannot be
    // read. Only regular files are opened: a pipe or a device would block or
    // never end.
    bool open(const QString &fileName, QString *error);

    // The number of lines, estimated from the file size and the lines of its
    // first 64 KiB (exact for files up to that size); 0 for an empty file.
    [[nodiscard]] qint64 lineCount() const { return estimatedLines; }
    // Frames worth reserving room for: the estimate, but never more records
    // than the file's size can hold.
    [[nodiscard]] qint64 reserveHint() const;

    // Reads every line; each record is turned into a frame and handed to
    // `store`. `progress` is told the number of lines read now and then
    // (every `progressStep` lines and at the end). Reading stops at an I/O
    // error or when `store` runs out of memory (ok false); frames handed over
    // until then stay handed over.
    ReadResult readAll(const QString &delimiter, double bitRate, const std::function<void(const clsFrame &)> &store,
                       const std::function<void(qint64 linesRead)> &progress = {}, qint64 progressStep = 4096);
    // A flag (set on another thread) that stops readAll, looked at every
    // 4096 lines; nullptr: none.
    void setStop(const std::atomic<bool> *flag) { stop = flag; }

private:
    const std::atomic<bool> *stop = nullptr;
    QFile file;
    QString name;
    qint64 estimatedLines = 0;
    qint64 fileSize = 0;
};

// The message after a load that skipped lines; empty when none was skipped.
// "3 lines of the file could not be read and were skipped (the first is line 7)."
[[nodiscard]] QString skippedMessage(const ReadResult &result);

// The message for a file from which no frame could be read.
[[nodiscard]] QString nothingReadMessage(const QString &fileName, const ReadResult &result);

} // namespace capturefile
