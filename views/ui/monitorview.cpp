#include "views/ui/monitorview.h"

#include "core/values.h"
#include "views/listfont.h"
#include "views/qcolour.h"
#include "views/monitorlist.h"

#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

MonitorView::MonitorView(QWidget *parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false); // the drag is started by hand, once per click
    setFont(listFont());
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
}

void MonitorView::setMonitorList(MonitorList *l)
{
    list = l;
    setModel(l);
    setIconSize(l->iconSize());
    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
        list->columnClick(section);
        const auto state = list->sortState();
        header()->setSortIndicatorShown(state != MonitorList::SortState::off);
        if (state != MonitorList::SortState::off)
            header()->setSortIndicator(list->sortColumn(), state == MonitorList::SortState::ascending
                                                                ? Qt::AscendingOrder
                                                                : Qt::DescendingOrder);
    });
}

int MonitorView::currentKeyRow() const
{
    return key.isEmpty() || !list ? -1 : list->rowOf(key);
}

void MonitorView::mousePressEvent(QMouseEvent *event)
{
    key.clear();
    QTreeView::mousePressEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid() && list) {
        key = list->row(at.row()).key;
        // The identity colour, not the text's (which may be darkened to read).
        colour = toQColor(idColour(key));
        dragArmed = true;
    }
}

void MonitorView::mouseMoveEvent(QMouseEvent *event)
{
    const bool armed = std::exchange(dragArmed, false);
    if (armed && (event->buttons() & Qt::LeftButton) && !key.isEmpty()) {
        startKeyDrag();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void MonitorView::mouseReleaseEvent(QMouseEvent *event)
{
    dragArmed = false;
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton && !key.isEmpty())
        emit popupRequested(currentKeyRow(), event->globalPosition().toPoint());
}

void MonitorView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    const int row = currentKeyRow();
    if (row >= 0 && list)
        list->copyToDataBase(row, false);
}

void MonitorView::startKeyDrag()
{
    const int row = currentKeyRow();
    if (row < 0)
        return;
    auto *mime = new QMimeData;
    mime->setData(QLatin1String(MonitorList::dragMimeType), key.toUtf8());
    mime->setText(key);
    // The drag image: a small patch in the row's colour.
    QPixmap patch(list->iconSize());
    patch.fill(colour);
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(patch);
    drag->setHotSpot(QPoint(patch.width() / 2, patch.height() / 2));
    drag->exec(Qt::CopyAction);
}
