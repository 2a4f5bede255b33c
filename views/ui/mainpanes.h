#pragma once

#include "views/mainlayout.h"

#include <QObject>
#include <QSize>

class MonitorView;
class QComboBox;
class QMainWindow;
class QMenu;
class QPushButton;
class QStatusBar;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QWidget;
class SplitterDrag;
class TimeLinePanel;

// The main window's panes in its central widget: the data base panel (picDB:
// cmbDB_Name, cmdDB_Property, tvDB_IDs), the message list, the monitor list and
// the time line, placed from the splitter positions of `layout` (pixels of the
// window's inner area, below the menu bar). A window docked on the right or at
// the bottom takes its room from that area; the panes follow the central
// widget whenever it changes size.
class MainPanes final : public QObject
{
    Q_OBJECT
public:
    MainPanes(QMainWindow &window, QToolBar *toolBar, QStatusBar *statusBar);

    // The time line is made with the capture views it shows.
    void setTimeLine(TimeLinePanel *timeLine) { pictOscilograph = timeLine; }
    // The splitters, their preset menus for the right button, and the
    // first-start positions for the window's size.
    void createSplitters(QMenu *verticalMenu, QMenu *horizontalMenu);

    // Places every pane from the splitter positions.
    void sizeControls();
    // View › V-Splitter › 20/70/10 and View › H-Splitter › 70/30.
    void presetVertical();
    void presetHorizontal();

    // The window below the menu bar, less what docked windows take.
    [[nodiscard]] QSize innerSize() const;

    MainLayout layout;
    QWidget *picDB = nullptr;
    QComboBox *cmbDB_Name = nullptr;
    QPushButton *cmdDB_Property = nullptr;
    QTreeWidget *tvDB_IDs = nullptr;
    QTreeView *lvListViewMessages = nullptr;
    MonitorView *lvListViewID = nullptr;
    TimeLinePanel *pictOscilograph = nullptr;
    // The filter and find bars, over the message list (taken from its top).
    QWidget *traceBars = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMainWindow &window;
    QToolBar *toolBar;
    QStatusBar *statusBar;
    SplitterDrag *drag = nullptr;
};

// The logical resolution of a widget; 96 when it reports none.
[[nodiscard]] double dpiX(const QWidget &widget);
[[nodiscard]] double dpiY(const QWidget &widget);
