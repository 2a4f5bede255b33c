#include "core/database.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>

namespace {
QAtomicInt connectionSerial;
}

Database::Database()
    : connectionName(QStringLiteral("tessel-%1").arg(connectionSerial.fetchAndAddRelaxed(1)))
{
}

Database::~Database()
{
    close();
}

const QStringList &Database::requiredTables()
{
    static const QStringList tables{"Params", "CAN", "CAN_Device", "CAN_ID", "CAN_Data", "CAN_Speed", "CAN_Timer"};
    return tables;
}

bool Database::open(const QString &file, QString *why, bool readOnly)
{
    close();
    auto fail = [&](const QString &reason) {
        if (why)
            *why = reason;
        close();
        return false;
    };
    if (!QFileInfo(file).isFile())
        return fail(QStringLiteral("The file \"%1\" does not exist.").arg(file));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(file);
        // The journal is made beside the file, so its folder must be writable too.
        if (!QFileInfo(file).isWritable() || !QFileInfo(QFileInfo(file).absolutePath()).isWritable())
            readOnly = true;
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000;QSQLITE_OPEN_READONLY")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open())
            return fail(QStringLiteral("The file \"%1\" cannot be opened: %2").arg(file, db.lastError().text()));
        path = file;
        readOnlyFile = readOnly;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("select name from sqlite_master where type='table'")))
            return fail(
                QStringLiteral("The file \"%1\" is not a Tessel data base: %2").arg(file, q.lastError().text()));
        QStringList present;
        while (q.next())
            present << q.value(0).toString().toLower();
        QStringList missing;
        for (const QString &t : requiredTables())
            if (!present.contains(t.toLower()))
                missing << t;
        if (!missing.isEmpty())
            return fail(QStringLiteral("The file \"%1\" is not a Tessel data base: the table(s) %2 are missing.")
                            .arg(file, missing.join(", ")));
        // Deleting a data base, a device or an identifier removes what lies below it.
        q.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    }
    return true;
}

void Database::close()
{
    prepared.clear();
    if (QSqlDatabase::contains(connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connectionName, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(connectionName);
    }
    path.clear();
    readOnlyFile = false;
    depth = 0;
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(connectionName) && QSqlDatabase::database(connectionName, false).isOpen();
}

std::optional<QSqlQuery> Database::openRecordset(const QString &sql, const QVariantList &binds)
{
    lastErrorText.clear();
    if (!isOpen()) {
        lastErrorText = QStringLiteral("the data base is not open");
        return std::nullopt;
    }
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    q.setForwardOnly(true);
    const auto failed = [this, &q] {
        lastErrorText = q.lastError().text();
        return std::nullopt;
    };
    if (!q.prepare(sql))
        return failed();
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return failed();
    return q;
}

bool Database::execute(const QString &sql, const QVariantList &binds)
{
    lastErrorText.clear();
    if (!isOpen()) {
        lastErrorText = QStringLiteral("the data base is not open");
        return false;
    }
    auto it = prepared.find(sql);
    if (it == prepared.end()) {
        QSqlQuery q(QSqlDatabase::database(connectionName, false));
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            lastErrorText = q.lastError().text();
            return false;
        }
        it = prepared.insert(sql, q);
    }
    QSqlQuery &q = *it;
    for (qsizetype i = 0; i < binds.size(); ++i)
        q.bindValue(int(i), binds.at(i));
    // A statement given fewer values than it has placeholders fails, as a
    // newly prepared one does, instead of reusing the last run's values.
    const bool ran = binds.size() == q.boundValues().size() && q.exec();
    if (!ran)
        lastErrorText = q.lastError().text().isEmpty() ? QStringLiteral("wrong number of values")
                                                       : q.lastError().text();
    q.finish();
    return ran;
}

bool Database::run(const QString &statement)
{
    if (!isOpen())
        return false;
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    return q.exec(statement);
}

bool Database::begin()
{
    const bool begun =
        depth == 0 ? run(QStringLiteral("BEGIN IMMEDIATE")) : run(QStringLiteral("SAVEPOINT tessel_%1").arg(depth));
    if (begun)
        ++depth;
    return begun;
}

bool Database::commit()
{
    if (depth == 0)
        return false;
    if (depth > 1) {
        --depth;
        return run(QStringLiteral("RELEASE tessel_%1").arg(depth));
    }
    if (!run(QStringLiteral("COMMIT"))) {
        rollback();
        return false;
    }
    depth = 0;
    return true;
}

void Database::rollback()
{
    if (depth == 0)
        return;
    --depth;
    if (depth > 0) {
        run(QStringLiteral("ROLLBACK TO tessel_%1").arg(depth));
        run(QStringLiteral("RELEASE tessel_%1").arg(depth));
    } else {
        run(QStringLiteral("ROLLBACK"));
    }
}

Database::Transaction::Transaction(Database &db)
    : db(db)
    , active(db.begin())
{
}

Database::Transaction::~Transaction()
{
    if (active)
        db.rollback();
}

bool Database::Transaction::commit()
{
    if (!active)
        return false;
    active = false;
    return db.commit();
}
