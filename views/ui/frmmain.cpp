#include "views/ui/frmmain.h"
#include "sim/virtualport.h"

#include "candb/ui/dbtree.h"
#include "core/prompts.h"
#include "link/ui/frmconnect.h"
#include "sender/analysersettings.h"
#include "sender/sendrun.h"
#include "sender/ui/frmanalysersettings.h"
#include "sender/ui/frmsendframe.h"
#include "views/ui/monitorview.h"
// capture views
#include "core/queries.h"
#include "core/params.h"
#include "widgets/drawnicon.h"
#include "link/ui/frmcapture.h"
#include "views/listfont.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"
#include "views/ui/frmrebuildlvm.h"
// time line, capture files, layout and settings
#include "core/capturefile.h"
#include "views/ui/frmload.h"
#include "views/ui/splitterbar.h"
#include "views/ui/timelinepanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <array>

namespace {

// ---- Menu building -------------------------------------------------------

QAction *addItem(QMenu *menu, const char *name, const QString &caption, bool enabled = true)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setEnabled(enabled);
    return action;
}

QAction *addBar(QMenu *menu, const char *name)
{
    QAction *bar = menu->addSeparator();
    bar->setObjectName(QLatin1String(name));
    return bar;
}

QMenu *addSubMenu(QMenu *parent, const char *name, const QString &title)
{
    QMenu *menu = parent->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

// A check mark (or pressed state) that only the program sets: the click runs
// the command, but the toggle Qt applies before triggered() is undone first.
void holdCheckMark(QAction *action)
{
    action->setCheckable(true);
    QObject::connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
}

// ---- Tool-bar pictograms -------------------------------------------------
// Drawn on a 16 x 16 grid and rendered at several sizes.

using Draw = void (*)(QPainter &);

const QColor ink(0x30, 0x30, 0x30);
const QColor blue(0x20, 0x4a, 0x87);
const QColor green(0x2e, 0x8b, 0x2e);
const QColor red(0xcc, 0x1f, 0x1f);
const QColor amber(0xc8, 0x7d, 0x00);

QPen line(const QColor &colour, qreal width = 1.2)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QIcon paintedIcon(Draw draw)
{
    return drawnIcon(draw, {16, 20, 24, 32, 48});
}

// The two wires of the bus along the bottom edge.
void drawBus(QPainter &p)
{
    p.setPen(line(ink, 1.1));
    p.drawLine(QPointF(1, 12.5), QPointF(15, 12.5));
    p.drawLine(QPointF(1, 14.8), QPointF(15, 14.8));
}

// A vertical arrow from y0 to y1 (the head at y1) at x.
void drawArrow(QPainter &p, qreal x, qreal y0, qreal y1, const QColor &colour)
{
    const qreal dir = y1 > y0 ? 1 : -1;
    p.setPen(line(colour, 2));
    p.drawLine(QPointF(x, y0), QPointF(x, y1 - dir * 2.5));
    QPainterPath head;
    head.moveTo(x, y1);
    head.lineTo(x - 3, y1 - dir * 3.5);
    head.lineTo(x + 3, y1 - dir * 3.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
}

void drawSquareWave(QPainter &p, const QColor &colour)
{
    p.setPen(line(colour, 1.5));
    p.setBrush(Qt::NoBrush);
    const QPointF wave[] = {{1, 11}, {3.5, 11}, {3.5, 4}, {7, 4}, {7, 11}, {9, 11}, {9, 4}, {11.5, 4}, {11.5, 7}};
    p.drawPolyline(wave, int(std::size(wave)));
}

void drawNew(QPainter &p)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(13, 5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.setPen(line(ink));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xdd, 0xdd, 0xdd));
    const QPointF fold[] = {{9.5, 1.5}, {9.5, 5}, {13, 5}};
    p.drawPolygon(fold, 3);
}

void drawSave(QPainter &p)
{
    p.setPen(line(ink));
    p.setBrush(QColor(0x34, 0x65, 0xa4));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.2, 1.2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1.5, 8, 5.5));
    p.setBrush(QColor(0xcc, 0xcc, 0xcc));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    p.setBrush(ink);
    p.drawRect(QRectF(9, 10.5, 1.5, 3));
}

void drawOpen(QPainter &p)
{
    p.setPen(line(ink));
    p.setBrush(QColor(0xd9, 0xa4, 0x41));
    const QPointF back[] = {{1, 3}, {6, 3}, {7.5, 4.8}, {13.5, 4.8}, {13.5, 14}, {1, 14}};
    p.drawPolygon(back, int(std::size(back)));
    p.setBrush(QColor(0xfc, 0xd9, 0x75));
    const QPointF front[] = {{1, 14}, {3.5, 7.5}, {15.5, 7.5}, {13.5, 14}};
    p.drawPolygon(front, int(std::size(front)));
}

void drawTest(QPainter &p)
{
    p.setPen(line(QColor(0x6b, 0x4a, 0x1e), 2.6));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(line(blue, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(6.5, 6.5), 5, 5);
    p.setPen(line(green, 1.2));
    const QPointF wave[] = {{3, 8}, {4.8, 8}, {4.8, 5}, {8, 5}, {8, 8}, {10, 8}};
    p.drawPolyline(wave, int(std::size(wave)));
}

void drawReset(QPainter &p)
{
    p.setPen(line(red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 290 * 16);
    QPainterPath head;
    head.moveTo(6.2, 0.6);
    head.lineTo(10.2, 3.2);
    head.lineTo(5.8, 5.4);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawPath(head);
}

void drawStandby(QPainter &p)
{
    p.setPen(line(amber, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
    p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
}

void drawListen(QPainter &p)
{
    drawBus(p);
    drawArrow(p, 8, 11, 1.5, blue);
}

void drawEnable(QPainter &p)
{
    drawBus(p);
    drawArrow(p, 5, 11, 1.5, blue);
    drawArrow(p, 11, 1.5, 11, green);
}

void drawCapture1(QPainter &p)
{
    drawSquareWave(p, blue);
    p.setPen(line(Qt::white, 1));
    p.setBrush(red);
    p.drawEllipse(QPointF(11.8, 11.8), 3.6, 3.6);
}

void drawCapture2(QPainter &p)
{
    drawSquareWave(p, green);
    p.setPen(line(Qt::white, 1));
    p.setBrush(red);
    p.drawRect(QRectF(8.5, 8.5, 6.5, 6.5));
}

void drawSend(QPainter &p)
{
    drawBus(p);
    p.setPen(line(ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 8.5, 6));
    const QPointF flap[] = {{1.5, 1.5}, {5.75, 5}, {10, 1.5}};
    p.drawPolyline(flap, 3);
    drawArrow(p, 12.5, 1.5, 11, green);
}

void drawCheck(QPainter &p)
{
    p.setPen(line(green, 2.6));
    p.setBrush(Qt::NoBrush);
    const QPointF tick[] = {{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}};
    p.drawPolyline(tick, 3);
}

// The tool bar: key (object name), tool tip, image key; "" is a gap.
struct ToolButton
{
    const char *key;
    const char *toolTip;
    const char *image;
    bool pressable;
};

constexpr std::array<ToolButton, 13> toolButtons{{
    {"CaptureNew", "New", "CaptureNew", false},
    {"CaptureSave", "Save", "CaptureSave", false},
    {"CaptureOpen", "Open as stream...", "CaptureOpen", false},
    {"", "", "", false},
    {"TestCAN", "Test connection", "TestCAN", false},
    {"ResetCAN", "Reset CAN", "ResetCAN", false},
    {"", "", "", false},
    {"StandbyCAN", "Disable Mode", "StandbyCAN", true},
    {"ListenCAN", "Listen Mode", "ListenCAN", true},
    {"EnableCAN", "Enable Mode", "EnableCAN", true},
    {"", "", "", false},
    {"CaptureCAN", "CAN Capture", "CaptureCAN1", true},
    {"SendCAN", "Send Frame to CAN", "SendCAN", true},
}};

// Mode bits 0 to 5 of the analyser status byte, and the capture bit.
constexpr quint8 modeMask = 0x3f;
constexpr quint8 captureBit = 0x80;

} // namespace

frmMain::frmMain(AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , context(context)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(applicationTitle);
    createMenus();
    createToolBar();
    createStatusBar();
    createPanes();
    createLink();
    createSender();
    createCaptureViews();
    createTimeLine(); // time line, capture files, layout and settings
    resize(1000, 680);
    createLayout();
    createDbTree();
}

// The data base panel and its ties to the capture views: the lists take labels
// and check boxes from the data base model, which keeps the monitor rows in step.
void frmMain::createDbTree()
{
    const CanDbPanel panel{
        .cmbDB_Name = cmbDB_Name,
        .cmdDB_Property = cmdDB_Property,
        .tvDB_IDs = tvDB_IDs,
        .mnuCAN = mnuCAN,
        .mnuCAN_New = mnuCAN_New,
        .mnuCAN_DB = mnuCAN_DB,
        .mnuCAN_DB_New = mnuCAN_DB_New,
        .mnuCAN_DB_Edit = mnuCAN_DB_Edit,
        .mnuCAN_DB_Delete = mnuCAN_DB_Delete,
        .mnuCAN_DB_Expand = mnuCAN_DB_Expand,
        .mnuCAN_DB_Collapse = mnuCAN_DB_Collapse,
        .mnuCAN_Devices = mnuCAN_Devices,
        .mnuCAN_Devices_New = mnuCAN_Devices_New,
        .mnuCAN_Devices_Edit = mnuCAN_Devices_Edit,
        .mnuCAN_Devices_Delete = mnuCAN_Devices_Delete,
        .mnuCAN_Devices_Expand = mnuCAN_Devices_Expand,
        .mnuCAN_Devices_Collapse = mnuCAN_Devices_Collapse,
        .mnuCAN_IDs = mnuCAN_IDs,
        .mnuCAN_IDs_New = mnuCAN_IDs_New,
        .mnuCAN_IDs_Edit = mnuCAN_IDs_Edit,
        .mnuCAN_IDs_Delete = mnuCAN_IDs_Delete,
    };
    dbTree = new DbTree(context, panel, this);
    connect(dbTree, &DbTree::linkResetRequested, link, &PacketLink::resetLink);
    connect(dbTree, &DbTree::rebuildViews, this, &frmMain::rebuildLVM);
    connect(dbTree, &DbTree::canTimingChanged, this, &frmMain::setBusTiming);
    connect(dbTree, &DbTree::canDbMenuChanged, this, &frmMain::setCanDbMenu);
    connect(mnuRunCANCapture, &QAction::toggled, dbTree, &DbTree::setCaptureRunning);
    setIdIndex(&dbTree->model());
    dbTree->setMonitorRows(monitorList);
    connect(monitorList, &MonitorList::nodeCheckRequested, &dbTree->model(), &CanDbModel::checkNode);
    connect(monitorList, &MonitorList::addIdRequested, dbTree, &DbTree::addID);
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
    delete captureWindow; // capture views
    captureWindow = nullptr;
    // capture views: the list models read captureStore, a member that is
    // destroyed before the window's children; they go first.
    lvListViewMessages->setModel(nullptr);
    lvListViewID->setModel(nullptr);
    delete messageModel;
    messageModel = nullptr;
    captureStore.setFilter(nullptr);
    runCommands.reset();
}

void frmMain::createLink()
{
    link = new PacketLink(*context.params, *context.prompts, makeLinkPort, this);
    link->setDisplay(this);
    link->initProcesses();
    runCommands = std::make_unique<RunCommands>(*link, this);
    connect(mnuRunTestCAN, &QAction::triggered, this, [this] { runCommands->testCAN(); });
    connect(mnuRunResetCAN, &QAction::triggered, this, [this] { runCommands->resetCAN(); });
    connect(mnuRunStandbyCAN, &QAction::triggered, this, [this] { runCommands->standbyCAN(); });
    connect(mnuRunListenCAN, &QAction::triggered, this, [this] { runCommands->listenCAN(); });
    connect(mnuRunEnableCAN, &QAction::triggered, this, [this] { runCommands->enableCAN(); });
    // The link's timers start on the load tick (loadTimer_Timer).
}

void frmMain::startLink()
{
    if (!connectWindow)
        connectWindow = new frmConnect(context, *link, this);
    link->startTimers();
}

void frmMain::createMenus()
{
    QMenuBar *bar = menuBar();

    mnuFile = bar->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileNew = addItem(mnuFile, "mnuFileNew", QStringLiteral("New"), false);
    mnuFileBar0 = addBar(mnuFile, "mnuFileBar0");
    mnuFileOpen = addItem(mnuFile, "mnuFileOpen", QStringLiteral("Open..."));
    mnuFileBar1 = addBar(mnuFile, "mnuFileBar1");
    mnuFileSave = addItem(mnuFile, "mnuFileSave", QStringLiteral("Save"), false);
    mnuFileSaveAs = addItem(mnuFile, "mnuFileSaveAs", QStringLiteral("Save As..."), false);
    mnuFileBar2 = addBar(mnuFile, "mnuFileBar2");
    mnuFileExit = addItem(mnuFile, "mnuFileExit", QStringLiteral("Exit"));
    connect(mnuFileExit, &QAction::triggered, this, &QWidget::close);

    // The CAN sub-menus nest (CAN DB inside CAN, Devices inside CAN DB, IDs
    // inside Devices) and double as the tree's pop-up menus.
    mnuCAN = bar->addMenu(QStringLiteral("CAN"));
    mnuCAN->setObjectName(QStringLiteral("mnuCAN"));
    mnuCAN_New = addItem(mnuCAN, "mnuCAN_New", QStringLiteral("New"));
    mnuCAN_Bar0 = addBar(mnuCAN, "mnuCAN_Bar0");
    mnuCAN_Import = addItem(mnuCAN, "mnuCAN_Import", QStringLiteral("Import"));
    mnuCAN_Bar1 = addBar(mnuCAN, "mnuCAN_Bar1");
    mnuCAN_DB = addSubMenu(mnuCAN, "mnuCAN_DB", QStringLiteral("CAN DB : "));
    mnuCAN_DB_New = addItem(mnuCAN_DB, "mnuCAN_DB_New", QStringLiteral("New"));
    mnuCAN_DB_Edit = addItem(mnuCAN_DB, "mnuCAN_DB_Edit", QStringLiteral("Edit"));
    mnuCAN_DB_Delete = addItem(mnuCAN_DB, "mnuCAN_DB_Delete", QStringLiteral("Delete"));
    addBar(mnuCAN_DB, "mnuCAN_DB_Bar0");
    mnuCAN_DB_Export = addItem(mnuCAN_DB, "mnuCAN_DB_Export", QStringLiteral("Export"));
    addBar(mnuCAN_DB, "mnuCAN_DB_Bar1");
    mnuCAN_DB_Expand = addItem(mnuCAN_DB, "mnuCAN_DB_Expand", QStringLiteral("Expand"));
    mnuCAN_DB_Collapse = addItem(mnuCAN_DB, "mnuCAN_DB_Collapse", QStringLiteral("Collapse"));
    mnuCAN_DB_Bar2 = addBar(mnuCAN_DB, "mnuCAN_DB_Bar2");
    mnuCAN_Devices = addSubMenu(mnuCAN_DB, "mnuCAN_Devices", QStringLiteral("Devices"));
    mnuCAN_Devices_New = addItem(mnuCAN_Devices, "mnuCAN_Devices_New", QStringLiteral("New"));
    mnuCAN_Devices_Edit = addItem(mnuCAN_Devices, "mnuCAN_Devices_Edit", QStringLiteral("Edit"), false);
    mnuCAN_Devices_Delete = addItem(mnuCAN_Devices, "mnuCAN_Devices_Delete", QStringLiteral("Delete"), false);
    addBar(mnuCAN_Devices, "mnuCAN_Devices_Bar0");
    mnuCAN_Devices_Expand = addItem(mnuCAN_Devices, "mnuCAN_Devices_Expand", QStringLiteral("Expand"), false);
    mnuCAN_Devices_Collapse = addItem(mnuCAN_Devices, "mnuCAN_Devices_Collapse", QStringLiteral("Collapse"), false);
    addBar(mnuCAN_Devices, "mnuCAN_Devices_Bar1");
    mnuCAN_IDs = addSubMenu(mnuCAN_Devices, "mnuCAN_IDs", QStringLiteral("IDs"));
    mnuCAN_IDs_New = addItem(mnuCAN_IDs, "mnuCAN_IDs_New", QStringLiteral("New"));
    mnuCAN_IDs_Edit = addItem(mnuCAN_IDs, "mnuCAN_IDs_Edit", QStringLiteral("Edit"), false);
    mnuCAN_IDs_Delete = addItem(mnuCAN_IDs, "mnuCAN_IDs_Delete", QStringLiteral("Delete"), false);
    addBar(mnuCAN_IDs, "mnuCAN_IDs_Bar0");
    mnuCAN_IDs_Expand = addItem(mnuCAN_IDs, "mnuCAN_IDs_Expand", QStringLiteral("Expand"));
    mnuCAN_IDs_Collapse = addItem(mnuCAN_IDs, "mnuCAN_IDs_Collapse", QStringLiteral("Collapse"));
    mnuCAN_IDs_Expand->setVisible(false);
    mnuCAN_IDs_Collapse->setVisible(false);
    setCanDbMenu(false);

    mnuRun = bar->addMenu(QStringLiteral("Run"));
    mnuRun->setObjectName(QStringLiteral("mnuRun"));
    mnuRunTestCAN = addItem(mnuRun, "mnuRunTestCAN", QStringLiteral("Test connection"));
    addBar(mnuRun, "mnuRunBar0");
    mnuRunResetCAN = addItem(mnuRun, "mnuRunResetCAN", QStringLiteral("Reset CAN"));
    mnuRunStandbyCAN = addItem(mnuRun, "mnuRunStandbyCAN", QStringLiteral("Disable Mode"));
    mnuRunListenCAN = addItem(mnuRun, "mnuRunListenCAN", QStringLiteral("Listen Mode"));
    mnuRunEnableCAN = addItem(mnuRun, "mnuRunEnableCAN", QStringLiteral("Enable Mode"));
    addBar(mnuRun, "mnuRunBar1");
    mnuRunCANCapture = addItem(mnuRun, "mnuRunCANCapture", QStringLiteral("CAN Capture"));
    mnuRunCANSend = addItem(mnuRun, "mnuRunCANSend", QStringLiteral("CAN Send Frame"));
    for (QAction *action : {mnuRunStandbyCAN, mnuRunListenCAN, mnuRunEnableCAN, mnuRunCANCapture, mnuRunCANSend})
        holdCheckMark(action);

    mnuMonitor = bar->addMenu(QStringLiteral("Monitor"));
    mnuMonitor->setObjectName(QStringLiteral("mnuMonitor"));
    mnuMonitor_Frame = addSubMenu(mnuMonitor, "mnuMonitor_Frame", QStringLiteral("Frame"));
    mnuMonitor_Frame_Delete = addItem(mnuMonitor_Frame, "mnuMonitor_Frame_Delete", QStringLiteral("Delete"));
    mnuMonitor_ID = addSubMenu(mnuMonitor, "mnuMonitor_ID", QStringLiteral("ID"));
    mnuMonitor_ID_Copy = addItem(mnuMonitor_ID, "mnuMonitor_ID_Copy", QStringLiteral("Copy to CAN Data Base"));
    mnuMonitor_ID_Bar = addBar(mnuMonitor_ID, "mnuMonitor_ID_Bar");
    mnuMonitor_ID_Enable = addItem(mnuMonitor_ID, "mnuMonitor_ID_Enable", QStringLiteral("Viewed"));
    holdCheckMark(mnuMonitor_ID_Enable);
    mnuMonitor_ID_Enable->setChecked(true);

    mnuView = bar->addMenu(QStringLiteral("View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuView_VSplitter = addSubMenu(mnuView, "mnuView_VSplitter", QStringLiteral("V-Splitter"));
    mnuView_VSplitter1 = addItem(mnuView_VSplitter, "mnuView_VSplitter1", QStringLiteral("20/70/10"));
    mnuView_HSplitter = addSubMenu(mnuView, "mnuView_HSplitter", QStringLiteral("H-Splitter"));
    mnuView_HSplitter1 = addItem(mnuView_HSplitter, "mnuView_HSplitter1", QStringLiteral("70/30"));
    addBar(mnuView, "mnuViewBar0");
    mnuViewToolbar = addItem(mnuView, "mnuViewToolbar", QStringLiteral("Toolbar"));
    mnuViewStatusBar = addItem(mnuView, "mnuViewStatusBar", QStringLiteral("Status Bar"));
    for (QAction *action : {mnuViewToolbar, mnuViewStatusBar}) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    connect(mnuViewToolbar, &QAction::triggered, this, &frmMain::mnuViewToolbar_Click);
    connect(mnuViewStatusBar, &QAction::triggered, this, &frmMain::mnuViewStatusBar_Click);
    addBar(mnuView, "mnuViewBar1");
    mnuViewOptions = addItem(mnuView, "mnuViewOptions", QStringLiteral("Options..."));

    mnuHelp = bar->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = addItem(mnuHelp, "mnuHelpContents", QStringLiteral("Contents"));
    mnuHelpSearchForHelpOn = addItem(mnuHelp, "mnuHelpSearchForHelpOn", QStringLiteral("Search For Help On..."));
    addBar(mnuHelp, "mnuHelpBar0");
    mnuHelpAbout = addItem(mnuHelp, "mnuHelpAbout", QStringLiteral("About"));
    // There is no help file, so both help items say so.
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpSearchForHelpOn, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::createToolBar()
{
    imlToolbarIcons = {
        {QStringLiteral("CaptureNew"), paintedIcon(drawNew)},
        {QStringLiteral("CaptureSave"), paintedIcon(drawSave)},
        {QStringLiteral("CaptureOpen"), paintedIcon(drawOpen)},
        {QStringLiteral("TestCAN"), paintedIcon(drawTest)},
        {QStringLiteral("ResetCAN"), paintedIcon(drawReset)},
        {QStringLiteral("StandbyCAN"), paintedIcon(drawStandby)},
        {QStringLiteral("ListenCAN"), paintedIcon(drawListen)},
        {QStringLiteral("EnableCAN"), paintedIcon(drawEnable)},
        {QStringLiteral("CaptureCAN1"), paintedIcon(drawCapture1)},
        {QStringLiteral("CaptureCAN2"), paintedIcon(drawCapture2)},
        {QStringLiteral("SendCAN"), paintedIcon(drawSend)},
        {QStringLiteral("Check"), paintedIcon(drawCheck)},
    };

    tbToolBar = addToolBar(QStringLiteral("Toolbar"));
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(20, 20));
    // Only View › Toolbar hides the bar, so its check mark always tells the truth.
    tbToolBar->setContextMenuPolicy(Qt::PreventContextMenu);

    for (const ToolButton &button : toolButtons) {
        if (!*button.key) {
            tbToolBar->addSeparator();
            continue;
        }
        const QString key = QLatin1String(button.key);
        QAction *action =
            tbToolBar->addAction(imlToolbarIcons.value(QLatin1String(button.image)), QLatin1String(button.toolTip));
        action->setObjectName(key);
        action->setToolTip(QLatin1String(button.toolTip));
        // Pressed by the commands themselves (mode shown, capture and send windows open).
        if (button.pressable)
            holdCheckMark(action);
        connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
    // Nothing to start afresh or save before the first capture, as in the File menu.
    tbButton(QStringLiteral("CaptureNew"))->setEnabled(false);
    tbButton(QStringLiteral("CaptureSave"))->setEnabled(false);
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
}

void frmMain::createPanes()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);

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

    // The time line (pictOscilograph) is made with the capture views it shows;
    // SizeControls places every pane from the splitter positions.
}

QAction *frmMain::tbButton(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    const QList<QAction *> actions = tbToolBar->actions();
    for (QAction *action : actions)
        if (action->objectName() == key)
            return action;
    return nullptr;
}

void frmMain::tbToolBar_ButtonClick(const QString &key)
{
    QAction *command = nullptr;
    if (key == QLatin1String("CaptureNew"))
        command = mnuFileNew;
    else if (key == QLatin1String("CaptureSave"))
        command = mnuFileSave->isEnabled() ? mnuFileSave : mnuFileSaveAs;
    else if (key == QLatin1String("CaptureOpen"))
        command = mnuFileOpen;
    else if (key == QLatin1String("TestCAN"))
        command = mnuRunTestCAN;
    else if (key == QLatin1String("ResetCAN"))
        command = mnuRunResetCAN;
    else if (key == QLatin1String("StandbyCAN"))
        command = mnuRunStandbyCAN;
    else if (key == QLatin1String("ListenCAN"))
        command = mnuRunListenCAN;
    else if (key == QLatin1String("EnableCAN"))
        command = mnuRunEnableCAN;
    else if (key == QLatin1String("CaptureCAN"))
        command = mnuRunCANCapture;
    else if (key == QLatin1String("SendCAN"))
        command = mnuRunCANSend;
    if (command)
        command->trigger();
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
        QAction *menu;
        const char *button;
        const char *text;
    };
    // Modes 1 to 4; mode 1 (Reset) has no menu check or pressed button.
    const Mode modes[] = {{nullptr, nullptr, "Reset"},
                          {mnuRunStandbyCAN, "StandbyCAN", "Disable"},
                          {mnuRunListenCAN, "ListenCAN", "Listen"},
                          {mnuRunEnableCAN, "EnableCAN", "Enable"}};
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
        m.menu->setChecked(current);
        tbButton(QLatin1String(m.button))->setChecked(current);
    }
    setStatusPanel(2, QStringLiteral("CAN Mode : ") + (shown ? QLatin1String(shown->text) : QLatin1String("")));
}

void frmMain::setCanDbMenu(bool current, const QString &dbName)
{
    mnuCAN_Bar1->setVisible(current);
    mnuCAN_DB->menuAction()->setVisible(current);
    // A name is shown as typed: "&" would otherwise turn into a mnemonic.
    mnuCAN_DB->setTitle(QStringLiteral("CAN DB : ") + QString(dbName).replace(QLatin1Char('&'), QLatin1String("&&")));
}

void frmMain::mnuViewToolbar_Click()
{
    tbToolBar->setVisible(mnuViewToolbar->isChecked());
    SizeControls();
}

void frmMain::mnuViewStatusBar_Click()
{
    sbStatusBarCAN->setVisible(mnuViewStatusBar->isChecked());
    SizeControls();
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

// ---- Frame sender and analyser settings -------------------------------------

void frmMain::createSender()
{
    connect(mnuRunCANSend, &QAction::triggered, this, &frmMain::mnuRunCANSend_Click);
    connect(mnuViewOptions, &QAction::triggered, this, &frmMain::mnuViewOptions_Click);
}

void frmMain::mnuRunCANSend_Click()
{
    if (!sendFrame) {
        sendRun = new SendRun(*link, *context.params, *context.prompts, this, this);
        sendFrame = new frmSendFrame(*sendRun, this);
        connect(sendFrame, &frmSendFrame::closedByUser, this, [this] {
            mnuRunCANSend->setChecked(false);
            tbButton(QStringLiteral("SendCAN"))->setChecked(false);
        });
        // The link's reset closes the window (and ends its run) like "Close".
        link->setCloseCommand(owner::sendFrame, [this] { sendFrame->cmdClose_Click(); });
    }
    if (!mnuRunCANSend->isChecked()) {
        sendFrame->show();
        mnuRunCANSend->setChecked(true);
    } else {
        sendFrame->show();
        sendFrame->raise();
        sendFrame->activateWindow();
    }
    tbButton(QStringLiteral("SendCAN"))->setChecked(true);
}

void frmMain::mnuViewOptions_Click()
{
    AnalyserSettings settings(*link, *context.db, *context.params, *context.prompts, context.paths.workFolder, this);
    frmAnalyserSettings dialog(settings, this);
    dialog.exec();
}

// ==== Capture views: store, message list, monitor list, capture window =====

void frmMain::createCaptureViews()
{
    messageModel = new MessageModel(captureStore, this);
    monitorList = new MonitorList(this);
    captureStore.setFilter(monitorList);

    lvListViewMessages->setModel(messageModel);
    lvListViewMessages->setFont(listFont());
    lvListViewMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvListViewMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    lvListViewMessages->setAllColumnsShowFocus(true);
    lvListViewMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvListViewMessages->header()->setSectionsClickable(true);
    lvListViewMessages->header()->setSortIndicatorShown(true);
    lvListViewMessages->header()->setSortIndicator(MessageModel::colNum, Qt::AscendingOrder);
    connect(lvListViewMessages->header(), &QHeaderView::sectionClicked, this, &frmMain::lvListViewMessages_ColumnClick);
    connect(lvListViewMessages, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { lvListViewMessages_ItemClick(index.row()); });

    lvListViewID->setMonitorList(monitorList);
    connect(monitorList, &MonitorList::rebuildRequested, this, &frmMain::rebuildLVM);
    connect(mnuRunCANCapture, &QAction::toggled, monitorList, &MonitorList::setCaptureRunning);
    connect(lvListViewID, &MonitorView::popupRequested, this, [this](int row, const QPoint &at) {
        if (row < 0)
            return;
        mnuMonitor_ID_Enable->setChecked(monitorList->row(row).checked);
        mnuMonitor_ID->setDefaultAction(mnuMonitor_ID_Copy);
        mnuMonitor_ID->popup(at);
    });
    connect(mnuMonitor_ID_Copy, &QAction::triggered, this, [this] {
        const int row = lvListViewID->currentKeyRow();
        if (row >= 0)
            monitorList->copyToDataBase(row, true);
    });
    connect(mnuMonitor_ID_Enable, &QAction::triggered, this, [this] {
        const int row = lvListViewID->currentKeyRow();
        if (row >= 0)
            monitorList->toggleViewed(row);
    });

    captureWindow = new frmCapture(*link, this);
    captureWindow->setSink(this);
    connect(mnuRunCANCapture, &QAction::triggered, this, &frmMain::mnuRunCANCapture_Click);
}

void frmMain::setIdIndex(const IdIndex *index)
{
    messageModel->setIdIndex(index);
    monitorList->setIdIndex(index);
    captureLabels = index; // capture files write the labels
}

bool frmMain::addCapturedFrame(const clsFrame &frame)
{
    return captureStore.addCapturedFrame(frame);
}

int frmMain::addCANFrame(const clsFrame &, qsizetype number)
{
    enableCaptureMenus();
    return messageModel->addCANFrame(number);
}

void frmMain::enableCaptureMenus()
{
    // Called for every run of rows: touch the menus only when they change.
    const bool saveToo = !captureStore.captureFileName.isEmpty();
    if (mnuFileNew->isEnabled() && mnuFileSaveAs->isEnabled() && (!saveToo || mnuFileSave->isEnabled()))
        return;
    if (saveToo)
        mnuFileSave->setEnabled(true);
    mnuFileSaveAs->setEnabled(true);
    mnuFileNew->setEnabled(true);
    tbButton(QStringLiteral("CaptureSave"))->setEnabled(true);
    tbButton(QStringLiteral("CaptureNew"))->setEnabled(true);
}

void frmMain::setNewCapturingData()
{
    capturedRows.clear();
    captureStore.clear();
    messageModel->clearRows();
    monitorList->clear();
    for (QAction *action : {mnuFileNew, mnuFileSave, mnuFileSaveAs})
        action->setEnabled(false);
    tbButton(QStringLiteral("CaptureNew"))->setEnabled(false);
    tbButton(QStringLiteral("CaptureSave"))->setEnabled(false);
    emit captureCleared();
}

void frmMain::rebuildLVM()
{
    if (!captureStore.isEmpty()) {
        frmRebuildLVM window(*messageModel, captureStore.count(), this);
        window.exec();
        selectMessageRow(window.selectedRow());
    }
    emit captureSelectionMoved();
}

void frmMain::selectMessageRow(int row)
{
    if (row < 0 || row >= messageModel->count()) {
        lvListViewMessages->clearSelection();
        return;
    }
    const QModelIndex index = messageModel->index(row, 0);
    lvListViewMessages->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                     QItemSelectionModel::Rows);
    lvListViewMessages->scrollTo(index);
}

void frmMain::lvListViewMessages_ColumnClick(int column)
{
    if (!messageModel->columnClick(column)) {
        // The header shows the order actually in force.
        lvListViewMessages->header()->setSortIndicator(messageModel->sortColumn(), messageModel->sortOrder());
        return;
    }
    lvListViewMessages->header()->setSortIndicator(messageModel->sortColumn(), messageModel->sortOrder());
    if (captureStore.currentRow > 0)
        lvListViewMessages->scrollTo(messageModel->index(captureStore.currentRow - 1, 0));
}

void frmMain::lvListViewMessages_ItemClick(int row)
{
    if (messageModel->rowClick(row))
        emit captureSelectionMoved();
}

void frmMain::mnuRunCANCapture_Click()
{
    if (!mnuRunCANCapture->isChecked()) {
        // File/New asks about saving and empties the store; while it is
        // disabled there is no viewed capture to lose.
        if (mnuFileNew->isEnabled())
            mnuFileNew->trigger();
        else
            setNewCapturingData();
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
        mnuRunCANCapture->setChecked(true);
    } else {
        captureWindow->show();
    }
    captureWindow->raise();
    captureWindow->activateWindow();
    QAction *button = tbButton(QStringLiteral("CaptureCAN"));
    button->setChecked(true);
    button->setIcon(imlToolbarIcons.value(QStringLiteral("CaptureCAN2")));
}

bool frmMain::captureFrame(const clsFrame &frame)
{
    if (!addCapturedFrame(frame))
        return false;
    capturedRows.push_back(quint32(captureStore.count() - 1));
    return true;
}

void frmMain::captureBatchDone()
{
    // The rows of a whole decoding run in one go (nothing is painted in
    // between), the newest one selected and scrolled into view.
    if (capturedRows.empty())
        return;
    enableCaptureMenus();
    const int row = messageModel->addCANFrames(capturedRows);
    capturedRows.clear();
    selectMessageRow(row);
}

void frmMain::resetViewScroll()
{
    emit viewScrollReset();
}

void frmMain::captureClosed()
{
    mnuRunCANCapture->setChecked(false);
    QAction *button = tbButton(QStringLiteral("CaptureCAN"));
    button->setChecked(false);
    button->setIcon(imlToolbarIcons.value(QStringLiteral("CaptureCAN1")));
    emit viewScrollReset();
    rebuildLVM();
}

// ==== Time line, capture files, layout and settings ==========================

namespace {

const QString keySplitterWidth = QStringLiteral("SplitterWidth");
const QString keyMainState = QStringLiteral("MainState");
const QString keyMainLeft = QStringLiteral("MainLeft");
const QString keyMainTop = QStringLiteral("MainTop");
const QString keyMainWidth = QStringLiteral("MainWidth");
const QString keyMainHeight = QStringLiteral("MainHeight");
const QString keyVSplitter = QStringLiteral("V-Splitter");
const QString keyHSplitter = QStringLiteral("H-Splitter");
const QString keyMessagesColWidth = QStringLiteral("ListViewMessages_ColWidth");
const QString keyIDColWidth = QStringLiteral("ListViewID_ColWidth");

const QString fileFilter = QStringLiteral("TXT-files (*.txt);;All files (*)");

// Splitter widths that still leave a bar to grab and panes to see.
constexpr int minSplitterPixels = 2;
constexpr int maxSplitterPixels = 40;
constexpr int maxColumnPixels = 4000;

} // namespace

void frmMain::createTimeLine()
{
    pictOscilograph = new TimeLinePanel(captureStore, *messageModel, centralWidget());
    connect(pictOscilograph, &TimeLinePanel::rowSelected, this, &frmMain::selectMessageRow);
    connect(this, &frmMain::captureSelectionMoved, pictOscilograph, [this] {
        pictOscilograph->setScroll_View();
        pictOscilograph->drawOscilograph();
    });
    connect(this, &frmMain::captureCleared, pictOscilograph, &TimeLinePanel::clearScroll);
    connect(this, &frmMain::viewScrollReset, pictOscilograph, [this] {
        pictOscilograph->setScroll_Begin();
        pictOscilograph->drawOscilograph();
    });

    connect(mnuFileNew, &QAction::triggered, this, [this] { newCapture(true); });
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileSave, &QAction::triggered, this, [this] { writeCaptureFile(); });
    connect(mnuFileSaveAs, &QAction::triggered, this, [this] { saveCaptureAs(); });

    loadTimer = new QTimer(this);
    loadTimer->setObjectName(QStringLiteral("loadTimer"));
    loadTimer->setSingleShot(true);
    loadTimer->setInterval(100);
    connect(loadTimer, &QTimer::timeout, this, &frmMain::loadTimer_Timer);
    loadTimer->start();
}

void frmMain::createLayout()
{
    QWidget *central = centralWidget();
    for (int k = 0; k < MainLayout::verticalSplitters; ++k) {
        imgSplitter[k] = new SplitterBar(Qt::Vertical, k, central);
        connect(imgSplitter[k], &SplitterBar::mouseDown, this,
                [this, k](Qt::MouseButton b, QPoint p, QPoint g) { splitterMouseDown(imgSplitter[k], b, p, g); });
        connect(imgSplitter[k], &SplitterBar::mouseMove, this,
                [this, k](QPoint p) { splitterMouseMove(imgSplitter[k], p); });
        connect(imgSplitter[k], &SplitterBar::mouseUp, this, [this, k] { splitterMouseUp(imgSplitter[k]); });
    }
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k) {
        imgSplitterH[k] = new SplitterBar(Qt::Horizontal, k, central);
        connect(imgSplitterH[k], &SplitterBar::mouseDown, this,
                [this, k](Qt::MouseButton b, QPoint p, QPoint g) { splitterMouseDown(imgSplitterH[k], b, p, g); });
        connect(imgSplitterH[k], &SplitterBar::mouseMove, this,
                [this, k](QPoint p) { splitterMouseMove(imgSplitterH[k], p); });
        connect(imgSplitterH[k], &SplitterBar::mouseUp, this, [this, k] { splitterMouseUp(imgSplitterH[k]); });
    }
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

    connect(mnuView_VSplitter1, &QAction::triggered, this, &frmMain::mnuView_VSplitter1_Click);
    connect(mnuView_HSplitter1, &QAction::triggered, this, &frmMain::mnuView_HSplitter1_Click);

    setMinimumSize(twipsToPixels(5000, dpiX()), twipsToPixels(3000, dpiY()));
    // Until the settings are read: the first-start positions for the design size.
    const QSize inner = innerSize();
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        mainLayout.vSplitter[size_t(k)] = MainLayout::defaultVertical(k, inner.width());
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        mainLayout.hSplitter[size_t(k)] = MainLayout::defaultHorizontal(k, inner.height());
    SizeControls();
}

double frmMain::dpiX() const
{
    return logicalDpiX() > 0 ? logicalDpiX() : 96;
}

double frmMain::dpiY() const
{
    return logicalDpiY() > 0 ? logicalDpiY() : 96;
}

QSize frmMain::innerSize() const
{
    const QWidget *menu = menuWidget();
    const int menuHeight = menu && !menu->isHidden() ? menu->sizeHint().height() : 0;
    return QSize(width(), std::max(height() - menuHeight, 0));
}

void frmMain::SizeControls()
{
    if (!pictOscilograph || !imgSplitter[0])
        return;
    const int toolBarHeight = tbToolBar->isHidden() ? 0 : tbToolBar->sizeHint().height();
    const int statusBarHeight = sbStatusBarCAN->isHidden() ? 0 : sbStatusBarCAN->sizeHint().height();
    mainLayout.sizeControls(innerSize(), toolBarHeight, statusBarHeight);

    // The panes live in the central widget, which starts below the tool bar.
    const QWidget *menu = menuWidget();
    const int menuHeight = menu && !menu->isHidden() ? menu->sizeHint().height() : 0;
    const QPoint offset = centralWidget()->geometry().topLeft() - QPoint(0, menuHeight);
    const auto place = [&offset](QWidget *widget, const QRect &rect) { widget->setGeometry(rect.translated(-offset)); };
    place(picDB, mainLayout.picDB);
    place(lvListViewMessages, mainLayout.lvListViewMessages);
    place(lvListViewID, mainLayout.lvListViewID);
    place(pictOscilograph, mainLayout.pictOscilograph);
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        place(imgSplitter[k], mainLayout.imgSplitter[size_t(k)]);
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        place(imgSplitterH[k], mainLayout.imgSplitterH[size_t(k)]);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    SizeControls();
}

void frmMain::mnuView_VSplitter1_Click()
{
    mainLayout.presetVertical(innerSize().width());
    SizeControls();
}

void frmMain::mnuView_HSplitter1_Click()
{
    mainLayout.presetHorizontal(innerSize().height());
    SizeControls();
}

void frmMain::splitterMouseDown(SplitterBar *bar, Qt::MouseButton button, QPoint position, QPoint globalPosition)
{
    const bool vertical = bar->orientation() == Qt::Vertical;
    if (button == Qt::RightButton) {
        (vertical ? mnuView_VSplitter : mnuView_HSplitter)->popup(globalPosition);
        return;
    }
    if (button != Qt::LeftButton)
        return;
    QWidget *dragBar = vertical ? picSplitter : picSplitterH;
    const QRect g = bar->geometry();
    dragBar->setGeometry(vertical ? QRect(g.left(), g.top(), std::max(g.width() / 2, 1), g.height())
                                  : QRect(g.left(), g.top(), g.width(), std::max(g.height() / 2, 1)));
    dragBar->show();
    dragBar->raise();
    dragOffset = position;
    splitterMoving = true;
}

void frmMain::splitterMouseMove(SplitterBar *bar, QPoint position)
{
    if (!splitterMoving)
        return;
    const bool vertical = bar->orientation() == Qt::Vertical;
    const MainLayout::Splitter which =
        vertical ? (bar->index() == 0 ? MainLayout::Splitter::vertical0 : MainLayout::Splitter::vertical1)
                 : MainLayout::Splitter::horizontal0;
    const QPoint delta = position - dragOffset;
    const int wanted = mainLayout.position(which) + (vertical ? delta.x() : delta.y());
    const int limited = mainLayout.dragLimit(which, wanted);
    QWidget *dragBar = vertical ? picSplitter : picSplitterH;
    // The drag bar is in the central widget; the positions are in the window's inner area.
    const int shift = limited - mainLayout.position(which);
    const QRect g = bar->geometry();
    if (vertical)
        dragBar->move(g.left() + shift, g.top());
    else
        dragBar->move(g.left(), g.top() + shift);
}

void frmMain::splitterMouseUp(SplitterBar *bar)
{
    if (!splitterMoving)
        return;
    const bool vertical = bar->orientation() == Qt::Vertical;
    QWidget *dragBar = vertical ? picSplitter : picSplitterH;
    const QRect g = bar->geometry();
    const int shift = vertical ? dragBar->x() - g.left() : dragBar->y() - g.top();
    const MainLayout::Splitter which =
        vertical ? (bar->index() == 0 ? MainLayout::Splitter::vertical0 : MainLayout::Splitter::vertical1)
                 : MainLayout::Splitter::horizontal0;
    mainLayout.setPosition(which, mainLayout.position(which) + shift);
    SizeControls();
    dragBar->hide();
    splitterMoving = false;
}

// ---- load and close ----

void frmMain::loadTimer_Timer()
{
    loadTimer->stop();
    pictOscilograph->graphLeft = 10;
    pictOscilograph->graphTop = 15;
    pictOscilograph->updatingScroll = false;
    restoreSettings();
    SizeControls();
    dbTree->loadCanDb(true, true);
    setNewCapturingData();
    startLink();
}

void frmMain::setBusTiming(double canSpeed, double canTimer)
{
    busSpeed = canSpeed;
    busTimer = canTimer;
    pictOscilograph->setCanTimer(canTimer);
}

void frmMain::restoreSettings()
{
    ParamStore &params = *context.params;
    const double dx = dpiX();
    const double dy = dpiY();

    const int splitterTwips = params.getInt(keySplitterWidth, 60);
    mainLayout.splitterWidth = std::clamp(twipsToPixels(splitterTwips, dx), minSplitterPixels, maxSplitterPixels);

    const int currentState = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    const int state = params.getInt(keyMainState, currentState);
    if (state != 0)
        showNormal();

    const QRect current = geometry();
    QRect wanted(twipsToPixels(params.getInt(keyMainLeft, int(pixelsToTwips(current.x(), dx))), dx),
                 twipsToPixels(params.getInt(keyMainTop, int(pixelsToTwips(current.y(), dy))), dy),
                 twipsToPixels(params.getInt(keyMainWidth, int(pixelsToTwips(current.width(), dx))), dx),
                 twipsToPixels(params.getInt(keyMainHeight, int(pixelsToTwips(current.height(), dy))), dy));
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    wanted = usableGeometry(wanted, minimumSize(), screens);
    setGeometry(wanted);
    if (state == 2)
        showMaximized();

    // First-start splitters divide the restored (normal) window evenly.
    const QWidget *menu = menuWidget();
    const QSize inner(wanted.width(), wanted.height() - (menu && !menu->isHidden() ? menu->sizeHint().height() : 0));
    for (int k = 0; k < MainLayout::verticalSplitters; ++k) {
        const int fallback = int(pixelsToTwips(MainLayout::defaultVertical(k, inner.width()), dx));
        mainLayout.vSplitter[size_t(k)] = twipsToPixels(params.getInt(keyVSplitter + QString::number(k), fallback), dx);
    }
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k) {
        const int fallback = int(pixelsToTwips(MainLayout::defaultHorizontal(k, inner.height()), dy));
        mainLayout.hSplitter[size_t(k)] = twipsToPixels(params.getInt(keyHSplitter + QString::number(k), fallback), dy);
    }

    const auto restoreColumns = [&params, dx](QHeaderView *header, const QString &key) {
        for (int i = 1; i <= header->count(); ++i) {
            const int fallback = int(pixelsToTwips(header->sectionSize(i - 1), dx));
            const int pixels = twipsToPixels(params.getInt(key + QString::number(i), fallback), dx);
            header->resizeSection(i - 1, std::clamp(pixels, header->minimumSectionSize(), maxColumnPixels));
        }
    };
    restoreColumns(lvListViewMessages->header(), keyMessagesColWidth);
    restoreColumns(lvListViewID->header(), keyIDColWidth);
}

void frmMain::saveSettings()
{
    ParamStore &params = *context.params;
    const double dx = dpiX();
    const double dy = dpiY();
    // Every setting is a write to the data base file: only changed ones are written.
    const auto setParam = [&params](const QString &key, qint64 value) {
        const QString text = QString::number(value);
        if (!params.contains(key) || params.getParam(key, text) != text)
            params.setParam(key, text);
    };
    setParam(keyMainState, isMinimized() ? 1 : (isMaximized() ? 2 : 0));
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        setParam(keyVSplitter + QString::number(k), pixelsToTwips(mainLayout.vSplitter[size_t(k)], dx));
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        setParam(keyHSplitter + QString::number(k), pixelsToTwips(mainLayout.hSplitter[size_t(k)], dy));
    const auto saveColumns = [&setParam, dx](QHeaderView *header, const QString &key) {
        for (int i = 1; i <= header->count(); ++i)
            setParam(key + QString::number(i), pixelsToTwips(header->sectionSize(i - 1), dx));
    };
    saveColumns(lvListViewMessages->header(), keyMessagesColWidth);
    saveColumns(lvListViewID->header(), keyIDColWidth);
    // The rectangle of the normal state, also while maximised or minimised.
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    setParam(keyMainLeft, pixelsToTwips(normal.x(), dx));
    setParam(keyMainTop, pixelsToTwips(normal.y(), dy));
    setParam(keyMainWidth, pixelsToTwips(normal.width(), dx));
    setParam(keyMainHeight, pixelsToTwips(normal.height(), dy));
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (saveNewCaptureData()) {
        event->ignore();
        return;
    }
    // The program's other windows, newest first.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        if ((*it)->isWindow() && (*it)->isVisible())
            (*it)->close();
    }
    saveSettings();

    removeTempFolder(context.paths);

    link->stopTimers();
    event->accept();
}

// ---- capture files ----

QString frmMain::browseFileOpenSave(const QString &fileName)
{
    return context.prompts->saveFileName(QStringLiteral("Save as"), fileFilter, QFileInfo(fileName).path(), fileName);
}

QString frmMain::browseFileOpen(const QString &fileName)
{
    return context.prompts->openFileName(QStringLiteral("Open"), fileFilter, fileName);
}

QString frmMain::outDelimiter()
{
    const QString delimiter = context.params->getParam(QStringLiteral("outDelimiter"), capturefile::defaultDelimiter);
    const QString problem = capturefile::delimiterProblem(delimiter);
    if (problem.isEmpty())
        return delimiter;
    if (!delimiterWarned) {
        delimiterWarned = true;
        context.prompts->message(QStringLiteral("The field delimiter \"%1\" of the setting \"outDelimiter\" cannot be "
                                                "read back from a capture file (%2): one space is used instead.")
                                     .arg(capturefile::oneLine(delimiter), problem),
                                 {}, Prompts::Icon::Exclamation);
    }
    return capturefile::defaultDelimiter;
}

bool frmMain::writeCaptureFile()
{
    // The shown frames in capture order, whatever the list's sort: a file
    // read back unwraps its stamps in the order they were captured.
    const std::vector<quint32> order = messageModel->framesInCaptureOrder();
    const capturefile::Rows rows{qsizetype(order.size()), [this, &order](qsizetype row) -> const clsFrame & {
                                     return captureStore.frame(order[size_t(row)]);
                                 }};
    const capturefile::WriteResult result =
        capturefile::writeCaptureFile(captureStore.captureFileName, {cmbDB_Name->currentText(), busSpeed, busTimer},
                                      rows, captureLabels, outDelimiter());
    if (!result.ok) {
        context.prompts->error(result.error);
        return false;
    }
    mnuFileSave->setEnabled(false);
    return true;
}

bool frmMain::saveCaptureAs()
{
    const QString name = browseFileOpenSave(captureStore.captureFileName);
    if (name.isEmpty())
        return true;
    if (QFileInfo::exists(name)) {
        const Prompts::Answer answer = context.prompts->message(
            QStringLiteral("File \"") + name + QStringLiteral("\"is exist. Overwrite?"),
            QStringLiteral("Save capturing data..."), Prompts::Icon::Question, Prompts::Buttons::YesNoCancel);
        if (answer != Prompts::Answer::Yes)
            return true;
    }
    const QString previous = captureStore.captureFileName;
    captureStore.captureFileName = name;
    if (!writeCaptureFile()) {
        captureStore.captureFileName = previous;
        return true;
    }
    return false;
}

bool frmMain::saveNewCaptureData()
{
    const bool unsaved =
        mnuFileSave->isEnabled() || (captureStore.captureFileName.isEmpty() && mnuFileSaveAs->isEnabled());
    if (!unsaved)
        return false;
    const Prompts::Answer answer =
        context.prompts->message(QStringLiteral("Save viewed data to file?"), QStringLiteral("Save viewed data..."),
                                 Prompts::Icon::Question, Prompts::Buttons::YesNoCancel);
    switch (answer) {
    case Prompts::Answer::Cancel:
        return true;
    case Prompts::Answer::Yes:
        // A write that failed keeps the capture: nothing is lost unasked.
        if (mnuFileSave->isEnabled())
            return !writeCaptureFile();
        return saveCaptureAs();
    default:
        return false;
    }
}

void frmMain::newCapture(bool resynchronise)
{
    if (saveNewCaptureData())
        return;
    if (mnuRunCANCapture->isChecked())
        captureWindow->cmdClose_Click();
    setNewCapturingData();
    if (resynchronise)
        dbTree->rebuildID();
}

void frmMain::mnuFileOpen_Click()
{
    const QString name = browseFileOpen(QString());
    if (name.isEmpty())
        return;
    if (!QFileInfo::exists(name)) {
        context.prompts->error(QStringLiteral("File \"") + name + QStringLiteral("\" is not found."));
        return;
    }
    loadCaptureFile(name);
}

bool frmMain::loadCaptureFile(const QString &fileName)
{
    capturefile::CaptureFileReader reader;
    QString error;
    if (!reader.open(fileName, &error)) {
        context.prompts->error(error);
        return false;
    }
    if (saveNewCaptureData())
        return false;

    // The file is read completely before the capture is replaced, so a file
    // that fails half way leaves the capture as it was.
    std::vector<clsFrame> frames;
    capturefile::ReadResult result;
    {
        frmLoad window(reader, outDelimiter(), busSpeed, frames, this);
        window.exec();
        result = window.result();
    }
    if (!result.ok) {
        context.prompts->error(result.error);
        return false;
    }
    if (result.frames == 0) {
        context.prompts->error(capturefile::nothingReadMessage(fileName, result));
        return false;
    }

    if (mnuRunCANCapture->isChecked())
        captureWindow->cmdClose_Click();
    setNewCapturingData();
    captureStore.captureFileName = fileName;
    captureStore.addListFrames(std::move(frames));

    if (!captureStore.isEmpty())
        captureStore.selectedDuration = float(captureStore.frame(0).Duration);
    dbTree->rebuildID();
    pictOscilograph->setScroll_Begin();
    rebuildLVM();
    // A freshly opened file counts as saved.
    const bool rows = messageModel->count() > 0;
    for (QAction *action : {mnuFileNew, mnuFileSaveAs})
        action->setEnabled(rows);
    tbButton(QStringLiteral("CaptureNew"))->setEnabled(rows);
    tbButton(QStringLiteral("CaptureSave"))->setEnabled(rows);
    mnuFileSave->setEnabled(false);

    const QString skipped = capturefile::skippedMessage(result);
    if (!skipped.isEmpty())
        context.prompts->message(skipped, {}, Prompts::Icon::Exclamation);
    return true;
}
