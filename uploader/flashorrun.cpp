#include "uploader/flashorrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

PortFactory devicePortFactory()
{
    return [](int portNumber) { return makeDevicePort(portDeviceName(portNumber)); };
}

bool firmwareFileExists(const QString &path)
{
    if (path.isEmpty() || path.contains('*') || path.contains('?'))
        return false;
    return QFileInfo(path).isFile();
}

QString fileFilter(const QString &extension)
{
    return extension.toUpper() + "-files|*." + extension.toLower() + "|All files|*.*";
}

QString platformTempFolder()
{
    const QString qt = QDir::tempPath(); // empty when TMPDIR names a missing folder
    if (!qt.isEmpty())
        return qt;
    const QString tmpdir = qEnvironmentVariable("TMPDIR");
    return tmpdir.isEmpty() ? QStringLiteral("/tmp") : tmpdir;
}

bool prepareTempFolder(const QString &tempPath, FlashorPrompts &prompts)
{
    if (tempPath.isEmpty() || !QFileInfo(tempPath).isDir()) {
        prompts.message("Error! Path \"" + tempPath + "\" not found.");
        return false;
    }
    QDir(tempPath).mkpath(flashorTitle);
    return true;
}

FlashorRun::FlashorRun(FlashorPrompts &prompts, PortFactory ports, QObject *parent)
    : QObject(parent)
    , prompts(prompts)
    , makePort(std::move(ports))
{
    connect(&boot, &BootProtocol::send, this, &FlashorRun::writeToDevice);
    connect(&boot, &BootProtocol::statusChanged, this, &FlashorRun::setStatus);
    connect(&boot, &BootProtocol::idle, this, [this] {
        if (running)
            stopRun();
    });

    tmrInit.setSingleShot(true);
    connect(&tmrInit, &QTimer::timeout, this, &FlashorRun::tmrInit_Timer);
    tmrTimeout.setSingleShot(true);
    connect(&tmrTimeout, &QTimer::timeout, this, &FlashorRun::tmrTimeout_Timer);
    connect(&tmrReceive, &QTimer::timeout, this, &FlashorRun::tmrReceive_Timer);
    tmrReceive.start(receiveInterval);
}

FlashorRun::~FlashorRun() = default;

QStringList FlashorRun::portNames()
{
    QStringList names;
    for (int n = 1; n <= portCount; ++n)
        names << QStringLiteral("COM%1").arg(n);
    return names;
}

QStringList FlashorRun::initSpeeds()
{
    // 430800 is what the boot loader's application offers, not 460800.
    return {"300",   "600",   "1200",   "2400",   "4800",   "9600",
            "19200", "57600", "115200", "230400", "430800", "921600"};
}

void FlashorRun::setFirmwarePath(const QString &path)
{
    if (in.firmwarePath == path)
        return;
    in.firmwarePath = path;
    emit firmwarePathChanged(path);
}

void FlashorRun::setPortIndex(int index)
{
    if (in.portIndex == index)
        return;
    in.portIndex = index;
    emit portIndexChanged(index);
}

void FlashorRun::applyCommandLine(const FlashorOptions &options)
{
    if (options.portIndex)
        setPortIndex(*options.portIndex);
    if (options.firmwarePath)
        setFirmwarePath(*options.firmwarePath);
    // Port 0 is Tessel's built-in virtual analyser, which Flashor cannot reach.
    // Starting by itself on COM1 instead could write the firmware into whatever
    // device sits there, so it waits for the user.
    if (options.portNumber == 0) {
        setStatus(QStringLiteral("Port 0 has no boot loader: choose the port and press Run"));
        return;
    }
    // A port option that names no port must not fall back to COM1 by itself.
    if (options.malformedPort) {
        const QString text =
            QStringLiteral("Port option \"%1\" names no port from 1 to %2: choose the port and press Run")
                .arg(options.malformedPort->trimmed())
                .arg(portCount);
        setStatus(text);
        prompts.message(text, {}, FlashorPrompts::Icon::Critical);
        return;
    }
    if (options.autoRun)
        tmrTimeout.start(autoStartDelay);
}

void FlashorRun::tmrTimeout_Timer()
{
    tmrTimeout.stop();
    if (!firmwareFileExists(in.firmwarePath))
        cmdUpload_In_Click();
    if (firmwareFileExists(in.firmwarePath) && !running)
        startRun();
}

void FlashorRun::cmdUpload_In_Click()
{
    const QString chosen = prompts.openFileName(QStringLiteral("Open"), fileFilter("RFW"), in.firmwarePath);
    if (chosen.isEmpty())
        return;
    if (!firmwareFileExists(chosen)) {
        prompts.message("File \"" + chosen + "\" is not found.", {}, FlashorPrompts::Icon::Critical);
        return;
    }
    setFirmwarePath(chosen);
}

void FlashorRun::cmdRun_Click()
{
    if (running)
        stopRun();
    else
        startRun();
}

void FlashorRun::startRun()
{
    const QString path = in.firmwarePath;
    const QString title = QStringLiteral("Run process...");
    QFile file(path);
    if (!firmwareFileExists(path) || !file.open(QIODevice::ReadOnly)) {
        prompts.message("Error! Firmware file \"" + path + "\" do not exist.", title, FlashorPrompts::Icon::Critical);
        return;
    }
    const std::optional<FirmwareImage> image = splitFirmware(file.readAll());
    if (!image) {
        prompts.message("Error! Firmware file \"" + path + "\" is short.", title, FlashorPrompts::Icon::Critical);
        return;
    }
    pendingImage = *image;
    emit initInputChanged(QString());
    if (in.initEnabled) {
        if (!sendInitString())
            return;
        tmrInit.start(initDelay);
    } else {
        tmrInit.start(shortInitDelay);
    }
}

bool FlashorRun::sendInitString()
{
    MSCommInit = makePort ? makePort(in.portIndex + 1) : nullptr;
    if (!MSCommInit || !MSCommInit->open(in.initSpeed.trimmed() + ",N,8,1")) {
        communicationFailed(MSCommInit.get());
        MSCommInit.reset();
        return false;
    }
    MSCommInit->clear();
    if (!MSCommInit->write(in.initString.toLatin1())) {
        communicationFailed(MSCommInit.get());
        MSCommInit.reset();
        return false;
    }
    setStatus(QStringLiteral("Send Init String..."));
    return true;
}

void FlashorRun::tmrInit_Timer()
{
    tmrInit.stop();
    if (MSCommInit && MSCommInit->isOpen()) {
        if (MSCommInit->pendingCount() > 0)
            emit initInputChanged(QString::fromLatin1(MSCommInit->readAll()));
        MSCommInit->close();
    }
    MSCommInit.reset();
    if (MSCommUL && MSCommUL->isOpen())
        return;

    boot.setState(BootProtocol::Idle);
    MSCommUL = makePort ? makePort(in.portIndex + 1) : nullptr;
    if (!MSCommUL || !MSCommUL->open(bootSettings)) {
        communicationFailed(MSCommUL.get());
        MSCommUL.reset();
        return;
    }
    connect(MSCommUL.get(), &SerialPort::readyRead, this, &FlashorRun::treatCOMBuffer);
    connect(MSCommUL.get(), &SerialPort::portError, this, [this] {
        if (running)
            stopRun();
    });
    MSCommUL->clear();
    running = true;
    emit runningChanged(true);
    boot.start(pendingImage, in.noWait);
}

void FlashorRun::tmrReceive_Timer()
{
    treatCOMBuffer();
    boot.treatMSGBuffer();
}

void FlashorRun::treatCOMBuffer()
{
    if (!MSCommUL || !MSCommUL->isOpen() || MSCommUL->pendingCount() <= 0)
        return;
    bool ok = true;
    const QByteArray bytes = MSCommUL->readAll(&ok);
    if (!ok) {
        if (running)
            stopRun();
        return;
    }
    boot.appendReceived(bytes);
}

void FlashorRun::stopRun()
{
    tmrTimeout.stop();
    running = false;
    if (MSCommUL)
        MSCommUL->close();
    emit runningChanged(false);
}

void FlashorRun::writeToDevice(const QByteArray &bytes)
{
    if (MSCommUL && MSCommUL->isOpen() && MSCommUL->write(bytes))
        return;
    if (running) {
        stopRun();
        communicationFailed(MSCommUL.get());
    }
}

void FlashorRun::communicationFailed(const SerialPort *port)
{
    const QString text = QStringLiteral("Communication port is not opened!");
    prompts.message(withPortReason(text, port), {}, FlashorPrompts::Icon::Critical);
}

void FlashorRun::setStatus(const QString &text)
{
    statusText = text;
    emit statusChanged(text);
}
