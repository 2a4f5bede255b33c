// The data base panel's commands: the CAN menu items and the editors they run.
#include "candb/ui/dbtree.h"

#include "candb/dbcstore.h"
#include "candb/deleteops.h"
#include "candb/ideditor.h"
#include "candb/ui/frmcan_db.h"
#include "candb/ui/frmcan_db_new.h"
#include "candb/ui/frmdevice.h"
#include "candb/ui/frmtv_id.h"
#include "core/params.h"
#include "core/prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTreeWidget>

namespace {
const QString dbcFilter = QStringLiteral("DBC files (*.dbc);;All files (*)");
}

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

void DbTree::mnuCAN_Import_Click()
{
    Prompts &prompts = *context.prompts;
    ParamStore &params = *context.params;
    const QString path = prompts.openFileName(QStringLiteral("Import"), dbcFilter, QString());
    if (path.isEmpty())
        return;
    const dbcstore::ImportOutcome outcome =
        dbcstore::importFile(*context.db, params, path, QString(), params.getInt(QStringLiteral("def_CAN_Speed"), 2),
                             params.getInt(QStringLiteral("def_CAN_Timer"), 1));
    if (outcome.canId) {
        params.setParam(QStringLiteral("id_CAN"), *outcome.canId);
        params.setParam(QStringLiteral("id_CAN_Device"),
                        queryNumber(*context.db, sql::selectCanDeviceId, {*outcome.canId}));
        dbModel.load(true, true);
    }
    prompts.message(outcome.text, QStringLiteral("Import"),
                    outcome.canId ? Prompts::Icon::Information : Prompts::Icon::Critical);
}

void DbTree::mnuCAN_DB_Export_Click()
{
    Prompts &prompts = *context.prompts;
    const int id = context.params->getInt(QStringLiteral("id_CAN"), 0);
    if (!dbModel.hasDataBase() || id == 0)
        return;
    QString error;
    const std::optional<dbc::Network> network = dbcstore::load(*context.db, id, &error);
    if (!network) {
        prompts.error(error, QStringLiteral("Export"));
        return;
    }
    const QString path =
        prompts.saveFileName(QStringLiteral("Export"), dbcFilter, QString(), dbModel.dbName() + QStringLiteral(".dbc"));
    if (path.isEmpty())
        return;
    // Written whole or not at all: an existing file stays as it was on failure.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(dbc::write(*network)) < 0 || !file.commit())
        prompts.error(QStringLiteral("\"%1\" cannot be written: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()),
                      QStringLiteral("Export"));
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
