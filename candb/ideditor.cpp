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

constexpr qint64 maxCycleTime = 3600000; // one hour
// A big-endian field's End only carries its length: up to 64 bits from bit 63.
constexpr qint64 lastBigEndianEnd = 63 + 64 - 1;

// Why the decoder could never read `field`; empty when it can.
QString layoutError(const DataField &field)
{
    using signaldecode::ValueType;
    if (signaldecode::check(field.decoderField()) == signaldecode::Status::Ok)
        return {};
    if (field.type == ValueType::Float32 && field.length() != 32)
        return QStringLiteral("A float 32 field must be 32 bits long, not %1.").arg(field.length());
    if (field.type == ValueType::Float64 && field.length() != 64)
        return QStringLiteral("A float 64 field must be 64 bits long, not %1.").arg(field.length());
    if (field.order == signaldecode::ByteOrder::BigEndian)
        return QStringLiteral("A big-endian field of %1 bits from bit %2 does not fit in the 8 data bytes.")
            .arg(field.length())
            .arg(field.begin);
    return QStringLiteral("The data field does not fit in the 8 data bytes.");
}

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

void IdEditor::txtCycleTime_Change(const QString &text)
{
    txtCycleTime = text;
    if (txtCycleTime != openedCycleTime)
        enableApply();
}

void IdEditor::txtComment_Change(const QString &text)
{
    txtComment = text;
    if (txtComment != openedComment)
        enableApply();
}

bool IdEditor::readCycleTime(int *cycleTime)
{
    const QString text = txtCycleTime.trimmed();
    bool ok = true;
    const qint64 value = text.isEmpty() ? 0 : text.toLongLong(&ok, 10);
    if (!ok || value < 0 || value > maxCycleTime) {
        context.prompts->error(
            QStringLiteral("Cycle time must be a whole number of milliseconds from 0 to %1.").arg(maxCycleTime));
        return false;
    }
    *cycleTime = int(value);
    return true;
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
    // Said before the window opens, not after the user has filled it in.
    if (!model.requireDataBase())
        return false;
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
    txtCycleTime = found->cycleTime != 0 ? QString::number(found->cycleTime) : QString();
    openedCycleTime = txtCycleTime;
    txtComment = found->comment;
    openedComment = txtComment;
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
    showField(field);
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

void IdEditor::signalBoxes_Change(const SignalBoxes &boxes)
{
    signalBoxes = boxes;
    cmdDataChangeCaption = QStringLiteral("Apply");
    cmdDataChangeEnabled = selectedData >= 0;
}

void IdEditor::showField(const DataField &field)
{
    shownField = field;
    signalBoxes = SignalBoxes::of(field);
}

bool IdEditor::readDataBoxes(DataField *field, int replacing)
{
    Prompts &prompts = *context.prompts;
    const bool bigEndian = signalBoxes.bigEndian();
    ValueCheck begin;
    ValueCheck end;
    if (checkDecimal(prompts, txtDataBegin, 63, &begin) != checkOk ||
        checkDecimal(prompts, txtDataEnd, bigEndian ? lastBigEndianEnd : 63, &end) != checkOk)
        return false;
    // A line break in a name would split the records of a saved capture.
    if (hasControlCharacter(txtDataName)) {
        prompts.error(dataNameError);
        return false;
    }
    // Begin is where a big-endian field starts, so the two are not swapped.
    if (bigEndian && end.parsedValue < begin.parsedValue) {
        prompts.error(QStringLiteral("End of a big-endian field must not be below Begin: its length is End-Begin+1."));
        return false;
    }
    SignalBoxes::Read read = signalBoxes.read(shownField);
    if (!read.error.isEmpty()) {
        prompts.error(read.error);
        return false;
    }
    // The two bits never cross: a field typed backwards is taken the right way round.
    read.field.begin = int(qMin(begin.parsedValue, end.parsedValue));
    read.field.end = int(qMax(begin.parsedValue, end.parsedValue));
    read.field.name = txtDataName;
    if (const QString error = layoutError(read.field); !error.isEmpty()) {
        prompts.error(error);
        return false;
    }
    if (read.field.multiplexor)
        for (qsizetype row = 0; row < lvListViewData.size(); ++row)
            if (row != replacing && lvListViewData.at(row).multiplexor) {
                prompts.error(QStringLiteral("An identifier has one multiplexor only, and \"%1\" is it already.")
                                  .arg(lvListViewData.at(row).name));
                return false;
            }
    *field = read.field;
    return true;
}

void IdEditor::cmdDataAdd_Click()
{
    DataField field;
    if (!readDataBoxes(&field, -1))
        return;
    lvListViewData.append(field);
    showField(field);
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
        if (!readDataBoxes(&field, selectedData))
            return;
        lvListViewData[selectedData] = field;
        showField(field);
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
        int cycleTime = 0;
        if (!readCycleTime(&cycleTime))
            return;
        const qint32 keyNumber = makeIdNumber(extended, txtIDStd, txtIDExt);
        const std::optional<int> id =
            model.addIdentifier(chosenDevice(), keyNumber, txtName, chkEnable, lvListViewData, cycleTime, txtComment);
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
    const bool retimed = txtCycleTime != openedCycleTime;
    int cycleTime = 0;
    if (retimed && !readCycleTime(&cycleTime))
        return;
    cmdApplyEnabled = false;
    const bool renamed = txtName != openedName;
    const int device = chosenDevice();
    const bool moved = device != deviceId;
    const bool commented = txtComment != openedComment;
    if (renamed || moved || dataChanged || retimed || commented) {
        CanDbModel::IdentifierChange change;
        if (renamed)
            change.name = txtName;
        if (moved)
            change.deviceId = device;
        if (dataChanged)
            change.fields = lvListViewData;
        if (retimed)
            change.cycleTime = cycleTime;
        if (commented)
            change.comment = txtComment;
        if (model.changeIdentifier(idKeyText, change) == WriteResult::Failed) {
            prompts.error(updateError);
            cmdApplyEnabled = true;
        } else {
            if (renamed)
                openedName = txtName;
            if (moved)
                deviceId = device;
            openedCycleTime = txtCycleTime;
            openedComment = txtComment;
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
