// The main window's layout and settings: panes from the splitters, drag
// limits and presets in numbers, window placement from saved nonsense, and a
// real window's load tick and close (settings written, question asked,
// temporary folder removed), including a capture saved and opened again.
#include "views/mainlayout.h"

#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "views/messagemodel.h"
#include "views/ui/frmmain.h"
#include "views/ui/monitorview.h"
#include "views/ui/splitterbar.h"
#include "views/ui/timelinepanel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

using Splitter = MainLayout::Splitter;

namespace {

// Twips, as the settings hold them: margins 60, splitters 60 wide, a tool bar
// of 400 and a status bar of 300.
MainLayout twipsLayout()
{
    MainLayout layout;
    layout.splitterWidth = 60;
    layout.leftMargin = 60;
    layout.topMargin = 60;
    layout.bottomMargin = 60;
    return layout;
}

clsFrame frame(qint64 stamp, int std, int dlc)
{
    clsFrame f;
    f.TimeStamp = stamp;
    f.ID.StdPart = std;
    f.DLC = quint8(dlc);
    f.setData(QByteArray(dlc, '\x5A'));
    f.computeDuration(500000);
    return f;
}

} // namespace

// QTest::toString hands out a buffer the caller must free; failure messages
// here only need the numbers.
static QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

class tst_MainLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
    QTemporaryDir *dir = nullptr;
    Database *db = nullptr;
    std::unique_ptr<ParamStore> params;
    FakePrompts prompts;
    AppContext context;

    // A window on the data base as it is now, after its load tick.
    std::unique_ptr<frmMain> start()
    {
        params = std::make_unique<ParamStore>(*db);
        params->loadParams();
        context.params = params.get();
        auto window = std::make_unique<frmMain>(context);
        window->show();
        window->loadTimer_Timer();
        return window;
    }

    QString param(const QString &name) const { return params->contains(name) ? params->getParam(name, {}) : "<none>"; }

    // Three captured rows, stamps 0x100, 0x300, 0x500 (DLC 2, 0, 8), decoded.
    std::unique_ptr<frmMain> startWithThreeFrames()
    {
        auto window = start();
        window->setBusTiming(500000, 1000000);
        window->captureFrame(frame(0x100, 0x123, 2));
        window->captureFrame(frame(0x300, 0x0F0, 0));
        window->captureFrame(frame(0x500, 0x123, 8));
        window->captureBatchDone(); // the decoding run's rows
        return window;
    }

    // Writes `bytes` to a file of the scratch folder and opens it with File > Open.
    QString openFile(frmMain &window, const char *name, const QByteArray &bytes)
    {
        const QString file = dir->filePath(QString::fromLatin1(name));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file));
        out.close();
        prompts.fileNames = {file};
        window.mnuFileOpen->trigger();
        return file;
    }

private slots:
    void init()
    {
        seed = std::make_unique<SeedDatabase>();
        dir = &seed->dir;
        db = &seed->db;
        QVERIFY(db->execute(QStringLiteral("delete from Params")));
        // Each setting is written through at once; a throw-away file need not wait for the disk.
        db->execute(QStringLiteral("PRAGMA synchronous=OFF"));
        prompts.shown.clear();
        prompts.answers.clear();
        prompts.fileNames.clear();
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("temp/Tessel")));
        context = AppContext{
            db, nullptr, &prompts,
            StartupPaths{dir->filePath(QStringLiteral("temp/Tessel")), dir->path(), QStringLiteral("Tessel.mdb")}};
    }

    void cleanup()
    {
        params.reset();
        seed.reset();
    }

    // ---- numbers ----

    void presetsOnA10000TwipWindow()
    {
        MainLayout layout = twipsLayout();
        layout.presetVertical(10000);
        layout.presetHorizontal(8000);
        QCOMPARE(layout.vSplitter[0], 2000);
        QCOMPARE(layout.vSplitter[1], 9000);
        QCOMPARE(layout.hSplitter[0], 5600);
        QCOMPARE(MainLayout::defaultVertical(0, 10000), 3333);
        QCOMPARE(MainLayout::defaultVertical(1, 10000), 6666);
        QCOMPARE(MainLayout::defaultHorizontal(0, 8000), 4000);
    }

    void panesFromTheSplitters()
    {
        MainLayout layout = twipsLayout();
        layout.presetVertical(10000);
        layout.presetHorizontal(8000);
        layout.sizeControls(QSize(10000, 8000), 400, 300);
        QCOMPARE(layout.layoutLeft, 60);
        QCOMPARE(layout.layoutRight, 9940);
        QCOMPARE(layout.layoutTop, 460);
        QCOMPARE(layout.layoutBottom, 7640);
        QCOMPARE(layout.picDB, QRect(60, 460, 1940, 7180));
        QCOMPARE(layout.lvListViewMessages, QRect(2060, 460, 6940, 5140));
        QCOMPARE(layout.lvListViewID, QRect(9060, 460, 880, 5140));
        QCOMPARE(layout.pictOscilograph, QRect(2060, 5660, 7880, 1980));
        QCOMPARE(layout.imgSplitter[0], QRect(2000, 460, 60, 7180));
        QCOMPARE(layout.imgSplitter[1], QRect(9000, 460, 60, 7180));
        QCOMPARE(layout.imgSplitterH[0], QRect(2060, 5600, 7880, 60));

        // Without the status bar every pane reaching the bottom grows by its height.
        layout.sizeControls(QSize(10000, 8000), 400, 0);
        QCOMPARE(layout.picDB.height(), 7180 + 300);
        QCOMPARE(layout.pictOscilograph.height(), 1980 + 300);
        QCOMPARE(layout.lvListViewMessages.height(), 5140);
    }

    // A narrower window pulls the right splitter in, then the left one, so
    // each column keeps two splitter widths.
    void narrowWindowPullsTheSplitters()
    {
        MainLayout layout = twipsLayout();
        layout.vSplitter = {6000, 9000};
        layout.hSplitter = {7000};
        layout.sizeControls(QSize(5000, 4000), 0, 0);
        QCOMPARE(layout.vSplitter[1], 4940 - 120);
        QCOMPARE(layout.vSplitter[0], 4820 - 120);
        QCOMPARE(layout.hSplitter[0], 3940 - 120);
        QCOMPARE(layout.lvListViewID.width(), 60);
        QCOMPARE(layout.lvListViewMessages.width(), 60);
    }

    void dragLimits_data()
    {
        QTest::addColumn<int>("splitter");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("limited");
        // Splitters at 2000, 9000 and 5600 on the 10000 x 8000 window above.
        QTest::newRow("left splitter to the far right: two widths before the right one")
            << int(Splitter::vertical0) << 99999 << 9000 - 120;
        QTest::newRow("left splitter to the far left: one width after the margin")
            << int(Splitter::vertical0) << -500 << 60 + 60;
        QTest::newRow("right splitter onto the left one") << int(Splitter::vertical1) << 1000 << 2000 + 120;
        QTest::newRow("right splitter past the right edge") << int(Splitter::vertical1) << 12000 << 9940 - 120;
        QTest::newRow("horizontal splitter below the bottom") << int(Splitter::horizontal0) << 9000 << 7640 - 120;
    }

    void dragLimits()
    {
        QFETCH(int, splitter);
        QFETCH(int, wanted);
        QFETCH(int, limited);
        MainLayout layout = twipsLayout();
        layout.presetVertical(10000);
        layout.presetHorizontal(8000);
        layout.sizeControls(QSize(10000, 8000), 400, 300);
        QCOMPARE(layout.dragLimit(Splitter(splitter), wanted), limited);
    }

    void nonsenseSplittersStillShowEveryPane_data()
    {
        QTest::addColumn<int>("v0");
        QTest::addColumn<int>("v1");
        QTest::addColumn<int>("h0");
        QTest::newRow("negative") << -5000 << -10 << -99999;
        QTest::newRow("far beyond the window") << 2000000000 << 2000000000 << 2000000000;
        QTest::newRow("crossed") << 9000 << 1000 << 500;
        QTest::newRow("all zero") << 0 << 0 << 0;
    }

    void nonsenseSplittersStillShowEveryPane()
    {
        QFETCH(int, v0);
        QFETCH(int, v1);
        QFETCH(int, h0);
        MainLayout layout = twipsLayout();
        layout.vSplitter = {v0, v1};
        layout.hSplitter = {h0};
        layout.sizeControls(QSize(10000, 8000), 400, 300);
        for (const QRect &pane :
             {layout.picDB, layout.lvListViewMessages, layout.lvListViewID, layout.pictOscilograph}) {
            QVERIFY2(pane.width() >= 60 && pane.height() >= 60, qPrintable(rectText(pane)));
            QVERIFY(pane.right() < 10000 && pane.bottom() < 8000 && pane.left() >= 0 && pane.top() >= 0);
        }
    }

    void usableWindowPlacement_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("placed");
        // One 1920 x 1080 screen beside a 1280 x 1024 one; minimum 333 x 200.
        QTest::newRow("an ordinary placement stays") << QRect(100, 80, 900, 600) << QRect(100, 80, 900, 600);
        QTest::newRow("on the second screen stays") << QRect(2000, 100, 900, 600) << QRect(2000, 100, 900, 600);
        QTest::newRow("negative size becomes the minimum, position kept")
            << QRect(100, 80, -50, -7) << QRect(100, 80, 333, 200);
        QTest::newRow("off every screen: centred on the first")
            << QRect(-30000, -30000, 900, 600) << QRect(510, 240, 900, 600);
        QTest::newRow("title strip below the screens: centred on the first")
            << QRect(100, 1090, 900, 600) << QRect(510, 240, 900, 600);
        QTest::newRow("larger than both screens: shrunk to their area")
            << QRect(0, 0, 90000, 90000) << QRect(0, 0, 3200, 1080);
    }

    void usableWindowPlacement()
    {
        QFETCH(QRect, saved);
        QFETCH(QRect, placed);
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QCOMPARE(usableGeometry(saved, QSize(333, 200), screens), placed);
    }

    void twipsAndPixels()
    {
        QCOMPARE(twipsToPixels(5000, 96), 333);
        QCOMPARE(pixelsToTwips(333, 120), 3996);
        QCOMPARE(twipsToPixels(pixelsToTwips(777, 144), 144), 777);
    }

    // ---- the window ----

    void firstStartCreatesEveryKeyAtClose()
    {
        auto window = start();
        QVERIFY(!window->loadTimer->isActive());
        QCOMPARE(param("SplitterWidth"), QStringLiteral("60"));
        QVERIFY(window->close());

        QStringList keys{"SplitterWidth", "MainState",   "MainLeft",    "MainTop",    "MainWidth",
                         "MainHeight",    "V-Splitter0", "V-Splitter1", "H-Splitter0"};
        for (int i = 1; i <= MessageModel::columnTotal; ++i)
            keys << QStringLiteral("ListViewMessages_ColWidth%1").arg(i);
        for (int i = 1; i <= window->lvListViewID->header()->count(); ++i)
            keys << QStringLiteral("ListViewID_ColWidth%1").arg(i);
        QVERIFY(window->lvListViewID->header()->count() >= 3);
        for (const QString &key : keys)
            QVERIFY2(params->contains(key), qPrintable(key));
        QCOMPARE(param("MainState"), QStringLiteral("0"));
        QVERIFY(param("MainWidth").toInt() >= 5000);

        // The next start puts the splitters and columns back where they were.
        const int v0 = param("V-Splitter0").toInt();
        const int width3 = param("ListViewMessages_ColWidth3").toInt();
        params->setParam(QStringLiteral("V-Splitter0"), v0 + 600);
        params->setParam(QStringLiteral("ListViewMessages_ColWidth3"), width3 + 1440);
        window = start();
        QCOMPARE(pixelsToTwips(window->mainLayout.vSplitter[0], window->logicalDpiX()), v0 + 600);
        QCOMPARE(pixelsToTwips(window->lvListViewMessages->header()->sectionSize(2), window->logicalDpiX()),
                 width3 + 1440);
    }

    void maximisedComesBackMaximised()
    {
        auto window = start();
        window->setGeometry(40, 50, 600, 400);
        const QRect normal = window->geometry();
        window->showMaximized();
        QVERIFY(window->close());
        QCOMPARE(param("MainState"), QStringLiteral("2"));
        const double dpi = window->logicalDpiX();
        QCOMPARE(param("MainWidth").toLongLong(), pixelsToTwips(normal.width(), dpi));
        QCOMPARE(param("MainLeft").toLongLong(), pixelsToTwips(normal.x(), dpi));

        window = start();
        QVERIFY(window->isMaximized());
        window->showNormal();
        QCOMPARE(window->geometry().size(), normal.size());
    }

    void minimisedComesBackNormal()
    {
        auto window = start();
        window->showMinimized();
        QVERIFY(window->close());
        QCOMPARE(param("MainState"), QStringLiteral("1"));
        window = start();
        QVERIFY(!window->isMinimized());
        QVERIFY(!window->isMaximized());
    }

    void nonsenseSettingsGiveAUsableWindow()
    {
        {
            params = std::make_unique<ParamStore>(*db);
            params->loadParams();
            for (const auto &[key, value] : std::initializer_list<std::pair<const char *, const char *>>{
                     {"MainLeft", "-9000000"},
                     {"MainTop", "88888888"},
                     {"MainWidth", "-5"},
                     {"MainHeight", "abc"},
                     {"SplitterWidth", "-60"},
                     {"V-Splitter0", "999999999"},
                     {"V-Splitter1", "-77"},
                     {"H-Splitter0", "-1"},
                     {"ListViewMessages_ColWidth1", "-300"},
                     {"ListViewMessages_ColWidth2", "2000000000"}})
                params->setParam(QLatin1String(key), QLatin1String(value));
        }
        auto window = start();
        QVERIFY(window->width() >= window->minimumWidth());
        QVERIFY(window->height() >= window->minimumHeight());
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY2(screen.intersects(window->geometry()), qPrintable(rectText(window->geometry())));
        QVERIFY(window->mainLayout.splitterWidth >= 2);
        for (QWidget *pane :
             {static_cast<QWidget *>(window->picDB), static_cast<QWidget *>(window->lvListViewMessages),
              static_cast<QWidget *>(window->lvListViewID), static_cast<QWidget *>(window->pictOscilograph)})
            QVERIFY2(pane->width() > 0 && pane->height() > 0, qPrintable(pane->objectName()));
        const QHeaderView *header = window->lvListViewMessages->header();
        QVERIFY(header->sectionSize(0) >= header->minimumSectionSize());
        QVERIFY(header->sectionSize(1) <= 4000);
    }

    void viewPresetsAndToggles()
    {
        auto window = start();
        window->resize(900, 600);
        const QSize inner(900, 600 - window->menuWidget()->sizeHint().height());
        window->mnuView_VSplitter1->trigger();
        window->mnuView_HSplitter1->trigger();
        QCOMPARE(window->mainLayout.vSplitter[0], inner.width() * 20 / 100);
        QCOMPARE(window->mainLayout.vSplitter[1], inner.width() * 90 / 100);
        QCOMPARE(window->mainLayout.hSplitter[0], inner.height() * 70 / 100);
        QCOMPARE(window->lvListViewMessages->x(), window->mainLayout.vSplitter[0] + window->mainLayout.splitterWidth);

        const int before = window->pictOscilograph->height();
        window->mnuViewStatusBar->trigger();
        QVERIFY(window->sbStatusBarCAN->isHidden());
        QCOMPARE(window->pictOscilograph->height(), before + window->sbStatusBarCAN->sizeHint().height());
        window->mnuViewStatusBar->trigger();
        QCOMPARE(window->pictOscilograph->height(), before);
    }

    // Dragging the left splitter far to the right: the drag bar follows within
    // the limits, the panes move on release, two widths before the right splitter.
    void draggingASplitter()
    {
        auto window = start();
        window->resize(900, 600);
        QWidget *bar = window->imgSplitter[0];
        const int right = window->mainLayout.vSplitter[1];
        const int w = window->mainLayout.splitterWidth;
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 50));
        QVERIFY(window->splitterMoving);
        QVERIFY(window->picSplitter->isVisible());
        QMouseEvent move(QEvent::MouseMove, QPointF(801, 50), bar->mapToGlobal(QPointF(801, 50)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QCOMPARE(window->picSplitter->x(), right - 2 * w);
        QCOMPARE(window->mainLayout.vSplitter[0], bar->x()); // the image stays until release
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(801, 50));
        QVERIFY(!window->splitterMoving);
        QVERIFY(window->picSplitter->isHidden());
        QCOMPARE(window->mainLayout.vSplitter[0], right - 2 * w);
        QCOMPARE(window->lvListViewMessages->x(), right - w);
        QCOMPARE(window->lvListViewMessages->width(), w);
    }

    void closeAsksAboutViewedData_data()
    {
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Cancel keeps the window and the capture") << Prompts::Answer::Cancel << false;
        QTest::newRow("No closes without saving") << Prompts::Answer::No << true;
    }

    void closeAsksAboutViewedData()
    {
        QFETCH(Prompts::Answer, answer);
        QFETCH(bool, closed);
        auto window = start();
        window->captureFrame(frame(0x100, 0x123, 2));
        window->captureBatchDone(); // the decoding run's rows
        params->setParam(QStringLiteral("MainState"), QStringLiteral("7"));
        prompts.answers = {answer};
        QCOMPARE(window->close(), closed);
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].text, QStringLiteral("Save viewed data to file?"));
        QCOMPARE(prompts.shown[0].title, QStringLiteral("Save viewed data..."));
        QCOMPARE(prompts.shown[0].buttons, Prompts::Buttons::YesNoCancel);
        QCOMPARE(window->captureStore.count(), 1);
        QVERIFY(QDir(context.paths.tempFolder).exists()); // there before the run: never removed
        QCOMPARE(param("MainState"),
                 closed ? QStringLiteral("0") : QStringLiteral("7")); // settings written on close only
    }

    // Captured rows saved with Save As, a new capture, then Open: the same
    // rows come back, and the fresh file counts as saved.
    void saveAndOpenAgain()
    {
        auto window = startWithThreeFrames();
        QVERIFY(window->mnuFileSaveAs->isEnabled());
        QVERIFY(!window->mnuFileSave->isEnabled());

        const QString file = dir->filePath(QStringLiteral("capture.txt"));
        QFile(file).open(QIODevice::WriteOnly); // already there: the overwrite question
        prompts.fileNames = {file};
        prompts.answers = {Prompts::Answer::No};
        window->mnuFileSaveAs->trigger();
        QCOMPARE(prompts.texts(), QStringList{"File \"" + file + "\"is exist. Overwrite?"});
        QCOMPARE(prompts.shown[0].title, QStringLiteral("Save capturing data..."));
        QCOMPARE(QFileInfo(file).size(), 0);
        QVERIFY(window->captureStore.captureFileName.isEmpty());

        prompts.clear();
        prompts.fileNames = {file};
        prompts.answers = {Prompts::Answer::Yes};
        window->tbToolBar_ButtonClick(QStringLiteral("CaptureSave")); // Save As: no file name yet
        QCOMPARE(window->captureStore.captureFileName, file);
        QVERIFY(QFileInfo(file).size() > 0);
        QVERIFY(!window->mnuFileSave->isEnabled());

        prompts.clear();
        window->mnuFileNew->trigger(); // written: nothing to ask
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(window->captureStore.count(), 0);
        QCOMPARE(window->messageModel->count(), 0);

        prompts.fileNames = {file};
        window->mnuFileOpen->trigger();
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(window->captureStore.count(), 3);
        QCOMPARE(window->messageModel->count(), 3);
        QCOMPARE(window->messageModel->text(2, QStringLiteral("Data")), QStringLiteral("5A 5A 5A 5A 5A 5A 5A 5A"));
        QCOMPARE(window->messageModel->text(1, QStringLiteral("Time")), QStringLiteral("512"));
        QCOMPARE(window->captureStore.captureFileName, file);
        QVERIFY(!window->mnuFileSave->isEnabled());
        QVERIFY(window->mnuFileSaveAs->isEnabled());
        QCOMPARE(window->captureStore.currentRow, 1);
        QCOMPARE(window->pictOscilograph->FlatScrollBarScale->maximum(), 29999);

        // A file that is not there: the message, and the capture stays.
        prompts.fileNames = {dir->filePath(QStringLiteral("gone.txt"))};
        window->mnuFileOpen->trigger();
        QCOMPARE(prompts.texts().last(), "File \"" + dir->filePath(QStringLiteral("gone.txt")) + "\" is not found.");
        QCOMPARE(prompts.shown.last().icon, Prompts::Icon::Critical);
        QCOMPARE(window->captureStore.count(), 3);
    }

    void skippedLinesAreReportedOnce()
    {
        auto window = start();
        openFile(*window, "bad.txt",
                 "; CAN_DB=\"x\"\r\n00000100 123 ----- 0 0 0 0 1 11\r\nrubbish\r\n00000200 123 ----- 0 0 0 0 12\r\n");
        QCOMPARE(window->captureStore.count(), 1);
        QCOMPARE(prompts.texts(),
                 QStringList{"2 lines of the file could not be read and were skipped (the first is line 3)."});
    }

    // A list sorted by DLC is saved in capture order and stays sorted; the
    // file reopens with the captured times (not 71 minutes of false wraps).
    void sortedListSavesInCaptureOrder()
    {
        auto window = startWithThreeFrames();
        QVERIFY(window->messageModel->columnClick(MessageModel::colDLC));
        const QString file = dir->filePath(QStringLiteral("sorted.txt"));
        prompts.fileNames = {file};
        window->mnuFileSaveAs->trigger();
        QCOMPARE(window->messageModel->sortColumn(), int(MessageModel::colDLC));
        QVERIFY(window->messageModel->isSortingOn());

        window->mnuFileNew->trigger();
        prompts.fileNames = {file};
        window->mnuFileOpen->trigger();
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(window->captureStore.count(), 3);
        for (qsizetype i = 0; i < 3; ++i)
            QCOMPARE(window->captureStore.frame(i).Time.value_or(-1), qint64(0x200 * i));
    }

    // A file from which no frame could be read says so and leaves the
    // capture; a delimiter setting that could not be read back falls back
    // to one space, said once.
    void unreadableFilesAndSettingsKeepTheCapture()
    {
        auto window = start();
        window->captureFrame(frame(0x100, 0x123, 2));
        window->captureBatchDone();
        prompts.answers = {Prompts::Answer::No}; // not saved first
        const QString file = openFile(*window, "nothing.txt", "; CAN_DB=\"x\"\r\nrubbish\r\n");
        QCOMPARE(prompts.texts().last(), "No frame could be read from the file \"" + file +
                                             "\". 1 line of the file could not be read and was skipped (line 2).");
        QCOMPARE(window->captureStore.count(), 1);

        params->setParam(QStringLiteral("outDelimiter"), QStringLiteral(";"));
        const QString saved = dir->filePath(QStringLiteral("delimited.txt"));
        prompts.clear();
        prompts.fileNames = {saved};
        window->mnuFileSaveAs->trigger();
        QCOMPARE(
            prompts.texts(),
            QStringList{"The field delimiter \";\" of the setting \"outDelimiter\" cannot be read back from a "
                        "capture file (it holds \";\", where every line's record ends): one space is used instead."});
        prompts.clear();
        prompts.fileNames = {saved};
        prompts.answers = {Prompts::Answer::Yes};
        window->mnuFileSaveAs->trigger();
        QCOMPARE(prompts.texts(), QStringList{"File \"" + saved + "\"is exist. Overwrite?"}); // said once
        QFile written(saved);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("00000100 123 ----- 0 0 0 0 2 5A 5A"));
    }
};

QTEST_MAIN(tst_MainLayout)
#include "tst_mainlayout.moc"
