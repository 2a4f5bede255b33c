#include "core/startup.h"

#include "core/database.h"
#include "core/databaselock.h"
#include "core/prompts.h"
#include "core/schemaversion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
const QString dbName = QStringLiteral("Tessel.mdb");
const QString seedName = QStringLiteral("Tesseltest.mdb");

// The platform's temporary folder, named even when it does not exist (Qt
// gives an empty path for a TMPDIR that names a missing folder).
QString platformTempPath()
{
    const QString qt = QDir::tempPath();
    if (!qt.isEmpty())
        return qt;
    const QString tmpdir = qEnvironmentVariable("TMPDIR");
    return tmpdir.isEmpty() ? QStringLiteral("/tmp") : tmpdir;
}
} // namespace

QString StartupPaths::dbPath() const
{
    return dbFile.isEmpty() ? QString() : QDir(workFolder).filePath(dbFile);
}

QString expandEnvironment(const QString &path)
{
    static const QRegularExpression ref(QStringLiteral("%([^%]+)%"));
    QString out;
    qsizetype last = 0;
    for (auto it = ref.globalMatch(path); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += path.mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        QString value = qEnvironmentVariable(name.toLocal8Bit().constData());
        if (value.isEmpty() &&
            (name.compare("TEMP", Qt::CaseInsensitive) == 0 || name.compare("TMP", Qt::CaseInsensitive) == 0))
            value = platformTempPath();
        out += value.isEmpty() ? m.captured(0) : value;
        last = m.capturedEnd();
    }
    out += path.mid(last);
    return QDir::fromNativeSeparators(out);
}

bool folderExists(QString &path, bool showMessage, Prompts &prompts)
{
    path = expandEnvironment(path);
    if (QFileInfo::exists(path))
        return true;
    if (showMessage)
        prompts.message(QStringLiteral("Error! Path \"%1\" not found.").arg(QDir::toNativeSeparators(path)), {},
                        Prompts::Icon::None, Prompts::Buttons::Ok);
    return false;
}

bool fileExists(QString &fileName, const QString &folder)
{
    const QString full = QDir(folder).filePath(fileName);
    if (!QFileInfo(full).isFile())
        return false;
    fileName = full;
    return true;
}

StartupResult runStartup(Prompts &prompts, const QString &currentFolder)
{
    StartupResult r;
    QString temp = QStringLiteral("%TEMP%");
    if (!folderExists(temp, true, prompts))
        return r;
    r.paths.tempFolder = QStringLiteral("%TEMP%/") + applicationTitle;
    if (!folderExists(r.paths.tempFolder, false, prompts))
        r.paths.tempFolderCreated = QDir().mkpath(r.paths.tempFolder);
    r.paths.workFolder = currentFolder;

    QString db = dbName;
    QString seed = seedName;
    if (fileExists(db, r.paths.workFolder)) {
        r.paths.dbFile = dbName;
    } else if (fileExists(seed, r.paths.workFolder)) {
        r.paths.dbFile = dbName;
        const QString target = QDir(r.paths.workFolder).filePath(dbName);
        // A seed that cannot be copied leaves no database to open: say so.
        if (!QFile::copy(seed, target)) {
            prompts.message(QStringLiteral("Data Base file \"%1\" cannot be created from \"%2\".")
                                .arg(QDir::toNativeSeparators(target), QDir::toNativeSeparators(seed)),
                            {}, Prompts::Icon::Critical);
            r.paths.dbFile.clear();
            return r;
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    } else {
        prompts.message(QStringLiteral("Data Base file is not found."), {}, Prompts::Icon::Critical);
        return r;
    }
    r.ok = true;
    return r;
}

void removeTempFolder(const StartupPaths &paths)
{
    if (!paths.tempFolderCreated || paths.tempFolder.isEmpty())
        return;
    const QFileInfo folder(paths.tempFolder);
    if (!folder.isDir() || folder.isSymLink())
        return;
    if (!paths.workFolder.isEmpty() && QDir(paths.tempFolder) == QDir(paths.workFolder))
        return;
    // rmdir removes a folder only when it is empty.
    QDir().rmdir(paths.tempFolder);
}

bool openDatabase(Prompts &prompts, Database &db, DatabaseLock &lock, const QString &path)
{
    const QString file = QDir::toNativeSeparators(path);
    bool readOnly = false;
    switch (lock.tryLock()) {
    case DatabaseLock::Result::Acquired:
        break;
    case DatabaseLock::Result::HeldElsewhere: {
        const DatabaseLock::Holder holder = lock.holder();
        const QString program = holder.application.isEmpty() ? applicationTitle : holder.application;
        const QString text = QStringLiteral("Data Base file \"%1\" is in use by %2 (process %3 on %4).\n"
                                            "Open it read-only? No ends the program.")
                                 .arg(file, program, QString::number(holder.pid), holder.hostName);
        if (prompts.message(text, {}, Prompts::Icon::Question, Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
            return false;
        readOnly = true;
        break;
    }
    case DatabaseLock::Result::Failed:
        // Without the lock another Tessel could write at the same time.
        readOnly = true;
        break;
    }
    QString why;
    if (!db.open(path, &why, readOnly)) {
        prompts.message(why, {}, Prompts::Icon::Critical);
        return false;
    }
    const SchemaUpgrade upgrade = upgradeSchema(db);
    if (!upgrade.ok) {
        db.close();
        prompts.message(upgrade.error, {}, Prompts::Icon::Critical);
        return false;
    }
    if (db.isReadOnly())
        prompts.message(
            QStringLiteral("Data Base file \"%1\" is opened read-only: changes will not be kept.").arg(file), {},
            Prompts::Icon::Exclamation);
    return true;
}
