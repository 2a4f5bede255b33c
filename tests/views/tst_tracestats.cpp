#include "core/busload.h"
#include "support/captureviews.h"
#include "support/testregistry.h"
#include "views/capturestatistics.h"
#include "views/contrast.h"
#include "views/idstatistics.h"
#include "views/mainlayout.h"

#include <QtTest>

// What makes a trace readable and its figures trustworthy: legible text on
// every identifier colour, times in seconds and cycle times, the exact bit
// length of frames and the bus load, per-identifier timing, and the panes
// keeping their proportions.
class tst_TraceStats : public QObject
{
    Q_OBJECT

    using Stamps = QList<qint64>;
    using Texts = QStringList;

    static clsFrame remote(qint32 id, int dlc, bool extended = false)
    {
        clsFrame f = makeFrame(0, id, extended, 0);
        f.setRTR(1);
        f.DLC = quint8(dlc);
        return f;
    }

private slots:
    // ---- legible colours ----

    void everyIdentifierColourIsReadable()
    {
        const QRgb white = qRgb(255, 255, 255);
        const QRgb black = qRgb(0, 0, 0);
        // The lost-frame row colour too (F1F1F1, invisible on white as it is).
        QList<quint32> colours{0xF1F1F1};
        for (int id = 0; id <= 0x7FF; ++id)
            colours << hexColour(hexPad(id, 3));
        for (quint32 c : std::as_const(colours)) {
            const QRgb identity = rgbFromColour(c);
            for (const QRgb background : {white, qRgb(0xF7, 0xF7, 0xF7), black}) {
                const QRgb text = contrast::readableOn(identity, background);
                const double ratio = contrast::ratio(text, background);
                QVERIFY2(ratio >= contrast::minimumRatio, qPrintable(QString::number(c, 16)));
                if (contrast::ratio(identity, background) >= contrast::minimumRatio) {
                    QCOMPARE(text, identity); // already legible: left alone
                } else {
                    // Just enough: darkened no further than a hair past the minimum.
                    QVERIFY2(ratio < contrast::minimumRatio + 0.15, qPrintable(QString::number(c, 16)));
                }
            }
            // The " new " badge: black or white on the swatch, whichever reads.
            QVERIFY(contrast::ratio(contrast::textOn(identity), identity) >= contrast::minimumRatio);
        }
        QCOMPARE(contrast::textOn(qRgb(0x10, 0x10, 0x70)), white);
        QCOMPARE(contrast::textOn(qRgb(0xF0, 0xF0, 0x70)), black);
        QCOMPARE(qRound(contrast::ratio(black, white) * 10), 210);
    }

    void rowsAndMonitorUseTheReadableColour()
    {
        CaptureViews v;
        v.captureFrame(makeFrame(0, 0x7FF)); // identity F0F0F0
        v.captureFrame(makeLost(5, 2));
        const QRgb white = qRgb(255, 255, 255);
        for (int r = 0; r < 2; ++r) {
            const QColor text = v.messages.data(v.messages.index(r, 0), Qt::ForegroundRole).value<QColor>();
            QVERIFY(contrast::ratio(text.rgb(), white) >= contrast::minimumRatio);
        }
        // The identity colour itself is unchanged.
        QCOMPARE(MessageModel::rowColour(v.store.frame(0)), quint32(0xF0F0F0));
        const QColor id = v.monitor.data(v.monitor.index(0, MonitorList::colID), Qt::ForegroundRole).value<QColor>();
        QVERIFY(contrast::ratio(id.rgb(), white) >= contrast::minimumRatio);
    }

    // ---- times ----

    void previousOfSameId()
    {
        // Frames 0..5: 100, 200 ext, lost, 100, 200 std, 200 ext.
        std::vector<clsFrame> frames{makeFrame(0, 0x100),  makeFrame(10, 0x200, true), makeLost(20, 3),
                                     makeFrame(30, 0x100), makeFrame(40, 0x200),       makeFrame(50, 0x200, true)};
        const QList<qsizetype> expected{-1, -1, -1, 0, -1, 1};
        for (const bool loaded : {false, true}) {
            CaptureStore store;
            if (loaded) {
                auto copy = frames;
                store.addListFrames(std::move(copy));
            } else {
                for (const clsFrame &f : frames)
                    store.addListFrames(f);
            }
            for (int i = 0; i < expected.size(); ++i)
                QCOMPARE(store.previousOfSameId(i), expected[i]);
            QCOMPARE(store.previousOfSameId(-1), qsizetype(-1));
            QCOMPARE(store.previousOfSameId(99), qsizetype(-1));
            store.clear();
            store.addListFrames(makeFrame(0, 0x100));
            QCOMPARE(store.previousOfSameId(0), qsizetype(-1)); // nothing of the old capture
        }
    }

    void secondsText_data()
    {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64(0) << 1e6 << "0.000000";
        QTest::newRow("one tick at 1 MHz") << qint64(1) << 1e6 << "0.000001";
        QTest::newRow("2 MHz timer") << qint64(3000001) << 2e6 << "1.500001";
        QTest::newRow("past the 32-bit wrap") << Q_INT64_C(0x100000110) << 1e6 << "4294.967568";
        QTest::newRow("10 kHz timer") << qint64(12345) << 1e4 << "1.234500";
        QTest::newRow("below zero") << qint64(-5) << 1e6 << "-0.000005";
        QTest::newRow("no rate: empty") << qint64(5) << 0.0 << "";
    }
    void secondsText()
    {
        QFETCH(qint64, ticks);
        QFETCH(double, rate);
        QTEST(MessageModel::secondsText(ticks, rate, QLocale::c()), "text");
    }

    void timeAndCycleColumns()
    {
        CaptureViews v;
        v.messages.setTicksPerSecond(1e6);
        // 100 every 10 ms across the stamp's wrap; 200 once; a lost record.
        for (qint64 s : Stamps{0xFFFF0000, 0xFFFF0000 + 10000, 0xFFFF0000 + 20000 - 0x100000000})
            v.captureFrame(makeFrame(s, 0x100));
        v.captureFrame(makeFrame(0x5000, 0x200));
        v.captureFrame(makeLost(0x6000, 4));
        Texts seconds;
        Texts cycles;
        for (int r = 0; r < v.messages.count(); ++r) {
            seconds << v.messages.text(r, MessageModel::colSeconds);
            cycles << v.messages.text(r, MessageModel::colCycle);
        }
        QCOMPARE(seconds, (Texts{"0.000000", "0.010000", "0.020000", "0.086016", "0.090112"}));
        QCOMPARE(cycles, (Texts{"", "10.000", "10.000", "", ""}));
        QCOMPARE(MessageModel::columnCaption(MessageModel::colSeconds), QStringLiteral("Time, s"));
        QVERIFY(MessageModel::colBus < MessageModel::colSeconds); // after every column that was there
    }

    // ---- bit lengths and bus load ----

    void frameBits_data()
    {
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<int>("bits");
        // Worked out in busload.h: 34 zeros need 6 stuff bits, + 13.
        QTest::newRow("standard 000, no data") << makeFrame(0, 0) << 53;
        // 50 bits SOF to CRC (CRC 0x4099 over SOF..data), 2 stuff bits, + 13.
        clsFrame aa55 = makeFrame(0, 0x123, false, 2);
        aa55.setData(QByteArray::fromHex("AA55"));
        QTest::newRow("standard 123, data AA 55") << aa55 << 65;
        QTest::newRow("extended 12345678, 8 bytes") << makeFrame(0, 0x12345678, true, 8) << 134;
        QTest::newRow("remote 7FF, DLC 4: no data field") << remote(0x7FF, 4) << 50;
        QTest::newRow("remote extended, DLC 0") << remote(0x12345678, 0, true) << 69;
        clsFrame zeros = makeFrame(0, 0, false, 8);
        zeros.setData(QByteArray(8, '\0'));
        QTest::newRow("8 zero bytes: stuffing at its worst") << zeros << 127;
        clsFrame big = makeFrame(0, 0x123, false, 8);
        QTest::newRow("standard 123, 8 bytes") << big << 112;
        big.DLC = 15; // the DLC field says 15, the data field stays 8 bytes
        QTest::newRow("DLC 15 carries 8 bytes") << big << 111;
        QTest::newRow("lost-frame record is no frame") << makeLost(0, 3) << 0;
    }
    void frameBits()
    {
        QFETCH(clsFrame, frame);
        QTEST(busload::frameBits(frame), "bits");
    }

    // The count a byte at a time against the rules a bit at a time, on frames
    // of every kind, with runs of equal bits across byte and field borders.
    void frameBitsFollowTheBitRules()
    {
        quint32 seed = 7;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
        for (int n = 0; n < 20000; ++n) {
            clsFrame f;
            f.setIDE(int(next() & 1));
            f.setRTR(int(next() % 4 == 0));
            f.setRB0(int(next() & 1));
            f.setRB1(int(next() & 1));
            f.ID.StdPart = int(next() % 3 == 0 ? (next() & 1) * 0x7FF : next() & 0x7FF);
            f.ID.ExtPart = int(next() & 0x3FFFF);
            f.DLC = quint8(next() % 16);
            for (int i = 0; i < 8; ++i)
                f.setDataB(i, quint8(next() % 3 == 0 ? (next() & 1) * 0xFF : next()));
            std::vector<quint8> bits;
            const auto put = [&bits](quint32 value, int width) {
                for (int i = width - 1; i >= 0; --i)
                    bits.push_back(quint8((value >> i) & 1));
            };
            put(0, 1);
            put(quint32(f.ID.StdPart), 11);
            if (f.IDE())
                put(0x3, 2), put(quint32(f.ID.ExtPart), 18), put(quint32(f.RTR()), 1), put(quint32(f.RB1()), 1);
            else
                put(quint32(f.RTR()), 1), put(0, 1);
            put(quint32(f.RB0()), 1);
            put(f.DLC, 4);
            for (int i = 0; i < (f.RTR() ? 0 : f.dataLength()); ++i)
                put(f.DataB(i), 8);
            put(busload::crc15(bits.data(), int(bits.size())), 15);
            const int expected = int(bits.size()) + busload::stuffBits(bits.data(), int(bits.size())) + 13;
            QCOMPARE(busload::frameBits(f), expected);
        }
    }

    void crcAndStuffing()
    {
        // The CRC-15 of the ASCII bytes "123456789", the polynomial's check value.
        std::vector<quint8> bits;
        for (char c : QByteArrayLiteral("123456789"))
            for (int i = 7; i >= 0; --i)
                bits.push_back(quint8((c >> i) & 1));
        QCOMPARE(busload::crc15(bits.data(), int(bits.size())), quint16(0x059E));
        const quint8 five[] = {1, 1, 1, 1, 1};
        const quint8 ten[] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 0};
        const quint8 alternating[] = {0, 1, 0, 1, 0, 1};
        QCOMPARE(busload::stuffBits(five, 5), 1);
        QCOMPARE(busload::stuffBits(ten, 10), 2); // the stuff bit 1 and four 1s make five
        QCOMPARE(busload::stuffBits(alternating, 6), 0);
    }

    void busLoadAndLost()
    {
        // 500 kbit/s, 1 MHz stamps: frame 123 (65 bits) every millisecond for
        // 2.5 s, and two lost-frame records carrying 3 and 4 frames.
        BusStatistics bus;
        bus.setRates(500000, 1e6);
        for (int i = 0; i < 2500; ++i) {
            clsFrame f = makeFrame(i * 1000, 0x123, false, 2);
            f.setData(QByteArray::fromHex("AA55"));
            bus.add(f, i * 1000);
        }
        bus.add(makeLost(2500000, 3), 2500000);
        bus.add(makeLost(2500100, 4), 2500100);
        QCOMPARE(bus.frames(), qint64(2500));
        QCOMPARE(bus.lostFrames(), qint64(7)); // the counts, not the 2 records
        QCOMPARE(bus.lostRecords(), qint64(2));
        // The last whole second: 1000 frames of 65 bits on 500000 bits/s = 13 %.
        QCOMPARE(bus.loadPercent(), 13.0);
        QCOMPARE(bus.framesPerSecond(), 1000.0);
        QVERIFY(std::abs(bus.averageLoadPercent() - 13.0) < 0.01);
        // The bus falls silent: the second that held 2.0-2.5 s closes, then nothing.
        bus.advanceTo(3200000);
        QCOMPARE(bus.loadPercent(), 6.5);
        bus.advanceTo(4500000);
        QCOMPARE(bus.loadPercent(), 0.0);
        QCOMPARE(bus.framesPerSecond(), 0.0);
        BusStatistics noRate;
        noRate.add(makeFrame(0, 1), 0);
        QCOMPARE(noRate.loadPercent(), 0.0); // no bit rate: no figure, no division by zero
    }

    // ---- per-identifier statistics ----

    void identifierTiming()
    {
        // Stamps of 100 across the 32-bit wrap, periods 10, 12, 8 ms; an
        // extended identifier, a lost record and a stamp running backwards.
        CaptureStore store;
        for (qint64 s :
             Stamps{0xFFFF0000, 0xFFFF0000 + 10000, 0xFFFF0000 + 22000 - 0x100000000, 0xFFFF0000 + 30000 - 0x100000000})
            store.addListFrames(makeFrame(s, 0x100, false, 3));
        store.addListFrames(makeLost(0x5000, 9));
        store.addListFrames(makeFrame(0x6000, 0x1ABCDE, true, 1));
        CaptureStatistics stats;
        stats.setRates(500000, 1e6);
        QVERIFY(stats.update(store));
        QVERIFY(!stats.update(store)); // nothing new
        const IdStatistics &ids = stats.identifiers();
        QCOMPARE(ids.size(), qsizetype(2)); // the lost record is no identifier
        const IdStatistics::Entry *e = ids.find(0x100);
        QVERIFY(e);
        QCOMPARE(e->frames, qint64(4));
        QCOMPARE(ids.minPeriod(*e), 0.008);
        QCOMPARE(ids.maxPeriod(*e), 0.012);
        QCOMPARE(ids.meanPeriod(*e), 0.010);
        // Periods 10, 12, 8: standard deviation sqrt(8/3) ms.
        QVERIFY(std::abs(ids.jitter(*e) - std::sqrt(8.0 / 3.0) / 1000.0) < 1e-9);
        QCOMPARE(ids.framesPerSecond(*e), 100.0); // first second: 1 / mean period
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(e->data.data()), 3), QByteArray::fromHex("112233"));
        QVERIFY(ids.find(frameIdNumber(makeFrame(0, 0x1ABCDE, true))));
        QCOMPARE(stats.bus().lostFrames(), qint64(9));

        // More frames arrive: only they are taken; a store emptied starts afresh.
        store.addListFrames(makeFrame(0xFFFF0000 + 40000 - 0x100000000, 0x100));
        QVERIFY(stats.update(store));
        QCOMPARE(ids.find(0x100)->frames, qint64(5));

        // Taken in slices, the figures come out as in one go.
        CaptureStatistics sliced;
        sliced.setRates(500000, 1e6);
        QCOMPARE(sliced.behind(store), store.count());
        for (qsizetype left = store.count(); left > 0; left -= 2) {
            QVERIFY(sliced.update(store, 2));
            QCOMPARE(sliced.behind(store), std::max<qsizetype>(left - 2, 0));
        }
        QVERIFY(!sliced.update(store, 2));
        QCOMPARE(sliced.identifiers().find(0x100)->frames, qint64(5));
        QCOMPARE(sliced.identifiers().jitter(*sliced.identifiers().find(0x100)), ids.jitter(*ids.find(0x100)));
        QCOMPARE(sliced.bus().bits(), stats.bus().bits());
        QCOMPARE(sliced.bus().lostFrames(), stats.bus().lostFrames());

        store.clear();
        store.addListFrames(makeFrame(7, 0x300));
        QVERIFY(stats.update(store));
        QCOMPARE(ids.size(), qsizetype(1));
        QVERIFY(!ids.find(0x100));

        // A stamp that runs backwards measures no (negative) period.
        IdStatistics back;
        back.setTicksPerSecond(1e6);
        for (qint64 t : Stamps{1000, 500, 1500})
            back.add(makeFrame(t, 1));
        // 1000 -> 500 measures nothing; 500 becomes the reference for 1500.
        QCOMPARE(back.find(1)->periods, qint64(1));
        QCOMPARE(back.minPeriod(*back.find(1)), 0.001);
        QCOMPARE(back.maxPeriod(*back.find(1)), 0.001);
    }

    void frameRateFollowsTheCapture()
    {
        IdStatistics ids;
        ids.setTicksPerSecond(1000); // 1 ms ticks
        // 1 every 100 ms for 3 s, 2 every 50 ms during the first second only.
        for (int t = 0; t < 3000; t += 50) {
            if (t % 100 == 0)
                ids.add(makeFrame(t, 1));
            if (t < 1000)
                ids.add(makeFrame(t, 2));
        }
        QCOMPARE(ids.framesPerSecond(*ids.find(1)), 10.0);
        QCOMPARE(ids.framesPerSecond(*ids.find(2)), 0.0); // silent for a second: no rate
        ids.advanceTo(5000);                              // the whole bus silent
        QCOMPARE(ids.framesPerSecond(*ids.find(1)), 0.0);
        ids.add(makeFrame(5010, 1));
        QCOMPARE(ids.find(1)->minPeriod, qint64(100)); // the silence measured no period
    }

    void periodHighlight_data()
    {
        QTest::addColumn<double>("period");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("deviates");
        QTest::newRow("on time") << 0.100 << 100 << false;
        QTest::newRow("20 % slow is still fine") << 0.120 << 100 << false;
        QTest::newRow("21 % slow") << 0.121 << 100 << true;
        QTest::newRow("21 % fast") << 0.079 << 100 << true;
        QTest::newRow("no cycle time in the data base") << 5.0 << 0 << false;
        QTest::newRow("nothing measured") << 0.0 << 100 << false;
    }
    void periodHighlight()
    {
        QFETCH(double, period);
        QFETCH(int, expected);
        QTEST(periodDeviates(period, expected), "deviates");
    }

    void monitorStatisticsColumns()
    {
        CaptureViews v;
        v.index.cycleTimes.insert(0x100, 50);
        for (qint64 s : Stamps{0, 10000, 20000})
            v.captureFrame(makeFrame(s, 0x100, false, 2));
        v.captureFrame(makeLost(25000, 2));
        CaptureStatistics stats;
        stats.setRates(500000, 1e6);
        stats.update(v.store);
        v.monitor.setStatistics(&stats.identifiers());
        const auto cell = [&v](int row, int column, int role = Qt::DisplayRole) {
            return v.monitor.data(v.monitor.index(row, column), role);
        };
        QCOMPARE(cell(0, MonitorList::colData).toString(), QStringLiteral("11 22"));
        QCOMPARE(cell(0, MonitorList::colRate).toString(), QStringLiteral("100.0"));
        QCOMPARE(cell(0, MonitorList::colMean).toString(), QStringLiteral("10.000"));
        QCOMPARE(cell(0, MonitorList::colJitter).toString(), QStringLiteral("0.000"));
        // 10 ms against 50 ms expected: highlighted, and its text still reads.
        QVERIFY(cell(0, MonitorList::colMean, Qt::BackgroundRole).isValid());
        QVERIFY(contrast::ratio(cell(0, MonitorList::colMean, Qt::ForegroundRole).value<QColor>().rgb(),
                                MonitorList::deviationBackground) >= contrast::minimumRatio);
        v.index.cycleTimes.insert(0x100, 11);
        QVERIFY(!cell(0, MonitorList::colMean, Qt::BackgroundRole).isValid());
        // The lost-frame row keeps its count and shows no statistics.
        QCOMPARE(cell(1, MonitorList::colCount).toString().trimmed(), QStringLiteral("1"));
        QVERIFY(cell(1, MonitorList::colRate).toString().isEmpty());
    }

    // ---- panes ----

    void splittersKeepTheirProportions()
    {
        MainLayout layout;
        layout.vSplitter = {200, 900};
        layout.hSplitter = {560};
        layout.followResize(QSize(1000, 800)); // the size they were set for
        layout.followResize(QSize(1500, 400));
        QCOMPARE(layout.vSplitter, (std::array<int, 2>{300, 1350}));
        QCOMPARE(layout.hSplitter, (std::array<int, 1>{280}));
        layout.followResize(QSize(1000, 800));
        QCOMPARE(layout.vSplitter, (std::array<int, 2>{200, 900}));
        // Positions restored for a size not yet laid out are taken as they are.
        layout.placedFor = QSize();
        layout.vSplitter = {10, 20};
        layout.followResize(QSize(3000, 800));
        QCOMPARE(layout.vSplitter, (std::array<int, 2>{10, 20}));
    }
};

TESSEL_TEST(tst_TraceStats)
#include "tst_tracestats.moc"
