// The signal plot's data: a signal's points over the capture (multiplexed
// fields, the stamp wrap, frames that do not carry it), the cursor and the
// nearest frame, live growth through the throttle, and the CSV export.
#include "views/plotmodel.h"
#include "views/plotseries.h"

#include "core/capturestore.h"
#include "core/values.h"
#include "support/captureviews.h"
#include "support/testregistry.h"
#include "views/redrawthrottle.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using plotseries::Series;
using plotseries::Source;

namespace {

clsFrame frame(int std, qint64 stamp, QByteArray data)
{
    clsFrame f;
    f.ID.StdPart = std;
    f.TimeStamp = stamp;
    f.DLC = quint8(data.size());
    f.setData(data);
    return f;
}

DataField field(const char *name, int begin, int length, double factor = 1, qint64 multiplexValue = -1)
{
    DataField f;
    f.name = QLatin1String(name);
    f.begin = begin;
    f.end = begin + length - 1;
    f.factor = factor;
    f.multiplexValue = multiplexValue;
    return f;
}

// Identifier 0x200: a multiplexor in byte 0, "A" (byte 1) when it is 1, "B"
// (byte 1, times 2) when it is 2, "Level" (byte 2) always.
std::shared_ptr<const SignalSet> muxSet()
{
    DataField mux = field("Mux", 0, 8);
    mux.multiplexor = true;
    return std::make_shared<const SignalSet>(
        QList<DataField>{mux, field("A", 8, 8, 1, 1), field("B", 8, 8, 2, 2), field("Level", 16, 8)});
}

Series extracted(const CaptureStore &store, qint32 key, int fieldIndex, std::shared_ptr<const SignalSet> set)
{
    Source source{key, std::move(set), fieldIndex, 1000};
    Series s;
    plotseries::extend(s, source, store);
    return s;
}

} // namespace

class tst_PlotSeries : public QObject
{
    Q_OBJECT

private slots:
    // Points only where the frame carries the field: its multiplexor selects
    // it, it is not a remote frame, a lost record, another identifier or
    // too short. Times in seconds at 1000 ticks/s.
    void seriesOfAField_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QList<double>>("times");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QList<qsizetype>>("frames");
        QTest::newRow("multiplexed A: only where Mux is 1")
            << 1 << QList<double>{0, 3} << QList<double>{10, 13} << QList<qsizetype>{0, 4};
        QTest::newRow("multiplexed B: only where Mux is 2, factor 2")
            << 2 << QList<double>{1} << QList<double>{22} << QList<qsizetype>{1};
        QTest::newRow("plain field: every frame long enough")
            << 3 << QList<double>{0, 1, 3} << QList<double>{5, 6, 8} << QList<qsizetype>{0, 1, 4};
        QTest::newRow("the multiplexor itself")
            << 0 << QList<double>{0, 1, 2, 3} << QList<double>{1, 2, 3, 1} << QList<qsizetype>{0, 1, 2, 4};
    }
    void seriesOfAField()
    {
        QFETCH(int, field);
        CaptureStore store;
        std::vector<clsFrame> stored{
            frame(0x200, 0, QByteArray::fromHex("010A05")),    // 0: Mux 1
            frame(0x200, 1000, QByteArray::fromHex("020B06")), // 1: Mux 2
            frame(0x200, 2000, QByteArray::fromHex("03")),     // 2: Mux 3, too short for the rest
            frame(0x300, 2500, QByteArray::fromHex("010C07")), // 3: another identifier
            frame(0x200, 3000, QByteArray::fromHex("010D08")), // 4: Mux 1
        };
        clsFrame remote = frame(0x200, 3500, {});
        remote.Flags |= clsFrame::rtrBit;
        remote.DLC = 3;
        stored.push_back(remote);
        clsFrame lost = frame(0, 3600, {});
        lost.isLost = true;
        stored.push_back(lost);
        store.addListFrames(std::move(stored));

        QFETCH(QList<double>, times);
        QFETCH(QList<double>, values);
        QFETCH(QList<qsizetype>, frames);
        const Series s = extracted(store, 0x200, field, muxSet());
        QCOMPARE(QList<double>(s.time.cbegin(), s.time.cend()), times);
        QCOMPARE(QList<double>(s.value.cbegin(), s.value.cend()), values);
        QCOMPARE(QList<qsizetype>(s.frame.cbegin(), s.frame.cend()), frames);
        QCOMPARE(s.scanned, store.count());
    }

    // Stamps that wrap past 2^32 keep counting up; a series extended in steps
    // equals one taken at once; a store emptied and refilled starts over.
    void wrapAndGrowth()
    {
        CaptureStore store;
        const auto set = std::make_shared<const SignalSet>(QList<DataField>{field("Byte", 0, 8)});
        const Source source{0x123, set, 0, 1000};
        Series grown;
        for (const qint64 stamp : {Q_INT64_C(0xFFFFFC18), Q_INT64_C(0xFFFFFFFF), Q_INT64_C(0x3E8), Q_INT64_C(0x7D0)}) {
            store.addCapturedFrame(frame(0x123, stamp, QByteArray(1, char(stamp & 0x7F))));
            plotseries::extend(grown, source, store);
        }
        const Series whole = extracted(store, 0x123, 0, set);
        QCOMPARE(QList<double>(whole.time.cbegin(), whole.time.cend()), (QList<double>{0, 0.999, 2, 3}));
        QVERIFY(whole.ordered);
        QCOMPARE(grown.time, whole.time);
        QCOMPARE(grown.value, whole.value);

        store.clear();
        store.addCapturedFrame(frame(0x123, 50, QByteArray(1, char(9))));
        plotseries::extend(grown, source, store);
        QCOMPARE(QList<double>(grown.value.cbegin(), grown.value.cend()), QList<double>{9});
    }

    // The nearest point: before the first, after the last, a tie takes the
    // earlier one, and times out of order are searched one by one.
    void nearestPoint_data()
    {
        QTest::addColumn<QList<double>>("times");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qsizetype>("nearest");
        const QList<double> t{1, 2, 4};
        QTest::newRow("empty") << QList<double>{} << 1.0 << qsizetype(-1);
        QTest::newRow("before the first") << t << -5.0 << qsizetype(0);
        QTest::newRow("after the last") << t << 99.0 << qsizetype(2);
        QTest::newRow("tie takes the earlier") << t << 3.0 << qsizetype(1);
        QTest::newRow("closer to the later") << t << 3.1 << qsizetype(2);
        QTest::newRow("out of order") << QList<double>{5, 1, 3} << 1.2 << qsizetype(1);
    }
    void nearestPoint()
    {
        QFETCH(QList<double>, times);
        Series s;
        for (double t : times) {
            s.ordered = s.ordered && (s.time.empty() || t >= s.time.back());
            s.time.push_back(t);
        }
        QFETCH(double, seconds);
        QFETCH(qsizetype, nearest);
        QCOMPARE(plotseries::nearestPoint(s, seconds), nearest);
    }

    // The cursor and a click map both ways: a frame's cursor time picks the
    // same frame back; a click between two points picks the nearer one of
    // any curve; frames of other identifiers are never picked.
    void cursorAndNearestFrame()
    {
        CaptureStore store;
        FakeIdIndex index;
        index.setFields(0x100, {field("Low", 0, 8, 0.5)});
        index.setFields(0x200, {field("High", 0, 8)});
        std::vector<clsFrame> frames;
        for (int i = 0; i < 6; ++i)
            frames.push_back(frame(i % 3 == 2 ? 0x300 : (i % 2 ? 0x200 : 0x100), i * 100, QByteArray(1, char(i))));
        store.addListFrames(std::move(frames));
        PlotModel model(store);
        model.setTicksPerSecond(1000);
        model.setIdIndex(&index);
        QCOMPARE(model.addSignal(0x100, 0), QString());
        QCOMPARE(model.addSignal(0x200, 0), QString());
        QCOMPARE(model.addSignal(0x200, 0), QString()); // once only
        QCOMPARE(model.curves().size(), size_t(2));
        QVERIFY(!model.addSignal(0x200, 3).isEmpty());
        QVERIFY(!model.addSignal(0x555, 0).isEmpty());

        QSignalSpy moved(&model, &PlotModel::cursorMoved);
        for (const qsizetype f : {0, 1, 3, 4}) {
            model.setCursorFrame(f);
            QVERIFY(model.hasCursor());
            QCOMPARE(model.frameNear(model.cursorSeconds()), f);
        }
        QCOMPARE(moved.size(), 4);
        QCOMPARE(model.frameNear(0.24), qsizetype(3)); // frame 2 (0.2 s) is 0x300: not plotted
        QCOMPARE(model.frameNear(0.14), qsizetype(1));
        model.setCursorFrame(99);
        QVERIFY(!model.hasCursor());
        model.removeSignal(0);
        QCOMPARE(model.frameNear(0), qsizetype(1));
    }

    // While capturing, frames grow the curves at most once per interval: the
    // first batch at once, later ones on the tick; a tick with nothing new
    // draws nothing.
    void liveGrowthIsThrottled()
    {
        CaptureStore store;
        FakeIdIndex index;
        index.setFields(0x123, {field("Byte", 0, 8)});
        PlotModel model(store);
        model.setIdIndex(&index);
        QCOMPARE(model.addSignal(0x123, 0), QString());
        QSignalSpy grown(&model, &PlotModel::curvesGrown);
        const auto batch = [&] {
            store.addCapturedFrame(frame(0x123, store.count() * 10, QByteArray(1, char(store.count()))));
            model.framesAdded();
        };
        batch();
        QCOMPARE(grown.size(), 1);
        batch();
        batch();
        QCOMPARE(grown.size(), 1);
        QCOMPARE(model.curves()[0].series.size(), qsizetype(1));
        model.refreshThrottle()->timer_Timer();
        QCOMPARE(grown.size(), 2);
        QCOMPARE(model.curves()[0].series.size(), qsizetype(3));
        model.refreshThrottle()->timer_Timer(); // nothing gathered
        QCOMPARE(grown.size(), 2);
        model.refreshThrottle()->timer_Timer();
        batch(); // the interval is over: at once again
        QCOMPARE(grown.size(), 3);

        model.storeCleared();
        QCOMPARE(model.curves()[0].series.size(), qsizetype(0));
        QVERIFY(!model.refreshThrottle()->isDue());
    }

    // CSV: a line per point in time order, texts of value descriptions, and
    // names with commas quoted; a field gone from the data base drops its curve.
    void csvAndReload()
    {
        CaptureStore store;
        FakeIdIndex index;
        DataField gear = field("Gear, selected", 0, 4);
        gear.valueTexts = {{7, QStringLiteral("Reverse")}};
        DataField speed = field("Speed", 8, 8, 0.5);
        speed.unit = QStringLiteral("km/h");
        index.setFields(0x123, {gear, speed});
        store.addListFrames(std::vector<clsFrame>{frame(0x123, 0, QByteArray::fromHex("0764")),
                                                  frame(0x123, 1500000, QByteArray::fromHex("0265"))});
        PlotModel model(store);
        model.setIdIndex(&index);
        QCOMPARE(model.addSignal(0x123, 1), QString());
        QCOMPARE(model.addSignal(0x123, 0), QString());
        QVERIFY(model.curves()[1].steps());
        QCOMPARE(model.units(), (QStringList{QStringLiteral("km/h"), QString()}));
        QCOMPARE(model.csv(), QByteArray("Time (s),Identifier,Signal,Value,Unit,Description\r\n"
                                         "0,123,Speed,50,km/h,\r\n"
                                         "0,123,\"Gear, selected\",7,,Reverse\r\n"
                                         "1.5,123,Speed,50.5,km/h,\r\n"
                                         "1.5,123,\"Gear, selected\",2,,\r\n"));
        QVERIFY(!model.saveCsv(QStringLiteral("/nonexistent-folder/plot.csv")).isEmpty());

        index.setFields(0x123, {speed});
        model.reload();
        // The fields moved: neither curve's index names its field any more.
        QCOMPARE(model.curves().size(), size_t(0));
    }
};

TESSEL_TEST(tst_PlotSeries)
#include "tst_plotseries.moc"
