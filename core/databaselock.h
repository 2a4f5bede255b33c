#pragma once

#include <QLockFile>
#include <QString>

// Lets one Tessel at a time write a database file: a lock file beside it
// ("Tessel.mdb.lock") holds the owner's process id, program and host name.
// A lock left behind by a program that is no longer running on this host is
// taken over. The lock goes when this object does (at the program's end).
class DatabaseLock final
{
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    // Who holds the lock, as its file says.
    struct Holder
    {
        qint64 pid = 0;
        QString hostName;
        QString application;
    };

    explicit DatabaseLock(const QString &databasePath);

    // Takes the lock without waiting. HeldElsewhere: another running program
    // has it (holder() tells which); Failed: the file cannot be made.
    Result tryLock();
    void unlock();
    [[nodiscard]] bool isLocked() const { return lockFile.isLocked(); }
    [[nodiscard]] Holder holder() const;
    [[nodiscard]] QString fileName() const { return path; }

    [[nodiscard]] static QString lockPathFor(const QString &databasePath);

private:
    QString path;
    QLockFile lockFile;
};
