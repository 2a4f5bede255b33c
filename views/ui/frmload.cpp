#include "views/ui/frmload.h"

#include "views/ui/progresswindow.h"

#include <QCloseEvent>
#include <QPushButton>

frmLoad::frmLoad(const QString &title, qint64 steps, bool cancellable, CaptureLoader::Job job, QWidget *parent)
    : QDialog(parent)
    , job(std::move(job))
{
    setUpProgressWindow(this, "frmLoad", title, steps);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setVisible(cancellable);
    layout()->addWidget(cmdCancel);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLoad::cmdCancel_Click);
}

frmLoad::~frmLoad()
{
    // A window closed before its job ended still waits for it: the job
    // writes into what its caller owns.
    if (worker.joinable()) {
        progress.cancel = true;
        worker.join();
    }
}

void frmLoad::tmrAddPB_Timer()
{
    if (!worker.joinable() && !done) {
        worker = std::thread([this] {
            job(progress);
            finished = true;
        });
        tmrAddPB->setSingleShot(false);
        tmrAddPB->setInterval(50);
        tmrAddPB->start();
        return;
    }
    // The count of steps may be an estimate: the bar stops at its end.
    pbProgressBarAdd->setValue(int(std::min<qint64>(progress.done.load(), pbProgressBarAdd->maximum())));
    if (!finished)
        return;
    tmrAddPB->stop();
    worker.join();
    pbProgressBarAdd->setValue(pbProgressBarAdd->maximum());
    done = true;
    accept();
}

void frmLoad::cmdCancel_Click()
{
    progress.cancel = true;
    cmdCancel->setEnabled(false);
}

void frmLoad::closeEvent(QCloseEvent *event)
{
    if (!done) {
        if (cmdCancel->isVisible())
            cmdCancel_Click();
        event->ignore();
    } else {
        QDialog::closeEvent(event);
    }
}

void frmLoad::reject()
{
    if (done)
        QDialog::reject();
    else if (cmdCancel->isVisible())
        cmdCancel_Click();
}

void ProgressLoader::run(const QString &title, qint64 steps, bool cancellable, const Job &job)
{
    frmLoad window(title, steps, cancellable, job, parent);
    window.exec();
}
