// Opening a capture file of 1,000,000 frames in the main window: how long the
// window's event loop stands still at most, from the open until the
// statistics have taken every frame (the read itself runs on a worker
// thread; the list, the time line and the statistics then catch up on the
// window's thread). A timer ticking every 5 ms measures the longest gap.

#include "core/capturefile.h"
#include "support/mainwindowbench.h"
#include "views/ui/messageviews.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int frameCount = 1000000;

// 40 identifiers, a few extended, 0 to 8 data bytes.
void writeCapture(const QString &name)
{
    std::vector<clsFrame> frames(frameCount);
    quint32 seed = 1;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    quint32 stamp = 0x12345678;
    for (clsFrame &f : frames) {
        const quint32 r = next();
        f.TimeStamp = stamp;
        f.ID.StdPart = int(0x100 + (r % 40) * 0x11);
        if (r % 9 == 0) {
            f.setIDE(1);
            f.ID.ExtPart = int(0x1000 * (r % 8) + 0x55);
        }
        f.DLC = quint8((r >> 4) % 9);
        for (int b = 0; b < f.dataLength(); ++b)
            f.setDataB(b, quint8(next()));
        stamp += 150 + (r % 200);
    }
    const capturefile::Rows rows{qsizetype(frames.size()),
                                 [&frames](qsizetype row) -> const clsFrame & { return frames[size_t(row)]; }};
    capturefile::writeCaptureFile(name, {QStringLiteral("Bench"), 500000, 1000000}, rows, nullptr);
}

void BM_OpenInWindowLongestPause(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("capture.txt"));
    writeCapture(name);
    MainWindowBench bench;
    bench.openWindow();
    bench.window->show();
    const auto *views = bench.window->findChild<MessageViews *>(QStringLiteral("messageViews"));
    double worst = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        QEventLoop loop;
        // Until the statistics have caught up, and a little longer.
        const auto done = [&] {
            return views->captureStatistics().framesTaken() == bench.window->document().store().count();
        };
        QTimer wait;
        QObject::connect(&wait, &QTimer::timeout, [&] {
            if (done()) {
                wait.stop();
                QTimer::singleShot(200, &loop, &QEventLoop::quit);
            }
        });
        QTimer::singleShot(0, [&] {
            bench.window->document().openPath(name);
            wait.start(10);
        });
        clock.start();
        tick.start();
        loop.exec();
        const double ms = double(longest) / 1e6;
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000.0);
        if (bench.window->document().store().count() != frameCount)
            state.SkipWithError("the file was not opened");
    }
    state.counters["longest_pause_ms"] = worst;
    bench.closeWindow();
}
BENCHMARK(BM_OpenInWindowLongestPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
