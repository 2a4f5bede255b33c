#include "candb/ui/frmcan_db_new.h"

#include "widgets/dialogparts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

frmCAN_DB_New::frmCAN_DB_New(AppContext &context, CanDbModel &model, QWidget *parent)
    : QDialog(parent)
    , logic(context, model)
{
    setObjectName(QStringLiteral("frmCAN_DB_New"));
    setWindowTitle(QStringLiteral("Creating new CAN Data Base"));
    auto *frame = new QGroupBox(QStringLiteral("Data Base"), this);
    txtName = dialogparts::lineEdit(frame, "txtName");
    txtDefDevice = dialogparts::lineEdit(frame, "txtDefDevice");
    cmbCAN = dialogparts::comboBox(frame, "cmbCAN");
    cmbCAN_Speed = dialogparts::comboBox(frame, "cmbCAN_Speed");
    cmdCAN_Speed_Other = dialogparts::smallButton(frame, "cmdCAN_Speed_Other", dialogparts::otherSpeedTip);
    cmbCAN_Timer = dialogparts::comboBox(frame, "cmbCAN_Timer");
    cmdCAN_Timer_Other = dialogparts::smallButton(frame, "cmdCAN_Timer_Other", dialogparts::otherTimerTip);

    auto *grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("Name :"), frame), 0, 0);
    grid->addWidget(txtName, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Default Device for addition IDs :"), frame), 1, 0);
    grid->addWidget(txtDefDevice, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Copy data from existing CAN Data Base :"), frame), 2, 0);
    grid->addWidget(cmbCAN, 2, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("CAN Speed :"), frame), 3, 0);
    grid->addWidget(cmbCAN_Speed, 3, 1);
    grid->addWidget(cmdCAN_Speed_Other, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("CAN Timer:"), frame), 4, 0);
    grid->addWidget(cmbCAN_Timer, 4, 1);
    grid->addWidget(cmdCAN_Timer_Other, 4, 2);

    cmdOk = dialogparts::button(this, "cmdOk", QStringLiteral("Add"));
    cmdCancel = dialogparts::button(this, "cmdCancel", QStringLiteral("Cancel"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(dialogparts::buttonRow({}, {cmdOk, cmdCancel}));

    logic.load();
    txtName->setText(logic.txtName);
    txtDefDevice->setText(logic.txtDefDevice);
    dialogparts::fillCombo(cmbCAN, logic.cmbCAN);
    dialogparts::fillCombo(cmbCAN_Speed, logic.cmbCAN_Speed);
    dialogparts::fillCombo(cmbCAN_Timer, logic.cmbCAN_Timer);

    connect(txtName, &QLineEdit::textEdited, this, [this](const QString &text) { logic.txtName = text; });
    connect(txtDefDevice, &QLineEdit::textEdited, this, [this](const QString &text) { logic.txtDefDevice = text; });
    connect(cmbCAN, &QComboBox::activated, this, [this](int index) {
        logic.cmbCAN_Click(index);
        refresh();
    });
    connect(cmbCAN_Speed, &QComboBox::activated, this, [this](int index) { logic.cmbCAN_Speed.selected = index; });
    connect(cmbCAN_Timer, &QComboBox::activated, this, [this](int index) { logic.cmbCAN_Timer.selected = index; });
    connect(cmdOk, &QPushButton::clicked, this, [this] {
        if (logic.cmdOk_Click())
            accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmCAN_DB_New::refresh()
{
    const QSignalBlocker speed(cmbCAN_Speed);
    const QSignalBlocker timer(cmbCAN_Timer);
    cmbCAN_Speed->setCurrentIndex(logic.cmbCAN_Speed.selected);
    cmbCAN_Timer->setCurrentIndex(logic.cmbCAN_Timer.selected);
}
