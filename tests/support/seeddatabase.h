#pragma once

#include "core/database.h"
#include "core/params.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A copy of the seed database with its settings store, for one test.
struct SeedDatabase
{
    QTemporaryDir dir;
    Database db;
    ParamStore params{db};

    SeedDatabase()
    {
        const QString path = dir.filePath(QStringLiteral("Tessel.mdb"));
        QFile::copy(QStringLiteral(TESSEL_SEED_DB), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QString why;
        if (!db.open(path, &why))
            qFatal("seed database: %s", qPrintable(why));
        params.loadParams();
    }
};
