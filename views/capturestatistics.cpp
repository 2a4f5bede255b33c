#include "views/capturestatistics.h"

#include "core/capturestore.h"

#include <algorithm>

void CaptureStatistics::setRates(double bitRate, double ticksPerSecond)
{
    if (bitRate == busStats.bitRate() && ticksPerSecond == ids.ticksPerSecond())
        return;
    busStats.setRates(bitRate, ticksPerSecond);
    ids.setTicksPerSecond(ticksPerSecond);
    // The second windows were cut with the old rate.
    clear();
}

void CaptureStatistics::clear()
{
    ids.clear();
    busStats.clear();
    taken = 0;
}

bool CaptureStatistics::update(const CaptureStore &store, qsizetype most)
{
    if (&store != from || store.count() < taken) {
        clear();
        from = &store;
    }
    const qsizetype total = taken + std::min(store.count() - taken, std::max<qsizetype>(most, 1));
    if (total == taken)
        return false;
    for (qsizetype i = taken; i < total; ++i) {
        const clsFrame &frame = store.frame(i);
        ids.add(frame);
        busStats.add(frame, frame.Time.value_or(frame.TimeStamp));
    }
    taken = total;
    return true;
}

qsizetype CaptureStatistics::behind(const CaptureStore &store) const
{
    return &store != from || store.count() < taken ? store.count() : store.count() - taken;
}
