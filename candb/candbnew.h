#pragma once

#include "core/queries.h"

#include <QString>

struct AppContext;
class CanDbModel;

// The logic of "Creating new CAN Data Base" (frmCAN_DB_New): a data base with
// its default device, speed and timer, which becomes the current data base.
// Choosing an existing data base as template preselects its speed and timer.
class CanDbNew final
{
  public:
    CanDbNew(AppContext &context, CanDbModel &model);

    // ---- What the window shows ----------------------------------------------
    QString txtName;
    QString txtDefDevice = QStringLiteral("Unsorted IDs");
    ComboList cmbCAN; // an empty first item, then the data bases
    ComboList cmbCAN_Speed;
    ComboList cmbCAN_Timer;

    // ---- Events ---------------------------------------------------------------
    void load();
    // A template was chosen: its speed and timer are preselected; the empty
    // item selects the default speed and timer.
    void cmbCAN_Click(int index);
    // "Add": checks the fields and creates the data base; true when the
    // window closes ("id_CAN" then names the new data base).
    bool cmdOk_Click();

  private:
    bool create();

    AppContext &context;
    CanDbModel &model;
    QString templateName;
};
