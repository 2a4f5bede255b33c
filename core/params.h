#pragma once

#include <QHash>
#include <QString>

class Database;

// One setting: name and value, both text.
struct clsParam
{
    QString Name;
    QString Value;
};

// The settings table "Params" with its cache. Names are compared without
// regard to case; every change is written to the table at once.
class ParamStore final
{
public:
    explicit ParamStore(Database &db)
        : db(db)
    {
    }

    // Reads the whole table into the cache.
    void loadParams();

    // The cached value; a missing setting is created with the default.
    QString getParam(const QString &name, const QString &fallback);
    // getParam read as a 32-bit integer (0 when the text is not a number).
    int getInt(const QString &name, int fallback);

    // Replaces the cached value and writes it; returns the value.
    QString setParam(const QString &name, const QString &value);
    QString setParam(const QString &name, qint64 value) { return setParam(name, QString::number(value)); }

    // Writes one setting to the table; false when the write failed (the
    // cache still holds the value for the rest of the run).
    bool saveParam(const clsParam &param);

    // Hands out the next row id of the counter `name` (the value before the
    // increment). A counter at 2147483647 wraps to 0; a missing one starts at 1.
    // The counter is read from the table, not the cache; run it inside the
    // transaction of the insert so that no other program takes the same id.
    QString nextCounter(const QString &name);

    [[nodiscard]] bool contains(const QString &name) const { return params.contains(name.toLower()); }

private:
    Database &db;
    QHash<QString, clsParam> params;
};
