// The main window shell: caption, menu tree, tool bar, status bar, help and
// about, read back from a real window on a fresh database (the view toggles'
// effect on the layout is in tst_mainlayout).
#include "views/ui/frmmain.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include <memory>

namespace {

// One menu entry as "objectName: caption" plus its state: " >" for a sub-menu,
// "[off]" disabled, "[x]" checked, "[hidden]" not shown; separators read "---".
QString describe(const QAction *action)
{
    QString text = action->isSeparator() ? QStringLiteral("---") : action->text();
    QString name = action->objectName();
    if (action->menu()) {
        name = action->menu()->objectName();
        text += QStringLiteral(" >");
    }
    // Qt reads a hidden action as disabled too, so only shown items tell "[off]".
    if (!action->isVisible())
        text += QStringLiteral(" [hidden]");
    else if (!action->isEnabled())
        text += QStringLiteral(" [off]");
    if (action->isChecked())
        text += QStringLiteral(" [x]");
    return name + QStringLiteral(": ") + text;
}

QStringList describeMenu(const QMenu *menu)
{
    QStringList entries;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions)
        entries << describe(action);
    return entries;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    AppContext context;
    std::unique_ptr<frmMain> window;

    QAction *action(const QString &name) const { return window->findChild<QAction *>(name); }

private slots:
    void init()
    {
        seed = std::make_unique<SeedDatabase>();
        prompts.shown.clear();
        prompts.answers.clear();
        const QString dir = seed->dir.path();
        context = AppContext{&seed->db, &seed->params, &prompts,
                             StartupPaths{dir + QStringLiteral("/tmp"), dir, QStringLiteral("Tessel.mdb")}};
        window = std::make_unique<frmMain>(context);
    }

    void cleanup()
    {
        window.reset();
        seed.reset();
    }

    void captionAndStatusBar()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Tessel"));
        QCOMPARE(window->statusPanelText(1), QStringLiteral("Status : Unknown"));
        QCOMPARE(window->statusPanelText(4), QStringLiteral("Processes : 0"));
    }

    void menuTree_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("entries");

        QTest::newRow("menu bar") << QString() << QStringList{
            "mnuFile: File >", "mnuCAN: CAN >", "mnuRun: Run >", "mnuMonitor: Monitor >", "mnuView: View >",
            "mnuHelp: Help >"};
        QTest::newRow("File: nothing to start afresh or save yet")
            << "mnuFile"
            << QStringList{"mnuFileNew: New [off]", "mnuFileBar0: ---",          "mnuFileOpen: Open...",
                           "mnuFileBar1: ---",      "mnuFileSave: Save [off]",   "mnuFileSaveAs: Save As... [off]",
                           "mnuFileBar2: ---",      "mnuFileExit: Exit"};
        QTest::newRow("CAN: data base sub-menu hidden until one is current")
            << "mnuCAN"
            << QStringList{"mnuCAN_New: New", "mnuCAN_Bar0: ---", "mnuCAN_Import: Import",
                           "mnuCAN_Bar1: --- [hidden]", "mnuCAN_DB: CAN DB :  > [hidden]"};
        QTest::newRow("Devices: only New until a device node is clicked")
            << "mnuCAN_Devices"
            << QStringList{"mnuCAN_Devices_New: New",
                           "mnuCAN_Devices_Edit: Edit [off]",
                           "mnuCAN_Devices_Delete: Delete [off]",
                           "mnuCAN_Devices_Bar0: ---",
                           "mnuCAN_Devices_Expand: Expand [off]",
                           "mnuCAN_Devices_Collapse: Collapse [off]",
                           "mnuCAN_Devices_Bar1: ---",
                           "mnuCAN_IDs: IDs >"};
        QTest::newRow("IDs: Expand and Collapse never shown")
            << "mnuCAN_IDs"
            << QStringList{"mnuCAN_IDs_New: New",           "mnuCAN_IDs_Edit: Edit [off]",
                           "mnuCAN_IDs_Delete: Delete [off]", "mnuCAN_IDs_Bar0: ---",
                           "mnuCAN_IDs_Expand: Expand [hidden]", "mnuCAN_IDs_Collapse: Collapse [hidden]"};
        QTest::newRow("Monitor ID: Viewed starts checked")
            << "mnuMonitor_ID"
            << QStringList{"mnuMonitor_ID_Copy: Copy to CAN Data Base", "mnuMonitor_ID_Bar: ---",
                           "mnuMonitor_ID_Enable: Viewed [x]"};
        QTest::newRow("View: both bars checked")
            << "mnuView"
            << QStringList{"mnuView_VSplitter: V-Splitter >", "mnuView_HSplitter: H-Splitter >", "mnuViewBar0: ---",
                           "mnuViewToolbar: Toolbar [x]",     "mnuViewStatusBar: Status Bar [x]", "mnuViewBar1: ---",
                           "mnuViewOptions: Options..."};
    }

    void menuTree()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, entries);
        if (menu.isEmpty()) {
            QStringList bar;
            const QList<QAction *> actions = window->menuBar()->actions();
            for (const QAction *a : actions)
                bar << describe(a);
            QCOMPARE(bar, entries);
            return;
        }
        const QMenu *found = window->findChild<QMenu *>(menu);
        QVERIFY(found);
        QCOMPARE(describeMenu(found), entries);
    }

    void currentDbMenu_data()
    {
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");

        QTest::newRow("a data base is current") << true << "Bench" << "CAN DB : Bench";
        QTest::newRow("an ampersand in the name is shown as typed") << true << "Body & Chassis"
                                                                    << "CAN DB : Body & Chassis";
        QTest::newRow("no data base hides it again") << false << "" << "CAN DB : ";
    }

    void currentDbMenu()
    {
        QFETCH(bool, current);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        window->setCanDbMenu(true, QStringLiteral("Previous"));
        window->setCanDbMenu(current, name);
        QCOMPARE(window->mnuCAN_Bar1->isVisible(), current);
        QCOMPARE(window->mnuCAN_DB->menuAction()->isVisible(), current);
        QVERIFY(window->mnuCAN_DB->title().startsWith(QLatin1String("CAN DB : ")));
        // The text the menu shows, with mnemonic markers resolved (and trimmed).
        QCOMPARE(window->mnuCAN_DB->menuAction()->iconText(), caption.trimmed());
    }

    void toolBar_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("image");
        QTest::addColumn<bool>("pressable");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("CaptureNew, off like File New") << "CaptureNew" << "New" << "CaptureNew" << false << false;
        QTest::newRow("CaptureOpen") << "CaptureOpen" << "Open as stream..." << "CaptureOpen" << false << true;
        QTest::newRow("StandbyCAN") << "StandbyCAN" << "Disable Mode" << "StandbyCAN" << true << true;
        QTest::newRow("CaptureCAN shows its first image") << "CaptureCAN" << "CAN Capture" << "CaptureCAN1" << true
                                                          << true;
    }

    void toolBar()
    {
        QFETCH(QString, key);
        QFETCH(QString, toolTip);
        QFETCH(QString, image);
        QFETCH(bool, pressable);
        QFETCH(bool, enabled);
        const QAction *button = window->tbButton(key);
        QVERIFY(button);
        QCOMPARE(button->toolTip(), toolTip);
        QVERIFY(window->imlToolbarIcons.contains(image));
        QCOMPARE(button->icon().cacheKey(), window->imlToolbarIcons.value(image).cacheKey());
        QVERIFY(!button->icon().isNull());
        QCOMPARE(button->isCheckable(), pressable);
        QVERIFY(!button->isChecked());
        QCOMPARE(button->isEnabled(), enabled);
    }

    void spareImages()
    {
        for (const char *image : {"CaptureCAN2", "Check"})
            QVERIFY2(!window->imlToolbarIcons.value(QLatin1String(image)).isNull(), image);
    }

    void toolBarDispatch_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("saveEnabled");
        QTest::addColumn<QString>("runs");

        QTest::newRow("CaptureNew runs File New") << "CaptureNew" << false << "mnuFileNew";
        QTest::newRow("CaptureSave with a file name runs Save") << "CaptureSave" << true << "mnuFileSave";
        QTest::newRow("CaptureSave without a file name runs Save As") << "CaptureSave" << false << "mnuFileSaveAs";
        QTest::newRow("CaptureOpen runs File Open") << "CaptureOpen" << false << "mnuFileOpen";
        QTest::newRow("SendCAN") << "SendCAN" << false << "mnuRunCANSend";
        QTest::newRow("an image key that is no button does nothing") << "Check" << true << "";
        QTest::newRow("keys are exact") << "capturesave" << true << "";
    }

    void toolBarDispatch()
    {
        QFETCH(QString, key);
        QFETCH(bool, saveEnabled);
        QFETCH(QString, runs);
        QStringList ran;
        const QList<QAction *> actions = window->findChildren<QAction *>();
        for (QAction *a : actions) {
            a->setEnabled(true);
            if (a->objectName().startsWith(QLatin1String("mnu")))
                connect(a, &QAction::triggered, this, [&ran, a] { ran << a->objectName(); });
        }
        window->mnuFileSave->setEnabled(saveEnabled);

        window->tbToolBar_ButtonClick(key);
        QCOMPARE(ran, runs.isEmpty() ? QStringList() : QStringList{runs});
    }

    // The mode, capture and send marks are set by the program (status answers,
    // windows opening); a click only runs the command, whatever the mark was.
    void clickKeepsMark_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("marked");

        QTest::newRow("released Listen button") << 0x00 << "ListenCAN" << "mnuRunListenCAN" << "ListenCAN" << false;
        QTest::newRow("pressed Listen button") << 0x03 << "ListenCAN" << "mnuRunListenCAN" << "ListenCAN" << true;
        QTest::newRow("Enable menu item checked") << 0x04 << "mnuRunEnableCAN" << "mnuRunEnableCAN" << "EnableCAN"
                                                  << true;
        // Opening the capture window marks both (tst_capture covers the rest).
        QTest::newRow("capture button") << 0x00 << "CaptureCAN" << "mnuRunCANCapture" << "CaptureCAN" << true;
    }

    void clickKeepsMark()
    {
        QFETCH(int, status);
        QFETCH(QString, clicked);
        QFETCH(QString, command);
        QFETCH(QString, button);
        QFETCH(bool, marked);
        window->showCAN_Status(quint8(status));
        QAction *menuItem = action(command);
        QVERIFY(menuItem);
        QSignalSpy ran(menuItem, &QAction::triggered);

        action(clicked)->trigger();
        QCOMPARE(ran.size(), 1);
        QCOMPARE(menuItem->isChecked(), marked);
        QCOMPARE(window->tbButton(button)->isChecked(), marked);
    }

    void showCanStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("capture");
        QTest::addColumn<QString>("checked");

        QTest::newRow("0x00 no mode") << 0x00 << "CAN Mode : " << "CAN Capute : Off" << "";
        QTest::newRow("0x01 reset checks nothing") << 0x01 << "CAN Mode : Reset" << "CAN Capute : Off" << "";
        QTest::newRow("0x02 standby") << 0x02 << "CAN Mode : Disable" << "CAN Capute : Off" << "StandbyCAN";
        QTest::newRow("0x84 enable while capturing") << 0x84 << "CAN Mode : Enable" << "CAN Capute : On" << "EnableCAN";
        QTest::newRow("0x44 bit 6 is ignored") << 0x44 << "CAN Mode : Enable" << "CAN Capute : Off" << "EnableCAN";
        QTest::newRow("0x05 unknown mode has no text") << 0x05 << "CAN Mode : " << "CAN Capute : Off" << "";
    }

    void showCanStatus()
    {
        QFETCH(int, status);
        QFETCH(QString, mode);
        QFETCH(QString, capture);
        QFETCH(QString, checked);
        // Start from another mode so a stale mark would show.
        window->showCAN_Status(status == 0x03 || status == 0x83 ? 0x02 : 0x03);
        window->showCAN_Status(quint8(status));
        QCOMPARE(window->statusPanelText(2), mode);
        QCOMPARE(window->statusPanelText(3), capture);
        const std::pair<QAction *, QString> marks[] = {{window->mnuRunStandbyCAN, QStringLiteral("StandbyCAN")},
                                                       {window->mnuRunListenCAN, QStringLiteral("ListenCAN")},
                                                       {window->mnuRunEnableCAN, QStringLiteral("EnableCAN")}};
        for (const auto &[menuItem, key] : marks) {
            QCOMPARE(menuItem->isChecked(), key == checked);
            QCOMPARE(window->tbButton(key)->isChecked(), key == checked);
        }
    }

    void helpAndAbout_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("title");

        const QString noHelp =
            QStringLiteral("Unable to display Help Contents. There is no Help associated with this project.");
        QTest::newRow("Contents") << "mnuHelpContents" << noHelp << "Tessel";
        QTest::newRow("Search For Help On") << "mnuHelpSearchForHelpOn" << noHelp << "Tessel";
        QTest::newRow("About") << "mnuHelpAbout" << "Tessel Version 1.2.4" << "About Tessel (Analyser CAN)...";
    }

    void helpAndAbout()
    {
        QFETCH(QString, item);
        QFETCH(QString, firstLine);
        QFETCH(QString, title);
        action(item)->trigger();
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].text.section(QLatin1Char('\n'), 0, 0), firstLine);
        QCOMPARE(prompts.shown[0].title, title);
        QCOMPARE(prompts.shown[0].icon, Prompts::Icon::Information);
        QCOMPARE(prompts.shown[0].buttons, Prompts::Buttons::Ok);
    }

    void exitClosesTheWindow()
    {
        window->show();
        QVERIFY(window->isVisible());
        window->mnuFileExit->trigger();
        QVERIFY(!window->isVisible());
    }

};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
