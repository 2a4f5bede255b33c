#include "views/ui/frmmain.h"

#include "candb/ui/dbtree.h"
#include "core/params.h"
#include "core/prompts.h"
#include "core/queries.h"
#include "link/capturecontrol.h"
#include "link/runcommands.h"
#include "link/ui/frmcapture.h"
#include "link/ui/frmconnect.h"
#include "sender/analysersettings.h"
#include "sender/sendrun.h"
#include "sender/ui/frmanalysersettings.h"
#include "sender/ui/frmsendframe.h"
#include "views/captureformats.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"
#include "views/plotmodel.h"
#include "views/recentfiles.h"
#include "views/signalpane.h"
#include "views/ui/frmload.h"
#include "views/ui/mainactions.h"
#include "views/ui/mainpanes.h"
#include "views/ui/messageviews.h"
#include "views/ui/monitorview.h"
#include "views/ui/plotdock.h"
#include "views/ui/signaldock.h"
#include "views/ui/timelinepanel.h"
#include "views/ui/tracenav.h"
#include "views/ui/windowsettings.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <utility>

namespace {

// Mode bits 0 to 5 of the analyser status byte, and the capture bit.
constexpr quint8 modeMask = 0x3f;
constexpr quint8 captureBit = 0x80;

} // namespace

frmMain::frmMain(AppContext &context, PortFactory makePort, QWidget *parent)
    : QMainWindow(parent)
    , context(context)
    , captureDocument(*context.params, *context.prompts)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(applicationTitle);
    actions = std::make_unique<MainActions>(*this);
    createStatusBar();
    panes = new MainPanes(*this, actions->toolBar(), sbStatusBarCAN);
    setCanDbMenu(false);
    createLink(std::move(makePort));
    createCaptureViews();
    createDocument();
    createCommands();
    resize(1000, 680);
    panes->createSplitters(actions->menu(QStringLiteral("mnuView_VSplitter")),
                           actions->menu(QStringLiteral("mnuView_HSplitter")));
    settings = std::make_unique<WindowSettings>(*this, *context.params, panes->layout,
                                                panes->lvListViewMessages->header(), panes->lvListViewID->header());
    createDbTree();
    createSignalViews();
    createNavigation();
    // Columns hidden from the headers' menus; "Signals" has its View item and
    // "Bus" follows the file read.
    QList<int> messageColumns;
    for (int c = 0; c < MessageModel::columnTotal; ++c)
        if (c != MessageModel::colSignals && c != MessageModel::colBus)
            messageColumns << c;
    settings->addHiddenColumns(QStringLiteral("ListViewMessages_Hidden"), panes->lvListViewMessages->header(),
                               messageColumns);
    QList<int> idColumns;
    for (int c = 0; c < MonitorList::columnTotal; ++c)
        idColumns << c;
    settings->addHiddenColumns(QStringLiteral("ListViewID_Hidden"), panes->lvListViewID->header(), idColumns);

    loadTimer = new QTimer(this);
    loadTimer->setObjectName(QStringLiteral("loadTimer"));
    loadTimer->setSingleShot(true);
    loadTimer->setInterval(100);
    connect(loadTimer, &QTimer::timeout, this, &frmMain::loadTimer_Timer);
    loadTimer->start();
    // A capture file dropped on the window opens.
    setAcceptDrops(true);
}

// The data base panel and its ties to the capture views: the lists take labels
// and check boxes from the data base model, which keeps the monitor rows in step.
void frmMain::createDbTree()
{
    const auto menu = [this](const char *name) { return actions->menu(QLatin1String(name)); };
    const CanDbPanel panel{
        .cmbDB_Name = panes->cmbDB_Name,
        .cmdDB_Property = panes->cmdDB_Property,
        .tvDB_IDs = panes->tvDB_IDs,
        .mnuCAN = menu("mnuCAN"),
        .mnuCAN_New = action("mnuCAN_New"),
        .mnuCAN_Import = action("mnuCAN_Import"),
        .mnuCAN_DB = menu("mnuCAN_DB"),
        .mnuCAN_DB_New = action("mnuCAN_DB_New"),
        .mnuCAN_DB_Edit = action("mnuCAN_DB_Edit"),
        .mnuCAN_DB_Delete = action("mnuCAN_DB_Delete"),
        .mnuCAN_DB_Export = action("mnuCAN_DB_Export"),
        .mnuCAN_DB_Expand = action("mnuCAN_DB_Expand"),
        .mnuCAN_DB_Collapse = action("mnuCAN_DB_Collapse"),
        .mnuCAN_Devices = menu("mnuCAN_Devices"),
        .mnuCAN_Devices_New = action("mnuCAN_Devices_New"),
        .mnuCAN_Devices_Edit = action("mnuCAN_Devices_Edit"),
        .mnuCAN_Devices_Delete = action("mnuCAN_Devices_Delete"),
        .mnuCAN_Devices_Expand = action("mnuCAN_Devices_Expand"),
        .mnuCAN_Devices_Collapse = action("mnuCAN_Devices_Collapse"),
        .mnuCAN_IDs = menu("mnuCAN_IDs"),
        .mnuCAN_IDs_New = action("mnuCAN_IDs_New"),
        .mnuCAN_IDs_Edit = action("mnuCAN_IDs_Edit"),
        .mnuCAN_IDs_Delete = action("mnuCAN_IDs_Delete"),
    };
    dbTree = new DbTree(context, panel, this);
    connect(dbTree, &DbTree::linkResetRequested, link, &PacketLink::resetLink);
    connect(dbTree, &DbTree::rebuildViews, this, &frmMain::rebuildLVM);
    connect(dbTree, &DbTree::canTimingChanged, this, &frmMain::setBusTiming);
    connect(dbTree, &DbTree::canDbMenuChanged, this, &frmMain::setCanDbMenu);
    connect(dbTree, &DbTree::canDbMenuChanged, &captureDocument,
            [this](bool current, const QString &name) { captureDocument.setDbName(current ? name : QString()); });
    connect(&captureDocument, &CaptureDocument::capturingChanged, dbTree, &DbTree::setCaptureRunning);
    setIdIndex(&dbTree->model());
    dbTree->setMonitorRows(monitorList);
    connect(monitorList, &MonitorList::nodeCheckRequested, &dbTree->model(), &CanDbModel::checkNode);
    connect(monitorList, &MonitorList::addIdRequested, dbTree, &DbTree::addID);
    // A changed check box in the monitor list rebuilds the message list unless
    // a capture is running.
    connect(monitorList, &MonitorList::rebuildRequested, this, &frmMain::rebuildLVM);
    connect(&captureDocument, &CaptureDocument::capturingChanged, monitorList, &MonitorList::setCaptureRunning);
}

// The Signals dock and the Signals column, each shown from its View item and
// kept in the settings; both follow changes of the data fields.
void frmMain::createSignalViews()
{
    SignalPane *pane = messageViews->signalPane();
    signalDock = new SignalDock(*pane, this);
    addDockWidget(Qt::RightDockWidgetArea, signalDock);
    // Room for a name, a value with its unit and the start of a description.
    resizeDocks({signalDock}, {signalDock->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 56}, Qt::Horizontal);
    signalDock->hide();
    QAction *paneItem = action("mnuViewSignals");
    connect(paneItem, &QAction::triggered, signalDock, &QWidget::setVisible);
    // Also the dock's own close button.
    connect(signalDock->toggleViewAction(), &QAction::toggled, paneItem, &QAction::setChecked);

    QAction *columnItem = action("mnuViewSignalsColumn");
    connect(columnItem, &QAction::triggered, this, [this](bool shown) {
        panes->lvListViewMessages->header()->setSectionHidden(MessageModel::colSignals, !shown);
    });
    settings->addShownState(QStringLiteral("SignalPane"), paneItem);
    settings->addShownState(QStringLiteral("SignalsColumn"), columnItem);

    CanDbModel &db = dbTree->model();
    connect(&db, &CanDbModel::signalsChanged, messageModel, &MessageModel::signalsChanged);
    connect(&db, &CanDbModel::signalsChanged, pane, &SignalPane::signalsChanged);
    connect(&db, &CanDbModel::reset, pane, &SignalPane::refresh);
    createPlotView();
}

// The Signal Plot dock: fed from the Signals dock's rows, its cursor on the
// message list's current row, shown from its View item.
void frmMain::createPlotView()
{
    PlotModel *model = messageViews->plotModel();
    plotDock = new PlotDock(*model, *context.prompts, this);
    addDockWidget(Qt::BottomDockWidgetArea, plotDock);
    plotDock->hide();
    QAction *item = action("mnuViewPlot");
    connect(item, &QAction::triggered, plotDock, &QWidget::setVisible);
    connect(plotDock->toggleViewAction(), &QAction::toggled, item, &QAction::setChecked);
    settings->addShownState(QStringLiteral("SignalPlot"), item);

    const auto plot = [this, model, item](qint32 keyNumber, const QList<int> &fields) {
        for (const int field : fields) {
            const QString problem = model->addSignal(keyNumber, field);
            if (!problem.isEmpty()) {
                context.prompts->error(problem);
                return;
            }
        }
        if (!plotDock->isVisible()) {
            plotDock->show();
            item->setChecked(true);
        }
    };
    connect(signalDock, &SignalDock::plotRequested, this,
            [plot](qint32 keyNumber, int field) { plot(keyNumber, {field}); });
    connect(messageViews, &MessageViews::plotIdRequested, this, [this, plot](qint32 keyNumber) {
        const auto set = dbTree->model().signalSet(keyNumber);
        if (!set || set->isEmpty()) {
            context.prompts->error(QStringLiteral("The identifier has no data fields."));
            return;
        }
        QList<int> fields;
        for (int i = 0; i < set->fields.size(); ++i)
            fields.append(i);
        plot(keyNumber, fields);
    });
    connect(plotDock, &PlotDock::frameChosen, messageViews, &MessageViews::showFrame);
    CanDbModel &db = dbTree->model();
    connect(&db, &CanDbModel::signalsChanged, model, [model] { model->reload(); });
    connect(&db, &CanDbModel::reset, model, &PlotModel::reload);
}

frmMain::~frmMain()
{
    // Hidden first, so no list repaints over a store that is already gone
    // while the base classes tear the window down.
    hide();
    // The data base panel goes before the controls it watches.
    delete dbTree;
    dbTree = nullptr;
    // The link's users go before the link.
    delete sendFrame;
    sendFrame = nullptr;
    delete sendRun;
    sendRun = nullptr;
    delete connectWindow;
    connectWindow = nullptr;
    delete captureWindow;
    captureWindow = nullptr;
    // The lists read the document's store, a member that is destroyed before
    // the window's children; they go first.
    delete messageViews;
    messageViews = nullptr;
    messageModel = nullptr;
    monitorList = nullptr;
    runCommands.reset();
}

QAction *frmMain::action(const char *name) const
{
    return actions->action(QLatin1String(name));
}

QAction *frmMain::button(const char *key) const
{
    return actions->button(QLatin1String(key));
}

void frmMain::createStatusBar()
{
    sbStatusBarCAN = statusBar();
    sbStatusBarCAN->setObjectName(QStringLiteral("sbStatusBarCAN"));
    // A fresh start: link state unknown, status byte 0, no command outstanding.
    const QString texts[4] = {QStringLiteral("Status : Unknown"), QStringLiteral("CAN Mode : "),
                              QStringLiteral("CAN Capute : Off"), QStringLiteral("Processes : 0")};
    const int stretch[4] = {3, 3, 3, 2};
    for (int i = 0; i < 4; ++i) {
        auto *panel = new QLabel(texts[i], sbStatusBarCAN);
        panel->setObjectName(QStringLiteral("sbStatusBarCAN_Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumWidth(120);
        sbStatusBarCAN->addWidget(panel, stretch[i]);
        statusPanels[i] = panel;
    }
    busPanel = new QLabel(sbStatusBarCAN);
    busPanel->setObjectName(QStringLiteral("sbStatusBarCAN_Bus"));
    busPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbStatusBarCAN->addWidget(busPanel, 4);
    startPanel = new QLabel(sbStatusBarCAN);
    startPanel->setObjectName(QStringLiteral("sbStatusBarCAN_Start"));
    startPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbStatusBarCAN->addWidget(startPanel, 2);
}

QString frmMain::busPanelText() const
{
    return busPanel->text();
}

QString frmMain::startPanelText() const
{
    return startPanel->text();
}

void frmMain::showStatistics()
{
    const BusStatistics &bus = messageViews->captureStatistics().bus();
    busPanel->setText(QStringLiteral("Load %1 % | Frames %2 | %3 /s | Lost %4 | Dropped %5")
                          .arg(bus.loadPercent(), 0, 'f', 1)
                          .arg(bus.frames())
                          .arg(bus.framesPerSecond(), 0, 'f', 0)
                          .arg(bus.lostFrames())
                          .arg(link->droppedBadChecksum() + link->droppedBadHeader()));
    busPanel->setToolTip(QStringLiteral("Bus load over the last second of the capture (%1 % over all of it); "
                                        "frames lost on the bus as the analyser reported them; packets the "
                                        "link dropped: %2 for a bad checksum, %3 for a broken header")
                             .arg(bus.averageLoadPercent(), 0, 'f', 1)
                             .arg(link->droppedBadChecksum())
                             .arg(link->droppedBadHeader()));
    const std::optional<qint64> start = captureDocument.wallStartMicroseconds();
    startPanel->setText(start ? QStringLiteral("Start ") + QDateTime::fromMSecsSinceEpoch(*start / 1000)
                                                              .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                              : QString());
}

void frmMain::createLink(PortFactory makePort)
{
    link = new PacketLink(*context.params, *context.prompts, std::move(makePort), this);
    link->setObjectName(QStringLiteral("link"));
    link->setDisplay(this);
    link->initProcesses();
    runCommands = std::make_unique<RunCommands>(*link, this);
    // The link's timers start on the load tick (loadTimer_Timer).
}

void frmMain::startLink()
{
    if (!connectWindow)
        connectWindow = new frmConnect(context, *link, this);
    link->startTimers();
}

// Every menu item and tool-bar button to the command it runs.
void frmMain::createCommands()
{
    for (QAction *item : actions->toolBar()->actions()) {
        const QString key = item->objectName();
        if (!key.isEmpty())
            connect(item, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
    connect(action("mnuFileNew"), &QAction::triggered, this, &frmMain::fileNew);
    connect(action("mnuFileOpen"), &QAction::triggered, this, [this] { captureDocument.open(); });
    connect(action("mnuFileSave"), &QAction::triggered, this, [this] { captureDocument.save(); });
    connect(action("mnuFileSaveAs"), &QAction::triggered, this, [this] { captureDocument.saveAs(); });
    connect(action("mnuFileExit"), &QAction::triggered, this, &QWidget::close);

    connect(action("mnuRunTestCAN"), &QAction::triggered, this, [this] { runCommands->testCAN(); });
    connect(action("mnuRunResetCAN"), &QAction::triggered, this, [this] { runCommands->resetCAN(); });
    connect(action("mnuRunStandbyCAN"), &QAction::triggered, this, [this] { runCommands->standbyCAN(); });
    connect(action("mnuRunListenCAN"), &QAction::triggered, this, [this] { runCommands->listenCAN(); });
    connect(action("mnuRunEnableCAN"), &QAction::triggered, this, [this] { runCommands->enableCAN(); });
    connect(action("mnuRunCANCapture"), &QAction::triggered, this, &frmMain::mnuRunCANCapture_Click);
    connect(action("mnuRunCANSend"), &QAction::triggered, this, &frmMain::mnuRunCANSend_Click);

    connect(action("mnuView_VSplitter1"), &QAction::triggered, panes, &MainPanes::presetVertical);
    connect(action("mnuView_HSplitter1"), &QAction::triggered, panes, &MainPanes::presetHorizontal);
    connect(action("mnuViewToolbar"), &QAction::triggered, this, [this](bool shown) {
        actions->toolBar()->setVisible(shown);
        panes->sizeControls();
    });
    connect(action("mnuViewStatusBar"), &QAction::triggered, this, [this](bool shown) {
        sbStatusBarCAN->setVisible(shown);
        panes->sizeControls();
    });
    connect(action("mnuViewOptions"), &QAction::triggered, this, &frmMain::mnuViewOptions_Click);
    // There is no help file, so both help items say so.
    connect(action("mnuHelpContents"), &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(action("mnuHelpSearchForHelpOn"), &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(action("mnuHelpAbout"), &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::tbToolBar_ButtonClick(const QString &key)
{
    QString command = MainActions::command(key);
    if (key == QLatin1String("CaptureSave") && !captureDocument.canSave())
        command = QStringLiteral("mnuFileSaveAs");
    if (QAction *item = actions->action(command))
        item->trigger();
}

void frmMain::setStatusPanel(int index, const QString &text)
{
    if (index >= 1 && index <= 4)
        statusPanels[index - 1]->setText(text);
}

QString frmMain::statusPanelText(int index) const
{
    return index >= 1 && index <= 4 ? statusPanels[index - 1]->text() : QString();
}

void frmMain::showCAN_Status(quint8 analyserStatus)
{
    struct Mode
    {
        const char *menu;
        const char *button;
        const char *text;
    };
    // Modes 1 to 4; mode 1 (Reset) has no menu check or pressed button.
    static constexpr Mode modes[] = {{nullptr, nullptr, "Reset"},
                                     {"mnuRunStandbyCAN", "StandbyCAN", "Disable"},
                                     {"mnuRunListenCAN", "ListenCAN", "Listen"},
                                     {"mnuRunEnableCAN", "EnableCAN", "Enable"}};
    const int mode = analyserStatus & modeMask;
    const Mode *shown = mode >= 1 && mode <= 4 ? &modes[mode - 1] : nullptr;

    setStatusPanel(3, QStringLiteral("CAN Capute : ") +
                          ((analyserStatus & captureBit) ? QStringLiteral("On") : QStringLiteral("Off")));
    // The buttons mirror the check marks, so a mode that is no longer current
    // never stays pressed.
    for (const Mode &m : modes) {
        if (!m.menu)
            continue;
        const bool current = &m == shown;
        action(m.menu)->setChecked(current);
        button(m.button)->setChecked(current);
    }
    setStatusPanel(2, QStringLiteral("CAN Mode : ") + (shown ? QLatin1String(shown->text) : QLatin1String("")));
}

void frmMain::setCanDbMenu(bool current, const QString &dbName)
{
    action("mnuCAN_Bar1")->setVisible(current);
    QMenu *mnuCAN_DB = actions->menu(QStringLiteral("mnuCAN_DB"));
    mnuCAN_DB->menuAction()->setVisible(current);
    // A name is shown as typed: "&" would otherwise turn into a mnemonic.
    mnuCAN_DB->setTitle(QStringLiteral("CAN DB : ") + QString(dbName).replace(QLatin1Char('&'), QLatin1String("&&")));
}

void frmMain::mnuHelpContents_Click()
{
    context.prompts->message(
        QStringLiteral("Unable to display Help Contents. There is no Help associated with this project."), {},
        Prompts::Icon::Information);
}

void frmMain::mnuHelpAbout_Click()
{
    context.prompts->message(QStringLiteral("Tessel Version " TESSEL_VERSION "\n\n"
                                            "Front end for the serial-line CAN analyser: capture, monitor,\n"
                                            "send frames and keep the CAN data base."),
                             QStringLiteral("About Tessel (Analyser CAN)..."), Prompts::Icon::Information);
}

// Shows the send-frame window (created at the first opening and kept until
// the end), checks Run › CAN Send Frame and presses "SendCAN".
void frmMain::mnuRunCANSend_Click()
{
    if (!sendFrame) {
        sendRun = new SendRun(*link, *context.params, *context.prompts, this, this);
        sendFrame = new frmSendFrame(*sendRun, this);
        connect(sendFrame, &frmSendFrame::closedByUser, this, [this] { showSendFrame(false); });
        // The link's reset closes the window (and ends its run) like "Close".
        link->setCloseCommand(owner::sendFrame, [this] { sendFrame->cmdClose_Click(); });
    }
    sendFrame->show();
    if (sendFrameOpen) {
        sendFrame->raise();
        sendFrame->activateWindow();
    }
    showSendFrame(true);
}

void frmMain::showSendFrame(bool open)
{
    sendFrameOpen = open;
    action("mnuRunCANSend")->setChecked(open);
    button("SendCAN")->setChecked(open);
}

void frmMain::mnuViewOptions_Click()
{
    AnalyserSettings settings(*link, *context.db, *context.params, *context.prompts, context.paths.workFolder, this);
    frmAnalyserSettings dialog(settings, this);
    dialog.exec();
}

// ==== Finding one's way: keys, find, copy, recent files, title ============

void frmMain::createNavigation()
{
    TraceNavigator *nav = messageViews->navigator();
    connect(action("mnuMonitorFind"), &QAction::triggered, nav, &TraceNavigator::showFind);
    connect(action("mnuMonitorFindNext"), &QAction::triggered, nav,
            [nav] { nav->findAgain(TraceFind::Direction::next); });
    connect(action("mnuMonitorFindPrevious"), &QAction::triggered, nav,
            [nav] { nav->findAgain(TraceFind::Direction::previous); });
    connect(action("mnuMonitorCopy"), &QAction::triggered, nav, &TraceNavigator::copyRows);
    connect(action("mnuMonitorCopyCandump"), &QAction::triggered, nav, &TraceNavigator::copyCandump);
    connect(action("mnuMonitorFollow"), &QAction::triggered, nav, &TraceNavigator::followNewest);
    // Clearing the list is starting afresh: File › New, which asks to save first.
    connect(action("mnuMonitorClear"), &QAction::triggered, this, [this] {
        if (captureDocument.hasRows())
            fileNew();
    });
    connect(action("mnuRunCaptureStart"), &QAction::triggered, this, &frmMain::startCapture);
    connect(action("mnuRunCaptureStop"), &QAction::triggered, this, &frmMain::stopCapture);
    connect(nav, &TraceNavigator::sendAgainRequested, this, &frmMain::sendAgain);

    recentFiles = std::make_unique<RecentFiles>(*context.params);
    connect(actions->menu(QStringLiteral("mnuFileRecent")), &QMenu::aboutToShow, this, &frmMain::showRecentFiles);
    showRecentFiles();
    connect(&captureDocument, &CaptureDocument::fileNameChanged, this, [this](const QString &name) {
        if (!name.isEmpty())
            recentFiles->add(name);
        showWindowTitle();
    });
    connect(&captureDocument, &CaptureDocument::modifiedChanged, this, &frmMain::showWindowTitle);
    connect(&captureDocument, &CaptureDocument::stateChanged, this, &frmMain::showWindowTitle);
    showWindowTitle();
}

void frmMain::showWindowTitle()
{
    const QString name = captureDocument.titleName();
    // "[*]" is where Qt puts the mark of unsaved changes.
    setWindowTitle(name.isEmpty() ? applicationTitle : name + QStringLiteral("[*] - ") + applicationTitle);
    setWindowModified(!name.isEmpty() && captureDocument.isModified());
}

void frmMain::showRecentFiles()
{
    QMenu *menu = actions->menu(QStringLiteral("mnuFileRecent"));
    menu->clear();
    const QStringList files = recentFiles->files();
    if (files.isEmpty()) {
        QAction *none = menu->addAction(QStringLiteral("(none)"));
        none->setObjectName(QStringLiteral("recentNone"));
        none->setEnabled(false);
        return;
    }
    for (int i = 0; i < files.size(); ++i) {
        const QString file = files[i];
        // "&1 capture.log", the folder in the tool tip.
        QAction *item = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(
            QFileInfo(file).fileName().replace(QLatin1Char('&'), QLatin1String("&&"))));
        item->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
        item->setToolTip(file);
        item->setStatusTip(file);
        connect(item, &QAction::triggered, this, [this, file] { openRecent(file); });
    }
}

void frmMain::openRecent(const QString &fileName)
{
    if (!QFileInfo::exists(fileName)) {
        recentFiles->remove(fileName);
        showRecentFiles();
        context.prompts->message(
            QStringLiteral("The file \"%1\" is no longer there; it is taken off the recent files.").arg(fileName), {},
            Prompts::Icon::Exclamation);
        return;
    }
    openDropped(fileName);
}

void frmMain::startCapture()
{
    if (!captureDocument.isCapturing())
        mnuRunCANCapture_Click();
    if (captureDocument.isCapturing() && !captureWindow->control().isCapturing() &&
        captureWindow->control().startEnabled())
        captureWindow->cmdStart_Click();
}

void frmMain::stopCapture()
{
    if (captureWindow->control().isCapturing() && captureWindow->control().startEnabled())
        captureWindow->cmdStart_Click();
}

void frmMain::sendAgain(const clsFrame &frame)
{
    mnuRunCANSend_Click();
    if (!sendRun->fillFrom(frame))
        context.prompts->message(QStringLiteral("The send window is sending; stop it before sending another frame."),
                                 {}, Prompts::Icon::Exclamation);
}

// ==== The capture: document, views and capture window ======================

void frmMain::createCaptureViews()
{
    messageViews = new MessageViews(captureDocument, *panes, *actions, this);
    connect(messageViews, &MessageViews::statisticsUpdated, this, &frmMain::showStatistics);
    messageModel = messageViews->messages();
    monitorList = messageViews->monitor();
    captureWindow = new frmCapture(*link, this);
    captureWindow->setSink(messageViews);
}

void frmMain::createDocument()
{
    captureDocument.setMessages(messageModel);
    captureDocument.setStoreFolder(context.paths.tempFolder);
    loader = std::make_unique<ProgressLoader>(this);
    captureDocument.setLoader(loader.get());
    connect(&captureDocument, &CaptureDocument::stateChanged, this, &frmMain::showDocumentState);
    connect(&captureDocument, &CaptureDocument::capturingChanged, this, &frmMain::showCapturing);
    connect(&captureDocument, &CaptureDocument::captureCloseRequested, captureWindow, &frmCapture::cmdClose_Click);
    connect(&captureDocument, &CaptureDocument::cleared, messageViews, &MessageViews::clear);
    connect(&captureDocument, &CaptureDocument::loaded, this, [this] {
        dbTree->rebuildID();
        messageViews->showLoaded();
    });
}

void frmMain::showDocumentState()
{
    const bool rows = captureDocument.hasRows();
    for (const char *name : {"mnuFileNew", "mnuFileSaveAs"})
        action(name)->setEnabled(rows);
    action("mnuFileSave")->setEnabled(captureDocument.canSave());
    button("CaptureNew")->setEnabled(rows);
    button("CaptureSave")->setEnabled(rows);
}

void frmMain::showCapturing(bool capturing)
{
    action("mnuRunCANCapture")->setChecked(capturing);
    QAction *capture = button("CaptureCAN");
    capture->setChecked(capturing);
    capture->setIcon(actions->icon(capturing ? QStringLiteral("CaptureCAN2") : QStringLiteral("CaptureCAN1")));
}

void frmMain::fileNew()
{
    if (CaptureDocument::mayDiscard(captureDocument.newCapture()))
        dbTree->rebuildID();
}

void frmMain::setIdIndex(const IdIndex *index)
{
    messageViews->setIdIndex(index);
    captureDocument.setLabels(index); // capture files write the labels
}

void frmMain::setBusTiming(double canSpeed, double canTimer)
{
    captureDocument.setBusTiming(canSpeed, canTimer);
    messageViews->timeLine()->setCanTimer(canTimer);
    messageViews->plotModel()->setTicksPerSecond(canTimer);
}

void frmMain::rebuildLVM()
{
    messageViews->rebuildLVM();
}

void frmMain::mnuRunCANCapture_Click()
{
    if (!captureDocument.isCapturing()) {
        // File › New asks about saving and empties the store; without rows
        // there is no viewed capture to lose.
        if (captureDocument.hasRows())
            fileNew();
        else
            captureDocument.clear();
        Database &db = *context.db;
        ParamStore &params = *context.params;
        const QString speed = displayText(queryValue(
            db, sql::selectSpeed, QVariantList{params.getParam(QStringLiteral("id_CAN_Speed"), QStringLiteral("0"))},
            QStringLiteral("0")));
        const QString timer = displayText(queryValue(
            db, sql::selectTimer, QVariantList{params.getParam(QStringLiteral("id_CAN_Timer"), QStringLiteral("0"))},
            QStringLiteral("0")));
        captureWindow->setSpeedTimer(speed, timer);
        captureWindow->show();
        captureDocument.setCapturing(true);
    } else {
        captureWindow->show();
    }
    captureWindow->raise();
    captureWindow->activateWindow();
}

// ==== Layout, load and close =================================================

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    panes->sizeControls();
}

void frmMain::loadTimer_Timer()
{
    loadTimer->stop();
    TimeLinePanel *timeLine = messageViews->timeLine();
    timeLine->graphLeft = 10;
    timeLine->graphTop = 15;
    timeLine->updatingScroll = false;
    settings->restore();
    panes->sizeControls();
    dbTree->loadCanDb(true, true);
    captureDocument.clear();
    captureDocument.offerRecovery();
    startLink();
    if (!startFile.isEmpty())
        openDropped(std::exchange(startFile, QString()));
}

CaptureDocument::OpenResult frmMain::openDropped(const QString &fileName)
{
    return captureDocument.openPath(fileName);
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && !captureformats::droppedFile(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    const QString file = captureformats::droppedFile(event->mimeData()->urls());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    // The drag source waits for the drop to end: the file opens (and may ask
    // its questions) once it has.
    QTimer::singleShot(0, this, [this, file] { openDropped(file); });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!CaptureDocument::mayDiscard(captureDocument.askToSave())) {
        event->ignore();
        return;
    }
    // The program's other windows, newest first.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        // A floating dock goes with the window; closing it would keep it as hidden.
        if ((*it)->isWindow() && (*it)->isVisible() && !qobject_cast<QDockWidget *>(*it))
            (*it)->close();
    }
    settings->save();

    // The capture was saved or let go: its file goes before the folder.
    captureDocument.store().releaseFile();
    removeTempFolder(context.paths);

    link->stopTimers();
    event->accept();
}
