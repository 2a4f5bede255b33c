// DBC files read and written, and imported into a database file: a network
// of 2,000 messages with 20,000 signals in either byte order, comments, value
// texts and cycle times on some.
#include "candb/dbc.h"
#include "candb/dbcstore.h"
#include "core/database.h"
#include "core/params.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

dbc::Network largeNetwork()
{
    dbc::Network network;
    for (int n = 0; n < 20; ++n)
        network.nodes << QStringLiteral("Node_%1").arg(n);
    for (int i = 0; i < 2000; ++i) {
        dbc::Message m;
        m.extended = i >= 1500;
        m.id = m.extended ? 0x18FF0000u + quint32(i) : quint32(i);
        m.name = QStringLiteral("Message_%1").arg(i);
        m.transmitter = network.nodes[i % 20];
        m.cycleTime = i % 3 == 0 ? 10 * (i % 10 + 1) : 0;
        if (i % 4 == 0)
            m.comment = QStringLiteral("Message %1, sent by \"%2\",\nover two lines").arg(i).arg(m.transmitter);
        for (int s = 0; s < 10; ++s) {
            DataField f;
            f.name = QStringLiteral("Signal_%1_%2").arg(i).arg(s);
            const bool big = i % 2 == 1; // a message's fields side by side in one byte order
            f.order = big ? signaldecode::ByteOrder::BigEndian : signaldecode::ByteOrder::LittleEndian;
            f.begin = big ? (s * 6) / 8 * 8 + 7 - (s * 6) % 8 : s * 6;
            f.end = f.begin + 5;
            f.type = s % 3 == 0 ? signaldecode::ValueType::Signed : signaldecode::ValueType::Unsigned;
            f.factor = 0.1 * (s + 1);
            f.offset = -40;
            f.maximum = 63 * f.factor - 40;
            f.minimum = -40;
            f.unit = s % 2 ? QStringLiteral("km/h") : QStringLiteral("°C");
            if (s == 0 && i % 2 == 0)
                f.comment = QStringLiteral("The first signal of message %1").arg(i);
            if (s == 1 && i % 5 == 0)
                f.valueTexts = {{0, "Off"}, {1, "On"}, {2, "Error"}, {3, "Not available"}};
            m.fields << f;
        }
        network.messages << m;
    }
    return network;
}

void BM_ReadDbc(benchmark::State &state)
{
    const QByteArray text = dbc::write(largeNetwork());
    for (auto _ : state) {
        const dbc::ReadResult r = dbc::read(text);
        if (!r.ok || !r.warnings.isEmpty() || r.network.messages.size() != 2000)
            state.SkipWithError("the file did not read back");
        benchmark::DoNotOptimize(r.network.messages.data());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
    state.SetItemsProcessed(state.iterations() * 20000); // signals
}
BENCHMARK(BM_ReadDbc)->Unit(benchmark::kMillisecond);

void BM_WriteDbc(benchmark::State &state)
{
    const dbc::Network network = largeNetwork();
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray text = dbc::write(network);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_WriteDbc)->Unit(benchmark::kMillisecond);

// The whole import as CAN › Import runs it: the file read, then stored as a
// new data base in one transaction, on a copy of the seed database.
void BM_ImportDbc(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString dbc = dir.filePath(QStringLiteral("network.dbc"));
    QFile file(dbc);
    if (!file.open(QIODevice::WriteOnly) || file.write(dbc::write(largeNetwork())) < 0)
        state.SkipWithError("the DBC file cannot be written");
    file.close();
    const QString path = dir.filePath(QStringLiteral("Tessel.mdb"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Tesseltest.mdb"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    Database db;
    if (!db.open(path))
        state.SkipWithError("no seed database beside the benchmark");
    ParamStore params(db);
    params.loadParams();
    for (auto _ : state) {
        const dbcstore::ImportOutcome outcome = dbcstore::importFile(db, params, dbc, QStringLiteral("Network"), 2, 1);
        if (!outcome.canId)
            state.SkipWithError(qPrintable(outcome.text));
    }
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_ImportDbc)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
