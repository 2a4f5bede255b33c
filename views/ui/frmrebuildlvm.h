#pragma once

#include <QDialog>

class MessageModel;
class QProgressBar;
class QTimer;

// The small modal progress window of a message-list rebuild: the work runs in
// the first tick of tmrAddPB, pbProgressBarAdd counts the stored frames.
class frmRebuildLVM final : public QDialog
{
    Q_OBJECT
public:
    frmRebuildLVM(MessageModel &model, qsizetype frameCount, QWidget *parent = nullptr);

    // The row chosen for selection (0-based), -1 when none was appended.
    [[nodiscard]] int selectedRow() const { return chosen; }
    // The rebuild itself (tmrAddPB's first tick); closes the window.
    void tmrAddPB_Timer();

    QProgressBar *pbProgressBarAdd = nullptr;
    QTimer *tmrAddPB = nullptr;

private:
    MessageModel &model;
    int chosen = -1;
};
