// The main window shell: initial menu states, the tool bar's commands, the
// marks only the program sets, the status bar, and the File menu following the
// capture document (the layout is in tst_mainlayout).
#include "support/testregistry.h"
#include "views/ui/frmmain.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/mainwindowbench.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <memory>

class tst_frmMain : public QObject, MainWindowBench
{
    Q_OBJECT

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
        for (const QAction *a : window->findChildren<QAction *>())
            if (a->objectName().startsWith(QLatin1String("mnu")) && (a->*state)() == wanted)
                names << a->objectName();
        return names;
    }
    QList<bool> enabled(std::initializer_list<const char *> names) const
    {
        QList<bool> states;
        for (const char *name : names)
            states << action(QLatin1String(name))->isEnabled();
        return states;
    }

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // Nothing to start afresh or save; items of a tree node wait for a click.
    void freshWindow()
    {
        QCOMPARE(window->statusPanelText(1), QStringLiteral("Status : Unknown"));
        QCOMPARE(
            items(&QAction::isEnabled, false),
            (QStringList{"mnuFileNew", "mnuFileSave", "mnuFileSaveAs", "mnuCAN_Bar1", "mnuCAN_Devices_Edit",
                         "mnuCAN_Devices_Delete", "mnuCAN_Devices_Expand", "mnuCAN_Devices_Collapse", "mnuCAN_IDs_Edit",
                         "mnuCAN_IDs_Delete", "mnuCAN_IDs_Expand", "mnuCAN_IDs_Collapse", "mnuMonitor_Frame_Delete"}));
        // The greyed item says why, not just its caption again.
        const QAction *frameDelete = window->findChild<QAction *>("mnuMonitor_Frame_Delete");
        QVERIFY(frameDelete->toolTip() != frameDelete->text());
        QVERIFY(window->findChild<QMenu *>("mnuMonitor_Frame")->toolTipsVisible());
        QCOMPARE(items(&QAction::isVisible, false),
                 (QStringList{"mnuCAN_Bar1", "mnuCAN_IDs_Expand", "mnuCAN_IDs_Collapse"}));
        QCOMPARE(items(&QAction::isChecked, true),
                 (QStringList{"mnuMonitor_ID_Enable", "mnuViewToolbar", "mnuViewStatusBar"}));
        QVERIFY(!window->findChild<QMenu *>("mnuCAN_DB")->menuAction()->isVisible());
        QCOMPARE(enabled({"CaptureNew", "CaptureSave"}), (QList<bool>{false, false}));
    }

    // The menu's text with mnemonic markers resolved; an ampersand shows as typed.
    void currentDbMenu_data()
    {
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("a data base is current") << true << "Bench"
                                                << "CAN DB : Bench";
        QTest::newRow("an ampersand is shown as typed") << true << "Body & Chassis"
                                                        << "CAN DB : Body & Chassis";
        QTest::newRow("no data base hides it again") << false << ""
                                                     << "CAN DB :";
    }
    void currentDbMenu()
    {
        QFETCH(bool, current);
        QFETCH(QString, name);
        window->setCanDbMenu(true, QStringLiteral("Previous"));
        window->setCanDbMenu(current, name);
        const QMenu *menu = window->findChild<QMenu *>("mnuCAN_DB");
        QCOMPARE(action("mnuCAN_Bar1")->isVisible(), current);
        QCOMPARE(menu->menuAction()->isVisible(), current);
        QTEST(menu->menuAction()->iconText(), "caption");
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
            return enabled({"mnuFileNew", "mnuFileSave", "mnuFileSaveAs", "CaptureNew", "CaptureSave"});
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
    // Opening the capture window marks both (tst_capture covers the rest).
    void clickKeepsMark()
    {
        const struct
        {
            int status;
            QString clicked, command, button;
            bool marked;
        } rows[] = {
            {0x00, "ListenCAN", "mnuRunListenCAN", "ListenCAN", false},
            {0x03, "ListenCAN", "mnuRunListenCAN", "ListenCAN", true},
            {0x04, "mnuRunEnableCAN", "mnuRunEnableCAN", "EnableCAN", true},
            {0x00, "CaptureCAN", "mnuRunCANCapture", "CaptureCAN", true},
        };
        for (const auto &row : rows) {
            cleanup(); // a fresh window for each click
            init();
            window->showCAN_Status(quint8(row.status));
            QSignalSpy ran(action(row.command), &QAction::triggered);
            const qint64 icon = action("CaptureCAN")->icon().cacheKey();
            action(row.clicked)->trigger();
            QCOMPARE(ran.size(), 1);
            QCOMPARE(action(row.command)->isChecked(), row.marked);
            QCOMPARE(action(row.button)->isChecked(), row.marked);
            // The capture button shows its second picture while the window is open.
            const bool capture = row.button == QLatin1String("CaptureCAN");
            QCOMPARE(action("CaptureCAN")->icon().cacheKey() != icon, capture);
            QCOMPARE(window->document().isCapturing(), capture);
        }
    }

    // Status 0x03 first, so a stale mark would show; bit 6 is ignored.
    void showCanStatus()
    {
        const struct
        {
            int status;
            const char *mode;
            bool capturing;
            QString checked;
        } rows[] = {
            {0x00, "", false, ""},
            {0x01, "Reset", false, ""},
            {0x02, "Disable", false, "StandbyCAN"},
            {0x84, "Enable", true, "EnableCAN"},
            {0x44, "Enable", false, "EnableCAN"},
            {0x05, "", false, ""},
        };
        for (const auto &row : rows) {
            window->showCAN_Status(0x03);
            window->showCAN_Status(quint8(row.status));
            QCOMPARE(window->statusPanelText(2), QStringLiteral("CAN Mode : ") + row.mode);
            QCOMPARE(window->statusPanelText(3), row.capturing ? "CAN Capute : On" : "CAN Capute : Off");
            for (const QString key : {"StandbyCAN", "ListenCAN", "EnableCAN"}) {
                QCOMPARE(action("mnuRun" + key)->isChecked(), key == row.checked);
                QCOMPARE(action(key)->isChecked(), key == row.checked);
            }
        }
    }

    void helpAboutAndExit()
    {
        const QString noHelp =
            QStringLiteral("Unable to display Help Contents. There is no Help associated with this project.");
        for (const char *item : {"mnuHelpContents", "mnuHelpSearchForHelpOn", "mnuHelpAbout"}) {
            prompts.shown.clear();
            action(item)->trigger();
            QCOMPARE(prompts.shown.size(), 1);
            QCOMPARE(prompts.shown[0].icon, Prompts::Icon::Information);
            QCOMPARE(prompts.shown[0].text.section(QLatin1Char('\n'), 0, 0),
                     QLatin1String(item) == "mnuHelpAbout" ? QStringLiteral("Tessel Version 1.2.4") : noHelp);
        }
        window->show();
        action("mnuFileExit")->trigger();
        QVERIFY(!window->isVisible());
    }
};

TESSEL_TEST(tst_frmMain)
#include "tst_frmmain.moc"
