#include "candb/ui/frmcan_db.h"

#include "widgets/dialogparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmCAN_DB::frmCAN_DB(AppContext &context, CanDbModel &model, QWidget *parent) : QDialog(parent), logic(context, model)
{
    setObjectName(QStringLiteral("frmCAN_DB"));
    setWindowTitle(QStringLiteral("CAN - Property"));
    auto *frame = new QGroupBox(QStringLiteral("Data Base"), this);
    txtName = dialogparts::lineEdit(frame, "txtName");
    cmbDevDevice = dialogparts::comboBox(frame, "cmbDevDevice");
    cmbCAN_Speed = dialogparts::comboBox(frame, "cmbCAN_Speed");
    cmdCAN_Speed_Other = dialogparts::smallButton(frame, "cmdCAN_Speed_Other", dialogparts::otherSpeedTip);
    cmbCAN_Timer = dialogparts::comboBox(frame, "cmbCAN_Timer");
    cmdCAN_Timer_Other = dialogparts::smallButton(frame, "cmdCAN_Timer_Other", dialogparts::otherTimerTip);
    chkEnable = new QCheckBox(QStringLiteral("Enable for monitoring"), frame);
    chkEnable->setObjectName(QStringLiteral("chkEnable"));

    auto *grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("Name :"), frame), 0, 0);
    grid->addWidget(txtName, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Default Device for addition IDs :"), frame), 1, 0);
    grid->addWidget(cmbDevDevice, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("CAN Speed :"), frame), 2, 0);
    grid->addWidget(cmbCAN_Speed, 2, 1);
    grid->addWidget(cmdCAN_Speed_Other, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("CAN Timer:"), frame), 3, 0);
    grid->addWidget(cmbCAN_Timer, 3, 1);
    grid->addWidget(cmdCAN_Timer_Other, 3, 2);
    grid->addWidget(chkEnable, 4, 0, 1, 3);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(dialogparts::editButtons(this));

    logic.load();
    dialogparts::fillCombo(cmbDevDevice, logic.cmbDevDevice);
    dialogparts::fillCombo(cmbCAN_Speed, logic.cmbCAN_Speed);
    dialogparts::fillCombo(cmbCAN_Timer, logic.cmbCAN_Timer);
    refresh();

    auto forward = [this](auto event) {
        return [this, event](auto... args) {
            if (syncing)
                return;
            (logic.*event)(args...);
            refresh();
        };
    };
    connect(txtName, &QLineEdit::textEdited, this, forward(&CanDbEditor::txtName_Change));
    connect(cmbDevDevice, &QComboBox::activated, this, forward(&CanDbEditor::cmbDevDevice_Click));
    connect(cmbCAN_Speed, &QComboBox::activated, this, forward(&CanDbEditor::cmbCAN_Speed_Click));
    connect(cmbCAN_Timer, &QComboBox::activated, this, forward(&CanDbEditor::cmbCAN_Timer_Click));
    connect(chkEnable, &QCheckBox::clicked, this, forward(&CanDbEditor::chkEnable_Click));
    dialogparts::connectEditButtons(this, [this] { refresh(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmCAN_DB::refresh()
{
    syncing = true;
    if (txtName->text() != logic.txtName)
        txtName->setText(logic.txtName);
    cmbDevDevice->setCurrentIndex(logic.cmbDevDevice.selected);
    cmbCAN_Speed->setCurrentIndex(logic.cmbCAN_Speed.selected);
    cmbCAN_Timer->setCurrentIndex(logic.cmbCAN_Timer.selected);
    chkEnable->setChecked(logic.chkEnable);
    cmdApply->setEnabled(logic.cmdApplyEnabled);
    syncing = false;
}

void frmCAN_DB::done(int result)
{
    // Closing with unsaved changes asks first; Cancel keeps the window open.
    if (!logic.queryUnload()) {
        refresh();
        return;
    }
    QDialog::done(result);
}
