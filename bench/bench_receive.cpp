// The receive path: bytes from the port, cut into packets, dispatched.
#include "link/packetcodec.h"
#include "link/packetlink.h"
#include "core/params.h"
#include "core/database.h"
#include "core/prompts.h"
#include "serial/serialport.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

// A port that hands out a prepared stream in reads of a fixed size.
class StreamPort final : public SerialPort
{
public:
    QByteArray stream;
    qsizetype pos = 0;
    qsizetype readSize = 4096;
    bool opened = false;

    bool open(const QString &) override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    qint64 pendingCount() const override { return stream.size() - pos; }
    QByteArray readAll(bool *ok) override
    {
        if (ok)
            *ok = true;
        const QByteArray chunk = stream.mid(pos, readSize);
        pos += chunk.size();
        return chunk;
    }
    bool write(const QByteArray &) override { return true; }
    void clear() override {}
    QString deviceName() const override { return QStringLiteral("stream"); }
};

class NoPrompts final : public Prompts
{
public:
    Answer message(const QString &, const QString &, Icon, Buttons) override { return Answer::Ok; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
};

// Capture records as the analyser sends them while capturing: 0x85 with an
// 8-byte frame (24 bytes on the wire), now and then a 0x86 lost-frame record,
// and a 0x1B inside the data now and then.
QByteArray captureStream(qsizetype bytes)
{
    QByteArray s;
    s.reserve(bytes + 64);
    quint32 stamp = 0;
    for (int i = 0; s.size() < bytes; ++i) {
        stamp += 137;
        QByteArray rec;
        rec.append(char(i % 97 == 0 ? 0x86 : 0x85)).append('\0');
        for (int b = 0; b < 4; ++b)
            rec.append(char(stamp >> (8 * b)));
        rec.append(char(0x10));
        rec.append(char(i & 0x7F)).append(char(0x01)).append('\0').append('\0');
        rec.append(char(0)).append(char(8));
        for (int b = 0; b < 8; ++b)
            rec.append(char(i % 13 == 0 ? 0x1B : i + b));
        s.append(packet::build(0, rec));
    }
    return s;
}

void BM_ReceivePath(benchmark::State &state)
{
    // Not opened: settings come from the cache defaults. Local, not static: a
    // database outliving main() would close after Qt SQL's own globals are gone.
    Database db;
    ParamStore params(db);
    NoPrompts prompts;
    StreamPort *port = nullptr;
    PacketLink link(params, prompts, [&](int) {
        auto p = std::make_unique<StreamPort>();
        port = p.get();
        return p;
    });
    link.setLinkState(3);
    long long dispatched = 0;
    QObject::connect(&link, &PacketLink::capturePacket, [&](int) { ++dispatched; });
    if (link.acquireLink(nullptr, false, false) == Acquired::No) {
        state.SkipWithError("the link was not acquired");
        return;
    }
    port->stream = captureStream(8 << 20);
    port->readSize = state.range(0);
    for (auto _ : state) {
        port->pos = 0;
        while (port->pos < port->stream.size())
            link.poll();
        benchmark::DoNotOptimize(dispatched);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * port->stream.size());
    state.counters["packets/s"] = benchmark::Counter(double(dispatched), benchmark::Counter::kIsRate);
}
// 920 bytes: what a 921600-baud line delivers in one 10 ms tick; 64 KiB: a backlog.
BENCHMARK(BM_ReceivePath)->Arg(920)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_Framer(benchmark::State &state)
{
    const QByteArray stream = captureStream(8 << 20);
    QByteArray p;
    for (auto _ : state) {
        PacketFramer f;
        for (qsizetype pos = 0; pos < stream.size(); pos += 4096) {
            f.append(stream.constData() + pos, qMin<qsizetype>(4096, stream.size() - pos));
            while (f.next(&p))
                benchmark::DoNotOptimize(p.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * stream.size());
}
BENCHMARK(BM_Framer)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
