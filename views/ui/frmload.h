#pragma once

#include "views/capturedocument.h"

#include <QDialog>

#include <atomic>
#include <thread>

class QProgressBar;
class QPushButton;
class QTimer;

// The small modal progress window of a long open or save. The job runs on a
// thread of its own, so the program's windows keep painting; tmrAddPB looks
// at its progress now and then and pbProgressBarAdd shows it. Cancel (or
// Esc) asks the job to stop; the window closes itself when the job is over.
class frmLoad final : public QDialog
{
    Q_OBJECT
public:
    frmLoad(const QString &title, qint64 steps, bool cancellable, CaptureLoader::Job job, QWidget *parent = nullptr);
    ~frmLoad() override;

    // The first tick starts the job; later ones show its progress, and the
    // one after its end closes the window.
    void tmrAddPB_Timer();
    void cmdCancel_Click();

    QProgressBar *pbProgressBarAdd = nullptr;
    QTimer *tmrAddPB = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    CaptureLoader::Job job;
    CaptureLoader::Progress progress;
    std::atomic<bool> finished{false};
    std::thread worker;
    bool done = false;
};

// Runs opens and saves behind the progress window, over `parent`.
class ProgressLoader final : public CaptureLoader
{
public:
    explicit ProgressLoader(QWidget *parent)
        : parent(parent)
    {
    }
    void run(const QString &title, qint64 steps, bool cancellable, const Job &job) override;

private:
    QWidget *parent;
};
