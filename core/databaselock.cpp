#include "core/databaselock.h"

QString DatabaseLock::lockPathFor(const QString &databasePath)
{
    return databasePath + QStringLiteral(".lock");
}

DatabaseLock::DatabaseLock(const QString &databasePath)
    : path(lockPathFor(databasePath))
    , lockFile(path)
{
    // Stale only when its owner has gone, however old the lock is.
    lockFile.setStaleLockTime(0);
}

DatabaseLock::Result DatabaseLock::tryLock()
{
    if (lockFile.isLocked() || lockFile.tryLock(0))
        return Result::Acquired;
    return lockFile.error() == QLockFile::LockFailedError ? Result::HeldElsewhere : Result::Failed;
}

void DatabaseLock::unlock()
{
    lockFile.unlock();
}

DatabaseLock::Holder DatabaseLock::holder() const
{
    Holder h;
    lockFile.getLockInfo(&h.pid, &h.hostName, &h.application);
    return h;
}
