#pragma once

#include "core/logformat.h"

#include <QList>
#include <QString>
#include <QUrl>

// The choices File › Open and Save As make about the format of a capture
// log: the file dialogs' type lists, which format a chosen type writes, the
// extension a bare name gets, and what a load of another tool's log says
// about the lines it skipped. Tessel's own capture text stays the first type
// of each list.
namespace captureformats {

// "TXT-files (*.txt);;Logs (*.txt *.log *.asc *.trc);;All files (*)"
[[nodiscard]] QString openFilter();
// Tessel text, candump, ASC, CSV, then "All files (*)", one per writable format.
[[nodiscard]] QString saveFilter();
// The entry of saveFilter() that writes `format` (Tessel's for a format
// that cannot be written).
[[nodiscard]] QString saveFilterOf(logformat::Format format);

// Formats this program writes: Tessel's text, candump, ASC and CSV.
[[nodiscard]] bool isWritable(logformat::Format format);
// ".txt" for Tessel's text, ".log", ".asc", ".csv"; "" for a format not written.
[[nodiscard]] QString extension(logformat::Format format);

struct SaveChoice
{
    QString fileName;
    logformat::Format format = logformat::Format::Tessel;
};

// What Save As writes for the name the dialog returned and the type chosen
// in it: the type's format, its extension added when the name has none.
// With "All files" or no type, the name's extension picks the format
// (Tessel's text for any other).
// Example: "/tmp/run", "candump log (*.log)" -> "/tmp/run.log", Candump.
[[nodiscard]] SaveChoice saveChoice(const QString &fileName, const QString &chosenFilter);

// The message after a load of another tool's log that skipped lines, by
// reason with the first line of each; empty when none was skipped.
// "3 lines of the file were not read as frames and were skipped: 2 CAN FD
// frame (the first is line 4), 1 malformed line (line 9)."
[[nodiscard]] QString skippedMessage(const logformat::ReadResult &result);
// The message for such a log from which no frame could be read.
[[nodiscard]] QString nothingReadMessage(const QString &fileName, const logformat::ReadResult &result);

// The file a drop onto the main window opens: the first local file among
// `urls`, "" when there is none.
[[nodiscard]] QString droppedFile(const QList<QUrl> &urls);

// The message list shows the "Bus" column when a capture came from more than
// one bus.
[[nodiscard]] inline bool showsBusColumn(const QList<int> &buses)
{
    return buses.size() > 1;
}

} // namespace captureformats
