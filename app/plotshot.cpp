// tessel-plotshot: makes the README's picture of the main window. It starts
// Tessel on the built-in virtual analyser in a working folder, captures a few
// seconds of its traffic, plots two signals of the folder's data base and
// saves the window as PNG. scripts/screenshot-plot.sh runs it under Xvfb.
//
//   tessel-plotshot WORK OUT.png [SECONDS] [ID:SIGNAL ...]
#include "candb/candbmodel.h"
#include "candb/ui/dbtree.h"
#include "core/database.h"
#include "core/databaselock.h"
#include "core/params.h"
#include "core/prompts.h"
#include "core/startup.h"
#include "link/ui/frmcapture.h"
#include "sim/virtualport.h"
#include "views/messagemodel.h"
#include "views/plotmodel.h"
#include "views/ui/frmmain.h"
#include "views/ui/messageviews.h"
#include "views/ui/plotdock.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// No one is there to answer: every message goes to stderr and is answered
// "No" (so nothing is saved), every file dialog is cancelled.
class StderrPrompts final : public Prompts
{
public:
    Answer message(const QString &text, const QString &, Icon, Buttons buttons) override
    {
        std::fprintf(stderr, "tessel-plotshot: %s\n", qPrintable(text));
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
    }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
};

template <class T> T *part(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("tessel-plotshot: no %s", name);
    return found;
}

// "100:Load" -> identifier key 0x100 and the index of field "Load".
bool plotSignal(frmMain &window, PlotModel &plot, const QString &item)
{
    const QStringList parts = item.split(QLatin1Char(':'));
    bool ok = false;
    const qint32 key = parts.size() == 2 ? qint32(parts[0].toUInt(&ok, 16)) : -1;
    if (!ok)
        return false;
    const auto set = part<DbTree>(window, "dbTree")->model().signalSet(key);
    for (int i = 0; set && i < set->fields.size(); ++i)
        if (set->fields[i].name == parts[1])
            return plot.addSignal(key, i).isEmpty();
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tessel-plotshot WORK OUT.png [SECONDS] [ID:SIGNAL ...]\n");
        return 2;
    }
    const QString out = QDir::current().absoluteFilePath(args[2]);
    const int seconds = args.size() > 3 ? args[3].toInt() : 5;
    const QStringList signalNames = args.size() > 4 ? args.mid(4) : QStringList{};

    StderrPrompts prompts;
    const StartupResult startup = runStartup(prompts, QDir(args[1]).absolutePath());
    if (!startup.ok)
        return 1;
    DatabaseLock lock(startup.paths.dbPath());
    Database db;
    if (!openDatabase(prompts, db, lock, startup.paths.dbPath()))
        return 1;
    ParamStore params(db);
    params.loadParams();
    AppContext context{&db, &params, &prompts, startup.paths};
    frmMain window(context, makeLinkPort);
    window.resize(1280, 900);
    window.show();

    int status = 1;
    frmCapture *capture = nullptr;
    QTimer::singleShot(1000, &window, [&] {
        part<QAction>(window, "mnuRunCANCapture")->trigger();
        capture = window.findChild<frmCapture *>();
        if (!capture)
            qFatal("tessel-plotshot: no capture window");
        capture->cmdStart->click();
    });
    QTimer::singleShot(1000 + seconds * 1000, &window, [&] { capture->cmdStart->click(); });
    QTimer::singleShot(2000 + seconds * 1000, &window, [&] {
        capture->close();
        MessageViews *views = part<MessageViews>(window, "messageViews");
        PlotModel &plot = *views->plotModel();
        for (const QString &item : signalNames)
            if (!plotSignal(window, plot, item))
                std::fprintf(stderr, "tessel-plotshot: cannot plot %s\n", qPrintable(item));
        part<QAction>(window, "mnuViewSignals")->trigger();
        part<QAction>(window, "mnuViewPlot")->trigger();
        // The cursor on a frame of the first signal, two fifths in.
        if (!plot.curves().empty() && plot.curves()[0].series.size() > 0) {
            const plotseries::Series &points = plot.curves()[0].series;
            views->showFrame(points.frame[size_t(points.size() * 2 / 5)]);
        }
        PlotDock *dock = part<PlotDock>(window, "dockPlot");
        window.resizeDocks({dock}, {window.height() / 3}, Qt::Vertical);
        dock->fit();
    });
    QTimer::singleShot(3500 + seconds * 1000, &window, [&] {
        // A picture of a window needs no more than 256 colours: a small file.
        const QImage picture = window.grab().toImage().convertToFormat(QImage::Format_Indexed8);
        status = picture.save(out) ? 0 : 1;
        if (status != 0)
            std::fprintf(stderr, "tessel-plotshot: cannot write %s\n", qPrintable(out));
        QApplication::exit(status);
    });
    app.exec();
    removeTempFolder(startup.paths);
    return status;
}
