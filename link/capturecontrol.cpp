#include "link/capturecontrol.h"

#include "core/capturestore.h"
#include "core/values.h"
#include "link/analyser.h"
#include "link/packetlink.h"

#include <QTimer>

namespace {

const QString captureOn = QStringLiteral("CMD_CAN_CAPTURE_ON");
const QString captureOff = QStringLiteral("CMD_CAN_CAPTURE_OFF");
const QString captureOnOk = QStringLiteral("CMD_CAN_CAPTURE_ON_OK");
const QString captureOffOk = QStringLiteral("CMD_CAN_CAPTURE_OFF_OK");

constexpr int recordOffset = 7;     // the record starts at packet byte 8
constexpr int levelByte = 12;       // packet byte of the receive-buffer level
constexpr quint8 noLevel = 255;

} // namespace

CaptureControl::CaptureControl(PacketLink &link, QObject *form, QObject *parent)
    : QObject(parent)
    , link(link)
    , form(form)
    , tmrFreePB(new QTimer(this))
{
    tmrFreePB->setInterval(decodeInterval);
    connect(tmrFreePB, &QTimer::timeout, this, &CaptureControl::tmrFreePB_Timer);
    link.registerOwner(owner::capture, this);
    connect(&link, &PacketLink::capturePacket, this, &CaptureControl::treatCaptureFrame);
    connect(&link, &PacketLink::lineLost, this, &CaptureControl::lineLost);
}

CaptureControl::~CaptureControl()
{
    link.registerOwner(owner::capture, nullptr);
}

bool CaptureControl::isDecodeTimerActive() const
{
    return tmrFreePB->isActive();
}

void CaptureControl::setButton(const QString &text, bool on)
{
    caption = text;
    enabled = on;
    emit changed();
}

// ---- commands --------------------------------------------------------------

void CaptureControl::cmdStart_Click()
{
    enabled = false;
    if (caption == QLatin1String("Start"))
        startCapture();
    else
        stopCapture();
    emit changed();
}

void CaptureControl::startCapture()
{
    enabled = false;
    treatCapture(0, captureOn);
}

void CaptureControl::stopCapture()
{
    tmrFreePB->stop();
    if (!capturing) {
        captureStopped();
        return;
    }
    enabled = false;
    emit changed();
    treatCapture(0, captureOff);
}

void CaptureControl::closeCapture()
{
    stopCapture();
    captured = 0;
    lost = 0;
    viewLost = 0;
    viewSkip = 0;
    viewView = 0;
    rxBar = 0;
    bus.clear();
    busWrap = 0;
    busLastStamp = -1;
    emit changed();
    if (sink)
        sink->captureClosed();
}

// ---- link side -------------------------------------------------------------

void CaptureControl::treatCapture(int process, const QString &command)
{
    if (process == 0) {
        if (command == captureOn) {
            // A failed acquire has shown its messages; the button stays
            // disabled until the window is closed and opened again.
            if (link.acquireLink(form, false, true) == Acquired::No)
                return;
            if (link.sendCommand(analyser::payload({analyser::cmdSetStatus, analyser::captureBit}), owner::capture,
                                 captureOnOk, errorText, commandTimeOut)
                < 0) {
                // Nothing went out (the port is gone): back to idle at once
                // rather than waiting for an answer that cannot come.
                link.releaseLink(form, false, false);
                captureStopped();
            }
        } else if (command == captureOff) {
            if (link.sendCommand(analyser::payload({analyser::cmdSetStatus, 0x00}), owner::capture, captureOffOk,
                                 errorText, commandTimeOut)
                < 0) {
                capturing = false;
                link.releaseLink(form, false, false);
                captureStopped();
            }
        }
        return;
    }

    clsProcess &p = link.process(process - 1);
    const QString step = p.Command;
    if (step == timeOutText || step == errorText) {
        link.releaseLink(form, false, false);
        capturing = false;
        captureStopped();
    } else if (step == captureOnOk) {
        capturing = true;
        link.setAnalyserStatus(link.packetByte(8));
        captureStarted();
    } else if (step == captureOffOk) {
        capturing = false;
        link.setAnalyserStatus(link.packetByte(8));
        link.releaseLink(form, false, false);
        captureStopped();
    }
    p.Free();
}

void CaptureControl::treatCaptureFrame(int code)
{
    if (!capturing)
        return;
    const quint8 level = link.packetByte(levelByte);
    if (level != noLevel) {
        const int v = int(roundWhole(level / 16.0));
        if (v > rxBar)
            rxBar = v;
    }
    if (code == analyser::codeLostFrames)
        ++lost;
    // The queue shares the packet's bytes with the link (no copy is made).
    queuePacket(link.lastPacket());
    captured = queueLength();
    emit changed();
}

void CaptureControl::queuePacket(const QByteArray &packet)
{
    if (queueLength() >= queueLimit) {
        ++viewLost;
        return;
    }
    captureQueue.push_back(packet);
    bufferBar = int(queueLength() / 2);
}

void CaptureControl::lowerRxBar()
{
    if (rxBar > 0)
        --rxBar;
}

void CaptureControl::decodeQueued()
{
    lowerRxBar();
    decodeOne();
    if (sink)
        sink->captureBatchDone();
    emit changed();
}

void CaptureControl::decodeOne()
{
    if (captureQueue.empty())
        return;
    const QByteArray &p = captureQueue.front();
    const quint8 code = p.size() > 5 ? quint8(p.at(5)) : 0;
    const qsizetype length = p.size() > recordOffset ? p.size() - recordOffset : 0;
    const QByteArray record = QByteArray::fromRawData(p.constData() + recordOffset, length);

    clsFrame frame;
    bool complete = code == analyser::codeLostFrames ? frame.setLostFrame(record)
                                                     : frame.setFromBinary(record, link.analyserValues.analyserBitRate);
    if (!complete) {
        // A record cut short reads the link's blank padding, as the packet
        // was kept at its full 1024 bytes.
        QByteArray padded = p;
        padded.append(PacketLink::lastPacketSize - padded.size(), ' ');
        frame = clsFrame();
        const QByteArray padRecord = padded.mid(recordOffset);
        if (code == analyser::codeLostFrames)
            frame.setLostFrame(padRecord);
        else
            frame.setFromBinary(padRecord, link.analyserValues.analyserBitRate);
    }

    // A stamp below the one before means the counter went round; for the
    // bus figures that is the only way time runs.
    if (busLastStamp >= 0 && frame.TimeStamp < busLastStamp)
        busWrap += CaptureStore::stampWrap;
    busLastStamp = frame.TimeStamp;
    bus.setRates(link.analyserValues.analyserBitRate, link.analyserValues.timerFrequency);
    bus.add(frame, busWrap + frame.TimeStamp);

    const bool shown = sink ? sink->captureFrame(frame) : false;
    if (shown)
        ++viewView;
    else
        ++viewSkip;

    captureQueue.pop_front();
    captured = queueLength();
    bufferBar = int(queueLength() / 2);
}

void CaptureControl::tmrFreePB_Timer()
{
    tmrFreePB->stop();
    lowerRxBar();
    const bool any = !captureQueue.empty();
    while (!captureQueue.empty())
        decodeOne();
    if (any && sink)
        sink->captureBatchDone();
    emit changed();
    if (capturing)
        tmrFreePB->start();
}

void CaptureControl::captureStarted()
{
    if (sink)
        sink->captureStarted();
    rxMax = link.analyserValues.rxMObs;
    tmrFreePB->start();
    setButton(QStringLiteral("Stop"), true);
}

void CaptureControl::lineLost()
{
    if (!capturing)
        return; // idle, or its capture command has just been treated as timed out
    capturing = false;
    captureStopped();
}

void CaptureControl::captureStopped()
{
    tmrFreePB->stop();
    // Every received packet is decoded before the capture ends.
    const bool any = !captureQueue.empty();
    while (!captureQueue.empty()) {
        lowerRxBar();
        decodeOne();
    }
    if (any && sink)
        sink->captureBatchDone();
    if (sink)
        sink->resetViewScroll();
    setButton(QStringLiteral("Start"), true);
}
