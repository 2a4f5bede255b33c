#pragma once

#include "core/dbindex.h"
#include "core/values.h"

#include <QMap>
#include <QStringList>

// A monitor list of rows keyed by identifier key, following the rules the
// data base relies on: an unticked row without frames goes, a deleted identifier
// with frames stays unchecked with the "_new" icon.
class FakeMonitorRows final : public MonitorRows
{
  public:
    struct Row
    {
        int count = 0;
        bool checked = true;
        QString icon;
    };

    QMap<QString, Row> rows;
    QStringList calls; // "sync ID_...", "reset", "delete ID_..."

    void addRow(const QString &key, int count, bool checked, const QString &icon)
    {
        rows.insert(key, {count, checked, icon});
    }

    bool syncIDRow(const QString &key, const QString &suffix, bool ticked) override
    {
        calls << QStringLiteral("sync ") + key + (ticked ? QStringLiteral(" 1") : QStringLiteral(" 0"));
        auto it = rows.find(key);
        if (it == rows.end())
            return false;
        if (!ticked && it->count == 0) {
            rows.erase(it);
            return false;
        }
        it->icon = key + suffix;
        if (it->checked == ticked)
            return false;
        it->checked = ticked;
        return true;
    }

    void resetIDRows() override
    {
        calls << QStringLiteral("reset");
        for (auto it = rows.begin(); it != rows.end();) {
            if (it->count != 0) {
                it->icon = it.key() + QStringLiteral("_new");
                ++it;
            } else {
                it = rows.erase(it);
            }
        }
    }

    bool rowChecked(const QString &key, bool *ticked) const override
    {
        const auto it = rows.constFind(key);
        if (it == rows.cend())
            return false;
        *ticked = it->checked;
        return true;
    }

    bool deleteCANID(qint32 keyNumber) override
    {
        const QString key = idKey(keyNumber);
        calls << QStringLiteral("delete ") + key;
        auto it = rows.find(key);
        if (it == rows.end())
            return false;
        if (it->count == 0) {
            rows.erase(it);
            return false;
        }
        it->checked = false;
        it->icon = key + QStringLiteral("_new");
        return true;
    }
};
