// The progress window of a long open or save: its job runs on a thread of
// its own while the window's event loop goes on; Cancel reaches the job.
#include "support/testregistry.h"
#include "views/ui/frmload.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

class tst_FrmLoad : public QObject
{
    Q_OBJECT

private slots:
    void cancelReachesTheJob_data()
    {
        QTest::addColumn<bool>("cancellable");
        QTest::newRow("Cancel shown") << true;
        QTest::newRow("without Cancel the job runs to its end") << false;
    }
    void cancelReachesTheJob()
    {
        QFETCH(bool, cancellable);
        std::atomic<bool> release{false};
        std::atomic<bool> cancelled{false};
        frmLoad window(QStringLiteral("Loading..."), 100, cancellable, [&](CaptureLoader::Progress &progress) {
            progress.done = 40;
            while (!progress.cancel && !release)
                std::this_thread::yield();
            cancelled = progress.cancel.load();
        });
        QCOMPARE(window.cmdCancel->isVisibleTo(&window), cancellable);
        // The window's own loop ticks while the job runs: it shows the
        // progress, then the test presses Cancel (or lets the job end).
        int ticks = 0;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, &window, [&] {
            if (window.pbProgressBarAdd->value() != 40)
                return;
            ++ticks;
            if (cancellable)
                window.cmdCancel->click();
            else
                QTest::keyClick(&window, Qt::Key_Escape); // no effect on a job without Cancel
            if (!cancellable && ticks > 3)
                release = true;
        });
        poll.start();
        window.exec();
        QVERIFY(ticks >= 1);
        QCOMPARE(cancelled.load(), cancellable);
        QCOMPARE(window.pbProgressBarAdd->value(), 100);
    }
};

TESSEL_TEST(tst_FrmLoad)
#include "tst_frmload.moc"
