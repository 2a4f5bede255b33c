#pragma once

#include "core/queries.h"
#include "link/linkowner.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Database;
class PacketLink;
class ParamStore;
class Prompts;

// The program Tessel starts for a firmware update, and how.
struct UploaderCommand
{
    QString program;
    QStringList arguments;
    QString workingFolder;
};

// Starts a program without waiting for it (tests put a recorder in its place).
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;
    // False when the program could not be started.
    [[nodiscard]] virtual bool startDetached(const UploaderCommand &command) = 0;
};

// The analyser settings dialog without its widgets: the serial port, the
// default CAN speed and timer, the send retries and time-out, change tracking,
// Apply and the unload question, and the start of a firmware update (owner 5
// of the link), which ends by starting Flashor as a separate process:
//
//   <folder>/Flashor /r /c3 /f<workFolder>/*.rfw
//
// (each option one argument; Flashor finds the firmware file from the pattern).
class AnalyserSettings final : public QObject, private LinkOwner
{
    Q_OBJECT
public:
    static constexpr int portCount = 16;
    static inline const QString builtInHasNoBootLoader =
        QStringLiteral("The built-in analyser (port 0) has no boot loader: its firmware cannot be upgraded. "
                       "Choose the port of a real analyser.");

    // Registers treatUpgradeFW as owner 5 of the link. `workFolder` is the
    // current folder at start-up; `mainForm` the window the link is acquired for.
    AnalyserSettings(PacketLink &link, Database &db, ParamStore &params, Prompts &prompts, QString workFolder,
                     QObject *mainForm = nullptr, QObject *parent = nullptr);
    // An update still waiting for the analyser's answer is given up: its
    // process is freed and the link let go.
    ~AnalyserSettings() override;

    // "COM0" to "COM16"; the list index is the port number. Port 0 is the
    // virtual analyser built into Tessel, so it is offered first: a user who
    // tried a real port can always go back to it.
    [[nodiscard]] static QStringList portNames();

    // ---- what the dialog shows ----
    int cmbCOMPort = -1; // list index = port number, -1 when no port is selected
    ComboList cmbCAN_Speed;
    ComboList cmbCAN_Timer;
    QString txtSendFrame_Retry;
    QString txtSendFrame_TimeOut;
    bool cmdApplyEnabled = false;

    // The port number the list shows, 0 without a selection.
    [[nodiscard]] int portNumber() const { return cmbCOMPort >= 0 ? cmbCOMPort : 0; }
    // What that number means on this machine ("3 - /dev/ttyUSB2").
    [[nodiscard]] QString portDevice() const;

    // Fills every field from the settings.
    void load();
    [[nodiscard]] bool isLoading() const { return loading; }

    // A click in one of the lists (index of the chosen item).
    void cmbCOMPort_Click(int index);
    void cmbCAN_Speed_Click(int index);
    void cmbCAN_Timer_Click(int index);
    // Field checks when a box loses the focus; false keeps the focus there.
    bool txtSendFrame_Retry_Validate();
    bool txtSendFrame_TimeOut_Validate();

    void cmdApply_Click();
    // Asked before the dialog closes (Ok, Cancel, the close box): true when it
    // may close. With unsaved changes asks "Settings was been chanded. Save?".
    bool queryUnload();

    // ---- firmware update ----
    // On port 0 (the built-in analyser) only says that it has no boot loader.
    void cmdFlashUpdate_Click();
    // process 0 starts "CMD_FIRMWARE_UPGRADE"; n >= 1 treats the answer,
    // "TimeOut" or "Error" of process n - 1 and frees it.
    void treatUpgradeFW(int process, const QString &command);
    // Flashor in the working folder, else beside the Tessel program; empty when neither exists.
    [[nodiscard]] QString uploaderPath() const;
    // The command that starts the uploader for `port`.
    [[nodiscard]] UploaderCommand uploaderCommand(int port) const;

    // Not owned; nullptr (the default) starts programs through the system.
    void setProcessStarter(ProcessStarter *starter) { processStarter = starter; }
    // The folder of the Tessel program (tests put a stand-in elsewhere).
    void setProgramFolder(const QString &folder) { programFolder = folder; }
    // The process of the update command while it waits for its answer, else -1.
    [[nodiscard]] int upgradeProcess() const { return pendingProcess; }

signals:
    // A shown field or Apply's enabled state changed.
    void changed();
    // Flashor has been started (or failed to start).
    void uploaderStarted(const UploaderCommand &command, bool started);

private:
    void treatAnswer(int process, const QString &command) override { treatUpgradeFW(process, command); }
    [[nodiscard]] QString comboText(const ComboList &list) const;
    bool checkNumber(QString &text, qint64 maximum, qint64 minimum);

    PacketLink &link;
    Database &db;
    ParamStore &params;
    Prompts &prompts;
    QString workFolder;
    QObject *mainForm;
    QString programFolder;
    ProcessStarter *processStarter = nullptr;

    bool loading = false;
    QString loadedPort;
    QString loadedSpeed;
    QString loadedTimer;
    int pendingProcess = -1;
    bool linkHeld = false;
};
