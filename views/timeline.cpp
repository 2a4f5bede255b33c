#include "views/timeline.h"

#include "core/values.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>

namespace timeline {

namespace {

constexpr quint32 lostColour = 0x808080;

// Bar colours of all 2048 standard parts, computed once.
const std::array<quint32, 0x800> &standardColours()
{
    static const std::array<quint32, 0x800> colours = [] {
        std::array<quint32, 0x800> c{};
        for (int part = 0; part < 0x800; ++part)
            c[part] = hexColour(hexPad(part, 3));
        return c;
    }();
    return colours;
}

// The display filter, asked once per key number.
class FilterCache
{
  public:
    explicit FilterCache(const KeyFilter &shown) : shown(shown) {}

    bool pass(const clsFrame &frame)
    {
        const qint32 key = frameIdNumber(frame);
        if (!shown)
            return true;
        if (key >= 0 && key < 0x800) {
            qint8 &known = standard[key];
            if (known == 0)
                known = shown(key) ? 1 : -1;
            return known > 0;
        }
        const auto it = others.constFind(key);
        if (it != others.cend())
            return *it;
        return *others.insert(key, shown(key));
    }

  private:
    const KeyFilter &shown;
    std::array<qint8, 0x800> standard{}; // 0 unknown, 1 shown, -1 hidden
    QHash<qint32, bool> others;
};

// Paints bars in order into one colour per column and returns the runs of
// equal colour. Walking backwards, a column is settled by the first bar that
// reaches it (the last one painted), and settled columns are skipped, so the
// work stays linear however much the bars overlap.
std::vector<Bar> mergeColumns(const std::vector<Bar> &placed, int columns)
{
    std::vector<Bar> runs;
    if (placed.empty() || columns <= 0)
        return runs;
    std::vector<qint64> colour(size_t(columns), -1);
    std::vector<int> next(size_t(columns) + 1);
    for (int c = 0; c <= columns; ++c)
        next[size_t(c)] = c;
    const auto find = [&next](int c) {
        int root = c;
        while (next[size_t(root)] != root)
            root = next[size_t(root)];
        while (next[size_t(c)] != root) {
            const int up = next[size_t(c)];
            next[size_t(c)] = root;
            c = up;
        }
        return root;
    };
    for (auto bar = placed.rbegin(); bar != placed.rend(); ++bar) {
        const int x1 = std::min(bar->x1, columns - 1);
        for (int c = find(std::max(bar->x0, 0)); c <= x1; c = find(c)) {
            colour[size_t(c)] = bar->colour;
            next[size_t(c)] = c + 1;
        }
    }
    for (int c = 0; c < columns;) {
        if (colour[size_t(c)] < 0) {
            ++c;
            continue;
        }
        int end = c;
        while (end + 1 < columns && colour[size_t(end + 1)] == colour[size_t(c)])
            ++end;
        runs.push_back({c, end, quint32(colour[size_t(c)])});
        c = end + 1;
    }
    return runs;
}

// The time axis of a drawn trace, in the strip of the bottom labels.
void placeAxis(Picture &p, const View &view)
{
    const double pps = p.pixelsPerSecond;
    const double charWidth = double(view.labelWidth) / 3;
    const double step = tickStep(pps, 12 * charWidth);
    if (!(step > 0) || !(view.currentCanTimer > 0))
        return;
    const double left = p.graphLeft;
    const double right = p.graphRight;
    const double origin = double(view.selectedTime) / view.currentCanTimer; // seconds at the selection
    const double zeroX = left + double(view.selectedDuration) * pps;
    const double firstSeconds = origin + (left - zeroX) / pps;
    // The bottom labels keep their place; an axis label never covers one.
    std::vector<std::pair<double, double>> taken;
    for (const Label &label : p.bottomLabels)
        taken.emplace_back(label.x, label.x + charWidth * double(label.text.size()));
    for (qint64 k = qint64(std::ceil(firstSeconds / step - 1e-9));; ++k) {
        const double seconds = double(k) * step;
        const double x = zeroX + (seconds - origin) * pps;
        if (x > right + 1e-6)
            break;
        if (x < left - 1e-6)
            continue;
        p.axisTicksX.push_back(float(x));
        Label label{0, p.graphBottom, timeText(seconds, step)};
        const double width = charWidth * double(label.text.size());
        label.x = float(x - width / 2);
        const bool covers = std::any_of(taken.cbegin(), taken.cend(), [&](const auto &span) {
            return label.x < span.second + charWidth && label.x + width + charWidth > span.first;
        });
        if (!covers && label.x >= 0 && label.x + width <= double(view.width)) {
            taken.emplace_back(label.x, label.x + width);
            p.axisLabels.push_back(std::move(label));
        }
    }
}

} // namespace

TimeScale scaleForCapture(qint64 lastFrameTime, double lastFrameDuration, double currentCanTimer)
{
    if (!(currentCanTimer > 0))
        return {};
    TimeScale scale;
    scale.timeScaleBase =
        (double(lastFrameTime) * 1000000.0 / currentCanTimer + lastFrameDuration * 1000000.0) / 30000.0;
    scale.timeScaleStep = scale.timeScaleBase / 1000.0;
    return scale;
}

ScrollBar scrollForSelection(int scaleValue, qint64 selectedTime, qint64 lastFrameTime)
{
    ScrollBar bar;
    bar.maximum = std::max(scaleValue, 0);
    if (bar.maximum != 0 && lastFrameTime > 0)
        bar.value = int(
            std::clamp<qint64>(roundWhole(double(selectedTime) * bar.maximum / double(lastFrameTime)), 0, bar.maximum));
    bar.largeChange = bar.maximum / 300 + 1;
    return bar;
}

qint64 timeForScroll(int value, int maximum, qint64 lastFrameTime)
{
    if (maximum == 0)
        return 0;
    return roundWhole(double(lastFrameTime) * value / maximum);
}

ScrollSelection rowForTime(qint64 selectedTime, int rowCount, const std::function<qint64(int row)> &rowTime)
{
    ScrollSelection result{0, selectedTime};
    if (rowCount <= 0)
        return result;
    for (int row = 1; row <= rowCount; ++row) {
        if (rowTime(row) >= selectedTime) {
            result.currentRow = row > 1 ? row - 1 : 1;
            return result;
        }
    }
    result.currentRow = rowCount;
    result.selectedTime = rowTime(rowCount);
    return result;
}

Bar barColumns(double xStart, double xEnd, quint32 colour)
{
    // Single-precision durations land a hair short of whole pixels.
    constexpr double snap = 1e-4;
    const int x0 = int(std::floor(xStart + snap));
    return {x0, std::max(x0, int(std::floor(xEnd + snap))), colour};
}

quint32 frameColour(const clsFrame &frame)
{
    if (frame.isLost)
        return lostColour;
    return standardColours()[size_t(frame.ID.StdPart & 0x7FF)];
}

Picture drawOscilograph(const View &view, std::span<const clsFrame> frames, const KeyFilter &shown, Bars bars)
{
    return drawOscilograph(view, FrameSpans{frames}, shown, bars);
}

Picture drawOscilograph(const View &view, const FrameSpans &runs, const KeyFilter &shown, Bars bars)
{
    size_t total = 0;
    for (const auto &run : runs)
        total += run.size();
    Picture p;
    p.graphLeft = view.graphLeft;
    p.graphTop = view.graphTop;
    p.graphRight = float(view.width) - view.graphLeft;
    p.graphBottom = float(view.height) - view.graphTop;
    p.top = int(std::floor(p.graphTop));
    p.bottom = int(std::floor(p.graphBottom));
    p.pixelsPerSecond = view.pixelsPerSecond;

    const bool canDraw = view.selectedFrame >= 1 && view.selectedFrame <= qint64(total) &&
                         view.lastFrameTime > 0 && view.scale.timeScaleBase > 0 && view.currentCanTimer > 0 &&
                         p.graphRight > p.graphLeft;
    if (canDraw) {
        const double width = double(p.graphRight) - double(p.graphLeft);
        const double pps = width * 1000000.0 * (view.scale.timeScaleStep * view.scaleValue + 1.0) /
                           (double(view.scaleMaximum) + 1.0) / view.scale.timeScaleBase;
        p.pixelsPerSecond = float(pps);
        p.framesDrawn = true;

        const double left = p.graphLeft;
        const double right = p.graphRight;
        const double selPx = double(view.selectedDuration) * pps;
        const double ticksToPixels = pps / view.currentCanTimer;
        const bool labels = view.minFrameDuration * pps >= double(view.labelWidth);

        FilterCache filter(shown);
        std::vector<Bar> placed;
        // Frame i is runs[run][i - runStart].
        size_t run = 0;
        size_t runStart = 0;
        for (size_t i = size_t(view.selectedFrame - 1); i < total; ++i) {
            while (i - runStart >= runs[run].size())
                runStart += runs[run++].size();
            const clsFrame &frame = runs[run][i - runStart];
            if (!filter.pass(frame))
                continue;
            const qint64 time = frame.Time.value_or(frame.TimeStamp);
            double xEnd = left + selPx + double(time - view.selectedTime) * ticksToPixels;
            if (xEnd <= left)
                continue;
            double xStart = std::max(xEnd - frame.Duration * pps, left);
            xEnd = std::min(xEnd, right);
            if (xStart <= right) {
                const Bar bar = barColumns(xStart, xEnd, frameColour(frame));
                // Touching runs of one colour paint the same pixels as one bar.
                if (bars == Bars::merged && !placed.empty() && placed.back().colour == bar.colour &&
                    bar.x0 <= placed.back().x1 + 1 && bar.x1 + 1 >= placed.back().x0) {
                    placed.back().x0 = std::min(placed.back().x0, bar.x0);
                    placed.back().x1 = std::max(placed.back().x1, bar.x1);
                } else {
                    placed.push_back(bar);
                }
                if (labels && xEnd - xStart >= double(view.labelWidth) && !frame.isLost)
                    p.idLabels.push_back({float(xStart), p.graphTop - 15, hexPad(frame.ID.StdPart, 3)});
            }
            if (xEnd >= right)
                break;
        }
        p.bars = bars == Bars::merged ? mergeColumns(placed, int(std::floor(right)) + 1) : std::move(placed);

        const double millisecond = 0.001 * pps;
        if (millisecond >= 5) {
            for (int k = 0; left + k * millisecond < right; ++k)
                p.gridX.push_back(float(left + k * millisecond));
        }
    }

    if (total != 0) {
        p.bottomLabels.push_back({p.graphLeft, p.graphBottom, QString::number(view.selectedTime)});
        if (p.pixelsPerSecond != 0)
            p.bottomLabels.push_back(
                {p.graphRight - 100, p.graphBottom,
                 formatSeconds(p.graphRight * 1000 / p.pixelsPerSecond, 12) + QStringLiteral(" ms")});
    }
    if (p.framesDrawn)
        placeAxis(p, view);
    return p;
}

double tickStep(double pixelsPerSecond, double minSpacing)
{
    if (!(pixelsPerSecond > 0) || !std::isfinite(pixelsPerSecond))
        return 0;
    const double least = std::max(minSpacing, 1.0) / pixelsPerSecond;
    double power = std::pow(10.0, std::floor(std::log10(least)));
    for (;;) {
        for (const double m : {1.0, 2.0, 5.0})
            if (m * power >= least * (1 - 1e-12))
                return m * power;
        power *= 10;
    }
}

QString timeText(double seconds, double step)
{
    const auto decimals = [](double unitStep) {
        if (!(unitStep > 0))
            return 0;
        return std::clamp(int(std::ceil(-std::log10(unitStep) - 1e-9)), 0, 6);
    };
    if (std::abs(seconds) < 1 - step / 2) {
        const double ms = seconds * 1000;
        return QString::number(std::abs(ms) < 1e-9 ? 0.0 : ms, 'f', decimals(step * 1000)) + QStringLiteral(" ms");
    }
    return QString::number(seconds, 'f', decimals(step)) + QStringLiteral(" s");
}

double pixelsPerSecond(const View &view)
{
    const double width = double(view.width) - 2.0 * double(view.graphLeft);
    if (!(view.scale.timeScaleBase > 0) || width <= 0)
        return 0;
    return width * 1000000.0 * (view.scale.timeScaleStep * view.scaleValue + 1.0) / (double(view.scaleMaximum) + 1.0) /
           view.scale.timeScaleBase;
}

Zoom zoomAt(const View &view, double x, double notches)
{
    Zoom zoom{view.scaleValue, view.selectedTime};
    const double pps = pixelsPerSecond(view);
    if (!(pps > 0) || !(view.currentCanTimer > 0) || !(view.scale.timeScaleStep > 0))
        return zoom;
    const double factor = (view.scale.timeScaleStep * view.scaleValue + 1.0) * std::pow(1.25, notches);
    zoom.scaleValue = int(std::clamp<qint64>(roundWhole((factor - 1.0) / view.scale.timeScaleStep), 0,
                                             view.scaleMaximum));
    View after = view;
    after.scaleValue = zoom.scaleValue;
    const double ppsAfter = pixelsPerSecond(after);
    const double offset = x - double(view.graphLeft);
    const double pointer = double(view.selectedTime) +
                           (offset - double(view.selectedDuration) * pps) / pps * view.currentCanTimer;
    const double start = pointer - (offset - double(view.selectedDuration) * ppsAfter) / ppsAfter * view.currentCanTimer;
    zoom.selectedTime = std::clamp<qint64>(roundWhole(start), 0, std::max<qint64>(view.lastFrameTime, 0));
    return zoom;
}

qint64 panBy(const View &view, double dx)
{
    const double pps = pixelsPerSecond(view);
    if (!(pps > 0) || !(view.currentCanTimer > 0))
        return view.selectedTime;
    const double start = double(view.selectedTime) - dx / pps * view.currentCanTimer;
    return std::clamp<qint64>(roundWhole(start), 0, std::max<qint64>(view.lastFrameTime, 0));
}

qint64 liveStart(const View &view, double lastFrameDuration)
{
    const double pps = pixelsPerSecond(view);
    if (!(pps > 0) || !(view.currentCanTimer > 0))
        return 0;
    const double width = double(view.width) - 2.0 * double(view.graphLeft);
    const double end = double(view.lastFrameTime) + lastFrameDuration * view.currentCanTimer;
    return std::max<qint64>(0, roundWhole(end - width / pps * view.currentCanTimer));
}

} // namespace timeline
