#include "core/params.h"

#include "core/queries.h"
#include "core/database.h"

void ParamStore::loadParams()
{
    params.clear();
    auto q = db.openRecordset(QString::fromLatin1(sql::selectParams));
    if (!q)
        return;
    while (q->next()) {
        clsParam p{q->value(QStringLiteral("Name")).toString(), q->value(QStringLiteral("Value")).toString()};
        params.insert(p.Name.toLower(), p);
    }
}

QString ParamStore::getParam(const QString &name, const QString &fallback)
{
    const auto it = params.constFind(name.toLower());
    if (it != params.constEnd())
        return it->Value;
    return setParam(name, fallback);
}

int ParamStore::getInt(const QString &name, int fallback)
{
    return getParam(name, QString::number(fallback)).trimmed().toInt();
}

QString ParamStore::setParam(const QString &name, const QString &value)
{
    const clsParam p{name, value};
    params.insert(name.toLower(), p);
    saveParam(p);
    return value;
}

bool ParamStore::saveParam(const clsParam &param)
{
    return db.execute(QString::fromLatin1(sql::saveParam), {param.Name, param.Value});
}

QString ParamStore::nextCounter(const QString &name)
{
    // The table's value wins over the cache: another program on the same file
    // may have handed out ids since the settings were loaded.
    const QVariant stored = queryValue(db, sql::selectParamValue, {name}, QVariant());
    if (stored.isValid() && !stored.isNull())
        params.insert(name.toLower(), clsParam{name, stored.toString()});
    // A value that is not a number counts as 0, so ids stay numbers.
    int n = getParam(name, QStringLiteral("1")).trimmed().toInt();
    if (n == 2147483647)
        n = 0;
    setParam(name, QString::number(qint64(n) + 1));
    return QString::number(n);
}
