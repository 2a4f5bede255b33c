#include "link/packetlink.h"

#include "core/params.h"
#include "core/prompts.h"
#include "serial/serialport.h"

#include <QTimer>

PacketLink::PacketLink(ParamStore &params, Prompts &prompts, PortFactory factory, QObject *parent)
    : QObject(parent)
    , params(params)
    , prompt(prompts)
    , factory(std::move(factory))
    , tmrReceive(new QTimer(this))
    , tmrTimeout(new QTimer(this))
{
    tmrReceive->setInterval(10);
    tmrTimeout->setInterval(10);
    connect(tmrReceive, &QTimer::timeout, this, &PacketLink::poll);
    connect(tmrTimeout, &QTimer::timeout, this, &PacketLink::timeoutTick);
}

PacketLink::~PacketLink()
{
    stopTimers();
    closePort();
}

void PacketLink::registerOwner(int ownerCode, LinkOwner *owner)
{
    if (ownerCode < 1 || ownerCode >= int(owners.size()))
        return;
    owners[size_t(ownerCode)] = owner;
    closers[size_t(ownerCode)] = {};
}

void PacketLink::setCloseCommand(int ownerCode, std::function<void()> closeWindow)
{
    if (ownerCode >= 1 && ownerCode < int(closers.size()))
        closers[size_t(ownerCode)] = std::move(closeWindow);
}

void PacketLink::setPortFactory(PortFactory f)
{
    factory = std::move(f);
    if (!isPortOpen()) {
        serial.reset();
        serialNumber = -1;
    } else {
        serialNumber = -1; // replaced when it is next opened
    }
}

bool PacketLink::isPortOpen() const
{
    return serial && serial->isOpen();
}

bool PacketLink::openPort()
{
    framer.clear();
    const int number = params.getParam(QStringLiteral("COMPort"), QStringLiteral("0")).trimmed().toInt();
    const QString settings = params.getParam(QStringLiteral("COMSpeed"), QStringLiteral("921600")) + ",N,8,1";
    // The port object is kept between uses of the same number (the built-in
    // analyser keeps its state like a device that stays powered).
    if (!serial || serialNumber != number) {
        serial.reset();
        serial = factory ? factory(number) : nullptr;
        serialNumber = number;
        // Only the received-data event is used: a failed port shows in
        // readAll on the next poll, which also covers a late error event
        // from a line that has since been opened again.
        if (serial)
            connect(serial.get(), &SerialPort::readyRead, this, &PacketLink::readPort);
    }
    portFailed = false;
    if (!serial)
        return false;
    if (!serial->open(settings))
        return false;
    serial->clear();
    return true;
}

void PacketLink::closePort()
{
    if (serial)
        serial->close();
    portFailed = false;
}

Acquired PacketLink::acquireLink(QObject *form, bool forceTest, bool showMessage)
{
    const auto notOpened = [&] {
        if (showMessage)
            prompt.error(withPortReason(QStringLiteral("Communication port is not opened!"), serial.get()));
        return Acquired::No;
    };
    // A user that comes in while the connection window is up (from its
    // modal loop) waits for the next chance; a second test would disturb it.
    if (testing)
        return Acquired::No;
    if (!isPortOpen() && !openPort())
        return notOpened();
    addBusy(+1);
    if (!forceTest && state == 3)
        return Acquired::Yes;
    if (tester) {
        testing = true;
        tester->runConnectionTest(forceTest, form);
        testing = false;
    }
    if (!isPortOpen()) {
        // The port failed while the test ran; readPort has already undone the busy count.
        return notOpened();
    }
    if (state != 3) {
        closePort();
        addBusy(busy > 0 ? -1 : 0);
        return Acquired::No;
    }
    return Acquired::Yes;
}

int PacketLink::releaseLink(QObject *, bool showClosedMessage, bool portError)
{
    if (busy <= 0)
        return 0;
    if (portError)
        busy = 1;
    addBusy(-1);
    if (busy < 1) {
        busy = 0;
        if (!isPortOpen()) {
            if (showClosedMessage)
                prompt.error(QStringLiteral("Communication port is already closed!"));
            return -3;
        }
        closePort();
        if (portError)
            prompt.error(QStringLiteral("Communication port error!"));
    }
    return 0;
}

int PacketLink::sendCommand(const QByteArray &payload, int ownerCode, const QString &command, const QString &onTimeOut,
                            int timeOut)
{
    if (!isPortOpen() || payload.isEmpty() || payload.size() > packet::maxPayload)
        return -1;
    // nextSeq names a free process unless all were taken at the last send.
    if (processes[seq].Owner != 0) {
        int k = 1;
        while (k < processCount && processes[quint8(seq + k)].Owner != 0)
            ++k;
        if (k == processCount)
            return -1;
        seq = quint8(seq + k);
    }
    if (!serial->write(packet::build(seq, payload)))
        portFailed = true; // reported by the next readPort; the command then times out
    clsProcess &p = processes[seq];
    p.Owner = ownerCode;
    p.TicksLeft = timeOut;
    p.Command = command;
    p.OnTimeOut = onTimeOut;
    const int used = seq;
    for (int k = 1; k < processCount; ++k) {
        if (processes[quint8(used + k)].Owner == 0) {
            seq = quint8(used + k);
            break;
        }
    }
    return used;
}

void PacketLink::readPort()
{
    if (!isPortOpen())
        return;
    bool ok = true;
    QByteArray bytes;
    if (!portFailed) {
        // Asking for the pending count lets a device port take in what the
        // line holds even when its own event has not been delivered yet.
        (void)serial->pendingCount();
        bytes = serial->readAll(&ok);
    }
    if (ok && !portFailed) {
        framer.append(bytes);
        return;
    }
    // The device is gone: whatever it was, it must be tested again.
    setLinkState(1);
    releaseLink(nullptr, false, true);
    if (isPortOpen())
        closePort(); // nobody held it, so releaseLink left it open
    // No answer can come over the line that failed. Every command still
    // waiting ends now as a time-out (the port error has been reported), so
    // none of them lets go of the link later, when a new user may hold it.
    for (int i = 0; i < processCount; ++i) {
        clsProcess &p = processes[size_t(i)];
        if (p.Owner == 0)
            continue;
        p.Command = timeOutText;
        dispatchAnswer(i);
    }
    emit lineLost();
}

bool PacketLink::parsePacket()
{
    return framer.next(&last, lastPacketSize);
}

void PacketLink::receiveAll()
{
    while (parsePacket())
        dispatchPacket();
}

void PacketLink::dispatchPacket()
{
    const int index = packetByte(2);
    const int code = packetByte(6);
    if (packetByte(7) != 0) {
        if (processes[size_t(index)].Owner != 0)
            processes[size_t(index)].Command = errorText;
        dispatchAnswer(index);
        prompt.message(QStringLiteral("Error! CAN Analyser answer with error on your command..."),
                       QStringLiteral("Command error!"), Prompts::Icon::Critical);
        return;
    }
    if (code == analyser::codeCapturedFrame || code == analyser::codeLostFrames) {
        emit capturePacket(code);
        return;
    }
    dispatchAnswer(index);
}

void PacketLink::dispatchAnswer(int index)
{
    const int who = processes[size_t(index & 0xFF)].Owner;
    if (who < 1 || who >= int(owners.size()) || !owners[size_t(who)])
        return;
    owners[size_t(who)]->treatAnswer((index & 0xFF) + 1, QString());
}

void PacketLink::poll()
{
    readPort();
    receiveAll();
}

void PacketLink::timeoutScan()
{
    if (scanning)
        return;
    scanning = true;
    for (int i = 0; i < processCount; ++i) {
        clsProcess &p = processes[size_t(i)];
        if (p.TicksLeft <= 0 || p.Owner == 0)
            continue;
        if (--p.TicksLeft > 0)
            continue;
        p.Command = timeOutText;
        const QString onTimeOut = p.OnTimeOut;
        dispatchAnswer(i);
        if (onTimeOut == errorText)
            prompt.message(QStringLiteral("Error! CAN Analyser do not answer on command..."),
                           QStringLiteral("Command error!"), Prompts::Icon::Critical);
    }
    scanning = false;
}

void PacketLink::timeoutTick()
{
    // The timer stays stopped meanwhile (a treat operation may show a
    // message), so ticks never overlap.
    tmrTimeout->stop();
    poll();
    timeoutScan();
    if (timersOn)
        tmrTimeout->start();
}

void PacketLink::startTimers()
{
    timersOn = true;
    tmrReceive->start();
    tmrTimeout->start();
}

void PacketLink::stopTimers()
{
    timersOn = false;
    tmrReceive->stop();
    tmrTimeout->stop();
}

int PacketLink::outstandingCount() const
{
    int n = 0;
    for (const clsProcess &p : processes)
        n += p.Owner != 0;
    return n;
}

void PacketLink::addBusy(int delta)
{
    busy += delta;
    if (display)
        display->setStatusPanel(4, QStringLiteral("Processes : ") + QString::number(busy));
}

QString PacketLink::setLinkState(int n)
{
    state = n;
    QString text;
    switch (n) {
    case 1:
        text = QStringLiteral("Not connected");
        break;
    case 2:
        text = QStringLiteral("Connecting...");
        break;
    case 3:
        text = QStringLiteral("Connected");
        break;
    default:
        text = QStringLiteral("Unknown");
        break;
    }
    if (display)
        display->setStatusPanel(1, QStringLiteral("Status : ") + text);
    return text;
}

void PacketLink::resetLink()
{
    for (int who : {owner::connectWindow, owner::capture, owner::sendFrame}) {
        const auto close = closers[size_t(who)];
        if (close)
            close();
    }
    busy = 0;
    state = 0;
}

void PacketLink::initProcesses()
{
    for (clsProcess &p : processes)
        p.Free();
    seq = 1;
    busy = 0;
    state = 0;
}

QByteArray PacketLink::paddedLastPacket() const
{
    QByteArray p = last;
    if (p.size() < lastPacketSize)
        p.append(lastPacketSize - p.size(), ' ');
    return p;
}

QString PacketLink::setAnalyserStatus(quint8 status)
{
    statusByte = status;
    showCAN_Status();
    return analyser::modeText(status);
}

void PacketLink::showCAN_Status()
{
    if (display)
        display->showCAN_Status(statusByte);
}
