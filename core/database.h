#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// The one open connection to the database file "Tessel.mdb". A single write is
// committed at once; an edit of several statements runs inside a Transaction,
// so it is stored whole or not at all. A failed statement reads as "no result
// set" and is never reported here: callers show their own message.
class Database final
{
public:
    class Transaction;

    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the file and checks that it is a database holding every table the
    // program needs. On failure *why says what is wrong and nothing is written.
    // A file that cannot be written (or readOnly) is opened read-only: reads
    // work, every write fails like any failed statement.
    bool open(const QString &path, QString *why = nullptr, bool readOnly = false);
    void close();
    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] QString fileName() const { return path; }
    // True when the file was opened for reading only: every write fails.
    [[nodiscard]] bool isReadOnly() const { return readOnlyFile; }

    // Runs one statement with bound values ("?" placeholders, in order).
    // A select comes back positioned before its first row; nullopt on any error.
    std::optional<QSqlQuery> openRecordset(const QString &sql, const QVariantList &binds = {});
    // Runs a statement that changes data; false when it failed.
    bool execute(const QString &sql, const QVariantList &binds = {});
    // Why the last statement run through openRecordset or execute failed, in
    // the database's words; empty after one that succeeded.
    [[nodiscard]] QString lastError() const { return lastErrorText; }

    // The tables a database file must hold.
    static const QStringList &requiredTables();

private:
    bool begin();
    bool commit();
    void rollback();
    bool run(const QString &statement);

    // Statements that change data, prepared once and run again with new values.
    QHash<QString, QSqlQuery> prepared;

    QString connectionName;
    QString path;
    QString lastErrorText;
    bool readOnlyFile = false;
    int depth = 0; // open transactions; the inner ones are savepoints
};

// All or nothing for the statements run while it lives: begun on
// construction, rolled back on destruction unless commit() succeeded. The
// outermost one holds the file's write lock from the start, so another
// program's writes wait (up to the busy time-out) instead of interleaving;
// nested ones are savepoints of the enclosing one.
class Database::Transaction final
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // False when the transaction could not be begun (nothing may be written then).
    [[nodiscard]] bool isActive() const { return active; }
    // Stores what was written; false (and everything undone) when that failed.
    bool commit();

private:
    Database &db;
    bool active = false;
};
