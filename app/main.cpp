#include "link/connectiontest.h"
#include "link/database.h"
#include "link/packetlink.h"
#include "link/params.h"
#include "link/startup.h"
#include "link/ui/qtprompts.h"
#include "views/ui/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(TESSEL_VERSION));

    QtPrompts prompts;
    const StartupResult startup = runStartup(prompts, QDir::currentPath());
    if (!startup.ok)
        return 1;

    Database db;
    QString why;
    if (!db.open(startup.paths.dbPath(), &why)) {
        prompts.message(why, {}, Prompts::Icon::Critical);
        return 1;
    }
    ParamStore params(db);
    params.loadParams();

    AppContext context{&db, &params, &prompts, startup.paths};
    // ---- The analyser link, until the main window's load owns it ----------
    // The connection test runs without its window here: the chain runs on the
    // link's timers until it is over.
    PacketLink link(params, prompts);
    ConnectionTest connection(link, db, params);
    link.setConnectionRunner([&](bool showParams, QObject *) {
        QEventLoop loop;
        QTimer watch; // also ends the wait should the chain stop without a word
        QObject::connect(&connection, &ConnectionTest::finished, &loop, &QEventLoop::quit);
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (!connection.isRunning())
                loop.quit();
        });
        connection.start(showParams);
        watch.start(50);
        if (connection.isRunning())
            loop.exec();
    });
    link.initProcesses();
    link.startTimers();
    // ---- end of the link stand-in -------------------------------------------

    frmMain window(context);
    prompts.setParent(&window);
    window.attachSender(link);
    window.show();
    return app.exec();
}
