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
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (100, 10, 257, 'Temp', 1)",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (101, 10, 256, 'Rpm', 1)",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (102, 11, 613172583, 'Door', 1)", // 0x248C4567
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (103, 11, 2047, 'Last', 1)",
};

const QString kRpm = QStringLiteral("ID_00000100");
const QString kTemp = QStringLiteral("ID_00000101");
const QString kDoor = QStringLiteral("ID_248C4567");
const QString kLast = QStringLiteral("ID_000007FF");
const QStringList allTicked{"CAN+", "10+", "11+", "Rpm+", "Temp+", "Door+", "Last+"};

} // namespace

class tst_CanDbModel : public QObject, DbHarness
{
    Q_OBJECT

    // "CAN+ 10- Rpm- ...": every box of data base 1; the file's Enable must agree.
    QStringList boxes()
    {
        const QList<std::tuple<QString, QString, int>> nodes{
            {"CAN", "CAN", 0},    {"10", "DEV_10", 0},  {"11", "DEV_11", 0}, {"Rpm", kRpm, 101},
            {"Temp", kTemp, 100}, {"Door", kDoor, 102}, {"Last", kLast, 103}};
        QStringList ticked;
        for (const auto &[label, key, id] : nodes) {
            ticked << label + (model->isTicked(key) ? "+" : "-");
            if (id != 0 && enableOf(id) != int(model->isTicked(key)))
                ticked << "(file disagrees)";
        }
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
        QCOMPARE(params->getParam("id_CAN_Device", "?"), QString("10"));
        QVERIFY(model->contains("DEV_11") && !model->contains("DEV_011"));
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
    // again ticks them only when every sibling is ticked. A device's box
    // writes all its identifiers; the root's writes every device, also where
    // the file disagreed with what the model held.
    void boxRules_data()
    {
        QTest::addColumn<QString>("behindTheModel");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("identifier unticked")
            << "" << QStringList{"Rpm-"} << QStringList{"CAN-", "10-", "11+", "Rpm-", "Temp+", "Door+", "Last+"};
        QTest::newRow("ticked again while a sibling is not")
            << "" << QStringList{"Rpm-", "Temp-", "Rpm+"}
            << QStringList{"CAN-", "10-", "11+", "Rpm+", "Temp-", "Door+", "Last+"};
        QTest::newRow("the last sibling ticked") << "" << QStringList{"Rpm-", "Temp-", "Rpm+", "Temp+"} << allTicked;
        QTest::newRow("device unticked") << "" << QStringList{"DEV_11-"}
                                         << QStringList{"CAN-", "10+", "11-", "Rpm+", "Temp+", "Door-", "Last-"};
        QTest::newRow("root ticked over a file that disagrees")
            << "update CAN_ID set Enable=0 where id_CAN_Device=10" << QStringList{"DEV_11-", "CAN+"} << allTicked;
    }
    void boxRules()
    {
        QFETCH(QStringList, clicks);
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QFETCH(QString, behindTheModel);
        if (!behindTheModel.isEmpty())
            exec(behindTheModel);
        const QHash<QString, QString> keys{{"Rpm", kRpm}, {"Temp", kTemp}, {"DEV_11", "DEV_11"}, {"CAN", "CAN"}};
        for (const QString &click : clicks)
            QCOMPARE(model->checkNode(keys[click.chopped(1)], click.endsWith('+')), WriteResult::Stored);
        QTEST(boxes(), "boxes");
        QCOMPARE(monitor.rows[kRpm].checked, model->isTicked(kRpm));
    }

    // A box sends one boxChanged for every node it changes and asks for a
    // rebuild when a monitor row changed. During a capture the monitor rows
    // are left alone. A device without identifiers keeps its own box,
    // unticked at first; a data base without devices is ticked.
    void boxSignalsCaptureAndEmptyNodes()
    {
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QSignalSpy rebuilds(model, &CanDbModel::rebuildViews);
        QSignalSpy shown(model, &CanDbModel::boxChanged);
        model->checkNode(kRpm, false);
        QCOMPARE(shown.size(), 3);
        QCOMPARE(rebuilds.count(), 1);
        QVERIFY(!monitor.rows[kRpm].checked);
        model->checkNode("CAN", true);
        model->setCaptureRunning(true);
        monitor.calls.clear();
        model->checkNode("CAN", false);
        QVERIFY(!boxes().join(' ').contains('+'));
        QVERIFY(monitor.rows[kRpm].checked);
        QVERIFY(monitor.calls.isEmpty());
        open(2);
        QVERIFY(model->isTicked("CAN"));
        exec("insert into CAN_Device values (12, 1, 'Spare')");
        exec("update CAN_ID set Enable=1");
        open(1);
        QVERIFY(!model->isTicked("DEV_12") && !model->isTicked("CAN"));
        model->checkNode("DEV_12", true);
        QVERIFY(model->isTicked("DEV_12") && model->isTicked("CAN"));
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
        exec(refusal);
        QCOMPARE(model->checkNode(key, false), WriteResult::Failed);
        QCOMPARE(prompts.texts(), QStringList{"Error of updating CAN Data Base."});
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        QCOMPARE(boxes(), allTicked);
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
        DataField field;
        std::tie(field.begin, field.end, field.name) = std::tuple(16, 23, QStringLiteral("Wiper"));
        QCOMPARE(model->addIdentifier(11, 0x222, "Wiper's", false, {field}), std::optional<int>(1));
        QCOMPARE(params->getParam("counter_id_CAN_ID", "?"), QString("2"));
        QCOMPARE(value("select id_CAN_ID||':'||Name||':'||\"Begin\"||'+'||\"Count\" from CAN_Data").toString(),
                 QString("1:Wiper:16+8"));
        const CanIdentifier *wiper = model->identifier("ID_00000222");
        QVERIFY(wiper);
        QCOMPARE(wiper->caption(), QString("222 - Wiper's"));
        QCOMPARE(wiper->deviceId, 11);
        QCOMPARE(added.size() + shown.size(), 2);
        QVERIFY(!model->isTicked("ID_00000222") && !model->isTicked("DEV_11"));
        QCOMPARE(enableOf(1), 0);
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
        QCOMPARE(model->addIdentifier(device, keyNumber, "x", true, {}), std::nullopt);
        QCOMPARE(count("CAN_ID"), 4);
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
        QCOMPARE(model->rootCaption() + "/" + model->dbName(), QString("Bus B/Bus B"));
        QCOMPARE(resets.count() + links.count() + rebuilds.count(), 3);
        model->chooseDataBase(0); // the empty item: no data base
        QCOMPARE(params->getParam("id_CAN", "?"), QString("0"));
        QVERIFY(!model->isLoaded() && !model->hasDataBase());
    }

    // A row whose ID is no identifier key is left out; the rest still loads.
    void malformedIdentifierRowsAreSkipped()
    {
        const QStringList ids{"-5", "1073741824", "2048", "'garbage'", "NULL", "256.5", "99999999999"};
        for (int i = 0; i < ids.size(); ++i)
            exec(QString("insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (%1, 10, %2, 'bad', 1)").arg(200 + i).arg(ids[i]));
        exec("insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (208, 11, 256, 'second Rpm', 0)");
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
