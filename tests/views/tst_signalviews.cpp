// Decoded data fields in the capture views: the rows of the signal pane, the
// Signals column, the store's newest frame per identifier and the pane's
// choice of frame with its throttled refresh.
#include "support/testregistry.h"
#include "views/signalpane.h"

#include "support/captureviews.h"
#include "views/messagemodel.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

// A data field in one line: field("Speed", 0, 16).scale(0.1, 0, "km/h").
struct field
{
    DataField f;
    field(const char *name, int begin, int length)
    {
        f.name = QString::fromUtf8(name);
        f.begin = begin;
        f.end = begin + length - 1;
    }
    field &big()
    {
        f.order = signaldecode::ByteOrder::BigEndian;
        return *this;
    }
    field &type(signaldecode::ValueType t)
    {
        f.type = t;
        return *this;
    }
    field &scale(double factor, double offset, const char *unit = "")
    {
        f.factor = factor;
        f.offset = offset;
        f.unit = QString::fromUtf8(unit);
        return *this;
    }
    field &text(qint64 raw, const char *text)
    {
        f.valueTexts.insert(raw, QString::fromUtf8(text));
        return *this;
    }
    field &selector()
    {
        f.multiplexor = true;
        return *this;
    }
    field &when(qint64 selected)
    {
        f.multiplexValue = selected;
        return *this;
    }
    operator DataField() const { return f; }
};

clsFrame dataFrame(qint32 id, const QByteArray &data, int dlc = -1)
{
    clsFrame f = makeFrame(0, id, false, 0);
    f.DLC = quint8(dlc < 0 ? data.size() : dlc);
    f.setData(data);
    return f;
}

// The rows as "name|raw|value|description", joined by " / ".
QString rowsText(const QList<SignalRow> &rows)
{
    QStringList lines;
    for (const SignalRow &row : rows)
        lines << QStringList{row.name, row.rawText(), row.valueText(), row.description}.join('|');
    return lines.join(QStringLiteral(" / "));
}

// The pane's rows as its view shows them.
QString paneText(const SignalPane &pane)
{
    QStringList lines;
    for (int r = 0; r < pane.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < pane.columnCount(); ++c)
            cells << pane.index(r, c).data().toString();
        lines << cells.join('|');
    }
    return lines.join(QStringLiteral(" / "));
}

using Fields = QList<DataField>;
using signaldecode::ValueType;

} // namespace

class tst_SignalViews : public QObject
{
    Q_OBJECT

private slots:
    // The pane's rows and the Signals cell of one frame.
    void rowsOfAFrame_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<clsFrame>("frame");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("cell");

        QTest::newRow("factor and unit") << Fields{field("Speed", 0, 16).scale(0.1, 0, "km/h")}
                                         << dataFrame(0x123, QByteArray::fromHex("F401")) << "Speed|01F4|50 km/h|"
                                         << "Speed=50 km/h";
        QTest::newRow("a value text stands for the number in the cell")
            << Fields{field("Gear", 16, 4).text(0, "Park").text(7, "Reverse"), field("Idle", 20, 4).text(0, "Park")}
            << dataFrame(0x123, QByteArray::fromHex("000017")) << "Gear|7|7|Reverse / Idle|1|1|"
            << "Gear=Reverse; Idle=1";
        QTest::newRow("signed: the text of -1, the raw value as bits")
            << Fields{field("Temp", 0, 8).type(ValueType::Signed).text(-1, "Sensor error"),
                      field("Delta", 8, 8).type(ValueType::Signed).scale(0.5, 0, "°C").text(254, "not this")}
            << dataFrame(0x123, QByteArray::fromHex("FFFE")) << "Temp|FF|-1|Sensor error / Delta|FE|-1 °C|"
            << "Temp=Sensor error; Delta=-1 °C";
        QTest::newRow("multiplexed fields of another selector value are left out")
            << Fields{field("Mode", 0, 8).selector(), field("A", 8, 8).when(1), field("B", 8, 8).scale(2, 0).when(2),
                      field("Always", 16, 8)}
            << dataFrame(0x123, QByteArray::fromHex("020509")) << "Mode|02|2| / B|05|10| / Always|09|9|"
            << "Mode=2; B=10; Always=9";
        QTest::newRow("selector past the data: no multiplexed field")
            << Fields{field("Mode", 8, 8).selector(), field("A", 0, 8).when(5)}
            << dataFrame(0x123, QByteArray::fromHex("05")) << "Mode||outside the frame|"
            << "";
        QTest::newRow("a field past the DLC has no value")
            << Fields{field("Speed", 0, 16), field("Extra", 32, 16)} << dataFrame(0x123, QByteArray::fromHex("0100"))
            << "Speed|0001|1| / Extra||outside the frame|"
            << "Speed=1";
        QTest::newRow("DLC 15 reads eight bytes")
            << Fields{field("Last", 56, 8)} << dataFrame(0x123, QByteArray::fromHex("1122334455667788"), 15)
            << "Last|88|136|"
            << "Last=136";
        clsFrame remote = dataFrame(0x123, {}, 8);
        remote.setRTR(1);
        QTest::newRow("a remote frame carries no data")
            << Fields{field("Speed", 0, 16)} << remote << "Speed||outside the frame|"
            << "";
        QTest::newRow("a lost-frame record has no fields") << Fields{field("Speed", 0, 16)} << makeLost(0, 3) << ""
                                                           << "";
        QTest::newRow("big-endian and float")
            << Fields{field("Word", 7, 16).big(), field("Ratio", 16, 32).type(ValueType::Float32)}
            << dataFrame(0x123, QByteArray::fromHex("12340000C03F")) << "Word|1234|4660| / Ratio|3FC00000|1.5|"
            << "Word=4660; Ratio=1.5";
        QTest::newRow("all 64 bits") << Fields{field("All", 0, 64)}
                                     << dataFrame(0x123, QByteArray::fromHex("FFFFFFFFFFFFFFFF"))
                                     << "All|FFFFFFFFFFFFFFFF|1.84467440737096e+19|"
                                     << "All=1.84467440737096e+19";
        QTest::newRow("fields that can never be read")
            << Fields{field("Empty", 10, 0), field("Double", 0, 32).type(ValueType::Float64), field("Ok", 0, 4)}
            << dataFrame(0x123, QByteArray::fromHex("0F"))
            << "Empty||invalid field| / Double||invalid field| / Ok|F|15|"
            << "Ok=15";
        QTest::newRow("no fields") << Fields{} << dataFrame(0x123, QByteArray::fromHex("01")) << ""
                                   << "";
    }
    void rowsOfAFrame()
    {
        QFETCH(Fields, fields);
        QFETCH(clsFrame, frame);
        const SignalSet set(fields);
        QTEST(rowsText(signalrows::build(set, frame)), "rows");
        QTEST(signalrows::compactText(set, frame), "cell");
        FakeIdIndex index;
        index.setFields(frameIdNumber(frame), fields);
        QTEST(MessageModel::cellText(frame, 1, MessageModel::colSignals, &index), "cell");
    }

    // The column formats from the data base at the time of asking; a change
    // of fields repaints the column and nothing else.
    void signalsColumn()
    {
        CaptureViews v;
        QCOMPARE(MessageModel::columnKey(MessageModel::colSignals), QStringLiteral("Signals"));
        QCOMPARE(v.messages.headerData(MessageModel::colSignals, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Signals"));
        QSignalSpy changed(&v.messages, &QAbstractItemModel::dataChanged);
        v.messages.signalsChanged(-1);
        QCOMPARE(changed.count(), 0); // no rows
        v.captureFrame(dataFrame(0x123, QByteArray::fromHex("0102")));
        v.captureFrame(dataFrame(0x124, QByteArray::fromHex("03")));
        QCOMPARE(v.messages.text(0, QStringLiteral("Signals")), QString());
        v.index.setFields(0x123, {field("Low", 0, 8), field("High", 8, 8).text(2, "Two")});
        v.messages.signalsChanged(0x123);
        QCOMPARE(v.messages.text(0, MessageModel::colSignals), QStringLiteral("Low=1; High=Two"));
        QCOMPARE(v.messages.text(1, MessageModel::colSignals), QString());
        QCOMPARE(changed.count(), 1);
        const auto from = changed[0][0].value<QModelIndex>();
        const auto to = changed[0][1].value<QModelIndex>();
        QCOMPARE(QList<int>({from.row(), from.column(), to.row(), to.column()}),
                 QList<int>({0, MessageModel::colSignals, 1, MessageModel::colSignals}));
    }

    // The store keeps each identifier's newest stored frame through capture,
    // the display filter, clearing and both ways of loading.
    void latestFrameOfEachIdentifier()
    {
        CaptureViews v;
        const qint32 extended = 0x123 | extendedKeyBit;
        const auto latest = [&v](std::initializer_list<qint32> keys) {
            QList<qsizetype> at;
            for (qint32 key : keys)
                at << v.store.latestFrame(key);
            return at;
        };
        v.captureFrame(makeFrame(0, 0x123));
        v.captureFrame(makeFrame(1, 0x123, true));
        v.captureFrame(makeFrame(2, 0x100));
        v.captureFrame(makeFrame(3, 0x123));
        v.captureFrame(makeLost(4, 2));
        QCOMPARE(latest({0x123, extended, 0x100, 0x7FF, lostFrameKeyBit}), (QList<qsizetype>{3, 1, 2, -1, 4}));
        // An unticked identifier's frames are not stored, so its newest stays.
        v.monitor.itemCheck(v.monitor.rowOf(0x100), false);
        QVERIFY(!v.captureFrame(makeFrame(5, 0x100)));
        QCOMPARE(latest({0x100}), QList<qsizetype>{2});

        v.store.clear();
        QCOMPARE(latest({0x123, extended, 0x100, lostFrameKeyBit}), (QList<qsizetype>{-1, -1, -1, -1}));
        v.monitor.clear();
        // A file read into the empty store, then appended to a filled one.
        v.store.addListFrames(std::vector<clsFrame>{makeFrame(0, 0x100), makeFrame(1, 0x123), makeFrame(2, 0x100)});
        QCOMPARE(latest({0x100, 0x123}), (QList<qsizetype>{2, 1}));
        v.store.addListFrames(std::vector<clsFrame>{makeFrame(3, 0x123)});
        QCOMPARE(latest({0x100, 0x123}), (QList<qsizetype>{2, 3}));
    }

    // What the pane shows: the user's choice at once, with the caption saying
    // which frame it is.
    void paneShowsTheChosenFrame()
    {
        CaptureViews v;
        SignalPane pane(v.store);
        QCOMPARE(pane.sourceText(), QStringLiteral("No message selected"));
        v.index.setFields(0x123, {field("Speed", 0, 8).scale(1, 0, "km/h"), field("Gear", 8, 4).text(1, "First")});
        pane.setIdIndex(&v.index);
        v.captureFrame(dataFrame(0x123, QByteArray::fromHex("3201")));
        v.captureFrame(dataFrame(0x124, QByteArray::fromHex("01")));
        v.captureFrame(makeLost(9, 1));
        QCOMPARE(pane.headerData(SignalPane::colRaw, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Raw"));
        QSignalSpy captions(&pane, &SignalPane::sourceChanged);

        pane.showMessage(0);
        QCOMPARE(paneText(pane), QStringLiteral("Speed|32|50 km/h| / Gear|1|1|First"));
        QCOMPARE(pane.sourceText(), QStringLiteral("Message 1: 123"));
        pane.showMessage(1);
        QCOMPARE(pane.rowCount(), 0);
        QCOMPARE(pane.sourceText(), QStringLiteral("Message 2: 124 (no data fields)"));
        pane.showMessage(2);
        QCOMPARE(pane.sourceText(), QStringLiteral("Message 3: xxx"));
        pane.showLatest(0x123);
        QCOMPARE(pane.sourceText(), QStringLiteral("Latest of 123: message 1"));
        QCOMPARE(pane.rowCount(), 2);
        pane.showLatest(0x7FF);
        QCOMPARE(pane.sourceText(), QStringLiteral("Latest of 7FF: none stored"));
        pane.showMessage(99); // past the store
        QCOMPARE(pane.sourceText(), QStringLiteral("No message selected"));
        QCOMPARE(captions.count(), 6);
        QCOMPARE(captions.last().first().toString(), QStringLiteral("No message selected"));
    }

    // While frames arrive the pane refreshes at once, then once more at the
    // end of the interval however many batches came in it; it never leaves an
    // identifier for the message list.
    void paneRefreshesAtMostOncePerInterval()
    {
        CaptureViews v;
        SignalPane pane(v.store);
        v.index.setFields(0x123, {field("Count", 0, 8)});
        pane.setIdIndex(&v.index);
        QTimer *timer = pane.refreshTimer();
        QVERIFY(timer->isSingleShot() && timer->interval() == 250);
        v.captureFrame(dataFrame(0x123, QByteArray::fromHex("01")));
        pane.showLatest(0x123);
        QSignalSpy resets(&pane, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&pane, &QAbstractItemModel::dataChanged);
        const auto refreshes = [&] { return int(resets.count() + changes.count()); };
        for (int i = 2; i <= 4; ++i) {
            v.captureFrame(dataFrame(0x123, QByteArray(1, char(i))));
            v.captureFrame(dataFrame(0x124, QByteArray(1, char(i))));
            pane.framesAdded();
            pane.followMessage(v.store.count() - 1); // the list's newest row
        }
        QVERIFY(timer->isActive());
        QCOMPARE(paneText(pane), QStringLiteral("Count|02|2|"));
        QCOMPARE(refreshes(), 1);
        pane.refreshTimer_Timer();
        QCOMPARE(paneText(pane), QStringLiteral("Count|04|4|"));
        QCOMPARE(pane.sourceText(), QStringLiteral("Latest of 123: message 6"));
        // The same fields with new values: changed in place, not reset.
        QCOMPARE(QList<int>({int(resets.count()), int(changes.count())}), QList<int>({0, 2}));
        QVERIFY(timer->isActive()); // a new interval
        pane.refreshTimer_Timer();  // nothing came in it
        QVERIFY(!timer->isActive());
        v.captureFrame(dataFrame(0x124, QByteArray(1, char(5))));
        pane.framesAdded(); // frames of another identifier
        pane.refreshTimer_Timer();
        QCOMPARE(refreshes(), 2);

        // Following the message list: the last row given in an interval wins.
        pane.refreshTimer_Timer();
        pane.showMessage(0);
        QCOMPARE(pane.sourceText(), QStringLiteral("Message 1: 123"));
        pane.framesAdded();
        QVERIFY(!timer->isActive());
        pane.followMessage(2);
        pane.followMessage(4);
        pane.followMessage(6);
        QCOMPARE(pane.frameIndex(), 2);
        pane.refreshTimer_Timer();
        QCOMPARE(QList<qsizetype>({pane.frameIndex(), qsizetype(pane.source())}),
                 QList<qsizetype>({6, qsizetype(SignalPane::Source::message)}));
        pane.clear();
        QVERIFY(!timer->isActive());
    }

    // Changed fields and a new data base show at once; an emptied store
    // shows nothing, and the identifier's next frame after a clear counts.
    void paneAfterChanges()
    {
        CaptureViews v;
        SignalPane pane(v.store);
        pane.setIdIndex(&v.index);
        v.captureFrame(dataFrame(0x123, QByteArray::fromHex("0A")));
        pane.showLatest(0x123);
        QCOMPARE(pane.sourceText(), QStringLiteral("Latest of 123: message 1 (no data fields)"));
        v.index.setFields(0x123, {field("Level", 0, 8)});
        pane.signalsChanged(0x124);
        QCOMPARE(pane.rowCount(), 0);
        pane.signalsChanged(0x123);
        QCOMPARE(paneText(pane), QStringLiteral("Level|0A|10|"));
        v.index.setFields(0x123, {field("Low", 0, 4), field("High", 4, 4)});
        pane.signalsChanged(-1);
        QCOMPARE(paneText(pane), QStringLiteral("Low|A|10| / High|0|0|"));
        FakeIdIndex other;
        pane.setIdIndex(&other);
        QCOMPARE(pane.rowCount(), 0);
        pane.setIdIndex(&v.index);

        // The store emptied under the pane: the tick finds nothing stored.
        v.store.clear();
        pane.framesAdded();
        pane.refreshTimer_Timer();
        QCOMPARE(pane.sourceText(), QStringLiteral("Latest of 123: none stored"));
        QCOMPARE(pane.rowCount(), 0);
        v.captureFrame(dataFrame(0x123, QByteArray::fromHex("21")));
        pane.framesAdded();
        pane.refreshTimer_Timer();
        QCOMPARE(paneText(pane), QStringLiteral("Low|1|1| / High|2|2|"));
        pane.clear();
        QCOMPARE(QList<qsizetype>({pane.rowCount(), pane.frameIndex(), qsizetype(pane.source())}),
                 QList<qsizetype>({0, -1, qsizetype(SignalPane::Source::none)}));
        QVERIFY(!pane.refreshTimer()->isActive());
    }
};

TESSEL_TEST(tst_SignalViews)
#include "tst_signalviews.moc"
