#include "core/schemaversion.h"

#include "core/database.h"
#include "core/queries.h"

#include <QDir>
#include <QFile>

int schemaVersion(Database &db)
{
    auto q = db.openRecordset(QString::fromLatin1(sql::selectParamValue), {QStringLiteral("schema_version")});
    if (!q)
        return 0;
    if (!q->next())
        return 1;
    bool ok = false;
    const int version = q->value(0).toInt(&ok);
    return ok && version > 0 ? version : 0;
}

SchemaUpgrade upgradeSchema(Database &db)
{
    SchemaUpgrade r;
    const QString file = QDir::toNativeSeparators(db.fileName());
    const int version = schemaVersion(db);
    if (version == currentSchemaVersion) {
        r.ok = true;
        return r;
    }
    if (version == 0) {
        r.error = QStringLiteral("Data Base file \"%1\" has an unreadable schema version.").arg(file);
        return r;
    }
    if (version > currentSchemaVersion) {
        r.error = QStringLiteral("Data Base file \"%1\" was written by a newer version of Tessel (schema %2); "
                                 "this version reads schema %3 and older.")
                      .arg(file)
                      .arg(version)
                      .arg(currentSchemaVersion);
        return r;
    }
    if (db.isReadOnly()) {
        r.error = QStringLiteral("Data Base file \"%1\" is of an older version and must be upgraded, "
                                 "but it is opened read-only.")
                      .arg(file);
        return r;
    }
    r.backup = db.fileName() + QStringLiteral(".bak");
    QFile::remove(r.backup);
    if (!QFile::copy(db.fileName(), r.backup)) {
        r.error = QStringLiteral("Data Base file \"%1\" cannot be upgraded: its copy \"%2\" cannot be written.")
                      .arg(file, QDir::toNativeSeparators(r.backup));
        return r;
    }
    Database::Transaction transaction(db);
    bool stored = transaction.isActive();
    for (const char *statement : sql::upgradeTo2) {
        if (!stored)
            break;
        stored = db.execute(QString::fromLatin1(statement));
    }
    stored = stored &&
             db.execute(QString::fromLatin1(sql::saveParam),
                        {QStringLiteral("schema_version"), QString::number(currentSchemaVersion)}) &&
             transaction.commit();
    if (!stored) {
        r.error = QStringLiteral("Data Base file \"%1\" cannot be upgraded: %2").arg(file, db.lastError());
        return r;
    }
    r.ok = true;
    r.upgraded = true;
    return r;
}
