// The program's capture path in a process of its own, for the test that
// kills it: the link on port 1 (TESSEL_COM1, a tessel-sim terminal), the
// capture control, and the capture views with their store's file in FOLDER.
// The link's and the capture's own timers run; the store is flushed once a
// second as the capture document's timer does it, and after each flush the
// frames it holds are printed: "flushed N".
//
//   tessel-capture-child FOLDER
#include "core/prompts.h"
#include "link/connectiontest.h"
#include "link/packetlink.h"
#include "sim/virtualport.h"
#include "support/captureviews.h"
#include "core/database.h"
#include "core/params.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

namespace {

class SilentPrompts final : public Prompts
{
public:
    Answer message(const QString &text, const QString &, Icon, Buttons) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
};

// The connection test answered by the analyser in real time.
class EventLoopTester final : public ConnectionTester
{
public:
    explicit EventLoopTester(ConnectionTest &test)
        : test(test)
    {
    }
    void runConnectionTest(bool showParams, QObject *) override
    {
        test.start(showParams);
        QDeadlineTimer deadline(20000);
        while (test.isRunning() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }

private:
    ConnectionTest &test;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessel-capture-child FOLDER\n");
        return 2;
    }
    // A copy of the seed data base in FOLDER, which the test removes.
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString dbPath = QDir(folder).filePath(QStringLiteral("Tessel.mdb"));
    QFile::copy(QStringLiteral(TESSEL_SEED_DB), dbPath);
    QFile::setPermissions(dbPath, QFile::ReadOwner | QFile::WriteOwner);
    Database db;
    QString why;
    if (!db.open(dbPath, &why)) {
        std::fprintf(stderr, "tessel-capture-child: %s\n", qPrintable(why));
        return 1;
    }
    ParamStore params(db);
    params.loadParams();
    params.setParam(QStringLiteral("COMPort"), QStringLiteral("1"));
    SilentPrompts prompts;
    CaptureViews views;
    views.batched = true;
    views.store.setFolder(folder);

    PacketLink link(params, prompts, makeLinkPort);
    link.initProcesses();
    ConnectionTest test(link, db, params);
    EventLoopTester tester(test);
    link.setConnectionTester(&tester);
    CaptureControl capture(link);
    capture.setSink(&views);
    link.startTimers();
    capture.cmdStart_Click();
    if (link.linkState() != 3) {
        std::fprintf(stderr, "tessel-capture-child: the analyser did not connect\n");
        return 1;
    }

    QTimer flush;
    flush.setInterval(1000);
    QObject::connect(&flush, &QTimer::timeout, [&views] {
        views.store.flush();
        std::printf("flushed %lld\n", static_cast<long long>(views.store.count()));
        std::fflush(stdout);
    });
    flush.start();
    std::printf("capturing\n");
    std::fflush(stdout);
    return app.exec();
}
