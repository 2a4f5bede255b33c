// The CAN database model without any window: loading a data base, the box
// rules and their writes, adding an identifier, choosing a data base, and the
// speed and timer in use.
#include "support/testregistry.h"
#include "core/values.h"
#include "support/dbharness.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Data base 1 "Bus A" (speed id 3, timer id 4): devices 10 "Engine" (the
// default) with 0x101 "Temp" and 0x100 "Rpm", and 11 "Body" with the extended
// 123.04567 "Door" and 0x7FF "Last". Data base 2 "Bus B" refers to the hidden
// speed row 0 and timer 2, and has no devices.
const std::initializer_list<const char *> fixture = {
    "insert into CAN values (1, 'Bus A', 10, 3, 4)",
    "insert into CAN values (2, 'Bus B', 0, 0, 2)",
    "insert into CAN_Device values (10, 1, 'Engine')",
    "insert into CAN_Device values (11, 1, 'Body')",
    "insert into CAN_ID values (100, 10, 257, 'Temp', 1)",
    "insert into CAN_ID values (101, 10, 256, 'Rpm', 1)",
    "insert into CAN_ID values (102, 11, 613172583, 'Door', 1)", // 0x248C4567
    "insert into CAN_ID values (103, 11, 2047, 'Last', 1)",
};

const QString kRpm = QStringLiteral("ID_00000100");
const QString kTemp = QStringLiteral("ID_00000101");
const QString kDoor = QStringLiteral("ID_248C4567");
const QString kLast = QStringLiteral("ID_000007FF");

} // namespace

class tst_CanDbModel : public QObject, DbHarness
{
    Q_OBJECT

    // "CAN+ DEV_10- ...": every box of the data base.
    QStringList boxes() const
    {
        QStringList ticked;
        for (const QString &k : {QString("CAN"), QString("DEV_10"), QString("DEV_11"), kRpm, kTemp, kDoor, kLast})
            ticked << k + (model->isTicked(k) ? "+" : "-");
        return ticked;
    }

private slots:
    void init() { freshDatabase(fixture); }
    void cleanup() { closeAll(); }

    void loadReadsTheDataBase()
    {
        monitor.addRow(kRpm, 2, false, kRpm + "_new");
        monitor.addRow("ID_00000333", 0, true, "ID_00000333_new");
        monitor.addRow("ID_00000334", 5, true, "ID_00000334_new");
        open(1);
        QCOMPARE(model->dataBases().items, (QStringList{"", "Bus A", "Bus B"}));
        QCOMPARE(model->dbName(), QString("Bus A"));
        QVERIFY(model->hasDataBase() && model->isLoaded());
        QCOMPARE(model->deviceIds(), (QList<int>{10, 11}));
        QCOMPARE(model->device(10)->identifiers, (QStringList{kTemp, kRpm}));
        QCOMPARE(model->identifier(kDoor)->idCanId, 102);
        QCOMPARE(model->defaultDevice(), 10);
        QCOMPARE(params->getParam("id_CAN_Device", "?"), QString("10"));
        QVERIFY(model->contains("DEV_11") && !model->contains("DEV_011"));
        // The capture views' labels.
        QString device, description;
        QVERIFY(model->idLabels(kDoor, &device, &description));
        QCOMPARE(device + "/" + description, QString("Body/Door"));
        QVERIFY(!model->idLabels("ID_00000555", &device, &description));
        // Leaving the old data base drops monitor rows without frames; the new
        // one's identifiers get their plain icon and their box.
        QVERIFY(!monitor.rows.contains("ID_00000333"));
        QCOMPARE(monitor.rows["ID_00000334"].icon, QString("ID_00000334_new"));
        QCOMPARE(monitor.rows[kRpm].icon, kRpm);
        QVERIFY(monitor.rows[kRpm].checked);

        // No data base: nothing below the list, and the menu is told so.
        QSignalSpy current(model, &CanDbModel::currentChanged);
        params->setParam("id_CAN", 0);
        model->load(true, true);
        QVERIFY(!model->isLoaded() && !model->hasDataBase() && !model->contains(kRpm));
        QCOMPARE(model->dbName(), QString());
        QCOMPARE(current.first(), (QVariantList{false, QString()}));
    }

    // An identifier's box unticks its device and the root at once; ticking it
    // again ticks them only when every sibling is ticked.
    void identifierBoxesDecideDeviceAndRoot()
    {
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QSignalSpy rebuilds(model, &CanDbModel::rebuildViews);
        QSignalSpy shown(model, &CanDbModel::boxChanged);
        QCOMPARE(model->checkNode(kRpm, false), WriteResult::Stored);
        QCOMPARE(enableOf(101), 0);
        QCOMPARE(enableOf(100), 1);
        QCOMPARE(boxes(),
                 (QStringList{"CAN-", "DEV_10-", "DEV_11+", kRpm + "-", kTemp + "+", kDoor + "+", kLast + "+"}));
        QCOMPARE(shown.size(), 3); // the identifier, its device, the root
        QVERIFY(!monitor.rows[kRpm].checked);
        QCOMPARE(rebuilds.count(), 1); // a monitor row changed

        model->checkNode(kTemp, false);
        model->checkNode(kRpm, true);
        QVERIFY(!model->isTicked("DEV_10")); // Temp is still unticked
        model->checkNode(kTemp, true);
        QVERIFY(model->isTicked("DEV_10") && model->isTicked("CAN"));
        QCOMPARE(enableOf(100) + enableOf(101), 2);

        // A device's box writes all its identifiers.
        model->checkNode("DEV_11", false);
        QCOMPARE(enableOf(102) + enableOf(103), 0);
        QCOMPARE(boxes(),
                 (QStringList{"CAN-", "DEV_10+", "DEV_11-", kRpm + "+", kTemp + "+", kDoor + "-", kLast + "-"}));
    }

    // A device without identifiers keeps its own box, unticked at first; a
    // data base without devices is ticked.
    void emptyDevicesAndDataBases()
    {
        open(2);
        QVERIFY(model->isTicked("CAN"));
        exec("insert into CAN_Device values (12, 1, 'Spare')");
        open(1);
        QVERIFY(!model->isTicked("DEV_12") && !model->isTicked("CAN"));
        model->checkNode("DEV_12", true);
        QVERIFY(model->isTicked("DEV_12") && model->isTicked("CAN"));
    }

    // Ticking the root writes every device, also one the model already holds
    // ticked, so the file follows the root where it disagreed. During a
    // capture the monitor rows are left alone.
    void tickingTheRootWritesEveryDevice()
    {
        exec("update CAN_ID set Enable=0 where id_CAN_ID=103");
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QCOMPARE(boxes(),
                 (QStringList{"CAN-", "DEV_10+", "DEV_11-", kRpm + "+", kTemp + "+", kDoor + "+", kLast + "-"}));
        exec("update CAN_ID set Enable=0 where id_CAN_Device=10"); // behind the model's back
        model->checkNode("CAN", true);
        for (int id : {100, 101, 102, 103})
            QCOMPARE(enableOf(id), 1);
        QVERIFY(!boxes().join(' ').contains('-'));

        model->setCaptureRunning(true);
        monitor.calls.clear();
        model->checkNode("CAN", false);
        for (int id : {100, 101, 102, 103})
            QCOMPARE(enableOf(id), 0);
        QVERIFY(!boxes().join(' ').contains('+'));
        QVERIFY(monitor.rows[kRpm].checked);
        QVERIFY(monitor.calls.isEmpty());
    }

    // A read-only file, or one that refuses a device's identifiers: the boxes
    // go back to what the file holds, which is unchanged.
    void failedWriteShowsTheStoredBoxes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("refusal");
        const QString readOnly = QStringLiteral("PRAGMA query_only = ON");
        QTest::newRow("identifier") << kRpm << readOnly;
        QTest::newRow("device") << "DEV_11" << readOnly;
        QTest::newRow("root") << "CAN" << readOnly;
        QTest::newRow("root, one device refused: the other's write is undone")
            << "CAN"
            << "create trigger refuse before update of Enable on CAN_ID when old.id_CAN_Device=10 "
               "begin select raise(abort, 'refused'); end";
    }
    void failedWriteShowsTheStoredBoxes()
    {
        QFETCH(QString, key);
        QFETCH(QString, refusal);
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QSignalSpy rebuilds(model, &CanDbModel::rebuildViews);
        const QStringList before = boxes();
        exec(refusal);
        QCOMPARE(model->checkNode(key, false), WriteResult::Failed);
        QCOMPARE(prompts.texts(), QStringList{"Error of updating CAN Data Base."});
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        QCOMPARE(boxes(), before);
        QCOMPARE(value("select sum(Enable) from CAN_ID").toInt(), 4);
        QVERIFY(monitor.rows[kRpm].checked);
        QCOMPARE(rebuilds.count(), 0);

        // The box still works once the file takes writes again.
        exec("PRAGMA query_only = OFF");
        exec("drop trigger if exists refuse");
        QCOMPARE(model->checkNode(key, false), WriteResult::Stored);
        QVERIFY(!model->isTicked(key));
        QCOMPARE(prompts.shown.size(), 1);
    }

    void addingAnIdentifier()
    {
        monitor.addRow("ID_00000222", 4, true, "ID_00000222_new");
        open(1);
        QSignalSpy added(model, &CanDbModel::identifierAdded);
        QSignalSpy shown(model, &CanDbModel::identifierShown);
        const std::optional<int> id = model->addIdentifier(11, 0x222, "Wiper's", false, {{16, 23, "Wiper"}});
        QCOMPARE(id, std::optional<int>(1));
        QCOMPARE(params->getParam("counter_id_CAN_ID", "?"), QString("2"));
        QCOMPARE(value("select id_CAN_ID||':'||Name||':'||\"Begin\"||'+'||\"Count\" from CAN_Data").toString(),
                 QString("1:Wiper:16+8"));
        const CanIdentifier *wiper = model->identifier("ID_00000222");
        QVERIFY(wiper);
        QCOMPARE(wiper->caption(), QString("222 - Wiper's"));
        QCOMPARE(wiper->deviceId, 11);
        QCOMPARE(added.size(), 1);
        QCOMPARE(shown.size(), 1);
        QVERIFY(!model->isTicked("ID_00000222"));
        QCOMPARE(enableOf(1), 0);
        QVERIFY(!model->isTicked("DEV_11"));
        QCOMPARE(monitor.rows["ID_00000222"].icon, QString("ID_00000222"));
        QVERIFY(!monitor.rows["ID_00000222"].checked);
        QVERIFY(prompts.shown.isEmpty());
    }

    void addingIsRefused_data()
    {
        QTest::addColumn<int>("dataBase");
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("keyNumber");
        QTest::addColumn<QString>("message");
        QTest::newRow("already present under another device")
            << 1 << 10 << 0x248C4567 << "This ID (123.04567) is present in CAN Data Base.";
        QTest::newRow("lost-frame key") << 1 << 10 << -1 << "Lost IDs is not adding to CAN Data Base.";
        QTest::newRow("no data base") << 0 << 10 << 0x300 << "Error. CAN Data Base must be created, before...";
        QTest::newRow("device not in the data base")
            << 1 << 99 << 0x300 << "Error addition ID=\"300\" to CAN Data Base.";
        QTest::newRow("standard number past 11 bits")
            << 1 << 10 << 0x800 << "Error addition ID=\"800\" to CAN Data Base.";
    }
    void addingIsRefused()
    {
        QFETCH(int, dataBase);
        QFETCH(int, device);
        QFETCH(int, keyNumber);
        open(dataBase);
        QSignalSpy shown(model, &CanDbModel::identifierShown);
        const int before = count("CAN_ID");
        QCOMPARE(model->addIdentifier(device, keyNumber, "x", true, {}), std::nullopt);
        QCOMPARE(count("CAN_ID"), before);
        QVERIFY(!params->contains("counter_id_CAN_ID"));
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown.first().text, "message");
        QCOMPARE(prompts.shown.first().title, QString("Adding ID to CAN Data Base..."));
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        // The one already present is shown to the user.
        QCOMPARE(shown.size(), keyNumber == 0x248C4567 ? 1 : 0);
    }

    void choosingADataBase()
    {
        open(1);
        QSignalSpy resets(model, &CanDbModel::reset);
        QSignalSpy links(model, &CanDbModel::linkResetRequested);
        QSignalSpy rebuilds(model, &CanDbModel::rebuildViews);
        model->chooseDataBase(1); // the same data base: nothing is reloaded
        QCOMPARE(resets.count() + links.count() + rebuilds.count(), 0);

        model->chooseDataBase(2);
        QCOMPARE(params->getParam("id_CAN", "?"), QString("2"));
        QCOMPARE(model->rootCaption(), QString("Bus B"));
        QCOMPARE(model->dbName(), QString("Bus B"));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(rebuilds.count(), 1);
        QCOMPARE(links.count(), 1);

        model->chooseDataBase(0); // the empty item: no data base
        QCOMPARE(params->getParam("id_CAN", "?"), QString("0"));
        QVERIFY(!model->isLoaded() && !model->hasDataBase());
    }

    // A row whose ID is no identifier key is left out; the rest still loads.
    void malformedIdentifierRowsAreSkipped()
    {
        exec("insert into CAN_ID values (200, 10, -5, 'negative', 1)");
        exec("insert into CAN_ID values (201, 10, 1073741824, 'lost marker', 1)");
        exec("insert into CAN_ID values (203, 10, 2048, 'standard past 11 bits', 1)");
        exec("insert into CAN_ID values (204, 10, 'garbage', 'text', 1)");
        exec("insert into CAN_ID values (205, 10, NULL, 'null', 1)");
        exec("insert into CAN_ID values (206, 10, 256.5, 'fraction', 1)");
        exec("insert into CAN_ID values (207, 11, 99999999999, 'beyond 32 bits', 1)");
        exec("insert into CAN_ID values (208, 11, 256, 'second Rpm', 0)");
        open(1);
        QCOMPARE(model->device(10)->identifiers, (QStringList{kTemp, kRpm}));
        QCOMPARE(model->device(11)->identifiers, (QStringList{kDoor, kLast}));
        QCOMPARE(model->identifier(kRpm)->caption(), QString("100 - Rpm"));
        QVERIFY(model->isTicked("CAN"));
        QVERIFY(prompts.shown.isEmpty());
    }

    void speedAndTimerInUse_data()
    {
        QTest::addColumn<int>("dataBase");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("timer");
        QTest::addColumn<QString>("speedId");
        QTest::newRow("data base rows") << 1 << 250000.0 << 250000.0 << "3";
        QTest::newRow("hidden speed row still found") << 2 << 500000.0 << 2000000.0 << "0";
        QTest::newRow("no data base: the defaults") << 0 << 500000.0 << 1000000.0 << "2";
    }
    void speedAndTimerInUse()
    {
        QFETCH(int, dataBase);
        open(dataBase);
        QTEST(model->canSpeed(), "speed");
        QTEST(model->canTimer(), "timer");
        QTEST(params->getParam("id_CAN_Speed", "?"), "speedId");

        // Told only when they change.
        QSignalSpy timing(model, &CanDbModel::timingChanged);
        model->load(true, true);
        QCOMPARE(timing.count(), 0);
        params->setParam("id_CAN", dataBase == 2 ? 1 : 2);
        model->load(true, true);
        QCOMPARE(timing.count(), 1);
        QCOMPARE(timing.first().at(0).toDouble(), model->canSpeed());
    }
};

TESSEL_TEST(tst_CanDbModel)
#include "tst_candbmodel.moc"
