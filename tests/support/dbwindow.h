#pragma once

#include "support/fakemonitorrows.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "candb/ui/dbtree.h"
#include "views/ui/frmmain.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The main window with its data base panel, its CAN menu items and the
// capture item, found by object name.
struct DbWindow
{
    std::unique_ptr<frmMain> main;
    DbTree *dbTree = main->findChild<DbTree *>(QStringLiteral("dbTree"));
    QTreeWidget *tvDB_IDs = main->findChild<QTreeWidget *>(QStringLiteral("tvDB_IDs"));
    QComboBox *cmbDB_Name = main->findChild<QComboBox *>(QStringLiteral("cmbDB_Name"));
    QPushButton *cmdDB_Property = main->findChild<QPushButton *>(QStringLiteral("cmdDB_Property"));
    QMenu *mnuCAN_DB = main->findChild<QMenu *>(QStringLiteral("mnuCAN_DB"));
    QAction *mnuCAN_Bar1 = action("mnuCAN_Bar1");
    QAction *mnuCAN_DB_Expand = action("mnuCAN_DB_Expand");
    QAction *mnuCAN_DB_Collapse = action("mnuCAN_DB_Collapse");
    QAction *mnuCAN_Devices_Edit = action("mnuCAN_Devices_Edit");
    QAction *mnuCAN_Devices_Delete = action("mnuCAN_Devices_Delete");
    QAction *mnuCAN_Devices_Expand = action("mnuCAN_Devices_Expand");
    QAction *mnuCAN_Devices_Collapse = action("mnuCAN_Devices_Collapse");
    QAction *mnuCAN_IDs_Edit = action("mnuCAN_IDs_Edit");
    QAction *mnuCAN_IDs_Delete = action("mnuCAN_IDs_Delete");
    QAction *mnuRunCANCapture = action("mnuRunCANCapture");

    QAction *action(const char *name) const { return main->findChild<QAction *>(QLatin1String(name)); }
};

// The main window on a scratch copy of the seed database holding a test's own
// rows, its data base tree attached to a fake monitor list. A test class
// derives from it and calls freshDatabase() in init() and closeAll() in cleanup().
class DbWindowHarness
{
protected:
    std::unique_ptr<SeedDatabase> seed;
    Database *db = nullptr;
    ParamStore *params = nullptr;
    FakePrompts prompts;
    FakeMonitorRows monitor;
    AppContext context;
    std::unique_ptr<DbWindow> window;
    bool readsMonitorRows = false; // the tree asks the fake list for a row's box

    void freshDatabase(std::initializer_list<const char *> rows)
    {
        window.reset();
        seed = std::make_unique<SeedDatabase>();
        db = &seed->db;
        params = &seed->params;
        db->execute(QStringLiteral("PRAGMA synchronous = OFF")); // a scratch file: no need to wait for the disk
        for (const char *statement : rows)
            exec(QString::fromLatin1(statement));
        context = AppContext{db, params, &prompts, {}};
        prompts.shown.clear();
        prompts.answers.clear();
        monitor.rows.clear();
        monitor.calls.clear();
    }
    void closeAll()
    {
        window.reset();
        seed.reset();
    }

    // The window on data base `id`.
    void open(int id)
    {
        params->setParam(QStringLiteral("id_CAN"), id);
        window = std::make_unique<DbWindow>(
            DbWindow{std::make_unique<frmMain>(context, makeLinkPort)});
        window->dbTree->setMonitorRows(&monitor);
        if (readsMonitorRows)
            window->dbTree->setMonitorRowReader([this](const QString &key, bool *ticked) {
                if (!monitor.rows.contains(key))
                    return false;
                *ticked = monitor.rows[key].checked;
                return true;
            });
        window->dbTree->loadCanDb(true, true);
        monitor.calls.clear();
        prompts.shown.clear();
    }

    QVariant value(const QString &select, const QVariantList &binds = {}) const
    {
        auto q = db->openRecordset(select, binds);
        return q && q->next() ? q->value(0) : QVariant();
    }
    int count(const QString &table) const { return value(QStringLiteral("select count(*) from ") + table).toInt(); }
    void exec(const QString &statement) { QVERIFY2(db->execute(statement), qPrintable(statement)); }
};
