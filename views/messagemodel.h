#pragma once

#include "core/dbindex.h"
#include "core/capturestore.h"
#include "views/displayfilter.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QRgb>
#include <QLocale>
#include <QString>

#include <functional>
#include <vector>

// The message list lvListViewMessages: one row per shown frame of the capture
// store. A row is only the index of its frame; every cell is formatted when
// the view asks, so a million rows cost four bytes each and a rebuild is a
// pass over integers.
//
// Columns (key, caption, alignment), in this order:
//   "Num" "№" left, "ID-Std" centre, "ID-Ext" centre, "RTR", "IDE", "RB1",
//   "RB0" centre, "DLC" centre, "Data" left, "TSMP" left, "Time" right,
//   "Duration" "Duration, us" right, "Device" left, "Description" left,
//   "Signals" left (the decoded data fields; the window hides it unless asked),
//   "Bus" centre (the frame's bus counted from 1; shown for a log of several
//   buses), "Seconds" "Time, s" right (the frame's time from the start of the
//   capture, to the microsecond), "Cycle" "Cycle, ms" right (the time since
//   the stored frame of the same identifier before it; empty for the first
//   and for lost-frame records).
// Example: frame 7, standard 123, data AA 55, stamp 0x1E240, time 40, 500 kbit/s
//   "    7" "123" "-----" "0" "0" "0" "0" "2" "AA 55" "0001E240" "40" "120.000"
class MessageModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        colNum,
        colIDStd,
        colIDExt,
        colRTR,
        colIDE,
        colRB1,
        colRB0,
        colDLC,
        colData,
        colTSMP,
        colTime,
        colDuration,
        colDevice,
        colDescription,
        colSignals,
        colBus,
        colSeconds,
        colCycle,
        columnTotal
    };

    explicit MessageModel(CaptureStore &store, QObject *parent = nullptr);

    // Column keys and captions; getNumSubitem gives the 0-based position of a
    // key (the sub-item index), -1 for a key without a column.
    [[nodiscard]] static QString columnKey(int column);
    [[nodiscard]] static QString columnCaption(int column);
    [[nodiscard]] static int getNumSubitem(const QString &key);
    [[nodiscard]] static Qt::Alignment columnAlignment(int column);
    // "Num", "ID-Std", "ID-Ext", "DLC" and "Device" sort; the others do not.
    [[nodiscard]] static bool isSortable(int column);

    // Device, description and the data fields come from the data base tree;
    // nullptr: empty.
    void setIdIndex(const IdIndex *index)
    {
        idIndex = index;
        newKeys.clear();
    }
    [[nodiscard]] const IdIndex *labels() const { return idIndex; }
    // The data fields of identifier `keyNumber` changed (-1: of every one):
    // the Signals cells are formatted again.
    void signalsChanged(qint32 keyNumber);
    // The decimal separator of "Duration".
    void setLocale(const QLocale &l);
    // Stamp ticks per second, for "Time, s" and "Cycle, ms"; 0 or less
    // leaves both empty.
    void setTicksPerSecond(double ticks);
    [[nodiscard]] double ticksPerSecond() const { return tickRate; }
    // `ticks` in seconds with six decimals ("12.000250"); empty without a rate.
    [[nodiscard]] static QString secondsText(qint64 ticks, double ticksPerSecond, const QLocale &locale = QLocale());
    // The colour the row's text is drawn in on `background`: rowColour,
    // darkened as far as it needs to be legible (see contrast.h).
    [[nodiscard]] QRgb textColour(const clsFrame &frame) const;
    // The list's background, which textColour reads against (white until set).
    void setBackground(QRgb colour);

    // The text of one cell of frame number `number` (1-based position in the
    // store) and its row colour (0x00BBGGRR): light grey F1F1F1 for a lost
    // frame, else the colour of its "ID-Std" text.
    [[nodiscard]] static QString cellText(const clsFrame &frame, qsizetype number, int column, const IdIndex *index,
                                          const QLocale &locale = QLocale());
    [[nodiscard]] static quint32 rowColour(const clsFrame &frame);

    // ---- rows ----
    // Appends the row of frame number `number` (1-based, the frame's position
    // in the store); while the list is sorted it goes to its sorted place.
    // Returns the row's 0-based index.
    int addCANFrame(qsizetype number);
    // The same for a run of stored frames (0-based indices, in store order),
    // in two steps whatever the run's length: the rows are appended, then,
    // while the list is sorted, merged into their places. Returns the row of
    // the run's last frame, -1 for an empty run.
    int addCANFrames(const std::vector<quint32> &frameIndices);
    // Removes every row.
    void clearRows();
    // Rebuilds the rows from the store through the display filter; `progress`
    // (optional) is told the count of frames visited now and then. Returns
    // the 0-based row to select - the first row whose frame's time is at or
    // after selectedTime, else the last row - or -1 when no row was appended;
    // the store's currentRow follows.
    int rebuild(const std::function<void(qsizetype visited)> &progress = {});

    [[nodiscard]] int count() const { return int(rows.size()); }
    // The rows there are with the display filter cleared: what the list
    // holds, hidden or not.
    [[nodiscard]] int unfilteredCount() const { return int(held.size()); }
    // 0-based index in the store of the row's frame.
    [[nodiscard]] qsizetype frameIndex(int row) const { return qsizetype(rows[size_t(row)]); }
    [[nodiscard]] const clsFrame &rowFrame(int row) const { return store.frame(frameIndex(row)); }
    [[nodiscard]] QString text(int row, int column) const;
    [[nodiscard]] QString text(int row, const QString &key) const { return text(row, getNumSubitem(key)); }
    // The row of a stored frame, -1 when it has none.
    [[nodiscard]] int rowOfFrame(qsizetype frameIndex) const;
    // The store indices of the shown frames in capture order, whatever the
    // sort: what a capture file holds.
    [[nodiscard]] std::vector<quint32> framesInCaptureOrder() const;
    // Bytes held for the rows (capacity).
    [[nodiscard]] qint64 memoryBytes() const
    {
        return qint64((rows.capacity() + held.capacity()) * sizeof(quint32));
    }

    // ---- display filter ----
    // Hides the rows the filter does not match; hidden frames stay in the
    // store and in framesInCaptureOrder, and come back when the filter
    // changes. Frames added later pass through it too. Returns the row of
    // the frame that was current (the store's currentRow follows), -1 when
    // it is hidden now or there was none.
    int setDisplayFilter(const displayfilter::Filter &filter);
    [[nodiscard]] const displayfilter::Filter &displayFilter() const { return shownFilter; }

    // ---- sorting ----
    // Column header click: a sortable column becomes the sort column,
    // ascending, or reverses its order when it already is; rows reorder while
    // sorting is on. The selected row (the store's currentRow) is followed.
    // Returns false when the column does not sort.
    bool columnClick(int column);
    [[nodiscard]] int sortColumn() const { return sortCol; }
    [[nodiscard]] Qt::SortOrder sortOrder() const { return order; }
    [[nodiscard]] bool isSortingOn() const { return sortingOn; }
    // Column clicks only change the sort column and order while sorting is
    // off; switching it on again does not reorder the rows.
    void setSortingOn(bool on) { sortingOn = on; }

    // ---- selection ----
    // A row click: selectedDuration from the row's frame; when the row's time
    // differs from selectedTime, currentRow and selectedTime follow and the
    // result is true (the time line is then to be moved).
    bool rowClick(int row);

    // ---- model ----
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    [[nodiscard]] bool ordered() const { return sortingOn && !(sortCol == colNum && order == Qt::AscendingOrder); }
    [[nodiscard]] bool rowLess(quint32 a, quint32 b) const;
    void sortRows();
    // Runs `reorder` on the rows as one layout change; persistent indexes
    // (selection, current item) stay with their frames.
    void reorderRows(const std::function<void()> &reorder);
    void appendIndex(quint32 frame);
    // Whether a held frame passes the display filter.
    [[nodiscard]] bool passes(quint32 frame);
    [[nodiscard]] bool isNewKey(qint32 keyNumber);

    CaptureStore &store;
    const IdIndex *idIndex = nullptr;
    QLocale locale;
    double tickRate = 0;
    QRgb background = 0xFFFFFFFF;
    // Text colour by row colour: a few thousand colours, each worked out once.
    mutable QHash<quint32, QRgb> readable;
    std::vector<quint32> rows; // row -> 0-based frame index
    // Every frame the list holds, shown or hidden by the display filter, in
    // capture order.
    std::vector<quint32> held;
    displayfilter::Filter shownFilter;
    bool filtering = false;
    // Key number -> not in the data base, for "only new identifiers".
    QHash<qint32, bool> newKeys;
    bool naturalOrder = true;  // rows ascend by frame index
    int sortCol = colNum;
    Qt::SortOrder order = Qt::AscendingOrder;
    bool sortingOn = true;
};
