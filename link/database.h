#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// The one open connection to the database file "Tessel.mdb". Every write is
// committed at once (no transaction is held open); a failed statement reads
// as "no result set" and is never reported here: callers show their own message.
class Database final
{
public:
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

    // Runs one statement with bound values ("?" placeholders, in order).
    // A select comes back positioned before its first row; nullopt on any error.
    std::optional<QSqlQuery> openRecordset(const QString &sql, const QVariantList &binds = {});
    // Runs a statement that changes data; false when it failed.
    bool execute(const QString &sql, const QVariantList &binds = {});

    // The tables a database file must hold.
    static const QStringList &requiredTables();

private:
    QString connectionName;
    QString path;
};
