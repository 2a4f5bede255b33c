#pragma once

#include "core/appcontext.h"
#include "link/packetlink.h"
#include "serial/serialport.h"
#include "views/capturedocument.h"

#include <QMainWindow>

#include <memory>

class DbTree;
class IdIndex;
class MainActions;
class MainPanes;
class MessageModel;
class MessageViews;
class MonitorList;
class PlotDock;
class ProgressLoader;
class RecentFiles;
class QAction;
class QLabel;
class QStatusBar;
class QTimer;
class RunCommands;
class SendRun;
class SignalDock;
class WindowSettings;
class frmCapture;
class frmConnect;
class frmSendFrame;

// The main window of Tessel: menus, tool bar, status bar and the three panes
// (data base tree, message list with the identifier monitor list, time line),
// and the "Signals" dock with the decoded fields of the selected frame.
// It wires the parts together: the capture document, the analyser link and
// the windows of each area; it shows their state and forwards the commands.
// Menus, buttons and panes are found by object name (MainActions, MainPanes).
class frmMain final : public QMainWindow, public LinkDisplay
{
    Q_OBJECT
public:
    // `makePort` makes the analyser link's serial ports.
    frmMain(AppContext &context, PortFactory makePort, QWidget *parent = nullptr);
    ~frmMain() override;

    [[nodiscard]] CaptureDocument &document() { return captureDocument; }

    // Runs the command behind a tool-bar button; unknown keys do nothing.
    void tbToolBar_ButtonClick(const QString &key);

    // Status-bar panels, numbered 1 to 4; other numbers are ignored / read as "".
    void setStatusPanel(int index, const QString &text) override;
    [[nodiscard]] QString statusPanelText(int index) const;
    // The bus figures and the capture's start, after the four panels.
    [[nodiscard]] QString busPanelText() const;
    [[nodiscard]] QString startPanelText() const;
    // Shows the analyser status byte: capture in panel 3, mode in panel 2, the
    // check mark of the matching Run item and the pressed mode button.
    void showCAN_Status(quint8 analyserStatus) override;

    // The load tick (100 ms after construction; tests call it directly):
    // restores the layout from the settings, loads the data base, empties
    // the capture and starts the link; then opens the file given by
    // openAtStart, if any.
    void loadTimer_Timer();
    // A capture file named on the command line: opened at the end of the
    // load tick, once the data base and the views are ready.
    void openAtStart(const QString &fileName) { startFile = fileName; }
    // Opens a file dropped on the window or named on the command line, as
    // File › Open does after its dialog (asking to save the capture first).
    CaptureDocument::OpenResult openDropped(const QString &fileName);
    // Starts the link's receive and time-out timers and puts the connection
    // window on the link (until then nothing could answer).
    void startLink();

    // Shows "CAN DB : <name>" and its separator while a data base is current,
    // hides both otherwise.
    void setCanDbMenu(bool current, const QString &dbName = {});
    // The current data base's bus bit rate and time-stamp rate.
    void setBusTiming(double canSpeed, double canTimer);
    // The data base tree as the lists and capture files see it; nullptr: none.
    void setIdIndex(const IdIndex *index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createStatusBar();
    void showStatistics();
    void createLink(PortFactory makePort);
    void createCaptureViews();
    void createDocument();
    void createCommands();
    void createDbTree();
    void createSignalViews();
    void createPlotView();

    [[nodiscard]] QAction *action(const char *name) const;
    [[nodiscard]] QAction *button(const char *key) const;

    // The document's state on the File menu and the capture item and button.
    void showDocumentState();
    void showCapturing(bool capturing);
    void fileNew();
    void rebuildLVM();
    void mnuRunCANCapture_Click();
    void mnuRunCANSend_Click();
    // Run › CAN Send Frame checked and "SendCAN" pressed while the window is open.
    void showSendFrame(bool open);
    void mnuViewOptions_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    // Find, copy, follow, recent files, the capture keys and the window
    // title: what came after the menus' own items.
    void createNavigation();
    void showWindowTitle();
    void showRecentFiles();
    void openRecent(const QString &fileName);
    // F5 and Shift+F5: the capture window's Start and Stop.
    void startCapture();
    void stopCapture();
    // "Send again...": the send window, filled with the frame.
    void sendAgain(const clsFrame &frame);

    AppContext &context;
    CaptureDocument captureDocument;
    std::unique_ptr<ProgressLoader> loader;
    std::unique_ptr<MainActions> actions;
    QStatusBar *sbStatusBarCAN = nullptr;
    QLabel *statusPanels[4] = {};
    QLabel *busPanel = nullptr;
    QLabel *startPanel = nullptr;
    MainPanes *panes = nullptr;
    std::unique_ptr<WindowSettings> settings;
    QTimer *loadTimer = nullptr;

    MessageViews *messageViews = nullptr;
    MessageModel *messageModel = nullptr; // messageViews' lists
    MonitorList *monitorList = nullptr;
    SignalDock *signalDock = nullptr;
    PlotDock *plotDock = nullptr;
    frmCapture *captureWindow = nullptr;

    PacketLink *link = nullptr;
    std::unique_ptr<RunCommands> runCommands;
    frmConnect *connectWindow = nullptr;
    // Users of the link, deleted before it.
    SendRun *sendRun = nullptr;
    frmSendFrame *sendFrame = nullptr;
    bool sendFrameOpen = false;
    DbTree *dbTree = nullptr;
    QString startFile;
    std::unique_ptr<RecentFiles> recentFiles;
};
