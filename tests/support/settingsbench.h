#pragma once

#include "sender/analysersettings.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"

#include <QTemporaryDir>

#include <memory>

// The settings dialog's logic on a link to the in-process virtual analyser,
// with a starter that records the programs it is asked to start.
inline VirtualAnalyserOptions quietBus()
{
    VirtualAnalyserOptions o;
    o.frameRate = 0;
    return o;
}

struct Bench : public ProcessStarter
{
    SeedDatabase seed;
    FakePrompts prompts;
    QTemporaryDir work;
    QTemporaryDir programDir;
    std::unique_ptr<PacketLink> link = std::make_unique<PacketLink>(seed.params, prompts, makeLinkPort);
    VirtualAnalyserRig rig;
    VirtualPort *&port = rig.port;
    std::unique_ptr<AnalyserSettings> settings;
    QList<UploaderCommand> started;
    int windowsClosed = 0;

    explicit Bench(const VirtualAnalyserOptions &options = quietBus())
        : rig(*link, seed.db, seed.params, options)
    {
        // The connection window's close command, as resetLink sees it.
        link->setCloseCommand(owner::connectWindow, [this] { ++windowsClosed; });
        link->initProcesses();
        makeSettings();
    }

    void makeSettings()
    {
        settings = std::make_unique<AnalyserSettings>(*link, seed.db, seed.params, prompts, work.path());
        settings->setProgramFolder(programDir.path());
        settings->setProcessStarter(this);
    }
    bool startDetached(const UploaderCommand &command) override
    {
        started << command;
        return true;
    }

    QString param(const char *name) { return seed.params.getParam(QLatin1String(name), QStringLiteral("<none>")); }
};
