#include "candb/candbeditor.h"

#include "candb/candbmodel.h"
#include "candb/deleteops.h"
#include "core/values.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"

namespace {

const QString updateError = QStringLiteral("Error of updating CAN Data Base.");

// A drop-down list shows its first item when nothing else was chosen.
void showFirstWhenUnchosen(ComboList &list)
{
    if (list.selected < 0 && !list.items.isEmpty())
        list.selected = 0;
}

} // namespace

CanDbEditor::CanDbEditor(AppContext &context, CanDbModel &model)
    : context(context)
    , model(model)
{
}

QString CanDbEditor::textOf(const ComboList &list)
{
    return list.items.value(list.selected);
}

void CanDbEditor::load()
{
    ParamStore &params = *context.params;
    Database &db = *context.db;
    loadedName = model.dbName();
    dbId = params.getInt(QStringLiteral("id_CAN"), 0);
    loading = true;
    txtName = loadedName;
    cmbCAN_Speed.clear();
    loadCombo(db, sql::selectSpeedList, {}, cmbCAN_Speed, 1, params.getParam(QStringLiteral("id_CAN_Speed"), "2"));
    selectReferenceRow(db, sql::selectSpeed, params.getInt(QStringLiteral("id_CAN_Speed"), 2), cmbCAN_Speed);
    cmbCAN_Timer.clear();
    loadCombo(db, sql::selectTimerList, {}, cmbCAN_Timer, 1, params.getParam(QStringLiteral("id_CAN_Timer"), "0"));
    selectReferenceRow(db, sql::selectTimer, params.getInt(QStringLiteral("id_CAN_Timer"), 0), cmbCAN_Timer);
    showFirstWhenUnchosen(cmbCAN_Speed);
    showFirstWhenUnchosen(cmbCAN_Timer);
    loadedSpeed = textOf(cmbCAN_Speed);
    loadedTimer = textOf(cmbCAN_Timer);
    const int defaultDeviceId = params.getInt(QStringLiteral("id_CAN_Device"), 0);
    cmbDevDevice.clear();
    loadCombo(db, sql::selectDeviceList, {dbId}, cmbDevDevice, 1, defaultDeviceId);
    showFirstWhenUnchosen(cmbDevDevice);
    loadedDevice = textOf(cmbDevDevice);
    loadedEnable = model.isTicked(QStringLiteral("CAN"));
    chkEnable = loadedEnable;
    cmdApplyEnabled = false;
    loading = false;
}

void CanDbEditor::changed(bool differs)
{
    // Changing a value back keeps Apply enabled.
    if (!loading && differs)
        cmdApplyEnabled = true;
}

void CanDbEditor::txtName_Change(const QString &text)
{
    txtName = text;
    changed(txtName != loadedName);
}

void CanDbEditor::cmbDevDevice_Click(int index)
{
    cmbDevDevice.selected = index;
    changed(textOf(cmbDevDevice) != loadedDevice);
}

void CanDbEditor::cmbCAN_Speed_Click(int index)
{
    cmbCAN_Speed.selected = index;
    changed(textOf(cmbCAN_Speed) != loadedSpeed);
}

void CanDbEditor::cmbCAN_Timer_Click(int index)
{
    cmbCAN_Timer.selected = index;
    changed(textOf(cmbCAN_Timer) != loadedTimer);
}

void CanDbEditor::chkEnable_Click(bool ticked)
{
    chkEnable = ticked;
    changed(chkEnable != loadedEnable);
}

void CanDbEditor::cmdApply_Click()
{
    Database &db = *context.db;
    Prompts &prompts = *context.prompts;

    if (txtName != loadedName) {
        // A line break in a name would split the records of a saved capture.
        if (hasControlCharacter(txtName)) {
            prompts.error(QStringLiteral("Name of CAN Data Base is not defined."));
        } else if (queryNumber(db, sql::selectCanByName, {txtName}) != -1) {
            prompts.error(QStringLiteral("CAN Data Base with given name is present."));
        } else if (model.renameDataBase(dbId, txtName) == WriteResult::Failed) {
            prompts.error(updateError);
        } else {
            loadedName = txtName;
        }
    }
    if (textOf(cmbDevDevice) != loadedDevice) {
        const int deviceId = cmbDevDevice.ids.value(cmbDevDevice.selected);
        if (model.setDefaultDevice(dbId, deviceId) == WriteResult::Failed)
            prompts.error(updateError);
        else
            loadedDevice = textOf(cmbDevDevice);
    }
    if (textOf(cmbCAN_Speed) != loadedSpeed) {
        const int speedId = cmbCAN_Speed.ids.value(cmbCAN_Speed.selected);
        if (model.setSpeedId(dbId, speedId) == WriteResult::Failed)
            prompts.error(updateError);
        else
            loadedSpeed = textOf(cmbCAN_Speed);
    }
    if (textOf(cmbCAN_Timer) != loadedTimer) {
        const int timerId = cmbCAN_Timer.ids.value(cmbCAN_Timer.selected);
        if (model.setTimerId(dbId, timerId) == WriteResult::Failed)
            prompts.error(updateError);
        else
            loadedTimer = textOf(cmbCAN_Timer);
    }
    if (chkEnable != loadedEnable) {
        if (model.checkNode(QStringLiteral("CAN"), chkEnable) == WriteResult::Stored)
            loadedEnable = chkEnable;
        else
            chkEnable = loadedEnable; // the box shows what is stored
    }
    cmdApplyEnabled = false;
}

bool CanDbEditor::cmdOk_Click()
{
    if (cmdApplyEnabled)
        cmdApply_Click();
    return true;
}

bool CanDbEditor::cmdDelete_Click()
{
    if (deleteCanDb(context, loadedName) != DeleteResult::Deleted)
        return false;
    cmdApplyEnabled = false; // nothing left to save
    return true;
}

bool CanDbEditor::queryUnload()
{
    if (!cmdApplyEnabled)
        return true;
    return askSaveSettings(*context.prompts, [this] {
        cmdApply_Click();
        return true;
    });
}
