#include "views/ui/mainactions.h"

#include "widgets/toolbaricons.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <array>

namespace {

enum Flag : unsigned {
    Menu = 1,    // a (sub-)menu
    Bar = 2,     // a separator
    Off = 4,     // disabled at start
    Hidden = 8,  // never shown
    Held = 16,   // a mark only the program sets
    Marked = 32, // checked at start
    Toggle = 64, // an ordinary check item
};

struct MenuEntry
{
    const char *name;
    const char *caption;
    const char *parent; // nullptr: the menu bar
    unsigned flags;
};

// The CAN sub-menus nest (CAN DB inside CAN, Devices inside CAN DB, IDs
// inside Devices) and double as the data base tree's pop-up menus.
constexpr MenuEntry menuEntries[] = {
    {"mnuFile", "File", nullptr, Menu},
    {"mnuFileNew", "New", "mnuFile", Off},
    {"mnuFileBar0", "", "mnuFile", Bar},
    {"mnuFileOpen", "Open...", "mnuFile", 0},
    {"mnuFileBar1", "", "mnuFile", Bar},
    {"mnuFileSave", "Save", "mnuFile", Off},
    {"mnuFileSaveAs", "Save As...", "mnuFile", Off},
    {"mnuFileBar2", "", "mnuFile", Bar},
    {"mnuFileExit", "Exit", "mnuFile", 0},

    {"mnuCAN", "CAN", nullptr, Menu},
    {"mnuCAN_New", "New", "mnuCAN", 0},
    {"mnuCAN_Bar0", "", "mnuCAN", Bar},
    {"mnuCAN_Import", "Import", "mnuCAN", 0},
    {"mnuCAN_Bar1", "", "mnuCAN", Bar},
    {"mnuCAN_DB", "CAN DB : ", "mnuCAN", Menu},
    {"mnuCAN_DB_New", "New", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Edit", "Edit", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Delete", "Delete", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Bar0", "", "mnuCAN_DB", Bar},
    {"mnuCAN_DB_Export", "Export", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Bar1", "", "mnuCAN_DB", Bar},
    {"mnuCAN_DB_Expand", "Expand", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Collapse", "Collapse", "mnuCAN_DB", 0},
    {"mnuCAN_DB_Bar2", "", "mnuCAN_DB", Bar},
    {"mnuCAN_Devices", "Devices", "mnuCAN_DB", Menu},
    {"mnuCAN_Devices_New", "New", "mnuCAN_Devices", 0},
    {"mnuCAN_Devices_Edit", "Edit", "mnuCAN_Devices", Off},
    {"mnuCAN_Devices_Delete", "Delete", "mnuCAN_Devices", Off},
    {"mnuCAN_Devices_Bar0", "", "mnuCAN_Devices", Bar},
    {"mnuCAN_Devices_Expand", "Expand", "mnuCAN_Devices", Off},
    {"mnuCAN_Devices_Collapse", "Collapse", "mnuCAN_Devices", Off},
    {"mnuCAN_Devices_Bar1", "", "mnuCAN_Devices", Bar},
    {"mnuCAN_IDs", "IDs", "mnuCAN_Devices", Menu},
    {"mnuCAN_IDs_New", "New", "mnuCAN_IDs", 0},
    {"mnuCAN_IDs_Edit", "Edit", "mnuCAN_IDs", Off},
    {"mnuCAN_IDs_Delete", "Delete", "mnuCAN_IDs", Off},
    {"mnuCAN_IDs_Bar0", "", "mnuCAN_IDs", Bar},
    {"mnuCAN_IDs_Expand", "Expand", "mnuCAN_IDs", Hidden},
    {"mnuCAN_IDs_Collapse", "Collapse", "mnuCAN_IDs", Hidden},

    {"mnuRun", "Run", nullptr, Menu},
    {"mnuRunTestCAN", "Test connection", "mnuRun", 0},
    {"mnuRunBar0", "", "mnuRun", Bar},
    {"mnuRunResetCAN", "Reset CAN", "mnuRun", 0},
    {"mnuRunStandbyCAN", "Disable Mode", "mnuRun", Held},
    {"mnuRunListenCAN", "Listen Mode", "mnuRun", Held},
    {"mnuRunEnableCAN", "Enable Mode", "mnuRun", Held},
    {"mnuRunBar1", "", "mnuRun", Bar},
    {"mnuRunCANCapture", "CAN Capture", "mnuRun", Held},
    {"mnuRunCANSend", "CAN Send Frame", "mnuRun", Held},

    {"mnuMonitor", "Monitor", nullptr, Menu},
    {"mnuMonitor_Frame", "Frame", "mnuMonitor", Menu},
    {"mnuMonitor_Frame_Delete", "Delete", "mnuMonitor_Frame", Off},
    {"mnuMonitor_ID", "ID", "mnuMonitor", Menu},
    {"mnuMonitor_ID_Copy", "Copy to CAN Data Base", "mnuMonitor_ID", 0},
    {"mnuMonitor_ID_Bar", "", "mnuMonitor_ID", Bar},
    {"mnuMonitor_ID_Enable", "Viewed", "mnuMonitor_ID", Held | Marked},
    {"mnuMonitor_ID_Plot", "Add to Plot", "mnuMonitor_ID", 0},

    {"mnuView", "View", nullptr, Menu},
    {"mnuView_VSplitter", "V-Splitter", "mnuView", Menu},
    {"mnuView_VSplitter1", "20/70/10", "mnuView_VSplitter", 0},
    {"mnuView_HSplitter", "H-Splitter", "mnuView", Menu},
    {"mnuView_HSplitter1", "70/30", "mnuView_HSplitter", 0},
    {"mnuViewBar0", "", "mnuView", Bar},
    {"mnuViewToolbar", "Toolbar", "mnuView", Toggle | Marked},
    {"mnuViewStatusBar", "Status Bar", "mnuView", Toggle | Marked},
    {"mnuViewBar1", "", "mnuView", Bar},
    {"mnuViewOptions", "Options...", "mnuView", 0},
    {"mnuViewBar2", "", "mnuView", Bar},
    {"mnuViewSignals", "Signals", "mnuView", Toggle},
    {"mnuViewSignalsColumn", "Signals Column", "mnuView", Toggle},
    {"mnuViewPlot", "Signal Plot", "mnuView", Toggle},

    {"mnuHelp", "Help", nullptr, Menu},
    {"mnuHelpContents", "Contents", "mnuHelp", 0},
    {"mnuHelpSearchForHelpOn", "Search For Help On...", "mnuHelp", 0},
    {"mnuHelpBar0", "", "mnuHelp", Bar},
    {"mnuHelpAbout", "About", "mnuHelp", 0},

    // Items that came later, after each menu's own.
    {"mnuFileBar3", "", "mnuFile", Bar},
    {"mnuFileRecent", "Recent Files", "mnuFile", Menu},
    {"mnuRunBar2", "", "mnuRun", Bar},
    {"mnuRunCaptureStart", "Start Capture", "mnuRun", 0},
    {"mnuRunCaptureStop", "Stop Capture", "mnuRun", 0},
    {"mnuMonitorBar0", "", "mnuMonitor", Bar},
    {"mnuMonitorFind", "Find...", "mnuMonitor", 0},
    {"mnuMonitorFindNext", "Find Next", "mnuMonitor", 0},
    {"mnuMonitorFindPrevious", "Find Previous", "mnuMonitor", 0},
    {"mnuMonitorBar1", "", "mnuMonitor", Bar},
    {"mnuMonitorCopy", "Copy", "mnuMonitor", 0},
    {"mnuMonitorCopyCandump", "Copy as candump", "mnuMonitor", 0},
    {"mnuMonitorClear", "Clear", "mnuMonitor", 0},
    {"mnuMonitorFollow", "Follow Newest", "mnuMonitor", 0},
};

// The standard keys. Ctrl+C copies the selected message rows; an edit box
// with the focus keeps it for itself.
struct ShortcutEntry
{
    const char *name;
    QKeySequence::StandardKey standard;
    const char *keys; // when there is no standard key for it
};

constexpr ShortcutEntry shortcutEntries[] = {
    {"mnuFileNew", QKeySequence::New, nullptr},
    {"mnuFileOpen", QKeySequence::Open, nullptr},
    {"mnuFileSave", QKeySequence::Save, nullptr},
    {"mnuFileSaveAs", QKeySequence::UnknownKey, "Ctrl+Shift+S"},
    {"mnuFileExit", QKeySequence::UnknownKey, "Ctrl+Q"},
    {"mnuRunCaptureStart", QKeySequence::UnknownKey, "F5"},
    {"mnuRunCaptureStop", QKeySequence::UnknownKey, "Shift+F5"},
    {"mnuMonitorFind", QKeySequence::Find, nullptr},
    {"mnuMonitorFindNext", QKeySequence::UnknownKey, "F3"},
    {"mnuMonitorFindPrevious", QKeySequence::UnknownKey, "Shift+F3"},
    {"mnuMonitorCopy", QKeySequence::Copy, nullptr},
    {"mnuMonitorClear", QKeySequence::UnknownKey, "Ctrl+L"},
};

// Gives every caption of `actions` an access key: the first letter of a word
// not taken yet in the same menu, else any letter not taken, else none. The
// caption shows as before (Qt draws the key underlined, and only on Alt).
void addAccessKeys(const QList<QAction *> &actions)
{
    QString taken;
    for (const QAction *a : actions) {
        const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < a->text().size() && a->text()[amp + 1] != QLatin1Char('&'))
            taken += a->text()[amp + 1].toLower();
    }
    for (QAction *a : actions) {
        const QString text = a->text();
        if (a->isSeparator() || text.isEmpty() || text.contains(QLatin1Char('&')))
            continue;
        qsizetype at = -1;
        for (int pass = 0; pass < 2 && at < 0; ++pass) {
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text[i];
                const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
                if (c.isLetterOrNumber() && (pass == 1 || wordStart) && !taken.contains(c.toLower())) {
                    at = i;
                    break;
                }
            }
        }
        if (at < 0)
            continue;
        taken += text[at].toLower();
        a->setText(text.left(at) + QLatin1Char('&') + text.mid(at));
    }
}

// The tool bar: key (object name), tool tip, picture, the menu item it runs;
// a null key is a gap. Pressable buttons are pressed by the commands themselves
// (mode shown, capture and send windows open).
struct ToolButton
{
    const char *key;
    const char *toolTip;
    const char *image;
    const char *command;
    bool pressable;
};

constexpr ToolButton toolButtons[] = {
    {"CaptureNew", "New", "CaptureNew", "mnuFileNew", false},
    {"CaptureSave", "Save", "CaptureSave", "mnuFileSave", false},
    {"CaptureOpen", "Open as stream...", "CaptureOpen", "mnuFileOpen", false},
    {nullptr, nullptr, nullptr, nullptr, false},
    {"TestCAN", "Test connection", "TestCAN", "mnuRunTestCAN", false},
    {"ResetCAN", "Reset CAN", "ResetCAN", "mnuRunResetCAN", false},
    {nullptr, nullptr, nullptr, nullptr, false},
    {"StandbyCAN", "Disable Mode", "StandbyCAN", "mnuRunStandbyCAN", true},
    {"ListenCAN", "Listen Mode", "ListenCAN", "mnuRunListenCAN", true},
    {"EnableCAN", "Enable Mode", "EnableCAN", "mnuRunEnableCAN", true},
    {nullptr, nullptr, nullptr, nullptr, false},
    {"CaptureCAN", "CAN Capture", "CaptureCAN1", "mnuRunCANCapture", true},
    {"SendCAN", "Send Frame to CAN", "SendCAN", "mnuRunCANSend", true},
};

// A check mark (or pressed state) that only the program sets: the click runs
// the command, but the toggle Qt applies before triggered() is undone first.
void holdCheckMark(QAction *action)
{
    action->setCheckable(true);
    QObject::connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
}

} // namespace

MainActions::MainActions(QMainWindow &window)
{
    createMenus(window);
    addShortcuts(window);
    createToolBar(window);
    // A capture keeps every frame it received: Monitor › Frame › Delete stays
    // greyed and says so.
    QAction *frameDelete = action(QStringLiteral("mnuMonitor_Frame_Delete"));
    frameDelete->setToolTip(QStringLiteral("Frames are not deleted from a capture."));
    frameDelete->setStatusTip(frameDelete->toolTip());
    menu(QStringLiteral("mnuMonitor_Frame"))->setToolTipsVisible(true);
}

void MainActions::createMenus(QMainWindow &window)
{
    QMenuBar *menuBar = window.menuBar();
    for (const MenuEntry &entry : menuEntries) {
        const QString name = QLatin1String(entry.name);
        const QString caption = QLatin1String(entry.caption);
        QMenu *parent = entry.parent ? menus.value(QLatin1String(entry.parent)) : nullptr;
        if (entry.flags & Menu) {
            QMenu *menu = parent ? parent->addMenu(caption) : menuBar->addMenu(caption);
            menu->setObjectName(name);
            menus.insert(name, menu);
            actions.insert(name, menu->menuAction());
            continue;
        }
        QAction *action = (entry.flags & Bar) ? parent->addSeparator() : parent->addAction(caption);
        action->setObjectName(name);
        action->setEnabled(!(entry.flags & Off));
        if (entry.flags & Hidden)
            action->setVisible(false);
        if (entry.flags & Held)
            holdCheckMark(action);
        if (entry.flags & Toggle)
            action->setCheckable(true);
        if (entry.flags & Marked)
            action->setChecked(true);
        actions.insert(name, action);
    }
}

void MainActions::addShortcuts(QMainWindow &window)
{
    for (const ShortcutEntry &entry : shortcutEntries) {
        QAction *a = actions.value(QLatin1String(entry.name));
        a->setShortcut(entry.keys ? QKeySequence(QLatin1String(entry.keys)) : QKeySequence(entry.standard));
    }
    // Start and stop work from the capture window too.
    for (const char *name : {"mnuRunCaptureStart", "mnuRunCaptureStop"})
        actions.value(QLatin1String(name))->setShortcutContext(Qt::ApplicationShortcut);
    addAccessKeys(window.menuBar()->actions());
    for (QMenu *menu : std::as_const(menus))
        addAccessKeys(menu->actions());
}

void MainActions::createToolBar(QMainWindow &window)
{
    icons = toolBarIcons();
    bar = window.addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("tbToolBar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(20, 20));
    // Only View › Toolbar hides the bar, so its check mark always tells the truth.
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    for (const ToolButton &button : toolButtons) {
        if (!button.key) {
            bar->addSeparator();
            continue;
        }
        QAction *action = bar->addAction(icons.value(QLatin1String(button.image)), QLatin1String(button.toolTip));
        action->setObjectName(QLatin1String(button.key));
        action->setToolTip(QLatin1String(button.toolTip));
        if (button.pressable)
            holdCheckMark(action);
    }
    // Nothing to start afresh or save before the first capture, as in the File menu.
    button(QStringLiteral("CaptureNew"))->setEnabled(false);
    button(QStringLiteral("CaptureSave"))->setEnabled(false);
}

QAction *MainActions::button(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    const QList<QAction *> buttons = bar->actions();
    for (QAction *action : buttons)
        if (action->objectName() == key)
            return action;
    return nullptr;
}

QString MainActions::command(const QString &key)
{
    for (const ToolButton &button : toolButtons)
        if (button.key && key == QLatin1String(button.key))
            return QLatin1String(button.command);
    return {};
}
