// Opening a capture file of 1,000,000 frames in the main window: how long the
// window's event loop stands still at most, from the open until the
// statistics have taken every frame (the read itself runs on a worker
// thread; the list, the time line and the statistics then catch up on the
// window's thread). A timer ticking every 5 ms measures the longest gap.

#include "bench/bustraffic.h"
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

void writeCapture(const QString &name)
{
    const std::vector<clsFrame> frames = busTraffic(frameCount, 500000);
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
