// The database file made read-only, removed, renamed or full under an open
// connection: every write reports failure, nothing crashes, what was stored
// stays and passes the integrity check. The tests run as root, so read-only
// comes from the open flag and PRAGMA query_only, a full disk from
// PRAGMA max_page_count (SQLITE_FULL where a full disk would give it).
#include "support/testregistry.h"
#include "core/queries.h"
#include "core/database.h"
#include "core/params.h"
#include "support/seeddatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Fault { QueryOnly, OpenedReadOnly, Removed, Renamed };
enum class Ending { Committed, LeftUncommitted, InnerLeftUncommitted };

// Every row of every table, in a stable order: what "intact" is compared with.
QStringList dump(Database &db)
{
    QStringList rows;
    for (const QString &table : Database::requiredTables()) {
        auto q = db.openRecordset(QStringLiteral("select * from %1 order by rowid").arg(table));
        if (!q)
            rows << table + QStringLiteral(": unreadable");
        while (q && q->next()) {
            QStringList cells;
            for (int c = 0; c < q->record().count(); ++c)
                cells << q->value(c).toString();
            rows << table + QStringLiteral(": ") + cells.join(QLatin1Char('|'));
        }
    }
    return rows;
}

int number(Database &db, const char *select, const QVariantList &binds = {})
{
    return queryNumber(db, select, binds);
}

// One write of each kind the program makes, with the statement the feature uses.
struct Write
{
    const char *statement;
    QVariantList binds;
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Write)
Q_DECLARE_METATYPE(Ending)

class tst_DbFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString fixture;
    QString path;
    Database db;
    QStringList stored;

    void applyFault(Fault fault)
    {
        switch (fault) {
        case Fault::QueryOnly:
            QVERIFY(db.execute("PRAGMA query_only = ON"));
            break;
        case Fault::OpenedReadOnly:
            QVERIFY(db.open(path, nullptr, true));
            break;
        case Fault::Removed:
            QVERIFY(QFile::remove(path));
            break;
        case Fault::Renamed:
            QVERIFY(QFile::rename(path, path + ".moved"));
            break;
        }
    }

    void expectIntact()
    {
        QCOMPARE(dump(db), stored);
        expectSound();
    }
    void expectSound()
    {
        QCOMPARE(queryValue(db, "PRAGMA integrity_check", {}, QStringLiteral("no answer")).toString(), "ok");
    }
    void setPageLimit(int pages) { QVERIFY(db.execute(QStringLiteral("PRAGMA max_page_count = %1").arg(pages))); }

private slots:
    // A small CAN data base and a few settings, written once and copied for every test.
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        fixture = QDir(dir.path()).filePath("fixture.mdb");
        SeedDatabase setup;
        for (const Write &w :
             {Write{sql::insertCan, {1, "Bench", 1, 2, 1}}, Write{sql::insertDevice, {1, 1, "Engine"}},
              Write{sql::insertId, {1, 1, 0x123, "Speed", 1}}, Write{sql::insertData, {1, 1, "rpm", 0, 16}}})
            QVERIFY(setup.db.execute(w.statement, w.binds));
        setup.params.setParam("COMPort", "3");
        setup.params.setParam("CAN_ID", "2");
        setup.db.close();
        QVERIFY(QFile::copy(setup.dir.filePath("Tessel.mdb"), fixture));
    }

    void init()
    {
        path = QDir(dir.path()).filePath("Tessel.mdb");
        QFile::remove(path);
        QFile::remove(path + ".moved");
        QVERIFY(QFile::copy(fixture, path));
        QVERIFY(db.open(path));
        stored = dump(db);
        QVERIFY(stored.contains("Params: COMPort|3") && stored.contains("CAN_Data: 1|1|rpm|0|16|0|0|1|0|0|0|||0|-1"));
    }

    void cleanup() { db.close(); }

    void everyWriteFails_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Write>("write");
        const QList<QPair<const char *, Fault>> faults{{"query only", Fault::QueryOnly},
                                                       {"opened read-only", Fault::OpenedReadOnly},
                                                       {"file removed", Fault::Removed},
                                                       {"file renamed", Fault::Renamed}};
        const QList<QPair<const char *, Write>> writes{
            {"setting saved", {sql::saveParam, {"COMPort", "5"}}},
            {"new setting", {sql::saveParam, {"outDelimiter", ","}}},
            {"new data base", {sql::insertCan, {2, "Second", 0, 2, 1}}},
            {"data base renamed", {sql::updateCanName, {"Renamed", 1}}},
            {"new device", {sql::insertDevice, {2, 1, "Gearbox"}}},
            {"identifier check box", {sql::updateIdEnable, {0, 1}}},
            {"identifier renamed", {sql::updateIdName, {"Revs", 1}}},
            {"new data field", {sql::insertData, {2, 1, "torque", 16, 8}}},
            {"data fields deleted", {sql::deleteData, {1}}},
            {"data base deleted with what lies below", {sql::deleteCanByName, {"Bench"}}},
        };
        for (const auto &[faultName, fault] : faults)
            for (const auto &[writeName, write] : writes)
                QTest::addRow("%s: %s", faultName, writeName) << fault << write;
    }
    void everyWriteFails()
    {
        QFETCH(Fault, fault);
        QFETCH(Write, write);
        applyFault(fault);
        QVERIFY2(!db.execute(write.statement, write.binds), "a write that cannot be stored is reported as a failure");
        // Reads go on working through the open connection, and nothing changed.
        expectIntact();
        QCOMPARE(number(db, sql::selectCanByName, {"Bench"}), 1);
    }

    void settingsSurviveAFault_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("query only") << Fault::QueryOnly;
        QTest::newRow("opened read-only") << Fault::OpenedReadOnly;
        QTest::newRow("file renamed") << Fault::Renamed;
    }

    // The settings store keeps the program going on its cache, tells a failed
    // write, and leaves the table as it was for the next start.
    void settingsSurviveAFault()
    {
        QFETCH(Fault, fault);
        applyFault(fault);
        ParamStore params(db);
        params.loadParams();
        QCOMPARE(params.getParam("COMPort", "0"), "3");
        QVERIFY(!params.saveParam({"COMPort", "7"}));
        QCOMPARE(params.setParam("COMPort", "7"), "7");
        QCOMPARE(params.getParam("COMPort", "0"), "7");
        QCOMPARE(params.getParam("COMSpeed", "921600"), "921600");
        QCOMPARE(params.nextCounter("CAN_ID"), "2");
        QCOMPARE(params.nextCounter("counter_id_CAN"), "1"); // a counter not in the file counts on in the cache
        QCOMPARE(params.nextCounter("counter_id_CAN"), "2");
        QVERIFY(db.open(fault == Fault::Renamed ? path + ".moved" : path));
        expectIntact();
        ParamStore reread(db);
        reread.loadParams();
        QCOMPARE(reread.getParam("COMPort", "0"), "3");
        QVERIFY(!reread.contains("COMSpeed"));
        QCOMPARE(reread.nextCounter("CAN_ID"), "2");
    }

    void removedFileIsNotReopened()
    {
        applyFault(Fault::Removed);
        // What the connection still holds is readable until it is closed.
        QVERIFY(queryValue(db, sql::selectParam, {"COMPort"}, {}).isValid());
        ComboList bases;
        QVERIFY(loadCombo(db, sql::selectCanList, {}, bases, 1, 1));
        QCOMPARE(bases.items, QStringList{"Bench"});
        QString why;
        QVERIFY(!db.open(path, &why));
        QVERIFY2(why.contains("does not exist"), qPrintable(why));
        QVERIFY(!db.isOpen());
        QVERIFY(!db.execute(sql::saveParam, {"COMPort", "5"}));
        QVERIFY(!db.openRecordset(sql::selectParams));
        QVERIFY2(!QFile::exists(path), "a failed open creates no empty file");
    }

    void renamedFileReopensIntact()
    {
        applyFault(Fault::Renamed);
        QVERIFY(!db.execute(sql::insertDevice, {2, 1, "Gearbox"}));
        QVERIFY(!db.open(path));
        QVERIFY(db.open(path + ".moved"));
        expectIntact();
        QVERIFY2(db.execute(sql::insertDevice, {2, 1, "Gearbox"}), "writes work again on the file's new name");
    }

    // A full disk: the writes that need room fail with the reason kept and
    // leave the tables as they were; once there is room again everything works.
    void diskFull()
    {
        const int pages = number(db, "PRAGMA page_count");
        QVERIFY(pages > 0);
        setPageLimit(pages);
        const QString big(4 * 4096, QLatin1Char('n'));
        for (const Write &w : {Write{sql::insertCan, {2, big, 0, 2, 1}}, Write{sql::insertDevice, {2, 1, big}},
                               Write{sql::saveParam, {"LongSetting", big}}, Write{sql::updateCanName, {big, 1}}}) {
            QVERIFY(!db.execute(w.statement, w.binds));
            QVERIFY2(db.lastError().contains(QStringLiteral("full")), qPrintable(db.lastError()));
        }
        QVERIFY(!ParamStore(db).saveParam({"LongSetting", big}));
        expectIntact();
        setPageLimit(pages * 10);
        QVERIFY(db.execute(sql::insertDevice, {2, 1, big}));
        QCOMPARE(number(db, "select count(*) from CAN_Device"), 2);
        expectSound();
    }

    // Filling the file until it is full: every write that reported success is in
    // the table, every one that reported failure is not, also for small rows that
    // may still fit into a page's free room.
    void diskFullReportsOnlyWhatWasStored()
    {
        setPageLimit(number(db, "PRAGMA page_count") + 3);
        QList<int> accepted;
        QList<int> refused;
        int id = 100;
        for (const int size : {3000, 700, 100, 10}) {
            bool ok = true;
            for (int tries = 0; ok && tries < 1000; ++tries) {
                ok = db.execute(sql::insertData, {id, 1, QString(size, QLatin1Char('f')), 0, 8});
                (ok ? accepted : refused) << id++;
            }
        }
        QVERIFY2(refused.size() == 4, "each size ran into the full file");
        QVERIFY(!accepted.isEmpty());
        const char *countRow = "select count(*) from CAN_Data where id_CAN_Data=?";
        for (int a : accepted)
            QCOMPARE(queryNumber(db, countRow, {a}), 1);
        for (int r : refused)
            QCOMPARE(queryNumber(db, countRow, {r}), 0);
        // A setting that changes size may or may not fit; what is reported is what is stored.
        const bool saved = db.execute(sql::saveParam, {"COMPort", QString(500, QLatin1Char('9'))});
        QCOMPARE(queryValue(db, sql::selectParam, {"COMPort"}, {}).toString() != "3", saved);
        const QStringList now = dump(db);
        for (const QString &row : stored)
            QVERIFY2(row.startsWith("Params: COMPort|") || now.contains(row), qPrintable(row));
        db.close();
        QVERIFY(db.open(path));
        expectSound();
        QCOMPARE(number(db, "select count(*) from CAN_Data"), accepted.size() + 1);
    }

    void transactionsAreAllOrNothing_data()
    {
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QString>("devices");
        QTest::addColumn<bool>("committed");
        QTest::newRow("commit stores every statement") << Ending::Committed << "2,3" << true;
        QTest::newRow("scope left without commit undoes every statement") << Ending::LeftUncommitted << "" << false;
        QTest::newRow("nested one left without commit undoes only its own")
            << Ending::InnerLeftUncommitted << "2" << true;
    }

    // Two devices are added, the second inside a nested transaction.
    void transactionsAreAllOrNothing()
    {
        QFETCH(Ending, ending);
        QFETCH(QString, devices);
        bool committed = false;
        {
            Database::Transaction outer(db);
            QVERIFY(outer.isActive());
            db.execute(sql::insertDevice, {2, 1, "Gearbox"});
            {
                Database::Transaction inner(db);
                QVERIFY(inner.isActive());
                db.execute(sql::insertDevice, {3, 1, "Brakes"});
                if (ending != Ending::InnerLeftUncommitted)
                    QVERIFY(inner.commit());
            }
            if (ending != Ending::LeftUncommitted)
                committed = outer.commit();
        }
        QTEST(committed, "committed");
        QTEST(queryValue(db, "select group_concat(id_CAN_Device) from CAN_Device where id_CAN_Device>1", {}, "")
                  .toString(),
              "devices");
        // The connection is back to writing each statement at once.
        QVERIFY(db.execute(sql::updateCanName, {"After", 1}));
        db.close();
        QVERIFY(db.open(path));
        QCOMPARE(number(db, "select count(*) from CAN_Device"), devices.isEmpty() ? 1 : int(devices.count(',')) + 2);
    }
};

TESSEL_TEST(tst_DbFaults)
#include "tst_dbfaults.moc"
