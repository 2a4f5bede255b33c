#include "views/ui/splitterbar.h"

#include <QMouseEvent>

SplitterBar::SplitterBar(Qt::Orientation orientation, int index, QWidget *parent)
    : QWidget(parent), direction(orientation), number(index)
{
    setObjectName(QStringLiteral("%1(%2)")
                      .arg(orientation == Qt::Vertical ? QStringLiteral("imgSplitter") : QStringLiteral("imgSplitterH"))
                      .arg(index));
    setCursor(orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
}

void SplitterBar::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown(event->button(), mapToParent(event->position().toPoint()), event->globalPosition().toPoint());
}

void SplitterBar::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMove(mapToParent(event->position().toPoint()));
}

void SplitterBar::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseUp(mapToParent(event->position().toPoint()));
}
