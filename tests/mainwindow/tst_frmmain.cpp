// The main window shell: initial menu states, the tool bar's commands, the
// marks only the program sets, the status bar, and the File menu and capture
// marks following the capture document (the layout is in tst_mainlayout).
#include "support/testregistry.h"
#include "views/ui/frmmain.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <memory>

class tst_frmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    AppContext context;
    std::unique_ptr<frmMain> window;

    QAction *action(const QString &name) const
    {
        QAction *found = window->findChild<QAction *>(name);
        if (!found)
            qFatal("no action %s", qPrintable(name));
        return found;
    }

    // The object names of the menu items in `state`, in creation order.
    QStringList items(bool (QAction::*state)() const, bool wanted) const
    {
        QStringList names;
        const QList<QAction *> actions = window->findChildren<QAction *>();
        for (const QAction *a : actions)
            if (a->objectName().startsWith(QLatin1String("mnu")) && (a->*state)() == wanted)
                names << a->objectName();
        return names;
    }

private slots:
    void init()
    {
        seed = std::make_unique<SeedDatabase>();
        prompts = FakePrompts();
        const QString dir = seed->dir.path();
        context = AppContext{&seed->db, &seed->params, &prompts,
                             StartupPaths{dir + QStringLiteral("/tmp"), dir, QStringLiteral("Tessel.mdb")}};
        window = std::make_unique<frmMain>(context, makeLinkPort);
    }

    void cleanup()
    {
        window.reset();
        seed.reset();
    }

    void freshWindow()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Tessel"));
        QCOMPARE(window->statusPanelText(1), QStringLiteral("Status : Unknown"));
        QCOMPARE(window->statusPanelText(4), QStringLiteral("Processes : 0"));
        // Nothing to start afresh or save; items of a tree node wait for a click.
        QCOMPARE(items(&QAction::isEnabled, false),
                 (QStringList{"mnuFileNew", "mnuFileSave", "mnuFileSaveAs", "mnuCAN_Bar1", "mnuCAN_Devices_Edit",
                              "mnuCAN_Devices_Delete", "mnuCAN_Devices_Expand", "mnuCAN_Devices_Collapse",
                              "mnuCAN_IDs_Edit", "mnuCAN_IDs_Delete", "mnuCAN_IDs_Expand", "mnuCAN_IDs_Collapse"}));
        QCOMPARE(items(&QAction::isVisible, false),
                 (QStringList{"mnuCAN_Bar1", "mnuCAN_IDs_Expand", "mnuCAN_IDs_Collapse"}));
        QCOMPARE(items(&QAction::isChecked, true),
                 (QStringList{"mnuMonitor_ID_Enable", "mnuViewToolbar", "mnuViewStatusBar"}));
        QVERIFY(!window->findChild<QMenu *>("mnuCAN_DB")->menuAction()->isVisible());
        QVERIFY(!action("CaptureNew")->isEnabled() && !action("CaptureSave")->isEnabled());
    }

    void currentDbMenu_data()
    {
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");

        QTest::newRow("a data base is current") << true << "Bench" << "CAN DB : Bench";
        QTest::newRow("an ampersand is shown as typed") << true << "Body & Chassis" << "CAN DB : Body & Chassis";
        QTest::newRow("no data base hides it again") << false << "" << "CAN DB :";
    }

    void currentDbMenu()
    {
        QFETCH(bool, current);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        window->setCanDbMenu(true, QStringLiteral("Previous"));
        window->setCanDbMenu(current, name);
        const QMenu *menu = window->findChild<QMenu *>("mnuCAN_DB");
        QCOMPARE(action("mnuCAN_Bar1")->isVisible(), current);
        QCOMPARE(menu->menuAction()->isVisible(), current);
        // The text the menu shows, with mnemonic markers resolved (and trimmed).
        QCOMPARE(menu->menuAction()->iconText(), caption);
    }

    // The document's state, not a menu's, decides what the File items and
    // their buttons offer and whether the save button saves or asks for a name.
    void documentStateDrivesTheFileCommands()
    {
        CaptureDocument &doc = window->document();
        QStringList ran;
        for (const char *name : {"mnuFileNew", "mnuFileOpen", "mnuFileSave", "mnuFileSaveAs", "mnuRunCANSend"}) {
            QAction *item = action(name);
            QObject::disconnect(item, nullptr, window.get(), nullptr); // record only
            connect(item, &QAction::triggered, this, [&ran, item] { ran << item->objectName(); });
        }
        const auto offered = [this] {
            return QList<bool>{action("mnuFileNew")->isEnabled(), action("mnuFileSave")->isEnabled(),
                               action("mnuFileSaveAs")->isEnabled(), action("CaptureNew")->isEnabled(),
                               action("CaptureSave")->isEnabled()};
        };

        doc.rowsAdded();
        QCOMPARE(offered(), (QList<bool>{true, false, true, true, true}));
        window->tbToolBar_ButtonClick("CaptureSave");
        prompts.fileNames = {seed->dir.filePath("capture.txt")};
        QCOMPARE(doc.saveAs(), CaptureDocument::SaveResult::Saved);
        QCOMPARE(offered(), (QList<bool>{true, false, true, true, true}));
        doc.rowsAdded(); // more rows after the file was written: Save
        QCOMPARE(offered(), (QList<bool>{true, true, true, true, true}));
        window->tbToolBar_ButtonClick("CaptureSave");
        for (const char *key : {"CaptureNew", "CaptureOpen", "SendCAN", "Check", "capturesave"})
            window->tbToolBar_ButtonClick(key); // an image key or a wrong case is no button
        QCOMPARE(ran, (QStringList{"mnuFileSaveAs", "mnuFileSave", "mnuFileNew", "mnuFileOpen", "mnuRunCANSend"}));

        doc.clear();
        QCOMPARE(offered(), (QList<bool>{false, false, false, false, false}));
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
        QTest::newRow("Enable menu item checked")
            << 0x04 << "mnuRunEnableCAN" << "mnuRunEnableCAN" << "EnableCAN" << true;
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
        QSignalSpy ran(action(command), &QAction::triggered);
        const qint64 icon = action("CaptureCAN")->icon().cacheKey();

        action(clicked)->trigger();
        QCOMPARE(ran.size(), 1);
        QCOMPARE(action(command)->isChecked(), marked);
        QCOMPARE(action(button)->isChecked(), marked);
        // The capture button shows its second picture while the window is open.
        QCOMPARE(action("CaptureCAN")->icon().cacheKey() != icon, button == QLatin1String("CaptureCAN"));
        QCOMPARE(window->document().isCapturing(), button == QLatin1String("CaptureCAN"));
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
        window->showCAN_Status(0x03); // from another mode, so a stale mark would show
        window->showCAN_Status(quint8(status));
        QCOMPARE(window->statusPanelText(2), mode);
        QCOMPARE(window->statusPanelText(3), capture);
        for (const QString key : {"StandbyCAN", "ListenCAN", "EnableCAN"}) {
            QCOMPARE(action("mnuRun" + key)->isChecked(), key == checked);
            QCOMPARE(action(key)->isChecked(), key == checked);
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
    }

    void exitClosesTheWindow()
    {
        window->show();
        action("mnuFileExit")->trigger();
        QVERIFY(!window->isVisible());
    }
};

TESSEL_TEST(tst_frmMain)
#include "tst_frmmain.moc"
