#include "views/captureformats.h"

#include <QFileInfo>
#include <QStringList>

#include <array>

using logformat::Format;

namespace captureformats {

namespace {

struct SaveType
{
    Format format;
    const char *filter;
};

// In the order the Save As dialog lists them.
constexpr std::array<SaveType, 4> saveTypes{{
    {Format::Tessel, "TXT-files (*.txt)"},
    {Format::Candump, "candump log (*.log)"},
    {Format::Asc, "ASC trace (*.asc)"},
    {Format::Csv, "CSV table (*.csv)"},
}};

const QString allFiles = QStringLiteral("All files (*)");

QString linesText(qint64 count)
{
    return count == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(count);
}

} // namespace

QString openFilter()
{
    return QStringLiteral("TXT-files (*.txt);;Logs (*.txt *.log *.asc *.trc);;") + allFiles;
}

QString saveFilter()
{
    QStringList entries;
    for (const SaveType &type : saveTypes)
        entries << QLatin1String(type.filter);
    entries << allFiles;
    return entries.join(QStringLiteral(";;"));
}

QString saveFilterOf(Format format)
{
    for (const SaveType &type : saveTypes)
        if (type.format == format)
            return QLatin1String(type.filter);
    return QLatin1String(saveTypes[0].filter);
}

bool isWritable(Format format)
{
    return !extension(format).isEmpty();
}

QString extension(Format format)
{
    switch (format) {
    case Format::Tessel:
        return QStringLiteral(".txt");
    case Format::Candump:
        return QStringLiteral(".log");
    case Format::Asc:
        return QStringLiteral(".asc");
    case Format::Csv:
        return QStringLiteral(".csv");
    default:
        return {};
    }
}

SaveChoice saveChoice(const QString &fileName, const QString &chosenFilter)
{
    const QString suffix = QFileInfo(fileName).suffix();
    SaveChoice choice{fileName, Format::Tessel};
    bool typed = false;
    for (const SaveType &type : saveTypes) {
        if (chosenFilter == QLatin1String(type.filter)) {
            choice.format = type.format;
            typed = true;
        }
    }
    if (!typed) {
        for (const SaveType &type : saveTypes)
            if (suffix.compare(extension(type.format).mid(1), Qt::CaseInsensitive) == 0)
                choice.format = type.format;
    }
    if (suffix.isEmpty()) {
        const QString ext = extension(choice.format);
        // "run." already ends in the dot.
        choice.fileName += fileName.endsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
    }
    return choice;
}

QString skippedMessage(const logformat::ReadResult &result)
{
    qint64 total = 0;
    QStringList reasons;
    for (const logformat::Skipped &skipped : result.skipped) {
        if (skipped.count <= 0)
            continue;
        total += skipped.count;
        const QString where = skipped.count == 1 ? QStringLiteral("line %1").arg(skipped.firstLine)
                                                 : QStringLiteral("the first is line %1").arg(skipped.firstLine);
        // "malformed line: 3 (the first is line 9)": the reason as the reader names it.
        reasons << QStringLiteral("%1: %2 (%3)").arg(skipped.reason).arg(skipped.count).arg(where);
    }
    if (total == 0)
        return {};
    return QStringLiteral("%1 of the file %2 not read as frames and %3 skipped: %4.")
        .arg(linesText(total), total == 1 ? QStringLiteral("was") : QStringLiteral("were"),
             total == 1 ? QStringLiteral("was") : QStringLiteral("were"), reasons.join(QStringLiteral(", ")));
}

QString nothingReadMessage(const QString &fileName, const logformat::ReadResult &result)
{
    QString text = QStringLiteral("No frame could be read from the file \"%1\".").arg(fileName);
    const QString skipped = skippedMessage(result);
    if (!skipped.isEmpty())
        text += QLatin1Char(' ') + skipped;
    return text;
}

QString droppedFile(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls)
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return {};
}

} // namespace captureformats
