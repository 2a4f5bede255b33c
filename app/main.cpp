#include "core/database.h"
#include "core/databaselock.h"
#include "core/params.h"
#include "core/startup.h"
#include "widgets/qtprompts.h"
#include "sim/virtualport.h"
#include "views/ui/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(TESSEL_VERSION));

    // "Tessel capture.log" opens the capture once the window has loaded. The
    // name is made absolute before start-up can move the working folder.
    const QStringList arguments = QApplication::arguments();
    const QString startFile = arguments.size() > 1 ? QFileInfo(arguments.at(1)).absoluteFilePath() : QString();

    QtPrompts prompts;
    const StartupResult startup = runStartup(prompts, QDir::currentPath());
    if (!startup.ok)
        return 1;

    // Declared before the database, so the lock is given up after the file is closed.
    DatabaseLock lock(startup.paths.dbPath());
    Database db;
    if (!openDatabase(prompts, db, lock, startup.paths.dbPath())) {
        removeTempFolder(startup.paths);
        return 1;
    }
    ParamStore params(db);
    params.loadParams();

    AppContext context{&db, &params, &prompts, startup.paths};
    frmMain window(context, makeLinkPort);
    prompts.setParent(&window);
    window.openAtStart(startFile);
    window.show();
    return app.exec();
}
