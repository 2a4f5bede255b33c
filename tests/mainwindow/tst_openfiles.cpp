// Captures opened without the File › Open dialog: a file named on the command
// line once the window has loaded, a file dropped on the main window (with the
// "save changes?" question of File › Open), and the "Bus" column following the
// buses of the log.
#include "support/testregistry.h"
#include "views/ui/frmmain.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/mainwindowbench.h"
#include "views/messagemodel.h"

#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <memory>

class tst_OpenFiles : public QObject, MainWindowBench
{
    Q_OBJECT

    QString log(const QString &name, const QByteArray &content) const
    {
        const QString file = seed->dir.filePath(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file));
        out.write(content);
        return file;
    }
    QTreeView *messages() const { return window->findChild<QTreeView *>(QStringLiteral("lvListViewMessages")); }
    bool busShown() const { return !messages()->header()->isSectionHidden(MessageModel::colBus); }

    // Sends a drag entering the window and then, when it was taken, its drop.
    bool drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &dropped);
        // The file opens once the drop has ended.
        QCoreApplication::processEvents();
        return true;
    }

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // The file waits for the load tick (which empties the capture), then
    // opens; a log of two buses shows the Bus column, a new capture hides it.
    void commandLineOpensAfterTheLoad()
    {
        const QString file = log("start.txt", "(1700000000.000000) can0 123#11\n"
                                              "(1700000000.000100) can1 124#22\n"
                                              "(1700000000.000200) can0 125#33\n");
        window->show();
        window->openAtStart(file);
        QVERIFY(window->document().fileName().isEmpty());
        QVERIFY(!busShown());
        window->loadTimer_Timer();
        QCOMPARE(window->document().fileName(), file);
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(messages()->model()->rowCount(), 3);
        QVERIFY(busShown());
        QCOMPARE(messages()->model()->index(1, MessageModel::colBus).data().toString(), QStringLiteral("2"));
        QVERIFY(window->isEnabled());
        window->document().clear();
        QVERIFY(!busShown());
        // Only once: a later load tick does not open it again.
        window->loadTimer_Timer();
        QVERIFY(window->document().fileName().isEmpty());
    }

    void commandLineFileMissing()
    {
        window->openAtStart(seed->dir.filePath("gone.log"));
        window->loadTimer_Timer();
        QCOMPARE(prompts.texts(), QStringList{"File \"" + seed->dir.filePath("gone.log") + "\" is not found."});
        QVERIFY(window->document().fileName().isEmpty());
    }

    // Only local files are taken; a dropped file asks about the unsaved
    // capture as File › Open does, and Cancel keeps it.
    void dropOpensLikeFileOpen()
    {
        window->loadTimer_Timer();
        const QString file = log("drop.log", "(1700000000.000000) can0 123#11\n(1700000000.000100) can0 7FF#\n");
        QVERIFY(!drop({QUrl(QStringLiteral("https://example.invalid/drop.log"))}));
        QVERIFY(!drop({}));

        window->document().rowsAdded(); // an unsaved capture
        prompts.answers = {Prompts::Answer::Cancel};
        QVERIFY(drop({QUrl::fromLocalFile(file)}));
        QCOMPARE(prompts.texts(), QStringList{"Save viewed data to file?"});
        QVERIFY(window->document().fileName().isEmpty() && window->document().isModified());

        prompts.clear();
        prompts.answers = {Prompts::Answer::No};
        QVERIFY(drop({QUrl(QStringLiteral("https://example.invalid/x.log")), QUrl::fromLocalFile(file)}));
        QCOMPARE(prompts.texts(), QStringList{"Save viewed data to file?"});
        QCOMPARE(window->document().fileName(), file);
        QCOMPARE(messages()->model()->rowCount(), 2);
        QVERIFY(!busShown()); // one bus
    }
};

TESSEL_TEST(tst_OpenFiles)
#include "tst_openfiles.moc"
