// DBC networks stored as CAN data bases and read back.
#include "candb/dbcstore.h"
#include "core/signalstore.h"
#include "core/values.h"
#include "support/dbcsample.h"
#include "support/dbharness.h"
#include "support/testregistry.h"

#include <QtTest>

class tst_DbcStore : public QObject, DbHarness
{
    Q_OBJECT

    dbc::Network sample()
    {
        const dbc::ReadResult read = dbc::read(QByteArray(sampleDbc));
        if (!read.ok)
            qWarning("%s", qPrintable(read.error));
        return read.network;
    }

private slots:
    void init() { freshDatabase({"insert into CAN values (1, 'Bus', 10, 3, 4)",
                                 "insert into CAN_Device values (10, 1, 'Gateway')"}); }
    void cleanup() { closeAll(); }

    // Nodes become devices (the first one the default, which also takes the
    // message without a transmitter), messages identifiers, signals fields
    // with every property; the model decodes with them at once.
    void aNetworkBecomesADataBase()
    {
        const dbcstore::Stored stored = dbcstore::store(*db, *params, sample(), "Bus", 2, 1);
        QVERIFY2(stored.canId, qPrintable(stored.error));
        QCOMPARE(stored.name, QStringLiteral("Bus (2)"));
        QCOMPARE(std::tuple(stored.devices, stored.identifiers, stored.fields), std::tuple(2, 3, 7));
        open(*stored.canId);
        QCOMPARE(model->rootCaption().isEmpty(), false);
        const QList<int> devices = model->deviceIds();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(model->defaultDevice(), devices.first());
        QCOMPARE(model->device(devices.at(0))->name, QStringLiteral("Engine"));
        QCOMPARE(model->device(devices.at(0))->identifiers,
                 QStringList({"ID_00000100", "ID_00000700"}));
        QCOMPARE(model->device(devices.at(1))->identifiers, QStringList({"ID_248C4567"}));

        const CanIdentifier *engine = model->identifier("ID_00000100");
        QCOMPARE(std::tuple(engine->name, engine->cycleTime, engine->comment),
                 std::tuple(QStringLiteral("EngineData"), 100, QStringLiteral("Engine state")));
        const std::shared_ptr<const SignalSet> set = model->signalSet(0x100);
        QVERIFY(set);
        QCOMPARE(set->fields.size(), 3);
        const DataField &temp = set->fields.at(1);
        QCOMPARE(std::tuple(temp.begin, temp.length(), temp.order, temp.type, temp.offset, temp.unit),
                 std::tuple(23, 8, signaldecode::ByteOrder::BigEndian, signaldecode::ValueType::Signed, -40.0,
                            QStringLiteral("degC")));
        QCOMPARE(set->fields.at(0).comment, QStringLiteral("Crank speed"));
        QCOMPARE(set->fields.at(2).valueTexts.value(15), QStringLiteral("Reverse"));

        const std::shared_ptr<const SignalSet> door = model->signalSet(0x248C4567);
        QVERIFY(door);
        QCOMPARE(door->fields.at(0).multiplexor, true);
        QCOMPARE(door->fields.at(2).multiplexValue, 2);
        QCOMPARE(door->fields.at(3).type, signaldecode::ValueType::Float32);
        QVERIFY(!model->signalSet(0x700));
    }

    // What the data base holds survives export and import unchanged.
    void exportedDataBaseImportsBackEqual()
    {
        const dbcstore::Stored first = dbcstore::store(*db, *params, sample(), "Bus", 2, 1);
        QVERIFY(first.canId);
        // Names a DBC file cannot hold as they are.
        exec(QStringLiteral("update CAN_Device set Name='Öl & Gas' where Name='Body'"));
        exec(QStringLiteral("update CAN_ID set Name='door status #1' where ID=%1").arg(0x248C4567));
        exec(QStringLiteral("update CAN_Data set Name='left side' where Name='Left'"));
        const std::optional<dbc::Network> held = dbcstore::load(*db, *first.canId);
        QVERIFY(held);

        const dbc::ReadResult back = dbc::read(dbc::write(*held));
        QVERIFY2(back.ok, qPrintable(back.error));
        QVERIFY2(back.warnings.isEmpty(), qPrintable(back.warnings.join('\n')));
        const dbcstore::Stored second = dbcstore::store(*db, *params, back.network, "Copy", 2, 1);
        QVERIFY(second.canId);
        const std::optional<dbc::Network> again = dbcstore::load(*db, *second.canId);
        QVERIFY(again);
        QCOMPARE(again->nodes, held->nodes);
        QCOMPARE(again->messages.size(), held->messages.size());
        for (qsizetype i = 0; i < held->messages.size(); ++i)
            QVERIFY2(again->messages.at(i) == held->messages.at(i), qPrintable(held->messages.at(i).name));
    }

    // Bad files, messages Tessel cannot hold, and a refused write: reported,
    // and the file keeps what it had.
    void whatCannotBeStoredIsReportedAndNothingIsHalfWritten()
    {
        const QStringList before = everything();
        const QString garbage = dir->filePath("garbage.dbc");
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BO_ 12x Broken: 8 Engine\n");
        f.close();
        dbcstore::ImportOutcome outcome = dbcstore::importFile(*db, *params, garbage, {}, 2, 1);
        QVERIFY(!outcome.canId);
        QVERIFY2(outcome.text.contains("Line 1"), qPrintable(outcome.text));
        outcome = dbcstore::importFile(*db, *params, dir->filePath("missing.dbc"), {}, 2, 1);
        QVERIFY(!outcome.canId);
        QCOMPARE(everything(), before);

        // The last field is refused by the file: the data base goes, whole.
        exec("create trigger refuse before insert on CAN_Data when new.Name='Angle' "
             "begin select raise(abort, 'refused'); end");
        const dbcstore::Stored refused = dbcstore::store(*db, *params, sample(), "Bus", 2, 1);
        QVERIFY(!refused.canId);
        QVERIFY2(refused.error.contains("refused"), qPrintable(refused.error));
        QCOMPARE(everything(), before);
        exec("drop trigger refuse");

        dbc::Network network = sample();
        network.messages[2].id = 0x800; // a standard identifier has 11 bits
        network.messages << network.messages.first(); // the same identifier twice
        const dbcstore::Stored stored = dbcstore::store(*db, *params, network, "Bus", 2, 1);
        QVERIFY(stored.canId);
        QCOMPARE(stored.identifiers, 2);
        QCOMPARE(stored.notes.size(), 2);
        dbc::ReadResult read;
        read.ok = true;
        read.skipped << dbc::Skipped{"SIG_GROUP_", 3, 40};
        const QString report = dbcstore::report("net.dbc", read, stored);
        QVERIFY2(report.contains("2 IDs") && report.contains("SIG_GROUP_: 3, first on line 40") &&
                     report.contains("11 bits") && report.contains("already taken"),
                 qPrintable(report));
    }
};

TESSEL_TEST(tst_DbcStore)
#include "tst_dbcstore.moc"
