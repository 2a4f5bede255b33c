#pragma once

#include "core/busload.h"
#include "views/idstatistics.h"

#include <limits>

class CaptureStore;

// The statistics of the frames in a capture store, brought up to date on
// demand: each update takes only the frames stored since the last one, so a
// display that refreshes a few times a second costs nothing per frame in
// between. A store that shrank (emptied, replaced) starts them afresh.
class CaptureStatistics final
{
public:
    // The bus's bit rate and the stamps' ticks per second. A change of rate
    // counts the store again at the next update.
    void setRates(double bitRate, double ticksPerSecond);

    // Takes the frames stored since the last call, at most `most` of them
    // (a freshly opened file of millions is taken in slices, so that the
    // window paints in between). Returns whether any was new.
    bool update(const CaptureStore &store, qsizetype most = std::numeric_limits<qsizetype>::max());
    // Frames stored that no update has taken yet.
    [[nodiscard]] qsizetype behind(const CaptureStore &store) const;
    void clear();
    // No frame has come until `time` (ticks of the newest frame's scale).
    void advanceTo(qint64 time)
    {
        ids.advanceTo(time);
        busStats.advanceTo(time);
    }

    [[nodiscard]] const IdStatistics &identifiers() const { return ids; }
    [[nodiscard]] const BusStatistics &bus() const { return busStats; }
    [[nodiscard]] qsizetype framesTaken() const { return taken; }

private:
    IdStatistics ids;
    BusStatistics busStats;
    qsizetype taken = 0;
    const CaptureStore *from = nullptr;
};
