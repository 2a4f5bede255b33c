// The data base panel's commands: the CAN menu items and the editors they run.
#include "candb/ui/dbtree.h"

#include "candb/deleteops.h"
#include "candb/ideditor.h"
#include "candb/ui/frmcan_db.h"
#include "candb/ui/frmcan_db_new.h"
#include "candb/ui/frmdevice.h"
#include "candb/ui/frmtv_id.h"
#include "core/params.h"

#include <QTreeWidget>

QWidget *DbTree::dialogParent() const
{
    return panel.tvDB_IDs->window();
}

void DbTree::runDbDialog(const std::function<void()> &show)
{
    const QString before = context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0"));
    dbModel.clearReloadWanted();
    show();
    if (context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0")) != before || dbModel.reloadWanted())
        dbModel.load(true, true);
}

void DbTree::mnuCAN_New_Click()
{
    runDbDialog([this] {
        frmCAN_DB_New dialog(context, dbModel, dialogParent());
        dialog.exec();
    });
}

void DbTree::mnuCAN_DB_Edit_Click()
{
    runDbDialog([this] {
        frmCAN_DB dialog(context, dbModel, dialogParent());
        dialog.exec();
    });
}

void DbTree::mnuCAN_DB_Delete_Click()
{
    if (deleteCanDb(context, dbModel.dbName()) == DeleteResult::Deleted)
        dbModel.load(true, true);
}

void DbTree::mnuCAN_Devices_New_Click()
{
    addDevice();
    dbModel.rebuildID();
}

void DbTree::mnuCAN_Devices_Edit_Click()
{
    editDevice(currentKey);
}

void DbTree::mnuCAN_Devices_Delete_Click()
{
    currentKey = currentItemKey();
    if (currentKey.startsWith(QLatin1String("DEV")) &&
        deleteDevice(context, dbModel, currentKey) == DeleteResult::Deleted)
        emit rebuildViews();
}

void DbTree::mnuCAN_IDs_New_Click()
{
    newID(currentKey);
}

void DbTree::mnuCAN_IDs_Edit_Click()
{
    editID(currentKey);
}

void DbTree::mnuCAN_IDs_Delete_Click()
{
    currentKey = currentItemKey();
    if (currentKey.startsWith(QLatin1String("ID_")) &&
        deleteID(context, dbModel, currentKey) == DeleteResult::DeletedRowKept)
        emit rebuildViews();
}

// ---- Identifier and device editors ---------------------------------------------------------

bool DbTree::addID(bool show, const QString &key)
{
    if (!show) {
        IdEditor editor(context, dbModel);
        return editor.openAdd(key) && editor.silentAdd();
    }
    frmTV_ID dialog(context, dbModel, dialogParent());
    return dialog.addID(key);
}

bool DbTree::editID(const QString &key)
{
    frmTV_ID dialog(context, dbModel, dialogParent());
    const bool saved = dialog.editID(key);
    if (dialog.logic.viewsNeedRebuild)
        emit rebuildViews();
    return saved;
}

bool DbTree::newID(const QString &key)
{
    frmTV_ID dialog(context, dbModel, dialogParent());
    return dialog.newID(key);
}

int DbTree::addDevice()
{
    frmDevice dialog(context, dbModel, dialogParent());
    return dialog.addDevice();
}

bool DbTree::editDevice(const QString &key)
{
    frmDevice dialog(context, dbModel, dialogParent());
    const bool saved = dialog.editDevice(key);
    // A device deleted from its editor takes its identifiers' rows along.
    if (!dbModel.contains(key))
        emit rebuildViews();
    return saved;
}
