#pragma once

#include "link/connectiontest.h"
#include "link/database.h"
#include "link/packetlink.h"
#include "link/params.h"

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

// Records what the link shows in the main window.
class FakeDisplay final : public LinkDisplay
{
public:
    QString panel[5];
    int runMode = -1;

    void setStatusPanel(int p, const QString &text) override
    {
        if (p >= 1 && p <= 4)
            panel[p] = text;
    }
    void showRunMode(int mode) override { runMode = mode; }
};

// Runs the connection test without a window: drives the link's poll and
// time-out scan until the chain is over (each scan is one 10 ms tick).
inline void runConnectHeadless(PacketLink &link, ConnectionTest &test, bool showParams)
{
    test.start(showParams);
    for (int tick = 0; tick < 100000 && test.isRunning(); ++tick) {
        QCoreApplication::processEvents();
        link.poll();
        if (test.isRunning())
            link.timeoutScan();
    }
}
