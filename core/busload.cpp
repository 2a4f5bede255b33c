#include "core/busload.h"

#include <array>
#include <cmath>

namespace busload {

namespace {

// Longest stuffed part: extended header (39 bits) + 64 data bits + 15 CRC bits.
constexpr int maxStuffed = 39 + 64 + 15;
// CRC delimiter, ACK slot and delimiter, end of frame, intermission.
constexpr int unstuffedTail = 1 + 2 + 7 + 3;

class BitWriter
{
public:
    void put(quint32 value, int width)
    {
        for (int i = width - 1; i >= 0; --i)
            bits[size_t(n++)] = quint8((value >> i) & 1u);
    }
    std::array<quint8, maxStuffed> bits{};
    int n = 0;
};

} // namespace

quint16 crc15(const quint8 *bits, int count)
{
    quint16 crc = 0;
    for (int i = 0; i < count; ++i) {
        const bool next = (bits[i] != 0) != bool(crc & 0x4000);
        crc = quint16((crc << 1) & 0x7FFF);
        if (next)
            crc ^= 0x4599;
    }
    return crc;
}

int stuffBits(const quint8 *bits, int count)
{
    int stuffed = 0;
    int run = 0;
    quint8 level = 2; // no bit yet
    for (int i = 0; i < count; ++i) {
        if (bits[i] == level) {
            ++run;
        } else {
            level = bits[i];
            run = 1;
        }
        if (run == 5) {
            ++stuffed;
            // The stuff bit has the opposite level and starts the next run.
            level = quint8(1 - level);
            run = 1;
        }
    }
    return stuffed;
}

int frameBits(const clsFrame &frame)
{
    if (frame.isLost)
        return 0;
    BitWriter w;
    const bool remote = frame.RTR() != 0;
    w.put(0, 1); // SOF
    if (frame.IDE()) {
        w.put(quint32(frame.ID.StdPart) & 0x7FF, 11);
        w.put(1, 1); // SRR
        w.put(1, 1); // IDE
        w.put(quint32(frame.ID.ExtPart) & 0x3FFFF, 18);
        w.put(remote ? 1 : 0, 1);
        w.put(quint32(frame.RB1()), 1);
        w.put(quint32(frame.RB0()), 1);
    } else {
        w.put(quint32(frame.ID.StdPart) & 0x7FF, 11);
        w.put(remote ? 1 : 0, 1);
        w.put(0, 1); // IDE
        w.put(quint32(frame.RB0()), 1);
    }
    w.put(frame.DLC & 0x0Fu, 4);
    if (!remote)
        for (int i = 0; i < frame.dataLength(); ++i)
            w.put(frame.DataB(i), 8);
    w.put(crc15(w.bits.data(), w.n), 15);
    return w.n + stuffBits(w.bits.data(), w.n) + unstuffedTail;
}

} // namespace busload

void BusStatistics::setRates(double bitRate, double ticksPerSecond)
{
    bitsPerSecond = std::isfinite(bitRate) && bitRate > 0 ? bitRate : 0;
    tickRate = std::isfinite(ticksPerSecond) && ticksPerSecond > 0 ? ticksPerSecond : 0;
}

void BusStatistics::clear()
{
    const double bitRate = bitsPerSecond;
    const double ticks = tickRate;
    *this = BusStatistics();
    bitsPerSecond = bitRate;
    tickRate = ticks;
}

void BusStatistics::add(const clsFrame &frame, qint64 time)
{
    if (frame.isLost) {
        lostCount += frame.ID.ExtPart;
        ++lostRecordCount;
        return;
    }
    const int n = busload::frameBits(frame);
    ++frameCount;
    bitCount += n;
    lastBits = n;
    if (!started) {
        started = true;
        firstTime = time;
    }
    lastTime = std::max(lastTime, time);
    silentUntil = -1;

    const qint64 s = secondOf(time);
    if (s > second) {
        havePrevious = true;
        // A silent second in between leaves nothing for the one before.
        previousBits = s == second + 1 ? secondBits : 0;
        previousFrames = s == second + 1 ? secondFrames : 0;
        second = s;
        secondBits = 0;
        secondFrames = 0;
    }
    secondBits += n;
    ++secondFrames;
}

qint64 BusStatistics::secondOf(qint64 time) const
{
    return tickRate > 0 ? qint64(std::floor(double(time - firstTime) / tickRate)) : 0;
}

void BusStatistics::advanceTo(qint64 time)
{
    if (started && time > lastTime)
        silentUntil = time;
}

std::pair<qint64, qint64> BusStatistics::lastSecond() const
{
    const qint64 now = silentUntil >= 0 ? std::max(secondOf(silentUntil), second) : second;
    if (now == second + 1)
        return {secondBits, secondFrames}; // the current window has closed
    if (now > second + 1)
        return {0, 0};
    return {previousBits, previousFrames};
}

double BusStatistics::spanSeconds() const
{
    if (!started || tickRate <= 0)
        return 0;
    // The last frame's own time on the bus closes the span.
    const double tail = bitsPerSecond > 0 ? lastBits / bitsPerSecond : 0;
    return double(lastTime - firstTime) / tickRate + tail;
}

double BusStatistics::loadPercent() const
{
    if (bitsPerSecond <= 0)
        return 0;
    if (havePrevious || (silentUntil >= 0 && secondOf(silentUntil) > second))
        return 100.0 * double(lastSecond().first) / bitsPerSecond;
    return averageLoadPercent();
}

double BusStatistics::averageLoadPercent() const
{
    const double span = spanSeconds();
    if (bitsPerSecond <= 0 || span <= 0)
        return 0;
    return 100.0 * double(bitCount) / (bitsPerSecond * span);
}

double BusStatistics::framesPerSecond() const
{
    if (havePrevious || (silentUntil >= 0 && secondOf(silentUntil) > second))
        return double(lastSecond().second);
    const double span = spanSeconds();
    return span > 0 ? double(frameCount) / span : 0;
}
