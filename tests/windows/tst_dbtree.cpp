// The data base panel as a view of the CAN database model, on bare widgets:
// what the tree, the list, the button and the CAN menu show, what the user's
// ticks, clicks, keys and drops do, and the editors' windows.
#include "support/testregistry.h"
#include "candb/dbc.h"
#include "candb/deleteops.h"
#include "candb/ui/dbtree.h"
#include "candb/ui/frmcan_db.h"
#include "candb/ui/frmcan_db_new.h"
#include "candb/ui/frmtv_id.h"
#include "support/dbcsample.h"
#include "support/dbharness.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

namespace {

// "Bus A": devices 10 "Engine" (the default) with 0x101 "Temp" and 0x100
// "Rpm", and 11 "Body" with the extended 123.04567 "Door". "Bus B" is empty.
const std::initializer_list<const char *> fixture = {
    "insert into CAN values (1, 'Bus A', 10, 3, 4)",
    "insert into CAN values (2, 'Bus B', 0, 0, 2)",
    "insert into CAN_Device values (10, 1, 'Engine')",
    "insert into CAN_Device values (11, 1, 'Body')",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (100, 10, 257, 'Temp', 1)",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (101, 10, 256, 'Rpm', 1)",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (102, 11, 613172583, 'Door', 1)",
};

const QString kRpm = QStringLiteral("ID_00000100");
const QString kDoor = QStringLiteral("ID_248C4567");

// The panel's controls and a CAN menu tree named as the main window names them.
struct BarePanel
{
    QWidget window;
    CanDbPanel c;

    BarePanel()
    {
        c.cmbDB_Name = new QComboBox(&window);
        c.cmdDB_Property = new QPushButton(QStringLiteral("+"), &window);
        c.tvDB_IDs = new QTreeWidget(&window);
        c.mnuCAN = menu(nullptr, "mnuCAN");
        c.mnuCAN_New = item(c.mnuCAN, "mnuCAN_New");
        c.mnuCAN_Import = item(c.mnuCAN, "mnuCAN_Import");
        c.mnuCAN_DB = menu(c.mnuCAN, "mnuCAN_DB");
        c.mnuCAN_DB_New = item(c.mnuCAN_DB, "mnuCAN_DB_New");
        c.mnuCAN_DB_Edit = item(c.mnuCAN_DB, "mnuCAN_DB_Edit");
        c.mnuCAN_DB_Delete = item(c.mnuCAN_DB, "mnuCAN_DB_Delete");
        c.mnuCAN_DB_Export = item(c.mnuCAN_DB, "mnuCAN_DB_Export");
        c.mnuCAN_DB_Expand = item(c.mnuCAN_DB, "mnuCAN_DB_Expand");
        c.mnuCAN_DB_Collapse = item(c.mnuCAN_DB, "mnuCAN_DB_Collapse");
        c.mnuCAN_Devices = menu(c.mnuCAN_DB, "mnuCAN_Devices");
        c.mnuCAN_Devices_New = item(c.mnuCAN_Devices, "mnuCAN_Devices_New");
        c.mnuCAN_Devices_Edit = item(c.mnuCAN_Devices, "mnuCAN_Devices_Edit");
        c.mnuCAN_Devices_Delete = item(c.mnuCAN_Devices, "mnuCAN_Devices_Delete");
        c.mnuCAN_Devices_Expand = item(c.mnuCAN_Devices, "mnuCAN_Devices_Expand");
        c.mnuCAN_Devices_Collapse = item(c.mnuCAN_Devices, "mnuCAN_Devices_Collapse");
        c.mnuCAN_IDs = menu(c.mnuCAN_Devices, "mnuCAN_IDs");
        c.mnuCAN_IDs_New = item(c.mnuCAN_IDs, "mnuCAN_IDs_New");
        c.mnuCAN_IDs_Edit = item(c.mnuCAN_IDs, "mnuCAN_IDs_Edit");
        c.mnuCAN_IDs_Delete = item(c.mnuCAN_IDs, "mnuCAN_IDs_Delete");
    }
    QMenu *menu(QMenu *parent, const char *name)
    {
        auto *m = parent ? parent->addMenu(QString::fromLatin1(name)) : new QMenu(&window);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    }
    static QAction *item(QMenu *menu, const char *name)
    {
        QAction *a = menu->addAction(QString::fromLatin1(name));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    }
};

} // namespace

class tst_DbTree : public QObject, DbHarness
{
    Q_OBJECT

    std::unique_ptr<BarePanel> panel;
    std::unique_ptr<DbTree> tree;

    QTreeWidgetItem *node(const QString &key) const { return tree->node(key); }
    bool shown(const QString &key) const { return node(key)->checkState(0) == Qt::Checked; }
    // A new panel on data base `id`.
    void show(int id)
    {
        tree.reset();
        panel = std::make_unique<BarePanel>();
        tree = std::make_unique<DbTree>(context, panel->c);
        open(id, &tree->model());
    }
    void click(const QString &key)
    {
        tree->tvDB_IDs_MouseDown();
        if (!key.isEmpty())
            tree->tvDB_IDs_NodeClick(node(key));
    }

private slots:
    void init() { freshDatabase(fixture); }
    void cleanup()
    {
        tree.reset();
        panel.reset();
        closeAll();
    }

    // CAN › Import makes the file's network the data base in use and reports
    // what it left out; CAN DB › Export writes it back. A cancelled choice
    // does nothing, an unreadable file says why.
    void importAndExportFromTheMenus()
    {
        show(1);
        const QString dbcFile = dir->filePath("Powertrain.dbc");
        QFile file(dbcFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(sampleDbc);
        file.close();
        const QStringList before = everything();
        panel->c.mnuCAN_Import->trigger();
        QCOMPARE(everything(), before);
        QVERIFY(prompts.shown.isEmpty());

        prompts.fileNames << dbcFile;
        panel->c.mnuCAN_Import->trigger();
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown.at(0).text.contains("imported as CAN Data Base \"Powertrain\"") &&
                     prompts.shown.at(0).text.contains("SG_ receivers: 1, first on line 15"),
                 qPrintable(prompts.shown.at(0).text));
        QCOMPARE(panel->c.cmbDB_Name->currentText(), QStringLiteral("Powertrain"));
        QVERIFY(tree->model().signalSet(0x100));

        const QString out = dir->filePath("out.dbc");
        prompts.fileNames << out;
        panel->c.mnuCAN_DB_Export->trigger();
        QCOMPARE(prompts.shown.size(), 1);
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const dbc::ReadResult back = dbc::read(written.readAll());
        QVERIFY(back.ok);
        QCOMPARE(back.network.nodes, QStringList({"Engine", "Body"}));

        prompts.fileNames << dir->filePath("missing.dbc");
        panel->c.mnuCAN_Import->trigger();
        QCOMPARE(prompts.shown.last().icon, Prompts::Icon::Critical);
        QCOMPARE(panel->c.cmbDB_Name->currentText(), QStringLiteral("Powertrain"));
    }

    void showsTheDataBaseSorted()
    {
        show(1);
        QCOMPARE(panel->c.cmdDB_Property->text(), QString("?"));
        QCOMPARE(panel->c.cmbDB_Name->count(), 3);
        QTreeWidgetItem *root = panel->c.tvDB_IDs->topLevelItem(0);
        QCOMPARE(QStringList({panel->c.cmbDB_Name->currentText(), root->text(0)}), QStringList({"Bus A", "Bus A"}));
        QVERIFY(root->isExpanded());
        // Devices and identifiers sorted by text, not in table order.
        QCOMPARE(root->child(0), node("DEV_11"));
        QCOMPARE(QStringList({root->child(1)->child(0)->text(0), root->child(1)->child(1)->text(0)}),
                 QStringList({"100 - Rpm", "101 - Temp"}));
        QCOMPARE(QStringList({tree->nodeImage("DEV_10"), tree->nodeImage("DEV_11")}),
                 QStringList({"DeviceDef", "Device"}));
        QVERIFY(!root->icon(0).isNull() && !node(kRpm)->icon(0).isNull());
        QVERIFY(!panel->c.mnuCAN_DB_Expand->isEnabled() && panel->c.mnuCAN_DB_Collapse->isEnabled());

        // Choosing from the list: the empty item leaves no data base.
        QSignalSpy menu(tree.get(), &DbTree::canDbMenuChanged);
        QSignalSpy resets(tree.get(), &DbTree::linkResetRequested);
        panel->c.cmbDB_Name->setCurrentIndex(0);
        tree->cmbDB_Name_Click();
        QVERIFY(panel->c.tvDB_IDs->topLevelItemCount() == 0 && panel->c.cmdDB_Property->text() == "+");
        QCOMPARE(menu.last(), (QVariantList{false, QString()}));
        panel->c.cmbDB_Name->setCurrentIndex(2);
        tree->cmbDB_Name_Click();
        QCOMPARE(node("CAN")->text(0), QString("Bus B"));
        QCOMPARE(menu.last(), (QVariantList{true, "Bus B"}));
        QCOMPARE(resets.count(), 2);
    }

    // The user's tick goes to the model and a refused write puts the box back;
    // what the editors change through the model shows at once.
    void changesFollowTheModel()
    {
        show(1);
        node(kRpm)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(enableOf(101), 0);
        QVERIFY(!shown("DEV_10") && !shown("CAN"));
        exec("PRAGMA query_only = ON");
        node("DEV_11")->setCheckState(0, Qt::Unchecked);
        QCOMPARE(prompts.texts(), QStringList{"Error of updating CAN Data Base."});
        QVERIFY(shown("DEV_11") && shown(kDoor));
        exec("PRAGMA query_only = OFF");
        node(kRpm)->setCheckState(0, Qt::Checked);
        QVERIFY(shown("DEV_10"));

        CanDbModel &m = tree->model();
        QSignalSpy menu(tree.get(), &DbTree::canDbMenuChanged);
        QCOMPARE(m.renameDataBase(1, "Bus 'A'"), WriteResult::Stored);
        QCOMPARE(QStringList({node("CAN")->text(0), panel->c.cmbDB_Name->currentText()}),
                 QStringList({"Bus 'A'", "Bus 'A'"}));
        QCOMPARE(menu.first(), (QVariantList{true, "Bus 'A'"}));
        QCOMPARE(m.setDefaultDevice(1, 11), WriteResult::Stored);
        QCOMPARE(QStringList({tree->nodeImage("DEV_10"), tree->nodeImage("DEV_11")}),
                 QStringList({"Device", "DeviceDef"}));
        QCOMPARE(m.renameDevice(11, "Doors"), WriteResult::Stored);
        QCOMPARE(node("DEV_11")->text(0), QString("Doors"));

        QVERIFY(m.addIdentifier(11, 0x222, "Wiper", true, {}));
        m.checkNode(kDoor, false);
        QVERIFY(node("ID_00000222")->parent() == node("DEV_11"));
        QCOMPARE(panel->c.tvDB_IDs->currentItem(), node("ID_00000222"));
        CanDbModel::IdentifierChange move;
        move.deviceId = 10;
        move.name = "Revs";
        QCOMPARE(m.changeIdentifier(kDoor, move), WriteResult::Stored);
        QVERIFY(node(kDoor)->parent() == node("DEV_10") && node(kDoor)->text(0) == "123.04567 - Revs");
        QVERIFY(!shown("DEV_10") && shown("DEV_11")); // the boxes follow the move
    }

    void menusFollowTheClickedNode_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<bool>>("enabled"); // device Edit, device Delete, identifier Edit
        QTest::addColumn<QString>("popup");
        QTest::addColumn<QString>("defaultItem");
        // clang-format off
        QTest::newRow("empty space opens CAN") << "" << QList<bool>{false, false, false} << "mnuCAN" << "";
        QTest::newRow("root opens CAN DB, Edit bold")
            << "CAN" << QList<bool>{false, false, false} << "mnuCAN_DB" << "mnuCAN_DB_Edit";
        QTest::newRow("default device cannot be deleted")
            << "DEV_10" << QList<bool>{true, false, false} << "mnuCAN_Devices" << "";
        QTest::newRow("other device can") << "DEV_11" << QList<bool>{true, true, false} << "mnuCAN_Devices" << "";
        QTest::newRow("identifier opens IDs, Edit bold")
            << kDoor << QList<bool>{false, false, true} << "mnuCAN_IDs" << "mnuCAN_IDs_Edit";
        // clang-format on
    }
    void menusFollowTheClickedNode()
    {
        QFETCH(QString, key);
        show(1);
        click(kRpm); // enable everything first: the next mouse-down must clear it
        click(key);
        QCOMPARE(tree->currentNodeKey(), key);
        QTEST((QList<bool>{panel->c.mnuCAN_Devices_Edit->isEnabled(), panel->c.mnuCAN_Devices_Delete->isEnabled(),
                           panel->c.mnuCAN_IDs_Edit->isEnabled()}),
              "enabled");
        QCOMPARE(panel->c.mnuCAN_IDs_Delete->isEnabled(), panel->c.mnuCAN_IDs_Edit->isEnabled());
        tree->tvDB_IDs_MouseUp(Qt::RightButton);
        QTEST(tree->lastPopup() ? tree->lastPopup()->objectName() : QString(), "popup");
        QAction *bold = tree->lastPopup()->defaultAction();
        QTEST(bold ? bold->objectName() : QString(), "defaultItem");
        tree->lastPopup()->close();
        QVERIFY(!tree->lastPopup()->defaultAction());
    }

    // Arrow keys pick nodes as clicks do; Delete runs the enabled item only.
    void keys()
    {
        show(1);
        QTreeWidget *tv = panel->c.tvDB_IDs;
        tv->setCurrentItem(node(kRpm));
        QCOMPARE(tree->currentNodeKey(), kRpm);
        QTest::keyClick(tv, Qt::Key_Up); // from "100 - Rpm" to "Engine"
        QCOMPARE(tree->currentNodeKey(), QString("DEV_10"));
        QVERIFY(panel->c.mnuCAN_Devices_Edit->isEnabled() && !panel->c.mnuCAN_IDs_Edit->isEnabled());

        QSignalSpy triggered(panel->c.mnuCAN_Devices_Delete, &QAction::triggered);
        QTest::keyClick(tv, Qt::Key_Delete); // the default device
        QVERIFY(triggered.isEmpty() && prompts.shown.isEmpty());
        tv->setCurrentItem(node("DEV_11"));
        QTest::keyClick(tv, Qt::Key_Delete);
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(prompts.texts(), QStringList{"Deleting CAN DataBase Device \"Body\". Are you sure?"});
        QVERIFY(!node("DEV_11") && !node(kDoor) && count("CAN_Device") == 1);
    }

    void expandAndCollapseFollowTheMenus()
    {
        show(1);
        panel->c.mnuCAN_DB_Collapse->trigger();
        QVERIFY(!node("CAN")->isExpanded() && panel->c.mnuCAN_DB_Expand->isEnabled());
        QVERIFY(!panel->c.mnuCAN_Devices_Expand->isEnabled() && !panel->c.mnuCAN_Devices_Collapse->isEnabled());
        panel->c.mnuCAN_DB_Expand->trigger();
        click("DEV_11");
        QVERIFY(!panel->c.mnuCAN_Devices_Expand->isEnabled());
        panel->c.mnuCAN_Devices_Collapse->trigger();
        QVERIFY(!node("DEV_11")->isExpanded() && panel->c.mnuCAN_Devices_Expand->isEnabled());
        node("DEV_11")->setExpanded(true); // the view's own arrow
        QVERIFY(panel->c.mnuCAN_Devices_Collapse->isEnabled());
    }

    // Only an identifier key may be dropped on the tree.
    void dropsCarryAnIdentifierKey()
    {
        show(1);
        for (const QString &format : {DbTree::idKeyMimeType, QStringLiteral("text/plain")}) {
            QMimeData data;
            data.setData(format, "ID_00000222");
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(panel->c.tvDB_IDs->viewport(), &enter);
            QCOMPARE(enter.isAccepted(), format == DbTree::idKeyMimeType);
        }
    }

    // ---- the editors' windows ----

    void identifierWindowShowsItsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<bool>>("shown"); // Apply and Delete shown, identifier editable
        QTest::addColumn<QString>("ext");
        QTest::newRow("add") << int(IdEditor::Mode::Add) << "ID_00000123" << QList<bool>{false, false, false}
                             << "-----";
        QTest::newRow("edit") << int(IdEditor::Mode::Edit) << kDoor << QList<bool>{true, true, false} << "04567";
        QTest::newRow("new") << int(IdEditor::Mode::New) << "DEV_11" << QList<bool>{false, false, true} << "34567";
    }
    void identifierWindowShowsItsMode()
    {
        QFETCH(int, mode);
        QFETCH(QString, key);
        open(1);
        frmTV_ID window(context, *model);
        QVERIFY(window.prepare(IdEditor::Mode(mode), key));
        QTEST((QList<bool>{!window.cmdApply->isHidden(), !window.cmdDelete->isHidden(), window.frmCAN_ID->isEnabled()}),
              "shown");
        QVERIFY(!window.cmdApply->isEnabled() || mode == int(IdEditor::Mode::Add));
        QTEST(window.txtIDExt->text(), "ext");
        QCOMPARE(window.txtIDExt->isEnabled(), window.frmCAN_ID->isEnabled() && key == kDoor);
        QVERIFY(!window.cmdDataChange->isEnabled());
    }

    // The signal boxes show the clicked field, follow the chosen multiplexing,
    // and a typed cycle time is an unsaved change that Apply stores.
    void identifierWindowShowsSignalProperties()
    {
        exec("update CAN_ID set CycleTime=100 where id_CAN_ID=101");
        exec("insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\", ByteOrder, Factor) "
             "values (1000, 101, 'Revs', 7, 16, 1, 0.5)");
        exec("insert into CAN_Value values (1000, 0, 'Stopped')");
        open(1);
        frmTV_ID window(context, *model);
        QVERIFY(window.prepare(IdEditor::Mode::Edit, kRpm));
        QCOMPARE(window.txtCycleTime->text(), QString("100"));
        emit window.lvListViewData->itemClicked(window.lvListViewData->topLevelItem(0), 0);
        QCOMPARE(QStringList({window.cmbDataOrder->currentText(), window.txtDataFactor->text(),
                              window.txtDataValueTexts->toPlainText(), window.cmdDataChange->text()}),
                 QStringList({"big-endian", "0.5", "0 Stopped", "Delete"}));
        QVERIFY(!window.txtDataMultiplexValue->isEnabled());
        window.cmbDataMultiplex->setCurrentIndex(2);
        emit window.cmbDataMultiplex->activated(2);
        QVERIFY(window.txtDataMultiplexValue->isEnabled() && window.cmdDataChange->isEnabled());
        QCOMPARE(window.cmdDataChange->text(), QString("Apply"));
        QVERIFY(!window.cmdApply->isEnabled());
        QTest::keyClicks(window.txtCycleTime, "0");
        QVERIFY(window.cmdApply->isEnabled());
        QTest::mouseClick(window.cmdApply, Qt::LeftButton);
        QCOMPARE(value("select CycleTime from CAN_ID where id_CAN_ID=101").toInt(), 1000);
    }

    void dataBaseWindowsShowTheirFields()
    {
        open(1);
        frmCAN_DB edit(context, *model);
        QCOMPARE(edit.cmbCAN_Speed->currentText(), QString("250000"));
        QVERIFY(!edit.cmdApply->isEnabled());
        QTest::keyClicks(edit.txtName, "x");
        QVERIFY(edit.cmdApply->isEnabled());

        frmCAN_DB_New create(context, *model);
        QCOMPARE(create.cmbCAN->itemText(0), QString()); // the defaults' item
        QCOMPARE(create.cmbCAN->currentText(), QString("Bus A"));
        // The "+" beside the lists have nothing to add: greyed, with a reason.
        for (QPushButton *plus :
             {edit.cmdCAN_Speed_Other, edit.cmdCAN_Timer_Other, create.cmdCAN_Speed_Other, create.cmdCAN_Timer_Other})
            QVERIFY2(!plus->isEnabled() && !plus->toolTip().isEmpty(), qPrintable(plus->objectName()));
    }
};

TESSEL_TEST(tst_DbTree)
#include "tst_dbtree.moc"
