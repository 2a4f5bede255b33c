#include "views/ui/frmload.h"

#include "views/ui/progresswindow.h"

#include <QCloseEvent>

frmLoad::frmLoad(capturefile::CaptureFileReader &reader, QString delimiter, double bitRate,
                 std::vector<clsFrame> &frames, QWidget *parent)
    : QDialog(parent), reader(reader), delimiter(std::move(delimiter)), bitRate(bitRate), frames(frames)
{
    setUpProgressWindow(this, "frmLoad", QStringLiteral("Loading..."), reader.lineCount());
}

void frmLoad::tmrAddPB_Timer()
{
    tmrAddPB->stop();
    frames.reserve(size_t(std::max<qint64>(reader.lineCount(), 0)));
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
