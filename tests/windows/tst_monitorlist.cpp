#include "support/testregistry.h"
#include "views/contrast.h"
#include "candb/ui/dbtree.h"
#include "support/captureviews.h"
#include "views/qcolour.h"
#include "views/ui/monitorview.h"

#include <QMimeData>
#include <QtTest>

// The identifier monitor list: rows, counts, icons, the check-box rules
// between the rows and the data base, the header clicks.
class tst_MonitorList : public QObject
{
    Q_OBJECT

    // A list with its requests recorded; the data base answers a check the
    // way the real one does: it stores the state and synchronises the row.
    struct Wired
    {
        MonitorList list;
        FakeIdIndex index;
        QStringList treeChecks; // "key=0/1"
        int rebuilds = 0;
        QStringList added; // "show:key"

        Wired()
        {
            list.setIdIndex(&index);
            QObject::connect(&list, &MonitorList::nodeCheckRequested, [this](const QString &key, bool ticked) {
                treeChecks << key + (ticked ? "=1" : "=0");
                index.nodes[key].ticked = ticked;
                list.syncIDRow(key, {}, ticked);
            });
            QObject::connect(&list, &MonitorList::rebuildRequested, [this] { ++rebuilds; });
            QObject::connect(&list, &MonitorList::addIdRequested,
                             [this](bool show, const QString &key) { added << QString::number(show) + ":" + key; });
        }
        QList<bool> checked() const
        {
            QList<bool> states;
            for (int r = 0; r < list.count(); ++r)
                states << list.row(r).checked;
            return states;
        }
    };

    static QString cell(const MonitorList &list, int row, int column)
    {
        return list.data(list.index(row, column), Qt::DisplayRole).toString();
    }
    static QStringList idColumn(const MonitorList &list)
    {
        QStringList ids;
        for (int r = 0; r < list.count(); ++r)
            ids << cell(list, r, MonitorList::colID);
        return ids;
    }
    static void count(MonitorList &list, qint32 keyNumber, int frames)
    {
        for (int i = 0; i < frames; ++i)
            list.updateIDRow(keyNumber, true);
    }

private slots:
    // A new row: ordinal, identifier, count, icon, check box and colour, by
    // whether the data base has the identifier and ticks it.
    void newRows()
    {
        const struct
        {
            qint32 keyNumber;
            int inDataBase; // -1 not there, else its tick
            QString id, icon;
            bool checked;
            quint32 colour;
        } rows[] = {
            {0x123, -1, "123", "ID_00000123_new", true, 0x00302030},
            {0x248C4567, 1, "123.04567", "ID_248C4567", true, 0x00302030},
            {0x7FF, 0, "7FF", "ID_000007FF", false, 0x00F0F0F0},
            {lostFrameKeyBit, -1, "xxx", "ID_40000000_new", true, 0x00808080}, // the lost-frame record in grey
        };
        for (const auto &row : rows) {
            Wired w;
            MonitorList &list = w.list;
            if (row.inDataBase >= 0)
                w.index.add(row.keyNumber, row.inDataBase == 1, QStringLiteral("Dev"), QStringLiteral("Desc"));
            list.updateIDRow(row.keyNumber, true);
            QCOMPARE(list.count(), 1);
            QCOMPARE((QStringList{cell(list, 0, MonitorList::colOrdinal), cell(list, 0, MonitorList::colID),
                                  cell(list, 0, MonitorList::colCount), list.iconKey(0), list.row(0).key}),
                     (QStringList{" 1", row.id, "    1", row.icon, idKey(row.keyNumber)}));
            QCOMPARE(list.data(list.index(0, 0), Qt::CheckStateRole).toInt(),
                     int(row.checked ? Qt::Checked : Qt::Unchecked));
            QCOMPARE(list.isShown(row.keyNumber), row.checked);
            // The text is the identity colour made legible on the list's white.
            QCOMPARE(list.data(list.index(0, 1), Qt::ForegroundRole).value<QColor>().rgb(),
                     contrast::readableOn(rgbFromColour(row.colour), qRgb(255, 255, 255)));
            QCOMPARE(list.data(list.index(0, 0), Qt::DecorationRole).value<QImage>(), list.image(row.icon));
        }
    }

    void countsAndOrdinals()
    {
        MonitorList list;
        QVERIFY(list.isShown(0x100)); // no row yet
        count(list, 0x100, 3);
        list.updateIDRow(0x200, false); // created, not counted
        list.updateIDRow(0x200, false);
        list.updateIDRow(0x300, true);
        QCOMPARE((QStringList{cell(list, 0, MonitorList::colCount), cell(list, 1, MonitorList::colCount),
                              cell(list, 2, MonitorList::colOrdinal)}),
                 (QStringList{"    3", "    0", " 3"}));
        // After a removal the next ordinal counts the rows before it.
        QVERIFY(!list.deleteCANID(0x200));
        list.updateIDRow(0x400, true);
        QCOMPARE(cell(list, 2, MonitorList::colOrdinal), QStringLiteral(" 3"));
        count(list, 0x300, 99999);
        QCOMPARE(cell(list, 1, MonitorList::colCount), QStringLiteral("100000"));
    }

    // Images are drawn once per colour and released with the rows: many
    // extended identifiers sharing a few standard parts cost a few images.
    void imagesPerColourReleasedOnClear()
    {
        MonitorList list;
        for (qint32 ext = 0; ext < 3000; ++ext)
            list.updateIDRow(0x20000000 | (qint32(ext % 3) << 18) | ext, true);
        QCOMPARE(list.imageCount(), 6); // three colours, plain and " new "
        const QString key = list.row(2999).key;
        QCOMPARE(list.image(key + QStringLiteral("_new")), list.image(list.row(2).key + QStringLiteral("_new")));
        list.clear();
        QCOMPARE(list.imageCount(), 0);
        QVERIFY(list.image(key).isNull());
        list.updateIDRow(0x123, true);
        QCOMPARE(list.imageCount(), 2);
    }

    // A swatch of the identifier's colour, " new " written on the marked one,
    // "lost" on both images of the lost-frame key.
    void icons()
    {
        MonitorList list;
        list.updateIDRow(0x123, true);
        list.updateIDRow(lostFrameKeyBit, true);
        QCOMPARE(list.imageCount(), 4);
        const QSize size = list.iconSize();
        QVERIFY(!size.isEmpty());
        const QRgb swatch = toQColor(idColour(QStringLiteral("ID_00000123"))).rgb();
        const QImage plain = list.image(QStringLiteral("ID_00000123"));
        QCOMPARE(plain.size(), size);
        QCOMPARE(list.image(QStringLiteral("ID_00000123_new")).size(), size);
        QCOMPARE(
            (QList<QRgb>{plain.pixelColor(0, 0).rgb(), plain.pixelColor(size.width() - 1, size.height() - 1).rgb()}),
            (QList<QRgb>{swatch, swatch}));
        QVERIFY(list.image(QStringLiteral("ID_00000123_new")) != plain);
        QImage grey(size, plain.format());
        grey.fill(QColor(0x80, 0x80, 0x80));
        QVERIFY(list.image(QStringLiteral("ID_40000000")) != grey);
        QVERIFY(list.image(QStringLiteral("ID_40000000_new")) != grey);
    }

    // A data base identifier's row follows the tree: the user's check goes to
    // the tree, which writes it and synchronises the row.
    void checkingRows()
    {
        Wired w;
        w.index.add(0x100, true, {}, {});
        w.list.updateIDRow(0x100, true);
        w.list.updateIDRow(0x200, true);
        QVERIFY(w.list.setData(w.list.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(w.treeChecks, QStringList{"ID_00000100=0"});
        QCOMPARE(w.checked(), (QList<bool>{false, true}));
        QVERIFY(!w.index.nodes[QStringLiteral("ID_00000100")].ticked);
        QCOMPARE(w.rebuilds, 0); // the tree decides about rebuilding

        // A new identifier keeps the new state and rebuilds the message list,
        // unless a capture runs.
        w.list.itemCheck(1, false);
        QCOMPARE(w.checked(), (QList<bool>{false, false}));
        QCOMPARE(w.rebuilds, 1);
        w.list.setCaptureRunning(true);
        w.list.toggleViewed(1);
        QCOMPARE(w.checked(), (QList<bool>{false, true}));
        QCOMPARE(w.rebuilds, 1);
        QCOMPARE(w.treeChecks.size(), 1);

        // Without a data base to ask, a data base identifier's row takes the check itself.
        MonitorList alone;
        alone.setIdIndex(&w.index);
        alone.updateIDRow(0x100, true);
        alone.itemCheck(0, true);
        QVERIFY(alone.row(0).checked);
    }

    // The first header toggles every new identifier, never a data base one.
    void firstColumnToggle()
    {
        Wired w;
        w.list.columnClick(0); // empty list: nothing
        QCOMPARE(w.list.firstColumnCaption(), QStringLiteral("-"));
        QCOMPARE(w.rebuilds, 0);
        w.index.add(0x100, true, {}, {});
        w.index.add(0x300, false, {}, {});
        for (qint32 id : {0x100, 0x200, 0x300, 0x400})
            w.list.updateIDRow(id, true);

        w.list.columnClick(0);
        QCOMPARE(w.list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("+"));
        QCOMPARE(w.checked(), (QList<bool>{true, false, false, false}));
        QCOMPARE(w.rebuilds, 1);
        w.list.columnClick(0);
        QCOMPARE(w.list.firstColumnCaption(), QStringLiteral("-"));
        QCOMPARE(w.checked(), (QList<bool>{true, true, false, true}));
        QCOMPARE(w.rebuilds, 2);
        QVERIFY(w.treeChecks.isEmpty());
    }

    // Three clicks on a column: ascending, descending, off (order kept).
    void threeStateSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");
        QTest::addColumn<QStringList>("descending");
        QTest::newRow("Count, numeric past its padding")
            << int(MonitorList::colCount) << QStringList{"300", "100", "xxx", "200"}
            << QStringList{"200", "xxx", "100", "300"};
        QTest::newRow("ID as text") << int(MonitorList::colID) << QStringList{"100", "200", "300", "xxx"}
                                    << QStringList{"xxx", "300", "200", "100"};
    }
    void threeStateSort()
    {
        QFETCH(int, column);
        QFETCH(QStringList, descending);
        MonitorList list;
        count(list, 0x200, 100000);
        count(list, lostFrameKeyBit, 99999);
        count(list, 0x100, 2);
        count(list, 0x300, 1);

        list.columnClick(column);
        QCOMPARE(list.sortState(), MonitorList::SortState::ascending);
        QTEST(idColumn(list), "ascending");
        // A sorted list takes a new row at its place, with the next ordinal.
        list.updateIDRow(0x250, false);
        QCOMPARE(list.rowOf(0x250), column == MonitorList::colID ? 2 : 0);
        QCOMPARE(cell(list, list.rowOf(0x250), MonitorList::colOrdinal), QStringLiteral(" 5"));
        QVERIFY(!list.deleteCANID(0x250)); // no frames: gone again
        list.columnClick(column);
        QCOMPARE(list.sortState(), MonitorList::SortState::descending);
        QCOMPARE(idColumn(list), descending);
        list.columnClick(column);
        QCOMPARE(list.sortState(), MonitorList::SortState::off);
        QCOMPARE(list.sortColumn(), int(MonitorList::colOrdinal));
        QCOMPARE(idColumn(list), descending);
        // Counting still finds every row after the reordering.
        list.updateIDRow(0x100, true);
        QCOMPARE(list.row(list.rowOf(0x100)).count, 3);
    }

    // The data base's side: synchronising, reading a box, deleting, leaving the data base.
    void treeSynchronisation()
    {
        MonitorList list;
        list.updateIDRow(0x100, true);
        list.updateIDRow(0x200, false); // no frames counted
        list.updateIDRow(0x300, true);
        QVERIFY(!list.syncIDRow(QStringLiteral("ID_00000999"), {}, true)); // no row
        QVERIFY(list.syncIDRow(QStringLiteral("ID_00000100"), {}, false));
        QVERIFY(list.iconKey(0) == "ID_00000100" && !list.row(0).checked);
        QVERIFY(!list.syncIDRow(QStringLiteral("ID_00000100"), {}, false)); // unchanged
        bool ticked = true;
        QVERIFY(list.rowChecked(QStringLiteral("ID_00000100"), &ticked) && !ticked);
        QVERIFY(!list.rowChecked(QStringLiteral("ID_00000999"), &ticked));
        // Unticked without frames: the row goes.
        QVERIFY(!list.syncIDRow(QStringLiteral("ID_00000200"), {}, false));
        QCOMPARE(list.rowOf(QStringLiteral("ID_00000300")), 1);

        // Deleted from the data base: a row with counted frames stays,
        // unchecked and marked new; one without goes.
        list.updateIDRow(0x500, false);
        QVERIFY(list.deleteCANID(0x300));
        QVERIFY(list.iconKey(1) == "ID_00000300_new" && !list.row(1).checked);
        QVERIFY(!list.deleteCANID(0x500) && !list.deleteCANID(0x999));
        QCOMPARE(list.count(), 2);

        list.updateIDRow(0x400, false);
        list.resetIDRows();
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.iconKey(0), QStringLiteral("ID_00000100_new"));
    }

    void dragAndCopy()
    {
        Wired w;
        w.list.updateIDRow(0x248C4567, true);
        // What the data base tree accepts as a drop.
        QCOMPARE(w.list.mimeTypes(), QStringList{DbTree::idKeyMimeType});
        std::unique_ptr<QMimeData> mime(w.list.mimeData({w.list.index(0, 1)}));
        QCOMPARE(mime->data(DbTree::idKeyMimeType), QByteArray("ID_248C4567"));
        QVERIFY(w.list.flags(w.list.index(0, 0)) & Qt::ItemIsDragEnabled);
        w.list.copyToDataBase(0, false);
        w.list.copyToDataBase(0, true);
        w.list.copyToDataBase(5, true); // no such row
        QCOMPARE(w.added, (QStringList{"0:ID_248C4567", "1:ID_248C4567"}));
    }

    // The view keeps the key of the row under the last press (none after a
    // press outside the rows), pops the menu up on a right release over a
    // row, and copies the row at once on a double click.
    void viewClicks()
    {
        Wired w;
        w.list.updateIDRow(0x123, true);
        w.list.updateIDRow(0x456, true);
        MonitorView view;
        view.setMonitorList(&w.list);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy popups(&view, &MonitorView::popupRequested);

        const QPoint second = view.visualRect(w.list.index(1, 1)).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, second);
        QVERIFY(view.dragKey() == "ID_00000456" && view.currentKeyRow() == 1);
        QCOMPARE(view.dragColour().rgb(), rgbFromColour(idColour(QStringLiteral("ID_00000456"))));
        QCOMPARE(popups.size(), 0);
        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, second);
        QCOMPARE(popups.size(), 1);
        QCOMPARE(popups.first().first().toInt(), 1); // the row under the release
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(w.added, QStringList{"0:ID_00000456"});

        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(10, view.viewport()->height() - 5));
        QVERIFY(view.dragKey().isEmpty());
        QCOMPARE(popups.size(), 1);
    }
};

TESSEL_TEST(tst_MonitorList)
#include "tst_monitorlist.moc"
