#pragma once

#include "core/queries.h"

#include <QString>

struct AppContext;
class CanDbModel;

// The logic of the data base editor "CAN - Property" (frmCAN_DB): the current
// data base's name, default device, bus speed, timer and the enable state of
// all its identifiers, plus deleting it. The window shows these fields and
// forwards its events; the logic changes the data base through the model.
class CanDbEditor final
{
  public:
    CanDbEditor(AppContext &context, CanDbModel &model);

    // ---- What the window shows ----------------------------------------------
    QString txtName;
    ComboList cmbDevDevice; // devices of the data base; .selected is the choice
    ComboList cmbCAN_Speed;
    ComboList cmbCAN_Timer;
    bool chkEnable = false;
    bool cmdApplyEnabled = false;

    // ---- Events ---------------------------------------------------------------
    void load();
    void txtName_Change(const QString &text);
    void cmbDevDevice_Click(int index);
    void cmbCAN_Speed_Click(int index);
    void cmbCAN_Timer_Click(int index);
    void chkEnable_Click(bool ticked);
    // Writes every field that differs from what was loaded, each on its own.
    void cmdApply_Click();
    // Ok and Delete: true when the window closes.
    bool cmdOk_Click();
    bool cmdDelete_Click();
    // Closing: asks "Settings was been chanded. Save?" while Apply is
    // enabled; false when the window stays open (Cancel).
    bool queryUnload();

  private:
    void changed(bool differs);
    [[nodiscard]] static QString textOf(const ComboList &list);

    AppContext &context;
    CanDbModel &model;
    int dbId = 0;
    QString loadedName;
    QString loadedSpeed;
    QString loadedTimer;
    QString loadedDevice;
    bool loadedEnable = false;
    bool loading = false;
};
