#pragma once

#include "candb/candbeditor.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// "CAN - Property": the window of CanDbEditor.
class frmCAN_DB final : public QDialog
{
    Q_OBJECT
  public:
    frmCAN_DB(AppContext &context, CanDbModel &model, QWidget *parent = nullptr);

    CanDbEditor logic;

    QLineEdit *txtName = nullptr;
    QComboBox *cmbDevDevice = nullptr;
    QComboBox *cmbCAN_Speed = nullptr;
    QPushButton *cmdCAN_Speed_Other = nullptr;
    QComboBox *cmbCAN_Timer = nullptr;
    QPushButton *cmdCAN_Timer_Other = nullptr;
    QCheckBox *chkEnable = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdDelete = nullptr;

    void done(int result) override;

  private:
    void refresh();
    bool syncing = false;
};
