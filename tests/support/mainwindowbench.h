#pragma once

// The main window over a fresh seed database whose folder holds the
// temporary folder ("tmp") and "Tessel.mdb", with its load timer stopped:
// the tests run the load tick themselves when they want it.
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/seeddatabase.h"
#include "views/ui/frmmain.h"

#include <QTimer>

#include <memory>

struct MainWindowBench
{
    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    AppContext context;
    std::unique_ptr<frmMain> window;

    void openWindow()
    {
        seed = std::make_unique<SeedDatabase>();
        prompts = FakePrompts();
        const QString dir = seed->dir.path();
        context = AppContext{&seed->db, &seed->params, &prompts,
                             StartupPaths{dir + QStringLiteral("/tmp"), dir, QStringLiteral("Tessel.mdb")}};
        window = std::make_unique<frmMain>(context, makeLinkPort);
        window->findChild<QTimer *>(QStringLiteral("loadTimer"))->stop();
    }
    void closeWindow()
    {
        window.reset();
        seed.reset();
    }
};
