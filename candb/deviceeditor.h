#pragma once

#include <QString>

struct AppContext;
class CanDbModel;

// The logic of the device editor (frmDevice): adds a device to the current
// data base or renames one and sets whether it is enabled for monitoring.
// The window shows the fields below and forwards its events.
class DeviceEditor final
{
  public:
    DeviceEditor(AppContext &context, CanDbModel &model);

    // ---- Opening ----------------------------------------------------------------
    void openAdd();
    // Edit mode for the device `key` ("DEV_<id>"); false when there is no such device.
    bool openEdit(const QString &key);

    // ---- What the window shows ----------------------------------------------
    QString caption;
    QString cmdOkCaption = QStringLiteral("Ok");
    bool cmdApplyVisible = false;
    bool cmdApplyEnabled = false;
    bool cmdDeleteVisible = false;
    QString txtCAN_Name;
    QString txtName = QStringLiteral("Unknown");
    bool chkEnable = true;
    // The device added (add mode), -1 until then.
    int deviceId = -1;
    // True once something was saved.
    bool result = false;

    // ---- Events ---------------------------------------------------------------
    void txtName_Change(const QString &text);
    void chkEnable_Click(bool ticked);
    void cmdApply_Click();
    // True when the editor closes.
    bool cmdOk_Click();
    bool cmdDelete_Click();
    // Closing the edit mode with unsaved changes asks whether to save; false
    // when the editor stays open.
    bool queryUnload();

  private:
    [[nodiscard]] bool nameTaken() const;
    // The device's name as the model holds it; "" once it is gone.
    [[nodiscard]] QString storedName() const;

    AppContext &context;
    CanDbModel &model;
    bool editMode = false;
    QString key;
    QString openedName;
    bool openedEnable = true;
    bool suspend = false;
};
