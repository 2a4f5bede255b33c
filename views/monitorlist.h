#pragma once

#include "core/dbindex.h"
#include "core/capturestore.h"
#include "views/idstatistics.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRgb>
#include <QString>

#include <vector>

// The identifier monitor list lvListViewID: one row per identifier key seen
// in the capture, its frame count, a colour icon and the check box that is the
// message list's display filter.
//
// Columns: 0 the ordinal padLeft(n, 2) (caption "-" or "+"), 1 "ID" formatID,
// 2 "Count" padLeft(count, 5); then the statistics of the identifier (empty
// for lost-frame records and without statistics): 3 "Data" the last data
// bytes, 4 "Rate, /s", 5 "Mean, ms" 6 "Min, ms" 7 "Max, ms" the period,
// 8 "Jitter, ms". A period more than 20 % off the identifier's cycle time in
// the data base is highlighted. Example: the first frame of the extended
// identifier 123.04567 gives the row " 1", "123.04567", "    1", key
// "ID_248C4567", checked, icon "ID_248C4567_new" when the data base lacks it.
//
// For identifiers of the data base the data base is the master of the check
// box: a user check is requested (nodeCheckRequested), the data base writes
// it and comes back through syncIDRow.
class MonitorList final : public QAbstractTableModel, public IdFilter, public MonitorRows
{
    Q_OBJECT
public:
    enum Column {
        colOrdinal = 0,
        colID = 1,
        colCount = 2,
        colData,
        colRate,
        colMean,
        colMin,
        colMax,
        colJitter,
        columnTotal
    };
    // The background of a period cell off its expected cycle time.
    static constexpr QRgb deviationBackground = 0xFFFFD8A8;
    // Three-state sorting of the "ID" and "Count" columns.
    enum class SortState { off, ascending, descending };

    // Drag payload: the identifier key as text ("ID_00000123").
    static constexpr const char *dragMimeType = "application/x-tessel-idkey";
    static constexpr const char *newSuffix = "_new";

    struct Row
    {
        qint32 keyNumber = 0;
        QString key;      // idKey(keyNumber)
        QString ordinal;  // padLeft(n, 2), fixed when the row is created
        qint64 count = 0; // frames counted
        bool checked = true;
        QString suffix; // "" for data base identifiers, "_new" otherwise
    };

    explicit MonitorList(QObject *parent = nullptr);

    // The data base; nullptr means no data base (every key is new).
    void setIdIndex(const IdIndex *index) { idIndex = index; }
    // The font the list is shown in; the icons are as big as " new " in it.
    void setListFont(const QFont &font);

    // The statistics shown in the columns after "Count"; nullptr: none.
    void setStatistics(const IdStatistics *statistics) { stats = statistics; }
    // The statistics moved on: their cells are read again.
    void statisticsChanged();
    // The list's background, which the text colours are made legible on.
    void setBackground(QRgb colour);
    // The text colour of an identifier key's row (see contrast.h).
    [[nodiscard]] QRgb textColour(const QString &key) const;

    // While a capture runs, a check of a new identifier's row rebuilds nothing.
    void setCaptureRunning(bool running) { capturing = running; }

    // ---- IdFilter (the capture store) ----
    [[nodiscard]] bool isShown(qint32 keyNumber) const override;
    void updateIDRow(qint32 keyNumber, bool count) override;
    void countIdFrames(qint32 keyNumber, qint64 frames) override;

    // ---- MonitorRows (the data base) ----
    bool syncIDRow(const QString &key, const QString &suffix, bool ticked) override;
    void resetIDRows() override;
    bool deleteCANID(qint32 keyNumber) override;
    bool rowChecked(const QString &key, bool *ticked) const override;

    // ---- events ----
    // Removes every row (a new capture) and releases the images.
    void clear();
    // The user set a row's check box to `checked` (item-check event).
    void itemCheck(int row, bool checked);
    // Column header click; does nothing while the list is empty.
    void columnClick(int column);
    // "Viewed": inverts the row's check box through itemCheck.
    void toggleViewed(int row);
    // Double click / "Copy to CAN Data Base" on the row: addIdRequested(show, key).
    void copyToDataBase(int row, bool show);

    // ---- state ----
    [[nodiscard]] int rowOf(const QString &key) const;
    [[nodiscard]] int rowOf(qint32 keyNumber) const { return rowByKey.value(keyNumber, -1); }
    [[nodiscard]] const Row &row(int r) const { return rows[size_t(r)]; }
    [[nodiscard]] int count() const { return int(rows.size()); }
    [[nodiscard]] QString iconKey(int r) const { return rows[size_t(r)].key + rows[size_t(r)].suffix; }
    [[nodiscard]] QString firstColumnCaption() const { return firstCaption; }
    [[nodiscard]] int sortColumn() const { return sortCol; }
    [[nodiscard]] SortState sortState() const { return sort; }
    // What the tick box of a row decides (its tool tip).
    [[nodiscard]] static QString tickBoxToolTip();

    // ImageListID: the image of a key (key or key + "_new") of a row seen
    // since the last clear. Images are drawn once per colour, and colours
    // come from the 11-bit part, so any number of identifiers holds at most
    // a few thousand images. A null image for a key not seen.
    [[nodiscard]] QImage image(const QString &imageKey) const;
    [[nodiscard]] int imageCount() const { return int(images.size()); }
    [[nodiscard]] QSize iconSize() const { return swatchSize; }

    // ---- model ----
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

signals:
    // The user checked the row of a data base identifier: the data base
    // writes the box and calls syncIDRow back. Without a receiver the row
    // takes the check as a new identifier's does.
    void nodeCheckRequested(const QString &key, bool ticked);
    // The message list must be rebuilt (rebuildLVM).
    void rebuildRequested();
    // Adds the identifier to the data base: with the editor (show) or at once.
    void addIdRequested(bool show, const QString &key);

private:
    void addIDImages(const QString &key);
    // The cache key of a key's image: its colour, lost-frame and " new " marks.
    [[nodiscard]] static quint64 imageSlot(const QString &key, bool marked);
    void setChecked(int r, bool checked);
    void setSuffix(int r, const QString &suffix);
    void removeRow(int r);
    void reindex();
    void applySort();
    [[nodiscard]] bool lessThan(const Row &a, const Row &b) const;

    std::vector<Row> rows;
    QHash<qint32, int> rowByKey;   // key number -> row
    QHash<quint64, QImage> images; // by imageSlot
    [[nodiscard]] QVariant statisticsData(const Row &row, int column, int role) const;

    const IdIndex *idIndex = nullptr;
    const IdStatistics *stats = nullptr;
    QRgb background = 0xFFFFFFFF;
    QFont font;
    QSize swatchSize;
    QString firstCaption = QStringLiteral("-");
    int sortCol = colOrdinal;
    SortState sort = SortState::off;
    bool capturing = false;
};
