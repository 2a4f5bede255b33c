#include "sender/sendrun.h"

#include "core/values.h"
#include "link/analyser.h"
#include "link/packetlink.h"
#include "core/params.h"
#include "core/prompts.h"

#include <cmath>

namespace {

const QString sendCommandName = QStringLiteral("CMD_CAN_SEND_FRAME");
const QString startText = QStringLiteral("Start");
const QString stopText = QStringLiteral("Stop");

// A data byte as the character box shows it; byte 0 is an empty box.
QString byteChar(qint64 value)
{
    return value == 0 ? QString() : QString(QChar(char16_t(value)));
}

// A decimal or hexadecimal box read leniently: anything that is not a number
// of its base reads as 0 (the checks keep such text out of a run).
quint32 readNumber(const QString &text, int base)
{
    bool ok = false;
    const quint32 value = text.trimmed().toUInt(&ok, base);
    return ok ? value : 0;
}

} // namespace

SendRun::SendRun(PacketLink &link, ParamStore &params, Prompts &prompts, QObject *mainForm, QObject *parent)
    : QObject(parent)
    , link(link)
    , params(params)
    , prompts(prompts)
    , mainForm(mainForm)
{
    txtDec.fill(QStringLiteral("0"));
    txtHex.fill(QStringLiteral("0"));
    tmrSend.setSingleShot(false);
    connect(&tmrSend, &QTimer::timeout, this, &SendRun::tmrSend_Timer);
    link.registerOwner(owner::sendFrame, this);

    // The dialog's load.
    sendPending = false;
    setCANType(0);
    setDataSize(0);
    txtIDStd_Validate();
}

SendRun::~SendRun()
{
    tmrSend.stop();
    link.registerOwner(owner::sendFrame, nullptr);
}

// ---------------------------------------------------------------- options

void SendRun::setCANType(int index)
{
    optCANType = index == 1 ? 1 : 0;
    emit changed();
}

void SendRun::setDataType(int index)
{
    optDataType = index == 1 ? 1 : 0;
    for (int i = 0; i < dataBoxes; ++i)
        txtDec_Validate(i);
    emit changed();
}

void SendRun::setDataSize(int size)
{
    cmbDataSize = qBound(0, size, 8);
    for (int i = 0; i < dataBoxes; ++i)
        txtDec_Validate(i);
    emit changed();
}

void SendRun::setCountMode(int index)
{
    optCount = index == 1 ? 1 : 0;
    emit changed();
}

bool SendRun::fillFrom(const clsFrame &frame)
{
    if (frame.isLost || !groupsEnabled)
        return false;
    txtIDStd = hexPad(frame.ID.StdPart & 0x7FF, 3);
    txtIDExt = hexPad(frame.ID.ExtPart & 0x3FFFF, 5);
    chkRB0 = frame.RB0() != 0;
    chkRB1 = frame.RB1() != 0;
    for (int i = 0; i < dataBoxes; ++i) {
        const quint8 byte = i < frame.dataLength() ? frame.DataB(i) : 0;
        txtDec[size_t(i)] = QString::number(byte);
        txtHex[size_t(i)] = hexPad(byte, 2);
        txtChr[size_t(i)] = byteChar(byte);
    }
    setCANType(frame.IDE() ? 1 : 0);
    setDataType(frame.RTR() ? 1 : 0);
    setDataSize(frame.dataLength());
    txtIDStd_Validate();
    txtIDExt_Validate();
    return true;
}

// ---------------------------------------------------------------- checks

bool SendRun::txtDec_Validate(int i)
{
    if (i < 0 || i >= dataBoxes)
        return true;
    ValueCheck check;
    const int result = checkDecimal(prompts, txtDec[size_t(i)], 255, &check);
    if (result != checkOk) {
        emit changed();
        return false;
    }
    txtHex[size_t(i)] = QString::number(check.parsedValue, 16).toUpper();
    return txtHex_Validate(i);
}

bool SendRun::txtHex_Validate(int i)
{
    if (i < 0 || i >= dataBoxes)
        return true;
    ValueCheck check;
    const int result = checkHex(prompts, txtHex[size_t(i)], 2, 255, &check);
    if (result == checkOk) {
        txtHex[size_t(i)] = check.parsedHexText;
        txtDec[size_t(i)] = QString::number(check.parsedValue);
        txtChr[size_t(i)] = byteChar(check.parsedValue);
    }
    emit changed();
    return result == checkOk;
}

bool SendRun::txtChr_Validate(int i)
{
    if (i < 0 || i >= dataBoxes)
        return true;
    const QString &chr = txtChr[size_t(i)];
    txtHex[size_t(i)] = chr.isEmpty() ? QStringLiteral("0") : QString::number(chr.at(0).unicode(), 16).toUpper();
    if (!txtHex_Validate(i)) {
        // A character beyond one byte: the row goes back to the byte it held.
        const quint32 kept = readNumber(txtDec[size_t(i)], 10) & 0xFF;
        txtDec[size_t(i)] = QString::number(kept);
        txtHex[size_t(i)] = hexPad(kept, 2);
        txtChr[size_t(i)] = byteChar(kept);
        emit changed();
    }
    return true;
}

bool SendRun::txtIDStd_Validate()
{
    ValueCheck check;
    const bool ok = checkHex(prompts, txtIDStd, 3, 0x7FF, &check) == checkOk;
    if (ok) {
        txtIDStd = check.parsedHexText;
        pictureColour = hexColour(txtIDStd);
    }
    emit changed();
    return ok;
}

bool SendRun::txtIDExt_Validate()
{
    ValueCheck check;
    const bool ok = checkHex(prompts, txtIDExt, 5, 0x3FFFF, &check) == checkOk;
    if (ok)
        txtIDExt = check.parsedHexText;
    emit changed();
    return ok;
}

bool SendRun::txtCount_Validate()
{
    const bool ok = checkDecimal(prompts, txtCount, 99999) == checkOk;
    emit changed();
    return ok;
}

bool SendRun::txtTime_Validate()
{
    const bool ok = checkDecimal(prompts, txtTime, 10000) == checkOk;
    emit changed();
    return ok;
}

int SendRun::enterPressed(DataRow row, int i)
{
    bool ok = true;
    switch (row) {
    case DataRow::Dec:
        ok = txtDec_Validate(i);
        break;
    case DataRow::Hex:
        ok = txtHex_Validate(i);
        break;
    case DataRow::Chr:
        ok = txtChr_Validate(i);
        break;
    }
    if (ok && i + 1 < dataBoxes && dataBoxEnabled(i + 1))
        return i + 1;
    return -1;
}

// ---------------------------------------------------------------- the run

QByteArray SendRun::makeFrame()
{
    record.setIDE(optCANType == 1);
    record.setRTR(optDataType == 1);
    record.setRB0(chkRB0);
    record.setRB1(chkRB1);
    // Both parts are always taken; the send layout decides by IDE which it uses.
    record.ID.StdPart = qint32(readNumber(txtIDStd, 16) & 0x7FF);
    record.ID.ExtPart = qint32(readNumber(txtIDExt, 16) & 0x3FFFF);
    record.DLC = quint8(qBound(0, cmbDataSize, 8));
    // Remote frames too: their boxes are disabled and keep their last values.
    for (int i = 0; i < record.DLC; ++i)
        record.setDataB(i, quint8(readNumber(txtDec[size_t(i)], 10)));
    return record.getAsBinary();
}

void SendRun::cmdStart_Click()
{
    cmdStartEnabled = false;
    emit changed();
    if (cmdStartCaption == startText) {
        startSending();
        return;
    }
    if (sendProcess >= 0)
        freeOwnProcess();
    stopSending(false);
}

void SendRun::cmdClose_Click()
{
    stopSending(false);
}

void SendRun::startSending()
{
    bool ok = false;
    const double timeOutMs =
        params.getParam(QStringLiteral("SendFrame_TimeOut"), QStringLiteral("1000")).trimmed().toDouble(&ok);
    // Ticks of 10 ms, halves to even; at least one tick, since a process with
    // no ticks left would never time out and the run would wait for ever.
    sendTimeOut = ok && std::isfinite(timeOutMs) ? int(qBound(1.0, std::nearbyint(timeOutMs / 10.0), 1e9)) : 100;
    const int retry = params.getParam(QStringLiteral("SendFrame_Retry"), QStringLiteral("3")).trimmed().toInt(&ok);
    sendRetry = ok ? qBound(-32768, retry, 32767) : 3;
    retryCount = 0;

    groupsEnabled = false;
    cmdStartEnabled = false;
    cmdStartCaption = stopText;
    txtSendCount = QStringLiteral("0");
    emit changed();
    treatSendFrame(0, sendCommandName);
}

void SendRun::stopSending(bool comError)
{
    tmrSend.stop();
    sendPending = false;
    if (!comError && cmdStartCaption == stopText) {
        // Only a run that acquired the link lets go of it: one whose
        // connection failed never held it, and releasing anyway would take
        // another user's hold.
        if (linkHeld)
            link.releaseLink(mainForm, false, false);
        linkHeld = false;
    }
    if (comError) {
        // A closed port has already dropped every hold; a port still open
        // (no free process) is let go here so it does not stay open for ever.
        if (linkHeld && link.isPortOpen())
            link.releaseLink(mainForm, false, false);
        linkHeld = false;
        prompts.message(QStringLiteral("COM Port error."), QStringLiteral("Send frame"), Prompts::Icon::Critical);
    }
    groupsEnabled = true;
    cmdStartCaption = startText;
    cmdStartEnabled = true;
    emit changed();
}

void SendRun::treatSendFrame(int process, const QString &command)
{
    if (process == 0) {
        if (command != sendCommandName)
            return;
        if (link.acquireLink(mainForm, false, true) == Acquired::No)
            return; // stays "Starting" until Close
        linkHeld = true;
        sendPacket = analyser::payload({chkCANLoop ? analyser::cmdSendFrameLoopBack : analyser::cmdSendFrame});
        sendPacket += makeFrame();
        sendPending = true;
        tmrSend.start(1);
        return;
    }

    clsProcess &p = link.process(process - 1);
    const QString result = p.Command;
    bool failed = result == errorText;
    if (result == timeOutText) {
        ++retryCount;
        if (retryCount < sendRetry)
            sendPending = true;
        else
            failed = true;
    } else if (!failed) {
        retryCount = 0;
        // Without waiting the frame is counted before any answer has come:
        // lastPacket is then someone else's packet and says nothing about it.
        if (chkWaitAnswer)
            setStatus(QString::number(link.packetByte(8)), hexPad(link.packetByte(9), 2),
                      hexPad(link.packetByte(10), 2));
        const int sent = int(readNumber(txtSendCount, 10)) + 1;
        txtSendCount = QString::number(sent);
        if ((optCount == 1 && sent >= int(readNumber(txtCount, 10))) || !tmrSend.isActive())
            stopSending(false);
        else
            sendPending = true;
        emit changed();
    }
    if (failed) {
        stopSending(false);
        setStatus(QStringLiteral("1"), {}, {});
    }
    p.Free();
}

void SendRun::tmrSend_Timer()
{
    tmrSend.stop();
    // A slot of 0 ms would spin the event loop flat out; 1 ms is the shortest.
    tmrSend.setInterval(qMax(1, int(readNumber(txtTime, 10))));
    if (sendPending) {
        sendPending = false;
        sendProcess =
            link.sendCommand(sendPacket, owner::sendFrame, sendCommandName, errorText, sendTimeOut);
        if (sendProcess < 0) {
            stopSending(true);
            return;
        }
        cmdStartEnabled = true;
        emit changed();
        if (!chkWaitAnswer) {
            tmrSend.start();
            treatSendFrame(sendProcess + 1, QString());
            return;
        }
    }
    tmrSend.start();
}

void SendRun::setStatus(const QString &stat, const QString &errCAN, const QString &errMOB)
{
    txtStatCAN = stat;
    txtErrCAN = errCAN;
    txtErrMOB = errMOB;
    emit changed();
}

void SendRun::freeOwnProcess()
{
    // The slot may have been freed by its answer and taken by someone else since.
    clsProcess &p = link.process(sendProcess);
    if (p.Owner == owner::sendFrame)
        p.Free();
}
