// A long capture at the line's full rate against the in-process virtual
// analyser, in simulated time: the analyser's clock is moved 10 ms at a time
// and the link's receive path, time-out scan and decoding tick are called as
// their timers would call them, so ten minutes of capture take as long as the
// program needs to process them, not ten minutes.
//
// It reports what the analyser sent, what the capture stored, what was lost
// on the way (must be 0), the peak memory of the process, and whether the
// time stamps' 32-bit wrap, placed in the middle of the run, left the
// relative times increasing and continuous.
//
//   bench_soak [--seconds N | --frames N] [--rate N] [--stamp-offset HEX] [--db FILE]
//
// --frames N runs as long as the analyser needs to send N frames at the
// rate, and then also checks the program's own (anonymous) memory: at most
// 16 bytes per frame stored at the end, the frames themselves being in the
// capture store's file.
//
// Exit status 0 when nothing was lost and the times are monotonic across the
// wrap, 1 otherwise, 2 on bad arguments or when the capture does not start.

#include "bench/procstatus.h"
#include "../tests/support/captureviews.h"
#include "link/capturecontrol.h"
#include "link/connectiontest.h"
#include "core/database.h"
#include "link/packetlink.h"
#include "core/params.h"
#include "core/prompts.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

class CountingPrompts final : public Prompts
{
public:
    QStringList texts;
    Answer message(const QString &text, const QString &, Icon, Buttons) override
    {
        texts << text;
        return Answer::Ok;
    }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
};

struct Arguments
{
    double seconds = 600;
    qint64 frames = 0; // --frames: seconds := frames / rate
    // Records of standard and extended frames without data: 19 bytes on the
    // wire, the most records a 921600-baud line carries (4,850 a second at
    // 10 bits a byte); 4,800 keeps the line 99 % busy.
    double rate = 4800;
    bool offsetGiven = false;
    quint32 stampOffset = 0;
    QString dbPath;
};

bool parseArguments(const QStringList &args, Arguments *a)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &name = args.at(i);
        if (i + 1 >= args.size())
            return false;
        const QString value = args.at(++i);
        bool ok = false;
        if (name == QLatin1String("--seconds")) {
            a->seconds = value.toDouble(&ok);
            ok = ok && a->seconds > 0;
        } else if (name == QLatin1String("--frames")) {
            a->frames = value.toLongLong(&ok);
            ok = ok && a->frames > 0;
        } else if (name == QLatin1String("--rate")) {
            a->rate = value.toDouble(&ok);
            ok = ok && a->rate > 0;
        } else if (name == QLatin1String("--stamp-offset")) {
            a->stampOffset = value.toUInt(&ok, 16);
            a->offsetGiven = ok;
        } else if (name == QLatin1String("--db")) {
            a->dbPath = value;
            ok = true;
        }
        if (!ok)
            return false;
    }
    if (a->frames > 0)
        a->seconds = std::ceil(double(a->frames) / a->rate);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the monitor list measures its font
    QApplication app(argc, argv);
    Arguments args;
    if (!parseArguments(app.arguments(), &args)) {
        std::fprintf(stderr,
                     "usage: bench_soak [--seconds N | --frames N] [--rate N] [--stamp-offset HEX] [--db FILE]\n");
        return 2;
    }

    // A copy of the seed data base (speed and timer rows), when there is one.
    QTemporaryDir dir;
    Database db;
    const QString seed =
        args.dbPath.isEmpty() ? QCoreApplication::applicationDirPath() + "/Tesseltest.mdb" : args.dbPath;
    if (QFile::exists(seed)) {
        const QString copy = dir.filePath(QStringLiteral("Tessel.mdb"));
        QFile::copy(seed, copy);
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        db.open(copy);
    }
    ParamStore params(db);
    params.loadParams();
    params.setParam(QStringLiteral("COMPort"), QStringLiteral("0"));
    CountingPrompts prompts;

    VirtualAnalyserOptions options;
    options.frameRate = args.rate;
    options.ids = {
        {0x100, false, false, 0}, {0x2A0, false, false, 0}, {0x7FF, false, false, 0}, {0x18FEF100, true, false, 0}};
    VirtualAnalyser *analyser = nullptr;
    PacketLink link(params, prompts, [&](int) -> std::unique_ptr<SerialPort> {
        auto p = makeVirtualAnalyserPort(options, false);
        analyser = p->analyser();
        return p;
    });
    link.initProcesses();
    ConnectionTest test(link, db, params);
    // The connection test run without its window, the link's poll and
    // time-out scan driven until the chain is over.
    struct HeadlessTest final : public ConnectionTester
    {
        PacketLink &link;
        ConnectionTest &test;
        HeadlessTest(PacketLink &link, ConnectionTest &test)
            : link(link)
            , test(test)
        {
        }
        void runConnectionTest(bool showParams, QObject *) override
        {
            test.start(showParams);
            for (int tick = 0; tick < 100000 && test.isRunning(); ++tick) {
                link.poll();
                if (test.isRunning())
                    link.timeoutScan();
            }
        }
    } tester(link, test);
    link.setConnectionTester(&tester);
    CaptureViews views;
    views.batched = true; // rows are appended per decoding tick, as the main window does
    CaptureControl capture(link);
    capture.setSink(&views);

    QElapsedTimer realTime;
    realTime.start();
    capture.cmdStart_Click(); // connects first
    if (!analyser || link.linkState() != 3) {
        std::fprintf(stderr, "bench_soak: the analyser did not connect\n");
        return 2;
    }
    const double tickHz = link.analyserValues.timerFrequency > 0 ? link.analyserValues.timerFrequency : 1e6;
    // The wrap half-way through the run unless told otherwise.
    analyser->options().stampOffset =
        args.offsetGiven
            ? args.stampOffset
            : quint32(std::llround(4294967296.0 - args.seconds / 2 * tickHz - double(analyser->stampNow())));
    for (int i = 0; i < 10 && !capture.isCapturing(); ++i)
        link.poll();
    if (!capture.isCapturing()) {
        std::fprintf(stderr, "bench_soak: the capture did not start\n");
        return 2;
    }

    // 10 ms steps: tmrReceive's and tmrTimeout's tick; every 50th is tmrFreePB's.
    constexpr double stepMs = 10;
    const qint64 steps = qint64(std::llround(args.seconds * 1000 / stepMs));
    qsizetype maxQueue = 0;
    for (qint64 step = 1; step <= steps; ++step) {
        analyser->advance(stepMs);
        link.poll();
        link.timeoutScan();
        maxQueue = std::max(maxQueue, capture.queueLength());
        if (step % (CaptureControl::decodeInterval / qint64(stepMs)) == 0) {
            capture.tmrFreePB_Timer();
            QCoreApplication::processEvents();
        }
        if (step % 6000 == 0) {
            std::fprintf(stderr, "  %.0f s simulated, %lld frames stored, %.1f s real\n", step * stepMs / 1000,
                         static_cast<long long>(views.store.count()), realTime.elapsed() / 1000.0);
        }
    }
    capture.cmdStart_Click(); // stop: the analyser sends what it still holds, then its answer
    for (int i = 0; i < 1000 && capture.startCaption() != QLatin1String("Start"); ++i) {
        analyser->advance(1);
        link.poll();
        link.timeoutScan();
    }
    const double realSeconds = realTime.elapsed() / 1000.0;

    // What arrived, against what was sent.
    // Frame records must be strictly later than the frame before them; a
    // lost-frame record carries the stamp of the frame it precedes.
    qint64 frames = 0, lostRecords = 0, lostByAnalyser = 0, stampDrops = 0, nonIncreasing = 0;
    const clsFrame *lastFrame = nullptr;
    for (qsizetype i = 0; i < views.store.count(); ++i) {
        const clsFrame &f = views.store.frame(i);
        if (i > 0) {
            const clsFrame &prev = views.store.frame(i - 1);
            if (f.TimeStamp < prev.TimeStamp)
                ++stampDrops; // the raw counter wrapped
            if (*f.Time < *prev.Time)
                ++nonIncreasing;
        }
        if (f.isLost) {
            ++lostRecords;
            lostByAnalyser += f.ID.ExtPart;
            continue;
        }
        if (lastFrame && !(*f.Time > *lastFrame->Time))
            ++nonIncreasing;
        lastFrame = &f;
        ++frames;
    }
    const quint64 sent = analyser->framesSent();
    const qint64 lostInProgram = qint64(sent) - frames;
    const double spanSeconds =
        views.store.isEmpty() ? 0 : double(*views.store.frame(views.store.count() - 1).Time) / tickHz;
    const bool stopped = capture.startCaption() == QLatin1String("Start") && !capture.isCapturing();

    std::printf("simulated time:            %.0f s at %.0f frames/s (line %d baud)\n", args.seconds, args.rate,
                options.lineBaud);
    std::printf("real time:                 %.1f s (%.0f x real time)\n", realSeconds,
                realSeconds > 0 ? args.seconds / realSeconds : 0.0);
    std::printf("frames sent by analyser:   %llu (%.1f per second)\n", static_cast<unsigned long long>(sent),
                double(sent) / args.seconds);
    std::printf("frames stored:             %lld (message rows %d, monitor rows %d)\n", static_cast<long long>(frames),
                views.messages.count(), views.monitor.count());
    std::printf("frames lost by the program: %lld (queue cap drops %lld, largest queue %lld of %d)\n",
                static_cast<long long>(lostInProgram), static_cast<long long>(capture.txtView_Lost()),
                static_cast<long long>(maxQueue), CaptureControl::queueLimit);
    std::printf("frames lost by analyser:   %llu (lost-frame records %lld saying %lld)\n",
                static_cast<unsigned long long>(analyser->framesLost()), static_cast<long long>(lostRecords),
                static_cast<long long>(lostByAnalyser));
    std::printf("peak memory (VmHWM):       %lld KiB (VmRSS now %lld KiB; store %lld KiB)\n",
                static_cast<long long>(procStatusKiB("VmHWM")), static_cast<long long>(procStatusKiB("VmRSS")),
                static_cast<long long>(views.store.memoryBytes() / 1024));
    std::printf("time stamps:               first %08X, last %08X, raw counter wrapped %lld time(s)\n",
                views.store.isEmpty() ? 0u : quint32(views.store.frame(0).TimeStamp),
                views.store.isEmpty() ? 0u : quint32(views.store.frame(views.store.count() - 1).TimeStamp),
                static_cast<long long>(stampDrops));
    std::printf("relative frame times:      %s; span %.3f s of %.3f s simulated\n",
                nonIncreasing == 0 ? "strictly increasing across the wrap" : "NOT increasing", spanSeconds,
                args.seconds);
    std::printf("capture ended cleanly:     %s; messages: %lld\n", stopped ? "yes" : "no",
                static_cast<long long>(prompts.texts.size()));

    const qint64 anonKiB = procStatusKiB("RssAnon");
    const double anonPerFrame = frames > 0 ? double(anonKiB) * 1024 / double(frames) : 0;
    std::printf("own memory (RssAnon):      %lld KiB at the end, %.2f bytes per frame stored\n",
                static_cast<long long>(anonKiB), anonPerFrame);
    const bool memoryOk = args.frames == 0 || (frames >= args.frames && anonPerFrame <= 16);
    const bool wrapOk = stampDrops >= 1 && nonIncreasing == 0 && std::fabs(spanSeconds - args.seconds) < 1.0;
    const bool ok = lostInProgram == 0 && capture.txtView_Lost() == 0 && stopped && prompts.texts.isEmpty() &&
                    (wrapOk || args.offsetGiven) && memoryOk;
    std::printf("result:                    %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
