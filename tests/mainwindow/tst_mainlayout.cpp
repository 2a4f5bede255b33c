// The main window's layout and settings: panes, drag limits and placement in
// numbers, then a real window's load tick, splitters, close and capture files.
#include "support/testregistry.h"
#include "views/mainlayout.h"

#include "link/capturecontrol.h"
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/signalbench.h"
#include "views/messagemodel.h"
#include "views/ui/frmmain.h"
#include "views/ui/mainpanes.h"
#include "views/ui/messageviews.h"
#include "views/ui/splitterbar.h"
#include "views/ui/timelinepanel.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <array>

using Splitter = MainLayout::Splitter;

namespace {

// Twips, as the settings hold them: margins 60, splitters 60 wide.
MainLayout twipsLayout()
{
    MainLayout layout;
    layout.splitterWidth = 60;
    layout.leftMargin = 60;
    layout.topMargin = 60;
    layout.bottomMargin = 60;
    return layout;
}

// The 20/70/10 and 70/30 presets on a 10000 x 8000 window, with a tool bar of 400 and a status bar of 300.
MainLayout presetLayout()
{
    MainLayout layout = twipsLayout();
    layout.presetVertical(10000);
    layout.presetHorizontal(8000);
    layout.sizeControls(QSize(10000, 8000), 400, 300);
    return layout;
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QWidget *splitter(const frmMain &window, int k)
{
    return part<SplitterBar>(window, k < 2 ? (k ? "imgSplitter(1)" : "imgSplitter(0)") : "imgSplitterH(0)");
}

} // namespace

class tst_MainLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
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
        auto window = std::make_unique<frmMain>(context, makeLinkPort);
        window->show();
        window->loadTimer_Timer();
        return window;
    }

    QString param(const QString &name) const { return params->contains(name) ? params->getParam(name, {}) : "<none>"; }

    // Captured rows at stamps 0x100, 0x300, ... (DLC 2, 0, 8, ...), decoded.
    static void capture(frmMain &window, int frames)
    {
        CaptureSink &sink = *part<MessageViews>(window);
        for (int i = 0; i < frames; ++i) {
            clsFrame f;
            f.TimeStamp = 0x100 + 0x200 * i;
            f.ID.StdPart = i % 2 ? 0x0F0 : 0x123;
            f.DLC = quint8(std::array{2, 0, 8}[i % 3]);
            f.setData(QByteArray(f.DLC, '\x5A'));
            f.computeDuration(500000);
            sink.captureFrame(f);
        }
        sink.captureBatchDone(); // the decoding run's rows
    }

private slots:
    void init()
    {
        seed = std::make_unique<SeedDatabase>();
        db = &seed->db;
        QVERIFY(db->execute(QStringLiteral("delete from Params")));
        db->execute(QStringLiteral("PRAGMA synchronous=OFF")); // settings are written through at once
        prompts = FakePrompts();
        QVERIFY(QDir(seed->dir.path()).mkpath(QStringLiteral("temp/Tessel")));
        context = AppContext{db, nullptr, &prompts,
                             StartupPaths{seed->dir.filePath(QStringLiteral("temp/Tessel")), seed->dir.path(),
                                          QStringLiteral("Tessel.mdb")}};
    }
    void cleanup()
    {
        params.reset();
        seed.reset();
    }

    // ---- numbers ----

    void panesFromTheSplitters()
    {
        QCOMPARE(MainLayout::defaultVertical(1, 10000), 6666);
        QCOMPARE(MainLayout::defaultHorizontal(0, 8000), 4000);
        MainLayout layout = presetLayout();
        QCOMPARE(layout.vSplitter, (std::array<int, 2>{2000, 9000}));
        QCOMPARE(layout.hSplitter[0], 5600);
        QCOMPARE(QPoint(layout.layoutRight, layout.layoutBottom), QPoint(9940, 7640));
        QCOMPARE(layout.picDB, QRect(60, 460, 1940, 7180));
        QCOMPARE(layout.lvListViewMessages, QRect(2060, 460, 6940, 5140));
        QCOMPARE(layout.lvListViewID, QRect(9060, 460, 880, 5140));
        QCOMPARE(layout.pictOscilograph, QRect(2060, 5660, 7880, 1980));
        QCOMPARE(layout.imgSplitter[1], QRect(9000, 460, 60, 7180));
        QCOMPARE(layout.imgSplitterH[0], QRect(2060, 5600, 7880, 60));
        // Without the status bar every pane reaching the bottom grows by its height.
        layout.sizeControls(QSize(10000, 8000), 400, 0);
        QCOMPARE(
            (QList<int>{layout.picDB.height(), layout.pictOscilograph.height(), layout.lvListViewMessages.height()}),
            (QList<int>{7180 + 300, 1980 + 300, 5140}));
    }

    // A narrower window pulls the right splitter in, then the left one, so each column keeps two splitter widths.
    void narrowWindowPullsTheSplitters()
    {
        MainLayout layout = twipsLayout();
        layout.vSplitter = {6000, 9000};
        layout.hSplitter = {7000};
        layout.sizeControls(QSize(5000, 4000), 0, 0);
        QCOMPARE(layout.vSplitter, (std::array<int, 2>{4820 - 120, 4940 - 120}));
        QCOMPARE(layout.hSplitter[0], 3940 - 120);
        QCOMPARE(QSize(layout.lvListViewID.width(), layout.lvListViewMessages.width()), QSize(60, 60));
    }

    void dragLimits_data()
    {
        QTest::addColumn<int>("splitter");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("limited");
        // Splitters at 2000, 9000 and 5600 (presetLayout).
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
        QTEST(presetLayout().dragLimit(Splitter(splitter), wanted), "limited");
    }

    void nonsenseSplittersStillShowEveryPane()
    {
        // Negative, far beyond the window, crossed, all zero.
        for (const auto &[v0, v1, h0] : std::initializer_list<std::array<int, 3>>{
                 {-5000, -10, -99999}, {2000000000, 2000000000, 2000000000}, {9000, 1000, 500}, {0, 0, 0}}) {
            MainLayout layout = twipsLayout();
            layout.vSplitter = {v0, v1};
            layout.hSplitter = {h0};
            layout.sizeControls(QSize(10000, 8000), 400, 300);
            for (const QRect &pane :
                 {layout.picDB, layout.lvListViewMessages, layout.lvListViewID, layout.pictOscilograph})
                QVERIFY2(pane.width() >= 60 && pane.height() >= 60 && QRect(0, 0, 10000, 8000).contains(pane),
                         qPrintable(rectText(pane)));
        }
    }

    void usableWindowPlacement_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("placed");
        // One 1920 x 1080 screen beside a 1280 x 1024 one; minimum 333 x 200.
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
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QTEST(usableGeometry(saved, QSize(333, 200), screens), "placed");
        QCOMPARE(twipsToPixels(5000, 96), 333);
        QCOMPARE(pixelsToTwips(333, 120), 3996);
        QCOMPARE(twipsToPixels(pixelsToTwips(777, 144), 144), 777);
    }

    // ---- the window ----

    void firstStartCreatesEveryKeyAtClose()
    {
        auto window = start();
        QVERIFY(!part<QTimer>(*window, "loadTimer")->isActive() && window->close());
        const QHeaderView *ids = part<QTreeView>(*window, "lvListViewID")->header();
        QStringList keys{"SplitterWidth", "MainState",   "MainLeft",    "MainTop",    "MainWidth",
                         "MainHeight",    "V-Splitter0", "V-Splitter1", "H-Splitter0"};
        for (int i = 1; i <= MessageModel::columnTotal; ++i)
            keys << QStringLiteral("ListViewMessages_ColWidth%1").arg(i);
        for (int i = 1; i <= ids->count(); ++i)
            keys << QStringLiteral("ListViewID_ColWidth%1").arg(i);
        for (const QString &key : keys)
            QVERIFY2(params->contains(key), qPrintable(key));
        QVERIFY(param("MainState") == QLatin1String("0") && param("MainWidth").toInt() >= 5000);
        // The next start puts the splitters and columns back where they were.
        const int v0 = param("V-Splitter0").toInt() + 600;
        const int width3 = param("ListViewMessages_ColWidth3").toInt() + 1440;
        params->setParam(QStringLiteral("V-Splitter0"), v0);
        params->setParam(QStringLiteral("ListViewMessages_ColWidth3"), width3);
        window = start();
        const double dpi = window->logicalDpiX();
        QCOMPARE(pixelsToTwips(splitter(*window, 0)->x(), dpi), v0);
        QCOMPARE(pixelsToTwips(part<QTreeView>(*window, "lvListViewMessages")->header()->sectionSize(2), dpi), width3);
    }

    // Maximised comes back maximised with its normal rectangle kept; minimised comes back normal.
    void windowStateComesBack()
    {
        for (const bool maximise : {false, true}) {
            auto window = start();
            window->setGeometry(40, 50, 600, 400);
            const QRect normal = window->geometry();
            maximise ? window->showMaximized() : window->showMinimized();
            QVERIFY(window->close());
            QCOMPARE(param("MainState"), QString(maximise ? "2" : "1"));
            const double dpi = window->logicalDpiX();
            QCOMPARE(param("MainWidth").toLongLong(), pixelsToTwips(normal.width(), dpi));
            QCOMPARE(param("MainLeft").toLongLong(), pixelsToTwips(normal.x(), dpi));
            window = start();
            QCOMPARE(window->isMaximized(), maximise);
            QVERIFY(!window->isMinimized());
            window->showNormal();
            QCOMPARE(window->geometry().size(), normal.size());
        }
    }

    void nonsenseSettingsGiveAUsableWindow()
    {
        params = std::make_unique<ParamStore>(*db);
        params->loadParams();
        const QString settings = "MainLeft=-9000000 MainTop=88888888 MainWidth=-5 MainHeight=abc SplitterWidth=-60 "
                                 "V-Splitter0=999999999 V-Splitter1=-77 H-Splitter0=-1 "
                                 "ListViewMessages_ColWidth1=-300 ListViewMessages_ColWidth2=2000000000";
        for (const QString &setting : settings.split(' '))
            params->setParam(setting.section('=', 0, 0), setting.section('=', 1));
        auto window = start();
        QVERIFY(window->width() >= window->minimumWidth() && window->height() >= window->minimumHeight());
        QVERIFY2(window->screen()->availableGeometry().intersects(window->geometry()),
                 qPrintable(rectText(window->geometry())));
        QVERIFY(splitter(*window, 0)->width() >= 2);
        for (const char *pane : {"picDB", "lvListViewMessages", "lvListViewID", "pictOscilograph"})
            QVERIFY2(!part<QWidget>(*window, pane)->size().isEmpty(), pane);
        const QHeaderView *header = part<QTreeView>(*window, "lvListViewMessages")->header();
        QVERIFY(header->sectionSize(0) >= header->minimumSectionSize() && header->sectionSize(1) <= 4000);
    }

    void viewPresetsAndToggles()
    {
        auto window = start();
        window->resize(900, 600);
        part<QAction>(*window, "mnuView_VSplitter1")->trigger();
        part<QAction>(*window, "mnuView_HSplitter1")->trigger();
        QCOMPARE(QPoint(splitter(*window, 0)->x(), splitter(*window, 1)->x()), QPoint(900 * 20 / 100, 900 * 90 / 100));
        QWidget *timeLine = part<QWidget>(*window, "pictOscilograph");
        QCOMPARE(splitter(*window, 2)->geometry().bottom() + 1, timeLine->y());
        QCOMPARE(part<QWidget>(*window, "lvListViewMessages")->x(), splitter(*window, 0)->geometry().right() + 1);
        const int before = timeLine->height();
        QStatusBar *status = part<QStatusBar>(*window, "sbStatusBarCAN");
        part<QAction>(*window, "mnuViewStatusBar")->trigger();
        QVERIFY(status->isHidden());
        QCOMPARE(timeLine->height(), before + status->sizeHint().height());
        part<QAction>(*window, "mnuViewStatusBar")->trigger();
        QCOMPARE(timeLine->height(), before);
    }

    // Dragging the left splitter far to the right: the drag bar follows within
    // the limits, the panes move on release, two widths before the right splitter.
    void draggingASplitter()
    {
        auto window = start();
        window->resize(900, 600);
        QWidget *bar = splitter(*window, 0);
        QWidget *dragBar = part<QWidget>(*window, "picSplitter");
        QWidget *messages = part<QWidget>(*window, "lvListViewMessages");
        const int left = bar->x();
        const int right = splitter(*window, 1)->x();
        const int w = bar->width();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 50));
        QVERIFY(dragBar->isVisible());
        QMouseEvent move(QEvent::MouseMove, QPointF(801, 50), bar->mapToGlobal(QPointF(801, 50)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QCOMPARE(dragBar->x(), right - 2 * w);
        QCOMPARE(bar->x(), left); // the image stays until release
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(801, 50));
        QVERIFY(dragBar->isHidden());
        QCOMPARE(bar->x(), right - 2 * w);
        QCOMPARE(QPoint(messages->x(), messages->width()), QPoint(right - w, w));
    }

    // Cancel keeps the window and the capture; No closes without saving. Settings are written on close only; the
    // temporary folder that was there before the run is never removed.
    // Columns the user hid from the header menu come back hidden; a double
    // click on a header edge fits the column; the list keeps its horizontal
    // scroll while it follows new rows; the panes keep their proportions.
    void columnsAndPanesKeepTheUsersLayout()
    {
        params = std::make_unique<ParamStore>(*db);
        params->loadParams();
        params->setParam(QStringLiteral("ListViewMessages_Hidden"), QStringLiteral("10,nonsense,99"));
        auto window = start();
        QTreeView *list = part<QTreeView>(*window, "lvListViewMessages");
        QHeaderView *header = list->header();
        QVERIFY(header->isSectionHidden(MessageModel::colTSMP)); // column 10
        QVERIFY(!header->isSectionHidden(MessageModel::colSeconds));
        header->setSectionHidden(MessageModel::colTSMP, false);
        header->setSectionHidden(MessageModel::colDevice, true);
        QVERIFY(window->close());
        QCOMPARE(param("ListViewMessages_Hidden"), QStringLiteral("13"));

        window = start();
        list = part<QTreeView>(*window, "lvListViewMessages");
        header = list->header();
        QVERIFY(header->isSectionHidden(MessageModel::colDevice) && !header->isSectionHidden(MessageModel::colTSMP));
        capture(*window, 40);
        header->resizeSection(MessageModel::colData, 3);
        emit header->sectionHandleDoubleClicked(MessageModel::colData);
        QVERIFY(header->sectionSize(MessageModel::colData) >=
                list->fontMetrics().horizontalAdvance(QStringLiteral("5A 5A 5A 5A 5A 5A 5A 5A")));

        QScrollBar *across = list->horizontalScrollBar();
        QVERIFY(across->maximum() > 0);
        across->setValue(across->maximum());
        const int scrolled = across->value();
        capture(*window, 5); // selects and shows the newest row
        QCOMPARE(across->value(), scrolled);
        part<MessageViews>(*window)->rebuildLVM();
        QCOMPARE(across->value(), scrolled);

        MainLayout &layout = part<MainPanes>(*window)->layout;
        const double share = double(layout.vSplitter[1]) / layout.layoutRight;
        window->resize(window->width() + 300, window->height());
        window->layout()->activate();
        QVERIFY(std::abs(double(layout.vSplitter[1]) / layout.layoutRight - share) < 0.01);
    }

    void closeAsksAboutViewedData()
    {
        for (const Prompts::Answer answer : {Prompts::Answer::Cancel, Prompts::Answer::No}) {
            auto window = start();
            capture(*window, 1);
            params->setParam(QStringLiteral("MainState"), QStringLiteral("7"));
            prompts.answers = {answer};
            prompts.shown.clear();
            const bool closed = answer == Prompts::Answer::No;
            QCOMPARE(window->close(), closed);
            QCOMPARE(prompts.texts(), QStringList{"Save viewed data to file?"});
            QVERIFY(window->document().store().count() == 1 && QDir(context.paths.tempFolder).exists());
            QCOMPARE(param("MainState"), closed ? QStringLiteral("0") : QStringLiteral("7"));
        }
    }

    // Rows saved from the tool bar, a new capture, then Open: the rows come
    // back in the list and on the time line, and the file counts as saved.
    void saveAndOpenAgain()
    {
        auto window = start();
        window->setBusTiming(500000, 1000000);
        capture(*window, 3);
        const QString file = seed->dir.filePath(QStringLiteral("capture.txt"));
        prompts.fileNames = {file};
        window->tbToolBar_ButtonClick(QStringLiteral("CaptureSave")); // Save As: no file name yet
        QCOMPARE(window->document().fileName(), file);
        QVERIFY(!part<QAction>(*window, "mnuFileSave")->isEnabled());
        part<QAction>(*window, "mnuFileNew")->trigger(); // written: nothing to ask
        const MessageModel *messages = part<MessageModel>(*window);
        QCOMPARE(messages->count(), 0);
        prompts.fileNames = {file};
        part<QAction>(*window, "mnuFileOpen")->trigger();
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(messages->count(), 3);
        QCOMPARE(messages->text(1, QStringLiteral("Time")), QStringLiteral("512"));
        QVERIFY(!part<QAction>(*window, "mnuFileSave")->isEnabled() &&
                part<QAction>(*window, "mnuFileSaveAs")->isEnabled());
        QCOMPARE(window->document().store().currentRow, 1);
        QCOMPARE(part<QScrollBar>(*window, "FlatScrollBarScale")->maximum(), 29999);
    }
};

TESSEL_TEST(tst_MainLayout)
#include "tst_mainlayout.moc"
