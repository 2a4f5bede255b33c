#include "candb/ui/frmdevice.h"

#include "widgets/dialogparts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

frmDevice::frmDevice(AppContext &context, CanDbModel &model, QWidget *parent) : QDialog(parent), logic(context, model)
{
    setObjectName(QStringLiteral("frmDevice"));
    txtCAN_Name = dialogparts::lineEdit(this, "txtCAN_Name");
    txtCAN_Name->setReadOnly(true);
    txtName = dialogparts::lineEdit(this, "txtName");
    chkEnable = new QCheckBox(QStringLiteral("Enable for monitoring"), this);
    chkEnable->setObjectName(QStringLiteral("chkEnable"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("CAN Data Base Name :"), this), 0, 0);
    grid->addWidget(txtCAN_Name, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Device Name :"), this), 1, 0);
    grid->addWidget(txtName, 1, 1);
    grid->addWidget(chkEnable, 2, 0, 1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(dialogparts::editButtons(this));

    connect(txtName, &QLineEdit::textEdited, this, [this](const QString &text) {
        logic.txtName_Change(text);
        refresh();
    });
    connect(chkEnable, &QCheckBox::clicked, this, [this](bool ticked) {
        if (syncing)
            return;
        logic.chkEnable_Click(ticked);
        refresh();
    });
    dialogparts::connectEditButtons(this, [this] { refresh(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int frmDevice::addDevice()
{
    prepare();
    exec();
    return logic.deviceId;
}

bool frmDevice::editDevice(const QString &key)
{
    if (!prepare(key))
        return false;
    exec();
    return logic.result;
}

bool frmDevice::prepare(const QString &key)
{
    if (key.isEmpty())
        logic.openAdd();
    else if (!logic.openEdit(key))
        return false;
    refresh();
    return true;
}

void frmDevice::refresh()
{
    syncing = true;
    setWindowTitle(logic.caption);
    txtCAN_Name->setText(logic.txtCAN_Name);
    if (txtName->text() != logic.txtName)
        txtName->setText(logic.txtName);
    chkEnable->setChecked(logic.chkEnable);
    cmdOk->setText(logic.cmdOkCaption);
    cmdApply->setVisible(logic.cmdApplyVisible);
    cmdApply->setEnabled(logic.cmdApplyEnabled);
    cmdDelete->setVisible(logic.cmdDeleteVisible);
    syncing = false;
}

void frmDevice::done(int result)
{
    if (!logic.queryUnload()) {
        refresh();
        return;
    }
    QDialog::done(result);
}
