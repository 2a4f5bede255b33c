#pragma once

#include "link/appcontext.h"
#include "link/packetlink.h"
#include "link/runcommands.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>

#include <memory>

class DbTree;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QWidget;
class frmConnect;

// The main window of Tessel: menus, tool bar, status bar and the three panes
// (data base tree, message list with the identifier monitor list, time line).
//
// Every menu item is a public action named like the item, so the features
// that own an item connect to its triggered() signal; the tool bar runs the
// same actions. Check marks of the Run and Monitor items and the pressed state
// of the mode, capture and send buttons belong to the program: a click runs the
// command but does not flip the mark itself (showCAN_Status and the capture and
// send windows set them).
//
// It owns the analyser link and shows its state (LinkDisplay).
class frmMain final : public QMainWindow, public LinkDisplay
{
    Q_OBJECT
public:
    explicit frmMain(AppContext &context, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the command behind a tool-bar button; unknown keys do nothing.
    void tbToolBar_ButtonClick(const QString &key);
    // The tool-bar button with this key (its object name), or nullptr.
    [[nodiscard]] QAction *tbButton(const QString &key) const;

    // Status-bar panels, numbered 1 to 4; other numbers are ignored / read as "".
    void setStatusPanel(int index, const QString &text) override;
    [[nodiscard]] QString statusPanelText(int index) const;

    // Shows the analyser status byte: capture in panel 3, mode in panel 2, the
    // check mark of the matching Run item and the pressed mode button.
    void showCAN_Status(quint8 analyserStatus) override;

    // Starts the link's receive and time-out timers and puts the connection
    // window on the link (the load tick; until then nothing could answer).
    void startLink();

    // Shows "CAN DB : <name>" and its separator while a data base is current,
    // hides both otherwise.
    void setCanDbMenu(bool current, const QString &dbName = {});

    // Menus, in menu-bar order.
    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileBar0 = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *mnuFileBar1 = nullptr;
    QAction *mnuFileSave = nullptr;
    QAction *mnuFileSaveAs = nullptr;
    QAction *mnuFileBar2 = nullptr;
    QAction *mnuFileExit = nullptr;

    QMenu *mnuCAN = nullptr;
    QAction *mnuCAN_New = nullptr;
    QAction *mnuCAN_Bar0 = nullptr;
    QAction *mnuCAN_Import = nullptr;
    QAction *mnuCAN_Bar1 = nullptr;
    QMenu *mnuCAN_DB = nullptr;
    QAction *mnuCAN_DB_New = nullptr;
    QAction *mnuCAN_DB_Edit = nullptr;
    QAction *mnuCAN_DB_Delete = nullptr;
    QAction *mnuCAN_DB_Export = nullptr;
    QAction *mnuCAN_DB_Expand = nullptr;
    QAction *mnuCAN_DB_Collapse = nullptr;
    QAction *mnuCAN_DB_Bar2 = nullptr;
    QMenu *mnuCAN_Devices = nullptr;
    QAction *mnuCAN_Devices_New = nullptr;
    QAction *mnuCAN_Devices_Edit = nullptr;
    QAction *mnuCAN_Devices_Delete = nullptr;
    QAction *mnuCAN_Devices_Expand = nullptr;
    QAction *mnuCAN_Devices_Collapse = nullptr;
    QMenu *mnuCAN_IDs = nullptr;
    QAction *mnuCAN_IDs_New = nullptr;
    QAction *mnuCAN_IDs_Edit = nullptr;
    QAction *mnuCAN_IDs_Delete = nullptr;
    QAction *mnuCAN_IDs_Expand = nullptr;
    QAction *mnuCAN_IDs_Collapse = nullptr;

    QMenu *mnuRun = nullptr;
    QAction *mnuRunTestCAN = nullptr;
    QAction *mnuRunResetCAN = nullptr;
    QAction *mnuRunStandbyCAN = nullptr;
    QAction *mnuRunListenCAN = nullptr;
    QAction *mnuRunEnableCAN = nullptr;
    QAction *mnuRunCANCapture = nullptr;
    QAction *mnuRunCANSend = nullptr;

    QMenu *mnuMonitor = nullptr;
    QMenu *mnuMonitor_Frame = nullptr;
    QAction *mnuMonitor_Frame_Delete = nullptr;
    QMenu *mnuMonitor_ID = nullptr;
    QAction *mnuMonitor_ID_Copy = nullptr;
    QAction *mnuMonitor_ID_Bar = nullptr;
    QAction *mnuMonitor_ID_Enable = nullptr;

    QMenu *mnuView = nullptr;
    QMenu *mnuView_VSplitter = nullptr;
    QAction *mnuView_VSplitter1 = nullptr;
    QMenu *mnuView_HSplitter = nullptr;
    QAction *mnuView_HSplitter1 = nullptr;
    QAction *mnuViewToolbar = nullptr;
    QAction *mnuViewStatusBar = nullptr;
    QAction *mnuViewOptions = nullptr;

    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpContents = nullptr;
    QAction *mnuHelpSearchForHelpOn = nullptr;
    QAction *mnuHelpAbout = nullptr;

    // Bars. The images of the tool bar by key, including "CaptureCAN1" and
    // "CaptureCAN2" (the capture button's two states) and "Check".
    QToolBar *tbToolBar = nullptr;
    QHash<QString, QIcon> imlToolbarIcons;
    QStatusBar *sbStatusBarCAN = nullptr;

    // Panes.
    QWidget *picDB = nullptr;
    QComboBox *cmbDB_Name = nullptr;
    QPushButton *cmdDB_Property = nullptr;
    QTreeWidget *tvDB_IDs = nullptr;
    QTreeView *lvListViewMessages = nullptr;
    QTreeWidget *lvListViewID = nullptr;
    QFrame *pictOscilograph = nullptr;

    // The analyser link, the Run commands and the connection window.
    PacketLink *link = nullptr;
    std::unique_ptr<RunCommands> runCommands;
    frmConnect *connectWindow = nullptr;

    // ---- Data base panel (candb/ui/dbtree.h): owns cmbDB_Name, cmdDB_Property,
    // tvDB_IDs and the CAN menu commands; also the IdIndex of the capture views.
    DbTree *dbTree = nullptr;

private:
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createPanes();
    void createLink();

    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    AppContext &context;
    QLabel *statusPanels[4] = {};
};
