// The statistics behind the monitor's columns and the bus figures: one
// refresh tick with 2,000 identifiers (taking the frames that arrived since
// the last tick, then formatting every row's statistics cells, as a monitor
// showing all of them would), and the cost of one frame.

#include "../tests/support/captureviews.h"
#include "views/capturestatistics.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr int identifiers = 2000;

// Identifier n: 1,500 standard ones, then extended ones.
clsFrame frameOf(int n, qint64 stamp)
{
    const bool extended = n >= 1500;
    return makeFrame(stamp & 0xFFFFFFFF, extended ? 0x18FE0000 + n : n % 0x800, extended, n % 9);
}

// Every identifier `rounds` times, 1 ms apart per round, starting at round `from`.
void addRounds(CaptureViews &views, int from, int rounds)
{
    for (int r = from; r < from + rounds; ++r)
        for (int n = 0; n < identifiers; ++n)
            views.captureFrame(frameOf(n, qint64(r) * 1000 + n / 4));
}

void BM_StatisticsTick(benchmark::State &state)
{
    CaptureViews views;
    CaptureStatistics stats;
    stats.setRates(500000, 1e6);
    views.monitor.setStatistics(&stats.identifiers());
    addRounds(views, 0, 20);
    stats.update(views.store);
    int round = 20;
    const int perTick = int(state.range(0));
    const bool format = state.range(1) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        addRounds(views, round, perTick);
        round += perTick;
        state.ResumeTiming();
        stats.update(views.store);
        views.monitor.statisticsChanged();
        qsizetype text = 0;
        for (int r = 0; format && r < views.monitor.count(); ++r)
            for (int c = MonitorList::colData; c < MonitorList::columnTotal; ++c)
                text += views.monitor.data(views.monitor.index(r, c), Qt::DisplayRole).toString().size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["identifiers"] = double(stats.identifiers().size());
    state.counters["frames_per_tick"] = double(perTick) * identifiers;
}
// One and ten frames per identifier since the last tick; the statistics alone
// (0), and with every row's cells formatted (1).
BENCHMARK(BM_StatisticsTick)->ArgsProduct({{1, 10}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_StatisticsPerFrame(benchmark::State &state)
{
    CaptureStore store;
    for (int i = 0; i < 200000; ++i)
        store.addListFrames(frameOf(i % identifiers, qint64(i) * 100));
    for (auto _ : state) {
        CaptureStatistics stats;
        stats.setRates(500000, 1e6);
        stats.update(store);
        benchmark::DoNotOptimize(stats.bus().bits());
    }
    state.SetItemsProcessed(state.iterations() * store.count());
}
BENCHMARK(BM_StatisticsPerFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
