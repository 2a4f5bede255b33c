#include "views/signalpane.h"

#include "core/capturestore.h"
#include "core/dbindex.h"
#include "core/values.h"

#include <QColor>
#include <QTimer>

#include <algorithm>

namespace {

// The same fields in the same order: only values differ.
bool sameFields(const QList<SignalRow> &a, const QList<SignalRow> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const SignalRow &x, const SignalRow &y) { return x.name == y.name; });
}

} // namespace

SignalPane::SignalPane(const CaptureStore &store, QObject *parent)
    : QAbstractTableModel(parent)
    , store(store)
{
    timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("signalRefreshTimer"));
    timer->setSingleShot(true);
    timer->setInterval(refreshInterval);
    connect(timer, &QTimer::timeout, this, &SignalPane::refreshTimer_Timer);
    caption = sourceText();
}

void SignalPane::setIdIndex(const IdIndex *index)
{
    idIndex = index;
    refresh();
}

// ---- what to show ----------------------------------------------------------

void SignalPane::showMessage(qsizetype frameIndex)
{
    shownSource = Source::message;
    pendingFrame = -1;
    show(frameIndex);
}

void SignalPane::followMessage(qsizetype frameIndex)
{
    if (shownSource == Source::latest)
        return;
    pendingFrame = frameIndex;
    throttle();
}

void SignalPane::showLatest(qint32 keyNumber)
{
    shownSource = Source::latest;
    key = keyNumber;
    pendingFrame = -1;
    show(store.latestFrame(keyNumber));
}

void SignalPane::clear()
{
    timer->stop();
    due = false;
    shownSource = Source::none;
    key = -1;
    pendingFrame = -1;
    show(-1);
}

// ---- what changed ----------------------------------------------------------

void SignalPane::framesAdded()
{
    if (shownSource == Source::latest)
        throttle();
}

void SignalPane::signalsChanged(qint32 keyNumber)
{
    if (keyNumber < 0 || keyNumber == key)
        refresh();
}

void SignalPane::refresh()
{
    show(shownFrame);
}

void SignalPane::throttle()
{
    if (timer->isActive()) {
        due = true;
        return;
    }
    follow();
    timer->start();
}

void SignalPane::refreshTimer_Timer()
{
    timer->stop();
    if (!due)
        return;
    due = false;
    follow();
    timer->start();
}

void SignalPane::follow()
{
    if (shownSource == Source::latest) {
        const qsizetype newest = store.latestFrame(key);
        if (newest != shownFrame)
            show(newest);
    } else if (pendingFrame >= 0) {
        shownSource = Source::message;
        show(pendingFrame);
    }
    pendingFrame = -1;
}

void SignalPane::show(qsizetype frameIndex)
{
    if (frameIndex < 0 || frameIndex >= store.count())
        frameIndex = -1;
    shownFrame = frameIndex;
    hasFields = false;
    QList<SignalRow> next;
    if (frameIndex >= 0) {
        const clsFrame &frame = store.frame(frameIndex);
        if (shownSource == Source::message)
            key = frameIdNumber(frame);
        if (!frame.isLost && idIndex) {
            if (const auto set = idIndex->signalSet(frameIdNumber(frame)); set && !set->isEmpty()) {
                hasFields = true;
                next = signalrows::build(*set, frame);
            }
        }
    } else if (shownSource == Source::message) {
        key = -1;
    }

    // The same fields with new values change in place, so the view keeps its
    // selection and scroll position while the values run.
    if (!next.isEmpty() && sameFields(next, rows)) {
        rows = std::move(next);
        emit dataChanged(index(0, 0), index(int(rows.size()) - 1, columnTotal - 1), {Qt::DisplayRole});
    } else {
        beginResetModel();
        rows = std::move(next);
        endResetModel();
    }

    const QString text = sourceText();
    if (text != caption) {
        caption = text;
        emit sourceChanged(caption);
    }
}

QString SignalPane::sourceText() const
{
    QString text;
    switch (shownSource) {
    case Source::none:
        return QStringLiteral("No message selected");
    case Source::message:
        if (shownFrame < 0)
            return QStringLiteral("No message selected");
        text = QStringLiteral("Message %1: %2").arg(shownFrame + 1).arg(formatID(key));
        break;
    case Source::latest:
        if (shownFrame < 0)
            return QStringLiteral("Latest of %1: none stored").arg(formatID(key));
        text = QStringLiteral("Latest of %1: message %2").arg(formatID(key)).arg(shownFrame + 1);
        break;
    }
    if (!hasFields && !store.frame(shownFrame).isLost)
        text += QStringLiteral(" (no data fields)");
    return text;
}

// ---- model -------------------------------------------------------------------

int SignalPane::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int SignalPane::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant SignalPane::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return {};
    const SignalRow &row = rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case colName:
            return row.name;
        case colRaw:
            return row.rawText();
        case colValue:
            return row.valueText();
        case colDescription:
            return row.description;
        }
        break;
    case Qt::ForegroundRole:
        if (row.state != SignalRow::State::Value)
            return QColor(Qt::gray);
        break;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::AlignVCenter |
            (index.column() == colRaw || index.column() == colValue ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant SignalPane::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colName:
        return QStringLiteral("Signal");
    case colRaw:
        return QStringLiteral("Raw");
    case colValue:
        return QStringLiteral("Value");
    case colDescription:
        return QStringLiteral("Description");
    }
    return {};
}

Qt::ItemFlags SignalPane::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

bool SignalPane::fieldOfRow(int row, qint32 *keyNumber, int *field) const
{
    if (row < 0 || row >= rows.size() || shownFrame < 0 || shownFrame >= store.count())
        return false;
    *keyNumber = frameIdNumber(store.frame(shownFrame));
    *field = rows[row].field;
    return *field >= 0;
}
