#include "candb/deleteops.h"

#include "candb/candbmodel.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/dbindex.h"
#include "core/params.h"
#include "core/prompts.h"
#include "core/queries.h"
#include "core/values.h"

namespace {

bool confirmed(Prompts &prompts, const QString &text, const QString &title)
{
    return prompts.message(text, title, Prompts::Icon::None, Prompts::Buttons::OkCancel) == Prompts::Answer::Ok;
}

} // namespace

DeleteResult deleteCanDb(AppContext &context, const QString &name)
{
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase \"") + name + QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base...")))
        return DeleteResult::Cancelled;
    const bool deleted = context.db->execute(QString::fromLatin1(sql::deleteCanByName), {name});
    context.params->setParam(QStringLiteral("id_CAN"), QStringLiteral("0"));
    return deleted ? DeleteResult::Deleted : DeleteResult::Failed;
}

DeleteResult deleteDevice(AppContext &context, CanDbModel &model, const QString &key)
{
    const int deviceId = deviceKeyId(key);
    const CanDevice *device = model.device(deviceId);
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase Device \"") + (device ? device->name : QString()) +
                       QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base Device...")))
        return DeleteResult::Cancelled;
    if (!context.db->execute(QString::fromLatin1(sql::deleteDevice), {device ? deviceId : -1}))
        return DeleteResult::Failed;
    if (MonitorRows *rows = model.monitorRows(); rows && device) {
        const QStringList identifiers = device->identifiers;
        for (const QString &identifier : identifiers)
            rows->deleteCANID(idKeyNumber(identifier));
    }
    model.forgetDevice(deviceId);
    // The root's box follows the devices that are left.
    model.rebuildID();
    return DeleteResult::Deleted;
}

DeleteResult deleteID(AppContext &context, CanDbModel &model, const QString &key)
{
    const CanIdentifier *found = model.identifier(key);
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase ID \"") + (found ? found->caption() : QString()) +
                       QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base ID...")))
        return DeleteResult::Cancelled;
    if (!context.db->execute(QString::fromLatin1(sql::deleteId), {found ? found->idCanId : -1}))
        return DeleteResult::Failed;
    MonitorRows *rows = model.monitorRows();
    const bool kept = rows && rows->deleteCANID(idKeyNumber(key));
    model.forgetIdentifier(key);
    // The device's box follows the identifiers that are left.
    model.rebuildID();
    return kept ? DeleteResult::DeletedRowKept : DeleteResult::Deleted;
}
