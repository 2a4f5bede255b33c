#include "core/queries.h"

#include "core/params.h"

QString displayText(const QVariant &value)
{
    // Speeds and timer rates are stored as numbers; 500000 must not read "5e+05".
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

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
        list.items << displayText(q->value(0));
        list.ids << q->value(1).toInt();
        if (q->value(keyColumn).toString() == selectValue.toString())
            list.selected = int(list.items.size()) - 1;
    }
    return true;
}

bool selectReferenceRow(Database &db, const char *valueStatement, int id, ComboList &list)
{
    qsizetype at = list.ids.indexOf(id);
    if (at < 0) {
        const QVariant value = queryValue(db, valueStatement, {id}, QVariant());
        if (!value.isNull())
            at = list.items.indexOf(displayText(value));
    }
    if (at < 0)
        return false;
    list.selected = int(at);
    return true;
}

int nextId(Database &db, ParamStore &params, const sql::IdCounter &counter)
{
    const QString name = QString::fromLatin1(counter.name);
    int id = params.nextCounter(name).toInt();
    if (queryNumber(db, counter.idTaken, {id}) > 0) {
        const int highest = queryNumber(db, counter.highestId, {});
        // Past the highest id only while that stays below the wrap of the counter.
        if (highest >= id && highest < 2147483646) {
            id = highest + 1;
            params.setParam(name, qint64(id) + 1);
        }
    }
    return id;
}
