// The capture path and the message list at scale: packets from the serial
// bytes through the link, the queue and the decoder into the store, the
// monitor list and the message list; a rebuild over a million frames; the
// memory a stored frame costs.

#include "../tests/support/captureviews.h"
#include "../tests/support/fakeport.h"
#include "core/database.h"
#include "link/packetcodec.h"
#include "link/packetlink.h"
#include "core/params.h"
#include "core/prompts.h"

#include <QApplication>
#include <QFile>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

class SilentPrompts final : public Prompts
{
public:
    Answer message(const QString &, const QString &, Icon, Buttons) override { return Answer::Ok; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
};

// `count` capture packets as the analyser sends them: 40 identifiers, a mix
// of standard and extended, data lengths 0 to 8.
QByteArray trafficBytes(int count)
{
    QByteArray all;
    for (int i = 0; i < count; ++i) {
        const int slot = i % 40;
        const bool ext = slot >= 30;
        const quint32 id = ext ? 0x18FEF100u + quint32(slot) : quint32(0x100 + 0x11 * slot);
        const int dlc = slot % 9;
        QByteArray p;
        p.append(char(0x85)).append(char(0));
        const quint32 stamp = quint32(i) * 230u;
        for (int b = 0; b < 4; ++b)
            p.append(char((stamp >> (8 * b)) & 0xFF));
        p.append(char(0x10));
        for (int b = 0; b < 4; ++b)
            p.append(char((id >> (8 * b)) & 0xFF));
        p.append(char(ext ? 0x02 : 0x00)).append(char(dlc));
        for (int d = 0; d < dlc; ++d)
            p.append(char(d * 7 + i));
        all += packet::build(0, p);
    }
    return all;
}

// The link, the capture control and the views, capturing; the connection
// test only marks the link connected.
struct CaptureRig final : public ConnectionTester
{
    Database db;
    ParamStore params{db};
    SilentPrompts prompts;
    FakePort *port = nullptr;
    PacketLink link{params, prompts, [this](int) -> std::unique_ptr<SerialPort> {
                        auto p = std::make_unique<FakePort>();
                        port = p.get();
                        return p;
                    }};
    CaptureViews views;
    CaptureControl control{link};

    CaptureRig()
    {
        link.initProcesses();
        link.setConnectionTester(this);
        link.analyserValues.analyserBitRate = 500000;
        link.analyserValues.rxMObs = 12;
        control.setSink(&views);
        control.cmdStart_Click();
        const QByteArray sent = port->writes.last();
        port->feed(packet::build(quint8(sent.at(1)), QByteArray::fromHex("820084")));
        link.poll();
        if (!control.isCapturing())
            qFatal("capture did not start");
    }
    void runConnectionTest(bool, QObject *) override { link.setLinkState(3); }
};

// Serial bytes -> packets -> queue -> decode -> store -> monitor -> model.
// views: 0 none, 1 both list views attached, 2 attached and sorted.
// One iteration is one decoding tick's worth: 5000 packets (about a second of
// a saturated 921600-baud line).
void BM_CapturePath(benchmark::State &state)
{
    constexpr int perTick = 5000;
    const QByteArray bytes = trafficBytes(perTick);
    auto rig = std::make_unique<CaptureRig>();
    rig->views.batched = true; // as the main window appends them
    std::unique_ptr<QTreeView> messagesView, monitorView;
    if (state.range(0)) {
        // The same with the two list views attached (not shown).
        messagesView = std::make_unique<QTreeView>();
        messagesView->setUniformRowHeights(true);
        messagesView->setModel(&rig->views.messages);
        monitorView = std::make_unique<QTreeView>();
        monitorView->setModel(&rig->views.monitor);
    }
    if (state.range(0) == 2) // and the message list sorted by "ID-Std"
        rig->views.messages.columnClick(MessageModel::colIDStd);
    qint64 frames = 0;
    for (auto _ : state) {
        if (rig->views.store.count() >= 1000000) {
            state.PauseTiming();
            rig->views.store.clear();
            rig->views.messages.clearRows();
            rig->views.monitor.clear();
            state.ResumeTiming();
        }
        rig->port->feed(bytes);
        rig->link.poll();
        rig->control.tmrFreePB_Timer();
        frames += perTick;
    }
    if (rig->control.txtView_View() == 0)
        state.SkipWithError("nothing decoded");
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_CapturePath)->Arg(0)->Arg(1)->Arg(2)->ArgName("views")->Unit(benchmark::kMillisecond);

// Frames stored directly (as a capture file is read), each given its row.
void fillStore(CaptureViews &views, int count)
{
    for (int i = 0; i < count; ++i) {
        const int slot = i % 40;
        clsFrame f = makeFrame(qint64(i) * 230, slot >= 30 ? 0x18FEF100 + slot : 0x100 + 0x11 * slot, slot >= 30,
                               slot % 9);
        views.store.addListFrames(f);
        views.messages.addCANFrame(views.store.count());
    }
}

// A rebuild of the message list over 1,000,000 stored frames, a quarter of
// them filtered out.
void BM_RebuildMessageList(benchmark::State &state)
{
    CaptureViews views;
    fillStore(views, 1000000);
    for (int r = 0; r < views.monitor.count(); r += 4)
        views.monitor.itemCheck(r, false);
    views.store.selectedTime = views.store.lastFrameTime / 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(views.messages.rebuild());
    state.counters["rows"] = views.messages.count();
    state.SetItemsProcessed(state.iterations() * views.store.count());
}
BENCHMARK(BM_RebuildMessageList)->Unit(benchmark::kMillisecond);

// Sorting a million rows by a text column ("Device").
void BM_SortByDevice(benchmark::State &state)
{
    CaptureViews views;
    for (int slot = 0; slot < 30; ++slot)
        views.index.add(0x100 + 0x11 * slot, true, QStringLiteral("Device %1").arg(slot % 7), {});
    fillStore(views, 1000000);
    for (auto _ : state)
        views.messages.columnClick(MessageModel::colDevice);
    state.SetItemsProcessed(state.iterations() * views.messages.count());
}
BENCHMARK(BM_SortByDevice)->Unit(benchmark::kMillisecond);

// Bytes per stored frame: the store's array plus the message list's rows,
// counted at their allocated capacity.
void BM_MemoryPerFrame(benchmark::State &state)
{
    const int count = int(state.range(0));
    double perFrame = 0;
    for (auto _ : state) {
        CaptureViews views;
        fillStore(views, count);
        views.messages.rebuild();
        perFrame = double(views.store.memoryBytes() + views.messages.memoryBytes()) / count;
    }
    state.counters["bytes_per_frame"] = perFrame;
    state.counters["clsFrame"] = double(sizeof(clsFrame));
}
BENCHMARK(BM_MemoryPerFrame)->Arg(1000000)->Arg(1310721)->Iterations(1)->Unit(benchmark::kMillisecond);

// What a shown message-list view adds per row (QTreeView keeps one layout
// item per row), measured as resident memory before and after it lays the
// million rows out.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : 0;
}

void BM_ViewBytesPerRow(benchmark::State &state)
{
    constexpr int count = 1000000;
    CaptureViews views;
    fillStore(views, count);
    double perRow = 0;
    for (auto _ : state) {
        const qint64 before = residentBytes();
        QTreeView view;
        view.setUniformRowHeights(true);
        view.setRootIsDecorated(false);
        view.setModel(&views.messages);
        view.resize(800, 600);
        view.show();
        view.scrollToBottom();
        QCoreApplication::processEvents();
        perRow = double(residentBytes() - before) / count;
    }
    state.counters["view_bytes_per_row"] = perRow;
}
BENCHMARK(BM_ViewBytesPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

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
