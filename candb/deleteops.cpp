#include "candb/deleteops.h"

#include "candb/candbtree.h"
#include "core/dbindex.h"
#include "core/queries.h"
#include "core/values.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"

namespace {

bool confirmed(Prompts &prompts, const QString &text, const QString &title)
{
    return prompts.message(text, title, Prompts::Icon::None, Prompts::Buttons::OkCancel) == Prompts::Answer::Ok;
}

} // namespace

bool deleteCanDb(AppContext &context, const QString &name)
{
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase \"") + name + QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base...")))
        return false;
    const bool deleted = context.db->execute(QString::fromLatin1(sql::deleteCanByName), {name});
    context.params->setParam(QStringLiteral("id_CAN"), QStringLiteral("0"));
    return deleted;
}

bool deleteDevice(AppContext &context, CanDbTree &tree, const QString &key)
{
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase Device \"") + tree.nodeText(key) +
                       QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base Device...")))
        return false;
    if (!context.db->execute(QString::fromLatin1(sql::deleteDevice), {tree.nodeTag(key)}))
        return false;
    if (MonitorRows *rows = tree.monitorRows()) {
        const QStringList identifiers = tree.childKeys(key);
        for (const QString &identifier : identifiers)
            rows->deleteCANID(idKeyNumber(identifier));
    }
    tree.removeNode(key);
    // The root's box follows the devices that are left.
    tree.rebuildID();
    return true;
}

bool deleteID(AppContext &context, CanDbTree &tree, const QString &key)
{
    if (!confirmed(*context.prompts,
                   QStringLiteral("Deleting CAN DataBase ID \"") + tree.nodeText(key) +
                       QStringLiteral("\". Are you sure?"),
                   QStringLiteral("Deleting CAN Data Base ID...")))
        return false;
    if (!context.db->execute(QString::fromLatin1(sql::deleteId), {tree.nodeTag(key)}))
        return false;
    MonitorRows *rows = tree.monitorRows();
    const bool kept = rows && rows->deleteCANID(idKeyNumber(key));
    tree.removeNode(key);
    // The device's box follows the identifiers that are left.
    tree.rebuildID();
    return kept;
}
