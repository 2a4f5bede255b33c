// Finding one's way in a long capture: rebuilding the message list, applying
// and clearing a display filter, and find next, over 1,000,000 rows.

#include "../tests/support/captureviews.h"
#include "views/tracefind.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr int frameCount = 1000000;

// 40 identifiers, standard and extended, data lengths 0 to 8; a lost-frame
// record every 100,000 frames. Half the standard ones are in the data base.
void fill(CaptureViews &views)
{
    std::vector<clsFrame> frames;
    frames.reserve(frameCount);
    for (int i = 0; i < frameCount; ++i) {
        const int slot = i % 40;
        if (i % 100000 == 99999) {
            frames.push_back(makeLost(qint64(i) * 230, 3));
            continue;
        }
        frames.push_back(
            makeFrame(qint64(i) * 230, slot >= 30 ? 0x18FEF100 + slot : 0x100 + 0x11 * slot, slot >= 30, slot % 9));
    }
    for (int slot = 0; slot < 30; slot += 2)
        views.index.add(0x100 + 0x11 * slot, true, QStringLiteral("Device %1").arg(slot), QStringLiteral("Status"));
    views.store.addListFrames(std::move(frames));
    views.messages.rebuild();
}

displayfilter::Filter parsed(const QString &ids, const QString &data, bool onlyNew = false)
{
    return displayfilter::parseFilter(ids, data, onlyNew, false).value;
}

// The whole list made again, as after opening a file: one pass over the
// stored frames with the monitor list's check boxes.
void BM_RebuildMessageList(benchmark::State &state)
{
    CaptureViews views;
    fill(views);
    for (auto _ : state) {
        views.messages.rebuild();
        benchmark::DoNotOptimize(views.messages.count());
    }
}
BENCHMARK(BM_RebuildMessageList)->Unit(benchmark::kMillisecond);

// Applying a filter (range, mask and a data pattern) and clearing it again:
// each is one pass over the held rows.
void BM_ApplyDisplayFilter(benchmark::State &state)
{
    CaptureViews views;
    fill(views);
    const displayfilter::Filter filters[] = {parsed(QStringLiteral("100-1FF, 18FEF100/1FFFFF00"), {}),
                                             parsed({}, QStringLiteral("11 ?? 33")),
                                             parsed(QStringLiteral("!133"), {}, true)};
    const auto &filter = filters[state.range(0)];
    for (auto _ : state) {
        views.messages.setDisplayFilter(filter);
        benchmark::DoNotOptimize(views.messages.count());
    }
    state.counters["rows"] = views.messages.count();
}
BENCHMARK(BM_ApplyDisplayFilter)->Arg(0)->Arg(1)->Arg(2)->ArgName("filter")->Unit(benchmark::kMillisecond);

void BM_ClearDisplayFilter(benchmark::State &state)
{
    CaptureViews views;
    fill(views);
    const displayfilter::Filter filter = parsed(QStringLiteral("100-1FF"), {});
    for (auto _ : state) {
        state.PauseTiming();
        views.messages.setDisplayFilter(filter);
        state.ResumeTiming();
        views.messages.setDisplayFilter({});
    }
    state.counters["rows"] = views.messages.count();
}
BENCHMARK(BM_ClearDisplayFilter)->Unit(benchmark::kMillisecond);

// Find next from the first row when nothing matches: the worst case, every
// row visited once (identifier, data bytes, device text).
void BM_FindNextNoMatch(benchmark::State &state)
{
    CaptureViews views;
    fill(views);
    TraceFind find;
    const TraceFind::Mode mode = TraceFind::Mode(state.range(0));
    const QString text[] = {QStringLiteral("7E8"), QStringLiteral("12 ?? 34 56"), QStringLiteral("no such device")};
    find.setQuery(mode, text[state.range(0)]);
    for (auto _ : state)
        benchmark::DoNotOptimize(find.find(views.messages, 0, TraceFind::Direction::next));
}
BENCHMARK(BM_FindNextNoMatch)->Arg(0)->Arg(1)->Arg(2)->ArgName("mode")->Unit(benchmark::kMillisecond);

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
