#include "link/runcommands.h"

#include "link/packetlink.h"

RunCommands::RunCommands(PacketLink &link, QObject *mainForm)
    : link(link)
    , mainForm(mainForm)
{
    link.registerOwner(owner::runCommands, this);
}

RunCommands::~RunCommands()
{
    link.registerOwner(owner::runCommands, nullptr);
}

void RunCommands::treatRunCommand(int process, const QString &command)
{
    if (process == 0) {
        int mode = 0;
        if (command == QLatin1String("CMD_CAN_RESET"))
            mode = analyser::modeReset;
        else if (command == QLatin1String("CMD_CAN_STANDBY"))
            mode = analyser::modeStandby;
        else if (command == QLatin1String("CMD_CAN_LISTEN"))
            mode = analyser::modeListen;
        else if (command == QLatin1String("CMD_CAN_ENABLE"))
            mode = analyser::modeEnable;
        else
            return;
        if (link.acquireLink(mainForm, false, true) == Acquired::No)
            return;
        quint8 status = quint8(mode);
        if (mode == analyser::modeReset)
            link.setAnalyserStatus(status); // a reset also ends the capture: show it at once
        else if (link.isCapturing())
            status |= analyser::captureBit;
        if (link.sendCommand(analyser::payload({analyser::cmdSetStatus, status}), owner::runCommands, command, errorText, 2000) < 0)
            link.releaseLink(nullptr, false, false); // nothing will answer: let go at once
        return;
    }
    clsProcess &p = link.process(process - 1);
    if (!p.failed())
        link.setAnalyserStatus(link.packetByte(8));
    link.releaseLink(nullptr, false, false);
    p.Free();
}

void RunCommands::resetCAN()
{
    treatRunCommand(0, QStringLiteral("CMD_CAN_RESET"));
}

void RunCommands::standbyCAN()
{
    treatRunCommand(0, QStringLiteral("CMD_CAN_STANDBY"));
}

void RunCommands::listenCAN()
{
    treatRunCommand(0, QStringLiteral("CMD_CAN_LISTEN"));
}

void RunCommands::enableCAN()
{
    treatRunCommand(0, QStringLiteral("CMD_CAN_ENABLE"));
}

void RunCommands::testCAN()
{
    if (link.acquireLink(mainForm, true, true) == Acquired::Yes)
        link.releaseLink(nullptr, false, false);
}
