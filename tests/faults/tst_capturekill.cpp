// A capture killed with SIGKILL while tessel-sim sends on a pseudo-terminal:
// the capture path runs in a process of its own (tessel-capture-child), and
// what it left behind is recovered and compared with what was sent.
#include "core/capturestore.h"
#include "core/values.h"
#include "support/testregistry.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include <csignal>

class tst_CaptureKill : public QObject
{
    Q_OBJECT

    QProcess sim;
    QProcess child;

    // The next line of a process's standard output, waiting at most `ms`.
    static QByteArray lineOf(QProcess &process, int ms = 5000)
    {
        QDeadlineTimer deadline(ms);
        while (!process.canReadLine() && !deadline.hasExpired() && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(100);
        return process.readLine().trimmed();
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(3000);
    }

private slots:
    void cleanup()
    {
        stop(child);
        stop(sim);
    }

    void killedCaptureRecovered()
    {
        const QString simProgram = QStringLiteral(TESSEL_BIN_DIR "/tessel-sim");
        const QString childProgram = QStringLiteral(TESSEL_BIN_DIR "/tessel-capture-child");
        if (!QFileInfo::exists(simProgram) || !QFileInfo::exists(childProgram))
            QSKIP("tessel-sim or tessel-capture-child is not built");
        // 2000 frames a second of four identifiers, the stamp counter wrapping
        // a second into the capture.
        constexpr int rate = 2000;
        sim.start(simProgram, {"--rate", QString::number(rate), "--ids", "123,7FF/8,x18FEF100,3C5/2", "--stamp-offset",
                               "FFF00000", "--buffer", "100000"});
        const QByteArray terminal = sim.waitForStarted(5000) ? lineOf(sim) : QByteArray();
        if (terminal.isEmpty())
            QSKIP("tessel-sim cannot open a pseudo-terminal");

        QTemporaryDir folder;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TESSEL_COM1"), QString::fromLocal8Bit(terminal));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(childProgram, {folder.path()});
        QCOMPARE(lineOf(child, 30000), QByteArray("capturing"));
        // Three flushes in, with frames in each.
        qint64 flushed = 0;
        for (int i = 0; i < 3; ++i) {
            const QByteArray line = lineOf(child);
            QVERIFY2(line.startsWith("flushed "), line.constData());
            flushed = line.mid(8).toLongLong();
        }
        QVERIFY(flushed > rate);

        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        sim.write("stats\n");
        const QList<QByteArray> stats = lineOf(sim).split(' ');
        QCOMPARE(stats.value(2), QByteArray("sent"));
        const qint64 sent = stats.value(3).toLongLong();
        QCOMPARE(stats.value(5), QByteArray("0")); // the analyser lost nothing

        const QList<CaptureStore::Unsaved> found = CaptureStore::findUnsaved(folder.path());
        QCOMPARE(found.size(), 1);
        CaptureStore store(folder.path());
        QString error;
        QVERIFY2(store.adopt(found.first().fileName, &error), qPrintable(error));
        QCOMPARE(qint64(store.count()), found.first().frames);
        qInfo("sent %lld, flushed %lld, recovered %lld", sent, flushed, qint64(store.count()));
        // Everything flushed is there, and no more than the last second of
        // what the analyser sent is missing.
        QVERIFY2(store.count() >= flushed, qPrintable(QStringLiteral("%1 < %2").arg(store.count()).arg(flushed)));
        QVERIFY2(sent - store.count() <= rate,
                 qPrintable(QStringLiteral("sent %1, recovered %2").arg(sent).arg(store.count())));
        const std::set<qint32> ids{0x123, 0x7FF, 0x18FEF100 | 0x20000000, 0x3C5};
        qsizetype wraps = 0;
        for (qsizetype i = 0; i < store.count(); ++i) {
            const clsFrame &f = store.frame(i);
            QVERIFY2(!f.isLost && ids.count(frameIdNumber(f)), qPrintable(f.toString()));
            if (i > 0) {
                QVERIFY2(*f.Time > *store.frame(i - 1).Time, qPrintable(f.toString()));
                wraps += f.TimeStamp < store.frame(i - 1).TimeStamp ? 1 : 0;
            }
        }
        QVERIFY(wraps >= 1);
        QCOMPARE(store.wrapOffset, CaptureStore::stampWrap * wraps);
    }
};

TESSEL_TEST(tst_CaptureKill)
#include "tst_capturekill.moc"
