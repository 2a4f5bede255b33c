#include "candb/queries.h"

int queryNumber(Database &db, const char *statement, const QVariantList &binds, int column)
{
    auto q = db.openRecordset(QString::fromLatin1(statement), binds);
    if (!q || !q->next())
        return -1;
    return q->value(column).toInt();
}

QVariant queryValue(Database &db, const char *statement, const QVariantList &binds, const QVariant &fallback)
{
    auto q = db.openRecordset(QString::fromLatin1(statement), binds);
    if (!q || !q->next())
        return fallback;
    return q->value(0);
}

bool loadCombo(Database &db, const char *statement, const QVariantList &binds, ComboList &list, int keyColumn,
               const QVariant &selectValue)
{
    auto q = db.openRecordset(QString::fromLatin1(statement), binds);
    if (!q)
        return false;
    list.ids = QList<int>(list.items.size(), 0);
    while (q->next()) {
        if (q->value(0).isNull())
            continue;
        list.items << q->value(0).toString();
        list.ids << q->value(1).toInt();
        if (q->value(keyColumn).toString() == selectValue.toString())
            list.selected = int(list.items.size()) - 1;
    }
    return true;
}
