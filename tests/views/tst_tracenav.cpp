#include "support/captureviews.h"
#include "support/testregistry.h"
#include "views/tracecopy.h"
#include "views/tracefind.h"
#include "views/tracefollow.h"

#include <QtTest>

// The display filter (parsing, matching, and hiding rows of a capture without
// losing them), find, following the newest row, and copying rows.
class tst_TraceNav : public QObject
{
    Q_OBJECT

    using Ids = QList<quint32>;

    static clsFrame dataFrame(qint32 id, std::initializer_list<int> bytes, bool extended = false)
    {
        clsFrame f = makeFrame(0, id, extended, int(bytes.size()));
        int i = 0;
        for (int b : bytes)
            f.setDataB(i++, quint8(b));
        return f;
    }

    static QStringList shownIds(const CaptureViews &v)
    {
        QStringList ids;
        for (int r = 0; r < v.messages.count(); ++r)
            ids << v.messages.text(r, MessageModel::colIDStd);
        return ids;
    }

    // Captures standard frames of these identifiers, one decoding run each.
    static void capture(CaptureViews &v, const Ids &ids)
    {
        for (quint32 id : ids) {
            v.captureFrame(makeFrame(v.store.count() * 100, qint32(id)));
            v.captureBatchDone();
        }
    }

private slots:
    void identifierTerms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Ids>("shownStandard"); // of 000, 100, 1FF, 200, 7E8, 7EF, 7FF
        QTest::addColumn<bool>("extended18DAF110");
        QTest::newRow("empty shows everything") << "" << Ids{0, 0x100, 0x1FF, 0x200, 0x7E8, 0x7EF, 0x7FF} << true;
        QTest::newRow("list and range, ends included") << "100-1FF, 7E8" << Ids{0x100, 0x1FF, 0x7E8} << false;
        QTest::newRow("spaces around the dash") << "100 - 1ff" << Ids{0x100, 0x1FF} << false;
        QTest::newRow("identifier/mask") << "7E0/7F0" << Ids{0x7E8, 0x7EF} << false;
        QTest::newRow("negated only: all but those") << "!7E8 !100-1FF" << Ids{0, 0x200, 0x7EF, 0x7FF} << true;
        QTest::newRow("negation wins over a range") << "700-7FF, !7E8" << Ids{0x7EF, 0x7FF} << false;
        QTest::newRow("4+ digits mean extended") << "18DAF110" << Ids{} << true;
        QTest::newRow("extended as the monitor writes it") << "636.2F110" << Ids{} << true;
        QTest::newRow("0100 is extended, not standard 100") << "0100" << Ids{} << false;
        QTest::newRow("extended mask") << "18DA0000/1FFF0000" << Ids{} << true;
    }
    void identifierTerms()
    {
        QFETCH(QString, text);
        QFETCH(Ids, shownStandard);
        const auto parsed = displayfilter::parseIds(text);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        Ids shown;
        for (quint32 id : {0x000u, 0x100u, 0x1FFu, 0x200u, 0x7E8u, 0x7EFu, 0x7FFu})
            if (parsed.value.matches(false, id))
                shown << id;
        QCOMPARE(shown, shownStandard);
        QTEST(parsed.value.matches(true, 0x18DAF110), "extended18DAF110");
    }

    void badFilterText_data()
    {
        QTest::addColumn<QString>("ids");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("error");
        QTest::newRow("not hex") << "1G0"
                                 << ""
                                 << "Identifiers: \"1G0\" is not a hex identifier";
        QTest::newRow("0x prefix is not taken for a longer id") << "0x7E8"
                                                                << ""
                                                                << "\"0x7E8\" is not a hex";
        QTest::newRow("standard above 7FF") << "800"
                                            << ""
                                            << "above the largest standard identifier 7FF";
        QTest::newRow("extended above 29 bits") << "20000000"
                                                << ""
                                                << "above the largest extended";
        QTest::newRow("range backwards") << "1FF-100"
                                         << ""
                                         << "\"1FF-100\": the range ends below its start";
        QTest::newRow("range of mixed kinds") << "100-00000200"
                                              << ""
                                              << "both ends must be standard";
        QTest::newRow("mask wider than a standard id") << "7E0/FFFF"
                                                       << ""
                                                       << "the mask is not a hex number";
        QTest::newRow("range with a mask") << "100-1FF/7F0"
                                           << ""
                                           << "a range cannot have a mask";
        QTest::newRow("lonely negation") << "!"
                                         << ""
                                         << "\"!\" needs an identifier";
        QTest::newRow("data: one digit") << ""
                                         << "1 22"
                                         << "Data: \"1\" is not a data byte";
        QTest::newRow("data: three digits") << ""
                                            << "123"
                                            << "\"123\" is not a data byte";
        QTest::newRow("data: not hex") << ""
                                       << "GG"
                                       << "\"GG\" is not a data byte";
        QTest::newRow("data: nine bytes") << ""
                                          << "?? ?? ?? ?? ?? ?? ?? ?? ??"
                                          << "at most 8 data bytes";
    }
    void badFilterText()
    {
        QFETCH(QString, ids);
        QFETCH(QString, data);
        QFETCH(QString, error);
        const auto parsed = displayfilter::parseFilter(ids, data, false, false);
        QVERIFY(!parsed.ok());
        QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
        QVERIFY(!parsed.value.isActive());
    }

    void frameMatching_data()
    {
        QTest::addColumn<QString>("ids");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("onlyNew");
        QTest::addColumn<bool>("onlyLost");
        // Frames: 123 [12 AB 34], 123 [12], 123 remote, 456 [12 00 34 99] (in the data
        // base), lost record, 18DAF110 [12 FF 34].
        QTest::addColumn<QString>("shown");
        QTest::newRow("pattern from byte 0, long enough") << ""
                                                          << "12 ?? 34" << false << false << "1..4.6";
        QTest::newRow("nibble wildcard") << ""
                                         << "1? A?" << false << false << "1.....";
        QTest::newRow("ids hide the lost record") << "123"
                                                  << "" << false << false << "123...";
        QTest::newRow("negation keeps the lost record") << "!123"
                                                        << "" << false << false << "...456";
        QTest::newRow("only new identifiers") << ""
                                              << "" << true << false << "123..6";
        QTest::newRow("only lost-frame records") << ""
                                                 << "" << false << true << "....5.";
    }
    void frameMatching()
    {
        QFETCH(QString, ids);
        QFETCH(QString, data);
        QFETCH(bool, onlyNew);
        QFETCH(bool, onlyLost);
        clsFrame remote = makeFrame(0, 0x123, false, 3);
        remote.setRTR(1);
        const clsFrame frames[] = {dataFrame(0x123, {0x12, 0xAB, 0x34}),
                                   dataFrame(0x123, {0x12}),
                                   remote,
                                   dataFrame(0x456, {0x12, 0, 0x34, 0x99}),
                                   makeLost(0, 2),
                                   dataFrame(0x18DAF110, {0x12, 0xFF, 0x34}, true)};
        const auto parsed = displayfilter::parseFilter(ids, data, onlyNew, onlyLost);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QString shown;
        for (int i = 0; i < 6; ++i)
            shown +=
                parsed.value.matches(frames[i], [](qint32 key) { return key != 0x456; }) ? QChar('1' + i) : QChar('.');
        QTEST(shown, "shown");
    }

    // Hidden rows stay in the store and in what a file gets; frames captured
    // later pass through the filter; clearing it brings every row back, in
    // the list's sort order.
    void filterHidesNeverDiscards()
    {
        CaptureViews v;
        v.batched = true;
        capture(v, {0x100, 0x7E8, 0x200});
        v.store.currentRow = 2; // 7E8 selected
        QCOMPARE(v.messages.setDisplayFilter(displayfilter::parseFilter("!100", {}, false, false).value), 0);
        QCOMPARE(v.store.currentRow, 1);
        QCOMPARE(shownIds(v), (QStringList{"7E8", "200"}));
        capture(v, {0x100, 0x7E8});
        QCOMPARE(v.lastRow, 2); // the hidden 100 got no row and is not "the last row"
        QCOMPARE(shownIds(v), (QStringList{"7E8", "200", "7E8"}));
        QCOMPARE(v.messages.unfilteredCount(), 5);
        QCOMPARE(v.store.count(), 5);
        QCOMPARE(v.messages.framesInCaptureOrder(), (std::vector<quint32>{0, 1, 2, 3, 4}));
        // A rebuild (a tick box, the data base) keeps the filter.
        v.messages.rebuild();
        QCOMPARE(shownIds(v), (QStringList{"7E8", "200", "7E8"}));
        v.messages.columnClick(MessageModel::colIDStd);
        v.messages.setDisplayFilter({});
        QCOMPARE(shownIds(v), (QStringList{"100", "100", "200", "7E8", "7E8"}));
        QCOMPARE(v.messages.framesInCaptureOrder(), (std::vector<quint32>{0, 1, 2, 3, 4}));
        // Nothing shown at all is still a capture to save.
        v.messages.setDisplayFilter(displayfilter::parseFilter({}, {}, false, true).value);
        QCOMPARE(v.messages.count(), 0);
        QCOMPARE(v.messages.unfilteredCount(), 5);
    }

    void findWrapsAround_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("found");
        // Rows: 0 100 [11 22 33], 1 7E8 [02 12 FF 34], 2 lost, 3 7E8 [12 00 34], 4 18DAF110 []
        QTest::newRow("next identifier") << 0 << "7E8" << 1 << true << 3;
        QTest::newRow("wraps past the end") << 0 << "7E8" << 3 << true << 1;
        QTest::newRow("back wraps past the start") << 0 << "100" << 0 << false << 0;
        QTest::newRow("back from nowhere starts at the end") << 0 << "7E8" << -1 << false << 3;
        QTest::newRow("range") << 0 << "0-1FF" << -1 << true << 0;
        QTest::newRow("extended") << 0 << "18DAF110" << 0 << true << 4;
        QTest::newRow("data anywhere") << 1 << "12 ?? 34" << 0 << true << 1;
        QTest::newRow("data at byte 0 too") << 1 << "12 ?? 34" << 1 << true << 3;
        QTest::newRow("no match") << 1 << "99" << 0 << true << -1;
        QTest::newRow("device text, any case") << 2 << "ENGINE" << 0 << true << 1;
        QTest::newRow("description") << 2 << "torque" << -1 << false << 3;
        QTest::newRow("text not there") << 2 << "gearbox" << 0 << true << -1;
    }
    void findWrapsAround()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(bool, forward);
        CaptureViews v;
        v.index.add(0x7E8, true, QStringLiteral("Engine ECU"), QStringLiteral("Torque reply"));
        for (const clsFrame &f :
             {dataFrame(0x100, {0x11, 0x22, 0x33}), dataFrame(0x7E8, {0x02, 0x12, 0xFF, 0x34}), makeLost(5, 1),
              dataFrame(0x7E8, {0x12, 0x00, 0x34}), dataFrame(0x18DAF110, {}, true)})
            v.store.addListFrames(f);
        v.messages.rebuild();
        TraceFind find;
        QVERIFY2(find.setQuery(TraceFind::Mode(mode), text), qPrintable(find.error()));
        QTEST(find.find(v.messages, from, forward ? TraceFind::Direction::next : TraceFind::Direction::previous),
              "found");
    }

    void findRefusesBadText()
    {
        TraceFind find;
        QVERIFY(!find.setQuery(TraceFind::Mode::text, QStringLiteral("   ")));
        QVERIFY(!find.setQuery(TraceFind::Mode::data, QStringLiteral("12 3")));
        QVERIFY(find.error().contains("\"3\""));
        CaptureViews v;
        capture(v, {0x100});
        QCOMPARE(find.find(v.messages, 0, TraceFind::Direction::next), -1);
    }

    // Follow the newest row until the user looks elsewhere; End resumes.
    void followOrStay()
    {
        CaptureViews v;
        v.batched = true;
        TraceFollow follow;
        QList<int> shown;
        const auto batch = [&](quint32 id) {
            capture(v, {id});
            shown << follow.rowToShow(v.lastRow);
        };
        batch(0x100);
        batch(0x101);
        follow.userScrolled(false); // scrolled up
        batch(0x102);
        follow.userScrolled(true); // back at the end
        batch(0x103);
        follow.userSelected();
        batch(0x104);
        follow.userScrolled(false);
        follow.resume(); // End
        batch(0x105);
        QCOMPARE(shown, (QList<int>{0, 1, -1, 3, -1, 5}));
        // A batch whose rows are all hidden selects nothing, following or not.
        v.messages.setDisplayFilter(displayfilter::parseFilter("!106", {}, false, false).value);
        capture(v, {0x106});
        QCOMPARE(follow.rowToShow(v.lastRow), -1);
    }

    void copiedRows()
    {
        CaptureViews v;
        for (const clsFrame &f : {dataFrame(0x123, {0xAA, 0x55}), makeLost(150, 2), dataFrame(0x18DAF110, {}, true)})
            v.store.addListFrames(f);
        v.messages.rebuild();
        QCOMPARE(tracecopy::rowsAsText(v.messages, {0, 2, 7},
                                       {MessageModel::colNum, MessageModel::colIDStd, MessageModel::colData}),
                 QStringLiteral("1\t123\tAA 55\n3\t636\t\n"));
        // Times of a 1 MHz stamp from the capture's start; the lost record has no line.
        v.store.clear();
        for (const clsFrame &f : {makeFrame(0, 0x123, false, 2), makeLost(150, 2), makeFrame(250, 0x18DAF110, true)})
            v.store.addListFrames(f);
        v.messages.rebuild();
        QCOMPARE(tracecopy::rowsAsCandump(v.messages, {0, 1, 2}, 1000000, 1000000),
                 QStringLiteral("(1.000000) can0 123#1122\n(1.000250) can0 18DAF110#\n"));
    }
};

TESSEL_TEST(tst_TraceNav)
#include "tst_tracenav.moc"
