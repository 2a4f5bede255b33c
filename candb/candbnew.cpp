#include "candb/candbnew.h"

#include "candb/candbmodel.h"
#include "core/values.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"

namespace {

void showFirstWhenUnchosen(ComboList &list)
{
    if (list.selected < 0 && !list.items.isEmpty())
        list.selected = 0;
}

} // namespace

CanDbNew::CanDbNew(AppContext &context, CanDbModel &model)
    : context(context)
    , model(model)
{
}

void CanDbNew::load()
{
    ParamStore &params = *context.params;
    Database &db = *context.db;
    cmbCAN.clear();
    cmbCAN.items << QString();
    cmbCAN.ids << 0;
    cmbCAN.selected = 0;
    templateName = txtName;
    cmbCAN_Speed.clear();
    loadCombo(db, sql::selectSpeedList, {}, cmbCAN_Speed, 1, params.getParam(QStringLiteral("id_CAN_Speed"), "0"));
    selectReferenceRow(db, sql::selectSpeed, params.getInt(QStringLiteral("id_CAN_Speed"), 0), cmbCAN_Speed);
    cmbCAN_Timer.clear();
    loadCombo(db, sql::selectTimerList, {}, cmbCAN_Timer, 1, params.getParam(QStringLiteral("id_CAN_Timer"), "0"));
    selectReferenceRow(db, sql::selectTimer, params.getInt(QStringLiteral("id_CAN_Timer"), 0), cmbCAN_Timer);
    showFirstWhenUnchosen(cmbCAN_Speed);
    showFirstWhenUnchosen(cmbCAN_Timer);
    cmbCAN.selected = -1;
    loadCombo(db, sql::selectCanList, {}, cmbCAN, 1, params.getParam(QStringLiteral("id_CAN"), "0"));
    if (cmbCAN.selected >= 0)
        cmbCAN_Click(cmbCAN.selected);
    else
        cmbCAN.selected = 0;
}

void CanDbNew::cmbCAN_Click(int index)
{
    cmbCAN.selected = index;
    const QString text = cmbCAN.items.value(index);
    if (text == templateName)
        return;
    ParamStore &params = *context.params;
    int speedId = 0;
    int timerId = 0;
    if (!text.isEmpty()) {
        const int id = cmbCAN.ids.value(index);
        speedId = queryValue(*context.db, sql::selectCanSpeedId, {id}, 0).toInt();
        timerId = queryValue(*context.db, sql::selectCanTimerId, {id}, 0).toInt();
    } else {
        speedId = params.getInt(QStringLiteral("def_CAN_Speed"), 2);
        timerId = params.getInt(QStringLiteral("def_CAN_Timer"), 1);
    }
    templateName = text;
    selectReferenceRow(*context.db, sql::selectSpeed, speedId, cmbCAN_Speed);
    selectReferenceRow(*context.db, sql::selectTimer, timerId, cmbCAN_Timer);
}

bool CanDbNew::cmdOk_Click()
{
    // A line break in a name would split the records of a saved capture.
    if (txtName.isEmpty() || hasControlCharacter(txtName)) {
        context.prompts->error(QStringLiteral("Name of CAN Data Base is not defined."));
        return false;
    }
    if (txtDefDevice.isEmpty() || hasControlCharacter(txtDefDevice)) {
        context.prompts->error(QStringLiteral("Default Device CAN Data Base is not defined."));
        return false;
    }
    return create();
}

bool CanDbNew::create()
{
    Prompts &prompts = *context.prompts;
    const QString failed = QStringLiteral("Error of creation CAN Data Base.");

    auto present = context.db->openRecordset(QString::fromLatin1(sql::selectCanByName), {txtName});
    if (!present) {
        prompts.error(failed);
        return false;
    }
    if (present->next()) {
        prompts.error(QStringLiteral("CAN Data Base with given name is present."));
        return false;
    }
    present.reset();

    if (!model.createDataBase(txtName, txtDefDevice, cmbCAN_Speed.ids.value(cmbCAN_Speed.selected),
                              cmbCAN_Timer.ids.value(cmbCAN_Timer.selected))) {
        prompts.error(failed);
        return false;
    }
    return true;
}
