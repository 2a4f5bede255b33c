// The data base panel: loading the tree, its check-box rules and their writes,
// menus, keys and clicks, adding a captured identifier, choosing a data base,
// and the speed and timer in use.
#include "candb/ui/dbtree.h"
#include "core/values.h"
#include "support/dbwindow.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
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

class tst_DbTree : public QObject, DbWindowHarness
{
    Q_OBJECT

    DbTree *tree() const { return window->dbTree; }
    QTreeWidgetItem *node(const QString &key) const { return tree()->node(key); }
    int enableOf(int idCanId) const
    {
        const QVariant enable = value("select Enable from CAN_ID where id_CAN_ID=?", {idCanId});
        return enable.isValid() ? enable.toInt() : -1;
    }

    // The user toggles a box (the tree's own signal carries it to the handler).
    void userTick(const QString &key, bool ticked)
    {
        node(key)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    }
    void click(const QString &key)
    {
        tree()->tvDB_IDs_MouseDown();
        if (!key.isEmpty())
            tree()->tvDB_IDs_NodeClick(node(key));
    }

private slots:
    void init() { freshDatabase(fixture); }
    void cleanup() { closeAll(); }

    void loadBuildsThreeSortedLevels()
    {
        open(1);
        QTreeWidget *tv = window->tvDB_IDs;
        QCOMPARE(tv->topLevelItemCount(), 1);
        QTreeWidgetItem *root = tv->topLevelItem(0);
        QCOMPARE(root->text(0), QString("Bus A"));
        QCOMPARE(root->childCount(), 2);
        // Devices and identifiers sorted by text, not in table order.
        QCOMPARE(root->child(0), node("DEV_11"));
        QCOMPARE(root->child(0)->text(0), QString("Body"));
        QCOMPARE(root->child(1)->text(0), QString("Engine"));
        QCOMPARE(root->child(1)->child(0)->text(0), QString("100 - Rpm"));
        QCOMPARE(root->child(1)->child(1)->text(0), QString("101 - Temp"));
        QCOMPARE(node(kDoor)->text(0), QString("123.04567 - Door"));
        QCOMPARE(tree()->nodeTag("DEV_10"), 10);
        QCOMPARE(tree()->nodeTag(kDoor), 102);
        QCOMPARE(tree()->nodeTag("CAN"), -1);
        QVERIFY(root->isExpanded());
        QVERIFY(!root->icon(0).isNull() && !node(kRpm)->icon(0).isNull());
        QCOMPARE(params->getParam("id_CAN_Device", "?"), QString("10"));
        QCOMPARE(window->cmbDB_Name->currentText(), QString("Bus A"));
        QCOMPARE(window->cmbDB_Name->count(), 3);
        QCOMPARE(window->cmdDB_Property->text(), QString("?"));
        QVERIFY(window->mnuCAN_DB->menuAction()->isVisible());
        QCOMPARE(window->mnuCAN_DB->title(), QString("CAN DB : Bus A"));
        QVERIFY(!window->mnuCAN_DB_Expand->isEnabled());
        QVERIFY(window->mnuCAN_DB_Collapse->isEnabled());

        QString device, description;
        QVERIFY(tree()->idLabels(kDoor, &device, &description));
        QCOMPARE(device, QString("Body"));
        QCOMPARE(description, QString("Door"));
        bool ticked = false;
        QVERIFY(!tree()->getNodeChecked("ID_00000555", &ticked));
        QVERIFY(tree()->getNodeChecked(kRpm, &ticked) && ticked);
    }

    void noDataBaseShowsAnEmptyTree()
    {
        open(0);
        QCOMPARE(window->tvDB_IDs->topLevelItemCount(), 0);
        QCOMPARE(window->cmdDB_Property->text(), QString("+"));
        QVERIFY(!window->mnuCAN_DB->menuAction()->isVisible());
        QVERIFY(!window->mnuCAN_Bar1->isVisible());
        QCOMPARE(window->cmbDB_Name->currentText(), QString());
    }

    // An identifier's box unticks its device and the root at once; ticking it
    // again ticks them only when every sibling is ticked.
    void untickingOneIdentifierUnticksItsDeviceAndRoot()
    {
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QSignalSpy rebuilds(tree(), &DbTree::rebuildViews);
        userTick(kRpm, false);
        QCOMPARE(enableOf(101), 0);
        QCOMPARE(enableOf(100), 1);
        QVERIFY(!node("DEV_10")->checkState(0));
        QVERIFY(!node("CAN")->checkState(0));
        QCOMPARE(node("DEV_11")->checkState(0), Qt::Checked);
        QVERIFY(!monitor.rows[kRpm].checked);
        QCOMPARE(rebuilds.count(), 1); // a monitor row changed

        userTick(kTemp, false);
        userTick(kRpm, true);
        QVERIFY(!node("DEV_10")->checkState(0)); // Temp is still unticked
        QVERIFY(!node("CAN")->checkState(0));
        userTick(kTemp, true);
        QCOMPARE(node("DEV_10")->checkState(0), Qt::Checked);
        QCOMPARE(node("CAN")->checkState(0), Qt::Checked);
        QCOMPARE(enableOf(100), 1);
        QCOMPARE(enableOf(101), 1);
    }

    void deviceBoxWritesAllItsIdentifiers()
    {
        open(1);
        userTick("DEV_11", false);
        QCOMPARE(enableOf(102), 0);
        QCOMPARE(enableOf(103), 0);
        QCOMPARE(enableOf(100), 1);
        QVERIFY(!node(kDoor)->checkState(0));
        QVERIFY(!node("CAN")->checkState(0));
    }

    // Ticking the root writes every device, also one the tree already shows
    // ticked, so the file follows the root where it disagreed.
    void tickingTheRootWritesEveryDevice()
    {
        exec("update CAN_ID set Enable=0 where id_CAN_ID=103");
        open(1);
        QVERIFY(!node("CAN")->checkState(0));
        QCOMPARE(node("DEV_10")->checkState(0), Qt::Checked);
        exec("update CAN_ID set Enable=0 where id_CAN_Device=10"); // behind the tree's back
        userTick("CAN", true);
        for (int id : {100, 101, 102, 103})
            QCOMPARE(enableOf(id), 1);
        QCOMPARE(node(kLast)->checkState(0), Qt::Checked);
        QCOMPARE(node("DEV_11")->checkState(0), Qt::Checked);

        userTick("CAN", false);
        for (int id : {100, 101, 102, 103})
            QCOMPARE(enableOf(id), 0);
        QVERIFY(!node(kRpm)->checkState(0));
    }

    void rootBoxDuringACaptureRebuildsNothing()
    {
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        window->mnuRunCANCapture->setChecked(true);
        userTick("CAN", false);
        QCOMPARE(enableOf(100), 0);          // still written
        QVERIFY(monitor.rows[kRpm].checked); // but the rows are left alone
        QVERIFY(monitor.calls.isEmpty());
    }

    void emptyDeviceKeepsItsOwnBoxAndEmptyDataBaseIsTicked()
    {
        open(2);
        QCOMPARE(node("CAN")->childCount(), 0);
        QCOMPARE(node("CAN")->checkState(0), Qt::Checked);

        exec("insert into CAN_Device values (12, 1, 'Spare')");
        open(1);
        // A new device node starts unticked and nothing below decides otherwise.
        QVERIFY(!node("DEV_12")->checkState(0));
        QVERIFY(!node("CAN")->checkState(0));
        userTick("DEV_12", true);
        QCOMPARE(node("DEV_12")->checkState(0), Qt::Checked);
        QCOMPARE(node("CAN")->checkState(0), Qt::Checked);
    }

    // A read-only file, or one that refuses a device's identifiers: the boxes
    // go back to what the file holds, which is unchanged.
    void failedWriteShowsTheStoredBoxes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("byProgram"); // checkNode, as the monitor list and the editors tick
        QTest::addColumn<QString>("refusal");
        const QString readOnly = QStringLiteral("PRAGMA query_only = ON");
        QTest::newRow("identifier unticked") << kRpm << false << readOnly;
        QTest::newRow("identifier unticked by the program (monitor list, editors)") << kRpm << true << readOnly;
        QTest::newRow("device unticked") << "DEV_11" << false << readOnly;
        QTest::newRow("root unticked") << "CAN" << false << readOnly;
        // Body (11) sorts first and is written; Engine (10) is refused, so Body's write is undone.
        QTest::newRow("root unticked, second device refused")
            << "CAN" << false
            << "create trigger refuse before update of Enable on CAN_ID when old.id_CAN_Device=10 "
               "begin select raise(abort, 'refused'); end";
    }
    void failedWriteShowsTheStoredBoxes()
    {
        QFETCH(QString, key);
        QFETCH(bool, byProgram);
        QFETCH(QString, refusal);
        monitor.addRow(kRpm, 3, true, kRpm);
        open(1);
        QSignalSpy rebuilds(tree(), &DbTree::rebuildViews);
        const QStringList keys{"CAN", "DEV_10", "DEV_11", kRpm, kTemp, kDoor, kLast};
        auto boxes = [&] {
            QStringList ticked;
            for (const QString &k : keys)
                ticked << k + (node(k)->checkState(0) == Qt::Checked ? "+" : "-");
            return ticked;
        };
        const QStringList before = boxes();
        exec(refusal);
        if (byProgram)
            QVERIFY(!tree()->checkNode(key, false));
        else
            userTick(key, false);
        QCOMPARE(prompts.texts(), QStringList{"Error of updating CAN Data Base."});
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        QCOMPARE(boxes(), before);
        QCOMPARE(value("select sum(Enable) from CAN_ID").toInt(), 4);
        QVERIFY(monitor.rows[kRpm].checked);
        QCOMPARE(rebuilds.count(), 0);

        // The box still works once the file takes writes again.
        exec("PRAGMA query_only = OFF");
        exec("drop trigger if exists refuse");
        userTick(key, false);
        QVERIFY(!node(key)->checkState(0));
        QCOMPARE(prompts.shown.size(), 1);
    }

    void loadSyncsTheMonitorRows()
    {
        monitor.addRow(kRpm, 2, false, kRpm + "_new");
        monitor.addRow("ID_00000333", 0, true, "ID_00000333_new");
        monitor.addRow("ID_00000334", 5, true, "ID_00000334_new");
        open(1);
        // Leaving the old tree drops rows without frames; the new tree's
        // identifiers get their plain icon and their node's box.
        QVERIFY(!monitor.rows.contains("ID_00000333"));
        QCOMPARE(monitor.rows["ID_00000334"].icon, QString("ID_00000334_new"));
        QCOMPARE(monitor.rows[kRpm].icon, kRpm);
        QVERIFY(monitor.rows[kRpm].checked);
    }

    void menusFollowTheClickedNode_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("devEdit");
        QTest::addColumn<bool>("devDelete");
        QTest::addColumn<bool>("idEdit");
        QTest::addColumn<QString>("popup");
        QTest::addColumn<QString>("defaultItem");
        QTest::newRow("empty space opens CAN") << "" << false << false << false << "mnuCAN"
                                               << "";
        QTest::newRow("root opens CAN DB, Edit bold") << "CAN" << false << false << false << "mnuCAN_DB"
                                                      << "mnuCAN_DB_Edit";
        QTest::newRow("default device cannot be deleted") << "DEV_10" << true << false << false << "mnuCAN_Devices"
                                                          << "";
        QTest::newRow("other device can") << "DEV_11" << true << true << false << "mnuCAN_Devices"
                                          << "";
        QTest::newRow("identifier opens IDs, Edit bold") << kDoor << false << false << true << "mnuCAN_IDs"
                                                         << "mnuCAN_IDs_Edit";
    }
    void menusFollowTheClickedNode()
    {
        QFETCH(QString, key);
        open(1);
        click(kRpm); // enable everything first: the next mouse-down must clear it
        click(key);
        QCOMPARE(tree()->currentNodeKey(), key);
        QTEST(window->mnuCAN_Devices_Edit->isEnabled(), "devEdit");
        QTEST(window->mnuCAN_Devices_Delete->isEnabled(), "devDelete");
        QTEST(window->mnuCAN_IDs_Edit->isEnabled(), "idEdit");
        QCOMPARE(window->mnuCAN_IDs_Delete->isEnabled(), window->mnuCAN_IDs_Edit->isEnabled());
        tree()->tvDB_IDs_MouseUp(Qt::RightButton);
        QVERIFY(tree()->lastPopup());
        QTEST(tree()->lastPopup()->objectName(), "popup");
        QAction *bold = tree()->lastPopup()->defaultAction();
        QTEST(bold ? bold->objectName() : QString(), "defaultItem");
        tree()->lastPopup()->close();
        QVERIFY(!tree()->lastPopup()->defaultAction());
    }

    void arrowKeysPickNodesAsClicksDo()
    {
        open(1);
        window->tvDB_IDs->setCurrentItem(node(kRpm));
        QCOMPARE(tree()->currentNodeKey(), kRpm);
        QTest::keyClick(window->tvDB_IDs, Qt::Key_Up); // from "100 - Rpm" to "Engine"
        QCOMPARE(tree()->currentNodeKey(), QString("DEV_10"));
        QVERIFY(window->mnuCAN_Devices_Edit->isEnabled());
        QVERIFY(!window->mnuCAN_Devices_Delete->isEnabled());
        QVERIFY(!window->mnuCAN_IDs_Edit->isEnabled());
    }

    void deleteKeyOnTheDefaultDeviceDoesNothing()
    {
        open(1);
        click("DEV_10");
        QSignalSpy triggered(window->mnuCAN_Devices_Delete, &QAction::triggered);
        QTest::keyClick(window->tvDB_IDs, Qt::Key_Delete);
        QCOMPARE(triggered.count(), 0);
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(count("CAN_Device"), 2);

        click("DEV_11");
        prompts.answers << Prompts::Answer::Cancel;
        tree()->tvDB_IDs_KeyDown(Qt::Key_Delete);
        QCOMPARE(triggered.count(), 1);
    }

    void expandAndCollapseFollowTheMenus()
    {
        open(1);
        window->mnuCAN_DB_Collapse->trigger();
        QVERIFY(!node("CAN")->isExpanded());
        QVERIFY(window->mnuCAN_DB_Expand->isEnabled());
        QVERIFY(!window->mnuCAN_Devices_Expand->isEnabled());
        QVERIFY(!window->mnuCAN_Devices_Collapse->isEnabled());
        window->mnuCAN_DB_Expand->trigger();
        click("DEV_11");
        QVERIFY(!window->mnuCAN_Devices_Expand->isEnabled());
        window->mnuCAN_Devices_Collapse->trigger();
        QVERIFY(!node("DEV_11")->isExpanded());
        QVERIFY(window->mnuCAN_Devices_Expand->isEnabled());
        node("DEV_11")->setExpanded(true); // the view's own arrow
        QVERIFY(window->mnuCAN_Devices_Collapse->isEnabled());
    }

    void dropsCarryAnIdentifierKey_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("identifier key") << DbTree::idKeyMimeType << true;
        QTest::newRow("plain text") << "text/plain" << false;
    }
    void dropsCarryAnIdentifierKey()
    {
        QFETCH(QString, format);
        open(1);
        QMimeData data;
        data.setData(format, "ID_00000222");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->tvDB_IDs->viewport(), &enter);
        QTEST(enter.isAccepted(), "accepted");
    }

    void addingAnIdentifier()
    {
        monitor.addRow("ID_00000222", 4, true, "ID_00000222_new");
        open(1);
        const int id = tree()->tvAddCAN_ID(11, 0x222, "Wiper's", false);
        QCOMPARE(id, 1);
        QCOMPARE(params->getParam("counter_id_CAN_ID", "?"), QString("2"));
        QTreeWidgetItem *added = node("ID_00000222");
        QVERIFY(added);
        QCOMPARE(added->text(0), QString("222 - Wiper's"));
        QCOMPARE(added->parent(), node("DEV_11"));
        QCOMPARE(window->tvDB_IDs->currentItem(), added);
        QVERIFY(!added->checkState(0));
        QCOMPARE(enableOf(1), 0);
        QVERIFY(!node("DEV_11")->checkState(0));
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
        QTest::newRow("device not in the tree") << 1 << 99 << 0x300 << "Error addition ID=\"300\" to CAN Data Base.";
        QTest::newRow("standard number past 11 bits")
            << 1 << 10 << 0x800 << "Error addition ID=\"800\" to CAN Data Base.";
    }
    void addingIsRefused()
    {
        QFETCH(int, dataBase);
        QFETCH(int, device);
        QFETCH(int, keyNumber);
        open(dataBase);
        const int before = count("CAN_ID");
        QCOMPARE(tree()->tvAddCAN_ID(device, keyNumber, "x", true), -1);
        QCOMPARE(count("CAN_ID"), before);
        QVERIFY(!params->contains("counter_id_CAN_ID"));
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown.first().text, "message");
        QCOMPARE(prompts.shown.first().title, QString("Adding ID to CAN Data Base..."));
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        if (keyNumber == 0x248C4567)
            QCOMPARE(window->tvDB_IDs->currentItem(), node(kDoor));
    }

    void choosingADataBase()
    {
        open(1);
        QSignalSpy rebuilds(tree(), &DbTree::rebuildViews);
        QSignalSpy resets(tree(), &DbTree::linkResetRequested);
        QTreeWidgetItem *root = node("CAN");
        // The same data base again: nothing is reloaded.
        window->cmbDB_Name->setCurrentIndex(1);
        tree()->cmbDB_Name_Click();
        QCOMPARE(node("CAN"), root);
        QCOMPARE(rebuilds.count(), 0);
        QCOMPARE(resets.count(), 0);

        window->cmbDB_Name->setCurrentIndex(2);
        tree()->cmbDB_Name_Click();
        QCOMPARE(params->getParam("id_CAN", "?"), QString("2"));
        QCOMPARE(node("CAN")->text(0), QString("Bus B"));
        QCOMPARE(rebuilds.count(), 1);
        QCOMPARE(resets.count(), 1);

        window->cmbDB_Name->setCurrentIndex(0); // the empty item: no data base
        tree()->cmbDB_Name_Click();
        QCOMPARE(params->getParam("id_CAN", "?"), QString("0"));
        QCOMPARE(window->tvDB_IDs->topLevelItemCount(), 0);
        QCOMPARE(window->cmdDB_Property->text(), QString("+"));
    }

    // A row whose ID is no identifier key is left out; the tree still loads.
    void malformedIdentifierRowsAreSkipped()
    {
        exec("insert into CAN_ID values (200, 10, -5, 'negative', 1)");
        exec("insert into CAN_ID values (201, 10, 1073741824, 'lost marker', 1)");
        exec("insert into CAN_ID values (203, 10, 2048, 'standard past 11 bits', 1)");
        exec("insert into CAN_ID values (204, 10, 'garbage', 'text', 1)");
        exec("insert into CAN_ID values (205, 10, NULL, 'null', 1)");
        exec("insert into CAN_ID values (207, 11, 99999999999, 'beyond 32 bits', 1)");
        exec("insert into CAN_ID values (208, 11, 256, 'second Rpm', 0)");
        open(1);
        QCOMPARE(node("DEV_10")->childCount(), 2);
        QCOMPARE(node("DEV_11")->childCount(), 2);
        QCOMPARE(node(kRpm)->text(0), QString("100 - Rpm"));
        QCOMPARE(node("CAN")->checkState(0), Qt::Checked);
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
        QTEST(tree()->currentCanSpeed(), "speed");
        QTEST(tree()->currentCanTimer(), "timer");
        QTEST(params->getParam("id_CAN_Speed", "?"), "speedId");
    }

    void timingSignalOnChange()
    {
        open(1);
        QSignalSpy timing(tree(), &DbTree::canTimingChanged);
        tree()->loadCanDb(true, true);
        QCOMPARE(timing.count(), 0);
        params->setParam("id_CAN", 2);
        tree()->loadCanDb(true, true);
        QCOMPARE(timing.count(), 1);
        QCOMPARE(timing.first().at(0).toDouble(), 500000.0);
        QCOMPARE(timing.first().at(1).toDouble(), 2000000.0);
    }
};

QTEST_MAIN(tst_DbTree)
#include "tst_dbtree.moc"
