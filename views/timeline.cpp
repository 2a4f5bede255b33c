#include "views/timeline.h"

#include "core/values.h"

#include <QHash>

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
    Picture p;
    p.graphLeft = view.graphLeft;
    p.graphTop = view.graphTop;
    p.graphRight = float(view.width) - view.graphLeft;
    p.graphBottom = float(view.height) - view.graphTop;
    p.top = int(std::floor(p.graphTop));
    p.bottom = int(std::floor(p.graphBottom));
    p.pixelsPerSecond = view.pixelsPerSecond;

    const bool canDraw = view.selectedFrame >= 1 && view.selectedFrame <= qint64(frames.size()) &&
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
        for (size_t i = size_t(view.selectedFrame - 1); i < frames.size(); ++i) {
            const clsFrame &frame = frames[i];
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

    if (!frames.empty()) {
        p.bottomLabels.push_back({p.graphLeft, p.graphBottom, QString::number(view.selectedTime)});
        if (p.pixelsPerSecond != 0)
            p.bottomLabels.push_back(
                {p.graphRight - 100, p.graphBottom,
                 formatSeconds(p.graphRight * 1000 / p.pixelsPerSecond, 12) + QStringLiteral(" ms")});
    }
    return p;
}

} // namespace timeline
