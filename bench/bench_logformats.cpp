// Other tools' logs at a million frames: a candump log (~40 MB) and an ASC
// trace of the same frames read into the capture store, beside can-utils'
// log2asc converting the same candump file (wall time, when installed).
#include "bench/procstatus.h"
#include "core/capturestore.h"
#include "core/logformat.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int frameCount = 1000000;

// Starts the peak memory (VmHWM) again from the present (Linux: "5" to clear_refs).
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

std::vector<clsFrame> makeFrames()
{
    std::vector<clsFrame> frames;
    frames.reserve(frameCount);
    quint32 seed = 1;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    qint64 time = 0;
    for (int i = 0; i < frameCount; ++i) {
        clsFrame f;
        const quint32 r = next() >> 8;
        f.ID.StdPart = int(0x100 + (r % 40) * 0x11);
        if (r % 9 == 0) {
            f.setIDE(1);
            f.ID.ExtPart = int(0x1000 * (r % 8) + 0x55);
        }
        f.DLC = quint8((r >> 4) % 9);
        for (int b = 0; b < f.dataLength(); ++b)
            f.setDataB(b, quint8(next() >> 16));
        f.Bus = quint8(r % 2);
        f.Time = time;
        time += 150 + (r % 200);
        frames.push_back(f);
    }
    return frames;
}

struct Files
{
    QTemporaryDir dir;
    QString candump = dir.filePath(QStringLiteral("bench.log"));
    QString asc = dir.filePath(QStringLiteral("bench.asc"));
    Files()
    {
        const std::vector<clsFrame> frames = makeFrames();
        const logformat::Frames all{qsizetype(frames.size()),
                                    [&frames](qsizetype i) -> const clsFrame & { return frames[size_t(i)]; }};
        logformat::WriteOptions options;
        options.startMicroseconds = Q_INT64_C(1700000000000000);
        (void)logformat::writeFile(candump, logformat::Format::Candump, all, options);
        (void)logformat::writeFile(asc, logformat::Format::Asc, all, options);
    }
};

Files &files()
{
    static Files f;
    return f;
}

void load(benchmark::State &state, const QString &name)
{
    qint64 bytes = 0;
    qint64 peakAdded = -1;
    for (auto _ : state) {
        state.PauseTiming();
        const bool peakKnown = resetPeak();
        const qint64 before = procStatusKiB("VmRSS");
        state.ResumeTiming();
        // Straight into the store, as the program opens a log.
        CaptureStore store;
        const logformat::ReadResult r = logformat::readFile(name, {}, [&store](const clsFrame &f) {
            store.addListFrames(f, true);
            return true;
        });
        if (!r.ok || r.frames != frameCount)
            state.SkipWithError("read failed");
        bytes = store.memoryBytes();
        benchmark::DoNotOptimize(store.count());
        state.PauseTiming();
        if (peakKnown && before >= 0)
            peakAdded = std::max(peakAdded, procStatusKiB("VmHWM") - before);
        state.ResumeTiming();
    }
    // What the load added at its peak, the finished store included.
    if (peakAdded >= 0)
        state.counters["peak_added_bytes_per_frame"] = double(peakAdded) * 1024 / frameCount;
    state.counters["frames"] = frameCount;
    state.counters["store_bytes_per_frame"] = double(bytes) / frameCount;
    state.counters["file_MB"] = double(QFileInfo(name).size()) / 1e6;
}

void BM_ReadCandump(benchmark::State &state)
{
    load(state, files().candump);
}

void BM_ReadAsc(benchmark::State &state)
{
    load(state, files().asc);
}

// can-utils' converter on the same file, for comparison (wall time).
void BM_Log2Asc(benchmark::State &state)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("log2asc"));
    if (program.isEmpty()) {
        state.SkipWithError("log2asc (can-utils) is not installed");
        return;
    }
    const QString out = files().dir.filePath(QStringLiteral("log2asc.asc"));
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QProcess::execute(program, {"-I", files().candump, "-O", out, "can0", "can1"});
        state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
    }
}

} // namespace

BENCHMARK(BM_ReadCandump)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadAsc)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Log2Asc)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK_MAIN();
