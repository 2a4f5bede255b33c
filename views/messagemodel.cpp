#include "views/messagemodel.h"

#include "views/qcolour.h"
#include "views/contrast.h"
#include "core/values.h"
#include "views/signalrows.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct ColumnDef
{
    const char *key;
    const char16_t *caption;
    Qt::Alignment alignment;
};

const std::array<ColumnDef, MessageModel::columnTotal> columns{{
    {"Num", u"\u2116", Qt::AlignLeft},
    {"ID-Std", u"ID-Std", Qt::AlignHCenter},
    {"ID-Ext", u"ID-Ext", Qt::AlignHCenter},
    {"RTR", u"RTR", Qt::AlignHCenter},
    {"IDE", u"IDE", Qt::AlignHCenter},
    {"RB1", u"RB1", Qt::AlignHCenter},
    {"RB0", u"RB0", Qt::AlignHCenter},
    {"DLC", u"DLC", Qt::AlignHCenter},
    {"Data", u"Data", Qt::AlignLeft},
    {"TSMP", u"TSMP", Qt::AlignLeft},
    {"Time", u"Time", Qt::AlignRight},
    {"Duration", u"Duration, us", Qt::AlignRight},
    {"Device", u"Device", Qt::AlignLeft},
    {"Description", u"Description", Qt::AlignLeft},
    {"Signals", u"Signals", Qt::AlignLeft},
    {"Bus", u"Bus", Qt::AlignHCenter},
    {"Seconds", u"Time, s", Qt::AlignRight},
    {"Cycle", u"Cycle, ms", Qt::AlignRight},
}};

constexpr quint32 lostRowColour = 0xF1F1F1;

QString flag(int value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString dataText(const clsFrame &frame)
{
    if (frame.RTR())
        return {};
    QString text;
    const int n = frame.dataLength();
    text.reserve(n * 3);
    for (int i = 0; i < n; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += hexPad(frame.DataB(i), 2);
    }
    return text;
}

// The numeric sort key of a column that sorts as a number; the text columns
// ("ID-Ext", "Device") are ranked separately.
qint64 numericKey(const clsFrame &frame, qsizetype frameIndex, int column)
{
    switch (column) {
    case MessageModel::colNum:
        return frameIndex;
    case MessageModel::colIDStd:
        return frame.isLost ? -1 : frame.ID.StdPart; // "---" sorts before "000"
    case MessageModel::colDLC:
        return frame.isLost ? 0 : frame.DLC;
    }
    return 0;
}

bool isTextColumn(int column)
{
    return column == MessageModel::colIDExt || column == MessageModel::colDevice;
}

int textCompare(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

} // namespace

MessageModel::MessageModel(CaptureStore &store, QObject *parent)
    : QAbstractTableModel(parent)
    , store(store)
{
    setLocale(QLocale());
}

void MessageModel::setLocale(const QLocale &l)
{
    locale = l;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
}

void MessageModel::setTicksPerSecond(double ticks)
{
    const double rate = ticks > 0 && std::isfinite(ticks) ? ticks : 0;
    if (rate == tickRate)
        return;
    tickRate = rate;
    if (!rows.empty())
        emit dataChanged(index(0, colSeconds), index(count() - 1, colCycle), {Qt::DisplayRole});
}

void MessageModel::setBackground(QRgb colour)
{
    if (colour == background)
        return;
    background = colour;
    readable.clear();
    if (!rows.empty())
        emit dataChanged(index(0, 0), index(count() - 1, columnTotal - 1), {Qt::ForegroundRole});
}

QRgb MessageModel::textColour(const clsFrame &frame) const
{
    const quint32 colour = rowColour(frame);
    auto it = readable.constFind(colour);
    if (it == readable.cend())
        it = readable.insert(colour, contrast::readableOn(rgbFromColour(colour), background));
    return *it;
}

QString MessageModel::secondsText(qint64 ticks, double ticksPerSecond, const QLocale &locale)
{
    if (!(ticksPerSecond > 0))
        return {};
    // Whole microseconds first, so no binary fraction shows as ...999.
    const qint64 us = std::llround(double(ticks) * 1e6 / ticksPerSecond);
    const qint64 whole = us / 1000000;
    const qint64 fraction = std::abs(us % 1000000);
    const QString sign = us < 0 && whole == 0 ? QStringLiteral("-") : QString();
    return sign + QString::number(whole) + locale.decimalPoint() +
           QString::number(fraction).rightJustified(6, QLatin1Char('0'));
}

QString MessageModel::columnKey(int column)
{
    return column >= 0 && column < columnTotal ? QLatin1String(columns[size_t(column)].key) : QString();
}

QString MessageModel::columnCaption(int column)
{
    return column >= 0 && column < columnTotal ? QString::fromUtf16(columns[size_t(column)].caption) : QString();
}

int MessageModel::getNumSubitem(const QString &key)
{
    for (int c = 0; c < columnTotal; ++c)
        if (key == QLatin1String(columns[size_t(c)].key))
            return c;
    return -1;
}

Qt::Alignment MessageModel::columnAlignment(int column)
{
    return column >= 0 && column < columnTotal ? columns[size_t(column)].alignment : Qt::AlignLeft;
}

bool MessageModel::isSortable(int column)
{
    return column == colNum || column == colIDStd || column == colIDExt || column == colDLC || column == colDevice;
}

QString MessageModel::cellText(const clsFrame &frame, qsizetype number, int column, const IdIndex *index,
                               const QLocale &locale)
{
    switch (column) {
    case colNum:
        return padLeft(number, 5);
    case colTSMP:
        return hexPad(frame.TimeStamp, 8);
    case colTime:
        return frame.Time ? QString::number(*frame.Time) : QString();
    case colDuration: {
        QLocale plain = locale;
        plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
        return plain.toString(frame.Duration * 1000000.0, 'f', 3);
    }
    default:
        break;
    }

    if (frame.isLost) {
        switch (column) {
        case colIDStd:
            return QStringLiteral("---");
        case colIDExt:
            return QString::number(frame.ID.ExtPart);
        case colRTR:
        case colIDE:
        case colRB0:
        case colRB1:
            return QStringLiteral("-");
        case colDLC:
            return QStringLiteral("0");
        case colDevice:
            return QStringLiteral("Lost frame");
        }
        return {};
    }

    switch (column) {
    case colIDStd:
        return hexPad(frame.ID.StdPart, 3);
    case colIDExt:
        return frame.IDE() ? hexPad(frame.ID.ExtPart, 5) : QStringLiteral("-----");
    case colRTR:
        return flag(frame.RTR());
    case colIDE:
        return flag(frame.IDE());
    case colRB0:
        return flag(frame.RB0());
    case colRB1:
        return flag(frame.RB1());
    case colDLC:
        return QString::number(frame.DLC);
    case colData:
        return dataText(frame);
    case colDevice:
    case colDescription: {
        QString device;
        QString description;
        if (!index || !index->idLabels(idKey(frameIdNumber(frame)), &device, &description))
            return {};
        return column == colDevice ? device : description;
    }
    case colSignals: {
        const auto set = index ? index->signalSet(frameIdNumber(frame)) : nullptr;
        return set ? signalrows::compactText(*set, frame) : QString();
    }
    case colBus:
        return QString::number(frame.Bus + 1);
    }
    return {};
}

void MessageModel::signalsChanged(qint32 keyNumber)
{
    Q_UNUSED(keyNumber); // rows of any identifier may be on screen; the view asks only for those
    if (!rows.empty())
        emit dataChanged(index(0, colSignals), index(count() - 1, colSignals), {Qt::DisplayRole});
}

quint32 MessageModel::rowColour(const clsFrame &frame)
{
    return frame.isLost ? lostRowColour : hexColour(hexPad(frame.ID.StdPart, 3));
}

// ---- rows ------------------------------------------------------------------

void MessageModel::appendIndex(quint32 frame)
{
    // Grow by a quarter, as the store does.
    if (rows.size() == rows.capacity())
        rows.reserve(rows.capacity() + std::max<size_t>(rows.capacity() / 4, 4096));
    rows.push_back(frame);
}

int MessageModel::addCANFrame(qsizetype number)
{
    const auto frame = quint32(number - 1);
    held.push_back(frame);
    if (filtering && !passes(frame))
        return -1;
    int r = count();
    if (ordered()) {
        const auto at =
            std::upper_bound(rows.begin(), rows.end(), frame, [this](quint32 a, quint32 b) { return rowLess(a, b); });
        r = int(at - rows.begin());
    }
    beginInsertRows({}, r, r);
    if (r == count()) {
        naturalOrder = naturalOrder && (rows.empty() || frame > rows.back());
        appendIndex(frame);
    } else {
        naturalOrder = false;
        rows.insert(rows.begin() + r, frame);
    }
    endInsertRows();
    return r;
}

void MessageModel::reorderRows(const std::function<void()> &reorder)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> framesBefore;
    framesBefore.reserve(size_t(before.size()));
    for (const QModelIndex &i : before)
        framesBefore.push_back(rows[size_t(i.row())]);
    reorder();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << createIndex(rowOfFrame(framesBefore[size_t(i)]), before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int MessageModel::addCANFrames(const std::vector<quint32> &added)
{
    held.insert(held.end(), added.begin(), added.end());
    std::vector<quint32> shownOnly;
    if (filtering) {
        for (quint32 f : added)
            if (passes(f))
                shownOnly.push_back(f);
    }
    const std::vector<quint32> &frames = filtering ? shownOnly : added;
    if (frames.empty())
        return -1;
    const int first = count();
    beginInsertRows({}, first, first + int(frames.size()) - 1);
    for (quint32 f : frames) {
        naturalOrder = naturalOrder && (rows.empty() || f > rows.back());
        appendIndex(f);
    }
    endInsertRows();
    if (!ordered())
        return count() - 1;

    // Sorted: each new row goes after the equal ones already there, as
    // addCANFrame would put it. A binary search per new row, then one pass
    // over the list, so a long list costs no comparison per old row.
    reorderRows([this, first] {
        std::vector<quint32> batch(rows.begin() + first, rows.end());
        rows.resize(size_t(first));
        const auto less = [this](quint32 a, quint32 b) { return rowLess(a, b); };
        std::stable_sort(batch.begin(), batch.end(), less);
        std::vector<quint32> merged;
        merged.reserve(rows.capacity() >= rows.size() + batch.size() ? rows.capacity() : rows.size() + batch.size());
        auto from = rows.begin();
        for (quint32 f : batch) {
            const auto at = std::upper_bound(from, rows.end(), f, less);
            merged.insert(merged.end(), from, at);
            merged.push_back(f);
            from = at;
        }
        merged.insert(merged.end(), from, rows.end());
        rows.swap(merged);
        naturalOrder = false;
    });
    return rowOfFrame(frames.back());
}

void MessageModel::clearRows()
{
    beginResetModel();
    rows.clear();
    rows.shrink_to_fit();
    held.clear();
    held.shrink_to_fit();
    naturalOrder = true;
    endResetModel();
}

int MessageModel::rebuild(const std::function<void(qsizetype)> &progress)
{
    constexpr qsizetype progressStep = 65536;
    beginResetModel();
    store.currentRow = 0;
    rows.clear();
    rows.reserve(size_t(store.count()));
    held.clear();
    newKeys.clear();
    naturalOrder = true;
    qsizetype chosen = -1;
    const qsizetype total = store.count();
    // The monitor list's answer, asked once per identifier: nothing changes
    // it while the rows are counted.
    std::array<qint8, 0x800> standardShown;
    standardShown.fill(-1);
    QHash<qint32, bool> otherShown;
    const auto shown = [&](const clsFrame &frame) {
        const qint32 key = frameIdNumber(frame);
        if (key >= 0 && key <= 0x7FF) {
            qint8 &known = standardShown[size_t(key)];
            if (known < 0)
                known = store.testCANID(frame) ? 1 : 0;
            return known != 0;
        }
        auto it = otherShown.constFind(key);
        if (it == otherShown.cend())
            it = otherShown.insert(key, store.testCANID(frame));
        return *it;
    };
    for (qsizetype i = 0; i < total; ++i) {
        const clsFrame &frame = store.frame(i);
        if (shown(frame)) {
            held.push_back(quint32(i));
            if (filtering && !passes(quint32(i)))
                continue;
            rows.push_back(quint32(i));
            if (chosen < 0 && frame.Time.value_or(0) >= store.selectedTime)
                chosen = i;
        }
        if (progress && (i + 1) % progressStep == 0)
            progress(i + 1);
    }
    if (progress)
        progress(total);
    if (chosen < 0 && !rows.empty())
        chosen = rows.back();
    if (ordered())
        sortRows();
    endResetModel();

    if (chosen < 0)
        return -1;
    const int r = rowOfFrame(chosen);
    store.currentRow = r + 1;
    return r;
}

QString MessageModel::text(int row, int column) const
{
    if (row < 0 || row >= count())
        return {};
    const qsizetype f = frameIndex(row);
    const clsFrame &frame = store.frame(f);
    if (column == colSeconds)
        return frame.Time ? secondsText(*frame.Time, tickRate, locale) : QString();
    if (column == colCycle) {
        const qsizetype previous = store.previousOfSameId(f);
        if (previous < 0 || !frame.Time || !store.frame(previous).Time || !(tickRate > 0))
            return {};
        const double ms = double(*frame.Time - *store.frame(previous).Time) * 1000.0 / tickRate;
        return locale.toString(ms, 'f', 3);
    }
    return cellText(frame, f + 1, column, idIndex, locale);
}

std::vector<quint32> MessageModel::framesInCaptureOrder() const
{
    // A display filter only hides: a file gets the hidden rows too.
    if (filtering)
        return held;
    std::vector<quint32> frames = rows;
    if (!naturalOrder)
        std::sort(frames.begin(), frames.end());
    return frames;
}

int MessageModel::rowOfFrame(qsizetype frame) const
{
    if (naturalOrder) {
        const auto it = std::lower_bound(rows.begin(), rows.end(), quint32(frame));
        return it != rows.end() && *it == quint32(frame) ? int(it - rows.begin()) : -1;
    }
    const auto it = std::find(rows.begin(), rows.end(), quint32(frame));
    return it != rows.end() ? int(it - rows.begin()) : -1;
}

// ---- display filter --------------------------------------------------------

bool MessageModel::isNewKey(qint32 keyNumber)
{
    const auto it = newKeys.constFind(keyNumber);
    if (it != newKeys.cend())
        return *it;
    QString device;
    QString description;
    const bool isNew = !idIndex || !idIndex->idLabels(idKey(keyNumber), &device, &description);
    newKeys.insert(keyNumber, isNew);
    return isNew;
}

bool MessageModel::passes(quint32 frame)
{
    return shownFilter.matches(store.frame(frame), [this](qint32 key) { return isNewKey(key); });
}

int MessageModel::setDisplayFilter(const displayfilter::Filter &filter)
{
    const qsizetype remembered =
        store.currentRow > 0 && store.currentRow <= count() ? frameIndex(store.currentRow - 1) : -1;
    beginResetModel();
    shownFilter = filter;
    filtering = filter.isActive();
    newKeys.clear();
    if (filtering) {
        rows.clear();
        for (quint32 f : held)
            if (passes(f))
                rows.push_back(f);
    } else {
        rows = held;
    }
    naturalOrder = true;
    if (ordered())
        sortRows();
    endResetModel();
    const int r = remembered >= 0 ? rowOfFrame(remembered) : -1;
    store.currentRow = r + 1;
    return r;
}

// ---- sorting ---------------------------------------------------------------

bool MessageModel::rowLess(quint32 a, quint32 b) const
{
    if (order == Qt::DescendingOrder)
        std::swap(a, b);
    const clsFrame &fa = store.frame(a);
    const clsFrame &fb = store.frame(b);
    if (isTextColumn(sortCol))
        return textCompare(cellText(fa, a + 1, sortCol, idIndex, locale),
                           cellText(fb, b + 1, sortCol, idIndex, locale)) < 0;
    return numericKey(fa, a, sortCol) < numericKey(fb, b, sortCol);
}

void MessageModel::sortRows()
{
    // Keys first, then one sort of (key, frame) pairs: text columns are
    // ranked through their distinct texts, so no text is compared twice.
    std::vector<std::pair<qint64, quint32>> keyed;
    keyed.reserve(rows.size());
    if (isTextColumn(sortCol)) {
        QHash<QString, qint64> rank;
        std::vector<QString> texts;
        texts.reserve(rows.size());
        QHash<qint32, QString> deviceOf; // one data base lookup per identifier
        for (quint32 f : rows) {
            const clsFrame &frame = store.frame(f);
            QString t;
            if (sortCol == colDevice && !frame.isLost) {
                const qint32 key = frameIdNumber(frame);
                auto it = deviceOf.find(key);
                if (it == deviceOf.end())
                    it = deviceOf.insert(key, cellText(frame, f + 1, sortCol, idIndex, locale));
                t = *it;
            } else {
                t = cellText(frame, f + 1, sortCol, idIndex, locale);
            }
            rank.insert(t, 0);
            texts.push_back(std::move(t));
        }
        QStringList distinct = rank.keys();
        std::sort(distinct.begin(), distinct.end(),
                  [](const QString &a, const QString &b) { return textCompare(a, b) < 0; });
        for (qsizetype i = 0; i < distinct.size(); ++i)
            rank[distinct[i]] = i > 0 && textCompare(distinct[i - 1], distinct[i]) == 0 ? rank[distinct[i - 1]] : i;
        for (size_t i = 0; i < rows.size(); ++i)
            keyed.emplace_back(rank.value(texts[i]), rows[i]);
    } else {
        for (quint32 f : rows)
            keyed.emplace_back(numericKey(store.frame(f), f, sortCol), f);
    }
    if (order == Qt::AscendingOrder)
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    else
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return b.first < a.first; });
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].second;
    naturalOrder = sortCol == colNum && order == Qt::AscendingOrder;
}

bool MessageModel::columnClick(int column)
{
    if (!isSortable(column))
        return false;
    const qsizetype remembered =
        store.currentRow > 0 && store.currentRow <= count() ? frameIndex(store.currentRow - 1) : -1;
    order = sortCol == column && order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortCol = column;
    if (sortingOn && !rows.empty())
        reorderRows([this] { sortRows(); });
    if (remembered >= 0)
        store.currentRow = rowOfFrame(remembered) + 1;
    return true;
}

// ---- selection -------------------------------------------------------------

bool MessageModel::rowClick(int row)
{
    if (row < 0 || row >= count())
        return false;
    const clsFrame &frame = rowFrame(row);
    const qint64 t = frame.Time.value_or(0);
    store.selectedDuration = float(frame.Duration);
    if (t == store.selectedTime)
        return false;
    store.currentRow = row + 1;
    store.selectedTime = t;
    return true;
}

// ---- model -----------------------------------------------------------------

int MessageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int MessageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant MessageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::ForegroundRole:
        return QColor::fromRgb(textColour(rowFrame(index.row())));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()) | Qt::AlignVCenter);
    }
    return {};
}

QVariant MessageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return columnCaption(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags MessageModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
