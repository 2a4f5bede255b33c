// Database files of the first layout (data fields as a bare bit range) are
// upgraded when opened; files of a later layout are refused.
#include "core/database.h"
#include "core/databaselock.h"
#include "core/queries.h"
#include "core/schemaversion.h"
#include "core/signalstore.h"
#include "core/startup.h"
#include "support/fakeprompts.h"
#include "support/testregistry.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The tables as the first released program wrote them, with one identifier
// and two data fields.
const char *const firstLayout[] = {
    "CREATE TABLE Params (Name TEXT NOT NULL UNIQUE COLLATE NOCASE, Value TEXT)",
    "CREATE TABLE CAN_Speed (id_CAN_Speed INTEGER PRIMARY KEY, Speed REAL, \"View\" INTEGER NOT NULL DEFAULT 0, "
    "valueCANBT1 INTEGER, valueCANBT2 INTEGER, valueCANBT3 INTEGER)",
    "CREATE TABLE CAN_Timer (id_CAN_Timer INTEGER PRIMARY KEY, Timer REAL, \"View\" INTEGER NOT NULL DEFAULT 0, "
    "Divizor INTEGER)",
    "CREATE TABLE CAN (id_CAN INTEGER PRIMARY KEY, Name TEXT, id_CAN_Device INTEGER, id_CAN_Speed INTEGER, "
    "id_CAN_Timer INTEGER)",
    "CREATE TABLE CAN_Device (id_CAN_Device INTEGER PRIMARY KEY, id_CAN INTEGER REFERENCES CAN (id_CAN) ON DELETE "
    "CASCADE, Name TEXT)",
    "CREATE TABLE CAN_ID (id_CAN_ID INTEGER PRIMARY KEY, id_CAN_Device INTEGER REFERENCES CAN_Device "
    "(id_CAN_Device) ON DELETE CASCADE, ID INTEGER, Name TEXT, Enable INTEGER NOT NULL DEFAULT 1)",
    "CREATE TABLE CAN_Data (id_CAN_Data INTEGER PRIMARY KEY, id_CAN_ID INTEGER REFERENCES CAN_ID (id_CAN_ID) ON "
    "DELETE CASCADE, Name TEXT, \"Begin\" INTEGER, \"Count\" INTEGER)",
    "INSERT INTO Params VALUES ('COMPort', '3')",
    "INSERT INTO CAN VALUES (1, 'Bench', 1, 2, 1)",
    "INSERT INTO CAN_Device VALUES (1, 1, 'Engine')",
    "INSERT INTO CAN_ID VALUES (1, 1, 291, 'Speed', 1)",
    "INSERT INTO CAN_Data VALUES (1, 1, 'rpm', 0, 16)",
    "INSERT INTO CAN_Data VALUES (2, 1, 'gear', 16, 4)",
};

void writeFirstLayout(const QString &path, const QStringList &extra = {})
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const char *statement : firstLayout)
            QVERIFY2(q.exec(QString::fromLatin1(statement)), statement);
        for (const QString &statement : extra)
            QVERIFY2(q.exec(statement), qPrintable(statement));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("first"));
}

QByteArray bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_SchemaVersion : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path;

private slots:
    void init()
    {
        path = dir.filePath(QStringLiteral("Tessel.mdb"));
        QFile::remove(path);
        QFile::remove(path + ".bak");
    }

    // The old file is copied byte for byte, then gains the new columns with
    // defaults that read as before: little-endian, unsigned, factor 1.
    void firstLayoutIsUpgradedAndKeepsItsMeaning()
    {
        writeFirstLayout(path);
        const QByteArray before = bytes(path);
        FakePrompts prompts;
        Database db;
        DatabaseLock lock(path);
        QVERIFY(openDatabase(prompts, db, lock, path));
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.texts().join('\n')));
        QCOMPARE(bytes(path + ".bak"), before);
        QCOMPARE(schemaVersion(db), currentSchemaVersion);

        const QList<DataField> fields = signalstore::ofIdentifier(db, 1);
        QCOMPARE(fields.size(), 2);
        DataField rpm;
        rpm.name = "rpm";
        rpm.end = 15;
        QCOMPARE(fields.at(0), rpm);
        QCOMPARE(fields.at(1).text(), QStringLiteral("16..19"));
        QCOMPARE(queryNumber(db, "select CycleTime from CAN_ID where id_CAN_ID=1", {}), 0);

        // The upgraded file takes every property, value texts included.
        DataField gear = fields.at(1);
        gear.order = signaldecode::ByteOrder::BigEndian;
        gear.type = signaldecode::ValueType::Signed;
        gear.factor = -0.5;
        gear.unit = "°";
        gear.valueTexts = {{-1, "Reverse"}, {0, "Neutral"}};
        {
            Database::Transaction t(db);
            QVERIFY(signalstore::insert(db, 3, 1, gear));
            QVERIFY(t.commit());
        }
        QCOMPARE(signalstore::ofIdentifier(db, 1).value(2), gear);

        // Opening it again changes nothing and keeps the first copy.
        db.close();
        lock.unlock();
        QVERIFY(QFile::remove(path + ".bak"));
        QVERIFY(openDatabase(prompts, db, lock, path));
        QVERIFY(!QFile::exists(path + ".bak"));
    }

    // A file the upgrade cannot complete, or one of a later layout, or an
    // old one that cannot be written, is left exactly as it was.
    void filesThatCannotBeUpgradedAreRefusedUntouched_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("message");
        QTest::newRow("later layout") << QStringList{"INSERT INTO Params VALUES ('schema_version', '7')"} << false
                                      << "written by a newer version of Tessel (schema 7)";
        QTest::newRow("upgrade fails half-way")
            << QStringList{"CREATE TABLE CAN_Value (x INTEGER)"} << false << "cannot be upgraded";
        QTest::newRow("read-only") << QStringList{} << true << "opened read-only";
        QTest::newRow("unreadable version") << QStringList{"INSERT INTO Params VALUES ('schema_version', 'two')"}
                                            << false << "unreadable schema version";
    }
    void filesThatCannotBeUpgradedAreRefusedUntouched()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, readOnly);
        QFETCH(QString, message);
        writeFirstLayout(path, extra);
        const QByteArray before = bytes(path);
        Database db;
        if (readOnly) {
            // (Another program holds the lock, or the file's folder is not writable.)
            QVERIFY(db.open(path, nullptr, true));
            const SchemaUpgrade upgrade = upgradeSchema(db);
            QVERIFY(!upgrade.ok);
            QVERIFY2(upgrade.error.contains(message), qPrintable(upgrade.error));
        } else {
            FakePrompts prompts;
            DatabaseLock lock(path);
            QVERIFY(!openDatabase(prompts, db, lock, path));
            QVERIFY(!db.isOpen());
            QCOMPARE(prompts.shown.size(), 1);
            QVERIFY2(prompts.shown.at(0).text.contains(message), qPrintable(prompts.shown.at(0).text));
        }
        db.close();
        QCOMPARE(bytes(path), before);
    }
};

TESSEL_TEST(tst_SchemaVersion)
#include "tst_schemaversion.moc"
