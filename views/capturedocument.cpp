#include "views/capturedocument.h"

#include "core/params.h"
#include "core/prompts.h"
#include "views/messagemodel.h"

#include <QFileInfo>

#include <numeric>

namespace {

const QString fileFilter = QStringLiteral("TXT-files (*.txt);;All files (*)");

capturefile::ReadResult readAll(capturefile::CaptureFileReader &reader, const QString &delimiter, double bitRate,
                                std::vector<clsFrame> &frames)
{
    return reader.readAll(delimiter, bitRate, [&frames](const clsFrame &frame) { frames.push_back(frame); }, {});
}

} // namespace

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

CaptureDocument::SaveResult CaptureDocument::write()
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
    const capturefile::Rows rows{qsizetype(order.size()), [this, &order](qsizetype row) -> const clsFrame & {
                                     return frames.frame(order[size_t(row)]);
                                 }};
    const capturefile::WriteResult result = capturefile::writeCaptureFile(
        frames.captureFileName, {dbName, busSpeed, busTimer}, rows, labels, outDelimiter());
    if (!result.ok)
        return failed(result.error);
    setState(rowsShown, false);
    return SaveResult::Saved;
}

CaptureDocument::SaveResult CaptureDocument::save()
{
    return write();
}

CaptureDocument::SaveResult CaptureDocument::saveAs()
{
    const QString current = frames.captureFileName;
    const QString name =
        prompts.saveFileName(QStringLiteral("Save as"), fileFilter, QFileInfo(current).path(), current);
    if (name.isEmpty())
        return SaveResult::Cancelled;
    if (QFileInfo::exists(name)) {
        const Prompts::Answer answer = prompts.message(
            QStringLiteral("File \"") + name + QStringLiteral("\"is exist. Overwrite?"),
            QStringLiteral("Save capturing data..."), Prompts::Icon::Question, Prompts::Buttons::YesNoCancel);
        if (answer != Prompts::Answer::Yes)
            return SaveResult::Cancelled;
    }
    frames.captureFileName = name;
    const SaveResult result = write();
    frames.captureFileName = current;
    if (result == SaveResult::Saved)
        setFileName(name);
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
    const QString name = prompts.openFileName(QStringLiteral("Open"), fileFilter, QString());
    if (name.isEmpty())
        return OpenResult::Cancelled;
    if (!QFileInfo::exists(name)) {
        failed(QStringLiteral("File \"") + name + QStringLiteral("\" is not found."));
        return OpenResult::Failed;
    }
    return openFile(name);
}

CaptureDocument::OpenResult CaptureDocument::openFile(const QString &fileName)
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

    if (capturing)
        emit captureCloseRequested();
    clear();
    setFileName(fileName);
    frames.addListFrames(std::move(read));
    if (!frames.isEmpty())
        frames.selectedDuration = float(frames.frame(0).Duration);
    emit loaded();
    // A freshly opened file counts as saved.
    setState(shown ? shown->count() > 0 : !frames.isEmpty(), false);

    const QString skipped = capturefile::skippedMessage(result);
    if (!skipped.isEmpty())
        prompts.message(skipped, {}, Prompts::Icon::Exclamation);
    return OpenResult::Opened;
}
