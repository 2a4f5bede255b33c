#pragma once

#include "core/clsframe.h"

#include <QHash>

#include <array>
#include <vector>

// Per-identifier timing of a capture: frames, the last data bytes, frame
// rate, and mean, minimum and maximum period with its jitter (the standard
// deviation of the periods). Frames come in store order with their relative
// Time set, which already runs on across the 32-bit stamp wrap. Lost-frame
// records are no identifier and are not counted. A frame costs one array
// or hash look-up and a few additions; memory is taken only for a new
// identifier.
class IdStatistics final
{
public:
    struct Entry
    {
        qint32 keyNumber = 0;
        qint64 frames = 0;
        qint64 lastTime = 0;  // ticks
        qint64 minPeriod = 0; // ticks; valid while periods > 0
        qint64 maxPeriod = 0;
        qint64 periods = 0;    // periods measured (frames after the first, in order)
        double meanPeriod = 0; // ticks, running mean
        double sumSquares = 0; // of the periods' deviations (Welford)
        qint64 second = 0;     // the whole second of lastTime
        qint32 inSecond = 0;   // frames in that second
        qint32 inPrevious = 0; // frames in the second before it
        quint8 dlc = 0;
        bool remote = false;
        std::array<quint8, 8> data{};
    };

    // Stamp ticks per second (the capture's timer); 0 or less: no rates.
    void setTicksPerSecond(double ticks);
    [[nodiscard]] double ticksPerSecond() const { return tickRate; }

    void add(const clsFrame &frame);
    void clear();
    // No frame until `time` (a silent bus): the frame rates count from there,
    // until the next frame.
    void advanceTo(qint64 time);

    // nullptr for an identifier without frames.
    [[nodiscard]] const Entry *find(qint32 keyNumber) const;
    [[nodiscard]] qsizetype size() const { return qsizetype(entries.size()); }
    // Relative time of the newest frame added.
    [[nodiscard]] qint64 newestTime() const { return newest; }

    // Derived figures in seconds (rates per second); 0 when not known yet.
    // The frame rate counts the identifier's frames in the last whole second
    // before the newest frame of the capture, so a silent identifier drops
    // to 0; while the capture's first second runs it is frames / span.
    [[nodiscard]] double framesPerSecond(const Entry &entry) const;
    [[nodiscard]] double meanPeriod(const Entry &entry) const { return seconds(entry.meanPeriod); }
    [[nodiscard]] double minPeriod(const Entry &entry) const { return seconds(double(entry.minPeriod)); }
    [[nodiscard]] double maxPeriod(const Entry &entry) const { return seconds(double(entry.maxPeriod)); }
    [[nodiscard]] double jitter(const Entry &entry) const;

private:
    [[nodiscard]] double seconds(double ticks) const { return tickRate > 0 ? ticks / tickRate : 0; }
    [[nodiscard]] qint64 secondOf(qint64 time) const;
    Entry &entryFor(qint32 keyNumber);

    double tickRate = 0;
    qint64 newest = 0;
    qint64 silentUntil = -1;
    qint64 first = 0;
    bool started = false;
    std::vector<Entry> entries;
    std::vector<qint32> standardSlot; // 11-bit identifier -> entry, -1 none
    QHash<qint32, qint32> otherSlot;  // extended key numbers
};

// Whether a measured period is off the expected cycle time by more than 20 %.
// No expectation (0 or less) or no measurement (0) never deviates.
[[nodiscard]] bool periodDeviates(double periodSeconds, int expectedMs);
