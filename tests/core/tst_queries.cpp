// The seed database, the named statements and the shared query functions.
#include "core/queries.h"
#include "support/seeddatabase.h"
#include "support/testregistry.h"

#include <QtTest>

#include <memory>

class tst_Queries : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;

    int count(const char *table) { return queryNumber(seed->db, QByteArray("select count(*) from ") + table, {}, 0); }

private slots:
    void init() { seed = std::make_unique<SeedDatabase>(); }
    void cleanup() { seed.reset(); }

    // Every speed row's registers give its speed with a 16 MHz clock, and every
    // timer row's divisor its tick rate, so a connection test finds them equal.
    void referenceRowsMatchA16MHzAnalyser()
    {
        auto speeds = seed->db.openRecordset("select Speed,valueCANBT1,valueCANBT2,valueCANBT3 from CAN_Speed");
        int rows = 0;
        while (speeds && speeds->next()) {
            ++rows;
            const int brp = speeds->value(1).toInt() / 2;
            const int bt2 = speeds->value(2).toInt();
            const int bt3 = speeds->value(3).toInt();
            const int quanta = 1 + ((bt2 / 2) % 8 + 1) + ((bt3 / 2) % 8 + 1) + ((bt3 / 16) % 8 + 1);
            QCOMPARE(16000000.0 / ((brp + 1) * quanta), speeds->value(0).toDouble());
        }
        QCOMPARE(rows, 11);
        auto timers = seed->db.openRecordset("select Timer,Divizor from CAN_Timer");
        for (rows = 0; timers && timers->next(); ++rows)
            QCOMPARE(16000000.0 / ((timers->value(1).toInt() + 1) * 8), timers->value(0).toDouble());
        QCOMPARE(rows, 8);
    }

    void hiddenRowsAreFoundByIdButNotListed()
    {
        ComboList speeds;
        speeds.items << "";
        QVERIFY(loadCombo(seed->db, sql::selectSpeedList, {}, speeds, 1, 2));
        QCOMPARE(speeds.items.size(), 11);
        QVERIFY(!speeds.ids.mid(1).contains(0));
        QCOMPARE(speeds.items.value(speeds.selected), QStringLiteral("500000"));
        QCOMPARE(queryValue(seed->db, sql::selectSpeed, {0}, -1).toDouble(), 500000.0);
        QCOMPARE(queryValue(seed->db, sql::selectTimer, {0}, -1).toDouble(), 1000000.0);
        ComboList timers;
        QVERIFY(loadCombo(seed->db, sql::selectTimerList, {}, timers, 1, 99));
        QCOMPARE(timers.items.size(), 7);
        QCOMPARE(timers.selected, -1);
        // Such a row shows as the listed row of its rate (a fresh file's timer
        // row 0); an unknown row keeps the selection.
        QVERIFY(selectReferenceRow(seed->db, sql::selectTimer, 0, timers));
        QCOMPARE(timers.ids.value(timers.selected), 1);
        QVERIFY(!selectReferenceRow(seed->db, sql::selectTimer, 99, timers));
        QCOMPARE(timers.ids.value(timers.selected), 1);
    }

    // The speed list is in bit-rate order, not the rows' nor the texts' (83333
    // is stored last and sorts after "800000" as text).
    void speedListIsSlowestFirst()
    {
        QVERIFY(seed->db.execute("insert into CAN_Speed values (11, 83333, 0, 2, 12, 55)"));
        ComboList speeds;
        QVERIFY(loadCombo(seed->db, sql::selectSpeedList, {}, speeds, 1, 0));
        QCOMPARE(speeds.items.join(u' '),
                 QStringLiteral("10000 20000 50000 83333 100000 125000 200000 250000 500000 800000 1000000"));
        QCOMPARE(speeds.ids.value(3), 11);
    }

    void queriesWithoutRowsGiveTheirDefaults()
    {
        QCOMPARE(queryValue(seed->db, sql::selectCanSpeedId, {7}, "2").toString(), QStringLiteral("2"));
        QCOMPARE(queryNumber(seed->db, sql::selectCanByName, {"none"}, 0), -1);
        QCOMPARE(queryValue(seed->db, "select nonsense from nowhere", {}, "dflt").toString(), QStringLiteral("dflt"));
        ComboList list;
        list.items << "";
        QVERIFY(!loadCombo(seed->db, "select broken from", {}, list, 1, 0));
        QCOMPARE(list.items, QStringList{""});
    }

    // The relations take what lies below a deleted identifier or data base,
    // and only that; a name with a quote is found as typed.
    void deletingADataBaseRemovesEverythingBelowIt()
    {
        const QList<QPair<const char *, QVariantList>> rows{{sql::insertCan, {1, "Bob's bus", 1, 2, 1}},
                                                            {sql::insertCan, {2, "Other", 3, 2, 1}},
                                                            {sql::insertDevice, {1, 1, "Engine"}},
                                                            {sql::insertDevice, {2, 1, "Brakes"}},
                                                            {sql::insertDevice, {3, 2, "Kept"}},
                                                            {sql::insertId, {1, 1, 0x123, "Speed", 1}},
                                                            {sql::insertId, {2, 2, 0x2048C567, "Pressure", 0}},
                                                            {sql::insertId, {3, 3, 0x7FF, "Kept", 1}},
                                                            {sql::insertData, {1, 1, "rpm", 8, 8}},
                                                            {sql::insertData, {2, 3, "kept", 0, 1}}};
        for (const auto &[statement, binds] : rows)
            QVERIFY(seed->db.execute(statement, binds));
        QVERIFY(seed->db.execute(sql::deleteId, {2}));
        QCOMPARE(count("CAN_ID"), 2);
        QCOMPARE(queryNumber(seed->db, sql::selectCanByName, {"Bob's bus"}, 0), 1);
        QVERIFY(seed->db.execute(sql::deleteCanByName, {"Bob's bus"}));
        QCOMPARE(count("CAN_Device") + count("CAN_ID") + count("CAN_Data"), 3);
        QCOMPARE(queryValue(seed->db, sql::selectData, {3}, {}).toInt(), 2);
    }
};

TESSEL_TEST(tst_Queries)
#include "tst_queries.moc"
