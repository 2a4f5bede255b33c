#include "views/ui/mainpanes.h"

#include "views/ui/monitorview.h"
#include "views/ui/splitterbar.h"
#include "views/ui/splitterdrag.h"
#include "views/ui/timelinepanel.h"

#include <QComboBox>
#include <QDockWidget>
#include <QEvent>
#include <QGridLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

double dpiX(const QWidget &widget)
{
    return widget.logicalDpiX() > 0 ? widget.logicalDpiX() : 96;
}

double dpiY(const QWidget &widget)
{
    return widget.logicalDpiY() > 0 ? widget.logicalDpiY() : 96;
}

MainPanes::MainPanes(QMainWindow &window, QToolBar *toolBar, QStatusBar *statusBar)
    : QObject(&window)
    , window(window)
    , toolBar(toolBar)
    , statusBar(statusBar)
{
    auto *central = new QWidget(&window);
    window.setCentralWidget(central);
    // Showing or moving a docked window resizes the central widget alone.
    central->installEventFilter(this);

    picDB = new QWidget(central);
    picDB->setObjectName(QStringLiteral("picDB"));
    cmbDB_Name = new QComboBox(picDB);
    cmbDB_Name->setObjectName(QStringLiteral("cmbDB_Name"));
    cmdDB_Property = new QPushButton(QStringLiteral("+"), picDB);
    cmdDB_Property->setObjectName(QStringLiteral("cmdDB_Property"));
    cmdDB_Property->setFixedWidth(cmbDB_Name->sizeHint().height() + 4);
    tvDB_IDs = new QTreeWidget(picDB);
    tvDB_IDs->setObjectName(QStringLiteral("tvDB_IDs"));
    tvDB_IDs->setHeaderHidden(true);
    auto *dbLayout = new QGridLayout(picDB);
    dbLayout->setContentsMargins(0, 0, 0, 0);
    dbLayout->setSpacing(2);
    dbLayout->addWidget(cmbDB_Name, 0, 0);
    dbLayout->addWidget(cmdDB_Property, 0, 1);
    dbLayout->addWidget(tvDB_IDs, 1, 0, 1, 2);

    lvListViewMessages = new QTreeView(central);
    lvListViewMessages->setObjectName(QStringLiteral("lvListViewMessages"));
    lvListViewMessages->setRootIsDecorated(false);
    lvListViewMessages->setUniformRowHeights(true);

    lvListViewID = new MonitorView(central);
    lvListViewID->setObjectName(QStringLiteral("lvListViewID"));
}

void MainPanes::createSplitters(QMenu *verticalMenu, QMenu *horizontalMenu)
{
    drag = new SplitterDrag(layout, window.centralWidget(), verticalMenu, horizontalMenu, [this] { sizeControls(); });
    window.setMinimumSize(twipsToPixels(5000, dpiX(window)), twipsToPixels(3000, dpiY(window)));
    // Until the settings are read: the first-start positions for the design size.
    const QSize inner = innerSize();
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        layout.vSplitter[size_t(k)] = MainLayout::defaultVertical(k, inner.width());
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        layout.hSplitter[size_t(k)] = MainLayout::defaultHorizontal(k, inner.height());
    sizeControls();
}

QSize MainPanes::innerSize() const
{
    const QWidget *menu = window.menuWidget();
    const int menuHeight = menu && !menu->isHidden() ? menu->sizeHint().height() : 0;
    QSize inner(window.width(), std::max(window.height() - menuHeight, 0));

    // Docks only go right or to the bottom (SignalDock), so the central
    // widget keeps its top left corner and everything right of it or between
    // it and the status bar is theirs. Without one the window's own size
    // counts, which is right also before the window is first laid out.
    bool right = false;
    bool bottom = false;
    for (QDockWidget *dock : window.findChildren<QDockWidget *>(Qt::FindDirectChildrenOnly)) {
        if (dock->isHidden() || dock->isFloating())
            continue;
        right = right || window.dockWidgetArea(dock) == Qt::RightDockWidgetArea;
        bottom = bottom || window.dockWidgetArea(dock) == Qt::BottomDockWidgetArea;
    }
    const QRect central = window.centralWidget()->geometry();
    if (right)
        inner.rwidth() -= std::max(window.width() - (central.right() + 1), 0);
    if (bottom) {
        const int below = statusBar->isHidden() ? window.height() : statusBar->y();
        inner.rheight() -= std::max(below - (central.bottom() + 1), 0);
    }
    return inner;
}

bool MainPanes::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window.centralWidget() && event->type() == QEvent::Resize)
        sizeControls();
    return QObject::eventFilter(watched, event);
}

void MainPanes::sizeControls()
{
    if (!pictOscilograph || !drag)
        return;
    const int toolBarHeight = toolBar->isHidden() ? 0 : toolBar->sizeHint().height();
    const int statusBarHeight = statusBar->isHidden() ? 0 : statusBar->sizeHint().height();
    const QSize inner = innerSize();
    layout.followResize(inner);
    layout.sizeControls(inner, toolBarHeight, statusBarHeight);

    // The panes live in the central widget, which starts below the tool bar.
    const QWidget *menu = window.menuWidget();
    const int menuHeight = menu && !menu->isHidden() ? menu->sizeHint().height() : 0;
    const QPoint offset = window.centralWidget()->geometry().topLeft() - QPoint(0, menuHeight);
    const auto place = [&offset](QWidget *widget, const QRect &rect) { widget->setGeometry(rect.translated(-offset)); };
    place(picDB, layout.picDB);
    if (traceBars) {
        QRect list = layout.lvListViewMessages;
        const int barHeight = std::min(traceBars->sizeHint().height(), list.height() / 2);
        place(traceBars, QRect(list.left(), list.top(), list.width(), barHeight));
        list.setTop(list.top() + barHeight);
        place(lvListViewMessages, list);
    } else {
        place(lvListViewMessages, layout.lvListViewMessages);
    }
    place(lvListViewID, layout.lvListViewID);
    place(pictOscilograph, layout.pictOscilograph);
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        place(drag->vertical(k), layout.imgSplitter[size_t(k)]);
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        place(drag->horizontal(k), layout.imgSplitterH[size_t(k)]);
}

void MainPanes::presetVertical()
{
    layout.presetVertical(innerSize().width());
    sizeControls();
}

void MainPanes::presetHorizontal()
{
    layout.presetHorizontal(innerSize().height());
    sizeControls();
}
