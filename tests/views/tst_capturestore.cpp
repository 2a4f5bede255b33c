#include "support/captureviews.h"
#include "support/testregistry.h"

#include <QtTest>

// The capture store and the message list over it: relative times and the
// stamp wrap, every column's text, sorting, rebuild and selection (the filter
// is tested through the capture in tst_capture).
class tst_CaptureStore : public QObject
{
    Q_OBJECT

    using Stamps = QList<qint64>;

    static QStringList numColumn(const CaptureViews &v)
    {
        QStringList got;
        for (int r = 0; r < v.messages.count(); ++r)
            got << v.messages.text(r, MessageModel::colNum).trimmed();
        return got;
    }

private slots:
    void relativeTimes_data()
    {
        QTest::addColumn<Stamps>("stamps");
        QTest::addColumn<Stamps>("times");
        QTest::addColumn<qint64>("wrapOffset");
        QTest::newRow("third stamp below the first: the counter wrapped")
            << Stamps{0xFFFFFF00, 0xFFFFFFF0, 0x10} << Stamps{0, 0xF0, 0x110} << Q_INT64_C(0x100000000);
        QTest::newRow("below the previous stamp but not the first: no correction")
            << Stamps{0x100, 0x300, 0x200} << Stamps{0, 0x200, 0x100} << qint64(0);
        QTest::newRow("the offset stays once grown")
            << Stamps{0x100, 0x50, 0x200} << Stamps{0, 0xFFFFFF50, 0x100000100} << Q_INT64_C(0x100000000);
        QTest::newRow("equal to the first stamp is no wrap") << Stamps{0x100, 0x100} << Stamps{0, 0} << qint64(0);
        QTest::newRow("a second wrap: more than half a turn before the newest frame")
            << Stamps{0x100, 0x50, 0x80000100, 0x0} << Stamps{0, 0xFFFFFF50, 0x180000000, 0x1FFFFFF00}
            << Q_INT64_C(0x200000000);
    }
    void relativeTimes()
    {
        QFETCH(Stamps, stamps);
        QFETCH(Stamps, times);
        // Frame by frame as captured, and a file's frames handed over at once.
        for (const bool loaded : {false, true}) {
            CaptureStore store;
            std::vector<clsFrame> frames;
            for (qint64 s : stamps)
                frames.push_back(makeFrame(s, 0x123));
            if (loaded) {
                store.addListFrames(std::move(frames));
            } else {
                for (const clsFrame &f : frames)
                    store.addListFrames(f);
            }
            QCOMPARE(store.count(), stamps.size());
            for (int i = 0; i < stamps.size(); ++i) {
                QCOMPARE(store.frame(i).TimeStamp, stamps[i]);
                QCOMPARE(store.frame(i).Time.value_or(-1), times[i]);
            }
            QCOMPARE(store.firstTimeStamp, stamps.first());
            QTEST(store.wrapOffset, "wrapOffset");
            QCOMPARE(store.lastFrameTime, times.last());
        }
    }

    // The shortest duration follows the frames (a lost-frame record pulls it
    // to 0); clearing starts a new capture but keeps the chosen duration. A
    // row is found by its "Num" cell, padded or not.
    void durationsClearingAndKeys()
    {
        CaptureStore store;
        store.selectedDuration = 0.5f;
        store.addListFrames(makeFrame(10, 0x100, false, 8));
        const double eight = store.frame(0).Duration;
        QCOMPARE(store.minFrameDuration, eight);
        store.addListFrames(makeFrame(20, 0x101, false, 0));
        QVERIFY(store.minFrameDuration < eight);
        QCOMPARE(store.lastFrameDuration, store.frame(1).Duration);
        store.addListFrames(makeLost(30, 2));
        QCOMPARE(store.minFrameDuration, 0.0);
        QCOMPARE(store.frameByKey(QStringLiteral("2"))->ID.StdPart, 0x101);
        QCOMPARE(store.frameByKey(QStringLiteral("    3"))->isLost, true);
        for (const char *missing : {"0", "4", "x"})
            QVERIFY(!store.frameByKey(QString::fromLatin1(missing)));
        store.captureFileName = QStringLiteral("a.txt");
        store.selectedTime = 20;
        store.currentRow = 2;
        store.clear();
        QVERIFY(store.isEmpty() && store.captureFileName.isEmpty());
        QCOMPARE(store.selectedTime + store.lastFrameTime + store.currentRow, qint64(0));
        QCOMPARE(store.lastFrameDuration, 0.0);
        QCOMPARE(store.selectedDuration, 0.5f);
        store.addListFrames(makeFrame(0x500, 0x100));
        QCOMPARE(store.firstTimeStamp, qint64(0x500));
        QCOMPARE(*store.frame(0).Time, qint64(0));
    }

    void cellTexts_data()
    {
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<QString>("texts");
        QTest::addColumn<quint32>("colour");
        clsFrame data = makeFrame(0x1E240, 0x123, false, 2);
        data.setData(QByteArray::fromHex("AA55"));
        data.setRB0(1);
        QTest::newRow("standard data frame, labelled")
            << data << "    7|123|-----|0|0|0|1|2|AA 55|0001E240|0|120.000|Engine|Speed|" << quint32(0x00302030);
        clsFrame ext = makeFrame(0xFFFFFFFF, 0x1FFFFFFF, true, 8);
        ext.setRB1(1);
        QTest::newRow("extended 1FFFFFFF")
            << ext << "    7|7FF|3FFFF|0|1|1|0|8|11 22 33 44 55 66 77 88|FFFFFFFF|0|256.000|||" << quint32(0x00F0F0F0);
        clsFrame remote = makeFrame(1, 0x2A0, false, 8);
        remote.setRTR(1);
        remote.setData({});
        QTest::newRow("remote frame DLC 8: no data")
            << remote << "    7|2A0|-----|1|0|0|0|8||00000001|0|216.000|||" << quint32(0x0000A050);
        QTest::newRow("data frame DLC 0: empty data")
            << makeFrame(2, 0x555, false, 0) << "    7|555|-----|0|0|0|0|0||00000002|0|88.000|||"
            << quint32(0x005050B0);
        QTest::newRow("lost-frame record for 3 frames")
            << makeLost(0x2A000, 3) << "    7|---|3|-|-|-|-|0||0002A000|0|0.000|Lost frame||" << quint32(0x00F1F1F1);
    }
    void cellTexts()
    {
        QFETCH(clsFrame, frame);
        FakeIdIndex index;
        index.add(0x123, true, QStringLiteral("Engine"), QStringLiteral("Speed"));
        // Never consulted for a lost frame.
        index.add(lostFrameKeyBit, true, QStringLiteral("wrong"), QStringLiteral("wrong"));
        frame.Time = 0;
        QStringList got;
        // The columns up to "Signals" (the "Bus" cell is in tst_CaptureFormats).
        for (int c = 0; c < MessageModel::colBus; ++c)
            got << MessageModel::cellText(frame, 7, c, &index, QLocale::c());
        QTEST(got.join('|'), "texts");
        QTEST(MessageModel::rowColour(frame), "colour");
    }

    // Numbers past the padding, times past 32 bits, and the locale's decimal
    // separator without a group separator.
    void numbersAndTimes()
    {
        clsFrame f = makeFrame(0, 0x100, true, 8, 10000);
        f.Time = Q_INT64_C(0x100000110);
        QCOMPARE(MessageModel::cellText(f, 100000, MessageModel::colNum, nullptr), QStringLiteral("100000"));
        QCOMPARE(MessageModel::cellText(f, 1, MessageModel::colTime, nullptr), QStringLiteral("4294967568"));
        QCOMPARE(MessageModel::cellText(f, 1, MessageModel::colDuration, nullptr, QLocale(QLocale::German)),
                 QStringLiteral("12800,000"));
    }

    // Rebuild: rows are numbered by their place in the store; the row chosen
    // is the first at or after selectedTime, else the last.
    void rebuild_data()
    {
        QTest::addColumn<qint64>("selectedTime");
        QTest::addColumn<QList<int>>("hidden");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("num");
        QTest::newRow("start of the capture") << qint64(0) << QList<int>{} << 0 << "1";
        QTest::newRow("between two frames: the later one") << qint64(150) << QList<int>{} << 2 << "3";
        QTest::newRow("past the end: the last row") << qint64(10000) << QList<int>{} << 4 << "5";
        QTest::newRow("the frame at the time is hidden: the next shown")
            << qint64(100) << QList<int>{0x200} << 1 << "3";
        QTest::newRow("everything hidden: no row") << qint64(0) << QList<int>{0x100, 0x200, 0x300} << -1 << "";
    }
    void rebuild()
    {
        QFETCH(QList<int>, hidden);
        QFETCH(int, row);
        CaptureViews v;
        const qint32 ids[] = {0x100, 0x200, 0x100, 0x300, 0x100};
        for (int i = 0; i < 5; ++i)
            v.captureFrame(makeFrame(1000 + 100 * i, ids[i]));
        for (int id : hidden)
            v.monitor.itemCheck(v.monitor.rowOf(id), false);
        QFETCH(qint64, selectedTime);
        v.store.selectedTime = selectedTime;
        v.store.currentRow = 1;
        QCOMPARE(v.messages.rebuild(), row);
        QCOMPARE(v.store.currentRow, row + 1);
        QTEST(row < 0 ? QString() : v.messages.text(row, MessageModel::colNum).trimmed(), "num");
        QCOMPARE(v.messages.count(), row < 0 ? 0 : 5 - int(hidden.size()));
    }

    // Only "Num", "ID-Std", "ID-Ext", "DLC" and "Device" sort; a second click
    // reverses.
    void sorting_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("order"); // "Num" of each row afterwards
        QTest::newRow("Data does not sort") << QList<int>{MessageModel::colData} << "1234";
        QTest::newRow("DLC ascending") << QList<int>{MessageModel::colDLC} << "4213";
        QTest::newRow("DLC twice: descending, ties keep their order")
            << QList<int>{MessageModel::colDLC, MessageModel::colDLC} << "1324";
        QTest::newRow("Num, already the sort column: descending") << QList<int>{MessageModel::colNum} << "4321";
        QTest::newRow("ID-Std: lost frame first") << QList<int>{MessageModel::colIDStd} << "4213";
        QTest::newRow("ID-Ext as text: '-----' before digits") << QList<int>{MessageModel::colIDExt} << "2314";
        QTest::newRow("Device as text, case ignored") << QList<int>{MessageModel::colDevice} << "1324";
    }
    void sorting()
    {
        QFETCH(QList<int>, clicks);
        CaptureViews v;
        v.index.add(0x100, true, QStringLiteral("beta"), {});
        v.index.add(0x7FF, true, QStringLiteral("Alpha"), {});
        v.captureFrame(makeFrame(1, 0x1FFFFFFF, true, 8)); // 7FF.3FFFF, no label
        v.captureFrame(makeFrame(2, 0x100, false, 2));     // beta
        v.captureFrame(makeFrame(3, 0x7FF, false, 8));     // Alpha
        v.captureFrame(makeLost(4, 5));                    // "---", "5", DLC 0, "Lost frame"
        for (int c : clicks)
            v.messages.columnClick(c);
        QTEST(numColumn(v).join(QString()), "order");
    }

    // The padded "Num" text would put 100000 before 99999; it sorts as a number.
    void numSortsNumericallyPastItsPadding()
    {
        CaptureViews v;
        for (int i = 0; i < 100000; ++i)
            v.store.addListFrames(makeFrame(i, 0x100));
        v.messages.rebuild();
        v.messages.columnClick(MessageModel::colNum); // descending
        QCOMPARE(numColumn(v).mid(0, 2), (QStringList{"100000", "99999"}));
        v.messages.columnClick(MessageModel::colNum); // ascending
        QCOMPARE(numColumn(v).mid(99998), (QStringList{"99999", "100000"}));
    }

    // A click selects a row's time and duration (the same time again moves
    // nothing); the selection follows its row when sorting; a new row and a
    // rebuild keep the sorted order.
    void rowClickAndSortFollowTheSelection()
    {
        CaptureViews v;
        for (int dlc : {5, 1, 3})
            v.captureFrame(makeFrame(100 + 50 * v.store.count(), 0x100, false, dlc));
        QVERIFY(v.messages.rowClick(1));
        QCOMPARE(v.store.selectedTime, qint64(50));
        QCOMPARE(v.store.selectedDuration, float(v.store.frame(1).Duration));
        QVERIFY(!v.messages.rowClick(1));
        QVERIFY(v.messages.rowClick(0));
        QCOMPARE(v.store.currentRow, 1);
        QVERIFY(v.messages.rowClick(1));
        QCOMPARE(v.store.currentRow, 2);
        v.messages.columnClick(MessageModel::colDLC); // 1, 3, 5
        QCOMPARE(v.store.currentRow, 1);
        v.captureFrame(makeFrame(250, 0x100, false, 2));
        QCOMPARE(v.lastRow, 1);
        QCOMPARE(numColumn(v), (QStringList{"2", "4", "3", "1"}));
        v.store.selectedTime = 100;
        const int r = v.messages.rebuild();
        QCOMPARE(v.messages.text(r, MessageModel::colNum), QStringLiteral("    3"));
        QCOMPARE(numColumn(v), (QStringList{"2", "4", "3", "1"}));
    }

    // A run of rows appended at once lands where one-by-one appending puts
    // them, sorted or not, and the selection follows its frame.
    void runsOfRows_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::newRow("unsorted") << int(MessageModel::colNum) << 0;
        QTest::newRow("DLC ascending") << int(MessageModel::colDLC) << 1;
        QTest::newRow("Device") << int(MessageModel::colDevice) << 1;
    }
    void runsOfRows()
    {
        QFETCH(int, column);
        QFETCH(int, clicks);
        CaptureViews one;
        CaptureViews run;
        run.batched = true;
        const auto capture = [](CaptureViews *v, int from, int to) {
            for (int i = from; i < to; ++i)
                v->captureFrame(makeFrame(i, 0x100 + i % 3, false, (i * 5) % 9));
            v->captureBatchDone();
        };
        for (CaptureViews *v : {&one, &run}) {
            v->index.add(0x101, true, QStringLiteral("b"), {});
            v->index.add(0x102, true, QStringLiteral("A"), {});
            capture(v, 0, 6);
            for (int c = 0; c < clicks; ++c)
                v->messages.columnClick(column);
        }
        QPersistentModelIndex followed(run.messages.index(2, 0));
        const qsizetype followedFrame = run.messages.frameIndex(2);
        capture(&one, 6, 20);
        capture(&run, 6, 20);
        QCOMPARE(run.messages.count(), 20);
        for (int r = 0; r < 20; ++r)
            QCOMPARE(run.messages.frameIndex(r), one.messages.frameIndex(r));
        QCOMPARE(run.lastRow, one.lastRow);
        QCOMPARE(run.messages.frameIndex(followed.row()), followedFrame);
    }
};

TESSEL_TEST(tst_CaptureStore)
#include "tst_capturestore.moc"
