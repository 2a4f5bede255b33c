#pragma once

#include "core/clsframe.h"

#include <QtGlobal>

#include <utility>

// The exact length on the wire of a classic CAN frame, stuff bits included.
//
// The stuffed part runs from the start of frame to the end of the CRC:
//   standard: SOF, ID(11), RTR, IDE=0, r0, DLC(4), data, CRC(15)
//   extended: SOF, ID(11), SRR=1, IDE=1, ID(18), RTR, r1, r0, DLC(4), data, CRC(15)
// The CRC-15 (polynomial 0x4599) covers SOF to the end of the data. After
// five equal bits the transmitter inserts one of the opposite value, and the
// stuff bit counts towards the next run. Then come, never stuffed, the CRC
// delimiter, the ACK slot and delimiter, 7 bits of end of frame and 3 of
// intermission: 13 bits. A remote frame has no data field; a data frame
// carries min(DLC, 8) bytes. The reserved bits are sent as the analyser
// reported them (RB0, RB1).
//
// Worked example, standard data frame ID 0x000, DLC 0:
//   SOF 0, ID 00000000000, RTR 0, IDE 0, r0 0, DLC 0000: 19 dominant bits,
//   and their CRC-15 is 0 too, so 34 zeros in a row. A stuff bit 1 goes in
//   after zeros 5, 10, 15, 20, 25 and 30 (each stuff bit ends the run, the
//   zeros after it start a new one): 6 stuff bits, the last 4 zeros need none.
//   34 + 6 + 13 = 53 bits on the bus.
namespace busload {

// Bits the frame occupies on the bus from SOF to the end of intermission;
// 0 for a lost-frame record.
[[nodiscard]] int frameBits(const clsFrame &frame);

// The CRC-15 of `count` bits (each 0 or 1, bus order).
[[nodiscard]] quint16 crc15(const quint8 *bits, int count);

// Stuff bits a transmitter inserts into `count` bits.
[[nodiscard]] int stuffBits(const quint8 *bits, int count);

} // namespace busload

// Bus figures over a stream of frames in time order: total frames, frames
// lost (the counts the lost-frame records carry), and load and frame rate
// over the last whole second of frame time (over the time so far while the
// first second runs). Each frame costs a few additions; nothing is allocated.
class BusStatistics final
{
public:
    // Bits per second of the bus and stamp ticks per second; 0 gives 0 %.
    void setRates(double bitRate, double ticksPerSecond);
    [[nodiscard]] double bitRate() const { return bitsPerSecond; }
    [[nodiscard]] double ticksPerSecond() const { return tickRate; }

    // `time` is the frame's relative time in ticks (clsFrame::Time), which
    // never runs backwards by more than a stamp glitch; such a frame counts
    // in the current second.
    void add(const clsFrame &frame, qint64 time);
    void clear();
    // No frame until `time` (ticks, on the frames' scale): a silent bus. The
    // last-second figures then fall to what that second held, 0 after a
    // whole silent second, until the next frame.
    void advanceTo(qint64 time);

    [[nodiscard]] qint64 frames() const { return frameCount; }
    [[nodiscard]] qint64 lostFrames() const { return lostCount; }
    [[nodiscard]] qint64 lostRecords() const { return lostRecordCount; }
    [[nodiscard]] qint64 bits() const { return bitCount; }
    // Load in percent (may pass 100 when the stamps or rates disagree).
    [[nodiscard]] double loadPercent() const;
    [[nodiscard]] double framesPerSecond() const;
    // The same figures over the whole stream.
    [[nodiscard]] double averageLoadPercent() const;

private:
    [[nodiscard]] double spanSeconds() const;
    [[nodiscard]] qint64 secondOf(qint64 time) const;
    // The bits and frames of the last whole second before now.
    [[nodiscard]] std::pair<qint64, qint64> lastSecond() const;

    double bitsPerSecond = 0;
    double tickRate = 0;
    qint64 frameCount = 0;
    qint64 lostCount = 0;
    qint64 lostRecordCount = 0;
    qint64 bitCount = 0;
    bool started = false;
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    int lastBits = 0;
    // The one-second windows of frame time: the current and the one before.
    qint64 second = 0;
    qint64 secondBits = 0;
    qint64 secondFrames = 0;
    bool havePrevious = false;
    qint64 previousBits = 0;
    qint64 previousFrames = 0;
    qint64 silentUntil = -1; // advanceTo's time; -1: a frame came last
};
