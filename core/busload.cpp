#include "core/busload.h"

#include <array>
#include <cmath>

namespace busload {

namespace {

// CRC delimiter, ACK slot and delimiter, end of frame, intermission.
constexpr int unstuffedTail = 1 + 2 + 7 + 3;
constexpr quint16 crcPolynomial = 0x4599;

// One bit into the CRC register.
constexpr quint16 crcStep(quint16 crc, bool bit)
{
    const bool feedback = bit != bool(crc & 0x4000);
    crc = quint16((crc << 1) & 0x7FFF);
    return feedback ? quint16(crc ^ crcPolynomial) : crc;
}

// The register after a byte went into an empty one: a byte into any register
// is (register << 8) ^ table[(register >> 7) ^ byte], the CRC being linear.
constexpr std::array<quint16, 256> crcTable = [] {
    std::array<quint16, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        quint16 crc = 0;
        for (int i = 7; i >= 0; --i)
            crc = crcStep(crc, (byte >> i) & 1);
        table[size_t(byte)] = crc;
    }
    return table;
}();

// The stuffing rule on the run so far: `level` the value of the last bit (2
// before the first), `run` how many equal bits end the stream. Returns
// whether a stuff bit follows the bit.
struct Run
{
    int level = 2;
    int run = 0;
    constexpr bool take(int bit)
    {
        if (bit == level) {
            ++run;
        } else {
            level = bit;
            run = 1;
        }
        if (run < 5)
            return false;
        // The stuff bit has the opposite level and starts the next run.
        level = 1 - level;
        run = 1;
        return true;
    }
    // The nine runs there can be between bits: none yet, or 1 to 4 bits of
    // 0 or of 1.
    [[nodiscard]] constexpr int state() const { return level == 2 ? 0 : 1 + level * 4 + (run - 1); }
    static constexpr Run ofState(int state) { return state == 0 ? Run{} : Run{(state - 1) / 4, (state - 1) % 4 + 1}; }
};

// By run and byte: the run after the byte (low four bits) and the stuff bits
// it needed (above).
constexpr std::array<std::array<quint8, 256>, 9> stuffTable = [] {
    std::array<std::array<quint8, 256>, 9> table{};
    for (int state = 0; state < 9; ++state) {
        for (int byte = 0; byte < 256; ++byte) {
            Run run = Run::ofState(state);
            int stuffed = 0;
            for (int i = 7; i >= 0; --i)
                stuffed += run.take((byte >> i) & 1) ? 1 : 0;
            table[size_t(state)][size_t(byte)] = quint8(run.state() | stuffed << 4);
        }
    }
    return table;
}();

// Bits in bus order, packed eight to a byte from the most significant.
// Longest stuffed part: extended header (39 bits) + 64 data bits + 15 CRC bits.
class BitWriter
{
public:
    void put(quint32 value, int width)
    {
        pending = pending << width | (value & ((quint64(1) << width) - 1));
        pendingBits += width;
        count += width;
        while (pendingBits >= 8) {
            pendingBits -= 8;
            bytes[size_t(full++)] = quint8(pending >> pendingBits);
        }
    }
    // The bits not yet in a whole byte, at the top of a byte.
    [[nodiscard]] quint8 tail() const { return quint8(pending << (8 - pendingBits)); }

    std::array<quint8, 15> bytes{};
    int full = 0;        // whole bytes in `bytes`
    int pendingBits = 0; // bits after them, the low bits of `pending`
    int count = 0;
    quint64 pending = 0;
};

} // namespace

quint16 crc15(const quint8 *bits, int count)
{
    quint16 crc = 0;
    for (int i = 0; i < count; ++i)
        crc = crcStep(crc, bits[i] != 0);
    return crc;
}

int stuffBits(const quint8 *bits, int count)
{
    Run run;
    int stuffed = 0;
    for (int i = 0; i < count; ++i)
        stuffed += run.take(bits[i] != 0 ? 1 : 0) ? 1 : 0;
    return stuffed;
}

// The same rules as crc15 and stuffBits, a byte at a time.
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

    quint16 crc = 0;
    for (int i = 0; i < w.full; ++i)
        crc = quint16(((crc << 8) & 0x7FFF) ^ crcTable[size_t(((crc >> 7) ^ w.bytes[size_t(i)]) & 0xFF)]);
    const quint8 tail = w.tail();
    for (int i = 0; i < w.pendingBits; ++i)
        crc = crcStep(crc, (tail >> (7 - i)) & 1);
    w.put(crc, 15);

    int state = 0;
    int stuffed = 0;
    for (int i = 0; i < w.full; ++i) {
        const quint8 next = stuffTable[size_t(state)][w.bytes[size_t(i)]];
        state = next & 0x0F;
        stuffed += next >> 4;
    }
    Run run = Run::ofState(state);
    const quint8 last = w.tail();
    for (int i = 0; i < w.pendingBits; ++i)
        stuffed += run.take((last >> (7 - i)) & 1) ? 1 : 0;
    return w.count + stuffed + unstuffedTail;
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
