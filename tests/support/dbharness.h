#pragma once

#include "candb/candbmodel.h"
#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "support/fakemonitorrows.h"
#include "support/fakeprompts.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A scratch copy of the seed database holding a test's own rows, and the CAN
// database model on it attached to a fake monitor list. A test class derives
// from it and calls freshDatabase() in init() and closeAll() in cleanup().
class DbHarness
{
protected:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Database> db;
    std::unique_ptr<ParamStore> params;
    FakePrompts prompts;
    FakeMonitorRows monitor;
    AppContext context;
    std::unique_ptr<CanDbModel> ownModel;
    CanDbModel *model = nullptr;

    void freshDatabase(std::initializer_list<const char *> rows)
    {
        closeAll();
        dir = std::make_unique<QTemporaryDir>();
        const QString path = dir->filePath(QStringLiteral("Tessel.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(TESSEL_SEED_DB), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        db = std::make_unique<Database>();
        QVERIFY(db->open(path));
        db->execute(QStringLiteral("PRAGMA synchronous = OFF")); // a scratch file: no need to wait for the disk
        for (const char *statement : rows)
            exec(QString::fromLatin1(statement));
        params = std::make_unique<ParamStore>(*db);
        params->loadParams();
        context = AppContext{db.get(), params.get(), &prompts, {}};
        prompts.shown.clear();
        prompts.answers.clear();
        monitor.rows.clear();
        monitor.calls.clear();
    }
    void closeAll()
    {
        model = nullptr;
        ownModel.reset();
        params.reset();
        db.reset();
        dir.reset();
    }

    // Data base `id` loaded into `use`, or into a model of the harness's own.
    void open(int id, CanDbModel *use = nullptr)
    {
        params->setParam(QStringLiteral("id_CAN"), id);
        if (!use) {
            ownModel = std::make_unique<CanDbModel>(context);
            use = ownModel.get();
        }
        model = use;
        model->setMonitorRows(&monitor);
        model->load(true, true);
        monitor.calls.clear();
        prompts.shown.clear();
    }

    QVariant value(const QString &select, const QVariantList &binds = {}) const
    {
        auto q = db->openRecordset(select, binds);
        return q && q->next() ? q->value(0) : QVariant();
    }
    int count(const QString &table) const { return value(QStringLiteral("select count(*) from ") + table).toInt(); }
    int enableOf(int idCanId) const
    {
        const QVariant enable = value(QStringLiteral("select Enable from CAN_ID where id_CAN_ID=?"), {idCanId});
        return enable.isValid() ? enable.toInt() : -1;
    }
    void exec(const QString &statement) { QVERIFY2(db->execute(statement), qPrintable(statement)); }

    // Every row of the four tables of the user's data, to compare before and after.
    QStringList everything() const
    {
        QStringList rows;
        for (const char *select :
             {"select * from CAN", "select * from CAN_Device", "select * from CAN_ID", "select * from CAN_Data",
              "select * from CAN_Value"}) {
            auto q = db->openRecordset(QString::fromLatin1(select) + QStringLiteral(" order by 1"));
            while (q && q->next()) {
                QStringList fields;
                for (int i = 0; i < q->record().count(); ++i)
                    fields << q->value(i).toString();
                rows << fields.join(QLatin1Char('|'));
            }
        }
        return rows;
    }
};
