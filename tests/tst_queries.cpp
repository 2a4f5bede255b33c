// The seed database, the named statements and the shared query functions.
#include "candb/queries.h"
#include "link/database.h"
#include "link/params.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Queries : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        path = QDir(dir.path()).filePath("Tessel.mdb");
        QFile::remove(path);
        QVERIFY(QFile::copy(QStringLiteral(TESSEL_SEED_DB), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(db.open(path));
    }
    void cleanup() { db.close(); }

    // Every speed row's registers give its speed with a 16 MHz clock, and every
    // timer row's divisor its tick rate, so a connection test finds them equal.
    void referenceRowsMatchA16MHzAnalyser()
    {
        auto speeds = db.openRecordset("select Speed,valueCANBT1,valueCANBT2,valueCANBT3 from CAN_Speed");
        QVERIFY(speeds);
        int rows = 0;
        while (speeds->next()) {
            ++rows;
            const int brp = speeds->value(1).toInt() / 2;
            const int bt2 = speeds->value(2).toInt();
            const int bt3 = speeds->value(3).toInt();
            const int quanta = 1 + ((bt2 / 2) % 8 + 1) + ((bt3 / 2) % 8 + 1) + ((bt3 / 16) % 8 + 1);
            QCOMPARE(16000000.0 / ((brp + 1) * quanta), speeds->value(0).toDouble());
        }
        QCOMPARE(rows, 11);
        auto timers = db.openRecordset("select Timer,Divizor from CAN_Timer");
        QVERIFY(timers);
        rows = 0;
        while (timers->next()) {
            ++rows;
            QCOMPARE(16000000.0 / ((timers->value(1).toInt() + 1) * 8), timers->value(0).toDouble());
        }
        QCOMPARE(rows, 8);
    }

    void hiddenRowsAreFoundByIdButNotListed()
    {
        ComboList speeds;
        speeds.items << "";
        QVERIFY(loadCombo(db, sql::selectSpeedList, {}, speeds, 1, 2));
        QCOMPARE(speeds.items.size(), 11);
        QCOMPARE(speeds.ids.value(0), 0);
        QVERIFY(!speeds.ids.mid(1).contains(0));
        QCOMPARE(speeds.ids.value(speeds.selected), 2);
        QCOMPARE(speeds.items.value(speeds.selected), QStringLiteral("500000"));
        QCOMPARE(queryValue(db, sql::selectSpeed, {0}, -1).toDouble(), 500000.0);
        QCOMPARE(queryValue(db, sql::selectTimer, {0}, -1).toDouble(), 1000000.0);

        ComboList timers;
        QVERIFY(loadCombo(db, sql::selectTimerList, {}, timers, 1, 99));
        QCOMPARE(timers.items.size(), 7);
        QCOMPARE(timers.selected, -1);
    }

    void queriesWithoutRowsGiveTheirDefaults()
    {
        QCOMPARE(queryValue(db, sql::selectCanSpeedId, {7}, "2").toString(), QStringLiteral("2"));
        QCOMPARE(queryNumber(db, sql::selectCanByName, {"none"}, 0), -1);
        QCOMPARE(queryValue(db, "select nonsense from nowhere", {}, "dflt").toString(), QStringLiteral("dflt"));
        ComboList list;
        list.items << "";
        QVERIFY(!loadCombo(db, "select broken from", {}, list, 1, 0));
        QCOMPARE(list.items, QStringList{""});
    }

    void namesWithQuotesAreStoredAsTyped()
    {
        QVERIFY(db.execute(sql::insertCan, {1, "Bob's bus", 1, 2, 1}));
        QVERIFY(db.execute(sql::insertDevice, {1, 1, "O'Brien ECU"}));
        QCOMPARE(queryNumber(db, sql::selectCanByName, {"Bob's bus"}, 0), 1);
        QCOMPARE(queryNumber(db, sql::selectDeviceByName, {1, "O'Brien ECU"}, 0), 1);
        ComboList list;
        QVERIFY(loadCombo(db, sql::selectCanList, {}, list, 1, 1));
        QCOMPARE(list.items, QStringList{"Bob's bus"});
        QCOMPARE(list.selected, 0);
    }

    void deletingADataBaseRemovesEverythingBelowIt()
    {
        QVERIFY(db.execute(sql::insertCan, {1, "Bus", 1, 2, 1}));
        QVERIFY(db.execute(sql::insertCan, {2, "Other", 3, 2, 1}));
        QVERIFY(db.execute(sql::insertDevice, {1, 1, "Engine"}));
        QVERIFY(db.execute(sql::insertDevice, {2, 1, "Brakes"}));
        QVERIFY(db.execute(sql::insertDevice, {3, 2, "Kept"}));
        QVERIFY(db.execute(sql::insertId, {1, 1, 0x123, "Speed", 1}));
        QVERIFY(db.execute(sql::insertId, {2, 2, 0x2048C567, "Pressure", 0}));
        QVERIFY(db.execute(sql::insertId, {3, 3, 0x7FF, "Kept", 1}));
        QVERIFY(db.execute(sql::insertData, {1, 1, "rpm", 8, 8}));
        QVERIFY(db.execute(sql::insertData, {2, 3, "kept", 0, 1}));

        QVERIFY(db.execute(sql::deleteId, {2}));
        QCOMPARE(queryNumber(db, "select count(*) from CAN_ID", {}, 0), 2);
        QVERIFY(db.execute(sql::deleteCanByName, {"Bus"}));
        QCOMPARE(queryNumber(db, "select count(*) from CAN_Device", {}, 0), 1);
        QCOMPARE(queryNumber(db, "select count(*) from CAN_ID", {}, 0), 1);
        QCOMPARE(queryNumber(db, "select count(*) from CAN_Data", {}, 0), 1);
        QCOMPARE(queryValue(db, sql::selectData, {3}, {}).toInt(), 2);
    }

    void firstDataBaseOfAnEmptyFileGetsIdOne()
    {
        ParamStore params(db);
        const int can = params.nextCounter("counter_id_CAN").toInt();
        const int dev = params.nextCounter("counter_id_CAN_Device").toInt();
        QVERIFY(db.execute(sql::insertCan, {can, "First", dev, 2, 1}));
        QVERIFY(db.execute(sql::insertDevice, {dev, can, "Unsorted IDs"}));
        QCOMPARE(can, 1);
        QCOMPARE(dev, 1);
        QCOMPARE(params.getParam("counter_id_CAN", ""), QStringLiteral("2"));
        QCOMPARE(params.getParam("counter_id_CAN_Device", ""), QStringLiteral("2"));
        QCOMPARE(queryValue(db, sql::selectCanDeviceId, {1}, 0).toInt(), 1);
    }

private:
    QTemporaryDir dir;
    QString path;
    Database db;
};

QTEST_GUILESS_MAIN(tst_Queries)
#include "tst_queries.moc"
