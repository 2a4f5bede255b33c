// The connection window and the Run menu in the main window, against the
// virtual analyser in this process with the link's timers running.
#include "support/testregistry.h"
#include "link/ui/frmconnect.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "views/ui/frmmain.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class tst_frmConnect : public QObject
{
    Q_OBJECT

    SeedDatabase *seed = nullptr;
    FakePrompts prompts;
    AppContext context;
    VirtualAnalyserOptions options;
    PacketLink *link = nullptr;
    frmConnect *window = nullptr;

    // Calls `step` every 10 ms from the window's modal loop until it returns true.
    void whileModal(std::function<bool()> step)
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [timer, step] {
            if (step()) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start(10);
        QTimer::singleShot(10000, timer, [timer] { timer->stop(); }); // never wait for ever
    }

private slots:
    void init()
    {
        seed = new SeedDatabase;
        prompts.shown.clear();
        context = AppContext{&seed->db, &seed->params, &prompts, {}};
        options = VirtualAnalyserOptions();
        link = new PacketLink(seed->params, prompts, [this](int) -> std::unique_ptr<SerialPort> {
            return makeVirtualAnalyserPort(options, false);
        });
        link->initProcesses();
        window = new frmConnect(context, *link);
        link->startTimers();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        delete link;
        delete seed;
    }

    // The automatic test before a command: compact, closes itself on success.
    void automaticTestHidesItself()
    {
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::Yes);
        QVERIFY(window->isHidden() && window->lvListViewParams->isHidden());
        QCOMPARE(window->windowTitle(), QStringLiteral("Connection to CAN Analyser on COM0"));
        QCOMPARE(window->txtConnectStatus->text(), QStringLiteral("Connected"));
        QCOMPARE(window->cmdCancelOk->text(), QStringLiteral("Ok"));
        QCOMPARE(window->pbProgressBarParams->value(), window->pbProgressBarParams->maximum());
        QCOMPARE(seed->params.getInt("TestConnectPBMax", 0), window->pbProgressBarParams->maximum());
        QCOMPARE(window->lvListViewParams->topLevelItemCount(), 11);
        QCOMPARE(link->busyCount(), 1);
        QVERIFY(prompts.shown.isEmpty());
    }

    // A failed test keeps the window open with "Cancel" until the user closes it.
    void failureWaitsForCancel()
    {
        options.errorFlagFor = simfault::all;
        QStringList seen;
        whileModal([&] {
            if (window->txtConnectStatus->text() != QLatin1String("Not connected"))
                return false;
            seen << window->cmdCancelOk->text() << QString::number(window->pbProgressBarParams->value());
            window->close(); // the close box hides it too
            return true;
        });
        QVERIFY(link->acquireLink(nullptr, false, true) == Acquired::No);
        QCOMPARE(seen, (QStringList{"Cancel", "0"}));
        QCOMPARE(prompts.texts(), QStringList{"Error! CAN Analyser answer with error on your command..."});
        QCOMPARE(link->busyCount(), 0);
        QVERIFY(!link->isPortOpen());
    }

    void columnWidthsKeptInTwips()
    {
        delete window;
        seed->params.setParam("ListViewParams_ColWidth1", "2880");
        window = new frmConnect(context, *link);
        const int dpi = window->logicalDpiX();
        QCOMPARE(window->lvListViewParams->columnWidth(0), 2 * dpi);
        window->lvListViewParams->setColumnWidth(1, dpi);
        delete window;
        window = nullptr;
        QCOMPARE(seed->params.getParam("ListViewParams_ColWidth1", ""), QStringLiteral("2880"));
        QCOMPARE(seed->params.getParam("ListViewParams_ColWidth2", ""), QStringLiteral("1440"));
    }

    // The Run menu of the main window through the link (its receive path run
    // by hand): the first mode command connects first; answers set the status
    // bar, marks and buttons.
    void runMenuInTheMainWindow()
    {
        frmMain main(context, makeLinkPort);
        main.findChild<QTimer *>("loadTimer")->stop(); // its tick would reset the link in the middle of the test
        PacketLink &mainLink = *main.findChild<PacketLink *>("link");
        VirtualAnalyserRig rig(mainLink, seed->db, seed->params); // the connection test run headless
        const auto run = [&main, &mainLink](const char *item, bool answered = true) {
            main.findChild<QAction *>(item)->trigger();
            for (int i = 0; answered && i < 5; ++i)
                mainLink.poll();
        };
        const auto marked = [&main] {
            QStringList names;
            for (const char *name : {"mnuRunListenCAN", "ListenCAN", "mnuRunEnableCAN", "EnableCAN"})
                if (main.findChild<QAction *>(name)->isChecked())
                    names << name;
            return names;
        };
        const auto panels = [&main] {
            return QStringList{main.statusPanelText(1), main.statusPanelText(2), main.statusPanelText(3),
                               main.statusPanelText(4)};
        };

        run("mnuRunListenCAN");
        QCOMPARE(panels(),
                 (QStringList{"Status : Connected", "CAN Mode : Listen", "CAN Capute : Off", "Processes : 0"}));
        QCOMPARE(marked(), (QStringList{"mnuRunListenCAN", "ListenCAN"}));
        run("mnuRunEnableCAN", false);
        QCOMPARE(marked(), (QStringList{"mnuRunListenCAN", "ListenCAN"})); // unchanged until the answer
        run("mnuRunEnableCAN");
        QCOMPARE(main.statusPanelText(2), QStringLiteral("CAN Mode : Enable"));
        QCOMPARE(marked(), (QStringList{"mnuRunEnableCAN", "EnableCAN"}));
        run("mnuRunResetCAN", false);
        QCOMPARE(main.statusPanelText(2), QStringLiteral("CAN Mode : Reset")); // at once
        QVERIFY(marked().isEmpty());
        run("mnuRunResetCAN");
        QCOMPARE(main.statusPanelText(4), QStringLiteral("Processes : 0"));
        QVERIFY(prompts.shown.isEmpty());
    }

    // "Test connection" from the tool bar: the list stays up with "Ok" over the
    // main window with the virtual analyser's identity; "Ok" lets the port go.
    void testConnectionFromTheToolBar()
    {
        frmMain main(context, makeLinkPort);
        main.findChild<QTimer *>("loadTimer")->stop(); // its tick would reset the link in the middle of the test
        main.startLink();
        frmConnect *w = main.findChild<frmConnect *>();
        QStringList rows;
        whileModal([&] {
            if (w->txtConnectStatus->text() != QLatin1String("Connected"))
                return false;
            rows << w->cmdCancelOk->text() << (w->lvListViewParams->isVisible() ? "list shown" : "list hidden");
            for (int i = 0; i < w->lvListViewParams->topLevelItemCount(); ++i)
                rows << w->lvListViewParams->topLevelItem(i)->text(0) + " = " +
                            w->lvListViewParams->topLevelItem(i)->text(1);
            QTest::mouseClick(w->cmdCancelOk, Qt::LeftButton);
            return true;
        });
        main.tbToolBar_ButtonClick("TestCAN");
        QCOMPARE(rows.mid(0, 2), (QStringList{"Ok", "list shown"}));
        QCOMPARE(rows.size(), 2 + 11);
        QVERIFY(rows.contains("MCU Frequency, MHz = 16.000000") && rows.contains("CAN Speed, kbps = 500.000"));
        QVERIFY(w->isHidden());
        QCOMPARE(main.statusPanelText(1), QStringLiteral("Status : Connected"));
        QCOMPARE(main.statusPanelText(4), QStringLiteral("Processes : 0"));
        QVERIFY(!main.findChild<PacketLink *>("link")->isPortOpen());
    }
};

TESSEL_TEST(tst_frmConnect)
#include "tst_frmconnect.moc"
