#include "views/ui/frmload.h"

#include "views/ui/progresswindow.h"

#include <QCloseEvent>
#include <QFileInfo>

#include <new>

frmLoad::frmLoad(capturefile::CaptureFileReader &reader, QString delimiter, double bitRate,
                 std::vector<clsFrame> &frames, QWidget *parent)
    : QDialog(parent)
    , reader(reader)
    , delimiter(std::move(delimiter))
    , bitRate(bitRate)
    , frames(frames)
{
    setUpProgressWindow(this, "frmLoad", QStringLiteral("Loading..."), reader.lineCount());
}

void frmLoad::tmrAddPB_Timer()
{
    tmrAddPB->stop();
    // Room for what the file's size allows; when even that is refused the
    // array grows as frames come, and running out then ends the read.
    try {
        frames.reserve(size_t(std::max<qint64>(reader.reserveHint(), 0)));
    } catch (const std::bad_alloc &) {
    }
    read = reader.readAll(
        delimiter, bitRate, [this](const clsFrame &frame) { frames.push_back(frame); },
        [this](qint64 lines) {
            // The count of lines is an estimate: the bar stops at its end.
            pbProgressBarAdd->setValue(int(std::min<qint64>(lines, pbProgressBarAdd->maximum())));
        });
    pbProgressBarAdd->setValue(pbProgressBarAdd->maximum());
    done = true;
    accept();
}

void frmLoad::closeEvent(QCloseEvent *event)
{
    if (!done)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void frmLoad::reject()
{
    if (done)
        QDialog::reject();
}

capturefile::ReadResult ProgressLoader::load(capturefile::CaptureFileReader &reader, const QString &delimiter,
                                             double bitRate, std::vector<clsFrame> &frames)
{
    frmLoad window(reader, delimiter, bitRate, frames, parent);
    window.exec();
    return window.result();
}

frmLoadLog::frmLoadLog(qint64 fileSize, Read read, QWidget *parent)
    : QDialog(parent)
    , read(std::move(read))
{
    setUpProgressWindow(this, "frmLoad", QStringLiteral("Loading..."), fileSize / 1024 + 1);
}

void frmLoadLog::tmrAddPB_Timer()
{
    tmrAddPB->stop();
    readResult = read([this](qint64 bytesRead) {
        pbProgressBarAdd->setValue(int(std::min<qint64>(bytesRead / 1024, pbProgressBarAdd->maximum())));
        return true;
    });
    pbProgressBarAdd->setValue(pbProgressBarAdd->maximum());
    done = true;
    accept();
}

void frmLoadLog::closeEvent(QCloseEvent *event)
{
    if (!done)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void frmLoadLog::reject()
{
    if (done)
        QDialog::reject();
}

logformat::ReadResult ProgressLoader::loadLog(const QString &fileName, const logformat::ReadOptions &options,
                                              std::vector<clsFrame> &frames)
{
    frmLoadLog window(
        QFileInfo(fileName).size(),
        [&](const std::function<bool(qint64)> &progress) {
            logformat::ReadOptions shown = options;
            shown.progress = progress;
            return CaptureLoader::loadLog(fileName, shown, frames);
        },
        parent);
    window.exec();
    return window.result();
}
