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
    }

    void relativeTimes()
    {
        QFETCH(Stamps, stamps);
        QFETCH(Stamps, times);
        QFETCH(qint64, wrapOffset);
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
            QCOMPARE(store.wrapOffset, wrapOffset);
            QCOMPARE(store.lastFrameTime, times.last());
        }
    }

    void durationsAndClearing()
    {
        CaptureStore store;
        store.selectedDuration = 0.5f;
        store.addListFrames(makeFrame(10, 0x100, false, 8));
        const double eight = store.frame(0).Duration;
        QCOMPARE(store.minFrameDuration, eight);
        store.addListFrames(makeFrame(20, 0x100, false, 0));
        QVERIFY(store.minFrameDuration < eight);
        QCOMPARE(store.lastFrameDuration, store.frame(1).Duration);
        // A captured lost-frame record has no duration and pulls the minimum to 0.
        store.addListFrames(makeLost(30, 2));
        QCOMPARE(store.minFrameDuration, 0.0);

        store.captureFileName = QStringLiteral("a.txt");
        store.selectedTime = 20;
        store.currentRow = 2;
        store.clear();
        QVERIFY(store.isEmpty());
        QCOMPARE(store.wrapOffset, qint64(0));
        QCOMPARE(store.selectedTime, qint64(0));
        QCOMPARE(store.lastFrameTime, qint64(0));
        QCOMPARE(store.lastFrameDuration, 0.0);
        QCOMPARE(store.currentRow, 0);
        QVERIFY(store.captureFileName.isEmpty());
        QCOMPARE(store.selectedDuration, 0.5f); // kept
        // The next frame starts a new capture.
        store.addListFrames(makeFrame(0x500, 0x100));
        QCOMPARE(store.firstTimeStamp, qint64(0x500));
        QCOMPARE(*store.frame(0).Time, qint64(0));
    }

    void frameByKey()
    {
        CaptureStore store;
        for (int i = 0; i < 3; ++i)
            store.addListFrames(makeFrame(i, 0x100 + i));
        QCOMPARE(store.frameByKey(QStringLiteral("2"))->ID.StdPart, 0x101);
        QCOMPARE(store.frameByKey(QStringLiteral("    3"))->ID.StdPart, 0x102); // a padded "Num" cell
        QVERIFY(!store.frameByKey(QStringLiteral("0")));
        QVERIFY(!store.frameByKey(QStringLiteral("4")));
        QVERIFY(!store.frameByKey(QStringLiteral("x")));
    }

    void cellTexts_data()
    {
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<quint32>("colour");

        clsFrame data = makeFrame(0x1E240, 0x123, false, 2);
        data.setData(QByteArray::fromHex("AA55"));
        data.setRB0(1);
        QTest::newRow("standard data frame, labelled")
            << data << QStringList{"    7", "123",   "-----",    "0", "0",       "0",      "1",
                                   "2",     "AA 55", "0001E240", "0", "120.000", "Engine", "Speed"}
            << quint32(0x00302030);
        clsFrame ext = makeFrame(0xFFFFFFFF, 0x1FFFFFFF, true, 8);
        ext.setRB1(1);
        QTest::newRow("extended 1FFFFFFF")
            << ext << QStringList{"    7",    "7FF", "3FFFF",   "0", "1", "1", "0", "8", "11 22 33 44 55 66 77 88",
                                  "FFFFFFFF", "0",   "256.000", "",  ""}
            << quint32(0x00F0F0F0);
        clsFrame remote = makeFrame(1, 0x2A0, false, 8);
        remote.setRTR(1);
        remote.setData({});
        QTest::newRow("remote frame DLC 8: no data")
            << remote
            << QStringList{"    7", "2A0", "-----", "1", "0", "0", "0", "8", "", "00000001", "0", "216.000", "", ""}
            << quint32(0x0000A050);
        QTest::newRow("data frame DLC 0: empty data")
            << makeFrame(2, 0x555, false, 0)
            << QStringList{"    7", "555", "-----", "0", "0", "0", "0", "0", "", "00000002", "0", "88.000", "", ""}
            << quint32(0x005050B0);
        QTest::newRow("lost-frame record for 3 frames")
            << makeLost(0x2A000, 3)
            << QStringList{"    7", "---", "3", "-", "-", "-", "-", "0", "", "0002A000", "0", "0.000", "Lost frame", ""}
            << quint32(0x00F1F1F1);
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
        for (int c = 0; c < MessageModel::columnTotal; ++c)
            got << MessageModel::cellText(frame, 7, c, &index, QLocale::c());
        QTEST(got, "texts");
        QTEST(MessageModel::rowColour(frame), "colour");
    }

    void numbersAndTimes()
    {
        clsFrame f = makeFrame(0, 0x100, true, 8, 10000);
        f.Time = Q_INT64_C(0x100000110);
        QCOMPARE(MessageModel::cellText(f, 100000, MessageModel::colNum, nullptr), QStringLiteral("100000"));
        QCOMPARE(MessageModel::cellText(f, 99999, MessageModel::colNum, nullptr), QStringLiteral("99999"));
        QCOMPARE(MessageModel::cellText(f, 1, MessageModel::colTime, nullptr), QStringLiteral("4294967568"));
        // 128 bits at 10 kbit/s: no group separator, the locale's decimal separator.
        QCOMPARE(MessageModel::cellText(f, 1, MessageModel::colDuration, nullptr, QLocale(QLocale::German)),
                 QStringLiteral("12800,000"));
        QCOMPARE(MessageModel::cellText(f, 1, MessageModel::colDuration, nullptr, QLocale::c()),
                 QStringLiteral("12800.000"));
    }

    // Rebuild: rows are numbered by their place in the store; the row chosen
    // is the first at or after selectedTime, else the last.
    void rebuild_data()
    {
        QTest::addColumn<qint64>("selectedTime");
        QTest::addColumn<bool>("hide200");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("num");

        QTest::newRow("start of the capture") << qint64(0) << false << 0 << "    1";
        QTest::newRow("between two frames: the later one") << qint64(150) << false << 2 << "    3";
        QTest::newRow("past the end: the last row") << qint64(10000) << false << 4 << "    5";
        QTest::newRow("the frame at the time is hidden: the next shown") << qint64(100) << true << 1 << "    3";
    }

    void rebuild()
    {
        QFETCH(qint64, selectedTime);
        QFETCH(bool, hide200);
        QFETCH(int, row);
        CaptureViews v;
        // Identifiers 100, 200, 100, 300, 100 at times 0, 100, 200, 300, 400.
        const qint32 ids[] = {0x100, 0x200, 0x100, 0x300, 0x100};
        for (int i = 0; i < 5; ++i)
            v.captureFrame(makeFrame(1000 + 100 * i, ids[i]));
        if (hide200) {
            v.monitor.itemCheck(v.monitor.rowOf(0x200), false);
        }
        v.store.selectedTime = selectedTime;
        QCOMPARE(v.messages.rebuild(), row);
        QCOMPARE(v.store.currentRow, row + 1);
        QTEST(v.messages.text(row, MessageModel::colNum), "num");
    }

    void rebuildWithEverythingHidden()
    {
        CaptureViews v;
        v.captureFrame(makeFrame(1, 0x100));
        v.monitor.itemCheck(0, false);
        v.store.currentRow = 1;
        QCOMPARE(v.messages.rebuild(), -1);
        QCOMPARE(v.messages.count(), 0);
        QCOMPARE(v.store.currentRow, 0);
    }

    void rowClick()
    {
        CaptureViews v;
        v.captureFrame(makeFrame(100, 0x100, false, 8));
        v.captureFrame(makeFrame(150, 0x200, false, 0));
        QVERIFY(v.messages.rowClick(1));
        QCOMPARE(v.store.selectedTime, qint64(50));
        QCOMPARE(v.store.currentRow, 2);
        QCOMPARE(v.store.selectedDuration, float(v.store.frame(1).Duration));
        // The same time again moves nothing.
        QVERIFY(!v.messages.rowClick(1));
        QVERIFY(v.messages.rowClick(0));
        QCOMPARE(v.store.currentRow, 1);
    }

    // Only "Num", "ID-Std", "ID-Ext", "DLC" and "Device" sort; a second click
    // reverses.
    void sorting_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("order"); // "Num" of each row afterwards

        QTest::newRow("Data does not sort")
            << QList<int>{MessageModel::colData} << QStringList{"    1", "    2", "    3", "    4"};
        QTest::newRow("DLC ascending") << QList<int>{MessageModel::colDLC}
                                       << QStringList{"    4", "    2", "    1", "    3"};
        QTest::newRow("DLC twice: descending, ties keep their order")
            << QList<int>{MessageModel::colDLC, MessageModel::colDLC}
            << QStringList{"    1", "    3", "    2", "    4"};
        QTest::newRow("Num, already the sort column: descending")
            << QList<int>{MessageModel::colNum} << QStringList{"    4", "    3", "    2", "    1"};
        QTest::newRow("ID-Std: lost frame first")
            << QList<int>{MessageModel::colIDStd} << QStringList{"    4", "    2", "    1", "    3"};
        QTest::newRow("ID-Ext as text: '-----' before digits")
            << QList<int>{MessageModel::colIDExt} << QStringList{"    2", "    3", "    1", "    4"};
        QTest::newRow("Device as text, case ignored")
            << QList<int>{MessageModel::colDevice} << QStringList{"    1", "    3", "    2", "    4"};
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
        QStringList got;
        for (int r = 0; r < v.messages.count(); ++r)
            got << v.messages.text(r, MessageModel::colNum);
        QTEST(got, "order");
    }

    // The padded "Num" text would put 100000 before 99999; it sorts as a number.
    void numSortsNumericallyPastItsPadding()
    {
        CaptureViews v;
        for (int i = 0; i < 100000; ++i)
            v.store.addListFrames(makeFrame(i, 0x100));
        v.messages.rebuild();
        v.messages.columnClick(MessageModel::colNum); // descending
        QCOMPARE(v.messages.text(0, MessageModel::colNum), QStringLiteral("100000"));
        QCOMPARE(v.messages.text(1, MessageModel::colNum), QStringLiteral("99999"));
        v.messages.columnClick(MessageModel::colNum); // ascending
        QCOMPARE(v.messages.text(99998, MessageModel::colNum), QStringLiteral("99999"));
        QCOMPARE(v.messages.text(99999, MessageModel::colNum), QStringLiteral("100000"));
    }

    void sortFollowsTheSelectedRowAndKeepsNewRowsInPlace()
    {
        CaptureViews v;
        v.captureFrame(makeFrame(1, 0x100, false, 5));
        v.captureFrame(makeFrame(2, 0x100, false, 1));
        v.captureFrame(makeFrame(3, 0x100, false, 3));
        v.messages.rowClick(0); // DLC 5; time 0 is already selected, so pick another row first
        v.messages.rowClick(1);
        QCOMPARE(v.store.currentRow, 2);
        v.messages.columnClick(MessageModel::colDLC); // 1, 3, 5
        QCOMPARE(v.store.currentRow, 1);
        QCOMPARE(v.messages.text(0, MessageModel::colDLC), QStringLiteral("1"));
        // A new row goes to its sorted place.
        v.captureFrame(makeFrame(4, 0x100, false, 2));
        QCOMPARE(v.lastRow, 1);
        QCOMPARE(v.messages.text(1, MessageModel::colNum), QStringLiteral("    4"));
        // A rebuild keeps the order too.
        v.store.selectedTime = 2;
        const int r = v.messages.rebuild();
        QCOMPARE(v.messages.text(r, MessageModel::colNum), QStringLiteral("    3"));
        QCOMPARE(v.messages.text(0, MessageModel::colDLC), QStringLiteral("1"));
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
        for (CaptureViews *v : {&one, &run}) {
            v->index.add(0x101, true, QStringLiteral("b"), {});
            v->index.add(0x102, true, QStringLiteral("A"), {});
            for (int i = 0; i < 6; ++i)
                v->captureFrame(makeFrame(i, 0x100 + i % 3, false, (i * 5) % 9));
            v->captureBatchDone();
            for (int c = 0; c < clicks; ++c)
                v->messages.columnClick(column);
        }
        QPersistentModelIndex followed(run.messages.index(2, 0));
        const qsizetype followedFrame = run.messages.frameIndex(2);
        for (CaptureViews *v : {&one, &run}) {
            for (int i = 6; i < 20; ++i)
                v->captureFrame(makeFrame(i, 0x100 + i % 3, false, (i * 5) % 9));
            v->captureBatchDone();
        }
        QCOMPARE(run.messages.count(), 20);
        for (int r = 0; r < 20; ++r)
            QCOMPARE(run.messages.frameIndex(r), one.messages.frameIndex(r));
        QCOMPARE(run.lastRow, one.lastRow);
        QCOMPARE(run.messages.frameIndex(followed.row()), followedFrame);
    }

    // A capture file holds the shown frames in capture order, however the
    // list is sorted, so that its stamps unwrap as they were captured.
    void captureOrderWhateverTheSort()
    {
        CaptureViews v;
        for (int i = 0; i < 5; ++i)
            v.captureFrame(makeFrame(i, 0x100 + (4 - i), false, (i * 3 + 1) % 5)); // DLC 1 4 2 0 3
        v.captureBatchDone();
        QVERIFY(v.messages.columnClick(MessageModel::colDLC));
        QVERIFY(v.messages.frameIndex(0) != 0);
        QCOMPARE(v.messages.framesInCaptureOrder(), (std::vector<quint32>{0, 1, 2, 3, 4}));
        QCOMPARE(v.messages.sortColumn(), int(MessageModel::colDLC)); // asking does not unsort the list
    }
};

TESSEL_TEST(tst_CaptureStore)
#include "tst_capturestore.moc"
