#pragma once

#include <QList>
#include <QString>

#include <optional>

class MessageModel;

// What the message list's context menu and Ctrl+C put on the clipboard.
namespace tracecopy {

// One line per row (0-based, in the given order), the cells of `columns`
// trimmed and separated by tabs:
//   "1\t123\t-----\t0\t0\t0\t0\t2\tAA 55"
[[nodiscard]] QString rowsAsText(const MessageModel &messages, const QList<int> &rows, const QList<int> &columns);

// The rows' frames as candump log lines, in row order; lost-frame records
// have no candump line and are left out. Times are those of the capture
// (`timerRate` stamp ticks per second) from `startMicroseconds` (the epoch
// when unknown):
//   "(0.000100) can0 123#AA55"
[[nodiscard]] QString rowsAsCandump(const MessageModel &messages, const QList<int> &rows, double timerRate,
                                    std::optional<qint64> startMicroseconds);

} // namespace tracecopy
