// Signal values decoded per second: a frame's data bytes through the fields of
// a typical identifier (little- and big-endian, signed, float, multiplexed).
#include "core/signaldecode.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

using namespace signaldecode;

namespace {

std::vector<Field> typicalFields()
{
    std::vector<Field> fields;
    const auto add = [&fields](int start, int length, ByteOrder order, ValueType type, double factor) {
        Field f;
        f.startBit = start;
        f.length = length;
        f.order = order;
        f.type = type;
        f.factor = factor;
        f.offset = -40;
        fields.push_back(f);
    };
    for (int i = 0; i < 4; ++i) {
        add(i * 16, 16, ByteOrder::LittleEndian, ValueType::Unsigned, 0.125);
        add(i * 16 + 7, 12, ByteOrder::BigEndian, ValueType::Signed, 0.1);
        add(i * 16 + 3, 5, ByteOrder::LittleEndian, ValueType::Signed, 1);
    }
    add(0, 32, ByteOrder::LittleEndian, ValueType::Float32, 1);
    add(7, 64, ByteOrder::BigEndian, ValueType::Unsigned, 1);
    return fields;
}

std::vector<std::array<quint8, 8>> randomFrames(size_t count)
{
    std::mt19937 random(7);
    std::vector<std::array<quint8, 8>> frames(count);
    for (auto &frame : frames)
        for (quint8 &b : frame)
            b = quint8(random());
    return frames;
}

void BM_DecodeAll(benchmark::State &state)
{
    const std::vector<Field> fields = typicalFields();
    const auto frames = randomFrames(4096);
    std::vector<Value> out(fields.size());
    size_t next = 0;
    for (auto _ : state) {
        decodeAll(fields, frames[next], out);
        benchmark::DoNotOptimize(out.data());
        next = (next + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations() * qint64(fields.size()));
}
BENCHMARK(BM_DecodeAll);

} // namespace

BENCHMARK_MAIN();
