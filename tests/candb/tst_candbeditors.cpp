// Editing the CAN database: creating a data base, the data base, device and identifier editors, the delete operations
// and adding captured identifiers, driven through the editors' logic against the model and a fake monitor list.
#include "support/testregistry.h"
#include "candb/candbeditor.h"
#include "candb/candbnew.h"
#include "candb/deleteops.h"
#include "candb/deviceeditor.h"
#include "candb/ideditor.h"
#include "support/dbharness.h"

#include <QSignalSpy>
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
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (100, 10, 256, 'Rpm', 1)",
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (101, 11, 613172583, 'Door', 1)",
    "insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\") values (1000, 100, 'Speed', 0, 16)",
};

const QString kRpm = QStringLiteral("ID_00000100");
const QString kDoor = QStringLiteral("ID_248C4567");

// Every property of a field, readable in a failed comparison.
QString describe(const DataField &f)
{
    QStringList texts;
    for (auto it = f.valueTexts.cbegin(); it != f.valueTexts.cend(); ++it)
        texts << QString::number(it.key()) + '=' + it.value();
    return QStringLiteral("%1 %2..%3 order%4 type%5 *%6 +%7 [%8,%9] %10 '%11' mux%12/%13 {%14}")
        .arg(f.name)
        .arg(f.begin)
        .arg(f.end)
        .arg(int(f.order))
        .arg(int(f.type))
        .arg(numberText(f.factor), numberText(f.offset), numberText(f.minimum), numberText(f.maximum), f.unit,
             f.comment)
        .arg(int(f.multiplexor))
        .arg(f.multiplexValue)
        .arg(texts.join(u','));
}
QString describe(const QList<DataField> &fields)
{
    QStringList all;
    for (const DataField &f : fields)
        all << describe(f);
    return all.join(QStringLiteral("; "));
}

// Boxes changed as "order=1;factor=0.5;...", each name a box's own.
SignalBoxes with(SignalBoxes boxes, const QString &changes)
{
    const QHash<QString, QString *> texts{
        {"factor", &boxes.txtDataFactor},        {"offset", &boxes.txtDataOffset},   {"min", &boxes.txtDataMinimum},
        {"max", &boxes.txtDataMaximum},          {"unit", &boxes.txtDataUnit},       {"comment", &boxes.txtDataComment},
        {"value", &boxes.txtDataMultiplexValue}, {"texts", &boxes.txtDataValueTexts}};
    const QHash<QString, int *> choices{
        {"order", &boxes.cmbDataOrder}, {"type", &boxes.cmbDataType}, {"mux", &boxes.cmbDataMultiplex}};
    for (const QString &change : changes.split(u';', Qt::SkipEmptyParts)) {
        const QString name = change.section(u'=', 0, 0);
        const QString value = change.section(u'=', 1);
        if (texts.contains(name))
            *texts[name] = value;
        else
            *choices.value(name) = value.toInt();
    }
    return boxes;
}

} // namespace

class tst_CanDbEditors : public QObject, DbHarness
{
    Q_OBJECT

    CanDbModel &dbModel() const { return *model; }
    QString text(const QString &select) const { return value(select).toString(); }

private slots:
    void init() { freshDatabase(fixture); }
    void cleanup() { closeAll(); }

    void createFromAnEmptyFile()
    {
        freshDatabase({});
        open(0);
        CanDbNew create(context, dbModel());
        create.load();
        QCOMPARE(create.cmbCAN.items, QStringList{QString()});
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
        QCOMPARE(text("select id_CAN||'/'||Name||'/'||id_CAN_Device||'/'||id_CAN_Speed||'/'||id_CAN_Timer from CAN"),
                 QString("1/O'Brien's bus/1/2/1"));
        QCOMPARE(text("select id_CAN_Device||'/'||id_CAN||'/'||Name from CAN_Device"), QString("1/1/Unsorted IDs"));
        QCOMPARE(params->getParam("counter_id_CAN", "?") + params->getParam("counter_id_CAN_Device", "?"), "22");
        QCOMPARE(params->getParam("id_CAN", "?") + params->getParam("id_CAN_Device", "?"), "11");
        dbModel().load(true, true);
        QCOMPARE(dbModel().dbName(), QString("O'Brien's bus"));
        // The data base and its default device are stored together or not at all.
        const QStringList before = everything();
        exec("create trigger refuse before insert on CAN_Device begin select raise(abort, 'refused'); end");
        CanDbNew other(context, dbModel());
        other.load();
        other.txtName = "Bus C";
        QVERIFY(!other.cmdOk_Click());
        QCOMPARE(prompts.texts().last(), QString("Error of creation CAN Data Base."));
        QCOMPARE(everything(), before);
        QCOMPARE(params->getParam("id_CAN", "?"), QString("1"));
    }

    void templateChoiceSwitchesSpeedAndTimer()
    {
        open(1);
        CanDbNew create(context, dbModel());
        create.load();
        auto speed = [&] { return create.cmbCAN_Speed.ids.value(create.cmbCAN_Speed.selected); };
        auto timer = [&] { return create.cmbCAN_Timer.ids.value(create.cmbCAN_Timer.selected); };
        // The current data base is the template at first.
        QCOMPARE(create.cmbCAN.items.value(create.cmbCAN.selected), QString("Bus A"));
        QCOMPARE(QPair(speed(), timer()), QPair(3, 4));
        create.cmbCAN_Click(int(create.cmbCAN.items.indexOf("Bus B")));
        QCOMPARE(QPair(speed(), timer()), QPair(5, 2));
        params->setParam("def_CAN_Speed", "7");
        params->setParam("def_CAN_Timer", "3");
        create.cmbCAN_Click(0); // the empty item: the defaults
        QCOMPARE(QPair(speed(), timer()), QPair(7, 3));
        // The user's own choice stays until another template is chosen.
        create.cmbCAN_Speed.selected = 0;
        create.cmbCAN_Click(0);
        QCOMPARE(create.cmbCAN_Speed.selected, 0);
    }

    void refusedNamesWriteNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString lineBreak = QStringLiteral("Two\nlines");
        const QString deviceTaken = QStringLiteral("CAN Data Base Device with given name is present.");
        const QString deviceName = QStringLiteral("Name of CAN Data Base Device is not defined.");
        const QString description = QStringLiteral("Description of CAN Data Base ID is not defined.");
        const QString dbName = QStringLiteral("Name of CAN Data Base is not defined.");
        // clang-format off
        QTest::newRow("new data base, taken") << "new db" << "Bus B" << "CAN Data Base with given name is present.";
        QTest::newRow("new data base, line break") << "new db" << lineBreak << dbName;
        QTest::newRow("new data base's default device, tab")
            << "new db device" << QStringLiteral("Tab\tbed") << "Default Device CAN Data Base is not defined.";
        QTest::newRow("data base renamed, carriage return") << "db" << QStringLiteral("Carriage\rreturn") << dbName;
        QTest::newRow("new device, taken") << "add device" << "Engine" << deviceTaken;
        QTest::newRow("new device, line break") << "add device" << lineBreak << deviceName;
        QTest::newRow("device renamed, taken") << "rename device" << "Engine" << deviceTaken;
        QTest::newRow("device renamed, line separator")
            << "rename device" << QStringLiteral("Line\u2028separator") << deviceName;
        QTest::newRow("new identifier's description") << "new id" << lineBreak << description;
        QTest::newRow("identifier's description edited") << "edit id" << QString("Nul") + QChar(u'\0') << description;
        QTest::newRow("data field name") << "data" << lineBreak << "Description of Data is not defined.";
        // clang-format on
    }
    void refusedNamesWriteNothing()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        open(1);
        const QStringList before = everything();
        bool closes = true;
        if (field.startsWith("new db")) {
            CanDbNew create(context, dbModel());
            create.load();
            create.txtName = field == "new db" ? name : "Bus C";
            if (field == "new db device")
                create.txtDefDevice = name;
            closes = create.cmdOk_Click();
        } else if (field == "db") {
            CanDbEditor editor(context, dbModel());
            editor.load();
            editor.txtName_Change(name);
            editor.cmdApply_Click();
            closes = false;
        } else if (field.endsWith("device")) {
            DeviceEditor editor(context, dbModel());
            if (field == "add device")
                editor.openAdd();
            else
                QVERIFY(editor.openEdit("DEV_11"));
            editor.txtName_Change(name);
            closes = editor.cmdOk_Click();
            QVERIFY(editor.cmdApplyEnabled); // to try again
            QCOMPARE(editor.deviceId, field == "add device" ? -1 : 11);
        } else {
            IdEditor editor(context, dbModel());
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
        QTEST(prompts.texts().join('|'), "message");
        QVERIFY(!closes && prompts.shown.first().icon == Prompts::Icon::Critical);
        QCOMPARE(everything(), before);
        QCOMPARE(dbModel().rootCaption() + dbModel().device(11)->name + dbModel().identifier(kRpm)->name,
                 QString("Bus ABodyRpm"));
        QVERIFY(!params->contains("counter_id_CAN") && !params->contains("counter_id_CAN_Device"));
    }

    void sameDeviceNameInAnotherDataBaseIsAccepted()
    {
        open(1);
        DeviceEditor editor(context, dbModel());
        editor.openAdd();
        editor.txtName_Change("Driver's door");
        QVERIFY(editor.cmdOk_Click() && editor.deviceId == 1);
        QCOMPARE(text("select id_CAN||Name from CAN_Device where id_CAN_Device=1"), QString("1Driver's door"));
        QVERIFY(dbModel().isTicked("DEV_1")); // the box of the editor
        params->setParam("id_CAN", 2);
        DeviceEditor other(context, dbModel());
        other.openAdd();
        other.txtName_Change("Body");
        QVERIFY(other.cmdOk_Click());
        QCOMPARE(value("select count(*) from CAN_Device where Name='Body'").toInt(), 2);
    }

    // Opening an editor and pressing Ok without a change writes nothing; the
    // box of an identifier or a device writes Enable and nothing else.
    void okWithoutChangesWritesNothingAndBoxesOnlyEnable()
    {
        open(1);
        QStringList expected = everything();
        CanDbEditor dbEditor(context, dbModel());
        dbEditor.load();
        QCOMPARE(dbEditor.cmbCAN_Speed.ids.value(dbEditor.cmbCAN_Speed.selected), 3);
        QVERIFY(dbEditor.chkEnable && !dbEditor.cmdApplyEnabled && dbEditor.cmdOk_Click() && dbEditor.queryUnload());
        DeviceEditor device(context, dbModel());
        QVERIFY(device.openEdit("DEV_10") && !device.cmdDeleteVisible); // the default device has no Delete
        QVERIFY(!device.cmdApplyEnabled && device.cmdOk_Click());
        IdEditor identifier(context, dbModel());
        QVERIFY(identifier.openNew("CAN") && identifier.cmdOk_Click() && !identifier.result);
        QCOMPARE(everything(), expected);

        IdEditor rpm(context, dbModel());
        QVERIFY(rpm.openEdit(kRpm));
        rpm.chkEnable_Click(false);
        QVERIFY(rpm.cmdApplyEnabled && rpm.cmdOk_Click());
        DeviceEditor body(context, dbModel());
        QVERIFY(body.openEdit("DEV_11") && body.cmdDeleteVisible);
        body.chkEnable_Click(false);
        QVERIFY(body.cmdOk_Click());
        expected.replaceInStrings("100|10|256|Rpm|1", "100|10|256|Rpm|0");
        expected.replaceInStrings("101|11|613172583|Door|1", "101|11|613172583|Door|0");
        QCOMPARE(everything(), expected);
        QVERIFY(!params->contains("counter_id_CAN_Data") && prompts.shown.isEmpty());
    }

    // A rename to a taken name is refused, the other fields are still written.
    void dataBaseEditorAppliesFieldByField()
    {
        open(1);
        QSignalSpy resets(&dbModel(), &CanDbModel::linkResetRequested);
        CanDbEditor editor(context, dbModel());
        editor.load();
        editor.txtName_Change("Bus B");
        editor.cmbDevDevice_Click(int(editor.cmbDevDevice.items.indexOf("Body")));
        editor.cmbCAN_Speed_Click(int(editor.cmbCAN_Speed.ids.indexOf(1)));
        editor.chkEnable_Click(false);
        QVERIFY(editor.cmdApplyEnabled);
        editor.cmdApply_Click();
        QCOMPARE(prompts.texts(), QStringList{"CAN Data Base with given name is present."});
        QCOMPARE(text("select Name||'/'||id_CAN_Device||'/'||id_CAN_Speed from CAN where id_CAN=1"),
                 QString("Bus A/11/1"));
        QCOMPARE(params->getParam("id_CAN_Device", "?") + params->getParam("id_CAN_Speed", "?"), "111");
        QCOMPARE(QPair(dbModel().defaultDevice(), int(resets.count())), QPair(11, 1));
        QCOMPARE(value("select sum(Enable) from CAN_ID").toInt(), 0);
        QVERIFY(dbModel().reloadWanted() && !dbModel().isTicked(kRpm) && !editor.cmdApplyEnabled);
        editor.txtName_Change("Bus 'A'");
        editor.cmdApply_Click();
        QCOMPARE(text("select Name from CAN where id_CAN=1"), QString("Bus 'A'"));
        QCOMPARE(dbModel().rootCaption() + dbModel().dbName(), QString("Bus 'A'Bus 'A'"));
    }

    // Closing an edited device asks once: Yes saves, No closes unsaved, Cancel stays open.
    void unloadQuestion()
    {
        open(1);
        const QList<std::tuple<Prompts::Answer, bool, QString>> answers{{Prompts::Answer::Cancel, false, "Engine"},
                                                                        {Prompts::Answer::No, true, "Engine"},
                                                                        {Prompts::Answer::Yes, true, "Renamed"}};
        for (const auto &[answer, closes, stored] : answers) {
            DeviceEditor editor(context, dbModel());
            QVERIFY(editor.openEdit("DEV_10"));
            editor.txtName_Change("Renamed");
            prompts.shown.clear();
            prompts.answers << answer;
            QCOMPARE(editor.queryUnload(), closes);
            QCOMPARE(prompts.texts(), QStringList{"Settings was been chanded. Save?"});
            QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::YesNoCancel);
            QCOMPARE(text("select Name from CAN_Device where id_CAN_Device=10"), stored);
        }
    }

    void silentAddOfACapturedIdentifier()
    {
        monitor.addRow("ID_00000123", 3, false, "ID_00000123_new");
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openAdd("ID_00000123") && editor.silentAdd());
        QCOMPARE(text("select id_CAN_Device||'/'||ID||'/'||Name||'/'||Enable from CAN_ID where id_CAN_ID=1"),
                 QString("10/291/Unknown : 123/0"));
        QCOMPARE(text("select id_CAN_ID||'/'||Name||'/'||\"Begin\"||'/'||\"Count\" from CAN_Data where id_CAN_Data=1"),
                 QString("1/Unknown/0/64"));
        QCOMPARE(count("CAN_Data"), 2);
        QCOMPARE(dbModel().identifier("ID_00000123")->caption(), QString("123 - Unknown : 123"));
        QCOMPARE(monitor.rows["ID_00000123"].icon, QString("ID_00000123"));
        QVERIFY(prompts.shown.isEmpty());
    }

    // Without a current data base "Copy to CAN Data Base" (and the double
    // click's silent add) says so at once: the editor does not open, so the
    // user fills nothing in to lose.
    void addingWithoutADataBaseIsRefusedBeforeTheEditorOpens()
    {
        monitor.addRow("ID_00000123", 3, true, "ID_00000123_new");
        open(0);
        IdEditor editor(context, dbModel());
        QVERIFY(!editor.openAdd("ID_00000123"));
        QCOMPARE(prompts.texts(), QStringList{"Error. CAN Data Base must be created, before..."});
        QCOMPARE(prompts.shown.first().title, QString("Adding ID to CAN Data Base..."));
        QCOMPARE(count("CAN_ID"), 2);
    }

    // Data fields, description and device of one edit are stored together;
    // a field is stored as Begin and Count, also when typed backwards.
    void editingAnIdentifier()
    {
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm) && !editor.frmCAN_IDEnabled && !editor.cmdApplyEnabled);
        QCOMPARE(editor.lvListViewData.first().text(), QString(" 0..15"));
        editor.lvListViewData_Click(0);
        QCOMPARE(editor.cmdDataChangeCaption, QString("Delete"));
        editor.txtData_Change("0", "7", "Low");
        QCOMPARE(editor.cmdDataChangeCaption, QString("Apply"));
        editor.cmdDataChange_Click();
        editor.txtData_Change("15", "8", "High's"); // typed backwards
        editor.cmdDataAdd_Click();
        QCOMPARE(editor.lvListViewData.value(1).text(), QString(" 8..15"));
        editor.cmbDevDevice_Click(1);
        editor.txtName_Change("Revs");
        QVERIFY(editor.cmdOk_Click());
        QCOMPARE(text("select group_concat(Name||':'||\"Begin\"||'+'||\"Count\", ' ') from "
                      "(select * from CAN_Data where id_CAN_ID=100 order by Name)"),
                 QString("High's:8+8 Low:0+8"));
        QCOMPARE(text("select id_CAN_Device||Name from CAN_ID where id_CAN_ID=100"), QString("11Revs"));
        QCOMPARE(dbModel().identifier(kRpm)->caption(), QString("100 - Revs"));
        QVERIFY(dbModel().device(10)->identifiers.isEmpty());
    }

    void newModeChecksTheTypedIdentifier()
    {
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openNew("DEV_11") && editor.frmCAN_IDEnabled && !editor.cmdApplyEnabled);
        editor.txtIDStd_Change("800");
        QVERIFY(!editor.txtIDStd_Validate());
        QCOMPARE(prompts.texts(), QStringList{"Value is big!"});
        QVERIFY(!editor.cmdApplyEnabled);
        editor.txtIDStd_Change("7a");
        QVERIFY(editor.txtIDStd_Validate() && editor.txtIDStd == QLatin1String("07A") && editor.cmdOk_Click());
        QCOMPARE(dbModel().identifier("ID_0000007A")->deviceId, 11);
    }
    // Every property typed in is stored with the identifier at once, a new
    // one's too, and shows the same when the identifier is opened again.
    void signalPropertiesRoundTrip()
    {
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm) && editor.txtCycleTime.isEmpty());
        editor.txtCycleTime_Change("100");
        editor.txtComment_Change("Engine's revs");
        editor.txtData_Change("7", "22", "Gear");
        editor.signalBoxes_Change(with({}, "order=1;type=1;factor=0.25;offset=-40;min=-40;max=1000;unit=rpm;"
                                           "comment=selected gear;mux=2;value=3;texts=0 Neutral\n-1 \"R \"\n0x0A Ten"));
        editor.cmdDataAdd_Click();
        editor.txtData_Change("63", "56", "Mode");
        editor.signalBoxes_Change(with({}, "mux=1"));
        editor.cmdDataAdd_Click();
        QVERIFY(prompts.shown.isEmpty() && editor.cmdOk_Click());
        const QString stored = "Speed 0..15 order0 type0 *1 +0 [0,0]  '' mux0/-1 {}; "
                               "Gear 7..22 order1 type1 *0.25 +-40 [-40,1000] rpm 'selected gear' mux0/3 "
                               "{-1=R ,0=Neutral,10=Ten}; Mode 56..63 order0 type0 *1 +0 [0,0]  '' mux1/-1 {}";
        QCOMPARE(describe(dbModel().dataFields(100)), stored);
        QCOMPARE(text("select CycleTime||'/'||Comment from CAN_ID where id_CAN_ID=100"), QString("100/Engine's revs"));

        open(1);
        IdEditor again(context, dbModel());
        QVERIFY(again.openEdit(kRpm));
        QCOMPARE(again.txtCycleTime + '/' + again.txtComment, QString("100/Engine's revs"));
        QCOMPARE(describe(again.lvListViewData), stored);
        again.lvListViewData_Click(1);
        QCOMPARE(again.signalBoxes.txtDataValueTexts, QString("-1 \"R \"\n0 Neutral\n10 Ten"));
        QCOMPARE(again.signalBoxes.txtDataMultiplexValue + again.signalBoxes.txtDataFactor, QString("30.25"));

        IdEditor added(context, dbModel());
        QVERIFY(added.openNew("DEV_11"));
        added.txtIDStd_Change("7A");
        added.txtCycleTime_Change("20");
        added.txtComment_Change("Wipers");
        QVERIFY(added.cmdOk_Click());
        QCOMPARE(text("select CycleTime||'/'||Comment from CAN_ID where ID=122"), QString("20/Wipers"));
        QCOMPARE(dbModel().identifier("ID_0000007A")->cycleTime, 20);
    }

    // A field changed in its name only keeps every other property exactly,
    // also those the boxes could not show as typed; "Add" copies what the
    // boxes show, and a fresh editor's boxes show the defaults.
    void editingAFieldKeepsWhatWasNotTouched()
    {
        exec("update CAN_Data set ByteOrder=1, ValueType=1, Factor=1.0/3, \"Offset\"=0.1, Minimum=-1e-9, "
             "Maximum=1e300, Unit=' km', Comment='c', MultiplexValue=2 where id_CAN_Data=1000");
        exec("insert into CAN_Value values (1000, 1, 'tab\there'), (1000, 2, ' lead')");
        open(1);
        const QString before = describe(dbModel().dataFields(100));
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm));
        editor.lvListViewData_Click(0);
        editor.txtData_Change("0", "15", "Revs");
        editor.cmdDataChange_Click();
        editor.txtData_Change("40", "47", "Copy");
        editor.cmdDataAdd_Click();
        QVERIFY(prompts.shown.isEmpty() && editor.cmdOk_Click());
        const QList<DataField> fields = dbModel().dataFields(100);
        QCOMPARE(describe(fields.value(0)), QString(before).replace("Speed", "Revs"));
        QCOMPARE(describe(fields.value(1)).section(u' ', 2), describe(fields.value(0)).section(u' ', 2));

        IdEditor fresh(context, dbModel());
        QVERIFY(fresh.openEdit(kDoor));
        QCOMPARE(fresh.signalBoxes, SignalBoxes::of(DataField()));
        fresh.txtData_Change("0", "7", "New");
        fresh.cmdDataAdd_Click();
        DataField defaults;
        defaults.end = 7;
        defaults.name = "New";
        QCOMPARE(describe(fresh.lvListViewData), describe(defaults));
    }

    // Each refused field shows its message for Apply and for Add alike and
    // changes nothing; the neighbouring accepted cases pass.
    void badSignalInputIsRefused_data()
    {
        QTest::addColumn<QString>("begin");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("listed"); // the row's text afterwards
        const QString kept = " 0..15";
        // clang-format off
        QTest::newRow("factor 0") << "0" << "15" << "factor=0" << "Factor must not be 0." << kept;
        QTest::newRow("factor no number") << "0" << "15" << "factor=x" << "Factor must be a number." << kept;
        QTest::newRow("offset NaN") << "0" << "15" << "offset=nan" << "Offset must be a number." << kept;
        QTest::newRow("minimum above maximum")
            << "0" << "15" << "min=5;max=1" << "Minimum must not be above Maximum." << kept;
        QTest::newRow("unit with a tab") << "0" << "15" << "unit=k\tm" << "Unit must be one line of text." << kept;
        QTest::newRow("float 32 of 16 bits")
            << "0" << "15" << "type=2" << "A float 32 field must be 32 bits long, not 16." << kept;
        QTest::newRow("float 64 of 32 bits")
            << "0" << "31" << "type=3" << "A float 64 field must be 64 bits long, not 32." << kept;
        QTest::newRow("float 32 of 32 bits") << "32" << "63" << "type=2" << "" << "32..63";
        QTest::newRow("little-endian End past 63") << "0" << "64" << "" << "Value is big!" << kept;
        QTest::newRow("big-endian End below Begin")
            << "15" << "8" << "order=1"
            << "End of a big-endian field must not be below Begin: its length is End-Begin+1." << kept;
        QTest::newRow("big-endian past the last byte")
            << "63" << "71" << "order=1" << "A big-endian field of 9 bits from bit 63 does not fit in the 8 data bytes."
            << kept;
        QTest::newRow("big-endian 64 bits from bit 7") << "7" << "70" << "order=1" << "" << " 7/64 BE";
        QTest::newRow("multiplex value negative")
            << "0" << "15" << "mux=2;value=-1" << "Multiplex value must be a whole number from 0 to 2147483647." << kept;
        QTest::newRow("multiplex value past 2^31-1")
            << "0" << "15" << "mux=2;value=2147483648"
            << "Multiplex value must be a whole number from 0 to 2147483647." << kept;
        QTest::newRow("multiplex value 2^31-1") << "0" << "15" << "mux=2;value=2147483647" << "" << " 0..15";
        QTest::newRow("value texts") << "0" << "15" << "texts=1 On\nx Off"
                                     << "Value texts, line 2: \"x\" is not a whole number." << kept;
        // clang-format on
    }
    void badSignalInputIsRefused()
    {
        QFETCH(QString, begin);
        QFETCH(QString, end);
        QFETCH(QString, changes);
        QFETCH(QString, message);
        open(1);
        const QStringList before = everything();
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm));
        editor.lvListViewData_Click(0);
        editor.txtData_Change(begin, end, "Speed");
        editor.signalBoxes_Change(with(editor.signalBoxes, changes));
        editor.cmdDataChange_Click();
        editor.cmdDataAdd_Click();
        QCOMPARE(prompts.texts(), (message.isEmpty() ? QStringList() : QStringList{message, message}));
        QTEST(editor.lvListViewData.first().text(), "listed");
        QCOMPARE(editor.lvListViewData.size(), message.isEmpty() ? 2 : 1);
        QVERIFY(editor.cmdOk_Click());
        QCOMPARE(everything() == before, !message.isEmpty());
    }

    // The one multiplexor may be changed in place, but no second one joins it.
    void oneMultiplexorPerIdentifier()
    {
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm));
        editor.lvListViewData_Click(0);
        editor.signalBoxes_Change(with(editor.signalBoxes, "mux=1"));
        editor.cmdDataChange_Click();
        editor.txtData_Change("0", "7", "Speed");
        editor.cmdDataChange_Click();
        editor.txtData_Change("16", "23", "Other");
        editor.cmdDataAdd_Click();
        QCOMPARE(prompts.texts(), QStringList{"An identifier has one multiplexor only, and \"Speed\" is it already."});
        editor.signalBoxes_Change(with(editor.signalBoxes, "mux=2;value=1"));
        editor.cmdDataAdd_Click();
        QCOMPARE(prompts.texts().size(), 1);
        QCOMPARE(describe(editor.lvListViewData).count("mux1/-1") + describe(editor.lvListViewData).count("mux0/1"), 2);
    }

    // The cycle time and the comment count as unsaved changes: closing asks,
    // and a refused cycle time keeps the editor open with nothing stored.
    void cycleTimeAndComment_data()
    {
        QTest::addColumn<QString>("cycle");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("stored"); // CycleTime/Comment afterwards
        QTest::addColumn<bool>("refused");
        // clang-format off
        QTest::newRow("emptied: none") << "" << "" << "0/" << false;
        QTest::newRow("an hour") << " 3600000 " << "" << "3600000/" << false;
        QTest::newRow("comment only") << "50" << "Slow" << "50/Slow" << false;
        QTest::newRow("past an hour") << "3600001" << "Slow" << "50/" << true;
        QTest::newRow("negative") << "-1" << "" << "50/" << true;
        QTest::newRow("with its unit") << "20ms" << "" << "50/" << true;
        // clang-format on
    }
    void cycleTimeAndComment()
    {
        QFETCH(QString, cycle);
        QFETCH(QString, comment);
        QFETCH(bool, refused);
        exec("update CAN_ID set CycleTime=50 where id_CAN_ID=100");
        open(1);
        IdEditor editor(context, dbModel());
        QVERIFY(editor.openEdit(kRpm) && editor.txtCycleTime == "50");
        editor.txtCycleTime_Change(cycle);
        editor.txtComment_Change(comment);
        QVERIFY(editor.cmdApplyEnabled);
        prompts.answers << Prompts::Answer::Yes << Prompts::Answer::Ok;
        QCOMPARE(editor.queryUnload(), !refused);
        QStringList shown{"Settings was been chanded. Save?"};
        if (refused)
            shown << "Cycle time must be a whole number of milliseconds from 0 to 3600000.";
        QCOMPARE(prompts.texts(), shown);
        QTEST(text("select CycleTime||'/'||ifnull(Comment,'') from CAN_ID where id_CAN_ID=100"), "stored");
        QCOMPARE(editor.cmdApplyEnabled, refused);
    }

    // Another Tessel on the same file (its own connection and settings cache) hands out data-field ids while this one's
    // identifier editor is open; a field the file refuses leaves every field, and a new identifier, out.
    void identifierSavesAreAllOrNothing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("other");   // takes 2 ids through the counter, deletes its rows, writes 2000, 2001
        QTest::addColumn<QString>("refused"); // a field name the file refuses to store
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("counter");
        const QString saved = QStringLiteral("2002:Speed:0+16 2003:Extra:16+8");
        const QString before = QStringLiteral("1000:Speed:0+16");
        // clang-format off
        QTest::newRow("other instance took ids meanwhile: no field lost")
            << "edit" << "takes" << "" << saved << "" << "2004";
        QTest::newRow("other instance took ids and deleted their rows: none handed out again")
            << "edit" << "takes deletes" << "" << saved << "" << "2004";
        QTest::newRow("counter behind its table: ids after the highest")
            << "edit" << "writes" << "" << saved << "" << "2004";
        QTest::newRow("refused field: the old fields stay")
            << "edit" << "" << "Extra" << before << "Error of updating CAN Data Base Device." << "2000";
        QTest::newRow("refused field of a new identifier: the identifier is not added")
            << "new" << "" << "Extra" << before << "Error addition ID=\"07A\" to CAN Data Base." << "2000";
        // clang-format on
    }
    void identifierSavesAreAllOrNothing()
    {
        QFETCH(QString, action);
        QFETCH(QString, other);
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
        IdEditor editor(context, dbModel());
        QVERIFY(action == "edit" ? editor.openEdit(kRpm) : editor.openNew("DEV_10"));
        if (action == "new")
            editor.txtIDStd_Change("7A");
        editor.txtData_Change("16", "23", "Extra");
        editor.cmdDataAdd_Click();
        for (int i = 0; other.contains("takes") && i < 2; ++i) {
            Database::Transaction transaction(otherDb);
            QVERIFY(otherDb.execute(sql::insertData, {nextId(otherDb, otherParams, sql::dataCounter), 101, "D", 0, 1}));
            QVERIFY(transaction.commit());
        }
        for (int id = 2000; other == "writes" && id < 2002; ++id)
            QVERIFY(otherDb.execute(sql::insertData, {id, 101, "Door", 0, 1}));
        if (other.contains("deletes"))
            QVERIFY(otherDb.execute("delete from CAN_Data where id_CAN_ID=101"));
        const bool closes = editor.cmdOk_Click();
        QTEST(text("select group_concat(id_CAN_Data||':'||Name||':'||\"Begin\"||'+'||\"Count\", ' ') from "
                   "(select * from CAN_Data where id_CAN_ID<>101 order by 1)"),
              "fields");
        QTEST(prompts.texts().join(QString()), "message");
        QTEST(text("select Value from Params where Name='counter_id_CAN_Data'"), "counter");
        QCOMPARE(count("CAN_Data where id_CAN_ID=101"), other.isEmpty() || other.contains("deletes") ? 0 : 2);
        // A failed edit keeps the editor open to try again; a failed new one closes without a result.
        QCOMPARE(closes, action == "new" || refused.isEmpty());
        QVERIFY(action == "edit" || !editor.result);
        QCOMPARE(count("CAN_ID"), 2);
        QVERIFY(!dbModel().contains("ID_0000007A"));
    }

    void cancelInEveryConfirmationWritesNothing()
    {
        open(1);
        const QStringList before = everything();
        const QList<QPair<QString, QString>> deletes{{"db", "Deleting CAN DataBase \"Bus A\". Are you sure?"},
                                                     {"DEV_11", "Deleting CAN DataBase Device \"Body\". Are you sure?"},
                                                     {kRpm, "Deleting CAN DataBase ID \"100 - Rpm\". Are you sure?"}};
        for (const auto &[what, text] : deletes) {
            prompts.shown.clear();
            prompts.answers << Prompts::Answer::Cancel;
            const DeleteResult deleted = what == "db"             ? deleteCanDb(context, "Bus A")
                                         : what.startsWith("DEV") ? deleteDevice(context, dbModel(), what)
                                                                  : deleteID(context, dbModel(), what);
            QCOMPARE(deleted, DeleteResult::Cancelled);
            QCOMPARE(prompts.texts(), QStringList{text});
            QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::OkCancel);
            QCOMPARE(everything(), before);
            QCOMPARE(params->getParam("id_CAN", "?"), QString("1"));
            QVERIFY((what == "db" || dbModel().contains(what)) && monitor.calls.isEmpty());
        }
    }

    // The file's relations take what lies below; the model and the monitor
    // rows follow, and rows with counted frames stay as new ones.
    void deletingADataBaseOrADevice()
    {
        monitor.addRow(kDoor, 4, true, kDoor);
        open(1);
        QCOMPARE(deleteDevice(context, dbModel(), "DEV_11"), DeleteResult::Deleted);
        QCOMPARE(count("CAN_ID"), 1);
        QVERIFY(!dbModel().contains("DEV_11") && !dbModel().contains(kDoor) && dbModel().isTicked("CAN"));
        QCOMPARE(monitor.rows[kDoor].icon, kDoor + "_new");
        QVERIFY(!monitor.rows[kDoor].checked);
        QCOMPARE(deleteCanDb(context, "Bus A"), DeleteResult::Deleted);
        QCOMPARE(params->getParam("id_CAN", "?"), QString("0"));
        QCOMPARE(count("CAN_Data"), 0);
        dbModel().load(true, true);
        QCOMPARE(dbModel().dataBases().items, (QStringList{"", "Bus B"}));
        QVERIFY(!dbModel().isLoaded() && !dbModel().hasDataBase());
        // A delete the file refuses after the question: no data base is current all the same.
        params->setParam("id_CAN", 2);
        exec("PRAGMA query_only = ON");
        QCOMPARE(deleteCanDb(context, "Bus B"), DeleteResult::Failed);
        QCOMPARE(params->getParam("id_CAN", "?") + '/' + QString::number(count("CAN")), QString("0/1"));
    }

    void deletingAnIdentifier_data()
    {
        QTest::addColumn<int>("frames");
        QTest::newRow("with counted frames: row kept, views rebuilt") << 5;
        QTest::newRow("never seen, from its editor: row gone, nothing to rebuild") << 0;
    }
    void deletingAnIdentifier()
    {
        QFETCH(int, frames);
        monitor.addRow(kRpm, frames, true, kRpm);
        open(1);
        if (frames > 0) {
            QCOMPARE(deleteID(context, dbModel(), kRpm), DeleteResult::DeletedRowKept);
        } else {
            IdEditor editor(context, dbModel());
            QVERIFY(editor.openEdit(kRpm));
            QVERIFY(editor.cmdDelete_Click() && !editor.viewsNeedRebuild); // closes once the identifier is gone
        }
        QCOMPARE(QPair(count("CAN_ID"), count("CAN_Data")), QPair(1, 0));
        QVERIFY(!dbModel().contains(kRpm));
        QCOMPARE(monitor.rows.contains(kRpm), frames > 0);
        QVERIFY(frames == 0 || (monitor.rows[kRpm].icon == kRpm + "_new" && !monitor.rows[kRpm].checked));
    }
};

TESSEL_TEST(tst_CanDbEditors)
#include "tst_candbeditors.moc"
