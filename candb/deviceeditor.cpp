#include "candb/deviceeditor.h"

#include "candb/candbmodel.h"
#include "candb/deleteops.h"
#include "core/queries.h"
#include "core/values.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"

namespace {

const QString deviceCaption = QStringLiteral("CAN Data Base Device");
const QString nameTakenText = QStringLiteral("CAN Data Base Device with given name is present.");
const QString updateError = QStringLiteral("Error of updating CAN Data Base Device.");
const QString nameError = QStringLiteral("Name of CAN Data Base Device is not defined.");

} // namespace

DeviceEditor::DeviceEditor(AppContext &context, CanDbModel &model)
    : context(context)
    , model(model)
{
}

void DeviceEditor::openAdd()
{
    editMode = false;
    deviceId = -1;
    caption = QStringLiteral("Addition ") + deviceCaption;
    cmdOkCaption = QStringLiteral("Add");
    cmdApplyVisible = false;
    // "Add" applies even when nothing was typed.
    cmdApplyEnabled = true;
    txtCAN_Name = model.dbName();
    openedName = txtName;
    openedEnable = chkEnable;
}

bool DeviceEditor::openEdit(const QString &deviceNodeKey)
{
    if (!deviceNodeKey.startsWith(QLatin1String("DEV")) || !model.contains(deviceNodeKey))
        return false;
    editMode = true;
    suspend = true;
    key = deviceNodeKey;
    deviceId = deviceKeyId(key);
    caption = QStringLiteral("Property ") + deviceCaption;
    cmdOkCaption = QStringLiteral("Ok");
    cmdDeleteVisible = deviceId != context.params->getInt(QStringLiteral("id_CAN_Device"), 0);
    cmdApplyVisible = true;
    cmdApplyEnabled = false;
    txtCAN_Name = model.dbName();
    txtName = model.device(deviceId)->name;
    openedName = txtName;
    chkEnable = model.isTicked(key);
    openedEnable = chkEnable;
    suspend = false;
    return true;
}

void DeviceEditor::txtName_Change(const QString &text)
{
    txtName = text;
    if (!suspend && txtName != openedName)
        cmdApplyEnabled = true;
}

void DeviceEditor::chkEnable_Click(bool ticked)
{
    chkEnable = ticked;
    if (!suspend && chkEnable != openedEnable)
        cmdApplyEnabled = true;
}

QString DeviceEditor::storedName() const
{
    const CanDevice *device = model.device(deviceKeyId(key));
    return device && deviceKey(device->id) == key ? device->name : QString();
}

bool DeviceEditor::nameTaken() const
{
    return queryNumber(*context.db, sql::selectDeviceByName,
                       {context.params->getInt(QStringLiteral("id_CAN"), 0), txtName}) != -1;
}

void DeviceEditor::cmdApply_Click()
{
    Prompts &prompts = *context.prompts;
    // A line break in a name would split the records of a saved capture.
    if ((!editMode || txtName != storedName()) && hasControlCharacter(txtName)) {
        prompts.error(nameError);
        return;
    }
    if (!editMode) {
        if (nameTaken()) {
            prompts.error(nameTakenText);
            return;
        }
        const std::optional<int> added = model.addDevice(txtName, chkEnable);
        if (!added) {
            prompts.error(updateError);
            return;
        }
        deviceId = *added;
        key = deviceKey(deviceId);
        cmdApplyEnabled = false;
        result = true;
        return;
    }

    cmdApplyEnabled = false;
    if (txtName != storedName()) {
        if (nameTaken()) {
            prompts.error(nameTakenText);
            cmdApplyEnabled = true;
        } else if (model.renameDevice(deviceId, txtName) == WriteResult::Failed) {
            prompts.error(updateError);
            cmdApplyEnabled = true;
        } else {
            openedName = txtName;
            result = true;
        }
    }
    if (chkEnable != openedEnable) {
        // Written for every identifier of the device, as a tick in the tree is.
        if (model.checkNode(key, chkEnable) == WriteResult::Stored) {
            openedEnable = chkEnable;
            result = true;
        } else {
            cmdApplyEnabled = true;
        }
    }
}

bool DeviceEditor::cmdOk_Click()
{
    if (cmdApplyEnabled)
        cmdApply_Click();
    return !cmdApplyEnabled;
}

bool DeviceEditor::cmdDelete_Click()
{
    if (!editMode || deleteDevice(context, model, key) != DeleteResult::Deleted)
        return false;
    cmdApplyEnabled = false;
    result = true;
    return true;
}

bool DeviceEditor::queryUnload()
{
    if (!editMode || !cmdApplyEnabled)
        return true;
    return askSaveSettings(*context.prompts, [this] {
        cmdApply_Click();
        return !cmdApplyEnabled; // a failed save keeps the window open
    });
}
