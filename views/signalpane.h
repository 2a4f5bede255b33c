#pragma once

#include "views/signalrows.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class CaptureStore;
class IdIndex;
class QTimer;

// The signal pane: the data fields of one stored frame decoded, one row each
// (signalrows::build). The frame is the message row the user selected, or the
// newest frame of the identifier selected in the monitor list, which follows
// the capture.
//
// Columns: "Signal", "Raw" (hex), "Value" (physical, with its unit),
// "Description" (the text of the raw value).
//
// What the user picks shows at once. What changes by itself (the message
// list's selection moving to the newest row, new frames of the identifier)
// shows at most once per refreshInterval ms: at once when the last refresh is
// longer ago, else on the refresh tick that ends the interval. A capture at
// full rate so decodes four frames a second here, not every one.
class SignalPane final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { colName, colRaw, colValue, colDescription, columnTotal };
    enum class Source {
        none,
        message, // a frame of the message list
        latest,  // the newest frame of an identifier
    };
    static constexpr int refreshInterval = 250;

    explicit SignalPane(const CaptureStore &store, QObject *parent = nullptr);

    // The data base that holds the fields; nullptr: no fields anywhere.
    void setIdIndex(const IdIndex *index);

    // ---- what to show ----
    // The user selected the message row of stored frame `frameIndex` (0-based).
    void showMessage(qsizetype frameIndex);
    // The message list's selection moved without the user (to the newest row
    // while capturing, after a rebuild). Followed, at the refresh rate, unless
    // the pane shows an identifier's newest frame.
    void followMessage(qsizetype frameIndex);
    // The user selected the monitor row of identifier key `keyNumber`.
    void showLatest(qint32 keyNumber);
    // Nothing: the store was emptied.
    void clear();

    // ---- what changed ----
    // Frames were appended to the store.
    void framesAdded();
    // The fields of identifier `keyNumber` changed, or of every one (-1).
    void signalsChanged(qint32 keyNumber);
    // Decodes the shown frame again (another data base is in use).
    void refresh();
    // The end of a refresh interval: shows what changed during it. The
    // single-shot refreshTimer runs it; tests call it directly.
    void refreshTimer_Timer();
    [[nodiscard]] QTimer *refreshTimer() const { return timer; }

    // ---- state ----
    [[nodiscard]] Source source() const { return shownSource; }
    // The identifier shown (-1 for none).
    [[nodiscard]] qint32 keyNumber() const { return key; }
    // The stored frame shown, -1 for none.
    [[nodiscard]] qsizetype frameIndex() const { return shownFrame; }
    // What the pane shows, for its caption: "Message 17: 123",
    // "Latest of 123: message 250", "Latest of 123: none stored",
    // "No message selected"; a frame whose identifier has no fields adds
    // " (no data fields)".
    [[nodiscard]] QString sourceText() const;
    [[nodiscard]] const QList<SignalRow> &signalRows() const { return rows; }
    // The identifier and field index of row `row`, to plot it; false when
    // the row or the shown frame is gone.
    bool fieldOfRow(int row, qint32 *keyNumber, int *field) const;

    // ---- model ----
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // sourceText() changed.
    void sourceChanged(const QString &text);

private:
    // Decodes frame `frameIndex` (-1: none) into the rows.
    void show(qsizetype frameIndex);
    // Something changed by itself: shown now and the interval starts, or
    // left to the tick while one runs.
    void throttle();
    // Shows the identifier's newest frame or the followed message row.
    void follow();

    const CaptureStore &store;
    const IdIndex *idIndex = nullptr;
    QTimer *timer = nullptr;
    Source shownSource = Source::none;
    qint32 key = -1;
    qsizetype shownFrame = -1;
    qsizetype pendingFrame = -1; // followMessage's frame, not yet shown
    bool due = false;            // a change waits for the tick
    bool hasFields = false;
    QList<SignalRow> rows;
    QString caption;
};
