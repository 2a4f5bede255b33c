#include "views/ui/frmrebuildlvm.h"

#include "views/messagemodel.h"

#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

frmRebuildLVM::frmRebuildLVM(MessageModel &model, qsizetype frameCount, QWidget *parent)
    : QDialog(parent)
    , model(model)
{
    setObjectName(QStringLiteral("frmRebuildLVM"));
    setWindowTitle(QStringLiteral("Rebuilding..."));
    setModal(true);
    pbProgressBarAdd = new QProgressBar(this);
    pbProgressBarAdd->setObjectName(QStringLiteral("pbProgressBarAdd"));
    pbProgressBarAdd->setRange(0, int(qMin<qsizetype>(frameCount, std::numeric_limits<int>::max())));
    pbProgressBarAdd->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pbProgressBarAdd);
    resize(320, sizeHint().height());

    tmrAddPB = new QTimer(this);
    tmrAddPB->setInterval(1);
    tmrAddPB->setSingleShot(true);
    connect(tmrAddPB, &QTimer::timeout, this, &frmRebuildLVM::tmrAddPB_Timer);
    tmrAddPB->start();
}

void frmRebuildLVM::tmrAddPB_Timer()
{
    tmrAddPB->stop();
    chosen = model.rebuild([this](qsizetype visited) {
        pbProgressBarAdd->setValue(int(qMin<qsizetype>(visited, pbProgressBarAdd->maximum())));
    });
    accept();
}
