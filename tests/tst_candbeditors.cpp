// Editing the CAN database: creating a data base, the data base, device and
// identifier editors, the delete operations and adding captured identifiers,
// driven through the editors' logic against the real tree and a fake monitor list.
#include "candb/candbeditor.h"
#include "candb/candbnew.h"
#include "candb/deleteops.h"
#include "candb/deviceeditor.h"
#include "candb/ideditor.h"
#include "candb/ui/dbtree.h"
#include "candb/ui/frmcan_db.h"
#include "candb/ui/frmcan_db_new.h"
#include "candb/ui/frmtv_id.h"
#include "support/dbwindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlRecord>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

namespace {

// "Bus A" (speed 3, timer 4): devices 10 "Engine" (default) with 0x100 "Rpm"
// (one data field "Speed" 0..15) and 11 "Body" with 123.04567 "Door".
// "Bus B" (speed 5, timer 2): device 20 "Engine".
const std::initializer_list<const char *> fixture = {
    "insert into CAN values (1, 'Bus A', 10, 3, 4)",
    "insert into CAN values (2, 'Bus B', 20, 5, 2)",
    "insert into CAN_Device values (10, 1, 'Engine')",
    "insert into CAN_Device values (11, 1, 'Body')",
    "insert into CAN_Device values (20, 2, 'Engine')",
    "insert into CAN_ID values (100, 10, 256, 'Rpm', 1)",
    "insert into CAN_ID values (101, 11, 613172583, 'Door', 1)",
    "insert into CAN_Data values (1000, 100, 'Speed', 0, 16)",
};

const QString kRpm = QStringLiteral("ID_00000100");
const QString kDoor = QStringLiteral("ID_248C4567");

} // namespace

class tst_CanDbEditors : public QObject, DbWindowHarness
{
    Q_OBJECT

    DbTree &tree() const { return *window->dbTree; }

    // Every row of the four tables of the user's data, to compare before and after.
    QStringList everything() const
    {
        QStringList rows;
        for (const char *select :
             {"select * from CAN", "select * from CAN_Device", "select * from CAN_ID", "select * from CAN_Data"}) {
            auto q = db->openRecordset(QString::fromLatin1(select) + " order by 1");
            while (q && q->next()) {
                QStringList fields;
                for (int i = 0; i < q->record().count(); ++i)
                    fields << q->value(i).toString();
                rows << fields.join('|');
            }
        }
        return rows;
    }

private slots:
    void init()
    {
        readsMonitorRows = true;
        freshDatabase(fixture);
    }
    void cleanup() { closeAll(); }

    // ---- New data base --------------------------------------------------------

    void createFromAnEmptyFile()
    {
        freshDatabase({});
        open(0);
        CanDbNew create(context);
        create.load();
        QCOMPARE(create.cmbCAN.items, QStringList{QString()});
        QCOMPARE(create.txtDefDevice, QString("Unsorted IDs"));
        // The tree load set the defaults: speed row 2; timer row 0 is hidden, so the first shows.
        QCOMPARE(create.cmbCAN_Speed.ids.value(create.cmbCAN_Speed.selected), 2);
        QCOMPARE(create.cmbCAN_Timer.ids.value(create.cmbCAN_Timer.selected), 1);
        QVERIFY(!create.cmdOk_Click());
        QCOMPARE(prompts.texts(), QStringList{"Name of CAN Data Base is not defined."});
        create.txtName = "O'Brien's bus";
        create.txtDefDevice.clear();
        QVERIFY(!create.cmdOk_Click());
        QCOMPARE(prompts.texts().last(), QString("Default Device CAN Data Base is not defined."));
        QCOMPARE(count("CAN"), 0);

        create.txtDefDevice = "Unsorted IDs";
        QVERIFY(create.cmdOk_Click());
        QCOMPARE(value("select id_CAN||'/'||Name||'/'||id_CAN_Device||'/'||id_CAN_Speed||'/'||id_CAN_Timer from CAN")
                     .toString(),
                 QString("1/O'Brien's bus/1/2/1"));
        QCOMPARE(value("select id_CAN_Device||'/'||id_CAN||'/'||Name from CAN_Device").toString(),
                 QString("1/1/Unsorted IDs"));
        QCOMPARE(params->getParam("counter_id_CAN", "?"), QString("2"));
        QCOMPARE(params->getParam("counter_id_CAN_Device", "?"), QString("2"));
        QCOMPARE(params->getParam("id_CAN", "?"), QString("1"));
        QCOMPARE(params->getParam("id_CAN_Device", "?"), QString("1"));

        tree().loadCanDb(true, true);
        QCOMPARE(window->cmbDB_Name->currentText(), QString("O'Brien's bus"));
        QCOMPARE(tree().nodeText("CAN"), QString("O'Brien's bus"));
        QCOMPARE(tree().childKeys("CAN"), QStringList{"DEV_1"});
        QCOMPARE(tree().nodeImage("DEV_1"), QString("DeviceDef"));
    }

    void templateChoiceSwitchesSpeedAndTimer()
    {
        open(1);
        CanDbNew create(context);
        create.load();
        auto speed = [&] { return create.cmbCAN_Speed.ids.value(create.cmbCAN_Speed.selected); };
        auto timer = [&] { return create.cmbCAN_Timer.ids.value(create.cmbCAN_Timer.selected); };
        // The current data base is the template at first.
        QCOMPARE(create.cmbCAN.items.value(create.cmbCAN.selected), QString("Bus A"));
        QCOMPARE(speed(), 3);
        QCOMPARE(timer(), 4);
        create.cmbCAN_Click(int(create.cmbCAN.items.indexOf("Bus B")));
        QCOMPARE(speed(), 5);
        QCOMPARE(timer(), 2);
        params->setParam("def_CAN_Speed", "7");
        params->setParam("def_CAN_Timer", "3");
        create.cmbCAN_Click(0); // the empty item: the defaults
        QCOMPARE(speed(), 7);
        QCOMPARE(timer(), 3);
        // The user's own choice stays until another template is chosen.
        create.cmbCAN_Speed.selected = 0;
        create.cmbCAN_Click(0);
        QCOMPARE(create.cmbCAN_Speed.selected, 0);
    }

    // ---- Names already in use -------------------------------------------------------

    void duplicateNamesAreRefused_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("message");
        QTest::newRow("new data base") << "db"
                                       << "CAN Data Base with given name is present.";
        QTest::newRow("new device") << "add device"
                                    << "CAN Data Base Device with given name is present.";
        QTest::newRow("renamed device") << "rename device"
                                        << "CAN Data Base Device with given name is present.";
    }
    void duplicateNamesAreRefused()
    {
        QFETCH(QString, what);
        open(1);
        const QStringList before = everything();
        bool closes = true;
        if (what == "db") {
            CanDbNew create(context);
            create.load();
            create.txtName = "Bus B";
            closes = create.cmdOk_Click();
        } else if (what == "add device") {
            DeviceEditor editor(context, tree());
            editor.openAdd();
            editor.txtName_Change("Engine");
            closes = editor.cmdOk_Click();
            QCOMPARE(editor.deviceId, -1);
        } else {
            DeviceEditor editor(context, tree());
            QVERIFY(editor.openEdit("DEV_11"));
            editor.txtName_Change("Engine");
            closes = editor.cmdOk_Click();
            QVERIFY(editor.cmdApplyEnabled);
            QCOMPARE(tree().nodeText("DEV_11"), QString("Body"));
        }
        QVERIFY(!closes);
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown.first().text, "message");
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        QCOMPARE(everything(), before);
        QVERIFY(!params->contains("counter_id_CAN"));
        QVERIFY(!params->contains("counter_id_CAN_Device"));
    }

    void sameDeviceNameInAnotherDataBaseIsAccepted()
    {
        open(1);
        DeviceEditor editor(context, tree());
        editor.openAdd();
        QCOMPARE(editor.txtCAN_Name, QString("Bus A"));
        editor.txtName_Change("Driver's door");
        QVERIFY(editor.cmdOk_Click());
        QCOMPARE(editor.deviceId, 1);
        QCOMPARE(value("select Name from CAN_Device where id_CAN_Device=1").toString(), QString("Driver's door"));
        QCOMPARE(tree().nodeText("DEV_1"), QString("Driver's door"));
        QCOMPARE(tree().nodeImage("DEV_1"), QString("Device"));

        params->setParam("id_CAN", 2);
        DeviceEditor other(context, tree());
        other.openAdd();
        other.txtName_Change("Body");
        QVERIFY(other.cmdOk_Click());
        QCOMPARE(value("select count(*) from CAN_Device where Name='Body'").toInt(), 2);
    }

    // ---- Data base editor ---------------------------------------------------------------

    void dataBaseEditorOkWithoutChangesWritesNothing()
    {
        open(1);
        const QStringList before = everything();
        CanDbEditor editor(context, tree());
        editor.load();
        QCOMPARE(editor.txtName, QString("Bus A"));
        QCOMPARE(editor.cmbDevDevice.items.value(editor.cmbDevDevice.selected), QString("Engine"));
        QCOMPARE(editor.cmbCAN_Speed.ids.value(editor.cmbCAN_Speed.selected), 3);
        QVERIFY(editor.chkEnable);
        QVERIFY(!editor.cmdApplyEnabled);
        QVERIFY(editor.cmdOk_Click());
        QVERIFY(editor.queryUnload());
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(everything(), before);
    }

    // A rename to a taken name is refused, the other fields are still written.
    void dataBaseEditorAppliesFieldByField()
    {
        open(1);
        QSignalSpy resets(&tree(), &DbTree::linkResetRequested);
        CanDbEditor editor(context, tree());
        editor.load();
        editor.txtName_Change("Bus B");
        editor.cmbDevDevice_Click(int(editor.cmbDevDevice.items.indexOf("Body")));
        editor.cmbCAN_Speed_Click(int(editor.cmbCAN_Speed.ids.indexOf(1)));
        editor.chkEnable_Click(false);
        QVERIFY(editor.cmdApplyEnabled);
        editor.cmdApply_Click();
        QCOMPARE(prompts.texts(), QStringList{"CAN Data Base with given name is present."});
        QCOMPARE(value("select Name||'/'||id_CAN_Device||'/'||id_CAN_Speed from CAN where id_CAN=1").toString(),
                 QString("Bus A/11/1"));
        QCOMPARE(params->getParam("id_CAN_Device", "?"), QString("11"));
        QCOMPARE(params->getParam("id_CAN_Speed", "?"), QString("1"));
        QCOMPARE(tree().nodeImage("DEV_11"), QString("DeviceDef"));
        QCOMPARE(tree().nodeImage("DEV_10"), QString("Device"));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(value("select sum(Enable) from CAN_ID").toInt(), 0);
        QVERIFY(!tree().nodeChecked(kRpm));
        QVERIFY(!editor.cmdApplyEnabled);

        editor.txtName_Change("Bus 'A'");
        editor.cmdApply_Click();
        QCOMPARE(value("select Name from CAN where id_CAN=1").toString(), QString("Bus 'A'"));
        QCOMPARE(tree().nodeText("CAN"), QString("Bus 'A'"));
        QCOMPARE(window->cmbDB_Name->currentText(), QString("Bus 'A'"));
    }

    void unloadQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("name");
        QTest::newRow("Yes saves") << int(Prompts::Answer::Yes) << true << "Renamed";
        QTest::newRow("No closes unsaved") << int(Prompts::Answer::No) << true << "Engine";
        QTest::newRow("Cancel stays open") << int(Prompts::Answer::Cancel) << false << "Engine";
    }
    void unloadQuestion()
    {
        QFETCH(int, answer);
        open(1);
        DeviceEditor editor(context, tree());
        QVERIFY(editor.openEdit("DEV_10"));
        editor.txtName_Change("Renamed");
        prompts.answers << Prompts::Answer(answer);
        QTEST(editor.queryUnload(), "closes");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown.first().text, QString("Settings was been chanded. Save?"));
        QCOMPARE(prompts.shown.first().title, QString("Save..."));
        QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::YesNoCancel);
        QTEST(value("select Name from CAN_Device where id_CAN_Device=10").toString(), "name");

        CanDbEditor dbEditor(context, tree());
        dbEditor.load();
        dbEditor.txtName_Change("Other");
        prompts.answers << Prompts::Answer(answer);
        QTEST(dbEditor.queryUnload(), "closes");
    }

    // ---- Device editor ---------------------------------------------------------------------

    void defaultDeviceHasNoDelete()
    {
        open(1);
        DeviceEditor editor(context, tree());
        QVERIFY(editor.openEdit("DEV_10"));
        QCOMPARE(editor.caption, QString("Property CAN Data Base Device"));
        QVERIFY(!editor.cmdDeleteVisible);
        QVERIFY(editor.cmdApplyVisible && !editor.cmdApplyEnabled);
        DeviceEditor other(context, tree());
        QVERIFY(other.openEdit("DEV_11"));
        QVERIFY(other.cmdDeleteVisible);
    }

    void deviceBoxOnlyWritesEnableNotTheName()
    {
        open(1);
        DeviceEditor editor(context, tree());
        QVERIFY(editor.openEdit("DEV_11"));
        editor.chkEnable_Click(false);
        QVERIFY(editor.cmdOk_Click());
        QVERIFY(!tree().nodeChecked("DEV_11"));
        QVERIFY(!tree().nodeChecked(kDoor));
        QCOMPARE(value("select Enable from CAN_ID where id_CAN_ID=101").toInt(), 0);
        QCOMPARE(value("select Name from CAN_Device where id_CAN_Device=11").toString(), QString("Body"));
    }

    // ---- Identifier editor -------------------------------------------------------------------

    void silentAddOfACapturedIdentifier()
    {
        monitor.addRow("ID_00000123", 3, false, "ID_00000123_new");
        open(1);
        QVERIFY(tree().addID(false, "ID_00000123"));
        QCOMPARE(
            value("select id_CAN_Device||'/'||ID||'/'||Name||'/'||Enable from CAN_ID where id_CAN_ID=1").toString(),
            QString("10/291/Unknown : 123/0"));
        QCOMPARE(value("select id_CAN_ID||'/'||Name||'/'||\"Begin\"||'/'||\"Count\" from CAN_Data where id_CAN_Data=1")
                     .toString(),
                 QString("1/Unknown/0/64"));
        QCOMPARE(count("CAN_Data"), 2);
        QCOMPARE(tree().parentKey("ID_00000123"), QString("DEV_10"));
        QCOMPARE(tree().nodeText("ID_00000123"), QString("123 - Unknown : 123"));
        QCOMPARE(monitor.rows["ID_00000123"].icon, QString("ID_00000123"));
        QVERIFY(prompts.shown.isEmpty());
    }

    void dataFieldsAreStoredAsBeginAndCount()
    {
        open(1);
        IdEditor editor(context, tree());
        QVERIFY(editor.openEdit(kRpm));
        QCOMPARE(editor.caption, QString("Property CAN Data Base ID"));
        QVERIFY(!editor.frmCAN_IDEnabled);
        QCOMPARE(editor.txtName, QString("Rpm"));
        QCOMPARE(editor.lvListViewData.size(), 1);
        QCOMPARE(editor.lvListViewData.first().text(), QString(" 0..15"));
        QVERIFY(!editor.cmdApplyEnabled);

        editor.lvListViewData_Click(0);
        QCOMPARE(editor.cmdDataChangeCaption, QString("Delete"));
        QCOMPARE(editor.txtDataEnd, QString("15"));
        editor.txtData_Change("0", "7", "Low");
        QCOMPARE(editor.cmdDataChangeCaption, QString("Apply"));
        editor.cmdDataChange_Click();
        editor.txtData_Change("15", "8", "High's"); // typed backwards
        editor.cmdDataAdd_Click();
        QCOMPARE(editor.lvListViewData.value(1).text(), QString(" 8..15"));
        QVERIFY(editor.cmdOk_Click());
        QStringList stored;
        auto q = db->openRecordset("select Name, \"Begin\", \"Count\" from CAN_Data where id_CAN_ID=100 order by 1");
        while (q && q->next())
            stored << q->value(0).toString() + ":" + q->value(1).toString() + "+" + q->value(2).toString();
        QCOMPARE(stored, (QStringList{"High's:8+8", "Low:0+8"}));
    }

    void editingOnlyTheBoxLeavesTheDataFields()
    {
        open(1);
        IdEditor editor(context, tree());
        QVERIFY(editor.openEdit(kRpm));
        editor.chkEnable_Click(false);
        QVERIFY(editor.cmdApplyEnabled);
        QVERIFY(editor.cmdOk_Click());
        QVERIFY(!tree().nodeChecked(kRpm));
        QVERIFY(!tree().nodeChecked("DEV_10"));
        QCOMPARE(value("select Enable from CAN_ID where id_CAN_ID=100").toInt(), 0);
        QCOMPARE(value("select id_CAN_Data||Name from CAN_Data").toString(), QString("1000Speed"));
        QVERIFY(!params->contains("counter_id_CAN_Data"));
        QCOMPARE(tree().nodeText(kRpm), QString("100 - Rpm"));
    }

    void movingAnIdentifierToAnotherDevice()
    {
        open(1);
        IdEditor editor(context, tree());
        QVERIFY(editor.openEdit(kRpm));
        QCOMPARE(editor.cmbDevDevice.items, (QStringList{"Engine", "Body"}));
        editor.cmbDevDevice_Click(1);
        editor.txtName_Change("Revs");
        QVERIFY(editor.cmdOk_Click());
        QCOMPARE(value("select id_CAN_Device||Name from CAN_ID where id_CAN_ID=100").toString(), QString("11Revs"));
        QCOMPARE(tree().parentKey(kRpm), QString("DEV_11"));
        QCOMPARE(tree().nodeText(kRpm), QString("100 - Revs"));
        QVERIFY(tree().childKeys("DEV_10").isEmpty());
        QString device;
        QVERIFY(tree().idLabels(kRpm, &device, nullptr));
        QCOMPARE(device, QString("Body"));
    }

    void newModeChecksTheTypedIdentifier()
    {
        open(1);
        IdEditor editor(context, tree());
        QVERIFY(editor.openNew("DEV_11"));
        QCOMPARE(editor.caption, QString("New CAN Data Base ID"));
        QCOMPARE(editor.txtIDStd, QString("123"));
        QVERIFY(editor.frmCAN_IDEnabled);
        QVERIFY(!editor.cmdApplyEnabled);
        editor.txtIDStd_Change("800");
        QVERIFY(!editor.txtIDStd_Validate());
        QCOMPARE(prompts.texts(), QStringList{"Value is big!"});
        QVERIFY(!editor.cmdApplyEnabled);
        editor.txtIDStd_Change("7a");
        QVERIFY(editor.txtIDStd_Validate());
        QCOMPARE(editor.txtIDStd, QString("07A"));
        QVERIFY(editor.cmdOk_Click());
        QCOMPARE(tree().parentKey("ID_0000007A"), QString("DEV_11"));
        QVERIFY(editor.result);
    }

    void newModeAddWithoutChangesAddsNothing()
    {
        open(1);
        const QStringList before = everything();
        IdEditor editor(context, tree());
        QVERIFY(editor.openNew("CAN"));
        QVERIFY(editor.cmdOk_Click());
        QVERIFY(!editor.result);
        QCOMPARE(everything(), before);
    }

    // ---- Several statements, one edit ----------------------------------------------------------

    // Another Tessel on the same file (its own connection and settings cache)
    // hands out data-field ids while this one's identifier editor is open.
    void identifierSavesAreAllOrNothing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("otherTakes");    // ids the other instance takes through the counter
        QTest::addColumn<bool>("otherPlain");   // the other writes ids 2000, 2001 without the counter
        QTest::addColumn<bool>("otherDeletes"); // and deletes its rows again before the save
        QTest::addColumn<QString>("refused");   // a field name the file refuses to store
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("counter");
        const QStringList before{"1000:100:Speed:0+16"};
        const QStringList saved{"2002:100:Speed:0+16", "2003:100:Extra:16+8"};
        QTest::newRow("other instance took ids meanwhile: no field lost")
            << "edit" << 2 << false << false << "" << saved << QStringList{} << "2004";
        QTest::newRow("other instance took ids and deleted their rows: none handed out again")
            << "edit" << 2 << false << true << "" << saved << QStringList{} << "2004";
        QTest::newRow("counter behind its table: ids after the highest")
            << "edit" << 0 << true << false << "" << saved << QStringList{} << "2004";
        QTest::newRow("refused field: the old fields stay")
            << "edit" << 0 << false << false << "Extra" << before
            << QStringList{"Error of updating CAN Data Base Device."} << "2000";
        QTest::newRow("refused field of a new identifier: the identifier is not added")
            << "new" << 0 << false << false << "Extra" << before
            << QStringList{"Error addition ID=\"07A\" to CAN Data Base."} << "2000";
    }
    void identifierSavesAreAllOrNothing()
    {
        QFETCH(QString, action);
        QFETCH(int, otherTakes);
        QFETCH(QString, refused);
        exec("insert into Params values ('counter_id_CAN_Data', '2000')");
        params->loadParams();
        open(1);
        Database otherDb;
        QVERIFY(otherDb.open(db->fileName()));
        ParamStore otherParams(otherDb);
        otherParams.loadParams();
        if (!refused.isEmpty())
            exec("create trigger refuse before insert on CAN_Data when new.Name='" + refused +
                 "' begin select raise(abort, 'refused'); end");

        IdEditor editor(context, tree());
        QVERIFY(action == "edit" ? editor.openEdit(kRpm) : editor.openNew("DEV_10"));
        if (action == "new")
            editor.txtIDStd_Change("7A");
        editor.txtData_Change("16", "23", "Extra");
        editor.cmdDataAdd_Click();

        for (int i = 0; i < otherTakes; ++i) {
            Database::Transaction transaction(otherDb);
            QVERIFY(
                otherDb.execute(sql::insertData, {nextId(otherDb, otherParams, sql::dataCounter), 101, "Door", 0, 1}));
            QVERIFY(transaction.commit());
        }
        QFETCH(bool, otherPlain);
        if (otherPlain)
            for (int id : {2000, 2001})
                QVERIFY(otherDb.execute(sql::insertData, {id, 101, "Door", 0, 1}));
        QFETCH(bool, otherDeletes);
        if (otherDeletes)
            QVERIFY(otherDb.execute("delete from CAN_Data where id_CAN_ID=101"));
        const bool closes = editor.cmdOk_Click();

        QStringList fields;
        auto q = db->openRecordset(
            "select id_CAN_Data||':'||id_CAN_ID||':'||Name||':'||\"Begin\"||'+'||\"Count\" from CAN_Data "
            "where id_CAN_ID<>101 order by 1");
        while (q && q->next())
            fields << q->value(0).toString();
        QTEST(fields, "fields");
        QTEST(prompts.texts(), "messages");
        QTEST(value("select Value from Params where Name='counter_id_CAN_Data'").toString(), "counter");
        if (!otherDeletes)
            QCOMPARE(value("select count(*) from CAN_Data where id_CAN_ID=101").toInt(),
                     otherTakes + (otherPlain ? 2 : 0));
        if (action == "edit") {
            // A failed save keeps the editor open with Apply enabled to try again.
            QCOMPARE(closes, refused.isEmpty());
        } else {
            QCOMPARE(count("CAN_ID"), 2);
            QVERIFY(!tree().nodeExists("ID_0000007A"));
            QVERIFY(!editor.result);
        }
    }

    void newDataBaseIsStoredWithItsDeviceOrNotAtAll()
    {
        open(1);
        const QStringList before = everything();
        exec("create trigger refuse before insert on CAN_Device begin select raise(abort, 'refused'); end");
        CanDbNew create(context);
        create.load();
        create.txtName = "Bus C";
        QVERIFY(!create.cmdOk_Click());
        QCOMPARE(prompts.texts(), QStringList{"Error of creation CAN Data Base."});
        QCOMPARE(everything(), before);
        QCOMPARE(params->getParam("id_CAN", "?"), QString("1"));
    }

    // ---- Names that would break a line ------------------------------------------------------------

    void namesWithControlCharactersAreRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString lineBreak = QStringLiteral("Two\nlines");
        QTest::newRow("new data base name") << "new db" << lineBreak << "Name of CAN Data Base is not defined.";
        QTest::newRow("new data base's default device")
            << "new db device" << QStringLiteral("Tab\tbed") << "Default Device CAN Data Base is not defined.";
        QTest::newRow("data base renamed")
            << "db" << QStringLiteral("Carriage\rreturn") << "Name of CAN Data Base is not defined.";
        QTest::newRow("new device") << "add device" << lineBreak << "Name of CAN Data Base Device is not defined.";
        QTest::newRow("device renamed") << "rename device" << QStringLiteral("Line\u2028separator")
                                        << "Name of CAN Data Base Device is not defined.";
        QTest::newRow("new identifier's description")
            << "new id" << lineBreak << "Description of CAN Data Base ID is not defined.";
        QTest::newRow("identifier's description edited")
            << "edit id" << QString("Nul") + QChar(u'\0') << "Description of CAN Data Base ID is not defined.";
        QTest::newRow("data field name") << "data" << lineBreak << "Description of Data is not defined.";
    }
    void namesWithControlCharactersAreRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        open(1);
        const QStringList before = everything();
        bool closes = true;
        if (field.startsWith("new db")) {
            CanDbNew create(context);
            create.load();
            create.txtName = field == "new db" ? name : "Bus C";
            if (field == "new db device")
                create.txtDefDevice = name;
            closes = create.cmdOk_Click();
        } else if (field == "db") {
            CanDbEditor editor(context, tree());
            editor.load();
            editor.txtName_Change(name);
            editor.cmdApply_Click();
            closes = false;
            QCOMPARE(tree().nodeText("CAN"), QString("Bus A"));
        } else if (field.endsWith("device")) {
            DeviceEditor editor(context, tree());
            if (field == "add device")
                editor.openAdd();
            else
                QVERIFY(editor.openEdit("DEV_11"));
            editor.txtName_Change(name);
            closes = editor.cmdOk_Click();
        } else {
            IdEditor editor(context, tree());
            QVERIFY(field == "new id" ? editor.openNew("DEV_10") : editor.openEdit(kRpm));
            if (field == "data") {
                editor.txtData_Change("16", "23", name);
                editor.cmdDataAdd_Click();
                QCOMPARE(editor.lvListViewData.size(), 1);
                QVERIFY(!editor.cmdApplyEnabled);
                closes = false;
            } else {
                editor.txtName_Change(name);
                closes = editor.cmdOk_Click();
            }
        }
        QVERIFY(!closes);
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown.first().text, "message");
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::Critical);
        QCOMPARE(everything(), before);
    }

    // ---- The windows ----------------------------------------------------------------------------

    void identifierWindowShowsItsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("applyShown");
        QTest::addColumn<bool>("deleteShown");
        QTest::addColumn<bool>("idEditable");
        QTest::addColumn<QString>("ext");
        QTest::newRow("add") << int(IdEditor::Mode::Add) << "ID_00000123" << false << false << false << "-----";
        QTest::newRow("edit") << int(IdEditor::Mode::Edit) << kDoor << true << true << false << "04567";
        QTest::newRow("new") << int(IdEditor::Mode::New) << "DEV_11" << false << false << true << "34567";
    }
    void identifierWindowShowsItsMode()
    {
        QFETCH(int, mode);
        QFETCH(QString, key);
        open(1);
        frmTV_ID window(context, tree());
        QVERIFY(window.prepare(IdEditor::Mode(mode), key));
        QTEST(!window.cmdApply->isHidden(), "applyShown");
        QTEST(!window.cmdDelete->isHidden(), "deleteShown");
        QVERIFY(!window.cmdApply->isEnabled() || mode == int(IdEditor::Mode::Add));
        QTEST(window.frmCAN_ID->isEnabled(), "idEditable");
        QTEST(window.txtIDExt->text(), "ext");
        QCOMPARE(window.txtIDExt->isEnabled(), window.frmCAN_ID->isEnabled() && key == kDoor);
        QVERIFY(!window.cmdDataChange->isEnabled());
    }

    void dataBaseWindowsShowTheirFields()
    {
        open(1);
        frmCAN_DB edit(context, tree());
        QCOMPARE(edit.cmbCAN_Speed->currentText(), QString("250000"));
        QVERIFY(!edit.cmdApply->isEnabled());
        QTest::keyClicks(edit.txtName, "x");
        QVERIFY(edit.cmdApply->isEnabled());

        frmCAN_DB_New create(context);
        QCOMPARE(create.cmbCAN->itemText(0), QString()); // the defaults' item
        QCOMPARE(create.cmbCAN->currentText(), QString("Bus A"));
    }

    // ---- Deleting ------------------------------------------------------------------------------

    void cancelInEveryConfirmationWritesNothing_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::newRow("data base") << "db"
                                   << "Deleting CAN DataBase \"Bus A\". Are you sure?"
                                   << "Deleting CAN Data Base...";
        QTest::newRow("device") << "DEV_11"
                                << "Deleting CAN DataBase Device \"Body\". Are you sure?"
                                << "Deleting CAN Data Base Device...";
        QTest::newRow("identifier") << kRpm << "Deleting CAN DataBase ID \"100 - Rpm\". Are you sure?"
                                    << "Deleting CAN Data Base ID...";
    }
    void cancelInEveryConfirmationWritesNothing()
    {
        QFETCH(QString, what);
        open(1);
        const QStringList before = everything();
        prompts.answers << Prompts::Answer::Cancel;
        bool deleted = true;
        if (what == "db")
            deleted = deleteCanDb(context, "Bus A");
        else if (what.startsWith("DEV"))
            deleted = deleteDevice(context, tree(), what);
        else
            deleted = deleteID(context, tree(), what);
        QVERIFY(!deleted);
        QCOMPARE(prompts.shown.size(), 1);
        QTEST(prompts.shown.first().text, "text");
        QTEST(prompts.shown.first().title, "title");
        QCOMPARE(prompts.shown.first().icon, Prompts::Icon::None);
        QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::OkCancel);
        QCOMPARE(everything(), before);
        QCOMPARE(params->getParam("id_CAN", "?"), QString("1"));
        if (what != "db")
            QVERIFY(tree().nodeExists(what));
        QVERIFY(monitor.calls.isEmpty());
    }

    void deletingADataBaseTakesEverythingBelow()
    {
        open(1);
        QVERIFY(deleteCanDb(context, "Bus A"));
        QCOMPARE(params->getParam("id_CAN", "?"), QString("0"));
        QCOMPARE(count("CAN"), 1);
        QCOMPARE(count("CAN_Device"), 1);
        QCOMPARE(count("CAN_ID"), 0);
        QCOMPARE(count("CAN_Data"), 0);
        tree().loadCanDb(true, true);
        QCOMPARE(window->cmbDB_Name->count(), 2);
        QCOMPARE(window->tvDB_IDs->topLevelItemCount(), 0);
        QCOMPARE(window->cmdDB_Property->text(), QString("+"));
    }

    void deletingADeviceKeepsRowsWithFrames()
    {
        monitor.addRow(kDoor, 4, true, kDoor);
        open(1);
        QVERIFY(deleteDevice(context, tree(), "DEV_11"));
        QCOMPARE(count("CAN_ID"), 1);
        QVERIFY(!tree().nodeExists("DEV_11"));
        QVERIFY(!tree().nodeExists(kDoor));
        QCOMPARE(monitor.rows[kDoor].icon, kDoor + "_new");
        QVERIFY(!monitor.rows[kDoor].checked);
        QVERIFY(tree().nodeChecked("CAN"));
    }

    void deletingAnIdentifier_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("rebuild");
        QTest::newRow("with counted frames: row kept, views rebuilt") << 5 << true;
        QTest::newRow("never seen: row gone, nothing to rebuild") << 0 << false;
    }
    void deletingAnIdentifier()
    {
        QFETCH(int, frames);
        monitor.addRow(kRpm, frames, true, kRpm);
        open(1);
        QTEST(deleteID(context, tree(), kRpm), "rebuild");
        QCOMPARE(count("CAN_ID"), 1);
        QCOMPARE(count("CAN_Data"), 0);
        QVERIFY(!tree().nodeExists(kRpm));
        QCOMPARE(monitor.rows.contains(kRpm), frames > 0);
        if (frames > 0) {
            QCOMPARE(monitor.rows[kRpm].icon, kRpm + "_new");
            QVERIFY(!monitor.rows[kRpm].checked);
        }
    }

    void deleteFromTheEditorClosesIt()
    {
        open(1);
        IdEditor editor(context, tree());
        QVERIFY(editor.openEdit(kRpm));
        QVERIFY(editor.cmdDelete_Click());
        QVERIFY(!tree().nodeExists(kRpm));
        QVERIFY(!editor.viewsNeedRebuild);
    }
};

QTEST_MAIN(tst_CanDbEditors)
#include "tst_candbeditors.moc"
