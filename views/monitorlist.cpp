#include "views/monitorlist.h"

#include "views/qcolour.h"
#include "views/contrast.h"
#include "core/values.h"
#include "views/listfont.h"

#include <QFontMetrics>
#include <QMetaMethod>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

MonitorList::MonitorList(QObject *parent)
    : QAbstractTableModel(parent)
{
    setListFont(listFont());
}

void MonitorList::setListFont(const QFont &f)
{
    font = f;
    const QFontMetrics metrics(font);
    swatchSize = QSize(metrics.horizontalAdvance(QStringLiteral(" new ")), metrics.height());
}

void MonitorList::statisticsChanged()
{
    if (!rows.empty())
        emit dataChanged(index(0, colData), index(count() - 1, columnTotal - 1), {Qt::DisplayRole});
}

void MonitorList::setBackground(QRgb colour)
{
    if (colour == background)
        return;
    background = colour;
    if (!rows.empty())
        emit dataChanged(index(0, 0), index(count() - 1, columnTotal - 1), {Qt::ForegroundRole});
}

QRgb MonitorList::textColour(const QString &key) const
{
    return contrast::readableOn(rgbFromColour(idColour(key)), background);
}

QVariant MonitorList::statisticsData(const Row &row, int column, int role) const
{
    const IdStatistics::Entry *e = stats ? stats->find(row.keyNumber) : nullptr;
    if (!e)
        return {};
    double period = 0;
    switch (column) {
    case colMean:
        period = stats->meanPeriod(*e);
        break;
    case colMin:
        period = stats->minPeriod(*e);
        break;
    case colMax:
        period = stats->maxPeriod(*e);
        break;
    default:
        break;
    }
    const bool isPeriod = column == colMean || column == colMin || column == colMax;
    const int expected = isPeriod && idIndex ? idIndex->cycleTimeMs(row.keyNumber) : 0;
    const bool off = isPeriod && e->periods > 0 && periodDeviates(period, expected);
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case colData: {
            if (e->remote)
                return QStringLiteral("R%1").arg(e->dlc);
            QString text;
            for (int i = 0; i < std::min<int>(e->dlc, 8); ++i)
                text += (i ? QStringLiteral(" ") : QString()) + hexPad(e->data[size_t(i)], 2);
            return text;
        }
        case colRate:
            return QString::number(stats->framesPerSecond(*e), 'f', 1);
        case colJitter:
            return e->periods > 1 ? QString::number(stats->jitter(*e) * 1000.0, 'f', 3) : QString();
        default:
            return e->periods > 0 ? QString::number(period * 1000.0, 'f', 3) : QString();
        }
    case Qt::BackgroundRole:
        return off ? QVariant(QColor::fromRgba(deviationBackground)) : QVariant();
    case Qt::ForegroundRole:
        return QColor::fromRgb(
            contrast::readableOn(rgbFromColour(idColour(row.key)), off ? deviationBackground : background));
    case Qt::ToolTipRole:
        return expected > 0 ? QStringLiteral("Cycle time in the CAN data base: %1 ms").arg(expected) : QVariant();
    }
    return {};
}

// ---- the capture store's side ----------------------------------------------

bool MonitorList::isShown(qint32 keyNumber) const
{
    const auto it = rowByKey.constFind(keyNumber);
    return it == rowByKey.cend() || rows[size_t(*it)].checked;
}

void MonitorList::updateIDRow(qint32 keyNumber, bool count)
{
    const auto it = rowByKey.constFind(keyNumber);
    if (it != rowByKey.cend()) {
        if (count) {
            const int r = *it;
            ++rows[size_t(r)].count;
            const QModelIndex cell = createIndex(r, colCount);
            emit dataChanged(cell, cell, {Qt::DisplayRole});
        }
        return;
    }

    Row row;
    row.keyNumber = keyNumber;
    row.key = idKey(keyNumber);
    row.ordinal = padLeft(qint64(rows.size()) + 1, 2);
    row.count = count ? 1 : 0;
    addIDImages(row.key);
    bool ticked = true;
    if (idIndex && idIndex->getNodeChecked(row.key, &ticked)) {
        row.checked = ticked;
    } else {
        row.checked = true;
        row.suffix = QLatin1String(newSuffix);
    }

    // A sorted list takes the row at its place; otherwise it goes last.
    auto at = rows.end();
    if (sort != SortState::off)
        at = std::upper_bound(rows.begin(), rows.end(), row,
                              [this](const Row &a, const Row &b) { return lessThan(a, b); });
    const int r = int(at - rows.begin());
    beginInsertRows({}, r, r);
    rows.insert(at, std::move(row));
    if (r == int(rows.size()) - 1)
        rowByKey.insert(keyNumber, r);
    else
        reindex();
    endInsertRows();
}

void MonitorList::countIdFrames(qint32 keyNumber, qint64 frames)
{
    if (frames <= 0)
        return;
    updateIDRow(keyNumber, true);
    if (frames == 1)
        return;
    const int r = *rowByKey.constFind(keyNumber);
    rows[size_t(r)].count += frames - 1;
    const QModelIndex cell = createIndex(r, colCount);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

// ---- the data base's side --------------------------------------------------

bool MonitorList::syncIDRow(const QString &key, const QString &suffix, bool ticked)
{
    const int r = rowOf(key);
    if (r < 0)
        return false;
    if (!ticked && rows[size_t(r)].count == 0) {
        removeRow(r);
        return false;
    }
    setSuffix(r, suffix);
    if (rows[size_t(r)].checked == ticked)
        return false;
    setChecked(r, ticked);
    return true;
}

void MonitorList::resetIDRows()
{
    for (int r = 0; r < count();) {
        if (rows[size_t(r)].count != 0) {
            setSuffix(r, QLatin1String(newSuffix));
            ++r;
        } else {
            removeRow(r);
        }
    }
}

bool MonitorList::rowChecked(const QString &key, bool *ticked) const
{
    const int r = rowOf(key);
    if (r < 0)
        return false;
    *ticked = rows[size_t(r)].checked;
    return true;
}

bool MonitorList::deleteCANID(qint32 keyNumber)
{
    const int r = rowOf(keyNumber);
    if (r < 0)
        return false;
    if (rows[size_t(r)].count != 0) {
        setChecked(r, false);
        setSuffix(r, QLatin1String(newSuffix));
        return true;
    }
    removeRow(r);
    return false;
}

// ---- events ----------------------------------------------------------------

void MonitorList::clear()
{
    beginResetModel();
    rows.clear();
    rowByKey.clear();
    images.clear();
    images.squeeze();
    endResetModel();
}

void MonitorList::itemCheck(int r, bool checked)
{
    if (r < 0 || r >= count())
        return;
    const Row &row = rows[size_t(r)];
    if (row.suffix.isEmpty() && isSignalConnected(QMetaMethod::fromSignal(&MonitorList::nodeCheckRequested))) {
        // The data base is the master: the row keeps its state until the
        // flag is written and the rows are synchronised.
        emit nodeCheckRequested(row.key, checked);
        return;
    }
    setChecked(r, checked);
    if (!capturing)
        emit rebuildRequested();
}

void MonitorList::columnClick(int column)
{
    if (rows.empty())
        return;
    if (column == colOrdinal) {
        const bool state = firstCaption == QLatin1String("+");
        firstCaption = state ? QStringLiteral("-") : QStringLiteral("+");
        emit headerDataChanged(Qt::Horizontal, colOrdinal, colOrdinal);
        for (int r = 0; r < count(); ++r)
            if (!rows[size_t(r)].suffix.isEmpty())
                setChecked(r, state);
        emit rebuildRequested();
        return;
    }
    if (column != colID && column != colCount)
        return;
    if (column != sortCol || sort == SortState::off) {
        sortCol = column;
        sort = SortState::ascending;
    } else if (sort == SortState::ascending) {
        sort = SortState::descending;
    } else {
        // Sorting off: the rows keep their present order.
        sortCol = colOrdinal;
        sort = SortState::off;
        return;
    }
    applySort();
}

void MonitorList::toggleViewed(int r)
{
    if (r >= 0 && r < count())
        itemCheck(r, !rows[size_t(r)].checked);
}

void MonitorList::copyToDataBase(int r, bool show)
{
    if (r >= 0 && r < count())
        emit addIdRequested(show, rows[size_t(r)].key);
}

int MonitorList::rowOf(const QString &key) const
{
    if (!key.startsWith(QLatin1String("ID_")))
        return -1;
    const int r = rowOf(idKeyNumber(key));
    return r >= 0 && rows[size_t(r)].key == key ? r : -1;
}

// ---- helpers ---------------------------------------------------------------

quint64 MonitorList::imageSlot(const QString &key, bool marked)
{
    const bool lost = idKeyNumber(key) & lostFrameKeyBit;
    return quint64(idColour(key)) | (quint64(lost) << 32) | (quint64(marked) << 33);
}

QImage MonitorList::image(const QString &imageKey) const
{
    const bool marked = imageKey.endsWith(QLatin1String(newSuffix));
    const QString key = marked ? imageKey.chopped(qsizetype(qstrlen(newSuffix))) : imageKey;
    if (rowOf(key) < 0)
        return {};
    return images.value(imageSlot(key, marked));
}

void MonitorList::addIDImages(const QString &key)
{
    const quint64 plainSlot = imageSlot(key, false);
    if (images.contains(plainSlot))
        return;
    const QColor colour = toQColor(idColour(key));
    const bool lost = idKeyNumber(key) & lostFrameKeyBit;
    const QFontMetrics metrics(font);

    QImage swatch(swatchSize, QImage::Format_ARGB32_Premultiplied);
    swatch.fill(colour);
    // The marks are black or white, whichever reads on the swatch.
    const QColor markPen = QColor::fromRgb(contrast::textOn(colour.rgb()));
    if (lost) {
        QPainter painter(&swatch);
        painter.setFont(font);
        painter.setPen(markPen);
        painter.drawText(QPointF(metrics.horizontalAdvance(QLatin1Char(' ')) / 2.0, metrics.ascent()),
                         QStringLiteral("lost"));
    }
    images.insert(plainSlot, swatch);

    // A lost-frame row never belongs to the data base: its "_new" image keeps
    // "lost" legible rather than printing " new " over it.
    QImage marked = swatch;
    if (!lost) {
        QPainter painter(&marked);
        painter.setFont(font);
        painter.setPen(markPen);
        painter.drawText(QPointF(0, metrics.ascent()), QStringLiteral(" new "));
    }
    images.insert(imageSlot(key, true), marked);
}

void MonitorList::setChecked(int r, bool checked)
{
    if (rows[size_t(r)].checked == checked)
        return;
    rows[size_t(r)].checked = checked;
    const QModelIndex cell = createIndex(r, colOrdinal);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void MonitorList::setSuffix(int r, const QString &suffix)
{
    if (rows[size_t(r)].suffix == suffix)
        return;
    rows[size_t(r)].suffix = suffix;
    const QModelIndex cell = createIndex(r, colOrdinal);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

void MonitorList::removeRow(int r)
{
    beginRemoveRows({}, r, r);
    rows.erase(rows.begin() + r);
    reindex();
    endRemoveRows();
}

void MonitorList::reindex()
{
    rowByKey.clear();
    rowByKey.reserve(qsizetype(rows.size()));
    for (int r = 0; r < count(); ++r)
        rowByKey.insert(rows[size_t(r)].keyNumber, r);
}

bool MonitorList::lessThan(const Row &a, const Row &b) const
{
    const Row &x = sort == SortState::descending ? b : a;
    const Row &y = sort == SortState::descending ? a : b;
    // "Count" compares as a number also past its padded width of 5.
    if (sortCol == colCount)
        return x.count < y.count;
    return QString::compare(formatID(x.keyNumber), formatID(y.keyNumber), Qt::CaseInsensitive) < 0;
}

void MonitorList::applySort()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<qint32> keysBefore;
    keysBefore.reserve(size_t(before.size()));
    for (const QModelIndex &i : before)
        keysBefore.push_back(rows[size_t(i.row())].keyNumber);
    std::stable_sort(rows.begin(), rows.end(), [this](const Row &a, const Row &b) { return lessThan(a, b); });
    reindex();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << createIndex(rowByKey.value(keysBefore[size_t(i)]), before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- model -----------------------------------------------------------------

int MonitorList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int MonitorList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant MonitorList::data(const QModelIndex &i, int role) const
{
    if (!i.isValid() || i.row() >= count())
        return {};
    const Row &row = rows[size_t(i.row())];
    if (i.column() >= colData && role != Qt::TextAlignmentRole && role != Qt::FontRole && role != Qt::UserRole)
        return statisticsData(row, i.column(), role);
    switch (role) {
    case Qt::DisplayRole:
        switch (i.column()) {
        case colOrdinal:
            return row.ordinal;
        case colID:
            return formatID(row.keyNumber);
        case colCount:
            return padLeft(row.count, 5);
        }
        break;
    case Qt::ForegroundRole:
        return QColor::fromRgb(textColour(row.key));
    case Qt::DecorationRole:
        if (i.column() == colOrdinal)
            return images.value(imageSlot(row.key, !row.suffix.isEmpty()));
        break;
    case Qt::CheckStateRole:
        if (i.column() == colOrdinal)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter | (i.column() == colID ? Qt::AlignHCenter
                                                       : i.column() == colCount || i.column() >= colRate
                                                           ? Qt::AlignRight
                                                           : Qt::AlignLeft));
    case Qt::FontRole:
        return font;
    case Qt::UserRole:
        return row.key;
    case Qt::ToolTipRole:
        if (i.column() == colOrdinal)
            return tickBoxToolTip();
        break;
    }
    return {};
}

QString MonitorList::tickBoxToolTip()
{
    return QStringLiteral("Ticked: the frames of this identifier are stored and listed.\n"
                          "Unticked: new frames of it are not stored (the capture window counts them as "
                          "\"Skipped\") and its rows leave the message list.\n"
                          "To hide rows without losing frames, use the filter bar above the message list.");
}

bool MonitorList::setData(const QModelIndex &i, const QVariant &value, int role)
{
    if (!i.isValid() || role != Qt::CheckStateRole || i.column() != colOrdinal)
        return false;
    itemCheck(i.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags MonitorList::flags(const QModelIndex &i) const
{
    if (!i.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (i.column() == colOrdinal)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant MonitorList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case colOrdinal:
            return firstCaption;
        case colID:
            return QStringLiteral("ID");
        case colCount:
            return QStringLiteral("Count");
        case colData:
            return QStringLiteral("Data");
        case colRate:
            return QStringLiteral("Rate, /s");
        case colMean:
            return QStringLiteral("Mean, ms");
        case colMin:
            return QStringLiteral("Min, ms");
        case colMax:
            return QStringLiteral("Max, ms");
        case colJitter:
            return QStringLiteral("Jitter, ms");
        }
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter | (section == colID ? Qt::AlignHCenter
                                                       : section == colCount || section >= colRate
                                                           ? Qt::AlignRight
                                                           : Qt::AlignLeft));
    return {};
}

QStringList MonitorList::mimeTypes() const
{
    return {QLatin1String(dragMimeType)};
}

QMimeData *MonitorList::mimeData(const QModelIndexList &indexes) const
{
    for (const QModelIndex &i : indexes) {
        if (i.isValid() && i.row() < count()) {
            auto *mime = new QMimeData;
            mime->setData(QLatin1String(dragMimeType), rows[size_t(i.row())].key.toUtf8());
            return mime;
        }
    }
    return nullptr;
}
