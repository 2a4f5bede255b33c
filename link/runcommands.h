#pragma once

#include "link/linkowner.h"

#include <QString>

class PacketLink;
class QObject;

// The Run menu's commands (owner 2): switch the analyser's CAN controller
// between reset, standby, listen-only and enabled, and test the connection.
// The main window's menu and tool-bar handlers call these.
class RunCommands final : private LinkOwner
{
public:
    // Registers treatRunCommand as owner 2 of the link; `mainForm` is the
    // window the connection test is shown over.
    explicit RunCommands(PacketLink &link, QObject *mainForm = nullptr);
    ~RunCommands();
    RunCommands(const RunCommands &) = delete;
    RunCommands &operator=(const RunCommands &) = delete;

    // process 0 starts "CMD_CAN_RESET", "CMD_CAN_STANDBY", "CMD_CAN_LISTEN"
    // or "CMD_CAN_ENABLE"; process n >= 1 treats the answer, "TimeOut" or
    // "Error" of process n - 1 and frees it.
    void treatRunCommand(int process, const QString &command);

    void resetCAN();
    void standbyCAN();
    void listenCAN();
    void enableCAN();
    // Runs the connection test with its list of parameters, whatever the link state.
    void testCAN();

private:
    void treatAnswer(int process, const QString &command) override { treatRunCommand(process, command); }
    PacketLink &link;
    QObject *mainForm;
};
