#include "views/idstatistics.h"

#include "core/values.h"

#include <cmath>

void IdStatistics::setTicksPerSecond(double ticks)
{
    tickRate = std::isfinite(ticks) && ticks > 0 ? ticks : 0;
}

void IdStatistics::clear()
{
    entries.clear();
    standardSlot.clear();
    otherSlot.clear();
    newest = 0;
    silentUntil = -1;
    first = 0;
    started = false;
}

void IdStatistics::advanceTo(qint64 time)
{
    if (started && time > newest)
        silentUntil = time;
}

qint64 IdStatistics::secondOf(qint64 time) const
{
    return tickRate > 0 ? qint64(std::floor(double(time) / tickRate)) : 0;
}

IdStatistics::Entry &IdStatistics::entryFor(qint32 keyNumber)
{
    qint32 *slot = nullptr;
    if (keyNumber >= 0 && keyNumber <= 0x7FF) {
        if (standardSlot.empty())
            standardSlot.assign(0x800, -1);
        slot = &standardSlot[size_t(keyNumber)];
    } else {
        auto it = otherSlot.find(keyNumber);
        if (it == otherSlot.end())
            it = otherSlot.insert(keyNumber, -1);
        slot = &*it;
    }
    if (*slot < 0) {
        *slot = qint32(entries.size());
        Entry e;
        e.keyNumber = keyNumber;
        entries.push_back(e);
    }
    return entries[size_t(*slot)];
}

void IdStatistics::add(const clsFrame &frame)
{
    if (frame.isLost)
        return;
    const qint64 time = frame.Time.value_or(frame.TimeStamp);
    if (!started) {
        started = true;
        first = time;
        newest = time;
    }
    newest = std::max(newest, time);
    silentUntil = -1;
    Entry &e = entryFor(frameIdNumber(frame));
    const qint64 s = secondOf(time);
    if (e.frames > 0) {
        const qint64 period = time - e.lastTime;
        // A stamp that runs backwards gives no period, only a new reference.
        if (period >= 0) {
            if (e.periods == 0 || period < e.minPeriod)
                e.minPeriod = period;
            if (e.periods == 0 || period > e.maxPeriod)
                e.maxPeriod = period;
            ++e.periods;
            const double delta = double(period) - e.meanPeriod;
            e.meanPeriod += delta / double(e.periods);
            e.sumSquares += delta * (double(period) - e.meanPeriod);
        }
    }
    if (e.frames == 0 || s > e.second) {
        e.inPrevious = e.frames > 0 && s == e.second + 1 ? e.inSecond : 0;
        e.second = s;
        e.inSecond = 0;
    }
    ++e.inSecond;
    ++e.frames;
    e.lastTime = time;
    e.dlc = frame.DLC;
    e.remote = frame.RTR() != 0;
    for (int i = 0; i < 8; ++i)
        e.data[size_t(i)] = i < frame.dataLength() ? frame.DataB(i) : 0;
}

const IdStatistics::Entry *IdStatistics::find(qint32 keyNumber) const
{
    qint32 slot = -1;
    if (keyNumber >= 0 && keyNumber <= 0x7FF)
        slot = standardSlot.empty() ? -1 : standardSlot[size_t(keyNumber)];
    else
        slot = otherSlot.value(keyNumber, -1);
    return slot >= 0 ? &entries[size_t(slot)] : nullptr;
}

double IdStatistics::framesPerSecond(const Entry &e) const
{
    if (tickRate <= 0 || e.frames == 0)
        return 0;
    const qint64 now = secondOf(std::max(newest, silentUntil));
    if (now == secondOf(first)) {
        // The capture's first second: the rate its periods tell.
        return e.meanPeriod > 0 ? tickRate / e.meanPeriod : 0;
    }
    if (e.second == now)
        return e.inPrevious;
    if (e.second == now - 1)
        return e.inSecond;
    return 0;
}

double IdStatistics::jitter(const Entry &e) const
{
    return e.periods > 1 ? seconds(std::sqrt(e.sumSquares / double(e.periods))) : 0;
}

bool periodDeviates(double periodSeconds, int expectedMs)
{
    if (expectedMs <= 0 || !(periodSeconds > 0))
        return false;
    const double expected = expectedMs / 1000.0;
    return std::abs(periodSeconds - expected) > 0.2 * expected;
}
