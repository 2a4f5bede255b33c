#include "views/tracecopy.h"

#include "core/logformat.h"
#include "views/messagemodel.h"

namespace tracecopy {

QString rowsAsText(const MessageModel &messages, const QList<int> &rows, const QList<int> &columns)
{
    QString text;
    for (int r : rows) {
        if (r < 0 || r >= messages.count())
            continue;
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (c)
                text += QLatin1Char('\t');
            text += messages.text(r, columns[c]).trimmed();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

QString rowsAsCandump(const MessageModel &messages, const QList<int> &rows, double timerRate,
                      std::optional<qint64> startMicroseconds)
{
    QList<int> valid;
    for (int r : rows)
        if (r >= 0 && r < messages.count())
            valid << r;
    logformat::Frames frames;
    frames.count = valid.size();
    frames.frame = [&messages, &valid](qsizetype i) -> const clsFrame & { return messages.rowFrame(valid[i]); };
    logformat::WriteOptions options;
    options.timerRate = timerRate > 0 ? timerRate : 1000000;
    options.startMicroseconds = startMicroseconds.value_or(0);
    return QString::fromLatin1(logformat::writeBytes(logformat::Format::Candump, frames, options));
}

} // namespace tracecopy
