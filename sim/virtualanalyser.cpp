#include "sim/virtualanalyser.h"

#include "sim/simpacket.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

enum : quint8 {
    cmdSignature = 0x01,
    cmdWriteParam = 0x02,
    cmdReadParam = 0x03,
    cmdFirmwareUpgrade = 0x07,
    cmdGetStatus = 0x81,
    cmdSetStatus = 0x82,
    cmdSendFrame = 0x83,
    cmdSendFrameLoop = 0x84,
    capFrame = 0x85,
    capLost = 0x86,
};

enum : quint8 {
    modeReset = 1,
    modeStandby = 2,
    modeListen = 3,
    modeEnable = 4,
};

constexpr quint8 captureBit = 0x80;
constexpr quint8 flagRTR = 0x01;
constexpr quint8 flagIDE = 0x02;
// The longest command is a frame send: code, 4 id bytes, flags, DLC, 8 data.
constexpr int longestCommand = 64;
// One advance() never builds more than this many frames (a flood at an absurd rate).
constexpr int framesPerAdvanceCap = 1000000;

bool matches(int selector, quint8 code)
{
    return selector == simfault::all || selector == int(code);
}

void appendLe32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

} // namespace

VirtualAnalyser::VirtualAnalyser(const VirtualAnalyserOptions &options, QObject *parent)
    : SimDevice(parent)
    , opt(options)
    , commandReader(longestCommand)
{
    trafficIds = opt.ids.isEmpty() ? defaultTrafficIds() : opt.ids;
    statusByte = opt.status;
    canBT1 = opt.canBT1;
    canBT2 = opt.canBT2;
    canBT3 = opt.canBT3;
    timerPrescaler = opt.timerPrescaler;
    txTimeOut = opt.txTimeOut;
    rxMObs = opt.rxMObs;
    rng = opt.seed ? opt.seed : 1;
    if (capturing() && opt.frameRate > 0)
        nextFrameCycle = std::uint64_t(double(opt.mcuClock) / opt.frameRate);
}

VirtualAnalyser::~VirtualAnalyser() = default;

QList<SimTrafficId> VirtualAnalyser::defaultTrafficIds()
{
    return {
        {0x100, false, false, 8},      {0x123, false, false, -1},    {0x2A0, false, false, 2},
        {0x3C5, false, true, 4},       {0x555, false, false, 0},     {0x7FF, false, false, -1},
        {0x12345678, true, false, -1}, {0x18FEF100, true, false, 8}, {0x0ABCDEF, true, true, 0},
    };
}

// ---------------------------------------------------------------- commands

void VirtualAnalyser::receive(const QByteArray &bytes)
{
    if (dropped)
        return;
    commandReader.feed(bytes);
    simpacket::Packet packet;
    while (commandReader.next(&packet)) {
        treatCommand(packet.seq, packet.payload);
        if (dropped)
            return;
    }
    flushOut(opt.chunkSize > 0);
}

void VirtualAnalyser::treatCommand(quint8 seq, const QByteArray &payload)
{
    ++commands;
    if (opt.dropLineAfter >= 0 && commands > opt.dropLineAfter) {
        dropLine();
        return;
    }
    const quint8 code = quint8(payload.at(0));
    if (matches(opt.silentFor, code))
        return;
    if (matches(opt.errorFlagFor, code)) {
        answer(seq, code, true);
        return;
    }
    const auto arg = [&](int i) { return quint8(payload.at(i)); };
    switch (code) {
    case cmdSignature: {
        if (payload.size() != 1)
            break;
        const QByteArray text = opt.signature.left(255);
        answer(seq, code, false, char(text.size()) + text);
        return;
    }
    case cmdWriteParam:
        if (payload.size() != 3 || !setParameter(arg(1), arg(2)))
            break;
        answer(seq, code, false, QByteArray(1, char(arg(2))));
        return;
    case cmdReadParam: {
        bool known = false;
        const quint8 value = payload.size() == 2 ? parameter(arg(1), &known) : 0;
        if (!known)
            break;
        answer(seq, code, false, QByteArray(1, char(value)));
        return;
    }
    case cmdFirmwareUpgrade:
        if (payload.size() != 1)
            break;
        answer(seq, code, false);
        bootPending = true;
        return;
    case cmdGetStatus:
        if (payload.size() != 1)
            break;
        answer(seq, code, false, QByteArray(1, char(statusByte)));
        return;
    case cmdSetStatus:
        if (payload.size() != 2 || !setStatus(arg(1)))
            break;
        answer(seq, code, false, QByteArray(1, char(statusByte)));
        return;
    case cmdSendFrame:
    case cmdSendFrameLoop:
        if (!sendFrame(payload))
            break;
        // Transmit status, CAN error register, MOb error register: all clear.
        answer(seq, code, false, QByteArray(3, '\0'));
        if (code == cmdSendFrameLoop && capturing())
            loopBack(payload);
        return;
    default:
        break;
    }
    answer(seq, code, true);
}

void VirtualAnalyser::answer(quint8 seq, quint8 code, bool error, const QByteArray &values)
{
    QByteArray payload;
    payload.reserve(2 + values.size());
    payload.append(char(code));
    payload.append(char(error ? 1 : 0));
    payload.append(values);
    queuePacket(seq, payload);
}

quint8 VirtualAnalyser::parameter(quint8 number, bool *known) const
{
    if (known)
        *known = true;
    switch (number) {
    case 0x80:
        return quint8(opt.buildNumber & 0xFF);
    case 0x81:
        return quint8(opt.buildNumber >> 8);
    case 0x90:
        return opt.hwVersion;
    case 0x91:
        return opt.swMajor;
    case 0x92:
        return opt.swMinor;
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA3:
        return quint8(opt.mcuClock >> (8 * (number - 0xA0)));
    case 0xA8:
        return canBT1;
    case 0xA9:
        return canBT2;
    case 0xAA:
        return canBT3;
    case 0xAB:
        return timerPrescaler;
    case 0xAC:
        return txTimeOut;
    case 0xAD:
        return rxMObs;
    default:
        if (known)
            *known = false;
        return 0;
    }
}

bool VirtualAnalyser::setParameter(quint8 number, quint8 value)
{
    switch (number) {
    case 0xA8:
        canBT1 = value;
        return true;
    case 0xA9:
        canBT2 = value;
        return true;
    case 0xAA:
        canBT3 = value;
        return true;
    case 0xAB:
        timerPrescaler = value;
        return true;
    case 0xAC:
        txTimeOut = value;
        return true;
    case 0xAD:
        // 14 message objects in all; at least one must stay for each direction.
        if (value < 1 || value > 13)
            return false;
        rxMObs = value;
        return true;
    default:
        return false; // identity and clock are read-only
    }
}

bool VirtualAnalyser::setStatus(quint8 requested)
{
    const quint8 mode = requested & 0x3F;
    if (mode > modeEnable)
        return false;
    const bool wasCapturing = capturing();
    const bool wasSeeing = wasCapturing && busActive();
    const quint8 newMode = mode == 0 ? quint8(statusByte & 0x3F) : mode;
    statusByte = quint8(newMode | (requested & captureBit));
    if (!wasSeeing && capturing() && busActive()) {
        // The bus is seen from now on: the first frame comes one period later.
        nextFrameCycle = nowCycle + (opt.frameRate > 0 ? std::uint64_t(double(opt.mcuClock) / opt.frameRate) : 0);
        framePhase = 0;
    }
    if (!wasCapturing && capturing()) {
        lineCycle = nowCycle;
        lineBudget = 0;
    } else if (wasCapturing && !capturing()) {
        // Everything captured before "off" reaches the program before the answer.
        drainQueue(true);
    }
    return true;
}

bool VirtualAnalyser::sendFrame(const QByteArray &payload)
{
    if (payload.size() < 7)
        return false;
    if ((statusByte & 0x3F) != modeEnable)
        return false; // only an enabled controller transmits
    const quint8 flags = quint8(payload.at(5));
    const quint8 dlc = quint8(payload.at(6));
    if (dlc > 8)
        return false;
    const int dataBytes = (flags & flagRTR) ? 0 : dlc;
    return payload.size() == 7 + dataBytes;
}

void VirtualAnalyser::loopBack(const QByteArray &payload)
{
    quint32 idField = 0;
    for (int i = 0; i < 4; ++i)
        idField |= quint32(quint8(payload.at(1 + i))) << (8 * i);
    creditLine(nowCycle);
    busFrame(nowCycle, idField, quint8(payload.at(5)), payload.mid(7), quint8(payload.at(6)));
}

// ---------------------------------------------------------------- output

void VirtualAnalyser::queuePacket(quint8 seq, const QByteArray &payload)
{
    QByteArray packet = simpacket::build(seq, payload);
    ++packetsOut;
    if (opt.corruptEvery > 0 && packetsOut % opt.corruptEvery == 0) {
        packet[packet.size() - 1] = char(packet.at(packet.size() - 1) ^ 0x5A);
        if (quint8(payload.at(0)) == capFrame)
            ++corruptedFrames;
    }
    outbox.append(opt.garbage);
    outbox.append(packet);
}

void VirtualAnalyser::flushOut(bool oneChunk)
{
    if (dropped)
        return;
    if (!oneChunk || opt.chunkSize <= 0) {
        if (outPos > 0)
            outbox.remove(0, outPos);
        outPos = 0;
        if (!outbox.isEmpty())
            emit send(std::exchange(outbox, {}));
    } else if (outPos < outbox.size()) {
        const QByteArray chunk = outbox.mid(outPos, opt.chunkSize);
        outPos += chunk.size();
        if (outPos >= outbox.size()) {
            outbox.clear();
            outPos = 0;
        } else if (outPos > 65536) {
            outbox.remove(0, outPos);
            outPos = 0;
        }
        emit send(chunk);
    }
    if (bootPending && outbox.isEmpty() && !dropped) {
        bootPending = false;
        emit bootLoaderRequested();
    }
}

void VirtualAnalyser::dropLine()
{
    if (dropped)
        return;
    dropped = true;
    outbox.clear();
    outPos = 0;
    commandReader.clear();
    emit lineDropped();
}

void VirtualAnalyser::start()
{
    // Back on the line (the port was opened again): the fault has fired once.
    if (dropped)
        opt.dropLineAfter = -1;
    dropped = false;
    commandReader.clear();
}

// ---------------------------------------------------------------- time and traffic

void VirtualAnalyser::advance(double ms)
{
    if (dropped || ms < 0)
        return;
    const double cycles = ms * double(opt.mcuClock) / 1000.0 + cycleFraction;
    // The epsilon keeps sums like 3 x 0.1 ms from falling one cycle short.
    const double whole = std::floor(cycles + 1e-6);
    cycleFraction = std::max(0.0, cycles - whole);
    const std::uint64_t target = nowCycle + std::uint64_t(whole);
    generateUntil(target);
    creditLine(target);
    nowCycle = target;
    if (lostPending > 0 && int(rxQueue.size()) < std::max(opt.rxBufferFrames, 1)) {
        pushLostRecord(nowCycle);
        drainQueue(false);
    }
    flushOut(true);
}

void VirtualAnalyser::startClock(int intervalMs)
{
    if (!clock) {
        clock = new QTimer(this);
        connect(clock, &QTimer::timeout, this, [this] {
            // A stalled process (debugger, suspended terminal) must not
            // come back to a burst of minutes of traffic.
            const double ms = std::min(clockElapsed.nsecsElapsed() / 1e6, 500.0);
            clockElapsed.restart();
            advance(ms);
        });
    }
    clockElapsed.start();
    clock->start(intervalMs);
}

void VirtualAnalyser::stopClock()
{
    if (clock)
        clock->stop();
}

quint32 VirtualAnalyser::stampAt(std::uint64_t cycle) const
{
    const std::uint64_t ticks = cycle / (std::uint64_t(timerPrescaler) + 1) / 8;
    return quint32(ticks + opt.stampOffset); // the timer wraps at 2^32
}

quint32 VirtualAnalyser::stampNow() const
{
    return stampAt(nowCycle);
}

bool VirtualAnalyser::busActive() const
{
    const quint8 mode = statusByte & 0x3F;
    return mode == modeListen || mode == modeEnable;
}

quint32 VirtualAnalyser::nextRandom()
{
    // xorshift32: reproducible for a given seed, cheap.
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return rng;
}

void VirtualAnalyser::generateUntil(std::uint64_t cycle)
{
    if (!capturing() || !busActive() || opt.frameRate <= 0 || opt.mcuClock == 0 || trafficIds.isEmpty()) {
        nextFrameCycle = std::max(nextFrameCycle, cycle);
        framePhase = 0;
        return;
    }
    const double period = double(opt.mcuClock) / opt.frameRate;
    int made = 0;
    while (nextFrameCycle <= cycle) {
        if (++made > framesPerAdvanceCap) {
            nextFrameCycle = cycle + 1;
            framePhase = 0;
            break;
        }
        const std::uint64_t at = nextFrameCycle;
        creditLine(at);
        const SimTrafficId &tid = trafficIds.at(int(nextRandom() % quint32(trafficIds.size())));
        const quint8 dlc = quint8(tid.dlc >= 0 && tid.dlc <= 8 ? tid.dlc : int(nextRandom() % 9));
        quint8 flags = 0;
        if (tid.extended)
            flags |= flagIDE;
        if (tid.remote)
            flags |= flagRTR;
        QByteArray data;
        if (!tid.remote) {
            data.resize(dlc);
            for (int i = 0; i < dlc; ++i)
                data[i] = char(nextRandom() & 0xFF);
        }
        const quint32 idField = tid.extended ? (tid.id & 0x1FFFFFFF) : (tid.id & 0x7FF);
        busFrame(at, idField, flags, data, dlc);
        // Keep the fractional part of the period so long runs keep the rate.
        framePhase += period;
        const double whole = std::floor(framePhase);
        framePhase -= whole;
        nextFrameCycle += std::max<std::uint64_t>(1, std::uint64_t(whole));
    }
}

void VirtualAnalyser::busFrame(std::uint64_t cycle, quint32 idField, quint8 flags, const QByteArray &data,
                               quint8 dlc)
{
    ++generated;
    QByteArray payload;
    payload.reserve(13 + data.size());
    payload.append(char(capFrame));
    payload.append('\0');
    appendLe32(payload, stampAt(cycle));
    payload.append('\0'); // level, filled in below
    appendLe32(payload, idField);
    payload.append(char(flags));
    payload.append(char(dlc));
    payload.append(data);

    if (opt.flood) {
        payload[6] = char(255); // no level: nothing is queued
        queuePacket(0, payload);
        ++sentFrames;
        return;
    }
    const int capacity = std::max(opt.rxBufferFrames, 1);
    if (lostPending > 0 && int(rxQueue.size()) < capacity)
        pushLostRecord(cycle);
    if (int(rxQueue.size()) >= capacity) {
        ++lostPending;
        ++lostTotal;
        return;
    }
    const int level = int(rxQueue.size() + 1) * rxMObs * 16 / capacity;
    payload[6] = char(std::min(level, 254));
    rxQueue.push_back({payload, true});
    drainQueue(false);
}

void VirtualAnalyser::pushLostRecord(std::uint64_t cycle)
{
    // One record says at most 255 frames; the rest follow in the next ones.
    const quint32 count = std::min<quint32>(lostPending, 255);
    lostPending -= count;
    QByteArray payload;
    payload.append(char(capLost));
    payload.append('\0');
    appendLe32(payload, stampAt(cycle));
    payload.append(char(count));
    rxQueue.push_back({payload, false});
}

void VirtualAnalyser::creditLine(std::uint64_t cycle)
{
    if (cycle > lineCycle) {
        const double bytesPerCycle = double(std::max(opt.lineBaud, 300)) / 10.0 / double(opt.mcuClock);
        // A UART does not save up capacity while idle: about two records at most.
        const double cap = 64.0 + 2.0 * double(opt.garbage.size());
        lineBudget = std::min(lineBudget + double(cycle - lineCycle) * bytesPerCycle, cap);
        lineCycle = cycle;
    }
    drainQueue(false);
}

void VirtualAnalyser::drainQueue(bool all)
{
    for (;;) {
        while (!rxQueue.empty()) {
            const Record &r = rxQueue.front();
            const double size = double(r.payload.size() + 6 + opt.garbage.size());
            if (!all && lineBudget < size)
                break;
            lineBudget = std::max(0.0, lineBudget - size);
            if (r.frame)
                ++sentFrames;
            queuePacket(0, r.payload);
            rxQueue.pop_front();
        }
        if (!all || lostPending == 0)
            return;
        pushLostRecord(nowCycle);
    }
}

// ---------------------------------------------------------------- option texts

bool parseTrafficIds(const QString &text, QList<SimTrafficId> *ids, QString *error)
{
    QList<SimTrafficId> out;
    for (const QString &raw : text.split(',', Qt::SkipEmptyParts)) {
        QString item = raw.trimmed().toLower();
        SimTrafficId tid;
        const auto fail = [&] {
            if (error)
                *error = QStringLiteral("bad identifier \"%1\"").arg(raw.trimmed());
            return false;
        };
        const qsizetype slash = item.indexOf('/');
        if (slash >= 0) {
            bool ok = false;
            tid.dlc = item.mid(slash + 1).toInt(&ok);
            if (!ok || tid.dlc < 0 || tid.dlc > 8)
                return fail();
            item.truncate(slash);
        }
        if (item.startsWith('x')) {
            tid.extended = true;
            item.remove(0, 1);
        }
        if (item.endsWith('r')) {
            tid.remote = true;
            item.chop(1);
        }
        bool ok = false;
        tid.id = item.toUInt(&ok, 16);
        if (!ok || item.isEmpty() || tid.id > (tid.extended ? 0x1FFFFFFFu : 0x7FFu))
            return fail();
        out.append(tid);
    }
    if (out.isEmpty()) {
        if (error)
            *error = QStringLiteral("no identifiers");
        return false;
    }
    *ids = out;
    return true;
}

bool parseCommandSelector(const QString &text, int *selector)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("all")) {
        *selector = simfault::all;
        return true;
    }
    bool ok = false;
    const uint code = t.toUInt(&ok, 16); // also takes a "0x" prefix
    if (!ok || code > 0xFF)
        return false;
    *selector = int(code);
    return true;
}
