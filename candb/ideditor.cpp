#include "candb/ideditor.h"

#include "candb/deleteops.h"
#include "core/values.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"

namespace {

const QString updateError = QStringLiteral("Error of updating CAN Data Base Device.");
const QString descriptionError = QStringLiteral("Description of CAN Data Base ID is not defined.");
const QString dataNameError = QStringLiteral("Description of Data is not defined.");

} // namespace

IdEditor::IdEditor(AppContext &context, CanDbModel &model)
    : context(context)
    , model(model)
{
    pictureColour = hexColour(txtIDStd);
}

void IdEditor::setCaption(const QString &word)
{
    caption = word + QStringLiteral("CAN Data Base ID");
}

void IdEditor::fillDevices()
{
    cmbDevDevice.clear();
    loadCombo(*context.db, sql::selectDeviceList, {context.params->getInt(QStringLiteral("id_CAN"), 0)}, cmbDevDevice,
              1, deviceId);
    if (cmbDevDevice.selected < 0 && !cmbDevDevice.items.isEmpty())
        cmbDevDevice.selected = 0;
}

int IdEditor::chosenDevice() const
{
    return cmbDevDevice.selected >= 0 ? cmbDevDevice.ids.value(cmbDevDevice.selected, deviceId) : deviceId;
}

void IdEditor::enableApply()
{
    if (!suspend)
        cmdApplyEnabled = true;
}

bool IdEditor::txtIDStd_Validate()
{
    if (checkHex(*context.prompts, txtIDStd, 3, 0x7FF) != checkOk)
        return false;
    pictureColour = hexColour(txtIDStd);
    enableApply();
    return true;
}

bool IdEditor::txtIDExt_Validate()
{
    if (!extended)
        return true;
    if (checkHex(*context.prompts, txtIDExt, 5, 0x3FFFF) != checkOk)
        return false;
    enableApply();
    return true;
}

bool IdEditor::identifierChecks()
{
    // One message at a time: the extended part is checked once the standard part passed.
    return txtIDStd_Validate() && txtIDExt_Validate();
}

void IdEditor::optCANType_Click(bool extendedFrame)
{
    extended = extendedFrame;
    // A standard identifier shows "-----" as its extension; an extended one needs digits.
    if (extended && checkHex(*context.prompts, txtIDExt, 5, 0x3FFFF) != checkOk)
        txtIDExt = QStringLiteral("00000");
    enableApply();
}

void IdEditor::txtName_Change(const QString &text)
{
    txtName = text;
    if (txtName != openedName)
        enableApply();
}

void IdEditor::cmbDevDevice_Click(int index)
{
    cmbDevDevice.selected = index;
    if (chosenDevice() != deviceId)
        enableApply();
}

void IdEditor::chkEnable_Click(bool ticked)
{
    chkEnable = ticked;
    if (chkEnable != openedEnable)
        enableApply();
}

// ---- Opening ------------------------------------------------------------------

bool IdEditor::openAdd(const QString &key)
{
    mode = Mode::Add;
    setCaption(QStringLiteral("Addition "));
    cmdOkCaption = QStringLiteral("Add");
    cmdApplyVisible = false;
    frmCAN_IDEnabled = false;
    idKeyText = key;
    const qint32 keyNumber = key.startsWith(QLatin1String("ID_")) ? splitIdKey(key, extended, txtIDStd, txtIDExt) : -1;
    if (keyNumber < 0) {
        context.prompts->error(QStringLiteral("Lost IDs is not adding to CAN Data Base."),
                               QStringLiteral("Adding ID to CAN Data Base..."));
        return false;
    }
    txtName = txtName + QStringLiteral(" : ") + formatID(keyNumber);
    openedName = txtName;
    bool ticked = true;
    model.monitorRowChecked(key, &ticked);
    chkEnable = ticked;
    openedEnable = chkEnable;
    identifierChecks();
    deviceId = context.params->getInt(QStringLiteral("id_CAN_Device"), 0);
    fillDevices();
    return true;
}

bool IdEditor::openEdit(const QString &key)
{
    const CanIdentifier *found = model.identifier(key);
    if (!found)
        return false;
    mode = Mode::Edit;
    suspend = true;
    idKeyText = key;
    // The data base's own row: the same identifier may also be in another data base.
    rowId = found->idCanId;
    lvListViewData = model.dataFields(rowId);
    setCaption(QStringLiteral("Property "));
    cmdOkCaption = QStringLiteral("Ok");
    cmdDeleteVisible = true;
    cmdApplyVisible = true;
    frmCAN_IDEnabled = false;
    splitIdKey(key, extended, txtIDStd, txtIDExt);
    txtName = found->name;
    openedName = txtName;
    chkEnable = found->enable;
    openedEnable = chkEnable;
    identifierChecks();
    deviceId = found->deviceId;
    fillDevices();
    suspend = false;
    return true;
}

bool IdEditor::openNew(const QString &key)
{
    mode = Mode::New;
    suspend = true;
    setCaption(QStringLiteral("New "));
    cmdOkCaption = QStringLiteral("Add");
    cmdApplyVisible = false;
    frmCAN_IDEnabled = true;
    txtIDStd = QStringLiteral("123");
    txtIDExt = QStringLiteral("34567");
    pictureColour = hexColour(txtIDStd);
    if (const CanIdentifier *found = model.identifier(key)) {
        splitIdKey(key, extended, txtIDStd, txtIDExt);
        identifierChecks();
        deviceId = found->deviceId;
    } else if (key.startsWith(QLatin1String("DEV"))) {
        deviceId = deviceKeyId(key);
    } else {
        deviceId = context.params->getInt(QStringLiteral("id_CAN_Device"), 0);
    }
    openedName = txtName;
    openedEnable = chkEnable;
    fillDevices();
    suspend = false;
    return true;
}

bool IdEditor::silentAdd()
{
    txtDataBegin = QStringLiteral("0");
    txtDataEnd = QStringLiteral("63");
    txtDataName = QStringLiteral("Unknown");
    cmdDataAdd_Click();
    cmdOk_Click();
    return result;
}

// ---- Data fields ----------------------------------------------------------------

void IdEditor::lvListViewData_Click(int row)
{
    if (row < 0 || row >= lvListViewData.size())
        return;
    selectedData = row;
    const DataField &field = lvListViewData.at(row);
    txtDataBegin = QString::number(field.begin);
    txtDataEnd = QString::number(field.end);
    txtDataName = field.name;
    cmdDataChangeCaption = QStringLiteral("Delete");
    cmdDataChangeEnabled = true;
}

void IdEditor::txtData_Change(const QString &begin, const QString &end, const QString &name)
{
    txtDataBegin = begin;
    txtDataEnd = end;
    txtDataName = name;
    cmdDataChangeCaption = QStringLiteral("Apply");
    cmdDataChangeEnabled = selectedData >= 0;
}

bool IdEditor::readDataBoxes(DataField *field)
{
    ValueCheck begin;
    ValueCheck end;
    if (checkDecimal(*context.prompts, txtDataBegin, 63, &begin) != checkOk ||
        checkDecimal(*context.prompts, txtDataEnd, 63, &end) != checkOk)
        return false;
    // A line break in a name would split the records of a saved capture.
    if (hasControlCharacter(txtDataName)) {
        context.prompts->error(dataNameError);
        return false;
    }
    // The two bits never cross: a field typed backwards is taken the right way round.
    field->begin = int(qMin(begin.parsedValue, end.parsedValue));
    field->end = int(qMax(begin.parsedValue, end.parsedValue));
    field->name = txtDataName;
    return true;
}

void IdEditor::cmdDataAdd_Click()
{
    DataField field;
    if (!readDataBoxes(&field))
        return;
    lvListViewData.append(field);
    selectedData = -1;
    cmdDataChangeCaption = QStringLiteral("Apply");
    cmdDataChangeEnabled = false;
    dataChanged = true;
    cmdApplyEnabled = true;
}

void IdEditor::cmdDataChange_Click()
{
    if (selectedData < 0 || selectedData >= lvListViewData.size())
        return;
    if (cmdDataChangeCaption == QLatin1String("Delete")) {
        lvListViewData.removeAt(selectedData);
        selectedData = -1;
    } else {
        DataField field;
        if (!readDataBoxes(&field))
            return;
        lvListViewData[selectedData] = field;
    }
    cmdDataChangeCaption = QStringLiteral("Apply");
    cmdDataChangeEnabled = false;
    dataChanged = true;
    cmdApplyEnabled = true;
}

// ---- Apply, Ok, Delete, closing ---------------------------------------------------------

void IdEditor::cmdApply_Click()
{
    Prompts &prompts = *context.prompts;
    if (mode != Mode::Edit) {
        // A click on "Add" does not wait for the boxes' own checks.
        if (frmCAN_IDEnabled && !identifierChecks())
            return;
        // A line break in a description would split the records of a saved capture.
        if (hasControlCharacter(txtName)) {
            prompts.error(descriptionError);
            return;
        }
        const qint32 keyNumber = makeIdNumber(extended, txtIDStd, txtIDExt);
        const std::optional<int> id =
            model.addIdentifier(chosenDevice(), keyNumber, txtName, chkEnable, lvListViewData);
        if (id && *id > 0) {
            rowId = *id;
            idKeyText = idKey(keyNumber);
            result = true;
        }
        cmdApplyEnabled = false;
        return;
    }

    if (txtName != openedName && hasControlCharacter(txtName)) {
        prompts.error(descriptionError);
        return;
    }
    cmdApplyEnabled = false;
    const bool renamed = txtName != openedName;
    const int device = chosenDevice();
    const bool moved = device != deviceId;
    if (renamed || moved || dataChanged) {
        CanDbModel::IdentifierChange change;
        if (renamed)
            change.name = txtName;
        if (moved)
            change.deviceId = device;
        if (dataChanged)
            change.fields = lvListViewData;
        if (model.changeIdentifier(idKeyText, change) == WriteResult::Failed) {
            prompts.error(updateError);
            cmdApplyEnabled = true;
        } else {
            if (renamed)
                openedName = txtName;
            if (moved)
                deviceId = device;
            dataChanged = false;
            result = true;
        }
    }
    if (chkEnable != openedEnable) {
        // Written as a tick in the tree would be, so it lasts past a reload.
        if (model.checkNode(idKeyText, chkEnable) == WriteResult::Stored) {
            openedEnable = chkEnable;
            result = true;
        } else {
            cmdApplyEnabled = true;
        }
    }
}

bool IdEditor::cmdOk_Click()
{
    if (cmdApplyEnabled)
        cmdApply_Click();
    return !cmdApplyEnabled;
}

bool IdEditor::cmdDelete_Click()
{
    viewsNeedRebuild = deleteID(context, model, idKeyText) == DeleteResult::DeletedRowKept;
    // Closed once the identifier is gone, whether or not its monitor row stays.
    if (model.identifier(idKeyText))
        return false;
    cmdApplyEnabled = false;
    return true;
}

bool IdEditor::queryUnload()
{
    if (mode != Mode::Edit || !cmdApplyEnabled)
        return true;
    return askSaveSettings(*context.prompts, [this] {
        cmdApply_Click();
        return !cmdApplyEnabled; // a failed save keeps the window open
    });
}
