#pragma once

#include "candb/deviceeditor.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// "Addition / Property CAN Data Base Device": the window of DeviceEditor.
class frmDevice final : public QDialog
{
    Q_OBJECT
  public:
    frmDevice(AppContext &context, CanDbModel &model, QWidget *parent = nullptr);

    // Opens the window modally; the new device's id or -1.
    int addDevice();
    // Opens the window modally for the device node `key`; true when saved.
    bool editDevice(const QString &key);
    // Fills the window without showing it (edit mode when `key` is given).
    bool prepare(const QString &key = {});

    DeviceEditor logic;

    QLineEdit *txtCAN_Name = nullptr;
    QLineEdit *txtName = nullptr;
    QCheckBox *chkEnable = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdCancel = nullptr;

    void done(int result) override;

  private:
    void refresh();
    bool syncing = false;
};
