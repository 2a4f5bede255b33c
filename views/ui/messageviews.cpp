#include "views/ui/messageviews.h"

#include "views/capturedocument.h"
#include "views/listfont.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"
#include "views/plotmodel.h"
#include "views/signalpane.h"
#include "views/tracefollow.h"
#include "views/ui/frmrebuildlvm.h"
#include "views/ui/mainactions.h"
#include "views/ui/mainpanes.h"
#include "views/ui/monitorview.h"
#include "views/ui/timelinepanel.h"
#include "views/ui/tracenav.h"

#include <QAction>
#include <QDateTime>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

namespace {

constexpr int statisticsInterval = 250; // ms: at most four refreshes a second
// Frames the statistics take at one go: a file of millions just opened is
// counted a slice at a time, the window painting in between.
constexpr qsizetype statisticsSlice = 1 << 16;

// Keeps a list's horizontal scroll position across what `change` does.
template <typename Change>
void keepHorizontalScroll(QTreeView *view, Change change)
{
    const int x = view->horizontalScrollBar()->value();
    change();
    view->horizontalScrollBar()->setValue(x);
}

} // namespace

MessageViews::MessageViews(CaptureDocument &document, MainPanes &panes, const MainActions &actions, QWidget *window)
    : QObject(window)
    , document(document)
    , panes(panes)
    , window(window)
{
    setObjectName(QStringLiteral("messageViews"));
    CaptureStore &store = document.store();
    messageModel = new MessageModel(store, this);
    monitorList = new MonitorList(this);
    store.setFilter(monitorList);
    signalValues = new SignalPane(store, this);
    plotValues = new PlotModel(store, this);

    QTreeView *messages = panes.lvListViewMessages;
    messages->setModel(messageModel);
    messages->setFont(listFont());
    messages->setSelectionBehavior(QAbstractItemView::SelectRows);
    messages->setSelectionMode(QAbstractItemView::SingleSelection);
    messages->setAllColumnsShowFocus(true);
    messages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView *header = messages->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(MessageModel::colNum, Qt::AscendingOrder);
    // View › Signals Column shows it, wide enough for a few fields.
    header->resizeSection(MessageModel::colSignals, 4 * header->defaultSectionSize());
    header->setSectionHidden(MessageModel::colSignals, true);
    // A capture comes from one bus; a log of several shows the bus of each row.
    header->setSectionHidden(MessageModel::colBus, true);
    messageModel->setBackground(messages->palette().color(QPalette::Base).rgb());
    monitorList->setBackground(panes.lvListViewID->palette().color(QPalette::Base).rgb());
    monitorList->setStatistics(&statistics.identifiers());
    // The headers' pop-up menus show and hide columns; View › Signals Column
    // stays the one switch of "Signals".
    QAction *signalsColumn = actions.action(QStringLiteral("mnuViewSignalsColumn"));
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [header, signalsColumn](const QPoint &at) {
        showColumnMenu(header, header->mapToGlobal(at), [signalsColumn](int column, bool shown) {
            if (column != MessageModel::colSignals || !signalsColumn)
                return false;
            if (signalsColumn->isChecked() != shown)
                signalsColumn->trigger();
            return true;
        });
    });
    QHeaderView *idHeader = panes.lvListViewID->header();
    idHeader->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(idHeader, &QWidget::customContextMenuRequested, this,
            [idHeader](const QPoint &at) { showColumnMenu(idHeader, idHeader->mapToGlobal(at)); });
    connect(header, &QHeaderView::sectionClicked, this, [this, messages, header](int column) {
        const bool sorted = messageModel->columnClick(column);
        // The header shows the order actually in force.
        header->setSortIndicator(messageModel->sortColumn(), messageModel->sortOrder());
        const qint32 current = this->document.store().currentRow;
        if (sorted && current > 0)
            messages->scrollTo(messageModel->index(current - 1, 0));
    });
    connect(messages, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (messageModel->rowClick(index.row()))
            redrawTimeLine();
        signalValues->showMessage(messageModel->frameIndex(index.row()));
    });
    // The user's choice shows at once; the program's (the newest row while
    // capturing) on the pane's next tick, and never over an identifier's
    // newest frame. The time line and the plot's cursor follow the current
    // row however it moved (mouse, keys, find, the capture).
    connect(messages->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!current.isValid() || current.row() >= messageModel->count())
                    return;
                const qsizetype frame = messageModel->frameIndex(current.row());
                selecting ? signalValues->followMessage(frame) : signalValues->showMessage(frame);
                plotValues->setCursorFrame(frame);
                if (keepTimeLine)
                    return;
                const bool moved = messageModel->rowClick(current.row());
                if (!selecting) { // the user: at once, as a click always did
                    pictOscilograph->leaveLive();
                    if (moved)
                        redrawTimeLine();
                } else if (moved) {
                    pictOscilograph->requestRedraw();
                }
            });

    MonitorView *monitor = panes.lvListViewID;
    monitor->setMonitorList(monitorList);
    QMenu *idMenu = actions.menu(QStringLiteral("mnuMonitor_ID"));
    QAction *copy = actions.action(QStringLiteral("mnuMonitor_ID_Copy"));
    QAction *viewed = actions.action(QStringLiteral("mnuMonitor_ID_Enable"));
    connect(monitor, &MonitorView::popupRequested, this, [this, idMenu, copy, viewed](int row, const QPoint &at) {
        if (row < 0)
            return;
        viewed->setChecked(monitorList->row(row).checked);
        idMenu->setDefaultAction(copy);
        idMenu->popup(at);
    });
    connect(copy, &QAction::triggered, this, [this, monitor] {
        const int row = monitor->currentKeyRow();
        if (row >= 0)
            monitorList->copyToDataBase(row, true);
    });
    connect(viewed, &QAction::triggered, this, [this, monitor] {
        const int row = monitor->currentKeyRow();
        if (row >= 0)
            monitorList->toggleViewed(row);
    });
    connect(actions.action(QStringLiteral("mnuMonitor_ID_Plot")), &QAction::triggered, this, [this, monitor] {
        const int row = monitor->currentKeyRow();
        if (row >= 0)
            emit plotIdRequested(monitorList->row(row).keyNumber);
    });
    const auto showLatest = [this](const QModelIndex &current) {
        if (current.isValid() && current.row() < monitorList->count())
            signalValues->showLatest(monitorList->row(current.row()).keyNumber);
    };
    connect(monitor->selectionModel(), &QItemSelectionModel::currentRowChanged, this, showLatest);
    connect(monitor, &QAbstractItemView::clicked, this, showLatest);

    pictOscilograph = new TimeLinePanel(store, *messageModel, messages->parentWidget());
    panes.setTimeLine(pictOscilograph);
    connect(pictOscilograph, &TimeLinePanel::rowSelected, this, [this](int row) {
        keepTimeLine = true;
        selectMessageRow(row);
        keepTimeLine = false;
    });
    connect(&document, &CaptureDocument::capturingChanged, pictOscilograph, &TimeLinePanel::setCapturing);

    following = new TraceFollow(this);
    navigation = new TraceNavigator(*this, document, *messages, messages->parentWidget());
    panes.traceBars = navigation->bars();
    connect(navigation, &TraceNavigator::barsResized, &panes, &MainPanes::sizeControls);
    setDefaultColumnWidths();
    statsTimer = new QTimer(this);
    statsTimer->setObjectName(QStringLiteral("statisticsTimer"));
    statsTimer->setInterval(statisticsInterval);
    connect(statsTimer, &QTimer::timeout, this, &MessageViews::statisticsTimer_Timer);
    statsTimer->start();
}

void MessageViews::setDefaultColumnWidths()
{
    QTreeView *messages = panes.lvListViewMessages;
    QHeaderView *header = messages->header();
    const QFontMetrics cells(messages->font());
    const QFontMetrics captions(header->font());
    const int pad = cells.horizontalAdvance(QStringLiteral("00"));
    // Wide enough for the caption and for the widest text the column holds.
    const auto fit = [&](int column, const QString &sample) {
        const int caption = captions.horizontalAdvance(MessageModel::columnCaption(column));
        header->resizeSection(column, std::max(caption, cells.horizontalAdvance(sample)) + pad);
    };
    fit(MessageModel::colNum, QStringLiteral("0000000"));
    fit(MessageModel::colIDStd, QStringLiteral("000"));
    fit(MessageModel::colIDExt, QStringLiteral("00000"));
    for (int flag : {MessageModel::colRTR, MessageModel::colIDE, MessageModel::colRB1, MessageModel::colRB0,
                     MessageModel::colDLC})
        fit(flag, QStringLiteral("0"));
    fit(MessageModel::colData, QStringLiteral("00 00 00 00 00 00 00 00"));
    fit(MessageModel::colTSMP, QStringLiteral("00000000"));
    fit(MessageModel::colTime, QStringLiteral("0000000000"));
    fit(MessageModel::colDuration, QStringLiteral("000.000"));
    fit(MessageModel::colDevice, QStringLiteral("Engine control"));
    fit(MessageModel::colDescription, QStringLiteral("Engine speed and torque"));
    fit(MessageModel::colBus, QStringLiteral("0"));
    fit(MessageModel::colSeconds, QStringLiteral("00000.000000"));
    fit(MessageModel::colCycle, QStringLiteral("00000.000"));

    // The monitor's rows are drawn in the list font (its model says so).
    QHeaderView *ids = panes.lvListViewID->header();
    const QFontMetrics idCells(listFont());
    const QFontMetrics idCaptions(ids->font());
    const int idPad = idCells.horizontalAdvance(QStringLiteral("00"));
    const auto fitId = [&](int column, const QString &sample) {
        const QString caption = monitorList->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        ids->resizeSection(column, std::max(idCaptions.horizontalAdvance(caption), idCells.horizontalAdvance(sample)) +
                                       idPad);
    };
    // Check box, swatch and a two-digit ordinal.
    ids->resizeSection(MonitorList::colOrdinal,
                       monitorList->iconSize().width() + idCells.horizontalAdvance(QStringLiteral("000")) + 3 * idPad);
    fitId(MonitorList::colID, QStringLiteral("000.00000"));
    fitId(MonitorList::colCount, QStringLiteral("0000000"));
    fitId(MonitorList::colData, QStringLiteral("00 00 00 00 00 00 00 00"));
    for (int c = MonitorList::colRate; c < MonitorList::columnTotal; ++c)
        fitId(c, QStringLiteral("00000.000"));
}

void MessageViews::showColumnMenu(QHeaderView *header, const QPoint &globalPos,
                                  const std::function<bool(int, bool)> &toggle)
{
    QMenu menu;
    QAbstractItemModel *model = header->model();
    int shown = 0;
    for (int c = 0; c < header->count(); ++c)
        shown += header->isSectionHidden(c) ? 0 : 1;
    for (int c = 0; c < header->count(); ++c) {
        QString caption = model ? model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
        if (caption.trimmed().isEmpty() || caption == QLatin1String("-") || caption == QLatin1String("+"))
            caption = QStringLiteral("(column %1)").arg(c + 1);
        QAction *item = menu.addAction(QString(caption).replace(QLatin1Char('&'), QLatin1String("&&")));
        item->setCheckable(true);
        item->setChecked(!header->isSectionHidden(c));
        // The last shown column stays: a list without columns has no header
        // to bring them back with.
        item->setEnabled(header->isSectionHidden(c) || shown > 1);
        QObject::connect(item, &QAction::toggled, header, [header, c, toggle](bool on) {
            if (!toggle || !toggle(c, on))
                header->setSectionHidden(c, !on);
        });
    }
    menu.exec(globalPos);
}

void MessageViews::statisticsTimer_Timer()
{
    const CaptureStore &store = document.store();
    const double ticks = document.ticksPerSecond();
    messageModel->setTicksPerSecond(ticks);
    statistics.setRates(document.canSpeed(), ticks);
    if (statistics.update(store, statisticsSlice) || store.isEmpty()) {
        // Behind (a file just opened): the next slice a moment later. A
        // timer, unlike a queued call, lets the window paint and its other
        // timers run in between.
        if (statistics.behind(store) > 0)
            QTimer::singleShot(1, this, &MessageViews::statisticsTimer_Timer);
        quiet.restart();
        quietFrom = statistics.identifiers().newestTime();
        monitorList->statisticsChanged();
        emit statisticsUpdated();
    } else if (document.isCapturing() && quiet.isValid() && quiet.elapsed() >= 1000) {
        // A silent bus: no frame marks the time, so the wall clock does, and
        // the rates of the last second fall to 0 rather than stay as they were.
        statistics.advanceTo(quietFrom + qint64(double(quiet.elapsed()) / 1000.0 * ticks));
        monitorList->statisticsChanged();
        emit statisticsUpdated();
    }
}

void MessageViews::captureStarted()
{
    document.markCaptureStart(QDateTime::currentMSecsSinceEpoch() * 1000);
}

MessageViews::~MessageViews()
{
    // The list models read the document's store; they go first.
    panes.lvListViewMessages->setModel(nullptr);
    panes.lvListViewID->setModel(nullptr);
    delete messageModel;
    messageModel = nullptr;
    document.store().setFilter(nullptr);
}

void MessageViews::setIdIndex(const IdIndex *index)
{
    messageModel->setIdIndex(index);
    monitorList->setIdIndex(index);
    signalValues->setIdIndex(index);
    plotValues->setIdIndex(index);
}

void MessageViews::rebuildLVM()
{
    const CaptureStore &store = document.store();
    if (!store.isEmpty()) {
        keepHorizontalScroll(panes.lvListViewMessages, [&] {
            frmRebuildLVM progress(*messageModel, store.count(), window);
            progress.exec();
            keepTimeLine = true;
            selectMessageRow(progress.selectedRow());
            keepTimeLine = false;
        });
    }
    redrawTimeLine();
}

void MessageViews::selectMessageRow(int row)
{
    QTreeView *messages = panes.lvListViewMessages;
    if (row < 0 || row >= messageModel->count()) {
        messages->clearSelection();
        return;
    }
    const QModelIndex index = messageModel->index(row, 0);
    // Selecting and showing the row never scrolls the list back to its first
    // column (the view scrolls to the new current cell, which is in column 0).
    keepHorizontalScroll(messages, [&] {
        selecting = true;
        messages->selectionModel()->setCurrentIndex(index,
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selecting = false;
        messages->scrollTo(index);
    });
}

void MessageViews::showUserRow(int row)
{
    if (row < 0 || row >= messageModel->count())
        return;
    following->userSelected();
    selectMessageRow(row);
    // The row change already set the selected time; the time line leaves a
    // live picture and shows the row at once.
    messageModel->rowClick(row);
    pictOscilograph->leaveLive();
    redrawTimeLine();
    signalValues->showMessage(messageModel->frameIndex(row));
}

void MessageViews::applyDisplayFilter(const displayfilter::Filter &filter)
{
    const int row = messageModel->setDisplayFilter(filter);
    // A running capture that is followed stays on its newest row; otherwise
    // the selected row stays selected when it is still shown.
    if (document.isCapturing() && following->isFollowing() && messageModel->count() > 0)
        selectMessageRow(messageModel->count() - 1);
    else if (row >= 0)
        selectMessageRow(row);
    redrawTimeLine();
}

void MessageViews::showFrame(qsizetype frameIndex)
{
    showUserRow(messageModel->rowOfFrame(frameIndex));
}

void MessageViews::clear()
{
    following->resume();
    capturedRows.clear();
    messageModel->clearRows();
    monitorList->clear();
    signalValues->clear();
    plotValues->storeCleared();
    pictOscilograph->clearScroll();
    panes.lvListViewMessages->header()->setSectionHidden(MessageModel::colBus, true);
    statistics.clear();
    statisticsTimer_Timer();
}

void MessageViews::showLoaded()
{
    plotValues->reload();
    pictOscilograph->leaveLive();
    messageModel->setTicksPerSecond(document.ticksPerSecond());
    pictOscilograph->setScroll_Begin();
    panes.lvListViewMessages->header()->setSectionHidden(MessageModel::colBus,
                                                         !captureformats::showsBusColumn(document.buses()));
    rebuildLVM();
}

// The selected row moved: the time line follows.
void MessageViews::redrawTimeLine()
{
    pictOscilograph->setScroll_View();
    pictOscilograph->drawOscilograph();
}

bool MessageViews::captureFrame(const clsFrame &frame)
{
    CaptureStore &store = document.store();
    if (!store.addCapturedFrame(frame)) {
        if (!store.storeError().isEmpty())
            document.storeFailed();
        return false;
    }
    capturedRows.push_back(quint32(store.count() - 1));
    return true;
}

void MessageViews::captureBatchDone()
{
    // The rows of a whole decoding run in one go (nothing is painted in
    // between), the newest one selected and scrolled into view.
    if (capturedRows.empty())
        return;
    document.rowsAdded();
    const int row = messageModel->addCANFrames(capturedRows);
    capturedRows.clear();
    // Rows hidden by the display filter, or a user looking elsewhere, leave
    // the selection alone.
    if (const int shown = following->rowToShow(row); shown >= 0)
        selectMessageRow(shown);
    signalValues->framesAdded();
    plotValues->framesAdded();
    pictOscilograph->requestRedraw();
}

void MessageViews::resetViewScroll()
{
    pictOscilograph->setScroll_Begin();
    pictOscilograph->drawOscilograph();
}

void MessageViews::captureClosed()
{
    document.setCapturing(false);
    resetViewScroll();
    rebuildLVM();
}
