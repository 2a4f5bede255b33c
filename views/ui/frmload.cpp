#include "views/ui/frmload.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

frmLoad::frmLoad(capturefile::CaptureFileReader &reader, QString delimiter, double bitRate,
                 std::vector<clsFrame> &frames, QWidget *parent)
    : QDialog(parent), reader(reader), delimiter(std::move(delimiter)), bitRate(bitRate), frames(frames)
{
    setObjectName(QStringLiteral("frmLoad"));
    setWindowTitle(QStringLiteral("Loading..."));
    setModal(true);
    pbProgressBarAdd = new QProgressBar(this);
    pbProgressBarAdd->setObjectName(QStringLiteral("pbProgressBarAdd"));
    pbProgressBarAdd->setRange(0, int(std::min<qint64>(reader.lineCount(), std::numeric_limits<int>::max())));
    pbProgressBarAdd->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pbProgressBarAdd);
    resize(320, sizeHint().height());

    tmrAddPB = new QTimer(this);
    tmrAddPB->setInterval(1);
    tmrAddPB->setSingleShot(true);
    connect(tmrAddPB, &QTimer::timeout, this, &frmLoad::tmrAddPB_Timer);
    tmrAddPB->start();
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
