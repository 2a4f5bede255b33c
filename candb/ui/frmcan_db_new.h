#pragma once

#include "candb/candbnew.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

// "Creating new CAN Data Base": the window of CanDbNew.
class frmCAN_DB_New final : public QDialog
{
    Q_OBJECT
  public:
    frmCAN_DB_New(AppContext &context, CanDbModel &model, QWidget *parent = nullptr);

    CanDbNew logic;

    QLineEdit *txtName = nullptr;
    QLineEdit *txtDefDevice = nullptr;
    QComboBox *cmbCAN = nullptr;
    QComboBox *cmbCAN_Speed = nullptr;
    QPushButton *cmdCAN_Speed_Other = nullptr;
    QComboBox *cmbCAN_Timer = nullptr;
    QPushButton *cmdCAN_Timer_Other = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;

  private:
    void refresh();
};
