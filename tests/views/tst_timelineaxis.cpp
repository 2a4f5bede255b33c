// The time line beyond its bars: the time axis (steps, labels in ms or s,
// never over the bottom labels), every frame of a long capture visible at
// whole-capture zoom, and the wheel, drag and live arithmetic.
#include "views/timeline.h"

#include "support/testregistry.h"
#include "support/timelineview.h"

#include <QtTest>

#include <cmath>
#include <vector>

using namespace timeline;

namespace {

// The time line's known view with frame 1 selected and no shortest frame.
View knownView(int zoom)
{
    View v = knownTimelineView(zoom);
    v.selectedFrame = 1;
    v.minFrameDuration = 0;
    return v;
}

// The capture tick under picture x.
double tickAt(const View &v, double x)
{
    const double pps = pixelsPerSecond(v);
    return double(v.selectedTime) + (x - v.graphLeft - double(v.selectedDuration) * pps) / pps * v.currentCanTimer;
}

} // namespace

class tst_TimelineAxis : public QObject
{
    Q_OBJECT

private slots:
    void stepsAndTexts_data()
    {
        QTest::addColumn<double>("pixelsPerSecond");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("text");
        QTest::newRow("200 px/s: 0.5 s, below a second in ms") << 200.0 << 0.5 << 0.5 << "500 ms";
        QTest::newRow("a second and more in s") << 200.0 << 61.5 << 0.5 << "61.5 s";
        QTest::newRow("whole seconds without decimals") << 50.0 << 2.0 << 2.0 << "2 s";
        QTest::newRow("fine zoom: 20000 px/s, 5 ms") << 20000.0 << 0.025 << 0.005 << "25 ms";
        QTest::newRow("finest: fractions of a ms") << 2000000.0 << 0.0005 << 0.00005 << "0.50 ms";
        QTest::newRow("zero") << 200.0 << 0.0 << 0.5 << "0 ms";
        QTest::newRow("a minute at 10 px/s: 10 s") << 10.0 << 60.0 << 10.0 << "60 s";
        QTest::newRow("nothing drawn") << 0.0 << 0.0 << 0.0 << "0 ms";
    }
    void stepsAndTexts()
    {
        QFETCH(double, pixelsPerSecond);
        QFETCH(double, seconds);
        QFETCH(double, step);
        QFETCH(QString, text);
        QCOMPARE(tickStep(pixelsPerSecond, 80), step);
        QCOMPARE(timeText(seconds, step), text);
    }

    // Each tick sits where its time is drawn, steps apart; labels under them
    // never cover the two bottom labels or each other, and stay in the picture.
    void axisOfAKnownCapture_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::newRow("whole capture") << 0;
        QTest::newRow("zoom 990") << 990;
        QTest::newRow("deepest zoom") << scaleMaximum;
    }
    void axisOfAKnownCapture()
    {
        QFETCH(int, zoom);
        const View v = knownView(zoom);
        std::vector<clsFrame> frames(2);
        frames[0].Time = 0;
        frames[1].Time = 2999000;
        const Picture p = drawOscilograph(v, frames, {});
        QVERIFY(p.framesDrawn);
        QVERIFY(p.axisTicksX.size() >= 3);
        QVERIFY(p.axisLabels.size() >= 2);
        const double step = tickStep(p.pixelsPerSecond, 12 * 6);
        for (const float x : p.axisTicksX) {
            QVERIFY(x >= p.graphLeft && x <= p.graphRight + 0.01f);
            const double seconds = tickAt(v, x) / v.currentCanTimer;
            QVERIFY2(std::abs(seconds / step - std::round(seconds / step)) < 1e-3,
                     qPrintable(QString::number(seconds)));
        }
        std::vector<Label> all = p.bottomLabels;
        all.insert(all.end(), p.axisLabels.cbegin(), p.axisLabels.cend());
        for (size_t i = 0; i < all.size(); ++i)
            for (size_t j = i + 1; j < all.size(); ++j) {
                const double a0 = all[i].x, a1 = a0 + 6.0 * double(all[i].text.size());
                const double b0 = all[j].x, b1 = b0 + 6.0 * double(all[j].text.size());
                QVERIFY2(a1 <= b0 || b1 <= a0, qPrintable(all[i].text + QStringLiteral(" / ") + all[j].text));
            }
        QVERIFY(p.axisLabels.front().text.endsWith(QLatin1String("s")));
    }

    // A minute of frames 500 us apart, 0.2 ms each, at whole-capture zoom:
    // each frame is a five-hundredth of a pixel, yet the column of every
    // frame is painted, in the colour of the last frame in it, one bar a run.
    void everyFrameVisibleAtWholeCapture()
    {
        const int count = 120000;
        std::vector<clsFrame> frames(count);
        for (int i = 0; i < count; ++i) {
            frames[size_t(i)].ID.StdPart = (i / 7000) % 2 ? 0x100 : 0x7F0; // runs of one colour
            frames[size_t(i)].Time = qint64(i) * 500;
            frames[size_t(i)].Duration = 0.0002;
        }
        View v = knownView(0);
        v.scale = scaleForCapture(frames.back().Time.value(), 0.0002, 1000000);
        v.selectedTime = 0;
        v.selectedDuration = 0.0002f;
        v.lastFrameTime = *frames.back().Time;
        const Picture p = drawOscilograph(v, frames, {});
        std::vector<qint64> painted(size_t(v.width), -1);
        for (const Bar &bar : p.bars) {
            QVERIFY(bar.x1 >= bar.x0);
            for (int x = bar.x0; x <= bar.x1; ++x)
                painted[size_t(x)] = bar.colour;
        }
        std::vector<qint64> expected(size_t(v.width), -1);
        const double pps = pixelsPerSecond(v);
        for (const clsFrame &f : frames) {
            const double end = 10 + 0.0002 * pps + double(*f.Time) * pps / 1e6;
            const Bar bar = barColumns(std::max(end - f.Duration * pps, 10.0), std::min(end, 610.0), frameColour(f));
            for (int x = bar.x0; x <= bar.x1; ++x)
                expected[size_t(x)] = bar.colour;
        }
        QCOMPARE(painted, expected);
        QVERIFY(std::count(painted.cbegin() + 10, painted.cbegin() + 610, qint64(-1)) == 0);
        QVERIFY(p.bars.size() < 40);
    }

    // The wheel keeps the time under the pointer in place (to a tick) and
    // stops at the ends of the zoom bar; a drag moves the trace with the
    // pointer, within the capture; live drawing ends at the newest frame.
    void wheelDragAndLive()
    {
        for (const double x : {10.0, 200.0, 610.0}) {
            const View v = knownView(300);
            const Zoom in = zoomAt(v, x, 2);
            QVERIFY(in.scaleValue > v.scaleValue);
            View after = v;
            after.scaleValue = in.scaleValue;
            after.selectedTime = in.selectedTime;
            QVERIFY(std::abs(tickAt(after, x) - tickAt(v, x)) <= 1.0);
            const Zoom out = zoomAt(after, x, -2);
            QVERIFY(std::abs(out.scaleValue - v.scaleValue) <= 1);
        }
        QCOMPARE(zoomAt(knownView(0), 300, -3).scaleValue, 0);
        QCOMPARE(zoomAt(knownView(scaleMaximum), 300, 5).scaleValue, scaleMaximum);
        View none = knownView(300);
        none.scale = {};
        QCOMPARE(zoomAt(none, 300, 1).scaleValue, 300);

        const View v = knownView(990); // 20000 px/s: 50 ticks a pixel
        QCOMPARE(panBy(v, -10), qint64(1500));
        QCOMPARE(panBy(v, 10), qint64(500));
        QCOMPARE(panBy(v, 1000), qint64(0));
        QCOMPARE(panBy(v, -1e9), qint64(2999000));

        QCOMPARE(liveStart(knownView(0), 0.001), qint64(0));
        QCOMPARE(liveStart(v, 0.001), qint64(3000000 - 30000));
    }
};

TESSEL_TEST(tst_TimelineAxis)
#include "tst_timelineaxis.moc"
