#include "views/ui/splitterdrag.h"

#include "views/ui/splitterbar.h"

#include <QMenu>
#include <QPalette>
#include <QWidget>

SplitterDrag::SplitterDrag(MainLayout &layout, QWidget *central, QMenu *verticalMenu, QMenu *horizontalMenu,
                           std::function<void()> relayout)
    : QObject(central)
    , layout(layout)
    , verticalMenu(verticalMenu)
    , horizontalMenu(horizontalMenu)
    , relayout(std::move(relayout))
{
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        connectBar(imgSplitter[k] = new SplitterBar(Qt::Vertical, k, central));
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        connectBar(imgSplitterH[k] = new SplitterBar(Qt::Horizontal, k, central));
    for (QWidget **bar : {&picSplitter, &picSplitterH}) {
        *bar = new QWidget(central);
        (*bar)->setAutoFillBackground(true);
        QPalette palette = (*bar)->palette();
        palette.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
        (*bar)->setPalette(palette);
        (*bar)->hide();
    }
    picSplitter->setObjectName(QStringLiteral("picSplitter"));
    picSplitterH->setObjectName(QStringLiteral("picSplitterH"));
}

void SplitterDrag::connectBar(SplitterBar *bar)
{
    connect(bar, &SplitterBar::mouseDown, this,
            [this, bar](Qt::MouseButton b, QPoint p, QPoint g) { mouseDown(bar, b, p, g); });
    connect(bar, &SplitterBar::mouseMove, this, [this, bar](QPoint p) { mouseMove(bar, p); });
    connect(bar, &SplitterBar::mouseUp, this, [this, bar] { mouseUp(bar); });
}

QWidget *SplitterDrag::dragBar(const SplitterBar *bar) const
{
    return bar->orientation() == Qt::Vertical ? picSplitter : picSplitterH;
}

MainLayout::Splitter SplitterDrag::splitterOf(const SplitterBar *bar)
{
    if (bar->orientation() != Qt::Vertical)
        return MainLayout::Splitter::horizontal0;
    return bar->index() == 0 ? MainLayout::Splitter::vertical0 : MainLayout::Splitter::vertical1;
}

void SplitterDrag::mouseDown(SplitterBar *bar, Qt::MouseButton button, QPoint position, QPoint globalPosition)
{
    const bool vertical = bar->orientation() == Qt::Vertical;
    if (button == Qt::RightButton) {
        (vertical ? verticalMenu : horizontalMenu)->popup(globalPosition);
        return;
    }
    if (button != Qt::LeftButton)
        return;
    QWidget *drag = dragBar(bar);
    const QRect g = bar->geometry();
    drag->setGeometry(vertical ? QRect(g.left(), g.top(), std::max(g.width() / 2, 1), g.height())
                               : QRect(g.left(), g.top(), g.width(), std::max(g.height() / 2, 1)));
    drag->show();
    drag->raise();
    dragOffset = position;
    moving = true;
}

void SplitterDrag::mouseMove(SplitterBar *bar, QPoint position)
{
    if (!moving)
        return;
    const bool vertical = bar->orientation() == Qt::Vertical;
    const MainLayout::Splitter which = splitterOf(bar);
    const QPoint delta = position - dragOffset;
    const int wanted = layout.position(which) + (vertical ? delta.x() : delta.y());
    const int limited = layout.dragLimit(which, wanted);
    // The drag bar is in the central widget; the positions are in the window's inner area.
    const int shift = limited - layout.position(which);
    const QRect g = bar->geometry();
    if (vertical)
        dragBar(bar)->move(g.left() + shift, g.top());
    else
        dragBar(bar)->move(g.left(), g.top() + shift);
}

void SplitterDrag::mouseUp(SplitterBar *bar)
{
    if (!moving)
        return;
    QWidget *drag = dragBar(bar);
    const QRect g = bar->geometry();
    const int shift = bar->orientation() == Qt::Vertical ? drag->x() - g.left() : drag->y() - g.top();
    const MainLayout::Splitter which = splitterOf(bar);
    layout.setPosition(which, layout.position(which) + shift);
    relayout();
    drag->hide();
    moving = false;
}
