// The time line in numbers: bar positions, labels and the grid rule for a
// known capture, the scroll-bar arithmetic, and merged bars leaving every
// pixel column as one bar per frame would.
#include "views/timeline.h"

#include "core/values.h"
#include "support/testregistry.h"
#include "support/timelineview.h"

#include <QRandomGenerator>
#include <QtTest>

#include <vector>

using namespace timeline;

namespace QTest {
template <> char *toString(const std::vector<Bar> &bars)
{
    QByteArray text;
    for (const Bar &bar : bars)
        text += QByteArray::number(bar.x0) + ".." + QByteArray::number(bar.x1) + " #" +
                QByteArray::number(bar.colour, 16) + "; ";
    return qstrdup(text);
}
} // namespace QTest

namespace {

clsFrame frameAt(qint64 time, double duration, int std)
{
    clsFrame f;
    f.ID.StdPart = std;
    f.TimeStamp = time;
    f.Time = time;
    f.Duration = duration;
    return f;
}

// At 1 MHz: the selected frame (number 2, 0.2 ms) at the left edge, frames of
// 0.5 ms; 0x555 is unticked, and one of its frames lies beyond the right edge
// without stopping the walk.
const std::vector<clsFrame> known{
    frameAt(0, 0.0005, 0x100),      //
    frameAt(1000, 0.0005, 0x200),   // selected
    frameAt(3000, 0.0005, 0x300),   //
    frameAt(40000, 0.0005, 0x555),  // unticked
    frameAt(30900, 0.0005, 0x7FF),  // cut at the right edge, ends the walk
    frameAt(31000, 0.0005, 0x400),  // not reached
    frameAt(2999000, 0.0010, 0x401) // last frame: 3 s capture
};

const KeyFilter noUnticked = [](qint32 key) { return key != 0x555; };

// What painting the bars in order leaves in each pixel column (-1: nothing).
std::vector<qint64> paintedColumns(const std::vector<Bar> &bars, int width)
{
    std::vector<qint64> columns(size_t(width), -1);
    for (const Bar &bar : bars)
        for (int x = std::max(bar.x0, 0); x <= bar.x1 && x < width; ++x)
            columns[size_t(x)] = bar.colour;
    return columns;
}

} // namespace

class tst_Timeline : public QObject
{
    Q_OBJECT

private slots:
    // Zoom 0 shows the whole capture: the last frame's end on the right edge.
    // Zoom 990: 20000 pixels/s, 20 pixels per millisecond, a tick 0.02 pixels.
    void barsOfAKnownCapture()
    {
        const TimeScale scale = scaleForCapture(2999000, 0.001, 1000000);
        QCOMPARE(scale.timeScaleBase, 100.0);
        QCOMPARE(scale.timeScaleStep, 0.1);
        QCOMPARE(scaleForCapture(2999000, 0.001, 0).timeScaleBase, 0.0);
        QCOMPARE(drawOscilograph(knownTimelineView(0), known, noUnticked).pixelsPerSecond, 200.0f);

        const Picture p = drawOscilograph(knownTimelineView(990), known, noUnticked, Bars::every);
        QVERIFY(p.framesDrawn);
        QCOMPARE(p.pixelsPerSecond, 20000.0f);
        QCOMPARE(p.graphRight, 610.0f);
        QCOMPARE(p.graphBottom, 85.0f);
        const std::vector<Bar> expected{
            {10, 14, idColour(idKey(0x200))},  // selected: 4 px wide, its 10 px start cut at graphLeft
            {44, 54, idColour(idKey(0x300))},  // 2 ms later: end at 14 + 40
            {602, 610, idColour(idKey(0x7FF))} // end 612 lowered to graphRight
        };
        QCOMPARE(p.bars, expected);
        QCOMPARE(drawOscilograph(knownTimelineView(990), known, noUnticked, Bars::merged).bars, expected);
        // The bottom labels: selected time in ticks, the trace width in ms.
        QCOMPARE(p.bottomLabels.size(), size_t(2));
        QCOMPARE(p.bottomLabels[0].text, QStringLiteral("1000"));
        QCOMPARE(p.bottomLabels[0].x, 10.0f);
        QCOMPARE(p.bottomLabels[1].text, formatSeconds(30.5f, 12) + QStringLiteral(" ms"));
        QCOMPARE(p.bottomLabels[1].x, 510.0f);
        QCOMPARE(p.bottomLabels[1].y, 85.0f);
    }

    // A bar is labelled only when it and the capture's shortest frame are as
    // wide as the label; labels stand above the trace.
    void identifierLabels_data()
    {
        QTest::addColumn<float>("labelWidth");
        QTest::addColumn<double>("minFrameDuration");
        QTest::addColumn<QString>("labels");
        QTest::newRow("bars of 10 and 8 pixels take a label 8 wide") << 8.0f << 0.0005 << "300@44 7FF@602";
        QTest::newRow("no bar is as wide as the label") << 18.0f << 0.0005 << "";
        QTest::newRow("the shortest frame of the capture is narrower than the label") << 8.0f << 0.0002 << "";
    }
    void identifierLabels()
    {
        View v = knownTimelineView(990);
        QFETCH(float, labelWidth);
        QFETCH(double, minFrameDuration);
        v.labelWidth = labelWidth;
        v.minFrameDuration = minFrameDuration;
        QStringList got;
        for (const Label &label : drawOscilograph(v, known, noUnticked).idLabels) {
            got << label.text + "@" + QString::number(label.x);
            QCOMPARE(label.y, 0.0f); // graphTop - 15
        }
        QTEST(got.join(' '), "labels");
    }

    // A line every millisecond from graphLeft, below graphRight, from 5
    // pixels per millisecond on.
    void millisecondGrid()
    {
        for (const auto &[zoom, lines, step] : {std::tuple{239, 0, 0.0f}, {240, 120, 5.0f}, {990, 30, 20.0f}}) {
            const Picture p = drawOscilograph(knownTimelineView(zoom), known, noUnticked);
            QCOMPARE(int(p.gridX.size()), lines);
            for (size_t k = 0; k < p.gridX.size(); ++k)
                QCOMPARE(p.gridX[k], 10.0f + float(k) * step);
            QVERIFY(p.gridX.empty() || p.gridX.back() < p.graphRight);
        }
    }

    void framesNotDrawn_data()
    {
        QTest::addColumn<View>("view");
        QTest::addColumn<int>("bottomLabels");
        View v = knownTimelineView(990);
        v.selectedFrame = 0;
        QTest::newRow("no row selected, never drawn before: only the time label") << v << 1;
        v.pixelsPerSecond = 1234;
        QTest::newRow("no row selected, drawn before: both labels") << v << 2;
        v = knownTimelineView(990);
        v.lastFrameTime = 0;
        QTest::newRow("capture of length 0") << v << 1;
        v = knownTimelineView(990);
        v.currentCanTimer = 0;
        QTest::newRow("no timer rate") << v << 1;
        v = knownTimelineView(990);
        v.scale = {};
        QTest::newRow("no capture completed yet") << v << 1;
    }
    void framesNotDrawn()
    {
        QFETCH(View, view);
        const Picture p = drawOscilograph(view, known, noUnticked);
        QVERIFY(!p.framesDrawn);
        QVERIFY(p.bars.empty() && p.gridX.empty());
        QTEST(int(p.bottomLabels.size()), "bottomLabels");
        QCOMPARE(drawOscilograph(view, std::span<const clsFrame>(), noUnticked).bottomLabels.size(), size_t(0));
    }

    // The scroll bar from the selection (a capture of 3000 ticks), the row
    // and time the scroll bar picks (rows at 0, 100, 300, 500), and a scroll
    // value back to a time (nearest tick, halves away from zero).
    void scrollBarArithmetic()
    {
        const struct
        {
            int zoom;
            qint64 selectedTime;
            int maximum, value, largeChange;
        } bars[] = {{0, 500, 0, 0, 1},                 // zoom 0: nothing to scroll
                    {3000, 1500, 3000, 1500, 11},      // half way
                    {299, 1, 299, 0, 1},               // rounded to a whole step
                    {29999, 3000, 29999, 29999, 100}}; // end of the capture
        for (const auto &b : bars) {
            const ScrollBar bar = scrollForSelection(b.zoom, b.selectedTime, 3000);
            QCOMPARE(QList<int>({bar.maximum, bar.value, bar.smallChange, bar.largeChange}),
                     QList<int>({b.maximum, b.value, 1, b.largeChange}));
        }
        QCOMPARE(scrollForSelection(100, 0, 0).value, 0); // capture of length 0: no division

        const qint64 times[] = {0, 100, 300, 500};
        const auto timeOfRow = [&times](int r) { return times[r - 1]; };
        const struct
        {
            qint64 wanted;
            int row;
            qint64 selectedTime;
        } picks[] = {{0, 1, 0},      // at the first row: the first row
                     {250, 2, 250},  // between rows: the row before the next one
                     {300, 2, 300},  // exactly on a row: the row before it
                     {999, 4, 500}}; // past the last row: the last row and its time
        for (const auto &p : picks) {
            const ScrollSelection s = rowForTime(p.wanted, 4, timeOfRow);
            QCOMPARE(s.currentRow, p.row);
            QCOMPARE(s.selectedTime, p.selectedTime);
        }
        QCOMPARE(rowForTime(5, 0, [](int) { return qint64(0); }).currentRow, 0);
        QCOMPARE(timeForScroll(1, 2, 3), qint64(2));
        QCOMPARE(timeForScroll(7, 0, 3000), qint64(0));
        QCOMPARE(timeForScroll(29999, 29999, 2999000), qint64(2999000));
    }

    // Bars merged per pixel column leave every pixel as painting one bar per
    // frame would: overlapping frames, many identifiers, some unticked, lost
    // records, at whole-capture and middle zooms.
    void mergedBarsPaintLikeEveryBar()
    {
        QRandomGenerator random(1234);
        std::vector<clsFrame> frames;
        qint64 time = 0;
        for (int i = 0; i < 20000; ++i) {
            clsFrame f = frameAt(time, 0.00005 + random.bounded(400) * 1e-6, int(random.bounded(12)) * 0x91);
            if (random.bounded(50) == 0) {
                f.isLost = true;
                f.Duration = 0;
            }
            frames.push_back(f);
            time += random.bounded(300); // often shorter than the frames: they overlap
        }
        View v;
        v.width = 700;
        v.height = 120;
        v.scale = scaleForCapture(time, 0.0002, 1000000);
        v.currentCanTimer = 1000000;
        v.selectedFrame = 1;
        v.lastFrameTime = frames.back().Time.value();
        v.minFrameDuration = 0;
        const KeyFilter filter = [](qint32 key) { return key != 3 * 0x91; };
        for (int zoom : {0, 40, 400}) {
            v.scaleValue = zoom;
            const Picture every = drawOscilograph(v, frames, filter, Bars::every);
            const Picture merged = drawOscilograph(v, frames, filter, Bars::merged);
            QVERIFY(every.bars.size() > 100);
            QVERIFY(merged.bars.size() <= size_t(v.width));
            QCOMPARE(paintedColumns(merged.bars, v.width), paintedColumns(every.bars, v.width));
            // The store's frames come in runs, one per chunk of its file: the
            // trace over them is the same, from any selected frame.
            for (const qint64 selected : {qint64(1), qint64(64), qint64(65), qint64(12345)}) {
                v.selectedFrame = selected;
                FrameSpans runs;
                for (size_t at = 0; at < frames.size(); at += 64)
                    runs.emplace_back(frames.data() + at, std::min<size_t>(64, frames.size() - at));
                const Picture whole = drawOscilograph(v, frames, filter, Bars::every);
                QCOMPARE(drawOscilograph(v, runs, filter, Bars::every).bars, whole.bars);
            }
            v.selectedFrame = 1;
        }
    }
};

TESSEL_TEST(tst_Timeline)
#include "tst_timeline.moc"
