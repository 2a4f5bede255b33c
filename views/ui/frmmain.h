#pragma once

#include "core/appcontext.h"
#include "link/capturecontrol.h"
#include "link/packetlink.h"
#include "link/runcommands.h"
#include "core/capturestore.h"
#include "views/mainlayout.h" // layout and settings

#include <QHash>
#include <QIcon>
#include <QMainWindow>

#include <functional>
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
class frmSendFrame;
class SendRun;
// capture views
class IdIndex;
class MessageModel;
class MonitorList;
class MonitorView;
class frmCapture;
// time line, capture files, layout and settings
class QTimer;
class SplitterBar;
class TimeLinePanel;

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
class frmMain final : public QMainWindow, public LinkDisplay, public CaptureSink
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
    MonitorView *lvListViewID = nullptr;
    TimeLinePanel *pictOscilograph = nullptr; // the time line (created with the capture views)

    // ---- Capture views: store, message list, monitor list, capture window ----
    // The store of captured frames and the two lists over it. The time line
    // reads captureStore; the data base model keeps it in step as MonitorRows
    // and takes its nodeCheckRequested and addIdRequested.
    CaptureStore captureStore;
    MessageModel *messageModel = nullptr;
    MonitorList *monitorList = nullptr;
    frmCapture *captureWindow = nullptr;

    // The data base tree as the lists see it (labels, check boxes); nullptr: none.
    void setIdIndex(const IdIndex *index);
    // addCapturedFrame of the store (filter, store, count).
    bool addCapturedFrame(const clsFrame &frame);
    // Appends the message row of stored frame `number` (1-based); enables New,
    // Save As and (with a file name) Save. Returns the 0-based row.
    int addCANFrame(const clsFrame &frame, qsizetype number);
    // Empties the store and both lists; New, Save and Save As disabled.
    void setNewCapturingData();
    // Rebuilds the message list through frmRebuildLVM and selects the row at
    // or after selectedTime.
    void rebuildLVM();
    // Selects a message row (0-based) and scrolls it into view; -1 clears.
    void selectMessageRow(int row);
    void mnuRunCANCapture_Click();
    void lvListViewMessages_ColumnClick(int column);
    void lvListViewMessages_ItemClick(int row);

    // CaptureSink (the capture window's decoded frames).
    bool captureFrame(const clsFrame &frame) override;
    void captureBatchDone() override;
    void resetViewScroll() override;
    void captureClosed() override;

signals:
    // The selected row moved (row click, rebuild): the time line follows
    // (setScroll_View, drawOscilograph).
    void captureSelectionMoved();
    // setNewCapturingData ran: the time line's bars go to 0 and it redraws.
    void captureCleared();
    // A capture ended or its window closed: the time line goes to the start.
    void viewScrollReset();

public:
    // ---- end of capture views ----

    // ---- Time line, capture files, layout and settings ----
    // Load: the constructor arms loadTimer (100 ms, once); its tick restores
    // the layout from the settings, loads the data base, empties the capture
    // and starts the link. Tests call loadTimer_Timer directly.
    QTimer *loadTimer = nullptr;
    void loadTimer_Timer();

    // The current data base's bus bit rate and time-stamp rate (the data base
    // tree sets them on every load); durations, capture files and the time line use them.
    void setBusTiming(double canSpeed, double canTimer);
    [[nodiscard]] double currentCanSpeed() const { return busSpeed; }
    [[nodiscard]] double currentCanTimer() const { return busTimer; }

    // Capture files. Results are "cancelled" flags as in the File commands.
    [[nodiscard]] QString browseFileOpenSave(const QString &fileName);
    [[nodiscard]] QString browseFileOpen(const QString &fileName);
    bool writeCaptureFile(); // true when written
    bool saveCaptureAs();
    bool saveNewCaptureData();
    void newCapture(bool resynchronise);
    void mnuFileOpen_Click();
    // Reads `fileName` and replaces the capture with it; false (message shown,
    // capture unchanged) when it cannot be read or holds no frame.
    bool loadCaptureFile(const QString &fileName);
    // The "outDelimiter" setting; one that a file could not be read back
    // with gives one space, with a message the first time.
    [[nodiscard]] QString outDelimiter();
    bool delimiterWarned = false;

    // Layout: every pane from the splitter positions (pixels of the window's
    // inner area, below the menu bar).
    void SizeControls();
    void mnuView_VSplitter1_Click();
    void mnuView_HSplitter1_Click();
    MainLayout mainLayout;
    SplitterBar *imgSplitter[MainLayout::verticalSplitters] = {};
    SplitterBar *imgSplitterH[MainLayout::horizontalSplitters] = {};
    QWidget *picSplitter = nullptr; // drag bars
    QWidget *picSplitterH = nullptr;
    bool splitterMoving = false;

    // Settings of the window (twips), read on the load tick, written on close.
    void restoreSettings();
    void saveSettings();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public:
    // ---- end of time line, capture files, layout and settings ----

    // The analyser link, the Run commands and the connection window.
    PacketLink *link = nullptr;
    std::unique_ptr<RunCommands> runCommands;
    frmConnect *connectWindow = nullptr;

    // ---- Frame sender and analyser settings (sender/) ----------------------
    // Shows the send-frame window (created at the first opening and kept
    // until the end), checks Run › CAN Send Frame and presses "SendCAN".
    void mnuRunCANSend_Click();
    // Opens the analyser settings dialog modally.
    void mnuViewOptions_Click();
    [[nodiscard]] frmSendFrame *sendFrameWindow() const { return sendFrame; }
    // ---- end of frame sender and analyser settings -------------------------

    // ---- Data base panel (candb/ui/dbtree.h): owns cmbDB_Name, cmdDB_Property,
    // tvDB_IDs and the CAN menu commands; its model is the IdIndex of the capture views.
    DbTree *dbTree = nullptr;

private:
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createPanes();
    void createLink();
    void createSender();
    void createCaptureViews(); // capture views
    // capture views: frames shown during the running decode; their rows are
    // appended in one go when it ends.
    std::vector<quint32> capturedRows;
    void enableCaptureMenus(); // capture views
    // time line, capture files, layout and settings
    void createTimeLine();
    void createLayout();
    void createDbTree();
    void splitterMouseDown(SplitterBar *bar, Qt::MouseButton button, QPoint position, QPoint globalPosition);
    void splitterMouseMove(SplitterBar *bar, QPoint position);
    void splitterMouseUp(SplitterBar *bar);
    void dbPanelLayout();
    [[nodiscard]] QSize innerSize() const;
    [[nodiscard]] double dpiX() const;
    [[nodiscard]] double dpiY() const;
    double busSpeed = 0;
    double busTimer = 0;
    const IdIndex *captureLabels = nullptr;
    QPoint dragOffset;

    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    AppContext &context;
    QLabel *statusPanels[4] = {};

    // Frame sender and analyser settings: users of the link, deleted before it.
    SendRun *sendRun = nullptr;
    frmSendFrame *sendFrame = nullptr;
};
