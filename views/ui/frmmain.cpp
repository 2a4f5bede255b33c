#include "views/ui/frmmain.h"

#include "candb/ui/dbtree.h"
#include "link/prompts.h"
#include "link/ui/frmconnect.h"

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
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
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
    resize(1000, 680);

    // ---- Data base panel ----
    dbTree = new DbTree(context, *this);
    connect(dbTree, &DbTree::linkResetRequested, link, &PacketLink::resetLink);
    dbTree->loadCanDb(true, true); // TEMPORARY start-up load: the window's deferred load replaces this line
}

frmMain::~frmMain()
{
    // ---- Data base panel: goes before the controls it watches ----
    delete dbTree;
    dbTree = nullptr;

    // The link's users go before the link.
    delete connectWindow;
    connectWindow = nullptr;
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
    QTimer::singleShot(100, this, &frmMain::startLink);
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
        QAction *action = tbToolBar->addAction(imlToolbarIcons.value(QLatin1String(button.image)),
                                               QLatin1String(button.toolTip));
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

    lvListViewID = new QTreeWidget(central);
    lvListViewID->setObjectName(QStringLiteral("lvListViewID"));
    lvListViewID->setRootIsDecorated(false);
    lvListViewID->setHeaderLabels({QString()});

    pictOscilograph = new QFrame(central);
    pictOscilograph->setObjectName(QStringLiteral("pictOscilograph"));
    pictOscilograph->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    // Three equal columns and two equal rows, as the splitters start on a first run.
    auto *layout = new QGridLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(picDB, 0, 0, 2, 1);
    layout->addWidget(lvListViewMessages, 0, 1);
    layout->addWidget(lvListViewID, 0, 2);
    layout->addWidget(pictOscilograph, 1, 1, 1, 2);
    for (int column = 0; column < 3; ++column)
        layout->setColumnStretch(column, 1);
    layout->setRowStretch(0, 1);
    layout->setRowStretch(1, 1);
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

    setStatusPanel(3, QStringLiteral("CAN Capute : ")
                          + ((analyserStatus & captureBit) ? QStringLiteral("On") : QStringLiteral("Off")));
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
}

void frmMain::mnuViewStatusBar_Click()
{
    sbStatusBarCAN->setVisible(mnuViewStatusBar->isChecked());
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
