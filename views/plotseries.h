#pragma once

#include "core/datafield.h"

#include <QtGlobal>

#include <memory>
#include <vector>

class CaptureStore;
class clsFrame;

// The points of one signal over a capture: for every stored frame of its
// identifier that carries it, the frame's capture time in seconds and the
// signal's physical value. Times come from the frames' relative Time, which
// the store already carries across the 32-bit stamp wrap.
//
// Example: field "Speed" of identifier 0x123, bits 0..15, factor 0.1; frames
// 0x123 F4 01 at tick 0 and 0x123 E8 03 at tick 500000, at 1 MHz
//   -> time {0, 0.5}, value {50, 100}, frame {0, 1}
namespace plotseries {

struct Series
{
    std::vector<double> time;     // seconds from the first frame
    std::vector<double> value;    // physical
    std::vector<qsizetype> frame; // the store index of each point
    qsizetype scanned = 0;        // stored frames looked at so far
    bool ordered = true;          // times never fall (a store may hold a frame out of order)

    [[nodiscard]] qsizetype size() const { return qsizetype(time.size()); }
};

// What a plotted signal is: identifier, field and the time-stamp rate.
struct Source
{
    qint32 keyNumber = -1;
    std::shared_ptr<const SignalSet> set;
    int field = -1;              // index into set->fields
    double ticksPerSecond = 1e6; // 0 or less reads as 1 MHz
};

// Why `source` cannot be plotted ("" when it can): no data fields, a field
// index out of range, or a field the decoder can never read.
[[nodiscard]] QString sourceProblem(const Source &source);

// Appends the points of the frames stored since the last call (from
// series.scanned on). A frame counts when it is of the source's identifier,
// not a lost-frame record or a remote frame, holds the field's bits and, for
// a multiplexed field, its multiplexor selects it.
void extend(Series &series, const Source &source, const CaptureStore &store);

// The decoded value of the source's field in `frame`, or false when the frame
// does not carry it (as `extend` decides).
[[nodiscard]] bool valueOf(const Source &source, const clsFrame &frame, double *value);

// The index into `series` of the point nearest to `seconds` (the earlier one
// on a tie), -1 for an empty series. Searches by halves when the times are
// ordered, else looks at every point.
[[nodiscard]] qsizetype nearestPoint(const Series &series, double seconds);

// The seconds of stored frame `frameIndex` at `ticksPerSecond`, from its Time
// (its raw stamp when it has none); 0 for an index outside the store.
[[nodiscard]] double frameSeconds(const CaptureStore &store, qsizetype frameIndex, double ticksPerSecond);

} // namespace plotseries
