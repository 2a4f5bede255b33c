#include "sender/analysersettings.h"

#include "core/values.h"
#include "link/analyser.h"
#include "link/packetlink.h"
#include "core/params.h"
#include "core/prompts.h"
#include "serial/serialport.h"
#include "core/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace {

const QString upgradeCommand = QStringLiteral("CMD_FIRMWARE_UPGRADE");
const QString upgradeStartCommand = QStringLiteral("CMD_FIRMWARE_UPGRADE_START");

QString uploaderFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Flashor.exe");
#else
    return QStringLiteral("Flashor");
#endif
}

bool startSystemProcess(const UploaderCommand &command)
{
    return QProcess::startDetached(command.program, command.arguments, command.workingFolder);
}

} // namespace

AnalyserSettings::AnalyserSettings(PacketLink &link, Database &db, ParamStore &params, Prompts &prompts,
                                   QString workFolder, QObject *mainForm, QObject *parent)
    : QObject(parent)
    , link(link)
    , db(db)
    , params(params)
    , prompts(prompts)
    , workFolder(std::move(workFolder))
    , mainForm(mainForm)
    , programFolder(QCoreApplication::applicationDirPath())
{
    link.registerOwner(owner::analyserSettings, this);
}

AnalyserSettings::~AnalyserSettings()
{
    link.registerOwner(owner::analyserSettings, nullptr);
    // Nobody would treat the answer once the dialog is gone: the process would
    // stay taken and the link held for the rest of the run.
    if (pendingProcess >= 0) {
        clsProcess &p = link.process(pendingProcess);
        if (p.Owner == owner::analyserSettings)
            p.Free();
    }
    if (linkHeld)
        link.releaseLink(mainForm, false, false);
}

QStringList AnalyserSettings::portNames()
{
    QStringList names;
    for (int n = 0; n <= portCount; ++n)
        names << QStringLiteral("COM%1").arg(n);
    return names;
}

QString AnalyserSettings::portDevice() const
{
    return portDescription(portNumber());
}

QString AnalyserSettings::comboText(const ComboList &list) const
{
    return list.selected >= 0 && list.selected < list.items.size() ? list.items.at(list.selected) : QString();
}

// ---------------------------------------------------------------- load

void AnalyserSettings::load()
{
    loading = true;

    const QString port = params.getParam(QStringLiteral("COMPort"), QStringLiteral("0")).trimmed();
    bool numeric = false;
    const int number = port.toInt(&numeric);
    cmbCOMPort = numeric && number >= 0 && number <= portCount ? number : -1;
    loadedPort = cmbCOMPort >= 0 ? portNames().at(cmbCOMPort) : QString();

    cmbCAN_Speed.clear();
    cmbCAN_Timer.clear();
    loadCombo(db, sql::selectSpeedList, {}, cmbCAN_Speed, 1,
              params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("2")));
    loadCombo(db, sql::selectTimerList, {}, cmbCAN_Timer, 1,
              params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0")));
    // A fresh file names the hidden timer row 0: show the listed row of its rate.
    selectReferenceRow(db, sql::selectSpeed, params.getInt(QStringLiteral("def_CAN_Speed"), 2), cmbCAN_Speed);
    selectReferenceRow(db, sql::selectTimer, params.getInt(QStringLiteral("def_CAN_Timer"), 0), cmbCAN_Timer);

    txtSendFrame_Retry = params.getParam(QStringLiteral("SendFrame_Retry"), QStringLiteral("3"));
    txtSendFrame_TimeOut = params.getParam(QStringLiteral("SendFrame_TimeOut"), QStringLiteral("1000"));

    loadedSpeed = comboText(cmbCAN_Speed);
    loadedTimer = comboText(cmbCAN_Timer);
    cmdApplyEnabled = false;
    loading = false;
    emit changed();
}

// ---------------------------------------------------------------- edits

void AnalyserSettings::cmbCOMPort_Click(int index)
{
    cmbCOMPort = index >= 0 && index <= portCount ? index : -1;
    if (!loading && (cmbCOMPort >= 0 ? portNames().at(cmbCOMPort) : QString()) != loadedPort)
        cmdApplyEnabled = true;
    emit changed();
}

void AnalyserSettings::cmbCAN_Speed_Click(int index)
{
    cmbCAN_Speed.selected = index >= 0 && index < cmbCAN_Speed.items.size() ? index : -1;
    if (!loading && comboText(cmbCAN_Speed) != loadedSpeed)
        cmdApplyEnabled = true;
    emit changed();
}

void AnalyserSettings::cmbCAN_Timer_Click(int index)
{
    cmbCAN_Timer.selected = index >= 0 && index < cmbCAN_Timer.items.size() ? index : -1;
    if (!loading && comboText(cmbCAN_Timer) != loadedTimer)
        cmdApplyEnabled = true;
    emit changed();
}

bool AnalyserSettings::checkNumber(QString &text, qint64 maximum, qint64 minimum)
{
    ValueCheck check;
    const bool ok = checkDecimal(prompts, text, maximum, &check) == checkOk;
    if (ok) {
        text = QString::number(qMax(check.parsedValue, minimum));
        cmdApplyEnabled = true;
    }
    emit changed();
    return ok;
}

bool AnalyserSettings::txtSendFrame_Retry_Validate()
{
    return checkNumber(txtSendFrame_Retry, 100, 1);
}

bool AnalyserSettings::txtSendFrame_TimeOut_Validate()
{
    return checkNumber(txtSendFrame_TimeOut, 10000, 1000);
}

// ---------------------------------------------------------------- apply and unload

void AnalyserSettings::cmdApply_Click()
{
    if (cmbCOMPort >= 0)
        params.setParam(QStringLiteral("COMPort"), qint64(cmbCOMPort));

    bool defaultsWritten = false;
    if (cmbCAN_Speed.selected >= 0 && comboText(cmbCAN_Speed) != loadedSpeed) {
        params.setParam(QStringLiteral("def_CAN_Speed"), qint64(cmbCAN_Speed.ids.at(cmbCAN_Speed.selected)));
        defaultsWritten = true;
    }
    if (cmbCAN_Timer.selected >= 0 && comboText(cmbCAN_Timer) != loadedTimer) {
        params.setParam(QStringLiteral("def_CAN_Timer"), qint64(cmbCAN_Timer.ids.at(cmbCAN_Timer.selected)));
        defaultsWritten = true;
    }
    const auto noCanDb = [this] { return params.getInt(QStringLiteral("id_CAN"), 0) == 0; };
    if (defaultsWritten && noCanDb()) {
        // Without a current CAN data base the defaults are the ones in use;
        // the next connection test makes the analyser agree with them.
        params.setParam(QStringLiteral("id_CAN_Speed"),
                        params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("0")));
        params.setParam(QStringLiteral("id_CAN_Timer"),
                        params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0")));
        if (noCanDb())
            link.resetLink();
    }

    params.setParam(QStringLiteral("SendFrame_Retry"), txtSendFrame_Retry);
    params.setParam(QStringLiteral("SendFrame_TimeOut"), txtSendFrame_TimeOut);
    cmdApplyEnabled = false;
    emit changed();
}

bool AnalyserSettings::queryUnload()
{
    if (!cmdApplyEnabled)
        return true;
    return askSaveSettings(prompts, [this] {
        cmdApply_Click();
        return true;
    });
}

// ---------------------------------------------------------------- firmware update

QString AnalyserSettings::uploaderPath() const
{
    for (const QString &folder : {workFolder, programFolder}) {
        QString name = uploaderFileName();
        if (!folder.isEmpty() && fileExists(name, folder))
            return name;
    }
    return {};
}

UploaderCommand AnalyserSettings::uploaderCommand(int port) const
{
    UploaderCommand command;
    command.program = uploaderPath();
    command.arguments = {QStringLiteral("/r"), QStringLiteral("/c") + QString::number(port),
                         QStringLiteral("/f") +
                             QDir::toNativeSeparators(QDir(workFolder).filePath(QStringLiteral("*.rfw")))};
    command.workingFolder = workFolder;
    return command;
}

void AnalyserSettings::cmdFlashUpdate_Click()
{
    // Port 0 is the analyser inside Tessel: there is no boot loader for Flashor to talk to.
    if (portNumber() == 0) {
        prompts.message(builtInHasNoBootLoader, {}, Prompts::Icon::Exclamation);
        return;
    }
    if (uploaderPath().isEmpty()) {
        prompts.error(QStringLiteral("Uploader is not found."));
        return;
    }
    if (pendingProcess >= 0)
        return; // an update is already waiting for the analyser
    link.resetLink();
    treatUpgradeFW(0, upgradeCommand);
}

void AnalyserSettings::treatUpgradeFW(int process, const QString &command)
{
    if (process == 0) {
        if (command != upgradeCommand)
            return;
        if (link.acquireLink(mainForm, false, true) == Acquired::No)
            return;
        linkHeld = true;
        pendingProcess = link.sendCommand(analyser::payload({analyser::cmdFirmwareUpgrade}), owner::analyserSettings,
                                          upgradeStartCommand, errorText, 100);
        if (pendingProcess < 0) {
            // Nothing will answer: let go at once.
            link.releaseLink(mainForm, false, false);
            linkHeld = false;
        }
        return;
    }

    const int index = process - 1;
    clsProcess &p = link.process(index);
    const QString result = p.Command;
    if (index == pendingProcess)
        pendingProcess = -1;
    if (linkHeld) {
        link.releaseLink(mainForm, false, false);
        linkHeld = false;
    }
    if (result == upgradeStartCommand) {
        // The analyser is on its way to the boot loader: free the port for Flashor.
        link.resetLink();
        const UploaderCommand uploader = uploaderCommand(portNumber());
        const bool started = !uploader.program.isEmpty() &&
                             (processStarter ? processStarter->startDetached(uploader) : startSystemProcess(uploader));
        if (!started)
            prompts.error(QStringLiteral("Uploader is not started: ") +
                          QDir::toNativeSeparators(uploader.program.isEmpty() ? uploaderFileName() : uploader.program));
        emit uploaderStarted(uploader, started);
    }
    p.Free();
}
