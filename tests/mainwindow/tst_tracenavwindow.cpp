// The main window's ways around the trace: standard keys and access keys on
// the real menus, the title naming the capture, recent files, the filter bar
// and the message rows' context menu.
#include "support/testregistry.h"
#include "views/ui/frmmain.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/mainwindowbench.h"
#include "views/messagemodel.h"
#include "views/ui/tracenav.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <memory>

class tst_TraceNavWindow : public QObject, MainWindowBench
{
    Q_OBJECT

    QString log(const QString &name) const
    {
        const QString file = seed->dir.filePath(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file));
        out.write("(1700000000.000000) can0 123#11\n"
                  "(1700000000.000100) can0 7E8#0212FF34\n"
                  "(1700000000.000200) can0 456#\n"
                  "(1700000000.000300) can0 7E8#12\n");
        return file;
    }
    TraceNavigator *nav() const { return window->findChild<TraceNavigator *>("traceNavigator"); }
    QTreeView *messages() const { return window->findChild<QTreeView *>("lvListViewMessages"); }
    QStringList shownIds() const
    {
        QStringList ids;
        for (int r = 0; r < messages()->model()->rowCount(); ++r)
            ids << messages()->model()->index(r, MessageModel::colIDStd).data().toString();
        return ids;
    }

private slots:
    void init()
    {
        openWindow();
        window->loadTimer_Timer();
    }
    void cleanup() { closeWindow(); }

    void standardKeys_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("keys");
        QTest::newRow("new") << "mnuFileNew"
                             << "Ctrl+N";
        QTest::newRow("open") << "mnuFileOpen"
                              << "Ctrl+O";
        QTest::newRow("save") << "mnuFileSave"
                              << "Ctrl+S";
        QTest::newRow("save as") << "mnuFileSaveAs"
                                 << "Ctrl+Shift+S";
        QTest::newRow("exit") << "mnuFileExit"
                              << "Ctrl+Q";
        QTest::newRow("start capture") << "mnuRunCaptureStart"
                                       << "F5";
        QTest::newRow("stop capture") << "mnuRunCaptureStop"
                                      << "Shift+F5";
        QTest::newRow("find") << "mnuMonitorFind"
                              << "Ctrl+F";
        QTest::newRow("find next") << "mnuMonitorFindNext"
                                   << "F3";
        QTest::newRow("find previous") << "mnuMonitorFindPrevious"
                                       << "Shift+F3";
        QTest::newRow("copy") << "mnuMonitorCopy"
                              << "Ctrl+C";
        QTest::newRow("clear") << "mnuMonitorClear"
                               << "Ctrl+L";
    }
    void standardKeys()
    {
        QFETCH(QString, item);
        QFETCH(QString, keys);
        const QAction *a = window->findChild<QAction *>(item);
        QVERIFY(a);
        QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), keys);
    }

    // Every menu and item has its own access key within its menu; the
    // captions read as before once the marker is taken out.
    void accessKeysOnEveryMenu()
    {
        QList<QMenu *> menus{nullptr};
        menus << window->menuBar()->findChildren<QMenu *>();
        for (QMenu *menu : menus) {
            const QList<QAction *> items = menu ? menu->actions() : window->menuBar()->actions();
            QStringList keys;
            for (const QAction *a : items) {
                // The data base's name is in its caption, as typed.
                if (a->isSeparator() || !a->objectName().startsWith("mnu") || a->objectName() == "mnuCAN_DB")
                    continue;
                const QString text = a->text();
                const qsizetype amp = text.indexOf('&');
                QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(a->objectName() + ": " + text));
                const QString key = text.mid(amp + 1, 1).toLower();
                QVERIFY2(!keys.contains(key), qPrintable(a->objectName() + " repeats " + key));
                keys << key;
                QVERIFY(!QString(text).remove(amp, 1).contains('&'));
            }
        }
        const auto shown = [this](const char *name) { return window->findChild<QAction *>(name)->text().remove('&'); };
        QCOMPARE(shown("mnuFileSaveAs"), QStringLiteral("Save As..."));
        QCOMPARE(shown("mnuMonitor_ID_Copy"), QStringLiteral("Copy to CAN Data Base"));
        QCOMPARE(window->findChild<QMenu *>("mnuMonitor")->title().remove('&'), QStringLiteral("Monitor"));
    }

    // The title names the file and marks unsaved rows; recent files remember
    // it, and a file gone since is taken off with a message.
    void titleAndRecentFiles()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Tessel"));
        const QString first = log("first.log");
        const QString second = log("second.log");
        window->openDropped(first);
        window->openDropped(second);
        QCOMPARE(window->windowTitle(), QStringLiteral("second.log[*] - Tessel"));
        QVERIFY(!window->isWindowModified());
        window->document().rowsAdded();
        QVERIFY(window->isWindowModified());

        QMenu *recent = window->findChild<QMenu *>("mnuFileRecent");
        emit recent->aboutToShow();
        QStringList captions;
        for (const QAction *a : recent->actions())
            captions << a->iconText();
        QCOMPARE(captions, (QStringList{"1 second.log", "2 first.log"}));
        QCOMPARE(seed->params.getParam("RecentFiles", {}), second + '\n' + first);

        QFile::remove(first);
        recent->actions().at(1)->trigger();
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(prompts.shown.first().text.contains("first.log\" is no longer there"));
        QCOMPARE(window->document().fileName(), second);
        emit recent->aboutToShow();
        QCOMPARE(recent->actions().size(), 1);
    }

    // The filter bar hides rows and counts them; a bad text is shown there
    // and the rows stay as they were; "Hide this identifier" adds to it.
    void filterBarAndRowMenu()
    {
        window->openDropped(log("trace.log"));
        TraceNavigator *n = nav();
        QCOMPARE(shownIds(), (QStringList{"123", "7E8", "456", "7E8"}));
        n->txtFilterIDs->setText("7E8, 123");
        QVERIFY(n->applyFilter());
        QCOMPARE(shownIds(), (QStringList{"123", "7E8", "7E8"}));
        QCOMPARE(n->lblRowCount->text(), QStringLiteral("3 of 4 rows shown"));
        n->txtFilterData->setText("12 ?");
        QVERIFY(!n->applyFilter());
        QVERIFY2(n->lblFilterMessage->text().startsWith("Data: \"?\" is not a data byte"),
                 qPrintable(n->lblFilterMessage->text()));
        QCOMPARE(shownIds().size(), 3);
        n->txtFilterData->clear();
        n->hideIdentifier(0);
        QCOMPARE(n->txtFilterIDs->text(), QStringLiteral("7E8, 123, !123"));
        QCOMPARE(shownIds(), (QStringList{"7E8", "7E8"}));
        QVERIFY(n->lblFilterMessage->isHidden());

        // Copy takes the shown columns of the selected rows.
        messages()->selectAll();
        n->copyRows();
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("2\t7E8\t-----\t0\t0\t0\t0\t4\t02 12 FF 34\t"), qPrintable(lines[0]));
        n->copyCandump();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("(1700000000.000100) can0 7E8#0212FF34\n(1700000000.000300) can0 7E8#12\n"));

        // The filter hides; the capture keeps every frame.
        QCOMPARE(window->document().store().count(), 4);
        n->txtFilterIDs->clear();
        QVERIFY(n->applyFilter());
        QCOMPARE(shownIds().size(), 4);
    }

    // Arrow keys and clicks in the list stop following; End resumes it on the last row.
    void listKeysFollowOrStay()
    {
        window->openDropped(log("keys.log"));
        QTreeView *list = messages();
        auto *follow = window->findChild<QPushButton *>("cmdFollow");
        QVERIFY(follow->isChecked());
        QTest::keyClick(list, Qt::Key_Up);
        QVERIFY(!follow->isChecked());
        QTest::keyClick(list, Qt::Key_End);
        QVERIFY(follow->isChecked());
        QCOMPARE(list->currentIndex().row(), 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
        QVERIFY(!follow->isChecked());
    }

    // "Send again..." opens the send window filled with the row's frame.
    void sendAgain()
    {
        window->openDropped(log("send.log"));
        clsFrame frame;
        frame.ID.StdPart = 0x7E8;
        frame.DLC = 3;
        frame.setDataB(0, 0x02);
        frame.setDataB(2, 0xFF);
        emit nav()->sendAgainRequested(frame);
        QVERIFY(window->findChild<QAction *>("mnuRunCANSend")->isChecked());
        auto *id = window->findChild<QLineEdit *>("txtIDStd");
        QVERIFY(id);
        QCOMPARE(id->text(), QStringLiteral("7E8"));
        auto *hex = window->findChild<QLineEdit *>("txtHex2");
        QVERIFY(hex);
        QCOMPARE(hex->text(), QStringLiteral("FF"));
    }
};

TESSEL_TEST(tst_TraceNavWindow)
#include "tst_tracenavwindow.moc"
