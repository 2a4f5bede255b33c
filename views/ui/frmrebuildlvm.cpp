#include "views/ui/frmrebuildlvm.h"

#include "views/messagemodel.h"
#include "views/ui/progresswindow.h"

frmRebuildLVM::frmRebuildLVM(MessageModel &model, qsizetype frameCount, QWidget *parent)
    : QDialog(parent)
    , model(model)
{
    setUpProgressWindow(this, "frmRebuildLVM", QStringLiteral("Rebuilding..."), frameCount);
}

void frmRebuildLVM::tmrAddPB_Timer()
{
    tmrAddPB->stop();
    chosen = model.rebuild([this](qsizetype visited) {
        pbProgressBarAdd->setValue(int(qMin<qsizetype>(visited, pbProgressBarAdd->maximum())));
    });
    accept();
}
