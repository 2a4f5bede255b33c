// Capture files and the time line at a million frames: writing the file,
// reading it back into the store (with the monitor list counting), and one
// redraw of the trace at whole-capture zoom (geometry and painting).
#include "bench/bustraffic.h"
#include "bench/procstatus.h"
#include "core/capturefile.h"
#include "core/capturestore.h"
#include "views/monitorlist.h"
#include "views/timeline.h"
#include "views/ui/timelinegraph.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int frameCount = 1000000;
constexpr double bitRate = 500000;
constexpr double timerRate = 1000000;

const std::vector<clsFrame> &capture()
{
    static const std::vector<clsFrame> frames = busTraffic(frameCount, bitRate);
    return frames;
}

capturefile::Rows allRows(const std::vector<clsFrame> &frames)
{
    return {qsizetype(frames.size()), [&frames](qsizetype row) -> const clsFrame & { return frames[size_t(row)]; }};
}

const capturefile::Header header{QStringLiteral("Bench"), bitRate, timerRate};

void BM_WriteCaptureFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("capture.txt"));
    const std::vector<clsFrame> &frames = capture();
    for (auto _ : state) {
        const capturefile::WriteResult result = capturefile::writeCaptureFile(name, header, allRows(frames), nullptr);
        if (!result.ok)
            state.SkipWithError(qPrintable(result.error));
    }
    state.SetItemsProcessed(state.iterations() * frameCount);
}
BENCHMARK(BM_WriteCaptureFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadCaptureFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("capture.txt"));
    capturefile::writeCaptureFile(name, header, allRows(capture()), nullptr);
    qint64 peakAdded = -1;
    qint64 anonAdded = -1;
    for (auto _ : state) {
        state.PauseTiming();
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        const bool peakKnown = refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
        refs.close();
        const qint64 before = procStatusKiB("VmRSS");
        const qint64 anonBefore = procStatusKiB("RssAnon");
        state.ResumeTiming();
        MonitorList monitor;
        // As a load does: read on its own into a store of its own (in the
        // program on a worker thread), then counted in the monitor list.
        CaptureStore store;
        capturefile::CaptureFileReader reader;
        QString error;
        if (!reader.open(name, &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        const capturefile::ReadResult result =
            reader.readAll(QStringLiteral(" "), bitRate, [&store](const clsFrame &f) { store.addListFrames(f); });
        store.setFilter(&monitor);
        store.countInFilter();
        if (store.count() != frameCount || result.skipped != 0)
            state.SkipWithError("frames lost on the way");
        state.PauseTiming();
        if (peakKnown && before >= 0)
            peakAdded = std::max(peakAdded, procStatusKiB("VmHWM") - before);
        anonAdded = std::max(anonAdded, procStatusKiB("RssAnon") - anonBefore);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * frameCount);
    // What the load added at its peak (the mapped store's pages included),
    // and the program's own memory the finished store holds.
    if (peakAdded >= 0)
        state.counters["peak_added_bytes_per_frame"] = double(peakAdded) * 1024 / frameCount;
    state.counters["anon_added_bytes_per_frame"] = double(anonAdded) * 1024 / frameCount;
}
BENCHMARK(BM_ReadCaptureFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole capture on a 1200 x 300 trace: every frame is walked, a few
// hundred pixel columns are painted.
void BM_TimelineRedrawWholeCapture(benchmark::State &state)
{
    static CaptureStore store;
    if (store.isEmpty()) {
        for (const clsFrame &f : capture())
            store.addListFrames(f);
    }
    timeline::View view;
    view.width = 1200;
    view.height = 300;
    view.scaleValue = 0;
    view.scale = timeline::scaleForCapture(store.lastFrameTime, store.lastFrameDuration, timerRate);
    view.currentCanTimer = timerRate;
    view.selectedFrame = 1;
    view.selectedDuration = float(store.frame(0).Duration);
    view.lastFrameTime = store.lastFrameTime;
    view.minFrameDuration = store.minFrameDuration;
    const FrameSpans frames = store.spans();
    const timeline::KeyFilter shown = [](qint32 key) { return key != 0x111; };
    QImage image(view.width, view.height, QImage::Format_RGB32);
    const QFont font;
    size_t bars = 0;
    for (auto _ : state) {
        const timeline::Picture picture = timeline::drawOscilograph(view, frames, shown);
        QPainter painter(&image);
        paintTimeline(painter, picture, font);
        bars = picture.bars.size();
    }
    state.counters["bars"] = double(bars);
}
BENCHMARK(BM_TimelineRedrawWholeCapture)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
