#include "views/ui/tracenav.h"

#include "core/values.h"
#include "views/capturedocument.h"
#include "views/displayfilter.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"
#include "views/tracecopy.h"
#include "views/tracefollow.h"
#include "views/ui/messageviews.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void showProblem(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

TraceNavigator::TraceNavigator(MessageViews &views, CaptureDocument &document, QTreeView &messageList, QWidget *parent)
    : QObject(parent)
    , views(views)
    , document(document)
    , list(messageList)
    , messages(*views.messages())
    , monitor(*views.monitor())
    , follow(*views.follow())
{
    setObjectName(QStringLiteral("traceNavigator"));
    barBox = new QWidget(parent);
    barBox->setObjectName(QStringLiteral("picTraceBars"));
    auto *layout = new QVBoxLayout(barBox);
    layout->setContentsMargins(0, 0, 0, 2);
    layout->setSpacing(2);
    createFilterBar();
    createFindBar();
    createRowMenu();

    // Rows may be picked several at a time, for copying.
    list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    list.installEventFilter(this);
    list.viewport()->installEventFilter(this);
    connect(list.verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        const QScrollBar *bar = list.verticalScrollBar();
        follow.userScrolled(bar->sliderPosition() >= bar->maximum());
    });
    connect(&follow, &TraceFollow::followingChanged, cmdFollow, &QPushButton::setChecked);
    connect(&document, &CaptureDocument::capturingChanged, this, [this](bool on) {
        if (on)
            follow.resume();
    });
    connect(&messages, &QAbstractItemModel::modelReset, this, &TraceNavigator::showRowCount);
    connect(&messages, &QAbstractItemModel::rowsInserted, this, &TraceNavigator::showRowCount);
    connect(&messages, &QAbstractItemModel::rowsRemoved, this, &TraceNavigator::showRowCount);
    showRowCount();
}

void TraceNavigator::createFilterBar()
{
    auto *bar = new QWidget(barBox);
    bar->setObjectName(QStringLiteral("picFilterBar"));
    // Two rows, so the list's pane may be narrow: the texts, then the switches.
    auto *rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    auto *second = new QHBoxLayout;
    second->setSpacing(8);
    rows->addLayout(row);
    rows->addLayout(second);

    const auto edit = [bar](const char *name, const QString &placeholder, const QString &tip) {
        auto *box = new QLineEdit(bar);
        box->setObjectName(QLatin1String(name));
        box->setPlaceholderText(placeholder);
        box->setToolTip(tip);
        box->setClearButtonEnabled(true);
        return box;
    };
    row->addWidget(new QLabel(QStringLiteral("Show IDs:"), bar));
    txtFilterIDs = edit("txtFilterIDs", QStringLiteral("e.g. 100-1FF, 7E8, 7E0/7F0, !123"),
                        QStringLiteral("Identifiers to show: single ones (7E8), ranges (100-1FF), identifier/mask "
                                       "(7E0/7F0), \"!\" before one to hide it.\n3 hex digits for a standard "
                                       "identifier, 4 to 8 (or SSS.EEEEE) for an extended one.\n"
                                       "Hidden rows stay in the capture and are saved with it."));
    row->addWidget(txtFilterIDs, 3);
    row->addWidget(new QLabel(QStringLiteral("Data:"), bar));
    txtFilterData = edit("txtFilterData", QStringLiteral("e.g. 12 ?? 34"),
                         QStringLiteral("Data bytes from byte 0; ? stands for any hex digit."));
    row->addWidget(txtFilterData, 2);
    chkOnlyNew = new QCheckBox(QStringLiteral("Only new IDs"), bar);
    chkOnlyNew->setObjectName(QStringLiteral("chkOnlyNew"));
    chkOnlyNew->setToolTip(QStringLiteral("Only identifiers the CAN data base does not hold"));
    second->addWidget(chkOnlyNew);
    chkOnlyLost = new QCheckBox(QStringLiteral("Only lost-frame records"), bar);
    chkOnlyLost->setObjectName(QStringLiteral("chkOnlyLost"));
    chkOnlyLost->setToolTip(QStringLiteral("Only the records of frames the analyser lost"));
    second->addWidget(chkOnlyLost);
    second->addStretch(1);
    lblRowCount = new QLabel(bar);
    lblRowCount->setObjectName(QStringLiteral("lblRowCount"));
    second->addWidget(lblRowCount);
    cmdFollow = new QPushButton(QStringLiteral("Follow"), bar);
    cmdFollow->setObjectName(QStringLiteral("cmdFollow"));
    cmdFollow->setCheckable(true);
    cmdFollow->setChecked(follow.isFollowing());
    cmdFollow->setToolTip(QStringLiteral("Keep the newest row in view while capturing (End)"));
    second->addWidget(cmdFollow);

    lblFilterMessage = new QLabel(barBox);
    lblFilterMessage->setObjectName(QStringLiteral("lblFilterMessage"));
    lblFilterMessage->setStyleSheet(QStringLiteral("color: #B00020;"));
    lblFilterMessage->hide();

    auto *layout = static_cast<QVBoxLayout *>(barBox->layout());
    layout->addWidget(bar);
    layout->addWidget(lblFilterMessage);

    connect(txtFilterIDs, &QLineEdit::editingFinished, this, &TraceNavigator::applyFilter);
    connect(txtFilterData, &QLineEdit::editingFinished, this, &TraceNavigator::applyFilter);
    connect(chkOnlyNew, &QCheckBox::toggled, this, &TraceNavigator::applyFilter);
    connect(chkOnlyLost, &QCheckBox::toggled, this, &TraceNavigator::applyFilter);
    connect(cmdFollow, &QPushButton::clicked, this, [this](bool on) {
        if (on)
            followNewest();
        else
            follow.userSelected();
    });
}

void TraceNavigator::createFindBar()
{
    findBar = new QWidget(barBox);
    findBar->setObjectName(QStringLiteral("picFindBar"));
    auto *rows = new QVBoxLayout(findBar);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    rows->addLayout(row);
    row->addWidget(new QLabel(QStringLiteral("Find:"), findBar));
    cmbFindMode = new QComboBox(findBar);
    cmbFindMode->setObjectName(QStringLiteral("cmbFindMode"));
    cmbFindMode->addItems(
        {QStringLiteral("Identifier"), QStringLiteral("Data bytes"), QStringLiteral("Device or description")});
    row->addWidget(cmbFindMode);
    txtFind = new QLineEdit(findBar);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setPlaceholderText(QStringLiteral("7E8, 12 ?? 34 or a name"));
    txtFind->setClearButtonEnabled(true);
    row->addWidget(txtFind, 1);
    const auto button = [this, row](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, findBar);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    QPushButton *next = button("cmdFindNext", QStringLiteral("Next"));
    QPushButton *previous = button("cmdFindPrevious", QStringLiteral("Previous"));
    lblFindMessage = new QLabel(findBar);
    lblFindMessage->setObjectName(QStringLiteral("lblFindMessage"));
    lblFindMessage->hide();
    auto *close = new QToolButton(findBar);
    close->setObjectName(QStringLiteral("cmdFindClose"));
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(QStringLiteral("Close (Esc)"));
    row->addWidget(close);
    rows->addWidget(lblFindMessage);
    static_cast<QVBoxLayout *>(barBox->layout())->addWidget(findBar);
    findBar->hide();

    connect(txtFind, &QLineEdit::returnPressed, this, [this] { findAgain(TraceFind::Direction::next); });
    connect(next, &QPushButton::clicked, this, [this] { findAgain(TraceFind::Direction::next); });
    connect(previous, &QPushButton::clicked, this, [this] { findAgain(TraceFind::Direction::previous); });
    connect(close, &QToolButton::clicked, this, [this] {
        findBar->hide();
        list.setFocus();
        relayoutBars();
    });
    txtFind->installEventFilter(this);
}

void TraceNavigator::createRowMenu()
{
    rowMenu = new QMenu(&list);
    rowMenu->setObjectName(QStringLiteral("mnuMessageRow"));
    const auto item = [this](const char *name, const QString &caption) {
        QAction *a = rowMenu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QAction *copy = item("mnuRowCopy", QStringLiteral("&Copy"));
    QAction *candump = item("mnuRowCopyCandump", QStringLiteral("Copy as can&dump"));
    rowMenu->addSeparator();
    QAction *hide = item("mnuRowHideID", QStringLiteral("&Hide this identifier"));
    QAction *add = item("mnuRowAddID", QStringLiteral("&Add identifier to CAN Data Base..."));
    QAction *send = item("mnuRowSendAgain", QStringLiteral("&Send again..."));
    connect(copy, &QAction::triggered, this, &TraceNavigator::copyRows);
    connect(candump, &QAction::triggered, this, &TraceNavigator::copyCandump);
    connect(hide, &QAction::triggered, this, [this] { hideIdentifier(menuRow()); });
    connect(add, &QAction::triggered, this, [this] {
        const int row = menuRow();
        if (row < 0 || row >= messages.count() || messages.rowFrame(row).isLost)
            return;
        const qint32 key = frameIdNumber(messages.rowFrame(row));
        const int monitorRow = monitor.rowOf(key);
        if (monitorRow >= 0)
            monitor.copyToDataBase(monitorRow, true);
        else
            emit monitor.addIdRequested(true, idKey(key));
    });
    connect(send, &QAction::triggered, this, [this] {
        const int row = menuRow();
        if (row >= 0 && row < messages.count() && !messages.rowFrame(row).isLost)
            emit sendAgainRequested(messages.rowFrame(row));
    });

    list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&list, &QWidget::customContextMenuRequested, this, &TraceNavigator::showRowMenu);
}

int TraceNavigator::menuRow() const
{
    // Rows may have moved (a capture into a sorted list) while the menu was open.
    return menuFrame >= 0 ? messages.rowOfFrame(menuFrame) : -1;
}

void TraceNavigator::showRowMenu(const QPoint &at)
{
    const QModelIndex index = list.indexAt(at);
    if (!index.isValid())
        return;
    // The row under the click is the one the identifier items mean, also
    // inside a selection of several.
    menuFrame = messages.frameIndex(index.row());
    // A right click on a row outside the selection picks that row, as a left one would.
    if (!list.selectionModel()->isRowSelected(index.row(), {}))
        views.showUserRow(index.row());
    const bool frame = !messages.rowFrame(index.row()).isLost;
    for (const char *name : {"mnuRowHideID", "mnuRowAddID", "mnuRowSendAgain"})
        rowMenu->findChild<QAction *>(QLatin1String(name))->setEnabled(frame);
    rowMenu->popup(list.viewport()->mapToGlobal(at));
}

bool TraceNavigator::applyFilter()
{
    const auto parsed = displayfilter::parseFilter(txtFilterIDs->text(), txtFilterData->text(), chkOnlyNew->isChecked(),
                                                   chkOnlyLost->isChecked());
    if (!parsed.ok()) {
        showProblem(lblFilterMessage,
                    parsed.error + QStringLiteral(" - the rows shown are those of the last good filter."));
        relayoutBars();
        return false;
    }
    showProblem(lblFilterMessage, {});
    relayoutBars();
    views.applyDisplayFilter(parsed.value);
    return true;
}

void TraceNavigator::hideIdentifier(int row)
{
    if (row < 0 || row >= messages.count())
        return;
    const QString id = displayfilter::idTermText(messages.rowFrame(row));
    if (id.isEmpty())
        return;
    const QString text = txtFilterIDs->text().trimmed();
    txtFilterIDs->setText(text.isEmpty() ? QLatin1Char('!') + id : text + QStringLiteral(", !") + id);
    applyFilter();
}

QList<int> TraceNavigator::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &i : list.selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && list.currentIndex().isValid())
        rows << list.currentIndex().row();
    return rows;
}

QList<int> TraceNavigator::visibleColumns() const
{
    const QHeaderView *header = list.header();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns << logical;
    }
    return columns;
}

void TraceNavigator::copyRows()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(tracecopy::rowsAsText(messages, rows, visibleColumns()));
}

void TraceNavigator::copyCandump()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(
            tracecopy::rowsAsCandump(messages, rows, document.stampRate(), document.startMicroseconds()));
}

void TraceNavigator::showFind()
{
    findBar->show();
    relayoutBars();
    txtFind->setFocus();
    txtFind->selectAll();
}

void TraceNavigator::findAgain(TraceFind::Direction direction)
{
    if (txtFind->text().trimmed().isEmpty()) {
        showFind();
        return;
    }
    if (!finder.setQuery(TraceFind::Mode(cmbFindMode->currentIndex()), txtFind->text())) {
        findBar->show();
        setFindMessage(finder.error());
        return;
    }
    const int from = list.currentIndex().isValid() ? list.currentIndex().row() : -1;
    const int row = finder.find(messages, from, direction);
    if (row < 0) {
        setFindMessage(messages.count() ? QStringLiteral("No shown row matches.")
                                        : QStringLiteral("The list is empty."));
        return;
    }
    const bool wrapped = from >= 0 && (direction == TraceFind::Direction::next ? row <= from : row >= from);
    setFindMessage(wrapped ? QStringLiteral("Went round the end of the list.") : QString());
    views.showUserRow(row);
}

void TraceNavigator::followNewest()
{
    follow.resume();
    if (messages.count() > 0)
        views.selectMessageRow(messages.count() - 1);
}

void TraceNavigator::setFindMessage(const QString &text)
{
    showProblem(lblFindMessage, text);
    relayoutBars();
}

void TraceNavigator::relayoutBars()
{
    // The bars' height is read at once, before Qt would lay them out again.
    barBox->layout()->invalidate();
    barBox->layout()->activate();
    emit barsResized();
}

void TraceNavigator::showRowCount()
{
    const int shown = messages.count();
    const int all = messages.unfilteredCount();
    lblRowCount->setText(shown == all ? QStringLiteral("%1 rows").arg(all)
                                      : QStringLiteral("%1 of %2 rows shown").arg(shown).arg(all));
}

bool TraceNavigator::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == txtFind && key->key() == Qt::Key_Escape) {
            findBar->hide();
            list.setFocus();
            relayoutBars();
            return true;
        }
        if (watched == &list) {
            if (key->key() == Qt::Key_End && key->modifiers() == Qt::NoModifier) {
                followNewest();
                return true;
            }
            switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
                follow.userSelected();
                break;
            default:
                break;
            }
        }
    } else if (event->type() == QEvent::MouseButtonPress && watched == list.viewport()) {
        follow.userSelected();
    }
    return QObject::eventFilter(watched, event);
}
