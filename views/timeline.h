#pragma once

#include "core/capturestore.h"
#include "core/clsframe.h"

#include <QString>

#include <functional>
#include <span>
#include <vector>

// The time line in numbers: where the bars, labels and grid lines of the
// trace go for a given capture, selection and zoom. No widget is involved;
// TimelineGraph paints what this computes.
//
// Time scale: the zoom bar runs from 0 (the whole capture fills the trace)
// to 29999 (about one millisecond fills it), linear in pixels per second.
// Example: a capture of 3 s (lastFrameTime 3000000 ticks at 1 MHz) gives
// timeScaleBase 100 us; at zoom 0 a 600-pixel trace shows 200 pixels/s.
namespace timeline {

inline constexpr int scaleMaximum = 29999;
inline constexpr int scaleLargeChange = 100;

// The zoom constants of a completed capture. `lastFrameDuration` is in
// seconds and is converted to microseconds, so the whole-capture zoom also
// shows the last frame's bar in full. A timer rate of 0 gives 0 (no frames
// are drawn until a rate is known).
struct TimeScale
{
    double timeScaleBase = 0; // microseconds
    double timeScaleStep = 0; // timeScaleBase / 1000
};
[[nodiscard]] TimeScale scaleForCapture(qint64 lastFrameTime, double lastFrameDuration, double currentCanTimer);

// FlatScrollBarScrolling set from the selection: maximum = zoom value,
// value = selectedTime * maximum / lastFrameTime (whole), large change =
// maximum / 300 + 1. A capture of length 0 leaves the value at 0.
struct ScrollBar
{
    int maximum = 0;
    int value = 0;
    int smallChange = 1;
    int largeChange = 1;
};
[[nodiscard]] ScrollBar scrollForSelection(int scaleValue, qint64 selectedTime, qint64 lastFrameTime);

// The selected time for a position of the scroll bar: nearest whole tick of
// lastFrameTime * value / maximum; 0 when the maximum is 0.
[[nodiscard]] qint64 timeForScroll(int value, int maximum, qint64 lastFrameTime);

// Which row a scroll position selects. Rows are searched from the first for
// the first one whose time is at least `selectedTime`; the row before it is
// selected (the first row when it is the first). When no row reaches it, the
// last row is selected and its time becomes the selected time. Rows are
// 1-based; row 0 = the list is empty.
struct ScrollSelection
{
    int currentRow = 0;
    qint64 selectedTime = 0;
};
[[nodiscard]] ScrollSelection rowForTime(qint64 selectedTime, int rowCount,
                                         const std::function<qint64(int row)> &rowTime);

// Everything a drawing depends on. Pixels are those of PictureGraph.
struct View
{
    float graphLeft = 10;
    float graphTop = 15;
    int width = 0; // of PictureGraph
    int height = 0;
    int scaleValue = 0; // FlatScrollBarScale
    int scaleMaximum = timeline::scaleMaximum;
    TimeScale scale;
    double currentCanTimer = 0; // ticks per second
    qint64 selectedTime = 0;
    float selectedDuration = 0; // seconds
    qint64 selectedFrame = 0;   // 1-based number of the selected row's frame; 0 = no row selected
    qint64 lastFrameTime = 0;
    double minFrameDuration = 0; // seconds
    float labelWidth = 18;       // width of the text "000" in the label font
    float pixelsPerSecond = 0;   // of the previous drawing, kept when no frames are drawn
};

// A filled bar over whole pixel columns x0..x1 (inclusive) and the rows of the
// trace area; colour 0x00BBGGRR.
struct Bar
{
    int x0 = 0;
    int x1 = 0;
    quint32 colour = 0;
    bool operator==(const Bar &) const = default;
};

struct Label
{
    float x = 0;
    float y = 0; // top of the text
    QString text;
};

struct Picture
{
    float graphLeft = 0;
    float graphTop = 0;
    float graphRight = 0;
    float graphBottom = 0;
    int top = 0; // pixel rows of every bar, inclusive
    int bottom = 0;
    float pixelsPerSecond = 0;
    bool framesDrawn = false;
    std::vector<Bar> bars; // in painting order
    std::vector<Label> idLabels;
    std::vector<float> gridX;        // dotted millisecond lines from graphBottom to graphTop
    std::vector<Label> bottomLabels; // selected time and the width in ms
    // The time axis: a short tick at each x and its capture time ("250 ms",
    // "1.5 s") centred under it, left out where it would cover a bottom label.
    std::vector<float> axisTicksX;
    std::vector<Label> axisLabels;
};

// Whether a frame's identifier is shown (the monitor list's check box); the
// answer is asked once per identifier key number and drawing.
using KeyFilter = std::function<bool(qint32 keyNumber)>;

enum class Bars {
    merged, // one bar per run of pixel columns of one colour: what a pixel can show
    every,  // one bar per placed frame, in store order
};

// The trace for `view` over the stored frames (store order; frame n is
// frames[n-1]). Merged and every-frame bars paint the same pixels: a column
// takes the colour of the last frame that covers it.
[[nodiscard]] Picture drawOscilograph(const View &view, std::span<const clsFrame> frames, const KeyFilter &shown,
                                      Bars bars = Bars::merged);
// The same over the runs of a capture store (CaptureStore::spans()).
[[nodiscard]] Picture drawOscilograph(const View &view, const FrameSpans &frames, const KeyFilter &shown,
                                      Bars bars = Bars::merged);

// Pixel columns of a bar from xStart to xEnd: floor(xStart) to floor(xEnd),
// a coordinate within 1/10000 pixel below a column edge counting as on it.
[[nodiscard]] Bar barColumns(double xStart, double xEnd, quint32 colour);

// The colour of a frame's bar (and its message row): that of its 11-bit
// standard part; grey 0x808080 for a lost-frame record.
[[nodiscard]] quint32 frameColour(const clsFrame &frame);

// ---- the time axis and the mouse -------------------------------------------

// The axis step in seconds for a drawing at `pixelsPerSecond`: the smallest
// of 1, 2 and 5 times a power of ten whose ticks are at least `minSpacing`
// pixels apart. 0 when nothing is drawn (pixelsPerSecond 0 or less).
// Example: 200 pixels/s, 80 pixels -> 0.5 s.
[[nodiscard]] double tickStep(double pixelsPerSecond, double minSpacing);

// An axis label: below one second in ms, else in s, with as many decimals as
// the step needs. Examples: (0.25, 0.05) -> "250 ms", (61.2, 0.2) -> "61.2 s",
// (0.0005, 0.0001) -> "0.5 ms", (2, 1) -> "2 s".
[[nodiscard]] QString timeText(double seconds, double step);

// The pixels per second a view draws at (0 when it cannot draw).
[[nodiscard]] double pixelsPerSecond(const View &view);

// A wheel turn of `notches` (positive: in) at picture x `x`: the zoom value
// and selected time that keep the capture time under the pointer where it
// is, each notch a factor of 1.25, within the zoom bar and the capture.
struct Zoom
{
    int scaleValue = 0;
    qint64 selectedTime = 0;
};
[[nodiscard]] Zoom zoomAt(const View &view, double x, double notches);

// A drag of the trace by `dx` pixels (positive: to the right, towards
// earlier frames): the selected time that moves the drawing with the pointer,
// within 0 and the last frame's time.
[[nodiscard]] qint64 panBy(const View &view, double dx);

// The time a live drawing starts at while capturing: the newest frame's end
// at the right edge, or 0 when the capture so far fits in the trace.
[[nodiscard]] qint64 liveStart(const View &view, double lastFrameDuration);

} // namespace timeline
