#include "views/capturedocument.h"

#include "core/dbindex.h"
#include "core/params.h"
#include "core/prompts.h"
#include "core/values.h"
#include "views/messagemodel.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <new>
#include <numeric>

namespace {

// Enough of a file to tell its format.
constexpr qint64 headBytes = 4096;
constexpr double defaultTimerRate = 1000000;

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

// Labels of the identifiers of a capture, taken on the window's thread for
// a file written on another.
class LabelSnapshot final : public IdIndex
{
public:
    LabelSnapshot(const IdIndex *index, const QList<qint32> &keys)
    {
        if (!index)
            return;
        for (const qint32 key : keys) {
            const QString name = idKey(key);
            Labels labels;
            if (index->idLabels(name, &labels.device, &labels.description))
                byKey.insert(name, labels);
        }
    }
    bool getNodeChecked(const QString &, bool *) const override { return false; }
    bool idLabels(const QString &key, QString *device, QString *description) const override
    {
        const auto it = byKey.constFind(key);
        if (it == byKey.cend())
            return false;
        *device = it->device;
        *description = it->description;
        return true;
    }

private:
    struct Labels
    {
        QString device;
        QString description;
    };
    QHash<QString, Labels> byKey;
};

} // namespace

CaptureDocument::CaptureDocument(ParamStore &params, Prompts &prompts, QObject *parent)
    : QObject(parent)
    , params(params)
    , prompts(prompts)
    , tmrFlush(new QTimer(this))
{
    // What is captured reaches the disk at least once a second, so a crash
    // or a power cut loses no more than that.
    tmrFlush->setInterval(1000);
    connect(tmrFlush, &QTimer::timeout, this, &CaptureDocument::flushCapture);
}

void CaptureDocument::setCapturing(bool on)
{
    if (capturing == on)
        return;
    capturing = on;
    if (on) {
        storeFailureShown = false;
        tmrFlush->start();
    } else {
        tmrFlush->stop();
        flushCapture();
    }
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
    // The file is written on the loader's thread: it reads the frames (only
    // appended to meanwhile) and a copy of the labels, nothing else.
    const LabelSnapshot labelCopy(labels, frames.idKeys());
    const QString name = frames.captureFileName;
    const QString delimiter = to == logformat::Format::Tessel ? outDelimiter() : QString();
    logformat::WriteOptions options;
    options.timerRate = logTimerRate > 0 ? logTimerRate : busTimer > 0 ? busTimer : defaultTimerRate;
    options.startMicroseconds = startTime;
    options.labels = labels ? &labelCopy : nullptr;
    const capturefile::Header header{dbName, busSpeed, busTimer};
    QString error;
    // Cancel ends the write half way; the file being written is dropped and
    // the one already there stays as it was.
    struct Cancelled
    {
    };
    bool cancelled = false;
    runJob(QStringLiteral("Saving..."), qint64(order.size()), true, [&](CaptureLoader::Progress &progress) {
        const auto frameAt = [this, &order, &progress](qsizetype row) -> const clsFrame & {
            if ((row & 0xFFF) == 0) {
                progress.done.store(row, std::memory_order_relaxed);
                if (progress.cancel.load(std::memory_order_relaxed))
                    throw Cancelled();
            }
            return frames.frame(order[size_t(row)]);
        };
        try {
            if (to == logformat::Format::Tessel) {
                const capturefile::WriteResult result = capturefile::writeCaptureFile(
                    name, header, {qsizetype(order.size()), frameAt}, labels ? &labelCopy : nullptr, delimiter);
                error = result.ok ? QString() : result.error;
            } else {
                const logformat::WriteResult result =
                    logformat::writeFile(name, to, {qsizetype(order.size()), frameAt}, options);
                error = result.ok ? QString() : result.error;
            }
        } catch (const Cancelled &) {
            cancelled = true;
        }
    });
    if (cancelled)
        return SaveResult::Cancelled;
    if (!error.isEmpty())
        return failed(error);
    // Kept in a file now: a crash no longer offers it back.
    frames.markSaved();
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

    // The file is read completely into a store of its own before it replaces
    // the capture, so a file that fails half way (or a Cancel) leaves the
    // capture as it was.
    CaptureStore read(frames.folder());
    const QString delimiter = outDelimiter();
    const double bitRate = busSpeed;
    capturefile::ReadResult result;
    runJob(QStringLiteral("Loading..."), reader.lineCount(), true, [&](CaptureLoader::Progress &progress) {
        reader.setStop(&progress.cancel);
        result = reader.readAll(
            delimiter, bitRate, [&read](const clsFrame &frame) { read.addListFrames(frame); },
            [&progress](qint64 lines) { progress.done.store(lines, std::memory_order_relaxed); });
    });
    if (result.cancelled)
        return OpenResult::Cancelled;
    if (!result.ok) {
        failed(result.outOfMemory && !read.storeError().isEmpty() ? read.storeError() : result.error);
        return OpenResult::Failed;
    }
    if (result.frames == 0) {
        failed(capturefile::nothingReadMessage(fileName, result));
        return OpenResult::Failed;
    }

    replaceCapture(fileName, read);
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
    CaptureStore read(frames.folder());
    logformat::ReadResult result;
    runJob(QStringLiteral("Loading..."), QFileInfo(fileName).size() / 1024 + 1, true,
           [&](CaptureLoader::Progress &progress) {
               options.progress = [&progress](qint64 bytesRead) {
                   progress.done.store(bytesRead / 1024, std::memory_order_relaxed);
                   return !progress.cancel.load(std::memory_order_relaxed);
               };
               // A log's own times are kept: they may span more than one turn of
               // the 32-bit stamp. Running out of room ends the read; the capture
               // stays as it was.
               result = logformat::readFile(fileName, options, [&read](const clsFrame &frame) {
                   try {
                       read.addListFrames(frame, true);
                   } catch (const std::bad_alloc &) {
                       return false;
                   }
                   return true;
               });
           });
    if (result.cancelled)
        return OpenResult::Cancelled;
    if (!result.ok) {
        failed(!read.storeError().isEmpty() ? read.storeError() : result.error);
        return OpenResult::Failed;
    }
    if (read.isEmpty()) {
        failed(captureformats::nothingReadMessage(fileName, result));
        return OpenResult::Failed;
    }

    replaceCapture(fileName, read, [&] {
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

void CaptureDocument::replaceCapture(const QString &fileName, CaptureStore &read, const std::function<void()> &describe)
{
    if (capturing)
        emit captureCloseRequested();
    clear();
    if (describe)
        describe();
    frames.swap(read);
    frames.captureFileName.clear();
    setFileName(fileName);
    frames.countInFilter();
    if (!frames.isEmpty())
        frames.selectedDuration = float(frames.frame(0).Duration);
    emit loaded();
    // A freshly opened file counts as saved.
    frames.markSaved();
    setState(shown ? shown->unfilteredCount() > 0 : !frames.isEmpty(), false);
}

void CaptureDocument::storeFailed()
{
    if (storeFailureShown)
        return;
    storeFailureShown = true;
    const QString text = QStringLiteral("The capture cannot keep its frames: %1 Frames are lost until there is room.")
                             .arg(frames.storeError());
    // Not in the middle of the decoding run that met it.
    QMetaObject::invokeMethod(this, [this, text] { failed(text); }, Qt::QueuedConnection);
}

void CaptureDocument::runJob(const QString &title, qint64 steps, bool cancellable, const CaptureLoader::Job &job)
{
    if (loader) {
        loader->run(title, steps, cancellable, job);
    } else {
        CaptureLoader::Progress progress;
        job(progress);
    }
}

void CaptureDocument::setStoreFolder(const QString &folder)
{
    frames.setFolder(folder);
}

bool CaptureDocument::offerRecovery()
{
    for (const CaptureStore::Unsaved &found : CaptureStore::findUnsaved(frames.folder())) {
        const QString text = QStringLiteral("An unsaved capture of %1 frames from %2 was found. Recover it?")
                                 .arg(found.frames)
                                 .arg(QLocale().toString(found.created, QLocale::ShortFormat));
        if (prompts.message(text, {}, Prompts::Icon::Question, Prompts::Buttons::YesNo) != Prompts::Answer::Yes) {
            CaptureStore::removeUnsaved(found.fileName);
            continue;
        }
        CaptureStore recovered(frames.folder());
        QString error;
        if (!recovered.adopt(found.fileName, &error)) {
            failed(error);
            continue;
        }
        if (capturing)
            emit captureCloseRequested();
        clear();
        frames.swap(recovered);
        frames.countInFilter();
        frames.selectedDuration = float(frames.frame(0).Duration);
        emit loaded();
        // Unsaved, without a file name: Save asks for one.
        setState(shown ? shown->unfilteredCount() > 0 : true, true);
        return true;
    }
    return false;
}
