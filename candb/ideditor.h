#pragma once

#include "candb/candbmodel.h"
#include "candb/signalboxes.h"
#include "core/queries.h"

#include <QList>
#include <QString>

struct AppContext;

// The logic of the identifier editor (frmTV_ID). Three ways in:
//  - add:  a captured identifier ("ID_" key) goes into the data base, shown
//          or at once without a window (then with one data field 0..63);
//  - edit: an identifier of the data base: description, device, enable,
//          cycle time, comment, fields;
//  - new:  an identifier typed by the user.
// The window shows the fields below and forwards its events.
class IdEditor final
{
  public:
    enum class Mode { Add, Edit, New };

    IdEditor(AppContext &context, CanDbModel &model);

    // ---- Opening (false: nothing to show, the editor is closed) --------------
    bool openAdd(const QString &key);
    bool openEdit(const QString &key);
    bool openNew(const QString &key);
    // The add without a window: one data field "Unknown" 0..63, then "Add".
    bool silentAdd();

    // ---- What the window shows ----------------------------------------------
    Mode mode = Mode::New;
    QString caption;
    QString cmdOkCaption = QStringLiteral("Ok");
    bool cmdApplyVisible = false;
    bool cmdApplyEnabled = false;
    bool cmdDeleteVisible = false;
    bool frmCAN_IDEnabled = true;
    bool extended = false; // "CAN 2.0 B" chosen (optCANType 1)
    QString txtIDStd = QStringLiteral("111");
    QString txtIDExt = QStringLiteral("11111");
    quint32 pictureColour = 0; // 0x00BBGGRR of the standard part
    QString txtName = QStringLiteral("Unknown");
    ComboList cmbDevDevice;
    bool chkEnable = true;
    QString txtCycleTime; // expected period in ms; empty: none
    QString txtComment;
    QList<DataField> lvListViewData;
    int selectedData = -1;
    QString txtDataBegin = QStringLiteral("0");
    QString txtDataEnd = QStringLiteral("63");
    QString txtDataName = QStringLiteral("Unknown");
    // The signal properties of the field being edited.
    SignalBoxes signalBoxes;
    QString cmdDataChangeCaption = QStringLiteral("Apply");
    bool cmdDataChangeEnabled = false;
    // True once the identifier was saved.
    bool result = false;
    // Delete kept the identifier's monitor row: the message views must be rebuilt.
    bool viewsNeedRebuild = false;

    // ---- Events ---------------------------------------------------------------
    void optCANType_Click(bool extendedFrame);
    // Field checks when the box loses the focus; false keeps the focus there.
    bool txtIDStd_Validate();
    bool txtIDExt_Validate();
    void txtIDStd_Change(const QString &text) { txtIDStd = text; }
    void txtIDExt_Change(const QString &text) { txtIDExt = text; }
    void txtName_Change(const QString &text);
    void cmbDevDevice_Click(int index);
    void chkEnable_Click(bool ticked);
    void txtCycleTime_Change(const QString &text);
    void txtComment_Change(const QString &text);

    void lvListViewData_Click(int row);
    // The name or a bit box of the field being edited was typed in.
    void txtData_Change(const QString &begin, const QString &end, const QString &name);
    // A signal property of the field being edited was typed in or chosen.
    void signalBoxes_Change(const SignalBoxes &boxes);
    void cmdDataAdd_Click();
    void cmdDataChange_Click();

    void cmdApply_Click();
    // True when the editor closes.
    bool cmdOk_Click();
    void cmdCancel_Click() { result = false; }
    bool cmdDelete_Click();
    // Closing the edit mode with unsaved changes asks whether to save; false
    // when the editor stays open.
    bool queryUnload();

    [[nodiscard]] QString key() const { return idKeyText; }
    [[nodiscard]] int idCanId() const { return rowId; }

  private:
    void setCaption(const QString &word);
    void fillDevices();
    bool identifierChecks();
    void enableApply();
    bool readCycleTime(int *cycleTime);
    // The field the data boxes describe; `replacing` is the row it is to
    // replace, -1 for a new one. False after a message.
    bool readDataBoxes(DataField *field, int replacing);
    void showField(const DataField &field);
    [[nodiscard]] int chosenDevice() const;

    AppContext &context;
    CanDbModel &model;
    QString idKeyText;
    int rowId = 0;
    int deviceId = 0;
    QString openedName;
    bool openedEnable = false;
    QString openedCycleTime;
    QString openedComment;
    // The field whose properties the signal boxes were filled from; the
    // defaults until a field is chosen.
    DataField shownField;
    bool suspend = false;
    bool dataChanged = false;
    bool checking = false;
};
