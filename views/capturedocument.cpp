#include "views/capturedocument.h"

#include "core/params.h"
#include "core/prompts.h"
#include "views/messagemodel.h"

#include <QFile>
#include <QFileInfo>

#include <new>
#include <numeric>

namespace {

// Enough of a file to tell its format.
constexpr qint64 headBytes = 4096;
constexpr double defaultTimerRate = 1000000;

capturefile::ReadResult readAll(capturefile::CaptureFileReader &reader, const QString &delimiter, double bitRate,
                                std::vector<clsFrame> &frames)
{
    return reader.readAll(delimiter, bitRate, [&frames](const clsFrame &frame) { frames.push_back(frame); }, {});
}

// The format of a regular file from its first bytes; Unknown for anything
// that is not one (the capture-file reader then says what is wrong).
logformat::Format detectFile(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile())
        return logformat::Format::Unknown;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return logformat::Format::Unknown;
    return logformat::detect(file.read(headBytes));
}

logformat::ReadResult readLog(const QString &fileName, const logformat::ReadOptions &options,
                              std::vector<clsFrame> &frames)
{
    return logformat::readFile(fileName, options, [&frames](const clsFrame &frame) {
        // Running out of memory ends the read; the capture stays as it was.
        try {
            frames.push_back(frame);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    });
}

} // namespace

logformat::ReadResult CaptureLoader::loadLog(const QString &fileName, const logformat::ReadOptions &options,
                                             std::vector<clsFrame> &frames)
{
    return readLog(fileName, options, frames);
}

CaptureDocument::CaptureDocument(ParamStore &params, Prompts &prompts, QObject *parent)
    : QObject(parent)
    , params(params)
    , prompts(prompts)
{
}

void CaptureDocument::setCapturing(bool on)
{
    if (capturing == on)
        return;
    capturing = on;
    emit capturingChanged(on);
}

void CaptureDocument::setBusTiming(double canSpeed, double canTimer)
{
    busSpeed = canSpeed;
    busTimer = canTimer;
}

void CaptureDocument::markCaptureStart(qint64 microsecondsSinceEpoch)
{
    if (!captureStart && frames.isEmpty())
        captureStart = microsecondsSinceEpoch;
}

double CaptureDocument::ticksPerSecond() const
{
    const double rate = stampRate();
    return rate > 0 ? rate : defaultTimerRate;
}

void CaptureDocument::setState(bool rows, bool changed)
{
    if (rows == rowsShown && changed == modified)
        return;
    const bool modifiedFlips = changed != modified;
    rowsShown = rows;
    modified = changed;
    if (modifiedFlips)
        emit modifiedChanged(modified);
    emit stateChanged();
}

QString CaptureDocument::titleName() const
{
    if (!frames.captureFileName.isEmpty())
        return QFileInfo(frames.captureFileName).fileName();
    return rowsShown ? QStringLiteral("New capture") : QString();
}

void CaptureDocument::setFileName(const QString &name)
{
    if (frames.captureFileName == name)
        return;
    frames.captureFileName = name;
    emit fileNameChanged(name);
}

void CaptureDocument::rowsAdded()
{
    setState(true, true);
}

void CaptureDocument::clear()
{
    const QString previous = frames.captureFileName;
    frames.clear();
    format = logformat::Format::Tessel;
    startTime.reset();
    captureStart.reset();
    fileBuses.clear();
    logTimerRate = 0;
    setState(false, false);
    if (!previous.isEmpty())
        emit fileNameChanged({});
    emit cleared();
}

CaptureDocument::SaveResult CaptureDocument::failed(const QString &text)
{
    lastFailure = text;
    prompts.error(text);
    return SaveResult::Failed;
}

CaptureDocument::SaveResult CaptureDocument::newCapture()
{
    const SaveResult asked = askToSave();
    if (!mayDiscard(asked))
        return asked;
    if (capturing)
        emit captureCloseRequested();
    clear();
    return asked;
}

QString CaptureDocument::outDelimiter()
{
    const QString delimiter = params.getParam(QStringLiteral("outDelimiter"), capturefile::defaultDelimiter);
    const QString problem = capturefile::delimiterProblem(delimiter);
    if (problem.isEmpty())
        return delimiter;
    if (!delimiterWarned) {
        delimiterWarned = true;
        prompts.message(QStringLiteral("The field delimiter \"%1\" of the setting \"outDelimiter\" cannot be "
                                       "read back from a capture file (%2): one space is used instead.")
                            .arg(capturefile::oneLine(delimiter), problem),
                        {}, Prompts::Icon::Exclamation);
    }
    return capturefile::defaultDelimiter;
}

CaptureDocument::SaveResult CaptureDocument::write(logformat::Format to)
{
    // The shown frames in capture order, whatever the list's sort: a file
    // read back unwraps its stamps in the order they were captured.
    std::vector<quint32> order;
    if (shown) {
        order = shown->framesInCaptureOrder();
    } else {
        order.resize(size_t(frames.count()));
        std::iota(order.begin(), order.end(), 0U);
    }
    const auto frameAt = [this, &order](qsizetype row) -> const clsFrame & { return frames.frame(order[size_t(row)]); };
    if (to == logformat::Format::Tessel) {
        const capturefile::WriteResult result =
            capturefile::writeCaptureFile(frames.captureFileName, {dbName, busSpeed, busTimer},
                                          {qsizetype(order.size()), frameAt}, labels, outDelimiter());
        if (!result.ok)
            return failed(result.error);
    } else {
        logformat::WriteOptions options;
        options.timerRate = logTimerRate > 0 ? logTimerRate : busTimer > 0 ? busTimer : defaultTimerRate;
        options.startMicroseconds = startTime;
        options.labels = labels;
        const logformat::WriteResult result =
            logformat::writeFile(frames.captureFileName, to, {qsizetype(order.size()), frameAt}, options);
        if (!result.ok)
            return failed(result.error);
    }
    setState(rowsShown, false);
    return SaveResult::Saved;
}

CaptureDocument::SaveResult CaptureDocument::save()
{
    if (!captureformats::isWritable(format))
        return saveAs();
    return write(format);
}

CaptureDocument::SaveResult CaptureDocument::saveAs()
{
    const QString current = frames.captureFileName;
    QString type = captureformats::saveFilterOf(format);
    const QString chosen = prompts.saveFileNameOfType(QStringLiteral("Save as"), captureformats::saveFilter(),
                                                      QFileInfo(current).path(), current, &type);
    if (chosen.isEmpty())
        return SaveResult::Cancelled;
    const captureformats::SaveChoice choice = captureformats::saveChoice(chosen, type);
    const QString &name = choice.fileName;
    if (QFileInfo::exists(name)) {
        const Prompts::Answer answer = prompts.message(
            QStringLiteral("File \"") + name + QStringLiteral("\"is exist. Overwrite?"),
            QStringLiteral("Save capturing data..."), Prompts::Icon::Question, Prompts::Buttons::YesNoCancel);
        if (answer != Prompts::Answer::Yes)
            return SaveResult::Cancelled;
    }
    frames.captureFileName = name;
    const SaveResult result = write(choice.format);
    frames.captureFileName = current;
    if (result == SaveResult::Saved) {
        format = choice.format;
        setFileName(name);
        // Save may be possible now where it was not (a log that is only read).
        emit stateChanged();
    }
    return result;
}

CaptureDocument::SaveResult CaptureDocument::askToSave()
{
    if (!modified)
        return SaveResult::Saved;
    const Prompts::Answer answer =
        prompts.message(QStringLiteral("Save viewed data to file?"), QStringLiteral("Save viewed data..."),
                        Prompts::Icon::Question, Prompts::Buttons::YesNoCancel);
    switch (answer) {
    case Prompts::Answer::Cancel:
        return SaveResult::Cancelled;
    case Prompts::Answer::Yes:
        // A write that failed keeps the capture: nothing is lost unasked.
        return canSave() ? save() : saveAs();
    default:
        return SaveResult::Discarded;
    }
}

CaptureDocument::OpenResult CaptureDocument::open()
{
    const QString name = prompts.openFileName(QStringLiteral("Open"), captureformats::openFilter(), QString());
    if (name.isEmpty())
        return OpenResult::Cancelled;
    return openPath(name);
}

CaptureDocument::OpenResult CaptureDocument::openPath(const QString &name)
{
    if (!QFileInfo::exists(name)) {
        failed(QStringLiteral("File \"") + name + QStringLiteral("\" is not found."));
        return OpenResult::Failed;
    }
    return openFile(name);
}

CaptureDocument::OpenResult CaptureDocument::openFile(const QString &fileName)
{
    switch (detectFile(fileName)) {
    case logformat::Format::Tessel:
    case logformat::Format::Unknown:
        return openCaptureText(fileName);
    default:
        return openLog(fileName);
    }
}

CaptureDocument::OpenResult CaptureDocument::openCaptureText(const QString &fileName)
{
    capturefile::CaptureFileReader reader;
    QString error;
    if (!reader.open(fileName, &error)) {
        failed(error);
        return OpenResult::Failed;
    }
    switch (askToSave()) {
    case SaveResult::Cancelled:
        return OpenResult::Cancelled;
    case SaveResult::Failed:
        return OpenResult::Failed;
    default:
        break;
    }

    // The file is read completely before the capture is replaced, so a file
    // that fails half way leaves the capture as it was.
    std::vector<clsFrame> read;
    const capturefile::ReadResult result = loader ? loader->load(reader, outDelimiter(), busSpeed, read)
                                                          : readAll(reader, outDelimiter(), busSpeed, read);
    if (!result.ok) {
        failed(result.error);
        return OpenResult::Failed;
    }
    if (result.frames == 0) {
        failed(capturefile::nothingReadMessage(fileName, result));
        return OpenResult::Failed;
    }

    replaceCapture(fileName, std::move(read));
    const QString skipped = capturefile::skippedMessage(result);
    if (!skipped.isEmpty())
        prompts.message(skipped, {}, Prompts::Icon::Exclamation);
    return OpenResult::Opened;
}

CaptureDocument::OpenResult CaptureDocument::openLog(const QString &fileName)
{
    switch (askToSave()) {
    case SaveResult::Cancelled:
        return OpenResult::Cancelled;
    case SaveResult::Failed:
        return OpenResult::Failed;
    default:
        break;
    }

    logformat::ReadOptions options;
    options.timerRate = busTimer > 0 ? busTimer : defaultTimerRate;
    options.bitRate = busSpeed;
    options.delimiter = outDelimiter();
    std::vector<clsFrame> read;
    const logformat::ReadResult result =
        loader ? loader->loadLog(fileName, options, read) : readLog(fileName, options, read);
    if (result.cancelled)
        return OpenResult::Cancelled;
    if (!result.ok) {
        failed(result.error);
        return OpenResult::Failed;
    }
    if (read.empty()) {
        failed(captureformats::nothingReadMessage(fileName, result));
        return OpenResult::Failed;
    }

    replaceCapture(fileName, std::move(read), [&] {
        format = result.format;
        startTime = result.startMicroseconds;
        fileBuses = result.buses;
        logTimerRate = options.timerRate;
    });
    const QString skipped = captureformats::skippedMessage(result);
    if (!skipped.isEmpty())
        prompts.message(skipped, {}, Prompts::Icon::Exclamation);
    return OpenResult::Opened;
}

void CaptureDocument::replaceCapture(const QString &fileName, std::vector<clsFrame> &&read,
                                     const std::function<void()> &describe)
{
    if (capturing)
        emit captureCloseRequested();
    clear();
    if (describe)
        describe();
    setFileName(fileName);
    // A log's own times are kept: they may span more than one turn of the
    // 32-bit stamp.
    frames.addListFrames(std::move(read), bool(describe));
    if (!frames.isEmpty())
        frames.selectedDuration = float(frames.frame(0).Duration);
    emit loaded();
    // A freshly opened file counts as saved.
    setState(shown ? shown->unfilteredCount() > 0 : !frames.isEmpty(), false);
}
